#include "media/TagFile.h"

#include <sys/stat.h>

CTagFile::CTagFile(const std::string& strPath)
{
    struct stat st
    {};
    if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return;
    m_pStream = std::make_unique<TagLib::FileStream>(strPath.c_str(), true);
    if (m_pStream->isOpen())
        m_ref = TagLib::FileRef(m_pStream.get(), false);
}

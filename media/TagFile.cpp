#include "media/TagFile.h"

CTagFile::CTagFile(const std::string& strPath)
    : m_stream(strPath.c_str(), true)
{
    if (m_stream.isOpen())
        m_ref = TagLib::FileRef(&m_stream, false);
}

#pragma once

#include <taglib/fileref.h>
#include <taglib/tfilestream.h>

#include <memory>
#include <string>

// A file opened for its tags alone, read-only: reading tags never needs, nor takes, the right
// to write the file (TagLib opens a file by name for writing when it may). Only a plain file
// is opened (a FIFO would block the reader). Ref() is null when the file is not a plain file,
// cannot be read or is of no kind TagLib knows.
class CTagFile
{
public:
    // Audio properties are not read: the tags alone are wanted.
    explicit CTagFile(const std::string& strPath);
    CTagFile(const CTagFile&) = delete;
    CTagFile& operator=(const CTagFile&) = delete;

    TagLib::FileRef& Ref() { return m_ref; }

private:
    std::unique_ptr<TagLib::FileStream> m_pStream; // outlives m_ref, which reads through it
    TagLib::FileRef m_ref;
};

#pragma once

#include <cstdio>
#include <stdexcept>
#include <string>
#include <string_view>

// A text-mode file. Lines written end in CR LF on disk; lines read may end in LF or
// CR LF (the CR before the LF is dropped), may be of any length, and a last line without
// an end counts. Used on the user-interface thread only.

// A read, write or close error on an opened file.
class CFileException : public std::runtime_error
{
public:
    explicit CFileException(const std::string& what)
        : std::runtime_error(what)
    {}
};

class CTextFile
{
public:
    enum class Mode {
        Read,  // an existing regular file
        Write, // written to a new file beside it that replaces it when Close succeeds
    };

    CTextFile() = default;
    ~CTextFile();
    CTextFile(const CTextFile&) = delete;
    CTextFile& operator=(const CTextFile&) = delete;

    // Opens path; false (and nothing open) when it cannot be opened or is not a regular
    // file. A directory, a FIFO or a device counts as a file that cannot be opened, and
    // opening never waits for another process. For writing, path (or the file a link at
    // path names) must be writable or missing and its folder writable: the text goes to a
    // temporary file in that folder, so that a crash or a full disk never leaves half a file.
    bool Open(const std::string& path, Mode mode);

    // Writes text, each '\n' as CR LF. Throws CFileException when the write fails.
    void WriteString(std::string_view text);

    // Reads the next line into line without its line end. Returns false at the end of the
    // file (line is then empty). Throws CFileException on a read error.
    bool ReadLine(std::string& line);

    // Flushes and closes; a file opened for writing then replaces the file at the path, with
    // that file's permissions. Throws CFileException when that fails, and a file opened for
    // writing then leaves the earlier file as it was. Closing a closed file does nothing. The
    // destructor closes silently, and a file opened for writing then replaces nothing.
    void Close();

    bool IsOpen() const { return m_pFile != nullptr; }

private:
    bool OpenReplacement(const std::string& path);

    std::FILE* m_pFile = nullptr;
    std::string m_strPath;
    // For writing: the file the text goes to until Close renames it to m_strPath.
    std::string m_strTempPath;
    char* m_pLine = nullptr;
    std::size_t m_nLineCapacity = 0;
};

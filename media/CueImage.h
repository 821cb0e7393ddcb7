#pragma once

#include <string>

// A CD image's CUE sheet made ready for the disc reader, which would look for the data file
// under the sheet's own name ("a.cue" reads "a.bin") whatever the sheet says. The sheet is
// read here; the data file its FILE line names, relative to the sheet's folder, is opened
// and checked; then a private folder holds a copy of the sheet and a link to that very file
// under matching names, and the reader is given that copy. The folder goes with the object.
//
// Nothing here blocks: a FIFO in place of the sheet or of its data file is refused, never
// opened for reading in a way that waits for a writer.
class CCueImage
{
public:
    CCueImage() = default;
    ~CCueImage();
    CCueImage(const CCueImage&) = delete;
    CCueImage& operator=(const CCueImage&) = delete;

    // Prepares the sheet at path. False when the sheet or its data file cannot be read or is
    // not a regular file, when the sheet is too large, when it holds no FILE line, more
    // than one, or no TRACK line after it, or when its tracks are not numbered 1, 2, 3...
    bool Prepare(const std::string& path);
    // The copy to hand to the reader; empty until Prepare has succeeded.
    const std::string& SheetPath() const { return m_strSheet; }

private:
    void Release();

    std::string m_strFolder; // the private folder; empty when none
    std::string m_strSheet;
    int m_nDataFd = -1; // the data file, held open: the link in the folder points at it
};

#include "media/CueImage.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "media/CueText.h"

#include <cstdint>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

CCueImage::~CCueImage()
{
    Release();
}

void CCueImage::Release()
{
    if (!m_strFolder.empty()) {
        std::error_code ec;
        std::filesystem::remove_all(m_strFolder, ec);
        m_strFolder.clear();
    }
    if (m_nDataFd >= 0) {
        ::close(m_nDataFd);
        m_nDataFd = -1;
    }
    m_strSheet.clear();
}

bool CCueImage::Prepare(const std::string& path)
{
    Release();
    std::string text;
    if (!ReadCueSheetBytes(path, text))
        return false;

    // The copy names the data file "disc.bin" beside it; every other line stays as it was.
    // The reader takes one data file for the whole disc: exactly one FILE line, followed by
    // at least one TRACK line. Anything else is refused here, also because the reader would
    // open a sheet whose last FILE line has no track after it and lose that file's name (a
    // leak inside the library, shown by a program using the library alone).
    std::istringstream lines(text);
    std::string copy;
    std::optional<std::string> data;
    bool bTrackAfterFile = false;
    long nTracks = 0;
    std::string line;
    while (std::getline(lines, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        std::string rest;
        const std::string word = CueKeyword(line, rest);
        if (word == "TRACK") {
            // The reader indexes its track table by the sheet's numbers: a first track
            // numbered high reads and writes past that table, so tracks must run 1, 2, 3...
            if (CueTrackNumber(rest) != ++nTracks)
                return false;
            bTrackAfterFile = data.has_value();
        }
        if (word == "FILE") {
            std::string type;
            const std::optional<std::string> name = CueWord(rest, type);
            if (!name || data)
                return false;
            data = name;
            line = "FILE \"disc.bin\"" + type;
        }
        copy += line + "\r\n";
    }
    if (!data || !bTrackAfterFile)
        return false;

    const std::string dataPath =
        data->front() == kPathSeparator
            ? *data
            : JoinPath(DirectoryOf(path).value_or(std::string(".")), *data);
    m_nDataFd = OpenRegularFile(dataPath);
    if (m_nDataFd < 0)
        return false;

    std::error_code ec;
    std::string folder = (std::filesystem::temp_directory_path(ec) / "sorvane-cue-XXXXXX").string();
    if (ec || ::mkdtemp(folder.data()) == nullptr) {
        Release();
        return false;
    }
    m_strFolder = folder;
    const std::string sheet = folder + "/disc.cue";
    // The link names the file already opened and checked, so a file swapped in afterwards
    // (a FIFO) is never what the reader opens.
    std::filesystem::create_symlink("/proc/self/fd/" + std::to_string(m_nDataFd),
                                    folder + "/disc.bin", ec);
    const int out = ec ? -1 : ::open(sheet.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    const bool bWritten =
        out >= 0 && ::write(out, copy.data(), copy.size()) == static_cast<ssize_t>(copy.size());
    const bool bClosed = out >= 0 && ::close(out) == 0;
    if (!bWritten || !bClosed) {
        Release();
        return false;
    }
    m_strSheet = sheet;
    return true;
}

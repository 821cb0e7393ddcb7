// The playlist-file half of CPlayQueue: M3U files, one entry per line.

#include "queue/PlayQueue.h"

#include "base/LegacyText.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "base/TextFile.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

// The name under which a playlist file is known to the loop guard: its resolved path when
// it exists, so that "a/../x.m3u", a link and "x.m3u" count as one file.
std::string CanonicalName(const std::string& path)
{
    std::unique_ptr<char, decltype(&std::free)> resolved(::realpath(path.c_str(), nullptr),
                                                         &std::free);
    return resolved ? std::string(resolved.get()) : path;
}

} // namespace

int CPlayQueue::SaveM3u(const std::string& strPath)
{
    const std::optional<std::string> directory = DirectoryOf(strPath);
    if (!directory)
        return 0;

    CTextFile file;
    if (!file.Open(strPath, CTextFile::Mode::Write))
        return 0;
    try {
        std::string line;
        for (const std::string& entry : m_entries) {
            // An entry is written relative only when its rest reads back as relative: the
            // rest of "<dir>//a.wav" is "/a.wav", a file at the root, and that of
            // "<dir>/file:/a.wav" a URI.
            const std::string_view rest =
                IsUnderDirectory(entry, *directory)
                    ? std::string_view(entry).substr(directory->size() + 1)
                    : std::string_view();
            if (!rest.empty() && !IsCompletePlaylistLine(rest) && !LocalPathOfFileUri(rest))
                line.assign(entry, directory->size() + 1);
            else
                line.assign(entry);
            line.push_back('\n');
            file.WriteString(line);
        }
        file.Close();
    } catch (const CFileException&) {
        return 0;
    }
    return 1;
}

void CPlayQueue::LoadM3u(const std::string& strPath)
{
    const std::optional<std::string> directory = DirectoryOf(strPath);
    if (!directory)
        return;

    if (m_reading.empty()) {
        m_nLinesRead = 0;
        m_bBudgetReported = false;
        m_bOutOfMemory = false;
    }
    std::string name = CanonicalName(strPath);
    if (m_reading.size() >= static_cast<std::size_t>(kMaxPlaylistDepth) ||
        std::find(m_reading.begin(), m_reading.end(), name) != m_reading.end())
        return;

    CTextFile file;
    if (!file.Open(strPath, CTextFile::Mode::Read))
        return;

    m_reading.push_back(std::move(name));
    try {
        std::string line;
        bool bFirstLine = true;
        bool bMarkedUtf8 = false;
        // Once memory has run out, every playlist being read stops: each further line would
        // only fail and be reported again.
        while (!m_bOutOfMemory && file.ReadLine(line)) {
            if (m_nLinesRead >= m_nLineBudget) {
                if (!m_bBudgetReported)
                    Prompts().ShowMessage(kTooManyLinesText);
                m_bBudgetReported = true;
                break;
            }
            ++m_nLinesRead;
            // A UTF-8 byte-order mark opens some playlists: all their lines are UTF-8, like
            // the file names they hold. Without it a line is read by the legacy-text rule
            // (a line that is valid UTF-8 stays as it is).
            if (bFirstLine && line.starts_with(kUtf8Bom)) {
                line.erase(0, kUtf8Bom.size());
                bMarkedUtf8 = true;
            }
            bFirstLine = false;
            if (!bMarkedUtf8)
                line = DecodeLegacyText(line);
            // Comment lines (the header and information lines of extended playlists) and
            // blank lines name no medium.
            if (line.empty() || line.front() == '#')
                continue;
            if (const std::optional<std::string> local = LocalPathOfFileUri(line))
                Add(*local);
            else if (IsCompletePlaylistLine(line))
                Add(line);
            else
                Add(JoinPath(*directory, line));
        }
        file.Close();
    } catch (const CFileException&) {
        Prompts().ShowMessage(kFileErrorText);
    } catch (const std::bad_alloc&) {
        ReportOutOfMemory();
    }
    m_reading.pop_back();
}

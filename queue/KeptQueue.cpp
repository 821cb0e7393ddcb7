#include "queue/KeptQueue.h"

#include "base/ScanInt.h"
#include "base/TextFile.h"

#include <algorithm>
#include <new>
#include <optional>
#include <string_view>

namespace {

constexpr std::string_view kCurrentKey = "#CURRENT=";
constexpr std::string_view kPositionKey = "#POSITION=";
constexpr std::string_view kLengthKey = "#LENGTH=";
constexpr std::string_view kEntriesLine = "#ENTRIES";

std::optional<std::int64_t> ValueOf(std::string_view line, std::string_view key)
{
    if (!line.starts_with(key))
        return std::nullopt;
    std::size_t pos = 0;
    const std::optional<int> value = ScanInt(line.substr(key.size()), pos);
    if (!value)
        return std::nullopt;
    return std::max<std::int64_t>(*value, 0);
}

bool Keepable(const std::string& entry)
{
    return !entry.empty() && entry.find_first_of("\r\n") == std::string::npos;
}

} // namespace

KeptQueue ReadKeptQueue(const std::string& strPath)
{
    KeptQueue kept;
    CTextFile file;
    if (!file.Open(strPath, CTextFile::Mode::Read))
        return kept;
    try {
        std::string line;
        if (!file.ReadLine(line) || line != kKeptQueueMagic)
            return kept;
        bool bEntries = false;
        while (!bEntries && file.ReadLine(line))
            if (line == kEntriesLine)
                bEntries = true;
            else if (const auto current = ValueOf(line, kCurrentKey))
                kept.nCurrent = static_cast<int>(*current);
            else if (const auto position = ValueOf(line, kPositionKey))
                kept.nPositionMs = *position;
            else if (const auto length = ValueOf(line, kLengthKey))
                kept.nLengthMs = *length;
            else
                break; // a damaged header: no entries can be trusted after it
        while (bEntries && kept.entries.size() < kKeptQueueMaxEntries && file.ReadLine(line))
            if (!line.empty())
                kept.entries.push_back(std::move(line));
    } catch (const CFileException&) {
        // What was read before the error stays.
    } catch (const std::bad_alloc&) {
    }
    const int count = static_cast<int>(kept.entries.size());
    if (kept.nCurrent >= count) {
        kept.nCurrent = 0;
        kept.nPositionMs = 0;
        kept.nLengthMs = 0;
    }
    return kept;
}

int WriteKeptQueue(const std::string& strPath, const KeptQueue& kept)
{
    CTextFile file;
    if (!file.Open(strPath, CTextFile::Mode::Write))
        return 0;
    try {
        // The current index counts only the entries that can be written.
        int current = 0;
        for (int i = 0; i < kept.nCurrent && i < static_cast<int>(kept.entries.size()); ++i)
            current += Keepable(kept.entries[static_cast<std::size_t>(i)]) ? 1 : 0;
        std::string text = std::string(kKeptQueueMagic) + "\n";
        text += std::string(kCurrentKey) + std::to_string(current) + "\n";
        text += std::string(kPositionKey) + std::to_string(kept.nPositionMs) + "\n";
        text += std::string(kLengthKey) + std::to_string(kept.nLengthMs) + "\n";
        text += std::string(kEntriesLine) + "\n";
        file.WriteString(text);
        for (const std::string& entry : kept.entries) {
            if (!Keepable(entry))
                continue;
            text.assign(entry);
            text += '\n';
            file.WriteString(text);
        }
        file.Close();
    } catch (const CFileException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

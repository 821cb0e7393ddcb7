#include "base/Path.h"

#include "base/MbString.h"

std::optional<std::string> DirectoryOf(std::string_view path)
{
    const std::size_t cut = MbsRChr(path, kPathSeparator);
    if (cut == std::string_view::npos)
        return std::nullopt;
    return std::string(path.substr(0, cut));
}

std::string_view FileNameOf(std::string_view path)
{
    const std::size_t cut = MbsRChr(path, kPathSeparator);
    return cut == std::string_view::npos ? path : path.substr(cut + 1);
}

bool IsCompletePlaylistLine(std::string_view line)
{
    return (!line.empty() && line.front() == kPathSeparator) ||
           line.find("://") != std::string_view::npos;
}

bool IsUnderDirectory(std::string_view entry, std::string_view directory)
{
    return entry.size() > directory.size() && entry.substr(0, directory.size()) == directory &&
           entry[directory.size()] == kPathSeparator;
}

std::string JoinPath(std::string_view directory, std::string_view name)
{
    std::string joined;
    joined.reserve(directory.size() + 1 + name.size());
    joined.append(directory).push_back(kPathSeparator);
    joined.append(name);
    return joined;
}

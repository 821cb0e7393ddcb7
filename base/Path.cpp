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

std::optional<std::string> LocalPathOfFileUri(std::string_view uri)
{
    constexpr std::string_view kScheme = "file:";
    if (uri.size() < kScheme.size() || MbsICmp(uri.substr(0, kScheme.size()), kScheme) != 0)
        return std::nullopt;
    std::string_view rest = uri.substr(kScheme.size());
    if (rest.starts_with("//")) {
        rest.remove_prefix(2);
        const std::size_t slash = rest.find('/');
        const std::string_view host = rest.substr(0, slash);
        if (slash == std::string_view::npos || (!host.empty() && MbsICmp(host, "localhost") != 0))
            return std::nullopt;
        rest.remove_prefix(slash);
    }
    if (!rest.starts_with('/'))
        return std::nullopt;
    auto hexValue = [](char c) -> int {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    };
    std::string path;
    path.reserve(rest.size());
    for (std::size_t i = 0; i < rest.size(); ++i) {
        if (rest[i] != '%') {
            path.push_back(rest[i]);
            continue;
        }
        const int high = i + 2 < rest.size() ? hexValue(rest[i + 1]) : -1;
        const int low = i + 2 < rest.size() ? hexValue(rest[i + 2]) : -1;
        // A line end or a 0 byte cannot stand in a playlist line nor in a path.
        const int byte = high * 16 + low;
        if (high < 0 || low < 0 || byte == 0 || byte == '\n' || byte == '\r')
            return std::nullopt;
        path.push_back(static_cast<char>(byte));
        i += 2;
    }
    return path;
}

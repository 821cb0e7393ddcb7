#pragma once

#include <optional>
#include <string>
#include <string_view>

// Path rules of the player on this platform. Paths are byte strings in the active code
// page; every search for the separator is multibyte-aware.

constexpr char kPathSeparator = '/';

// The text before the last separator of path, without that separator; std::nullopt when
// path holds no separator. "/music/mix.m3u" gives "/music", "/mix.m3u" gives "".
std::optional<std::string> DirectoryOf(std::string_view path);

// The text after the last separator of path; all of path when it holds none.
std::string_view FileNameOf(std::string_view path);

// A playlist line is complete (taken as it stands) when it begins with the separator or
// holds "://"; any other line is relative to the playlist's directory.
bool IsCompletePlaylistLine(std::string_view line);

// True when entry begins with directory followed by the separator. Letters compare
// exactly: file names are case-sensitive here.
bool IsUnderDirectory(std::string_view entry, std::string_view directory);

// directory, the separator, then name.
std::string JoinPath(std::string_view directory, std::string_view name);

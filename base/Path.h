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

// The local path a file: URI names ("file:///a%20b.mp3", "file://localhost/x", "file:/x"),
// its percent escapes decoded byte for byte; nullopt for any other text, a URI naming
// another host, a broken escape or an escape of a line end or the byte 0.
std::optional<std::string> LocalPathOfFileUri(std::string_view uri);

// directory, the separator, then name.
std::string JoinPath(std::string_view directory, std::string_view name);

#pragma once

#include "engine/MediumTypes.h"

#include <initializer_list>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// The one table of the file extensions the player plays: each extension's kind, its media
// types and, for a compressed file, the decoder plug-in library that opens it. The engine
// classifies files by it; the file dialogs, the bus service's supported types, the launcher
// entry and the documentation list what it lists.

struct MediaFormat
{
    const char* pszExtension; // without the full stop, lower case; compared ignoring case
    DeviceKind kind;
    const char* pszDecoder;   // DEVICE_PLUGIN only: the decoder library's name; else nullptr
    const char* pszMimeTypes; // the media types of such files, separated by ';'
};

// The decoder plug-in libraries.
inline constexpr const char* kMpegDecoderLibrary = "Dekoda.dll";    // MPEG audio, libmpg123
inline constexpr const char* kFfmpegDecoderLibrary = "Kodekku.dll"; // the rest, FFmpeg

// Every playable extension, in the order the dialogs list them.
std::span<const MediaFormat> MediaFormats();

// The entry of the extension of strPath: the text after its last full stop (all of it when
// there is none), compared whole, ignoring case, multibyte-aware. nullptr when not playable.
const MediaFormat* FindMediaFormat(std::string_view strPath);

// "*.mid; *.wav; ..." for a file dialog's filter: every extension of the table, and then
// each of extra (given with their full stop, ".m3u").
std::string MediaFormatPatterns(std::initializer_list<std::string_view> extra = {});

// Every media type of the table, each once, in the table's order.
std::vector<std::string> MediaFormatMimeTypes();

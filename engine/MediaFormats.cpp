#include "engine/MediaFormats.h"

#include "base/MbString.h"

#include <algorithm>
#include <string_view>

namespace {

constexpr MediaFormat kFormats[] = {
    {"mid", DEVICE_MIDI, nullptr, "audio/midi;audio/x-midi"},
    {"wav", DEVICE_WAVE, nullptr, "audio/wav;audio/x-wav;audio/vnd.wave"},
    {"mp3", DEVICE_PLUGIN, kMpegDecoderLibrary, "audio/mpeg;audio/mp3;audio/x-mp3;audio/x-mpeg"},
    {"mp2", DEVICE_PLUGIN, kMpegDecoderLibrary, "audio/mp2;audio/mpeg"},
    {"mp", DEVICE_PLUGIN, kMpegDecoderLibrary, "audio/mpeg"},
    {"flac", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/flac;audio/x-flac"},
    {"ogg", DEVICE_PLUGIN, kFfmpegDecoderLibrary,
     "audio/ogg;audio/x-vorbis+ogg;audio/x-flac+ogg;audio/x-opus+ogg"},
    {"oga", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/ogg;audio/x-vorbis+ogg;audio/x-flac+ogg"},
    {"opus", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-opus+ogg;audio/ogg"},
    {"m4a", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/mp4;audio/x-m4a;audio/m4a"},
    {"mp4", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/mp4"},
    {"aac", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/aac;audio/x-aac"},
    {"wma", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-ms-wma"},
    {"wv", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-wavpack"},
    {"ape", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-ape"},
    {"aif", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-aiff;audio/aiff"},
    {"aiff", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-aiff;audio/aiff"},
    {"mka", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-matroska"},
    {"tta", DEVICE_PLUGIN, kFfmpegDecoderLibrary, "audio/x-tta"},
};

} // namespace

std::span<const MediaFormat> MediaFormats()
{
    return kFormats;
}

const MediaFormat* FindMediaFormat(std::string_view strPath)
{
    const std::size_t dot = MbsRChr(strPath, '.');
    const std::string_view ext = dot == std::string_view::npos ? strPath : strPath.substr(dot + 1);
    for (const MediaFormat& format : kFormats)
        if (MbsICmp(ext, format.pszExtension) == 0)
            return &format;
    return nullptr;
}

std::string MediaFormatPatterns(std::initializer_list<std::string_view> extra)
{
    std::string patterns;
    auto add = [&patterns](std::string_view ext) {
        patterns += patterns.empty() ? "*." : "; *.";
        patterns += ext;
    };
    for (const MediaFormat& format : kFormats)
        add(format.pszExtension);
    for (const std::string_view ext : extra)
        add(ext.substr(ext.starts_with('.') ? 1 : 0));
    return patterns;
}

std::vector<std::string> MediaFormatMimeTypes()
{
    std::vector<std::string> types;
    for (const MediaFormat& format : kFormats) {
        std::string_view rest = format.pszMimeTypes;
        while (!rest.empty()) {
            const std::size_t end = std::min(rest.find(';'), rest.size());
            const std::string type(rest.substr(0, end));
            if (std::find(types.begin(), types.end(), type) == types.end())
                types.push_back(type);
            rest.remove_prefix(std::min(end + 1, rest.size()));
        }
    }
    return types;
}

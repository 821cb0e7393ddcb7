#include "engine/MediaFormats.h"

#include "base/MbString.h"

namespace {

constexpr MediaFormat kFormats[] = {
    {"mid", DEVICE_MIDI, nullptr},
    {"wav", DEVICE_WAVE, nullptr},
    {"mp3", DEVICE_PLUGIN, kMpegDecoderLibrary},
    {"mp2", DEVICE_PLUGIN, kMpegDecoderLibrary},
    {"mp", DEVICE_PLUGIN, kMpegDecoderLibrary},
    {"flac", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"ogg", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"oga", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"opus", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"m4a", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"mp4", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"aac", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"wma", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"wv", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"ape", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"aif", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"aiff", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"mka", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
    {"tta", DEVICE_PLUGIN, kFfmpegDecoderLibrary},
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
    for (const MediaFormat& format : kFormats) {
        if (MbsICmp(ext, format.pszExtension) == 0) {
            return &format;
        }
    }
    return nullptr;
}

std::string MediaFormatPatterns(std::initializer_list<std::string_view> extra)
{
    std::string patterns;
    auto add = [&patterns](std::string_view ext) {
        patterns += patterns.empty() ? "*." : "; *.";
        patterns += ext;
    };
    for (const MediaFormat& format : kFormats) {
        add(format.pszExtension);
    }
    for (const std::string_view ext : extra) {
        add(ext.substr(ext.starts_with('.') ? 1 : 0));
    }
    return patterns;
}

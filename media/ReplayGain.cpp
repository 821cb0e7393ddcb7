#include "media/ReplayGain.h"

#include "base/MbString.h"
#include "media/TagReader.h"

#include <algorithm>
#include <charconv>
#include <cmath>

namespace {

// The most a gain tag may say, either way, and the highest peak taken.
constexpr double kMaxTagGainDb = 64.0;
constexpr double kMaxTagPeak = 64.0;
// Opus's loudness reference (-23 LUFS) lies 5 dB below ReplayGain's.
constexpr double kR128ToReplayGainDb = 5.0;

// The number at the start of text (after blanks and a '+'), locale-free, and the rest.
std::optional<double> LeadingNumber(std::string_view text, std::string_view& rest)
{
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t'))
        text.remove_prefix(1);
    if (text.starts_with('+'))
        text.remove_prefix(1);
    std::string number(text);
    // Some taggers wrote the gain with their locale's decimal comma.
    std::replace(number.begin(), number.end(), ',', '.');
    double value = 0.0;
    const auto [end, error] = std::from_chars(number.data(), number.data() + number.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return std::nullopt;
    rest = text.substr(static_cast<std::size_t>(end - number.data()));
    while (!rest.empty() && (rest.front() == ' ' || rest.front() == '\t'))
        rest.remove_prefix(1);
    return value;
}

std::optional<double> Field(const GainFields& fields, const char* name,
                            std::optional<double> (*parse)(const std::string&))
{
    const auto it = fields.find(name);
    return it != fields.end() ? parse(it->second) : std::nullopt;
}

} // namespace

std::optional<double> ParseGainDb(const std::string& strText)
{
    std::string_view rest;
    const std::optional<double> value = LeadingNumber(strText, rest);
    const bool bUnit = rest.empty() || (rest.size() == 2 && EndsWithNoCase(rest, "dB"));
    if (!value || !bUnit || std::abs(*value) > kMaxTagGainDb)
        return std::nullopt;
    return value;
}

std::optional<double> ParsePeak(const std::string& strText)
{
    std::string_view rest;
    const std::optional<double> value = LeadingNumber(strText, rest);
    if (!value || !rest.empty() || *value <= 0.0 || *value > kMaxTagPeak)
        return std::nullopt;
    return value;
}

std::optional<double> ParseR128GainDb(const std::string& strText)
{
    std::string_view text = strText;
    while (!text.empty() && text.back() == ' ')
        text.remove_suffix(1);
    if (text.starts_with('+'))
        text.remove_prefix(1);
    int value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < -32768 || value > 32767)
        return std::nullopt;
    return value / 256.0 + kR128ToReplayGainDb;
}

ReplayGainTags ReadReplayGainTags(const std::string& strPath)
{
    ReplayGainTags tags;
    const TagReaderTable* reader = LoadedTagReader();
    if (reader == nullptr)
        return tags;
    const GainTagText gain = reader->pReadGainTags(strPath);
    const GainFields& fields = gain.fields;
    tags.strAlbum = gain.strAlbum;
    // An Opus file's own gains are R128's; its ReplayGain fields, if any, come second.
    if (gain.bOpus) {
        tags.trackGainDb = Field(fields, "R128_TRACK_GAIN", ParseR128GainDb);
        tags.albumGainDb = Field(fields, "R128_ALBUM_GAIN", ParseR128GainDb);
    }
    if (!tags.trackGainDb)
        tags.trackGainDb = Field(fields, "REPLAYGAIN_TRACK_GAIN", ParseGainDb);
    if (!tags.albumGainDb)
        tags.albumGainDb = Field(fields, "REPLAYGAIN_ALBUM_GAIN", ParseGainDb);
    tags.trackPeak = Field(fields, "REPLAYGAIN_TRACK_PEAK", ParsePeak);
    tags.albumPeak = Field(fields, "REPLAYGAIN_ALBUM_PEAK", ParsePeak);
    return tags;
}

double ReplayGainFactor(const ReplayGainTags& tags, bool bAlbum, const ReplayGainSettings& settings)
{
    if (settings.mode == ReplayGainMode::Off)
        return 1.0;
    const auto toFactor = [](double db) { return db == 0.0 ? 1.0 : std::pow(10.0, db / 20.0); };
    if (!tags.HasGain())
        return toFactor(settings.dUntaggedDb);
    const bool bUseAlbum = tags.albumGainDb.has_value() && (bAlbum || !tags.trackGainDb);
    const double gainDb = (bUseAlbum ? *tags.albumGainDb : *tags.trackGainDb) + settings.dPreampDb;
    const std::optional<double> peak = bUseAlbum && tags.albumPeak
                                           ? tags.albumPeak
                                           : (tags.trackPeak ? tags.trackPeak : tags.albumPeak);
    double factor = toFactor(gainDb);
    // Clipping is prevented here, from the stored peak, rather than left to the limiter.
    if (peak && *peak * factor > 1.0)
        factor = 1.0 / *peak;
    return factor;
}

#include "media/ReplayGain.h"

#include "media/TagFile.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v2tag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <map>
#include <sys/stat.h>

namespace {

// The most a gain tag may say, either way, and the highest peak taken.
constexpr double kMaxTagGainDb = 64.0;
constexpr double kMaxTagPeak = 64.0;
// Opus's loudness reference (-23 LUFS) lies 5 dB below ReplayGain's.
constexpr double kR128ToReplayGainDb = 5.0;

// The gain fields of a file's tags, by upper-case name; the first tag that holds a name wins.
using GainFields = std::map<std::string, std::string>;

std::string Upper(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(), [](char c) {
        return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
    });
    return text;
}

void Put(GainFields& fields, const TagLib::String& name, const TagLib::String& value)
{
    std::string key = Upper(name.to8Bit(true));
    if (key.starts_with("REPLAYGAIN_") || key.starts_with("R128_"))
        fields.emplace(std::move(key), value.to8Bit(true));
}

void FromXiph(GainFields& fields, TagLib::Ogg::XiphComment* xiph)
{
    if (xiph == nullptr)
        return;
    for (const auto& [name, values] : xiph->fieldListMap())
        if (!values.isEmpty())
            Put(fields, name, values.front());
}

// ID3v2 keeps the gains in user text frames (TXXX), named by their description.
void FromId3v2(GainFields& fields, TagLib::ID3v2::Tag* id3)
{
    if (id3 == nullptr)
        return;
    for (TagLib::ID3v2::Frame* frame : id3->frameList("TXXX")) {
        auto* text = dynamic_cast<TagLib::ID3v2::UserTextIdentificationFrame*>(frame);
        if (text != nullptr && text->fieldList().size() >= 2)
            Put(fields, text->description(), text->fieldList()[1]);
    }
}

void FromApe(GainFields& fields, TagLib::APE::Tag* ape)
{
    if (ape == nullptr)
        return;
    for (const auto& [name, item] : ape->itemListMap())
        if (item.type() == TagLib::APE::Item::Text)
            Put(fields, name, item.toString());
}

// MP4 keeps them in freeform atoms, "----:com.apple.iTunes:replaygain_track_gain".
void FromMp4(GainFields& fields, TagLib::MP4::Tag* mp4)
{
    if (mp4 == nullptr)
        return;
    for (const auto& [name, item] : mp4->itemMap()) {
        if (!name.startsWith("----:"))
            continue;
        const int colon = name.rfind(":");
        const TagLib::StringList values = item.toStringList();
        if (colon >= 0 && !values.isEmpty())
            Put(fields, name.substr(static_cast<unsigned>(colon) + 1), values.front());
    }
}

void FromAsf(GainFields& fields, TagLib::ASF::Tag* asf)
{
    if (asf == nullptr)
        return;
    for (const auto& [name, attributes] : asf->attributeListMap())
        if (!attributes.isEmpty() &&
            attributes.front().type() == TagLib::ASF::Attribute::UnicodeType)
            Put(fields, name, attributes.front().toString());
}

void ReadFields(GainFields& fields, TagLib::File* file)
{
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        FromId3v2(fields, mpeg->ID3v2Tag());
        FromApe(fields, mpeg->APETag());
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        FromXiph(fields, flac->xiphComment());
        FromId3v2(fields, flac->ID3v2Tag());
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        FromMp4(fields, mp4->tag());
    } else if (auto* ogg = dynamic_cast<TagLib::Ogg::File*>(file)) {
        FromXiph(fields, dynamic_cast<TagLib::Ogg::XiphComment*>(ogg->tag()));
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        FromId3v2(fields, wav->ID3v2Tag());
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        FromId3v2(fields, aiff->tag());
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        FromAsf(fields, asf->tag());
    } else if (auto* wavpack = dynamic_cast<TagLib::WavPack::File*>(file)) {
        FromApe(fields, wavpack->APETag());
    } else if (auto* ape = dynamic_cast<TagLib::APE::File*>(file)) {
        FromApe(fields, ape->APETag());
    } else if (auto* mpc = dynamic_cast<TagLib::MPC::File*>(file)) {
        FromApe(fields, mpc->APETag());
    } else if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(file)) {
        FromId3v2(fields, tta->ID3v2Tag());
    }
}

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
    const bool bUnit = rest.empty() || Upper(std::string(rest)) == "DB";
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
    struct stat st
    {};
    if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return tags;
    CTagFile file(strPath);
    TagLib::FileRef& ref = file.Ref();
    if (ref.isNull())
        return tags;
    if (ref.tag() != nullptr)
        tags.strAlbum = ref.tag()->album().to8Bit(true);
    GainFields fields;
    ReadFields(fields, ref.file());
    // An Opus file's own gains are R128's; its ReplayGain fields, if any, come second.
    if (dynamic_cast<TagLib::Ogg::Opus::File*>(ref.file()) != nullptr) {
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

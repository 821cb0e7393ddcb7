// The tag readers' module (libsorvane_tagreader.so): everything that reads a file's tags with
// TagLib, behind the one entry point SorvaneTagReader. See TagReader.h.

#include "media/TagReader.h"

#include "base/LegacyText.h"
#include "media/TagFile.h"

#include <taglib/aifffile.h>
#include <taglib/apefile.h>
#include <taglib/apetag.h>
#include <taglib/asffile.h>
#include <taglib/attachedpictureframe.h>
#include <taglib/fileref.h>
#include <taglib/flacfile.h>
#include <taglib/id3v1tag.h>
#include <taglib/id3v2tag.h>
#include <taglib/infotag.h>
#include <taglib/mp4file.h>
#include <taglib/mpcfile.h>
#include <taglib/mpegfile.h>
#include <taglib/oggfile.h>
#include <taglib/opusfile.h>
#include <taglib/textidentificationframe.h>
#include <taglib/tpropertymap.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <algorithm>
#include <mutex>

namespace {

// Text that names no encoding (ID3v1 fields, ID3v2 frames marked Latin-1) read by the
// legacy-text rule: UTF-8, else code page 932 Japanese, else Latin-1.
TagLib::String LegacyTagText(const TagLib::ByteVector& data)
{
    std::string_view bytes(data.data(), data.size());
    // An ID3v1 field is padded with zero bytes (a Latin-1 frame's end is cut off already).
    bytes = bytes.substr(0, bytes.find('\0'));
    return TagLib::String(DecodeLegacyText(bytes), TagLib::String::UTF8);
}

class CLegacyId3v1Text : public TagLib::ID3v1::StringHandler
{
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override
    {
        return LegacyTagText(data).stripWhiteSpace();
    }
};

class CLegacyLatin1Text : public TagLib::ID3v2::Latin1StringHandler
{
public:
    TagLib::String parse(const TagLib::ByteVector& data) const override
    {
        return LegacyTagText(data);
    }
};

// TagLib's handlers are process-wide: installed once, before the first file is read, and
// never taken back.
void InstallLegacyTextHandlers()
{
    static std::once_flag installed;
    std::call_once(installed, [] {
        static const CLegacyId3v1Text id3v1;
        static const CLegacyLatin1Text latin1;
        TagLib::ID3v1::Tag::setStringHandler(&id3v1);
        TagLib::ID3v2::Tag::setLatin1StringHandler(&latin1);
    });
}

// The tags a file carries, by kind, as TagLib gives them; null where it has none. Readers
// take them in the order of the members, so that a FLAC file's comments come before its
// ID3v2 tag and an MPEG file's ID3v2 tag before its APE tag.
struct KindTags
{
    TagLib::FLAC::File* flac = nullptr; // for its picture blocks
    TagLib::Ogg::XiphComment* xiph = nullptr;
    TagLib::ID3v2::Tag* id3v2 = nullptr;
    TagLib::APE::Tag* ape = nullptr;
    TagLib::MP4::Tag* mp4 = nullptr;
    TagLib::ASF::Tag* asf = nullptr;
};

KindTags TagsOf(TagLib::File* file)
{
    KindTags kinds;
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        kinds.id3v2 = mpeg->ID3v2Tag();
        kinds.ape = mpeg->APETag();
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        kinds.flac = flac;
        kinds.xiph = flac->xiphComment();
        kinds.id3v2 = flac->ID3v2Tag();
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        kinds.mp4 = mp4->tag();
    } else if (auto* ogg = dynamic_cast<TagLib::Ogg::File*>(file)) {
        kinds.xiph = dynamic_cast<TagLib::Ogg::XiphComment*>(ogg->tag());
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        kinds.id3v2 = wav->ID3v2Tag();
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        kinds.id3v2 = aiff->tag();
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        kinds.asf = asf->tag();
    } else if (auto* wavpack = dynamic_cast<TagLib::WavPack::File*>(file)) {
        kinds.ape = wavpack->APETag();
    } else if (auto* ape = dynamic_cast<TagLib::APE::File*>(file)) {
        kinds.ape = ape->APETag();
    } else if (auto* mpc = dynamic_cast<TagLib::MPC::File*>(file)) {
        kinds.ape = mpc->APETag();
    } else if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(file)) {
        kinds.id3v2 = tta->ID3v2Tag();
    }
    return kinds;
}

void SetCover(MediaTags& tags, const TagLib::ByteVector& data, const TagLib::String& type)
{
    if (tags.strCover.empty() && !data.isEmpty()) {
        tags.strCover.assign(data.data(), data.size());
        tags.strCoverType = type.to8Bit(true);
    }
}

void CoverFromId3v2(MediaTags& tags, TagLib::ID3v2::Tag* id3)
{
    if (id3 == nullptr)
        return;
    for (TagLib::ID3v2::Frame* frame : id3->frameListMap()["APIC"])
        if (auto* picture = dynamic_cast<TagLib::ID3v2::AttachedPictureFrame*>(frame))
            SetCover(tags, picture->picture(), picture->mimeType());
}

void CoverFromXiph(MediaTags& tags, TagLib::Ogg::XiphComment* xiph)
{
    if (xiph == nullptr)
        return;
    for (TagLib::FLAC::Picture* picture : xiph->pictureList())
        SetCover(tags, picture->data(), picture->mimeType());
}

// A binary APE item holds a file name, a zero byte, then the picture.
void CoverFromApe(MediaTags& tags, TagLib::APE::Tag* ape)
{
    if (ape == nullptr || !ape->itemListMap().contains("COVER ART (FRONT)"))
        return;
    const TagLib::ByteVector value = ape->itemListMap()["COVER ART (FRONT)"].binaryData();
    const int nul = value.find('\0');
    if (nul >= 0) {
        const TagLib::ByteVector data = value.mid(static_cast<unsigned>(nul) + 1);
        const bool png = data.startsWith("\x89PNG");
        SetCover(tags, data, png ? "image/png" : "image/jpeg");
    }
}

void ReadCover(MediaTags& tags, TagLib::File* file)
{
    const KindTags kinds = TagsOf(file);
    if (kinds.flac != nullptr)
        for (TagLib::FLAC::Picture* picture : kinds.flac->pictureList())
            SetCover(tags, picture->data(), picture->mimeType());
    CoverFromXiph(tags, kinds.xiph);
    CoverFromId3v2(tags, kinds.id3v2);
    CoverFromApe(tags, kinds.ape);
    if (kinds.mp4 != nullptr && kinds.mp4->contains("covr")) {
        for (const TagLib::MP4::CoverArt& art : kinds.mp4->item("covr").toCoverArtList()) {
            SetCover(tags, art.data(),
                     art.format() == TagLib::MP4::CoverArt::PNG ? "image/png" : "image/jpeg");
        }
    }
    if (kinds.asf != nullptr && kinds.asf->contains("WM/Picture")) {
        for (const TagLib::ASF::Attribute& attribute : kinds.asf->attribute("WM/Picture")) {
            const TagLib::ASF::Picture picture = attribute.toPicture();
            if (picture.isValid())
                SetCover(tags, picture.picture(), picture.mimeType());
        }
    }
}

// Fills the fields of tags still empty from tag.
void ReadTextTags(MediaTags& tags, const TagLib::Tag& tag)
{
    auto fill = [](std::string& field, const TagLib::String& value) {
        if (field.empty())
            field = value.to8Bit(true);
    };
    fill(tags.strTitle, tag.title());
    fill(tags.strArtist, tag.artist());
    fill(tags.strAlbum, tag.album());
    if (tags.nTrack == 0)
        tags.nTrack = static_cast<int>(tag.track());
}

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
    const KindTags kinds = TagsOf(file);
    FromXiph(fields, kinds.xiph);
    FromId3v2(fields, kinds.id3v2);
    FromApe(fields, kinds.ape);
    FromMp4(fields, kinds.mp4);
    FromAsf(fields, kinds.asf);
}

MediaTags ReadTags(const std::string& strPath)
{
    MediaTags tags;
    CTagFile file(strPath);
    TagLib::FileRef& ref = file.Ref();
    if (ref.isNull() || ref.tag() == nullptr)
        return tags;
    ReadTextTags(tags, *ref.tag());
    // A WAV file's tag is its ID3v2 chunk; what it leaves empty may stand in its LIST INFO.
    if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(ref.file());
        wav != nullptr && wav->hasInfoTag())
        ReadTextTags(tags, *wav->InfoTag());
    ReadCover(tags, ref.file());
    return tags;
}

GainTagText ReadGainTags(const std::string& strPath)
{
    GainTagText gain;
    CTagFile file(strPath);
    TagLib::FileRef& ref = file.Ref();
    if (ref.isNull())
        return gain;
    if (ref.tag() != nullptr)
        gain.strAlbum = ref.tag()->album().to8Bit(true);
    ReadFields(gain.fields, ref.file());
    gain.bOpus = dynamic_cast<TagLib::Ogg::Opus::File*>(ref.file()) != nullptr;
    return gain;
}

std::string ReadProperty(const std::string& strPath, const char* name)
{
    CTagFile file(strPath);
    TagLib::FileRef& ref = file.Ref();
    if (ref.isNull())
        return {};
    const TagLib::PropertyMap properties = ref.file()->properties();
    const auto found = properties.find(name);
    if (found == properties.end() || found->second.isEmpty())
        return {};
    return found->second.front().to8Bit(true);
}

constexpr TagReaderTable kTable{&ReadTags, &ReadGainTags, &ReadProperty};

} // namespace

extern "C" __attribute__((visibility("default"))) const TagReaderTable* SorvaneTagReader()
{
    // Before any reader can run: every reader goes through the table.
    InstallLegacyTextHandlers();
    return &kTable;
}

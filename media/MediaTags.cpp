#include "media/MediaTags.h"

#include "base/LegacyText.h"
#include "base/Path.h"
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
#include <taglib/mpegfile.h>
#include <taglib/oggfile.h>
#include <taglib/trueaudiofile.h>
#include <taglib/wavfile.h>
#include <taglib/wavpackfile.h>
#include <taglib/xiphcomment.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <sys/stat.h>

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
    if (auto* mpeg = dynamic_cast<TagLib::MPEG::File*>(file)) {
        CoverFromId3v2(tags, mpeg->ID3v2Tag());
        CoverFromApe(tags, mpeg->APETag());
    } else if (auto* flac = dynamic_cast<TagLib::FLAC::File*>(file)) {
        for (TagLib::FLAC::Picture* picture : flac->pictureList())
            SetCover(tags, picture->data(), picture->mimeType());
        CoverFromId3v2(tags, flac->ID3v2Tag());
    } else if (auto* mp4 = dynamic_cast<TagLib::MP4::File*>(file)) {
        if (mp4->tag() != nullptr && mp4->tag()->contains("covr")) {
            for (const TagLib::MP4::CoverArt& art : mp4->tag()->item("covr").toCoverArtList()) {
                SetCover(tags, art.data(),
                         art.format() == TagLib::MP4::CoverArt::PNG ? "image/png" : "image/jpeg");
            }
        }
    } else if (auto* ogg = dynamic_cast<TagLib::Ogg::File*>(file)) {
        CoverFromXiph(tags, dynamic_cast<TagLib::Ogg::XiphComment*>(ogg->tag()));
    } else if (auto* wav = dynamic_cast<TagLib::RIFF::WAV::File*>(file)) {
        CoverFromId3v2(tags, wav->ID3v2Tag());
    } else if (auto* aiff = dynamic_cast<TagLib::RIFF::AIFF::File*>(file)) {
        CoverFromId3v2(tags, aiff->tag());
    } else if (auto* asf = dynamic_cast<TagLib::ASF::File*>(file)) {
        if (asf->tag() != nullptr && asf->tag()->contains("WM/Picture")) {
            for (const TagLib::ASF::Attribute& attribute : asf->tag()->attribute("WM/Picture")) {
                const TagLib::ASF::Picture picture = attribute.toPicture();
                if (picture.isValid())
                    SetCover(tags, picture.picture(), picture.mimeType());
            }
        }
    } else if (auto* wavpack = dynamic_cast<TagLib::WavPack::File*>(file)) {
        CoverFromApe(tags, wavpack->APETag());
    } else if (auto* ape = dynamic_cast<TagLib::APE::File*>(file)) {
        CoverFromApe(tags, ape->APETag());
    } else if (auto* tta = dynamic_cast<TagLib::TrueAudio::File*>(file)) {
        CoverFromId3v2(tags, tta->ID3v2Tag());
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

bool IsPlainFile(const std::string& strPath, std::int64_t* pnModified = nullptr)
{
    struct stat st
    {};
    if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (pnModified != nullptr) {
        *pnModified =
            static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
    }
    return true;
}

std::string CacheDirectory()
{
    const char* cache = std::getenv("XDG_CACHE_HOME");
    if (cache != nullptr && cache[0] == '/')
        return JoinPath(cache, "sorvane");
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] != '/')
        return {};
    return JoinPath(JoinPath(home, ".cache"), "sorvane");
}

} // namespace

MediaTags ReadMediaTags(const std::string& strPath)
{
    MediaTags tags;
    if (!IsPlainFile(strPath))
        return tags;
    InstallLegacyTextHandlers();
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

std::string CoverArtPath(const std::string& strPath, const MediaTags& tags)
{
    if (!tags.strCover.empty()) {
        const std::string dir = CacheDirectory();
        char name[32];
        std::snprintf(name, sizeof name, "cover-%016zx.%s", std::hash<std::string>{}(tags.strCover),
                      tags.strCoverType == "image/png" ? "png" : "jpg");
        const std::string path = dir.empty() ? std::string() : JoinPath(dir, name);
        if (!path.empty() && IsPlainFile(path))
            return path;
        std::error_code error;
        std::filesystem::create_directories(dir, error);
        // Written beside its place and renamed, so that a reader never sees half a picture.
        const std::string temporary = path + ".part";
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        out.write(tags.strCover.data(), static_cast<std::streamsize>(tags.strCover.size()));
        out.close();
        if (!dir.empty() && out && std::rename(temporary.c_str(), path.c_str()) == 0)
            return path;
        std::remove(temporary.c_str());
    }
    if (const auto dir = DirectoryOf(strPath)) {
        for (const char* name : {"cover.jpg", "folder.jpg"}) {
            const std::string beside = JoinPath(*dir, name);
            if (IsPlainFile(beside))
                return beside;
        }
    }
    return {};
}

const MediaTags& CMediaTagCache::Get(const std::string& strPath, std::string* pstrCover)
{
    std::int64_t modified = -1;
    IsPlainFile(strPath, &modified);
    if (strPath != m_strPath || modified != m_nModified) {
        m_strPath = strPath;
        m_nModified = modified;
        m_tags = ReadMediaTags(strPath);
        m_strCover = CoverArtPath(strPath, m_tags);
        // The picture is on disk now; the bytes need not stay in memory.
        m_tags.strCover.clear();
        m_tags.strCover.shrink_to_fit();
    }
    if (pstrCover != nullptr)
        *pstrCover = m_strCover;
    return m_tags;
}

#include "media/CueSheet.h"

#include "base/LegacyText.h"
#include "base/MbString.h"
#include "base/Path.h"
#include "base/ScanInt.h"
#include "media/CueText.h"
#include "media/TagReader.h"

#include <FLAC/metadata.h>

#include <cstdio>
#include <memory>
#include <sys/stat.h>

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
// A sheet's times count frames of 1/75 s, as on a disc.
constexpr std::int64_t kCueFramesPerSecond = 75;
// Minutes beyond any real album, so that a time's value cannot overflow.
constexpr std::uint64_t kMaxCueMinutes = 1'000'000;
// The extensions whose files may carry a sheet of their own.
constexpr std::string_view kEmbeddingExtensions[] = {".flac", ".wv", ".ape"};

// "mm:ss:ff" at the start of text, in milliseconds; nullopt when malformed.
std::optional<std::int64_t> CueTime(std::string_view text)
{
    std::size_t pos = 0;
    const std::optional<std::uint64_t> minutes = ScanDigits(text, pos);
    if (!minutes || *minutes > kMaxCueMinutes || pos >= text.size() || text[pos++] != ':')
        return std::nullopt;
    const std::optional<std::uint64_t> seconds = ScanDigits(text, pos);
    if (!seconds || *seconds >= 60 || pos >= text.size() || text[pos++] != ':')
        return std::nullopt;
    const std::optional<std::uint64_t> frames = ScanDigits(text, pos);
    if (!frames || *frames >= static_cast<std::uint64_t>(kCueFramesPerSecond))
        return std::nullopt;
    const auto total =
        static_cast<std::int64_t>((*minutes * 60 + *seconds) * kCueFramesPerSecond + *frames);
    return total * 1000 / kCueFramesPerSecond;
}

// The track being read: what its lines said so far.
struct PendingTrack
{
    CueTrack track;
    bool bValid = false;
    bool bStarted = false;
};

class CSheetReader
{
public:
    CSheetReader(const std::string& strDirectory, const std::string& strOnlyFile)
        : m_strDirectory(strDirectory)
        , m_strOnlyFile(strOnlyFile)
    {}

    void Line(const std::string& line)
    {
        std::string rest;
        const std::string word = CueKeyword(line, rest);
        std::string after;
        if (word == "FILE") {
            Finish();
            const std::optional<std::string> name = CueWord(rest, after);
            if (!m_strOnlyFile.empty())
                m_strFile = m_strOnlyFile;
            else if (!name)
                m_strFile.clear();
            else
                m_strFile =
                    name->front() == kPathSeparator ? *name : JoinPath(m_strDirectory, *name);
        } else if (word == "TRACK") {
            Finish();
            const long number = CueTrackNumber(rest);
            m_pending = PendingTrack{};
            m_bInTrack = true;
            m_pending.bValid = number > m_nLastNumber && !m_strFile.empty();
            if (m_pending.bValid)
                m_nLastNumber = number;
            m_pending.track.nNumber = static_cast<int>(number);
            m_pending.track.strFile = m_strFile;
        } else if (word == "TITLE" || word == "PERFORMER") {
            const std::string text = CueWord(rest, after).value_or(std::string());
            std::string& field = word == "TITLE"
                                     ? (m_bInTrack ? m_pending.track.strTitle : m_strAlbum)
                                     : (m_bInTrack ? m_pending.track.strPerformer : m_strPerformer);
            field = text;
        } else if (word == "INDEX" && m_bInTrack) {
            std::size_t pos = 0;
            const std::optional<std::uint64_t> index = ScanDigits(rest, pos);
            const std::size_t time = rest.find_first_not_of(" \t", pos);
            if (index == 1u && time != std::string::npos) {
                if (const std::optional<std::int64_t> start = CueTime(rest.substr(time))) {
                    m_pending.track.nStartMs = *start;
                    m_pending.bStarted = true;
                }
            }
        }
    }

    CueSheet Result()
    {
        Finish();
        CueSheet sheet;
        sheet.tracks = std::move(m_tracks);
        for (std::size_t i = 0; i < sheet.tracks.size(); ++i) {
            CueTrack& track = sheet.tracks[i];
            if (i + 1 < sheet.tracks.size() && sheet.tracks[i + 1].strFile == track.strFile)
                track.nEndMs = sheet.tracks[i + 1].nStartMs;
            if (track.strPerformer.empty())
                track.strPerformer = m_strPerformer;
            track.strAlbum = m_strAlbum;
        }
        return sheet;
    }

private:
    // Keeps the pending track when it is whole and starts after the one before it in its file.
    void Finish()
    {
        if (!m_bInTrack)
            return;
        m_bInTrack = false;
        if (!m_pending.bValid || !m_pending.bStarted)
            return;
        if (!m_tracks.empty() && m_tracks.back().strFile == m_pending.track.strFile &&
            m_pending.track.nStartMs <= m_tracks.back().nStartMs)
            return;
        m_tracks.push_back(std::move(m_pending.track));
    }

    const std::string& m_strDirectory;
    const std::string& m_strOnlyFile;
    std::string m_strFile;
    std::string m_strAlbum;
    std::string m_strPerformer;
    long m_nLastNumber = 0;
    bool m_bInTrack = false;
    PendingTrack m_pending;
    std::vector<CueTrack> m_tracks;
};

bool IsPlainFile(const std::string& strPath)
{
    struct stat st
    {};
    return ::stat(strPath.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

// The text of the CUESHEET tag of the WavPack or APE file at strPath (its APE tag); empty when
// it has none.
std::string EmbeddedSheetText(const std::string& strPath)
{
    const TagReaderTable* reader = LoadedTagReader();
    return reader != nullptr ? reader->pReadProperty(strPath, "CUESHEET") : std::string();
}

// A FLAC cue sheet block written as a sheet's text (so that the one reader checks it). Its
// offsets count samples at rate.
std::string CueSheetBlockText(const FLAC__StreamMetadata_CueSheet& sheet, std::uint64_t rate)
{
    std::string text = "FILE \"\" WAVE\n";
    for (unsigned t = 0; t < sheet.num_tracks; ++t) {
        const FLAC__StreamMetadata_CueSheet_Track& track = sheet.tracks[t];
        if (track.type != 0) // a data track
            continue;
        for (unsigned i = 0; i < track.num_indices; ++i) {
            if (track.indices[i].number != 1)
                continue;
            const std::uint64_t frames = (track.offset + track.indices[i].offset) *
                                         static_cast<std::uint64_t>(kCueFramesPerSecond) / rate;
            char line[96];
            std::snprintf(line, sizeof line, "TRACK %u AUDIO\nINDEX 01 %llu:%02llu:%02llu\n",
                          unsigned{track.number},
                          static_cast<unsigned long long>(frames / kCueFramesPerSecond / 60),
                          static_cast<unsigned long long>(frames / kCueFramesPerSecond % 60),
                          static_cast<unsigned long long>(frames % kCueFramesPerSecond));
            text += line;
        }
    }
    return text;
}

// The sheet of the FLAC file at strPath: its CUESHEET comment, else its cue sheet block;
// empty when it has neither. The file's metadata blocks are walked once, and only the
// stream information, the comments and the cue sheet are read (never a picture).
std::string FlacSheetText(const std::string& strPath)
{
    using Block = std::unique_ptr<FLAC__StreamMetadata, decltype(&FLAC__metadata_object_delete)>;
    const std::unique_ptr<FLAC__Metadata_SimpleIterator,
                          decltype(&FLAC__metadata_simple_iterator_delete)>
        it(FLAC__metadata_simple_iterator_new(), &FLAC__metadata_simple_iterator_delete);
    if (!it || !FLAC__metadata_simple_iterator_init(it.get(), strPath.c_str(), true, false))
        return {};
    std::uint64_t rate = 0;
    Block sheet(nullptr, &FLAC__metadata_object_delete);
    do {
        const FLAC__MetadataType type = FLAC__metadata_simple_iterator_get_block_type(it.get());
        if (type != FLAC__METADATA_TYPE_STREAMINFO && type != FLAC__METADATA_TYPE_VORBIS_COMMENT &&
            type != FLAC__METADATA_TYPE_CUESHEET)
            continue;
        Block block(FLAC__metadata_simple_iterator_get_block(it.get()),
                    &FLAC__metadata_object_delete);
        if (!block)
            return {};
        if (type == FLAC__METADATA_TYPE_STREAMINFO) {
            rate = block->data.stream_info.sample_rate;
        } else if (type == FLAC__METADATA_TYPE_CUESHEET) {
            sheet = std::move(block);
        } else {
            const FLAC__StreamMetadata_VorbisComment& comments = block->data.vorbis_comment;
            for (FLAC__uint32 i = 0; i < comments.num_comments; ++i) {
                const std::string_view entry(
                    reinterpret_cast<const char*>(comments.comments[i].entry),
                    comments.comments[i].length);
                constexpr std::string_view kKey = "CUESHEET=";
                if (entry.size() > kKey.size() &&
                    MbsICmp(entry.substr(0, kKey.size()), kKey, CodePage::Utf8) == 0)
                    return std::string(entry.substr(kKey.size()));
            }
        }
    } while (FLAC__metadata_simple_iterator_next(it.get()));
    return sheet && rate > 0 ? CueSheetBlockText(sheet->data.cue_sheet, rate) : std::string();
}

} // namespace

CueSheet ParseCueSheet(std::string_view text, const std::string& strDirectory,
                       const std::string& strOnlyFile)
{
    if (text.starts_with(kUtf8Bom))
        text.remove_prefix(kUtf8Bom.size());
    const std::string decoded = DecodeLegacyText(text);
    CSheetReader reader(strDirectory, strOnlyFile);
    std::size_t begin = 0;
    while (begin < decoded.size()) {
        std::size_t end = decoded.find('\n', begin);
        if (end == std::string::npos)
            end = decoded.size();
        std::string line = decoded.substr(begin, end - begin);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        reader.Line(line);
        begin = end + 1;
    }
    return reader.Result();
}

bool MayEmbedCueSheet(std::string_view strPath)
{
    for (const std::string_view extension : kEmbeddingExtensions)
        if (EndsWithNoCase(strPath, extension))
            return true;
    return false;
}

std::optional<CueSheet> ReadCueSheet(const std::string& strPath)
{
    const std::string directory = DirectoryOf(strPath).value_or(std::string("."));
    if (EndsWithNoCase(strPath, ".cue")) {
        std::string text;
        if (!ReadCueSheetBytes(strPath, text))
            return std::nullopt;
        return ParseCueSheet(text, directory);
    }
    if (!MayEmbedCueSheet(strPath))
        return std::nullopt;
    if (!IsPlainFile(strPath))
        return std::nullopt;
    const std::string text =
        EndsWithNoCase(strPath, ".flac") ? FlacSheetText(strPath) : EmbeddedSheetText(strPath);
    if (text.empty())
        return std::nullopt;
    return ParseCueSheet(text, directory, strPath);
}

std::string CueTrackEntry(const std::string& strSheet, int nNumber)
{
    return strSheet + "#" + std::to_string(nNumber);
}

std::optional<std::pair<std::string, int>> SplitCueTrackEntry(std::string_view entry)
{
    const std::size_t hash = entry.rfind('#');
    if (hash == std::string_view::npos || hash == 0)
        return std::nullopt;
    const std::string_view digits = entry.substr(hash + 1);
    std::size_t pos = 0;
    const std::optional<std::uint64_t> number = ScanDigits(digits, pos);
    if (!number || pos != digits.size() || *number < 1 ||
        *number > static_cast<std::uint64_t>(kMaxCueTrack))
        return std::nullopt;
    const std::string_view sheet = entry.substr(0, hash);
    if (!EndsWithNoCase(sheet, ".cue") && !MayEmbedCueSheet(sheet))
        return std::nullopt;
    return std::make_pair(std::string(sheet), static_cast<int>(*number));
}

std::optional<CueTrack> ReadCueTrackEntry(std::string_view entry)
{
    const auto split = SplitCueTrackEntry(entry);
    if (!split)
        return std::nullopt;
    std::optional<CueSheet> sheet = ReadCueSheet(split->first);
    if (!sheet)
        return std::nullopt;
    for (CueTrack& track : sheet->tracks)
        if (track.nNumber == split->second)
            return std::move(track);
    return std::nullopt;
}

std::string CueTrackName(const CueTrack& track)
{
    return track.strTitle.empty() ? "Track " + std::to_string(track.nNumber) : track.strTitle;
}

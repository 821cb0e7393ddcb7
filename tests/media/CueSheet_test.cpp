#include "media/CueSheet.h"

#include "tests/support/AvWriter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <FLAC/metadata.h>

namespace {

// Adds a cue sheet block to the FLAC file at path (44.1 kHz) with a track starting at each of
// startSeconds, and the lead-out.
bool AddFlacCueSheetBlock(const std::string& path, const std::vector<unsigned>& startSeconds)
{
    constexpr FLAC__uint64 kRate = 44100;
    FLAC__StreamMetadata* block = FLAC__metadata_object_new(FLAC__METADATA_TYPE_CUESHEET);
    for (unsigned i = 0; i <= startSeconds.size(); ++i) {
        FLAC__metadata_object_cuesheet_insert_blank_track(block, i);
        FLAC__StreamMetadata_CueSheet_Track& track = block->data.cue_sheet.tracks[i];
        const bool bLeadOut = i == startSeconds.size();
        track.number = bLeadOut ? 255 : static_cast<FLAC__byte>(i + 1);
        track.offset = bLeadOut ? 3 * kRate : startSeconds[i] * kRate;
        if (!bLeadOut) {
            FLAC__metadata_object_cuesheet_track_insert_blank_index(block, i, 0);
            block->data.cue_sheet.tracks[i].indices[0].number = 1;
        }
    }
    FLAC__Metadata_Chain* chain = FLAC__metadata_chain_new();
    FLAC__Metadata_Iterator* it = FLAC__metadata_iterator_new();
    const bool bRead = FLAC__metadata_chain_read(chain, path.c_str());
    if (bRead)
        FLAC__metadata_iterator_init(it, chain);
    const bool bWritten = bRead && FLAC__metadata_iterator_insert_block_after(it, block) &&
                          FLAC__metadata_chain_write(chain, true, false);
    if (!bWritten)
        FLAC__metadata_object_delete(block);
    FLAC__metadata_iterator_delete(it);
    FLAC__metadata_chain_delete(chain);
    return bWritten;
}

constexpr const char* kAlbumSheet = "REM GENRE Test\r\n"
                                    "PERFORMER \"The Band\"\r\n"
                                    "TITLE \"The Album\"\r\n"
                                    "FILE \"album.flac\" WAVE\r\n"
                                    "  TRACK 01 AUDIO\r\n"
                                    "    TITLE \"First\"\r\n"
                                    "    INDEX 01 00:00:00\r\n"
                                    "  TRACK 02 AUDIO\r\n"
                                    "    TITLE \"Second\"\r\n"
                                    "    PERFORMER Guest\r\n"
                                    "    INDEX 00 00:01:50\r\n"
                                    "    INDEX 01 00:02:00\r\n"
                                    "  TRACK 03 AUDIO\r\n"
                                    "    INDEX 01 00:04:15\r\n";

// Catches a track's span taken from INDEX 00 or ending anywhere but at the next track's
// INDEX 01, a relative FILE not joined to the sheet's folder, the sheet's performer and
// title not reaching its tracks, and a track without a title shown without its number.
TEST(CueSheet, TracksSpanFromIndexOneToTheNextTracksIndexOne)
{
    const CueSheet sheet = ParseCueSheet(kAlbumSheet, "/music");
    ASSERT_EQ(sheet.tracks.size(), 3u);
    const CueTrack& first = sheet.tracks[0];
    EXPECT_EQ(first.strFile, "/music/album.flac");
    EXPECT_EQ(first.nNumber, 1);
    EXPECT_EQ(first.nStartMs, 0);
    EXPECT_EQ(first.nEndMs, 2000);
    EXPECT_EQ(first.strTitle, "First");
    EXPECT_EQ(first.strPerformer, "The Band");
    EXPECT_EQ(first.strAlbum, "The Album");
    EXPECT_EQ(sheet.tracks[1].nStartMs, 2000);
    EXPECT_EQ(sheet.tracks[1].nEndMs, 4200);
    EXPECT_EQ(sheet.tracks[1].strPerformer, "Guest");
    EXPECT_EQ(sheet.tracks[2].nEndMs, -1) << "the last plays to the file's end";
    EXPECT_EQ(CueTrackName(sheet.tracks[2]), "Track 3");
}

// Catches bad sheets that crash, loop or let a track play backwards or twice: indexes that
// fall or repeat, numbers out of order or past 99, a track before any FILE or without INDEX
// 01, times out of range, a thousand tracks, and bytes that are no sheet at all.
TEST(CueSheet, BadTracksAreLeftOutAndTheRestKept)
{
    const CueSheet sheet = ParseCueSheet("TRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                                         "FILE a.wav WAVE\n"
                                         "TRACK 01 AUDIO\nINDEX 01 00:10:00\n"
                                         "TRACK 02 AUDIO\nINDEX 01 00:05:00\n"
                                         "TRACK 03 AUDIO\nINDEX 01 00:10:00\n"
                                         "TRACK 03 AUDIO\nINDEX 01 00:20:00\n"
                                         "TRACK 04 AUDIO\nINDEX 00 00:30:00\n"
                                         "TRACK 05 AUDIO\nINDEX 01 00:61:00\n"
                                         "TRACK 06 AUDIO\nINDEX 01 00:40:75\n"
                                         "TRACK 07 AUDIO\nINDEX 01 01:00:00\n"
                                         "TRACK 100 AUDIO\nINDEX 01 02:00:00\n",
                                         "/m");
    ASSERT_EQ(sheet.tracks.size(), 2u);
    EXPECT_EQ(sheet.tracks[0].nNumber, 1);
    EXPECT_EQ(sheet.tracks[0].nEndMs, 60000);
    EXPECT_EQ(sheet.tracks[1].nNumber, 7);
    EXPECT_EQ(sheet.tracks[1].nEndMs, -1);

    std::string many = "FILE a.wav WAVE\n";
    for (int i = 1; i <= 1000; ++i)
        many += "TRACK " + std::to_string(i) + " AUDIO\nINDEX 01 " + std::to_string(i) + ":00:00\n";
    EXPECT_EQ(ParseCueSheet(many, "/m").tracks.size(), 99u);
    EXPECT_TRUE(ParseCueSheet(std::string("\0\xFF\"FILE\n\"TRACK", 14), "/m").tracks.empty());
}

// Catches a sheet written in code page 932 without a byte-order mark read as Latin-1, and a
// UTF-8 byte-order mark taken for part of the first command.
TEST(CueSheet, TitlesInCodePage932OrAfterAByteOrderMarkReadRight)
{
    const CueSheet cp932 =
        ParseCueSheet("FILE \"a.flac\" WAVE\nTRACK 01 AUDIO\nTITLE \"\x83\x74\x83\x40\x81\x5B"
                      "\x83\x58\x83\x67\"\nINDEX 01 00:00:00\n",
                      "/m");
    ASSERT_EQ(cp932.tracks.size(), 1u);
    EXPECT_EQ(cp932.tracks[0].strTitle, "ファースト");
    const CueSheet marked =
        ParseCueSheet("\xEF\xBB\xBFTITLE \"Album\"\nFILE a.flac WAVE\nTRACK 01 AUDIO\n"
                      "INDEX 01 00:00:00\n",
                      "/m");
    ASSERT_EQ(marked.tracks.size(), 1u);
    EXPECT_EQ(marked.tracks[0].strAlbum, "Album");
}

// Catches a sheet in a FLAC file's CUESHEET tag or cue sheet block that is not found, or
// whose FILE line (the name of the file it was ripped to) is followed instead of the file
// holding it; and queue entries of tracks that are not told from other paths.
TEST(CueSheet, AnEmbeddedSheetSplitsTheFileHoldingIt)
{
    CTempDir dir;
    EncodedTone tone;
    tone.dSeconds = 3.0;
    tone.tags = {{"cuesheet", "FILE \"rip.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n"
                              "TRACK 02 AUDIO\nTITLE \"Two\"\nINDEX 01 00:01:00\n"}};
    const std::string flac = dir / "album.flac";
    ASSERT_TRUE(WriteEncodedTone(flac, tone));
    const std::optional<CueTrack> two = ReadCueTrackEntry(CueTrackEntry(flac, 2));
    ASSERT_TRUE(two.has_value());
    EXPECT_EQ(two->strFile, flac);
    EXPECT_EQ(two->strTitle, "Two");
    EXPECT_EQ(two->nStartMs, 1000);
    EXPECT_FALSE(ReadCueTrackEntry(CueTrackEntry(flac, 3)).has_value());

    // A FLAC file's cue sheet block does the same.
    tone.tags.clear();
    const std::string blocked = dir / "blocked.flac";
    ASSERT_TRUE(WriteEncodedTone(blocked, tone));
    ASSERT_TRUE(AddFlacCueSheetBlock(blocked, {0, 2}));
    const std::optional<CueSheet> sheet = ReadCueSheet(blocked);
    ASSERT_TRUE(sheet.has_value());
    ASSERT_EQ(sheet->tracks.size(), 2u);
    EXPECT_EQ(sheet->tracks[0].strFile, blocked);
    EXPECT_EQ(sheet->tracks[0].nEndMs, 2000);
    EXPECT_EQ(sheet->tracks[1].nEndMs, -1);

    EXPECT_EQ(SplitCueTrackEntry("/m/a.cue#12"), std::make_pair(std::string("/m/a.cue"), 12));
    EXPECT_FALSE(SplitCueTrackEntry("/m/a.mp3#1").has_value());
    EXPECT_FALSE(SplitCueTrackEntry("/m/a.cue#0").has_value());
    EXPECT_FALSE(SplitCueTrackEntry("/m/a.cue#100").has_value());
    EXPECT_FALSE(SplitCueTrackEntry("/m/a.cue#1x").has_value());
    EXPECT_FALSE(SplitCueTrackEntry("/m/a.cue").has_value());
}

} // namespace

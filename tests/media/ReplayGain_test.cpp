#include "media/ReplayGain.h"

#include "tests/support/AvWriter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <taglib/mp4file.h>

#include <sys/stat.h>

#include <cmath>
#include <vector>

namespace {

struct GainFile
{
    const char* name;
    const char* codec;
    bool bLowerCase; // the fields' names in lower case, as some taggers write them
};

// Catches a tag kind whose gains go unread (and so plays at full level): Vorbis comments in
// FLAC and Ogg, ID3v2 user text frames in MP3, APE in WavPack, and MP4 freeform atoms, each
// giving the same four values whatever the case of the fields' names.
TEST(ReplayGainTags, EveryTagKindGivesTrackAndAlbumGainAndPeak)
{
    CTempDir dir;
    const std::vector<GainFile> files = {
        {"vorbis.flac", "flac", false},    {"vorbis.ogg", "libvorbis", true},
        {"id3v2.mp3", "libmp3lame", true}, {"id3v2-upper.mp3", "libmp3lame", false},
        {"ape.wv", "wavpack", false},      {"freeform.m4a", "aac", true},
    };
    for (const GainFile& file : files) {
        EncodedTone tone;
        tone.strCodec = file.codec;
        tone.dSeconds = 0.2;
        const auto name = [&](const char* upper) {
            std::string text = upper;
            if (file.bLowerCase)
                for (char& c : text)
                    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
            return text;
        };
        tone.tags = {{"album", "Gains"},
                     {name("REPLAYGAIN_TRACK_GAIN"), "-6.00 dB"},
                     {name("REPLAYGAIN_TRACK_PEAK"), "0.501187"},
                     {name("REPLAYGAIN_ALBUM_GAIN"), "+2.5 dB"},
                     {name("REPLAYGAIN_ALBUM_PEAK"), "0.9"}};
        const std::string path = dir / file.name;
        ASSERT_TRUE(WriteEncodedTone(path, tone)) << file.name;
        if (std::string(file.name).ends_with(".m4a")) {
            // ffmpeg writes no freeform atoms: TagLib puts them in as the usual taggers do.
            TagLib::MP4::File mp4(path.c_str());
            ASSERT_TRUE(mp4.isValid());
            const char* prefix = "----:com.apple.iTunes:";
            for (const auto& [key, value] : tone.tags)
                if (key != "album")
                    mp4.tag()->setItem(prefix + key, TagLib::StringList(value));
            ASSERT_TRUE(mp4.save());
        }
        const ReplayGainTags tags = ReadReplayGainTags(path);
        EXPECT_EQ(tags.trackGainDb, -6.0) << file.name;
        EXPECT_EQ(tags.trackPeak, 0.501187) << file.name;
        EXPECT_EQ(tags.albumGainDb, 2.5) << file.name;
        EXPECT_EQ(tags.albumPeak, 0.9) << file.name;
        EXPECT_EQ(tags.strAlbum, "Gains") << file.name;
    }
}

// Catches Opus's R128 gains read as ReplayGain dB: they are Q7.8 and 5 dB lower.
TEST(ReplayGainTags, OpusR128GainsAreRaisedToTheSameReference)
{
    CTempDir dir;
    EncodedTone tone;
    tone.strCodec = "libopus";
    tone.nRate = 48000;
    tone.dSeconds = 0.2;
    tone.tags = {{"R128_TRACK_GAIN", "-2816"}, {"R128_ALBUM_GAIN", "256"}};
    ASSERT_TRUE(WriteEncodedTone(dir / "r128.opus", tone));
    const ReplayGainTags tags = ReadReplayGainTags(dir / "r128.opus");
    EXPECT_EQ(tags.trackGainDb, -6.0) << "-11 dB below -23 LUFS";
    EXPECT_EQ(tags.albumGainDb, 6.0);
    EXPECT_FALSE(tags.trackPeak.has_value());
}

// Catches garbage in a tag taken as a gain (a locale's decimal comma is no garbage), and a
// missing or special file that is read at all.
TEST(ReplayGainTags, GarbageValuesAndUnreadableFilesGiveNoGain)
{
    EXPECT_EQ(ParseGainDb(" +3,5 dB"), 3.5);
    EXPECT_EQ(ParseGainDb("-6"), -6.0);
    for (const char* bad : {"", "dB", "six dB", "-6 dBFS", "nan", "inf dB", "1e300", "-65 dB"})
        EXPECT_FALSE(ParseGainDb(bad).has_value()) << bad;
    EXPECT_EQ(ParsePeak("0.988831"), 0.988831);
    for (const char* bad : {"0", "-0.5", "1 dB", "nan", "100", ""})
        EXPECT_FALSE(ParsePeak(bad).has_value()) << bad;
    EXPECT_EQ(ParseR128GainDb("-1280"), 0.0);
    for (const char* bad : {"-12.5", "40000", "x", ""})
        EXPECT_FALSE(ParseR128GainDb(bad).has_value()) << bad;
    EXPECT_FALSE(ReadReplayGainTags("/nonexistent/a.flac").HasGain());
    EXPECT_FALSE(ReadReplayGainTags("/dev/null").HasGain());
    // A FIFO nobody writes would block the reader for ever.
    CTempDir dir;
    const std::string fifo = dir / "gain.flac";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_FALSE(ReadReplayGainTags(fifo).HasGain());
}

// Catches the wrong gain chosen for a mode, a preamp or untagged gain left out, and clipping
// left to the limiter: +12 dB on a peak of 0.5 may only double the level.
TEST(ReplayGainFactor, TheModesGainPlusPreampIsLoweredToTheStoredPeak)
{
    ReplayGainTags tags;
    tags.trackGainDb = -6.0;
    tags.albumGainDb = 12.0;
    tags.albumPeak = 0.5;
    ReplayGainSettings settings;
    settings.mode = ReplayGainMode::Track;
    EXPECT_NEAR(ReplayGainFactor(tags, false, settings), std::pow(10.0, -6.0 / 20), 1e-12);
    EXPECT_NEAR(ReplayGainFactor(tags, true, settings), 2.0, 1e-12) << "album, at its peak";
    settings.dPreampDb = 3.0;
    EXPECT_NEAR(ReplayGainFactor(tags, false, settings), std::pow(10.0, -3.0 / 20), 1e-12);
    tags.trackGainDb.reset();
    EXPECT_NEAR(ReplayGainFactor(tags, false, settings), 2.0, 1e-12) << "no track gain: album";
    settings.dUntaggedDb = -6.0;
    EXPECT_NEAR(ReplayGainFactor({}, true, settings), std::pow(10.0, -6.0 / 20), 1e-12);
    settings.dUntaggedDb = 0.0;
    EXPECT_EQ(ReplayGainFactor({}, true, settings), 1.0) << "exactly, so nothing is multiplied";
    settings.mode = ReplayGainMode::Off;
    EXPECT_EQ(ReplayGainFactor(tags, true, settings), 1.0);
}

} // namespace

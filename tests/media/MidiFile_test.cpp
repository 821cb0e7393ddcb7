#include "media/MidiFile.h"

#include "tests/support/TestMedia.h"

#include <gtest/gtest.h>

namespace {

// 480 ticks a quarter: 4 quarters at 120 bpm (2 s), then 2 quarters at 60 bpm (2 s).
std::string TempoChangeFile()
{
    MidiTrack tempo{{MidiTempo(0, 500000), MidiTempo(1920, 1000000)}, 2880};
    MidiTrack notes{{MidiNoteOn(0, 0, 60), MidiNoteOff(2880, 0, 60)}, 2880};
    return MakeMidi(1, 480, {tempo, notes});
}

TEST(MidiFile, TheLengthFollowsEveryTempoChange)
{
    CMidiFile midi;
    ASSERT_EQ(midi.Parse(TempoChangeFile()), CMidiFile::Result::Ok);
    EXPECT_EQ(midi.Type(), 1);
    EXPECT_EQ(midi.TrackCount(), 2);
    EXPECT_EQ(midi.EndTick(), 2880u);
    EXPECT_DOUBLE_EQ(midi.LengthMs(), 4000.0);
    EXPECT_DOUBLE_EQ(midi.TickToMs(1920), 2000.0);
    EXPECT_DOUBLE_EQ(midi.TickToMs(2400), 3000.0);
}

TEST(MidiFile, MillisecondsTurnBackIntoTheTicksTheyCameFrom)
{
    CMidiFile midi;
    ASSERT_EQ(midi.Parse(TempoChangeFile()), CMidiFile::Result::Ok);
    for (std::uint64_t tick : {0u, 1u, 479u, 1919u, 1920u, 1921u, 2400u, 2880u})
        EXPECT_EQ(midi.MsToTick(midi.TickToMs(tick)), tick);
    EXPECT_EQ(midi.MsToTick(999.0), 959u) << "a tick lasts 1.04 ms at 120 bpm";
}

TEST(MidiFile, TheEndOfTrackEventCountsTowardsTheLength)
{
    MidiTrack track{{MidiNoteOn(0, 0, 60), MidiNoteOff(96, 0, 60)}, 96 * 16};
    CMidiFile midi;
    ASSERT_EQ(midi.Parse(MakeMidi(0, 96, {track})), CMidiFile::Result::Ok);
    EXPECT_DOUBLE_EQ(midi.LengthMs(), 8000.0) << "the silence after the last note is played too";
}

TEST(MidiFile, RunningStatusAndUnknownChunksAreRead)
{
    MidiTrack track{
        {MidiNoteOn(0, 0, 60), {10, std::string("\x3E\x64", 2)}, {20, std::string("\x40\x64", 2)}},
        480};
    std::string bytes = MakeMidi(0, 480, {track});
    bytes.insert(14, std::string("XFIH\x00\x00\x00\x02"
                                 "ab",
                                 10));
    CMidiFile midi;
    ASSERT_EQ(midi.Parse(bytes), CMidiFile::Result::Ok);
    EXPECT_EQ(midi.EndTick(), 480u);
}

TEST(MidiFile, TheDefaultTempoIs120BeatsAMinute)
{
    CMidiFile midi;
    ASSERT_EQ(midi.Parse(MakeMidi(0, 480, {MidiTrack{{}, 960}})), CMidiFile::Result::Ok);
    EXPECT_DOUBLE_EQ(midi.LengthMs(), 1000.0);
}

TEST(MidiFile, MalformedFilesAreRefused)
{
    const std::string good = TempoChangeFile();
    std::string absurdChunk = good;
    absurdChunk.replace(18, 4, "\xFF\xFF\xFF\xF0", 4);
    std::string fiveByteDelta = MakeMidi(0, 480, {MidiTrack{{}, 0}});
    fiveByteDelta.insert(22, "\x81\x81\x81\x81\x01\x90\x3C\x40", 8);
    fiveByteDelta[21] = static_cast<char>(fiveByteDelta[21] + 8);
    std::string noStatus = MakeMidi(0, 480, {MidiTrack{{}, 0}});
    noStatus.insert(22, "\x00\x3C\x40", 3);
    noStatus[21] = static_cast<char>(noStatus[21] + 3);
    const struct
    {
        const char* name;
        std::string bytes;
        CMidiFile::Result result;
    } cases[] = {
        {"empty", "", CMidiFile::Result::NotMidi},
        {"garbage", std::string(200, 'q'), CMidiFile::Result::NotMidi},
        {"cut in a track", good.substr(0, good.size() - 5), CMidiFile::Result::NotMidi},
        {"second track missing", good.substr(0, 14 + 8 + 20), CMidiFile::Result::NotMidi},
        {"absurd chunk length", absurdChunk, CMidiFile::Result::NotMidi},
        {"five-byte delta time", fiveByteDelta, CMidiFile::Result::NotMidi},
        {"data without status", noStatus, CMidiFile::Result::NotMidi},
        {"type 2", MakeMidi(2, 480, {MidiTrack{}}), CMidiFile::Result::UnsupportedType},
        {"no tracks", MakeMidi(1, 480, {}), CMidiFile::Result::UnsupportedType},
        {"SMPTE timing", MakeMidi(0, 0xE728, {MidiTrack{}}), CMidiFile::Result::SmpteTiming},
        {"zero division", MakeMidi(0, 0, {MidiTrack{}}), CMidiFile::Result::NotMidi},
    };
    for (const auto& c : cases) {
        CMidiFile midi;
        EXPECT_EQ(midi.Parse(c.bytes), c.result) << c.name;
    }
}

TEST(MidiFile, AbsurdDeltaTimesMakeAFileTooLongRatherThanOverflow)
{
    MidiTrack track;
    for (std::uint32_t i = 1; i <= 12; ++i)
        track.events.push_back(MidiNoteOn(i * 0x0FFFFFFFu, 0, 60));
    track.endTick = 12 * 0x0FFFFFFFu;
    CMidiFile midi;
    EXPECT_EQ(midi.Parse(MakeMidi(0, 1, {track})), CMidiFile::Result::TooLong);
}

} // namespace

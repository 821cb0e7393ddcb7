#include "media/SequencerDevice.h"

#include "tests/media/MciFixture.h"
#include "tests/support/ManualClock.h"
#include "tests/support/TestEnvironment.h"
#include "tests/support/TestMedia.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

class SequencerDevice : public MciTest
{
protected:
    void SetUp() override
    {
        MciTest::SetUp();
        UseTestSoundFont();
    }
    void TearDown() override
    {
        MciTest::TearDown();
        UseTestSoundFont();
    }

    MCIDEVICEID OpenMidi(const std::string& bytes, MCIERROR* error = nullptr)
    {
        return Open(MCI_DEVTYPE_SEQUENCER, dir.Write("song.mid", bytes), error);
    }
};

// Type 1, 480 ticks a quarter: 120 bpm for 4 quarters (2 s), then 60 bpm for 2 (2 s).
std::string TempoChangeSong()
{
    MidiTrack tempo{{MidiTempo(0, 500000), MidiTempo(1920, 1000000)}, 2880};
    MidiTrack notes{{MidiProgram(0, 0, 0), MidiNoteOn(0, 0, 60), MidiNoteOff(2880, 0, 60)}, 2880};
    return MakeMidi(1, 480, {tempo, notes});
}

// Type 0 at 120 bpm: a half-second note, then silence until 4 s.
std::string SilentTailSong()
{
    MidiTrack track{{MidiNoteOn(0, 0, 69), MidiNoteOff(480, 0, 69)}, 480 * 8};
    return MakeMidi(0, 480, {track});
}

// Catches the SoundFont (148 MB for the common one) staying loaded for good after the last
// MIDI file when nothing else is played, or being let go while a MIDI file is open.
TEST_F(SequencerDevice, TheSoundFontIsLetGoOnceNoMidiWasOpenForTheIdleTime)
{
    CSequencerDevice::SetSoundFontIdleForTest(std::chrono::milliseconds(100));
    const MCIDEVICEID id = OpenMidi(SilentTailSong());
    ASSERT_NE(id, 0u);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_TRUE(CSequencerDevice::SoundFontLoaded()) << "let go while open";
    mciSendCommand(id, MCI_CLOSE, 0, nullptr);
    const bool bLetGo = WaitUntil([] { return !CSequencerDevice::SoundFontLoaded(); });
    CSequencerDevice::SetSoundFontIdleForTest(CSequencerDevice::kSoundFontIdle);
    EXPECT_TRUE(bLetGo);
}

TEST_F(SequencerDevice, TheLengthComesFromTheFilesTempoMap)
{
    const MCIDEVICEID id = OpenMidi(TempoChangeSong());
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 4000u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
}

TEST_F(SequencerDevice, PlayingSoundsAndMovesThePositionWithTheClock)
{
    const MCIDEVICEID id = OpenMidi(TempoChangeSong());
    ASSERT_EQ(Play(id), 0u);
    std::vector<float> captured;
    Advance(1000, &captured);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 1000u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    EXPECT_EQ(captured.size(), 44100u * 2);
    EXPECT_GT(Rms(captured), 0.001) << "the note is heard";
}

TEST_F(SequencerDevice, ThePlayEndsAtTheFilesLengthEvenAfterALongSilence)
{
    const MCIDEVICEID id = OpenMidi(SilentTailSong());
    ASSERT_EQ(Status(id, MCI_STATUS_LENGTH), 4000u);
    Play(id);
    Advance(3999);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_PLAY);
    Advance(1);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 1u);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    Advance(4000);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 1u);
}

TEST_F(SequencerDevice, StopKeepsThePositionAndPlayGoesOn)
{
    const MCIDEVICEID id = OpenMidi(TempoChangeSong());
    Play(id);
    Advance(1500);
    Stop(id);
    Advance(500);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 1500u);
    Play(id);
    Advance(2500);
    EXPECT_EQ(Notified(MCI_NOTIFY_ABORTED), 1u);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
}

TEST_F(SequencerDevice, ASeekLandsAtThatTimeOfTheMusic)
{
    // A note from 3 s to 4 s, nothing before it.
    MidiTrack track{{MidiNoteOn(2880, 0, 69, 127), MidiNoteOff(3840, 0, 69)}, 3840};
    const MCIDEVICEID id = OpenMidi(MakeMidi(0, 480, {track}));
    ASSERT_EQ(Seek(id, 2500), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 2500u);
    Play(id);
    std::vector<float> before;
    Advance(450, &before);
    EXPECT_LT(Rms(before), 1e-4) << "silence before the note";
    std::vector<float> during;
    Advance(50);
    Advance(300, &during);
    EXPECT_GT(Rms(during), 0.001) << "the note starts at 3 s";
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 2800u + 500u);
}

TEST_F(SequencerDevice, Type0AndType1FilesBothPlayToTheirEnd)
{
    for (const std::string& bytes : {SilentTailSong(), TempoChangeSong()}) {
        const MCIDEVICEID id = OpenMidi(bytes);
        ASSERT_NE(id, 0u);
        Play(id);
        Advance(4000);
        mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    }
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 2u);
}

TEST_F(SequencerDevice, WithoutASoundFontTheOpenFailsWithATextThatSaysSo)
{
    setenv("SORVANE_SOUNDFONT", (dir / "none.sf2").c_str(), 1);
    MCIERROR error = 0;
    EXPECT_EQ(OpenMidi(SilentTailSong(), &error), 0u);
    EXPECT_EQ(error, MCIERR_SEQ_NO_SOUNDFONT);
    char text[256];
    mciGetErrorString(error, text, sizeof text);
    EXPECT_NE(std::strstr(text, "SoundFont"), nullptr) << text;
}

TEST_F(SequencerDevice, AFileThatIsNoSoundFontIsRefused)
{
    setenv("SORVANE_SOUNDFONT", dir.Write("fake.sf2", "RIFF....sfbk garbage").c_str(), 1);
    MCIERROR error = 0;
    EXPECT_EQ(OpenMidi(SilentTailSong(), &error), 0u);
    EXPECT_EQ(error, MCIERR_SEQ_SOUNDFONT_INVALID);
    UseTestSoundFont();
    EXPECT_NE(OpenMidi(SilentTailSong()), 0u) << "the right SoundFont loads again afterwards";
}

// Catches the next MIDI file refused while one plays (so that a queue of MIDI files cannot
// follow on without a gap), two files sharing one synthesizer (each would hear the other's
// notes and lose half its own sound), and no limit on the synthesizers made.
TEST_F(SequencerDevice, TwoSequencersPlayAtOnceEachOnItsOwnAndAThirdIsRefused)
{
    const MCIDEVICEID first = OpenMidi(TempoChangeSong());
    ASSERT_NE(first, 0u);
    // Silent for its first 3 s.
    MidiTrack late{{MidiNoteOn(2880, 0, 69, 127), MidiNoteOff(3840, 0, 69)}, 3840};
    const MCIDEVICEID second =
        Open(MCI_DEVTYPE_SEQUENCER, dir.Write("late.mid", MakeMidi(0, 480, {late})));
    ASSERT_NE(second, 0u);
    MCIERROR error = 0;
    EXPECT_EQ(OpenMidi(SilentTailSong(), &error), 0u);
    EXPECT_EQ(error, MCIERR_SEQ_PORT_INUSE);

    ASSERT_EQ(Play(first), 0u);
    ASSERT_EQ(Play(second), 0u);
    std::vector<float> both;
    ASSERT_EQ(AdvanceManualAudioClock(500, &both), 2u * 22050u);
    const std::vector<float> one(both.begin(), both.begin() + 22050 * 2);
    const std::vector<float> other(both.begin() + 22050 * 2, both.end());
    EXPECT_GT(std::max(Rms(one), Rms(other)), 0.001) << "the first file's note is heard";
    EXPECT_LT(std::min(Rms(one), Rms(other)), 1e-4) << "and only in its own stream";

    mciSendCommand(first, MCI_CLOSE, MCI_WAIT, nullptr);
    EXPECT_NE(OpenMidi(SilentTailSong()), 0u) << "a closed sequencer's synthesizer serves again";
}

TEST_F(SequencerDevice, BadMidiFilesAreOpenErrors)
{
    const std::string good = TempoChangeSong();
    std::string absurdChunk = good;
    absurdChunk.replace(18, 4, "\x7F\xFF\xFF\xFF", 4);
    const struct
    {
        const char* name;
        std::string bytes;
        MCIERROR error;
    } cases[] = {
        {"empty.mid", "", MCIERR_INVALID_FILE},
        {"garbage.mid", std::string(3000, '\x01'), MCIERR_INVALID_FILE},
        {"cut_short.mid", good.substr(0, good.size() / 2), MCIERR_INVALID_FILE},
        {"absurd_chunk_length.mid", absurdChunk, MCIERR_INVALID_FILE},
        {"smpte_timing.mid", MakeMidi(0, 0xE728, {MidiTrack{}}), MCIERR_SEQ_DIV_INCOMPATIBLE},
    };
    for (const auto& c : cases) {
        MCIERROR error = 0;
        EXPECT_EQ(Open(MCI_DEVTYPE_SEQUENCER, dir.Write(c.name, c.bytes), &error), 0u) << c.name;
        EXPECT_EQ(error, c.error) << c.name;
    }
    MCIERROR error = 0;
    EXPECT_EQ(Open(MCI_DEVTYPE_SEQUENCER, dir / "missing.mid", &error), 0u);
    EXPECT_EQ(error, MCIERR_FILE_NOT_FOUND);
    EXPECT_NE(OpenMidi(good), 0u) << "no failed open keeps the synthesizer";
}

// The last notes decay (release and reverb) past the end instead of being cut, while the end
// is notified at the tempo map's time; closing the device at once (as the player does to go
// on to the next medium) lets the decay play out beside the next medium.
TEST_F(SequencerDevice, TheLastNotesDecayPastTheEndBesideTheNextMedium)
{
    MidiTrack track{{MidiProgram(0, 0, 0), MidiNoteOn(0, 0, 60, 127), MidiNoteOff(960, 0, 60)},
                    960};
    const MCIDEVICEID id = OpenMidi(MakeMidi(0, 480, {track}));
    ASSERT_EQ(Status(id, MCI_STATUS_LENGTH), 1000u);
    ASSERT_EQ(Play(id), 0u);
    Advance(899);
    std::vector<float> before;
    Advance(100, &before);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 0u);
    Advance(1);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u) << "the end keeps the tempo map's time";
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), 1000u);
    mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);

    WavTone tone;
    tone.nRate = 8000;
    tone.nFrames = 8000;
    const MCIDEVICEID next = Open(MCI_DEVTYPE_WAVEFORM_AUDIO, dir.Write("next.wav", MakeWav(tone)));
    ASSERT_EQ(Play(next), 0u);
    std::vector<float> both;
    ASSERT_EQ(AdvanceManualAudioClock(100, &both), 4410u + 800u) << "both are heard";
    const std::vector<float> decay(both.begin(), both.begin() + 4410 * 2);
    EXPECT_GT(Rms(decay), Rms(before) / 30) << "the note decays instead of stopping dead";
    const std::vector<float> last(decay.end() - 441 * 2, decay.end());
    EXPECT_LT(Rms(last), Rms(before)) << "and fades";
    std::vector<float> later;
    AdvanceManualAudioClock(2500, &later);
    AdvanceManualAudioClock(100);
    mciSendCommand(next, MCI_CLOSE, MCI_WAIT, nullptr);
    EXPECT_TRUE(SelectAudioOutput(AudioOutputKind::ManualClock)) << "the decay has ended";
}

} // namespace

#include "tests/engine/EngineTest.h"

#include "media/Mci.h"
#include "media/SequencerDevice.h"
#include "tests/support/TestMedia.h"

namespace {

class PlayEngineFileTest : public EngineTest
{
protected:
    // A WAV tone of the given length at a low rate, so long files stay small.
    std::string WriteWave(const std::string& name, double seconds, int rate = 8000)
    {
        WavTone tone;
        tone.nRate = rate;
        tone.nBits = 8;
        tone.nFrames = static_cast<std::uint32_t>(seconds * rate);
        return m_dir.Write(name, MakeWav(tone));
    }

    // A MIDI file of one note per quarter at 120 beats a minute: seconds / 0.5 notes.
    std::string WriteMidi(const std::string& name, int seconds)
    {
        MidiTrack track;
        track.events.push_back(MidiTempo(0, 500000));
        track.events.push_back(MidiProgram(0, 0, 0));
        for (int i = 0; i < seconds * 2; ++i) {
            const auto tick = static_cast<std::uint32_t>(i * 96);
            track.events.push_back(MidiNoteOn(tick, 0, 60 + i % 12));
            track.events.push_back(MidiNoteOff(tick + 90, 0, 60 + i % 12));
        }
        track.endTick = static_cast<std::uint32_t>(seconds * 2 * 96);
        return m_dir.Write(name, MakeMidi(0, 96, {track}));
    }

    // A MIDI file of one note lasting ms milliseconds (a tick is a millisecond).
    std::string WriteMidiMs(const std::string& name, std::uint32_t ms)
    {
        MidiTrack track{{MidiTempo(0, 96000), MidiProgram(0, 0, 0), MidiNoteOn(0, 0, 60),
                         MidiNoteOff(ms, 0, 60)},
                        ms};
        return m_dir.Write(name, MakeMidi(0, 96, {track}));
    }

    // Advances the clock by steps of 10 ms and returns the device id that the first end
    // notice since the last call names; 0 when none came.
    LPARAM PlayStepsUntilEnd(int nSteps)
    {
        const std::size_t seen = m_messages.size();
        for (int i = 0; i < nSteps; ++i)
            AdvanceManualAudioClock(10);
        WaitUntil([&] {
            PumpMessages(0);
            return m_messages.size() > seen;
        });
        for (std::size_t i = seen; i < m_messages.size(); ++i)
            if (m_messages[i].message == MM_MCINOTIFY)
                return m_messages[i].lParam;
        return 0;
    }

    PlayPosition Position()
    {
        PlayPosition pos{};
        EXPECT_EQ(m_engine.GetPosition(&pos), 1);
        return pos;
    }
};

} // namespace

TEST_F(PlayEngineFileTest, WavePositionGivesMinutesSecondsAndTheWholeMilliseconds)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("long.wav", 130.0)), 1);
    ASSERT_EQ(PlayFrames(125400 * 8), 125400u * 8);
    const PlayPosition pos = Position();
    EXPECT_EQ(pos.nTrack, 0);
    EXPECT_EQ(pos.nMinutes, 2);
    EXPECT_EQ(pos.nSeconds, 5);
    EXPECT_EQ(pos.nMilliseconds, 125400);
    EXPECT_EQ(pos.nFrames, 0);
}

TEST_F(PlayEngineFileTest, WaveLengthIsInWholeSeconds)
{
    ASSERT_EQ(m_engine.OpenMedium(WriteWave("a.wav", 100.75), MEDIUM_FILE), 1);
    EXPECT_EQ(m_engine.GetLengthSeconds(7), 100);
}

TEST_F(PlayEngineFileTest, SeekPercentStopsAWaveAtThatShareUntilPlay)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("a.wav", 100.0)), 1);
    PlayFrames(8000);
    EXPECT_EQ(m_engine.SeekPercent(50), 1);
    EXPECT_EQ(Position().nMilliseconds, 50000);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
    EXPECT_EQ(PlayFrames(8000, {}, std::chrono::milliseconds(100)), 0u);
    ASSERT_EQ(m_engine.Play(0), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    PlayFrames(8000);
    EXPECT_EQ(Position().nMilliseconds, 51000);
}

TEST_F(PlayEngineFileTest, SeekPercentOutsideTheRangeStaysInsideTheFile)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("a.wav", 10.0)), 1);
    EXPECT_EQ(m_engine.SeekPercent(250), 1);
    EXPECT_EQ(Position().nMilliseconds, 10000);
    EXPECT_EQ(m_engine.SeekPercent(-40), 1);
    EXPECT_EQ(Position().nMilliseconds, 0);
}

TEST_F(PlayEngineFileTest, PlayZeroAfterStopGoesOnFromTheStopOnAWave)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("a.wav", 10.0)), 1);
    PlayFrames(2 * 8000);
    ASSERT_EQ(m_engine.Stop(), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_STOP));
    EXPECT_EQ(Position().nMilliseconds, 2000);
    ASSERT_EQ(m_engine.Play(0), 1);
    PlayFrames(8000);
    EXPECT_EQ(Position().nMilliseconds, 3000);
}

TEST_F(PlayEngineFileTest, PlayZeroAfterStopGoesOnFromTheStopOnMidi)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteMidi("a.mid", 10)), 1);
    EXPECT_EQ(m_engine.GetKind(), DEVICE_MIDI);
    EXPECT_EQ(m_engine.GetLengthSeconds(0), 10);
    PlayFrames(2 * 44100);
    ASSERT_EQ(m_engine.Stop(), 1);
    const int stoppedAt = Position().nMilliseconds;
    EXPECT_NEAR(stoppedAt, 2000, 50);
    ASSERT_EQ(m_engine.Play(0), 1);
    PlayFrames(44100);
    EXPECT_NEAR(Position().nMilliseconds, stoppedAt + 1000, 50);
}

// Catches the SoundFont (148 MB for the common one) staying loaded for good once a file of
// another kind plays after MIDI, opened or following gaplessly; it being let go as soon as a
// MIDI file closes; and, in a queue that mixes kinds, it being let go at each change of kind
// only to be loaded again at once for the MIDI file prepared next (a second's load each time
// with a large SoundFont).
TEST_F(PlayEngineFileTest, TheSoundFontIsKeptForMidiNearByAndLetGoForAnotherKind)
{
    CSequencerDevice::SetSoundFontIdleForTest(CSequencerDevice::kSoundFontIdle,
                                              std::chrono::milliseconds(300));
    const auto letGo = [] {
        return WaitUntil([] { return !CSequencerDevice::SoundFontLoaded(); });
    };
    ASSERT_EQ(m_engine.OpenAndPlay(WriteMidi("a.mid", 2)), 1);
    PlayFrames(44100 / 2);
    ASSERT_EQ(m_engine.OpenAndPlay(WriteMidi("b.mid", 2)), 1);
    m_engine.CloseMedium();
    EXPECT_TRUE(CSequencerDevice::SoundFontLoaded()) << "let go between two MIDI files";
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("a.wav", 1.0)), 1);
    EXPECT_TRUE(letGo()) << "kept when a WAV is opened";

    // A WAV file follows on, then (prepared as it starts) a MIDI file, twice.
    const std::string midi = WriteMidiMs("c.mid", 100);
    const std::string wave = WriteWave("d.wav", 1.0);
    for (bool bMidiNext : {false, true}) {
        ASSERT_EQ(m_engine.OpenAndPlay(midi), 1);
        ASSERT_EQ(m_engine.PrepareNext(wave), 1);
        ASSERT_NE(PlayStepsUntilEnd(11), 0);
        ASSERT_EQ(m_engine.AdoptPrepared(), 1);
        if (!bMidiNext) {
            EXPECT_TRUE(letGo()) << "kept when a WAV follows on";
            continue;
        }
        const std::uint64_t loads = CSequencerDevice::SoundFontLoads();
        ASSERT_EQ(m_engine.PrepareNext(midi), 1);
        EXPECT_EQ(CSequencerDevice::SoundFontLoads(), loads)
            << "let go and loaded again for the MIDI file after the WAV";
    }
    m_engine.CloseMedium();
    CSequencerDevice::SetSoundFontIdleForTest(CSequencerDevice::kSoundFontIdle);
}

// Catches a gap at every change in a queue of MIDI files: the next one refused while one
// plays, or the third refused once the first was adopted away (both then stop and start).
TEST_F(PlayEngineFileTest, AQueueOfMidiFilesFollowsOnInThePullOfEachEnd)
{
    // Each file is 1004 ms, 44,276 frames; the clock moves by 441 frames a step.
    constexpr int kFrames = 44276;
    constexpr int kStep = 441;
    constexpr int kFirstOfB = 101 * kStep - kFrames;             // a ends inside step 101
    constexpr int kFirstOfC = kFirstOfB + 100 * kStep - kFrames; // b 100 steps later
    ASSERT_EQ(m_engine.OpenAndPlay(WriteMidiMs("a.mid", 1004)), 1);
    ASSERT_EQ(m_engine.PrepareNext(WriteMidiMs("b.mid", 1004)), 1) << "b held behind a";
    const LPARAM endOfA = PlayStepsUntilEnd(101);
    ASSERT_NE(endOfA, 0);
    ASSERT_EQ(m_engine.NoticeTarget(endOfA), CPlayEngine::Notice::Current);
    ASSERT_EQ(m_engine.AdoptPrepared(), 1);
    EXPECT_EQ(Position().nMilliseconds, kFirstOfB * 1000 / 44100) << "b began right after a";
    ASSERT_EQ(m_engine.PrepareNext(WriteMidiMs("c.mid", 1004)), 1) << "c held behind b";
    const LPARAM endOfB = PlayStepsUntilEnd(100);
    ASSERT_NE(endOfB, 0);
    ASSERT_EQ(m_engine.NoticeTarget(endOfB), CPlayEngine::Notice::Current);
    ASSERT_EQ(m_engine.AdoptPrepared(), 1);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(Position().nMilliseconds, kFirstOfC * 1000 / 44100) << "c began right after b";
}

// Also catches a device's end reaching the window with its device id instead of its medium's
// serial, which the engine cannot tell from another medium's.
TEST_F(PlayEngineFileTest, TheEndOfAWaveIsNotifiedAsSuccessfulWithTheMediumsSerial)
{
    // A device opened past the engine, so that device ids and serials part ways.
    MCI_OPEN_PARMS other;
    other.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
    const std::string otherPath = WriteWave("other.wav", 1.0);
    other.lpstrElementName = otherPath.c_str();
    ASSERT_EQ(
        mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT, &other),
        0u);
    MCI_GENERIC_PARMS close;
    mciSendCommand(other.wDeviceID, MCI_CLOSE, MCI_WAIT, &close);
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("a.wav", 1.0)), 1);
    PlayFrames(2 * 8000, [&] { return !Received(MM_MCINOTIFY).empty(); });
    EXPECT_EQ(Received(MM_MCINOTIFY), (std::vector<WPARAM>{MCI_NOTIFY_SUCCESSFUL}));
    EXPECT_EQ(m_messages.back().lParam, static_cast<LPARAM>(m_engine.IsOpen()));
    EXPECT_EQ(m_engine.NoticeTarget(m_messages.back().lParam), CPlayEngine::Notice::Current);
}

TEST_F(PlayEngineFileTest, CloseKeepsKindAndTitle)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("keep.wav", 2.0)), 1);
    m_engine.CloseMedium();
    EXPECT_EQ(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_engine.GetKind(), DEVICE_WAVE);
    EXPECT_EQ(m_engine.GetTitle(), "keep.wav");
}

TEST_F(PlayEngineFileTest, EjectWithAWaveOpenUsesASeparateDeviceAndTheWavePlaysOn)
{
    ::setenv("SORVANE_CDROM", WriteCdImage(m_dir.Path(), "disc", {CdTrackTone{}}).c_str(), 1);
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("a.wav", 10.0)), 1);
    EXPECT_EQ(m_engine.Eject(), 1);
    EXPECT_NE(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_engine.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    PlayFrames(8000);
    EXPECT_EQ(Position().nMilliseconds, 1000);
}

TEST_F(PlayEngineFileTest, EjectWithoutAnyDriveFailsQuietly)
{
    ::setenv("SORVANE_CDROM", (m_dir / "no-such-image.cue").c_str(), 1);
    EXPECT_EQ(m_engine.Eject(), 0);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(PlayEngineFileTest, NoTrackMessagesComeWhileAWavePlays)
{
    ASSERT_EQ(m_engine.OpenAndPlay(WriteWave("a.wav", 2.0)), 1);
    PlayFrames(8000);
    PumpMessages(200);
    EXPECT_TRUE(Received(WM_PLAYPOS).empty());
}

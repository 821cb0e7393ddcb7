#include "tests/engine/EngineTest.h"

#include "base/ModulePath.h"
#include "base/Path.h"
#include "media/Mci.h"
#include "tests/support/AvWriter.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TestMedia.h"

#include <unistd.h>

namespace {

using Messages = std::vector<std::string>;

std::string ErrorText(MCIERROR code)
{
    char text[256] = {};
    mciGetErrorString(code, text, sizeof(text));
    return text;
}

// A directory beside the test program holding unusable plug-in libraries.
std::string BrokenPluginDir(const char* variant)
{
    return JoinPath(JoinPath(DirectoryOf(GetModuleFileName()).value_or("."), "broken-plugins"),
                    variant);
}

class PlayEngineOpenTest : public EngineTest
{
protected:
    std::string WriteTone(const std::string& name)
    {
        Mp3Tone tone;
        tone.dSeconds = 2.0;
        const std::string path = m_dir / name;
        EXPECT_TRUE(WriteMp3(path, tone));
        return path;
    }
};

} // namespace

TEST_F(PlayEngineOpenTest, ANewEngineHasNothingOpen)
{
    EXPECT_EQ(m_engine.GetKind(), DEVICE_MIDI);
    EXPECT_EQ(m_engine.GetTitle(), "");
    EXPECT_EQ(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_engine.GetTrackCount(), 0);
}

TEST_F(PlayEngineOpenTest, OperationsWithNothingOpenRefuseAndZeroThePosition)
{
    PlayPosition pos{1, 2, 3, 4, 5};
    EXPECT_EQ(m_engine.GetPosition(&pos), 0);
    EXPECT_EQ(pos.nTrack + pos.nMinutes + pos.nSeconds + pos.nMilliseconds + pos.nFrames, 0);
    EXPECT_EQ(m_engine.Play(1), 0);
    EXPECT_EQ(m_engine.Stop(), 0);
    EXPECT_EQ(m_engine.SeekPercent(50), 0);
    EXPECT_EQ(m_engine.GetLengthSeconds(1), 0);
    EXPECT_EQ(m_engine.GetMode(), 0);
    m_engine.CloseMedium();
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(PlayEngineOpenTest, TheTitleIsTheFileNameAfterTheLastSeparator)
{
    const std::string path = m_dir.Write("song.wav", MakeWav(WavTone{}));
    ASSERT_EQ(m_engine.OpenMedium(path, MEDIUM_FILE), 1);
    EXPECT_EQ(m_engine.GetTitle(), "song.wav");
    EXPECT_EQ(m_engine.GetKind(), DEVICE_WAVE);
    EXPECT_NE(m_engine.IsOpen(), 0u);
}

TEST_F(PlayEngineOpenTest, AnUnplayableExtensionShowsInvalidFileThenTheOpenFailure)
{
    EXPECT_EQ(m_engine.OpenAndPlay("/x/notes.txt"), 0);
    EXPECT_EQ(m_prompts.messages,
              (Messages{CPlayEngine::kTextInvalidFile, CPlayEngine::kTextOpenFailed}));
    EXPECT_EQ(m_engine.GetTitle(), "notes.txt");
    EXPECT_EQ(m_engine.GetKind(), DEVICE_NONE);
    EXPECT_EQ(m_engine.IsOpen(), 0u);
}

TEST_F(PlayEngineOpenTest, ADeviceThatCannotOpenTheFileShowsItsErrorThenTheOpenFailure)
{
    const std::string path = m_dir / "missing.wav";
    EXPECT_EQ(m_engine.OpenAndPlay(path), 0);
    ASSERT_EQ(m_prompts.messages.size(), 2u);
    EXPECT_EQ(m_prompts.messages[0], ErrorText(MCIERR_FILE_NOT_FOUND));
    EXPECT_EQ(m_prompts.messages[1], CPlayEngine::kTextOpenFailed);
    EXPECT_EQ(m_engine.GetTitle(), "missing.wav");
    EXPECT_EQ(m_engine.IsOpen(), 0u);
}

TEST_F(PlayEngineOpenTest, ACorruptWaveFileFailsWithAnErrorText)
{
    const std::string path = m_dir.Write("HeaderOnly.wav", MakeWav(WavTone{}).substr(0, 20));
    EXPECT_EQ(m_engine.OpenAndPlay(path), 0);
    ASSERT_EQ(m_prompts.messages.size(), 2u);
    EXPECT_FALSE(m_prompts.messages[0].empty());
    EXPECT_EQ(m_prompts.messages[1], CPlayEngine::kTextOpenFailed);
}

TEST_F(PlayEngineOpenTest, MissingPlugInsShowPlugInMissingThenTheOpenFailure)
{
    CTempDir empty;
    m_engine.SetPluginDirectory(empty.Path());
    EXPECT_EQ(m_engine.OpenAndPlay(WriteTone("x.mp3")), 0);
    EXPECT_EQ(m_prompts.messages,
              (Messages{CPlayEngine::kTextPluginMissing, CPlayEngine::kTextOpenFailed}));
    EXPECT_EQ(m_engine.GetKind(), DEVICE_PLUGIN);
    EXPECT_EQ(m_engine.GetTitle(), "x.mp3");
    EXPECT_EQ(m_engine.IsOpen(), 0u);
}

TEST_F(PlayEngineOpenTest, TheNextCompressedFileTriesTheLoadAgain)
{
    CTempDir empty;
    m_engine.SetPluginDirectory(empty.Path());
    EXPECT_EQ(m_engine.OpenMedium(WriteTone("first.mp3"), MEDIUM_FILE), 0);
    m_engine.SetPluginDirectory({});
    EXPECT_EQ(m_engine.OpenMedium(WriteTone("second.mp3"), MEDIUM_FILE), 1);
    EXPECT_NE(m_engine.IsOpen(), 0u);
    EXPECT_EQ(m_prompts.messages, (Messages{CPlayEngine::kTextPluginMissing}));
}

// Catches a file handed to the wrong decoder library (a FLAC file to the MPEG decoder, which
// refuses it without saying a plug-in is missing) or one decoder's absence taking the other.
TEST_F(PlayEngineOpenTest, AFormatWhoseDecoderIsMissingIsRefusedWhileTheOtherDecoderPlays)
{
    CTempDir onlyMpeg;
    const std::string bin = DirectoryOf(GetModuleFileName()).value_or(".");
    for (const char* library : {"Dekoda.so", "Voxout.so"})
        ASSERT_EQ(::symlink(JoinPath(bin, library).c_str(), (onlyMpeg / library).c_str()), 0);
    m_engine.SetPluginDirectory(onlyMpeg.Path());
    const std::string flac = m_dir / "x.flac";
    ASSERT_TRUE(WriteEncodedTone(flac, EncodedTone{}));
    EXPECT_EQ(m_engine.OpenAndPlay(flac), 0);
    EXPECT_EQ(m_prompts.messages,
              (Messages{CPlayEngine::kTextPluginMissing, CPlayEngine::kTextOpenFailed}));
    EXPECT_EQ(m_engine.GetKind(), DEVICE_PLUGIN);
    m_prompts.messages.clear();
    EXPECT_EQ(m_engine.OpenAndPlay(WriteTone("x.mp3")), 1);
    m_engine.CloseMedium();
    m_engine.SetPluginDirectory({});
    EXPECT_EQ(m_engine.OpenAndPlay(flac), 1);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(PlayEngineOpenTest, APlugInWhoseGetInstanceGivesNoObjectCountsAsMissing)
{
    m_engine.SetPluginDirectory(BrokenPluginDir("null"));
    EXPECT_EQ(m_engine.LoadPlugins(), 0);
    EXPECT_EQ(m_engine.OpenAndPlay(WriteTone("x.mp3")), 0);
    EXPECT_EQ(m_prompts.messages,
              (Messages{CPlayEngine::kTextPluginMissing, CPlayEngine::kTextOpenFailed}));
}

TEST_F(PlayEngineOpenTest, APlugInWithoutTheExportCountsAsMissing)
{
    m_engine.SetPluginDirectory(BrokenPluginDir("noexport"));
    EXPECT_EQ(m_engine.LoadPlugins(), 0);
    EXPECT_EQ(m_engine.OpenMedium(WriteTone("x.mp3"), MEDIUM_FILE), 0);
    EXPECT_EQ(m_prompts.messages, (Messages{CPlayEngine::kTextPluginMissing}));
}

TEST_F(PlayEngineOpenTest, AFileTheDecoderRefusesShowsOnlyTheOpenFailure)
{
    const std::string path = m_dir.Write("NotMpeg.mp3", "plain text, no audio frames\n");
    EXPECT_EQ(m_engine.OpenAndPlay(path), 0);
    EXPECT_EQ(m_prompts.messages, (Messages{CPlayEngine::kTextOpenFailed}));
    EXPECT_EQ(m_engine.IsOpen(), 0u);
}

TEST_F(PlayEngineOpenTest, CDAndMidiAndWaveNeedNoPlugIns)
{
    CTempDir empty;
    m_engine.SetPluginDirectory(empty.Path());
    const std::string path = m_dir.Write("a.wav", MakeWav(WavTone{}));
    EXPECT_EQ(m_engine.OpenAndPlay(path), 1);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(PlayEngineOpenTest, ShowErrorGivesThePlugInTextOrTheDeviceErrorText)
{
    EXPECT_EQ(m_engine.ShowError(CPlayEngine::PLUGIN_MISSING_ERROR), 0);
    EXPECT_EQ(m_engine.ShowError(static_cast<int>(MCIERR_FILE_NOT_FOUND)), 0);
    EXPECT_EQ(m_prompts.messages,
              (Messages{CPlayEngine::kTextPluginMissing, ErrorText(MCIERR_FILE_NOT_FOUND)}));
}

TEST_F(PlayEngineOpenTest, OpeningOverAnOpenMediumClosesItFirst)
{
    const std::string first = m_dir.Write("first.wav", MakeWav(WavTone{}));
    const std::string second = m_dir.Write("second.wav", MakeWav(WavTone{}));
    ASSERT_EQ(m_engine.OpenAndPlay(first), 1);
    const auto firstSerial = static_cast<LPARAM>(m_engine.IsOpen());
    ASSERT_EQ(m_engine.OpenMedium(second, MEDIUM_FILE), 1);
    // The first medium was closed: its news is old news.
    EXPECT_NE(static_cast<LPARAM>(m_engine.IsOpen()), firstSerial);
    EXPECT_EQ(m_engine.NoticeTarget(firstSerial), CPlayEngine::Notice::Stale);
    EXPECT_EQ(m_engine.GetTitle(), "second.wav");
}

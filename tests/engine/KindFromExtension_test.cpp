#include "engine/PlayEngine.h"

#include <gtest/gtest.h>

TEST(KindFromExtension, CompressedExtensionsInAnyCaseArePlugin)
{
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.Mp3"), DEVICE_PLUGIN);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.MP2"), DEVICE_PLUGIN);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.mp"), DEVICE_PLUGIN);
    for (const char* ext : {"flac", "OGG", "oga", "Opus", "m4a", "mp4", "aac", "wma", "wv", "ape",
                            "aif", "AIFF", "mka", "tta"})
        EXPECT_EQ(CPlayEngine::KindFromExtension(std::string("/music/a.") + ext), DEVICE_PLUGIN)
            << ext;
}

TEST(KindFromExtension, MidiAndWaveAreTheirDevices)
{
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.MID"), DEVICE_MIDI);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.wav"), DEVICE_WAVE);
}

TEST(KindFromExtension, OnlyWholeExtensionsMatch)
{
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.wave"), DEVICE_NONE);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.midi"), DEVICE_NONE);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.mp33"), DEVICE_NONE);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a.m"), DEVICE_NONE);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/a."), DEVICE_NONE);
}

TEST(KindFromExtension, PathWithoutFullStopIsClassifiedByItsWholeText)
{
    EXPECT_EQ(CPlayEngine::KindFromExtension("/music/track"), DEVICE_NONE);
    EXPECT_EQ(CPlayEngine::KindFromExtension("mp3"), DEVICE_PLUGIN);
    EXPECT_EQ(CPlayEngine::KindFromExtension(""), DEVICE_NONE);
}

TEST(KindFromExtension, FullStopInAFolderNameTakesTheRestOfThePath)
{
    EXPECT_EQ(CPlayEngine::KindFromExtension("/dir.old/track"), DEVICE_NONE);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/dir.mp3/track"), DEVICE_NONE);
}

TEST(KindFromExtension, JapaneseFileNamesKeepTheirExtension)
{
    EXPECT_EQ(CPlayEngine::KindFromExtension("/音楽/曲.ＭＰ３"), DEVICE_NONE);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/音楽/曲.mp3"), DEVICE_PLUGIN);
    EXPECT_EQ(CPlayEngine::KindFromExtension("/音楽/曲.Wav"), DEVICE_WAVE);
}

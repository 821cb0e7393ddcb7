#include "settings/PlayerSettings.h"

#include "tests/support/FileSizeLimit.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>
#include <unistd.h>

namespace {

class PlayerSettingsFile : public ::testing::Test
{
protected:
    CTempDir dir;
    CPlayerSettings settings;

    void SetUp() override { settings.UseFile(dir / "Sorvix.ini"); }

    // Loads the given file content into a fresh record and returns it.
    CPlayerSettings LoadText(const std::string& text)
    {
        dir.Write("Sorvix.ini", text);
        CPlayerSettings loaded;
        loaded.UseFile(dir / "Sorvix.ini");
        EXPECT_EQ(loaded.Load(), 1);
        return loaded;
    }
};

TEST(PlayerSettings, DefaultsAreTheDocumentedOnes)
{
    const CPlayerSettings s;
    EXPECT_EQ(s.Get(SK_TOPMOST), 0);
    EXPECT_EQ(s.Get(SK_LAYOUT), 0);
    EXPECT_EQ(s.GetLaunchPos(), (CPoint{0, 0}));
    EXPECT_EQ(s.Get(SK_TEXT_COLOR), 0);
    EXPECT_EQ(s.Get(SK_LED_COLOR), 0xE7FFF7);
    EXPECT_EQ(s.Get(SK_BUTTON_COLOR), 0xFFC8B4);
    EXPECT_EQ(s.Get(SK_REPEAT), 1);
}

TEST(PlayerSettings, KeysWithoutAFieldReadZeroAndIgnoreStores)
{
    CPlayerSettings s;
    s.SetLaunchPos(5, 6);
    s.Set(SK_LAUNCHPOS, 99);
    s.Set(2, 99);
    s.Set(SK_OTHER, 99);
    EXPECT_EQ(s.Get(2), 0);
    EXPECT_EQ(s.Get(SK_OTHER), 0);
    EXPECT_EQ(s.Get(SK_LAUNCHPOS), 0);
    EXPECT_EQ(s.GetLaunchPos(), (CPoint{5, 6}));
}

TEST_F(PlayerSettingsFile, DefaultsAreWrittenAsTheSevenLinesInOrderThenThePlayersOwn)
{
    EXPECT_EQ(settings.Save(), 1);
    EXPECT_EQ(CTempDir::Read(dir / "Sorvix.ini"),
              "[TOPMOST]=0\r\n[LAYOUT]=0\r\n[LAUNCHPOS]=0 0\r\n[TEXT_COLOR]=0\r\n"
              "[LED_COLOR]=15204343\r\n[BUTTON_COLOR]=16763060\r\n[REPEAT]=1\r\n"
              "[SHUFFLE]=0\r\n[RESUME]=1\r\n"
              "[REPLAYGAIN]=3\r\n[REPLAYGAIN_PREAMP]=0\r\n[REPLAYGAIN_UNTAGGED]=0\r\n");
    // Catches the player's own keys not read back.
    settings.Set(SK_SHUFFLE, 1);
    settings.Set(SK_RESUME, 0);
    ASSERT_EQ(settings.Save(), 1);
    CPlayerSettings back;
    back.UseFile(dir / "Sorvix.ini");
    ASSERT_EQ(back.Load(), 1);
    EXPECT_EQ(back.Get(SK_SHUFFLE), 1);
    EXPECT_EQ(back.Get(SK_RESUME), 0);
}

TEST_F(PlayerSettingsFile, SaveThenLoadGivesBackEveryValue)
{
    settings.Set(SK_TOPMOST, 1);
    settings.Set(SK_LAYOUT, 2);
    settings.Set(SK_TEXT_COLOR, 0x123456);
    settings.Set(SK_LED_COLOR, -1);
    settings.Set(SK_BUTTON_COLOR, 0x00ABCDEF);
    settings.Set(SK_REPEAT, 0);
    settings.Set(SK_REPLAYGAIN, 1);
    settings.Set(SK_REPLAYGAIN_PREAMP, -65);
    settings.Set(SK_REPLAYGAIN_UNTAGGED, 200);
    settings.SetLaunchPos(-40, 1200);
    ASSERT_EQ(settings.Save(), 1);

    CPlayerSettings loaded;
    loaded.UseFile(dir / "Sorvix.ini");
    ASSERT_EQ(loaded.Load(), 1);
    for (int key : {SK_TOPMOST, SK_LAYOUT, SK_TEXT_COLOR, SK_LED_COLOR, SK_BUTTON_COLOR, SK_REPEAT,
                    SK_REPLAYGAIN, SK_REPLAYGAIN_PREAMP, SK_REPLAYGAIN_UNTAGGED})
        EXPECT_EQ(loaded.Get(key), settings.Get(key)) << "key " << key;
    EXPECT_EQ(loaded.GetLaunchPos(), (CPoint{-40, 1200}));
}

TEST_F(PlayerSettingsFile, MissingFileKeepsTheDefaultsAndSucceeds)
{
    EXPECT_EQ(settings.Load(), 1);
    EXPECT_EQ(settings.Get(SK_REPEAT), 1);
    EXPECT_EQ(settings.Get(SK_LED_COLOR), 0xE7FFF7);
}

TEST_F(PlayerSettingsFile, KeyTextsMatchWithoutRegardToCase)
{
    const CPlayerSettings s = LoadText("[topmost]=1\n[Layout]=2\n");
    EXPECT_EQ(s.Get(SK_TOPMOST), 1);
    EXPECT_EQ(s.Get(SK_LAYOUT), 2);
}

TEST_F(PlayerSettingsFile, BlanksInsideTheBracketsMakeAnUnknownKey)
{
    const CPlayerSettings s = LoadText("[ TOPMOST]=1\n[LAYOUT ]=2\n");
    EXPECT_EQ(s.Get(SK_TOPMOST), 0);
    EXPECT_EQ(s.Get(SK_LAYOUT), 0);
}

TEST_F(PlayerSettingsFile, BlanksAroundTheEqualsSignAreIgnored)
{
    const CPlayerSettings s = LoadText("[LAYOUT]  =   2\r\n[LAUNCHPOS]= -7 \t 9\r\n");
    EXPECT_EQ(s.Get(SK_LAYOUT), 2);
    EXPECT_EQ(s.GetLaunchPos(), (CPoint{-7, 9}));
}

TEST_F(PlayerSettingsFile, LinesThatAreNoSettingAreSkipped)
{
    const CPlayerSettings s = LoadText("LAYOUT=2\n[LAYOUT] 2\n]LAYOUT[=2\n\n[REPEAT=0\n"
                                       "[UNKNOWN]=5\n[TOPMOST]=1");
    EXPECT_EQ(s.Get(SK_LAYOUT), 0);
    EXPECT_EQ(s.Get(SK_REPEAT), 1);
    EXPECT_EQ(s.Get(SK_TOPMOST), 1) << "a last line without a line end still counts";
}

TEST_F(PlayerSettingsFile, ValuesAreScannedLikeADecimalNumberAndStoredUnchecked)
{
    const CPlayerSettings s = LoadText("[LAYOUT]=2abc\n[TEXT_COLOR]=-5\n[BUTTON_COLOR]=+12x\n");
    EXPECT_EQ(s.Get(SK_LAYOUT), 2);
    EXPECT_EQ(s.Get(SK_TEXT_COLOR), -5);
    EXPECT_EQ(s.Get(SK_BUTTON_COLOR), 12);
    EXPECT_EQ(LoadText("[LAYOUT]=-1\n").Get(SK_LAYOUT), -1);
    EXPECT_EQ(LoadText("[LAYOUT]=7\n").Get(SK_LAYOUT), 7);
}

TEST_F(PlayerSettingsFile, ValuesWithoutANumberLeaveTheFieldAlone)
{
    const CPlayerSettings s = LoadText("[LAYOUT]=abc\n[LAUNCHPOS]=15\n[REPEAT]=\n");
    EXPECT_EQ(s.Get(SK_LAYOUT), 0);
    EXPECT_EQ(s.GetLaunchPos(), (CPoint{15, 0}));
    EXPECT_EQ(s.Get(SK_REPEAT), 1);
}

// Catches a loudness value that is garbage or out of its bounds taken as it stands (a mode
// that matches no item, a gain of thousands of dB): each reads as its default.
TEST_F(PlayerSettingsFile, LoudnessValuesOutOfBoundsOrNotWholeNumbersReadAsTheDefault)
{
    const CPlayerSettings good =
        LoadText("[REPLAYGAIN]=0\n[REPLAYGAIN_PREAMP]= -200 \n[REPLAYGAIN_UNTAGGED]=+15\n");
    EXPECT_EQ(good.Get(SK_REPLAYGAIN), 0);
    EXPECT_EQ(good.Get(SK_REPLAYGAIN_PREAMP), -200);
    EXPECT_EQ(good.Get(SK_REPLAYGAIN_UNTAGGED), 15);
    for (const char* bad : {"4", "-1", "2x", "", "1.5", "99999999999999999999"}) {
        const std::string gain = std::string(bad) == "4" ? "201" : bad;
        const CPlayerSettings s =
            LoadText(std::string("[REPLAYGAIN]=") + bad + "\n[REPLAYGAIN_PREAMP]=" + gain +
                     "\n[REPLAYGAIN_UNTAGGED]=" + (gain == "-1" ? "-201" : gain) + "\n");
        EXPECT_EQ(s.Get(SK_REPLAYGAIN), CPlayerSettings::kDefaultGainMode) << bad;
        EXPECT_EQ(s.Get(SK_REPLAYGAIN_PREAMP), gain == "-1" ? -1 : 0) << bad;
        EXPECT_EQ(s.Get(SK_REPLAYGAIN_UNTAGGED), 0) << bad;
    }
    CPlayerSettings s;
    s.Set(SK_REPLAYGAIN_PREAMP, 201);
    EXPECT_EQ(s.Get(SK_REPLAYGAIN_PREAMP), 0);
}

TEST_F(PlayerSettingsFile, HugeNumbersSaturateInsteadOfOverflowing)
{
    const CPlayerSettings s =
        LoadText("[LAYOUT]=99999999999999999999999\n[TOPMOST]=-99999999999999999999\n");
    EXPECT_EQ(s.Get(SK_LAYOUT), 2147483647);
    EXPECT_EQ(s.Get(SK_TOPMOST), -2147483647 - 1);
}

TEST_F(PlayerSettingsFile, TheLaterLineForAKeyWins)
{
    EXPECT_EQ(LoadText("[REPEAT]=0\n[REPEAT]=1\n[REPEAT]=0\n").Get(SK_REPEAT), 0);
}

TEST_F(PlayerSettingsFile, KnownKeysLoadAmongUnknownLinesAndGarbage)
{
    std::string text = "[WINDOW]=3\n";
    text += std::string("\x00\xff\xfe garbage \x01", 13) + "\n";
    text += "[LED_COLOR]=255\n# comment\n[X]=[Y]=1\n";
    text += std::string(100000, 'z') + "\n[LAUNCHPOS]=-100 50\n";
    const CPlayerSettings s = LoadText(text);
    EXPECT_EQ(s.Get(SK_LED_COLOR), 255);
    EXPECT_EQ(s.GetLaunchPos(), (CPoint{-100, 50}));
}

TEST_F(PlayerSettingsFile, EqualsSignMayStandBeforeTheBrackets)
{
    // The value is everything after the first '=', wherever the brackets are.
    EXPECT_EQ(LoadText("=1 [TOPMOST]\n").Get(SK_TOPMOST), 1);
}

TEST_F(PlayerSettingsFile, UnwritableLocationLeavesNoFileAndStillSucceeds)
{
    if (::geteuid() == 0)
        settings.UseFile(dir / "missing-dir/Sorvix.ini");
    else
        ::chmod(dir.Path().c_str(), 0500);
    EXPECT_EQ(settings.Save(), 1);
    EXPECT_FALSE(std::filesystem::exists(settings.GetFileName()));
}

TEST_F(PlayerSettingsFile, FifoInPlaceOfTheFileIsPassedOverWithoutWaiting)
{
    ASSERT_EQ(::mkfifo(settings.GetFileName().c_str(), 0600), 0);
    EXPECT_EQ(settings.Load(), 1);
    EXPECT_EQ(settings.Save(), 1);
    EXPECT_EQ(settings.Get(SK_REPEAT), 1);
}

// Catches a huge (sparse) file being read line by line until memory runs out, which aborted
// the player at every start.
TEST_F(PlayerSettingsFile, HugeFileIsPassedOverAndTheDefaultsStay)
{
    dir.Write("Sorvix.ini", "[REPEAT]=0\r\n");
    ASSERT_EQ(::truncate(settings.GetFileName().c_str(), 4LL << 30), 0);
    EXPECT_EQ(settings.Load(), 1);
    EXPECT_EQ(settings.Get(SK_REPEAT), 1);
}

TEST_F(PlayerSettingsFile, DirectoryInPlaceOfTheFileLoadsNothing)
{
    std::filesystem::create_directory(dir / "Sorvix.ini");
    EXPECT_EQ(settings.Load(), 1);
    EXPECT_EQ(settings.Get(SK_REPEAT), 1);
    EXPECT_EQ(settings.Save(), 1);
}

TEST_F(PlayerSettingsFile, WriteErrorIsReportedAsFailureAndKeepsTheEarlierFile)
{
    // Catches a full disk leaving half a settings file in place of the whole earlier one.
    const std::string earlier = "[TOPMOST]=1\r\n[LAYOUT]=2\r\n";
    dir.Write("Sorvix.ini", earlier);
    {
        const CFileSizeLimit limit(20);
        EXPECT_EQ(settings.Save(), 0);
    }
    EXPECT_EQ(CTempDir::Read(settings.GetFileName()), earlier);
}

TEST(PlayerSettingsLine, ParseLineReturnsTheKeyAndLeavesTheValueText)
{
    std::string line = "[BUTTON_COLOR] = 42";
    EXPECT_EQ(CPlayerSettings::ParseLine(line), SK_BUTTON_COLOR);
    EXPECT_EQ(line, " 42");
    line = "[Other]=1";
    EXPECT_EQ(CPlayerSettings::ParseLine(line), SK_OTHER);
    line = "no setting";
    EXPECT_EQ(CPlayerSettings::ParseLine(line), -1);
    EXPECT_EQ(line, "no setting");
}

TEST(PlayerSettingsLine, ApplyValueRefusesKeysWithoutAField)
{
    CPlayerSettings s;
    EXPECT_EQ(s.ApplyValue(SK_OTHER, "5"), 0);
    EXPECT_EQ(s.ApplyValue(2, "5"), 0);
    EXPECT_EQ(s.ApplyValue(SK_LAYOUT, "1"), 1);
    EXPECT_EQ(s.Get(SK_LAYOUT), 1);
}

} // namespace

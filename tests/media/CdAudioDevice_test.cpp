#include "tests/media/MciFixture.h"
#include "tests/support/TestMedia.h"

#include "media/CdToc.h"
#include "media/MciDevice.h"
#include "tests/support/ManualClock.h"

#include <cstdlib>
#include <filesystem>
#include <future>
#include <sys/stat.h>

namespace {

// Three audio tracks: 2 s at 441 Hz, 3 s at 882 Hz, 1 s 38 frames at 1323 Hz.
const std::vector<CdTrackTone> kDisc = {{150, 441.0}, {225, 882.0}, {113, 1323.0}};

class CdAudioDevice : public MciTest
{
protected:
    void SetUp() override
    {
        MciTest::SetUp();
        setenv("SORVANE_CDROM", WriteCdImage(dir.Path(), "disc", kDisc).c_str(), 1);
    }
    void TearDown() override
    {
        MciTest::TearDown();
        unsetenv("SORVANE_CDROM");
    }

    static MCIDEVICEID OpenCd(MCIERROR* error = nullptr, DWORD flags = MCI_OPEN_SHAREABLE)
    {
        return Open(MCI_DEVTYPE_CD_AUDIO, "", error, flags);
    }

    static MCIDEVICEID OpenTmsf()
    {
        const MCIDEVICEID id = OpenCd();
        EXPECT_NE(id, 0u);
        EXPECT_EQ(SetTimeFormat(id, MCI_FORMAT_TMSF), 0u);
        return id;
    }
};

TEST_F(CdAudioDevice, TheDiscShowsItsTracksAndTheirLengthsAsMsf)
{
    const MCIDEVICEID id = OpenTmsf();
    EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 3u);
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH, MCI_TRACK, 1), MCI_MAKE_MSF(0, 2, 0));
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH, MCI_TRACK, 2), MCI_MAKE_MSF(0, 3, 0));
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH, MCI_TRACK, 3), MCI_MAKE_MSF(0, 1, 38));
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), MCI_MAKE_MSF(0, 6, 38));
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(1, 0, 0, 0));
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION, MCI_TRACK, 3), MCI_MAKE_TMSF(3, 0, 0, 0));
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_MEDIA_PRESENT), 1u);
}

TEST_F(CdAudioDevice, APlayFromATrackCrossesIntoTheNextTrackAndItsTone)
{
    const MCIDEVICEID id = OpenTmsf();
    ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM, MCI_MAKE_TMSF(2, 0, 0, 0)), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 0, 0));
    std::vector<float> second;
    Advance(1000, &second);
    EXPECT_NEAR(ToneFrequency(second, 2, 44100), 882.0, 5.0);
    Advance(1990);
    EXPECT_EQ(MCI_TMSF_TRACK(Status(id, MCI_STATUS_POSITION)), 2u);
    Advance(20);
    const DWORD pos = Status(id, MCI_STATUS_POSITION);
    EXPECT_EQ(MCI_TMSF_TRACK(pos), 3u);
    EXPECT_EQ(MCI_TMSF_SECOND(pos), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_CURRENT_TRACK), 3u);
    std::vector<float> third;
    Advance(500, &third);
    EXPECT_NEAR(ToneFrequency(third, 2, 44100), 1323.0, 7.0);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 0u) << "a track boundary is not the end";
}

TEST_F(CdAudioDevice, APlayGoesOnToTheEndOfTheDiscAndIsNotifiedOnce)
{
    const MCIDEVICEID id = OpenTmsf();
    Play(id, MCI_NOTIFY | MCI_FROM, MCI_MAKE_TMSF(1, 0, 0, 0));
    Advance(6000);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 0u);
    Advance(507);
    EXPECT_EQ(window.Count(MM_MCINOTIFY), 1u);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(3, 0, 1, 38));
}

TEST_F(CdAudioDevice, SeekGoesToATmsfPositionAndStopsThere)
{
    const MCIDEVICEID id = OpenTmsf();
    Play(id, MCI_NOTIFY | MCI_FROM, MCI_MAKE_TMSF(1, 0, 0, 0));
    Advance(500);
    ASSERT_EQ(Seek(id, MCI_MAKE_TMSF(2, 0, 1, 30)), 0u);
    EXPECT_EQ(Notified(MCI_NOTIFY_ABORTED), 0u) << "not delivered before pumping";
    window.Pump();
    EXPECT_EQ(Notified(MCI_NOTIFY_ABORTED), 1u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 1, 30));
    Play(id, 0);
    Advance(1000);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 2, 30));
}

TEST_F(CdAudioDevice, StopKeepsThePositionWithinTheTrack)
{
    const MCIDEVICEID id = OpenTmsf();
    Play(id, MCI_FROM, MCI_MAKE_TMSF(2, 0, 0, 0));
    Advance(1200);
    Stop(id);
    Advance(1000);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 1, 15));
}

TEST_F(CdAudioDevice, PositionsOutsideTheDiscAreRefused)
{
    const MCIDEVICEID id = OpenTmsf();
    EXPECT_EQ(Seek(id, MCI_MAKE_TMSF(4, 0, 0, 0)), MCIERR_OUTOFRANGE);
    EXPECT_EQ(Seek(id, MCI_MAKE_TMSF(0, 0, 0, 0)), MCIERR_OUTOFRANGE);
    EXPECT_EQ(Seek(id, MCI_MAKE_TMSF(3, 0, 59, 0)), MCIERR_OUTOFRANGE);
    EXPECT_EQ(Play(id, MCI_FROM, MCI_MAKE_TMSF(9, 0, 0, 0)), MCIERR_OUTOFRANGE);
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_LENGTH;
    status.dwTrack = 4;
    EXPECT_EQ(mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | MCI_TRACK, &status),
              MCIERR_OUTOFRANGE);
}

TEST_F(CdAudioDevice, MillisecondAndMsfFormatsCountFromTheStartOfTheDisc)
{
    const MCIDEVICEID id = OpenCd();
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH), 6506u);
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH, MCI_TRACK, 2), 3000u);
    ASSERT_EQ(Seek(id, 2500), 0u);
    ASSERT_EQ(SetTimeFormat(id, MCI_FORMAT_MSF), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_MSF(0, 4, 37));
    ASSERT_EQ(SetTimeFormat(id, MCI_FORMAT_TMSF), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 0, 37));
    EXPECT_EQ(SetTimeFormat(id, 5), MCIERR_BAD_TIME_FORMAT);
}

TEST_F(CdAudioDevice, OpeningTheDoorOfAnImageSucceedsAndChangesNothing)
{
    const MCIDEVICEID id = OpenTmsf();
    MCI_SET_PARMS set;
    EXPECT_EQ(mciSendCommand(id, MCI_SET, MCI_SET_DOOR_OPEN | MCI_WAIT, &set), 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
    EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 3u);
    EXPECT_EQ(Play(id, MCI_FROM, MCI_MAKE_TMSF(3, 0, 0, 0)), 0u);
}

// Catches a door command that waits for a read the disc never finishes (a scratched disc froze
// the window at eject), and what that read returns late being heard.
TEST_F(CdAudioDevice, OpeningTheDoorWhileAReadHangsReturnsAndTheLateReadIsDropped)
{
    const MCIDEVICEID id = OpenTmsf();
    CMciDevice::BlockReadsForTest(true);
    ASSERT_EQ(Play(id, 0), 0u);
    ASSERT_TRUE(WaitUntil([] { return CMciDevice::ReadStalledForTest(); }));
    auto opening = std::async(std::launch::async, [id] {
        MCI_SET_PARMS set;
        return mciSendCommand(id, MCI_SET, MCI_SET_DOOR_OPEN | MCI_WAIT, &set);
    });
    const bool bReturned = opening.wait_for(std::chrono::seconds(5)) == std::future_status::ready;
    EXPECT_TRUE(CMciDevice::ReadStalledForTest()) << "the read was not still hanging";
    CMciDevice::BlockReadsForTest(false);
    ASSERT_TRUE(bReturned) << "the door waited for the read";
    EXPECT_EQ(opening.get(), 0u);
    ASSERT_TRUE(WaitUntil([] { return !CMciDevice::ReadStalledForTest(); }));
    std::vector<float> heard;
    Advance(1000, &heard);
    EXPECT_EQ(Rms(heard), 0.0);
    EXPECT_EQ(Status(id, MCI_STATUS_MODE), MCI_MODE_STOP);
}

TEST_F(CdAudioDevice, ADriveOpenedShareableMayBeOpenedShareableAgainButNotAlone)
{
    const MCIDEVICEID first = OpenCd();
    ASSERT_NE(first, 0u);
    EXPECT_NE(OpenCd(), 0u);
    MCIERROR error = 0;
    EXPECT_EQ(OpenCd(&error, 0), 0u);
    EXPECT_EQ(error, MCIERR_MUST_USE_SHAREABLE);
    mciSendCommand(MCI_ALL_DEVICE_ID, MCI_CLOSE, 0, nullptr);
    const MCIDEVICEID alone = OpenCd(&error, 0);
    ASSERT_NE(alone, 0u) << "a non-shareable open for the door alone";
    EXPECT_EQ(OpenCd(&error), 0u);
    EXPECT_EQ(error, MCIERR_MUST_USE_SHAREABLE);
    MCI_SET_PARMS set;
    EXPECT_EQ(mciSendCommand(alone, MCI_SET, MCI_SET_DOOR_OPEN | MCI_WAIT, &set), 0u);
}

TEST_F(CdAudioDevice, AnElementNamesTheImageInsteadOfTheEnvironment)
{
    const std::string other = WriteCdImage(dir.Path(), "other", {{75, 500.0}});
    const MCIDEVICEID id = Open(MCI_DEVTYPE_CD_AUDIO, other, nullptr, MCI_OPEN_SHAREABLE);
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 1u);
}

TEST_F(CdAudioDevice, ALeadingDataTrackIsSkippedAndADataOnlyImageRefused)
{
    const std::string mixed =
        WriteCdImage(dir.Path(), "mixed", {{75, 0.0, true}, {150, 441.0}, {75, 882.0}});
    setenv("SORVANE_CDROM", mixed.c_str(), 1);
    const MCIDEVICEID id = OpenTmsf();
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 3u);
    Play(id, MCI_FROM, MCI_MAKE_TMSF(1, 0, 0, 0));
    EXPECT_EQ(Status(id, MCI_STATUS_POSITION), MCI_MAKE_TMSF(2, 0, 0, 0));
    mciSendCommand(id, MCI_CLOSE, 0, nullptr);

    setenv("SORVANE_CDROM", WriteCdImage(dir.Path(), "data", {{150, 0.0, true}}).c_str(), 1);
    MCIERROR error = 0;
    EXPECT_EQ(OpenCd(&error), 0u);
    EXPECT_EQ(error, MCIERR_CD_NO_AUDIO_TRACKS);
}

// Catches the data file being looked up under the sheet's own name: "a.cue" naming
// "sub/b.bin" failed without an "a.bin" and played "a.bin" when there was one.
TEST_F(CdAudioDevice, TheDataFileIsTheOneTheSheetNames)
{
    std::filesystem::create_directory(dir / "sub");
    const std::string named = WriteCdImage(dir / "sub", "b", kDisc);
    WriteCdImage(dir.Path(), "a", {{75, 500.0}});
    std::string sheet = CTempDir::Read(named);
    sheet.replace(sheet.find("b.bin"), 5, "sub/b.bin");
    setenv("SORVANE_CDROM", dir.Write("a.cue", sheet).c_str(), 1);
    const MCIDEVICEID id = OpenTmsf();
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_NUMBER_OF_TRACKS), 3u);
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH, MCI_TRACK, 3), MCI_MAKE_MSF(0, 1, 38));
    mciSendCommand(id, MCI_CLOSE, 0, nullptr);
    std::filesystem::remove(dir / "a.bin");
    EXPECT_NE(OpenCd(), 0u);
}

// Also catches a FIFO as the source or as a sheet's data file holding the open for good, and
// a sheet without a track after its FILE line reaching the reader (which leaks its name).
TEST_F(CdAudioDevice, BrokenImagesAndMissingDrivesAreOpenErrors)
{
    const std::string missingBin = WriteCdImage(dir.Path(), "nobin", kDisc);
    std::filesystem::remove(dir / "nobin.bin");
    const std::string fifoBin = WriteCdImage(dir.Path(), "fifobin", kDisc);
    std::filesystem::remove(dir / "fifobin.bin");
    ASSERT_EQ(::mkfifo((dir / "fifobin.bin").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "drive").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo((dir / "fifo.cue").c_str(), 0600), 0);
    WriteCdImage(dir.Path(), "notracks", kDisc);
    const struct
    {
        std::string source;
        MCIERROR error;
    } cases[] = {
        {missingBin, MCIERR_CD_IMAGE_UNREADABLE},
        {dir / "missing.cue", MCIERR_CD_IMAGE_UNREADABLE},
        {dir.Write("garbage.cue", std::string(500, '#')), MCIERR_CD_IMAGE_UNREADABLE},
        {dir.Write("empty.cue", ""), MCIERR_CD_IMAGE_UNREADABLE},
        {dir.Write("notracks.cue", "FILE \"notracks.bin\" BINARY\r\n"), MCIERR_CD_IMAGE_UNREADABLE},
        {dir.Write("trackfirst.cue",
                   "TRACK 01 AUDIO\r\nINDEX 01 00:00:00\r\nFILE \"notracks.bin\" BINARY\r\n"),
         MCIERR_CD_IMAGE_UNREADABLE},
        {fifoBin, MCIERR_CD_IMAGE_UNREADABLE},
        {dir / "fifo.cue", MCIERR_CD_IMAGE_UNREADABLE},
        {dir / "drive", MCIERR_CD_NO_DRIVE},
        {"/dev/no-such-cdrom", MCIERR_CD_NO_DRIVE},
    };
    for (const auto& c : cases) {
        setenv("SORVANE_CDROM", c.source.c_str(), 1);
        MCIERROR error = 0;
        EXPECT_EQ(OpenCd(&error), 0u) << c.source;
        EXPECT_EQ(error, c.error) << c.source;
    }
}

TEST_F(CdAudioDevice, WithoutAnImageOrADriveTheOpenSaysThereIsNoDrive)
{
    unsetenv("SORVANE_CDROM");
    std::error_code ec;
    for (const char* drive : {"/dev/cdrom", "/dev/sr0", "/dev/dvd"})
        if (std::filesystem::exists(drive, ec))
            GTEST_SKIP() << "this machine has a CD drive";
    MCIERROR error = 0;
    EXPECT_EQ(OpenCd(&error), 0u);
    EXPECT_EQ(error, MCIERR_CD_NO_DRIVE);
    EXPECT_EQ(OpenCd(&error, 0), 0u) << "nor for the door alone";
}

TEST_F(CdAudioDevice, ABinCutShortInTheLastTrackPlaysWhatItHolds)
{
    const std::string cue = WriteCdImage(dir.Path(), "short", kDisc);
    std::filesystem::resize_file(dir / "short.bin", 2352 * 400);
    setenv("SORVANE_CDROM", cue.c_str(), 1);
    const MCIDEVICEID id = OpenTmsf();
    ASSERT_NE(id, 0u);
    EXPECT_EQ(Status(id, MCI_STATUS_LENGTH, MCI_TRACK, 3), MCI_MAKE_MSF(0, 0, 25));
    Play(id, MCI_NOTIFY | MCI_FROM, MCI_MAKE_TMSF(3, 0, 0, 0));
    Advance(334);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 1u);
}

TEST_F(CdAudioDevice, ABinCutShortBeforeTheLastTrackIsRefused)
{
    const std::string cue = WriteCdImage(dir.Path(), "short", kDisc);
    std::filesystem::resize_file(dir / "short.bin", 2352 * 200);
    setenv("SORVANE_CDROM", cue.c_str(), 1);
    MCIERROR error = 0;
    EXPECT_EQ(OpenCd(&error), 0u);
    EXPECT_EQ(error, MCIERR_CD_IMAGE_UNREADABLE);
}

// A disc that cannot be read (here an image cut short while it plays) ends the play with a
// failure, never with silence in place of the sound; a waiting play returns MCIERR_CD_READ.
TEST_F(CdAudioDevice, ASectorThatCannotBeReadEndsThePlayWithAFailure)
{
    const std::string cue = WriteCdImage(dir.Path(), "scratched", kDisc);
    setenv("SORVANE_CDROM", cue.c_str(), 1);
    const MCIDEVICEID id = OpenTmsf();
    ASSERT_NE(id, 0u);
    std::filesystem::resize_file(dir / "scratched.bin", 2352 * 200);
    testing::internal::CaptureStderr();
    ASSERT_EQ(Play(id, MCI_NOTIFY | MCI_FROM, MCI_MAKE_TMSF(2, 0, 0, 0)), 0u);
    for (int i = 0; i < 60 && window.Count(MM_MCINOTIFY) == 0; ++i)
        Advance(100);
    EXPECT_EQ(Notified(MCI_NOTIFY_FAILURE), 1u);
    EXPECT_EQ(Notified(MCI_NOTIFY_SUCCESSFUL), 0u);
    const DWORD pos = Status(id, MCI_STATUS_POSITION);
    EXPECT_EQ(MCI_TMSF_TRACK(pos), 2u);
    EXPECT_LT(MCI_TMSF_SECOND(pos), 1u) << "what could be read was heard, nothing more";
    const std::string said = testing::internal::GetCapturedStderr();
    EXPECT_NE(said.find("scratched.cue"), std::string::npos) << said;
    EXPECT_NE(said.find("cannot be read"), std::string::npos) << said;

    auto waiting = std::async(std::launch::async, [&] {
        MCI_PLAY_PARMS play;
        play.dwFrom = MCI_MAKE_TMSF(2, 0, 0, 0);
        return mciSendCommand(id, MCI_PLAY, MCI_FROM | MCI_WAIT, &play);
    });
    for (int i = 0;
         i < 600 && waiting.wait_for(std::chrono::milliseconds(1)) != std::future_status::ready;
         ++i)
        AdvanceManualAudioClock(10);
    ASSERT_EQ(waiting.wait_for(std::chrono::seconds(30)), std::future_status::ready);
    EXPECT_EQ(waiting.get(), MCIERR_CD_READ);
}

// Catches the last audio track of an enhanced CD running on to the data track across the
// unreadable gap between the sessions (it stalled, failed, and showed 2:32 too long), and
// the gap being taken from a disc of one session.
TEST(CdToc, TheAudioBeforeADataSessionEndsBeforeTheGap)
{
    const int data = 30000;
    std::vector<CdTocTrack> extra = {{0, 0, true}, {15000, 0, true}, {data, 0, false}};
    ASSERT_TRUE(SetCdTrackEnds(extra, 40000, data - 150));
    EXPECT_EQ(extra[0].lsnEnd, 15000);
    EXPECT_EQ(extra[1].lsnEnd, data - kCdExtraGapSectors);
    EXPECT_EQ(extra[2].lsnEnd, 40000);

    std::vector<CdTocTrack> single = {{0, 0, true}, {15000, 0, true}, {data, 0, false}};
    ASSERT_TRUE(SetCdTrackEnds(single, 40000, 0));
    EXPECT_EQ(single[1].lsnEnd, data);
}

} // namespace

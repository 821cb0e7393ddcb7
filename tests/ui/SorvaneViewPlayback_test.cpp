#include "audio/SoundOutput.h"
#include "tests/support/AvWriter.h"
#include "tests/support/Mp3Writer.h"
#include "tests/ui/SorvaneViewTest.h"

#include "dialogs/ListBox.h"
#include "dialogs/PlaylistDlg.h"
#include "res/Resource.h"

#include <QDropEvent>
#include <QMimeData>
#include <QUrl>

#include <algorithm>
#include <clocale>
#include <cmath>
#include <set>
#include <string>

namespace {

using SorvaneViewPlayback = SorvaneViewTest;

constexpr std::size_t kWaveFrames = 8000;

// The "C" locale, whose encoding is ASCII, while it lives; then the locale before it.
class AsciiLocale
{
public:
    AsciiLocale()
        : m_previous(std::setlocale(LC_ALL, nullptr))
    {
        std::setlocale(LC_ALL, "C");
    }
    ~AsciiLocale() { std::setlocale(LC_ALL, m_previous.c_str()); }
    AsciiLocale(const AsciiLocale&) = delete;
    AsciiLocale& operator=(const AsciiLocale&) = delete;

private:
    std::string m_previous;
};

TEST_F(SorvaneViewPlayback, ADropReplacesTheQueueInTheGivenOrderAndPlaysTheFirst)
{
    m_view->OnDropFiles({Wav("old.wav")});
    const std::vector<std::string> files = {Wav("c.wav"), Wav("a.wav"), Wav("b.wav")};
    m_view->OnDropFiles(files);
    EXPECT_EQ(Queue(), files);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_EQ(m_doc.GetTitle(), "c.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_FALSE(m_view->IsPanelBusy());
    EXPECT_TRUE(m_prompts.messages.empty());
}

// Catches a dropped folder taken for a file ("Invalid file" and a stop) instead of the
// playable files inside it.
TEST_F(SorvaneViewPlayback, ADroppedPlaylistOrFolderAddsItsEntriesInItsPlace)
{
    const std::string x = Wav("x.wav");
    const std::string y = Wav("y.wav");
    const std::string z = Wav("z.wav");
    const std::string inB = Wav("folder/b.wav");
    const std::string inA = Wav("folder/a.wav");
    m_view->OnDropFiles({m_dir.Write("list.m3u", "x.wav\r\ny.wav\r\n"), m_dir / "folder", z});
    EXPECT_EQ(Queue(), (std::vector<std::string>{x, y, inA, inB, z}));
    EXPECT_EQ(m_doc.GetTitle(), "x.wav");
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneViewPlayback, AnEmptyPlaylistDropShowsNoMessage)
{
    // Catches the engine asked to open an empty name, with two error boxes.
    m_view->OnDropFiles({m_dir.Write("empty.m3u", "#EXTM3U\r\n")});
    EXPECT_TRUE(Queue().empty());
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(SorvaneViewPlayback, AnUnplayableDropShowsTheEnginesMessagesAndKeepsTheEntries)
{
    const std::vector<std::string> files = {m_dir.Write("notes.txt", "text"), Wav("b.wav")};
    m_view->OnDropFiles(files);
    EXPECT_EQ(Queue(), files);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    const std::string named = files[0] + "\n";
    EXPECT_EQ(m_prompts.messages,
              (std::vector<std::string>{named + "無効なファイル",
                                        named + "MCI機器の初期化に失敗しました"}));
}

// Catches a file name converted with the locale's encoding on its way in or out: under the
// "C" locale a non-ASCII name would reach the queue, the engine or the playlist garbled.
TEST_F(SorvaneViewPlayback, DroppedUrlsThatAreLocalFilesArriveInTheirOrderWhateverTheLocale)
{
    ASSERT_NE(m_view->Playlist(), nullptr); // made first: what follows must refresh it
    const AsciiLocale ascii;
    const std::string a = Wav("a.wav");
    const std::string b = Wav("曲 b.wav");
    m_view->DragAcceptFiles(true);
    EXPECT_TRUE(m_view->acceptDrops());
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(b)),
                  QUrl("https://example.org/remote.wav"),
                  QUrl::fromLocalFile(QString::fromStdString(a))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_view, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_view, &drop);
    EXPECT_TRUE(drop.isAccepted());
    // Catches the drag source held until the drop's message boxes are closed.
    EXPECT_TRUE(Queue().empty()) << "the drop is taken first and played after";
    QCoreApplication::processEvents();
    EXPECT_EQ(Queue(), (std::vector<std::string>{b, a}));
    EXPECT_EQ(m_doc.GetTitle(), "曲 b.wav");
    ASSERT_EQ(m_view->m_pPlaylistDlg->m_list->count(), 2);
    EXPECT_EQ(m_view->m_pPlaylistDlg->m_list->item(0)->text(), QStringLiteral(u"曲 b.wav"));
}

TEST_F(SorvaneViewPlayback, ADropWithoutLocalFilesChangesNothing)
{
    m_view->OnDropFiles({Wav("keep.wav")});
    QMimeData data;
    data.setUrls({QUrl("https://example.org/remote.wav")});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_view, &enter);
    EXPECT_FALSE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(m_view, &drop);
    EXPECT_EQ(Queue().size(), 1u);
    EXPECT_EQ(m_doc.GetTitle(), "keep.wav");
}

// Also catches a gap between the two files: every 10 ms step of the clock, the one in which
// the first file ends included, brings exactly 10 ms of sound.
TEST_F(SorvaneViewPlayback, AtTheEndOfAMediumTheNextEntryFollowsWithoutAGap)
{
    ASSERT_NE(m_view->Playlist(), nullptr); // made first: what follows must refresh it
    WavTone tone;
    tone.nRate = kWaveRate;
    tone.nFrames = kWaveRate + 37; // ends inside a step
    const std::string a = m_dir.Write("a.wav", MakeWav(tone));
    m_view->OnDropFiles({a, Wav("b.wav", 1), Wav("c.wav", 1)});
    std::size_t pulled = 0;
    std::size_t steps = 0;
    for (; steps < 150; ++steps) {
        pulled += AdvanceManualAudioClock(10);
        PumpMessages(0);
    }
    EXPECT_EQ(steps * kWaveRate / 100 - pulled, 0u) << "samples missing between a and b";
    EXPECT_EQ(m_doc.GetTitle(), "b.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_EQ(m_view->m_pPlaylistDlg->GetSelectedLine(), 1);
}

TEST_F(SorvaneViewPlayback, WithRepeatOffTheLastEntryEndsThePlay)
{
    m_settings.Set(SK_REPEAT, 0);
    m_view->OnDropFiles({Wav("a.wav", 1), Wav("b.wav", 1)});
    m_view->RouteCmd(IDC_BTN_NEXT);
    ASSERT_EQ(m_doc.GetTitle(), "b.wav");
    PlayUntil([&] { return m_doc.GetMode() != static_cast<int>(MCI_MODE_PLAY); }, 3, kWaveFrames);
    PumpMessages(100);
    EXPECT_EQ(m_doc.GetTitle(), "b.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_STOP));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    // Catches play left greyed after the end, and the bus's CanPlay, read from the same
    // snapshot, saying otherwise than the button.
    EXPECT_TRUE(m_view->GetButton(IDC_BTN_PLAY - IDC_BTN_OPEN).isEnabled());
    EXPECT_TRUE(m_doc.GetPlayback().bCanPlay);
    EXPECT_FALSE(m_view->GetButton(IDC_BTN_STOP - IDC_BTN_OPEN).isEnabled());
}

TEST_F(SorvaneViewPlayback, WithRepeatOnTheQueueWrapsToTheFirstEntry)
{
    m_settings.Set(SK_REPEAT, 1);
    m_view->OnDropFiles({Wav("a.wav", 1), Wav("b.wav", 1)});
    m_view->RouteCmd(IDC_BTN_NEXT);
    PlayUntil([&] { return m_doc.GetTitle() == "a.wav"; }, 3, kWaveFrames);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
}

// Also catches a play ended by a read error (a failure notice) stopping the queue silently:
// it moves on like a normal end.
TEST_F(SorvaneViewPlayback, OnlyAnEndOrAFailureAdvancesTheQueue)
{
    const std::string a = Wav("a.wav");
    m_view->OnDropFiles({a, Wav("b.wav"), Wav("c.wav")});
    const auto device = static_cast<LPARAM>(m_doc.IsOpen());
    for (WPARAM code : {MCI_NOTIFY_SUPERSEDED, MCI_NOTIFY_ABORTED})
        EXPECT_EQ(m_view->OnMciNotify(code, device), 0);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_view->OnMciNotify(MCI_NOTIFY_FAILURE, device), 0);
    EXPECT_EQ(m_doc.GetTitle(), "b.wav");
    EXPECT_EQ(m_view->OnMciNotify(MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(m_doc.IsOpen())), 0);
    EXPECT_EQ(m_doc.GetTitle(), "c.wav");
}

// Catches a gap, or the encoder's delay and padding, between two compressed files made of one
// tone: every 10 ms step, the one with the boundary included, brings exactly 10 ms. The pairs
// cover the decoder's own chaining (one rate), the peer decoder of the same library (another
// rate; a decoder that cannot chain) and a file of the other library.
TEST_F(SorvaneViewPlayback, ACompressedFileFollowsACompressedFileWithoutAGap)
{
    Mp3Tone tone;
    tone.dSeconds = 1.01; // ends inside a step
    Mp3Tone tone48k = tone;
    tone48k.nSampleRate = 48000;
    EncodedTone flac;
    flac.dSeconds = 1.01;
    ASSERT_TRUE(WriteMp3(m_dir / "a.mp3", tone));
    ASSERT_TRUE(WriteMp3(m_dir / "b.mp3", tone));
    ASSERT_TRUE(WriteMp3(m_dir / "b48k.mp3", tone48k));
    ASSERT_TRUE(WriteEncodedTone(m_dir / "a.flac", flac));
    ASSERT_TRUE(WriteEncodedTone(m_dir / "b.flac", flac));
    const struct
    {
        const char* first;
        const char* second;
        std::size_t nSecondRate;
    } pairs[] = {{"a.mp3", "b.mp3", 44100},
                 {"a.mp3", "b48k.mp3", 48000},
                 {"a.flac", "b.flac", 44100},
                 {"a.mp3", "b.flac", 44100},
                 {"a.flac", "b.mp3", 44100}};
    for (const auto& pair : pairs) {
        SCOPED_TRACE(std::string(pair.first) + " then " + pair.second);
        m_view->OnDropFiles({m_dir / pair.first, m_dir / pair.second});
        std::size_t pulled = 0;
        std::size_t steps = 0;
        std::vector<float> captured;
        for (; steps < 180; ++steps) {
            pulled += AdvanceManualAudioClock(10, &captured);
            PumpMessages(0);
        }
        // The manual clock pulls each stream at its own rate: 1.01 s of the first, then the
        // second's rate for the remaining 0.79 s.
        const std::size_t expected = 44541 + pair.nSecondRate * 79 / 100;
        EXPECT_EQ(pulled, expected) << "samples missing between the files";
        // A tone has no silent stretch; the encoder's delay and padding would be one.
        std::size_t silent = 0;
        std::size_t longest = 0;
        for (std::size_t i = 441 * 2; i + 1 < captured.size(); i += 2) {
            silent = std::abs(captured[i]) < 1e-3f ? silent + 1 : 0;
            longest = std::max(longest, silent);
        }
        EXPECT_LT(longest, 8u) << "frames of silence at the boundary";
        EXPECT_TRUE(WaitUntil([&] {
            PumpMessages(0);
            return m_doc.GetTitle() == pair.second;
        }));
        EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
        m_doc.StopAndClose();
        PumpMessages(0);
    }
}

// Catches the view and the bus taking the queue's index for what sounds once the playing
// entry is deleted, and the entry after it skipped.
TEST_F(SorvaneViewPlayback, DeletingThePlayingEntryShowsWhatSoundsAndPlaysTheOneAfterIt)
{
    m_view->OnDropFiles({Wav("short1.wav", 1), Wav("short2.wav", 1), Wav("short3.wav", 1)});
    PlayFrames(kWaveRate / 2);
    PumpMessages(0);
    ASSERT_EQ(m_doc.DeleteEntry(0), 1);
    PumpMessages(0);
    EXPECT_EQ(m_doc.GetTitle(), "short1.wav");
    EXPECT_EQ(m_doc.GetPlayingEntry(), m_dir / "short1.wav");
    PlayUntil([&] { return m_doc.GetTitle() != "short1.wav"; }, 2, kWaveRate);
    EXPECT_EQ(m_doc.GetTitle(), "short2.wav");
    EXPECT_EQ(m_doc.GetPlayingEntry(), m_dir / "short2.wav");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
}

// Catches a queue that stands still at an entry that cannot be opened, and boxes that do not
// name the file.
TEST_F(SorvaneViewPlayback, AnEntryThatCannotBeOpenedAtAnEndIsToldOnceByNameAndPassedOver)
{
    m_settings.Set(SK_REPEAT, 0);
    const std::string garbage = m_dir.Write("garbage.wav", std::string(4096, 'x'));
    m_view->OnDropFiles({Wav("short1.wav", 1), garbage, Wav("short2.wav", 1)});
    PlayUntil([&] { return m_doc.GetTitle() == "short2.wav"; }, 2, kWaveRate);
    EXPECT_EQ(m_doc.GetTitle(), "short2.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 2);
    ASSERT_EQ(m_prompts.messages.size(), 1u);
    EXPECT_TRUE(m_prompts.messages[0].starts_with(garbage + "\n")) << m_prompts.messages[0];
}

// Catches "stop after this one" that stops at once, lets the prepared entry follow, or stays
// on for the entries after.
TEST_F(SorvaneViewPlayback, StopAfterThisOneLetsTheEntryEndThenStopsOnce)
{
    m_settings.Set(SK_REPEAT, 0);
    m_view->OnDropFiles({Wav("a.wav", 1), Wav("b.wav", 1), Wav("c.wav", 1)});
    m_view->RouteCmd(ID_MENU_STOPAFTER);
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    PlayUntil([&] { return m_doc.GetMode() != static_cast<int>(MCI_MODE_PLAY); }, 2, kWaveRate);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_FALSE(m_doc.StopsAfterCurrent());
    m_view->RouteCmd(IDC_BTN_NEXT);
    PlayUntil([&] { return m_doc.GetTitle() == "c.wav"; }, 2, kWaveRate);
    EXPECT_EQ(m_doc.GetTitle(), "c.wav");
}

// Catches shuffle that repeats an entry or leaves one out before the cycle ends, a prepared
// entry other than the one the order names, and a cycle's end that does not stop without
// repeat.
TEST_F(SorvaneViewPlayback, WithShuffleEachEntryPlaysOnceByItselfAndThePlayEndsWithTheCycle)
{
    m_settings.Set(SK_REPEAT, 0);
    m_settings.Set(SK_SHUFFLE, 1);
    m_doc.ShuffleSettingChanged();
    std::vector<std::string> files;
    for (char name = 'a'; name <= 'e'; ++name)
        files.push_back(Wav(std::string(1, name) + ".wav", 1));
    m_view->OnDropFiles(files);
    std::set<std::string> heard{m_doc.GetTitle()};
    std::vector<std::string> order{m_doc.GetTitle()};
    PlayUntil(
        [&] {
            if (order.back() != m_doc.GetTitle()) {
                order.push_back(m_doc.GetTitle());
                heard.insert(order.back());
            }
            return m_doc.GetMode() != static_cast<int>(MCI_MODE_PLAY);
        },
        7, kWaveRate);
    EXPECT_EQ(order.size(), 5u);
    EXPECT_EQ(heard.size(), 5u);
    EXPECT_EQ(m_doc.GetQueue().GetAt(m_doc.GetQueue().GetCurrent()), m_dir / order.back());
    EXPECT_EQ(Queue(), files) << "shuffle changes not the queue";
    // Previous goes back along what played.
    m_view->RouteCmd(IDC_BTN_PREV);
    EXPECT_EQ(m_doc.GetTitle(), order[3]);
}

// Catches a queue of broken files that, with repeat on, fails on for ever.
TEST_F(SorvaneViewPlayback, TenFailedEntriesInARowStopTheQueueWithOneMessage)
{
    m_settings.Set(SK_REPEAT, 1);
    m_view->OnDropFiles({Wav("a.wav"), Wav("b.wav"), Wav("c.wav")});
    m_view->OnMciNotify(MCI_NOTIFY_FAILURE, static_cast<LPARAM>(m_doc.IsOpen()));
    m_view->OnMciNotify(MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(m_doc.IsOpen()));
    for (int i = 0; i < CSorvaneDoc::kFailureStreakLimit - 1; ++i) {
        m_view->OnMciNotify(MCI_NOTIFY_FAILURE, static_cast<LPARAM>(m_doc.IsOpen()));
        ASSERT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY)) << "a success began a new run";
    }
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), (2 + CSorvaneDoc::kFailureStreakLimit - 1) % 3);
    m_view->OnMciNotify(MCI_NOTIFY_FAILURE, static_cast<LPARAM>(m_doc.IsOpen()));
    EXPECT_NE(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), (2 + CSorvaneDoc::kFailureStreakLimit - 1) % 3);
    EXPECT_EQ(m_prompts.messages, std::vector<std::string>{CSorvaneDoc::kFailureStreakText});
}

TEST_F(SorvaneViewPlayback, AnEndFromADeviceNoLongerOpenIsIgnored)
{
    m_view->OnDropFiles({Wav("a.wav"), Wav("b.wav"), Wav("c.wav")});
    const auto oldDevice = static_cast<LPARAM>(m_doc.IsOpen());
    m_view->RouteCmd(IDC_BTN_NEXT);
    ASSERT_EQ(m_doc.GetTitle(), "b.wav");
    m_view->OnMciNotify(MCI_NOTIFY_SUCCESSFUL, oldDevice);
    EXPECT_EQ(m_doc.GetTitle(), "b.wav");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);

    m_doc.StopAndClose();
    m_view->OnMciNotify(MCI_NOTIFY_SUCCESSFUL, 0);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_TRUE(m_prompts.messages.empty());
}

// Catches an end believed while the compressed file it names plays on (one posted before a
// seek or a replay, handled after it).
TEST_F(SorvaneViewPlayback, AnEndOfACompressedFileThatPlaysOnIsIgnored)
{
    Mp3Tone tone;
    tone.dSeconds = 3.0;
    const std::string mp3 = m_dir / "b.mp3";
    ASSERT_TRUE(WriteMp3(mp3, tone));
    m_view->OnDropFiles({Wav("a.wav"), mp3, Wav("c.wav")});
    m_view->RouteCmd(IDC_BTN_NEXT);
    ASSERT_EQ(m_doc.GetTitle(), "b.mp3");
    m_view->OnMciNotify(MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(m_doc.IsOpen()));
    EXPECT_EQ(m_doc.GetTitle(), "b.mp3");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
}

TEST_F(SorvaneViewPlayback, TheEndNotificationArrivesThroughTheViewsWindow)
{
    m_view->OnDropFiles({Wav("a.wav"), Wav("b.wav")});
    ASSERT_EQ(PostMessage(m_view->GetSafeHwnd(), MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL,
                          static_cast<LPARAM>(m_doc.IsOpen())),
              1);
    PumpMessages(0);
    EXPECT_EQ(m_doc.GetTitle(), "b.wav");
}

TEST_F(SorvaneViewPlayback, TheQueueFollowsTheDiscIntoItsNextTrack)
{
    ASSERT_NE(m_view->Playlist(), nullptr); // made first: what follows must refresh it
    InsertDisc(3);
    ASSERT_TRUE(m_view->RouteCmd(IDC_BTN_CDPLAY));
    ASSERT_EQ(Queue().size(), 3u);
    ASSERT_TRUE(WaitUntil([&] { return Engine().GetSkipTrackMsg() == 0; }));
    PlayFrames(3 * kCdFramesPerSecond, [&] { return Position().nTrack == 2; });
    EXPECT_TRUE(WaitUntil([&] {
        PumpMessages(0);
        return m_doc.GetQueue().GetCurrent() == 1;
    }));
    EXPECT_EQ(Position().nTrack, 2);
    EXPECT_EQ(m_view->m_pPlaylistDlg->GetSelectedLine(), 1);
    EXPECT_EQ(Engine().GetSkipTrackMsg(), 0) << "the track was not asked for again";
}

TEST_F(SorvaneViewPlayback, WhenTheQueuesNextEntryIsAnotherTrackThatTrackPlays)
{
    InsertDisc(3);
    ASSERT_TRUE(m_view->RouteCmd(IDC_BTN_CDPLAY));
    m_doc.DeleteEntry(1);
    ASSERT_EQ(Queue(), (std::vector<std::string>{"\\track <1>", "\\track <3>"}));
    ASSERT_TRUE(WaitUntil([&] { return Engine().GetSkipTrackMsg() == 0; }));
    PlayFrames(3 * kCdFramesPerSecond, [&] { return Position().nTrack == 2; });
    EXPECT_TRUE(WaitUntil([&] {
        PumpMessages(0);
        return Position().nTrack == 3;
    }));
    EXPECT_EQ(Position().nSeconds, 0);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
}

TEST_F(SorvaneViewPlayback, ATrackChangeThatNoLongerDescribesWhatPlaysIsIgnored)
{
    m_view->OnDropFiles({Wav("a.wav"), Wav("b.wav")});
    EXPECT_EQ(m_view->OnPlayPos(2, static_cast<LPARAM>(m_doc.IsOpen())), 0);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");

    InsertDisc(3);
    ASSERT_TRUE(m_view->RouteCmd(IDC_BTN_CDPLAY));
    m_view->OnPlayPos(3, static_cast<LPARAM>(m_doc.IsOpen()));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_EQ(Position().nTrack, 1);
}

// Drag seek on the panel of a ten-second file that has played four seconds (40 %).
class SorvaneViewDrag : public SorvaneViewTest
{
protected:
    void OpenAtFortyPercent()
    {
        m_view->OnDropFiles({Wav("ten.wav", 10)});
        PlayFrames(4 * kWaveFrames);
        ASSERT_EQ(Position().nSeconds, 4);
    }
};

TEST_F(SorvaneViewDrag, ThirtyPixelsRightFromFortyPercentSeeksToSeventyAndPlays)
{
    OpenAtFortyPercent();
    m_view->OnLButtonDown(MK_LBUTTON, {20, 5});
    EXPECT_TRUE(m_view->IsPanelBusy());
    EXPECT_EQ(m_view->GetDragStartPercent(), 40);
    m_view->OnMouseMove(MK_LBUTTON, {35, 6});
    m_view->OnMouseMove(MK_LBUTTON, {50, 6});
    EXPECT_EQ(Position().nSeconds, 4) << "moves only draw";
    m_view->OnLButtonUp(0, {50, 6});
    EXPECT_FALSE(m_view->IsPanelBusy());
    EXPECT_EQ(Position().nSeconds, 7);
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
}

TEST_F(SorvaneViewDrag, ATrackChangeDuringTheDragKeepsTheDrag)
{
    OpenAtFortyPercent();
    m_view->OnLButtonDown(MK_LBUTTON, {20, 5});
    m_doc.UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    EXPECT_TRUE(m_view->IsPanelBusy());
    m_view->OnLButtonUp(0, {50, 5});
    EXPECT_EQ(Position().nSeconds, 7);
}

TEST_F(SorvaneViewDrag, EightyPixelsRightFromFortyPercentSeeksToTheEnd)
{
    OpenAtFortyPercent();
    m_view->OnLButtonDown(MK_LBUTTON, {20, 5});
    m_view->OnLButtonUp(0, {100, 5});
    EXPECT_EQ(Position().nMinutes * 60 + Position().nSeconds, 10);
}

TEST_F(SorvaneViewDrag, DraggingLeftPastTheStartSeeksToTheStart)
{
    OpenAtFortyPercent();
    m_view->OnLButtonDown(MK_LBUTTON, {40, 5});
    m_view->OnLButtonUp(0, {-200, 5});
    EXPECT_EQ(Position().nSeconds, 0);
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
}

TEST_F(SorvaneViewDrag, AReleaseSeeksAndPlaysAlsoWhenThePlayerWasPaused)
{
    OpenAtFortyPercent();
    m_view->RouteCmd(IDC_BTN_PAUSE);
    m_view->OnLButtonDown(MK_LBUTTON, {0, 0});
    m_view->OnLButtonUp(0, {-10, 0});
    EXPECT_EQ(Position().nSeconds, 3);
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    // Catches play left enabled and stop and pause greyed while it plays.
    EXPECT_FALSE(m_view->GetButton(IDC_BTN_PLAY - IDC_BTN_OPEN).isEnabled());
    EXPECT_TRUE(m_view->GetButton(IDC_BTN_STOP - IDC_BTN_OPEN).isEnabled());
    EXPECT_TRUE(m_view->GetButton(IDC_BTN_PAUSE - IDC_BTN_OPEN).isEnabled());
}

TEST_F(SorvaneViewDrag, APressWithNothingOpenStartsNoDrag)
{
    m_view->OnLButtonDown(MK_LBUTTON, {20, 5});
    EXPECT_FALSE(m_view->IsPanelBusy());
    m_view->OnMouseMove(MK_LBUTTON, {40, 5});
    m_view->OnLButtonUp(0, {40, 5});
    EXPECT_EQ(m_doc.IsOpen(), 0u);
}

TEST_F(SorvaneViewDrag, APressOutsideThePanelStartsNoDrag)
{
    OpenAtFortyPercent();
    m_view->OnLButtonDown(MK_LBUTTON, {20, 21});
    EXPECT_FALSE(m_view->IsPanelBusy());
    m_view->OnLButtonUp(0, {50, 21});
    EXPECT_EQ(Position().nSeconds, 4);
}

TEST_F(SorvaneViewDrag, InTheVerticalLayoutThePressMustFallBesideTheButtonColumn)
{
    m_settings.Set(SK_LAYOUT, LAYOUT_VERTICAL);
    MakeView();
    OpenAtFortyPercent();
    for (int x : {18, 32}) {
        m_view->OnLButtonDown(MK_LBUTTON, {x, 50});
        EXPECT_FALSE(m_view->IsPanelBusy()) << x;
    }
    for (int x : {19, 31}) {
        m_view->OnLButtonDown(MK_LBUTTON, {x, 50});
        EXPECT_TRUE(m_view->IsPanelBusy()) << x;
        m_view->OnLButtonUp(0, {x, 50});
    }
}

TEST_F(SorvaneViewDrag, WhileDraggingTheTimerLeavesThePanelAndTheTimeShowsTheTarget)
{
    OpenAtFortyPercent();
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    m_view->OnLButtonDown(MK_LBUTTON, {20, 5});
    const int ticks = m_view->GetPanel().GetMarquee().GetTicks();
    m_view->OnMouseMove(MK_LBUTTON, {40, 5});
    const QImage during = m_view->GetClientImage().copy(0, 11, 52, 10);
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    EXPECT_EQ(m_view->GetPanel().GetMarquee().GetTicks(), ticks);
    EXPECT_EQ(m_view->GetClientImage().copy(0, 11, 52, 10), during);

    // The text of the target, six seconds, drawn the way the panel draws time.
    QImage expected = FilledImage(62, 21, CPlayerSettings::kDefaultLed);
    {
        CDC dc(&expected);
        CDisplayPanel panel;
        panel.SetLayout(0, dc.GetDeviceCaps(LOGPIXELSY));
        panel.DrawSeekText(&dc, 60, DEVICE_WAVE, 0, 10);
    }
    EXPECT_EQ(during, expected.copy(0, 11, 52, 10));
    m_view->OnLButtonUp(0, {40, 5});
}

TEST_F(SorvaneViewDrag, MovesWithoutTheLeftButtonOnlyPassOn)
{
    OpenAtFortyPercent();
    m_view->OnLButtonDown(MK_LBUTTON, {20, 5});
    const QImage before = m_view->GetClientImage();
    m_view->OnMouseMove(0, {60, 5});
    EXPECT_EQ(m_view->GetClientImage(), before);
    m_view->OnLButtonUp(0, {20, 5});
}

} // namespace

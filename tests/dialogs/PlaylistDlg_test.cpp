#include "dialogs/PlaylistDlg.h"

#include "dialogs/ListBox.h"
#include "dialogs/UpDownCtrl.h"
#include "engine/MediaFormats.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"
#include "tests/dialogs/DialogTestSupport.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPushButton>

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

namespace {

// What the player view does with the playlist window on every document update.
class CPlaylistView : public CView
{
public:
    CPlaylistView(CSorvaneDoc& doc, CPlaylistDlg& dlg)
        : m_doc(doc)
        , m_dlg(dlg)
    {}
    void OnUpdate(CView*, int nHint) override
    {
        if (nHint != HINT_STATE_CHANGED)
            m_dlg.RefreshList();
        m_dlg.SelectLine(m_doc.GetQueue().GetCurrent());
    }

private:
    CSorvaneDoc& m_doc;
    CPlaylistDlg& m_dlg;
};

class PlaylistDlgTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        ASSERT_TRUE(m_clock.Ok());
        m_dlg = std::make_unique<CPlaylistDlg>(&m_doc, nullptr);
        m_view = std::make_unique<CPlaylistView>(m_doc, *m_dlg);
        m_doc.AddView(m_view.get());
    }
    void TearDown() override
    {
        m_doc.RemoveView(m_view.get());
        ::unsetenv("SORVANE_CDROM");
    }

    std::string Wav(const std::string& name)
    {
        WavTone tone;
        tone.nFrames = 44100;
        return m_dir.Write(name, MakeWav(tone));
    }

    // Queue of n WAV files "0.wav" .. "<n-1>.wav", shown in the list.
    std::vector<std::string> FillQueue(int n)
    {
        std::vector<std::string> paths;
        for (int i = 0; i < n; ++i)
            paths.push_back(Wav(std::to_string(i) + ".wav"));
        m_doc.AddFiles(paths, false);
        m_dlg->RefreshList();
        return paths;
    }

    std::vector<std::string> Lines() const
    {
        std::vector<std::string> lines;
        for (int i = 0; i < m_dlg->m_list->GetCount(); ++i)
            lines.push_back(m_dlg->m_list->GetText(i));
        return lines;
    }

    std::vector<std::string> Queue() const
    {
        std::vector<std::string> entries;
        for (int i = 0; i < m_doc.GetQueue().GetCount(); ++i)
            entries.push_back(m_doc.GetQueue().GetAt(i));
        return entries;
    }

    // Line i of the list shows entry i of the queue.
    void ExpectListMatchesQueue() const
    {
        ASSERT_EQ(m_dlg->m_list->GetCount(), m_doc.GetQueue().GetCount());
        for (int i = 0; i < m_doc.GetQueue().GetCount(); ++i)
            EXPECT_EQ(m_dlg->m_list->GetText(i), m_doc.GetQueue().GetDisplayName(i)) << i;
    }

    void Click(int nID)
    {
        auto* pButton = dynamic_cast<QPushButton*>(m_dlg->GetDlgItem(nID));
        ASSERT_NE(pButton, nullptr) << nID;
        pButton->click();
    }

    void PressArrow(bool bUpper)
    {
        CUpDownCtrl& spin = *m_dlg->m_spin;
        const QPointF at(spin.width() / 2.0, bUpper ? 2.0 : spin.height() - 3.0);
        QMouseEvent press(QEvent::MouseButtonPress, at, spin.mapToGlobal(at), Qt::LeftButton,
                          Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(&spin, &press);
        QMouseEvent release(QEvent::MouseButtonRelease, at, spin.mapToGlobal(at), Qt::LeftButton,
                            Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(&spin, &release);
    }

    CTempDir m_dir;
    CManualClockOutput m_clock;
    CRecordingPrompts m_prompts;
    // The document with its queue in reach of the tests.
    class CTestDoc : public CSorvaneDoc
    {
    public:
        using CSorvaneDoc::QueueForTests;
    };

    CTestDoc m_doc;
    std::unique_ptr<CPlaylistDlg> m_dlg;
    std::unique_ptr<CPlaylistView> m_view;
};

TEST_F(PlaylistDlgTest, WindowIsBuiltHiddenFromItsTemplate)
{
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_dlg->windowTitle(), QStringLiteral("プレイリスト"));
    EXPECT_FALSE(m_dlg->windowFlags().testFlag(Qt::WindowCloseButtonHint));
    const CRect client = m_dlg->MapDialogRect(0, 0, 107, 155);
    EXPECT_EQ(m_dlg->size(), QSize(client.Width(), client.Height()));

    const struct
    {
        int nID;
        const char* text;
        int x, y;
    } buttons[] = {{IDC_PLAYLIST_ADD, "追加", 11, 121},     {IDC_PLAYLIST_SAVE, "保存", 10, 137},
                   {IDC_PLAYLIST_CLEAR, "クリア", 39, 137}, {IDC_PLAYLIST_DELETE, "削除", 69, 121},
                   {IDC_PLAYLIST_CLOSE, "閉じる", 69, 137}, {IDC_PLAYLIST_PLAY, "演奏", 39, 121}};
    for (const auto& button : buttons) {
        QWidget* pButton = m_dlg->GetDlgItem(button.nID);
        ASSERT_NE(pButton, nullptr);
        EXPECT_EQ(m_dlg->GetDlgItemText(button.nID), button.text);
        const CRect rect = m_dlg->MapDialogRect(button.x, button.y, 24, 14);
        EXPECT_EQ(pButton->geometry(), QRect(rect.left, rect.top, rect.Width(), rect.Height()));
    }
    const CRect list = m_dlg->MapDialogRect(10, 11, 78, 107);
    EXPECT_EQ(m_dlg->m_list->geometry(), QRect(list.left, list.top, list.Width(), list.Height()));
    EXPECT_EQ(m_dlg->GetDlgItem(IDC_PLAYLIST_LIST), m_dlg->m_list);
    EXPECT_EQ(m_dlg->GetDlgItem(IDC_PLAYLIST_SPIN), m_dlg->m_spin);
    EXPECT_EQ(m_dlg->m_list->GetCount(), 0);
}

TEST_F(PlaylistDlgTest, DialogFontIsTheProportionalGothicOrItsStandIn)
{
    const QString family = m_dlg->GetDialogFont().family();
    EXPECT_EQ(family, CFont::ResolveFaceName("ＭＳ Ｐゴシック"));
    EXPECT_EQ(m_dlg->GetDialogFont().pixelSize(), 12); // 9 points at 96 dots per inch
    const CSize units = m_dlg->GetBaseUnits();
    EXPECT_GT(units.cx, 3);
    EXPECT_GT(units.cy, 10);
}

TEST_F(PlaylistDlgTest, RefreshShowsDisplayNamesInQueueOrder)
{
    m_doc.AddFiles({"/music/b side.wav", "\\track <3>", "/music/a.mid"}, false);
    EXPECT_EQ(m_dlg->RefreshList(), 1);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"b side.wav", "track <3>", "a.mid"}));
    m_doc.DeleteEntry(0);
    m_dlg->RefreshList();
    EXPECT_EQ(Lines(), (std::vector<std::string>{"track <3>", "a.mid"}));
}

TEST_F(PlaylistDlgTest, AddAsksForSeveralAudioFilesWithItsOwnFilter)
{
    Click(IDC_PLAYLIST_ADD);
    ASSERT_EQ(m_prompts.fileRequests.size(), 1u);
    const FileDialogRequest& request = m_prompts.fileRequests[0];
    EXPECT_TRUE(request.bOpen);
    EXPECT_TRUE(request.bMultiSelect);
    EXPECT_EQ(request.strDefExt, ".mid");
    EXPECT_EQ(request.strFileName, "");
    EXPECT_EQ(request.strFilter,
              "AudioFiles( .mid .wav .m3u .mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp|" +
                  std::string(CSorvaneDoc::kPlayableFilterName) + "|" +
                  MediaFormatPatterns({".m3u"}) + "||");
    // Catches a dialog that opens on the first entry, which hides FLAC, Ogg, Opus and M4A.
    EXPECT_EQ(request.nFilterIndex, 2);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 0);
}

TEST_F(PlaylistDlgTest, AddingAPlaylistIntoAnEmptyListAddsItsEntriesAndPlaysTheFirst)
{
    const std::string first = Wav("first.wav");
    const std::string second = Wav("second.wav");
    const std::string list = m_dir.Write("mix.m3u", "first.wav\r\nsecond.wav\r\n");
    // An emptied queue whose current index was left beyond the end: catches entry 0 played
    // without becoming current.
    CPlayQueue& queue = m_doc.QueueForTests();
    for (int i = 0; i < 3; ++i)
        queue.Add(first);
    queue.SetCurrent(2);
    for (int i = 0; i < 3; ++i)
        queue.RemoveAt(0);
    m_prompts.QueueFiles(std::vector<std::string>{list});
    Click(IDC_PLAYLIST_ADD);

    EXPECT_EQ(Queue(), (std::vector<std::string>{first, second}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"first.wav", "second.wav"}));
    EXPECT_NE(m_doc.IsOpen(), 0u);
    EXPECT_EQ(m_doc.GetTitle(), "first.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(PlaylistDlgTest, AddingToAListWithFilesAppendsAndStartsNothing)
{
    const std::vector<std::string> before = FillQueue(2);
    const std::string added = Wav("added.wav");
    m_prompts.QueueFiles(std::vector<std::string>{added, before[0]});
    Click(IDC_PLAYLIST_ADD);

    EXPECT_EQ(Queue(), (std::vector<std::string>{before[0], before[1], added, before[0]}));
    ExpectListMatchesQueue();
    EXPECT_EQ(m_doc.IsOpen(), 0u);
}

TEST_F(PlaylistDlgTest, AddingAfterACdReplacesTheTrackMarkersAndStartsNothing)
{
    std::vector<CdTrackTone> tracks(2, CdTrackTone{75});
    ::setenv("SORVANE_CDROM", WriteCdImage(m_dir.Path(), "disc", tracks).c_str(), 1);
    m_doc.OnCmdCdPlay();
    ASSERT_EQ(m_doc.GetKind(), DEVICE_CDAUDIO);
    ASSERT_EQ(m_dlg->m_list->GetCount(), 2);

    const std::string song = Wav("song.wav");
    m_prompts.QueueFiles(std::vector<std::string>{song});
    Click(IDC_PLAYLIST_ADD);

    EXPECT_EQ(Queue(), (std::vector<std::string>{song}));
    EXPECT_EQ(Lines(), (std::vector<std::string>{"song.wav"}));
    EXPECT_EQ(m_doc.IsOpen(), 0u);

    // The engine still reports the CD kind: catches the second Add emptying the queue again.
    const std::string other = Wav("other.wav");
    m_prompts.QueueFiles(std::vector<std::string>{other});
    Click(IDC_PLAYLIST_ADD);
    EXPECT_EQ(Queue(), (std::vector<std::string>{song, other}));
}

TEST_F(PlaylistDlgTest, CancelledAddChangesNothing)
{
    const std::vector<std::string> before = FillQueue(1);
    m_prompts.QueueFiles(std::nullopt);
    Click(IDC_PLAYLIST_ADD);
    EXPECT_EQ(Queue(), before);
    EXPECT_EQ(m_dlg->m_list->GetCount(), 1);
}

// Catches an added selection longer than the original 2,048-byte name buffer being dropped.
TEST_F(PlaylistDlgTest, AddTakesEveryChosenFileHoweverLongTheSelection)
{
    std::vector<std::string> many;
    for (int i = 0; i < 200; ++i)
        many.push_back(m_dir.Path() + "/a-rather-long-file-name-" + std::to_string(i) + ".wav");
    m_prompts.QueueFiles(many);
    Click(IDC_PLAYLIST_ADD);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 200);
    EXPECT_EQ(m_dlg->m_list->GetCount(), 200);
}

TEST_F(PlaylistDlgTest, AddingAnEmptyPlaylistIntoAnEmptyListTriesToPlayNothing)
{
    const std::string list = m_dir.Write("empty.m3u", "");
    m_prompts.QueueFiles(std::vector<std::string>{list});
    Click(IDC_PLAYLIST_ADD);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 0);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(PlaylistDlgTest, SaveWritesEntriesRelativeToThePlaylistAndReplacesAnExistingFile)
{
    FillQueue(2);
    m_doc.AddFiles({"/elsewhere/far.mid"}, false);
    const std::string target = m_dir.Write("MyPlayList.m3u", "old contents that must go\n");
    m_prompts.QueueFiles(std::vector<std::string>{target});
    Click(IDC_PLAYLIST_SAVE);

    ASSERT_EQ(m_prompts.fileRequests.size(), 1u);
    const FileDialogRequest& request = m_prompts.fileRequests[0];
    EXPECT_FALSE(request.bOpen);
    EXPECT_FALSE(request.bMultiSelect);
    EXPECT_EQ(request.strDefExt, ".m3u");
    EXPECT_EQ(request.strFileName, "MyPlayList");
    EXPECT_EQ(request.strFilter, "PlayListFiles(.m3u)|*.m3u||");
    EXPECT_EQ(CTempDir::Read(target), "0.wav\r\n1.wav\r\n/elsewhere/far.mid\r\n");
    EXPECT_TRUE(m_prompts.messages.empty());
}

TEST_F(PlaylistDlgTest, SaveThatCannotWriteItsFileTellsTheUser)
{
    // Catches a save into a missing folder that reports nothing.
    FillQueue(1);
    m_prompts.QueueFiles(std::vector<std::string>{m_dir / "no-such-folder/MyPlayList.m3u"});
    Click(IDC_PLAYLIST_SAVE);
    EXPECT_EQ(m_prompts.messages, std::vector<std::string>{CPlaylistDlg::kSaveFailedText});
}

TEST_F(PlaylistDlgTest, CancelledSaveWritesNothing)
{
    FillQueue(1);
    m_prompts.QueueFiles(std::nullopt);
    Click(IDC_PLAYLIST_SAVE);
    EXPECT_EQ(CTempDir::Read(m_dir / "MyPlayList.m3u"), "");
}

TEST_F(PlaylistDlgTest, ClearEmptiesQueueAndListAndClosesTheEngine)
{
    FillQueue(3);
    m_doc.PlayAt(1);
    ASSERT_NE(m_doc.IsOpen(), 0u);
    Click(IDC_PLAYLIST_CLEAR);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 0);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 0);
    EXPECT_EQ(m_dlg->m_list->GetCount(), 0);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
}

TEST_F(PlaylistDlgTest, DeletingBeforeTheCurrentEntryKeepsThatEntryCurrent)
{
    const std::vector<std::string> paths = FillQueue(5);
    m_doc.PlayAt(2);
    m_dlg->SelectLine(0);
    Click(IDC_PLAYLIST_DELETE);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_EQ(m_doc.GetQueue().GetAt(1), paths[2]);
    EXPECT_EQ(m_dlg->GetSelectedLine(), 0);
    EXPECT_EQ(m_dlg->m_list->GetText(0), "1.wav");
    ExpectListMatchesQueue();
}

TEST_F(PlaylistDlgTest, DeletingTheCurrentEntryMakesTheFollowingOneCurrent)
{
    const std::vector<std::string> paths = FillQueue(5);
    m_doc.PlayAt(2);
    m_dlg->SelectLine(2);
    Click(IDC_PLAYLIST_DELETE);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 2);
    EXPECT_EQ(m_doc.GetQueue().GetAt(2), paths[3]);
    EXPECT_EQ(m_dlg->GetSelectedLine(), 2);
    ExpectListMatchesQueue();
}

TEST_F(PlaylistDlgTest, DeletingTheCurrentLastEntryMakesTheNewLastOneCurrent)
{
    // Catches a current index left past the end, from which Next replays the wrong entry.
    FillQueue(3);
    m_doc.PlayAt(2);
    m_dlg->SelectLine(2);
    Click(IDC_PLAYLIST_DELETE);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
}

TEST_F(PlaylistDlgTest, DeletingTheLastLineLeavesCurrentAndSelectsNothing)
{
    FillQueue(5);
    m_doc.PlayAt(2);
    m_dlg->SelectLine(4);
    Click(IDC_PLAYLIST_DELETE);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 2);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 4);
    EXPECT_EQ(m_dlg->GetSelectedLine(), -1);
    ExpectListMatchesQueue();
}

TEST_F(PlaylistDlgTest, DeletingThePlayingEntryKeepsItPlayingWhileEntriesRemain)
{
    FillQueue(2);
    m_doc.PlayAt(0);
    m_dlg->SelectLine(0);
    Click(IDC_PLAYLIST_DELETE);
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_doc.GetTitle(), "0.wav");
}

TEST_F(PlaylistDlgTest, DeletingTheOnlyEntryStopsAndClosesTheEngine)
{
    FillQueue(1);
    m_doc.PlayAt(0);
    ASSERT_NE(m_doc.IsOpen(), 0u);
    m_dlg->SelectLine(0);
    Click(IDC_PLAYLIST_DELETE);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 0);
    EXPECT_EQ(m_dlg->m_list->GetCount(), 0);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
}

TEST_F(PlaylistDlgTest, EscapeDeletesTheSelectedEntryAndNothingWithoutSelection)
{
    FillQueue(3);
    QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(m_dlg.get(), &escape);
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 3);

    m_dlg->SelectLine(1);
    QApplication::sendEvent(m_dlg.get(), &escape);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"0.wav", "2.wav"}));
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 2);
}

// Catches a list where the Delete key does nothing and Enter plays no entry.
TEST_F(PlaylistDlgTest, DeleteKeyRemovesTheSelectedEntryAndEnterPlaysIt)
{
    FillQueue(3);
    m_dlg->SelectLine(1);
    QKeyEvent del(QEvent::KeyPress, Qt::Key_Delete, Qt::NoModifier);
    QApplication::sendEvent(m_dlg->m_list, &del);
    EXPECT_EQ(Lines(), (std::vector<std::string>{"0.wav", "2.wav"}));
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 2);

    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_dlg->m_list, &enter);
    EXPECT_EQ(m_doc.GetTitle(), "2.wav");
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
}

// Catches typing that finds only names beginning with the text, or none at all.
TEST_F(PlaylistDlgTest, TypingSelectsTheFirstEntryWhoseNameContainsTheTextAndEnterPlaysIt)
{
    m_doc.AddFiles({Wav("Alpha song.wav"), Wav("beta TUNE.wav"), Wav("tune three.wav")}, false);
    m_dlg->RefreshList();
    m_dlg->SelectLine(0);
    QKeyEvent typed(QEvent::KeyPress, Qt::Key_T, Qt::NoModifier, QStringLiteral("tune"));
    QApplication::sendEvent(m_dlg->m_list, &typed);
    EXPECT_EQ(m_dlg->GetSelectedLine(), 1);
    QKeyEvent enter(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QApplication::sendEvent(m_dlg->m_list, &enter);
    EXPECT_EQ(m_doc.GetTitle(), "beta TUNE.wav");
}

TEST_F(PlaylistDlgTest, WithoutSelectionPlayDeleteAndMoveDoNothing)
{
    const std::vector<std::string> paths = FillQueue(3);
    Click(IDC_PLAYLIST_PLAY);
    m_dlg->OnDblclkList();
    Click(IDC_PLAYLIST_DELETE);
    long result = 1;
    m_dlg->OnDeltaposSpin(1, &result);
    EXPECT_EQ(result, 0);
    m_dlg->OnDeltaposSpin(-1, &result);
    EXPECT_EQ(Queue(), paths);
    EXPECT_EQ(m_doc.IsOpen(), 0u);
    EXPECT_EQ(m_dlg->GetSelectedLine(), -1);
}

TEST_F(PlaylistDlgTest, UpDownControlKeepsItsDefaultReversedRange)
{
    EXPECT_EQ(m_dlg->m_spin->GetMinimum(), 100);
    EXPECT_EQ(m_dlg->m_spin->GetMaximum(), 0);
}

TEST_F(PlaylistDlgTest, UpperArrowMovesTheSelectedEntryTowardsTheStart)
{
    const std::vector<std::string> paths = FillQueue(4);
    m_doc.PlayAt(2);
    m_dlg->SelectLine(2);
    PressArrow(true);
    EXPECT_EQ(Queue(), (std::vector<std::string>{paths[0], paths[2], paths[1], paths[3]}));
    EXPECT_EQ(m_dlg->GetSelectedLine(), 1);
    ExpectListMatchesQueue();
    // The current index stays: it now designates the entry that moved down into place 2.
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 2);
    m_doc.UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    EXPECT_EQ(m_dlg->GetSelectedLine(), 2);
    EXPECT_EQ(m_dlg->m_list->GetText(2), "1.wav");
}

TEST_F(PlaylistDlgTest, LowerArrowMovesTheSelectedEntryTowardsTheEnd)
{
    const std::vector<std::string> paths = FillQueue(4);
    m_dlg->SelectLine(1);
    PressArrow(false);
    PressArrow(false);
    EXPECT_EQ(Queue(), (std::vector<std::string>{paths[0], paths[2], paths[3], paths[1]}));
    EXPECT_EQ(m_dlg->GetSelectedLine(), 3);
    ExpectListMatchesQueue();
}

TEST_F(PlaylistDlgTest, ArrowsStopAtTheEndsKeepingTheSelection)
{
    const std::vector<std::string> paths = FillQueue(3);
    m_dlg->SelectLine(0);
    PressArrow(true);
    EXPECT_EQ(Queue(), paths);
    EXPECT_EQ(m_dlg->GetSelectedLine(), 0);
    m_dlg->SelectLine(2);
    PressArrow(false);
    EXPECT_EQ(Queue(), paths);
    EXPECT_EQ(m_dlg->GetSelectedLine(), 2);
}

TEST_F(PlaylistDlgTest, PlayPlaysTheSelectedEntryAndMakesItCurrent)
{
    FillQueue(3);
    m_dlg->SelectLine(2);
    Click(IDC_PLAYLIST_PLAY);
    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 2);
    EXPECT_EQ(m_doc.GetTitle(), "2.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
    EXPECT_EQ(m_dlg->GetSelectedLine(), 2);
}

TEST_F(PlaylistDlgTest, DoubleClickOnALinePlaysThatEntry)
{
    FillQueue(3);
    m_dlg->show();
    CListBox& list = *m_dlg->m_list;
    const QPoint at = list.visualItemRect(list.item(1)).center();
    QMouseEvent press(QEvent::MouseButtonPress, at, list.viewport()->mapToGlobal(at),
                      Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &press);
    QMouseEvent release(QEvent::MouseButtonRelease, at, list.viewport()->mapToGlobal(at),
                        Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &release);
    QMouseEvent dblclk(QEvent::MouseButtonDblClick, at, list.viewport()->mapToGlobal(at),
                       Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(list.viewport(), &dblclk);

    EXPECT_EQ(m_doc.GetQueue().GetCurrent(), 1);
    EXPECT_EQ(m_doc.GetTitle(), "1.wav");
    EXPECT_EQ(m_dlg->GetSelectedLine(), 1);
}

TEST_F(PlaylistDlgTest, CloseButtonAndCloseRequestHideTheWindowKeepingTheList)
{
    FillQueue(2);
    m_dlg->show();
    Click(IDC_PLAYLIST_CLOSE);
    EXPECT_FALSE(m_dlg->isVisible());
    m_dlg->show();
    m_dlg->close();
    EXPECT_FALSE(m_dlg->isVisible());
    EXPECT_EQ(m_doc.GetQueue().GetCount(), 2);
    EXPECT_EQ(m_dlg->m_list->GetCount(), 2);
}

TEST_F(PlaylistDlgTest, PictureOfTheWindowShowsTheSelectedLineHighlighted)
{
    FillQueue(3);
    m_doc.AddFiles({"\\track <2>"}, false);
    m_dlg->RefreshList();
    m_dlg->SelectLine(1);
    const QImage picture = SavePicture(*m_dlg, "playlist");
    ASSERT_FALSE(picture.isNull());
    const QRect row = m_dlg->m_list->visualItemRect(m_dlg->m_list->item(1));
    const QPoint selected =
        m_dlg->m_list->viewport()->mapTo(m_dlg.get(), QPoint(row.right() - 2, row.center().y()));
    const QPoint other = m_dlg->m_list->viewport()->mapTo(
        m_dlg.get(), QPoint(row.right() - 2, row.center().y() + row.height()));
    const QPalette palette = m_dlg->m_list->palette();
    const QColor highlight = picture.pixelColor(selected);
    EXPECT_TRUE(highlight == palette.color(QPalette::Active, QPalette::Highlight) ||
                highlight == palette.color(QPalette::Inactive, QPalette::Highlight))
        << highlight.name().toStdString();
    EXPECT_EQ(picture.pixelColor(other), palette.color(QPalette::Base));
}

} // namespace

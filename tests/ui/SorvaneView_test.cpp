#include "tests/ui/SorvaneViewTest.h"

#include "dialogs/ListBox.h"
#include "dialogs/PlaylistDlg.h"
#include "res/Language.h"
#include "res/Resource.h"

#include <QCoreApplication>
#include <QHelpEvent>
#include <QToolTip>
#include <QTranslator>

namespace {

// The last stop on the command route, recording what reaches it.
class CRecordingTarget : public CCmdTarget
{
public:
    bool OnCmdMsg(int nId) override
    {
        commands.push_back(nId);
        return true;
    }
    std::vector<int> commands;
};

using SorvaneView = SorvaneViewTest;

TEST_F(SorvaneView, CreatesTheNineButtonsOnTheLayoutsRectanglesInsideTheClientEdge)
{
    for (int layout : {0, 1, 2}) {
        m_settings.Set(SK_LAYOUT, layout);
        MakeView();
        for (int i = 0; i < BUTTON_COUNT; ++i) {
            CTransportButton& button = m_view->GetButton(i);
            const CRect& rc = ButtonRect(layout, i);
            EXPECT_EQ(button.GetDlgCtrlID(), IDC_BTN_OPEN + i);
            EXPECT_EQ(button.geometry(), QRect(rc.left + 2, rc.top + 2, 18, 18))
                << "layout " << layout << " button " << i;
            EXPECT_EQ(button.parentWidget(), m_view);
        }
    }
}

TEST_F(SorvaneView, ButtonsTakeTheFaceColourFromTheSettings)
{
    m_settings.Set(SK_BUTTON_COLOR, 0x123456);
    MakeView();
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        EXPECT_EQ(m_view->GetButton(i).GetFaceColor(), 0x123456u);
        EXPECT_EQ(PixelAt(m_view->GetButton(i).Picture(), 16, 1), 0x123456u) << i;
    }
}

TEST_F(SorvaneView, ALayoutOutsideTheThreeIsTakenAsTheGrid)
{
    m_settings.Set(SK_LAYOUT, 7);
    MakeView();
    EXPECT_EQ(m_view->GetLayout(), LAYOUT_GRID);
    EXPECT_EQ(m_view->GetButton(8).geometry(), QRect(38, 59, 18, 18));
}

TEST_F(SorvaneView, ApplySettingsCopiesColoursAndLayoutWithoutMovingAnything)
{
    m_settings.Set(SK_LED_COLOR, 0x010203);
    m_settings.Set(SK_TEXT_COLOR, 0x040506);
    m_settings.Set(SK_BUTTON_COLOR, 0x070809);
    m_settings.Set(SK_LAYOUT, 2);
    EXPECT_EQ(m_view->ApplySettings(), 1);
    EXPECT_EQ(m_view->GetPanel().GetLedColor(), 0x010203u);
    EXPECT_EQ(m_view->GetPanel().GetTextColor(), 0x040506u);
    EXPECT_EQ(m_view->GetButtonColor(), 0x070809u);
    EXPECT_EQ(m_view->GetLayout(), 2);
    EXPECT_EQ(m_view->GetButton(0).geometry(), QRect(2, 23, 18, 18));
    EXPECT_EQ(m_frame->size(), QSize(64, 100));
}

TEST_F(SorvaneView, ButtonTipsAreTheStringTableTexts)
{
    const char* tips[] = {"ファイルを開く",     "演奏開始・再開", "演奏停止",
                          "前の曲へ",           "一時停止",       "次の曲へ",
                          "プレイリストを開く", "CDの演奏開始",   "CDを取り出す"};
    for (int i = 0; i < BUTTON_COUNT; ++i)
        EXPECT_EQ(m_view->GetButton(i).toolTip().toStdString(), tips[i]) << i;
    // Catches a greyed button showing its tip all the same.
    CTransportButton& play = m_view->GetButton(IDC_BTN_PLAY - IDC_BTN_OPEN);
    ASSERT_FALSE(play.isEnabled());
    QHelpEvent help(QEvent::ToolTip, QPoint(5, 5), play.mapToGlobal(QPoint(5, 5)));
    QCoreApplication::sendEvent(&play, &help);
    EXPECT_FALSE(QToolTip::isVisible());
    // Catches tips that bypass the translation: under English they are English.
    const std::unique_ptr<QTranslator> english = InstallTranslation("en");
    MakeView();
    EXPECT_EQ(m_view->GetButton(0).toolTip().toStdString(), "Open files");
}

TEST_F(SorvaneView, ThePanelToolCoversThePanelBesideTheButtonColumnInTheVerticalLayout)
{
    EXPECT_EQ(m_view->GetPanelToolRect(), CRect(0, 0, 62, 21));
    m_settings.Set(SK_LAYOUT, LAYOUT_VERTICAL);
    MakeView();
    EXPECT_EQ(m_view->GetPanelToolRect(), CRect(19, 0, 32, 180));
}

// Also catches a playlist window built at start, which costs every start its controls and
// the font of its texts although most starts never show it, and the tray icon (milliseconds
// of talk with the desktop) made before the window can show.
TEST_F(SorvaneView, ThePanelTimerRunsAndThePlaylistWindowIsMadeHiddenWhenFirstAskedFor)
{
    EXPECT_NE(m_view->GetTimerId(), 0);
    EXPECT_EQ(m_view->m_pPlaylistDlg, nullptr);
    ASSERT_NE(m_view->Playlist(), nullptr);
    EXPECT_FALSE(m_view->Playlist()->isVisible());
    EXPECT_EQ(m_view->GetTrayIcon(), nullptr);
    QCoreApplication::sendPostedEvents();
    ASSERT_NE(m_view->GetTrayIcon(), nullptr);
    EXPECT_EQ(m_view->GetTrayIcon()->toolTip(), QString("Sorvane"));
    EXPECT_FALSE(m_view->GetTrayIcon()->icon().isNull());
}

TEST_F(SorvaneView, WithNothingOpenOnlyOpenPlaylistCdPlayAndEjectAreEnabled)
{
    const bool enabled[] = {true, false, false, false, false, false, true, true, true};
    for (int i = 0; i < BUTTON_COUNT; ++i)
        EXPECT_EQ(m_view->GetButton(i).isEnabled(), enabled[i]) << i;
}

TEST_F(SorvaneView, WhilePlayingStopAndPauseAreEnabledAndPlayIsNot)
{
    m_view->OnDropFiles({Wav("a.wav")});
    const bool enabled[] = {true, false, true, true, true, true, true, true, true};
    for (int i = 0; i < BUTTON_COUNT; ++i)
        EXPECT_EQ(m_view->GetButton(i).isEnabled(), enabled[i]) << i;
}

TEST_F(SorvaneView, WhenPausedPlayIsEnabledAndStopAndPauseAreNot)
{
    m_view->OnDropFiles({Wav("a.wav")});
    EXPECT_EQ(m_frame->focusWidget(), m_view) << "no button holds the focus at start";
    CTransportButton& pause = m_view->GetButton(IDC_BTN_PAUSE - IDC_BTN_OPEN);
    pause.setFocus(Qt::MouseFocusReason);
    pause.click();
    ASSERT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_STOP));
    // Catches the greyed pause button handing the focus to next, which Space then presses.
    EXPECT_EQ(m_frame->focusWidget(), m_view);
    const bool enabled[] = {true, true, false, true, false, true, true, true, true};
    for (int i = 0; i < BUTTON_COUNT; ++i)
        EXPECT_EQ(m_view->GetButton(i).isEnabled(), enabled[i]) << i;
}

TEST_F(SorvaneView, AButtonClickTravelsToTheDocument)
{
    const std::string file = Wav("a.wav");
    m_prompts.QueueFiles(std::vector<std::string>{file});
    m_view->GetButton(0).click();
    ASSERT_EQ(m_prompts.fileRequests.size(), 1u);
    EXPECT_EQ(Queue(), std::vector<std::string>{file});
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
    EXPECT_EQ(m_doc.GetMode(), static_cast<int>(MCI_MODE_PLAY));
}

TEST_F(SorvaneView, TheViewTakesOnlySettingsHideAndExit)
{
    EXPECT_FALSE(m_view->OnCmdMsg(IDC_BTN_PLAY));
    EXPECT_FALSE(m_view->OnCmdMsg(ID_MENU_PLAY));
    EXPECT_FALSE(m_view->OnCmdMsg(ID_APP_ABOUT));
    EXPECT_TRUE(m_view->OnCmdMsg(ID_MENU_HIDE));
}

TEST_F(SorvaneView, CommandsThatNeitherViewNorDocumentTakeReachTheApplication)
{
    CRecordingTarget app;
    m_view->SetAppCommandTarget(&app);
    EXPECT_TRUE(m_view->RouteCmd(ID_APP_ABOUT));
    EXPECT_TRUE(m_view->RouteCmd(ID_FILE_NEW));
    EXPECT_TRUE(m_view->RouteCmd(IDC_BTN_STOP));
    EXPECT_EQ(app.commands, (std::vector<int>{ID_APP_ABOUT, ID_FILE_NEW}));
}

TEST_F(SorvaneView, TheMenuPlaylistCommandShowsThePlaylistBesideThePlayer)
{
    m_frame->move(500, 40);
    ASSERT_TRUE(m_view->RouteCmd(ID_MENU_PLAYLIST));
    CPlaylistDlg* pPlaylist = m_view->m_pPlaylistDlg;
    EXPECT_TRUE(pPlaylist->isVisible());
    EXPECT_EQ(pPlaylist->pos(), QPoint(275, 40));
    ASSERT_TRUE(m_view->RouteCmd(IDC_BTN_PLAYLIST));
    EXPECT_FALSE(pPlaylist->isVisible());
    // Shown again after the player moved, where the window system says the player is now
    // (a reparenting window manager can leave Qt's record of it behind): catches a playlist
    // that comes back at its old place over the player.
    m_frame->SetPositionQuery([] { return std::optional<QPoint>(QPoint(600, 70)); });
    ASSERT_TRUE(m_view->RouteCmd(ID_MENU_PLAYLIST));
    QCoreApplication::processEvents();
    EXPECT_EQ(pPlaylist->pos(), QPoint(375, 70));
}

TEST_F(SorvaneView, NearTheLeftEdgeThePlaylistOpensRightOfThePlayer)
{
    m_frame->move(100, 0);
    m_view->RouteCmd(ID_MENU_PLAYLIST);
    EXPECT_EQ(m_view->m_pPlaylistDlg->pos(), QPoint(100 + 64 + 230 - 225, 0));
}

TEST_F(SorvaneView, AQueueChangeRefillsThePlaylistAndMarksTheCurrentEntry)
{
    CPlaylistDlg* pPlaylist = m_view->Playlist();
    ASSERT_NE(pPlaylist, nullptr);
    m_view->OnDropFiles({Wav("a.wav"), Wav("b.wav"), Wav("c.wav")});
    EXPECT_EQ(pPlaylist->m_list->GetCount(), 3);
    EXPECT_EQ(pPlaylist->m_list->GetText(1), "b.wav");
    EXPECT_EQ(pPlaylist->GetSelectedLine(), 0);

    m_view->RouteCmd(IDC_BTN_NEXT);
    EXPECT_EQ(pPlaylist->GetSelectedLine(), 1);
}

TEST_F(SorvaneView, AStateChangeMarksTheCurrentEntryWithoutRefillingTheList)
{
    ASSERT_NE(m_view->Playlist(), nullptr);
    m_view->OnDropFiles({Wav("a.wav"), Wav("b.wav")});
    m_doc.AddFiles({Wav("c.wav")}, false);
    m_doc.PlayAt(2);
    EXPECT_EQ(m_view->m_pPlaylistDlg->m_list->GetCount(), 2);
    EXPECT_EQ(m_view->m_pPlaylistDlg->GetSelectedLine(), -1);
    m_doc.UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
    EXPECT_EQ(m_view->m_pPlaylistDlg->m_list->GetCount(), 3);
    EXPECT_EQ(m_view->m_pPlaylistDlg->GetSelectedLine(), 2);
}

TEST_F(SorvaneView, EveryUpdateWithAStatusRestartsTheTitleFromItsStart)
{
    m_view->OnDropFiles({Wav("song.wav", 187)});
    EXPECT_EQ(m_view->GetPanel().GetMarquee().GetText(), "song.wav  3: 7");
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    EXPECT_EQ(m_view->GetPanel().GetMarquee().GetTicks(), 2);
    m_doc.UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    EXPECT_EQ(m_view->GetPanel().GetMarquee().GetTicks(), 0);
    EXPECT_FALSE(m_view->IsPanelBusy());
}

TEST_F(SorvaneView, AnUpdateWithNothingOpenKeepsThePreviousTitle)
{
    m_view->OnDropFiles({Wav("a.wav")});
    m_doc.StopAndClose();
    m_doc.UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    EXPECT_EQ(m_view->GetPanel().GetMarquee().GetText(), "a.wav  0: 2");
}

TEST_F(SorvaneView, DestroyingTheViewDeletesThePlaylistWindowAndLeavesTheDocument)
{
    QPointer<QWidget> pPlaylist = m_view->Playlist();
    ASSERT_NE(pPlaylist, nullptr);
    m_frame.reset();
    EXPECT_EQ(pPlaylist, nullptr);
    m_doc.UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
    m_doc.OnCmdMsg(ID_MENU_PLAYLIST);
}

} // namespace

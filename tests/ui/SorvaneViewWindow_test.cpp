#include "tests/ui/SorvaneViewTest.h"

#include "dialogs/PlaylistDlg.h"
#include "dialogs/SettingsDlg.h"
#include "res/Resource.h"
#include "ui/Layout.h"
#include "ui/ViewMenus.h"

#include <QAbstractButton>
#include <QAction>
#include <QDir>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QToolTip>

#include <cstring>

namespace {

using SorvaneViewWindow = SorvaneViewTest;

// The items of a menu as (command id, text) pairs; separators as (0, "").
std::vector<std::pair<int, std::string>> Items(const QMenu* pMenu)
{
    std::vector<std::pair<int, std::string>> items;
    for (const QAction* pAction : pMenu->actions())
        items.emplace_back(MenuItemId(pAction), pAction->text().toStdString());
    return items;
}

QAction* FindItem(QMenu* pMenu, int nID)
{
    for (QAction* pAction : pMenu->actions())
        if (MenuItemId(pAction) == nID)
            return pAction;
    return nullptr;
}

// Chooses item nID of an open menu with the keyboard, as a user does.
void Choose(QMenu* pMenu, int nID)
{
    pMenu->setActiveAction(FindItem(pMenu, nID));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier);
    QCoreApplication::sendEvent(pMenu, &press);
}

TEST_F(SorvaneViewWindow, TheTrayMenuListsItsItemsInOrder)
{
    std::vector<std::pair<int, std::string>> items;
    WithModal([&] { m_view->OnTrayActivated(QSystemTrayIcon::Context); },
              [&](QWidget* pWidget) {
                  auto* pMenu = qobject_cast<QMenu*>(pWidget);
                  ASSERT_NE(pMenu, nullptr);
                  items = Items(pMenu);
                  pMenu->close();
              });
    const std::vector<std::pair<int, std::string>> expected = {
        {ID_MENU_OPEN, "開く(&O)"},
        {ID_MENU_CDPLAY, "CD演奏(&C)"},
        {ID_MENU_PLAY, "再生(&P)"},
        {ID_MENU_STOP, "停止(&S)"},
        {ID_MENU_PAUSE, "一時停止(&R)"},
        {ID_MENU_NEXT, "次のトラック(&N)"},
        {ID_MENU_PREV, "前のトラック(&B)"},
        {0, ""},
        {ID_MENU_SETTINGS, "設定"},
        {0, ""},
        {ID_MENU_HIDE, "非表示(&V)"},
        {0, ""},
        {ID_APP_EXIT, "終了(&X)"},
        {0, ""},
        {ID_MENU_SHUFFLE, "シャッフル(&H)"},
        {ID_MENU_STOPAFTER, "この曲の後で停止(&T)"},
        {ID_MENU_RESUME, "続きから再生(&L)"},
    };
    EXPECT_EQ(items, expected);
}

TEST_F(SorvaneViewWindow, TheHideItemIsCheckedOnlyWhileTheWindowIsHidden)
{
    for (bool bHidden : {false, true}) {
        m_frame->setVisible(!bHidden);
        bool bChecked = !bHidden;
        bool bCheckable = !bHidden;
        WithModal([&] { m_view->OnTrayActivated(QSystemTrayIcon::Context); },
                  [&](QWidget* pWidget) {
                      auto* pMenu = qobject_cast<QMenu*>(pWidget);
                      bChecked = FindItem(pMenu, ID_MENU_HIDE)->isChecked();
                      bCheckable = FindItem(pMenu, ID_MENU_HIDE)->isCheckable();
                      pMenu->close();
                  });
        EXPECT_EQ(bChecked, bHidden);
        // Catches an empty check box drawn while the window shows.
        EXPECT_EQ(bCheckable, bHidden);
    }
}

TEST_F(SorvaneViewWindow, ChoosingHideInTheTrayMenuTogglesTheWindow)
{
    ASSERT_TRUE(m_frame->isVisible());
    WithModal([&] { m_view->OnTrayActivated(QSystemTrayIcon::Context); },
              [&](QWidget* pWidget) { Choose(qobject_cast<QMenu*>(pWidget), ID_MENU_HIDE); });
    EXPECT_FALSE(m_frame->isVisible());
    WithModal([&] { m_view->OnTrayActivated(QSystemTrayIcon::Context); },
              [&](QWidget* pWidget) { Choose(qobject_cast<QMenu*>(pWidget), ID_MENU_HIDE); });
    EXPECT_TRUE(m_frame->isVisible());
}

TEST_F(SorvaneViewWindow, ATrayMenuTransportItemReachesTheDocument)
{
    const std::string file = Wav("a.wav");
    m_prompts.QueueFiles(std::vector<std::string>{file});
    WithModal([&] { m_view->OnTrayActivated(QSystemTrayIcon::Context); },
              [&](QWidget* pWidget) { Choose(qobject_cast<QMenu*>(pWidget), ID_MENU_OPEN); });
    EXPECT_EQ(Queue(), std::vector<std::string>{file});
    EXPECT_EQ(m_doc.GetTitle(), "a.wav");
}

// Catches the icon's activation not reaching the view, and a click or another button that
// hides the window.
TEST_F(SorvaneViewWindow, ADoubleClickOnTheTrayIconShowsTheHiddenWindow)
{
    QCoreApplication::sendPostedEvents(); // the icon is made from the event loop
    ASSERT_NE(m_view->GetTrayIcon(), nullptr);
    m_frame->hide();
    emit m_view->GetTrayIcon()->activated(QSystemTrayIcon::DoubleClick);
    QCoreApplication::sendPostedEvents();
    EXPECT_TRUE(m_frame->isVisible());
    m_view->OnTrayActivated(QSystemTrayIcon::Trigger);
    m_view->OnTrayActivated(QSystemTrayIcon::MiddleClick);
    EXPECT_TRUE(m_frame->isVisible());
}

TEST_F(SorvaneViewWindow, TheWindowMenuOffersSettingsPlaylistCdAndExit)
{
    std::vector<std::pair<int, std::string>> items;
    WithModal([&] { m_view->OnContextMenu(); },
              [&](QWidget* pWidget) {
                  auto* pMenu = qobject_cast<QMenu*>(pWidget);
                  items = Items(pMenu);
                  Choose(pMenu, ID_MENU_PLAYLIST);
              });
    const std::vector<std::pair<int, std::string>> expected = {
        {ID_MENU_SETTINGS, "設定(&C)"},
        {0, ""},
        {ID_MENU_PLAYLIST, "プレイリストを開く"},
        {0, ""},
        {ID_MENU_CDPLAY, "CD演奏"},
        {ID_MENU_EJECT, "CDの取り出し"},
        {ID_APP_EXIT, "終了(&X)"},
        {0, ""},
        {ID_MENU_SHUFFLE, "シャッフル(&H)"},
        {ID_MENU_STOPAFTER, "この曲の後で停止(&T)"},
        {ID_MENU_RESUME, "続きから再生(&L)"},
        {0, ""},
        {0, "リプレイゲイン"},
    };
    EXPECT_EQ(items, expected);
    EXPECT_TRUE(m_view->m_pPlaylistDlg->isVisible());
}

// Catches the tray's commands out of reach where no tray icon shows.
TEST_F(SorvaneViewWindow, WithoutATrayTheWindowMenuAlsoOffersTheTrayMenusCommands)
{
    const CWindowSystemForTest noTray(true, false);
    std::vector<int> ids;
    WithModal([&] { m_view->OnContextMenu(); },
              [&](QWidget* pWidget) {
                  auto* pMenu = qobject_cast<QMenu*>(pWidget);
                  for (const auto& [nID, text] : Items(pMenu))
                      ids.push_back(nID);
                  pMenu->close();
              });
    const std::vector<int> expected = {ID_MENU_SETTINGS,
                                       0,
                                       ID_MENU_PLAYLIST,
                                       0,
                                       ID_MENU_CDPLAY,
                                       ID_MENU_EJECT,
                                       ID_APP_EXIT,
                                       0,
                                       ID_MENU_SHUFFLE,
                                       ID_MENU_STOPAFTER,
                                       ID_MENU_RESUME,
                                       0,
                                       ID_MENU_OPEN,
                                       ID_MENU_PLAY,
                                       ID_MENU_STOP,
                                       ID_MENU_PAUSE,
                                       ID_MENU_NEXT,
                                       ID_MENU_PREV,
                                       0,
                                       0,
                                       ID_MENU_HIDE,
                                       0,
                                       0,
                                       0,
                                       0};
    EXPECT_EQ(ids, expected);
}

// Catches a window hidden where no tray icon can bring it back, and a window manager's
// minimise undone where the player minimised instead of hiding.
TEST_F(SorvaneViewWindow, WithoutATrayHideMinimisesAndTheWindowStaysMinimised)
{
    const CWindowSystemForTest noTray(true, false);
    m_frame->move(70, 80);
    m_view->RouteCmd(ID_MENU_HIDE);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_frame->isVisible());
    EXPECT_TRUE(m_frame->isMinimized());
    // A minimised window keeps the place it had.
    m_frame->move(0, 0);
    m_frame->StoreLaunchPos();
    EXPECT_EQ(m_settings.GetLaunchPos(), (CPoint{70, 80}));
    m_view->RouteCmd(ID_MENU_HIDE);
    EXPECT_FALSE(m_frame->isMinimized());
}

// Catches a loudness setting that the menu offers but neither stores nor shows as chosen: the
// submenu after the design's items checks the stored mode, preamp and untagged gain, and
// choosing one stores it.
TEST_F(SorvaneViewWindow, TheLoudnessSubmenuChecksTheStoredSettingsAndStoresTheChosenOnes)
{
    // The items of the loudness submenu and of its two submenus, and the checked ones.
    struct Shown
    {
        std::vector<std::pair<int, std::string>> modes, preamp, untagged;
        std::vector<int> checked;
    };
    const auto show = [&] {
        Shown shown;
        WithModal([&] { m_view->OnContextMenu(); },
                  [&](QWidget* pWidget) {
                      auto* pMenu = qobject_cast<QMenu*>(pWidget);
                      ASSERT_NE(pMenu, nullptr);
                      const QMenu* pModes = pMenu->actions().back()->menu();
                      ASSERT_NE(pModes, nullptr);
                      shown.modes = Items(pModes);
                      const QList<QAction*> actions = pModes->actions();
                      ASSERT_EQ(actions.size(), 8);
                      ASSERT_NE(actions[5]->menu(), nullptr);
                      ASSERT_NE(actions[7]->menu(), nullptr);
                      shown.preamp = Items(actions[5]->menu());
                      shown.untagged = Items(actions[7]->menu());
                      for (const QMenu* pSub :
                           {pModes, static_cast<const QMenu*>(actions[5]->menu()),
                            static_cast<const QMenu*>(actions[7]->menu())})
                          for (const QAction* pAction : pSub->actions())
                              if (pAction->isChecked())
                                  shown.checked.push_back(MenuItemId(pAction));
                      pMenu->close();
                  });
        return shown;
    };
    const Shown first = show();
    const std::vector<std::pair<int, std::string>> modes = {
        {ID_MENU_GAIN_OFF, "オフ"},
        {ID_MENU_GAIN_TRACK, "トラック"},
        {ID_MENU_GAIN_ALBUM, "アルバム"},
        {ID_MENU_GAIN_AUTO, "自動"},
        {0, ""},
        {0, "プリアンプ"},
        {0, ""},
        {0, "タグのないファイル"},
    };
    EXPECT_EQ(first.modes, modes);
    ASSERT_EQ(first.preamp.size(), 6u);
    EXPECT_EQ(first.preamp[0], (std::pair<int, std::string>{ID_MENU_PREAMP_FIRST, "-9 dB"}));
    EXPECT_EQ(first.untagged[5],
              (std::pair<int, std::string>{ID_MENU_UNTAGGED_FIRST + 5, "+6 dB"}));
    EXPECT_EQ(first.checked, (std::vector<int>{ID_MENU_GAIN_AUTO, ID_MENU_PREAMP_FIRST + 3,
                                               ID_MENU_UNTAGGED_FIRST + 3}))
        << "automatic, 0 dB and 0 dB by default";

    EXPECT_TRUE(m_view->RouteCmd(ID_MENU_GAIN_TRACK));
    EXPECT_TRUE(m_view->RouteCmd(ID_MENU_PREAMP_FIRST + 4));
    EXPECT_TRUE(m_view->RouteCmd(ID_MENU_UNTAGGED_FIRST));
    EXPECT_EQ(m_settings.Get(SK_REPLAYGAIN), 1);
    EXPECT_EQ(m_settings.Get(SK_REPLAYGAIN_PREAMP), 30);
    EXPECT_EQ(m_settings.Get(SK_REPLAYGAIN_UNTAGGED), -90);
    EXPECT_EQ(show().checked, (std::vector<int>{ID_MENU_GAIN_TRACK, ID_MENU_PREAMP_FIRST + 4,
                                                ID_MENU_UNTAGGED_FIRST}));
    m_settings.Set(SK_REPLAYGAIN_PREAMP, 15);
    EXPECT_EQ(show().checked, (std::vector<int>{ID_MENU_GAIN_TRACK, ID_MENU_UNTAGGED_FIRST}))
        << "a value between the steps checks none";
}

TEST_F(SorvaneViewWindow, HideHidesTheVisibleWindowAndShowsTheHiddenOneNormally)
{
    m_view->RouteCmd(ID_MENU_HIDE);
    EXPECT_FALSE(m_frame->isVisible());
    m_frame->showMinimized();
    m_frame->hide();
    m_view->RouteCmd(ID_MENU_HIDE);
    EXPECT_TRUE(m_frame->isVisible());
    EXPECT_FALSE(m_frame->isMinimized());
}

TEST_F(SorvaneViewWindow, ExitClosesTheMainWindowOnceTheCommandIsDone)
{
    int closes = 0;
    struct CCloseCounter : QObject
    {
        int& count;
        explicit CCloseCounter(int& n)
            : count(n)
        {}
        bool eventFilter(QObject*, QEvent* pEvent) override
        {
            count += pEvent->type() == QEvent::Close ? 1 : 0;
            return false;
        }
    } counter(closes);
    m_frame->installEventFilter(&counter);
    m_view->RouteCmd(ID_APP_EXIT);
    EXPECT_EQ(closes, 0);
    QCoreApplication::processEvents();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(m_frame->isVisible());
    m_frame->removeEventFilter(&counter);
}

TEST_F(SorvaneViewWindow, WithNothingOpenThePanelHasNoTip)
{
    TOOLTIPTEXTA ttt;
    ttt.idFrom = CSorvaneView::TOOL_ID_PANEL;
    EXPECT_EQ(m_view->OnToolTipNeedText(&ttt), 0);
}

TEST_F(SorvaneViewWindow, AFilesTipIsItsTitleAndLength)
{
    m_view->OnDropFiles({Wav("song.wav", 187)});
    TOOLTIPTEXTA ttt;
    ttt.idFrom = CSorvaneView::TOOL_ID_PANEL;
    ASSERT_EQ(m_view->OnToolTipNeedText(&ttt), 1);
    EXPECT_STREQ(ttt.szText, "song.wav   3 :  7");

    TOOLTIPTEXTA none;
    EXPECT_EQ(m_view->OnToolTipNeedText(&none), 0);
    TOOLTIPTEXTA byWindow;
    byWindow.uFlags = TTF_IDISHWND;
    byWindow.pFromWindow = &m_view->GetButton(4);
    EXPECT_EQ(m_view->OnToolTipNeedText(&byWindow), 1);
    byWindow.pFromWindow = m_frame.get();
    EXPECT_EQ(m_view->OnToolTipNeedText(&byWindow), 0);
}

TEST_F(SorvaneViewWindow, ACdTipShowsTheTrackAndItsLength)
{
    InsertDisc(3);
    ASSERT_TRUE(m_view->RouteCmd(IDC_BTN_CDPLAY));
    TOOLTIPTEXTA ttt;
    ttt.idFrom = CSorvaneView::TOOL_ID_PANEL;
    ASSERT_EQ(m_view->OnToolTipNeedText(&ttt), 1);
    EXPECT_STREQ(ttt.szText, "Audio CD < 1>  0: 1");
}

TEST_F(SorvaneViewWindow, ALongTipIsCutTo79BytesWithoutSplittingACharacter)
{
    std::string name;
    for (int i = 0; i < 30; ++i)
        name += "曲";
    m_view->OnDropFiles({Wav(name + ".wav")});
    TOOLTIPTEXTA ttt;
    ttt.idFrom = CSorvaneView::TOOL_ID_PANEL;
    ASSERT_EQ(m_view->OnToolTipNeedText(&ttt), 1);
    const std::string tip = ttt.szText;
    EXPECT_EQ(tip.size(), 78u);
    EXPECT_EQ(tip, name.substr(0, 78));
    EXPECT_TRUE(QString::fromUtf8(ttt.szText).toUtf8().toStdString() == tip);
}

TEST_F(SorvaneViewWindow, AToolTipRequestOverThePanelShowsTheTip)
{
    m_view->OnDropFiles({Wav("a.wav")});
    const QPoint inside(2 + 30, 2 + 5);
    QHelpEvent help(QEvent::ToolTip, inside, m_view->mapToGlobal(inside));
    QCoreApplication::sendEvent(m_view, &help);
    EXPECT_TRUE(help.isAccepted());
    EXPECT_TRUE(QToolTip::isVisible());
    EXPECT_EQ(QToolTip::text().toStdString(), "a.wav   0 :  2");
    QToolTip::hideText();

    const QPoint outside(2 + 10, 2 + 90);
    QHelpEvent away(QEvent::ToolTip, outside, m_view->mapToGlobal(outside));
    QCoreApplication::sendEvent(m_view, &away);
    EXPECT_FALSE(away.isAccepted()) << "no tip below the panel";
}

TEST_F(SorvaneViewWindow, EachTimerTickMovesTheTitleAndRepaintsThePanel)
{
    m_view->OnDropFiles({Wav("a-rather-long-title.wav", 10)});
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    const QImage first = m_view->GetClientImage().copy(0, 0, 62, 21);
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    EXPECT_EQ(m_view->GetPanel().GetMarquee().GetTicks(), 2);
    EXPECT_NE(m_view->GetClientImage().copy(0, 0, 62, 21), first);
    EXPECT_EQ(CountColor(m_view->GetClientImage(), 0, 0, 12, 10, CDisplayPanel::MARKER_COLOR) > 0,
              true);
}

// Counts the paint events a widget receives.
class CPaintCounter : public QObject
{
public:
    int m_nPaints = 0;

protected:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint)
            ++m_nPaints;
        return false;
    }
};

// Catches an idle player that makes the window system draw the same panel every tick.
TEST_F(SorvaneViewWindow, ATickRepaintsOnlyWhenThePanelsPictureChanged)
{
    m_frame->show();
    QCoreApplication::processEvents();
    CPaintCounter counter;
    m_view->installEventFilter(&counter);
    for (int tick = 0; tick < 3; ++tick) {
        m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
        QCoreApplication::processEvents();
    }
    EXPECT_EQ(counter.m_nPaints, 0) << "nothing open: nothing changes";

    m_view->OnDropFiles({Wav("a-rather-long-title.wav", 10)});
    QCoreApplication::processEvents();
    counter.m_nPaints = 0;
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    QCoreApplication::processEvents();
    EXPECT_GT(counter.m_nPaints, 0) << "the title moved";
    m_view->removeEventFilter(&counter);
}

TEST_F(SorvaneViewWindow, TheTimerShowsTheElapsedTime)
{
    m_view->OnDropFiles({Wav("a.wav", 10)});
    PlayFrames(3 * 8000);
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    QImage expected = FilledImage(62, 21, CPlayerSettings::kDefaultLed);
    {
        CDC dc(&expected);
        CDisplayPanel panel;
        panel.SetLayout(0, dc.GetDeviceCaps(LOGPIXELSY));
        panel.Compose(&dc, 0, 0, PanelTime{DEVICE_WAVE, 0, 0, 3});
    }
    EXPECT_EQ(m_view->GetClientImage().copy(0, 11, 52, 10), expected.copy(0, 11, 52, 10));
}

TEST_F(SorvaneViewWindow, TheViewsEdgeIsPaintedInTheButtonColour)
{
    m_settings.Set(SK_BUTTON_COLOR, 0x3366CC);
    MakeView();
    const QImage window = m_view->grab().toImage();
    ASSERT_EQ(window.size(), QSize(62, 98));
    for (const QPoint& p : {QPoint(0, 0), QPoint(1, 1), QPoint(61, 50), QPoint(60, 97)})
        EXPECT_EQ(PixelAt(window, p.x(), p.y()), 0x3366CCu) << p.x() << "," << p.y();
    EXPECT_EQ(PixelAt(window, 5, 2), CPlayerSettings::kDefaultLed);
    EXPECT_EQ(PixelAt(window, 30, 90), CSorvaneView::kBackground);
}

// Runs the settings command and ends the settings dialog with OK or Cancel.
void RunSettings(CSorvaneView* pView, bool bOk)
{
    SorvaneViewTest::WithModal([&] { pView->RouteCmd(ID_MENU_SETTINGS); },
                               [&](QWidget* pWidget) {
                                   auto* pDialog = dynamic_cast<CSettingsDlg*>(pWidget);
                                   ASSERT_NE(pDialog, nullptr);
                                   auto* pButton = qobject_cast<QAbstractButton*>(
                                       pDialog->GetDlgItem(bOk ? IDOK : IDCANCEL));
                                   ASSERT_NE(pButton, nullptr);
                                   pButton->click();
                               });
}

TEST_F(SorvaneViewWindow, SettingsClosedWithOkApplyToTheWholeWindowAtOnce)
{
    m_settings.Set(SK_LAYOUT, LAYOUT_VERTICAL);
    m_settings.Set(SK_BUTTON_COLOR, 0x204060);
    m_settings.Set(SK_TOPMOST, 1);
    RunSettings(m_view, true);
    EXPECT_EQ(m_view->GetLayout(), LAYOUT_VERTICAL);
    EXPECT_EQ(m_frame->size(), QSize(40, 187));
    EXPECT_TRUE(m_frame->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        const CRect& rc = ButtonRect(LAYOUT_VERTICAL, i);
        EXPECT_EQ(m_view->GetButton(i).geometry(), QRect(rc.left + 2, rc.top + 2, 18, 18));
        EXPECT_EQ(m_view->GetButton(i).GetFaceColor(), 0x204060u);
    }
    EXPECT_EQ(m_view->GetPanel().GetFont().GetEscapement(), -900);
    EXPECT_EQ(m_view->GetPanel().GetBitmap().GetSize(), (CSize{13, 180}));
    EXPECT_EQ(m_view->GetPanelToolRect(), CRect(19, 0, 32, 180));
    EXPECT_EQ(m_view->size(), QSize(38, 185));
}

TEST_F(SorvaneViewWindow, SettingsClosedWithCancelChangeNothing)
{
    m_settings.Set(SK_LAYOUT, LAYOUT_HORIZONTAL);
    m_settings.Set(SK_BUTTON_COLOR, 0x204060);
    RunSettings(m_view, false);
    EXPECT_EQ(m_view->GetLayout(), LAYOUT_GRID);
    EXPECT_EQ(m_frame->size(), QSize(64, 100));
    EXPECT_EQ(m_view->GetButton(0).GetFaceColor(), CPlayerSettings::kDefaultButton);
    EXPECT_EQ(m_view->GetPanelToolRect(), CRect(0, 0, 62, 21));
}

TEST_F(SorvaneViewWindow, AfterALayoutChangeTheTitleRunsInTheNewLayout)
{
    m_view->OnDropFiles({Wav("a.wav")});
    m_settings.Set(SK_LAYOUT, LAYOUT_HORIZONTAL);
    RunSettings(m_view, true);
    m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
    EXPECT_EQ(m_view->GetPanel().GetMarquee().GetTicks(), 1);
    EXPECT_EQ(m_view->GetClientImage().size(), QSize(166, 47));
}

// Pictures of the running view in each layout, playing a file, for a person to look at;
// each is the layout's frame size inside the border of the halved button colour.
TEST_F(SorvaneViewWindow, PicturesOfThePlayerWindowHaveTheLayoutsSizeAndBorder)
{
    for (int layout : {0, 1, 2}) {
        m_settings.Set(SK_LAYOUT, layout);
        MakeView();
        m_view->OnDropFiles({Wav("サンプル sample.wav", 20)});
        PlayFrames(5 * 8000);
        for (int tick = 0; tick < 3; ++tick)
            m_view->OnTimer(CSorvaneView::PANEL_TIMER_ID);
        const QImage picture = m_frame->grab().toImage();
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), QSize(kFrameSizes[layout].cx, kFrameSizes[layout].cy));
        EXPECT_EQ(picture.pixelColor(0, 0), QColor(90, 100, 127));
        EXPECT_EQ(picture.pixelColor(picture.width() - 1, picture.height() - 1),
                  QColor(90, 100, 127));
        const std::string dir = PictureDir();
        QDir().mkpath(QString::fromStdString(dir));
        const QString name =
            QString::fromStdString(dir) + "/player-view-layout-" + QString::number(layout);
        EXPECT_TRUE(picture.save(name + ".png"));
        EXPECT_TRUE(picture.scaled(picture.size() * 4).save(name + "-x4.png"));
    }
}

} // namespace

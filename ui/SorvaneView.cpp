#include "ui/SorvaneView.h"

#include "base/MbString.h"
#include "base/Prompts.h"
#include "base/QtText.h"
#include "base/StrFormat.h"
#include "dialogs/PlaylistDlg.h"
#include "dialogs/SettingsDlg.h"
#include "dialogs/WindowSystem.h"
#include "draw/Resources.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "res/Menus.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "settings/PlayerSettings.h"
#include "ui/GlyphPainters.h"
#include "ui/Layout.h"
#include "ui/MainFrame.h"
#include "ui/UiResources.h"
#include "ui/ViewMenus.h"

#include <QContextMenuEvent>
#include <QCursor>
#include <QDropEvent>
#include <QHelpEvent>
#include <QMenu>
#include <QMimeData>
#include <QPainter>
#include <QPointer>
#include <QTimerEvent>
#include <QToolTip>
#include <QUrl>
#include <QWindow>

#include <algorithm>
#include <climits>
#include <cstring>
#include <new>

const int CSorvaneView::kTipButtons[BUTTON_COUNT] = {0, 1, 2, 4, 5, 3, 6, 7, 8};
const int CSorvaneView::kTipStrings[BUTTON_COUNT] = {
    IDS_TIP_OPEN, IDS_TIP_PLAY,     IDS_TIP_STOP,   IDS_TIP_PAUSE, IDS_TIP_NEXT,
    IDS_TIP_PREV, IDS_TIP_PLAYLIST, IDS_TIP_CDPLAY, IDS_TIP_EJECT,
};

namespace {

const CommandEntry<CSorvaneView> kCommandTable[] = {
    {ID_MENU_SETTINGS, &CSorvaneView::OnSettings},
    {ID_MENU_HIDE, &CSorvaneView::OnToggleShow},
    {ID_MENU_SHUFFLE, &CSorvaneView::OnToggleShuffle},
    {ID_MENU_RESUME, &CSorvaneView::OnToggleResume},
    {ID_APP_EXIT, &CSorvaneView::OnExit},
};

// Whether area of image holds the pixels of before (a copy of that area), compared in place.
// What lies outside the image is the same in every copy.
bool SameArea(const QImage& image, const QRect& area, const QImage& before)
{
    if (before.size() != area.size() || before.format() != image.format())
        return false;
    const QRect inside = area.intersected(image.rect());
    const auto pixelBytes = static_cast<std::size_t>(image.depth() / 8);
    const auto rowBytes = static_cast<std::size_t>(inside.width()) * pixelBytes;
    const auto skip = static_cast<std::size_t>(inside.left()) * pixelBytes;
    const auto skipBefore = static_cast<std::size_t>(inside.left() - area.left()) * pixelBytes;
    for (int y = inside.top(); y <= inside.bottom(); ++y)
        if (std::memcmp(image.constScanLine(y) + skip,
                        before.constScanLine(y - area.top()) + skipBefore, rowBytes) != 0)
            return false;
    return true;
}

// The buttons a play state enables: previous and next with any medium open, play only when
// it stands stopped, stop and pause only when it does not.
constexpr int kPlayButton = IDC_BTN_PLAY - IDC_BTN_OPEN;
constexpr int kStopButton = IDC_BTN_STOP - IDC_BTN_OPEN;
constexpr int kPrevButton = IDC_BTN_PREV - IDC_BTN_OPEN;
constexpr int kPauseButton = IDC_BTN_PAUSE - IDC_BTN_OPEN;
constexpr int kNextButton = IDC_BTN_NEXT - IDC_BTN_OPEN;

// Cuts text to at most nMax bytes without splitting a multibyte character.
std::string CutToBytes(const std::string& text, std::size_t nMax)
{
    const CodePage cp = ActiveCodePage();
    std::size_t end = 0;
    while (end < text.size()) {
        const std::size_t next = end + MbCharLength(text, end, cp);
        if (next > nMax)
            break;
        end = next;
    }
    return text.substr(0, end);
}

// The loudness settings as the document takes them (the settings file keeps tenths of a dB).
ReplayGainSettings GainSettingsOf(const CPlayerSettings& settings)
{
    ReplayGainSettings gain;
    gain.mode = static_cast<ReplayGainMode>(settings.Get(SK_REPLAYGAIN));
    gain.dPreampDb = settings.Get(SK_REPLAYGAIN_PREAMP) / 10.0;
    gain.dUntaggedDb = settings.Get(SK_REPLAYGAIN_UNTAGGED) / 10.0;
    return gain;
}

UINT MouseFlags(const QMouseEvent* pEvent)
{
    return pEvent->buttons().testFlag(Qt::LeftButton) ? MK_LBUTTON : 0;
}

} // namespace

CSorvaneView::CSorvaneView(CSorvaneDoc* pDoc, CPlayerSettings& settings)
    : m_pDocument(pDoc)
    , m_settings(settings)
    , m_msgWindow([this](UINT message, WPARAM wParam, LPARAM lParam) {
        OnMessage(message, wParam, lParam);
    })
{
    EnsureUiResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
    // The view holds the keyboard focus, so that no button is pressed by a key.
    setFocusPolicy(Qt::StrongFocus);
    if (m_pDocument != nullptr)
        m_pDocument->AddView(this);
}

CSorvaneView::~CSorvaneView()
{
    OnDestroy();
    if (m_pDocument != nullptr)
        m_pDocument->RemoveView(this);
}

int CSorvaneView::Create(QWidget* pParent)
{
    if (m_bCreated)
        return -1;
    if (pParent != nullptr)
        setParent(pParent);
    return OnCreate();
}

int CSorvaneView::OnCreate()
{
    if (m_pDocument == nullptr)
        return -1;
    m_bCreated = true;
    ApplySettings();

    for (int i = 0; i < BUTTON_COUNT; ++i) {
        const int nID = IDC_BTN_OPEN + i;
        CRect rc = ButtonRect(m_nLayout, i);
        rc.OffsetRect(CLIENT_EDGE, CLIENT_EDGE);
        m_buttons[i].Create(kButtonText, WS_VISIBLE | BS_OWNERDRAW, rc, this, nID);
        connect(&m_buttons[i], &QAbstractButton::clicked, this, [this, nID] { RouteCmd(nID); });
    }
    for (int i = 0; i < BUTTON_COUNT; ++i)
        m_buttons[i].SetGlyphPainter(kGlyphPainters[i]);
    for (CTransportButton& button : m_buttons) {
        button.SetFaceColor(m_crButton);
        button.Invalidate();
    }

    // The panel's font (rotated in the vertical layout) and its off-screen bitmap.
    m_panel.SetLayout(m_nLayout, CDC().GetDeviceCaps(LOGPIXELSY));

    // The tray icon takes milliseconds of talk with the desktop: it is made once the window
    // is on its way to the screen, from the event loop.
    QMetaObject::invokeMethod(this, &CSorvaneView::ShowTrayIcon, Qt::QueuedConnection);

    m_rcPanelTool = PanelRect();
    for (int i = 0; i < BUTTON_COUNT; ++i)
        m_buttons[kTipButtons[i]].setToolTip(TrText(LoadString(kTipStrings[i]).c_str()));

    m_pDocument->SetPlaylistHost(this);
    m_pDocument->SetRepeatQuery([this] { return m_settings.Get(SK_REPEAT) != 0; });
    m_pDocument->SetShuffleQuery([this] { return m_settings.Get(SK_SHUFFLE) != 0; });
    m_pDocument->SetReplayGainQuery([this] { return GainSettingsOf(m_settings); });

    m_nTimerId = startTimer(PANEL_TIMER_MS);
    return 0;
}

void CSorvaneView::ShowTrayIcon()
{
    if (!m_bCreated || m_pTrayIcon != nullptr)
        return;
    m_pTrayIcon = std::make_unique<QSystemTrayIcon>(LoadIconResource(IDI_TRAY));
    m_pTrayIcon->setToolTip(ToQString(kAppTitle));
    // Queued, so that a menu chosen from the tray that ends the view never deletes the icon
    // while it emits.
    connect(m_pTrayIcon.get(), &QSystemTrayIcon::activated, this, &CSorvaneView::OnTrayActivated,
            Qt::QueuedConnection);
    // Shown also without a notification area: Qt then puts it in one that starts later.
    m_pTrayIcon->show();
}

void CSorvaneView::OnDestroy()
{
    if (!m_bCreated)
        return;
    m_bCreated = false;
    m_pDocument->SetRepeatQuery({});
    m_pDocument->SetShuffleQuery({});
    m_pDocument->SetReplayGainQuery({});
    if (m_nTimerId != 0) {
        killTimer(m_nTimerId);
        m_nTimerId = 0;
    }
    if (m_pTrayIcon != nullptr) {
        m_pTrayIcon->hide();
        m_pTrayIcon.reset();
    }
    m_pDocument->SetPlaylistHost(nullptr);
    delete m_pPlaylistDlg;
    m_pPlaylistDlg = nullptr;
}

CPlaylistDlg* CSorvaneView::Playlist()
{
    if (m_pPlaylistDlg == nullptr && m_bCreated) {
        m_pPlaylistDlg = new (std::nothrow) CPlaylistDlg(m_pDocument, this);
        if (m_pPlaylistDlg != nullptr) {
            m_pPlaylistDlg->hide();
            m_pPlaylistDlg->RefreshList();
            m_pPlaylistDlg->SelectLine(m_pDocument->GetQueue().GetCurrent());
        }
    }
    return m_pPlaylistDlg;
}

void CSorvaneView::OnInitialUpdate()
{
    setFocus(Qt::OtherFocusReason);
    OnUpdate(nullptr, HINT_STATE_CHANGED);
    m_pDocument->SetNotifyWindow(GetSafeHwnd());
}

int CSorvaneView::ApplySettings()
{
    const auto crLed = static_cast<COLORREF>(m_settings.Get(SK_LED_COLOR));
    const auto crText = static_cast<COLORREF>(m_settings.Get(SK_TEXT_COLOR));
    m_panel.SetColors(crText, crLed);
    m_nLayout = m_settings.Get(SK_LAYOUT);
    m_crButton = static_cast<COLORREF>(m_settings.Get(SK_BUTTON_COLOR)) & 0xFFFFFF;
    m_nLayout = ClampLayout(m_nLayout);
    return 1;
}

void CSorvaneView::OnUpdate(CView*, int nHint)
{
    const std::string status = m_pDocument->GetStatusText();
    if (!status.empty()) {
        // The flag holds off the tick while the title changes; a drag seek in progress
        // holds it too and must survive a track change that arrives meanwhile.
        const int bWasBusy = m_bPanelBusy;
        m_bPanelBusy = 1;
        m_panel.RefreshTitle(status);
        m_bPanelBusy = bWasBusy;
    }

    if (nHint != 0 && m_pPlaylistDlg != nullptr)
        m_pPlaylistDlg->RefreshList();

    if (const PlaybackSnapshot snap = m_pDocument->GetPlayback(); snap.bOpen) {
        EnableButton(kPrevButton, true);
        EnableButton(kNextButton, true);
        EnableButton(kPlayButton, snap.bCanPlay);
        EnableButton(kStopButton, !snap.bStandsStill);
        EnableButton(kPauseButton, !snap.bStandsStill);
    } else {
        for (int i : {kPlayButton, kStopButton, kPrevButton, kPauseButton, kNextButton})
            EnableButton(i, false);
    }

    if (m_pPlaylistDlg != nullptr)
        m_pPlaylistDlg->SelectLine(m_pDocument->GetQueue().GetCurrent());

    if (nHint == HINT_QUEUE_CHANGED) {
        m_bRedraw = true;
        update();
        for (CTransportButton& button : m_buttons)
            button.Invalidate();
    }
}

void CSorvaneView::EnableButton(int nIndex, bool bEnable)
{
    CTransportButton& button = m_buttons[nIndex];
    // A greyed button keeps no focus, and Qt would hand it to a neighbour, where Space
    // would press that one: the view takes it back first.
    if (!bEnable && button.hasFocus())
        setFocus(Qt::OtherFocusReason);
    button.setEnabled(bEnable);
}

PanelTime CSorvaneView::PanelTimeOf(const PlaybackSnapshot& snap)
{
    PanelTime time;
    time.nKind = snap.nKind;
    time.nTrack = snap.nTrack;
    time.nMinutes = snap.nMinutes;
    time.nSeconds = snap.nSeconds;
    return time;
}

void CSorvaneView::OnDraw(CDC* pDC)
{
    const PlaybackSnapshot snap = m_pDocument->GetPlayback();
    m_panel.Compose(pDC, 0, snap.bOpen ? 1 : 0, PanelTimeOf(snap));
}

void CSorvaneView::TellDeviceNews(const char* news)
{
    const QString text = TrText(news);
    // The notification area's message where there is one, else a tip over the panel.
    if (m_pTrayIcon != nullptr && m_pTrayIcon->isVisible() && QSystemTrayIcon::supportsMessages()) {
        m_pTrayIcon->showMessage(ToQString(kAppTitle), text, QSystemTrayIcon::Information);
        return;
    }
    const CRect rc = PanelRect();
    QToolTip::showText(mapToGlobal(QPoint(rc.left, rc.bottom)), text, this);
}

void CSorvaneView::OnTimer(UINT)
{
    const PlaybackSnapshot snap = m_pDocument->GetPlayback();
    if (const char* news = m_pDocument->TakeDeviceNews(snap); news != nullptr)
        TellDeviceNews(news);
    if (m_bPanelBusy != 0 || m_client.isNull())
        return;
    const PanelTime time = PanelTimeOf(snap);
    // With nothing open no title moves: the same time composes the same picture again.
    if (!snap.bOpen && m_bIdlePanelShown && time.nKind == m_idleTime.nKind &&
        time.nTrack == m_idleTime.nTrack && time.nMinutes == m_idleTime.nMinutes &&
        time.nSeconds == m_idleTime.nSeconds)
        return;
    const CRect rc = PanelRect();
    const QRect area(rc.left, rc.top, rc.Width(), rc.Height());
    const QImage before = m_client.copy(area);
    {
        CDC clientDC(&m_client);
        m_panel.Compose(&clientDC, 1, snap.bOpen ? 1 : 0, time);
    }
    m_bIdlePanelShown = !snap.bOpen;
    m_idleTime = time;
    // The tick runs on with nothing open, but the window system draws only a new picture.
    if (!SameArea(m_client, area, before))
        InvalidateClientRect(rc);
}

CRect CSorvaneView::PanelRect() const
{
    CRect rc = kPanelRects[m_nLayout].rcDisplay;
    rc.OffsetRect(PanelOffsetX(m_nLayout), 0);
    return rc;
}

int CSorvaneView::DragPercent(int x) const
{
    const long long percent =
        static_cast<long long>(m_nDragStartPercent) + (static_cast<long long>(x) - m_nDragStartX);
    return static_cast<int>(std::clamp(percent, 0LL, 100LL));
}

void CSorvaneView::OnLButtonDown(UINT, CPoint point)
{
    const PlaybackSnapshot snap = m_pDocument->GetPlayback();
    if (!snap.bOpen || !PanelRect().PtInRect(point))
        return;
    m_bPanelBusy = 1;
    const int length = snap.nLengthSeconds != 0 ? snap.nLengthSeconds : 1;
    const double elapsed = static_cast<double>(snap.nMinutes) * 60.0 + snap.nSeconds;
    const double percent = elapsed / length * 100.0;
    m_nDragStartX = point.x;
    m_nDragStartPercent = static_cast<int>(std::clamp(percent, double{INT_MIN}, double{INT_MAX}));
}

void CSorvaneView::OnMouseMove(UINT nFlags, CPoint point)
{
    if ((nFlags & MK_LBUTTON) == 0 || m_bPanelBusy == 0)
        return;
    if (m_pDocument->IsOpen() == 0)
        return;
    DrawSeekText(DragPercent(point.x));
}

void CSorvaneView::DrawSeekText(int nPercent)
{
    if (m_client.isNull())
        return;
    const PlaybackSnapshot snap = m_pDocument->GetPlayback();
    m_bIdlePanelShown = false;
    {
        CDC clientDC(&m_client);
        m_panel.DrawSeekText(&clientDC, nPercent, snap.nKind, snap.nTrack, snap.nLengthSeconds);
    }
    InvalidateClientRect(PanelRect());
}

void CSorvaneView::OnLButtonUp(UINT, CPoint point)
{
    if (m_bPanelBusy == 0)
        return;
    m_bPanelBusy = 0;
    m_pDocument->SeekAndPlay(DragPercent(point.x));
}

void CSorvaneView::OnTrayActivated(QSystemTrayIcon::ActivationReason reason)
{
    QWidget* pMain = MainWindow();
    switch (reason) {
    case QSystemTrayIcon::Trigger:
        pMain->raise();
        pMain->activateWindow();
        break;
    case QSystemTrayIcon::DoubleClick:
        if (!pMain->isVisible())
            pMain->show();
        break;
    case QSystemTrayIcon::Context: {
        std::unique_ptr<QMenu> menu = LoadPopupMenu(IDR_MENU_TRAY);
        CheckMenuItem(menu.get(), ID_MENU_HIDE, !isVisible());
        CheckPlayerItems(menu.get());
        TrackPopupMenu(menu.get());
        break;
    }
    default:
        break;
    }
}

void CSorvaneView::OnContextMenu()
{
    std::unique_ptr<QMenu> menu = LoadPopupMenu(IDR_MENU_POPUP);
    // Without a notification area the tray menu's commands are reached here instead.
    if (!HasSystemTray())
        AppendPopupMenu(menu.get(), IDR_MENU_TRAY);
    CheckPlayerItems(menu.get());
    // The loudness modes come after the window menu's own items, which stay as they are; the
    // preamp and the untagged gain under them, the stored step checked (none for a value
    // between the steps, set in the settings file).
    QMenu* pGain = AppendPopupSubmenu(menu.get(), kGainMenuTitle, IDR_MENU_GAIN,
                                      ID_MENU_GAIN_OFF + m_settings.Get(SK_REPLAYGAIN));
    const auto stepItem = [](int nFirst, int nTenths) {
        const auto* step =
            std::find(std::begin(kGainStepTenths), std::end(kGainStepTenths), nTenths);
        return step != std::end(kGainStepTenths)
                   ? nFirst + static_cast<int>(step - std::begin(kGainStepTenths))
                   : 0;
    };
    AppendPopupSubmenu(pGain, kPreampMenuTitle, IDR_MENU_PREAMP,
                       stepItem(ID_MENU_PREAMP_FIRST, m_settings.Get(SK_REPLAYGAIN_PREAMP)));
    AppendPopupSubmenu(pGain, kUntaggedMenuTitle, IDR_MENU_UNTAGGED,
                       stepItem(ID_MENU_UNTAGGED_FIRST, m_settings.Get(SK_REPLAYGAIN_UNTAGGED)));
    TrackPopupMenu(menu.get());
}

void CSorvaneView::CheckPlayerItems(QMenu* pMenu) const
{
    CheckMenuItem(pMenu, ID_MENU_SHUFFLE, m_settings.Get(SK_SHUFFLE) != 0);
    CheckMenuItem(pMenu, ID_MENU_STOPAFTER, m_pDocument->StopsAfterCurrent());
    CheckMenuItem(pMenu, ID_MENU_RESUME, m_settings.Get(SK_RESUME) != 0);
}

void CSorvaneView::OnToggleShuffle()
{
    m_settings.Set(SK_SHUFFLE, m_settings.Get(SK_SHUFFLE) != 0 ? 0 : 1);
    m_pDocument->ShuffleSettingChanged();
}

void CSorvaneView::OnToggleResume()
{
    m_settings.Set(SK_RESUME, m_settings.Get(SK_RESUME) != 0 ? 0 : 1);
}

void CSorvaneView::TrackPopupMenu(QMenu* pMenu)
{
    if (pMenu == nullptr)
        return;
    QPointer<CSorvaneView> self(this);
    const int nID = MenuItemId(pMenu->exec(QCursor::pos()));
    if (self != nullptr && nID != 0)
        RouteCmd(nID);
}

void CSorvaneView::OnToggleShow()
{
    QWidget* pMain = MainWindow();
    if (isVisible() && !pMain->isMinimized())
        if (auto* pFrame = dynamic_cast<CMainFrame*>(pMain))
            pFrame->Conceal();
        else
            pMain->hide();
    else
        pMain->showNormal();
}

void CSorvaneView::OnExit()
{
    QWidget* pMain = MainWindow();
    QMetaObject::invokeMethod(
        pMain, [pMain] { pMain->close(); }, Qt::QueuedConnection);
}

void CSorvaneView::OnDropFiles(const std::vector<std::string>& files)
{
    const int bWasBusy = m_bPanelBusy;
    m_bPanelBusy = 1;
    m_pDocument->DropFiles(files);
    m_bPanelBusy = bWasBusy;
}

LPARAM CSorvaneView::OnMciNotify(WPARAM wParam, LPARAM lParam)
{
    // What plays next, and whether the notice is stale, is the document's to decide.
    m_pDocument->OnEndNotice(wParam, lParam);
    return 0;
}

LPARAM CSorvaneView::OnPlayPos(WPARAM wParam, LPARAM lParam)
{
    m_pDocument->OnTrackNotice(wParam, lParam);
    return 0;
}

void CSorvaneView::PlaceButtons()
{
    for (int i = 0; i < BUTTON_COUNT; ++i) {
        const CRect& rc = ButtonRect(m_nLayout, i);
        m_buttons[i].setGeometry(rc.left + CLIENT_EDGE, rc.top + CLIENT_EDGE, rc.Width(),
                                 rc.Height());
        m_buttons[i].SetFaceColor(m_crButton);
        m_buttons[i].Invalidate();
    }
}

void CSorvaneView::OnSettings()
{
    {
        CSettingsDlg dialog(m_settings, this);
        if (dialog.DoModal() != IDOK)
            return;
    }
    ApplySettings();
    PlaceButtons();
    auto* pFrame = dynamic_cast<CMainFrame*>(MainWindow());
    if (pFrame != nullptr)
        pFrame->SetTopmost(m_settings.Get(SK_TOPMOST) != 0);
    m_panel.SetLayout(m_nLayout, CDC().GetDeviceCaps(LOGPIXELSY));
    if (pFrame != nullptr)
        pFrame->ResizeToLayout(m_nLayout);
    m_rcPanelTool = PanelRect();
    m_pDocument->RepeatSettingChanged();
    m_pDocument->UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneView::OnGainSetting(int nKey, int nValue)
{
    m_settings.Set(nKey, nValue);
    m_pDocument->ReplayGainSettingChanged();
}

void CSorvaneView::OnNcPaint(CDC* pWindowDC)
{
    if (pWindowDC == nullptr)
        return;
    CPen pen(PS_SOLID, EDGE_PEN_WIDTH, m_crButton);
    const int w = width();
    const int h = height();
    const CPoint outline[] = {{0, 0}, {w, 0}, {w, h}, {0, h}, {0, 0}};
    const CPen* pOldPen = pWindowDC->SelectObject(&pen);
    pWindowDC->Polyline(outline, 5);
    if (pOldPen != nullptr)
        pWindowDC->SelectObject(pOldPen);
    pen.DeleteObject();
}

int CSorvaneView::OnToolTipNeedText(TOOLTIPTEXTA* pTTT)
{
    if (pTTT == nullptr)
        return 0;
    std::uintptr_t tool = pTTT->idFrom;
    if ((pTTT->uFlags & TTF_IDISHWND) != 0) {
        const auto* pButton = dynamic_cast<const CTransportButton*>(pTTT->pFromWindow);
        tool = pButton != nullptr ? static_cast<std::uintptr_t>(pButton->GetDlgCtrlID()) : 0;
    }
    if (tool == 0)
        return 0;
    const std::string title = m_pDocument->GetTitle();
    if (title.empty())
        return 0;
    std::string text;
    if (m_pDocument->GetKind() == DEVICE_CDAUDIO) {
        PlayPosition pos{};
        m_pDocument->GetPosition(&pos);
        const int length = m_pDocument->GetLengthSeconds(pos.nTrack);
        text = StrFormat("%s <%2d> %2d:%2d", title.c_str(), pos.nTrack, length / 60, length % 60);
    } else {
        const int length = m_pDocument->GetLengthSeconds(1);
        text = StrFormat("%s  %2d : %2d", title.c_str(), length / 60, length % 60);
    }
    text = CutToBytes(text, kMaxTipLength);
    std::memcpy(pTTT->szText, text.c_str(), text.size() + 1);
    return 1;
}

bool CSorvaneView::OnCmdMsg(int nId)
{
    if (nId >= ID_MENU_GAIN_OFF && nId <= ID_MENU_GAIN_AUTO) {
        OnGainSetting(SK_REPLAYGAIN, nId - ID_MENU_GAIN_OFF);
        return true;
    }
    for (const auto& [nFirst, nKey] : {std::pair{ID_MENU_PREAMP_FIRST, SK_REPLAYGAIN_PREAMP},
                                       std::pair{ID_MENU_UNTAGGED_FIRST, SK_REPLAYGAIN_UNTAGGED}}) {
        if (nId >= nFirst && nId < nFirst + kGainStepCount) {
            OnGainSetting(nKey, kGainStepTenths[nId - nFirst]);
            return true;
        }
    }
    return DispatchCommand(*this, kCommandTable, nId);
}

bool CSorvaneView::RouteCmd(int nId)
{
    return RouteCommand(nId, {this, m_pDocument, m_pAppTarget});
}

void CSorvaneView::DragAcceptFiles(bool bAccept)
{
    setAcceptDrops(bAccept);
}

bool CSorvaneView::IsPlaylistVisible() const
{
    return m_pPlaylistDlg != nullptr && m_pPlaylistDlg->isVisible();
}

void CSorvaneView::HidePlaylist()
{
    if (m_pPlaylistDlg != nullptr)
        m_pPlaylistDlg->hide();
}

void CSorvaneView::GetPlayerRect(int& nLeft, int& nTop, int& nRight) const
{
    // Under a reparenting window manager Qt's record of a moved window can be stale; the
    // frame asks the window system where it is now.
    QWidget* pMain = MainWindow();
    const QRect rc = pMain->frameGeometry();
    QPoint where = rc.topLeft();
    if (const auto* pFrame = dynamic_cast<const CMainFrame*>(pMain))
        where = pFrame->ScreenPosition();
    nLeft = where.x();
    nTop = where.y();
    nRight = where.x() + rc.width();
}

void CSorvaneView::ShowPlaylistAt(int x, int y)
{
    if (Playlist() == nullptr)
        return;
    // Where the compositor alone places windows it opens as any other window.
    if (!CanPlaceWindows()) {
        m_pPlaylistDlg->show();
        return;
    }
    // The point is where the window's frame goes. Once the window exists, Qt's move() places
    // the frame only while it knows the frame's size, which it forgets while the window is
    // hidden; the window's own frame position always asks the window manager for the frame.
    if (QWindow* pWindow = m_pPlaylistDlg->windowHandle())
        pWindow->setFramePosition(QPoint(x, y));
    else
        m_pPlaylistDlg->move(x, y);
    m_pPlaylistDlg->show();
    // A window manager may map a window shown again where it last stood: once mapped, it is
    // moved where it belongs.
    if (QWindow* pWindow = m_pPlaylistDlg->windowHandle())
        pWindow->setFramePosition(QPoint(x, y));
}

QWidget* CSorvaneView::MainWindow() const
{
    return window();
}

void CSorvaneView::InvalidateClientRect(const CRect& rc)
{
    update(rc.left + CLIENT_EDGE, rc.top + CLIENT_EDGE, rc.Width(), rc.Height());
}

void CSorvaneView::OnMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case MM_MCINOTIFY:
        OnMciNotify(wParam, lParam);
        break;
    case WM_PLAYPOS:
        OnPlayPos(wParam, lParam);
        break;
    default:
        break;
    }
}

bool CSorvaneView::event(QEvent* pEvent)
{
    if (pEvent->type() != QEvent::ToolTip)
        return QWidget::event(pEvent);
    auto* pHelp = static_cast<QHelpEvent*>(pEvent);
    const CPoint point{pHelp->pos().x() - CLIENT_EDGE, pHelp->pos().y() - CLIENT_EDGE};
    TOOLTIPTEXTA ttt;
    ttt.idFrom = TOOL_ID_PANEL;
    if (m_rcPanelTool.PtInRect(point) && OnToolTipNeedText(&ttt) != 0) {
        const QRect area(m_rcPanelTool.left + CLIENT_EDGE, m_rcPanelTool.top + CLIENT_EDGE,
                         m_rcPanelTool.Width(), m_rcPanelTool.Height());
        QToolTip::showText(pHelp->globalPos(), ToQString(ttt.szText), this, area);
    } else {
        QToolTip::hideText();
        pEvent->ignore();
    }
    return true;
}

void CSorvaneView::paintEvent(QPaintEvent* pEvent)
{
    if (m_bRedraw && !m_client.isNull()) {
        m_bRedraw = false;
        m_bIdlePanelShown = false;
        m_client.fill(
            QColor(GetRValue(kBackground), GetGValue(kBackground), GetBValue(kBackground)));
        CDC clientDC(&m_client);
        OnDraw(&clientDC);
    }
    {
        QPainter painter(this);
        painter.drawImage(CLIENT_EDGE, CLIENT_EDGE, m_client);
    }
    // The frame lies within CLIENT_EDGE of the window's edge: an update inside it (the
    // panel's tick) leaves the frame as it is.
    const QRect inside = rect().adjusted(CLIENT_EDGE, CLIENT_EDGE, -CLIENT_EDGE, -CLIENT_EDGE);
    if (inside.contains(pEvent->region().boundingRect()))
        return;
    CDC windowDC(this);
    OnNcPaint(&windowDC);
}

void CSorvaneView::resizeEvent(QResizeEvent* pEvent)
{
    QWidget::resizeEvent(pEvent);
    const int cx = std::max(1, width() - 2 * CLIENT_EDGE);
    const int cy = std::max(1, height() - 2 * CLIENT_EDGE);
    m_client = QImage(cx, cy, QImage::Format_RGB32);
    m_bRedraw = true;
}

void CSorvaneView::timerEvent(QTimerEvent* pEvent)
{
    OnTimer(static_cast<UINT>(pEvent->timerId()));
}

void CSorvaneView::mousePressEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton) {
        const QPoint pos = pEvent->position().toPoint();
        OnLButtonDown(MouseFlags(pEvent), {pos.x() - CLIENT_EDGE, pos.y() - CLIENT_EDGE});
    }
    QWidget::mousePressEvent(pEvent);
}

void CSorvaneView::mouseMoveEvent(QMouseEvent* pEvent)
{
    const QPoint pos = pEvent->position().toPoint();
    OnMouseMove(MouseFlags(pEvent), {pos.x() - CLIENT_EDGE, pos.y() - CLIENT_EDGE});
    QWidget::mouseMoveEvent(pEvent);
}

void CSorvaneView::mouseReleaseEvent(QMouseEvent* pEvent)
{
    if (pEvent->button() == Qt::LeftButton) {
        const QPoint pos = pEvent->position().toPoint();
        OnLButtonUp(MouseFlags(pEvent), {pos.x() - CLIENT_EDGE, pos.y() - CLIENT_EDGE});
    }
    QWidget::mouseReleaseEvent(pEvent);
}

void CSorvaneView::contextMenuEvent(QContextMenuEvent*)
{
    OnContextMenu();
}

void CSorvaneView::dragEnterEvent(QDragEnterEvent* pEvent)
{
    const QList<QUrl> urls = pEvent->mimeData()->urls();
    if (std::any_of(urls.begin(), urls.end(), [](const QUrl& url) { return url.isLocalFile(); }))
        pEvent->acceptProposedAction();
}

void CSorvaneView::dropEvent(QDropEvent* pEvent)
{
    std::vector<std::string> files;
    for (const QUrl& url : pEvent->mimeData()->urls())
        if (url.isLocalFile())
            files.push_back(FromQString(url.toLocalFile()));
    if (files.empty()) {
        pEvent->ignore();
        return;
    }
    // The drag source is released at once; what the drop starts, message boxes included,
    // comes after.
    pEvent->acceptProposedAction();
    QMetaObject::invokeMethod(
        this, [this, files = std::move(files)] { OnDropFiles(files); }, Qt::QueuedConnection);
}

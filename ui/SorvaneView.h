#pragma once

#include "draw/DC.h"
#include "framework/CmdTarget.h"
#include "framework/Document.h"
#include "framework/Messages.h"
#include "queue/SorvaneDoc.h"
#include "ui/DisplayPanel.h"
#include "ui/Layout.h"
#include "ui/TransportButton.h"

#include <QImage>
#include <QSystemTrayIcon>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class CPlayerSettings;
class CPlaylistDlg;
class QMenu;

// The left-button flag of mouse moves.
inline constexpr UINT MK_LBUTTON = 0x0001;

// A tooltip's request for text: which tool asks (a tool id, or with TTF_IDISHWND the
// window pFromWindow), and the buffer the answer goes into, terminator included.
inline constexpr UINT TTF_IDISHWND = 0x0001;
struct TOOLTIPTEXTA
{
    std::uintptr_t idFrom = 0;
    QWidget* pFromWindow = nullptr;
    UINT uFlags = 0;
    char szText[80] = {};
};

// The player view: the only child of the frame window and the single view of the player's
// document. It owns what the user sees and touches: the display panel, the nine transport
// buttons, their tooltips and the panel's tip, the tray icon and its menu, the window's
// pop-up menu, the 450 ms panel timer (which hands the window system a repaint only when
// the panel's picture changed), the hidden playlist window, the drag seek on the panel
// and dropped files; it receives the end-of-medium notification and the CD track changes.
//
// Button clicks and menu commands travel by command routing: the view (settings, hide/show,
// exit), then the document (every transport command), then the application. The view's
// client area lies inside a 2-pixel edge that it paints in the button colour. The view holds
// the keyboard focus; a button has it only after a click, and never while greyed. A drop is
// taken from its source at once and acted on afterwards.
//
// Threads: everything runs on the user-interface thread. The engine's notifications
// (MM_MCINOTIFY, WM_PLAYPOS) arrive as messages posted to GetSafeHwnd() and are handed to the
// document, which decides what plays next and ignores a notification that no longer
// describes what plays. The tray icon's activations arrive through
// the event loop too.
class CSorvaneView : public QWidget, public CView, public CCmdTarget, public IPlaylistWindowHost
{
public:
    static constexpr UINT TOOL_ID_PANEL = 2001;
    static constexpr UINT PANEL_TIMER_ID = 1;
    static constexpr int PANEL_TIMER_MS = 450;
    // The window text of every button; it never shows, every button has a glyph.
    static constexpr const char* kButtonText = "open";
    // The client edge inside the view's window, and the pen that covers it.
    static constexpr int CLIENT_EDGE = 2;
    static constexpr int EDGE_PEN_WIDTH = 4;
    // The client area's background, shown where neither panel nor buttons lie.
    static constexpr COLORREF kBackground = 0xFFFFFF;
    // Longest panel tip, in bytes; the buffer holds one more for the terminator.
    static constexpr std::size_t kMaxTipLength = 79;
    // The button tips in the order the tools are added: button index and string id.
    static const int kTipButtons[BUTTON_COUNT];
    static const int kTipStrings[BUTTON_COUNT];

    // A view of pDoc (which must outlive it) reading settings (which must outlive it). It
    // registers with the document at once; its windows come with Create.
    CSorvaneView(CSorvaneDoc* pDoc, CPlayerSettings& settings);
    ~CSorvaneView() override;
    CSorvaneView(const CSorvaneView&) = delete;
    CSorvaneView& operator=(const CSorvaneView&) = delete;

    // Makes the view's window a child of pParent (null: a window of its own) and runs
    // OnCreate. Returns 0, or −1 when the creation failed.
    int Create(QWidget* pParent);
    // After the frame is up: one update with hint 0, then the engine reports to this view.
    void OnInitialUpdate();
    // The document changed: the title restarts, buttons are enabled by the play state, the
    // playlist refills (hint non-zero), the current entry is selected there, and with
    // HINT_QUEUE_CHANGED the whole view repaints.
    void OnUpdate(CView* pSender, int nHint) override;
    // Paints the display panel (composition without advancing the title).
    void OnDraw(CDC* pDC);

    // The view's own commands: settings, hide/show, exit.
    bool OnCmdMsg(int nId) override;
    // Sends command nId along the route view, document, application. True when handled.
    bool RouteCmd(int nId);
    // The application, last on the command route; may be null.
    void SetAppCommandTarget(CCmdTarget* pApp) { m_pAppTarget = pApp; }
    // Lets files dropped from other programs reach OnDropFiles.
    void DragAcceptFiles(bool bAccept = true);

    CSorvaneDoc* GetDocument() const { return m_pDocument; }
    // The handle the engine's messages are posted to.
    HWND GetSafeHwnd() const { return m_msgWindow.GetSafeHwnd(); }

    // Copies the colours and the layout from the settings (layout outside 0..2 → 0).
    // Moves and repaints nothing. Returns 1.
    int ApplySettings();

    // Handlers. Points are in client coordinates; flags carry MK_LBUTTON while the left
    // button is held.
    int OnCreate();
    void OnDestroy();
    void OnTimer(UINT nIDEvent);
    void OnLButtonDown(UINT nFlags, CPoint point);
    void OnMouseMove(UINT nFlags, CPoint point);
    void OnLButtonUp(UINT nFlags, CPoint point);
    // Makes and shows the tray icon, once, from the event loop after OnCreate.
    void ShowTrayIcon();
    // The tray icon: a click brings the main window to the front, a double click shows it
    // when hidden, the context request opens the tray menu; other activations do nothing.
    void OnTrayActivated(QSystemTrayIcon::ActivationReason reason);
    // Tells the user, once, that the sound device went away or is back (the document's
    // TakeDeviceNews): a message of the tray icon, or a tip over the panel without one.
    void TellDeviceNews(const char* news);
    // Replaces the queue by the dropped files (playlists expanded), in the order given, and
    // plays the first.
    void OnDropFiles(const std::vector<std::string>& files);
    LPARAM OnMciNotify(WPARAM wParam, LPARAM lParam);
    LPARAM OnPlayPos(WPARAM wParam, LPARAM lParam);
    void OnSettings();
    // A loudness setting chosen in the window menu (the mode's number, or the preamp's or
    // untagged gain's tenths of a dB, under its key): stored, and what plays takes its new
    // gain at once.
    void OnGainSetting(int nKey, int nValue);
    void OnToggleShow();
    // The menus' shuffle and carry-on items: each turns its setting over (shuffle also tells
    // the document).
    void OnToggleShuffle();
    void OnToggleResume();
    void OnExit();
    void OnContextMenu();
    // Paints the view's edge: a closed outline with a 4-pixel pen in the button colour
    // around the window rectangle, half of which falls inside and covers the client edge.
    void OnNcPaint(CDC* pWindowDC);
    // The panel tip's text. FALSE (no tip) for tool 0 and with nothing open.
    int OnToolTipNeedText(TOOLTIPTEXTA* pTTT);

    // IPlaylistWindowHost, for the document's playlist command.
    bool IsPlaylistVisible() const override;
    void HidePlaylist() override;
    void GetPlayerRect(int& nLeft, int& nTop, int& nRight) const override;
    void ShowPlaylistAt(int x, int y) override;

    // What the view holds, for its owner and tests.
    int GetLayout() const { return m_nLayout; }
    COLORREF GetButtonColor() const { return m_crButton; }
    bool IsPanelBusy() const { return m_bPanelBusy != 0; }
    int GetDragStartPercent() const { return m_nDragStartPercent; }
    int GetTimerId() const { return m_nTimerId; }
    // The panel tool's rectangle in client coordinates; empty before OnCreate.
    CRect GetPanelToolRect() const { return m_rcPanelTool; }
    const CDisplayPanel& GetPanel() const { return m_panel; }
    CTransportButton& GetButton(int nIndex) { return m_buttons[nIndex]; }
    QSystemTrayIcon* GetTrayIcon() const { return m_pTrayIcon.get(); }
    // The picture of the client area as last painted (the panel and the background; the
    // buttons paint themselves on top).
    const QImage& GetClientImage() const { return m_client; }

    // The modeless playlist window, made (hidden, filled with the queue) when first asked
    // for, so that a start that never shows it builds neither its controls nor its font;
    // null when it cannot be made.
    CPlaylistDlg* Playlist();
    // That window when it was made; owned by the view.
    CPlaylistDlg* m_pPlaylistDlg = nullptr;

protected:
    bool event(QEvent* pEvent) override;
    // Enables or greys one of m_buttons, the focus going back to the view from a greyed one.
    void EnableButton(int nIndex, bool bEnable);
    void paintEvent(QPaintEvent* pEvent) override;
    void resizeEvent(QResizeEvent* pEvent) override;
    void timerEvent(QTimerEvent* pEvent) override;
    void mousePressEvent(QMouseEvent* pEvent) override;
    void mouseMoveEvent(QMouseEvent* pEvent) override;
    void mouseReleaseEvent(QMouseEvent* pEvent) override;
    void contextMenuEvent(QContextMenuEvent* pEvent) override;
    void dragEnterEvent(QDragEnterEvent* pEvent) override;
    void dropEvent(QDropEvent* pEvent) override;

private:
    void OnMessage(UINT message, WPARAM wParam, LPARAM lParam);
    // The panel's rectangle in client coordinates: rcDisplay, moved right in the vertical
    // layout.
    CRect PanelRect() const;
    // What the panel shows of the document's playback snapshot.
    static PanelTime PanelTimeOf(const PlaybackSnapshot& snap);
    // Shows menu nIDResource at the cursor and sends the chosen command along the route.
    void TrackPopupMenu(QMenu* pMenu);
    // Checks the player's own items of a pop-up menu: shuffle, stop after this one, carry on.
    void CheckPlayerItems(QMenu* pMenu) const;
    // Repaints the client area's part rc (client coordinates) from m_client.
    void InvalidateClientRect(const CRect& rc);
    // The main window (the frame), the view's top-level window.
    QWidget* MainWindow() const;
    // Puts the buttons on the layout's rectangles in the button colour and repaints them.
    void PlaceButtons();
    void DrawSeekText(int nPercent);
    int DragPercent(int x) const;

    // Settings and layout.
    COLORREF m_crButton = 0xFFC8B4;
    int m_nLayout = 0;
    // Drag seek.
    int m_nDragStartX = 0;
    int m_nDragStartPercent = 0;
    int m_bPanelBusy = 0;
    // The panel's font, off-screen bitmap, colours and scrolling title.
    CDisplayPanel m_panel;
    // Tooltips: the panel's tool rectangle (the buttons carry their own tips).
    CRect m_rcPanelTool;
    std::unique_ptr<QSystemTrayIcon> m_pTrayIcon;
    CTransportButton m_buttons[BUTTON_COUNT];
    int m_nTimerId = 0;

    CSorvaneDoc* m_pDocument;
    CPlayerSettings& m_settings;
    CCmdTarget* m_pAppTarget = nullptr;
    CMessageWindow m_msgWindow;
    bool m_bCreated = false;
    // What the client area shows; OnDraw runs again into it when m_bRedraw is set.
    QImage m_client;
    bool m_bRedraw = true;
    // The last tick composed the panel with nothing open, showing m_idleTime, and nothing
    // has drawn on the client image since.
    bool m_bIdlePanelShown = false;
    PanelTime m_idleTime;
};

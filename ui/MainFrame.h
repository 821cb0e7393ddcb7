#pragma once

#include "draw/DC.h"
#include "settings/PlayerSettings.h"

#include <QWidget>

#include <functional>
#include <optional>
#include <string>

// How a top-level window is to be made: styles, name, position and outer size.
struct CREATESTRUCT
{
    std::uint32_t style = 0;
    std::uint32_t dwExStyle = 0;
    std::string lpszName;
    int x = 0;
    int y = 0;
    int cx = 0;
    int cy = 0;
};

// The player's top-level window: a small tool window (no caption, no menu bar, no taskbar
// entry) of the layout's outer size, at the stored launch position (moved onto the nearest
// screen when it would not be seen there), on top of other windows when the settings ask for
// it. It paints its own thick border in a darker shade of the button colour, hides on a
// double click on that border (minimises, where no tray icon could bring it back), is moved
// by a drag on that border, never stays minimised otherwise, and stores its position as the
// launch position when it is destroyed. The launch position counts screen pixels; where the
// window system neither places windows nor reports their place (natively on Wayland) it is
// neither used nor overwritten. Its only child, the view, fills the area inside the
// one-pixel window border. It reads the settings record it is given, which must outlive it.
// User-interface thread only.
class CMainFrame : public QWidget
{
public:
    // Pixels of window border around the view.
    static constexpr int BORDER_WIDTH = 1;
    // Width of the pen that paints the border over the window's outer edge (half of it
    // falls inside).
    static constexpr int BORDER_PEN_WIDTH = 6;
    // The band along the outer edge that shows as the border (the window border and the
    // view's client edge) and that moves the window when dragged.
    static constexpr int MOVE_BAND = 3;

    explicit CMainFrame(CPlayerSettings& settings);
    ~CMainFrame() override;

    // Fills cs for the frame: no name, exactly WS_VISIBLE | WS_BORDER | WS_SYSMENU,
    // WS_EX_TOOLWINDOW (+ WS_EX_TOPMOST when the settings ask), the launch position and the
    // outer size of the clamped layout. Returns non-zero to go on with the creation.
    virtual int PreCreateWindow(CREATESTRUCT& cs);
    // Creates the window as PreCreateWindow describes it. FALSE when that refused.
    int Create();

    // Makes view the frame's only child, filling the area inside the window border.
    void SetView(QWidget* view);

    // For the settings command: the outer size of layout (clamped), keeping the position;
    // and the always-on-top state, keeping position, size and visibility.
    void ResizeToLayout(int nLayout);
    void SetTopmost(bool bTopmost);

    // The border colour: the button colour with red, green and blue each halved.
    static COLORREF BorderColor(COLORREF crButton);

    // Paints the border into pDC (window coordinates): a closed outline around the outer
    // edge of the layout's frame size with a 6-pixel pen in BorderColor.
    void OnNcPaint(CDC* pDC);
    // Hides the frame (Conceal).
    void OnNcLButtonDblClk();
    // Takes the frame out of sight: hidden while a tray icon can bring it back, else
    // minimised (and left so), its place stored first.
    void Conceal();
    // Stores where the window is, in screen pixels, as the settings' launch position while
    // it shows (also done when it is hidden or destroyed): what the query says, when set and
    // answering, else Qt's record. A hidden or minimised window keeps the place it had when
    // it went; where windows are not placed by the program nothing is stored.
    void StoreLaunchPos();
    // Where the frame's top-left corner is on the screen in Qt's units: what the query says,
    // when set and answering, else Qt's record.
    QPoint ScreenPosition() const;
    // The query answers in screen pixels.
    void SetPositionQuery(std::function<std::optional<QPoint>()> query)
    {
        m_positionQuery = std::move(query);
    }

    void setVisible(bool bVisible) override;

protected:
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void OnDestroy();
    void PlaceView();

    CPlayerSettings& m_settings;
    QWidget* m_pView = nullptr;
    bool m_bCreated = false;
    // Minimised by Conceal, not by the window manager: it stays so.
    bool m_bConcealedMinimised = false;
    // A left press on the move band, where it was (global); a drag from it moves the window.
    std::optional<QPoint> m_bandPress;
    std::function<std::optional<QPoint>()> m_positionQuery;
};

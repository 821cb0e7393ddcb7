#include "ui/MainFrame.h"

#include "base/QtText.h"
#include "dialogs/WindowSystem.h"
#include "ui/Layout.h"
#include "ui/ScreenPlace.h"
#include "ui/UiResources.h"

#include <QApplication>
#include <QMouseEvent>
#include <QWindow>

CMainFrame::CMainFrame(CPlayerSettings& settings)
    : QWidget(nullptr)
    , m_settings(settings)
{
    EnsureUiResources();
}

CMainFrame::~CMainFrame()
{
    OnDestroy();
}

int CMainFrame::PreCreateWindow(CREATESTRUCT& cs)
{
    const CSize size = kFrameSizes[ClampLayout(m_settings.Get(SK_LAYOUT))];
    const CPoint pos = m_settings.GetLaunchPos();
    cs.lpszName.clear();
    cs.style = WS_VISIBLE | WS_BORDER | WS_SYSMENU;
    cs.dwExStyle = WS_EX_TOOLWINDOW;
    if (m_settings.Get(SK_TOPMOST) != 0)
        cs.dwExStyle |= WS_EX_TOPMOST;
    cs.x = pos.x;
    cs.y = pos.y;
    cs.cx = size.cx;
    cs.cy = size.cy;
    return 1;
}

int CMainFrame::Create()
{
    CREATESTRUCT cs;
    cs.style = WS_OVERLAPPEDWINDOW;
    if (!PreCreateWindow(cs))
        return 0;
    Qt::WindowFlags flags = Qt::Tool | Qt::FramelessWindowHint;
    if ((cs.dwExStyle & WS_EX_TOPMOST) != 0)
        flags |= Qt::WindowStaysOnTopHint;
    setWindowFlags(flags);
    setWindowTitle(ToQString(cs.lpszName));
    setFixedSize(cs.cx, cs.cy);
    // Where the compositor alone places windows, a move would only be forgotten.
    if (CanPlaceWindows())
        move(ScreenPixelsToQt(PlaceOnScreen(QPoint(cs.x, cs.y), QSize(cs.cx, cs.cy))));
    PlaceView();
    m_bCreated = true;
    if ((cs.style & WS_VISIBLE) != 0)
        show();
    return 1;
}

void CMainFrame::SetView(QWidget* view)
{
    m_pView = view;
    if (m_pView != nullptr) {
        m_pView->setParent(this);
        PlaceView();
        m_pView->show();
    }
}

void CMainFrame::PlaceView()
{
    if (m_pView != nullptr) {
        m_pView->setGeometry(BORDER_WIDTH, BORDER_WIDTH, width() - 2 * BORDER_WIDTH,
                             height() - 2 * BORDER_WIDTH);
    }
}

void CMainFrame::ResizeToLayout(int nLayout)
{
    const CSize size = kFrameSizes[ClampLayout(nLayout)];
    setFixedSize(size.cx, size.cy);
    PlaceView();
    update();
}

void CMainFrame::SetTopmost(bool bTopmost)
{
    if (windowFlags().testFlag(Qt::WindowStaysOnTopHint) == bTopmost)
        return;
    const bool bVisible = isVisible();
    const QPoint where = pos();
    setWindowFlag(Qt::WindowStaysOnTopHint, bTopmost);
    move(where);
    if (bVisible)
        show();
}

COLORREF CMainFrame::BorderColor(COLORREF crButton)
{
    return RGB(GetRValue(crButton) / 2, GetGValue(crButton) / 2, GetBValue(crButton) / 2);
}

void CMainFrame::OnNcPaint(CDC* pDC)
{
    if (pDC == nullptr)
        return;
    CPen pen(PS_SOLID, BORDER_PEN_WIDTH,
             BorderColor(static_cast<COLORREF>(m_settings.Get(SK_BUTTON_COLOR))));
    const CSize size = kFrameSizes[ClampLayout(m_settings.Get(SK_LAYOUT))];
    const CPoint outline[] = {{0, 0}, {size.cx, 0}, {size.cx, size.cy}, {0, size.cy}, {0, 0}};
    const CPen* pOldPen = pDC->SelectObject(&pen);
    pDC->Polyline(outline, 5);
    if (pOldPen != nullptr)
        pDC->SelectObject(pOldPen);
    pen.DeleteObject();
}

void CMainFrame::OnNcLButtonDblClk()
{
    Conceal();
}

void CMainFrame::Conceal()
{
    if (HasSystemTray()) {
        hide();
        return;
    }
    StoreLaunchPos();
    m_bConcealedMinimised = true;
    setWindowState(windowState() | Qt::WindowMinimized);
}

void CMainFrame::OnDestroy()
{
    StoreLaunchPos();
}

void CMainFrame::setVisible(bool bVisible)
{
    // Once hidden, the window is out of the window manager's frame, which may leave it
    // anywhere: its place is taken while it still shows.
    if (!bVisible && isVisible())
        StoreLaunchPos();
    QWidget::setVisible(bVisible);
}

void CMainFrame::StoreLaunchPos()
{
    if (!m_bCreated || !isVisible() || isMinimized() || !CanPlaceWindows())
        return;
    const std::optional<QPoint> pixels = m_positionQuery ? m_positionQuery() : std::nullopt;
    const QPoint where = pixels.value_or(QtToScreenPixels(pos()));
    m_settings.SetLaunchPos(where.x(), where.y());
}

QPoint CMainFrame::ScreenPosition() const
{
    const std::optional<QPoint> pixels = m_positionQuery ? m_positionQuery() : std::nullopt;
    return pixels ? ScreenPixelsToQt(*pixels) : pos();
}

void CMainFrame::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    // The frame has no taskbar entry and no title bar: minimised (a window manager does so
    // when one of its dialogs is minimised) it could come back only through a second start.
    // Minimised by Conceal, it stays so until it is shown again.
    if (event->type() == QEvent::WindowStateChange && !isMinimized())
        m_bConcealedMinimised = false;
    if (event->type() == QEvent::WindowStateChange && isMinimized() && !m_bConcealedMinimised) {
        QMetaObject::invokeMethod(
            this, [this] { setWindowState(windowState() & ~Qt::WindowMinimized); },
            Qt::QueuedConnection);
    }
}

void CMainFrame::paintEvent(QPaintEvent*)
{
    CDC dc(this);
    OnNcPaint(&dc);
}

void CMainFrame::mouseDoubleClickEvent(QMouseEvent* event)
{
    // Only the border band outside the view hides the window; a double click the view left
    // unhandled reaches the frame too and must not.
    const bool bOnBorder =
        m_pView == nullptr || !m_pView->geometry().contains(event->position().toPoint());
    if (event->button() == Qt::LeftButton && bOnBorder) {
        OnNcLButtonDblClk();
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void CMainFrame::mousePressEvent(QMouseEvent* event)
{
    const QPoint at = event->position().toPoint();
    const bool bInBand =
        !rect().adjusted(MOVE_BAND, MOVE_BAND, -MOVE_BAND, -MOVE_BAND).contains(at);
    m_bandPress.reset();
    if (event->button() == Qt::LeftButton && bInBand) {
        m_bandPress = event->globalPosition().toPoint();
        event->accept();
        return;
    }
    QWidget::mousePressEvent(event);
}

void CMainFrame::mouseMoveEvent(QMouseEvent* event)
{
    // A drag, not a click (a double click on the band hides the window), hands the move to
    // the window system, which alone may move a window natively on Wayland.
    if (m_bandPress && event->buttons().testFlag(Qt::LeftButton) &&
        (event->globalPosition().toPoint() - *m_bandPress).manhattanLength() >=
            QApplication::startDragDistance()) {
        m_bandPress.reset();
        if (QWindow* pWindow = windowHandle())
            pWindow->startSystemMove();
        return;
    }
    QWidget::mouseMoveEvent(event);
}

void CMainFrame::mouseReleaseEvent(QMouseEvent* event)
{
    m_bandPress.reset();
    QWidget::mouseReleaseEvent(event);
}

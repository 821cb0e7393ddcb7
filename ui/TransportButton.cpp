#include "ui/TransportButton.h"

#include "base/QtText.h"
#include "ui/UiResources.h"

#include <QEvent>
#include <QPainter>

namespace {

// The focus dots stand this far inside the button's edge, every second pixel.
constexpr int kFocusInset = 2;
constexpr int kFocusPitch = 2;

} // namespace

CTransportButton::CTransportButton(QWidget* pParent)
    : QAbstractButton(pParent)
{
    EnsureUiResources();
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::ClickFocus);
    connect(
        this, &QAbstractButton::pressed, this, [this] { Request(ODA_SELECT, ItemState()); });
    connect(this, &QAbstractButton::released, this, [this] { Request(ODA_SELECT, ItemState()); });
}

CTransportButton::~CTransportButton() = default;

int CTransportButton::Create(const std::string& strText, std::uint32_t dwStyle, const CRect& rect,
                             QWidget* pParent, int nID)
{
    if (pParent == nullptr)
        return 0;
    m_strText = strText;
    m_nID = nID;
    setText(ToQString(strText));
    setParent(pParent);
    setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
    setVisible((dwStyle & WS_VISIBLE) != 0);
    return 1;
}

void CTransportButton::Invalidate()
{
    Request(ODA_DRAWENTIRE, ItemState());
}

unsigned CTransportButton::ItemState() const
{
    unsigned state = 0;
    if (isDown())
        state |= ODS_SELECTED;
    if (!isEnabled())
        state |= ODS_DISABLED;
    if (hasFocus())
        state |= ODS_FOCUS;
    return state;
}

void CTransportButton::Request(unsigned itemAction, unsigned itemState)
{
    // Full redraws wait until the picture is wanted, so that the several a button is asked
    // for while its window is made cost one. A partial one draws on the picture as it
    // stands, the full one pending drawn first.
    if (itemAction == ODA_DRAWENTIRE) {
        m_bStale = true;
    } else {
        Freshen();
        Render(itemAction, itemState);
    }
    update();
}

void CTransportButton::Freshen()
{
    if (!m_bStale && m_picture.size() == size())
        return;
    m_bStale = false;
    Render(ODA_DRAWENTIRE, ItemState());
}

void CTransportButton::Render(unsigned itemAction, unsigned itemState)
{
    const QSize size = this->size();
    if (size.isEmpty())
        return;
    if (m_picture.size() != size) {
        m_picture = QImage(size, QImage::Format_RGB32);
        m_picture.fill(Qt::black);
        itemAction = ODA_DRAWENTIRE;
    }
    {
        CDC dc(&m_picture);
        DRAWITEMSTRUCT dis;
        dis.CtlID = static_cast<unsigned>(m_nID);
        dis.itemAction = itemAction;
        dis.itemState = itemState;
        dis.hDC = &dc;
        dis.rcItem = CRect(0, 0, size.width(), size.height());
        DrawItem(&dis);
    }
}

void CTransportButton::DrawItem(const DRAWITEMSTRUCT* pDIS)
{
    if (pDIS == nullptr || pDIS->hDC == nullptr)
        return;
    CDC* pDC = CDC::FromHandle(pDIS->hDC);
    const CRect& rc = pDIS->rcItem;
    if (pDIS->itemAction == ODA_DRAWENTIRE) {
        pDC->FillSolidRect(rc, m_crFace);
        pDC->Draw3dRect(rc, kLight, kShadow);
    } else if (pDIS->itemAction == ODA_SELECT) {
        if ((pDIS->itemState & ODS_SELECTED) != 0)
            pDC->Draw3dRect(rc, kShadow, kLight);
        else
            pDC->Draw3dRect(rc, kLight, kShadow);
    }
    if (pDIS->itemAction == ODA_FOCUS && (pDIS->itemState & ODS_FOCUS) != 0) {
        const int w = rc.right;
        const int h = rc.bottom;
        for (int x = kFocusInset; x <= w - 3; x += kFocusPitch) {
            pDC->SetPixel(x, kFocusInset, kShadow);
            pDC->SetPixel(x, h - 3, kShadow);
        }
        for (int y = kFocusInset; y <= h - 3; y += kFocusPitch) {
            pDC->SetPixel(kFocusInset, y, kShadow);
            pDC->SetPixel(w - 3, y, kShadow);
        }
    }
    if (pDIS->itemAction == ODA_DRAWENTIRE) {
        if (m_pfnGlyph != nullptr) {
            m_pfnGlyph(pDIS);
        } else {
            pDC->SetBkColor(m_crFace);
            CRect rcText = rc;
            pDC->DrawText(m_strText, &rcText, DT_CENTER | DT_VCENTER | DT_SINGLELINE);
        }
    }
}

void CTransportButton::paintEvent(QPaintEvent*)
{
    Freshen();
    QPainter painter(this);
    painter.drawImage(0, 0, m_picture);
}

void CTransportButton::resizeEvent(QResizeEvent* event)
{
    QAbstractButton::resizeEvent(event);
    Request(ODA_DRAWENTIRE, ItemState());
}

bool CTransportButton::event(QEvent* event)
{
    // Qt asks a disabled widget for its tip too.
    if (event->type() == QEvent::ToolTip && !isEnabled()) {
        event->ignore();
        return true;
    }
    return QAbstractButton::event(event);
}

void CTransportButton::changeEvent(QEvent* event)
{
    QAbstractButton::changeEvent(event);
    if (event->type() == QEvent::EnabledChange)
        Request(ODA_DRAWENTIRE, ItemState());
}

void CTransportButton::focusInEvent(QFocusEvent* event)
{
    QAbstractButton::focusInEvent(event);
    Request(ODA_FOCUS, ItemState() | ODS_FOCUS);
}

void CTransportButton::focusOutEvent(QFocusEvent* event)
{
    QAbstractButton::focusOutEvent(event);
    Request(ODA_FOCUS, ItemState() & ~ODS_FOCUS);
}

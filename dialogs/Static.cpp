#include "dialogs/Static.h"

#include "dialogs/Dialog.h"
#include "draw/DC.h"

#include <QPainter>

CStatic::CStatic(const QString& text, bool bGrayRect, QWidget* pParent)
    : QLabel(bGrayRect ? QString() : text, pParent)
    , m_bGrayRect(bGrayRect)
{
    setAlignment(Qt::AlignLeft | Qt::AlignTop);
    setWordWrap(true);
}

void CStatic::paintEvent(QPaintEvent* pEvent)
{
    {
        QPainter painter(this);
        CDC dc(&painter);
        const CRect client(0, 0, width(), height());
        if (m_bGrayRect) {
            dc.FillSolidRect(client, kGrayRectColor);
        } else if (auto* pDialog = dynamic_cast<CDialog*>(parentWidget())) {
            const CBrush* pBrush = pDialog->OnCtlColor(&dc, this, CTLCOLOR_STATIC);
            if (pBrush != nullptr)
                dc.FillRect(client, pBrush);
        }
    }
    if (!m_bGrayRect)
        QLabel::paintEvent(pEvent);
}

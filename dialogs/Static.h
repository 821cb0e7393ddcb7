#pragma once

#include "base/WinTypes.h"

#include <QLabel>

// A static control: a text label, a grey rectangle or an empty area. Before it paints it asks
// its dialog (CDialog::OnCtlColor, kind CTLCOLOR_STATIC) for a background brush; with none it
// paints as a plain label. User-interface thread only.
class CStatic : public QLabel
{
public:
    // bGrayRect makes the control a filled grey rectangle without text.
    CStatic(const QString& text, bool bGrayRect, QWidget* pParent);

    // The grey of a grey rectangle (0x00BBGGRR).
    static constexpr COLORREF kGrayRectColor = 0x808080;

protected:
    void paintEvent(QPaintEvent* pEvent) override;

private:
    bool m_bGrayRect;
};

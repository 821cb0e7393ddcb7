#pragma once

#include <QRadioButton>

// A radio button that never checks itself: a click only reports itself, and the dialog sets
// the check marks. User-interface thread only.
class CManualRadioButton : public QRadioButton
{
public:
    CManualRadioButton(const QString& text, QWidget* pParent);

protected:
    void nextCheckState() override {}
};

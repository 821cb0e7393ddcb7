#include "dialogs/ManualRadioButton.h"

CManualRadioButton::CManualRadioButton(const QString& text, QWidget* pParent)
    : QRadioButton(text, pParent)
{
    setAutoExclusive(false);
}

#pragma once

#include "dialogs/Dialog.h"

// The about box, built from dialog template 100: its caption, the program's icon and an OK
// button. It binds no controls and handles no messages of its own; DoModal gives IDOK or
// IDCANCEL. User-interface thread only.
class CAboutDlg : public CDialog
{
public:
    explicit CAboutDlg(QWidget* pParent = nullptr);
};

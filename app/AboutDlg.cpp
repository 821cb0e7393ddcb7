#include "app/AboutDlg.h"

#include "res/Resource.h"
#include "ui/UiResources.h"

namespace {

// The template's icon comes from the program's resources, which must be registered first.
int AboutTemplate()
{
    EnsureUiResources();
    return IDD_ABOUTBOX;
}

} // namespace

CAboutDlg::CAboutDlg(QWidget* pParent)
    : CDialog(AboutTemplate(), pParent)
{}

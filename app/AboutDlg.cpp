#include "app/AboutDlg.h"

#include "dialogs/Dialog.h"
#include "platform/GdiObjects.h"
#include "platform/Resources.h"
#include "res/Resource.h"
#include "ui/UiResources.h"

#include <QLabel>
#include <QPushButton>

namespace {

// Template 100, in dialog units.
constexpr int kWidth = 235;
constexpr int kHeight = 55;
constexpr int kIconRect[] = {11, 17, 20, 21};
constexpr int kOkRect[] = {178, 7, 50, 14};

} // namespace

CAboutDlg::CAboutDlg(QWidget* pParent)
    : QDialog(pParent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                           Qt::WindowCloseButtonHint)
{
    EnsureUiResources();
    QFont font(CFont::ResolveFaceName(kFace));
    font.setPointSize(kPointSize);
    setFont(font);
    setWindowTitle(QString::fromUtf8(kCaption));
    const QRect client = MapDialogRect(0, 0, kWidth, kHeight);
    setFixedSize(client.size());

    auto* pIcon = new QLabel(this);
    const QRect iconRect = MapDialogRect(kIconRect[0], kIconRect[1], kIconRect[2], kIconRect[3]);
    pIcon->setGeometry(iconRect);
    pIcon->setPixmap(LoadIconResource(IDR_MAINFRAME).pixmap(32, 32));
    pIcon->setAlignment(Qt::AlignLeft | Qt::AlignTop);

    auto* pOk = new QPushButton(QStringLiteral("OK"), this);
    pOk->setGeometry(MapDialogRect(kOkRect[0], kOkRect[1], kOkRect[2], kOkRect[3]));
    pOk->setDefault(true);
    connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
}

QRect CAboutDlg::MapDialogRect(int x, int y, int cx, int cy) const
{
    const CSize units = CDialog::BaseUnitsOf(font());
    return {x * units.cx / 4, y * units.cy / 8, cx * units.cx / 4, cy * units.cy / 8};
}

int CAboutDlg::DoModal()
{
    return exec() == QDialog::Accepted ? IDOK : IDCANCEL;
}

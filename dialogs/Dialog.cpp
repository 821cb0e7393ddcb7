#include "dialogs/Dialog.h"

#include "base/QtText.h"
#include "base/ScanInt.h"
#include "dialogs/GroupBox.h"
#include "dialogs/ListBox.h"
#include "dialogs/ManualRadioButton.h"
#include "dialogs/Static.h"
#include "dialogs/UpDownCtrl.h"
#include "draw/DC.h"
#include "draw/Resources.h"
#include "res/DialogTemplates.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QCloseEvent>
#include <QFontMetrics>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOptionButton>

#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string_view>

namespace {

// a × b / c rounded to the nearest integer, halves away from zero.
int MulDiv(int a, int b, int c)
{
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

bool IsPushButton(std::uint32_t style)
{
    const std::uint32_t type = style & dlgstyle::BS_TYPEMASK;
    return type == dlgstyle::BS_PUSHBUTTON || type == dlgstyle::BS_DEFPUSHBUTTON;
}

// An icon control: the icon resource its text names ("#128") at the icon's own size, as a
// static icon shows it; empty when the name is no number or the icon is missing.
QWidget* IconControl(const char* text, QWidget* pParent)
{
    constexpr int kIconSize = 32;
    auto* pLabel = new QLabel(pParent);
    pLabel->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    const std::string_view name = text;
    std::size_t pos = 1;
    const std::optional<std::uint64_t> nID =
        name.size() > 1 && name.front() == '#' ? ScanDigits(name, pos) : std::nullopt;
    if (nID && pos == name.size() && *nID <= std::numeric_limits<unsigned>::max()) {
        const QIcon icon = LoadIconResource(static_cast<unsigned>(*nID));
        if (!icon.isNull())
            pLabel->setPixmap(icon.pixmap(kIconSize, kIconSize));
    }
    return pLabel;
}

// The text a control shows, as wide as the dialog font draws it; 0 for none.
int TextWidth(const QWidget& control, const QFontMetrics& metrics)
{
    if (const auto* pButton = qobject_cast<const QAbstractButton*>(&control))
        return metrics.horizontalAdvance(pButton->text());
    if (const auto* pLabel = qobject_cast<const QLabel*>(&control))
        return metrics.horizontalAdvance(pLabel->text());
    if (const auto* pGroup = qobject_cast<const QGroupBox*>(&control))
        return metrics.horizontalAdvance(pGroup->title());
    return 0;
}

// A mark with its text on the left: the mark at the right edge, the text at the left edge, and
// the spacing that fills the rest between them, at least a pixel.
int LeftTextMark(const QWidget& control)
{
    return control.style()->pixelMetric(QStyle::PM_IndicatorWidth);
}
int LeftTextSpacing(const QWidget& control, int nTextWidth)
{
    return std::max(1, control.width() - LeftTextMark(control) - nTextWidth - 1);
}

// How much wider than its text a control must be to show the text whole: what its style
// draws beside the text (a push button's frame and margins, a check mark or a radio mark and
// its spacing, a group box's indent), measured on a wide control. -1 for a control without
// a text.
int TextChrome(QWidget& control, const QFontMetrics& metrics)
{
    constexpr int kWide = 1000;
    if (control.layoutDirection() == Qt::RightToLeft && TextWidth(control, metrics) > 0)
        return LeftTextMark(control) + 1;
    QStyleOptionButton option;
    option.initFrom(&control);
    option.rect = QRect(0, 0, kWide, control.height());
    option.fontMetrics = metrics;
    QStyle::SubElement contents = QStyle::SE_PushButtonContents;
    if (auto* pButton = qobject_cast<QPushButton*>(&control)) {
        option.text = pButton->text();
        if (pButton->autoDefault())
            option.features |= QStyleOptionButton::AutoDefaultButton;
        if (pButton->isDefault())
            option.features |= QStyleOptionButton::DefaultButton;
    } else if (auto* pCheck = qobject_cast<QCheckBox*>(&control)) {
        option.text = pCheck->text();
        contents = QStyle::SE_CheckBoxContents;
    } else if (auto* pRadio = qobject_cast<QRadioButton*>(&control)) {
        option.text = pRadio->text();
        contents = QStyle::SE_RadioButtonContents;
    } else if (dynamic_cast<CGroupBox*>(&control) != nullptr) {
        return CGroupBox::TitleChrome(metrics);
    } else if (auto* pLabel = qobject_cast<QLabel*>(&control)) {
        return pLabel->text().isEmpty() ? -1 : 2 * pLabel->margin();
    } else {
        return -1;
    }
    if (option.text.isEmpty())
        return -1;
    return kWide - control.style()->subElementRect(contents, &option, &control).width();
}

// The smallest horizontal base unit, in pixels, with which cx dialog units are at least
// nPixels wide (MapDialogRect rounds cx × unit / 4 to the nearest pixel).
int UnitToFit(int cx, int nPixels)
{
    return std::max(1, (4 * nPixels - 2 + cx - 1) / cx);
}

// A window that first calls itself a tool bar, and a dialog after that for the window
// managers that know no tool bars, gets a title bar with only its close button.
void AskForATitleWithoutMinimiseOrMaximise(QWidget& window)
{
    auto* pX11 = qGuiApp != nullptr ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>()
                                    : nullptr;
    Display* pDisplay = pX11 != nullptr ? pX11->display() : nullptr;
    if (pDisplay == nullptr)
        return;
    const long types[] = {
        static_cast<long>(XInternAtom(pDisplay, "_NET_WM_WINDOW_TYPE_TOOLBAR", False)),
        static_cast<long>(XInternAtom(pDisplay, "_NET_WM_WINDOW_TYPE_DIALOG", False)),
    };
    XChangeProperty(pDisplay, window.winId(), XInternAtom(pDisplay, "_NET_WM_WINDOW_TYPE", False),
                    XA_ATOM, 32, PropModeReplace, reinterpret_cast<const unsigned char*>(types), 2);
    XFlush(pDisplay);
}

// Asks at every show: the show event comes after the native window is made and before it is
// mapped, which is when window managers read the window's type.
class CTitleHint : public QObject
{
public:
    explicit CTitleHint(QWidget* pWindow)
        : QObject(pWindow)
    {}

    bool eventFilter(QObject* pWatched, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Show && pWatched == parent())
            AskForATitleWithoutMinimiseOrMaximise(*static_cast<QWidget*>(pWatched));
        return false;
    }
};

} // namespace

void KeepTitleWithoutMinimiseOrMaximise(QWidget& window)
{
    window.installEventFilter(new CTitleHint(&window));
}

CDialog::CDialog(int nIDTemplate, QWidget* pParent)
    : QDialog(pParent)
{
    BuildFromTemplate(nIDTemplate);
}

CDialog::~CDialog() = default;

CSize CDialog::BaseUnitsOf(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters = metrics.horizontalAdvance(
        QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return {(letters / 26 + 1) / 2, metrics.height()};
}

CRect CDialog::MapDialogRect(int x, int y, int cx, int cy) const
{
    const int left = MulDiv(x, m_baseUnits.cx, 4);
    const int top = MulDiv(y, m_baseUnits.cy, 8);
    return {left, top, left + MulDiv(cx, m_baseUnits.cx, 4), top + MulDiv(cy, m_baseUnits.cy, 8)};
}

void CDialog::BuildFromTemplate(int nIDTemplate)
{
    const DLGTEMPLATE* pTemplate = FindDialogTemplate(nIDTemplate);
    CDC screen;
    const int dpi = screen.GetDeviceCaps(LOGPIXELSY);
    const char* face = pTemplate != nullptr ? pTemplate->lpszFace : dlgdata::kDialogFace;
    const int points = pTemplate != nullptr ? pTemplate->nPointSize : dlgdata::kDialogPointSize;
    m_font = QFont(CFont::ResolveFaceName(face));
    m_font.setPixelSize(MulDiv(points, dpi, 72));
    m_font.setKerning(false);
    m_baseUnits = BaseUnitsOf(m_font);
    setFont(m_font);
    if (pTemplate == nullptr)
        return;

    setWindowTitle(TrText(pTemplate->lpszCaption));
    Qt::WindowFlags flags = Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint;
    if ((pTemplate->style & WS_SYSMENU) != 0)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    setWindowFlags(flags);
    KeepTitleWithoutMinimiseOrMaximise(*this);
    int defaultButtons = 0;
    for (const DLGITEMTEMPLATE& item : pTemplate->items)
        if (std::strcmp(item.lpszClass, "Button") == 0 &&
            (item.style & dlgstyle::BS_TYPEMASK) == dlgstyle::BS_DEFPUSHBUTTON)
            ++defaultButtons;

    std::vector<QWidget*> frames;
    std::vector<std::pair<const DLGITEMTEMPLATE*, QWidget*>> built;
    for (const DLGITEMTEMPLATE& item : pTemplate->items) {
        const QString text = TrText(item.lpszText);
        const std::string_view cls = item.lpszClass;
        QWidget* pControl = nullptr;
        if (cls == "Button") {
            const std::uint32_t type = item.style & dlgstyle::BS_TYPEMASK;
            if (IsPushButton(item.style)) {
                auto* pButton = new QPushButton(text, this);
                pButton->setAutoDefault(true);
                // With one default button it takes Enter; with several, the focused one does.
                pButton->setDefault(type == dlgstyle::BS_DEFPUSHBUTTON && defaultButtons == 1);
                pControl = pButton;
            } else if (type == dlgstyle::BS_AUTOCHECKBOX) {
                pControl = new QCheckBox(text, this);
            } else if (type == dlgstyle::BS_RADIOBUTTON) {
                pControl = new CManualRadioButton(text, this);
            } else if (type == dlgstyle::BS_GROUPBOX) {
                pControl = new CGroupBox(text, this);
                frames.push_back(pControl);
            }
            if (auto* pButton = qobject_cast<QAbstractButton*>(pControl)) {
                const int nID = item.nID;
                connect(pButton, &QAbstractButton::clicked, this,
                        [this, nID] { OnCommand(nID, BN_CLICKED); });
            }
            // Text on the left: the mark sits at the right edge and the text at the left
            // edge, the space between them filling the control (once its size is known).
            if (pControl != nullptr && (item.style & dlgstyle::BS_LEFTTEXT) != 0)
                pControl->setLayoutDirection(Qt::RightToLeft);
        } else if (cls == "ListBox") {
            auto* pList = new CListBox(this);
            const int nID = item.nID;
            pList->SetDblclkHandler([this, nID] { OnCommand(nID, LBN_DBLCLK); });
            // The scroll bar appears when the lines do not fit, as a list box shows it.
            pList->setVerticalScrollBarPolicy((item.style & dlgstyle::WS_VSCROLL) != 0
                                                  ? Qt::ScrollBarAsNeeded
                                                  : Qt::ScrollBarAlwaysOff);
            pControl = pList;
        } else if (cls == "Edit") {
            auto* pEdit = new QLineEdit(this);
            pEdit->setFrame((item.style & WS_BORDER) != 0);
            const int nID = item.nID;
            connect(pEdit, &QLineEdit::textChanged, this,
                    [this, nID] { OnCommand(nID, EN_CHANGE); });
            pControl = pEdit;
        } else if (cls == "Static" && (item.style & dlgstyle::SS_TYPEMASK) == dlgstyle::SS_ICON) {
            pControl = IconControl(item.lpszText, this);
        } else if (cls == "Static") {
            const bool bGray = (item.style & dlgstyle::SS_TYPEMASK) == dlgstyle::SS_GRAYRECT;
            pControl = new CStatic(text, bGray, this);
        } else if (cls == "msctls_updown32") {
            pControl = new CUpDownCtrl(this);
        }
        if (pControl != nullptr)
            built.emplace_back(&item, pControl);
    }

    // The texts in the dialog font decide the width of a dialog unit as much as the font's
    // letters do: in a language or a font whose texts run wider than the template allowed
    // for, every position and width grows alike until each text shows whole.
    const QFontMetrics metrics(m_font);
    for (const auto& [pItem, pControl] : built) {
        const int chrome = TextChrome(*pControl, metrics);
        if (chrome >= 0 && pItem->cx > 0)
            m_baseUnits.cx = std::max(m_baseUnits.cx,
                                      UnitToFit(pItem->cx, chrome + TextWidth(*pControl, metrics)));
    }
    const CRect client = MapDialogRect(0, 0, pTemplate->cx, pTemplate->cy);
    setFixedSize(client.Width(), client.Height());

    QWidget* pPrevious = nullptr;
    for (const auto& [pItem, pControl] : built) {
        const DLGITEMTEMPLATE& item = *pItem;
        const CRect rect = MapDialogRect(item.x, item.y, item.cx, item.cy);
        pControl->setGeometry(rect.left, rect.top, rect.Width(), rect.Height());
        if (pControl->layoutDirection() == Qt::RightToLeft) {
            const int spacing = LeftTextSpacing(*pControl, TextWidth(*pControl, metrics));
            pControl->setStyleSheet(QStringLiteral("spacing: %1px;").arg(spacing));
        }
        if ((item.style & dlgstyle::WS_TABSTOP) != 0) {
            pControl->setFocusPolicy(Qt::StrongFocus);
            if (pPrevious != nullptr)
                setTabOrder(pPrevious, pControl);
            pPrevious = pControl;
        } else if (pControl->focusPolicy() != Qt::NoFocus) {
            pControl->setFocusPolicy(Qt::ClickFocus);
        }
        pControl->setVisible((item.style & WS_VISIBLE) != 0);
        m_controls.emplace_back(item.nID, pControl);
    }
    // Frames lie under the controls they surround.
    for (QWidget* pFrame : frames)
        pFrame->lower();
}

int CDialog::DoModal()
{
    m_nResult = 0;
    OnInitDialog();
    const int result = exec();
    return result == IDOK ? IDOK : IDCANCEL;
}

int CDialog::OnInitDialog()
{
    m_nResult = 0;
    return 1;
}

void CDialog::OnOK()
{
    EndDialog(IDOK);
}

void CDialog::OnCancel()
{
    EndDialog(IDCANCEL);
}

void CDialog::EndDialog(int nResult)
{
    m_nResult = nResult;
    done(nResult);
}

bool CDialog::OnCommand(int nID, int nCode)
{
    if (nCode != BN_CLICKED)
        return false;
    if (nID == IDOK) {
        OnOK();
        return true;
    }
    if (nID == IDCANCEL) {
        OnCancel();
        return true;
    }
    return false;
}

const CBrush* CDialog::OnCtlColor(CDC*, QWidget*, UINT)
{
    return nullptr;
}

QWidget* CDialog::GetDlgItem(int nID) const
{
    for (const auto& [id, pControl] : m_controls)
        if (id == nID)
            return pControl;
    return nullptr;
}

int CDialog::GetDlgCtrlID(const QWidget* pWnd) const
{
    for (const auto& [id, pControl] : m_controls)
        if (pControl == pWnd)
            return id;
    return IDC_STATIC;
}

void CDialog::CheckDlgButton(int nID, int nCheck)
{
    if (auto* pButton = qobject_cast<QAbstractButton*>(GetDlgItem(nID)))
        pButton->setChecked(nCheck != 0);
}

int CDialog::IsDlgButtonChecked(int nID) const
{
    const auto* pButton = qobject_cast<const QAbstractButton*>(GetDlgItem(nID));
    return pButton != nullptr && pButton->isChecked() ? 1 : 0;
}

std::string CDialog::GetDlgItemText(int nID) const
{
    QWidget* pControl = GetDlgItem(nID);
    QString text;
    if (auto* pEdit = qobject_cast<QLineEdit*>(pControl))
        text = pEdit->text();
    else if (auto* pButton = qobject_cast<QAbstractButton*>(pControl))
        text = pButton->text();
    else if (auto* pLabel = qobject_cast<QLabel*>(pControl))
        text = pLabel->text();
    else if (auto* pGroup = qobject_cast<QGroupBox*>(pControl))
        text = pGroup->title();
    return FromQString(text);
}

void CDialog::SetDlgItemText(int nID, const std::string& text)
{
    QWidget* pControl = GetDlgItem(nID);
    const QString value = ToQString(text);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pControl))
        pEdit->setText(value);
    else if (auto* pButton = qobject_cast<QAbstractButton*>(pControl))
        pButton->setText(value);
    else if (auto* pLabel = qobject_cast<QLabel*>(pControl))
        pLabel->setText(value);
    else if (auto* pGroup = qobject_cast<QGroupBox*>(pControl))
        pGroup->setTitle(value);
}

void CDialog::accept()
{
    OnCommand(IDOK, BN_CLICKED);
}

void CDialog::reject()
{
    OnCommand(IDCANCEL, BN_CLICKED);
}

void CDialog::closeEvent(QCloseEvent* pEvent)
{
    if (isVisible())
        OnCommand(IDCANCEL, BN_CLICKED);
    if (isVisible())
        pEvent->ignore();
    else
        pEvent->accept();
}

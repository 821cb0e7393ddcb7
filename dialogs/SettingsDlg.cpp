#include "dialogs/SettingsDlg.h"

#include "base/Prompts.h"
#include "base/QtText.h"
#include "base/ScanInt.h"
#include "dialogs/Static.h"
#include "dialogs/WindowSystem.h"
#include "draw/DC.h"
#include "res/Resource.h"
#include "settings/PlayerSettings.h"

#include <QCheckBox>
#include <QLineEdit>

#include <cstdint>
#include <limits>
#include <optional>
#include <string>

#include <QtGlobal>

namespace {

// The messages of the component validation.
constexpr const char* kNotUnsignedText =
    QT_TRANSLATE_NOOP("Sorvane", "正の整数を入力してください。");
constexpr const char* kOutOfRangeText =
    QT_TRANSLATE_NOOP("Sorvane", "0 から 255 までの整数を入力してください。");

// An unsigned decimal number with optional surrounding blanks; nothing for anything else
// (no digits, a sign, other characters, or a number beyond 32 bits).
std::optional<UINT> ParseUnsigned(const std::string& text)
{
    std::size_t pos = text.find_first_not_of(" \t");
    if (pos == std::string::npos)
        return std::nullopt;
    const std::optional<std::uint64_t> value = ScanDigits(text, pos);
    if (!value || *value > std::numeric_limits<UINT>::max() ||
        text.find_first_not_of(" \t", pos) != std::string::npos)
        return std::nullopt;
    return static_cast<UINT>(*value);
}

} // namespace

CSettingsDlg::CSettingsDlg(CPlayerSettings& settings, QWidget* pParent)
    : CDialog(IDD_SETTINGS, pParent)
    , m_settings(settings)
{
    m_wndSwatch = dynamic_cast<CStatic*>(GetDlgItem(IDC_SETTINGS_SWATCH));
}

CSettingsDlg::~CSettingsDlg() = default;

int CSettingsDlg::DoModal()
{
    return CDialog::DoModal();
}

COLORREF* CSettingsDlg::TargetColor(int nTarget)
{
    switch (nTarget) {
    case 0:
        return &m_crButtonColor;
    case 1:
        return &m_crLedColor;
    case 2:
        return &m_crTextColor;
    default:
        return nullptr;
    }
}

COLORREF CSettingsDlg::GetCurrentColor() const
{
    return (m_nRed & 0xFF) | (m_nGreen & 0xFF) << 8 | (m_nBlue & 0xFF) << 16;
}

int CSettingsDlg::SplitColor(COLORREF crColor, UINT& nRed, UINT& nGreen, UINT& nBlue)
{
    nRed = crColor & 0xFF;
    nGreen = (crColor >> 8) & 0xFF;
    nBlue = (crColor >> 16) & 0xFF;
    return 1;
}

int CSettingsDlg::UpdateData(int bSaveAndValidate)
{
    auto* pRepeat = dynamic_cast<QCheckBox*>(GetDlgItem(IDC_SETTINGS_REPEAT));
    struct Component
    {
        int nID;
        UINT* pValue;
    };
    const Component components[] = {
        {IDC_SETTINGS_BLUE, &m_nBlue},
        {IDC_SETTINGS_RED, &m_nRed},
        {IDC_SETTINGS_GREEN, &m_nGreen},
    };

    if (bSaveAndValidate == 0) {
        m_bExchanging = true;
        if (pRepeat != nullptr)
            pRepeat->setChecked(m_bRepeatPlay != 0);
        for (const Component& component : components)
            SetDlgItemText(component.nID, std::to_string(*component.pValue));
        m_bExchanging = false;
        return 1;
    }

    if (pRepeat != nullptr)
        m_bRepeatPlay = pRepeat->isChecked() ? 1 : 0;
    for (const Component& component : components) {
        const std::optional<UINT> value = ParseUnsigned(GetDlgItemText(component.nID));
        const char* failure = nullptr;
        if (!value) {
            failure = kNotUnsignedText;
        } else {
            *component.pValue = *value;
            if (*value > kMaxComponent)
                failure = kOutOfRangeText;
        }
        if (failure != nullptr) {
            Prompts().ShowMessage(failure);
            if (auto* pEdit = dynamic_cast<QLineEdit*>(GetDlgItem(component.nID))) {
                pEdit->setFocus(Qt::OtherFocusReason);
                pEdit->selectAll();
            }
            return 0;
        }
    }
    return 1;
}

int CSettingsDlg::OnInitDialog()
{
    CDialog::OnInitDialog();
    m_bRepeatPlay = m_settings.Get(SK_REPEAT);
    m_crButtonColor = static_cast<COLORREF>(m_settings.Get(SK_BUTTON_COLOR));
    m_crLedColor = static_cast<COLORREF>(m_settings.Get(SK_LED_COLOR));
    m_crTextColor = static_cast<COLORREF>(m_settings.Get(SK_TEXT_COLOR));
    const int colorKeys[] = {SK_BUTTON_COLOR, SK_LED_COLOR, SK_TEXT_COLOR};
    const COLORREF crTarget = m_nColorTarget >= 0 && m_nColorTarget <= 2
                                  ? static_cast<COLORREF>(m_settings.Get(colorKeys[m_nColorTarget]))
                                  : 0;
    m_nLayoutChoice = m_settings.Get(SK_LAYOUT);
    SplitColor(crTarget, m_nRed, m_nGreen, m_nBlue);
    for (int i = 0; i < 3; ++i) {
        CheckDlgButton(IDC_SETTINGS_LAYOUT_1 + i, i == m_nLayoutChoice ? 1 : 0);
        CheckDlgButton(IDC_SETTINGS_TARGET_BUTTONS + i, i == m_nColorTarget ? 1 : 0);
    }
    CheckDlgButton(IDC_SETTINGS_TOPMOST, m_settings.Get(SK_TOPMOST) != 0 ? 1 : 0);
    if (QWidget* pTopmost = GetDlgItem(IDC_SETTINGS_TOPMOST); pTopmost && !CanPlaceWindows()) {
        pTopmost->setEnabled(false);
        pTopmost->setToolTip(TrText(kTopmostUnavailableTip));
    }
    UpdateData(0);
    if (QWidget* pFirst = GetDlgItem(IDOK))
        pFirst->setFocus(Qt::OtherFocusReason);
    return 1;
}

void CSettingsDlg::OnOK()
{
    if (UpdateData(1) == 0)
        return;
    if (COLORREF* pTarget = TargetColor(m_nColorTarget))
        *pTarget = GetCurrentColor();
    m_settings.Set(SK_REPEAT, m_bRepeatPlay);
    m_settings.Set(SK_BUTTON_COLOR, static_cast<int>(m_crButtonColor));
    m_settings.Set(SK_LED_COLOR, static_cast<int>(m_crLedColor));
    m_settings.Set(SK_TEXT_COLOR, static_cast<int>(m_crTextColor));
    m_settings.Set(SK_LAYOUT, m_nLayoutChoice);
    m_settings.Set(SK_TOPMOST, IsDlgButtonChecked(IDC_SETTINGS_TOPMOST));
    CDialog::OnOK();
}

bool CSettingsDlg::OnCommand(int nID, int nCode)
{
    if (nCode == EN_CHANGE) {
        if (m_bExchanging)
            return true;
        switch (nID) {
        case IDC_SETTINGS_RED:
            OnChangeRed();
            return true;
        case IDC_SETTINGS_GREEN:
            OnChangeGreen();
            return true;
        case IDC_SETTINGS_BLUE:
            OnChangeBlue();
            return true;
        default:
            return false;
        }
    }
    if (nCode != BN_CLICKED)
        return false;
    if (nID >= IDC_SETTINGS_TARGET_BUTTONS && nID <= IDC_SETTINGS_TARGET_TEXT) {
        OnColorTarget(static_cast<UINT>(nID));
        return true;
    }
    if (nID >= IDC_SETTINGS_LAYOUT_1 && nID <= IDC_SETTINGS_LAYOUT_3) {
        OnLayoutChoice(static_cast<UINT>(nID));
        return true;
    }
    if (nID == IDC_SETTINGS_DEFAULT_COLOR) {
        OnDefaultColors();
        return true;
    }
    if (nID == IDC_SETTINGS_PICK_COLOR) {
        OnPickColor();
        return true;
    }
    return CDialog::OnCommand(nID, nCode);
}

const CBrush* CSettingsDlg::OnCtlColor(CDC* pDC, QWidget* pWnd, UINT nCtlColor)
{
    const CBrush* pDefault = CDialog::OnCtlColor(pDC, pWnd, nCtlColor);
    if (nCtlColor != CTLCOLOR_STATIC || pWnd == nullptr || pWnd != m_wndSwatch)
        return pDefault;
    const COLORREF crColor = GetCurrentColor();
    pDC->SetBkColor(crColor);
    m_hSwatchBrush = std::make_unique<CBrush>(crColor);
    return m_hSwatchBrush.get();
}

void CSettingsDlg::PaintSwatch()
{
    if (m_wndSwatch != nullptr)
        m_wndSwatch->repaint();
}

void CSettingsDlg::OnChangeComponent()
{
    UpdateData(1);
    PaintSwatch();
}

void CSettingsDlg::OnChangeRed()
{
    OnChangeComponent();
}

void CSettingsDlg::OnChangeGreen()
{
    OnChangeComponent();
}

void CSettingsDlg::OnChangeBlue()
{
    OnChangeComponent();
}

void CSettingsDlg::KeepRepeatCheck()
{
    if (auto* pRepeat = dynamic_cast<QCheckBox*>(GetDlgItem(IDC_SETTINGS_REPEAT)))
        m_bRepeatPlay = pRepeat->isChecked() ? 1 : 0;
}

void CSettingsDlg::OnDefaultColors()
{
    if (m_nColorTarget >= 0 && m_nColorTarget <= 2)
        SplitColor(kDefaultColors[m_nColorTarget], m_nRed, m_nGreen, m_nBlue);
    PaintSwatch();
    KeepRepeatCheck();
    UpdateData(0);
}

void CSettingsDlg::OnPickColor()
{
    COLORREF crChosen = 0;
    if (Prompts().AskColor(GetCurrentColor(), crChosen)) {
        SplitColor(crChosen, m_nRed, m_nGreen, m_nBlue);
        KeepRepeatCheck();
        UpdateData(0);
    }
    PaintSwatch();
}

void CSettingsDlg::OnColorTarget(UINT nID)
{
    if (nID < IDC_SETTINGS_TARGET_BUTTONS || nID > IDC_SETTINGS_TARGET_TEXT)
        return;
    UpdateData(1);
    if (COLORREF* pOld = TargetColor(m_nColorTarget))
        *pOld = GetCurrentColor();
    m_nColorTarget = static_cast<int>(nID) - IDC_SETTINGS_TARGET_BUTTONS;
    for (int i = 0; i < 3; ++i)
        CheckDlgButton(IDC_SETTINGS_TARGET_BUTTONS + i, i == m_nColorTarget ? 1 : 0);
    SplitColor(*TargetColor(m_nColorTarget), m_nRed, m_nGreen, m_nBlue);
    UpdateData(0);
    PaintSwatch();
}

void CSettingsDlg::OnLayoutChoice(UINT nID)
{
    if (nID < IDC_SETTINGS_LAYOUT_1 || nID > IDC_SETTINGS_LAYOUT_3)
        return;
    m_nLayoutChoice = static_cast<int>(nID) - IDC_SETTINGS_LAYOUT_1;
    for (int i = 0; i < 3; ++i)
        CheckDlgButton(IDC_SETTINGS_LAYOUT_1 + i, i == m_nLayoutChoice ? 1 : 0);
}

#pragma once

#include "base/WinTypes.h"
#include "dialogs/Dialog.h"
#include "draw/GdiObjects.h"

#include <memory>

class CDC;
class CPlayerSettings;
class CStatic;

// The settings dialog: repeat, always-on-top, the layout index and the three colours
// (buttons, display panel, text), built from dialog template 135. The three colours are
// edited one at a time through three component edits (0 to 255), a swatch, a default-colour
// button and the colour picker (Prompts().AskColor); three radio buttons choose which.
//
// It reads the settings in OnInitDialog and writes exactly six of them with
// CPlayerSettings::Set in OnOK, nothing on cancel; it never touches the settings file.
// Messages of its field validation go through Prompts(). User-interface thread only; modal.
//
// Tests drive it without a modal loop: OnInitDialog(), then the public widgets (GetDlgItem)
// or handlers, then OnOK() or OnCancel(); GetResult() tells how it ended.
class CSettingsDlg : public CDialog
{
public:
    // Default colours per colour target: buttons, display panel, text.
    static constexpr COLORREF kDefaultColors[3] = {0xFFC8B4, 0xE7FFF7, 0x000000};
    // Largest value of a colour component edit.
    static constexpr UINT kMaxComponent = 255;
    // The tip of the always-on-top check box where the desktop cannot keep a window on top
    // (natively on Wayland): the box is greyed, and the setting kept as it was.
    static constexpr const char* kTopmostUnavailableTip =
        QT_TRANSLATE_NOOP("Sorvane", "このデスクトップでは最上位ウインドウにできません");

    // Builds the dialog from template 135 with pParent as parent; settings must outlive it.
    CSettingsDlg(CPlayerSettings& settings, QWidget* pParent);
    ~CSettingsDlg() override;

    // Initialises the dialog, shows it modally and returns IDOK or IDCANCEL.
    int DoModal() override;

    // Reads the settings into the fields and controls; the colour target starts at 0, the
    // buttons; the always-on-top box is greyed with kTopmostUnavailableTip where windows
    // cannot be kept on top. Returns TRUE.
    int OnInitDialog() override;
    // Reads the fields back (on a validation failure: message, focus, dialog stays open,
    // nothing stored), stores the edited colour into the current target and writes keys 9,
    // 6, 7, 5, 8 and 1, in that order; then ends the dialog with IDOK.
    void OnOK() override;

    // Exchanges the fields with the controls: FALSE writes them to the controls; TRUE reads
    // and validates them (0 to 255 for each component), stopping at the first field that
    // fails after showing its message and focusing its edit. Returns FALSE on a failure.
    int UpdateData(int bSaveAndValidate = 1);

    // The colour the component fields compose: red | green << 8 | blue << 16, each
    // component taken with its low eight bits.
    COLORREF GetCurrentColor() const;
    // Splits crColor into its red (bits 0-7), green (8-15) and blue (16-23). Returns 1.
    static int SplitColor(COLORREF crColor, UINT& nRed, UINT& nGreen, UINT& nBlue);

    // The brush to paint a control with. For the swatch asking as a static control
    // (CTLCOLOR_STATIC): sets the context's background to the current colour and returns a
    // new solid brush of it, owned by the dialog until the next request or its end. Any other
    // request gets the default (null: the control's usual colours).
    const CBrush* OnCtlColor(CDC* pDC, QWidget* pWnd, UINT nCtlColor) override;
    // The commands of the dialog's controls: edits, buttons and radio buttons.
    bool OnCommand(int nID, int nCode) override;

    // Message handlers, public so that tests can call them directly.
    void OnChangeRed();
    void OnChangeGreen();
    void OnChangeBlue();
    void OnDefaultColors();
    void OnPickColor();
    // nID 1026, 1027 or 1028: the colour being edited becomes buttons, display or text.
    void OnColorTarget(UINT nID);
    // nID 1023, 1024 or 1025: layout 0, 1 or 2.
    void OnLayoutChoice(UINT nID);

    // Paints the swatch (control 1005) with the current colour, at once.
    void PaintSwatch();

    COLORREF m_crButtonColor = 0;
    CStatic* m_wndSwatch = nullptr;
    int m_bRepeatPlay = 1;
    UINT m_nBlue = 0;
    UINT m_nRed = 0;
    UINT m_nGreen = 0;
    COLORREF m_crLedColor = 0;
    COLORREF m_crTextColor = 0;
    int m_nColorTarget = 0;
    int m_nLayoutChoice = 0;

private:
    CPlayerSettings& m_settings;
    std::unique_ptr<CBrush> m_hSwatchBrush;

    // The colour field of a target (0 buttons, 1 display, 2 text); null for another.
    COLORREF* TargetColor(int nTarget);
    // Whether the edits' change notifications are being suppressed (a write to the controls).
    bool m_bExchanging = false;
    void OnChangeComponent();
    // Takes the repeat check box's state into m_bRepeatPlay, so that a write of all fields
    // to the controls keeps the user's latest choice there.
    void KeepRepeatCheck();
};

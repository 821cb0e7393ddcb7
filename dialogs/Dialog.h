#pragma once

#include "draw/GdiObjects.h"
#include "draw/GdiTypes.h"

#include <QDialog>
#include <QFont>

#include <string>
#include <utility>
#include <vector>

class CDC;
class QCloseEvent;

// Notification codes a control sends with its identifier to its dialog's OnCommand.
inline constexpr int BN_CLICKED = 0;
inline constexpr int LBN_DBLCLK = 2;
inline constexpr int EN_CHANGE = 0x0300;
// The kind of a control asking its dialog for a brush: a static control.
inline constexpr UINT CTLCOLOR_STATIC = 6;

// Asks the window manager, whenever window is about to be shown, for a title bar without
// minimise and maximise buttons (X11 only). Some window managers (openbox among them) show
// them on every dialog whatever its motif hints say, and minimising a dialog there minimises
// the player with it. Template dialogs ask by themselves; others (message boxes, file and
// colour dialogs) are given to this before they show.
void KeepTitleWithoutMinimiseOrMaximise(QWidget& window);

// A dialog window built from one of the player's dialog templates (res/DialogTemplates.h):
// caption, font, size and controls, positions converted from dialog units with the dialog
// font's average character size (x × width / 4, y × height / 8); the width unit grows where
// a control's text, in the user's language and the font found, would not show whole in the
// template's width, so every position and width grows alike. Controls keep their
// template identifiers and are reached by them; the template's order is the focus order.
// Button clicks, edit changes and list double clicks arrive at OnCommand; Enter presses the
// default button, Escape and the window's close box give the IDCANCEL command, as the
// dialog manager does. User-interface thread only.
class CDialog : public QDialog
{
public:
    // Builds the window and its controls from template nIDTemplate (hidden). An unknown
    // template gives an empty window without controls.
    CDialog(int nIDTemplate, QWidget* pParent);
    ~CDialog() override;

    // OnInitDialog, then the modal loop; IDOK or IDCANCEL as EndDialog gave it.
    virtual int DoModal();
    // Called once before the dialog is shown; returns TRUE.
    virtual int OnInitDialog();
    // The OK and cancel steps: by default they end the dialog with IDOK or IDCANCEL.
    virtual void OnOK();
    virtual void OnCancel();
    // Ends the dialog with nResult: a modal loop returns it; a modeless window is hidden.
    void EndDialog(int nResult);
    // How the dialog last ended; 0 while it has not ended.
    int GetResult() const { return m_nResult; }

    // A command from control nID with notification nCode (BN_CLICKED, EN_CHANGE,
    // LBN_DBLCLK). By default IDOK runs OnOK and IDCANCEL runs OnCancel. Returns whether
    // it was handled.
    virtual bool OnCommand(int nID, int nCode);
    // The brush a control asks for before it paints itself (nCtlColor tells its kind). Null
    // lets it paint in its usual colours. The brush stays the dialog's.
    virtual const CBrush* OnCtlColor(CDC* pDC, QWidget* pWnd, UINT nCtlColor);

    // The first control with identifier nID; null when there is none.
    QWidget* GetDlgItem(int nID) const;
    // The identifier of a control of this dialog; IDC_STATIC for anything else.
    int GetDlgCtrlID(const QWidget* pWnd) const;
    // Check marks of check boxes and radio buttons (0 clear, 1 checked).
    void CheckDlgButton(int nID, int nCheck);
    int IsDlgButtonChecked(int nID) const;
    // Text of an edit, button or static control (UTF-8); "" for an unknown one.
    std::string GetDlgItemText(int nID) const;
    void SetDlgItemText(int nID, const std::string& text);

    // The dialog font (the template's face and size, with its stand-in when the face is
    // missing) and the base units: its average character width, or more where a text needs
    // it, and its height in pixels.
    const QFont& GetDialogFont() const { return m_font; }
    CSize GetBaseUnits() const { return m_baseUnits; }
    // A rectangle in dialog units (x, y, width, height) as pixels.
    CRect MapDialogRect(int x, int y, int cx, int cy) const;
    // The base units of a font: the average width of the 52 Latin letters, rounded, and
    // the height of a character cell.
    static CSize BaseUnitsOf(const QFont& font);

protected:
    void accept() override;
    void reject() override;
    void closeEvent(QCloseEvent* pEvent) override;

private:
    std::vector<std::pair<int, QWidget*>> m_controls;
    QFont m_font;
    CSize m_baseUnits;
    int m_nResult = 0;

    void BuildFromTemplate(int nIDTemplate);
};

#pragma once

#include "platform/GdiTypes.h"

#include <QDialog>
#include <QFont>

#include <string>
#include <utility>
#include <vector>

class QCloseEvent;

// A dialog window built from one of the player's dialog templates (res/DialogTemplates.h):
// caption, font, size and controls, positions converted from dialog units with the dialog
// font's average character size (x × width / 4, y × height / 8). Controls keep their
// template identifiers and are reached by them. The template's tab order is the widgets'
// focus order. User-interface thread only.
class CDialog : public QDialog
{
public:
    // Builds the window and its controls from template nIDTemplate (hidden). An unknown
    // template gives an empty window without controls.
    CDialog(int nIDTemplate, QWidget* pParent);
    ~CDialog() override;

    // OnInitDialog, then the modal loop; IDOK or IDCANCEL as EndDialog gave it.
    virtual int DoModal();
    // Called once before the dialog is shown; TRUE lets the first control take the focus.
    virtual int OnInitDialog();
    // The OK and cancel steps: by default they end the dialog with IDOK or IDCANCEL.
    virtual void OnOK();
    virtual void OnCancel();
    // Ends the dialog with nResult: a modal loop returns it; a modeless window is hidden.
    void EndDialog(int nResult);
    // How the dialog last ended; 0 while it has not ended.
    int GetResult() const { return m_nResult; }

    // The first control with identifier nID; null when there is none.
    QWidget* GetDlgItem(int nID) const;
    // Check marks of check boxes and radio buttons (0 clear, 1 checked).
    void CheckDlgButton(int nID, int nCheck);
    int IsDlgButtonChecked(int nID) const;
    // Checks nIDCheck and clears every other button from nIDFirst to nIDLast.
    void CheckRadioButton(int nIDFirst, int nIDLast, int nIDCheck);
    // Text of an edit, button or static control (UTF-8); "" for an unknown one.
    std::string GetDlgItemText(int nID) const;
    void SetDlgItemText(int nID, const std::string& text);

    // The dialog font (the template's face and size, with its stand-in when the face is
    // missing) and its base units: average character width and height in pixels.
    const QFont& GetDialogFont() const { return m_font; }
    CSize GetBaseUnits() const { return m_baseUnits; }
    // A rectangle in dialog units (x, y, width, height) as pixels.
    CRect MapDialogRect(int x, int y, int cx, int cy) const;
    // The base units of a font: the average width of the 52 Latin letters, rounded, and
    // the height of a character cell.
    static CSize BaseUnitsOf(const QFont& font);

protected:
    // Enter and Escape as the dialog manager gives them: OK and cancel commands.
    void accept() override;
    void reject() override;

private:
    std::vector<std::pair<int, QWidget*>> m_controls;
    QFont m_font;
    CSize m_baseUnits;
    int m_nResult = 0;

    void BuildFromTemplate(int nIDTemplate);
};

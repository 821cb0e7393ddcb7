#pragma once

#include <QDialog>

// The about box, dialog 100: caption "Sorvaneのﾊﾞｰｼﾞｮﾝ情報", the program's icon and an OK
// button, laid out in dialog units of its 9-point font. It binds no controls.
// User-interface thread only.
class CAboutDlg : public QDialog
{
public:
    static constexpr const char* kCaption = "Sorvaneのﾊﾞｰｼﾞｮﾝ情報";
    static constexpr const char* kFace = "ＭＳ Ｐゴシック";
    static constexpr int kPointSize = 9;

    explicit CAboutDlg(QWidget* pParent = nullptr);

    // Runs the dialog modally; IDOK when closed with OK, IDCANCEL otherwise.
    int DoModal();

    // A rectangle in dialog units as pixels of this dialog's font.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;
};

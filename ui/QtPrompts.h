#pragma once

#include "base/Prompts.h"

#include <QPointer>
#include <QStringList>

#include <string>
#include <vector>

class QDialog;
class QWidget;

// The prompts of the running player, on Qt's own dialogs: a message box captioned
// kAppTitle with an OK button only, the file dialog (the player's filter texts in the user's
// language, patterns matching letters of either case) and the colour dialog, which keeps its custom
// colours for the whole run. Each is modal over the active window. The program installs one with
// SetPrompts at start-up. User-interface thread only.
class CQtPrompts : public IPrompts
{
public:
    CQtPrompts() = default;
    ~CQtPrompts() override = default;
    CQtPrompts(const CQtPrompts&) = delete;
    CQtPrompts& operator=(const CQtPrompts&) = delete;

    void ShowMessage(const std::string& text) override;
    bool AskFiles(const FileDialogRequest& request, std::vector<std::string>& paths) override;
    bool AskColor(COLORREF initial, COLORREF& chosen) override;
    // Closes the open dialogs (each as cancelled) and shows none from now on.
    void EndPrompts() override;

    // The name filters of a filter text ("Name|*.a; *.b||"), each "Name (patterns)" with
    // every letter of a pattern given in both cases: "*.mid" becomes "*.[mM][iI][dD]".
    static QStringList NameFilters(const std::string& filter);
    // One pattern with every letter matching either case.
    static QString CaseInsensitivePattern(const QString& pattern);

private:
    static QWidget* Owner();
    // Runs dialog modally unless the prompts have ended; its result, Rejected when not shown.
    int Run(QDialog& dialog);

    bool m_bEnded = false;
    // The dialogs open now, innermost last: a dialog's loop may open another.
    std::vector<QPointer<QDialog>> m_open;
};

#include "ui/QtPrompts.h"

#include "base/QtText.h"
#include "dialogs/Dialog.h"

#include <QApplication>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QMessageBox>

#include <algorithm>

namespace {

// An open dialog that also takes typed names of files that do not exist: whoever opens them
// says so, in the player's own words. A typed folder is still entered.
class COpenFileDialog : public QFileDialog
{
public:
    using QFileDialog::QFileDialog;

    void accept() override
    {
        const QStringList files = selectedFiles();
        const bool bMissing = std::any_of(
            files.begin(), files.end(),
            [](const QString& file) { return !QFileInfo::exists(file); });
        const bool bFolder = std::any_of(files.begin(), files.end(), [](const QString& file) {
            return QFileInfo(file).isDir();
        });
        if (acceptMode() == AcceptOpen && bMissing && !bFolder) {
            QDialog::accept();
            return;
        }
        QFileDialog::accept();
    }
};

// The patterns of a filter text ("Name|*.a; *.b||"): every second part between bars.
QStringList FilterPatterns(const QString& filter)
{
    QStringList patterns;
    const QStringList parts = filter.split(u'|');
    for (qsizetype i = 1; i < parts.size(); i += 2)
        patterns << parts[i];
    return patterns;
}

// A filter text with its names in the user's language, entry by entry: an entry that is a
// whole filter text of its own ("Name|patterns||") is looked up as one, else its name alone.
// A translation that changed the patterns is not taken: it could hide the files the dialog is
// for.
std::string TranslatedFilter(const std::string& filter)
{
    const QStringList parts = ToQString(filter).split(u'|');
    QString translated;
    for (qsizetype i = 0; i + 1 < parts.size() && !parts[i].isEmpty(); i += 2) {
        const QString entry = parts[i] + u'|' + parts[i + 1] + QStringLiteral("||");
        const QString whole = TrText(FromQString(entry).c_str());
        const QString name = whole != entry && FilterPatterns(whole) == FilterPatterns(entry)
                                 ? whole.section(u'|', 0, 0)
                                 : TrText(FromQString(parts[i]).c_str());
        translated += name + u'|' + parts[i + 1] + u'|';
    }
    translated += u'|';
    return FromQString(translated);
}

} // namespace

QWidget* CQtPrompts::Owner()
{
    QWidget* pOwner = QApplication::activeModalWidget();
    return pOwner != nullptr ? pOwner : QApplication::activeWindow();
}

int CQtPrompts::Run(QDialog& dialog)
{
    if (m_bEnded)
        return QDialog::Rejected;
    m_open.emplace_back(&dialog);
    const int nResult = dialog.exec();
    std::erase(m_open, &dialog);
    return m_bEnded ? static_cast<int>(QDialog::Rejected) : nResult;
}

void CQtPrompts::EndPrompts()
{
    m_bEnded = true;
    // Innermost first, so that each loop ends inside the one that opened it.
    for (auto it = m_open.rbegin(); it != m_open.rend(); ++it)
        if (*it != nullptr)
            (*it)->done(QDialog::Rejected);
}

void CQtPrompts::ShowMessage(const std::string& text)
{
    if (m_bEnded)
        return;
    QMessageBox box(QMessageBox::Warning, ToQString(kAppTitle), TrMessage(text), QMessageBox::Ok,
                    Owner());
    KeepTitleWithoutMinimiseOrMaximise(box);
    Run(box);
}

QString CQtPrompts::CaseInsensitivePattern(const QString& pattern)
{
    QString result;
    bool bInClass = false;
    for (const QChar c : pattern) {
        if (c == u'[')
            bInClass = true;
        else if (c == u']')
            bInClass = false;
        const QChar lower = c.toLower();
        const QChar upper = c.toUpper();
        if (!bInClass && c.isLetter() && lower != upper) {
            result += u'[';
            result += lower;
            result += upper;
            result += u']';
        } else {
            result += c;
        }
    }
    return result;
}

QStringList CQtPrompts::NameFilters(const std::string& filter)
{
    QStringList filters;
    const QString converted = ToQString(ConvertFilter(filter));
    for (const QString& entry : converted.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
        const qsizetype open = entry.lastIndexOf(u'(');
        if (open < 0 || !entry.endsWith(u')')) {
            filters << entry;
            continue;
        }
        QStringList patterns;
        const QString list = entry.mid(open + 1, entry.size() - open - 2);
        for (const QString& pattern : list.split(u' ', Qt::SkipEmptyParts))
            patterns << CaseInsensitivePattern(pattern);
        filters << entry.left(open + 1) + patterns.join(u' ') + u')';
    }
    return filters;
}

bool CQtPrompts::AskFiles(const FileDialogRequest& request, std::vector<std::string>& paths)
{
    COpenFileDialog dialog(Owner());
    KeepTitleWithoutMinimiseOrMaximise(dialog);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = NameFilters(TranslatedFilter(request.strFilter));
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
        dialog.selectNameFilter(filters.value(request.nFilterIndex - 1, filters.front()));
    }
    if (request.bOpen) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.bMultiSelect ? QFileDialog::ExistingFiles
                                                : QFileDialog::ExistingFile);
    } else {
        // A chosen file is replaced without a question, as the player's save commands ask.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    QString suffix = ToQString(request.strDefExt);
    if (suffix.startsWith(u'.'))
        suffix.remove(0, 1);
    dialog.setDefaultSuffix(suffix);
    if (!request.strFileName.empty())
        dialog.selectFile(ToQString(request.strFileName));
    if (Run(dialog) != QDialog::Accepted)
        return false;
    paths.clear();
    for (const QString& path : dialog.selectedFiles())
        paths.push_back(FromQString(path));
    return !paths.empty();
}

bool CQtPrompts::AskColor(COLORREF initial, COLORREF& chosen)
{
    QColorDialog dialog(QColor(GetRValue(initial), GetGValue(initial), GetBValue(initial)),
                        Owner());
    KeepTitleWithoutMinimiseOrMaximise(dialog);
    if (Run(dialog) != QDialog::Accepted)
        return false;
    const QColor colour = dialog.selectedColor();
    chosen = RGB(colour.red(), colour.green(), colour.blue());
    return true;
}

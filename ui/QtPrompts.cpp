#include "ui/QtPrompts.h"

#include <QApplication>
#include <QColorDialog>
#include <QFile>
#include <QFileDialog>
#include <QMessageBox>

QWidget* CQtPrompts::Owner()
{
    QWidget* pOwner = QApplication::activeModalWidget();
    return pOwner != nullptr ? pOwner : QApplication::activeWindow();
}

void CQtPrompts::ShowMessage(const std::string& text)
{
    QMessageBox box(QMessageBox::Warning, QString::fromUtf8(kAppTitle), QString::fromUtf8(text),
                    QMessageBox::Ok, Owner());
    box.exec();
}

QString CQtPrompts::CaseInsensitivePattern(const QString& pattern)
{
    QString result;
    bool bInClass = false;
    for (const QChar c : pattern) {
        if (c == u'[') {
            bInClass = true;
        } else if (c == u']') {
            bInClass = false;
        }
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
    const QString converted = QString::fromUtf8(ConvertFilter(filter));
    for (const QString& entry : converted.split(QStringLiteral(";;"), Qt::SkipEmptyParts)) {
        const qsizetype open = entry.lastIndexOf(u'(');
        if (open < 0 || !entry.endsWith(u')')) {
            filters << entry;
            continue;
        }
        QStringList patterns;
        const QString list = entry.mid(open + 1, entry.size() - open - 2);
        for (const QString& pattern : list.split(u' ', Qt::SkipEmptyParts)) {
            patterns << CaseInsensitivePattern(pattern);
        }
        filters << entry.left(open + 1) + patterns.join(u' ') + u')';
    }
    return filters;
}

bool CQtPrompts::AskFiles(const FileDialogRequest& request, std::vector<std::string>& paths)
{
    QFileDialog dialog(Owner());
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    const QStringList filters = NameFilters(request.strFilter);
    if (!filters.isEmpty()) {
        dialog.setNameFilters(filters);
    }
    if (request.bOpen) {
        // A single name may name a file that does not exist: whoever opens it says so.
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode(request.bMultiSelect ? QFileDialog::ExistingFiles
                                                : QFileDialog::AnyFile);
    } else {
        // A chosen file is replaced without a question, as the player's save commands ask.
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
    }
    QString suffix = QString::fromUtf8(request.strDefExt);
    if (suffix.startsWith(u'.')) {
        suffix.remove(0, 1);
    }
    dialog.setDefaultSuffix(suffix);
    if (!request.strFileName.empty()) {
        dialog.selectFile(QString::fromUtf8(request.strFileName));
    }
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    paths.clear();
    for (const QString& path : dialog.selectedFiles()) {
        paths.push_back(QFile::encodeName(path).toStdString());
    }
    return !paths.empty();
}

bool CQtPrompts::AskColor(COLORREF initial, COLORREF& chosen)
{
    QColorDialog dialog(QColor(GetRValue(initial), GetGValue(initial), GetBValue(initial)),
                        Owner());
    if (dialog.exec() != QDialog::Accepted) {
        return false;
    }
    const QColor colour = dialog.selectedColor();
    chosen = RGB(colour.red(), colour.green(), colour.blue());
    return true;
}

#pragma once

#include <QElapsedTimer>
#include <QListWidget>

#include <functional>

#include <string>

// A single-selection list box that is not sorted, with the list-box operations of the
// dialog code: lines are UTF-8 texts addressed by index. A double click anywhere in the list
// and Enter report themselves through the double-click handler, the Delete key through the
// delete handler. Typing selects the first line whose text contains what was typed (case
// blind; keys typed within the platform's keyboard-input interval add to one search).
// User-interface thread only.
class CListBox : public QListWidget
{
public:
    // Returned for a line that does not exist and when nothing is selected.
    static constexpr int LB_ERR = -1;

    explicit CListBox(QWidget* pParent);

    // The selected line, or LB_ERR when none.
    int GetCurSel() const;
    // Selects line nIndex; -1 or a line that does not exist clears the selection and
    // returns LB_ERR (also for -1, as the list box does), else returns nIndex.
    int SetCurSel(int nIndex);
    int GetCount() const;
    void ResetContent();
    // Removes line nIndex; returns the number of lines left, or LB_ERR.
    int DeleteString(int nIndex);
    // The text of line nIndex; "" when it does not exist.
    std::string GetText(int nIndex) const;
    // Replaces the text of line nIndex in place (the line keeps its place and selection);
    // LB_ERR when it does not exist.
    int SetText(int nIndex, const std::string& text);

    // Called after a double click (or Enter) in the list has been handled by the list.
    void SetDblclkHandler(std::function<void()> handler) { m_onDblclk = std::move(handler); }
    // Called when the Delete key is pressed in the list.
    void SetDeleteHandler(std::function<void()> handler) { m_onDelete = std::move(handler); }

    // Selects the first line containing search (added to the text typed just before it) and
    // shows it; the selection stays when no line does.
    void keyboardSearch(const QString& search) override;

protected:
    void mouseDoubleClickEvent(QMouseEvent* pEvent) override;
    void keyPressEvent(QKeyEvent* pEvent) override;

private:
    std::function<void()> m_onDblclk;
    std::function<void()> m_onDelete;
    QString m_strSearch;
    QElapsedTimer m_searchTyped;
};

#include "dialogs/ListBox.h"

#include "base/QtText.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMouseEvent>

CListBox::CListBox(QWidget* pParent)
    : QListWidget(pParent)
{
    setSelectionMode(QAbstractItemView::SingleSelection);
    setSortingEnabled(false);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

int CListBox::GetCurSel() const
{
    const QList<QListWidgetItem*> selected = selectedItems();
    if (selected.isEmpty())
        return LB_ERR;
    return row(selected.front());
}

int CListBox::SetCurSel(int nIndex)
{
    if (nIndex < 0 || nIndex >= count()) {
        clearSelection();
        return LB_ERR;
    }
    setCurrentRow(nIndex, QItemSelectionModel::ClearAndSelect);
    scrollToItem(item(nIndex));
    return nIndex;
}

int CListBox::GetCount() const
{
    return count();
}

void CListBox::ResetContent()
{
    clear();
}

int CListBox::DeleteString(int nIndex)
{
    if (nIndex < 0 || nIndex >= count())
        return LB_ERR;
    delete takeItem(nIndex);
    return count();
}

std::string CListBox::GetText(int nIndex) const
{
    const QListWidgetItem* pItem = item(nIndex);
    return pItem != nullptr ? FromQString(pItem->text()) : std::string();
}

int CListBox::SetText(int nIndex, const std::string& text)
{
    QListWidgetItem* pItem = item(nIndex);
    if (pItem == nullptr)
        return LB_ERR;
    pItem->setText(ToQString(text));
    return nIndex;
}

void CListBox::mouseDoubleClickEvent(QMouseEvent* pEvent)
{
    QListWidget::mouseDoubleClickEvent(pEvent);
    if (pEvent->button() == Qt::LeftButton && m_onDblclk)
        m_onDblclk();
}

void CListBox::keyPressEvent(QKeyEvent* pEvent)
{
    if ((pEvent->key() == Qt::Key_Return || pEvent->key() == Qt::Key_Enter) && m_onDblclk) {
        m_onDblclk();
        return;
    }
    if (pEvent->key() == Qt::Key_Delete && pEvent->modifiers() == Qt::NoModifier && m_onDelete) {
        m_onDelete();
        return;
    }
    QListWidget::keyPressEvent(pEvent);
}

void CListBox::keyboardSearch(const QString& search)
{
    if (search.isEmpty())
        return;
    const bool bGoesOn =
        m_searchTyped.isValid() && m_searchTyped.elapsed() < QApplication::keyboardInputInterval();
    m_strSearch = bGoesOn ? m_strSearch + search : search;
    m_searchTyped.start();
    for (int i = 0; i < count(); ++i) {
        if (item(i)->text().contains(m_strSearch, Qt::CaseInsensitive)) {
            SetCurSel(i);
            scrollToItem(item(i));
            return;
        }
    }
}

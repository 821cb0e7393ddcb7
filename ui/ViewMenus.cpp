#include "ui/ViewMenus.h"

#include "base/QtText.h"
#include "res/Menus.h"

#include <QAction>
#include <QMenu>

#include <set>

namespace {

// Adds items to menu, leaving out the commands it holds already (and the separators that
// would then stand next to each other).
void AddItems(QMenu& menu, std::span<const MenuItemTemplate> items)
{
    std::set<int> present;
    for (const QAction* action : menu.actions())
        present.insert(MenuItemId(action));
    for (const MenuItemTemplate& item : items) {
        if (item.nID == 0) {
            menu.addSeparator();
        } else if (present.count(item.nID) == 0) {
            QAction* action = menu.addAction(TrText(item.lpszText));
            action->setData(item.nID);
        }
    }
}

} // namespace

std::unique_ptr<QMenu> LoadPopupMenu(int nIDResource)
{
    const std::span<const MenuItemTemplate> items = FindMenuTemplate(nIDResource);
    if (items.empty())
        return nullptr;
    auto menu = std::make_unique<QMenu>();
    AddItems(*menu, items);
    return menu;
}

void AppendPopupMenu(QMenu* pMenu, int nIDResource)
{
    if (pMenu == nullptr)
        return;
    pMenu->addSeparator();
    AddItems(*pMenu, FindMenuTemplate(nIDResource));
}

QMenu* AppendPopupSubmenu(QMenu* pMenu, const char* lpszTitle, int nIDResource, int nCheckedID)
{
    const std::span<const MenuItemTemplate> items = FindMenuTemplate(nIDResource);
    if (pMenu == nullptr || items.empty())
        return nullptr;
    pMenu->addSeparator();
    QMenu* submenu = pMenu->addMenu(TrText(lpszTitle));
    AddItems(*submenu, items);
    CheckMenuItem(submenu, nCheckedID, true);
    return submenu;
}

int CheckMenuItem(QMenu* pMenu, int nID, bool bChecked)
{
    if (pMenu == nullptr)
        return 0;
    for (QAction* action : pMenu->actions()) {
        if (MenuItemId(action) == nID) {
            // An unchecked item shows no empty check box either.
            action->setCheckable(bChecked);
            action->setChecked(bChecked);
            return 1;
        }
    }
    return 0;
}

int MenuItemId(const QAction* pAction)
{
    if (pAction == nullptr || pAction->isSeparator())
        return 0;
    bool bOk = false;
    const int nID = pAction->data().toInt(&bOk);
    return bOk ? nID : 0;
}

#pragma once

#include <memory>

class QAction;
class QMenu;

// The player view's pop-up menus, built from their templates in res/Menus.h. Each item
// carries its command id; a chosen item is sent on as that command. User-interface thread
// only.

// The first pop-up of menu resource nIDResource as a new menu; null for an unknown resource.
std::unique_ptr<QMenu> LoadPopupMenu(int nIDResource);

// Appends to pMenu, after a separator, the items of menu resource nIDResource whose commands
// pMenu does not hold yet.
void AppendPopupMenu(QMenu* pMenu, int nIDResource);
// Adds a separator and, under the title lpszTitle (translated), the items of menu resource
// nIDResource as a submenu owned by pMenu, with the item of command nCheckedID checked.
// Returns the submenu; null, adding nothing, for a null menu or an unknown resource.
QMenu* AppendPopupSubmenu(QMenu* pMenu, const char* lpszTitle, int nIDResource, int nCheckedID);

// Sets or clears the check mark of the item with command nID. FALSE when the menu has none.
int CheckMenuItem(QMenu* pMenu, int nID, bool bChecked);

// The command id of a menu item; 0 for a null item or one without an id.
int MenuItemId(const QAction* pAction);

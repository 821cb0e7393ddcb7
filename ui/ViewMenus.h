#pragma once

#include <memory>

class QAction;
class QMenu;

// The two pop-up menus of the player view as data: the tray icon's menu (resource 140) and
// the window's pop-up menu (resource 134). Each item carries its command id; a chosen item
// is sent on as that command. User-interface thread only.

// One item of a pop-up menu: a command and its text (UTF-8, "&" before the mnemonic), or a
// separator when nID is 0.
struct MenuItemTemplate
{
    int nID;
    const char* lpszText;
};

// The first pop-up of menu resource nIDResource as a new menu; null for an unknown resource.
std::unique_ptr<QMenu> LoadPopupMenu(int nIDResource);

// Sets or clears the check mark of the item with command nID. FALSE when the menu has none.
int CheckMenuItem(QMenu* pMenu, int nID, bool bChecked);

// The command id of a menu item; 0 for a null item or one without an id.
int MenuItemId(const QAction* pAction);

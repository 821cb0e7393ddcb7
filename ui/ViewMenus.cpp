#include "ui/ViewMenus.h"

#include "res/Resource.h"

#include <QAction>
#include <QMenu>

#include <span>

namespace {

constexpr MenuItemTemplate kTrayMenu[] = {
    {ID_MENU_OPEN, "開く(&O)"},         {ID_MENU_CDPLAY, "CD演奏(&C)"},
    {ID_MENU_PLAY, "再生(&P)"},         {ID_MENU_STOP, "停止(&S)"},
    {ID_MENU_PAUSE, "一時停止(&R)"},    {ID_MENU_NEXT, "次のトラック(&N)"},
    {ID_MENU_PREV, "前のトラック(&B)"}, {0, nullptr},
    {ID_MENU_SETTINGS, "設定"},         {0, nullptr},
    {ID_MENU_HIDE, "非表示(&V)"},       {0, nullptr},
    {ID_APP_EXIT, "終了(&X)"},
};

constexpr MenuItemTemplate kWindowMenu[] = {
    {ID_MENU_SETTINGS, "設定(&C)"},
    {0, nullptr},
    {ID_MENU_PLAYLIST, "プレイリストを開く"},
    {0, nullptr},
    {ID_MENU_CDPLAY, "CD演奏"},
    {ID_MENU_EJECT, "CDの取り出し"},
    {ID_APP_EXIT, "終了(&X)"},
};

std::span<const MenuItemTemplate> FindMenu(int nIDResource)
{
    if (nIDResource == IDR_MENU_TRAY) {
        return kTrayMenu;
    }
    if (nIDResource == IDR_MENU_POPUP) {
        return kWindowMenu;
    }
    return {};
}

} // namespace

std::unique_ptr<QMenu> LoadPopupMenu(int nIDResource)
{
    const std::span<const MenuItemTemplate> items = FindMenu(nIDResource);
    if (items.empty()) {
        return nullptr;
    }
    auto menu = std::make_unique<QMenu>();
    for (const MenuItemTemplate& item : items) {
        if (item.nID == 0) {
            menu->addSeparator();
            continue;
        }
        QAction* action = menu->addAction(QString::fromUtf8(item.lpszText));
        action->setData(item.nID);
    }
    return menu;
}

int CheckMenuItem(QMenu* pMenu, int nID, bool bChecked)
{
    if (pMenu == nullptr) {
        return 0;
    }
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
    if (pAction == nullptr || pAction->isSeparator()) {
        return 0;
    }
    bool bOk = false;
    const int nID = pAction->data().toInt(&bOk);
    return bOk ? nID : 0;
}

#pragma once

#include "res/Resource.h"

#include <span>

// The player view's two pop-up menus as data: the tray icon's menu (IDR_MENU_TRAY) and the
// window's pop-up menu (IDR_MENU_POPUP). ui/ViewMenus builds Qt menus from them.

// One item of a pop-up menu: a command and its text (UTF-8, "&" before the mnemonic), or a
// separator when nID is 0.
struct MenuItemTemplate
{
    int nID;
    const char* lpszText;
};

inline constexpr MenuItemTemplate kTrayMenu[] = {
    {ID_MENU_OPEN, "開く(&O)"},         {ID_MENU_CDPLAY, "CD演奏(&C)"},
    {ID_MENU_PLAY, "再生(&P)"},         {ID_MENU_STOP, "停止(&S)"},
    {ID_MENU_PAUSE, "一時停止(&R)"},    {ID_MENU_NEXT, "次のトラック(&N)"},
    {ID_MENU_PREV, "前のトラック(&B)"}, {0, nullptr},
    {ID_MENU_SETTINGS, "設定"},         {0, nullptr},
    {ID_MENU_HIDE, "非表示(&V)"},       {0, nullptr},
    {ID_APP_EXIT, "終了(&X)"},
};

inline constexpr MenuItemTemplate kWindowMenu[] = {
    {ID_MENU_SETTINGS, "設定(&C)"},
    {0, nullptr},
    {ID_MENU_PLAYLIST, "プレイリストを開く"},
    {0, nullptr},
    {ID_MENU_CDPLAY, "CD演奏"},
    {ID_MENU_EJECT, "CDの取り出し"},
    {ID_APP_EXIT, "終了(&X)"},
};

// The items of the first pop-up of menu resource nIDResource; empty for an unknown resource.
constexpr std::span<const MenuItemTemplate> FindMenuTemplate(int nIDResource)
{
    if (nIDResource == IDR_MENU_TRAY)
        return kTrayMenu;
    if (nIDResource == IDR_MENU_POPUP)
        return kWindowMenu;
    return {};
}

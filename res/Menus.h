#pragma once

#include "res/Resource.h"

#include <QtGlobal>

#include <span>

// The player view's two pop-up menus as data: the tray icon's menu (IDR_MENU_TRAY) and the
// window's pop-up menu (IDR_MENU_POPUP), and the loudness submenu added to the latter
// (IDR_MENU_GAIN). ui/ViewMenus builds Qt menus from them.

// One item of a pop-up menu: a command and its text (UTF-8, "&" before the mnemonic), or a
// separator when nID is 0.
struct MenuItemTemplate
{
    int nID;
    const char* lpszText;
};

inline constexpr MenuItemTemplate kTrayMenu[] = {
    {ID_MENU_OPEN, QT_TRANSLATE_NOOP("Sorvane", "開く(&O)")},
    {ID_MENU_CDPLAY, QT_TRANSLATE_NOOP("Sorvane", "CD演奏(&C)")},
    {ID_MENU_PLAY, QT_TRANSLATE_NOOP("Sorvane", "再生(&P)")},
    {ID_MENU_STOP, QT_TRANSLATE_NOOP("Sorvane", "停止(&S)")},
    {ID_MENU_PAUSE, QT_TRANSLATE_NOOP("Sorvane", "一時停止(&R)")},
    {ID_MENU_NEXT, QT_TRANSLATE_NOOP("Sorvane", "次のトラック(&N)")},
    {ID_MENU_PREV, QT_TRANSLATE_NOOP("Sorvane", "前のトラック(&B)")},
    {0, nullptr},
    {ID_MENU_SETTINGS, QT_TRANSLATE_NOOP("Sorvane", "設定")},
    {0, nullptr},
    {ID_MENU_HIDE, QT_TRANSLATE_NOOP("Sorvane", "非表示(&V)")},
    {0, nullptr},
    {ID_APP_EXIT, QT_TRANSLATE_NOOP("Sorvane", "終了(&X)")},
};

inline constexpr MenuItemTemplate kWindowMenu[] = {
    {ID_MENU_SETTINGS, QT_TRANSLATE_NOOP("Sorvane", "設定(&C)")},
    {0, nullptr},
    {ID_MENU_PLAYLIST, QT_TRANSLATE_NOOP("Sorvane", "プレイリストを開く")},
    {0, nullptr},
    {ID_MENU_CDPLAY, QT_TRANSLATE_NOOP("Sorvane", "CD演奏")},
    {ID_MENU_EJECT, QT_TRANSLATE_NOOP("Sorvane", "CDの取り出し")},
    {ID_APP_EXIT, QT_TRANSLATE_NOOP("Sorvane", "終了(&X)")},
};

// The loudness submenu (IDR_MENU_GAIN), which the window's pop-up menu shows after its own
// items under kGainMenuTitle: one item per mode, the chosen one checked.
inline constexpr const char* kGainMenuTitle = QT_TRANSLATE_NOOP("Sorvane", "リプレイゲイン");
inline constexpr MenuItemTemplate kGainMenu[] = {
    {ID_MENU_GAIN_OFF, QT_TRANSLATE_NOOP("Sorvane", "オフ")},
    {ID_MENU_GAIN_TRACK, QT_TRANSLATE_NOOP("Sorvane", "トラック")},
    {ID_MENU_GAIN_ALBUM, QT_TRANSLATE_NOOP("Sorvane", "アルバム")},
    {ID_MENU_GAIN_AUTO, QT_TRANSLATE_NOOP("Sorvane", "自動")},
};

// The items of the first pop-up of menu resource nIDResource; empty for an unknown resource.
constexpr std::span<const MenuItemTemplate> FindMenuTemplate(int nIDResource)
{
    if (nIDResource == IDR_MENU_GAIN)
        return kGainMenu;
    if (nIDResource == IDR_MENU_TRAY)
        return kTrayMenu;
    if (nIDResource == IDR_MENU_POPUP)
        return kWindowMenu;
    return {};
}

#pragma once

#include "res/Resource.h"

#include <QtGlobal>

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

// The items the player adds after each menu's own, checked while they are on.
inline constexpr const char* kShuffleItemText = QT_TRANSLATE_NOOP("Sorvane", "シャッフル(&H)");
inline constexpr const char* kStopAfterItemText =
    QT_TRANSLATE_NOOP("Sorvane", "この曲の後で停止(&T)");
inline constexpr const char* kResumeItemText = QT_TRANSLATE_NOOP("Sorvane", "続きから再生(&L)");

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
    {0, nullptr},
    {ID_MENU_SHUFFLE, kShuffleItemText},
    {ID_MENU_STOPAFTER, kStopAfterItemText},
    {ID_MENU_RESUME, kResumeItemText},
};

inline constexpr MenuItemTemplate kWindowMenu[] = {
    {ID_MENU_SETTINGS, QT_TRANSLATE_NOOP("Sorvane", "設定(&C)")},
    {0, nullptr},
    {ID_MENU_PLAYLIST, QT_TRANSLATE_NOOP("Sorvane", "プレイリストを開く")},
    {0, nullptr},
    {ID_MENU_CDPLAY, QT_TRANSLATE_NOOP("Sorvane", "CD演奏")},
    {ID_MENU_EJECT, QT_TRANSLATE_NOOP("Sorvane", "CDの取り出し")},
    {ID_APP_EXIT, QT_TRANSLATE_NOOP("Sorvane", "終了(&X)")},
    {0, nullptr},
    {ID_MENU_SHUFFLE, kShuffleItemText},
    {ID_MENU_STOPAFTER, kStopAfterItemText},
    {ID_MENU_RESUME, kResumeItemText},
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

#pragma once

#include "res/Resource.h"

#include <QtGlobal>

#include <iterator>
#include <span>

// The player view's two pop-up menus as data: the tray icon's menu (IDR_MENU_TRAY) and the
// window's pop-up menu (IDR_MENU_POPUP), and the loudness submenu added to the latter
// (IDR_MENU_GAIN, with its own IDR_MENU_PREAMP and IDR_MENU_UNTAGGED). ui/ViewMenus builds Qt
// menus from them.

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

// The loudness submenu (IDR_MENU_GAIN), which the window's pop-up menu shows after its own
// items under kGainMenuTitle: one item per mode, the chosen one checked.
inline constexpr const char* kGainMenuTitle = QT_TRANSLATE_NOOP("Sorvane", "リプレイゲイン");
inline constexpr MenuItemTemplate kGainMenu[] = {
    {ID_MENU_GAIN_OFF, QT_TRANSLATE_NOOP("Sorvane", "オフ")},
    {ID_MENU_GAIN_TRACK, QT_TRANSLATE_NOOP("Sorvane", "トラック")},
    {ID_MENU_GAIN_ALBUM, QT_TRANSLATE_NOOP("Sorvane", "アルバム")},
    {ID_MENU_GAIN_AUTO, QT_TRANSLATE_NOOP("Sorvane", "自動")},
};

// The steps that the loudness submenu offers for the preamp and the untagged gain, in tenths of
// a dB (the settings' unit): item k of either submenu stands for step k.
inline constexpr int kGainStepTenths[] = {-90, -60, -30, 0, 30, 60};
inline constexpr int kGainStepCount = static_cast<int>(std::size(kGainStepTenths));
inline constexpr const char* kPreampMenuTitle = QT_TRANSLATE_NOOP("Sorvane", "プリアンプ");
inline constexpr const char* kUntaggedMenuTitle =
    QT_TRANSLATE_NOOP("Sorvane", "タグのないファイル");
inline constexpr MenuItemTemplate kPreampMenu[] = {
    {ID_MENU_PREAMP_FIRST, "-9 dB"},     {ID_MENU_PREAMP_FIRST + 1, "-6 dB"},
    {ID_MENU_PREAMP_FIRST + 2, "-3 dB"}, {ID_MENU_PREAMP_FIRST + 3, "0 dB"},
    {ID_MENU_PREAMP_FIRST + 4, "+3 dB"}, {ID_MENU_PREAMP_FIRST + 5, "+6 dB"},
};
inline constexpr MenuItemTemplate kUntaggedMenu[] = {
    {ID_MENU_UNTAGGED_FIRST, "-9 dB"},     {ID_MENU_UNTAGGED_FIRST + 1, "-6 dB"},
    {ID_MENU_UNTAGGED_FIRST + 2, "-3 dB"}, {ID_MENU_UNTAGGED_FIRST + 3, "0 dB"},
    {ID_MENU_UNTAGGED_FIRST + 4, "+3 dB"}, {ID_MENU_UNTAGGED_FIRST + 5, "+6 dB"},
};
static_assert(std::size(kPreampMenu) == std::size(kGainStepTenths) &&
              std::size(kUntaggedMenu) == std::size(kGainStepTenths));

// The items of the first pop-up of menu resource nIDResource; empty for an unknown resource.
constexpr std::span<const MenuItemTemplate> FindMenuTemplate(int nIDResource)
{
    if (nIDResource == IDR_MENU_GAIN)
        return kGainMenu;
    if (nIDResource == IDR_MENU_PREAMP)
        return kPreampMenu;
    if (nIDResource == IDR_MENU_UNTAGGED)
        return kUntaggedMenu;
    if (nIDResource == IDR_MENU_TRAY)
        return kTrayMenu;
    if (nIDResource == IDR_MENU_POPUP)
        return kWindowMenu;
    return {};
}

#pragma once

#include "draw/GdiTypes.h"
#include "res/Resource.h"

#include <QtGlobal>

#include <cstdint>
#include <span>

// The player's dialog templates as data: window caption, style, font and size, and each
// control with its window class, text, position and size in dialog units and style bits.
// Controls are listed in tab order. dialogs/Dialog builds windows from them.

// Window and control styles used by the templates, beside WS_VISIBLE, WS_BORDER and
// WS_SYSMENU of draw/GdiTypes.h.
namespace dlgstyle {
inline constexpr std::uint32_t WS_POPUP = 0x80000000;
inline constexpr std::uint32_t WS_CHILD = 0x40000000;
inline constexpr std::uint32_t WS_CAPTION = 0x00C00000;
inline constexpr std::uint32_t WS_VSCROLL = 0x00200000;
inline constexpr std::uint32_t WS_GROUP = 0x00020000;
inline constexpr std::uint32_t WS_TABSTOP = 0x00010000;
inline constexpr std::uint32_t DS_MODALFRAME = 0x0080;
inline constexpr std::uint32_t DS_SETFONT = 0x0040;
inline constexpr std::uint32_t WS_EX_CONTROLPARENT = 0x00010000;

inline constexpr std::uint32_t BS_PUSHBUTTON = 0x0000;
inline constexpr std::uint32_t BS_DEFPUSHBUTTON = 0x0001;
inline constexpr std::uint32_t BS_AUTOCHECKBOX = 0x0003;
inline constexpr std::uint32_t BS_RADIOBUTTON = 0x0004;
inline constexpr std::uint32_t BS_GROUPBOX = 0x0007;
inline constexpr std::uint32_t BS_TYPEMASK = 0x000F;
inline constexpr std::uint32_t BS_LEFTTEXT = 0x0020;

inline constexpr std::uint32_t LBS_NOTIFY = 0x0001;
inline constexpr std::uint32_t LBS_USETABSTOPS = 0x0080;
inline constexpr std::uint32_t LBS_NOINTEGRALHEIGHT = 0x0100;
inline constexpr std::uint32_t LBS_WANTKEYBOARDINPUT = 0x0400;

inline constexpr std::uint32_t ES_AUTOHSCROLL = 0x0080;

inline constexpr std::uint32_t SS_LEFT = 0x0000;
inline constexpr std::uint32_t SS_ICON = 0x0003;
inline constexpr std::uint32_t SS_GRAYRECT = 0x0008;
inline constexpr std::uint32_t SS_TYPEMASK = 0x001F;

inline constexpr std::uint32_t UDS_ARROWKEYS = 0x0020;
} // namespace dlgstyle

struct DLGITEMTEMPLATE
{
    int nID;               // IDC_STATIC for controls that are never addressed
    const char* lpszClass; // "Button", "ListBox", "Edit", "Static" or "msctls_updown32"
    const char* lpszText;  // UTF-8; for an icon, "#" and the icon resource's number
    int x;
    int y;
    int cx;
    int cy;
    std::uint32_t style;
};

struct DLGTEMPLATE
{
    int nID;
    const char* lpszCaption; // UTF-8
    const char* lpszFace;    // the dialog font's face name
    int nPointSize;
    int cx; // client size in dialog units
    int cy;
    std::uint32_t style;
    std::uint32_t dwExStyle;
    std::span<const DLGITEMTEMPLATE> items;
};

namespace dlgdata {
using namespace dlgstyle;

inline constexpr const char* kDialogFace = "ＭＳ Ｐゴシック";
inline constexpr int kDialogPointSize = 9;

inline constexpr std::uint32_t kButton = WS_CHILD | WS_VISIBLE | WS_TABSTOP;
inline constexpr std::uint32_t kLabel = WS_CHILD | WS_VISIBLE | WS_GROUP | SS_LEFT;
inline constexpr std::uint32_t kGrayRect = WS_CHILD | WS_VISIBLE | SS_GRAYRECT;
inline constexpr std::uint32_t kComponentEdit =
    WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | ES_AUTOHSCROLL;

inline constexpr DLGITEMTEMPLATE kAboutItems[] = {
    {IDC_STATIC, "Static", "#128", 11, 17, 20, 21, WS_CHILD | WS_VISIBLE | SS_ICON},
    {IDOK, "Button", QT_TRANSLATE_NOOP("Sorvane", "OK"), 178, 7, 50, 14,
     kButton | WS_GROUP | BS_DEFPUSHBUTTON},
};

inline constexpr DLGITEMTEMPLATE kPlaylistItems[] = {
    {IDC_PLAYLIST_ADD, "Button", QT_TRANSLATE_NOOP("Sorvane", "追加"), 11, 121, 24, 14,
     kButton | BS_DEFPUSHBUTTON},
    {IDC_PLAYLIST_SAVE, "Button", QT_TRANSLATE_NOOP("Sorvane", "保存"), 10, 137, 24, 14,
     kButton | BS_DEFPUSHBUTTON},
    {IDC_PLAYLIST_CLEAR, "Button", QT_TRANSLATE_NOOP("Sorvane", "クリア"), 39, 137, 24, 14,
     kButton | BS_DEFPUSHBUTTON},
    {IDC_PLAYLIST_DELETE, "Button", QT_TRANSLATE_NOOP("Sorvane", "削除"), 69, 121, 24, 14,
     kButton | BS_DEFPUSHBUTTON},
    {IDC_PLAYLIST_CLOSE, "Button", QT_TRANSLATE_NOOP("Sorvane", "閉じる"), 69, 137, 24, 14,
     kButton | BS_DEFPUSHBUTTON},
    {IDC_PLAYLIST_PLAY, "Button", QT_TRANSLATE_NOOP("Sorvane", "演奏"), 39, 121, 24, 14,
     kButton | BS_DEFPUSHBUTTON},
    {IDC_PLAYLIST_LIST, "ListBox", "", 10, 11, 78, 107,
     WS_CHILD | WS_VISIBLE | LBS_NOTIFY | LBS_USETABSTOPS | LBS_NOINTEGRALHEIGHT |
         LBS_WANTKEYBOARDINPUT | WS_BORDER | WS_VSCROLL | WS_TABSTOP},
    {IDC_PLAYLIST_SPIN, "msctls_updown32", "Spin1", 88, 11, 9, 107,
     WS_CHILD | WS_VISIBLE | UDS_ARROWKEYS},
};

inline constexpr DLGITEMTEMPLATE kSettingsItems[] = {
    {IDOK, "Button", QT_TRANSLATE_NOOP("Sorvane", "OK"), 113, 7, 50, 14,
     kButton | BS_DEFPUSHBUTTON},
    {IDCANCEL, "Button", QT_TRANSLATE_NOOP("Sorvane", "ｷｬﾝｾﾙ"), 113, 25, 50, 14,
     kButton | BS_PUSHBUTTON},
    {IDC_SETTINGS_REPEAT, "Button", QT_TRANSLATE_NOOP("Sorvane", "リピート演奏"), 18, 20, 64, 11,
     kButton | BS_AUTOCHECKBOX | BS_LEFTTEXT},
    {IDC_SETTINGS_SWATCH, "Static", "", 49, 78, 13, 36, WS_CHILD | WS_VISIBLE | SS_LEFT},
    {IDC_SETTINGS_TOPMOST, "Button", QT_TRANSLATE_NOOP("Sorvane", "最上位ウインドウ"), 17, 33, 65,
     12, kButton | BS_AUTOCHECKBOX | BS_LEFTTEXT},
    {IDC_SETTINGS_DEFAULT_COLOR, "Button", QT_TRANSLATE_NOOP("Sorvane", "デフォルト色"), 116, 77,
     43, 15, kButton},
    {IDC_SETTINGS_LAYOUT_GROUP, "Button", QT_TRANSLATE_NOOP("Sorvane", "ボタンレイアウト"), 9, 123,
     148, 90, WS_CHILD | WS_VISIBLE | BS_GROUPBOX},
    {IDC_STATIC, "Static", "", 15, 153, 39, 56, kGrayRect},
    {IDC_STATIC, "Static", "", 62, 145, 14, 66, kGrayRect},
    {IDC_STATIC, "Static", "", 90, 156, 64, 14, kGrayRect},
    {IDC_STATIC, "Static", QT_TRANSLATE_NOOP("Sorvane", "１"), 15, 143, 12, 10, kLabel},
    {IDC_STATIC, "Static", QT_TRANSLATE_NOOP("Sorvane", "２"), 62, 135, 8, 8, kLabel},
    {IDC_STATIC, "Static", QT_TRANSLATE_NOOP("Sorvane", "３"), 90, 146, 9, 10, kLabel},
    {IDC_STATIC, "Button", QT_TRANSLATE_NOOP("Sorvane", "色設定"), 9, 68, 152, 50,
     WS_CHILD | WS_VISIBLE | BS_GROUPBOX},
    {IDC_SETTINGS_RED, "Edit", "", 87, 76, 25, 11, kComponentEdit},
    {IDC_SETTINGS_GREEN, "Edit", "", 87, 90, 25, 11, kComponentEdit},
    {IDC_SETTINGS_BLUE, "Edit", "", 86, 103, 25, 11, kComponentEdit},
    {IDC_STATIC, "Static", QT_TRANSLATE_NOOP("Sorvane", "赤(R)"), 69, 78, 16, 8, kLabel},
    {IDC_STATIC, "Static", QT_TRANSLATE_NOOP("Sorvane", "緑(G)"), 69, 91, 17, 8, kLabel},
    {IDC_STATIC, "Static", QT_TRANSLATE_NOOP("Sorvane", "青(B)"), 69, 105, 17, 8, kLabel},
    {IDC_SETTINGS_PICK_COLOR, "Button", QT_TRANSLATE_NOOP("Sorvane", "色作成"), 116, 97, 43, 15,
     kButton},
    {IDC_STATIC, "Button", QT_TRANSLATE_NOOP("Sorvane", "プレーヤー設定"), 10, 11, 95, 55,
     WS_CHILD | WS_VISIBLE | BS_GROUPBOX},
    {IDC_SETTINGS_LAYOUT_1, "Button", "1", 91, 173, 13, 11,
     WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON | BS_LEFTTEXT},
    {IDC_SETTINGS_LAYOUT_2, "Button", "2", 91, 185, 13, 10,
     WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON | BS_LEFTTEXT},
    {IDC_SETTINGS_LAYOUT_3, "Button", "3", 91, 196, 13, 10,
     WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON | BS_LEFTTEXT},
    {IDC_SETTINGS_TARGET_BUTTONS, "Button", QT_TRANSLATE_NOOP("Sorvane", "ボタン"), 10, 77, 37, 11,
     WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON},
    {IDC_SETTINGS_TARGET_DISPLAY, "Button", QT_TRANSLATE_NOOP("Sorvane", "表示部"), 10, 89, 37, 11,
     WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON},
    {IDC_SETTINGS_TARGET_TEXT, "Button", QT_TRANSLATE_NOOP("Sorvane", "テキスト"), 10, 102, 37, 11,
     WS_CHILD | WS_VISIBLE | BS_RADIOBUTTON},
};
} // namespace dlgdata

// The about box: pop-up with a caption, a system menu and a modal frame.
inline constexpr DLGTEMPLATE kAboutTemplate = {
    IDD_ABOUTBOX,
    QT_TRANSLATE_NOOP("Sorvane", "Sorvaneのﾊﾞｰｼﾞｮﾝ情報"),
    dlgdata::kDialogFace,
    dlgdata::kDialogPointSize,
    235,
    55,
    dlgstyle::WS_POPUP | dlgstyle::WS_CAPTION | WS_SYSMENU | dlgstyle::DS_MODALFRAME |
        dlgstyle::DS_SETFONT,
    0,
    dlgdata::kAboutItems,
};

// The playlist window: pop-up with a caption and a modal frame, no system menu, hidden.
inline constexpr DLGTEMPLATE kPlaylistTemplate = {
    IDD_PLAYLIST,
    QT_TRANSLATE_NOOP("Sorvane", "プレイリスト"),
    dlgdata::kDialogFace,
    dlgdata::kDialogPointSize,
    107,
    155,
    dlgstyle::WS_POPUP | dlgstyle::WS_CAPTION | dlgstyle::DS_MODALFRAME | dlgstyle::DS_SETFONT,
    dlgstyle::WS_EX_CONTROLPARENT,
    dlgdata::kPlaylistItems,
};

// The settings dialog: pop-up with a caption, a system menu and a modal frame.
inline constexpr DLGTEMPLATE kSettingsTemplate = {
    IDD_SETTINGS,
    QT_TRANSLATE_NOOP("Sorvane", "設定"),
    dlgdata::kDialogFace,
    dlgdata::kDialogPointSize,
    170,
    217,
    dlgstyle::WS_POPUP | dlgstyle::WS_CAPTION | WS_SYSMENU | dlgstyle::DS_MODALFRAME |
        dlgstyle::DS_SETFONT,
    0,
    dlgdata::kSettingsItems,
};

// The template with identifier nID; null when there is none.
constexpr const DLGTEMPLATE* FindDialogTemplate(int nID)
{
    if (nID == IDD_ABOUTBOX)
        return &kAboutTemplate;
    if (nID == IDD_PLAYLIST)
        return &kPlaylistTemplate;
    if (nID == IDD_SETTINGS)
        return &kSettingsTemplate;
    return nullptr;
}

#pragma once

// Resource numbers and command ids of the player. The menus, the string table, the
// accelerators and the dialog templates are data beside this file (Menus.h, StringTable.h,
// Accelerators.h, DialogTemplates.h); the bitmaps and icons are Qt resources
// (res/sorvane.qrc, made by res/make_resources.py), which draw/Resources.h finds by number.

// Resources of the document template: document string, program icon, discarded frame menu
// and accelerator table.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDR_MENU_POPUP = 134; // the window's pop-up menu
inline constexpr int IDD_SETTINGS = 135;
inline constexpr int IDR_MENU_TRAY = 140; // the tray icon's menu
inline constexpr int IDD_PLAYLIST = 141;
// The loudness submenu, added after the window menu's own items.
inline constexpr int IDR_MENU_GAIN = 142;
// Its two submenus: the preamp and the gain of media without gain tags.
inline constexpr int IDR_MENU_PREAMP = 143;
inline constexpr int IDR_MENU_UNTAGGED = 144;

// Pictures of the open and CD play buttons, each with its mask.
inline constexpr int IDB_OPEN = 130;
inline constexpr int IDB_CD = 136;
inline constexpr int IDB_CD_MASK = 137;
inline constexpr int IDB_OPEN_MASK = 139;

// The tray icon (one 16 x 16 image).
inline constexpr int IDI_TRAY = 157;

// The transport buttons; button index = id − IDC_BTN_OPEN.
inline constexpr int IDC_BTN_OPEN = 2000;
inline constexpr int IDC_BTN_PLAY = 2001;
inline constexpr int IDC_BTN_STOP = 2002;
inline constexpr int IDC_BTN_PREV = 2003;
inline constexpr int IDC_BTN_PAUSE = 2004;
inline constexpr int IDC_BTN_NEXT = 2005;
inline constexpr int IDC_BTN_PLAYLIST = 2006;
inline constexpr int IDC_BTN_CDPLAY = 2007;
inline constexpr int IDC_BTN_EJECT = 2008;

// Menu commands.
inline constexpr int ID_MENU_SETTINGS = 32774;
inline constexpr int ID_MENU_OPEN = 32778;
inline constexpr int ID_MENU_PLAY = 32779;
inline constexpr int ID_MENU_STOP = 32780;
inline constexpr int ID_MENU_NEXT = 32781;
inline constexpr int ID_MENU_PREV = 32782;
inline constexpr int ID_MENU_PAUSE = 32783;
inline constexpr int ID_MENU_CDPLAY = 32784;
inline constexpr int ID_MENU_HIDE = 32786;
inline constexpr int ID_MENU_EJECT = 32790;
inline constexpr int ID_MENU_PLAYLIST = 32791;
// Items the player adds after the menus' own: the shuffle and carry-on settings and
// "stop after this one".
inline constexpr int ID_MENU_SHUFFLE = 32800;
inline constexpr int ID_MENU_STOPAFTER = 32801;
inline constexpr int ID_MENU_RESUME = 32802;
// The loudness modes, in the order of their numbers in the settings (off, track, album,
// automatic).
inline constexpr int ID_MENU_GAIN_OFF = 32804;
inline constexpr int ID_MENU_GAIN_TRACK = 32805;
inline constexpr int ID_MENU_GAIN_ALBUM = 32806;
inline constexpr int ID_MENU_GAIN_AUTO = 32807;
// The steps of the preamp and of the untagged gain, in the order of kGainStepTenths (res/Menus.h).
inline constexpr int ID_MENU_PREAMP_FIRST = 32810;
inline constexpr int ID_MENU_UNTAGGED_FIRST = 32820;

// Commands and strings whose numbers come from the application framework.
inline constexpr int ID_FILE_NEW = 57600;
inline constexpr int ID_FILE_OPEN = 57601;
inline constexpr int ID_FILE_SAVE = 57603;
inline constexpr int ID_EDIT_COPY = 57634;
inline constexpr int ID_EDIT_CUT = 57635;
inline constexpr int ID_EDIT_PASTE = 57637;
inline constexpr int ID_EDIT_UNDO = 57643;
inline constexpr int ID_APP_ABOUT = 57664;
inline constexpr int ID_APP_EXIT = 57665;
inline constexpr int ID_NEXT_PANE = 57680;
inline constexpr int ID_PREV_PANE = 57681;
inline constexpr int AFX_IDS_APP_TITLE = 57344;

// Tooltip strings of the buttons.
inline constexpr int IDS_TIP_OPEN = 61204;
inline constexpr int IDS_TIP_PLAY = 61205;
inline constexpr int IDS_TIP_STOP = 61206;
inline constexpr int IDS_TIP_PAUSE = 61207;
inline constexpr int IDS_TIP_NEXT = 61208;
inline constexpr int IDS_TIP_PREV = 61209;
inline constexpr int IDS_TIP_PLAYLIST = 61210;
inline constexpr int IDS_TIP_CDPLAY = 61211;
inline constexpr int IDS_TIP_EJECT = 61212;

// Dialog results and the control numbers the dialog manager gives Enter and Escape.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
// The identifier of controls that are never addressed (labels, frames).
inline constexpr int IDC_STATIC = -1;

// Controls of the playlist window (IDD_PLAYLIST). Delete carries the cancel identifier, so
// Escape deletes; Save shares its number with the play command of the main menu.
inline constexpr int IDC_PLAYLIST_DELETE = IDCANCEL;
inline constexpr int IDC_PLAYLIST_PLAY = 3;
inline constexpr int IDC_PLAYLIST_CLEAR = 4;
inline constexpr int IDC_PLAYLIST_LIST = 1007;
inline constexpr int IDC_PLAYLIST_SPIN = 1009;
inline constexpr int IDC_PLAYLIST_ADD = 1011;
inline constexpr int IDC_PLAYLIST_CLOSE = 1014;
inline constexpr int IDC_PLAYLIST_SAVE = 32779;

// Controls of the settings dialog (IDD_SETTINGS).
inline constexpr int IDC_SETTINGS_REPEAT = 1003;
inline constexpr int IDC_SETTINGS_SWATCH = 1005;
inline constexpr int IDC_SETTINGS_TOPMOST = 1006;
inline constexpr int IDC_SETTINGS_DEFAULT_COLOR = 1007;
inline constexpr int IDC_SETTINGS_PICK_COLOR = 1008;
inline constexpr int IDC_SETTINGS_LAYOUT_GROUP = 1015;
inline constexpr int IDC_SETTINGS_RED = 1019;
inline constexpr int IDC_SETTINGS_GREEN = 1020;
inline constexpr int IDC_SETTINGS_BLUE = 1021;
// Layout radio buttons: layout index = id − IDC_SETTINGS_LAYOUT_1.
inline constexpr int IDC_SETTINGS_LAYOUT_1 = 1023;
inline constexpr int IDC_SETTINGS_LAYOUT_2 = 1024;
inline constexpr int IDC_SETTINGS_LAYOUT_3 = 1025;
// Colour target radio buttons: target = id − IDC_SETTINGS_TARGET_BUTTONS.
inline constexpr int IDC_SETTINGS_TARGET_BUTTONS = 1026;
inline constexpr int IDC_SETTINGS_TARGET_DISPLAY = 1027;
inline constexpr int IDC_SETTINGS_TARGET_TEXT = 1028;

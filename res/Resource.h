#pragma once

// Resource numbers and command ids of the player. The bitmaps and icons themselves are Qt
// resources (res/sorvane.qrc, made by res/make_resources.py); platform/Resources.h finds
// them by these numbers.

// Resources of the document template: document string, program icon, discarded frame menu
// and accelerator table.
inline constexpr int IDR_MAINFRAME = 128;
inline constexpr int IDD_ABOUTBOX = 100;
inline constexpr int IDR_MENU_POPUP = 134; // the window's pop-up menu
inline constexpr int IDD_SETTINGS = 135;
inline constexpr int IDR_MENU_TRAY = 140; // the tray icon's menu
inline constexpr int IDD_PLAYLIST = 141;

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

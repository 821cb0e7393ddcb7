#pragma once

#include "res/Resource.h"

// The accelerator table of the main frame (IDR_MAINFRAME) as data, in its order. The
// document template installs these keys on the frame; of the player's own handlers only the
// document takes one (Ctrl+T, stop after this one), the last.

struct Accelerator
{
    const char* lpszKeys; // in Qt's portable text form, such as "Ctrl+N"
    int nID;
};

inline constexpr Accelerator kMainFrameAccelerators[] = {
    {"Ctrl+N", ID_FILE_NEW},    {"Ctrl+O", ID_FILE_OPEN},        {"Ctrl+S", ID_FILE_SAVE},
    {"Ctrl+Z", ID_EDIT_UNDO},   {"Alt+Backspace", ID_EDIT_UNDO}, {"Ctrl+X", ID_EDIT_CUT},
    {"Shift+Del", ID_EDIT_CUT}, {"Ctrl+C", ID_EDIT_COPY},        {"Ctrl+Ins", ID_EDIT_COPY},
    {"Ctrl+V", ID_EDIT_PASTE},  {"Shift+Ins", ID_EDIT_PASTE},    {"F6", ID_NEXT_PANE},
    {"Shift+F6", ID_PREV_PANE}, {"Ctrl+T", ID_MENU_STOPAFTER},
};

#pragma once

#include "base/Prompts.h"
#include "res/Resource.h"

#include <QtGlobal>

#include <string>

// The program's string table as data: the document string of the document template, the
// application title that captions every message box, and the tips of the nine transport
// buttons. Texts are UTF-8. Usable from any thread.

struct StringTableEntry
{
    int nID;
    const char* lpszText;
};

inline constexpr StringTableEntry kStringTable[] = {
    {IDR_MAINFRAME, "Sorvane\n\nSorvo\n\n\nSorvane.Document\nSorvo Document"},
    {AFX_IDS_APP_TITLE, kAppTitle},
    {IDS_TIP_OPEN, QT_TRANSLATE_NOOP("Sorvane", "ファイルを開く")},
    {IDS_TIP_PLAY, QT_TRANSLATE_NOOP("Sorvane", "演奏開始・再開")},
    {IDS_TIP_STOP, QT_TRANSLATE_NOOP("Sorvane", "演奏停止")},
    {IDS_TIP_PAUSE, QT_TRANSLATE_NOOP("Sorvane", "一時停止")},
    {IDS_TIP_NEXT, QT_TRANSLATE_NOOP("Sorvane", "次の曲へ")},
    {IDS_TIP_PREV, QT_TRANSLATE_NOOP("Sorvane", "前の曲へ")},
    {IDS_TIP_PLAYLIST, QT_TRANSLATE_NOOP("Sorvane", "プレイリストを開く")},
    {IDS_TIP_CDPLAY, QT_TRANSLATE_NOOP("Sorvane", "CDの演奏開始")},
    {IDS_TIP_EJECT, QT_TRANSLATE_NOOP("Sorvane", "CDを取り出す")},
};

// The text of string nID; "" when the table has no such string.
inline std::string LoadString(int nID)
{
    for (const StringTableEntry& entry : kStringTable)
        if (entry.nID == nID)
            return entry.lpszText;
    return {};
}

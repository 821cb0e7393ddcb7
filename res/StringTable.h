#pragma once

#include "base/Prompts.h"
#include "res/Resource.h"

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
    {IDS_TIP_OPEN, "ファイルを開く"},
    {IDS_TIP_PLAY, "演奏開始・再開"},
    {IDS_TIP_STOP, "演奏停止"},
    {IDS_TIP_PAUSE, "一時停止"},
    {IDS_TIP_NEXT, "次の曲へ"},
    {IDS_TIP_PREV, "前の曲へ"},
    {IDS_TIP_PLAYLIST, "プレイリストを開く"},
    {IDS_TIP_CDPLAY, "CDの演奏開始"},
    {IDS_TIP_EJECT, "CDを取り出す"},
};

// The text of string nID; "" when the table has no such string.
inline std::string LoadString(int nID)
{
    for (const StringTableEntry& entry : kStringTable) {
        if (entry.nID == nID)
            return entry.lpszText;
    }
    return {};
}

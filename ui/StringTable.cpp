#include "ui/StringTable.h"

#include "base/Prompts.h"
#include "res/Resource.h"

namespace {

struct StringEntry
{
    int nID;
    const char* lpszText;
};

constexpr StringEntry kStringTable[] = {
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

} // namespace

std::string LoadString(int nID)
{
    for (const StringEntry& entry : kStringTable) {
        if (entry.nID == nID) {
            return entry.lpszText;
        }
    }
    return {};
}

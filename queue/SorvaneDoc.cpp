#include "queue/SorvaneDoc.h"

#include "base/MbString.h"
#include "base/Path.h"
#include "base/Prompts.h"
#include "base/ScanInt.h"
#include "base/StrFormat.h"
#include "engine/PlayEngine.h"
#include "media/Mci.h"
#include "res/Resource.h"

#include <cstdio>

namespace {

const CommandEntry<CSorvaneDoc> kCommandTable[] = {
    {IDC_BTN_OPEN, &CSorvaneDoc::OnCmdOpen},
    {ID_MENU_OPEN, &CSorvaneDoc::OnCmdOpen},
    {IDC_BTN_PLAY, &CSorvaneDoc::OnCmdPlay},
    {ID_MENU_PLAY, &CSorvaneDoc::OnCmdPlay},
    {IDC_BTN_STOP, &CSorvaneDoc::OnCmdStop},
    {ID_MENU_STOP, &CSorvaneDoc::OnCmdStop},
    {IDC_BTN_PREV, &CSorvaneDoc::OnCmdPrevious},
    {ID_MENU_PREV, &CSorvaneDoc::OnCmdPrevious},
    {IDC_BTN_PAUSE, &CSorvaneDoc::OnCmdPause},
    {ID_MENU_PAUSE, &CSorvaneDoc::OnCmdPause},
    {IDC_BTN_NEXT, &CSorvaneDoc::OnCmdNext},
    {ID_MENU_NEXT, &CSorvaneDoc::OnCmdNext},
    {IDC_BTN_PLAYLIST, &CSorvaneDoc::OnCmdPlaylist},
    {ID_MENU_PLAYLIST, &CSorvaneDoc::OnCmdPlaylist},
    {IDC_BTN_CDPLAY, &CSorvaneDoc::OnCmdCdPlay},
    {ID_MENU_CDPLAY, &CSorvaneDoc::OnCmdCdPlay},
    {IDC_BTN_EJECT, &CSorvaneDoc::OnCmdEject},
    {ID_MENU_EJECT, &CSorvaneDoc::OnCmdEject},
};

} // namespace

CPoint PlaylistPlacement(int nPlayerLeft, int nPlayerTop, int nPlayerRight)
{
    int x = nPlayerLeft;
    if (x < CSorvaneDoc::kPlaylistLeftThreshold)
        x = nPlayerRight + CSorvaneDoc::kPlaylistRightOffset;
    return {x - CSorvaneDoc::kPlaylistLeftOffset, nPlayerTop};
}

int ParseTrackNumber(std::string entry)
{
    const std::size_t open = MbsChr(entry, '<');
    const std::size_t close = MbsChr(entry, '>');
    if (open == std::string::npos || close == std::string::npos)
        return -1;
    if (close < open)
        return 0;
    std::size_t pos = 0;
    return ScanInt(std::string_view(entry).substr(open + 1, close - open - 1), pos).value_or(0);
}

CSorvaneDoc::CSorvaneDoc()
    : m_pEngine(new CPlayEngine)
{}

CSorvaneDoc::~CSorvaneDoc()
{
    m_pEngine->Stop();
    m_pEngine->CloseMedium();
    delete m_pEngine;
}

bool CSorvaneDoc::OnCmdMsg(int nId)
{
    return DispatchCommand(*this, kCommandTable, nId);
}

void CSorvaneDoc::OnCmdOpen()
{
    FileDialogRequest request;
    request.bOpen = true;
    request.bMultiSelect = true;
    request.strDefExt = kOpenDefExt;
    request.strFilter = kOpenFilter;
    std::vector<std::string> paths;
    if (!Prompts().AskFiles(request, paths))
        return;
    OpenFiles(paths);
}

void CSorvaneDoc::OpenFiles(const std::vector<std::string>& paths)
{
    m_pEngine->Stop();
    m_pEngine->CloseMedium();
    m_queue.Clear();
    for (const std::string& path : paths)
        m_queue.Add(path);

    const std::string entry = m_queue.GetAt(0);
    if (!entry.empty() && !m_pEngine->OpenAndPlay(entry))
        Prompts().ShowMessage(kPlayFailedText);
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneDoc::EnqueueFiles(const std::vector<std::string>& paths)
{
    for (const std::string& path : paths)
        m_queue.Add(path);
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneDoc::SeekTo(int nPercent)
{
    if (m_pEngine->IsOpen() == 0)
        return;
    const bool bPlaying = m_pEngine->GetMode() == static_cast<int>(MCI_MODE_PLAY);
    m_pEngine->SeekPercent(nPercent);
    if (bPlaying && m_pEngine->GetMode() != static_cast<int>(MCI_MODE_PLAY))
        m_pEngine->Play(0);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPlay()
{
    m_pEngine->Play(0);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdStop()
{
    if (!m_pEngine->Stop())
        return;
    m_pEngine->SeekPercent(0);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPause()
{
    if (m_pEngine->Stop())
        UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdNext()
{
    if (m_queue.GetCount() == 0)
        return;
    PlayEntry(m_queue.Next());
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPrevious()
{
    if (m_queue.GetCount() == 0)
        return;
    PlayEntry(m_queue.Previous());
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

void CSorvaneDoc::OnCmdPlaylist()
{
    if (m_pPlaylistHost == nullptr)
        return;
    if (m_pPlaylistHost->IsPlaylistVisible()) {
        m_pPlaylistHost->HidePlaylist();
        return;
    }
    int left = 0;
    int top = 0;
    int right = 0;
    m_pPlaylistHost->GetPlayerRect(left, top, right);
    const CPoint at = PlaylistPlacement(left, top, right);
    m_pPlaylistHost->ShowPlaylistAt(at.x, at.y);
}

void CSorvaneDoc::OnCmdCdPlay()
{
    m_pEngine->Stop();
    m_pEngine->CloseMedium();
    if (!m_pEngine->OpenMedium(kCdPath, 0)) {
        Prompts().ShowMessage(kMciOpenErrorText);
        return;
    }
    if (!m_pEngine->Play(1)) {
        Prompts().ShowMessage(kMciPlayErrorText);
        return;
    }
    m_queue.Clear();
    for (int n = 1; n <= m_pEngine->GetTrackCount(); ++n)
        m_queue.Add(StrFormat("\\track <%d>", n));
    UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneDoc::OnCmdEject()
{
    if (m_pEngine->Eject() && m_pEngine->GetKind() == 0)
        UpdateAllViews(nullptr, HINT_QUEUE_CHANGED);
}

void CSorvaneDoc::PlayEntryMedium(const std::string& entry)
{
    if (!entry.empty() && entry.front() == '\\') {
        const int track = ParseTrackNumber(entry);
        if (track > 0)
            m_pEngine->Play(track);
        return;
    }
    m_pEngine->CloseMedium();
    m_pEngine->OpenAndPlay(entry);
}

int CSorvaneDoc::PlayEntry(std::string entry)
{
    PlayEntryMedium(entry);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
    return m_queue.GetCurrent();
}

void CSorvaneDoc::PlayAt(int nIndex)
{
    if (nIndex < 0 || nIndex >= m_queue.GetCount())
        return;
    PlayEntryMedium(m_queue.GetAt(nIndex));
    m_queue.SetCurrent(nIndex);
    UpdateAllViews(nullptr, HINT_STATE_CHANGED);
}

std::string CSorvaneDoc::GetStatusText() const
{
    if (!m_pEngine->IsOpen())
        return {};
    PlayPosition position{};
    m_pEngine->GetPosition(&position);
    const int length = m_pEngine->GetLengthSeconds(position.nTrack);
    const std::string title = m_pEngine->GetTitle();
    if (m_pEngine->GetKind() != 0)
        return StrFormat("%s %2d:%2d", title.c_str(), length / 60, length % 60);
    return StrFormat("%s <%2d> %2d:%2d", title.c_str(), position.nTrack, length / 60, length % 60);
}

#include "dialogs/PlaylistDlg.h"

#include "base/Prompts.h"
#include "base/QtText.h"
#include "dialogs/ListBox.h"
#include "dialogs/UpDownCtrl.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"

#include <QCloseEvent>
#include <QStringList>

#include <new>

CPlaylistDlg::CPlaylistDlg(CSorvaneDoc* pDoc, QWidget* pParent)
    : CDialog(IDD_PLAYLIST, pParent)
    , m_pDoc(pDoc)
{
    m_list = dynamic_cast<CListBox*>(GetDlgItem(IDC_PLAYLIST_LIST));
    m_spin = dynamic_cast<CUpDownCtrl*>(GetDlgItem(IDC_PLAYLIST_SPIN));
    if (m_list != nullptr)
        m_list->SetDeleteHandler([this] { OnDelete(); });
    if (m_spin != nullptr) {
        m_spin->SetDeltaPosHandler([this](int, int iDelta) {
            long result = 0;
            OnDeltaposSpin(iDelta, &result);
            return result;
        });
    }
}

CPlaylistDlg::~CPlaylistDlg() = default;

bool CPlaylistDlg::OnCommand(int nID, int nCode)
{
    if (nID == IDC_PLAYLIST_LIST && nCode == LBN_DBLCLK) {
        OnDblclkList();
        return true;
    }
    if (nCode != BN_CLICKED)
        return false;
    switch (nID) {
    case IDC_PLAYLIST_ADD:
        OnAdd();
        return true;
    case IDC_PLAYLIST_SAVE:
        OnSave();
        return true;
    case IDC_PLAYLIST_DELETE:
        OnDelete();
        return true;
    case IDC_PLAYLIST_PLAY:
        OnPlay();
        return true;
    case IDC_PLAYLIST_CLEAR:
        OnClear();
        return true;
    case IDC_PLAYLIST_CLOSE:
        OnHide();
        return true;
    default:
        return CDialog::OnCommand(nID, nCode);
    }
}

void CPlaylistDlg::closeEvent(QCloseEvent* pEvent)
{
    OnHide();
    pEvent->accept();
}

int CPlaylistDlg::RefreshList()
{
    m_list->ResetContent();
    const CPlayQueue& queue = m_pDoc->GetQueue();
    // The lines go in as one batch, which is far quicker for long queues than line by line;
    // when memory runs out part way, the lines gathered so far still go in.
    QStringList lines;
    int result = 1;
    try {
        lines.reserve(queue.GetCount());
        for (int i = 0; i < queue.GetCount(); ++i)
            lines.append(ToQString(queue.GetDisplayName(i)));
    } catch (const std::bad_alloc&) {
        result = 0;
    }
    m_list->addItems(lines);
    return result;
}

int CPlaylistDlg::SelectLine(int nIndex)
{
    return m_list->SetCurSel(nIndex);
}

int CPlaylistDlg::GetSelectedLine() const
{
    return m_list->GetCurSel();
}

void CPlaylistDlg::OnDblclkList()
{
    const int sel = m_list->GetCurSel();
    if (sel == CListBox::LB_ERR)
        return;
    m_pDoc->PlayAt(sel);
}

void CPlaylistDlg::OnPlay()
{
    const int sel = m_list->GetCurSel();
    if (sel == CListBox::LB_ERR)
        return;
    m_pDoc->PlayAt(sel);
    m_list->SetCurSel(sel);
}

void CPlaylistDlg::OnAdd()
{
    FileDialogRequest request;
    request.bOpen = true;
    request.bMultiSelect = true;
    request.strDefExt = kAddDefExt;
    request.strFilter = CSorvaneDoc::WithPlayableEntry(kAddFilter);
    request.nFilterIndex = CSorvaneDoc::kPlayableFilterIndex;
    const bool bWasEmpty = m_list->GetCount() == 0;
    std::vector<std::string> paths;
    if (!Prompts().AskFiles(request, paths))
        return;
    m_pDoc->AddFiles(paths, bWasEmpty);
    RefreshList();
}

void CPlaylistDlg::OnSave()
{
    m_pDoc->SavePlaylistAs();
}

void CPlaylistDlg::OnDeltaposSpin(int iDelta, long* pResult)
{
    *pResult = 0;
    const int sel = m_list->GetCurSel();
    const int count = m_list->GetCount();
    if (sel == CListBox::LB_ERR)
        return;
    // The pair of lines that trade places: the selected one and its neighbour.
    int upper = 0;
    int target = 0;
    if (iDelta > 0) {
        if (sel >= count - 1)
            return;
        upper = sel;
        target = sel + 1;
    } else {
        if (sel == 0)
            return;
        upper = sel - 1;
        target = sel - 1;
    }
    if (m_pDoc->SwapEntries(upper, upper + 1) == 1) {
        const std::string first = m_list->GetText(upper);
        m_list->SetText(upper, m_list->GetText(upper + 1));
        m_list->SetText(upper + 1, first);
    }
    m_list->SetCurSel(target);
}

void CPlaylistDlg::OnDelete()
{
    const int sel = m_list->GetCurSel();
    if (sel == CListBox::LB_ERR)
        return;
    if (m_pDoc->DeleteEntry(sel) == 1)
        m_list->DeleteString(sel);
    m_list->SetCurSel(sel);
}

void CPlaylistDlg::OnClear()
{
    m_pDoc->ClearQueue();
}

void CPlaylistDlg::OnHide()
{
    hide();
}

#pragma once

#include "dialogs/Dialog.h"
#include "queue/SorvaneDoc.h"

#include <cstddef>

#include <QtGlobal>

class CListBox;
class CUpDownCtrl;

// The playlist window: a small modeless top-level window that shows the document's play
// queue, one line per entry in queue order (line i shows the display name of entry i), and
// lets the user add files, save the queue as a playlist file, clear it, delete an entry, move
// an entry up or down and play a chosen entry. Its controls come from dialog template 141.
//
// It is created hidden and lives as long as its parent view; it is shown, hidden and moved
// as a QWidget (show, hide, isVisible, move). Its Close button hides it, and so does a close
// request from the window manager; Escape acts as Delete (the Delete button carries the
// cancel identifier). In the list, the Delete key removes the selected entry and Enter plays
// it. It reads the queue through pDoc->GetQueue and changes the queue and
// what plays only through the document's operations; file dialogs go through Prompts().
// User-interface thread only.
class CPlaylistDlg : public CDialog
{
public:
    // The open-file dialog of Add: multiple selection, names of at most 2048 bytes together
    // (a larger selection counts as cancelled).
    static constexpr const char* kAddFilter = QT_TRANSLATE_NOOP(
        "Sorvane", "AudioFiles( .mid .wav .m3u .mp*)| *.mid; *.wav; *.m3u; *.mp3; *.mp2; *.mp||");
    static constexpr const char* kAddDefExt = ".mid";
    // The save-file dialog of Save and its failure text: the document's, which Ctrl+S uses
    // too.
    static constexpr const char* kSaveFilter = CSorvaneDoc::kSaveFilter;
    static constexpr const char* kSaveDefExt = CSorvaneDoc::kSaveDefExt;
    static constexpr const char* kSaveFileName = CSorvaneDoc::kSaveFileName;
    static constexpr const char* kSaveFailedText = CSorvaneDoc::kSaveFailedText;

    // Builds the hidden window from template 141 with pParent as its parent (it stays a
    // separate top-level window). pDoc must outlive the window. The list starts empty.
    CPlaylistDlg(CSorvaneDoc* pDoc, QWidget* pParent);
    ~CPlaylistDlg() override;

    // Refills the list from the queue: one line per entry, display names in queue order.
    // Returns 1; 0 when memory ran out part way (the lines added so far stay).
    int RefreshList();
    // Selects line nIndex (LB_SETCURSEL); -1 or a line that does not exist clears the
    // selection. Returns the selected line or -1.
    int SelectLine(int nIndex);
    // The selected line, -1 when none (LB_GETCURSEL).
    int GetSelectedLine() const;

    // Handlers, public so that the owner and tests can drive them without input events.
    // Play the selected entry (nothing when no line is selected); OnPlay reselects it.
    void OnDblclkList();
    void OnPlay();
    // Asks for files (open dialog), appends them (playlist files expanded); into a queue of
    // CD tracks it replaces the queue; into an empty list it makes the first entry current
    // and starts it. Then refills.
    void OnAdd();
    // Asks for a file name (save dialog) and writes the queue there as a playlist file;
    // tells the user when that failed.
    void OnSave();
    // The up-down control's proposed change: iDelta > 0 moves the selected entry one place
    // towards the end, otherwise towards the start; the selection follows it. The queue's
    // current index stays. Always sets *pResult to 0 (the control may move).
    void OnDeltaposSpin(int iDelta, long* pResult);
    // Removes the selected entry, keeps the same entry current when it lay after it (the last
    // entry when the current one was beyond the end), selects the line that followed, and
    // stops and closes the engine when the queue became empty.
    void OnDelete();
    // Empties the queue, stops and closes the engine, and updates all views.
    void OnClear();
    // Hides the window; list and queue stay as they are.
    void OnHide();

    // The list box, control 1007: line i shows entry i. Owned by the window.
    CListBox* m_list = nullptr;
    // The up-down control 1009 at the list's right edge, in its default range. Owned by the
    // window.
    CUpDownCtrl* m_spin = nullptr;

    // The commands of the window's buttons and list (Escape arrives as IDCANCEL: Delete).
    bool OnCommand(int nID, int nCode) override;

protected:
    void closeEvent(QCloseEvent* pEvent) override;

private:
    CSorvaneDoc* m_pDoc;
};

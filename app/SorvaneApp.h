#pragma once

#include "app/WinApp.h"
#include "settings/PlayerSettings.h"

#include <memory>
#include <string>

class CExternalShowWatch;
class CMprisService;
class CTitleRendezvous;

// The player's application object. It holds the settings record for the whole run (read in
// InitInstance, written in ExitInstance, also after a refused start, but not by a copy that
// handed its files to the running player), registers the
// document template (document, frame and view), lets one copy of the player run per
// desktop, creates and shows the main window titled kMainWindowTitle, and owns the about
// box. User-interface thread only.
class CSorvaneApp : public CWinApp
{
public:
    // The main window's title, by which another copy finds this one.
    static constexpr const char* kMainWindowTitle = "Sorvix";
    // Entries of the framework's recent-file list.
    static constexpr int kRecentFileCount = 4;
    // The exit code of a start refused because the command line's file could not be opened.
    static constexpr int kExitStartFailed = 1;
    // The exit code of a wrong command line, and of files the running copy did not take.
    static constexpr int kExitUsage = 2;
    static constexpr int kExitNotDelivered = 3;

    CSorvaneApp();
    ~CSorvaneApp() override;

    // Reads the settings, starts the recent-file list, registers the template; then either shows
    // the other running player's window (or hands it the files of --play or --enqueue) and returns
    // FALSE, or creates the main window, shows it, titles it kMainWindowTitle, lets its view accept
    // dropped files, offers the player on the session bus and plays the files of --play, or (with
    // SK_RESUME on) takes back the queue kept by the last run, standing paused where it stood, and
    // appends the files of --enqueue.
    int InitInstance() override;
    // Writes the settings file, then the framework's exit step; a copy that handed its files
    // to the running player writes nothing.
    int ExitInstance() override;
    // Writes the settings file with the window's present position, and the kept queue.
    void OnSessionCommit() override;
    // Writes the kept queue (see KeepQueue), leaves the session bus, then closes the document.
    void CloseAllDocuments() override;

    // ID_APP_ABOUT, then the framework's new, open and save.
    bool OnCmdMsg(int nId) override;
    void OnAppAbout();

    // Whether the last InitInstance ended because another player runs.
    bool FoundOtherInstance() const { return m_bFoundOther; }

    CPlayerSettings m_settings;

private:
    std::unique_ptr<CTitleRendezvous> m_pRendezvous;
    std::unique_ptr<CExternalShowWatch> m_pShowWatch;
    std::unique_ptr<CMprisService> m_pMpris;
    bool m_bFoundOther = false;
    bool m_bHandedOver = false; // the files of --play or --enqueue went to the running player
    // This run showed its window and so keeps its queue at the end (a copy that handed its
    // files over, or whose start failed, writes nothing).
    bool m_bKeepsQueue = false;

    // The kept queue's file, beside the settings file.
    std::string KeptQueuePath() const;
    // With SK_RESUME on, writes the queue, its current entry and the place in it to the kept
    // queue's file (atomically); with it off, removes that file.
    void KeepQueue();
};

#pragma once

#include "app/RecentFileList.h"
#include "framework/CmdTarget.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <QtGlobal>

class CSingleDocTemplate;
class QApplication;
class QWidget;

// What the command line asks for: a new document, or opening the file it names.
struct CCommandLineInfo
{
    enum ShellCommand {
        FileNew,
        FileOpen,
    };
    ShellCommand m_nShellCommand = FileNew;
    std::string m_strFileName;
};

// The application framework's application object: the program's entry (WinMain) makes the
// Qt application object, runs InitInstance, the message loop and ExitInstance, in that
// order; it holds the document template, the main window, the command line and the
// recent-file list (in memory only). Commands reach it last on the command route;
// it handles the framework's standard new, open and save. One per process. User-interface
// thread only.
class CWinApp : public CCmdTarget
{
public:
    // Framework texts shown when a document cannot be opened or saved.
    static constexpr const char* kOpenFailedText =
        QT_TRANSLATE_NOOP("Sorvane", "Failed to open document.");
    static constexpr const char* kSaveFailedText =
        QT_TRANSLATE_NOOP("Sorvane", "Failed to save document.");
    static constexpr const char* kSaveRefusedText =
        QT_TRANSLATE_NOOP("Sorvane", "The file already holds data and was left unchanged.");

    CWinApp();
    ~CWinApp() override;
    CWinApp(const CWinApp&) = delete;
    CWinApp& operator=(const CWinApp&) = delete;

    // The program's entry: the Qt application object from argc/argv (unless one exists
    // already), then InitInstance; when it succeeds, Run. Returns ExitInstance's result.
    int WinMain(int argc, char** argv);
    // Start-up; FALSE ends the program at once (after ExitInstance). By default TRUE.
    virtual int InitInstance();
    // The message loop until the main window closes; then the documents close and
    // ExitInstance runs. Returns its result.
    virtual int Run();
    // The framework's exit step. Returns the exit code.
    virtual int ExitInstance();
    // The desktop session is about to end and may end the process without another word:
    // saves what ExitInstance would save, and the program runs on. By default nothing: the
    // framework keeps nothing between runs.
    virtual void OnSessionCommit();

    // The framework's document commands: new, open and save.
    bool OnCmdMsg(int nId) override;
    void OnFileNew();
    void OnFileOpen();
    void OnFileSave();

    // Starts the recent-file list, of nMaxMRU entries (empty: it is not kept between runs).
    void LoadStdProfileSettings(int nMaxMRU);
    void AddToRecentFileList(const std::string& path);
    const CRecentFileList* GetRecentFileList() const { return m_pRecentFileList.get(); }

    // The one document template; the application owns it.
    void AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate);
    CSingleDocTemplate* GetDocTemplate() const { return m_pDocTemplate.get(); }
    // Closes the document with its frame and view (the main window goes).
    virtual void CloseAllDocuments();

    // The program's arguments after its name (Qt's own options taken out).
    void SetArguments(std::vector<std::string> args) { m_args = std::move(args); }
    const std::vector<std::string>& GetArguments() const { return m_args; }
    // The first argument that is not an option ("-..."), as the file to open.
    void ParseCommandLine(CCommandLineInfo& info) const;
    // Creates the document, frame and view, opening the named file as the document.
    // FALSE when that failed (the failure has been shown).
    int ProcessShellCommand(const CCommandLineInfo& info);

    // The main window; null until the shell command created it.
    QWidget* m_pMainWnd = nullptr;

protected:
    // The process's exit code that ExitInstance returns.
    int m_nExitCode = 0;

private:
    std::unique_ptr<QApplication> m_pQtApp;
    std::unique_ptr<CSingleDocTemplate> m_pDocTemplate;
    std::unique_ptr<CRecentFileList> m_pRecentFileList;
    std::vector<std::string> m_args;
};

#include "app/SorvaneApp.h"

#include "app/AboutDlg.h"
#include "app/CommandLine.h"
#include "app/DocTemplate.h"
#include "app/ExternalShowWatch.h"
#include "app/MprisService.h"
#include "app/TitleRendezvous.h"
#include "app/WindowSearch.h"
#include "base/Path.h"
#include "base/QtText.h"
#include "queue/KeptQueue.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"
#include "ui/MainFrame.h"
#include "ui/SorvaneView.h"

#include <QCoreApplication>
#include <QGuiApplication>

#include <cstdio>
#include <filesystem>

CSorvaneApp::CSorvaneApp() = default;

CSorvaneApp::~CSorvaneApp() = default;

bool CSorvaneApp::OnCmdMsg(int nId)
{
    static const CommandEntry<CSorvaneApp> kCommands[] = {
        {ID_APP_ABOUT, &CSorvaneApp::OnAppAbout},
    };
    return DispatchCommand(*this, kCommands, nId) || CWinApp::OnCmdMsg(nId);
}

int CSorvaneApp::InitInstance()
{
    m_bFoundOther = false;
    m_bHandedOver = false;
    // Qt's widgets host their own controls and always draw in a three-dimensional style, so
    // the framework's control-container and 3-D control steps have nothing to switch on.
    LoadStdProfileSettings(kRecentFileCount);
    m_settings.Load();
    AddDocTemplate(std::make_unique<CSingleDocTemplate>(IDR_MAINFRAME, m_settings, *this));
    GetDocTemplate()->SetCloseHandler([] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });

    const CPlayerCommand command = ParsePlayerCommand(GetArguments());
    if (command.m_nAction == CPlayerCommand::Invalid) {
        std::fprintf(stderr, "sorvane: %s\n", command.m_strError.c_str());
        m_nExitCode = kExitUsage;
        return 0;
    }
    const bool bFiles =
        command.m_nAction == CPlayerCommand::Play || command.m_nAction == CPlayerCommand::Enqueue;
    const bool bPlay = command.m_nAction == CPlayerCommand::Play;
    if (bFiles) {
        std::unique_ptr<CFoundWindow> pOther = FindRendezvousWindow(kMainWindowTitle);
        if (pOther != nullptr && pOther->HandFiles(bPlay, command.m_files)) {
            m_bFoundOther = true;
            m_bHandedOver = true;
            return 0;
        }
    }
    if (std::unique_ptr<CFoundWindow> pOther = FindTopLevelWindow(kMainWindowTitle)) {
        pOther->ShowNormal();
        m_bFoundOther = true;
        if (bFiles) {
            std::fprintf(stderr, "sorvane: the running player did not take the files\n");
            m_nExitCode = kExitNotDelivered;
        }
        return 0;
    }

    CCommandLineInfo cmdInfo;
    if (!bFiles)
        ParseCommandLine(cmdInfo);
    if (!ProcessShellCommand(cmdInfo)) {
        m_nExitCode = kExitStartFailed;
        return 0;
    }

    m_pMainWnd->show();
    m_pMainWnd->repaint();
    m_pMainWnd->setWindowTitle(ToQString(kMainWindowTitle));
    // The window goes on the screen now, not once the files given below have been opened.
    FlushX11Requests();
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        m_pShowWatch = std::make_unique<CExternalShowWatch>(m_pMainWnd);
        // Under a reparenting window manager Qt's record of the position can stay at (0, 0);
        // the X server answers in screen pixels.
        QWidget* pMain = m_pMainWnd;
        GetDocTemplate()->GetFrame()->SetPositionQuery([pMain]() -> std::optional<QPoint> {
            const auto where = X11ScreenPosition(pMain->winId());
            return where ? std::optional(QPoint(where->first, where->second)) : std::nullopt;
        });
    }
    // What plays starts before the bus and the rendezvous are set up, which wait on other
    // processes.
    CSorvaneDoc* pDoc = GetDocTemplate()->GetDocument();
    if (pDoc != nullptr) {
        // Files to play replace the kept queue; files to enqueue join it.
        if (bPlay) {
            pDoc->OpenFiles(command.m_files);
        } else {
            if (m_settings.Get(SK_RESUME) != 0)
                pDoc->RestoreQueue(ReadKeptQueue(KeptQueuePath()));
            if (bFiles)
                pDoc->EnqueueFiles(command.m_files);
        }
        m_bKeepsQueue = true;
    }
    // The rendezvous also runs beside the X11 title search: it carries the files of --play
    // and --enqueue from another copy.
    m_pRendezvous = std::make_unique<CTitleRendezvous>();
    m_pRendezvous->SetFilesHandler([this](bool bPlayFiles, const std::vector<std::string>& paths) {
        if (CSorvaneDoc* pTarget = GetDocTemplate() ? GetDocTemplate()->GetDocument() : nullptr) {
            if (bPlayFiles)
                pTarget->OpenFiles(paths);
            else
                pTarget->EnqueueFiles(paths);
        }
    });
    m_pRendezvous->Listen(kMainWindowTitle, m_pMainWnd);

    CSorvaneView* pView = GetDocTemplate()->GetView();
    if (pView != nullptr)
        pView->DragAcceptFiles(true);
    if (pView != nullptr && pDoc != nullptr) {
        m_pMpris = std::make_unique<CMprisService>(
            *pDoc, m_settings, m_pMainWnd, [pView](int nId) { return pView->RouteCmd(nId); });
        if (!m_pMpris->Register())
            m_pMpris.reset();
    }
    return 1;
}

std::string CSorvaneApp::KeptQueuePath() const
{
    const std::string settings = m_settings.GetFileName();
    return JoinPath(DirectoryOf(settings).value_or("."), kKeptQueueFileName);
}

void CSorvaneApp::KeepQueue()
{
    CSorvaneDoc* pDoc = GetDocTemplate() != nullptr ? GetDocTemplate()->GetDocument() : nullptr;
    if (!m_bKeepsQueue || pDoc == nullptr)
        return;
    if (m_settings.Get(SK_RESUME) == 0) {
        // Turned off, nothing is kept: a later start with it on begins empty too.
        std::error_code ec;
        std::filesystem::remove(KeptQueuePath(), ec);
        return;
    }
    WriteKeptQueue(KeptQueuePath(), pDoc->KeepQueue());
}

void CSorvaneApp::CloseAllDocuments()
{
    KeepQueue();
    m_pMpris.reset();
    CWinApp::CloseAllDocuments();
}

int CSorvaneApp::ExitInstance()
{
    m_pMpris.reset();
    m_pRendezvous.reset();
    m_pShowWatch.reset();
    // A copy that only carried files to the running player was never the player: the settings
    // are that player's to write.
    if (m_bHandedOver)
        return m_nExitCode;
    m_settings.Save();
    return CWinApp::ExitInstance();
}

void CSorvaneApp::OnSessionCommit()
{
    if (CMainFrame* pFrame = GetDocTemplate() != nullptr ? GetDocTemplate()->GetFrame() : nullptr)
        pFrame->StoreLaunchPos();
    m_settings.Save();
    KeepQueue();
    CWinApp::OnSessionCommit();
}

void CSorvaneApp::OnAppAbout()
{
    CAboutDlg about(m_pMainWnd);
    about.DoModal();
}

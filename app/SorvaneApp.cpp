#include "app/SorvaneApp.h"

#include "app/AboutDlg.h"
#include "app/DocTemplate.h"
#include "app/ExternalShowWatch.h"
#include "app/TitleRendezvous.h"
#include "app/WindowSearch.h"
#include "res/Resource.h"
#include "ui/MainFrame.h"
#include "ui/SorvaneView.h"

#include <QCoreApplication>
#include <QGuiApplication>

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
    // Qt's widgets host their own controls and always draw in a three-dimensional style, so
    // the framework's control-container and 3-D control steps have nothing to switch on.
    LoadStdProfileSettings(kRecentFileCount);
    m_settings.Load();
    AddDocTemplate(std::make_unique<CSingleDocTemplate>(IDR_MAINFRAME, m_settings, *this));
    GetDocTemplate()->SetCloseHandler([] {
        QMetaObject::invokeMethod(
            QCoreApplication::instance(), [] { QCoreApplication::quit(); }, Qt::QueuedConnection);
    });

    if (std::unique_ptr<CFoundWindow> pOther = FindTopLevelWindow(kMainWindowTitle)) {
        pOther->ShowNormal();
        m_bFoundOther = true;
        return 0;
    }

    CCommandLineInfo cmdInfo;
    ParseCommandLine(cmdInfo);
    if (!ProcessShellCommand(cmdInfo)) {
        m_nExitCode = kExitStartFailed;
        return 0;
    }

    m_pMainWnd->show();
    m_pMainWnd->repaint();
    m_pMainWnd->setWindowTitle(QString::fromUtf8(kMainWindowTitle));
    if (QGuiApplication::platformName() == QStringLiteral("xcb")) {
        m_pShowWatch = std::make_unique<CExternalShowWatch>(m_pMainWnd);
        // Under a reparenting window manager Qt's record of the position can stay at (0, 0).
        QWidget* pMain = m_pMainWnd;
        GetDocTemplate()->GetFrame()->SetPositionQuery([pMain]() -> std::optional<QPoint> {
            const auto where = X11ScreenPosition(pMain->winId());
            return where ? std::optional(QPoint(where->first, where->second)) : std::nullopt;
        });
    } else {
        m_pRendezvous = std::make_unique<CTitleRendezvous>();
        m_pRendezvous->Listen(kMainWindowTitle, m_pMainWnd);
    }

    if (CSorvaneView* pView = GetDocTemplate()->GetView()) {
        pView->DragAcceptFiles(true);
    }
    return 1;
}

int CSorvaneApp::ExitInstance()
{
    m_pRendezvous.reset();
    m_pShowWatch.reset();
    m_settings.Save();
    return CWinApp::ExitInstance();
}

void CSorvaneApp::OnSessionCommit()
{
    if (CMainFrame* pFrame = GetDocTemplate() != nullptr ? GetDocTemplate()->GetFrame() : nullptr)
        pFrame->StoreLaunchPos();
    m_settings.Save();
    CWinApp::OnSessionCommit();
}

void CSorvaneApp::OnAppAbout()
{
    CAboutDlg about(m_pMainWnd);
    about.DoModal();
}

#include "app/WinApp.h"

#include "app/DocTemplate.h"
#include "app/PlatformChoice.h"
#include "app/SessionEnd.h"
#include "base/Prompts.h"
#include "base/QtText.h"
#include "res/Language.h"
#include "res/Resource.h"
#include "ui/MainFrame.h"
#include "ui/QtPrompts.h"

#include <QApplication>
#include <QTranslator>

#include <algorithm>
#include <cmath>

namespace {

// The environment variable by which the user asks Qt for a scale.
constexpr const char* kScaleFactorVariable = "QT_SCALE_FACTOR";
// The one by which Qt's X11 platform is told not to share window pictures with the server.
constexpr const char* kNoSharedMemoryVariable = "QT_XCB_NO_MITSHM";

// The whole scale factor closest to the text of QT_SCALE_FACTOR (at least 1), so that every
// design pixel becomes a square block of screen pixels; empty when text is no number.
std::string WholeScaleFactor(const std::string& text)
{
    bool bOk = false;
    const double factor = ToQString(text).toDouble(&bOk);
    if (!bOk || !std::isfinite(factor))
        return {};
    return std::to_string(std::max(1L, std::lround(factor)));
}

} // namespace

CWinApp::CWinApp() = default;

CWinApp::~CWinApp()
{
    m_pDocTemplate.reset();
}

int CWinApp::WinMain(int argc, char** argv)
{
    if (QApplication::instance() == nullptr) {
        ApplyPlatformChoice();
        // The player's pictures are pixel art: a screen's scale, or the one asked for, is
        // rounded to a whole factor so that nothing is blurred.
        QGuiApplication::setHighDpiScaleFactorRoundingPolicy(
            Qt::HighDpiScaleFactorRoundingPolicy::Round);
        if (qEnvironmentVariableIsSet(kScaleFactorVariable)) {
            const std::string whole = WholeScaleFactor(qgetenv(kScaleFactorVariable).toStdString());
            if (whole.empty())
                qunsetenv(kScaleFactorVariable);
            else
                qputenv(kScaleFactorVariable, QByteArray::fromStdString(whole));
        }
        // The windows are small and the panel repaints the same few pixels twice a second:
        // through shared memory each repaint first waits for the X server to have read the
        // last one (a round trip), which cost more than sending the pixels.
        if (!qEnvironmentVariableIsSet(kNoSharedMemoryVariable))
            qputenv(kNoSharedMemoryVariable, "1");
        m_pQtApp = std::make_unique<QApplication>(argc, argv);
    }
    QApplication::setQuitOnLastWindowClosed(false);
    // The texts in the user's language, before any window or message shows one.
    const std::string language = LanguageOfEnvironment();
    const std::unique_ptr<QTranslator> translation = InstallTranslation(language);
    const std::unique_ptr<QTranslator> qtTranslation = InstallQtTranslation(language);
    std::vector<std::string> args;
    const QStringList arguments = QCoreApplication::arguments();
    for (qsizetype i = 1; i < arguments.size(); ++i)
        args.push_back(FromQString(arguments[i]));
    SetArguments(std::move(args));

    CQtPrompts prompts;
    IPrompts* pPrevious = SetPrompts(&prompts);
    int nResult = 0;
    // A termination signal or the end of the desktop session ends the message loop like
    // closing the main window does, so that the exit steps still run.
    const CSessionEnd sessionEnd([this] { OnSessionCommit(); });
    if (!InitInstance()) {
        CloseAllDocuments();
        nResult = ExitInstance();
    } else {
        nResult = Run();
    }
    SetPrompts(pPrevious);
    m_pDocTemplate.reset();
    m_pQtApp.reset();
    return nResult;
}

int CWinApp::InitInstance()
{
    return 1;
}

int CWinApp::Run()
{
    QApplication::exec();
    CloseAllDocuments();
    return ExitInstance();
}

int CWinApp::ExitInstance()
{
    return m_nExitCode;
}

void CWinApp::OnSessionCommit() {}

bool CWinApp::OnCmdMsg(int nId)
{
    static const CommandEntry<CWinApp> kCommands[] = {
        {ID_FILE_NEW, &CWinApp::OnFileNew},
        {ID_FILE_OPEN, &CWinApp::OnFileOpen},
        {ID_FILE_SAVE, &CWinApp::OnFileSave},
    };
    return DispatchCommand(*this, kCommands, nId);
}

void CWinApp::OnFileNew()
{
    if (m_pDocTemplate != nullptr)
        m_pDocTemplate->OpenDocumentFile(nullptr);
}

void CWinApp::OnFileOpen()
{
    if (m_pDocTemplate == nullptr)
        return;
    FileDialogRequest request;
    request.bOpen = true;
    request.strFilter = m_pDocTemplate->GetFilter();
    std::vector<std::string> paths;
    if (!Prompts().AskFiles(request, paths) || paths.empty())
        return;
    m_pDocTemplate->OpenDocumentFile(&paths.front());
}

void CWinApp::OnFileSave()
{
    if (m_pDocTemplate != nullptr)
        m_pDocTemplate->DoFileSave();
}

void CWinApp::LoadStdProfileSettings(int nMaxMRU)
{
    m_pRecentFileList = std::make_unique<CRecentFileList>(nMaxMRU);
}

void CWinApp::AddToRecentFileList(const std::string& path)
{
    if (m_pRecentFileList != nullptr)
        m_pRecentFileList->Add(path);
}

void CWinApp::AddDocTemplate(std::unique_ptr<CSingleDocTemplate> pTemplate)
{
    m_pDocTemplate = std::move(pTemplate);
}

void CWinApp::CloseAllDocuments()
{
    if (m_pDocTemplate != nullptr)
        m_pDocTemplate->CloseAllDocuments();
    m_pMainWnd = nullptr;
}

void CWinApp::ParseCommandLine(CCommandLineInfo& info) const
{
    for (const std::string& arg : m_args) {
        if (!arg.empty() && arg.front() == '-')
            continue;
        if (info.m_strFileName.empty())
            info.m_strFileName = arg;
    }
    info.m_nShellCommand =
        info.m_strFileName.empty() ? CCommandLineInfo::FileNew : CCommandLineInfo::FileOpen;
}

int CWinApp::ProcessShellCommand(const CCommandLineInfo& info)
{
    if (m_pDocTemplate == nullptr)
        return 0;
    const std::string* pPath =
        info.m_nShellCommand == CCommandLineInfo::FileOpen ? &info.m_strFileName : nullptr;
    if (m_pDocTemplate->OpenDocumentFile(pPath) == nullptr)
        return 0;
    if (m_pMainWnd == nullptr)
        m_pMainWnd = m_pDocTemplate->GetFrame();
    return 1;
}

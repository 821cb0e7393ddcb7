#include "app/DocTemplate.h"

#include "app/WinApp.h"
#include "base/Prompts.h"
#include "base/QtText.h"
#include "base/StrFormat.h"
#include "queue/SorvaneDoc.h"
#include "res/Accelerators.h"
#include "res/Resource.h"
#include "res/StringTable.h"
#include "ui/MainFrame.h"
#include "ui/SorvaneView.h"

#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeySequence>
#include <QShortcut>

namespace {

std::vector<std::string> SplitLines(const std::string& text)
{
    std::vector<std::string> parts;
    std::size_t start = 0;
    for (;;) {
        const std::size_t end = text.find('\n', start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos)
            return parts;
        start = end + 1;
    }
}

} // namespace

CSingleDocTemplate::CSingleDocTemplate(int nIDResource, CPlayerSettings& settings, CWinApp& app)
    : m_docStrings(SplitLines(LoadString(nIDResource)))
    , m_settings(settings)
    , m_app(app)
{}

CSingleDocTemplate::~CSingleDocTemplate()
{
    CloseAllDocuments();
}

std::string CSingleDocTemplate::GetDocString(DocStringIndex index) const
{
    const auto i = static_cast<std::size_t>(index);
    return i < m_docStrings.size() ? m_docStrings[i] : std::string();
}

std::string CSingleDocTemplate::GetFilter() const
{
    const std::string name = GetDocString(filterName);
    const std::string ext = GetDocString(filterExt);
    if (name.empty() || ext.empty())
        return kAllFilesFilter;
    return name + "|*" + ext + "||";
}

std::string CSingleDocTemplate::GetTitle() const
{
    if (m_strPathName.empty())
        return GetDocString(fileNewName);
    return FromQString(QFileInfo(ToQString(m_strPathName)).fileName());
}

void CSingleDocTemplate::CreateFrame()
{
    m_pFrame = std::make_unique<CMainFrame>(m_settings);
    auto* pView = new CSorvaneView(m_pDocument.get(), m_settings);
    pView->SetAppCommandTarget(&m_app);
    pView->Create(m_pFrame.get());
    m_pFrame->SetView(pView);
    m_pView = pView;
    InstallAccelerators();
    m_pFrame->installEventFilter(this);
    m_pFrame->Create();
}

void CSingleDocTemplate::InstallAccelerators()
{
    for (const Accelerator& accelerator : kMainFrameAccelerators) {
        auto* pShortcut =
            new QShortcut(QKeySequence(ToQString(accelerator.lpszKeys)), m_pFrame.get());
        pShortcut->setContext(Qt::WindowShortcut);
        const int nID = accelerator.nID;
        connect(pShortcut, &QShortcut::activated, this, [this, nID] {
            if (m_pView != nullptr)
                m_pView->RouteCmd(nID);
        });
    }
}

CSorvaneDoc* CSingleDocTemplate::OpenDocumentFile(const std::string* pPath)
{
    const bool bCreated = m_pDocument == nullptr;
    if (bCreated) {
        m_pDocument = std::make_unique<CSorvaneDoc>();
        CreateFrame();
    }

    if (pPath != nullptr) {
        QFile file(ToQString(*pPath));
        if (pPath->empty() || !QFileInfo(file).isFile() || !file.open(QIODevice::ReadOnly)) {
            Prompts().ShowMessage(StrFormat("%s\n%s", pPath->c_str(), CWinApp::kOpenFailedText));
            if (bCreated)
                CloseAllDocuments();
            return nullptr;
        }
        SetPathName(*pPath);
    } else {
        m_strPathName.clear();
        m_pDocument->OnNewDocument();
    }

    m_pView->OnInitialUpdate();
    m_pFrame->show();
    return m_pDocument.get();
}

void CSingleDocTemplate::SetPathName(const std::string& path)
{
    const QFileInfo info(ToQString(path));
    m_strPathName = FromQString(info.absoluteFilePath());
    m_app.AddToRecentFileList(m_strPathName);
}

void CSingleDocTemplate::CloseAllDocuments()
{
    if (m_pFrame != nullptr)
        m_pFrame->removeEventFilter(this);
    m_pView = nullptr;
    m_pFrame.reset();
    m_pDocument.reset();
    m_strPathName.clear();
}

int CSingleDocTemplate::DoFileSave()
{
    if (m_pDocument == nullptr)
        return 0;
    FileDialogRequest request;
    request.bOpen = false;
    request.strFileName = m_strPathName.empty() ? GetTitle() : m_strPathName;
    request.strFilter = GetFilter();
    std::vector<std::string> paths;
    if (!Prompts().AskFiles(request, paths) || paths.empty())
        return 0;
    const std::string& path = paths.front();
    const QString name = ToQString(path);
    const QFileInfo info(name);
    if (info.exists() && (!info.isFile() || info.size() > 0)) {
        Prompts().ShowMessage(StrFormat("%s\n%s", path.c_str(), CWinApp::kSaveRefusedText));
        return 0;
    }
    QFile file(name);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        Prompts().ShowMessage(StrFormat("%s\n%s", path.c_str(), CWinApp::kSaveFailedText));
        return 0;
    }
    file.close();
    SetPathName(path);
    return 1;
}

bool CSingleDocTemplate::eventFilter(QObject* pWatched, QEvent* pEvent)
{
    if (pWatched == m_pFrame.get() && pEvent->type() == QEvent::Close && m_onClose)
        m_onClose();
    return QObject::eventFilter(pWatched, pEvent);
}

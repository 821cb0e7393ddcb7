#include "app/TitleRendezvous.h"

#include "base/QtText.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

#include <algorithm>
#include <cerrno>

#include <sys/stat.h>
#include <unistd.h>

namespace {

class CRendezvousWindow : public CFoundWindow
{
public:
    explicit CRendezvousWindow(std::unique_ptr<QLocalSocket> pSocket)
        : m_pSocket(std::move(pSocket))
    {}

    bool ShowNormal() override
    {
        return Ask(CTitleRendezvous::kShowRequest) == CTitleRendezvous::kShownReply;
    }

    bool HandFiles(bool bPlay, const std::vector<std::string>& paths) override
    {
        QByteArray request(bPlay ? CTitleRendezvous::kPlayVerb : CTitleRendezvous::kEnqueueVerb);
        for (const std::string& path : paths) {
            request += ' ';
            request += QByteArray::fromStdString(path).toPercentEncoding();
        }
        request += '\n';
        if (request.size() > CTitleRendezvous::kMaxFilesRequestBytes) {
            return false;
        }
        return Ask(request) == CTitleRendezvous::kTakenReply;
    }

private:
    // Sends request and reads the one-line reply; empty when none came in time.
    QByteArray Ask(const QByteArray& request)
    {
        if (m_pSocket->write(request) != request.size() ||
            !m_pSocket->waitForBytesWritten(CTitleRendezvous::kConnectTimeoutMs)) {
            return {};
        }
        // One deadline for the whole reply, however slowly it trickles in.
        const QDeadlineTimer deadline(CTitleRendezvous::kReplyTimeoutMs);
        QByteArray reply;
        while (!reply.contains('\n') && reply.size() <= CTitleRendezvous::kMaxRequestBytes) {
            if (deadline.hasExpired() ||
                !m_pSocket->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
                return {};
            }
            reply += m_pSocket->readAll();
        }
        return reply;
    }

    std::unique_ptr<QLocalSocket> m_pSocket;
};

// The directory of the sockets: $XDG_RUNTIME_DIR, which is the user's own, else a directory
// of the user's own in the temporary directory, made when missing. Empty when that directory
// is not safely the user's: another user's, a link, or open to others.
std::string RendezvousDir()
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        return runtime.toStdString();
    }
    const std::string dir = FromQString(QDir::tempPath()) + "/sorvane-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), S_IRWXU) != 0 && errno != EEXIST) {
        return {};
    }
    struct stat st = {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0) {
        return {};
    }
    return dir;
}

// Only a socket of the user's own is a player to ask, or one to replace when stale.
bool IsOwnSocket(const QString& path)
{
    struct stat st = {};
    return lstat(FromQString(path).c_str(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_uid == getuid();
}

// The verb of a file request ("PLAY" or "ENQUEUE"), empty for any other text.
QByteArray FilesVerbOf(const QByteArray& text)
{
    for (const char* verb : {CTitleRendezvous::kPlayVerb, CTitleRendezvous::kEnqueueVerb}) {
        const QByteArray word = QByteArray(verb) + ' ';
        if (text.startsWith(word)) {
            return verb;
        }
    }
    return {};
}

// Whether the bytes received so far can still become a request.
bool CouldBeRequest(const QByteArray& text)
{
    for (const char* start : {CTitleRendezvous::kShowRequest, "PLAY ", "ENQUEUE "}) {
        const QByteArray word(start);
        const qsizetype n = std::min(word.size(), text.size());
        if (text.left(n) == word.left(n)) {
            return true;
        }
    }
    return false;
}

} // namespace

std::string RendezvousPath(const std::string& title)
{
    const std::string dir = RendezvousDir();
    return dir.empty() ? std::string() : dir + "/" + title;
}

std::unique_ptr<CFoundWindow> FindRendezvousWindow(const std::string& title)
{
    const QString path = ToQString(RendezvousPath(title));
    if (path.isEmpty() || !IsOwnSocket(path)) {
        return nullptr;
    }
    auto pSocket = std::make_unique<QLocalSocket>();
    pSocket->connectToServer(path);
    if (!pSocket->waitForConnected(CTitleRendezvous::kConnectTimeoutMs)) {
        return nullptr;
    }
    return std::make_unique<CRendezvousWindow>(std::move(pSocket));
}

CTitleRendezvous::CTitleRendezvous() = default;

CTitleRendezvous::~CTitleRendezvous()
{
    Close();
}

bool CTitleRendezvous::Listen(const std::string& title, QWidget* pWindow)
{
    Close();
    const QString path = ToQString(RendezvousPath(title));
    if (path.isEmpty()) {
        return false;
    }
    // The server's access option makes listening replace whatever has the name, so what is
    // there is judged first: another user's file, or a player that answers, is kept.
    struct stat st = {};
    if (lstat(FromQString(path).c_str(), &st) == 0) {
        if (st.st_uid != getuid()) {
            return false;
        }
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(kConnectTimeoutMs)) {
            return false;
        }
        QLocalServer::removeServer(path);
    }
    auto pServer = std::make_unique<QLocalServer>();
    pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!pServer->listen(path)) {
        return false;
    }
    m_pWindow = pWindow;
    m_pServer = std::move(pServer);
    QObject::connect(m_pServer.get(), &QLocalServer::newConnection, m_pServer.get(),
                     [this] { OnNewConnection(); });
    return true;
}

void CTitleRendezvous::Close()
{
    if (m_pServer != nullptr) {
        m_pServer->close();
        m_pServer.reset();
    }
    m_pWindow = nullptr;
}

void CTitleRendezvous::OnNewConnection()
{
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection()) {
        QObject::connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket, [this, pSocket] {
            const QByteArray pending = pSocket->peek(kMaxFilesRequestBytes + 1);
            const int nLimit =
                FilesVerbOf(pending).isEmpty() ? kMaxRequestBytes : kMaxFilesRequestBytes;
            if (!pSocket->canReadLine()) {
                if (pSocket->bytesAvailable() > nLimit || !CouldBeRequest(pending)) {
                    pSocket->abort();
                }
                return;
            }
            Answer(pSocket, pSocket->readLine(nLimit + 1));
        });
    }
}

void CTitleRendezvous::Answer(QLocalSocket* pSocket, const QByteArray& request)
{
    const QByteArray verb = FilesVerbOf(request);
    if (!verb.isEmpty() && request.endsWith('\n') && m_filesHandler) {
        std::vector<std::string> paths;
        const QList<QByteArray> words = request.chopped(1).split(' ');
        for (qsizetype i = 1; i < words.size(); ++i) {
            if (!words[i].isEmpty()) {
                paths.push_back(QByteArray::fromPercentEncoding(words[i]).toStdString());
            }
        }
        if (paths.empty()) {
            pSocket->abort();
            return;
        }
        pSocket->write(kTakenReply);
        pSocket->flush();
        // The handler may show message boxes that run their own loops, so it runs after this
        // socket's signal, and not at all once the listener has closed.
        QMetaObject::invokeMethod(
            m_pServer.get(),
            [handler = m_filesHandler, bPlay = verb == kPlayVerb, paths] { handler(bPlay, paths); },
            Qt::QueuedConnection);
        return;
    }
    if (request != kShowRequest || m_pWindow == nullptr) {
        pSocket->abort();
        return;
    }
    m_pWindow->showNormal();
    m_pWindow->raise();
    m_pWindow->activateWindow();
    pSocket->write(kShownReply);
    pSocket->flush();
}

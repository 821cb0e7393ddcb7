#include "app/TitleRendezvous.h"

#include "base/QtText.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QTimer>
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
        if (request.size() > CTitleRendezvous::kMaxFilesRequestBytes)
            return false;
        return Ask(request) == CTitleRendezvous::kTakenReply;
    }

private:
    // Sends request and reads the one-line reply; empty when none came in time.
    QByteArray Ask(const QByteArray& request)
    {
        if (m_pSocket->write(request) != request.size() ||
            !m_pSocket->waitForBytesWritten(CTitleRendezvous::kConnectTimeoutMs))
            return {};
        // One deadline for the whole reply, however slowly it trickles in.
        const QDeadlineTimer deadline(CTitleRendezvous::kReplyTimeoutMs);
        QByteArray reply;
        while (!reply.contains('\n') && reply.size() <= CTitleRendezvous::kMaxRequestBytes) {
            if (deadline.hasExpired() ||
                !m_pSocket->waitForReadyRead(static_cast<int>(deadline.remainingTime())))
                return {};
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
    if (!runtime.isEmpty())
        return runtime.toStdString();
    const std::string dir = FromQString(QDir::tempPath()) + "/sorvane-" + std::to_string(getuid());
    if (mkdir(dir.c_str(), S_IRWXU) != 0 && errno != EEXIST)
        return {};
    struct stat st = {};
    if (lstat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != getuid() ||
        (st.st_mode & (S_IRWXG | S_IRWXO)) != 0)
        return {};
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
        if (text.startsWith(word))
            return verb;
    }
    return {};
}

// Closes a connection at once and lets it go.
void Drop(QLocalSocket* pSocket)
{
    pSocket->abort();
    pSocket->deleteLater();
}

// Sends the reply to the one request a connection makes, reads nothing more from it and
// closes it once the reply is out.
void Finish(QLocalSocket* pSocket, const char* reply)
{
    QObject::disconnect(pSocket, &QLocalSocket::readyRead, nullptr, nullptr);
    pSocket->write(reply);
    pSocket->disconnectFromServer();
}

// Whether the bytes received so far can still become a request.
bool CouldBeRequest(const QByteArray& text)
{
    for (const char* start : {CTitleRendezvous::kShowRequest, "PLAY ", "ENQUEUE "}) {
        const QByteArray word(start);
        const qsizetype n = std::min(word.size(), text.size());
        if (text.left(n) == word.left(n))
            return true;
    }
    return false;
}

} // namespace

RendezvousRequest ReadRendezvousRequest(const QByteArray& pending)
{
    const QByteArray verb = FilesVerbOf(pending);
    const qsizetype limit = verb.isEmpty() ? CTitleRendezvous::kMaxRequestBytes
                                           : CTitleRendezvous::kMaxFilesRequestBytes;
    const qsizetype end = pending.indexOf('\n');
    if (end < 0) {
        return {pending.size() <= limit && CouldBeRequest(pending) ? RendezvousRequest::Incomplete
                                                                   : RendezvousRequest::Invalid,
                {}};
    }
    const QByteArray line = pending.left(end + 1);
    if (line.size() > limit)
        return {RendezvousRequest::Invalid, {}};
    if (line == CTitleRendezvous::kShowRequest)
        return {RendezvousRequest::Show, {}};
    if (verb.isEmpty())
        return {RendezvousRequest::Invalid, {}};
    RendezvousRequest request;
    request.kind =
        verb == CTitleRendezvous::kPlayVerb ? RendezvousRequest::Play : RendezvousRequest::Enqueue;
    const QList<QByteArray> words = line.chopped(1).split(' ');
    for (qsizetype i = 1; i < words.size(); ++i)
        if (!words[i].isEmpty())
            request.paths.push_back(QByteArray::fromPercentEncoding(words[i]).toStdString());
    if (request.paths.empty())
        request.kind = RendezvousRequest::Invalid;
    return request;
}

std::string RendezvousPath(const std::string& title)
{
    const std::string dir = RendezvousDir();
    return dir.empty() ? std::string() : dir + "/" + title;
}

std::unique_ptr<CFoundWindow> FindRendezvousWindow(const std::string& title)
{
    const QString path = ToQString(RendezvousPath(title));
    if (path.isEmpty() || !IsOwnSocket(path))
        return nullptr;
    auto pSocket = std::make_unique<QLocalSocket>();
    pSocket->connectToServer(path);
    if (!pSocket->waitForConnected(CTitleRendezvous::kConnectTimeoutMs))
        return nullptr;
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
    if (path.isEmpty())
        return false;
    // The server's access option makes listening replace whatever has the name, so what is
    // there is judged first: another user's file, or a player that answers, is kept.
    struct stat st = {};
    if (lstat(FromQString(path).c_str(), &st) == 0) {
        if (st.st_uid != getuid())
            return false;
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(kConnectTimeoutMs))
            return false;
        QLocalServer::removeServer(path);
    }
    auto pServer = std::make_unique<QLocalServer>();
    pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!pServer->listen(path))
        return false;
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
        if (m_pServer->findChildren<QLocalSocket*>().size() > kMaxConnections) {
            Drop(pSocket);
            continue;
        }
        // Past the longest request nothing more is read, and the check below drops it.
        pSocket->setReadBufferSize(kMaxFilesRequestBytes + 1);
        QTimer::singleShot(
            m_nIdleLimitMs, pSocket, [pSocket] { Drop(pSocket); });
        QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket,
                         [this, pSocket] { OnReadyRead(pSocket); });
        if (pSocket->bytesAvailable() > 0)
            OnReadyRead(pSocket);
    }
}

void CTitleRendezvous::OnReadyRead(QLocalSocket* pSocket)
{
    RendezvousRequest request = ReadRendezvousRequest(pSocket->peek(kMaxFilesRequestBytes + 1));
    switch (request.kind) {
    case RendezvousRequest::Incomplete:
        return;
    case RendezvousRequest::Show:
        if (m_pWindow == nullptr)
            break;
        m_pWindow->showNormal();
        m_pWindow->raise();
        m_pWindow->activateWindow();
        Finish(pSocket, kShownReply);
        return;
    case RendezvousRequest::Play:
    case RendezvousRequest::Enqueue:
        if (!m_filesHandler)
            break;
        Finish(pSocket, kTakenReply);
        // The handler may show message boxes that run their own loops, so it runs after this
        // socket's signal, and not at all once the listener has closed.
        QMetaObject::invokeMethod(
            m_pServer.get(),
            [handler = m_filesHandler, bPlay = request.kind == RendezvousRequest::Play,
             paths = std::move(request.paths)] { handler(bPlay, paths); },
            Qt::QueuedConnection);
        return;
    case RendezvousRequest::Invalid:
        break;
    }
    Drop(pSocket);
}

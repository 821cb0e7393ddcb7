#include "app/TitleRendezvous.h"

#include <QDeadlineTimer>
#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

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
        const QByteArray request(CTitleRendezvous::kShowRequest);
        if (m_pSocket->write(request) != request.size() ||
            !m_pSocket->waitForBytesWritten(CTitleRendezvous::kConnectTimeoutMs)) {
            return false;
        }
        // One deadline for the whole reply, however slowly it trickles in.
        const QDeadlineTimer deadline(CTitleRendezvous::kReplyTimeoutMs);
        QByteArray reply;
        while (!reply.contains('\n') && reply.size() <= CTitleRendezvous::kMaxRequestBytes) {
            if (deadline.hasExpired() ||
                !m_pSocket->waitForReadyRead(static_cast<int>(deadline.remainingTime()))) {
                return false;
            }
            reply += m_pSocket->readAll();
        }
        return reply == CTitleRendezvous::kShownReply;
    }

private:
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
    const std::string dir = QDir::tempPath().toStdString() + "/sorvane-" + std::to_string(getuid());
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
    return lstat(path.toLocal8Bit().constData(), &st) == 0 && S_ISSOCK(st.st_mode) &&
           st.st_uid == getuid();
}

} // namespace

std::string RendezvousPath(const std::string& title)
{
    const std::string dir = RendezvousDir();
    return dir.empty() ? std::string() : dir + "/" + title;
}

std::unique_ptr<CFoundWindow> FindRendezvousWindow(const std::string& title)
{
    const QString path = QString::fromStdString(RendezvousPath(title));
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
    const QString path = QString::fromStdString(RendezvousPath(title));
    if (path.isEmpty()) {
        return false;
    }
    // The server's access option makes listening replace whatever has the name, so what is
    // there is judged first: another user's file, or a player that answers, is kept.
    struct stat st = {};
    if (lstat(path.toLocal8Bit().constData(), &st) == 0) {
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

bool CTitleRendezvous::IsListening() const
{
    return m_pServer != nullptr && m_pServer->isListening();
}

void CTitleRendezvous::OnNewConnection()
{
    while (QLocalSocket* pSocket = m_pServer->nextPendingConnection()) {
        QObject::connect(pSocket, &QLocalSocket::disconnected, pSocket, &QObject::deleteLater);
        QObject::connect(pSocket, &QLocalSocket::readyRead, pSocket, [this, pSocket] {
            if (!pSocket->canReadLine()) {
                if (pSocket->bytesAvailable() > kMaxRequestBytes) {
                    pSocket->abort();
                }
                return;
            }
            const QByteArray request = pSocket->readLine(kMaxRequestBytes + 1);
            if (request != kShowRequest || m_pWindow == nullptr) {
                pSocket->abort();
                return;
            }
            m_pWindow->showNormal();
            m_pWindow->raise();
            m_pWindow->activateWindow();
            pSocket->write(kShownReply);
            pSocket->flush();
        });
    }
}

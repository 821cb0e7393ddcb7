#include "app/TitleRendezvous.h"

#include <QDir>
#include <QLocalServer>
#include <QLocalSocket>
#include <QWidget>

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
        QByteArray reply;
        while (!reply.contains('\n') && reply.size() <= CTitleRendezvous::kMaxRequestBytes) {
            if (!m_pSocket->waitForReadyRead(CTitleRendezvous::kReplyTimeoutMs)) {
                return false;
            }
            reply += m_pSocket->readAll();
        }
        return reply == CTitleRendezvous::kShownReply;
    }

private:
    std::unique_ptr<QLocalSocket> m_pSocket;
};

} // namespace

std::string RendezvousPath(const std::string& title)
{
    const QByteArray runtime = qgetenv("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty()) {
        return runtime.toStdString() + "/" + title;
    }
    return QDir::tempPath().toStdString() + "/" + title + "-" + std::to_string(getuid());
}

std::unique_ptr<CFoundWindow> FindRendezvousWindow(const std::string& title)
{
    auto pSocket = std::make_unique<QLocalSocket>();
    pSocket->connectToServer(QString::fromStdString(RendezvousPath(title)));
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
    auto pServer = std::make_unique<QLocalServer>();
    pServer->setSocketOptions(QLocalServer::UserAccessOption);
    if (!pServer->listen(path)) {
        if (pServer->serverError() != QAbstractSocket::AddressInUseError) {
            return false;
        }
        QLocalSocket probe;
        probe.connectToServer(path);
        if (probe.waitForConnected(kConnectTimeoutMs)) {
            return false;
        }
        QLocalServer::removeServer(path);
        if (!pServer->listen(path)) {
            return false;
        }
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

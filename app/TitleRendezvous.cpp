#include "app/TitleRendezvous.h"

#include "base/QtText.h"

#include <QDir>
#include <QTimer>
#include <QWidget>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

namespace {

// A connection to the listening socket at path, made within the connect time limit (a
// listener whose queue is full makes a finder wait that long); -1 when nobody listens there.
int ConnectTo(const std::string& path)
{
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof(address.sun_path))
        return -1;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    // Also the limit of each send that waits for room.
    const timeval limit{CTitleRendezvous::kConnectTimeoutMs / 1000,
                        CTitleRendezvous::kConnectTimeoutMs % 1000 * 1000};
    if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof(limit)) != 0 ||
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

class CRendezvousWindow : public CFoundWindow
{
public:
    explicit CRendezvousWindow(int nFd)
        : m_nFd(nFd)
    {}
    ~CRendezvousWindow() override { ::close(m_nFd); }
    CRendezvousWindow(const CRendezvousWindow&) = delete;
    CRendezvousWindow& operator=(const CRendezvousWindow&) = delete;

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
        const char* data = request.constData();
        auto left = static_cast<std::size_t>(request.size());
        while (left > 0) {
            const ssize_t n = ::send(m_nFd, data, left, MSG_NOSIGNAL);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return {};
            data += n;
            left -= static_cast<std::size_t>(n);
        }
        // One deadline for the whole reply, however slowly it trickles in.
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(CTitleRendezvous::kReplyTimeoutMs);
        QByteArray reply;
        while (!reply.contains('\n') && reply.size() <= CTitleRendezvous::kMaxRequestBytes) {
            const auto remaining = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            pollfd readable{m_nFd, POLLIN, 0};
            const int ready = remaining.count() > 0
                                  ? ::poll(&readable, 1, static_cast<int>(remaining.count()))
                                  : 0;
            if (ready < 0 && errno == EINTR)
                continue;
            if (ready <= 0)
                return {};
            char buffer[256];
            const ssize_t n = ::recv(m_nFd, buffer, sizeof(buffer), 0);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                return {};
            reply.append(buffer, n);
        }
        return reply;
    }

    int m_nFd;
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
    const std::string path = RendezvousPath(title);
    if (path.empty() || !IsOwnSocket(ToQString(path)))
        return nullptr;
    const int fd = ConnectTo(path);
    if (fd < 0)
        return nullptr;
    return std::make_unique<CRendezvousWindow>(fd);
}

CTitleRendezvous::CTitleRendezvous() = default;

CTitleRendezvous::~CTitleRendezvous()
{
    Close();
}

bool CTitleRendezvous::Listen(const std::string& title, QWidget* pWindow)
{
    Close();
    const std::string path = RendezvousPath(title);
    sockaddr_un address{};
    if (path.empty() || path.size() >= sizeof(address.sun_path))
        return false;
    // Whatever has the name is judged first: another user's file, or a player that answers,
    // is kept; a socket of the user's own that nobody answers on was left by a player that
    // ended without closing it.
    struct stat st = {};
    if (lstat(path.c_str(), &st) == 0) {
        if (st.st_uid != getuid())
            return false;
        if (const int probe = ConnectTo(path); probe >= 0) {
            ::close(probe);
            return false;
        }
        ::unlink(path.c_str());
    }
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) != 0) {
        ::close(fd);
        return false;
    }
    // Only the user may connect (the directory is the user's alone already).
    if (::chmod(path.c_str(), S_IRUSR | S_IWUSR) != 0 || ::listen(fd, SOMAXCONN) != 0) {
        ::close(fd);
        ::unlink(path.c_str());
        return false;
    }
    m_nListenFd = fd;
    m_strPath = path;
    m_pWindow = pWindow;
    m_pContext = std::make_unique<QObject>();
    auto* pNotifier = new QSocketNotifier(fd, QSocketNotifier::Read, m_pContext.get());
    QObject::connect(pNotifier, &QSocketNotifier::activated, m_pContext.get(),
                     [this] { OnNewConnection(); });
    return true;
}

void CTitleRendezvous::Close()
{
    // The watches go before their descriptors; queued file requests go with the context.
    m_pContext.reset();
    for (auto& [nId, connection] : m_connections) {
        connection.pNotifier.reset();
        ::close(connection.nFd);
    }
    m_connections.clear();
    if (m_nListenFd >= 0) {
        ::close(m_nListenFd);
        m_nListenFd = -1;
        ::unlink(m_strPath.c_str());
    }
    m_strPath.clear();
    m_pWindow = nullptr;
}

void CTitleRendezvous::OnNewConnection()
{
    for (;;) {
        const int fd = ::accept4(m_nListenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
        if (fd < 0 && errno == EINTR)
            continue;
        if (fd < 0)
            return;
        if (m_connections.size() >= static_cast<std::size_t>(kMaxConnections)) {
            ::close(fd);
            continue;
        }
        const std::uint64_t nId = ++m_nNextId;
        Connection& connection = m_connections[nId];
        connection.nFd = fd;
        connection.pNotifier = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
        QObject::connect(
            connection.pNotifier.get(), &QSocketNotifier::activated, m_pContext.get(),
            [this, nId] { OnReadyRead(nId); });
        QTimer::singleShot(m_nIdleLimitMs, m_pContext.get(), [this, nId] { Drop(nId); });
        // What came with the connection is read at once.
        OnReadyRead(nId);
    }
}

void CTitleRendezvous::OnReadyRead(std::uint64_t nId)
{
    const auto found = m_connections.find(nId);
    if (found == m_connections.end())
        return;
    Connection& connection = found->second;
    // Past the longest request nothing more is read, and the check below drops it.
    bool bEnded = false;
    while (connection.pending.size() <= kMaxFilesRequestBytes) {
        char buffer[4096];
        const auto room = std::min<std::size_t>(
            sizeof(buffer),
            static_cast<std::size_t>(kMaxFilesRequestBytes + 1 - connection.pending.size()));
        const ssize_t n = ::recv(connection.nFd, buffer, room, 0);
        if (n > 0) {
            connection.pending.append(buffer, n);
        } else if (n < 0 && errno == EINTR) {
            continue;
        } else {
            bEnded = n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK);
            break;
        }
    }
    RendezvousRequest request = ReadRendezvousRequest(connection.pending);
    switch (request.kind) {
    case RendezvousRequest::Incomplete:
        if (!bEnded)
            return;
        break;
    case RendezvousRequest::Show:
        if (m_pWindow == nullptr)
            break;
        m_pWindow->showNormal();
        m_pWindow->raise();
        m_pWindow->activateWindow();
        Drop(nId, kShownReply);
        return;
    case RendezvousRequest::Play:
    case RendezvousRequest::Enqueue:
        if (!m_filesHandler)
            break;
        Drop(nId, kTakenReply);
        // The handler may show message boxes that run their own loops, so it runs after this
        // socket's signal, and not at all once the listener has closed.
        QMetaObject::invokeMethod(
            m_pContext.get(),
            [handler = m_filesHandler, bPlay = request.kind == RendezvousRequest::Play,
             paths = std::move(request.paths)] { handler(bPlay, paths); },
            Qt::QueuedConnection);
        return;
    case RendezvousRequest::Invalid:
        break;
    }
    Drop(nId);
}

void CTitleRendezvous::Drop(std::uint64_t nId, const char* reply)
{
    const auto found = m_connections.find(nId);
    if (found == m_connections.end())
        return;
    Connection& connection = found->second;
    // The reply is a few bytes into an empty connection: it is queued whole at once.
    if (reply != nullptr)
        (void)::send(connection.nFd, reply, std::strlen(reply), MSG_NOSIGNAL | MSG_DONTWAIT);
    // The watch may be the one whose signal runs now: it goes once that signal is over.
    connection.pNotifier->setEnabled(false);
    connection.pNotifier.release()->deleteLater();
    ::close(connection.nFd);
    m_connections.erase(found);
}

#pragma once

#include "app/WindowSearch.h"

#include <QObject>
#include <QPointer>
#include <QSocketNotifier>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

class QByteArray;
class QWidget;

// The local rendezvous through which players find each other's main window by title where
// there is no X server: a running player listens on a local socket named after its main
// window's title; a copy that can connect to it has found a window with that title, and
// asks it to show itself in its normal state, or hands it files to play or to queue.
// A plain Unix stream socket watched by Qt's event loop: Qt's own local sockets would bring
// its network library (and Kerberos, libproxy ...) into every start for this alone.
// User-interface thread only.

// The socket path for title: in $XDG_RUNTIME_DIR when set, else in the directory
// sorvane-<user id> of the temporary directory, made private to the user when missing.
// Empty when that directory belongs to someone else or is open to others: then no player
// finds another, and each runs on its own.
std::string RendezvousPath(const std::string& title);

// The window behind the rendezvous named title; null when no player listens there.
std::unique_ptr<CFoundWindow> FindRendezvousWindow(const std::string& title);

// What the listener makes of the bytes a connection has sent so far.
struct RendezvousRequest
{
    enum Kind {
        Incomplete, // more bytes could still make a request
        Invalid,    // they never can: the connection is dropped
        Show,
        Play,
        Enqueue,
    };
    Kind kind = Incomplete;
    std::vector<std::string> paths; // Play and Enqueue: the decoded paths, never empty
};

// Reads the first request line of pending, everything one connection has sent so far.
RendezvousRequest ReadRendezvousRequest(const QByteArray& pending);

class CTitleRendezvous
{
public:
    // What a finder asks and what the listener answers once the window shows.
    static constexpr const char* kShowRequest = "SHOW\n";
    static constexpr const char* kShownReply = "SHOWN\n";
    // A file request is one line: the verb, then each path percent-encoded after a space.
    static constexpr const char* kPlayVerb = "PLAY";
    static constexpr const char* kEnqueueVerb = "ENQUEUE";
    static constexpr const char* kTakenReply = "TAKEN\n";
    // A connection that sends more than this without a full request is dropped, and so is
    // one whose first bytes begin no request.
    static constexpr int kMaxRequestBytes = 64;
    static constexpr int kMaxFilesRequestBytes = 1 << 20;
    // How long a finder waits for the connection and for the whole reply.
    static constexpr int kConnectTimeoutMs = 1000;
    static constexpr int kReplyTimeoutMs = 5000;
    // Any local program of the user may connect: a connection that has sent no whole request
    // after the finder's own wait is dropped, and beyond this many open at once a new one is
    // closed at once, so that idle clients cannot take the player's file descriptors.
    static constexpr int kIdleLimitMs = kReplyTimeoutMs;
    static constexpr int kMaxConnections = 16;

    CTitleRendezvous();
    ~CTitleRendezvous();
    CTitleRendezvous(const CTitleRendezvous&) = delete;
    CTitleRendezvous& operator=(const CTitleRendezvous&) = delete;

    // Listens under title and shows pWindow (normal state, raised, active) on each request.
    // A socket of the user's own left behind by a player that ended without closing it is
    // replaced; one that another player listens on, or another user's, is not. False when it
    // cannot listen.
    bool Listen(const std::string& title, QWidget* pWindow);
    // What a file request does: bPlay for PLAY, the decoded paths. Without a handler file
    // requests are dropped.
    void SetFilesHandler(std::function<void(bool bPlay, const std::vector<std::string>&)> handler)
    {
        m_filesHandler = std::move(handler);
    }
    void Close();

    // Test seam: the idle limit of connections accepted from now on.
    void SetIdleLimitMs(int nMs) { m_nIdleLimitMs = nMs; }

private:
    // One accepted connection: its descriptor, what it has sent so far, and the watch on it.
    struct Connection
    {
        int nFd = -1;
        QByteArray pending;
        std::unique_ptr<QSocketNotifier> pNotifier;
    };

    void OnNewConnection();
    // Reads what connection nId has sent and answers a complete request, one per connection.
    void OnReadyRead(std::uint64_t nId);
    // Closes connection nId, after sending reply when one is given.
    void Drop(std::uint64_t nId, const char* reply = nullptr);

    int m_nListenFd = -1;
    std::string m_strPath;
    // Parent of the listener's watch, timers and queued calls: they go with Close.
    std::unique_ptr<QObject> m_pContext;
    std::map<std::uint64_t, Connection> m_connections;
    std::uint64_t m_nNextId = 0;
    int m_nIdleLimitMs = kIdleLimitMs;
    QPointer<QWidget> m_pWindow;
    std::function<void(bool, const std::vector<std::string>&)> m_filesHandler;
};

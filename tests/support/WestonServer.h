#pragma once

#include <string>

#include <sys/types.h>

// A private headless Wayland compositor (weston's headless back end) for the tests that
// need Wayland: started with a socket of its own in runtimeDir (which must exist, mode
// 0700), stopped with the object. Clients reach it with XDG_RUNTIME_DIR = runtimeDir and
// WAYLAND_DISPLAY = Socket(). Ok() is false when it could not start; it is ready when Ok().
class CWestonServer
{
public:
    static constexpr int kStartTimeoutMs = 20000;

    explicit CWestonServer(const std::string& runtimeDir);
    ~CWestonServer();
    CWestonServer(const CWestonServer&) = delete;
    CWestonServer& operator=(const CWestonServer&) = delete;

    bool Ok() const { return m_bReady; }
    const std::string& Socket() const { return m_strSocket; }

private:
    pid_t m_pid = 0;
    bool m_bReady = false;
    std::string m_strSocket;
};

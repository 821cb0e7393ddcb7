#include "tests/support/WestonServer.h"

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <vector>

extern char** environ;

namespace {

// Whether a compositor listens on the socket at path.
bool Listening(const std::string& path)
{
    sockaddr_un address{};
    if (path.size() >= sizeof(address.sun_path))
        return false;
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return false;
    const bool bConnected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof(address)) == 0;
    ::close(fd);
    return bConnected;
}

} // namespace

CWestonServer::CWestonServer(const std::string& runtimeDir)
    : m_strSocket("sorvane-test-" + std::to_string(::getpid()))
{
    // The environment of this process, with the runtime folder the socket goes into.
    std::vector<std::string> variables;
    for (char** p = environ; *p != nullptr; ++p)
        if (std::strncmp(*p, "XDG_RUNTIME_DIR=", 16) != 0 &&
            std::strncmp(*p, "WAYLAND_DISPLAY=", 16) != 0 && std::strncmp(*p, "DISPLAY=", 8) != 0)
            variables.emplace_back(*p);
    variables.push_back("XDG_RUNTIME_DIR=" + runtimeDir);
    std::vector<char*> envp;
    for (std::string& variable : variables)
        envp.push_back(variable.data());
    envp.push_back(nullptr);
    const std::string socketArg = "--socket=" + m_strSocket;
    // No configuration file of the machine's, no screen blanking, no X server of its own.
    const char* argv[] = {"weston",          "--backend=headless-backend.so",
                          socketArg.c_str(), "--no-config",
                          "--idle-time=0",   "--width=1024",
                          "--height=768",    nullptr};
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
    const int error = posix_spawnp(&m_pid, "weston", &actions, nullptr,
                                   const_cast<char* const*>(argv), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) {
        m_pid = 0;
        return;
    }
    const std::string path = runtimeDir + "/" + m_strSocket;
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeoutMs);
    while (std::chrono::steady_clock::now() < deadline) {
        if (Listening(path)) {
            m_bReady = true;
            return;
        }
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = 0;
            return;
        }
        ::poll(nullptr, 0, 10);
    }
}

CWestonServer::~CWestonServer()
{
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        int status = 0;
        ::waitpid(m_pid, &status, 0);
    }
}

#pragma once

#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

extern char** environ;

// A private X server (Xvfb) for the tests that need X11: started on a free display number
// that it reports itself, stopped with the object. Ok() is false when it could not start.
class CXvfbServer
{
public:
    static constexpr int kStartTimeoutMs = 10000;

    CXvfbServer()
    {
        int fds[2];
        if (::pipe(fds) != 0)
            return;
        const std::string fd = std::to_string(fds[1]);
        const char* argv[] = {"Xvfb",       "-displayfd", fd.c_str(), "-screen",  "0",
                              "640x480x24", "-nolisten",  "tcp",      "-noreset", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addclose(&actions, fds[0]);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", 0, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", 0, 0);
        const int error = posix_spawnp(&m_pid, "Xvfb", &actions, nullptr,
                                       const_cast<char* const*>(argv), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(fds[1]);
        if (error != 0) {
            m_pid = 0;
            ::close(fds[0]);
            return;
        }
        std::string number;
        pollfd pfd{fds[0], POLLIN, 0};
        while (::poll(&pfd, 1, kStartTimeoutMs) > 0) {
            char c = 0;
            if (::read(fds[0], &c, 1) != 1 || c == '\n')
                break;
            number += c;
        }
        ::close(fds[0]);
        if (!number.empty())
            m_strDisplay = ":" + number;
    }

    ~CXvfbServer()
    {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            int status = 0;
            ::waitpid(m_pid, &status, 0);
        }
    }

    CXvfbServer(const CXvfbServer&) = delete;
    CXvfbServer& operator=(const CXvfbServer&) = delete;

    bool Ok() const { return !m_strDisplay.empty(); }
    const std::string& Display() const { return m_strDisplay; }
    // The server process, for measuring what it costs.
    pid_t Pid() const { return m_pid; }

private:
    pid_t m_pid = 0;
    std::string m_strDisplay;
};

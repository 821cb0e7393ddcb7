#pragma once

#include "tests/support/TempDir.h"

#include <string>
#include <sys/types.h>

// A private PulseAudio server for one test: started from Debian's pulseaudio with no
// configuration of the machine (no default script, an empty daemon configuration, its own
// runtime directory, never exiting when idle; as root too), reached by this process through
// PULSE_SERVER while the object lives. With a sink, it has one null sink, "sorvane_test",
// at 44100 Hz, 16-bit stereo. The test drives it as a desktop might: a sink unloaded and
// loaded again, the server killed and started again, or stopped and let go on.
class CPulseServer
{
public:
    explicit CPulseServer(bool bWithSink);
    ~CPulseServer();
    CPulseServer(const CPulseServer&) = delete;
    CPulseServer& operator=(const CPulseServer&) = delete;

    // Whether the server answers (it was started and has not been stopped).
    bool Running() const { return m_pid > 0 && !m_bStopped; }
    // Whether a client plays into the server now (it has a sink input).
    bool HasPlayer() const;
    // Loads or unloads the null sink; false when the server refused.
    bool LoadSink();
    bool UnloadSink();
    // SIGKILL, and waits for the process to be gone.
    void Kill();
    // Starts it again on the same socket, with a sink or without; false when it did not come
    // up within a generous limit.
    bool Start(bool bWithSink);
    // SIGSTOP: the server keeps its connections and answers nothing; SIGCONT lets it go on.
    void Stop();
    void Continue();
    // What a child process needs to reach only this server: PULSE_SERVER, and as
    // PULSE_CLIENTCONFIG a client configuration that never starts a server of its own.
    const std::string& Address() const { return m_strAddress; }
    std::string ClientConfig() const { return m_dir / "client.conf"; }

private:
    // Runs pactl with args against this server; its exit status is 0.
    bool Pactl(const std::string& args) const;
    bool WaitUntilAnswering() const;

    CTempDir m_dir;
    std::string m_strAddress;
    std::string m_strOldServer;
    std::string m_strOldClientConfig;
    bool m_bHadServer = false;
    bool m_bHadClientConfig = false;
    pid_t m_pid = -1;
    bool m_bStopped = false;
};

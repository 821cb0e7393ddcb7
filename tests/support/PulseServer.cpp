#include "tests/support/PulseServer.h"

#include "tests/support/AvWriter.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <thread>
#include <vector>

extern char** environ;

namespace {

pid_t Spawn(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return spawned == 0 ? pid : -1;
}

void KeepOrRestore(const char* name, bool bHad, const std::string& value)
{
    bHad ? ::setenv(name, value.c_str(), 1) : ::unsetenv(name);
}

} // namespace

CPulseServer::CPulseServer(bool bWithSink)
{
    m_strAddress = "unix:" + (m_dir / "native");
    if (const char* old = std::getenv("PULSE_SERVER"); old != nullptr) {
        m_bHadServer = true;
        m_strOldServer = old;
    }
    if (const char* old = std::getenv("PULSE_CLIENTCONFIG"); old != nullptr) {
        m_bHadClientConfig = true;
        m_strOldClientConfig = old;
    }
    // The machine's configuration stays out: an empty daemon configuration of our own, and
    // clients (this process's SDL) that never start a server by themselves.
    m_dir.Write("config/pulse/daemon.conf", "");
    m_dir.Write("client.conf", "autospawn = no\n");
    ::setenv("PULSE_SERVER", m_strAddress.c_str(), 1);
    ::setenv("PULSE_CLIENTCONFIG", (m_dir / "client.conf").c_str(), 1);
    Start(bWithSink);
}

CPulseServer::~CPulseServer()
{
    Kill();
    KeepOrRestore("PULSE_SERVER", m_bHadServer, m_strOldServer);
    KeepOrRestore("PULSE_CLIENTCONFIG", m_bHadClientConfig, m_strOldClientConfig);
}

bool CPulseServer::Start(bool bWithSink)
{
    Kill();
    const std::string home = m_dir.Path();
    std::vector<std::string> args = {
        "env",
        "HOME=" + home,
        "XDG_RUNTIME_DIR=" + home,
        "XDG_CONFIG_HOME=" + (m_dir / "config"),
        "PULSE_RUNTIME_PATH=" + (m_dir / "runtime"),
        "pulseaudio",
        "--system=false",
        "-n",
        "--daemonize=false",
        "--exit-idle-time=-1",
        "--use-pid-file=false",
        "--disallow-module-loading=false",
        "-L",
        "module-native-protocol-unix auth-anonymous=1 socket=" + (m_dir / "native"),
    };
    if (bWithSink) {
        args.push_back("-L");
        args.push_back("module-null-sink sink_name=sorvane_test rate=44100");
    }
    m_pid = Spawn(args);
    m_bStopped = false;
    return m_pid > 0 && WaitUntilAnswering();
}

bool CPulseServer::WaitUntilAnswering() const
{
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (std::chrono::steady_clock::now() < limit) {
        if (Pactl("info"))
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

bool CPulseServer::Pactl(const std::string& args) const
{
    std::vector<std::string> argv = {"pactl", "--server=" + m_strAddress};
    std::istringstream words(args);
    for (std::string word; words >> word;)
        argv.push_back(word);
    return RunProgram(argv);
}

bool CPulseServer::HasPlayer() const
{
    if (!Running())
        return false;
    const std::string command = "pactl --server=" + m_strAddress + " list short sink-inputs";
    FILE* out = ::popen(command.c_str(), "r");
    if (out == nullptr)
        return false;
    char line[512];
    bool bAny = false;
    while (std::fgets(line, sizeof line, out) != nullptr)
        bAny = bAny || line[0] != '\n';
    ::pclose(out);
    return bAny;
}

bool CPulseServer::LoadSink()
{
    return Pactl("load-module module-null-sink sink_name=sorvane_test rate=44100");
}

bool CPulseServer::UnloadSink()
{
    return Pactl("unload-module module-null-sink");
}

void CPulseServer::Kill()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGKILL);
    ::kill(m_pid, SIGCONT);
    int status = 0;
    ::waitpid(m_pid, &status, 0);
    m_pid = -1;
    m_bStopped = false;
}

void CPulseServer::Stop()
{
    if (m_pid > 0 && ::kill(m_pid, SIGSTOP) == 0)
        m_bStopped = true;
}

void CPulseServer::Continue()
{
    if (m_pid > 0 && ::kill(m_pid, SIGCONT) == 0)
        m_bStopped = false;
}

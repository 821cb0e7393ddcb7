// The sound output against a real PulseAudio server of the test's own, which comes and goes
// as a desktop's does. A stream of 44100 Hz stereo is written ahead, so that the frames the
// output pulls (Played) are the file's position.

#include "audio/SoundOutput.h"
#include "tests/support/PulseServer.h"

#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

constexpr const char* kChildVariable = "SORVANE_PULSE_TEST_CHILD";

// Each test runs in a process of its own, this program again filtered to it: SDL's PulseAudio
// back end, once it has met a server, is never shut down (see the output), and a later test of
// the same process that opens SDL's audio on another driver would meet it half alive. True in
// the calling process once the child has run and its result been checked; false in the child,
// which runs the test itself.
bool RanInChildProcess()
{
    if (std::getenv(kChildVariable) != nullptr)
        return false;
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    const std::string filter =
        std::string("--gtest_filter=") + info->test_suite_name() + "." + info->name();
    std::vector<std::string> env;
    for (char** entry = environ; *entry != nullptr; ++entry)
        env.emplace_back(*entry);
    env.push_back(std::string(kChildVariable) + "=1");
    std::vector<char*> envp;
    for (std::string& entry : env)
        envp.push_back(entry.data());
    envp.push_back(nullptr);
    std::string self = "/proc/self/exe";
    std::string filterArg = filter;
    char* argv[] = {self.data(), filterArg.data(), nullptr};
    pid_t pid = 0;
    if (::posix_spawn(&pid, self.c_str(), nullptr, nullptr, argv, envp.data()) != 0) {
        ADD_FAILURE() << "the test's own process did not start";
        return true;
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR)
        ;
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the test failed in its process";
    return true;
}

constexpr AudioFormat kCdFormat{44100, 2, SampleFormat::S16};

bool WaitFor(const std::function<bool()>& condition, std::chrono::seconds limit)
{
    const auto until = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

class PulseOutage : public ::testing::Test
{
protected:
    void SetUp() override { ::setenv("SDL_AUDIODRIVER", "pulseaudio", 1); }
    // The output lets SDL's audio go while the server still runs: SDL's shutdown of its
    // PulseAudio back end may wait for ever once the server is gone.
    void TearDown() override
    {
        m_stream.reset();
        SelectAudioOutput(AudioOutputKind::ManualClock);
        ::setenv("SDL_AUDIODRIVER", "dummy", 1);
        m_server.reset();
    }
    CPulseServer& Server(bool bWithSink)
    {
        m_server = std::make_unique<CPulseServer>(bWithSink);
        return *m_server;
    }

    // Opens the device output and a stream with seconds of sound written ahead.
    void OpenStream(int seconds)
    {
        ASSERT_TRUE(SelectAudioOutput(AudioOutputKind::Device));
        m_stream = CAudioStream::Open(kCdFormat, static_cast<unsigned>(seconds) * 1000 + 500);
        ASSERT_NE(m_stream, nullptr);
        std::vector<std::int16_t> frames(static_cast<std::size_t>(44100 * seconds * 2), 1000);
        ASSERT_TRUE(m_stream->Write(frames.data(), frames.size() / 2, m_stream->Generation()));
    }
    bool Plays() const { return !AudioOutputHeld() && m_stream->Played() > 0; }
    // Waits until the played count has moved on from what it is now.
    bool MovesOn() const
    {
        const std::uint64_t from = m_stream->Played();
        return WaitFor([&] { return m_stream->Played() > from; }, std::chrono::seconds(10));
    }
    // Watches the played count for a while in which the output holds: it must not move.
    void ExpectHolds(std::uint64_t at)
    {
        const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(600);
        while (std::chrono::steady_clock::now() < until) {
            ASSERT_TRUE(AudioOutputHeld());
            ASSERT_EQ(m_stream->Played(), at) << "the position ran on without a device";
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }

    std::unique_ptr<CPulseServer> m_server;
    std::unique_ptr<CAudioStream> m_stream;
};

// Catches SDL's PulseAudio back end started on a server without a sink (it reads the missing
// default sink's name and crashes): the output holds, and plays once a sink is there.
TEST_F(PulseOutage, AServerWithoutASinkHoldsThePlayUntilOneIsLoaded)
{
    if (RanInChildProcess())
        return;
    CPulseServer& server = Server(false);
    ASSERT_TRUE(server.Running());
    OpenStream(5);
    EXPECT_EQ(OpenAudioOutput(), AudioOutputKind::Silent);
    ExpectHolds(0);
    ASSERT_TRUE(server.LoadSink());
    EXPECT_TRUE(WaitFor([&] { return Plays(); }, std::chrono::seconds(10)));
}

// Catches a lost sink that crashes the player or lets the file's clock run on: the position
// holds while no sink is there, and goes on from there when one is loaded again.
TEST_F(PulseOutage, ASinkUnloadedWhilePlayingHoldsThePositionUntilItIsBack)
{
    if (RanInChildProcess())
        return;
    CPulseServer& server = Server(true);
    OpenStream(8);
    ASSERT_TRUE(WaitFor([&] { return Plays(); }, std::chrono::seconds(10)));
    ASSERT_TRUE(server.UnloadSink());
    ASSERT_TRUE(WaitFor([] { return AudioOutputHeld(); }, std::chrono::seconds(10)));
    const std::uint64_t held = m_stream->Played();
    ExpectHolds(held);
    ASSERT_TRUE(server.LoadSink());
    ASSERT_TRUE(WaitFor([] { return !AudioOutputHeld(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(MovesOn());
}

// Catches a killed server that ends the output for good, or a file's clock that runs on
// through the outage: the position holds until the server is back, then goes on.
TEST_F(PulseOutage, AServerKilledAndStartedAgainResumesWhereTheSoundStopped)
{
    if (RanInChildProcess())
        return;
    CPulseServer& server = Server(true);
    OpenStream(8);
    ASSERT_TRUE(WaitFor([&] { return Plays(); }, std::chrono::seconds(10)));
    const std::uint64_t before = m_stream->Played();
    server.Kill();
    ASSERT_TRUE(WaitFor([] { return AudioOutputHeld(); }, std::chrono::seconds(10)));
    const std::uint64_t held = m_stream->Played();
    EXPECT_LT(held - before, 44100u / 2) << "more than half a second went by at the loss";
    ExpectHolds(held);
    ASSERT_TRUE(server.Start(true));
    ASSERT_TRUE(WaitFor([] { return !AudioOutputHeld(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(MovesOn());
}

// Catches a server that takes the connection and never answers freezing its callers: opening
// a stream and closing the output come back within their bounds, the output holds, and plays
// again once the server goes on.
TEST_F(PulseOutage, AStoppedServerFreezesNoCallerAndPlaysAgainWhenItGoesOn)
{
    if (RanInChildProcess())
        return;
    CPulseServer& server = Server(true);
    OpenStream(8);
    ASSERT_TRUE(WaitFor([&] { return Plays(); }, std::chrono::seconds(10)));
    server.Stop();
    ASSERT_TRUE(WaitFor([] { return AudioOutputHeld(); }, std::chrono::seconds(10)));
    const auto start = std::chrono::steady_clock::now();
    auto second = CAudioStream::Open(AudioFormat{48000, 2, SampleFormat::F32}, 500);
    EXPECT_NE(second, nullptr);
    second.reset();
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2))
        << "a caller waited on the stopped server";
    const std::uint64_t held = m_stream->Played();
    ExpectHolds(held);
    server.Continue();
    ASSERT_TRUE(WaitFor([] { return !AudioOutputHeld(); }, std::chrono::seconds(10)));
    EXPECT_TRUE(MovesOn());
}

} // namespace

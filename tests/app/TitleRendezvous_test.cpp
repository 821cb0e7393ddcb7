#include "app/TitleRendezvous.h"

#include "tests/support/TempDir.h"
#include "tests/support/TestEnvironment.h"
#include "tests/ui/UiTestSupport.h"

#include <QLocalServer>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <future>
#include <string>
#include <vector>

namespace {

constexpr uid_t kOtherUser = 65534;

// A socket file nobody listens on, as a player that was killed leaves it.
bool LeaveSocketFile(const std::string& path)
{
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    const bool bound = ::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) == 0;
    ::close(fd);
    return bound;
}

// A connection to the socket at path made by hand, as any local program can; -1 when refused.
int ConnectRaw(const std::string& path, bool bNonBlocking = false)
{
    const int fd =
        ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | (bNonBlocking ? SOCK_NONBLOCK : 0), 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    std::strncpy(addr.sun_path, path.c_str(), sizeof(addr.sun_path) - 1);
    if (::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)) != 0) {
        ::close(fd);
        return -1;
    }
    // A listener that never answers fails the test instead of hanging it.
    const timeval timeout{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &timeout, sizeof(timeout));
    return fd;
}

// Runs client on a thread of its own while this thread's event loop serves the listener.
template<class Client>
auto ServeWhile(Client client)
{
    auto result = std::async(std::launch::async, client);
    while (result.wait_for(std::chrono::milliseconds(0)) != std::future_status::ready)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    return result.get();
}

// Serves the listener for a while.
void ServeFor(int nMs)
{
    QElapsedTimer timer;
    timer.start();
    while (timer.elapsed() < nMs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
}

// Whether a finder of its own thread gets the window shown.
bool FinderIsAnswered()
{
    return ServeWhile([] {
        const std::unique_ptr<CFoundWindow> pWindow = FindRendezvousWindow("Sorvix");
        return pWindow != nullptr && pWindow->ShowNormal();
    });
}

std::size_t OpenDescriptors()
{
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"),
                      std::filesystem::directory_iterator()));
}

class TitleRendezvous : public ::testing::Test
{
protected:
    void SetUp() override
    {
        EnsureQtApplication();
        if (const char* tmp = std::getenv("TMPDIR"))
            m_strTmpDir = tmp;
    }
    // Both point into m_dir, which goes with the test: the next test finds them as before.
    void TearDown() override
    {
        UseTestEnvironment();
        m_strTmpDir.empty() ? ::unsetenv("TMPDIR") : ::setenv("TMPDIR", m_strTmpDir.c_str(), 1);
    }

    // No runtime directory, and the temporary directory in m_dir: returns where the private
    // socket directory belongs.
    std::string WithoutRuntimeDirectory()
    {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("TMPDIR", m_dir.Path().c_str(), 1);
        return m_dir / ("sorvane-" + std::to_string(getuid()));
    }

    CTempDir m_dir;
    std::string m_strTmpDir;
};

TEST_F(TitleRendezvous, WithoutARuntimeDirectoryTheSocketLivesInADirectoryOnlyTheUserCanEnter)
{
    const std::string dir = WithoutRuntimeDirectory();
    EXPECT_EQ(RendezvousPath("Sorvix"), dir + "/Sorvix");
    struct stat st = {};
    ASSERT_EQ(::lstat(dir.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    QWidget window;
    CTitleRendezvous rendezvous;
    ASSERT_TRUE(rendezvous.Listen("Sorvix", &window));
    EXPECT_NE(FindRendezvousWindow("Sorvix"), nullptr);
    ASSERT_EQ(::lstat((dir + "/Sorvix").c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u) << "others may not connect to the socket itself either";
}

TEST_F(TitleRendezvous, ADirectoryOthersCanWriteIsNotUsed)
{
    const std::string dir = WithoutRuntimeDirectory();
    ASSERT_EQ(::mkdir(dir.c_str(), 0700), 0);
    ASSERT_EQ(::chmod(dir.c_str(), 0777), 0);
    EXPECT_EQ(RendezvousPath("Sorvix"), "");
    QWidget window;
    CTitleRendezvous rendezvous;
    EXPECT_FALSE(rendezvous.Listen("Sorvix", &window));
    EXPECT_EQ(FindRendezvousWindow("Sorvix"), nullptr);
}

TEST_F(TitleRendezvous, ALinkInPlaceOfTheDirectoryIsNotFollowed)
{
    const std::string dir = WithoutRuntimeDirectory();
    const std::string target = m_dir / "elsewhere";
    ASSERT_EQ(::mkdir(target.c_str(), 0700), 0);
    ASSERT_EQ(::symlink(target.c_str(), dir.c_str()), 0);
    EXPECT_EQ(RendezvousPath("Sorvix"), "");
}

TEST_F(TitleRendezvous, AnotherUsersListeningSocketIsNotAskedAndNotTakenOver)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a socket to another user needs root";
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    const std::string path = RendezvousPath("Sorvix");
    QLocalServer squatter;
    squatter.setSocketOptions(QLocalServer::WorldAccessOption);
    ASSERT_TRUE(squatter.listen(QString::fromStdString(path)));
    ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
    EXPECT_EQ(FindRendezvousWindow("Sorvix"), nullptr);
}

TEST_F(TitleRendezvous, AnotherUsersStaleSocketIsLeftAloneAndNotListenedOn)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "giving a socket to another user needs root";
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    const std::string path = RendezvousPath("Sorvix");
    ASSERT_TRUE(LeaveSocketFile(path));
    ASSERT_EQ(::chown(path.c_str(), kOtherUser, kOtherUser), 0);
    QWidget window;
    CTitleRendezvous rendezvous;
    EXPECT_FALSE(rendezvous.Listen("Sorvix", &window));
    struct stat st = {};
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, kOtherUser);
}

TEST_F(TitleRendezvous, TheUsersOwnStaleSocketIsReplaced)
{
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    ASSERT_TRUE(LeaveSocketFile(RendezvousPath("Sorvix")));
    EXPECT_EQ(FindRendezvousWindow("Sorvix"), nullptr);
    QWidget window;
    CTitleRendezvous rendezvous;
    ASSERT_TRUE(rendezvous.Listen("Sorvix", &window));
    EXPECT_NE(FindRendezvousWindow("Sorvix"), nullptr);
}

TEST_F(TitleRendezvous, ASecondListenerDoesNotTakeTheNameOfAPlayerThatListens)
{
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    QWidget window;
    CTitleRendezvous first;
    ASSERT_TRUE(first.Listen("Sorvix", &window));
    CTitleRendezvous second;
    EXPECT_FALSE(second.Listen("Sorvix", &window));
    EXPECT_NE(FindRendezvousWindow("Sorvix"), nullptr);
}

// Catches a listener that keeps a connection that never sends open for good.
TEST_F(TitleRendezvous, AClientThatConnectsAndNeverSendsIsDroppedAfterTheIdleLimit)
{
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    QWidget window;
    CTitleRendezvous rendezvous;
    rendezvous.SetIdleLimitMs(100);
    ASSERT_TRUE(rendezvous.Listen("Sorvix", &window));
    const int fd = ConnectRaw(RendezvousPath("Sorvix"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(ServeWhile([fd] {
                  char c = 0;
                  return ::recv(fd, &c, 1, 0);
              }),
              0)
        << "the listener did not close the idle connection";
    ::close(fd);
}

// Catches a listener that takes in whatever a client sends, or stops answering after a flood.
TEST_F(TitleRendezvous, AClientSendingAHundredMegabytesIsCutOffAndTheNextFinderIsAnswered)
{
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    QWidget window;
    CTitleRendezvous rendezvous;
    ASSERT_TRUE(rendezvous.Listen("Sorvix", &window));
    const int fd = ConnectRaw(RendezvousPath("Sorvix"));
    ASSERT_GE(fd, 0);
    constexpr std::size_t kFlood = std::size_t{100} << 20;
    const std::size_t sent = ServeWhile([fd] {
        std::string chunk(std::size_t{1} << 20, 'a');
        chunk.replace(0, 5, "PLAY ");
        std::size_t total = 0;
        while (total < kFlood) {
            const ssize_t n = ::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL);
            if (n <= 0)
                break;
            total += static_cast<std::size_t>(n);
            chunk.assign(chunk.size(), 'a');
        }
        return total;
    });
    ::close(fd);
    EXPECT_LT(sent, kFlood);
    EXPECT_TRUE(FinderIsAnswered());
}

// Catches names that are not UTF-8 changed or lost on their way to the running player.
TEST_F(TitleRendezvous, NamesThatAreNotUtf8ReachTheHandlerByteForByte)
{
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    QWidget window;
    CTitleRendezvous rendezvous;
    std::vector<std::string> got;
    rendezvous.SetFilesHandler(
        [&got](bool, const std::vector<std::string>& paths) { got = paths; });
    ASSERT_TRUE(rendezvous.Listen("Sorvix", &window));
    const std::vector<std::string> names = {"/m\xff\xfe \x81\x40.wav", "/%41\n\r\x01.mid"};
    EXPECT_TRUE(ServeWhile([&names] {
        const std::unique_ptr<CFoundWindow> pWindow = FindRendezvousWindow("Sorvix");
        return pWindow != nullptr && pWindow->HandFiles(false, names);
    }));
    ServeFor(50);
    EXPECT_EQ(got, names);
}

// Catches a listener that takes a descriptor for every connection any local program opens.
TEST_F(TitleRendezvous, AThousandConnectionsAtOnceHoldFewDescriptorsAndAFinderIsAnsweredAfter)
{
    ::setenv("XDG_RUNTIME_DIR", m_dir.Path().c_str(), 1);
    QWidget window;
    CTitleRendezvous rendezvous;
    ASSERT_TRUE(rendezvous.Listen("Sorvix", &window));
    const std::size_t before = OpenDescriptors();
    std::vector<int> clients;
    for (int i = 0; i < 1000; ++i) {
        const int fd = ConnectRaw(RendezvousPath("Sorvix"), true);
        if (fd >= 0)
            clients.push_back(fd);
        if (i % 20 == 0)
            QCoreApplication::processEvents();
    }
    ServeFor(200);
    const std::size_t held = OpenDescriptors() - before - clients.size();
    EXPECT_LE(held, std::size_t{CTitleRendezvous::kMaxConnections} + 4);
    for (const int fd : clients)
        ::close(fd);
    ServeFor(100);
    EXPECT_TRUE(FinderIsAnswered());
    ServeFor(100);
    EXPECT_LE(OpenDescriptors(), before + 2);
}

} // namespace

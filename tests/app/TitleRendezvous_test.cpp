#include "app/TitleRendezvous.h"

#include "tests/support/TempDir.h"
#include "tests/ui/UiTestSupport.h"

#include <QLocalServer>
#include <QWidget>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <string>

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

class TitleRendezvous : public ::testing::Test
{
protected:
    void SetUp() override { EnsureQtApplication(); }
    // Both point into m_dir, which goes with the test.
    void TearDown() override
    {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::unsetenv("TMPDIR");
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
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving a socket to another user needs root";
    }
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
    if (geteuid() != 0) {
        GTEST_SKIP() << "giving a socket to another user needs root";
    }
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

} // namespace

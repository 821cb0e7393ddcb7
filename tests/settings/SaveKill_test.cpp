#include "queue/PlayQueue.h"
#include "settings/PlayerSettings.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <new>
#include <random>
#include <string>

namespace {

constexpr int kSaves = 1000;

// Two versions of the settings and of a playlist, each written to a file of its own once so
// that the bytes of a whole save are known.
struct SaveVersion
{
    CPlayerSettings settings;
    CPlayQueue queue;
    std::string settingsBytes;
    std::string playlistBytes;
};

void MakeVersion(SaveVersion& version, const CTempDir& dir, int n)
{
    version.settings.Set(SK_LAYOUT, n);
    version.settings.Set(SK_TEXT_COLOR, 0x101010 * n);
    version.settings.SetLaunchPos(100 * n, 200 * n);
    for (int i = 0; i < 1500 * n; ++i)
        version.queue.Add("/music/version" + std::to_string(n) + "/" + std::to_string(i) + ".wav");
    const std::string settingsFile = dir / ("v" + std::to_string(n) + ".ini");
    const std::string playlistFile = dir / ("v" + std::to_string(n) + ".m3u");
    version.settings.UseFile(settingsFile);
    ASSERT_EQ(version.settings.Save(), 1);
    ASSERT_EQ(version.queue.SaveM3u(playlistFile), 1);
    version.settingsBytes = CTempDir::Read(settingsFile);
    version.playlistBytes = CTempDir::Read(playlistFile);
}

// Catches a settings or playlist save that a process killed at the wrong moment leaves half
// written, empty or missing.
TEST(SaveKill, SavesKilledAtRandomInstantsLeaveTheOldFileOrTheNewOneWhole)
{
    const CTempDir dir(CTempDir::Place::Memory);
    SaveVersion versions[2];
    MakeVersion(versions[0], dir, 1);
    MakeVersion(versions[1], dir, 2);
    const std::string settingsFile = dir / CPlayerSettings::kFileName;
    const std::string playlistFile = dir / "list.m3u";
    for (SaveVersion& version : versions)
        version.settings.UseFile(settingsFile);
    ASSERT_EQ(versions[0].settings.Save(), 1);
    ASSERT_EQ(versions[0].queue.SaveM3u(playlistFile), 1);

    // The children count their finished saves where the test reads them.
    void* shared = ::mmap(nullptr, sizeof(std::atomic<int>), PROT_READ | PROT_WRITE,
                          MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(shared, MAP_FAILED);
    auto* pSaves = new (shared) std::atomic<int>(0);
    std::mt19937 random(20);
    int kills = 0;
    // Kills go on until the saves are done, for a minute at most.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
    while (pSaves->load() < kSaves && std::chrono::steady_clock::now() < deadline) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            for (int n = 0;; ++n) {
                SaveVersion& version = versions[n % 2];
                version.settings.Save();
                pSaves->fetch_add(1);
                version.queue.SaveM3u(playlistFile);
                pSaves->fetch_add(1);
            }
        }
        // The child's first finished save shows it running, so that the kill lands at a random
        // instant among its saves however slowly a busy machine starts it.
        const int before = pSaves->load();
        while (pSaves->load() == before && std::chrono::steady_clock::now() < deadline)
            ::usleep(50);
        ::usleep(std::uniform_int_distribution<useconds_t>(0, 2000)(random));
        ::kill(child, SIGKILL);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        ++kills;
        const std::string settings = CTempDir::Read(settingsFile);
        const std::string playlist = CTempDir::Read(playlistFile);
        ASSERT_TRUE(settings == versions[0].settingsBytes || settings == versions[1].settingsBytes)
            << "after kill " << kills << ": " << settings.size() << " bytes";
        ASSERT_TRUE(playlist == versions[0].playlistBytes || playlist == versions[1].playlistBytes)
            << "after kill " << kills << ": " << playlist.size() << " bytes";
    }
    std::printf("%d saves, %d kills, every file whole\n", pSaves->load(), kills);
    EXPECT_GE(pSaves->load(), kSaves);
    ::munmap(shared, sizeof(std::atomic<int>));
}

} // namespace

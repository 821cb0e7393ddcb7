#include "tests/app/AppTest.h"

#include "app/DocTemplate.h"
#include "media/Mci.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"
#include "tests/support/BadInputCorpus.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TestMedia.h"
#include "ui/SorvaneView.h"

#include <malloc.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

// What a process holds: threads, open descriptors and resident memory.
struct ProcessHoldings
{
    std::size_t nThreads = 0;
    std::size_t nDescriptors = 0;
    long nRssBytes = 0;
};

std::size_t CountEntries(const char* dir)
{
    std::size_t n = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir))
        ++n;
    return n;
}

// What this process holds now, with the allocator's free memory given back first, so that
// only what is still in use counts.
ProcessHoldings Holdings()
{
    ::malloc_trim(0);
    ProcessHoldings now;
    now.nThreads = CountEntries("/proc/self/task");
    now.nDescriptors = CountEntries("/proc/self/fd");
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/self/statm") >> pages >> resident;
    now.nRssBytes = resident * ::sysconf(_SC_PAGESIZE);
    return now;
}

// The player in this process on the manual clock, with the tests that run it long and hard.
// A suite named PlayerUnderLoad carries the threads label: ./test.sh --tsan runs it.
class PlayerUnderLoad : public AppTest
{
protected:
    CSorvaneDoc* Doc() const { return m_app->GetDocTemplate()->GetDocument(); }
    CSorvaneView* View() const { return m_app->GetDocTemplate()->GetView(); }

    // Short good files of every kind the queue plays.
    std::vector<std::string> GoodFiles()
    {
        WavTone wav;
        wav.nRate = 8000;
        wav.nFrames = 160;
        MidiTrack track;
        track.events = {MidiNoteOn(0, 0, 60), MidiNoteOff(10, 0, 60)};
        track.endTick = 10;
        Mp3Tone mp3;
        mp3.dSeconds = 0.05;
        std::vector<std::string> files = {
            m_dir.Write("good.wav", MakeWav(wav)),
            m_dir.Write("good.mid", MakeMidi(0, 960, {track})),
            m_dir / "good.mp3",
            m_dir / "good.mp2",
        };
        EXPECT_TRUE(WriteMp3(files[2], mp3));
        EXPECT_TRUE(WriteSilentMpeg(files[3], 2, 0.05, 128));
        return files;
    }
};

// Catches threads, descriptors or memory that playing leaves behind, and a queue that stops
// for good at an entry (a dropped end notice), over 2,000 entries played three times.
TEST_F(PlayerUnderLoad, TwoThousandEntriesPlayedThreeTimesLeaveNoThreadsDescriptorsOrMemory)
{
    constexpr int kEntries = 2000;
    constexpr int kPasses = 3;
    m_dir.Write("Sorvix.ini", "[REPEAT]=1\r\n");
    ASSERT_EQ(Start(), 1);
    ASSERT_EQ(m_app->m_settings.Get(SK_REPEAT), 1);

    std::vector<std::string> kinds = GoodFiles();
    const std::size_t kGood = kinds.size();
    const std::filesystem::path bad = m_dir / "bad";
    std::filesystem::create_directory(bad);
    for (const BadInput& input : WriteBadInputCorpus(bad.string())) {
        if (input.kind == BadInputKind::Media && input.outcome == BadInputOutcome::Refused &&
            std::filesystem::is_regular_file(input.path))
            kinds.push_back(input.path);
    }
    kinds.push_back(m_dir / "missing.wav");
    const std::string inner =
        m_dir.Write("inner.m3u", kinds[0] + "\n" + kinds[1] + "\n" + kinds.back() + "\n");
    m_dir.Write("outer.m3u", "inner.m3u\n" + kinds[2] + "\n");
    // Good and refused entries in turn, and now and then the nested playlists.
    std::string lines;
    int nEntries = 0;
    for (std::size_t i = 0; nEntries < kEntries; ++i) {
        if (i % 50 == 49 && nEntries + 4 <= kEntries) {
            lines += "outer.m3u\n";
            nEntries += 4;
        } else {
            lines +=
                kinds[i % 2 == 0 ? (i / 2) % kGood : kGood + (i / 2) % (kinds.size() - kGood)] +
                "\n";
            ++nEntries;
        }
    }
    const std::string soak = m_dir.Write("soak.m3u", lines);

    // Plays from the current entry until nVisits entries were played or refused; false when
    // an entry that played never ended.
    int nPlayed = 0;
    int nRefused = 0;
    auto visit = [&](int nVisits) {
        for (int v = 0; v < nVisits; ++v) {
            const int current = Doc()->GetQueue().GetCurrent();
            if (Doc()->GetMode() == static_cast<int>(MCI_MODE_PLAY)) {
                ++nPlayed;
                PlayFrames(
                    44100 * 2,
                    [this] { return Doc()->GetMode() != static_cast<int>(MCI_MODE_PLAY); },
                    std::chrono::seconds(10));
                QElapsedTimer waited;
                waited.start();
                while (Doc()->GetQueue().GetCurrent() == current && waited.elapsed() < 10000)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                if (Doc()->GetQueue().GetCurrent() == current) {
                    ADD_FAILURE() << "entry " << current
                                  << " never ended: " << Doc()->GetQueue().GetAt(current);
                    return false;
                }
            } else {
                ++nRefused;
                View()->RouteCmd(IDC_BTN_NEXT);
            }
            m_prompts.messages.clear();
        }
        return true;
    };

    // A first short run starts what lives as long as the player (the output's thread).
    Doc()->OpenFiles({soak});
    ASSERT_EQ(Doc()->GetQueue().GetCount(), kEntries);
    int nGoodEntries = 0;
    for (int i = 0; i < kEntries; ++i)
        nGoodEntries += std::count(kinds.begin(), kinds.begin() + static_cast<long>(kGood),
                                   Doc()->GetQueue().GetAt(i)) > 0
                            ? 1
                            : 0;
    ASSERT_TRUE(visit(2 * static_cast<int>(kinds.size())));
    Doc()->ClearQueue();
    QCoreApplication::processEvents();
    const ProcessHoldings before = Holdings();

    nPlayed = nRefused = 0;
    Doc()->OpenFiles({soak});
    ASSERT_TRUE(visit(kPasses * kEntries));
    Doc()->ClearQueue();
    QCoreApplication::processEvents();
    const ProcessHoldings after = Holdings();

    std::printf("soak: %d played, %d refused; threads %zu -> %zu, descriptors %zu -> %zu, RSS "
                "%+ld KiB\n",
                nPlayed, nRefused, before.nThreads, after.nThreads, before.nDescriptors,
                after.nDescriptors, (after.nRssBytes - before.nRssBytes) / 1024);
    EXPECT_EQ(nPlayed, kPasses * nGoodEntries);
    EXPECT_EQ(nRefused, kPasses * (kEntries - nGoodEntries));
    EXPECT_EQ(after.nThreads, before.nThreads);
    EXPECT_EQ(after.nDescriptors, before.nDescriptors);
    EXPECT_LT(after.nRssBytes - before.nRssBytes, 2L << 20);
}

} // namespace

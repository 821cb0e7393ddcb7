#include "tests/app/AppTest.h"

#include "app/DocTemplate.h"
#include "app/MprisService.h"
#include "media/Mci.h"
#include "media/SequencerDevice.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"
#include "tests/support/BadInputCorpus.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TestMedia.h"
#include "ui/SorvaneView.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>
#include <QElapsedTimer>
#include <QThread>
#include <QUrl>

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

// What this process holds once the SoundFont, kept for a while after MIDI played, has gone
// with the thread that watches it: both live on after a MIDI file for a set time, not for good.
ProcessHoldings HoldingsWithoutSoundFont()
{
    CSequencerDevice::ReleaseSoundFont();
    QElapsedTimer waited;
    waited.start();
    std::size_t nThreads = CountEntries("/proc/self/task");
    for (int nSteady = 0; nSteady < 10 && waited.elapsed() < 2000; ++nSteady) {
        QThread::msleep(10);
        const std::size_t now = CountEntries("/proc/self/task");
        if (now != nThreads)
            nSteady = 0;
        nThreads = now;
    }
    return Holdings();
}

// Resident memory says nothing under AddressSanitizer, which holds freed memory back for a
// while (its leak check at exit stands in for the bounds below), nor under ThreadSanitizer,
// whose shadow of every touched byte grows with the threads' traffic.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr bool kRssMeaningful = false;
#else
constexpr bool kRssMeaningful = true;
#endif

// Under a sanitizer every entry costs ten times as much: the soak plays a tenth of its queue
// there, enough for its leak and race checks, and stays within the test's time limit.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr int kSoakEntries = 200;
#else
constexpr int kSoakEntries = 2000;
#endif

// The resident memory of process pid in bytes; 0 when it cannot be read.
long ResidentBytes(qint64 pid)
{
    long pages = 0;
    long resident = 0;
    std::ifstream("/proc/" + std::to_string(pid) + "/statm") >> pages >> resident;
    return resident * ::sysconf(_SC_PAGESIZE);
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
    constexpr int kEntries = kSoakEntries;
    constexpr int kPasses = 3;
    m_dir.Write("Sorvix.ini", "[REPEAT]=1\r\n");
    ASSERT_EQ(Start(), 1);
    ASSERT_EQ(m_app->m_settings.Get(SK_REPEAT), 1);

    std::vector<std::string> kinds = GoodFiles();
    const std::size_t kGood = kinds.size();
    const std::filesystem::path bad = m_dir / "bad";
    std::filesystem::create_directory(bad);
    for (const BadInput& input : WriteBadInputCorpus(bad.string()))
        if (input.kind == BadInputKind::Media && input.outcome == BadInputOutcome::Refused &&
            std::filesystem::is_regular_file(input.path))
            kinds.push_back(input.path);
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
    // an entry that played never ended. Good entries in a row follow on without the mode
    // leaving play, and a refused entry reached at an end is passed over, so a play counts
    // every entry the queue stepped over (the one that played must be a good one); a refused
    // entry chosen by Next waits, stopped, for the next Next.
    int nPlayed = 0;
    int nRefused = 0;
    const auto isGood = [&](int index) {
        return std::find(kinds.begin(), kinds.begin() + static_cast<long>(kGood),
                         Doc()->GetQueue().GetAt(index)) !=
               kinds.begin() + static_cast<long>(kGood);
    };
    auto visit = [&](int nVisits) {
        for (int v = 0; v < nVisits; ++v) {
            const int current = Doc()->GetQueue().GetCurrent();
            if (Doc()->GetMode() == static_cast<int>(MCI_MODE_PLAY)) {
                PlayFrames(
                    44100 * 2,
                    [this] { return Doc()->GetMode() != static_cast<int>(MCI_MODE_PLAY); },
                    std::chrono::seconds(10));
                QElapsedTimer waited;
                waited.start();
                while (Doc()->GetQueue().GetCurrent() == current && waited.elapsed() < 10000)
                    QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
                const int now = Doc()->GetQueue().GetCurrent();
                if (now == current) {
                    ADD_FAILURE() << "entry " << current
                                  << " never ended: " << Doc()->GetQueue().GetAt(current);
                    return false;
                }
                // Entries that followed each other gaplessly all count as visits, those past
                // the last visit (a run that went on beyond it) excepted.
                const int count = Doc()->GetQueue().GetCount();
                if (!isGood(current)) {
                    ADD_FAILURE() << "entry " << current
                                  << " played: " << Doc()->GetQueue().GetAt(current);
                    return false;
                }
                for (int i = current; i != now; i = (i + 1) % count) {
                    if (v++ < nVisits)
                        ++(isGood(i) ? nPlayed : nRefused);
                }
                --v;
            } else {
                if (isGood(current)) {
                    ADD_FAILURE() << "entry " << current
                                  << " was refused: " << Doc()->GetQueue().GetAt(current);
                    return false;
                }
                ++nRefused;
                View()->RouteCmd(IDC_BTN_NEXT);
            }
            m_prompts.messages.clear();
        }
        return true;
    };

    // A first short run, through the first nested playlists, starts what lives as long as the
    // player: the output's thread and the FFmpeg libraries the decoder plug-in loads.
    Doc()->OpenFiles({soak});
    ASSERT_EQ(Doc()->GetQueue().GetCount(), kEntries);
    int nGoodEntries = 0;
    for (int i = 0; i < kEntries; ++i)
        nGoodEntries += isGood(i) ? 1 : 0;
    ASSERT_TRUE(visit(2 * static_cast<int>(kinds.size()) + 60));
    Doc()->ClearQueue();
    QCoreApplication::processEvents();
    const ProcessHoldings before = HoldingsWithoutSoundFont();

    nPlayed = nRefused = 0;
    Doc()->OpenFiles({soak});
    ASSERT_TRUE(visit(kPasses * kEntries));
    Doc()->ClearQueue();
    QCoreApplication::processEvents();
    const ProcessHoldings after = HoldingsWithoutSoundFont();

    std::printf("soak: %d played, %d refused; threads %zu -> %zu, descriptors %zu -> %zu, RSS "
                "%+ld KiB\n",
                nPlayed, nRefused, before.nThreads, after.nThreads, before.nDescriptors,
                after.nDescriptors, (after.nRssBytes - before.nRssBytes) / 1024);
    EXPECT_EQ(nPlayed, kPasses * nGoodEntries);
    EXPECT_EQ(nRefused, kPasses * (kEntries - nGoodEntries));
    // Fewer is no fault: what an earlier test in this process left may end meanwhile.
    EXPECT_LE(after.nThreads, before.nThreads);
    EXPECT_LE(after.nDescriptors, before.nDescriptors);
    if (kRssMeaningful)
        EXPECT_LT(after.nRssBytes - before.nRssBytes, 2L << 20);
}

// Catches a player that crashes, locks up or grows under a flood of bus calls while it plays:
// 10,000 calls sent as fast as the client can, then one that must still be answered.
TEST_F(PlayerUnderLoad, TenThousandBusCallsWhilePlayingLeaveThePlayerAnsweringWithFlatMemory)
{
    constexpr int kCalls = 10000;
    QProcess bus;
    EndWithParent(bus);
    bus.start(QStringLiteral("dbus-daemon"),
              {QStringLiteral("--session"), QStringLiteral("--nofork"),
               QStringLiteral("--nopidfile"), QStringLiteral("--print-address=1")});
    ASSERT_TRUE(bus.waitForStarted(10000)) << "no dbus-daemon";
    while (!bus.canReadLine() && bus.waitForReadyRead(10000)) {
    }
    const QString address = QString::fromUtf8(bus.readLine()).trimmed();
    ASSERT_FALSE(address.isEmpty());
    {
        QDBusConnection client = QDBusConnection::connectToBus(address, QStringLiteral("storm"));
        ASSERT_TRUE(client.isConnected());

        WavTone tone;
        tone.nRate = 8000;
        tone.nFrames = 8000 * 60;
        const std::string first = m_dir.Write("first.wav", MakeWav(tone));
        const std::string second = m_dir.Write("second.wav", MakeWav(tone));
        const std::string prog = CopyProgram(m_dir.Path());
        ASSERT_FALSE(prog.empty());
        QProcess player;
        EndWithParent(player);
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("SDL_AUDIODRIVER", "dummy");
        env.insert("XDG_RUNTIME_DIR", QString::fromStdString(m_strRuntime));
        env.insert("XDG_CONFIG_HOME", QString::fromStdString(m_dir / "config"));
        env.insert("DBUS_SESSION_BUS_ADDRESS", address);
        player.setProcessEnvironment(env);
        player.start(QString::fromStdString(prog),
                     {"--play", QString::fromStdString(first), QString::fromStdString(second)});
        ASSERT_TRUE(player.waitForStarted(10000));
        const QString service = QString::fromUtf8(CMprisService::kServiceName);
        const QString path = QString::fromUtf8(CMprisService::kObjectPath);
        const QString playerIface = QStringLiteral("org.mpris.MediaPlayer2.Player");
        const QString props = QStringLiteral("org.freedesktop.DBus.Properties");
        QElapsedTimer timer;
        timer.start();
        while (!client.interface()->isServiceRegistered(service).value() &&
               timer.elapsed() < 60000 && player.state() == QProcess::Running)
            player.waitForFinished(20);
        ASSERT_TRUE(client.interface()->isServiceRegistered(service).value());

        // Answered within a minute (generous, for the sanitizers): the player still serves.
        const auto answers = [&] {
            QDBusMessage get = QDBusMessage::createMethodCall(service, path, props, "Get");
            get << playerIface << QStringLiteral("PlaybackStatus");
            return client.call(get, QDBus::Block, 60000).type() == QDBusMessage::ReplyMessage;
        };
        ASSERT_TRUE(answers());
        const QString uri = QUrl::fromLocalFile(QString::fromStdString(first)).toString();
        const auto storm = [&] {
            for (int i = 0; i < kCalls; ++i) {
                QDBusMessage call;
                switch (i % 10) {
                case 0:
                    call = QDBusMessage::createMethodCall(service, path, playerIface, "Next");
                    break;
                case 1:
                    call = QDBusMessage::createMethodCall(service, path, playerIface, "Previous");
                    break;
                case 2:
                    call = QDBusMessage::createMethodCall(service, path, playerIface, "PlayPause");
                    break;
                case 3:
                    call = QDBusMessage::createMethodCall(service, path, playerIface, "Seek");
                    call << qlonglong{(i % 20 == 3 ? 1 : -1) * 5'000'000LL};
                    break;
                case 4:
                    call =
                        QDBusMessage::createMethodCall(service, path, playerIface, "SetPosition");
                    call << QVariant::fromValue(QDBusObjectPath("/org/mpris/MediaPlayer2/track/0"))
                         << qlonglong{1'000'000};
                    break;
                case 5:
                    call = QDBusMessage::createMethodCall(service, path, playerIface, "OpenUri");
                    call << (i % 20 == 5 ? uri : QStringLiteral("http://example.invalid/a.mp3"));
                    break;
                case 6:
                    call = QDBusMessage::createMethodCall(service, path, props, "GetAll");
                    call << playerIface;
                    break;
                default:
                    call = QDBusMessage::createMethodCall(service, path, props, "Get");
                    call << playerIface
                         << (i % 2 == 0 ? QStringLiteral("Position") : QStringLiteral("Metadata"));
                    break;
                }
                EXPECT_TRUE(client.send(call)) << i;
                if (i % 1000 == 999)
                    QCoreApplication::processEvents();
            }
            return answers();
        };
        // The first storm fills what the bus and the allocator keep for the next; the second
        // must find the player's memory where the first left it.
        timer.restart();
        EXPECT_TRUE(storm()) << "the player no longer answers after the storm";
        const qint64 firstMs = timer.elapsed();
        const long before = ResidentBytes(player.processId());
        EXPECT_TRUE(storm()) << "the player no longer answers after a second storm";
        const long after = ResidentBytes(player.processId());
        std::printf(
            "storm: %d calls answered in %lld ms, player RSS after a second storm %+ld KiB\n",
            kCalls, static_cast<long long>(firstMs), (after - before) / 1024);
        EXPECT_EQ(player.state(), QProcess::Running);
        if (kRssMeaningful)
            EXPECT_LT(after - before, 4L << 20);
        player.kill();
        player.waitForFinished(10000);
    }
    QDBusConnection::disconnectFromBus(QStringLiteral("storm"));
    bus.kill();
    bus.waitForFinished(10000);
}

} // namespace

// Start-up of the player inside one process, on Qt's offscreen platform: from the application
// object's construction through InitInstance (settings, template, single-instance search,
// document, frame, view, shown and titled) to the view's first paint; and the close and exit
// that follow. The manual-clock output keeps the sound card out of it. Argument 0 starts with
// the Japanese source texts, 1 installs the English translation first, as WinMain does under an
// English locale, so the two differ by what translation costs. The second argument is the
// number of entries of a queue kept from the last run (their files need not exist: a kept
// queue opens nothing at start), so that 0/0 against 0/10000 is what taking it back costs.

#include "app/SorvaneApp.h"
#include "ui/SorvaneView.h"

#include "app/DocTemplate.h"
#include "queue/KeptQueue.h"
#include "res/Language.h"
#include "tests/support/ManualClock.h"
#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"

#include <QApplication>
#include <QEvent>
#include <QTranslator>

#include <benchmark/benchmark.h>

#include <sys/stat.h>

#include <chrono>
#include <cstdlib>

namespace {

// Notes the moment the watched widget receives its first paint event.
class CFirstPaint : public QObject
{
public:
    bool eventFilter(QObject*, QEvent* pEvent) override
    {
        if (pEvent->type() == QEvent::Paint && !bPainted) {
            bPainted = true;
            at = std::chrono::steady_clock::now();
        }
        return false;
    }
    bool bPainted = false;
    std::chrono::steady_clock::time_point at;
};

void BM_StartUpToFirstPaint(benchmark::State& state)
{
    CTempDir dir;
    const std::string runtime = dir / "runtime";
    ::mkdir(runtime.c_str(), 0700);
    ::setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
    CManualClockOutput clock;
    CRecordingPrompts prompts;
    CFirstPaint watch;
    KeptQueue kept;
    for (std::int64_t i = 0; i < state.range(1); ++i) {
        kept.entries.push_back("/music/album " + std::to_string(i / 12) + "/track " +
                               std::to_string(i % 12) + ".flac");
    }
    kept.nCurrent = static_cast<int>(state.range(1) / 2);
    kept.nPositionMs = 10'000;
    // Each exit writes the queue back, so every start finds it.
    WriteKeptQueue(dir / kKeptQueueFileName, kept);
    QApplication::instance()->installEventFilter(&watch);
    for (auto _ : state) {
        watch.bPainted = false;
        const auto start = std::chrono::steady_clock::now();
        {
            const std::unique_ptr<QTranslator> translation =
                InstallTranslation(state.range(0) == 0 ? "" : "en");
            CSorvaneApp app;
            app.m_settings.UseFile(dir / CPlayerSettings::kFileName);
            if (!app.InitInstance()) {
                state.SkipWithError("the start was refused");
                break;
            }
            while (!watch.bPainted)
                QCoreApplication::processEvents();
            state.SetIterationTime(std::chrono::duration<double>(watch.at - start).count());
            app.CloseAllDocuments();
            app.ExitInstance();
        }
    }
    QApplication::instance()->removeEventFilter(&watch);
}
// What the English translation adds to a start by itself: loading and installing it.
void BM_InstallEnglishTranslation(benchmark::State& state)
{
    for (auto _ : state)
        benchmark::DoNotOptimize(InstallTranslation("en"));
}
BENCHMARK(BM_InstallEnglishTranslation)->Unit(benchmark::kMicrosecond);

BENCHMARK(BM_StartUpToFirstPaint)
    ->Args({0, 0})
    ->Args({1, 0})
    ->Args({0, 10'000})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

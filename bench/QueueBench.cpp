// Play queue and playlist files at scale: loading and saving 100,000 entries, and the
// display names the playlist window asks for.

#include "queue/PlayQueue.h"

#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>

namespace {

constexpr int kEntries = 100000;

std::string EntryName(const std::string& dir, int i)
{
    return dir + "/Artist " + std::to_string(i % 97) + "/Album/" + std::to_string(i) +
           " - 曲名 track.mp3";
}

void BM_LoadM3u100k(benchmark::State& state)
{
    const CTempDir dir;
    std::string text;
    for (int i = 0; i < kEntries; ++i)
        text += EntryName(dir.Path(), i).substr(dir.Path().size() + 1) + "\r\n";
    const std::string path = dir.Write("big.m3u", text);
    for (auto _ : state) {
        CPlayQueue queue;
        queue.Add(path);
        benchmark::DoNotOptimize(queue.GetCount());
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_LoadM3u100k)->Unit(benchmark::kMillisecond);

void BM_SaveM3u100k(benchmark::State& state)
{
    const CTempDir dir;
    CPlayQueue queue;
    for (int i = 0; i < kEntries; ++i)
        queue.Add(EntryName(dir.Path(), i));
    const std::string path = dir / "out.m3u";
    for (auto _ : state)
        benchmark::DoNotOptimize(queue.SaveM3u(path));
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_SaveM3u100k)->Unit(benchmark::kMillisecond);

void BM_DisplayNames100k(benchmark::State& state)
{
    CPlayQueue queue;
    for (int i = 0; i < kEntries; ++i)
        queue.Add(EntryName("/home/user/Music", i));
    for (auto _ : state) {
        std::size_t total = 0;
        for (int i = 0; i < queue.GetCount(); ++i)
            total += queue.GetDisplayName(i).size();
        benchmark::DoNotOptimize(total);
    }
    state.SetItemsProcessed(state.iterations() * kEntries);
}
BENCHMARK(BM_DisplayNames100k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

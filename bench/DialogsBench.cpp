// The playlist window at scale: refilling the list from a queue of 1,000 and 100,000
// entries (done on every queue change), and moving or deleting one entry in a 100,000-line
// list.

#include "dialogs/ListBox.h"
#include "dialogs/PlaylistDlg.h"
#include "queue/SorvaneDoc.h"

#include <QApplication>

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

namespace {

void Fill(CSorvaneDoc& doc, int nEntries)
{
    std::vector<std::string> paths;
    for (int i = 0; i < nEntries; ++i)
        paths.push_back("/music/album " + std::to_string(i / 12) + "/track " + std::to_string(i) +
                        ".wav");
    doc.ClearQueue();
    doc.EnqueueFiles(paths);
}

void BM_RefreshList(benchmark::State& state)
{
    CSorvaneDoc doc;
    Fill(doc, static_cast<int>(state.range(0)));
    CPlaylistDlg dlg(&doc, nullptr);
    dlg.show();
    for (auto _ : state)
        if (dlg.RefreshList() != 1 || dlg.m_list->GetCount() != doc.GetQueue().GetCount())
            state.SkipWithError("the list does not match the queue");
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_RefreshList)->Arg(1000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_MoveEntryIn100k(benchmark::State& state)
{
    CSorvaneDoc doc;
    Fill(doc, 100000);
    CPlaylistDlg dlg(&doc, nullptr);
    dlg.show();
    dlg.RefreshList();
    dlg.SelectLine(50000);
    long result = 0;
    int iDelta = 1;
    for (auto _ : state) {
        dlg.OnDeltaposSpin(iDelta, &result);
        iDelta = -iDelta;
    }
}
BENCHMARK(BM_MoveEntryIn100k)->Unit(benchmark::kMicrosecond);

void BM_DeleteFirstOf100k(benchmark::State& state)
{
    CSorvaneDoc doc;
    CPlaylistDlg dlg(&doc, nullptr);
    dlg.show();
    for (auto _ : state) {
        state.PauseTiming();
        Fill(doc, 100000);
        dlg.RefreshList();
        dlg.SelectLine(0);
        state.ResumeTiming();
        dlg.OnDelete();
    }
}
BENCHMARK(BM_DeleteFirstOf100k)->Unit(benchmark::kMicrosecond)->Iterations(20);

} // namespace

int main(int argc, char** argv)
{
    ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
    ::setenv("SDL_AUDIODRIVER", "dummy", 0);
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}

// The open command at scale: selections of 200 and 1,000 files in the dialog, and one playlist
// of 100,000 lines, each timed from the command to the first entry playing.

#include "engine/PlayEngine.h"
#include "queue/SorvaneDoc.h"
#include "res/Resource.h"

#include "tests/support/RecordingPrompts.h"
#include "tests/support/TempDir.h"
#include "tests/support/TestMedia.h"

#include <benchmark/benchmark.h>

namespace {

std::string Tone(const CTempDir& dir)
{
    WavTone tone;
    tone.nFrames = 44100 * 5;
    return dir.Write("tone.wav", MakeWav(tone));
}

// A selection of nFiles names, the first of them a playable tone: the queue takes them all and
// the first plays.
void OpenSelection(benchmark::State& state, int nFiles)
{
    const CTempDir dir;
    const std::string first = Tone(dir);
    std::vector<std::string> paths = {first};
    for (int i = 1; i < nFiles; ++i)
        paths.push_back(dir / (std::to_string(i) + ".wav"));
    CRecordingPrompts prompts;
    CSorvaneDoc doc;
    for (auto _ : state) {
        prompts.QueueFiles(paths);
        doc.OnCmdMsg(IDC_BTN_OPEN);
        if (doc.GetQueue().GetCount() != nFiles || doc.IsOpen() == 0)
            state.SkipWithError("the open did not play");
    }
}

void BM_OpenTwoHundredFiles(benchmark::State& state)
{
    OpenSelection(state, 200);
}
BENCHMARK(BM_OpenTwoHundredFiles)->Unit(benchmark::kMillisecond);

void BM_OpenThousandFiles(benchmark::State& state)
{
    OpenSelection(state, 1000);
}
BENCHMARK(BM_OpenThousandFiles)->Unit(benchmark::kMillisecond);

void BM_OpenPlaylist100k(benchmark::State& state)
{
    const CTempDir dir;
    Tone(dir);
    std::string text = "tone.wav\r\n";
    for (int i = 1; i < 100000; ++i)
        text += "Artist " + std::to_string(i % 97) + "/Album/" + std::to_string(i) + ".mp3\r\n";
    const std::string list = dir.Write("big.m3u", text);
    CRecordingPrompts prompts;
    CSorvaneDoc doc;
    for (auto _ : state) {
        prompts.QueueFiles(std::vector<std::string>{list});
        doc.OnCmdMsg(IDC_BTN_OPEN);
        if (doc.GetQueue().GetCount() != 100000 || !doc.IsOpen())
            state.SkipWithError("the open did not play");
    }
}
BENCHMARK(BM_OpenPlaylist100k)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();

// The media layer against the libraries alone, on the manual-clock output so that a minute of
// audio is produced as fast as the machine allows: libsndfile reading, FluidSynth rendering
// and libcdio reading a minute, each by itself and through mciSendCommand and the output.
// Also the time from MCI_OPEN to the first frame handed to the output, and the time to load
// the SoundFont.

#include "audio/SoundOutput.h"
#include "bench/MediaBenchMedia.h"
#include "media/Mci.h"
#include "media/SequencerDevice.h"
#include "tests/support/TempDir.h"

#include <benchmark/benchmark.h>
#include <cdio/cdio.h>
#include <cdio/logging.h>
#include <fluidsynth.h>
#include <sndfile.h>

namespace {

constexpr unsigned kStepMs = 20; // the size of one pull, as an SDL device asks
constexpr unsigned kMinuteMs = 60000;

struct Media
{
    CTempDir dir;
    std::string wav = WriteLongWav(dir.Path(), 70);
    std::string cue = WriteLongCdImage(dir.Path(), 3, 25);
    std::string midi = WriteMinuteOfMidi(dir.Path());
};

Media& TheMedia()
{
    static Media media;
    return media;
}

MCIDEVICEID OpenDevice(UINT type, const std::string& element)
{
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(type);
    open.lpstrElementName = element.c_str();
    DWORD flags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_WAIT | MCI_OPEN_SHAREABLE;
    if (type != MCI_DEVTYPE_CD_AUDIO)
        flags = (flags & ~MCI_OPEN_SHAREABLE) | MCI_OPEN_ELEMENT;
    return mciSendCommand(0, MCI_OPEN, flags, &open) == 0 ? open.wDeviceID : 0;
}

void PlayMinuteThroughLayer(benchmark::State& state, UINT type, const std::string& element)
{
    SelectAudioOutput(AudioOutputKind::ManualClock);
    for (auto _ : state) {
        const MCIDEVICEID id = OpenDevice(type, element);
        if (id == 0) {
            state.SkipWithError("open failed");
            return;
        }
        MCI_PLAY_PARMS play;
        mciSendCommand(id, MCI_PLAY, 0, &play);
        for (unsigned ms = 0; ms < kMinuteMs; ms += kStepMs)
            AdvanceManualAudioClock(kStepMs);
        mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    }
}

void BM_WavLibraryAlone(benchmark::State& state)
{
    std::vector<short> buffer(882 * 2);
    for (auto _ : state) {
        SF_INFO info{};
        SNDFILE* file = sf_open(TheMedia().wav.c_str(), SFM_READ, &info);
        for (unsigned ms = 0; ms < kMinuteMs; ms += kStepMs)
            benchmark::DoNotOptimize(sf_readf_short(file, buffer.data(), 882));
        sf_close(file);
    }
}

void BM_WavThroughLayer(benchmark::State& state)
{
    PlayMinuteThroughLayer(state, MCI_DEVTYPE_WAVEFORM_AUDIO, TheMedia().wav);
}

void BM_MidiLibraryAlone(benchmark::State& state)
{
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    fluid_settings_t* settings = new_fluid_settings();
    fluid_settings_setnum(settings, "synth.sample-rate", 44100);
    fluid_settings_setstr(settings, "player.timing-source", "sample");
    fluid_synth_t* synth = new_fluid_synth(settings);
    fluid_synth_sfload(synth, CSequencerDevice::ChooseSoundFont().c_str(), 1);
    std::vector<float> buffer(882 * 2);
    for (auto _ : state) {
        fluid_player_t* player = new_fluid_player(synth);
        fluid_player_add(player, TheMedia().midi.c_str());
        fluid_player_play(player);
        for (unsigned ms = 0; ms < kMinuteMs; ms += kStepMs)
            fluid_synth_write_float(synth, 882, buffer.data(), 0, 2, buffer.data(), 1, 2);
        delete_fluid_player(player);
    }
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
}

void BM_MidiThroughLayer(benchmark::State& state)
{
    PlayMinuteThroughLayer(state, MCI_DEVTYPE_SEQUENCER, TheMedia().midi);
}

void BM_CdLibraryAlone(benchmark::State& state)
{
    cdio_log_set_handler([](cdio_log_level_t, const char*) {});
    std::vector<char> sectors(8 * CDIO_CD_FRAMESIZE_RAW);
    for (auto _ : state) {
        CdIo_t* cdio = cdio_open(TheMedia().cue.c_str(), DRIVER_BINCUE);
        for (lsn_t lsn = 0; lsn < 60 * 75; lsn += 8)
            cdio_read_audio_sectors(cdio, sectors.data(), lsn, 8);
        cdio_destroy(cdio);
    }
}

void BM_CdThroughLayer(benchmark::State& state)
{
    setenv("SORVANE_CDROM", TheMedia().cue.c_str(), 1);
    PlayMinuteThroughLayer(state, MCI_DEVTYPE_CD_AUDIO, "");
}

// MCI_OPEN, MCI_PLAY and the first pull that hands audio to the output.
void OpenToFirstFrame(benchmark::State& state, UINT type, const std::string& element)
{
    SelectAudioOutput(AudioOutputKind::ManualClock);
    for (auto _ : state) {
        const MCIDEVICEID id = OpenDevice(type, element);
        MCI_PLAY_PARMS play;
        mciSendCommand(id, MCI_PLAY, 0, &play);
        benchmark::DoNotOptimize(AdvanceManualAudioClock(1));
        state.PauseTiming();
        mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
        state.ResumeTiming();
    }
}

void BM_OpenToFirstFrameWav(benchmark::State& state)
{
    OpenToFirstFrame(state, MCI_DEVTYPE_WAVEFORM_AUDIO, TheMedia().wav);
}

void BM_OpenToFirstFrameCdImage(benchmark::State& state)
{
    setenv("SORVANE_CDROM", TheMedia().cue.c_str(), 1);
    OpenToFirstFrame(state, MCI_DEVTYPE_CD_AUDIO, "");
}

// The SoundFont is loaded once per process, so this is the cost of every MIDI open after the
// first; BM_SoundFontLoad is what the first one adds.
void BM_OpenToFirstFrameMidi(benchmark::State& state)
{
    OpenToFirstFrame(state, MCI_DEVTYPE_SEQUENCER, TheMedia().midi);
}

void BM_SoundFontLoad(benchmark::State& state)
{
    for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
        fluid_set_log_function(level, nullptr, nullptr);
    fluid_settings_t* settings = new_fluid_settings();
    fluid_synth_t* synth = new_fluid_synth(settings);
    const std::string font = CSequencerDevice::ChooseSoundFont();
    for (auto _ : state) {
        const int id = fluid_synth_sfload(synth, font.c_str(), 1);
        state.PauseTiming();
        fluid_synth_sfunload(synth, id, 1);
        state.ResumeTiming();
    }
    delete_fluid_synth(synth);
    delete_fluid_settings(settings);
}

} // namespace

BENCHMARK(BM_WavLibraryAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_WavThroughLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidiLibraryAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MidiThroughLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CdLibraryAlone)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CdThroughLayer)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_OpenToFirstFrameWav)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenToFirstFrameCdImage)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_OpenToFirstFrameMidi)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SoundFontLoad)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();

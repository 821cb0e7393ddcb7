// How quickly the sound output follows a sound server that goes and comes back: a private
// PulseAudio server with a null sink (tests/support/PulseServer), a 44.1 kHz stream written
// well ahead, and for each round
//   - killed: from SIGKILL of the server to the output holding (what the window's state
//     reads, at its next 450 ms tick), and the frames pulled meanwhile (unheard);
//   - back: from the restarted server answering to the stream's first frame pulled again,
//     plus the device's latency (the first sample heard);
//   - stopped: from SIGSTOP to the output holding (the device's callbacks stop, and the
//     server no longer answers).
//
//   bench_outage [rounds]

#include "audio/SoundOutput.h"
#include "tests/support/PulseServer.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

bool WaitFor(const std::function<bool()>& condition)
{
    const auto until = Clock::now() + std::chrono::seconds(20);
    while (!condition()) {
        if (Clock::now() > until)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return true;
}

double Ms(Clock::duration d)
{
    return std::chrono::duration<double, std::milli>(d).count();
}

void Report(const char* what, std::vector<double> values)
{
    if (values.empty()) {
        std::printf("%-44s no measurement\n", what);
        return;
    }
    std::sort(values.begin(), values.end());
    std::printf("%-44s median %7.1f  max %7.1f  (%zu rounds)\n", what, values[values.size() / 2],
                values.back(), values.size());
}

} // namespace

int main(int argc, char** argv)
{
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
    ::setenv("SDL_AUDIODRIVER", "pulseaudio", 1);
    CPulseServer server(true);
    if (!server.Running()) {
        std::fprintf(stderr, "bench_outage: the private PulseAudio server did not start\n");
        return 1;
    }
    SelectAudioOutput(AudioOutputKind::Device);
    const AudioFormat format{44100, 2, SampleFormat::S16};
    const int seconds = 10 * rounds + 10;
    auto stream = CAudioStream::Open(format, static_cast<unsigned>(seconds) * 1000 + 500);
    if (stream == nullptr)
        return 1;
    std::vector<std::int16_t> frames(std::size_t{44100} * 2 * static_cast<std::size_t>(seconds),
                                     1000);
    stream->Write(frames.data(), frames.size() / 2, stream->Generation());
    std::vector<double> lossMs, unheardMs, backMs, stopMs;
    for (int round = 0; round < rounds; ++round) {
        if (!WaitFor([&] { return !AudioOutputHeld() && stream->Played() > 0; }))
            break;
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        const std::uint64_t before = stream->Played();
        auto t0 = Clock::now();
        server.Kill();
        if (!WaitFor([] { return AudioOutputHeld(); }))
            break;
        lossMs.push_back(Ms(Clock::now() - t0));
        unheardMs.push_back(static_cast<double>(stream->Played() - before) * 1000.0 / 44100.0);
        const std::uint64_t held = stream->Played();
        if (!server.Start(true))
            break;
        t0 = Clock::now();
        if (!WaitFor([&] { return stream->Played() > held; }))
            break;
        backMs.push_back(Ms(Clock::now() - t0) + AudioOutputLatencyMs());
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        t0 = Clock::now();
        server.Stop();
        if (!WaitFor([] { return AudioOutputHeld(); }))
            break;
        stopMs.push_back(Ms(Clock::now() - t0));
        server.Continue();
    }
    std::printf("bench_outage: private PulseAudio, null sink, 44.1 kHz 16-bit stereo\n");
    Report("server killed -> output holds (ms)", lossMs);
    Report("pulled at the loss, unheard (ms of sound)", unheardMs);
    Report("server back -> first sample heard (ms)", backMs);
    Report("server stopped -> output holds (ms)", stopMs);
    std::printf("the window shows a hold at its next 450 ms tick after it\n");
    stream.reset();
    CloseAudioOutput();
    return 0;
}

// The floor for playing an MP3: libmpg123 decoding straight into SDL's audio callback, with
// nothing between them, for as long as the file lasts (or the seconds given).
//
//   bench_mp3_floor FILE [seconds]
//
// Prints the CPU seconds that playing took (from the moment the device started) and the
// wall time, on one line. SDL_AUDIODRIVER applies (the benchmarks set it to dummy).

#include "bench/Mp3FloorPlayback.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

namespace {

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: %s FILE [seconds]\n", argv[0]);
        return 2;
    }
    const double seconds = argc > 2 ? std::atof(argv[2]) : 1e9;
    double cpu0 = 0;
    std::chrono::steady_clock::time_point start;
    {
        CMp3FloorPlayback playback;
        if (!playback.Start(argv[1])) {
            std::fprintf(stderr, "cannot play %s\n", argv[1]);
            return 1;
        }
        start = std::chrono::steady_clock::now();
        cpu0 = CpuSeconds();
        while (!playback.bDone &&
               std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds))
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %.3f\n", CpuSeconds() - cpu0, wall);
    return 0;
}

// The floor for playing an MP3: libmpg123 decoding straight into SDL's audio callback, with
// nothing between them, for as long as the file lasts (or the seconds given).
//
//   bench_mp3_floor FILE [seconds]
//
// Prints the CPU seconds that playing took (from the moment the device was opened) and the
// wall time, on one line. SDL_AUDIODRIVER applies (the benchmarks set it to dummy).

#include <SDL.h>
#include <mpg123.h>

#include <sys/resource.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

struct Player
{
    mpg123_handle* handle = nullptr;
    std::atomic<bool> bDone{false};
};

void Callback(void* user, Uint8* out, int len)
{
    auto* player = static_cast<Player*>(user);
    std::size_t done = 0;
    const int err = mpg123_read(player->handle, out, static_cast<std::size_t>(len), &done);
    if (done < static_cast<std::size_t>(len))
        std::memset(out + done, 0, static_cast<std::size_t>(len) - done);
    if (err == MPG123_DONE || (err != MPG123_OK && err != MPG123_NEW_FORMAT))
        player->bDone = true;
}

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
    Player player;
    player.handle = mpg123_new(nullptr, nullptr);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (player.handle == nullptr ||
        mpg123_open_fixed(player.handle, argv[1], 2, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_getformat(player.handle, &rate, &channels, &encoding) != MPG123_OK) {
        std::fprintf(stderr, "cannot open %s\n", argv[1]);
        return 1;
    }
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return 1;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Callback;
    want.userdata = &player;
    SDL_AudioSpec have{};
    const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (device == 0)
        return 1;
    const auto start = std::chrono::steady_clock::now();
    const double cpu0 = CpuSeconds();
    SDL_PauseAudioDevice(device, 0);
    while (!player.bDone &&
           std::chrono::steady_clock::now() - start < std::chrono::duration<double>(seconds))
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    SDL_CloseAudioDevice(device);
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    mpg123_delete(player.handle);
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%.3f %.3f\n", CpuSeconds() - cpu0, wall);
    return 0;
}

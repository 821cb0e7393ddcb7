// The floor program: the least a desktop player built on the same foundations can do. Qt 6
// maps a window that shows one line of text (the name of what plays), so that it draws with
// a font as any player does; given an MP3, libmpg123 opens it and SDL2 plays it, decoding
// straight into SDL's audio callback. Nothing else: no settings, no translations, no bus, no
// mixing.
//
//   bench_floor_player [FILE]
//
// It runs until it is ended (SIGTERM). bench_floor measures it beside the player.

#include <QApplication>
#include <QFileInfo>
#include <QLabel>

#include <SDL.h>
#include <mpg123.h>

#include <cstdio>
#include <cstring>
#include <memory>

namespace {

// The decoder of the MP3 given, read by SDL's audio thread only once the device plays.
struct Playback
{
    mpg123_handle* handle = nullptr;
    SDL_AudioDeviceID device = 0;

    ~Playback()
    {
        if (device != 0)
            SDL_CloseAudioDevice(device);
        if (handle != nullptr)
            mpg123_delete(handle);
    }
};

void Callback(void* user, Uint8* out, int len)
{
    auto* playback = static_cast<Playback*>(user);
    std::size_t done = 0;
    (void)mpg123_read(playback->handle, out, static_cast<std::size_t>(len), &done);
    if (done < static_cast<std::size_t>(len))
        std::memset(out + done, 0, static_cast<std::size_t>(len) - done);
}

// Opens path and starts it on SDL's default device; false when either fails.
bool Play(Playback& playback, const char* path)
{
    playback.handle = mpg123_new(nullptr, nullptr);
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    if (playback.handle == nullptr ||
        mpg123_open_fixed(playback.handle, path, 2, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_getformat(playback.handle, &rate, &channels, &encoding) != MPG123_OK)
        return false;
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return false;
    SDL_AudioSpec want{};
    want.freq = static_cast<int>(rate);
    want.format = AUDIO_S16SYS;
    want.channels = 2;
    want.samples = 1024;
    want.callback = Callback;
    want.userdata = &playback;
    SDL_AudioSpec have{};
    playback.device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    if (playback.device == 0)
        return false;
    SDL_PauseAudioDevice(playback.device, 0);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QLabel window(argc > 1 ? QFileInfo(QString::fromLocal8Bit(argv[1])).fileName()
                           : QStringLiteral("floor"));
    window.setWindowTitle(QStringLiteral("floor"));
    window.resize(275, 116);
    window.show();
    auto playback = std::make_unique<Playback>();
    if (argc > 1 && !Play(*playback, argv[1])) {
        std::fprintf(stderr, "bench_floor_player: cannot play %s\n", argv[1]);
        return 1;
    }
    return QApplication::exec();
}

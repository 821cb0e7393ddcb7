#pragma once

// The floor's way of playing an MP3: libmpg123 decoding straight into SDL's audio callback,
// with nothing between them. Shared by the floor programs.

#include <SDL.h>
#include <mpg123.h>

#include <atomic>
#include <cstring>

// One MP3 on SDL's default device; closed with the object. The callback (SDL's audio
// thread) alone reads the decoder once the device plays.
struct CMp3FloorPlayback
{
    mpg123_handle* handle = nullptr;
    SDL_AudioDeviceID device = 0;
    // The decoder reached the file's end or failed.
    std::atomic<bool> bDone{false};

    CMp3FloorPlayback() = default;
    CMp3FloorPlayback(const CMp3FloorPlayback&) = delete;
    CMp3FloorPlayback& operator=(const CMp3FloorPlayback&) = delete;
    ~CMp3FloorPlayback()
    {
        if (device != 0)
            SDL_CloseAudioDevice(device);
        if (handle != nullptr)
            mpg123_delete(handle);
    }

    static void Callback(void* user, Uint8* out, int len)
    {
        auto* self = static_cast<CMp3FloorPlayback*>(user);
        std::size_t done = 0;
        const int err = mpg123_read(self->handle, out, static_cast<std::size_t>(len), &done);
        if (done < static_cast<std::size_t>(len))
            std::memset(out + done, 0, static_cast<std::size_t>(len) - done);
        if (err == MPG123_DONE || (err != MPG123_OK && err != MPG123_NEW_FORMAT))
            self->bDone = true;
    }

    // Opens path as 16-bit stereo and starts it; false when the file or the device fails.
    bool Start(const char* path)
    {
        handle = mpg123_new(nullptr, nullptr);
        long rate = 0;
        int channels = 0;
        int encoding = 0;
        if (handle == nullptr ||
            mpg123_open_fixed(handle, path, 2, MPG123_ENC_SIGNED_16) != MPG123_OK ||
            mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK)
            return false;
        SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
        if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
            return false;
        SDL_AudioSpec want{};
        want.freq = static_cast<int>(rate);
        want.format = AUDIO_S16SYS;
        want.channels = 2;
        want.samples = 1024;
        want.callback = &CMp3FloorPlayback::Callback;
        want.userdata = this;
        SDL_AudioSpec have{};
        device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
        if (device == 0)
            return false;
        SDL_PauseAudioDevice(device, 0);
        return true;
    }
};

#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// The one process-wide sound output, in the shared library sorvane_audio that the program
// and the output plug-in both link. Producers connect with their own rate, channel count and
// sample format; conversion to the device's format is SDL's.
//
// Kinds of output: the SDL device (SDL_AUDIODRIVER and SDL's other variables apply); when no
// device can be opened, a silent output that pulls in real time and says so once on standard
// error; and, for tests only, a manual clock that pulls nothing until the test advances it.
//
// Threads: ConnectAudioSource and DisconnectAudioSource may be called from any thread, but
// never from inside IAudioSource::Render and never while holding a lock that Render takes.
// Render runs on the output's thread (SDL's audio thread, the silent output's clock thread,
// or the thread calling AdvanceManualAudioClock), one call at a time for all sources.

enum class SampleFormat {
    S16, // signed 16-bit, native byte order
    F32  // 32-bit float, -1.0 .. 1.0
};

struct AudioFormat
{
    int nRate = 44100; // frames per second, 1000 .. 384000
    int nChannels = 2; // 1 .. 8, interleaved
    SampleFormat format = SampleFormat::S16;

    std::size_t FrameBytes() const
    {
        return static_cast<std::size_t>(nChannels) * (format == SampleFormat::S16 ? 2u : 4u);
    }
    bool IsValid() const
    {
        return nRate >= 1000 && nRate <= 384000 && nChannels >= 1 && nChannels <= 8;
    }
};

// A producer that the output pulls.
class IAudioSource
{
public:
    virtual ~IAudioSource() = default;

    // Output thread. Writes up to frames whole frames, in the format given when connecting,
    // to buffer and returns how many it wrote. Fewer (also 0) means it has nothing more just
    // now: the rest plays as silence and the source is asked again on the next round. Must
    // return quickly and must not connect or disconnect sources.
    virtual std::size_t Render(void* buffer, std::size_t frames) = 0;
};

using AudioConnection = std::uint32_t;

// Connects source, which will be pulled in format until disconnected; opens the output first
// when it is not open yet. Returns a non-zero connection, or 0 when format is not valid.
AudioConnection ConnectAudioSource(IAudioSource& source, const AudioFormat& format);

// Disconnects; when it returns, the source's Render is not running and is not called again.
// 0 and unknown connections are ignored.
void DisconnectAudioSource(AudioConnection connection);

enum class AudioOutputKind {
    Device,     // SDL's audio device
    Silent,     // no device: keeps real time, renders to nothing
    ManualClock // tests: renders only in AdvanceManualAudioClock
};

// Opens the output now if it is not open (the device, else the silent output) and returns
// its kind. Connecting opens it anyway; calling this early only moves the cost of opening.
AudioOutputKind OpenAudioOutput();

// Replaces the open output with one of the given kind (Device falls back to Silent when no
// device opens). Only while nothing is connected: returns false, and changes nothing,
// otherwise. The player never calls it; tests and benchmarks do. A new Device output reads
// SDL's environment variables again.
bool SelectAudioOutput(AudioOutputKind kind);

// Manual clock only: pulls exactly ms milliseconds of audio from every connected source
// (each at its own rate; fractions of a frame carry over to the next call, so N calls of 1 ms
// pull the same as one call of N ms). When captured is not null, each source's frames are
// appended to it as floats in the source's own channel layout, in connection order. Returns
// the number of frames pulled from all sources; 0 when the output is not the manual clock.
std::size_t AdvanceManualAudioClock(unsigned ms, std::vector<float>* captured = nullptr);

// How long after a source's frame is pulled it is heard: the device's buffering, or the
// silent output's one tick of lead; 0 for the manual clock (and before the output is open). A
// producer that ends lets this much time pass (playing silence) before it reports the end, so that
// closing it then cuts nothing off.
unsigned AudioOutputLatencyMs();

// Closes the output (and SDL's audio) when nothing is connected; the next connection opens
// it again. Called at exit; harmless to call more than once.
void CloseAudioOutput();

#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

// The one process-wide sound output, in the shared library sorvane_audio that the program
// and the output plug-in both link. Each producer (a media device, the output plug-in) writes
// its frames into a stream of its own; the output mixes the streams that play.
//
// Kinds of output: the SDL device (SDL_AUDIODRIVER and SDL's other variables apply); while no
// device plays although one is asked for, the output holds: it pulls nothing, so every
// stream stands where it is (as if paused) until a device opens, and says so on standard
// error (once until a device opens again); a silent output that pulls in real time, chosen
// only by tests and benchmarks; and, for tests only, a manual clock that pulls nothing until
// the test advances it.
//
// Format: when a stream opens while no other stream is open, the device is (re)opened at
// that stream's rate and sample format, stereo, so a 16-bit file at any rate reaches the
// device unchanged. A working device is never closed before its successor is open: when the
// new one does not open, the old one stays and the stream is converted. A stream whose rate
// differs from the device's (one that opens while another plays, or a rate the device
// refused) is converted by libsoxr on the producer's thread, as one continuous stream from
// one flush to the next. Mono is sent to both sides; more than two channels are folded to
// stereo by their speaker positions (AudioFormat::nChannelMask): centre and surrounds at
// -3 dB into left and right, the low-frequency channel left out, scaled so that nothing
// clips. The manual clock converts nothing: it pulls each stream at its own rate and format.
//
// Mixing: a stream alone reaches the device bit-exact. Where streams overlap (a MIDI file's
// decay under the next file) and their sum passes full scale, a limiter lowers the gain
// (instantly, then back up over a tenth of a second) instead of clipping; no sample outside
// -1..1 reaches the device.
//
// Device: opened, reopened and closed on the output's service thread, never under a lock that
// another thread waits on: a caller waits for a device at most a second (then the stream
// holds until the device is there), and a sound server that hangs holds only that thread.
// The first stream of an output not yet open waits for nothing: it is made for its own format,
// the device is asked for exactly that (SDL converts where the hardware refuses the rate), and
// it opens once a stream has its first frames (or a fifth of a second after the ask), playing
// from its first callback, so that the first sound comes without a silent period before it.
// When none opens, the output holds and tries the device again at each new stream and every
// 200 ms while a stream is open; a device that goes away (removed, its server gone, or its
// callbacks stopped for a second) is replaced by the default one as soon as one opens.
// Streams go on from where the sound stopped in every case.
//
// Threads:
// - The producer of a stream (its decode thread) calls Space, Write, MarkEnd and Finish;
//   they never wait. Its wait for room goes on a counter the output bumps (WakeCounter).
// - The output's real-time thread (SDL's audio callback) only copies ready frames out of the
//   streams' rings and mixes them: no file or disc read, no allocation, no lock held by
//   another thread for longer than a copy of one ring's frames.
// - The output's service thread (the silent output's clock, the device's watchdog) calls
//   IAudioStreamOwner::OnStreamEnded, opens the device, reopens one that was lost, tries the
//   device again while the output holds, and releases streams closed with CloseWhenPlayed. For the
//   manual clock the thread calling AdvanceManualAudioClock does all of it.
// - Any other thread (the user-interface thread, a monitor) may call the control functions
//   (Flush, SetPaused, Close, CloseWhenPlayed) and the queries (Played, Ended, ...); the
//   queries read atomics only and never wait.

enum class SampleFormat {
    S16, // signed 16-bit, native byte order
    F32  // 32-bit float, -1.0 .. 1.0
};

struct AudioFormat
{
    int nRate = 44100; // frames per second, 1000 .. 384000
    int nChannels = 2; // 1 .. 8, interleaved
    SampleFormat format = SampleFormat::S16;
    // Speaker positions of the channels, as the WAVE extensible format's channel mask (front
    // left 0x1, front right 0x2, front centre 0x4, low frequency 0x8, back left 0x10, back
    // right 0x20, ..., side left 0x200, side right 0x400, ...; the channels in the order of
    // their bits). 0, or a mask whose bit count is not nChannels: the usual order for the
    // channel count (2: front left, right; 6: also centre, low frequency, back left, right).
    std::uint32_t nChannelMask = 0;

    std::size_t FrameBytes() const
    {
        return static_cast<std::size_t>(nChannels) * (format == SampleFormat::S16 ? 2u : 4u);
    }
    bool IsValid() const
    {
        return nRate >= 1000 && nRate <= 384000 && nChannels >= 1 && nChannels <= 8;
    }
    bool operator==(const AudioFormat&) const = default;
};

// The most frames a producer waits for room for at once: a producer waiting on WakeCounter
// until Space() is at least this many frames is woken once it is, at any rate from 1 kHz to
// 384 kHz and any channel count.
constexpr std::size_t kAudioStreamChunkFrames = 4096;

// Told when a stream's end has been heard.
class IAudioStreamOwner
{
public:
    // The output's service thread (or the thread advancing the manual clock), once per
    // MarkEnd: every frame written before MarkEnd has been played and the output's latency
    // has passed since. Must return quickly and must not close the stream.
    virtual void OnStreamEnded() = 0;

    virtual ~IAudioStreamOwner() = default;
};

class CAudioStreamImpl;
class CAudioStreamTicket;
// How a producer's streams are to open, shared by whoever starts the producer and the producer
// (see CAudioStreamTicket below).
using AudioStreamTicket = std::shared_ptr<CAudioStreamTicket>;

// One producer's stream into the output: a ring of ready frames, and the conversion to the
// output's format. Generations: Flush starts a new one; a Write, MarkEnd or Finish that
// names an older generation is dropped, so a producer that decoded before a flush cannot
// sneak stale frames in.
class CAudioStream
{
public:
    // Any thread but the output's. Opens a stream for frames in format with room for about
    // ringMs milliseconds, opening or reopening the output first as described above. owner
    // (may be null) must outlive the stream's Close. The stream opens on ticket's terms (its
    // leader, its gain) and is handed back through it; without one it starts at once, at gain 1.
    // Null when format is not valid.
    static std::unique_ptr<CAudioStream> Open(const AudioFormat& format, unsigned ringMs,
                                              IAudioStreamOwner* owner = nullptr,
                                              const AudioStreamTicket& ticket = nullptr);
    // Closes (as Close).
    ~CAudioStream();
    CAudioStream(const CAudioStream&) = delete;
    CAudioStream& operator=(const CAudioStream&) = delete;

    const AudioFormat& Format() const;

    // --- Producer thread.
    // Frames of Format() that Write takes now without dropping any.
    std::size_t Space() const;
    // Appends frames (at most Space()) when generation is current; false, taking nothing,
    // when a Flush has made it stale. bEnd marks the end (as MarkEnd) after the last of them,
    // in the same step, so that the output never plays them without knowing.
    bool Write(const void* frames, std::size_t count, std::uint32_t generation, bool bEnd = false);
    // Everything written so far ends the piece: the owner hears of it once it has been heard.
    // Frames written later (a MIDI file's decay) still play, and do not move Played().
    void MarkEnd(std::uint32_t generation);
    // Nothing more is written for now: what the converter still holds is let out, and once
    // the queue runs empty the piece has ended (as at MarkEnd). A later Write goes on with
    // the same piece.
    void Finish(std::uint32_t generation);
    // Bumped (and notified) when what is queued falls to half of what the stream keeps ahead
    // (Space() is then at least kAudioStreamChunkFrames), when it runs short, at every whole
    // second played, on Flush and SetPaused, and when the end has been heard; a producer
    // waits on it.
    std::atomic<unsigned>& WakeCounter();

    // --- Any thread.
    // Drops what is queued, restarts Played() at 0 and the conversion, and returns the new
    // generation. The pause setting stays.
    std::uint32_t Flush();
    // The current generation.
    std::uint32_t Generation() const;
    // Paused, the output leaves the stream's frames where they are: nothing is lost or
    // repeated when it plays on.
    void SetPaused(bool bPaused);
    // Frames of Format() played since the last Flush (at the output's rate, mapped back).
    std::uint64_t Played() const;
    // The end marked in this generation has been heard.
    bool Ended() const;
    // How long after a frame is played it is heard (the device's buffering); 0 for the
    // manual clock.
    unsigned LatencyMs() const;
    // Frames still queued, in the ring's own rate.
    std::size_t Queued() const;

    // Disconnects at once: the queued frames are dropped, and when Close returns the owner is
    // not called again. Harmless to call twice.
    void Close();
    // Lets the output play what is queued, then release the stream by itself (on its service
    // thread); the owner is not called again. Nothing may be written to it any more.
    static void CloseWhenPlayed(std::unique_ptr<CAudioStream> stream);

private:
    explicit CAudioStream(std::shared_ptr<CAudioStreamImpl> impl);
    std::shared_ptr<CAudioStreamImpl> m_impl;
};

// --- Follow-on: one stream starts in the very pull in which another's marked end is reached,
// right after the other's last frame, so that two pieces sound as one (a queue played without
// gaps). Neither stream's producer knows of it.

// A handle on an open stream that does not keep it open.
using AudioStreamRef = std::weak_ptr<CAudioStreamImpl>;

// Whoever starts a producer (the engine starting a media device or a decoder) makes a ticket
// and hands it to the producer, which opens its streams with it (CAudioStream::Open). The
// ticket says how they open, and hands the stream back: so the starter knows its medium's
// stream without any rule on which thread or when the producer opens it.
//
// The first stream opened with a ticket that names a leader is held silent (its frames kept,
// Played() at 0, no underrun counted) until the leader's end is reached in the mix: the end
// marked by MarkEnd or Write's bEnd, or Finish with the ring run empty. It then starts in that
// same pull, right after the leader's last frame; frames the leader plays past its end (a
// decay) overlap it. A leader that has already reached its end, is closed or is empty starts
// it at once. Pausing either stream holds it as usual. Later streams opened with the ticket (a
// producer reopening after a seek) start at once. Every stream opened with it takes its gain.
//
// Threads: any; the ticket's own lock guards its few fields and is never held while the output
// is called.
class CAudioStreamTicket
{
public:
    explicit CAudioStreamTicket(AudioStreamRef leader = {}, float gain = 1.0f);
    static AudioStreamTicket Make(AudioStreamRef leader = {}, float gain = 1.0f)
    {
        return std::make_shared<CAudioStreamTicket>(std::move(leader), gain);
    }

    // The stream last opened with this ticket; empty before the first (and once it is closed).
    AudioStreamRef Stream() const;
    // The gain (clamped as SetAudioStreamGain clamps it) of the stream open now, from its next
    // mixed block, and of every stream opened with the ticket later.
    void SetGain(float gain);
    float Gain() const;

    // The output, opening a stream with the ticket: the leader it is to follow (taken, so only
    // the first stream follows), and the stream it opened.
    AudioStreamRef TakeLeader();
    void Opened(AudioStreamRef stream);

private:
    mutable std::mutex m_mutex;
    AudioStreamRef m_leader;
    AudioStreamRef m_stream;
    float m_fGain = 1.0f;
};

// --- Per-stream gain: each stream is multiplied by a gain of its own where the streams are
// summed, in floating point, before the mix's volume and the limiter (so a gain that changes
// from one piece to the next changes exactly where one stream ends and the next begins). A gain
// of exactly 1 multiplies nothing: the stream stays bit-exact.

// The highest gain a stream takes (about +24 dB); higher ones are lowered to it.
constexpr float kMaxAudioStreamGain = 16.0f;

// Any thread: the stream's gain (clamped as above) from the next mixed block on. Nothing when
// the stream is no longer open.
void SetAudioStreamGain(const AudioStreamRef& stream, float gain);
// Any thread: the stream's gain; 1 when the stream is no longer open.
float AudioStreamGain(const AudioStreamRef& stream);

enum class AudioOutputKind {
    Device,     // SDL's audio device
    Silent,     // no device: holds while a device is asked for, else keeps real time
    ManualClock // tests: renders only in AdvanceManualAudioClock
};

// Opens the output now if it is not open (the device, else the silent output) and returns
// its kind. Opening a stream opens it anyway; calling this early only moves the cost of
// opening.
AudioOutputKind OpenAudioOutput();

// Replaces the open output with one of the given kind (Device falls back to Silent when no
// device opens). Only while no stream is open: returns false, and changes nothing,
// otherwise. The player never calls it; tests and benchmarks do. A new Device output reads
// SDL's environment variables again.
bool SelectAudioOutput(AudioOutputKind kind);

// Manual clock only: pulls exactly ms milliseconds of audio from every playing stream (each
// at its own rate; fractions of a frame carry over to the next call, so N calls of 1 ms pull
// the same as one call of N ms). A stream whose producer is still producing is waited for
// (at most a few seconds), so that tests are exact without sleeping. When captured is not
// null, each stream's frames are appended to it as floats in the stream's own channel layout.
// Returns the number of frames pulled from all streams; 0 when the output is not the manual
// clock.
std::size_t AdvanceManualAudioClock(unsigned ms, std::vector<float>* captured = nullptr);

// How long after a frame is pulled it is heard: the device's buffering, or the silent
// output's one tick of lead; 0 for the manual clock and before the output is open.
unsigned AudioOutputLatencyMs();

// The device's format while it is open (rate and sample format of the medium it was opened
// for, or of the device kept when a new one did not open; always two channels).
AudioFormat AudioOutputFormat();

// Any thread, never waits: a device is asked for and none plays (none opened yet, or the one
// playing was lost), so every stream holds where it is until one opens.
bool AudioOutputHeld();

// Times a playing stream whose producer had not finished had fewer frames ready than the
// output asked for, since the process started.
std::uint64_t AudioOutputUnderruns();

// The gain applied where the streams are mixed, from 0 (silence) to 1 (the sound as it is,
// bit-exact: nothing is multiplied). Values outside are clamped; NaN is ignored. Any
// thread; takes effect from the next mixed block. 1 at start.
void SetAudioOutputVolume(double volume);
double AudioOutputVolume();

// Closes the output (and SDL's audio) when no stream is open; the next stream opens it
// again. Called at exit; harmless to call more than once. Waits at most a second for a device
// whose sound server hangs, which is then left behind.
void CloseAudioOutput();

// Test seams: an output that misbehaves. Tests and benchmarks only.
// The next ms milliseconds of the device's real-time callbacks do not come: the next
// callback first sleeps that long (a late or stalled callback).
void StallAudioOutputForTest(unsigned ms);
// The device is reported removed, as SDL reports a pulled USB headset: the output reopens
// the default device (SDL's variables read again) or holds until one opens, and every
// stream goes on from where it was.
void LoseAudioDeviceForTest();

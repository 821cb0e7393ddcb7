#pragma once

#include "audio/SoundOutput.h"

#include <cstddef>
#include <cstdint>

// The object interfaces between the player and its two compressed-audio plug-in libraries,
// and between those two libraries. The libraries are built apart from the program, so the
// decoder's virtual slots keep a fixed order and no destructor sits among them.
//
// Threads: the engine calls the decoder on the user-interface thread only. The decoder
// runs a decode thread of its own while it plays; that thread calls the output and the
// registered callback. The output is called by the decoder only: Open and OpenFormat on the
// user-interface thread before a decode thread starts; Write, Flush and WaitDrained on the
// decode thread; SetPaused, Interrupt and Close on the user-interface thread (through the
// decoder's Play, Pause, Resume, Seek and Close); GetPlayedFrames on either. The plug-ins
// check these rules in every build but Release and stop the program at a breach.
//
// One file, one decoder: a file that follows another without a gap is opened on a decoder and
// an output of its own (CreateInstance), whose stream is held behind the open one's by its
// ticket (IOutputPlugin::SetStreamTicket); a decoder plays one file at a time.

// What the decoder reports through the callback.
inline constexpr int PLUGIN_CALLBACK_END = 1;     // value unused: the file has played to its end
inline constexpr int PLUGIN_CALLBACK_ELAPSED = 2; // value = elapsed playing time, whole seconds
// The file ended early, after what could be decoded had been heard: value = PLUGIN_FAILURE_*.
inline constexpr int PLUGIN_CALLBACK_FAILED = 3;

// Why a file ended early.
inline constexpr int PLUGIN_FAILURE_READ = 1;   // the file could not be read on
inline constexpr int PLUGIN_FAILURE_DECODE = 2; // damage past which no frame could be found

// Sample formats of the PCM a decoder hands to the output.
inline constexpr int PLUGIN_PCM_S16 = 0; // signed 16-bit, native byte order
inline constexpr int PLUGIN_PCM_F32 = 1; // 32-bit float, -1.0 .. 1.0 (24-bit samples exactly)

// The decoder's play states.
inline constexpr int PLUGIN_STATE_STOPPED = 0;
inline constexpr int PLUGIN_STATE_PLAYING = 1;
inline constexpr int PLUGIN_STATE_PAUSED = 2;

// Called by the decoder with (type, value, the 32-bit value given to SetCallback), on any
// thread. Returns 0.
using PluginCallbackProc = int (*)(int nType, int nValue, std::uint32_t dwUser);

// Media information that the decoder writes when it opens a file: 272 bytes, of which the
// program reads only the last word. The first fields are the decoder's own.
struct PluginMediaInfo
{
    std::int32_t nSampleRate;   // Hz
    std::int32_t nChannels;     // as stored in the file, 1 or 2
    std::int32_t nLayer;        // MPEG audio layer, 1 to 3; 0 for any other format
    std::int32_t nBitrateKbps;  // of the first frame (others: as stated); 0 for free format
    std::int32_t nVariableRate; // non-zero when the frames' rates vary
    std::uint8_t abReserved[248];
    std::int32_t nLengthSeconds; // length of the file in whole seconds
};
static_assert(sizeof(PluginMediaInfo) == 272);
static_assert(offsetof(PluginMediaInfo, nLengthSeconds) == 268);

// Takes interleaved PCM (signed 16-bit, or 32-bit float through OpenFormat) from the decoder
// and plays it on the process's sound output, holding only a short buffer so that the decoder runs
// at the pace of play.
class IOutputPlugin
{
public:
    // User-interface thread, while no decode thread runs. Prepares for PCM of nSampleRate Hz and
    // nChannels (1 or 2) channels, drops anything queued, unpauses and restarts the played count at
    // 0. Non-zero on success; 0 when no sound output can be had.
    virtual int Open(int nSampleRate, int nChannels) = 0;

    // Decode thread. Queues the nBytes at pPcm, waiting while the buffer is full, so the
    // decoder runs at most a buffer ahead of what is heard. Returns the bytes taken: all of
    // them, or fewer (possibly 0) after one wait, so that the caller can look at the time
    // heard at least at every whole second, and at once after Interrupt; -1 when not open.
    virtual int Write(const void* pPcm, int nBytes) = 0;

    // Decode thread. Drops everything queued, ends an interruption and restarts the played
    // count at 0; the paused setting stays.
    virtual void Flush() = 0;

    // Decode thread. Non-zero once everything queued has played and been heard (the output's
    // latency included). 0 after an Interrupt, or when nTimeoutMs have passed, which it looks
    // at first and then only when the output wakes it: at least every whole second played,
    // and while paused only on SetPaused, Interrupt or Close. So a wait may outlast nTimeoutMs.
    virtual int WaitDrained(int nTimeoutMs) = 0;

    // Any thread. PCM frames played (heard) since Open or the last Flush.
    virtual std::int64_t GetPlayedFrames() = 0;

    // User-interface thread. Non-zero holds the sound where it is (the buffer is kept and a
    // Write waits); 0 lets it play on.
    virtual void SetPaused(int bPaused) = 0;

    // Any thread. Releases a waiting Write or WaitDrained at once; until the next Flush or
    // Open every Write returns at once without taking anything.
    virtual void Interrupt() = 0;

    // User-interface thread, after the decode thread has ended. Drops what is queued and
    // releases the sound output at once. Closing a closed output does nothing.
    virtual void Close() = 0;

    // User-interface thread, while no decode thread runs. As Open, for PCM in nSampleFormat
    // (PLUGIN_PCM_S16 or PLUGIN_PCM_F32), so that samples wider than 16 bits reach the sound
    // output unchanged. 0 also for an unknown format.
    virtual int OpenFormat(int nSampleRate, int nChannels, int nSampleFormat) = 0;

    // User-interface thread, before Open. The streams this output opens from now on open with
    // ticket (the leader the first follows, their gain), through which the engine learns the
    // stream. Without one they start at once, at gain 1.
    virtual void SetStreamTicket(const AudioStreamTicket& ticket) = 0;

    // User-interface thread, once its decoder has been released. Frees an object made by
    // CreateInstance, closing it first; never called on GetInstance's object.
    virtual void Release() = 0;

protected:
    ~IOutputPlugin() = default;
};

// The decoder's slots, in their fixed order (slots 0 and 7 are reserved and never called).
// All calls come from the user-interface thread.
class IDecoderPlugin
{
public:
    // Slot 0: reserved.
    virtual int Reserved0() = 0;

    // Slot 1: the output that receives the decoded sound from now on. Called once, before
    // any Open. Result ignored.
    virtual int SetOutput(IOutputPlugin* pOutput) = 0;

    // Slot 2: the callback and the value handed back as its third argument. Called before
    // every Open. Result ignored.
    virtual int SetCallback(PluginCallbackProc pfnCallback, std::uint32_t dwUser) = 0;

    // Slot 3: opens the file at pszPath (zero-terminated, in the system code page) and
    // fills *pInfo. Any file still open is closed first. Non-zero on success; 0 for a
    // missing, unreadable, corrupt or non-MPEG file (nothing is then open).
    virtual int Open(const char* pszPath, PluginMediaInfo* pInfo) = 0;

    // Slot 4: ends any playing, without the end callback, and releases the file. The
    // state turns 0. Result ignored.
    virtual int Close() = 0;

    // Slot 5: PLUGIN_STATE_STOPPED, _PLAYING or _PAUSED.
    virtual int GetState() = 0;

    // Slot 6: from state 0, starts playing the open file from its start; the state turns 1
    // at once. 0 when no file is open or the sound output cannot be had.
    virtual int Play() = 0;

    // Slot 7: reserved.
    virtual int Reserved7() = 0;

    // Slot 8: halts and keeps the position; the state turns 2. Result ignored.
    virtual int Pause() = 0;

    // Slot 9: from state 2, continues where it halted; the state turns 1. 0 in any other
    // state.
    virtual int Resume() = 0;

    // Slot 10: moves to nSeconds from the start (clamped to the file); in state 1 or 2
    // only, and the state stays as it was. Result ignored.
    virtual int Seek(std::int32_t nSeconds) = 0;

    // Slot 11: as slot 10, to nMilliseconds from the start (clamped to the file), to the
    // nearest sample the file allows. Result as slot 10: 1 when asked of a playing or paused
    // file, 0 otherwise.
    virtual int SeekMilliseconds(std::int64_t nMilliseconds) = 0;

    // Slot 12: the position heard, in milliseconds from the start of the file, counted from
    // the output's played frames; a seek asked for and not yet carried out reads as its
    // target. 0 when nothing has played since the file was opened.
    virtual std::int64_t GetPositionMilliseconds() = 0;

    // Slot 13: frees an object made by CreateInstance: ends any playing without the end
    // callback (as Close) and releases its file and thread; never called on GetInstance's
    // object. The output given to SetOutput is not released. Result ignored.
    virtual int Release() = 0;

protected:
    ~IDecoderPlugin() = default;
};

// The one export of each library: extern "C" GetInstance(), taking no arguments and
// returning the library's object (IDecoderPlugin* or IOutputPlugin*), valid while the
// library stays loaded; the caller never deletes it. Null means the library has no object.
using DecoderGetInstanceProc = IDecoderPlugin* (*)();
using OutputGetInstanceProc = IOutputPlugin* (*)();
inline constexpr const char* kPluginGetInstance = "GetInstance";

// The one export of each library beyond GetInstance: extern "C" CreateInstance(), a new object
// of the library's interface at every call, independent of every other, so that any number of
// files can be open at once, each on a decoder and an output of its own (a file held to follow
// another without a gap is one more). Null when none can be made. The caller frees it with its
// Release slot while the library is loaded.
inline constexpr const char* kPluginCreateInstance = "CreateInstance";
using DecoderCreateInstanceProc = IDecoderPlugin* (*)();
using OutputCreateInstanceProc = IOutputPlugin* (*)();

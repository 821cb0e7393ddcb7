#pragma once

#include "audio/SoundOutput.h"
#include "media/Mci.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

// One open media device: the play, stop, seek, set and status commands, the notifications and
// the position, common to the waveform, sequencer and CD devices, which supply the medium.
//
// A device's timeline is counted in frames of its own output format. A device decodes on a
// thread of its own into a stream of the sound output (CAudioStream); the output only copies
// the ready frames. The position is the stream's count of frames played since the play
// started; the play ends, and its notification is posted (on the output's service thread),
// once the last frame has been heard. A read that fails ends the play with
// MCI_NOTIFY_FAILURE once what was read before it has been heard, and says why in one line on
// standard error; a waiting play returns the device's read error.
//
// Stop (and pause) only hold the stream: the frames decoded ahead stay queued, so playing on
// loses and repeats nothing. A seek, or a play from elsewhere, flushes them.
//
// Threads: Command may be called from any thread. Commands that change playing are carried
// out one at a time (m_command); status questions only take m_state, which nobody holds
// across a read, an open or a wait, so a position query never waits for a disc or a file.
// The decode thread calls Reposition, Decode, DecodeTail and ReadError, without m_state. The
// other hooks run with m_state held, on a command thread (or, for StatusItem, a monitor),
// except PrepareMedium and SetDoor, which run with m_command only.
// No command waits for a read: Close and a door change wait at most kReadWait for a read in
// progress to return, then leave it to the decode thread. That thread holds the device
// through shared ownership (when a shared_ptr owns it), so a read that returns late touches
// nothing freed; its result is dropped.
class CMciDevice : private IAudioStreamOwner, public std::enable_shared_from_this<CMciDevice>
{
public:
    // How long Close or a door change waits for a read in progress before leaving it to its
    // thread (a scratched disc or a hung network file may never return).
    static constexpr std::chrono::milliseconds kReadWait{20};

    explicit CMciDevice(MCIDEVICEID id)
        : m_nId(id)
    {}
    virtual ~CMciDevice();
    CMciDevice(const CMciDevice&) = delete;
    CMciDevice& operator=(const CMciDevice&) = delete;

    MCIDEVICEID Id() const { return m_nId; }

    // Carries out any command but MCI_OPEN and MCI_CLOSE.
    MCIERROR Command(UINT message, DWORD flags, void* params);
    // Any thread: the streams this device opens from now on open with ticket.
    void SetStreamTicket(AudioStreamTicket ticket);

    // Stops (a notifying play is reported aborted), ends the decode thread and lets the
    // stream go (what a play that ended still has queued, a MIDI file's decay, plays out);
    // every later command answers MCIERR_INVALID_DEVICE_ID. Every derived destructor calls it
    // first, so that the decode thread never runs through a half-destroyed device.
    void Close();

    // Test seam: the next read of any device (its Decode) first waits ms milliseconds, as a
    // drive spinning up does.
    static void StallNextReadForTest(unsigned ms);
    // Test seam: while set, every read of any device waits until it is cleared, as a read of
    // a scratched disc or a hung network file may never return.
    static void BlockReadsForTest(bool bBlock);
    // Test seam: whether a read is being held up by StallNextReadForTest or BlockReadsForTest.
    static bool ReadStalledForTest();
    // Test seam: after the next read that fails, the decode thread waits ms milliseconds
    // once it has queued what was read, before it finishes the play (a slow thread there).
    static void StallAfterFailedReadForTest(unsigned ms);

protected:
    // The frame format the device renders in; fixed once the device is open.
    virtual AudioFormat Format() const = 0;
    // Length of the medium in frames.
    virtual std::uint64_t LengthFrames() const = 0;
    // Decode thread. Moves the decoder so that the next Decode starts at frame. False on
    // failure.
    virtual bool Reposition(std::uint64_t frame) = 0;
    // Decode thread. Decodes up to frames frames from the decoder's position; fewer only on a
    // read failure.
    virtual std::size_t Decode(void* buffer, std::size_t frames) = 0;
    // Decode thread, after a play's last frame: frames that still sound past the end (the
    // release of a synthesizer's notes); 0 once silent. None by default.
    virtual std::size_t DecodeTail(void* /*buffer*/, std::size_t /*frames*/) { return 0; }
    // Decode thread, after Decode gave fewer frames than asked: the error a waiting play
    // returns, and the reason (for standard error, after the device's name).
    virtual MCIERROR ReadError(std::string& reason);
    // The medium's name for messages: its file, drive or image.
    virtual std::string Name() const = 0;
    // How much the device decodes ahead.
    virtual unsigned AheadMs() const { return 1000; }
    // Time formats the device accepts; milliseconds unless overridden.
    virtual bool IsTimeFormatSupported(DWORD format) const;
    // A position given in the current time format, as a frame (MCIERR_OUTOFRANGE when it
    // names no position of the medium).
    virtual MCIERROR ToFrame(DWORD value, std::uint64_t& frame) const;
    // A frame as a position in the current time format.
    virtual DWORD FromFrame(std::uint64_t frame) const;
    // Answers one status item; the base answers length, position, number of tracks, mode,
    // media present, ready, time format and current track for a one-track medium.
    virtual MCIERROR StatusItem(DWORD item, DWORD flags, DWORD track, DWORD_PTR& answer);
    // MCIERR_... when the device cannot play now (a drive without a disc), else 0.
    virtual MCIERROR ReadyToPlay() { return 0; }
    // Where a play that starts at from really starts (the CD skips data tracks).
    virtual std::uint64_t PlayStart(std::uint64_t from) const { return from; }
    // Where a play without MCI_TO ends.
    virtual std::uint64_t PlayEnd() const { return LengthFrames(); }
    // Opens or closes the door, with m_command held but not m_state, after playing has
    // stopped; a read still in progress may go on with the medium it holds (see
    // ReaderOwnsMedium). Unsupported by default.
    virtual MCIERROR SetDoor(bool bOpen);
    // With m_command held but not m_state: whatever a play needs from the drive first (a
    // disc inserted since), so that no lock a status query takes is held across it.
    virtual void PrepareMedium() {}
    // Without any lock, before a status query of item is answered: a look at the drive that
    // must not hold up other queries. Nothing by default.
    virtual void PrepareStatus(DWORD /*item*/) {}
    // Whether a read in progress holds what it reads through shared ownership, so that a
    // door change need not wait for it to return. False by default.
    virtual bool ReaderOwnsMedium() const { return false; }
    // Whether a read may hang (a disc or a file); false for a medium rendered from memory,
    // whose read Close always waits for, so that the next medium finds it free.
    virtual bool ReadsMayHang() const { return true; }

    DWORD TimeFormat() const { return m_nTimeFormat; }
    // The lock that status queries take, for a medium that replaces what they read.
    std::mutex& StateMutex() const { return m_state; }
    // With m_state held: the position now (while playing, what has been heard).
    std::uint64_t Position() const { return PositionLocked(); }
    // Milliseconds and frames of the device's format, each rounded to the nearest, so that
    // a whole number of milliseconds survives the round trip at any rate.
    std::uint64_t MsToFrames(std::uint64_t ms) const;
    DWORD FramesToMs(std::uint64_t frames) const;

private:
    struct Job
    {
        std::uint32_t generation = 0; // the stream's generation it writes
        std::uint64_t from = 0;
        std::uint64_t end = 0;
        bool bActive = false;
    };

    void OnStreamEnded() override;
    void DecodeLoop();
    void Wake();

    MCIERROR Play(DWORD flags, MCI_PLAY_PARMS* params, std::unique_lock<std::mutex>& command);
    MCIERROR Seek(DWORD flags, const MCI_SEEK_PARMS* params);
    MCIERROR Set(DWORD flags, const MCI_SET_PARMS* params);
    MCIERROR Status(DWORD flags, MCI_STATUS_PARMS* params);
    // With m_state held: the position now.
    std::uint64_t PositionLocked() const;
    // With m_state held: stops playing (the stream holds) and reports a pending notification
    // as code.
    void HaltLocked(WPARAM code);
    // With m_state held, after HaltLocked: ends the decode thread's job and drops what it
    // decoded ahead; the stream stays paused until the next play.
    void DropJobLocked();
    // With m_command held, not m_state: halts, drops what was decoded ahead and waits until
    // the decode thread no longer reads (before the medium itself changes); at most
    // kReadWait when the reader owns its medium.
    void StopDecoding();
    // Decode thread: marks a read (Reposition or Decode) in progress, or its end; false at
    // the end when the device was closed meanwhile, so that the result is dropped.
    void BeginRead();
    bool EndRead();
    void Notify(DWORD_PTR callback, WPARAM code);

    const MCIDEVICEID m_nId;
    std::mutex m_command;
    mutable std::mutex m_state;
    std::condition_variable m_ended;         // a play ended (with m_state)
    std::condition_variable m_idle;          // the decode thread went idle (with m_state)
    std::unique_ptr<CAudioStream> m_pStream; // set under m_command and m_state
    AudioStreamTicket m_ticket;              // the terms its streams open on; under m_state
    std::thread m_decoder;
    bool m_bQuit = false;
    bool m_bClosed = false;
    bool m_bPlaying = false;
    bool m_bResumable = false;     // a stopped play whose stream holds the frames that follow
    bool m_bDecoding = false;      // the decode thread works on a job
    bool m_bReading = false;       // the decode thread is in Reposition or Decode
    bool m_bDecoderEnded = false;  // the decode thread has returned
    bool m_bReaderShares = false;  // the decode thread holds the device through a shared_ptr
    std::uint64_t m_nPlays = 0;    // counts plays, so a waiting play knows when it was replaced
    std::uint64_t m_nPos = 0;      // the position while not playing
    std::uint64_t m_nPlayFrom = 0; // the frame the stream's generation starts at
    std::uint64_t m_nEnd = 0;
    Job m_job;
    MCIERROR m_nFailure = 0;    // the read error that ended the current job
    MCIERROR m_nLastResult = 0; // the read error of the last play, for a waiting play
    HWND m_hNotify = 0;         // the window a pending notification goes to
    DWORD m_nTimeFormat = MCI_FORMAT_MILLISECONDS;
};

#pragma once

#include "base/Contract.h"
#include "base/WinTypes.h"
#include "engine/HeldMedium.h"
#include "engine/MediumTypes.h"
#include "engine/PlaybackError.h"
#include "engine/PluginCallback.h"
#include "engine/PluginLibraries.h"
#include "engine/PositionMonitor.h"
#include "media/CueSheet.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <QtGlobal>

// The one object that plays a medium: an audio CD, a MIDI file or a WAV file on a media device
// (CDeviceMedium), a compressed file on a decoder and an output of its own (CPluginMedium).
// It holds the open medium and, beside it, the prepared one, each a HeldMedium.
//
// Threads: every public function runs on the user-interface thread (each asserts it). The
// media's threads (device decoders, plug-in decode threads, the CD position monitor) only
// post notices to the window set with SetNotifyWindow and store single atomic values; none
// calls into this object. The one handshake is the monitor's stop when a CD closes.
//
// Notices: MM_MCINOTIFY when a medium has played to its end (wParam MCI_NOTIFY_SUCCESSFUL) or
// was ended early by a read error (MCI_NOTIFY_FAILURE), and WM_PLAYPOS (wParam the track) when
// the playing CD moves to another track by itself. Stale news: every notice carries in lParam
// the serial of the medium it belongs to, a number given to each medium when it opens and
// never again in the process; a device's notices, posted with its device id, are relayed
// with its medium's serial by a window that goes with the medium. NoticeTarget is the one
// place a notice is judged: it names the open medium (Current), the prepared one (Prepared),
// or anything else (Stale: closed, replaced, or playing again from a later start), which is
// dropped with no effect, whatever device id or plug-in object is in use now.
//
// Gapless follow-on: PrepareNext opens the next medium as any medium is opened, with a stream
// ticket whose leader is the open medium's stream, and starts it; the sound output holds it
// silent until the open medium's end is reached in the mix and starts it in that same pull.
// At the open medium's end notice AdoptPrepared makes it the open medium and the old one
// closes (a MIDI decay plays out). Any kind may follow any kind but the CD. Any command that
// closes, opens or seeks drops it first; a pause keeps it held.
//
// Tracks of a CUE sheet: a track opened with OpenAndPlayTrack plays its span of its file;
// position, length, seeks and title are the track's (position 0 at its INDEX 01). The file
// plays on past the track's end; the caller watches TrackRemainingMs and at the end moves on
// to the next track of the same file (MoveToTrack, no break in the sound) or stops.
//
// Gain: each medium plays at a gain of its own (its loudness normalisation), given to its
// stream through its ticket, so that it changes exactly at the border. 1 multiplies nothing.
class CPlayEngine
{
public:
    // Texts of the message boxes.
    static constexpr const char* kTextInvalidFile = QT_TRANSLATE_NOOP("Sorvane", "無効なファイル");
    static constexpr const char* kTextPluginMissing = kPluginMissingText;
    static constexpr const char* kTextOpenFailed =
        QT_TRANSLATE_NOOP("Sorvane", "MCI機器の初期化に失敗しました");
    static constexpr const char* kTextPlayFailed =
        QT_TRANSLATE_NOOP("Sorvane", "演奏を失敗しました");
    // The title of an audio CD.
    static constexpr const char* kCdTitle = "Audio CD";
    // The code that OpenMedium hands to ShowError when the plug-ins cannot be loaded.
    static constexpr int PLUGIN_MISSING_ERROR = kPluginMissingError;

    CPlayEngine();
    // Closes the media still open (ending the monitor), then releases the plug-in libraries.
    virtual ~CPlayEngine();
    CPlayEngine(const CPlayEngine&) = delete;
    CPlayEngine& operator=(const CPlayEngine&) = delete;

    // Opens the audio CD (MEDIUM_CD, strPath ignored) or the file at strPath (MEDIUM_FILE),
    // closing any open medium first. Sets the kind and the title even when the open fails. 1
    // when opened; 0 after the message box of the failure (none when the decoder refuses the
    // file). fGain is the medium's gain.
    int OpenMedium(const std::string& strPath, MediumSource source, float fGain = 1.0f);
    // Closes the prepared and the open medium (stopping a CD's monitor). Kind and title stay.
    void CloseMedium();
    // OpenMedium(strPath, MEDIUM_FILE) and Play(1), with a message box for either failure. 1
    // when playing.
    int OpenAndPlay(const std::string& strPath, float fGain = 1.0f);
    // The open medium's gain from now on, at once. The prepared medium keeps its own.
    void SetGain(float fGain);

    // Opens track's file and plays it from the track's start, with a message box for any
    // failure; a track starting at or past the file's end is refused as an invalid file. 1
    // when playing.
    int OpenAndPlayTrack(const CueTrack& track, float fGain = 1.0f);
    // The sheet's track that is open; nullptr when a whole file (or nothing) is.
    const CueTrack* GetTrack() const;
    // Milliseconds of the open track still to play before its end (0 once it is reached);
    // nullopt unless a track that ends before its file's end is open.
    std::optional<std::int64_t> TrackRemainingMs();
    // The open track's file plays on into track (of the same file, starting where the open
    // one ends): it becomes the open track, its title the title.
    void MoveToTrack(const CueTrack& track);

    // Starts or resumes. A non-zero nTrack plays an audio CD from the start of that track to
    // the end of the disc, and tells the monitor to let the arrival in that track pass
    // unreported. 0 when nothing is open or the play fails (after its message box).
    int Play(int nTrack);
    // Halts at the current position (a pause for a compressed file). 0 when nothing is open.
    int Stop();
    // Moves to nPercent (0-100) of the length, of the current track on a CD; a device then
    // stands stopped there, a compressed file keeps its state. 0 when nothing is open.
    int SeekPercent(int nPercent);
    // Moves to nMilliseconds from the start (clamped to 0 and the length), of the current
    // track on a CD, as exactly as the medium allows; states as SeekPercent. 0 when nothing
    // is open.
    int SeekMilliseconds(std::int64_t nMilliseconds);

    // Zero-fills *pPos, then fills it for the open medium. 1 when filled, 0 when nothing is
    // open.
    int GetPosition(PlayPosition* pPos);
    // Length in whole seconds: of track nTrack on a CD, of the file otherwise; 0 when
    // nothing is open.
    int GetLengthSeconds(int nTrack);
    // The same length in milliseconds (whole seconds for a compressed file); 0 when nothing
    // is open.
    std::int64_t GetLengthMilliseconds(int nTrack);
    // The media mode (MCI_MODE_STOP, MCI_MODE_PLAY, ...); a compressed file reports
    // MCI_MODE_PLAY while playing and MCI_MODE_STOP otherwise. 0 when nothing is open.
    int GetMode();
    // Opens the CD drive's door. With a CD open it is stopped and closed; otherwise a
    // separate device does it and the open medium plays on. 0 when no CD device opens.
    int Eject();

    std::string GetTitle() const
    {
        SORVANE_EXPECT(OnMainThread());
        return m_strTitle;
    }
    // Any thread.
    DeviceKind GetKind() const { return m_nKind.load(); }
    // The serial of the open medium (what its notices carry); 0 when nothing is open.
    UINT IsOpen() const
    {
        SORVANE_EXPECT(OnMainThread());
        return m_open.pMedium != nullptr ? m_open.nSerial : 0;
    }
    int GetTrackCount() const;
    // The track Play was last asked for, whose arrival is to pass unreported; 0 when none.
    // Set by Play with a track, cleared by the monitor once that track is the current one
    // (at once when it already was), so that the next change after it is reported.
    int GetSkipTrackMsg() const { return m_pWatch->nSkipTrack.load(); }
    void SetNotifyWindow(HWND hWnd);

    // Shows the error text of an MCI error code, or kTextPluginMissing for
    // PLUGIN_MISSING_ERROR, in a message box. Returns 0.
    int ShowError(int nCode) { return ShowPlaybackError(nCode); }
    // The kind of a file from the text after the last full stop of strPath (all of it when
    // there is none), as the table of MediaFormats says; DEVICE_NONE for any other.
    static DeviceKind KindFromExtension(std::string_view strPath);
    // Loads the MPEG audio decoder library and the output library (kept from then on). 1
    // when both are there and give objects; 0 otherwise.
    int LoadPlugins();

    // What a notice names (see Stale news above).
    enum class Notice {
        Stale,    // a medium no longer open, or a state since left: ignore it
        Current,  // the open medium
        Prepared, // the prepared medium, whose own end came before the open medium's
    };
    // lParam of an MM_MCINOTIFY or a WM_PLAYPOS: the serial of the medium it belongs to.
    Notice NoticeTarget(LPARAM lParam);

    // Prepares the file strPath to follow the open medium without a gap (dropping one
    // prepared before). Only while a file is open; quietly 0, with nothing prepared, when it
    // cannot be (the CD, an unknown kind, a file that does not open or play). Its failures are
    // shown when it is played the usual way. With track, strPath is the queue's entry and
    // track's file is prepared, only when the track starts at the file's start.
    int PrepareNext(const std::string& strPath, float fGain = 1.0f,
                    const std::optional<CueTrack>& track = {});
    // Closes the prepared medium, if any.
    void DropPrepared();
    // The entry of the prepared medium; empty when none.
    const std::string& PreparedPath() const
    {
        SORVANE_EXPECT(OnMainThread());
        return m_prepared.strEntry;
    }
    // The gain the prepared medium plays at.
    float PreparedGain() const
    {
        SORVANE_EXPECT(OnMainThread());
        return m_prepared.Gain();
    }
    // The stream of the open medium (of the prepared one with bPrepared); empty when none.
    AudioStreamRef Stream(bool bPrepared = false) const;
    // The prepared medium, which the open one's end has started, becomes the open medium (the
    // old one closes, letting a decay play out): kind and title follow. 0 when none.
    int AdoptPrepared();

    // Tests only: look for the plug-in libraries in strDirectory alone (empty restores the
    // normal search).
    void SetPluginDirectory(std::string strDirectory);
    // Tests only: CD monitors started from now on read the track through readTrack, and
    // closing a CD waits stopTimeout for their acknowledgement.
    void SetMonitorReader(CPositionMonitor::TrackReader readTrack,
                          std::chrono::milliseconds stopTimeout);

private:
    // Opens file as a medium of kind whose stream opens with ticket, under a new serial. A
    // value holding nothing, with nError set, when it does not open.
    HeldMedium OpenHeld(const std::string& file, DeviceKind kind, AudioStreamTicket ticket,
                        int& nError);
    // Play's work from nStartMs of the medium (the current position when negative).
    int PlayFrom(int nTrack, std::int64_t nStartMs);
    // The open track's length; the file's length minus its start for the last.
    std::int64_t TrackLengthMs();
    // The file position of the open medium in milliseconds.
    std::int64_t FilePositionMs();

    CPluginLibraries m_libraries; // outlives the media, which hold objects it made
    std::shared_ptr<TrackWatch> m_pWatch;
    HeldMedium m_open;
    HeldMedium m_prepared;
    std::string m_strTitle;
    std::atomic<DeviceKind> m_nKind{DEVICE_MIDI};
    CPositionMonitor::TrackReader m_readTrackForTests;
    std::chrono::milliseconds m_monitorStopTimeout = CPositionMonitor::kMonitorStopTimeoutMs;
};

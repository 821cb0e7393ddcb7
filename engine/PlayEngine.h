#pragma once

#include "base/WinTypes.h"
#include "engine/DeviceBackend.h"
#include "engine/MediumTypes.h"
#include "engine/PlaybackError.h"
#include "engine/PluginBackend.h"
#include "engine/PluginCallback.h"
#include "engine/PositionMonitor.h"
#include "media/CueSheet.h"

#include <atomic>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>

#include <QtGlobal>

// The one object that plays a medium: an audio CD, a MIDI file or a WAV file through the
// media devices, a compressed file through a decoder plug-in library (the one that the table
// of MediaFormats names for its extension) and the output plug-in. It picks
// the back end when it opens a medium and forwards every operation on it there.
//
// Threads: every operation runs on the user-interface thread. The CD position monitor and
// the decoder run threads of their own; they only post messages and read or store single
// atomic values, and neither calls back into this object. The one handshake is the
// monitor's stop in CloseMedium.
//
// Notifications go to the window set with SetNotifyWindow: MM_MCINOTIFY when a medium has
// played to its end (from the media device, or from the plug-in callback with wParam
// MCI_NOTIFY_SUCCESSFUL and lParam 0) or was ended early by a read error (wParam
// MCI_NOTIFY_FAILURE), and WM_PLAYPOS from the monitor when the playing CD moves to another
// track by itself.
//
// Stale notices. A notice is posted on another thread and handled later, when what it speaks
// of may have been closed, replaced or moved. It is acted on only when NoticeTarget (or, for a
// track change, the CD's own position) says it still names the open or the prepared medium:
// a device's end names that device's id, which stays unique while the device is open; a
// plug-in back end's end (lParam 0, or kPluginPeerNotice from the peer back end) names the
// compressed file open there only while its decoder no longer plays it; the plug-in's follow-on
// (lParam kPluginNextNotice) names a chained file only while it is still the prepared one and the
// decoder says it has been heard. Anything else is stale and dropped, with no effect.
//
// Gapless follow-on. Beside the open medium the engine may hold one prepared medium (a MIDI,
// WAV or compressed file; never the CD): opened and started, but held silent by the sound
// output until the open medium's end is reached in the mix, where it starts in the same
// pull. A compressed file after a compressed file is chained inside the decoder when it
// offers that and the rate is the same; otherwise it is held on the other plug-in back end.
// When the open medium's end notice comes, AdoptPrepared makes it the open medium. Any
// command that closes, opens or seeks drops it first; a pause keeps it held.
//
// Tracks of a CUE sheet. A track opened with OpenAndPlayTrack plays its span of its file:
// position, length, seeks and title are the track's (position 0 at its INDEX 01). The file
// itself plays on past the track's end; the caller watches TrackRemainingMs and at the end
// either moves on to the next track of the same file (MoveToTrack, no break in the sound)
// or stops.
//
// Gain. Each medium plays at a gain of its own (its loudness normalisation, chosen by the
// caller), applied to its stream where the sound output mixes, so that it changes exactly at
// the border with the stream. A file chained into the open file's stream must share its gain;
// one with another gain is held on the other plug-in back end instead. 1 multiplies nothing.
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

    CPlayEngine() = default;
    // Closes a medium still open (ending the monitor), then releases the plug-in libraries.
    virtual ~CPlayEngine();
    CPlayEngine(const CPlayEngine&) = delete;
    CPlayEngine& operator=(const CPlayEngine&) = delete;

    // Opens the audio CD (MEDIUM_CD, strPath ignored) or the file at strPath (MEDIUM_FILE).
    // The caller has closed any open medium first. Sets the kind and the title even when the
    // open fails. Returns 1 when opened; 0 after the message box of the failure (none when
    // the decoder refuses the file).
    // fGain is the medium's gain (see Gain above).
    int OpenMedium(const std::string& strPath, MediumSource source, float fGain = 1.0f);
    // Stops the monitor, then closes the device or the plug-in medium. Kind and title stay.
    void CloseMedium();
    // OpenMedium(strPath, MEDIUM_FILE) and Play(1), with a message box for either failure. 1
    // when playing.
    int OpenAndPlay(const std::string& strPath, float fGain = 1.0f);
    // The open medium's gain from now on: its stream's at once, and the stream of its next
    // play. The prepared medium keeps its own.
    void SetGain(float fGain);
    // The open medium's gain.
    float GetGain() const { return m_fGain; }

    // Opens track's file and plays it from the track's start, with a message box for any
    // failure; a track starting at or past the file's end is refused as an invalid file. 1
    // when playing.
    int OpenAndPlayTrack(const CueTrack& track, float fGain = 1.0f);
    // The sheet's track that is open; nullptr when a whole file (or nothing) is.
    const CueTrack* GetTrack() const { return m_track ? &*m_track : nullptr; }
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
    // Halts at the current position (a pause on the plug-in path). 0 when nothing is open.
    int Stop();
    // Moves to nPercent (0-100) of the length, of the current track on a CD; a device then
    // stands stopped there, the plug-in keeps its state. 0 when nothing is open.
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

    std::string GetTitle() const { return m_strTitle; }
    DeviceKind GetKind() const { return m_nKind.load(); }
    // The device id of the open medium (1 for a compressed file); 0 when nothing is open.
    UINT IsOpen() const { return m_pBackend != nullptr ? m_pBackend->DeviceId() : 0; }
    int GetTrackCount() const { return IsOpen() != 0 ? m_pBackend->GetTrackCount() : 0; }
    // The track Play was last asked for, whose arrival is to pass unreported; 0 when none.
    // Set by Play with a track, cleared by the monitor once that track is the current one
    // (at once when it already was), so that the next change after it is reported.
    int GetSkipTrackMsg() const { return m_devices.GetSkipTrack(); }
    void SetNotifyWindow(HWND hWnd);

    // Shows the error text of an MCI error code, or kTextPluginMissing for
    // PLUGIN_MISSING_ERROR, in a message box. Returns 0.
    int ShowError(int nCode) { return ShowPlaybackError(nCode); }
    // The kind of a file from the text after the last full stop of strPath (all of it when
    // there is none), as the table of MediaFormats says; DEVICE_NONE for any other.
    static DeviceKind KindFromExtension(std::string_view strPath);
    // Loads both plug-in libraries and takes their objects. 1 when both exist; 0 when
    // either library, its export or its object is missing. While a compressed file is open
    // the libraries in use are kept and the result is 1.
    int LoadPlugins() { return m_pPlugins->LoadPlugins(); }

    // What a notice names (see Stale notices above).
    enum class Notice {
        Stale,    // a medium no longer open, or a state since left: ignore it
        Current,  // the open medium's end
        Prepared, // the prepared medium's own end, which came before the open medium's
    };
    // lParam of an MM_MCINOTIFY: a device id, or a plug-in notice (0, kPluginNextNotice,
    // kPluginPeerNotice).
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
    // The path (or entry) of the prepared medium; empty when none.
    const std::string& PreparedPath() const { return m_strPreparedPath; }
    // The gain the prepared medium plays at.
    float PreparedGain() const { return m_fPreparedGain; }
    // Whether the prepared medium has begun to sound where the open one ended: always for a
    // medium held behind the open one's stream; for a chained file, once the decoder says so
    // (one queued too late, after the decoder had finished, never begins).
    bool PreparedBegan();
    // The prepared medium, which the open one's end has started, becomes the open medium (the
    // old one closes, letting a decay play out): kind and title follow. 0 when none.
    int AdoptPrepared();

    // Tests only: look for the plug-in libraries in strDirectory alone (empty restores the
    // normal search).
    void SetPluginDirectory(std::string strDirectory)
    {
        m_plugins.SetPluginDirectory(strDirectory);
        m_peerPlugins.SetPluginDirectory(std::move(strDirectory));
    }
    // Tests only: CD monitors started from now on read the track through readTrack, and
    // CloseMedium waits stopTimeout for their acknowledgement.
    void SetMonitorReader(CPositionMonitor::TrackReader readTrack,
                          std::chrono::milliseconds stopTimeout)
    {
        m_devices.SetMonitorReader(std::move(readTrack), stopTimeout);
    }

private:
    // The back end that plays kind; nullptr for DEVICE_NONE.
    IPlaybackBackend* BackendFor(DeviceKind kind);

    // Play's work from nStartMs of the medium (the current position when negative).
    int PlayFrom(int nTrack, std::int64_t nStartMs);
    // The open track's length; the file's length minus its start for the last.
    std::int64_t TrackLengthMs();
    // The file position of the open medium in milliseconds.
    std::int64_t FilePositionMs();

    // The other plug-in back end than m_pPlugins.
    CPluginBackend* OtherPlugins()
    {
        return m_pPlugins == &m_plugins ? &m_peerPlugins : &m_plugins;
    }

    // Two plug-in back ends, so that a compressed file can be prepared behind another that
    // its decoder cannot chain: the open compressed medium's (or the next one's) is
    // m_pPlugins; a file prepared on the other is m_pPreparedPlugins until adopted.
    CPluginBackend m_plugins;
    CPluginBackend m_peerPlugins{true};
    CPluginBackend* m_pPlugins = &m_plugins;
    CPluginBackend* m_pPreparedPlugins = nullptr;
    CDeviceBackend m_devices;
    IPlaybackBackend* m_pBackend = nullptr; // of the medium last opened; nullptr before
    // The stream the open medium plays into, which a prepared medium follows.
    AudioStreamRef m_leader;
    // The prepared medium: its path (empty when none), kind, device id (0 for the plug-in)
    // and stream.
    std::string m_strPreparedPath;
    DeviceKind m_nPreparedKind = DEVICE_NONE;
    UINT m_nPreparedDevice = 0;
    bool m_bPreparedChained = false; // queued in the decoder behind the open compressed file
    AudioStreamRef m_preparedStream;
    std::optional<CueTrack> m_preparedTrack;
    std::optional<CueTrack> m_track; // the sheet's track that is open, if any
    float m_fGain = 1.0f;            // of the open medium
    float m_fPreparedGain = 1.0f;    // of the prepared medium
    std::string m_strTitle;
    std::atomic<DeviceKind> m_nKind{DEVICE_MIDI};
};

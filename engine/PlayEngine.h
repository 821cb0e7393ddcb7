#pragma once

#include "base/WinTypes.h"
#include "engine/DeviceBackend.h"
#include "engine/MediumTypes.h"
#include "engine/PlaybackError.h"
#include "engine/PluginBackend.h"
#include "engine/PluginCallback.h"
#include "engine/PositionMonitor.h"

#include <atomic>
#include <chrono>
#include <string>
#include <string_view>

#include <QtGlobal>

// The one object that plays a medium: an audio CD, a MIDI file or a WAV file through the
// media devices, a compressed MPEG audio file through the two plug-in libraries. It picks
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
    int OpenMedium(const std::string& strPath, MediumSource source);
    // Stops the monitor, then closes the device or the plug-in medium. Kind and title stay.
    void CloseMedium();
    // OpenMedium(strPath, MEDIUM_FILE) and Play(1), with a message box for either failure. 1
    // when playing.
    int OpenAndPlay(const std::string& strPath);

    // Starts or resumes. A non-zero nTrack plays an audio CD from the start of that track to
    // the end of the disc, and tells the monitor to let the arrival in that track pass
    // unreported. 0 when nothing is open or the play fails (after its message box).
    int Play(int nTrack);
    // Halts at the current position (a pause on the plug-in path). 0 when nothing is open.
    int Stop();
    // Moves to nPercent (0-100) of the length, of the current track on a CD; a device then
    // stands stopped there, the plug-in keeps its state. 0 when nothing is open.
    int SeekPercent(int nPercent);

    // Zero-fills *pPos, then fills it for the open medium. 1 when filled, 0 when nothing is
    // open.
    int GetPosition(PlayPosition* pPos);
    // Length in whole seconds: of track nTrack on a CD, of the file otherwise; 0 when
    // nothing is open.
    int GetLengthSeconds(int nTrack);
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
    // there is none): MID, WAV, MP3, MP2 and MP in any case; DEVICE_NONE otherwise.
    static DeviceKind KindFromExtension(std::string_view strPath);
    // Loads both plug-in libraries and takes their objects. 1 when both exist; 0 when
    // either library, its export or its object is missing. While a compressed file is open
    // the libraries in use are kept and the result is 1.
    int LoadPlugins() { return m_plugins.LoadPlugins(); }

    // Tests only: look for the plug-in libraries in strDirectory alone (empty restores the
    // normal search).
    void SetPluginDirectory(std::string strDirectory)
    {
        m_plugins.SetPluginDirectory(std::move(strDirectory));
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

    CPluginBackend m_plugins;
    CDeviceBackend m_devices;
    IPlaybackBackend* m_pBackend = nullptr; // of the medium last opened; nullptr before
    std::string m_strTitle;
    std::atomic<DeviceKind> m_nKind{DEVICE_MIDI};
};

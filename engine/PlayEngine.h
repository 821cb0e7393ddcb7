#pragma once

#include "base/WinTypes.h"
#include "pluginapi/PluginInterface.h"

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

// The one object that plays a medium: an audio CD, a MIDI file or a WAV file through the
// media devices, a compressed MPEG audio file through the two plug-in libraries.
//
// Threads: every operation runs on the user-interface thread, except GetPosition, which
// the CD position monitor also calls, and PluginCallback, which the decoder calls on its
// own thread. The monitor and the callback only read single atomic values, exchange the
// skip flag, and post messages. The one handshake is the monitor's stop in CloseMedium.
//
// Notifications go to the window set with SetNotifyWindow: MM_MCINOTIFY when a medium has
// played to its end (from the media device, or from the plug-in callback with wParam
// MCI_NOTIFY_SUCCESSFUL and lParam 0) or was ended early by a read error (wParam
// MCI_NOTIFY_FAILURE), and WM_PLAYPOS from the monitor when the playing CD moves to another
// track by itself.

// What a medium is, chosen from its file extension.
enum DeviceKind : std::int32_t {
    DEVICE_NONE = -1,   // not playable
    DEVICE_CDAUDIO = 0, // audio CD
    DEVICE_MIDI = 1,    // MIDI file, sequencer device
    DEVICE_WAVE = 2,    // WAV file, waveform-audio device
    DEVICE_PLUGIN = 3,  // compressed MPEG audio, the plug-ins
};

// A play position. A CD fills track, minutes and seconds within the track and frames within
// the second; MIDI and WAV fill minutes and seconds and, in milliseconds, the whole position
// (not the remainder); a compressed file fills minutes and seconds only.
struct PlayPosition
{
    std::int32_t nTrack;
    std::int32_t nMinutes;
    std::int32_t nSeconds;
    std::int32_t nMilliseconds;
    std::int32_t nFrames;
};

// The elapsed playing time in whole seconds that the decoder last reported. Written only by
// PluginCallback (one 32-bit store), read on any thread; opening or closing a medium does
// not reset it.
extern std::atomic<std::int32_t> g_nPluginElapsed;

// Registered with the decoder. Type PLUGIN_CALLBACK_END posts MM_MCINOTIFY to the window
// dwWindow with MCI_NOTIFY_SUCCESSFUL and lParam 0; PLUGIN_CALLBACK_FAILED posts MM_MCINOTIFY with
// MCI_NOTIFY_FAILURE and lParam 0; type PLUGIN_CALLBACK_ELAPSED stores nValue in g_nPluginElapsed;
// other types do nothing. Returns 0. Safe on any thread.
int PluginCallback(int nType, int nValue, std::uint32_t dwWindow);

class CPlayEngine
{
public:
    // Texts of the message boxes.
    static constexpr const char* kTextInvalidFile = "無効なファイル";
    static constexpr const char* kTextPluginMissing = "プラグインが見つかりません";
    static constexpr const char* kTextOpenFailed = "MCI機器の初期化に失敗しました";
    static constexpr const char* kTextPlayFailed = "演奏を失敗しました";
    // The title of an audio CD.
    static constexpr const char* kCdTitle = "Audio CD";
    // The code that OpenMedium hands to ShowError when the plug-ins cannot be loaded.
    static constexpr int PLUGIN_MISSING_ERROR = 0xFFFF;
    // How often the CD position monitor looks at the disc's track, and its thread's name.
    static constexpr DWORD kMonitorPollMs = 40;
    static constexpr const char* kMonitorThreadName = "sorvane-monitor";
    // Longest wait for the monitor's acknowledgement of its stop message.
    static constexpr DWORD kMonitorStopWaitMs = 3000;
    // After starting the decoder, Play polls its state this often, this far apart.
    static constexpr int kPluginStartPolls = 30;
    static constexpr DWORD kPluginStartPollMs = 10;
    // Sleep after pausing the decoder.
    static constexpr DWORD kPluginPauseSettleMs = 10;
    // The plug-in libraries.
    static constexpr const char* kDecoderLibrary = "Dekoda.dll";
    static constexpr const char* kOutputLibrary = "Voxout.dll";
    // Length in bytes of an error text, terminator included.
    static constexpr int kErrorTextSize = 256;

    CPlayEngine();
    // Closes a medium still open (ending the monitor), then releases the plug-in libraries
    // and the monitor event.
    virtual ~CPlayEngine();
    CPlayEngine(const CPlayEngine&) = delete;
    CPlayEngine& operator=(const CPlayEngine&) = delete;

    // Opens the audio CD (bIsFile 0, strPath ignored) or the file at strPath. The caller has
    // closed any open medium first. Sets the kind and the title even when the open fails.
    // Returns 1 when opened; 0 after the message box of the failure (none when the decoder
    // refuses the file).
    int OpenMedium(const std::string& strPath, int bIsFile);
    // Stops the monitor, then closes the device or the plug-in medium. Kind and title stay.
    void CloseMedium();
    // OpenMedium(strPath, 1) and Play(1), with a message box for either failure. 1 when
    // playing.
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
    // open. Also called on the monitor thread.
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
    UINT IsOpen() const { return m_nDeviceId.load(); }
    int GetTrackCount() const { return m_nTrackCount; }
    // The track Play was last asked for, whose arrival is to pass unreported; 0 when none.
    // Set by Play with a track, cleared by the monitor once that track is the current one
    // (at once when it already was), so that the next change after it is reported.
    int GetSkipTrackMsg() const { return m_nSkipTrack.load(); }
    void SetNotifyWindow(HWND hWnd) { m_hNotifyWnd.store(hWnd); }

    // Shows the error text of an MCI error code, or kTextPluginMissing for
    // PLUGIN_MISSING_ERROR, in a message box. Returns 0.
    int ShowError(int nCode);
    // The kind of a file from the text after the last full stop of strPath (all of it when
    // there is none): MID, WAV, MP3, MP2 and MP in any case; DEVICE_NONE otherwise.
    static DeviceKind KindFromExtension(std::string_view strPath);
    // Loads both plug-in libraries and takes their objects. 1 when both exist; 0 when
    // either library, its export or its object is missing. While a compressed file is open
    // the libraries in use are kept and the result is 1.
    int LoadPlugins();

    // Tests only: look for the plug-in libraries in strDirectory alone (empty restores the
    // normal search).
    void SetPluginDirectory(std::string strDirectory) { m_strPluginDir = std::move(strDirectory); }

private:
    friend unsigned MonitorThreadProc(void* pParam);

    int OpenPluginMedium(const std::string& strPath);
    int OpenDeviceMedium(const std::string& strPath);
    int PlayPlugin();
    void StopMonitor();
    void FreePlugins();

    int m_nTrackCount = 0;
    std::atomic<int> m_nSkipTrack{0};
    DWORD m_dwMonitorThread = 0; // worker id of the running monitor; 0 when none runs
    DWORD m_dwLastMonitor = 0;   // the last monitor started, awaited once more at destruction
    HANDLE m_hMonitorEvent = 0;
    void* m_hDecoderLib = nullptr;
    void* m_hOutputLib = nullptr;
    PluginMediaInfo m_pluginInfo{};
    IDecoderPlugin* m_pDecoder = nullptr;
    IOutputPlugin* m_pOutput = nullptr;
    std::string m_strTitle;
    std::string m_strPath; // the file last opened; the CD's drive or image for a CD
    std::atomic<DeviceKind> m_nKind{DEVICE_MIDI};
    std::atomic<HWND> m_hNotifyWnd{0};
    std::atomic<UINT> m_nDeviceId{0};
    std::string m_strPluginDir;
};

// The CD position monitor's thread function; pParam is the engine. Polls the CD's track
// every 40 ms and posts WM_PLAYPOS to the engine's notify window when it changes by itself.
// Its first reading is where the disc stands, not a change, and reaching the track Play
// asked for is never a change, however late either poll comes;
// ends, signalling the event handle in the message's wParam, at the first message in its
// mailbox. Returns 0.
unsigned MonitorThreadProc(void* pParam);

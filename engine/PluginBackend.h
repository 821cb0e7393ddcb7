#pragma once

#include "engine/PlaybackBackend.h"
#include "pluginapi/PluginInterface.h"

#include <chrono>
#include <string>

// Compressed MPEG audio through the two plug-in libraries, loaded with dlopen on the first
// compressed file and kept until this object goes. The decoder reports on its own thread
// through PluginCallback. Threads as IPlaybackBackend.
class CPluginBackend final : public IPlaybackBackend
{
public:
    // The plug-in libraries.
    static constexpr const char* kDecoderLibrary = "Dekoda.dll";
    static constexpr const char* kOutputLibrary = "Voxout.dll";
    // After starting the decoder, Play polls its state this often, this far apart.
    static constexpr int kPluginStartPolls = 30;
    static constexpr std::chrono::milliseconds kPluginStartPollMs{10};
    // Sleep after pausing the decoder.
    static constexpr std::chrono::milliseconds kPluginPauseSettleMs{10};

    CPluginBackend() = default;
    // Closes a medium still open, then releases the libraries.
    ~CPluginBackend() override;
    CPluginBackend(const CPluginBackend&) = delete;
    CPluginBackend& operator=(const CPluginBackend&) = delete;

    void SetNotifyWindow(HWND hWnd) override { m_hNotifyWnd = hWnd; }
    // Loads the plug-ins first when either object is missing; kPluginMissingError's message
    // box when that fails.
    int Open(const std::string& strPath, DeviceKind kind) override;
    void Close() override;
    UINT DeviceId() const override { return m_bOpen ? 1U : 0U; }
    // nTrack is not used. Waits up to kPluginStartPolls polls for the decoder to play.
    int Play(int nTrack) override;
    // Pauses the decoder (unless it stands stopped).
    int Stop() override;
    // Seeks only while the decoder plays or pauses; it keeps its state.
    int SeekPercent(int nPercent) override;
    // As SeekPercent, to the millisecond through the decoder's millisecond seek.
    int SeekMilliseconds(std::int64_t nMilliseconds) override;
    // The decoder's position heard (from the output's played frames), in milliseconds and
    // as minutes and seconds.
    void GetPosition(PlayPosition& pos) override;
    // The decoder's length of the file; nTrack is not used.
    int GetLengthSeconds(int nTrack) override;
    std::int64_t GetLengthMilliseconds(int nTrack) override;
    // MCI_MODE_PLAY while the decoder plays, MCI_MODE_STOP otherwise (paused too).
    int GetMode() override;
    int GetTrackCount() const override { return 0; }
    int OpenDiscDoor() override { return 0; }

    // Loads both plug-in libraries and takes their objects. 1 when both exist; 0 when
    // either library, its export or its object is missing. While a file is open the
    // libraries in use are kept and the result is 1.
    int LoadPlugins();
    // Look for the plug-in libraries in strDirectory alone (empty: the normal search).
    void SetPluginDirectory(std::string strDirectory) { m_strPluginDir = std::move(strDirectory); }

private:
    void FreePlugins();

    bool m_bOpen = false;
    HWND m_hNotifyWnd = 0;
    void* m_hDecoderLib = nullptr;
    void* m_hOutputLib = nullptr;
    PluginMediaInfo m_pluginInfo{};
    IDecoderPlugin* m_pDecoder = nullptr;
    IOutputPlugin* m_pOutput = nullptr;
    std::string m_strPluginDir;
};

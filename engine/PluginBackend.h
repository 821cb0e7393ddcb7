#pragma once

#include "audio/SoundOutput.h"
#include "engine/MediaFormats.h"
#include "engine/PlaybackBackend.h"
#include "pluginapi/PluginInterface.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

// Compressed audio through the plug-in libraries: the output library and, for each file, the
// decoder library that the table of MediaFormats names for its extension. Each is loaded with
// dlopen on the first file that needs it and kept until this object goes. The decoder reports
// on its own thread through PluginCallback. Threads as IPlaybackBackend.
//
// The engine has two: the first, and a peer built on the libraries' peer objects (a second
// decoder of each library and a second output), on which a compressed file is prepared to
// follow one playing on the first without a gap, and the other way round. The two share the
// loaded libraries (dlopen counts them) and nothing else; the peer's end notices carry
// kPluginPeerNotice instead of 0.
class CPluginBackend final : public IPlaybackBackend
{
public:
    // The plug-in libraries: the MPEG audio decoder and the output.
    static constexpr const char* kDecoderLibrary = kMpegDecoderLibrary;
    static constexpr const char* kOutputLibrary = "Voxout.dll";
    // After starting the decoder, Play polls its state this often, this far apart.
    static constexpr int kPluginStartPolls = 30;
    static constexpr std::chrono::milliseconds kPluginStartPollMs{10};
    // Sleep after pausing the decoder.
    static constexpr std::chrono::milliseconds kPluginPauseSettleMs{10};

    // bPeer: the libraries' peer objects (kPluginGetPeer) instead of their first ones.
    explicit CPluginBackend(bool bPeer = false)
        : m_bPeer(bPeer)
    {}
    // Closes a medium still open, then releases the libraries.
    ~CPluginBackend() override;
    CPluginBackend(const CPluginBackend&) = delete;
    CPluginBackend& operator=(const CPluginBackend&) = delete;

    void SetNotifyWindow(HWND hWnd) override { m_hNotifyWnd = hWnd; }
    // Loads the file's decoder and the output first when either object is missing;
    // kPluginMissingError's message box when that fails.
    int Open(const std::string& strPath, DeviceKind kind) override;
    void Close() override;
    UINT DeviceId() const override { return m_bOpen ? 1U : 0U; }
    // nTrack is not used. Waits up to kPluginStartPolls polls for the decoder to play.
    int Play(int nTrack) override;
    // As Play, from nMilliseconds of the file: the seek is asked at once after the decoder
    // starts, before its thread writes, so that nothing before that point is heard.
    int PlayFrom(std::int64_t nMilliseconds);
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
    // The lParam of this back end's end and failure notices: 0, or kPluginPeerNotice.
    LPARAM EndNotice() const;

    // Gapless follow-on, while nothing is open here: opens strPath and starts it held behind
    // leader (CAudioFollowOn), without message boxes. 1 when it plays held; 0, with nothing
    // left open, otherwise.
    int OpenFollowing(const std::string& strPath, const AudioStreamRef& leader);

    // Gapless chaining through the decoder's IDecoderChain, while a file is open here: queues
    // strPath to play straight after it. 0 when strPath needs another decoder, or the open
    // file's decoder offers no chaining or refuses it.
    int ChainNext(const std::string& strPath);
    // Drops (or takes back) the chained file.
    void DropChained();
    // Whether the chained file has begun to be heard.
    bool ChainedHeard();
    // The chained file has begun to be heard: its length is the open file's from now on.
    void AdoptChained() { m_pluginInfo = m_chainedInfo; }

    // Loads the decoder library strDecoder (the MPEG audio one by default) and the output
    // library, and takes their objects. 1 when both exist; 0 when either library, its export
    // or its object is missing. While a file is open the libraries in use are kept and the
    // result is 1.
    int LoadPlugins(std::string_view strDecoder = kDecoderLibrary);
    // Look for the plug-in libraries in strDirectory alone (empty: the normal search).
    void SetPluginDirectory(std::string strDirectory) { m_strPluginDir = std::move(strDirectory); }

private:
    // A decoder library and its object; a null object when its load failed.
    struct Decoder
    {
        std::string strName;
        void* hLib = nullptr;
        IDecoderPlugin* pDecoder = nullptr;
        IDecoderChain* pChain = nullptr; // null when the decoder offers no chaining
    };
    // The decoder that plays strPath (by the table of MediaFormats), loaded when it is not
    // yet; null, without a message box, when it or the output is missing.
    Decoder* DecoderFor(const std::string& strPath);
    // Opens strPath with decoder, which becomes the open file's; 1 when it opened.
    int OpenWith(const Decoder& decoder, const std::string& strPath);
    Decoder* FindDecoder(std::string_view strName);
    void FreeDecoder(std::string_view strName);
    void FreePlugins();

    const bool m_bPeer = false;
    bool m_bOpen = false;
    HWND m_hNotifyWnd = 0;
    std::vector<Decoder> m_decoders;
    void* m_hOutputLib = nullptr;
    PluginMediaInfo m_pluginInfo{};
    IDecoderPlugin* m_pDecoder = nullptr; // of the open file, else of the last one loaded
    IOutputPlugin* m_pOutput = nullptr;
    IDecoderChain* m_pChain = nullptr; // the open file's decoder's; null when it offers none
    PluginMediaInfo m_chainedInfo{};
    std::string m_strPluginDir;
};

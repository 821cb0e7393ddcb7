#include "engine/PluginBackend.h"

#include "engine/PlaybackError.h"
#include "engine/PluginCallback.h"
#include "engine/PluginLibrary.h"
#include "media/Mci.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <thread>

namespace {

// The decoder library that the table of MediaFormats names for strPath's extension.
std::string_view DecoderNameFor(const std::string& strPath)
{
    const MediaFormat* format = FindMediaFormat(strPath);
    return format != nullptr && format->pszDecoder != nullptr
               ? std::string_view(format->pszDecoder)
               : std::string_view(CPluginBackend::kDecoderLibrary);
}

} // namespace

CPluginBackend::~CPluginBackend()
{
    // The decoder object lives in its library, so the file closes before the library goes.
    Close();
    FreePlugins();
}

CPluginBackend::Decoder* CPluginBackend::DecoderFor(const std::string& strPath)
{
    const std::string_view name = DecoderNameFor(strPath);
    Decoder* decoder = FindDecoder(name);
    if (decoder == nullptr || decoder->pDecoder == nullptr || m_pOutput == nullptr) {
        decoder = LoadPlugins(name) != 0 ? FindDecoder(name) : nullptr;
    }
    if (decoder == nullptr || decoder->pDecoder == nullptr || m_pOutput == nullptr) {
        return nullptr;
    }
    return decoder;
}

int CPluginBackend::Open(const std::string& strPath, DeviceKind)
{
    const Decoder* decoder = DecoderFor(strPath);
    if (decoder == nullptr) {
        ShowPlaybackError(kPluginMissingError);
        return 0;
    }
    return OpenWith(*decoder, strPath);
}

int CPluginBackend::OpenWith(const Decoder& decoder, const std::string& strPath)
{
    m_pDecoder = decoder.pDecoder;
    m_pChain = decoder.pChain;
    m_pDecoder->SetCallback(m_bPeer ? PeerPluginCallback : PluginCallback, m_hNotifyWnd);
    if (m_pDecoder->Open(strPath.c_str(), &m_pluginInfo) == 0) {
        return 0;
    }
    m_bOpen = true;
    return 1;
}

int CPluginBackend::OpenFollowing(const std::string& strPath, const AudioStreamRef& leader)
{
    if (m_bOpen) {
        return 0;
    }
    const Decoder* decoder = DecoderFor(strPath);
    if (decoder == nullptr) {
        return 0;
    }
    if (OpenWith(*decoder, strPath) == 0) {
        return 0;
    }
    int bPlaying = 0;
    {
        // The output's stream opens in the decoder's Play, on this thread.
        const CAudioFollowOn followOn(leader);
        bPlaying = m_pDecoder->Play();
    }
    if (bPlaying == 0) {
        Close();
        return 0;
    }
    return 1;
}

LPARAM CPluginBackend::EndNotice() const
{
    return m_bPeer ? kPluginPeerNotice : 0;
}

int CPluginBackend::ChainNext(const std::string& strPath)
{
    if (!m_bOpen || m_pChain == nullptr) {
        return 0;
    }
    // Only the open file's own decoder can decode the next one into the same output.
    const std::string_view name = DecoderNameFor(strPath);
    const Decoder* decoder = FindDecoder(name);
    if (decoder == nullptr || decoder->pDecoder != m_pDecoder) {
        return 0;
    }
    return m_pChain->QueueNext(strPath.c_str(), &m_chainedInfo) != 0 ? 1 : 0;
}

void CPluginBackend::DropChained()
{
    if (m_pChain != nullptr) {
        m_pChain->DropNext();
    }
}

bool CPluginBackend::ChainedHeard()
{
    return m_pChain != nullptr && m_pChain->NextHeard() != 0;
}

void CPluginBackend::Close()
{
    if (!m_bOpen) {
        return;
    }
    m_pDecoder->Close();
    m_bOpen = false;
}

int CPluginBackend::Play(int)
{
    return PlayFrom(-1);
}

int CPluginBackend::PlayFrom(std::int64_t nMilliseconds)
{
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING && nMilliseconds < 0) {
        return 1;
    }
    if (state == PLUGIN_STATE_STOPPED) {
        if (m_pDecoder->Play() == 0) {
            return 0;
        }
    } else if (state == PLUGIN_STATE_PAUSED && m_pDecoder->Resume() == 0) {
        return 0;
    }
    if (nMilliseconds >= 0) {
        m_pDecoder->SeekMilliseconds(nMilliseconds);
    }
    for (int poll = 0; poll < kPluginStartPolls; ++poll) {
        std::this_thread::sleep_for(kPluginStartPollMs);
        if (m_pDecoder->GetState() == PLUGIN_STATE_PLAYING) {
            break;
        }
    }
    return 1;
}

int CPluginBackend::Stop()
{
    if (m_pDecoder->GetState() != PLUGIN_STATE_STOPPED) {
        m_pDecoder->Pause();
        std::this_thread::sleep_for(kPluginPauseSettleMs);
    }
    return 1;
}

int CPluginBackend::SeekPercent(int nPercent)
{
    const auto length = static_cast<long long>(m_pluginInfo.nLengthSeconds);
    const auto target = static_cast<std::int32_t>(length * nPercent / 100);
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING || state == PLUGIN_STATE_PAUSED) {
        m_pDecoder->Seek(target);
    }
    return 1;
}

int CPluginBackend::SeekMilliseconds(std::int64_t nMilliseconds)
{
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING || state == PLUGIN_STATE_PAUSED) {
        m_pDecoder->SeekMilliseconds(nMilliseconds);
    }
    return 1;
}

void CPluginBackend::GetPosition(PlayPosition& pos)
{
    const std::int64_t position = m_pDecoder->GetPositionMilliseconds();
    const auto seconds =
        static_cast<std::int32_t>(std::min<std::int64_t>(position / 1000, INT32_MAX));
    pos.nMinutes = seconds / 60;
    pos.nSeconds = seconds % 60;
    pos.nMilliseconds = static_cast<std::int32_t>(std::min<std::int64_t>(position, INT32_MAX));
}

int CPluginBackend::GetLengthSeconds(int)
{
    return m_pluginInfo.nLengthSeconds;
}

std::int64_t CPluginBackend::GetLengthMilliseconds(int)
{
    return std::int64_t{m_pluginInfo.nLengthSeconds} * 1000;
}

int CPluginBackend::GetMode()
{
    return m_pDecoder->GetState() == PLUGIN_STATE_PLAYING ? static_cast<int>(MCI_MODE_PLAY)
                                                          : static_cast<int>(MCI_MODE_STOP);
}

int CPluginBackend::LoadPlugins(std::string_view strDecoder)
{
    // While a compressed file plays, the loaded libraries are in use and stay.
    if (m_bOpen) {
        return 1;
    }
    const Decoder* loaded = FindDecoder(strDecoder);
    if (loaded != nullptr && loaded->pDecoder != nullptr && m_pOutput != nullptr) {
        m_pDecoder = loaded->pDecoder;
        return 1;
    }
    // Whatever an earlier, failed load left can go; the libraries are looked for afresh. A
    // missing output takes the decoders, which hold it, along.
    if (m_pOutput == nullptr) {
        FreePlugins();
    } else {
        FreeDecoder(strDecoder);
    }

    Decoder& decoder = m_decoders.emplace_back();
    decoder.strName = strDecoder;
    decoder.hLib = LoadPluginLibrary(strDecoder, m_strPluginDir);
    const char* getInstance = m_bPeer ? kPluginGetPeer : kPluginGetInstance;
    void* getDecoder = FindPluginExport(decoder.hLib, getInstance);
    if (getDecoder == nullptr) {
        return 0;
    }
    decoder.pDecoder = reinterpret_cast<DecoderGetInstanceProc>(getDecoder)();
    m_pDecoder = decoder.pDecoder;

    if (m_pOutput == nullptr) {
        FreePluginLibrary(m_hOutputLib);
        m_hOutputLib = LoadPluginLibrary(kOutputLibrary, m_strPluginDir);
        void* getOutput = FindPluginExport(m_hOutputLib, getInstance);
        if (getOutput == nullptr) {
            return 0;
        }
        m_pOutput = reinterpret_cast<OutputGetInstanceProc>(getOutput)();
    }

    // A library whose GetInstance gives no object counts as missing.
    if (decoder.pDecoder == nullptr || m_pOutput == nullptr) {
        return 0;
    }
    decoder.pDecoder->SetOutput(m_pOutput);
    // Chaining is optional: a decoder without it plays file by file.
    const char* getChainName = m_bPeer ? kPluginGetPeerChain : kPluginGetChain;
    if (void* getChain = FindPluginExport(decoder.hLib, getChainName); getChain != nullptr) {
        decoder.pChain = reinterpret_cast<DecoderChainProc>(getChain)();
    }
    std::memset(&m_pluginInfo, 0, sizeof(m_pluginInfo));
    return 1;
}

CPluginBackend::Decoder* CPluginBackend::FindDecoder(std::string_view strName)
{
    for (Decoder& decoder : m_decoders) {
        if (decoder.strName == strName) {
            return &decoder;
        }
    }
    return nullptr;
}

void CPluginBackend::FreeDecoder(std::string_view strName)
{
    for (auto it = m_decoders.begin(); it != m_decoders.end(); ++it) {
        if (it->strName == strName) {
            if (m_pDecoder == it->pDecoder) {
                m_pDecoder = nullptr;
                m_pChain = nullptr;
            }
            FreePluginLibrary(it->hLib);
            m_decoders.erase(it);
            return;
        }
    }
}

void CPluginBackend::FreePlugins()
{
    // The decoders hold the output, so they go first.
    m_pDecoder = nullptr;
    m_pChain = nullptr;
    m_pOutput = nullptr;
    for (const Decoder& decoder : m_decoders) {
        FreePluginLibrary(decoder.hLib);
    }
    m_decoders.clear();
    FreePluginLibrary(m_hOutputLib);
    m_hOutputLib = nullptr;
}

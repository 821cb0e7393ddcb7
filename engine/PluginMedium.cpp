#include "engine/PluginMedium.h"

#include "base/Contract.h"
#include "engine/MediaFormats.h"
#include "engine/PlaybackError.h"
#include "engine/PluginCallback.h"
#include "media/Mci.h"

#include <algorithm>
#include <climits>

std::string_view CPluginMedium::DecoderLibraryFor(const std::string& strPath)
{
    const MediaFormat* format = FindMediaFormat(strPath);
    return format != nullptr && format->pszDecoder != nullptr
               ? std::string_view(format->pszDecoder)
               : std::string_view(kMpegDecoderLibrary);
}

std::unique_ptr<CPluginMedium> CPluginMedium::Open(const MediumRequest& request,
                                                   CPluginLibraries& libraries, int& nError)
{
    SORVANE_EXPECT(OnMainThread());
    const CPluginLibraries::Pair objects = libraries.Make(DecoderLibraryFor(request.strPath));
    if (objects.pDecoder == nullptr) {
        nError = kPluginMissingError;
        return nullptr;
    }
    std::unique_ptr<CPluginMedium> medium(new CPluginMedium(objects, request.nSerial));
    objects.pOutput->SetStreamTicket(request.ticket);
    objects.pDecoder->SetOutput(objects.pOutput);
    RoutePluginNotices(request.nSerial, request.pWatch);
    objects.pDecoder->SetCallback(PluginCallback, request.nSerial);
    if (objects.pDecoder->Open(request.strPath.c_str(), &medium->m_info) == 0) {
        nError = kNothingToTell;
        return nullptr;
    }
    return medium;
}

CPluginMedium::CPluginMedium(CPluginLibraries::Pair objects, std::uint32_t nSerial)
    : m_pDecoder(objects.pDecoder)
    , m_pOutput(objects.pOutput)
    , m_nSerial(nSerial)
{}

CPluginMedium::~CPluginMedium()
{
    SORVANE_EXPECT(OnMainThread());
    // The decoder writes into the output until its thread ends, so it goes first.
    m_pDecoder->Release();
    m_pOutput->Release();
    ForgetPluginRoute(m_nSerial);
}

int CPluginMedium::Play(int)
{
    return PlayFrom(-1);
}

int CPluginMedium::PlayFrom(std::int64_t nMilliseconds)
{
    SORVANE_EXPECT(OnMainThread());
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_STOPPED) {
        if (m_pDecoder->Play() == 0)
            return kNothingToTell;
    } else if (state == PLUGIN_STATE_PAUSED && m_pDecoder->Resume() == 0) {
        return kNothingToTell;
    }
    if (nMilliseconds >= 0)
        m_pDecoder->SeekMilliseconds(nMilliseconds);
    return 0;
}

void CPluginMedium::Stop()
{
    SORVANE_EXPECT(OnMainThread());
    if (m_pDecoder->GetState() != PLUGIN_STATE_STOPPED)
        m_pDecoder->Pause();
}

void CPluginMedium::SeekPercent(int nPercent)
{
    SORVANE_EXPECT(OnMainThread());
    const auto length = static_cast<long long>(m_info.nLengthSeconds);
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING || state == PLUGIN_STATE_PAUSED)
        m_pDecoder->Seek(static_cast<std::int32_t>(length * nPercent / 100));
}

void CPluginMedium::SeekMilliseconds(std::int64_t nMilliseconds)
{
    SORVANE_EXPECT(OnMainThread());
    const int state = m_pDecoder->GetState();
    if (state == PLUGIN_STATE_PLAYING || state == PLUGIN_STATE_PAUSED)
        m_pDecoder->SeekMilliseconds(nMilliseconds);
}

void CPluginMedium::GetPosition(PlayPosition& pos)
{
    SORVANE_EXPECT(OnMainThread());
    const std::int64_t position = m_pDecoder->GetPositionMilliseconds();
    const auto seconds =
        static_cast<std::int32_t>(std::min<std::int64_t>(position / 1000, INT32_MAX));
    pos.nMinutes = seconds / 60;
    pos.nSeconds = seconds % 60;
    pos.nMilliseconds = static_cast<std::int32_t>(std::min<std::int64_t>(position, INT32_MAX));
}

int CPluginMedium::GetLengthSeconds(int)
{
    return m_info.nLengthSeconds;
}

std::int64_t CPluginMedium::GetLengthMilliseconds(int)
{
    return std::int64_t{m_info.nLengthSeconds} * 1000;
}

int CPluginMedium::GetMode()
{
    SORVANE_EXPECT(OnMainThread());
    return m_pDecoder->GetState() == PLUGIN_STATE_PLAYING ? static_cast<int>(MCI_MODE_PLAY)
                                                          : static_cast<int>(MCI_MODE_STOP);
}

bool CPluginMedium::PlaysOn()
{
    return GetMode() == static_cast<int>(MCI_MODE_PLAY);
}

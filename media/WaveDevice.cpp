#include "media/WaveDevice.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {

// libsndfile's speaker positions and their bits in a WAVE channel mask.
constexpr std::pair<int, int> kSpeakerBits[] = {
    {SF_CHANNEL_MAP_LEFT, 0},
    {SF_CHANNEL_MAP_FRONT_LEFT, 0},
    {SF_CHANNEL_MAP_RIGHT, 1},
    {SF_CHANNEL_MAP_FRONT_RIGHT, 1},
    {SF_CHANNEL_MAP_MONO, 2},
    {SF_CHANNEL_MAP_CENTER, 2},
    {SF_CHANNEL_MAP_FRONT_CENTER, 2},
    {SF_CHANNEL_MAP_LFE, 3},
    {SF_CHANNEL_MAP_REAR_LEFT, 4},
    {SF_CHANNEL_MAP_REAR_RIGHT, 5},
    {SF_CHANNEL_MAP_FRONT_LEFT_OF_CENTER, 6},
    {SF_CHANNEL_MAP_FRONT_RIGHT_OF_CENTER, 7},
    {SF_CHANNEL_MAP_REAR_CENTER, 8},
    {SF_CHANNEL_MAP_SIDE_LEFT, 9},
    {SF_CHANNEL_MAP_SIDE_RIGHT, 10},
    {SF_CHANNEL_MAP_TOP_CENTER, 11},
    {SF_CHANNEL_MAP_TOP_FRONT_LEFT, 12},
    {SF_CHANNEL_MAP_TOP_FRONT_CENTER, 13},
    {SF_CHANNEL_MAP_TOP_FRONT_RIGHT, 14},
    {SF_CHANNEL_MAP_TOP_REAR_LEFT, 15},
    {SF_CHANNEL_MAP_TOP_REAR_CENTER, 16},
    {SF_CHANNEL_MAP_TOP_REAR_RIGHT, 17},
};

// The speaker positions of libsndfile's channel map as a WAVE channel mask; 0 (the usual
// order for the channel count) when a position has no bit or the channels are not in the
// order of their bits, as a channel mask needs.
std::uint32_t ChannelMask(const std::vector<int>& map)
{
    std::uint32_t mask = 0;
    int last = -1;
    for (const int position : map) {
        const auto* it = std::find_if(std::begin(kSpeakerBits), std::end(kSpeakerBits),
                                      [position](const auto& p) { return p.first == position; });
        if (it == std::end(kSpeakerBits) || it->second <= last)
            return 0;
        last = it->second;
        mask |= 1u << it->second;
    }
    return mask;
}

} // namespace

CWaveDevice::~CWaveDevice()
{
    Close();
    if (m_pFile != nullptr)
        sf_close(m_pFile);
    else if (m_nFd >= 0)
        ::close(m_nFd);
}

MCIERROR CWaveDevice::Open(const std::string& path)
{
    struct stat st
    {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return MCIERR_FILE_NOT_FOUND;
    if (!S_ISREG(st.st_mode))
        return MCIERR_INVALID_FILE;
    m_strPath = path;
    // Opened by descriptor, so that a removal while playing can be seen.
    m_nFd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (m_nFd < 0)
        return MCIERR_INVALID_FILE;
    SF_INFO info{};
    m_pFile = sf_open_fd(m_nFd, SFM_READ, &info, SF_TRUE);
    if (m_pFile == nullptr) {
        m_nFd = -1; // libsndfile has let it go
        return MCIERR_INVALID_FILE;
    }
    if (info.frames < 0 || info.seekable == 0)
        return MCIERR_INVALID_FILE;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    const bool bShort =
        sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16;
    m_format =
        AudioFormat{info.samplerate, info.channels, bShort ? SampleFormat::S16 : SampleFormat::F32};
    if (!m_format.IsValid())
        return MCIERR_WAVE_OUTPUTSUNSUITABLE;
    // The speaker positions, for folding more than two channels to stereo.
    if (m_format.nChannels > 2) {
        std::vector<int> map(static_cast<std::size_t>(m_format.nChannels));
        if (sf_command(m_pFile, SFC_GET_CHANNEL_MAP_INFO, map.data(),
                       static_cast<int>(map.size() * sizeof(int))) == SF_TRUE)
            m_format.nChannelMask = ChannelMask(map);
    }
    m_nFrames = static_cast<std::uint64_t>(info.frames);
    return 0;
}

bool CWaveDevice::Reposition(std::uint64_t frame)
{
    return sf_seek(m_pFile, static_cast<sf_count_t>(frame), SEEK_SET) >= 0;
}

std::size_t CWaveDevice::Decode(void* buffer, std::size_t frames)
{
    struct stat st
    {};
    if (::fstat(m_nFd, &st) == 0 && st.st_nlink == 0) {
        m_strError = "the file was removed while it played";
        return 0;
    }
    const auto n = static_cast<sf_count_t>(frames);
    const sf_count_t got = m_format.format == SampleFormat::S16
                               ? sf_readf_short(m_pFile, static_cast<short*>(buffer), n)
                               : sf_readf_float(m_pFile, static_cast<float*>(buffer), n);
    if (got < n)
        m_strError = "the file ends before its length (cut short while it played?)";
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

MCIERROR CWaveDevice::ReadError(std::string& reason)
{
    reason = m_strError.empty() ? "the file cannot be read" : m_strError;
    return MCIERR_FILE_READ;
}

#include "platform/WaveDevice.h"

#include <sys/stat.h>

CWaveDevice::~CWaveDevice()
{
    Close();
    if (m_pFile != nullptr)
        sf_close(m_pFile);
}

MCIERROR CWaveDevice::Open(const std::string& path)
{
    struct stat st
    {};
    if (path.empty() || ::stat(path.c_str(), &st) != 0)
        return MCIERR_FILE_NOT_FOUND;
    if (!S_ISREG(st.st_mode))
        return MCIERR_INVALID_FILE;
    SF_INFO info{};
    m_pFile = sf_open(path.c_str(), SFM_READ, &info);
    if (m_pFile == nullptr)
        return MCIERR_INVALID_FILE;
    if (info.frames < 0 || info.seekable == 0)
        return MCIERR_INVALID_FILE;
    const int sub = info.format & SF_FORMAT_SUBMASK;
    const bool bShort =
        sub == SF_FORMAT_PCM_S8 || sub == SF_FORMAT_PCM_U8 || sub == SF_FORMAT_PCM_16;
    m_format =
        AudioFormat{info.samplerate, info.channels, bShort ? SampleFormat::S16 : SampleFormat::F32};
    if (!m_format.IsValid())
        return MCIERR_WAVE_OUTPUTSUNSUITABLE;
    m_nFrames = static_cast<std::uint64_t>(info.frames);
    return 0;
}

bool CWaveDevice::Reposition(std::uint64_t frame)
{
    return sf_seek(m_pFile, static_cast<sf_count_t>(frame), SEEK_SET) >= 0;
}

std::size_t CWaveDevice::Decode(void* buffer, std::size_t frames)
{
    const auto n = static_cast<sf_count_t>(frames);
    const sf_count_t got = m_format.format == SampleFormat::S16
                               ? sf_readf_short(m_pFile, static_cast<short*>(buffer), n)
                               : sf_readf_float(m_pFile, static_cast<float*>(buffer), n);
    return got > 0 ? static_cast<std::size_t>(got) : 0;
}

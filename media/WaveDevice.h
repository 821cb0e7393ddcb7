#pragma once

#include "media/MciDevice.h"

#include <sndfile.h>

#include <string>

// Waveform audio: a WAV file (any that libsndfile reads: 8 to 32-bit integer or float
// samples, one to eight channels, any rate) streamed from disk. 8 and 16-bit files render as
// 16-bit samples, all others as floats. Time format: milliseconds. A file cut short or removed
// while it plays ends the play with a failure (MCIERR_FILE_READ for a waiting play).
class CWaveDevice final : public CMciDevice
{
public:
    explicit CWaveDevice(MCIDEVICEID id)
        : CMciDevice(id)
    {}
    ~CWaveDevice() override;

    // Opens path; 0 or MCIERR_FILE_NOT_FOUND, MCIERR_INVALID_FILE,
    // MCIERR_WAVE_OUTPUTSUNSUITABLE (more than eight channels, or a rate out of range).
    MCIERROR Open(const std::string& path);

private:
    AudioFormat Format() const override { return m_format; }
    std::uint64_t LengthFrames() const override { return m_nFrames; }
    bool Reposition(std::uint64_t frame) override;
    std::size_t Decode(void* buffer, std::size_t frames) override;
    MCIERROR ReadError(std::string& reason) override;
    std::string Name() const override { return m_strPath; }

    std::string m_strPath;
    int m_nFd = -1;         // owned by m_pFile once that is open
    std::string m_strError; // decode thread: why the last Decode came short
    SNDFILE* m_pFile = nullptr;
    AudioFormat m_format;
    std::uint64_t m_nFrames = 0;
};

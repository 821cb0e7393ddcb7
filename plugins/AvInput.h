#pragma once

#include <cstdint>
#include <string>
#include <vector>

struct AVCodecContext;
struct AVFormatContext;
struct AVFrame;
struct AVInputFormat;
struct AVPacket;
struct SwrContext;

// One audio file read through FFmpeg: the container (libavformat), the first audio stream's
// decoder (libavcodec) and the conversion to interleaved PCM at the file's own rate
// (libswresample, which changes no sample where the format already fits). 8- and 16-bit
// sources come out as signed 16-bit, everything wider or lossy as 32-bit float, so a 24-bit
// sample reaches the output unchanged. More than two channels are mixed down to stereo.
//
// Encoder delay and padding are trimmed as the container states them (MP4 edit lists and
// iTunes data, Opus pre-skip, Ogg granule positions), so what Decode gives is the file's true
// sound, frame 0 its first sample; a seek lands on the very frame asked for.
//
// Not thread-safe: one thread at a time (the opener, then the decode thread).
class CAvInput
{
public:
    // Why Decode gave nothing more.
    enum class Status {
        Sound,    // pcm holds frames (possibly none, after a stretch of damage)
        End,      // the stream has been decoded to its end
        ReadError // the file could not be read on
    };

    // The containers opened: FFmpeg's demuxer names, no playlist or script formats that would
    // open other files.
    static constexpr const char* kDemuxers =
        "flac,ogg,mov,mp4,m4a,3gp,3g2,mj2,aac,asf,wv,ape,aiff,matroska,webm,tta,mp3,wav";

    CAvInput();
    ~CAvInput();
    CAvInput(const CAvInput&) = delete;
    CAvInput& operator=(const CAvInput&) = delete;

    // Opens the plain file at strPath and decodes its first frames, which the first Decode
    // returns. false, holding nothing, for a missing, special, unreadable or empty file, or
    // one with no audio stream that decodes. Once per object: one object reads one file.
    bool Open(const std::string& strPath);

    int Rate() const { return m_nRate; }
    int Channels() const { return m_nChannels; }         // 1 or 2
    int SampleFormat() const { return m_nSampleFormat; } // PLUGIN_PCM_S16 or _F32
    int FrameBytes() const { return m_nFrameBytes; }
    int BitrateKbps() const { return m_nBitrateKbps; }
    // The length the container states, in frames; 0 when it states none.
    std::int64_t LengthFrames() const { return m_nLengthFrames; }
    // The stated length is the container's own count, not a guess from the bitrate, so a file
    // whose sound ends well before it was cut short.
    bool LengthTrusted() const { return m_bLengthTrusted; }
    // Packets the decoder refused as damaged since Open.
    int DamagedPackets() const { return m_nDamaged; }

    // The next frames of sound into pcm (replaced), of FrameBytes() each.
    Status Decode(std::vector<std::uint8_t>& pcm);
    // Makes the next Decode start at nFrame (from 0; clamped to the stated length). false when
    // the file cannot be read at all any more.
    bool SeekTo(std::int64_t nFrame);
    // The frame the next Decode starts at.
    std::int64_t Position() const { return m_nNext > m_nSkipTo ? m_nNext : m_nSkipTo; }

private:
    // The container and the decoder, from the file's start.
    bool OpenInput();
    void CloseInput();
    bool Configure(const AVFrame& frame);
    void Convert(const AVFrame& frame, std::vector<std::uint8_t>& pcm);
    Status ReceiveFrames(std::vector<std::uint8_t>& pcm);

    std::string m_strPath;
    // The container found by Open's probe; reading the file again from its start needs no new
    // probe.
    const AVInputFormat* m_pDemuxer = nullptr;
    AVFormatContext* m_pFormat = nullptr;
    AVCodecContext* m_pCodec = nullptr;
    SwrContext* m_pSwr = nullptr;
    AVPacket* m_pPacket = nullptr;
    AVFrame* m_pFrame = nullptr;
    int m_nStream = -1;
    bool m_bLossless = false;
    bool m_bFlushing = false; // the demuxer has ended; the decoder is being drained
    bool m_bReadError = false;

    int m_nRate = 0;
    int m_nChannels = 0;
    int m_nSampleFormat = 0;
    int m_nFrameBytes = 0;
    int m_nBitrateKbps = 0;
    std::int64_t m_nLengthFrames = 0;
    bool m_bLengthTrusted = false;
    bool m_bClipAtLength = false; // nothing after the stated length is sound
    int m_nDamaged = 0;

    // The converter's input, as last configured.
    int m_nSwrFormat = -1;
    int m_nSwrChannels = 0;

    std::int64_t m_nOriginTs = 0; // the stream time of frame 0
    bool m_bOriginKnown = false;
    std::int64_t m_nNext = 0;          // the frame the next decoded sample is
    std::int64_t m_nSkipTo = 0;        // frames before this one are dropped (after a seek)
    bool m_bPlaceNext = false;         // the next decoded frame's time says where it lies
    std::vector<std::uint8_t> m_first; // what Open decoded, for the first Decode
    bool m_bHaveFirst = false;
};

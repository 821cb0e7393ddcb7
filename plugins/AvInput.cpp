#include "plugins/AvInput.h"

#include "pluginapi/PluginInterface.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/mem.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>
#include <mutex>
#include <sys/stat.h>

namespace {

// Lossy codecs are decoded from this far before a seek target, so that the first frame heard
// has its full overlap (MDCT codecs) or pre-roll (Opus) behind it.
constexpr int kSeekPrerollMs = 200;
// After this many packets without sound Decode returns, so that its caller can look at its
// requests during a long damaged stretch.
constexpr int kPacketsPerDecode = 64;
// Open gives up on a file whose first this many rounds of packets give no sound.
constexpr int kRoundsToFirstSound = 16;
// Room the converter may need beyond the frame's own samples.
constexpr int kConvertSlack = 32;

bool IsShortFormat(int format)
{
    switch (format) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P:
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
        return true;
    default:
        return false;
    }
}

} // namespace

CAvInput::CAvInput()
{
    // The plug-in reports its own failures, one line each; FFmpeg's running commentary on a
    // damaged file would bury them.
    static std::once_flag quiet;
    std::call_once(quiet, [] { av_log_set_level(AV_LOG_QUIET); });
}

CAvInput::~CAvInput()
{
    CloseInput();
}

bool CAvInput::Open(const std::string& strPath)
{
    // A FIFO or a device would block or never end; an empty file holds nothing to probe.
    struct stat st
    {};
    if (::stat(strPath.c_str(), &st) != 0 || !S_ISREG(st.st_mode) || st.st_size == 0)
        return false;
    m_strPath = strPath;
    if (!OpenInput()) {
        CloseInput();
        return false;
    }
    // The first frames decide the output's format, and a file whose audio does not decode is
    // refused now rather than when it plays.
    for (int round = 0;; ++round) {
        const Status status = ReceiveFrames(m_first);
        if (status != Status::Sound || round == kRoundsToFirstSound) {
            CloseInput();
            return false;
        }
        if (!m_first.empty())
            break;
    }
    m_bHaveFirst = true;
    return true;
}

bool CAvInput::OpenInput()
{
    m_pFormat = avformat_alloc_context();
    if (m_pFormat == nullptr)
        return false;
    m_pFormat->format_whitelist = av_strdup(kDemuxers);
    m_pFormat->protocol_whitelist = av_strdup("file");
    if (avformat_open_input(&m_pFormat, m_strPath.c_str(), m_pDemuxer, nullptr) < 0) {
        m_pFormat = nullptr; // freed by the failed open
        return false;
    }
    m_pDemuxer = m_pFormat->iformat;
    if (avformat_find_stream_info(m_pFormat, nullptr) < 0)
        return false;
    const AVCodec* codec = nullptr;
    m_nStream = av_find_best_stream(m_pFormat, AVMEDIA_TYPE_AUDIO, -1, -1, &codec, 0);
    if (m_nStream < 0 || codec == nullptr)
        return false;
    for (unsigned i = 0; i < m_pFormat->nb_streams; ++i) {
        m_pFormat->streams[i]->discard =
            static_cast<int>(i) == m_nStream ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    const AVStream* stream = m_pFormat->streams[m_nStream];
    m_pCodec = avcodec_alloc_context3(codec);
    m_pPacket = av_packet_alloc();
    m_pFrame = av_frame_alloc();
    if (m_pCodec == nullptr || m_pPacket == nullptr || m_pFrame == nullptr ||
        avcodec_parameters_to_context(m_pCodec, stream->codecpar) < 0)
        return false;
    m_pCodec->pkt_timebase = stream->time_base;
    // One thread: the decoder runs at the pace of play, far faster than it needs to.
    m_pCodec->thread_count = 1;
    if (avcodec_open2(m_pCodec, codec, nullptr) < 0)
        return false;
    const AVCodecDescriptor* descriptor = avcodec_descriptor_get(codec->id);
    m_bLossless = descriptor != nullptr && (descriptor->props & AV_CODEC_PROP_LOSSLESS) != 0;
    m_nBitrateKbps = static_cast<int>(stream->codecpar->bit_rate / 1000);
    m_bFlushing = false;
    m_bReadError = false;
    return true;
}

void CAvInput::CloseInput()
{
    swr_free(&m_pSwr);
    m_nSwrFormat = -1;
    m_nSwrChannels = 0;
    av_frame_free(&m_pFrame);
    av_packet_free(&m_pPacket);
    avcodec_free_context(&m_pCodec);
    if (m_pFormat != nullptr)
        avformat_close_input(&m_pFormat);
    m_nStream = -1;
}

bool CAvInput::Configure(const AVFrame& frame)
{
    if (m_nRate == 0) {
        // The first frame fixes the output: the file's rate, its channels up to two, 16-bit
        // for 8- and 16-bit sources and float for everything else.
        m_nRate = frame.sample_rate;
        m_nChannels = std::min(frame.ch_layout.nb_channels, 2);
        m_nSampleFormat = IsShortFormat(frame.format) ? PLUGIN_PCM_S16 : PLUGIN_PCM_F32;
        m_nFrameBytes = m_nChannels * (m_nSampleFormat == PLUGIN_PCM_S16 ? 2 : 4);
        const AVStream* stream = m_pFormat->streams[m_nStream];
        std::int64_t length = 0;
        if (stream->duration != AV_NOPTS_VALUE && stream->duration > 0)
            length = av_rescale_q(stream->duration, stream->time_base, AVRational{1, m_nRate});
        else if (m_pFormat->duration != AV_NOPTS_VALUE && m_pFormat->duration > 0)
            length = av_rescale(m_pFormat->duration, m_nRate, AV_TIME_BASE);
        m_nLengthFrames = length;
        m_bLengthTrusted =
            length > 0 && m_pFormat->duration_estimation_method != AVFMT_DURATION_FROM_BITRATE;
        // MP4's edit list states the sound's true length, but FFmpeg trims only its start (the
        // encoder delay); the padding after it is cut here.
        m_bClipAtLength = length > 0 && stream->duration != AV_NOPTS_VALUE &&
                          std::strstr(m_pFormat->iformat->name, "mp4") != nullptr;
    }
    if (m_nRate <= 0 || m_nChannels <= 0 || frame.sample_rate != m_nRate ||
        frame.ch_layout.nb_channels <= 0)
        return false;
    if (m_pSwr != nullptr && frame.format == m_nSwrFormat &&
        frame.ch_layout.nb_channels == m_nSwrChannels)
        return true;
    swr_free(&m_pSwr);
    AVChannelLayout in{};
    if (frame.ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
        av_channel_layout_default(&in, frame.ch_layout.nb_channels);
    else if (av_channel_layout_copy(&in, &frame.ch_layout) < 0)
        return false;
    AVChannelLayout out{};
    av_channel_layout_default(&out, m_nChannels);
    const AVSampleFormat outFormat =
        m_nSampleFormat == PLUGIN_PCM_S16 ? AV_SAMPLE_FMT_S16 : AV_SAMPLE_FMT_FLT;
    const int made =
        swr_alloc_set_opts2(&m_pSwr, &out, outFormat, m_nRate, &in,
                            static_cast<AVSampleFormat>(frame.format), m_nRate, 0, nullptr);
    av_channel_layout_uninit(&in);
    av_channel_layout_uninit(&out);
    if (made < 0 || swr_init(m_pSwr) < 0) {
        swr_free(&m_pSwr);
        return false;
    }
    m_nSwrFormat = frame.format;
    m_nSwrChannels = frame.ch_layout.nb_channels;
    return true;
}

void CAvInput::Convert(const AVFrame& frame, std::vector<std::uint8_t>& pcm)
{
    const AVStream* stream = m_pFormat->streams[m_nStream];
    const std::int64_t ts = frame.best_effort_timestamp;
    if (!m_bOriginKnown && ts != AV_NOPTS_VALUE) {
        m_nOriginTs = ts;
        m_bOriginKnown = true;
    }
    if (m_bPlaceNext) {
        // After a seek the frame's own time says where it lies.
        m_bPlaceNext = false;
        if (ts != AV_NOPTS_VALUE && m_bOriginKnown)
            m_nNext = av_rescale_q(ts - m_nOriginTs, stream->time_base, AVRational{1, m_nRate});
    }
    const std::int64_t start = m_nNext;
    m_nNext += frame.nb_samples;
    if (m_nNext <= m_nSkipTo)
        return;
    const std::size_t old = pcm.size();
    const int room = frame.nb_samples + kConvertSlack;
    pcm.resize(old + static_cast<std::size_t>(room) * static_cast<std::size_t>(m_nFrameBytes));
    std::uint8_t* out = pcm.data() + old;
    const int got =
        swr_convert(m_pSwr, &out, room, const_cast<const std::uint8_t**>(frame.extended_data),
                    frame.nb_samples);
    std::int64_t kept = std::max(got, 0);
    if (m_bClipAtLength) {
        // The encoder's padding after the last sample that the edit list keeps.
        kept = std::clamp<std::int64_t>(m_nLengthFrames - start, 0, kept);
    }
    pcm.resize(old + static_cast<std::size_t>(kept) * static_cast<std::size_t>(m_nFrameBytes));
    const std::int64_t drop =
        std::min<std::int64_t>(std::max<std::int64_t>(m_nSkipTo - start, 0), std::max(got, 0));
    pcm.erase(pcm.begin() + static_cast<std::ptrdiff_t>(old),
              pcm.begin() + static_cast<std::ptrdiff_t>(old) +
                  static_cast<std::ptrdiff_t>(drop * m_nFrameBytes));
}

CAvInput::Status CAvInput::ReceiveFrames(std::vector<std::uint8_t>& pcm)
{
    pcm.clear();
    if (m_pCodec == nullptr)
        return Status::ReadError;
    for (int packets = 0; packets < kPacketsPerDecode;) {
        const int received = avcodec_receive_frame(m_pCodec, m_pFrame);
        if (received == 0) {
            if (Configure(*m_pFrame))
                Convert(*m_pFrame, pcm);
            else
                ++m_nDamaged;
            av_frame_unref(m_pFrame);
            if (!pcm.empty())
                return Status::Sound;
            continue;
        }
        if (received == AVERROR_EOF || m_bFlushing)
            return m_bReadError ? Status::ReadError : Status::End;
        if (received != AVERROR(EAGAIN))
            ++m_nDamaged;
        const int read = av_read_frame(m_pFormat, m_pPacket);
        if (read < 0) {
            m_bReadError = read != AVERROR_EOF;
            m_bFlushing = true;
            avcodec_send_packet(m_pCodec, nullptr);
            continue;
        }
        if (m_pPacket->stream_index == m_nStream) {
            ++packets;
            const int sent = avcodec_send_packet(m_pCodec, m_pPacket);
            if (sent < 0 && sent != AVERROR(EAGAIN))
                ++m_nDamaged;
        }
        av_packet_unref(m_pPacket);
    }
    return Status::Sound;
}

CAvInput::Status CAvInput::Decode(std::vector<std::uint8_t>& pcm)
{
    if (m_bHaveFirst) {
        m_bHaveFirst = false;
        pcm.swap(m_first);
        m_first.clear();
        return Status::Sound;
    }
    return ReceiveFrames(pcm);
}

bool CAvInput::SeekTo(std::int64_t nFrame)
{
    if (m_nRate <= 0)
        return false;
    m_bHaveFirst = false;
    m_first.clear();
    nFrame = std::max<std::int64_t>(nFrame, 0);
    if (m_nLengthFrames > 0)
        nFrame = std::min(nFrame, m_nLengthFrames);
    const AVStream* stream = m_pFormat != nullptr ? m_pFormat->streams[m_nStream] : nullptr;
    if (stream != nullptr && nFrame > 0 && m_bOriginKnown) {
        const std::int64_t preroll =
            m_bLossless
                ? 0
                : std::max<std::int64_t>(static_cast<std::int64_t>(m_nRate) * kSeekPrerollMs / 1000,
                                         stream->codecpar->seek_preroll);
        const std::int64_t from = std::max<std::int64_t>(nFrame - preroll, 0);
        const std::int64_t ts =
            m_nOriginTs + av_rescale_q(from, AVRational{1, m_nRate}, stream->time_base);
        if (av_seek_frame(m_pFormat, m_nStream, ts, AVSEEK_FLAG_BACKWARD) >= 0) {
            avcodec_flush_buffers(m_pCodec);
            m_bFlushing = false;
            m_bReadError = false;
            // Should the landing frame carry no time, it is taken to lie where it was asked.
            m_nNext = from;
            m_nSkipTo = nFrame;
            m_bPlaceNext = true;
            return true;
        }
    }
    // The start, or a file that cannot seek: it is read again from its start, and what lies
    // before the target is decoded and dropped.
    CloseInput();
    if (!OpenInput()) {
        CloseInput();
        return false;
    }
    m_nNext = 0;
    m_nSkipTo = nFrame;
    m_bPlaceNext = false;
    return true;
}

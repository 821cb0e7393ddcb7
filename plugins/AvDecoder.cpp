#include "plugins/AvDecoder.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <pthread.h>
#include <system_error>

CAvDecoder::~CAvDecoder()
{
    if (m_bInputOpen || m_thread.joinable()) {
        Close();
    }
}

int CAvDecoder::SetOutput(IOutputPlugin* pOutput)
{
    if (m_bInputOpen) {
        Close();
    }
    m_pOutput = pOutput;
    return 1;
}

int CAvDecoder::Open(const char* pszPath, PluginMediaInfo* pInfo)
{
    Close();
    if (pszPath == nullptr || pInfo == nullptr || !m_input.Open(pszPath)) {
        return 0;
    }
    m_bInputOpen = true;
    m_bRewind = false;
    m_strPath = pszPath;
    m_nRate.store(m_input.Rate());
    m_nLengthMs.store(m_input.Rate() > 0 ? m_input.LengthFrames() * 1000 / m_input.Rate() : 0);
    m_seek.Reset(0);
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->nSampleRate = m_input.Rate();
    pInfo->nChannels = m_input.Channels();
    pInfo->nBitrateKbps = m_input.BitrateKbps();
    pInfo->nLengthSeconds = static_cast<std::int32_t>(
        std::min<std::int64_t>(m_input.LengthFrames() / m_input.Rate(), INT32_MAX));
    return 1;
}

int CAvDecoder::Close()
{
    StopThread();
    if (m_bOutputOpen) {
        m_pOutput->Close();
        m_bOutputOpen = false;
    }
    m_input.Close();
    m_bInputOpen = false;
    m_nRate.store(0);
    m_nState.store(PLUGIN_STATE_STOPPED);
    return 1;
}

int CAvDecoder::Play()
{
    if (!m_bInputOpen || m_pOutput == nullptr || m_nState.load() != PLUGIN_STATE_STOPPED) {
        return 0;
    }
    // A thread that played to the end has finished or is about to.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    // The first play starts with what Open decoded; a later one reads the file again.
    if (m_bRewind && !m_input.SeekTo(0)) {
        return 0;
    }
    m_bRewind = true;
    if (m_pOutput->OpenFormat(m_input.Rate(), m_input.Channels(), m_input.SampleFormat()) == 0) {
        return 0;
    }
    m_bOutputOpen = true;
    m_bQuit.store(false);
    m_seek.Reset(m_input.Position());
    m_nState.store(PLUGIN_STATE_PLAYING);
    try {
        m_thread = std::thread(&CAvDecoder::DecodeLoop, this);
    } catch (const std::system_error&) {
        m_nState.store(PLUGIN_STATE_STOPPED);
        return 0;
    }
    return 1;
}

int CAvDecoder::SeekMilliseconds(std::int64_t nMilliseconds)
{
    if (m_nState.load() == PLUGIN_STATE_STOPPED || !m_thread.joinable()) {
        return 0;
    }
    // The interruption comes before the request: a thread released from the output waits
    // for the request, and handling it (a Flush) ends the interruption.
    InterruptOutput();
    const std::int64_t target =
        std::min(std::max<std::int64_t>(nMilliseconds, 0), m_nLengthMs.load());
    m_seek.Ask(target);
    PostCommand();
    return 1;
}

std::int64_t CAvDecoder::GetPositionMilliseconds()
{
    const std::int64_t played =
        m_bOutputOpen && m_pOutput != nullptr ? m_pOutput->GetPlayedFrames() : 0;
    return m_seek.PositionMs(m_nRate.load(), played);
}

void CAvDecoder::StopThread()
{
    if (!m_thread.joinable()) {
        return;
    }
    InterruptOutput();
    m_bQuit.store(true);
    PostCommand();
    m_thread.join();
}

int CAvDecoder::FailureAtEnd(bool bReadError, std::string& strReason) const
{
    if (bReadError) {
        strReason = "the file could not be read on";
        return PLUGIN_FAILURE_READ;
    }
    if (m_input.DamagedPackets() > 0) {
        strReason = "the stream is damaged (" + std::to_string(m_input.DamagedPackets()) +
                    " packets could not be decoded)";
        return PLUGIN_FAILURE_DECODE;
    }
    const std::int64_t tolerance =
        static_cast<std::int64_t>(m_input.Rate()) * kShortEndToleranceMs / 1000;
    if (m_input.LengthTrusted() && m_input.Position() + tolerance < m_input.LengthFrames()) {
        strReason = "the file was cut short";
        return PLUGIN_FAILURE_READ;
    }
    strReason.clear();
    return 0;
}

void CAvDecoder::DecodeLoop()
{
    pthread_setname_np(pthread_self(), "kodekku-decode");
    using Clock = std::chrono::steady_clock;
    const std::int64_t rate = m_input.Rate();
    const auto frameBytes = static_cast<std::size_t>(m_input.FrameBytes());
    std::int64_t base = m_input.Position(); // file frame of the output's played count 0
    std::vector<std::uint8_t> pcm;
    std::size_t offset = 0;
    bool decodedAll = false;
    int failure = 0; // the PLUGIN_FAILURE_ reason that ended decoding early; 0 for none
    int reported = -1;
    Clock::time_point reportedAt{};

    auto reportElapsed = [&] {
        const auto seconds = static_cast<int>((base + m_pOutput->GetPlayedFrames()) / rate);
        const auto now = Clock::now();
        if (seconds != reported || now - reportedAt >= kReportInterval) {
            reported = seconds;
            reportedAt = now;
            Report(PLUGIN_CALLBACK_ELAPSED, seconds);
        }
    };

    for (;;) {
        // The counter is read before the requests, so a request made after this read also
        // changes the counter and cuts the paused wait below short.
        const unsigned seen = m_nCommands.load();
        if (m_bQuit.load()) {
            return;
        }
        const std::int64_t seekTo = m_seek.Take();
        if (seekTo >= 0) {
            // Rounded up to a whole frame, so that the position read back in whole
            // milliseconds is the one asked for.
            const bool bSought = m_input.SeekTo((seekTo * rate + 999) / 1000);
            m_pOutput->Flush();
            base = m_input.Position();
            m_seek.SetBase(base);
            m_seek.Carried(seekTo);
            pcm.clear();
            offset = 0;
            decodedAll = !bSought;
            failure = bSought ? 0 : PLUGIN_FAILURE_READ;
            reported = -1;
        }
        if (m_nState.load() == PLUGIN_STATE_PAUSED) {
            reportElapsed();
            m_nCommands.wait(seen);
            continue;
        }
        reportElapsed();

        if (offset < pcm.size()) {
            const std::size_t left = pcm.size() - offset;
            const int taken = m_pOutput->Write(
                pcm.data() + offset, static_cast<int>(std::min<std::size_t>(left, 1 << 20)));
            if (taken > 0) {
                offset += static_cast<std::size_t>(taken);
            } else {
                // Nothing taken: woken to look at the time, or interrupted (the request that
                // comes with an interruption is on its way).
                std::this_thread::yield();
            }
            continue;
        }
        if (!decodedAll) {
            offset = 0;
            const CAvInput::Status status = m_input.Decode(pcm);
            // Whole frames only (the input gives nothing else).
            pcm.erase(pcm.end() - static_cast<std::ptrdiff_t>(pcm.size() % frameBytes), pcm.end());
            if (status != CAvInput::Status::Sound) {
                decodedAll = true;
                std::string reason;
                failure = FailureAtEnd(status == CAvInput::Status::ReadError, reason);
                if (failure != 0) {
                    std::fprintf(stderr, "sorvane: %s: %s\n", m_strPath.c_str(), reason.c_str());
                }
            }
            continue;
        }
        if (m_pOutput->WaitDrained(kDrainWaitMs) != 0) {
            int expected = PLUGIN_STATE_PLAYING;
            if (m_nState.compare_exchange_strong(expected, PLUGIN_STATE_STOPPED)) {
                reportElapsed();
                if (failure != 0) {
                    Report(PLUGIN_CALLBACK_FAILED, failure);
                } else {
                    Report(PLUGIN_CALLBACK_END, 0);
                }
                return;
            }
        }
    }
}

#include "plugins/DecoderBase.h"

#include <algorithm>
#include <cstdio>
#include <new>
#include <pthread.h>
#include <system_error>

CDecoderBase::CDecoderBase(const char* pszThreadName)
    : m_pszThreadName(pszThreadName)
{}

int CDecoderBase::SetOutput(IOutputPlugin* pOutput)
{
    SORVANE_EXPECT(OnMainThread());
    Shut();
    m_pOutput = pOutput;
    return 1;
}

int CDecoderBase::SetCallback(PluginCallbackProc pfnCallback, std::uint32_t dwUser)
{
    SORVANE_EXPECT(OnMainThread());
    m_pfnCallback.store(pfnCallback);
    m_dwUser.store(dwUser);
    return 1;
}

void CDecoderBase::Opened(const char* pszPath, int nRate, int nChannels, int nSampleFormat,
                          std::int64_t nLengthFrames)
{
    SORVANE_EXPECT(OnMainThread() && !m_thread.joinable() && nRate > 0);
    m_strPath = pszPath;
    m_nChannels = nChannels;
    m_nSampleFormat = nSampleFormat;
    m_nLengthFrames = nLengthFrames;
    m_nRate.store(nRate);
    m_nLengthMs.store(nLengthFrames * 1000 / nRate);
    ResetPosition(0);
}

void CDecoderBase::ResetPosition(std::int64_t nBase)
{
    m_nSeekTo.store(-1);
    m_nSeekShown.store(-1);
    m_nBaseFrames.store(nBase);
}

int CDecoderBase::Close()
{
    SORVANE_EXPECT(OnMainThread());
    Shut();
    return 1;
}

void CDecoderBase::Shut()
{
    StopThread();
    if (m_bOutputOpen) {
        m_pOutput->Close();
        m_bOutputOpen = false;
    }
    // Freed now, or by a thread left in a read once that returns.
    CloseFile();
    m_nRate.store(0);
    m_nState.store(PLUGIN_STATE_STOPPED);
}

int CDecoderBase::Release()
{
    SORVANE_EXPECT(OnMainThread());
    delete this;
    return 0;
}

int CDecoderBase::Play()
{
    SORVANE_EXPECT(OnMainThread());
    if (m_pOutput == nullptr || m_nRate.load() == 0 || m_nState.load() != PLUGIN_STATE_STOPPED)
        return 0;
    // A thread that played to the end has finished or is about to.
    StopThread();
    const std::int64_t start = RewindFile();
    if (start < 0)
        return 0;
    // Each thread has its own gate: one that Close left behind still holds the old one.
    try {
        m_pGate = std::make_shared<CReadGate>();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (m_pOutput->OpenFormat(static_cast<int>(m_nRate.load()), m_nChannels, m_nSampleFormat) == 0)
        return 0;
    m_bOutputOpen = true;
    ResetPosition(start);
    m_progress = Progress{};
    m_nState.store(PLUGIN_STATE_PLAYING);
    try {
        m_thread = std::thread([this, gate = m_pGate] { Run(gate); });
    } catch (const std::system_error&) {
        m_nState.store(PLUGIN_STATE_STOPPED);
        return 0;
    }
    return 1;
}

int CDecoderBase::Pause()
{
    SORVANE_EXPECT(OnMainThread());
    int expected = PLUGIN_STATE_PLAYING;
    if (m_nState.compare_exchange_strong(expected, PLUGIN_STATE_PAUSED)) {
        m_pOutput->SetPaused(1);
        PostCommand();
    }
    return 1;
}

int CDecoderBase::Resume()
{
    SORVANE_EXPECT(OnMainThread());
    int expected = PLUGIN_STATE_PAUSED;
    if (!m_nState.compare_exchange_strong(expected, PLUGIN_STATE_PLAYING))
        return 0;
    m_pOutput->SetPaused(0);
    PostCommand();
    return 1;
}

int CDecoderBase::SeekMilliseconds(std::int64_t nMilliseconds)
{
    SORVANE_EXPECT(OnMainThread());
    if (m_nState.load() == PLUGIN_STATE_STOPPED || !m_thread.joinable())
        return 0;
    m_pOutput->Interrupt();
    const std::int64_t target =
        std::min(std::max<std::int64_t>(nMilliseconds, 0), m_nLengthMs.load());
    m_nSeekShown.store(target);
    m_nSeekTo.store(target);
    PostCommand();
    return 1;
}

std::int64_t CDecoderBase::GetPositionMilliseconds()
{
    SORVANE_EXPECT(OnMainThread());
    const std::int64_t rate = m_nRate.load();
    if (rate <= 0)
        return 0;
    if (const std::int64_t shown = m_nSeekShown.load(); shown >= 0)
        return shown;
    const std::int64_t played = m_bOutputOpen ? m_pOutput->GetPlayedFrames() : 0;
    return std::max<std::int64_t>(m_nBaseFrames.load() + played, 0) * 1000 / rate;
}

void CDecoderBase::PostCommand()
{
    m_nCommands.fetch_add(1);
    m_nCommands.notify_all();
}

void CDecoderBase::Report(int nType, int nValue)
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    const PluginCallbackProc callback = m_pfnCallback.load();
    if (callback != nullptr)
        callback(nType, nValue, m_dwUser.load());
}

void CDecoderBase::StopThread()
{
    if (!m_thread.joinable())
        return;
    m_pOutput->Interrupt();
    m_pGate->m_bQuit.store(true);
    PostCommand();
    // A read in progress may never return: the thread is left to it, and drops what it read.
    int reading = CReadGate::kReading;
    if (m_pGate->m_nRead.compare_exchange_strong(reading, CReadGate::kLeft))
        m_thread.detach();
    else
        m_thread.join();
    m_decodeThread.Release();
    m_pGate.reset();
}

void CDecoderBase::Run(const std::shared_ptr<CReadGate>& pGate)
{
    m_decodeThread.Claim();
    pthread_setname_np(pthread_self(), m_pszThreadName);
    CReadGate& gate = *pGate;
    for (;;) {
        // The counter is read before the requests, so a request made after this read also
        // changes the counter and cuts the paused wait below short.
        const unsigned seen = m_nCommands.load();
        if (gate.Ended() || !TakeSeek(gate))
            return;
        if (m_nState.load() == PLUGIN_STATE_PAUSED) {
            ReportElapsed();
            m_nCommands.wait(seen);
            continue;
        }
        ReportElapsed();
        if (m_progress.nPending > 0) {
            WritePending();
        } else if (!m_progress.bDecodedAll) {
            if (!DecodeNext(gate))
                return;
        } else if (FinishWhenDrained()) {
            return;
        }
    }
}

bool CDecoderBase::TakeSeek(CReadGate& gate)
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    const std::int64_t seekTo = m_nSeekTo.exchange(-1);
    if (seekTo < 0)
        return true;
    // Rounded up to a whole frame, so that the position read back in whole milliseconds is
    // the one asked for.
    const std::int64_t rate = m_nRate.load();
    const std::int64_t target = std::min((seekTo * rate + 999) / 1000, m_nLengthFrames);
    int failure = 0;
    const std::int64_t reached = SeekFile(gate, target, &failure);
    if (gate.Ended())
        return false;
    m_pOutput->Flush();
    Progress& p = m_progress;
    p.nPending = 0;
    p.bDecodedAll = reached < 0;
    p.nFailure = reached < 0 ? failure : 0;
    p.nReported = -1;
    m_nBaseFrames.store(reached >= 0 ? reached : target);
    // A later request keeps showing its own target.
    std::int64_t carried = seekTo;
    m_nSeekShown.compare_exchange_strong(carried, -1);
    return true;
}

void CDecoderBase::ReportElapsed()
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    Progress& p = m_progress;
    const auto seconds =
        static_cast<int>((m_nBaseFrames.load() + m_pOutput->GetPlayedFrames()) / m_nRate.load());
    const auto now = Clock::now();
    if (seconds != p.nReported || now - p.reportedAt >= kReportInterval) {
        p.nReported = seconds;
        p.reportedAt = now;
        Report(PLUGIN_CALLBACK_ELAPSED, seconds);
    }
}

void CDecoderBase::WritePending()
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    Progress& p = m_progress;
    const int taken =
        m_pOutput->Write(p.pPending, static_cast<int>(std::min<std::size_t>(p.nPending, 1 << 20)));
    if (taken > 0) {
        p.pPending += taken;
        p.nPending -= static_cast<std::size_t>(taken);
    } else {
        // Nothing taken: woken to look at the time, or interrupted (the request that comes
        // with an interruption is on its way).
        std::this_thread::yield();
    }
}

bool CDecoderBase::DecodeNext(CReadGate& gate)
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    Block block = DecodeBlock(gate);
    if (gate.Ended())
        return false;
    // Whole frames only.
    const auto frameBytes =
        static_cast<std::size_t>(m_nChannels) * (m_nSampleFormat == PLUGIN_PCM_F32 ? 4U : 2U);
    Progress& p = m_progress;
    p.pPending = block.pPcm;
    p.nPending = block.nBytes - block.nBytes % frameBytes;
    if (block.bEnd) {
        p.bDecodedAll = true;
        p.nFailure = block.nFailure;
        if (block.nFailure != 0)
            std::fprintf(stderr, "sorvane: %s: %s\n", m_strPath.c_str(), block.strReason.c_str());
    }
    return true;
}

bool CDecoderBase::FinishWhenDrained()
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    if (m_pOutput->WaitDrained(kDrainWaitMs) == 0)
        return false;
    int expected = PLUGIN_STATE_PLAYING;
    if (!m_nState.compare_exchange_strong(expected, PLUGIN_STATE_STOPPED))
        return false;
    ReportElapsed();
    Report(m_progress.nFailure != 0 ? PLUGIN_CALLBACK_FAILED : PLUGIN_CALLBACK_END,
           m_progress.nFailure);
    return true;
}

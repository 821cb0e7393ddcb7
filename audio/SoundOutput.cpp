// The public face of the sound output: CAudioStream and the output's functions, forwarded to
// the stream (AudioStreamImpl.*) and the mixer (Mixer.*, MixerTestSeams.cpp); the device
// itself is SdlDevice.*.

#include "audio/SoundOutput.h"

#include "audio/AudioStreamImpl.h"
#include "audio/Mixer.h"

#include <algorithm>
#include <cmath>
#include <utility>

// CAudioStream

CAudioStream::CAudioStream(std::shared_ptr<CAudioStreamImpl> impl)
    : m_impl(std::move(impl))
{}

CAudioStream::~CAudioStream()
{
    Close();
}

std::unique_ptr<CAudioStream> CAudioStream::Open(const AudioFormat& format, unsigned ringMs,
                                                 IAudioStreamOwner* owner,
                                                 const AudioStreamTicket& ticket)
{
    auto impl = CMixer::Instance().Connect(format, ringMs, owner, ticket);
    if (impl == nullptr)
        return nullptr;
    return std::unique_ptr<CAudioStream>(new CAudioStream(std::move(impl)));
}

const AudioFormat& CAudioStream::Format() const
{
    return m_impl->m_source;
}

std::size_t CAudioStream::Space() const
{
    return m_impl->Space();
}

bool CAudioStream::Write(const void* frames, std::size_t count, std::uint32_t generation, bool bEnd)
{
    return m_impl->Write(frames, count, generation, bEnd);
}

void CAudioStream::MarkEnd(std::uint32_t generation)
{
    m_impl->MarkEnd(generation);
}

void CAudioStream::Finish(std::uint32_t generation)
{
    m_impl->Finish(generation);
}

std::atomic<unsigned>& CAudioStream::WakeCounter()
{
    return m_impl->m_nWake;
}

std::uint32_t CAudioStream::Flush()
{
    return m_impl->Flush();
}

std::uint32_t CAudioStream::Generation() const
{
    return m_impl->m_nGeneration.load();
}

void CAudioStream::SetPaused(bool bPaused)
{
    m_impl->SetPaused(bPaused);
}

std::uint64_t CAudioStream::Played() const
{
    return m_impl->Played();
}

bool CAudioStream::Ended() const
{
    return m_impl->m_bEnded.load();
}

unsigned CAudioStream::LatencyMs() const
{
    return m_impl->m_nLatencyMs;
}

std::size_t CAudioStream::Queued() const
{
    return m_impl->Queued();
}

void CAudioStream::Close()
{
    if (m_impl == nullptr)
        return;
    CMixer::Instance().Disconnect(m_impl);
    m_impl.reset();
}

void CAudioStream::CloseWhenPlayed(std::unique_ptr<CAudioStream> stream)
{
    if (stream == nullptr || stream->m_impl == nullptr)
        return;
    CMixer::Instance().Detach(std::move(stream->m_impl));
}

// CAudioStreamTicket

CAudioStreamTicket::CAudioStreamTicket(AudioStreamRef leader, float gain)
    : m_leader(std::move(leader))
    , m_fGain(ClampStreamGain(gain))
{}

AudioStreamRef CAudioStreamTicket::Stream() const
{
    std::lock_guard lock(m_mutex);
    return m_stream;
}

void CAudioStreamTicket::SetGain(float gain)
{
    AudioStreamRef stream;
    {
        std::lock_guard lock(m_mutex);
        m_fGain = ClampStreamGain(gain);
        stream = m_stream;
    }
    SetAudioStreamGain(stream, gain);
}

float CAudioStreamTicket::Gain() const
{
    std::lock_guard lock(m_mutex);
    return m_fGain;
}

AudioStreamRef CAudioStreamTicket::TakeLeader()
{
    std::lock_guard lock(m_mutex);
    return std::exchange(m_leader, AudioStreamRef{});
}

void CAudioStreamTicket::Opened(AudioStreamRef stream)
{
    std::lock_guard lock(m_mutex);
    m_stream = std::move(stream);
}

float ClampStreamGain(float gain)
{
    return std::isnan(gain) ? 1.0f : std::clamp(gain, 0.0f, kMaxAudioStreamGain);
}

void SetAudioStreamGain(const AudioStreamRef& stream, float gain)
{
    if (const auto impl = stream.lock(); impl != nullptr)
        impl->m_fGain.store(ClampStreamGain(gain));
}

float AudioStreamGain(const AudioStreamRef& stream)
{
    const auto impl = stream.lock();
    return impl != nullptr ? impl->m_fGain.load() : 1.0f;
}

AudioOutputKind OpenAudioOutput()
{
    return CMixer::Instance().Open();
}

bool SelectAudioOutput(AudioOutputKind kind)
{
    return CMixer::Instance().Select(kind);
}

std::size_t AdvanceManualAudioClock(unsigned ms, std::vector<float>* captured)
{
    return CMixer::Instance().Advance(ms, captured);
}

unsigned AudioOutputLatencyMs()
{
    return CMixer::Instance().LatencyMs();
}

AudioFormat AudioOutputFormat()
{
    return CMixer::Instance().Format();
}

bool AudioOutputHeld()
{
    return CMixer::Instance().Held();
}

std::uint64_t AudioOutputUnderruns()
{
    return g_nAudioUnderruns.load();
}

void SetAudioOutputVolume(double volume)
{
    if (!std::isnan(volume))
        g_dAudioVolume.store(std::clamp(volume, 0.0, 1.0));
}

double AudioOutputVolume()
{
    return g_dAudioVolume.load();
}

void CloseAudioOutput()
{
    CMixer::Instance().Close();
}

void StallAudioOutputForTest(unsigned ms)
{
    CMixer::Instance().Stall(ms);
}

void LoseAudioDeviceForTest()
{
    CMixer::Instance().Lose();
}

// The sound output's test seams: the manual clock (which mixes nothing and converts nothing:
// it pulls each stream at its own rate, on the test's thread) and a removed device.

#include "audio/Mixer.h"

namespace {

// As the mix would add them: times the stream's gain.
void AppendAsFloat(const void* data, std::size_t frames, const AudioFormat& format, float gain,
                   std::vector<float>& out)
{
    const std::size_t n = frames * static_cast<std::size_t>(format.nChannels);
    const std::size_t at = out.size();
    out.resize(at + n, 0.0f);
    AddScaled(out.data() + at, data, format.format, n, gain);
}

} // namespace

std::size_t CMixer::Advance(unsigned ms, std::vector<float>* captured)
{
    std::size_t total = 0;
    {
        std::lock_guard render(m_render);
        if (!m_bOpen || m_kind != AudioOutputKind::ManualClock)
            return 0;
        // Pulls frames of s's own rate; a leader whose end comes in them tells its follower
        // how much of this step remains after it.
        auto pull = [&](CAudioStreamImpl* s, std::uint64_t frames) {
            const std::size_t frameBytes = s->m_ring.FrameBytes();
            while (frames > 0) {
                const auto chunk = static_cast<std::size_t>(std::min<std::uint64_t>(frames, 2048));
                const auto deadline = std::chrono::steady_clock::now() + kManualWait;
                while (s->Queued() < chunk && s->Producing() &&
                       std::chrono::steady_clock::now() < deadline)
                    std::this_thread::sleep_for(std::chrono::microseconds(100));
                m_scratch.resize(chunk * frameBytes);
                bool bEnded = false;
                const std::size_t got = s->Pull(m_scratch.data(), chunk, false, bEnded);
                if (const auto cue = std::move(s->m_pCueJustReached); cue != nullptr) {
                    cue->nLeftover.store(frames - cue->nAt.load());
                    cue->nLeaderRate.store(s->m_source.nRate);
                }
                if (captured != nullptr)
                    AppendAsFloat(m_scratch.data(), got, s->m_ring, s->m_fGain.load(), *captured);
                total += got;
                frames -= chunk;
            }
        };
        std::array<bool, kMaxStreams> held{};
        for (std::size_t k = 0; k < kMaxStreams; ++k)
            held[k] = m_table[k].stream != nullptr && m_table[k].stream->HeldBehindLeader();
        for (std::size_t k = 0; k < kMaxStreams; ++k) {
            CAudioStreamImpl* s = m_table[k].stream;
            if (s == nullptr || held[k] || s->m_bPaused.load())
                continue;
            s->m_nClockMs += ms;
            const std::uint64_t target =
                s->m_nClockMs * static_cast<std::uint64_t>(s->m_source.nRate) / 1000;
            pull(s, target - s->m_nClockFrames);
            s->m_nClockFrames = target;
        }
        // A follower whose leader ended in this step plays the rest of the step; its own
        // clock starts with the next one.
        for (std::size_t k = 0; k < kMaxStreams; ++k) {
            CAudioStreamImpl* s = m_table[k].stream;
            if (s == nullptr || !held[k] || s->HeldBehindLeader() || s->m_bPaused.load())
                continue;
            const int leaderRate = s->m_pCueIn->nLeaderRate.load();
            if (leaderRate > 0)
                pull(s, s->m_pCueIn->nLeftover.load() *
                            static_cast<std::uint64_t>(s->m_source.nRate) /
                            static_cast<std::uint64_t>(leaderRate));
        }
    }
    Service();
    return total;
}

void CMixer::Lose()
{
    m_bLost.store(true);
    m_wake.Release();
}

// The sound output's test seams: the manual clock (which mixes nothing and converts nothing:
// it pulls each stream at its own rate, on the test's thread) and a removed device.

#include "audio/Mixer.h"

namespace {

void AppendAsFloat(const void* data, std::size_t frames, const AudioFormat& format,
                   std::vector<float>& out)
{
    const std::size_t n = frames * static_cast<std::size_t>(format.nChannels);
    for (std::size_t i = 0; i < n; ++i)
        out.push_back(SampleAt(data, format.format, i));
}

} // namespace

std::size_t CMixer::Advance(unsigned ms, std::vector<float>* captured)
{
    std::size_t total = 0;
    {
        std::lock_guard render(m_render);
        if (!m_bOpen || m_kind != AudioOutputKind::ManualClock)
            return 0;
        for (const Slot& slot : m_table) {
            CAudioStreamImpl* s = slot.stream;
            if (s == nullptr || s->m_bPaused.load())
                continue;
            s->m_nClockMs += ms;
            const std::uint64_t target =
                s->m_nClockMs * static_cast<std::uint64_t>(s->m_source.nRate) / 1000;
            std::uint64_t frames = target - s->m_nClockFrames;
            s->m_nClockFrames = target;
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
                if (captured != nullptr)
                    AppendAsFloat(m_scratch.data(), got, s->m_ring, *captured);
                total += got;
                frames -= chunk;
            }
        }
    }
    Service();
    return total;
}

void CMixer::Lose()
{
    m_bLost.store(true);
    m_wake.release();
}

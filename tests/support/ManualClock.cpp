#include "tests/support/ManualClock.h"

#include "audio/SoundOutput.h"

#include <thread>

namespace {

constexpr unsigned kStepMs = 10;
constexpr auto kProducerWait = std::chrono::milliseconds(1);

} // namespace

CManualClockOutput::CManualClockOutput()
    : m_bOk(SelectAudioOutput(AudioOutputKind::ManualClock))
{}

CManualClockOutput::~CManualClockOutput()
{
    SelectAudioOutput(AudioOutputKind::Silent);
}

std::size_t PlayFrames(std::size_t nFrames, const std::function<bool()>& until,
                       std::chrono::milliseconds timeout, std::vector<float>* captured)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    std::size_t pulled = 0;
    while (pulled < nFrames && std::chrono::steady_clock::now() < deadline) {
        const std::size_t got = AdvanceManualAudioClock(kStepMs, captured);
        pulled += got;
        if (until && until())
            break;
        if (got == 0)
            std::this_thread::sleep_for(kProducerWait);
    }
    return pulled;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return condition();
        std::this_thread::sleep_for(kProducerWait);
    }
    return true;
}

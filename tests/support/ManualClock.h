#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <vector>

// Driving the manual-clock sound output from a test: audio is heard only when the test
// advances the clock, so positions and ends are exact. Producers fill their buffers on
// threads of their own, so advancing waits briefly whenever a producer has fallen behind.

// Selects the manual-clock output on construction (nothing may be connected then) and the
// normal output again on destruction. Ok() tells whether the selection worked.
class CManualClockOutput
{
public:
    CManualClockOutput();
    ~CManualClockOutput();
    CManualClockOutput(const CManualClockOutput&) = delete;
    CManualClockOutput& operator=(const CManualClockOutput&) = delete;

    bool Ok() const { return m_bOk; }

private:
    bool m_bOk;
};

// Advances the clock in small steps until nFrames frames have been pulled from the connected
// sources, waiting a little after each step in which they gave less than the step's worth.
// Stops early once until() is true (checked after each step), and gives up after timeout.
// Returns the frames pulled. captured, when given, receives the samples as floats.
std::size_t PlayFrames(std::size_t nFrames, const std::function<bool()>& until = {},
                       std::chrono::milliseconds timeout = std::chrono::seconds(20),
                       std::vector<float>* captured = nullptr);

// Waits (without advancing the clock) until condition() is true or timeout passes; returns
// the last result of condition().
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(10));

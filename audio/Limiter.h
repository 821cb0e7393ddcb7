#pragma once

#include <cstddef>

// Keeps a stereo float mix within full scale without clipping it flat: when a frame would
// pass full scale, the gain drops (from the start of the stretch of 64 frames that holds it)
// to bring it to full scale, then rises back to 1 over about a tenth of a second. While the gain is
// 1 and no frame passes full scale the mix is left untouched, so a stream alone stays bit-exact.
//
// Threads: one thread at a time (the output's render lock).
class CLimiter
{
public:
    explicit CLimiter(int rate = 44100) { SetRate(rate); }

    // The mix's rate, for the release time; the gain goes back to 1.
    void SetRate(int rate);
    // Limits frames stereo frames (left, right interleaved) in place.
    void Process(float* samples, std::size_t frames);
    // The gain now (1 when nothing is being limited).
    float Gain() const { return 1.0f - m_cut; }

private:
    // How far the gain is below 1. Kept as the distance rather than the gain itself, because
    // a float gain just below 1 cannot take the tiny steps back up and would stay there, so
    // that the mix never passed bit-exact again.
    float m_cut = 0.0f;
    float m_keep = 1.0f; // share of the cut kept from one frame to the next
};

#pragma once

#include <atomic>
#include <cstdint>

// A decoder's millisecond seek and the position it reports, shared between the
// user-interface thread (which asks for a seek and reads the position) and the decoder's
// thread (which carries the seek out and moves the base). Every member is an atomic: either
// thread may call any function without a lock.
class CSeekRequest
{
public:
    // No seek pending or shown; the output's played count 0 is file frame baseFrames.
    void Reset(std::int64_t baseFrames);
    // Asks for a seek to ms; the position reads as ms until it is carried out.
    void Ask(std::int64_t ms);
    // Decoder thread: the seek asked for, in milliseconds, taken once; -1 when none.
    std::int64_t Take() { return m_nSeekTo.exchange(-1); }
    // Decoder thread: the output's played count 0 is now file frame baseFrames.
    void SetBase(std::int64_t baseFrames) { m_nBaseFrames.store(baseFrames); }
    // Decoder thread: the seek to ms taken from Take is carried out and the output flushed; a
    // later request keeps showing its own target.
    void Carried(std::int64_t ms);
    // The position heard, in milliseconds: a seek not yet carried out reads as its target,
    // else the base plus the output's played frames at rate.
    std::int64_t PositionMs(std::int64_t rate, std::int64_t playedFrames) const;

private:
    std::atomic<std::int64_t> m_nSeekTo{-1};    // asked, not yet taken (-1: none)
    std::atomic<std::int64_t> m_nSeekShown{-1}; // asked, not yet carried out (-1: none)
    std::atomic<std::int64_t> m_nBaseFrames{0}; // file frame of the output's played count 0
};

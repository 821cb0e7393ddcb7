#include "plugins/SeekRequest.h"

#include <algorithm>

void CSeekRequest::Reset(std::int64_t baseFrames)
{
    m_nSeekTo.store(-1);
    m_nSeekShown.store(-1);
    m_nBaseFrames.store(baseFrames);
}

void CSeekRequest::Ask(std::int64_t ms)
{
    m_nSeekShown.store(ms);
    m_nSeekTo.store(ms);
}

void CSeekRequest::Carried(std::int64_t ms)
{
    m_nSeekShown.compare_exchange_strong(ms, -1);
}

std::int64_t CSeekRequest::PositionMs(std::int64_t rate, std::int64_t playedFrames) const
{
    if (rate <= 0) {
        return 0;
    }
    if (const std::int64_t shown = m_nSeekShown.load(); shown >= 0) {
        return shown;
    }
    return std::max<std::int64_t>(m_nBaseFrames.load() + playedFrames, 0) * 1000 / rate;
}

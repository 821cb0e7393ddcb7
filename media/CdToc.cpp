#include "media/CdToc.h"

bool SetCdTrackEnds(std::vector<CdTocTrack>& tracks, int leadOut, int lastSessionLsn)
{
    for (std::size_t i = 0; i < tracks.size(); ++i) {
        CdTocTrack& track = tracks[i];
        if (i + 1 == tracks.size()) {
            track.lsnEnd = leadOut;
        } else {
            const CdTocTrack& next = tracks[i + 1];
            track.lsnEnd = next.lsnStart;
            const bool bSessionEnds = lastSessionLsn > 0 && track.lsnStart < lastSessionLsn &&
                                      next.lsnStart >= lastSessionLsn;
            if (track.bAudio && !next.bAudio && bSessionEnds &&
                next.lsnStart - kCdExtraGapSectors > track.lsnStart)
                track.lsnEnd = next.lsnStart - kCdExtraGapSectors;
        }
        if (track.lsnStart < 0 || track.lsnEnd <= track.lsnStart)
            return false;
    }
    return true;
}

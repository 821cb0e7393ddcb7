#pragma once

#include "media/CueImage.h"
#include "media/MciDevice.h"

#include <memory>
#include <string>
#include <vector>

struct _CdIo;

// CD audio: a CD drive, or a CD image (.cue with its data file, .toc, .nrg) that libcdio
// reads like a disc. Audio is read digitally, a few sectors at a time, and rendered as
// 44.1 kHz stereo 16-bit frames; a play goes on across track boundaries to the end of the
// last audio track; data tracks are skipped at the start of a play and silent within one. An
// audio sector that cannot be read (after one more try) ends the play with a failure
// (MCIERR_CD_READ for a waiting play), never with silence in its place. The decode thread
// reads ahead about 2 s, so a drive that spins up holds up nothing else.
// Time formats: milliseconds and MSF from the start of the disc, TMSF.
//
// A drive without a disc opens (its door can then be opened); the commands that need a disc
// answer MCIERR_CD_NO_DISC. An image that cannot be read, or holds no audio track, does not
// open. A CUE sheet's data file is the one its FILE line names. A source that is neither a
// regular file nor a block device (a FIFO) is refused without being opened.
class CCdAudioDevice final : public CMciDevice
{
public:
    explicit CCdAudioDevice(MCIDEVICEID id)
        : CMciDevice(id)
    {}
    ~CCdAudioDevice() override;

    // The drive or image to use: element when given, else $SORVANE_CDROM when set and not
    // empty, else the system's default CD drive; empty when there is none.
    static std::string ChooseSource(const char* element);

    // Opens source (from ChooseSource); 0 or MCIERR_CD_NO_DRIVE, MCIERR_CD_IMAGE_UNREADABLE,
    // MCIERR_CD_NO_AUDIO_TRACKS.
    MCIERROR Open(const std::string& source);

private:
    struct Track
    {
        int lsnStart = 0;
        int lsnEnd = 0; // first sector after the track
        bool bAudio = true;
    };

    AudioFormat Format() const override;
    std::uint64_t LengthFrames() const override;
    bool Reposition(std::uint64_t frame) override;
    std::size_t Decode(void* buffer, std::size_t frames) override;
    MCIERROR ReadError(std::string& reason) override;
    std::string Name() const override { return m_strSource; }
    unsigned AheadMs() const override { return 2000; }
    bool IsTimeFormatSupported(DWORD format) const override;
    MCIERROR ToFrame(DWORD value, std::uint64_t& frame) const override;
    DWORD FromFrame(std::uint64_t frame) const override;
    MCIERROR StatusItem(DWORD item, DWORD flags, DWORD track, DWORD_PTR& answer) override;
    MCIERROR ReadyToPlay() override;
    std::uint64_t PlayStart(std::uint64_t from) const override;
    std::uint64_t PlayEnd() const override;
    MCIERROR SetDoor(bool bOpen) override;

    bool ReadToc();
    bool Reopen();
    // Index into m_tracks of the track holding lsn (the last track for the lead-out).
    std::size_t TrackAt(int lsn) const;
    int FirstLsn() const { return m_tracks.front().lsnStart; }
    int LeadOut() const { return m_tracks.back().lsnEnd; }
    std::uint64_t FrameOf(int lsn) const;
    int LsnOf(std::uint64_t frame) const;
    bool HasDisc() const { return m_pCdio != nullptr && !m_tracks.empty(); }

    std::string m_strSource;
    std::unique_ptr<CCueImage> m_pCue; // a CUE sheet as the reader is given it
    bool m_bImage = false;
    bool m_bDoorOpen = false;
    _CdIo* m_pCdio = nullptr;
    int m_nFirstTrack = 1;
    std::vector<Track> m_tracks;
    std::uint64_t m_nCursor = 0;          // the frame the next Decode starts at
    std::vector<unsigned char> m_sectors; // sectors read ahead
    int m_nBufferLsn = 0;                 // the first sector in m_sectors
    int m_nBufferCount = 0;               // sectors in m_sectors
    int m_nFailedLsn = -1;                // the sector the last Decode could not read
};

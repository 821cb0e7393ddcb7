#pragma once

#include "media/CdToc.h"
#include "media/CueImage.h"
#include "media/MciDevice.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

struct _CdIo;

// CD audio: a CD drive, or a CD image (.cue with its data file, .toc, .nrg) that libcdio
// reads like a disc. Audio is read digitally, a few sectors at a time, and rendered as
// 44.1 kHz stereo 16-bit frames; a play goes on across track boundaries to the end of the
// last audio track; data tracks are skipped at the start of a play and silent within one. An
// audio sector that cannot be read (after one more try) ends the play with a failure
// (MCIERR_CD_READ for a waiting play), never with silence in its place. The decode thread
// reads ahead about 2 s, so a drive that spins up holds up nothing else. On an enhanced CD the
// last audio track ends where its session's audio ends, not at the data track.
// Time formats: milliseconds and MSF from the start of the disc, TMSF.
//
// A drive without a disc opens (its door can then be opened); the commands that need a disc
// answer MCIERR_CD_NO_DISC. An image that cannot be read, or holds no audio track, does not
// open. A CUE sheet's data file is the one its FILE line names. A source that is neither a
// regular file nor a block device (a FIFO) is refused without being opened.
//
// Threads: the drive's handle and table of contents form one Disc, replaced whole (under
// m_state and m_discLock) and never changed; a read holds the Disc it reads from, so that
// opening the door need not wait for a read that hangs. The drive is asked for a table of
// contents (a disc inserted since) only without m_state: by a play before it starts, and by
// a query of the number of tracks, which asks only when no other such question is under way.
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
    using Track = CdTocTrack;
    // A drive's handle and what it holds; empty tracks when there is no disc.
    struct Disc
    {
        std::shared_ptr<_CdIo> cdio; // null while the door is open
        std::uint64_t serial = 0;    // tells one Disc from any other of the process
        int firstTrack = 1;
        std::vector<Track> tracks;
        bool HasToc() const { return cdio != nullptr && !tracks.empty(); }
        int FirstLsn() const { return tracks.front().lsnStart; }
        int LeadOut() const { return tracks.back().lsnEnd; }
        std::size_t TrackAt(int lsn) const;
        std::uint64_t FrameOf(int lsn) const;
        int LsnOf(std::uint64_t frame) const;
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
    void PrepareMedium() override;
    bool ReaderOwnsMedium() const override { return true; }
    void PrepareStatus(DWORD item) override;

    // Reads the table of contents of cdio (disc I/O: never with m_state held).
    static std::shared_ptr<Disc> NewDisc();
    static bool ReadToc(const std::shared_ptr<_CdIo>& cdio, Disc& disc);
    // Without m_state: opens the drive when it is not open and reads its table of contents;
    // false when there is no disc. With bNoWait, gives up at once when another thread asks.
    bool Reopen(bool bNoWait);
    // Replaces the disc (takes m_state and m_discLock).
    void Publish(std::shared_ptr<const Disc> disc, bool bDoorOpen);
    std::shared_ptr<const Disc> CurrentDisc() const;

    // With m_state held (or on the thread that opens): the current disc.
    std::size_t TrackAt(int lsn) const { return m_pDisc->TrackAt(lsn); }
    int FirstLsn() const { return m_pDisc->FirstLsn(); }
    int LeadOut() const { return m_pDisc->LeadOut(); }
    std::uint64_t FrameOf(int lsn) const { return m_pDisc->FrameOf(lsn); }
    int LsnOf(std::uint64_t frame) const { return m_pDisc->LsnOf(frame); }
    bool HasDisc() const { return m_pDisc->HasToc(); }
    const std::vector<Track>& Tracks() const { return m_pDisc->tracks; }

    std::string m_strSource;
    std::unique_ptr<CCueImage> m_pCue; // a CUE sheet as the reader is given it
    bool m_bImage = false;
    bool m_bDoorOpen = false;
    mutable std::mutex m_discLock; // held only to copy or replace m_pDisc
    std::shared_ptr<const Disc> m_pDisc = NewDisc();
    std::mutex m_probe; // one table-of-contents read from the drive at a time
    // Decode thread only.
    std::uint64_t m_nReadDisc = 0;        // the serial of the disc m_sectors came from
    int m_nReadFirstLsn = 0;              // and its first sector
    std::uint64_t m_nCursor = 0;          // the frame the next Decode starts at
    std::vector<unsigned char> m_sectors; // sectors read ahead
    int m_nBufferLsn = 0;                 // the first sector in m_sectors
    int m_nBufferCount = 0;               // sectors in m_sectors
    int m_nFailedLsn = -1;                // the sector the last Decode could not read
};

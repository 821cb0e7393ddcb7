#include "media/CdAudioDevice.h"

#include "base/MbString.h"
#include "media/Mci.h"

#include <cdio/cdio.h>
#include <cdio/logging.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <sys/stat.h>
#include <thread>

namespace {

constexpr int kRate = 44100;
constexpr std::uint64_t kFramesPerSector = kRate / kCdFramesPerSecond;
constexpr int kMsfOffset = 150; // MSF 00:02:00 is the first sector of the disc
constexpr int kReadAhead = 8;   // sectors per read, about 0.1 s
// A door opened while a read hangs opens when the read lets go of the drive, looked at this
// often, or after a minute at most.
constexpr auto kEjectPoll = std::chrono::milliseconds(100);
constexpr int kEjectWaits = 600;

void DiscardCdioLog(cdio_log_level_t, const char*) {}

driver_id_t ImageDriver(const std::string& source)
{
    const std::string ext = std::filesystem::path(source).extension().string();
    if (EndsWithNoCase(ext, ".cue"))
        return DRIVER_BINCUE;
    if (EndsWithNoCase(ext, ".toc"))
        return DRIVER_CDRDAO;
    if (EndsWithNoCase(ext, ".nrg"))
        return DRIVER_NRG;
    return DRIVER_UNKNOWN;
}

DWORD Msf(int sectors)
{
    sectors = std::max(sectors, 0);
    const int minutes = std::min(sectors / (60 * kCdFramesPerSecond), 255);
    return MCI_MAKE_MSF(static_cast<unsigned>(minutes),
                        static_cast<unsigned>((sectors / kCdFramesPerSecond) % 60),
                        static_cast<unsigned>(sectors % kCdFramesPerSecond));
}

int Sectors(unsigned m, unsigned s, unsigned f)
{
    return static_cast<int>((m * 60 + s) * kCdFramesPerSecond + f);
}

std::shared_ptr<CdIo_t> OpenCdio(const char* source, driver_id_t driver)
{
    CdIo_t* cdio = cdio_open(source, driver);
    if (cdio == nullptr)
        return nullptr;
    return std::shared_ptr<CdIo_t>(cdio, cdio_destroy);
}

} // namespace

std::string CCdAudioDevice::ChooseSource(const char* element)
{
    if (element != nullptr && *element != '\0')
        return element;
    if (const char* env = std::getenv("SORVANE_CDROM"); env != nullptr && *env != '\0')
        return env;
    cdio_log_set_handler(DiscardCdioLog);
    char* drive = cdio_get_default_device(nullptr);
    std::string result = drive != nullptr ? drive : "";
    std::free(drive);
    return result;
}

CCdAudioDevice::~CCdAudioDevice()
{
    Close();
}

std::size_t CCdAudioDevice::Disc::TrackAt(int lsn) const
{
    std::size_t i = 0;
    while (i + 1 < tracks.size() && tracks[i + 1].lsnStart <= lsn)
        ++i;
    return i;
}

std::uint64_t CCdAudioDevice::Disc::FrameOf(int lsn) const
{
    return static_cast<std::uint64_t>(std::max(lsn - FirstLsn(), 0)) * kFramesPerSector;
}

int CCdAudioDevice::Disc::LsnOf(std::uint64_t frame) const
{
    return FirstLsn() + static_cast<int>(frame / kFramesPerSector);
}

std::shared_ptr<CCdAudioDevice::Disc> CCdAudioDevice::NewDisc()
{
    static std::atomic<std::uint64_t> serials{0};
    auto disc = std::make_shared<Disc>();
    disc->serial = ++serials;
    return disc;
}

std::shared_ptr<const CCdAudioDevice::Disc> CCdAudioDevice::CurrentDisc() const
{
    std::lock_guard lock(m_discLock);
    return m_pDisc;
}

void CCdAudioDevice::Publish(std::shared_ptr<const Disc> disc, bool bDoorOpen)
{
    std::lock_guard state(StateMutex());
    std::lock_guard lock(m_discLock);
    m_pDisc = std::move(disc);
    m_bDoorOpen = bDoorOpen;
}

MCIERROR CCdAudioDevice::Open(const std::string& source)
{
    cdio_log_set_handler(DiscardCdioLog);
    m_strSource = source;
    const driver_id_t image = ImageDriver(source);
    m_bImage = image != DRIVER_UNKNOWN;
    const MCIERROR missing = m_bImage ? MCIERR_CD_IMAGE_UNREADABLE : MCIERR_CD_NO_DRIVE;
    // An image is a regular file, a drive a block device; anything else (a FIFO would hold
    // the open for good) is no source.
    struct stat st
    {};
    if (source.empty() || ::stat(source.c_str(), &st) != 0 ||
        !(S_ISREG(st.st_mode) || (!m_bImage && S_ISBLK(st.st_mode))))
        return missing;
    std::string reader = source;
    if (image == DRIVER_BINCUE) {
        m_pCue = std::make_unique<CCueImage>();
        if (!m_pCue->Prepare(source))
            return MCIERR_CD_IMAGE_UNREADABLE;
        reader = m_pCue->SheetPath();
    }
    auto disc = NewDisc();
    disc->cdio = OpenCdio(reader.c_str(), m_bImage ? image : DRIVER_DEVICE);
    if (disc->cdio == nullptr)
        return m_bImage ? MCIERR_CD_IMAGE_UNREADABLE : MCIERR_CD_NO_DRIVE;
    const bool bToc = ReadToc(disc->cdio, *disc);
    Publish(disc, false);
    if (!bToc)
        return m_bImage ? MCIERR_CD_IMAGE_UNREADABLE : 0;
    if (m_bImage && std::none_of(disc->tracks.begin(), disc->tracks.end(),
                                 [](const Track& t) { return t.bAudio; }))
        return MCIERR_CD_NO_AUDIO_TRACKS;
    return 0;
}

bool CCdAudioDevice::ReadToc(const std::shared_ptr<CdIo_t>& cdio, Disc& disc)
{
    disc.tracks.clear();
    CdIo_t* p = cdio.get();
    const track_t first = cdio_get_first_track_num(p);
    const track_t count = cdio_get_num_tracks(p);
    if (first == CDIO_INVALID_TRACK || count == CDIO_INVALID_TRACK || count == 0 ||
        first + count - 1 > 99)
        return false;
    std::vector<Track> tracks;
    for (int t = first; t < first + count; ++t) {
        Track track;
        track.lsnStart = cdio_get_track_lsn(p, static_cast<track_t>(t));
        track.bAudio = cdio_get_track_format(p, static_cast<track_t>(t)) == TRACK_FORMAT_AUDIO;
        tracks.push_back(track);
    }
    const lsn_t leadOut = cdio_get_track_lsn(p, CDIO_CDROM_LEADOUT_TRACK);
    // The first sector of the last session; image drivers and single-session discs say
    // nothing or 0.
    lsn_t lastSession = 0;
    if (cdio_get_last_session(p, &lastSession) != DRIVER_OP_SUCCESS)
        lastSession = 0;
    if (!SetCdTrackEnds(tracks, leadOut, lastSession))
        return false;
    disc.firstTrack = first;
    disc.tracks = std::move(tracks);
    return true;
}

bool CCdAudioDevice::Reopen(bool bNoWait)
{
    std::unique_lock probe(m_probe, std::defer_lock);
    if (bNoWait) {
        if (!probe.try_lock())
            return false;
    } else {
        probe.lock();
    }
    std::shared_ptr<const Disc> before = CurrentDisc();
    if (before->HasToc())
        return true;
    auto disc = NewDisc();
    disc->cdio =
        before->cdio != nullptr ? before->cdio : OpenCdio(m_strSource.c_str(), DRIVER_DEVICE);
    if (disc->cdio == nullptr)
        return false;
    const bool bToc = ReadToc(disc->cdio, *disc);
    {
        std::lock_guard state(StateMutex());
        // The door was opened meanwhile: what was read is no longer there.
        if (m_pDisc != before)
            return false;
        std::lock_guard lock(m_discLock);
        m_pDisc = disc;
        if (bToc)
            m_bDoorOpen = false;
    }
    return bToc;
}

void CCdAudioDevice::PrepareMedium()
{
    if (!m_bImage)
        Reopen(false);
}

void CCdAudioDevice::PrepareStatus(DWORD item)
{
    // Asking for the number of tracks is how a disc inserted since is found; another such
    // question under way answers for this one.
    if (item != MCI_STATUS_NUMBER_OF_TRACKS)
        return;
    bool bLook = false;
    {
        std::lock_guard state(StateMutex());
        bLook = !HasDisc() && !m_bDoorOpen && m_pDisc->cdio != nullptr;
    }
    if (bLook)
        Reopen(true);
}

AudioFormat CCdAudioDevice::Format() const
{
    return AudioFormat{kRate, 2, SampleFormat::S16};
}

std::uint64_t CCdAudioDevice::LengthFrames() const
{
    return HasDisc() ? FrameOf(LeadOut()) : 0;
}

bool CCdAudioDevice::Reposition(std::uint64_t frame)
{
    m_nCursor = frame;
    return true;
}

std::size_t CCdAudioDevice::Decode(void* buffer, std::size_t frames)
{
    m_nFailedLsn = -1;
    // The disc read from is held for the read: the door may open meanwhile.
    std::shared_ptr<const Disc> disc = CurrentDisc();
    if (disc->serial != m_nReadDisc) {
        m_nReadDisc = disc->serial;
        m_nBufferCount = 0;
    }
    if (!disc->HasToc())
        return 0;
    m_nReadFirstLsn = disc->FirstLsn();
    const Disc& d = *disc;
    constexpr std::size_t kFrameBytes = 4;
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < frames) {
        const int lsn = d.LsnOf(m_nCursor);
        if (lsn >= d.LeadOut())
            break;
        if (lsn < m_nBufferLsn || lsn >= m_nBufferLsn + m_nBufferCount) {
            const Track& track = d.tracks[d.TrackAt(lsn)];
            const int count = std::min(kReadAhead, track.lsnEnd - lsn);
            m_sectors.resize(static_cast<std::size_t>(count) * CDIO_CD_FRAMESIZE_RAW);
            m_nBufferCount = 0;
            if (track.bAudio) {
                bool bRead = false;
                for (int attempt = 0; attempt < 2 && !bRead; ++attempt)
                    bRead =
                        cdio_read_audio_sectors(d.cdio.get(), m_sectors.data(), lsn,
                                                static_cast<uint32_t>(count)) == DRIVER_OP_SUCCESS;
                if (!bRead) {
                    m_nFailedLsn = lsn;
                    return done;
                }
            } else {
                // A data track within a play is silent.
                std::fill(m_sectors.begin(), m_sectors.end(), 0);
            }
            m_nBufferLsn = lsn;
            m_nBufferCount = count;
        }
        const std::uint64_t bufferStart = d.FrameOf(m_nBufferLsn);
        const std::uint64_t bufferEnd =
            bufferStart + static_cast<std::uint64_t>(m_nBufferCount) * kFramesPerSector;
        const auto n =
            static_cast<std::size_t>(std::min<std::uint64_t>(frames - done, bufferEnd - m_nCursor));
        std::memcpy(out + done * kFrameBytes,
                    m_sectors.data() + (m_nCursor - bufferStart) * kFrameBytes, n * kFrameBytes);
        done += n;
        m_nCursor += n;
    }
    return done;
}

MCIERROR CCdAudioDevice::ReadError(std::string& reason)
{
    if (m_nFailedLsn >= 0) {
        const int sector = m_nFailedLsn - m_nReadFirstLsn;
        reason = "the disc cannot be read at " +
                 std::to_string(sector / (60 * kCdFramesPerSecond)) + ":" +
                 std::to_string(sector / kCdFramesPerSecond % 60) + "." +
                 std::to_string(sector % kCdFramesPerSecond) + " (sector " +
                 std::to_string(m_nFailedLsn) + ")";
    } else {
        reason = "the disc cannot be read";
    }
    return MCIERR_CD_READ;
}

bool CCdAudioDevice::IsTimeFormatSupported(DWORD format) const
{
    return format == MCI_FORMAT_MILLISECONDS || format == MCI_FORMAT_MSF ||
           format == MCI_FORMAT_TMSF;
}

MCIERROR CCdAudioDevice::ToFrame(DWORD value, std::uint64_t& frame) const
{
    if (!HasDisc())
        return MCIERR_CD_NO_DISC;
    int lsn = 0;
    switch (TimeFormat()) {
    case MCI_FORMAT_TMSF: {
        const int t = static_cast<int>(MCI_TMSF_TRACK(value)) - m_pDisc->firstTrack;
        if (t < 0 || t >= static_cast<int>(Tracks().size()))
            return MCIERR_OUTOFRANGE;
        lsn = Tracks()[static_cast<std::size_t>(t)].lsnStart +
              Sectors(MCI_TMSF_MINUTE(value), MCI_TMSF_SECOND(value), MCI_TMSF_FRAME(value));
        break;
    }
    case MCI_FORMAT_MSF:
        lsn = std::max(Sectors(MCI_MSF_MINUTE(value), MCI_MSF_SECOND(value), MCI_MSF_FRAME(value)) -
                           kMsfOffset,
                       FirstLsn());
        break;
    default:
        return CMciDevice::ToFrame(value, frame);
    }
    if (lsn > LeadOut())
        return MCIERR_OUTOFRANGE;
    frame = FrameOf(lsn);
    return 0;
}

DWORD CCdAudioDevice::FromFrame(std::uint64_t frame) const
{
    if (!HasDisc())
        return 0;
    const int lsn = LsnOf(frame);
    switch (TimeFormat()) {
    case MCI_FORMAT_TMSF: {
        const std::size_t i = TrackAt(lsn);
        const DWORD msf = Msf(lsn - Tracks()[i].lsnStart);
        return MCI_MAKE_TMSF(static_cast<unsigned>(m_pDisc->firstTrack) + static_cast<unsigned>(i),
                             MCI_MSF_MINUTE(msf), MCI_MSF_SECOND(msf), MCI_MSF_FRAME(msf));
    }
    case MCI_FORMAT_MSF:
        return Msf(lsn + kMsfOffset);
    default:
        return FramesToMs(frame);
    }
}

MCIERROR CCdAudioDevice::StatusItem(DWORD item, DWORD flags, DWORD track, DWORD_PTR& answer)
{
    switch (item) {
    case MCI_STATUS_MODE:
        if (m_bDoorOpen)
            answer = MCI_MODE_OPEN;
        else if (!HasDisc())
            answer = MCI_MODE_NOT_READY;
        else
            return CMciDevice::StatusItem(item, flags, track, answer);
        return 0;
    case MCI_STATUS_MEDIA_PRESENT:
    case MCI_STATUS_READY:
        answer = HasDisc() && !m_bDoorOpen ? 1 : 0;
        return 0;
    case MCI_STATUS_TIME_FORMAT:
        return CMciDevice::StatusItem(item, flags, track, answer);
    default:
        break;
    }
    if (!HasDisc())
        return MCIERR_CD_NO_DISC;
    const bool bTrack = (flags & MCI_TRACK) != 0;
    const int t = static_cast<int>(track) - m_pDisc->firstTrack;
    if (bTrack && (t < 0 || t >= static_cast<int>(Tracks().size())))
        return MCIERR_OUTOFRANGE;
    const Track* pTrack = bTrack ? &Tracks()[static_cast<std::size_t>(t)] : nullptr;
    switch (item) {
    case MCI_STATUS_NUMBER_OF_TRACKS:
        answer = Tracks().size();
        return 0;
    case MCI_STATUS_CURRENT_TRACK:
        answer = static_cast<DWORD>(m_pDisc->firstTrack) + TrackAt(LsnOf(Position()));
        return 0;
    case MCI_STATUS_LENGTH: {
        const int sectors =
            pTrack != nullptr ? pTrack->lsnEnd - pTrack->lsnStart : LeadOut() - FirstLsn();
        if (TimeFormat() == MCI_FORMAT_MILLISECONDS)
            answer =
                static_cast<DWORD>(static_cast<std::uint64_t>(sectors) * 1000 / kCdFramesPerSecond);
        else
            answer = Msf(sectors);
        return 0;
    }
    case MCI_STATUS_POSITION:
        if (pTrack != nullptr)
            answer = FromFrame(FrameOf(pTrack->lsnStart));
        else if ((flags & MCI_STATUS_START) != 0)
            answer = FromFrame(0);
        else
            answer = FromFrame(Position());
        return 0;
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

MCIERROR CCdAudioDevice::ReadyToPlay()
{
    if (m_bDoorOpen || m_pDisc->cdio == nullptr)
        return MCIERR_DEVICE_NOT_READY;
    if (!HasDisc())
        return MCIERR_CD_NO_DISC;
    if (std::none_of(Tracks().begin(), Tracks().end(), [](const Track& t) { return t.bAudio; }))
        return MCIERR_CD_NO_AUDIO_TRACKS;
    return 0;
}

std::uint64_t CCdAudioDevice::PlayStart(std::uint64_t from) const
{
    for (std::size_t i = TrackAt(LsnOf(from)); i < Tracks().size(); ++i)
        if (Tracks()[i].bAudio)
            return std::max(from, FrameOf(Tracks()[i].lsnStart));
    return PlayEnd();
}

std::uint64_t CCdAudioDevice::PlayEnd() const
{
    for (std::size_t i = Tracks().size(); i > 0; --i)
        if (Tracks()[i - 1].bAudio)
            return FrameOf(Tracks()[i - 1].lsnEnd);
    return 0;
}

MCIERROR CCdAudioDevice::SetDoor(bool bOpen)
{
    if (m_bImage)
        return 0;
    if (bOpen) {
        std::shared_ptr<const Disc> disc = CurrentDisc();
        if (disc->cdio == nullptr)
            return 0;
        // The device lets go of the drive; a read that still hangs on it holds the handle
        // until it returns.
        Publish(NewDisc(), true);
        const std::weak_ptr<CdIo_t> held = disc->cdio;
        disc.reset();
        if (!held.expired()) {
            // A read hangs on the drive, which refuses to open while it is held: the door
            // opens on a thread of its own once the read lets go, rather than hold up the
            // caller.
            std::thread([source = m_strSource, held] {
                for (int i = 0; i < kEjectWaits && !held.expired(); ++i)
                    std::this_thread::sleep_for(kEjectPoll);
                cdio_eject_media_drive(source.c_str());
            }).detach();
            return 0;
        }
        const driver_return_code_t rc = cdio_eject_media_drive(m_strSource.c_str());
        if (rc != DRIVER_OP_SUCCESS && rc != DRIVER_OP_UNSUPPORTED)
            return MCIERR_HARDWARE;
        return 0;
    }
    driver_id_t driver = DRIVER_DEVICE;
    const driver_return_code_t rc = cdio_close_tray(m_strSource.c_str(), &driver);
    if (rc != DRIVER_OP_SUCCESS && rc != DRIVER_OP_UNSUPPORTED)
        return MCIERR_HARDWARE;
    {
        std::lock_guard state(StateMutex());
        m_bDoorOpen = false;
    }
    Reopen(false);
    return 0;
}

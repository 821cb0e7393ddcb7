#include "plugins/MpegDecoder.h"

#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <pthread.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace {

// The decoder always hands stereo PCM to the output; mono files are spread to both sides.
constexpr int kOutputChannels = 2;
constexpr int kBytesPerFrame = kOutputChannels * 2;

// Files up to this size are scanned frame header by frame header for their exact length
// when they are opened (a few milliseconds); longer ones are estimated, so that opening a
// long file never holds the user-interface thread for the seconds a full scan takes.
constexpr off_t kScanLimitBytes = 8 * 1024 * 1024;

constexpr long kResyncLimitBytes = 64 * 1024;

std::atomic<bool> g_bBlockReads{false};
std::atomic<bool> g_bReadBlocked{false};

// Test seam, within a read: holds it up while BlockReadsForTest asks.
void HoldReadForTest()
{
    if (!g_bBlockReads.load())
        return;
    g_bReadBlocked.store(true);
    while (g_bBlockReads.load())
        g_bBlockReads.wait(true);
    g_bReadBlocked.store(false);
}

// The lowest bitrate a frame of this MPEG version can have, in bits per second.
long MinBitrate(const mpg123_frameinfo& frame)
{
    return frame.version == MPG123_1_0 ? 32000 : 8000;
}

// The length in PCM frames of a file of fileBytes made of frames like the first one.
std::int64_t EstimateLength(off_t fileBytes, const mpg123_frameinfo& frame, long rate, int spf)
{
    if (frame.bitrate > 0)
        return static_cast<std::int64_t>(fileBytes) * 8 * rate / (frame.bitrate * 1000L);
    return frame.framesize > 0 ? static_cast<std::int64_t>(fileBytes) / frame.framesize * spf : 0;
}

// The length of the open file: the exact one for a small file; for a long one the Info
// frame's, unless the file could not hold that many frames even at the lowest bitrate (a
// corrupt count), else the estimate from the first frames and the file size.
std::int64_t PlausibleLength(mpg123_handle* handle, off_t fileBytes, long rate)
{
    if (fileBytes <= kScanLimitBytes && mpg123_scan(handle) != MPG123_OK)
        return 0;
    const off_t length = mpg123_length(handle);
    mpg123_frameinfo frame{};
    if (length <= 0 || mpg123_info(handle, &frame) != MPG123_OK)
        return 0;
    const std::int64_t most = static_cast<std::int64_t>(fileBytes) * 8 * rate / MinBitrate(frame);
    if (length <= most)
        return length;
    return std::min(most, EstimateLength(fileBytes, frame, rate, mpg123_spf(handle)));
}

} // namespace

// One opened file as the decode thread reads it. Whoever lets go of it last (the decoder, or
// a thread that was left in a read) frees the handle and the file.
struct CMpegDecoder::Reader
{
    mpg123_handle* handle = nullptr;
    int fd = -1; // watched for a removal

    Reader(mpg123_handle* h, int f)
        : handle(h)
        , fd(f)
    {}
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;
    ~Reader()
    {
        mpg123_delete(handle);
        if (fd >= 0)
            ::close(fd);
    }
};

// What Close and one decode thread decide between them; the thread holds it to its end.
struct CMpegDecoder::ReadGate
{
    enum : int { kIdle, kReading, kLeft };

    std::atomic<bool> bQuit{false};
    // kReading while the thread reads; Close turns it to kLeft to leave the thread behind,
    // the thread back to kIdle once the read returns: exactly one of them wins.
    std::atomic<int> nRead{kIdle};
};

void CMpegDecoder::BlockReadsForTest(bool bBlock)
{
    g_bBlockReads.store(bBlock);
    g_bBlockReads.notify_all();
}

bool CMpegDecoder::ReadBlockedForTest()
{
    return g_bReadBlocked.load();
}

CMpegDecoder::~CMpegDecoder()
{
    if (m_thread.joinable() || m_open.pReader != nullptr) {
        Close();
    }
}

int CMpegDecoder::SetOutput(IOutputPlugin* pOutput)
{
    if (m_thread.joinable() || m_open.pReader != nullptr) {
        Close();
    }
    m_pOutput = pOutput;
    return 1;
}

bool CMpegDecoder::OpenFile(const char* pszPath, MpegFile& file, PluginMediaInfo* pInfo)
{
    // A FIFO or a device would block or never end; only plain files are opened.
    struct stat st
    {};
    if (pszPath == nullptr || pInfo == nullptr || ::stat(pszPath, &st) != 0 ||
        !S_ISREG(st.st_mode)) {
        return false;
    }
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr) {
        return false;
    }
    // Decoding goes on past the length found at open (no MPG123_NO_FRANKENSTEIN), so that
    // damage the scan stopped at is met again while playing and reported as a failure. The
    // encoder's delay and padding are cut off (gapless decoding, whatever the library's
    // default), so that files cut from one piece join seamlessly.
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    // A damaged stretch (a bad sector, a cut) is searched past for this many bytes before
    // the decoder gives up; the library's own limit of 1 KiB gives up at the first scratch.
    mpg123_param(handle, MPG123_RESYNC_LIMIT, kResyncLimitBytes, 0.0);

    // Stereo 16-bit at the file's own rate, fixed once the first frame is read; opening reads
    // the first frames only.
    long rate = 0;
    int channels = 0;
    int encoding = 0;
    // The file is also held open here, so that a removal while it plays can be seen.
    const int fd = ::open(pszPath, O_RDONLY | O_CLOEXEC);
    auto fail = [&] {
        mpg123_delete(handle);
        if (fd >= 0) {
            ::close(fd);
        }
        return false;
    };
    if (fd < 0 || mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format2(handle, 0, kOutputChannels, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(handle, pszPath) != MPG123_OK ||
        mpg123_getformat(handle, &rate, &channels, &encoding) != MPG123_OK || rate <= 0 ||
        mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format(handle, rate, kOutputChannels, MPG123_ENC_SIGNED_16) != MPG123_OK) {
        return fail();
    }
    const std::int64_t length = PlausibleLength(handle, st.st_size, rate);
    mpg123_frameinfo frame{};
    if (length <= 0 || mpg123_info(handle, &frame) != MPG123_OK) {
        return fail();
    }
    try {
        file.pReader = std::make_shared<Reader>(handle, fd);
    } catch (const std::bad_alloc&) {
        return fail();
    }
    file.strPath = pszPath;
    file.nFileSize = st.st_size;
    file.nRate = rate;
    file.nLengthFrames = length;

    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->nSampleRate = static_cast<std::int32_t>(rate);
    pInfo->nChannels = frame.mode == MPG123_M_MONO ? 1 : 2;
    pInfo->nLayer = frame.layer;
    pInfo->nBitrateKbps = frame.bitrate;
    pInfo->nVariableRate = frame.vbr != MPG123_CBR ? 1 : 0;
    pInfo->nLengthSeconds =
        static_cast<std::int32_t>(std::min<std::int64_t>(length / rate, INT32_MAX));
    return true;
}

int CMpegDecoder::Open(const char* pszPath, PluginMediaInfo* pInfo)
{
    Close();
    MpegFile file;
    if (!OpenFile(pszPath, file, pInfo)) {
        return 0;
    }
    m_nOpenRate.store(file.nRate);
    m_open = std::move(file);
    m_nLengthMs.store(m_open.nLengthFrames * 1000 / m_open.nRate);
    m_seek.Reset(0);
    return 1;
}

int CMpegDecoder::QueueNext(const char* pszPath, PluginMediaInfo* pInfo)
{
    const long rate = m_nOpenRate.load();
    MpegFile file;
    if (rate == 0 || !OpenFile(pszPath, file, pInfo)) {
        return 0;
    }
    // The output plays one rate; another would need a new output, and a gap. The file starts
    // at its beginning here, so that the decode thread never reads under m_chainLock.
    if (file.nRate != rate || mpg123_seek(file.pReader->handle, 0, SEEK_SET) < 0) {
        return 0;
    }
    {
        std::lock_guard lock(m_chainLock);
        m_next = std::move(file);
        m_bNextHeard.store(false);
    }
    // A decode thread waiting for the open file's end to play out is woken to chain it.
    const int state = m_nState.load();
    if (m_pOutput != nullptr && state != PLUGIN_STATE_STOPPED) {
        m_pOutput->SetPaused(state == PLUGIN_STATE_PAUSED ? 1 : 0);
    }
    return 1;
}

int CMpegDecoder::DropNext()
{
    bool bTaken = false;
    {
        std::lock_guard lock(m_chainLock);
        m_next = MpegFile{};
        bTaken = m_bChainTaken;
        m_bNextHeard.store(false);
    }
    if (bTaken) {
        InterruptOutput();
        m_bUnchain.store(true);
        PostCommand();
    }
    return 1;
}

int CMpegDecoder::NextHeard()
{
    return m_bNextHeard.load() ? 1 : 0;
}

int CMpegDecoder::Close()
{
    StopThread();
    if (m_bOutputOpen) {
        m_pOutput->Close();
        m_bOutputOpen = false;
    }
    // Each file is freed now, or by a thread left in a read once that returns.
    m_open = MpegFile{};
    {
        std::lock_guard lock(m_chainLock);
        m_next = MpegFile{};
        m_previous = MpegFile{};
        m_bChainTaken = false;
    }
    m_bUnchain.store(false);
    m_bNextHeard.store(false);
    m_nOpenRate.store(0);
    m_nState.store(PLUGIN_STATE_STOPPED);
    return 1;
}

int CMpegDecoder::Play()
{
    if (m_pOutput == nullptr || m_nState.load() != PLUGIN_STATE_STOPPED) {
        return 0;
    }
    // A thread that played to the end has finished or is about to.
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_open.pReader == nullptr || mpg123_seek(m_open.pReader->handle, 0, SEEK_SET) < 0) {
        return 0;
    }
    // Each thread has its own gate: one that Close left behind still holds the old one.
    try {
        m_pGate = std::make_shared<ReadGate>();
    } catch (const std::bad_alloc&) {
        return 0;
    }
    if (m_pOutput->Open(static_cast<int>(m_open.nRate), kOutputChannels) == 0) {
        return 0;
    }
    m_bOutputOpen = true;
    m_seek.Reset(0);
    m_nState.store(PLUGIN_STATE_PLAYING);
    try {
        m_thread = std::thread([this, gate = m_pGate] { DecodeLoop(gate); });
    } catch (const std::system_error&) {
        m_nState.store(PLUGIN_STATE_STOPPED);
        return 0;
    }
    return 1;
}

int CMpegDecoder::SeekMilliseconds(std::int64_t nMilliseconds)
{
    if (m_nState.load() == PLUGIN_STATE_STOPPED || !m_thread.joinable()) {
        return 0;
    }
    InterruptOutput();
    const long rate = m_nOpenRate.load();
    std::int64_t target = std::max<std::int64_t>(nMilliseconds, 0);
    if (rate > 0) {
        target = std::min(target, m_nLengthMs.load());
    }
    m_seek.Ask(target);
    PostCommand();
    return 1;
}

std::int64_t CMpegDecoder::GetPositionMilliseconds()
{
    // The rate of every chained file is the open file's (only such files are chained).
    const std::int64_t played =
        m_bOutputOpen && m_pOutput != nullptr ? m_pOutput->GetPlayedFrames() : 0;
    return m_seek.PositionMs(m_nOpenRate.load(), played);
}

void CMpegDecoder::StopThread()
{
    if (!m_thread.joinable()) {
        return;
    }
    InterruptOutput();
    m_pGate->bQuit.store(true);
    PostCommand();
    // A read in progress may never return: the thread is left to it, and drops what it read.
    int reading = ReadGate::kReading;
    const bool bLeft = m_pGate->nRead.compare_exchange_strong(reading, ReadGate::kLeft);
    if (bLeft) {
        m_thread.detach();
    } else {
        m_thread.join();
    }
    m_pGate.reset();
}

void CMpegDecoder::DecodeLoop(const std::shared_ptr<ReadGate>& gate)
{
    pthread_setname_np(pthread_self(), "dekoda-decode");
    ReadGate& g = *gate;
    // Marks a read; false when the decoder quits (nothing is read then).
    auto beginRead = [&g] {
        g.nRead.store(ReadGate::kReading);
        if (g.bQuit.load()) {
            return false;
        }
        HoldReadForTest();
        return true;
    };
    // False when Close left the thread in the read: then nothing but what the thread shares
    // (the gate and the file it read) may be touched, and the thread returns at once.
    auto endRead = [&g] {
        int reading = ReadGate::kReading;
        return g.nRead.compare_exchange_strong(reading, ReadGate::kIdle);
    };
    using Clock = std::chrono::steady_clock;
    std::int64_t base = 0; // file position, in frames, of the output's played count 0
    unsigned char* pcm = nullptr;
    std::size_t pending = 0;
    bool decodedAll = false;
    int failure = 0; // the PLUGIN_FAILURE_ reason that ended decoding early; 0 for none
    unsigned framesSinceCheck = 0;
    int reported = -1;
    Clock::time_point reportedAt{};
    std::uint64_t writtenBytes = 0; // into the output since its last Flush
    std::int64_t boundary = -1;     // output frame where a chained file begins; -1 for none

    // The chained file's first sample has been heard: it is the open file from now on.
    auto passBoundary = [&] {
        if (boundary < 0 || m_pOutput->GetPlayedFrames() < boundary) {
            return;
        }
        base = -boundary;
        m_seek.SetBase(base);
        m_nLengthMs.store(m_open.nLengthFrames * 1000 / m_open.nRate);
        boundary = -1;
        reported = -1;
        {
            std::lock_guard lock(m_chainLock);
            m_previous = MpegFile{};
            m_bChainTaken = false;
        }
        m_bNextHeard.store(true);
        Report(PLUGIN_CALLBACK_NEXT, 0);
    };
    // Seeks the open file to the frame target and starts the output afresh from there. False
    // when Close left the thread in the seek.
    auto seekOpen = [&](std::int64_t target) {
        // Held through the seek, so that a Close meanwhile cannot free it under the thread.
        const std::shared_ptr<Reader> reader = m_open.pReader;
        if (!beginRead()) {
            return false;
        }
        const off_t reached = mpg123_seek(reader->handle, static_cast<off_t>(target), SEEK_SET);
        if (!endRead()) {
            return false;
        }
        m_pOutput->Flush();
        base = reached >= 0 ? reached : target;
        m_seek.SetBase(base);
        writtenBytes = 0;
        pending = 0;
        decodedAll = reached < 0;
        failure = 0;
        reported = -1;
        return true;
    };
    // Takes a switch to the chained file back before it is heard: the first file is the open
    // one again, the chained one is let go.
    auto takeBack = [&] {
        MpegFile chained = std::move(m_open);
        std::lock_guard lock(m_chainLock);
        m_open = std::move(m_previous);
        m_previous = MpegFile{};
        m_bChainTaken = false;
        boundary = -1;
    };
    // Takes the switch back and decodes on from what has been heard of the first file. False
    // when Close left the thread in the seek.
    auto unchain = [&] {
        if (boundary < 0) {
            return true;
        }
        const std::int64_t heard = base + m_pOutput->GetPlayedFrames();
        takeBack();
        return seekOpen(heard);
    };
    // At the end of the open file: switches to the queued file, if any (QueueNext put it at
    // its beginning), so that its first sample follows the last one written. False when none
    // is queued.
    auto chainQueued = [&] {
        std::lock_guard lock(m_chainLock);
        if (m_next.pReader == nullptr) {
            return false;
        }
        m_previous = std::move(m_open);
        m_open = std::move(m_next);
        m_next = MpegFile{};
        m_bChainTaken = true;
        boundary = static_cast<std::int64_t>(writtenBytes / kBytesPerFrame);
        return true;
    };

    auto reportElapsed = [&] {
        passBoundary();
        const auto seconds = static_cast<int>((base + m_pOutput->GetPlayedFrames()) / m_open.nRate);
        const auto now = Clock::now();
        if (seconds != reported || now - reportedAt >= kReportInterval) {
            reported = seconds;
            reportedAt = now;
            Report(PLUGIN_CALLBACK_ELAPSED, seconds);
        }
    };

    for (;;) {
        // The counter is read before the requests, so a request made after this read also
        // changes the counter and cuts the paused wait below short.
        const unsigned seen = m_nCommands.load();
        if (g.bQuit.load()) {
            return;
        }
        if (m_bUnchain.exchange(false) && !unchain()) {
            return;
        }
        const std::int64_t seekTo = m_seek.Take();
        if (seekTo >= 0) {
            // A seek is within the file the user sees, the one heard now: unchained first.
            if (boundary >= 0) {
                takeBack();
            }
            // Rounded up to a whole frame, so that the position read back in whole
            // milliseconds is the one asked for.
            const std::int64_t target =
                std::min<std::int64_t>((seekTo * m_open.nRate + 999) / 1000, m_open.nLengthFrames);
            if (!seekOpen(target)) {
                return;
            }
            m_seek.Carried(seekTo);
        }
        const int state = m_nState.load();
        if (state == PLUGIN_STATE_PAUSED) {
            reportElapsed();
            m_nCommands.wait(seen);
            continue;
        }
        reportElapsed();

        if (pending > 0) {
            const int taken =
                m_pOutput->Write(pcm, static_cast<int>(std::min<std::size_t>(pending, 1 << 20)));
            if (taken > 0) {
                pcm += taken;
                pending -= static_cast<std::size_t>(taken);
                writtenBytes += static_cast<std::uint64_t>(taken);
            } else {
                // Nothing taken: woken to look at the time, or interrupted (the request that
                // comes with an interruption is on its way).
                std::this_thread::yield();
            }
            continue;
        }
        if (!decodedAll) {
            off_t frameNumber = 0;
            std::size_t bytes = 0;
            std::string reason;
            bool bCutShort = false;
            // Held through the read, so that a Close meanwhile cannot free it under the thread;
            // between beginRead and endRead nothing of the decoder is touched.
            const std::shared_ptr<Reader> reader = m_open.pReader;
            mpg123_handle* const handle = reader->handle;
            const std::int64_t fileSize = m_open.nFileSize;
            if (!beginRead()) {
                return;
            }
            if (++framesSinceCheck >= kRemovalCheckFrames) {
                framesSinceCheck = 0;
                struct stat st
                {};
                if (::fstat(reader->fd, &st) == 0 && st.st_nlink == 0) {
                    reason = "the file was removed while it played";
                }
            }
            const int err = reason.empty() ? mpg123_decode_frame(handle, &frameNumber, &pcm, &bytes)
                                           : MPG123_ERR;
            if (err != MPG123_OK && err != MPG123_NEW_FORMAT && reason.empty()) {
                struct stat st
                {};
                bCutShort = ::fstat(reader->fd, &st) == 0 && st.st_size < fileSize;
            }
            if (!endRead()) {
                return;
            }
            if (err == MPG123_OK || err == MPG123_NEW_FORMAT) {
                pending = bytes - bytes % kBytesPerFrame;
            } else {
                // The end of the stream, or a read error or damage past which the decoder
                // finds no frame: then the end is reported as a failure.
                decodedAll = true;
                if (bCutShort) {
                    reason = "the file was cut short while it played";
                } else if (reason.empty() && err != MPG123_DONE) {
                    reason = mpg123_errcode(handle) == MPG123_ERR_READER
                                 ? std::string("the file could not be read on")
                                 : std::string("the stream is damaged past repair (") +
                                       mpg123_strerror(handle) + ")";
                    failure = mpg123_errcode(handle) == MPG123_ERR_READER ? PLUGIN_FAILURE_READ
                                                                          : PLUGIN_FAILURE_DECODE;
                }
                if (reason.empty() && err == MPG123_DONE && boundary < 0 && chainQueued()) {
                    decodedAll = false;
                    framesSinceCheck = 0;
                    continue;
                }
                if (!reason.empty()) {
                    if (failure == 0) {
                        failure = PLUGIN_FAILURE_READ;
                    }
                    std::fprintf(stderr, "sorvane: %s: %s\n", m_open.strPath.c_str(),
                                 reason.c_str());
                }
            }
            continue;
        }
        // A file queued while the last one's end was playing out still follows it.
        if (failure == 0 && boundary < 0 && chainQueued()) {
            decodedAll = false;
            framesSinceCheck = 0;
            continue;
        }
        if (m_pOutput->WaitDrained(kDrainWaitMs) != 0) {
            int expected = PLUGIN_STATE_PLAYING;
            if (m_nState.compare_exchange_strong(expected, PLUGIN_STATE_STOPPED)) {
                reportElapsed();
                if (failure != 0) {
                    Report(PLUGIN_CALLBACK_FAILED, failure);
                } else {
                    Report(PLUGIN_CALLBACK_END, 0);
                }
                return;
            }
        }
    }
}

#include "plugins/MpegDecoder.h"

#include <mpg123.h>

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// The decoder always hands stereo PCM to the output; mono files are spread to both sides.
constexpr int kOutputChannels = 2;

// Files up to this size whose Info frame does not count their frames are scanned frame header
// by frame header for their exact length when they are opened; longer ones are estimated, so that
// opening a long file never holds the user-interface thread for the seconds a full scan takes.
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

// The length in PCM frames of a file of fileBytes made of frames like the first one.
std::int64_t EstimateLength(off_t fileBytes, const mpg123_frameinfo& frame, long rate, int spf)
{
    if (frame.bitrate > 0)
        return static_cast<std::int64_t>(fileBytes) * 8 * rate / (frame.bitrate * 1000L);
    return frame.framesize > 0 ? static_cast<std::int64_t>(fileBytes) / frame.framesize * spf : 0;
}

// Whether the open file's Info frame counts its frames, as far as its size can tell: an
// encoder that wrote its delay into that frame (the library reads it from there) wrote the
// count too, and a file of constant bitrate holds at least the bytes of that many frames
// (tags only add to its size). A file cut short after it was encoded fails the second test.
bool InfoFrameCounts(mpg123_handle* handle, off_t fileBytes, long rate)
{
    long delay = -1;
    double unused = 0;
    const off_t length = mpg123_length(handle);
    mpg123_frameinfo frame{};
    if (mpg123_getstate(handle, MPG123_ENC_DELAY, &delay, &unused) != MPG123_OK || delay < 0 ||
        length <= 0 || mpg123_info(handle, &frame) != MPG123_OK)
        return false;
    if (frame.vbr != MPG123_CBR || frame.bitrate <= 0)
        return true;
    const int spf = mpg123_spf(handle);
    return length <= EstimateLength(fileBytes, frame, rate, spf) + spf;
}

// The length of the open file: the Info frame's where it counts the frames, else the exact
// one for a small file (scanned); for a long one the Info frame's unless the file could not
// hold that many frames even at the lowest bitrate (a corrupt count), else the estimate from
// the first frames and the file size. The scan reads every frame header of the file, which
// would hold every start of a file for tens of milliseconds.
std::int64_t PlausibleLength(mpg123_handle* handle, off_t fileBytes, long rate)
{
    if (fileBytes <= kScanLimitBytes && !InfoFrameCounts(handle, fileBytes, rate) &&
        mpg123_scan(handle) != MPG123_OK)
        return 0;
    const off_t length = mpg123_length(handle);
    mpg123_frameinfo frame{};
    if (length <= 0 || mpg123_info(handle, &frame) != MPG123_OK)
        return 0;
    // The lowest bitrate a frame of this MPEG version can have, in bits per second.
    const long minBitrate = frame.version == MPG123_1_0 ? 32000 : 8000;
    const std::int64_t most = static_cast<std::int64_t>(fileBytes) * 8 * rate / minBitrate;
    if (length <= most)
        return length;
    return std::min(most, EstimateLength(fileBytes, frame, rate, mpg123_spf(handle)));
}

// A handle on the file at pszPath that decodes it to stereo 16-bit at its own rate (*pRate),
// fixed once the first frame is read (opening reads the first frames only); null when it is
// not MPEG audio.
mpg123_handle* OpenHandle(const char* pszPath, long* pRate)
{
    mpg123_handle* handle = mpg123_new(nullptr, nullptr);
    if (handle == nullptr)
        return nullptr;
    // Decoding goes on past the length found at open (no MPG123_NO_FRANKENSTEIN), so that
    // damage the scan stopped at is met again while playing and reported as a failure. The
    // encoder's delay and padding are cut off (gapless decoding, whatever the library's
    // default), so that files cut from one piece join seamlessly.
    mpg123_param(handle, MPG123_ADD_FLAGS, MPG123_QUIET | MPG123_GAPLESS, 0.0);
    // A damaged stretch (a bad sector, a cut) is searched past for this many bytes before
    // the decoder gives up; the library's own limit of 1 KiB gives up at the first scratch.
    mpg123_param(handle, MPG123_RESYNC_LIMIT, kResyncLimitBytes, 0.0);
    int channels = 0;
    int encoding = 0;
    if (mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format2(handle, 0, kOutputChannels, MPG123_ENC_SIGNED_16) != MPG123_OK ||
        mpg123_open(handle, pszPath) != MPG123_OK ||
        mpg123_getformat(handle, pRate, &channels, &encoding) != MPG123_OK || *pRate <= 0 ||
        mpg123_format_none(handle) != MPG123_OK ||
        mpg123_format(handle, *pRate, kOutputChannels, MPG123_ENC_SIGNED_16) != MPG123_OK) {
        mpg123_delete(handle);
        return nullptr;
    }
    return handle;
}

} // namespace

// One opened file as the decode thread reads it. Whoever lets go of it last (the decoder, or
// a thread that was left in a read) frees the handle and the file.
struct CMpegDecoder::Reader
{
    mpg123_handle* handle = nullptr;
    int fd = -1; // watched for a removal
    ~Reader()
    {
        mpg123_delete(handle);
        ::close(fd);
    }
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

CMpegDecoder::CMpegDecoder()
    : CDecoderBase("dekoda-decode")
{}

CMpegDecoder::~CMpegDecoder()
{
    Shut();
}

int CMpegDecoder::Open(const char* pszPath, PluginMediaInfo* pInfo)
{
    SORVANE_EXPECT(OnMainThread());
    Close();
    // A FIFO or a device would block or never end; only plain files are opened.
    struct stat st
    {};
    if (pszPath == nullptr || pInfo == nullptr || ::stat(pszPath, &st) != 0 || !S_ISREG(st.st_mode))
        return 0;
    // The file is also held open here, so that a removal while it plays can be seen.
    const int fd = ::open(pszPath, O_RDONLY | O_CLOEXEC);
    long rate = 0;
    mpg123_handle* handle = fd < 0 ? nullptr : OpenHandle(pszPath, &rate);
    std::int64_t length = 0;
    mpg123_frameinfo frame{};
    std::shared_ptr<Reader> reader;
    if (handle != nullptr) {
        length = PlausibleLength(handle, st.st_size, rate);
        try {
            if (length > 0 && mpg123_info(handle, &frame) == MPG123_OK) {
                reader = std::make_shared<Reader>();
                reader->handle = handle;
                reader->fd = fd;
            }
        } catch (const std::bad_alloc&) {
            // Nothing is open: the handle and the file are let go below.
        }
    }
    if (reader == nullptr) {
        mpg123_delete(handle);
        if (fd >= 0)
            ::close(fd);
        return 0;
    }
    m_pReader = std::move(reader);
    m_nFileSize = st.st_size;
    m_nFramesSinceCheck = 0;
    std::memset(pInfo, 0, sizeof(*pInfo));
    pInfo->nSampleRate = static_cast<std::int32_t>(rate);
    pInfo->nChannels = frame.mode == MPG123_M_MONO ? 1 : 2;
    pInfo->nLayer = frame.layer;
    pInfo->nBitrateKbps = frame.bitrate;
    pInfo->nVariableRate = frame.vbr != MPG123_CBR ? 1 : 0;
    pInfo->nLengthSeconds =
        static_cast<std::int32_t>(std::min<std::int64_t>(length / rate, INT32_MAX));
    Opened(pszPath, static_cast<int>(rate), kOutputChannels, PLUGIN_PCM_S16, length);
    return 1;
}

std::int64_t CMpegDecoder::RewindFile()
{
    SORVANE_EXPECT(OnMainThread());
    return m_pReader != nullptr && mpg123_seek(m_pReader->handle, 0, SEEK_SET) >= 0 ? 0 : -1;
}

void CMpegDecoder::CloseFile()
{
    m_pReader.reset();
    m_nFileSize = 0;
}

std::int64_t CMpegDecoder::SeekFile(CReadGate& gate, std::int64_t nTarget, int* pFailure)
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    // Held through the seek, so that a Close meanwhile cannot free it under the thread.
    const std::shared_ptr<Reader> reader = m_pReader;
    if (!gate.BeginRead())
        return -1;
    const off_t reached = mpg123_seek(reader->handle, static_cast<off_t>(nTarget), SEEK_SET);
    if (!gate.EndRead())
        return -1;
    *pFailure = 0;
    return reached >= 0 ? static_cast<std::int64_t>(reached) : -1;
}

CDecoderBase::Block CMpegDecoder::DecodeBlock(CReadGate& gate)
{
    SORVANE_EXPECT(m_decodeThread.Mine());
    // Held through the read, so that a Close meanwhile cannot free it under the thread; between
    // BeginRead and EndRead nothing of the decoder is touched.
    const std::shared_ptr<Reader> reader = m_pReader;
    const std::int64_t fileSize = m_nFileSize;
    const bool bLookForRemoval = ++m_nFramesSinceCheck >= kRemovalCheckFrames;
    if (bLookForRemoval)
        m_nFramesSinceCheck = 0;
    if (!gate.BeginRead())
        return {};
    HoldReadForTest();
    struct stat st
    {};
    const bool bRemoved = bLookForRemoval && ::fstat(reader->fd, &st) == 0 && st.st_nlink == 0;
    off_t frameNumber = 0;
    unsigned char* pcm = nullptr;
    std::size_t bytes = 0;
    const int err =
        bRemoved ? MPG123_ERR : mpg123_decode_frame(reader->handle, &frameNumber, &pcm, &bytes);
    const bool bCutShort = !bRemoved && err != MPG123_OK && err != MPG123_NEW_FORMAT &&
                           ::fstat(reader->fd, &st) == 0 && st.st_size < fileSize;
    if (!gate.EndRead())
        return {};
    Block block;
    if (err == MPG123_OK || err == MPG123_NEW_FORMAT) {
        block.pPcm = pcm;
        block.nBytes = bytes;
        return block;
    }
    // The end of the stream, or a read error or damage past which the decoder finds no frame:
    // then the end is reported as a failure.
    block.bEnd = true;
    if (bRemoved || bCutShort) {
        block.nFailure = PLUGIN_FAILURE_READ;
        block.strReason = bRemoved ? "the file was removed while it played"
                                   : "the file was cut short while it played";
    } else if (err != MPG123_DONE) {
        const bool bRead = mpg123_errcode(reader->handle) == MPG123_ERR_READER;
        block.nFailure = bRead ? PLUGIN_FAILURE_READ : PLUGIN_FAILURE_DECODE;
        block.strReason = bRead ? std::string("the file could not be read on")
                                : std::string("the stream is damaged past repair (") +
                                      mpg123_strerror(reader->handle) + ")";
    }
    return block;
}

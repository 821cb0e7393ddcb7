#include "media/MciDevice.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <vector>

namespace {

// Frames decoded at a time: the most a stream's producer waits for room for, so that the
// output wakes the decode thread once the room is there.
constexpr std::size_t kChunkFrames = kAudioStreamChunkFrames;
constexpr std::uint64_t kUnknownFrame = std::numeric_limits<std::uint64_t>::max();

std::atomic<unsigned> g_nStallNextReadMs{0};
std::atomic<bool> g_bReadStalled{false};
std::atomic<bool> g_bBlockReads{false};

// Test seam, before a read: holds it up as StallNextReadForTest and BlockReadsForTest ask.
void HoldReadForTest()
{
    if (const unsigned stall = g_nStallNextReadMs.exchange(0); stall > 0) {
        g_bReadStalled.store(true);
        std::this_thread::sleep_for(std::chrono::milliseconds(stall));
        g_bReadStalled.store(false);
    }
    if (g_bBlockReads.load()) {
        g_bReadStalled.store(true);
        while (g_bBlockReads.load())
            g_bBlockReads.wait(true);
        g_bReadStalled.store(false);
    }
}

std::atomic<unsigned> g_nStallAfterFailedReadMs{0};

void StallAfterFailedRead()
{
    if (const unsigned stall = g_nStallAfterFailedReadMs.exchange(0); stall > 0)
        std::this_thread::sleep_for(std::chrono::milliseconds(stall));
}

} // namespace

void CMciDevice::StallNextReadForTest(unsigned ms)
{
    g_nStallNextReadMs.store(ms);
}

void CMciDevice::BlockReadsForTest(bool bBlock)
{
    g_bBlockReads.store(bBlock);
    g_bBlockReads.notify_all();
}

bool CMciDevice::ReadStalledForTest()
{
    return g_bReadStalled.load();
}

void CMciDevice::StallAfterFailedReadForTest(unsigned ms)
{
    g_nStallAfterFailedReadMs.store(ms);
}

CMciDevice::~CMciDevice()
{
    Close();
}

MCIERROR CMciDevice::ReadError(std::string& reason)
{
    reason = "the medium cannot be read";
    return MCIERR_FILE_READ;
}

void CMciDevice::Notify(DWORD_PTR callback, WPARAM code)
{
    const auto hwnd = static_cast<HWND>(callback & 0xFFFFu);
    if (hwnd != 0)
        PostMessage(hwnd, MM_MCINOTIFY, code, static_cast<LPARAM>(m_nId));
}

std::uint64_t CMciDevice::MsToFrames(std::uint64_t ms) const
{
    const auto rate = static_cast<std::uint64_t>(Format().nRate);
    return (ms * rate + 500) / 1000;
}

DWORD CMciDevice::FramesToMs(std::uint64_t frames) const
{
    const auto rate = static_cast<std::uint64_t>(Format().nRate);
    return static_cast<DWORD>(std::min<std::uint64_t>((frames * 1000 + rate / 2) / rate,
                                                      std::numeric_limits<DWORD>::max()));
}

bool CMciDevice::IsTimeFormatSupported(DWORD format) const
{
    return format == MCI_FORMAT_MILLISECONDS;
}

MCIERROR CMciDevice::ToFrame(DWORD value, std::uint64_t& frame) const
{
    frame = MsToFrames(value);
    if (frame <= LengthFrames())
        return 0;
    if (value > FramesToMs(LengthFrames()))
        return MCIERR_OUTOFRANGE;
    frame = LengthFrames();
    return 0;
}

DWORD CMciDevice::FromFrame(std::uint64_t frame) const
{
    return FramesToMs(frame);
}

MCIERROR CMciDevice::SetDoor(bool)
{
    return MCIERR_UNSUPPORTED_FUNCTION;
}

MCIERROR CMciDevice::StatusItem(DWORD item, DWORD flags, DWORD track, DWORD_PTR& answer)
{
    const bool bTrack = (flags & MCI_TRACK) != 0;
    if (bTrack && track != 1 && (item == MCI_STATUS_LENGTH || item == MCI_STATUS_POSITION))
        return MCIERR_OUTOFRANGE;
    switch (item) {
    case MCI_STATUS_LENGTH:
        answer = FromFrame(LengthFrames());
        return 0;
    case MCI_STATUS_POSITION:
        answer = FromFrame((flags & MCI_STATUS_START) != 0 || bTrack ? 0 : Position());
        return 0;
    case MCI_STATUS_NUMBER_OF_TRACKS:
    case MCI_STATUS_CURRENT_TRACK:
    case MCI_STATUS_MEDIA_PRESENT:
    case MCI_STATUS_READY:
        answer = 1;
        return 0;
    case MCI_STATUS_MODE:
        answer = m_bPlaying ? MCI_MODE_PLAY : MCI_MODE_STOP;
        return 0;
    case MCI_STATUS_TIME_FORMAT:
        answer = m_nTimeFormat;
        return 0;
    default:
        return MCIERR_UNSUPPORTED_FUNCTION;
    }
}

std::uint64_t CMciDevice::PositionLocked() const
{
    if (!m_bPlaying || m_pStream == nullptr)
        return m_nPos;
    return std::min(m_nPlayFrom + m_pStream->Played(), m_nEnd);
}

void CMciDevice::HaltLocked(WPARAM code)
{
    if (m_bPlaying) {
        m_nPos = PositionLocked();
        m_bPlaying = false;
        m_bResumable = true;
        if (m_pStream != nullptr)
            m_pStream->SetPaused(true);
    }
    if (m_hNotify != 0) {
        Notify(m_hNotify, code);
        m_hNotify = 0;
    }
    m_ended.notify_all();
}

void CMciDevice::DropJobLocked()
{
    m_job.bActive = false;
    if (m_pStream == nullptr)
        return;
    m_pStream->Flush();
    // A play that ended by itself left its stream running; emptied, with no job for the
    // decode thread, it stays paused until the next play, like the stream of a stopped play.
    m_pStream->SetPaused(true);
}

void CMciDevice::Wake()
{
    if (m_pStream == nullptr)
        return;
    std::atomic<unsigned>& wake = m_pStream->WakeCounter();
    wake.fetch_add(1);
    wake.notify_all();
}

void CMciDevice::StopDecoding()
{
    {
        std::lock_guard state(m_state);
        HaltLocked(MCI_NOTIFY_ABORTED);
        m_bResumable = false;
        DropJobLocked();
    }
    Wake();
    std::unique_lock state(m_state);
    if (ReaderOwnsMedium())
        m_idle.wait_for(state, kReadWait, [this] { return !m_bDecoding; });
    else
        m_idle.wait(state, [this] { return !m_bDecoding; });
}

void CMciDevice::BeginRead()
{
    std::lock_guard state(m_state);
    m_bReading = true;
}

bool CMciDevice::EndRead()
{
    std::lock_guard state(m_state);
    m_bReading = false;
    return !m_bQuit;
}

void CMciDevice::Close()
{
    std::lock_guard command(m_command);
    {
        std::lock_guard state(m_state);
        if (m_bClosed)
            return;
        HaltLocked(MCI_NOTIFY_ABORTED);
        m_bClosed = true;
        m_bQuit = true;
    }
    Wake();
    // A decay being rendered is completed. A read in progress is waited for kReadWait, then
    // left to the decode thread, which owns the device until it returns and then drops what
    // it read; the stream goes at once, so nothing of it is heard.
    if (m_decoder.joinable()) {
        std::unique_lock state(m_state);
        while (!m_idle.wait_for(state, kReadWait, [this] { return m_bDecoderEnded; })) {
            if (m_bReading && m_bReaderShares && ReadsMayHang()) {
                std::unique_ptr<CAudioStream> stream = std::move(m_pStream);
                state.unlock();
                m_decoder.detach();
                if (stream != nullptr)
                    stream->Close();
                return;
            }
        }
        state.unlock();
        m_decoder.join();
    }
    std::unique_ptr<CAudioStream> stream;
    {
        std::lock_guard state(m_state);
        stream = std::move(m_pStream);
    }
    if (stream == nullptr)
        return;
    // A play that ended may still have its decay queued: it plays out.
    if (stream->Ended())
        CAudioStream::CloseWhenPlayed(std::move(stream));
    else
        stream->Close();
}

void CMciDevice::OnStreamEnded()
{
    std::lock_guard state(m_state);
    if (!m_bPlaying || m_pStream == nullptr || !m_pStream->Ended())
        return;
    m_nPos = m_nFailure != 0 ? PositionLocked() : m_nEnd;
    m_nLastResult = m_nFailure;
    m_bPlaying = false;
    m_bResumable = false;
    if (m_hNotify != 0) {
        Notify(m_hNotify, m_nFailure != 0 ? MCI_NOTIFY_FAILURE : MCI_NOTIFY_SUCCESSFUL);
        m_hNotify = 0;
    }
    m_ended.notify_all();
}

void CMciDevice::DecodeLoop()
{
    enum class Phase { Idle, Music, Tail };
    CAudioStream& stream = *m_pStream;
    std::atomic<unsigned>& wake = stream.WakeCounter();
    std::vector<unsigned char> buffer(kChunkFrames * Format().FrameBytes());
    std::uint64_t decoderPos = 0; // a device opens with its decoder at the start
    std::uint64_t pos = 0;
    std::uint32_t working = 0;
    Phase phase = Phase::Idle;

    // A read failure ends the job of generation (if it is still the device's): the failure is
    // recorded first, and only then does the end go into the stream, so that the end, once
    // heard, is told as the failure it is.
    auto recordFailure = [&](std::uint32_t generation, MCIERROR code, const std::string& reason) {
        std::fprintf(stderr, "sorvane: %s: %s\n", Name().c_str(), reason.c_str());
        std::lock_guard state(m_state);
        if (m_job.generation == generation && m_job.bActive) {
            m_job.bActive = false;
            m_nFailure = code;
        }
    };
    auto endAfterFailure = [&](std::uint32_t generation) {
        stream.MarkEnd(generation);
        stream.Finish(generation);
        decoderPos = kUnknownFrame;
        phase = Phase::Idle;
    };

    for (;;) {
        const unsigned seen = wake.load();
        Job job;
        bool bQuit = false;
        {
            std::lock_guard state(m_state);
            job = m_job;
            bQuit = m_bQuit;
            m_bDecoding = job.bActive && !(bQuit && phase != Phase::Tail);
            if (!m_bDecoding)
                m_idle.notify_all();
        }
        if (!job.bActive || (bQuit && phase != Phase::Tail)) {
            if (bQuit)
                return;
            wake.wait(seen);
            continue;
        }
        if (job.generation != working) {
            working = job.generation;
            pos = job.from;
            phase = Phase::Music;
            if (decoderPos != pos) {
                BeginRead();
                const bool bMoved = Reposition(pos);
                if (!EndRead())
                    return;
                if (!bMoved) {
                    recordFailure(job.generation, MCIERR_FILE_READ, "cannot seek in the medium");
                    endAfterFailure(job.generation);
                    continue;
                }
                decoderPos = pos;
            }
        }
        if (phase == Phase::Music) {
            if (pos >= job.end) {
                stream.MarkEnd(job.generation);
                phase = Phase::Tail;
                continue;
            }
            const auto want =
                static_cast<std::size_t>(std::min<std::uint64_t>(kChunkFrames, job.end - pos));
            if (stream.Space() < want) {
                wake.wait(seen);
                continue;
            }
            BeginRead();
            HoldReadForTest();
            const std::size_t got = std::min(Decode(buffer.data(), want), want);
            // Closed while it read: the stream is gone, and what was read is dropped.
            if (!EndRead())
                return;
            decoderPos += got;
            pos += got;
            if (got < want) {
                // The last frames that could be read carry the end, after the failure.
                std::string reason;
                const MCIERROR code = ReadError(reason);
                recordFailure(job.generation, code, reason);
                stream.Write(buffer.data(), got, job.generation, true);
                StallAfterFailedRead();
                endAfterFailure(job.generation);
                continue;
            }
            // The last frames of the play carry the end.
            stream.Write(buffer.data(), got, job.generation, pos >= job.end);
            continue;
        }
        // The tail: what still sounds past the end, then nothing more.
        decoderPos = kUnknownFrame;
        const std::size_t room = std::min(kChunkFrames, stream.Space());
        if (room < kChunkFrames / 4) {
            if (bQuit)
                return;
            wake.wait(seen);
            continue;
        }
        const std::size_t n = std::min(DecodeTail(buffer.data(), room), room);
        if (n > 0) {
            stream.Write(buffer.data(), n, job.generation);
            continue;
        }
        stream.Finish(job.generation);
        phase = Phase::Idle;
        std::lock_guard state(m_state);
        if (m_job.generation == job.generation)
            m_job.bActive = false;
    }
}

MCIERROR CMciDevice::Command(UINT message, DWORD flags, void* params)
{
    if (message == MCI_STATUS)
        return Status(flags, static_cast<MCI_STATUS_PARMS*>(params));

    std::unique_lock command(m_command);
    {
        std::lock_guard state(m_state);
        if (m_bClosed)
            return MCIERR_INVALID_DEVICE_ID;
    }
    MCIERROR result = 0;
    DWORD_PTR callback = 0;
    switch (message) {
    case MCI_PLAY:
        return Play(flags, static_cast<MCI_PLAY_PARMS*>(params), command);
    case MCI_STOP:
    case MCI_PAUSE:
        if ((flags & MCI_NOTIFY) != 0 && params == nullptr)
            return MCIERR_NULL_PARAMETER_BLOCK;
        {
            std::lock_guard state(m_state);
            HaltLocked(MCI_NOTIFY_ABORTED);
        }
        if (params != nullptr)
            callback = static_cast<const MCI_GENERIC_PARMS*>(params)->dwCallback;
        break;
    case MCI_SEEK:
        result = Seek(flags, static_cast<const MCI_SEEK_PARMS*>(params));
        if (params != nullptr)
            callback = static_cast<const MCI_SEEK_PARMS*>(params)->dwCallback;
        break;
    case MCI_SET:
        result = Set(flags, static_cast<const MCI_SET_PARMS*>(params));
        if (params != nullptr)
            callback = static_cast<const MCI_SET_PARMS*>(params)->dwCallback;
        break;
    default:
        return MCIERR_UNRECOGNIZED_COMMAND;
    }
    if (result == 0 && (flags & MCI_NOTIFY) != 0)
        Notify(callback, MCI_NOTIFY_SUCCESSFUL);
    return result;
}

void CMciDevice::SetStreamTicket(AudioStreamTicket ticket)
{
    std::lock_guard state(m_state);
    m_ticket = std::move(ticket);
}

MCIERROR CMciDevice::Play(DWORD flags, MCI_PLAY_PARMS* params,
                          std::unique_lock<std::mutex>& command)
{
    if ((flags & (MCI_FROM | MCI_TO | MCI_NOTIFY)) != 0 && params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    PrepareMedium();
    {
        std::lock_guard state(m_state);
        if (const MCIERROR notReady = ReadyToPlay(); notReady != 0)
            return notReady;
    }
    // The stream and the decode thread come with the first play; opening the stream may
    // open the sound device, so it happens without m_state.
    if (m_pStream == nullptr) {
        AudioStreamTicket ticket;
        {
            std::lock_guard state(m_state);
            ticket = m_ticket;
        }
        auto stream = CAudioStream::Open(Format(), AheadMs(), this, ticket);
        if (stream == nullptr)
            return MCIERR_WAVE_OUTPUTSUNSUITABLE;
        stream->SetPaused(true);
        {
            std::lock_guard state(m_state);
            m_pStream = std::move(stream);
        }
        // The thread owns the device while it runs, when a shared_ptr owns it, so that a
        // read left to it at Close touches nothing freed.
        std::shared_ptr<CMciDevice> self = weak_from_this().lock();
        m_bReaderShares = self != nullptr;
        m_decoder = std::thread([this, self = std::move(self)] {
            DecodeLoop();
            {
                std::lock_guard state(m_state);
                m_bDecoderEnded = true;
            }
            m_idle.notify_all();
        });
    }
    std::uint64_t nPlay = 0;
    {
        std::lock_guard state(m_state);
        const std::uint64_t now = PositionLocked();
        std::uint64_t from = now;
        std::uint64_t end = PlayEnd();
        if ((flags & MCI_FROM) != 0) {
            if (const MCIERROR e = ToFrame(params->dwFrom, from); e != 0)
                return e;
        }
        if ((flags & MCI_TO) != 0) {
            if (const MCIERROR e = ToFrame(params->dwTo, end); e != 0)
                return e;
            if (end < from)
                return MCIERR_OUTOFRANGE;
        }
        from = std::min(PlayStart(from), end);
        if (m_hNotify != 0) {
            Notify(m_hNotify,
                   (flags & MCI_NOTIFY) != 0 ? MCI_NOTIFY_SUPERSEDED : MCI_NOTIFY_ABORTED);
            m_hNotify = 0;
        }
        // Playing on from where the stream stands keeps what it holds: nothing lost or
        // repeated. Anywhere else the decoder starts afresh.
        const bool bGoOn = (m_bPlaying || m_bResumable) && from == now && end == m_nEnd;
        if (!bGoOn) {
            m_bPlaying = false;
            const std::uint32_t generation = m_pStream->Flush();
            m_nPlayFrom = from;
            m_nEnd = end;
            m_nFailure = 0;
            m_job = Job{generation, from, end, from < end};
        }
        m_nPos = from;
        m_nLastResult = 0;
        nPlay = ++m_nPlays;
        if ((flags & MCI_NOTIFY) != 0)
            m_hNotify = static_cast<HWND>(params->dwCallback & 0xFFFFu);
        if (from >= end) {
            m_bPlaying = true;
            HaltLocked(MCI_NOTIFY_SUCCESSFUL);
            m_bResumable = false;
            return 0;
        }
        m_bPlaying = true;
        m_bResumable = false;
        m_pStream->SetPaused(false);
    }
    Wake();
    if ((flags & MCI_WAIT) != 0) {
        command.unlock();
        std::unique_lock state(m_state);
        m_ended.wait(state, [&] { return !m_bPlaying || m_bClosed || m_nPlays != nPlay; });
        return m_nPlays == nPlay && !m_bClosed ? m_nLastResult : 0;
    }
    return 0;
}

MCIERROR CMciDevice::Seek(DWORD flags, const MCI_SEEK_PARMS* params)
{
    const DWORD where = flags & (MCI_TO | MCI_SEEK_TO_START | MCI_SEEK_TO_END);
    if (where == 0)
        return MCIERR_MISSING_PARAMETER;
    if (where != MCI_TO && where != MCI_SEEK_TO_START && where != MCI_SEEK_TO_END)
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    if ((flags & (MCI_TO | MCI_NOTIFY)) != 0 && params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    {
        std::lock_guard state(m_state);
        std::uint64_t target = 0;
        if (where == MCI_TO) {
            if (const MCIERROR e = ToFrame(params->dwTo, target); e != 0)
                return e;
        } else if (where == MCI_SEEK_TO_END) {
            target = LengthFrames();
        }
        HaltLocked(MCI_NOTIFY_ABORTED);
        m_nPos = target;
        m_bResumable = false;
        DropJobLocked();
    }
    Wake();
    return 0;
}

MCIERROR CMciDevice::Set(DWORD flags, const MCI_SET_PARMS* params)
{
    const DWORD door = flags & (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED);
    if ((flags & (MCI_SET_TIME_FORMAT | MCI_SET_AUDIO | MCI_NOTIFY)) != 0 && params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if (door == (MCI_SET_DOOR_OPEN | MCI_SET_DOOR_CLOSED))
        return MCIERR_FLAGS_NOT_COMPATIBLE;
    if ((flags & (MCI_SET_TIME_FORMAT | MCI_SET_AUDIO)) == 0 && door == 0)
        return MCIERR_MISSING_PARAMETER;
    if ((flags & MCI_SET_AUDIO) != 0)
        return MCIERR_UNSUPPORTED_FUNCTION;
    if ((flags & MCI_SET_TIME_FORMAT) != 0) {
        std::lock_guard state(m_state);
        if (!IsTimeFormatSupported(params->dwTimeFormat))
            return MCIERR_BAD_TIME_FORMAT;
        m_nTimeFormat = params->dwTimeFormat;
    }
    if (door == 0)
        return 0;
    StopDecoding();
    return SetDoor(door == MCI_SET_DOOR_OPEN);
}

MCIERROR CMciDevice::Status(DWORD flags, MCI_STATUS_PARMS* params)
{
    if (params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if ((flags & MCI_STATUS_ITEM) == 0)
        return MCIERR_MISSING_PARAMETER;
    PrepareStatus(params->dwItem);
    MCIERROR result = 0;
    {
        std::lock_guard state(m_state);
        if (m_bClosed)
            return MCIERR_INVALID_DEVICE_ID;
        DWORD_PTR answer = 0;
        result = StatusItem(params->dwItem, flags, params->dwTrack, answer);
        if (result == 0)
            params->dwReturn = answer;
    }
    if (result == 0 && (flags & MCI_NOTIFY) != 0)
        Notify(params->dwCallback, MCI_NOTIFY_SUCCESSFUL);
    return result;
}

#include "platform/MciDevice.h"

#include <algorithm>
#include <cstring>
#include <limits>

CMciDevice::~CMciDevice()
{
    Close();
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
        answer = FromFrame((flags & MCI_STATUS_START) != 0 || bTrack ? 0 : m_nPos);
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

void CMciDevice::HaltLocked(WPARAM code)
{
    m_bPlaying = false;
    if (m_hNotify != 0) {
        Notify(m_hNotify, code);
        m_hNotify = 0;
    }
    m_ended.notify_all();
}

void CMciDevice::Halt()
{
    {
        std::lock_guard state(m_state);
        HaltLocked(MCI_NOTIFY_ABORTED);
    }
    DisconnectAudioSource(m_connection);
    m_connection = 0;
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
    }
    DisconnectAudioSource(m_connection);
    m_connection = 0;
}

std::size_t CMciDevice::Render(void* buffer, std::size_t frames)
{
    std::lock_guard state(m_state);
    if (!m_bPlaying)
        return 0;
    const auto wanted = static_cast<std::size_t>(std::min<std::uint64_t>(frames, m_nEnd - m_nPos));
    const std::size_t got = wanted > 0 ? std::min(Decode(buffer, wanted), wanted) : 0;
    m_nPos += got;
    m_nDecoderPos += got;
    if (got < wanted) {
        HaltLocked(MCI_NOTIFY_FAILURE);
        return got;
    }
    if (m_nPos < m_nEnd)
        return got;
    const std::size_t frameBytes = Format().FrameBytes();
    const auto silence = static_cast<std::size_t>(std::min<std::uint64_t>(frames - got, m_nTail));
    std::memset(static_cast<unsigned char*>(buffer) + got * frameBytes, 0, silence * frameBytes);
    m_nTail -= silence;
    if (m_nTail == 0)
        HaltLocked(MCI_NOTIFY_SUCCESSFUL);
    return got + silence;
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
        Halt();
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

MCIERROR CMciDevice::Play(DWORD flags, MCI_PLAY_PARMS* params,
                          std::unique_lock<std::mutex>& command)
{
    if ((flags & (MCI_FROM | MCI_TO | MCI_NOTIFY)) != 0 && params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    // The output is opened before its latency is read: the first play of a run must also
    // wait for its last frames to be heard before it reports its end.
    OpenAudioOutput();
    std::uint64_t nPlay = 0;
    {
        std::lock_guard state(m_state);
        if (const MCIERROR notReady = ReadyToPlay(); notReady != 0)
            return notReady;
        std::uint64_t from = m_nPos;
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
        m_nPos = from;
        m_nEnd = end;
        m_nTail = MsToFrames(AudioOutputLatencyMs());
        nPlay = ++m_nPlays;
        if (m_nDecoderPos != m_nPos) {
            if (!Reposition(m_nPos)) {
                m_bPlaying = false;
                m_ended.notify_all();
                return MCIERR_FILE_READ;
            }
            m_nDecoderPos = m_nPos;
        }
        if ((flags & MCI_NOTIFY) != 0)
            m_hNotify = static_cast<HWND>(params->dwCallback & 0xFFFFu);
        m_bPlaying = true;
        if (m_nPos >= m_nEnd) {
            HaltLocked(MCI_NOTIFY_SUCCESSFUL);
            return 0;
        }
    }
    if (m_connection == 0) {
        m_connection = ConnectAudioSource(*this, Format());
        if (m_connection == 0) {
            std::lock_guard state(m_state);
            m_hNotify = 0;
            m_bPlaying = false;
            m_ended.notify_all();
            return MCIERR_WAVE_OUTPUTSUNSUITABLE;
        }
    }
    if ((flags & MCI_WAIT) != 0) {
        command.unlock();
        std::unique_lock state(m_state);
        m_ended.wait(state, [&] { return !m_bPlaying || m_bClosed || m_nPlays != nPlay; });
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
    }
    DisconnectAudioSource(m_connection);
    m_connection = 0;
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
    if (door == MCI_SET_DOOR_OPEN)
        Halt();
    std::lock_guard state(m_state);
    return SetDoor(door == MCI_SET_DOOR_OPEN);
}

MCIERROR CMciDevice::Status(DWORD flags, MCI_STATUS_PARMS* params)
{
    if (params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if ((flags & MCI_STATUS_ITEM) == 0)
        return MCIERR_MISSING_PARAMETER;
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

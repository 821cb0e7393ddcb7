#pragma once

#include "audio/SoundOutput.h"
#include "base/WinTypes.h"
#include "framework/Messages.h"

#include <cstdint>

// The media command layer: numbered devices that play WAV files (waveform audio), Standard
// MIDI Files (sequencer) and audio CDs (CD audio) through the process-wide sound output.
//
// Threads: mciSendCommand may be called from any thread, also on one device from two threads
// at once (the user-interface thread commands, a monitor thread asks for the position).
// Each device decodes on a thread of its own into the sound output; no command or status
// query waits for a file or disc read (MCI_CLOSE alone waits for a read in progress), and an
// open holds up no command to another device. A play's end is reported by posting
// MM_MCINOTIFY (wParam = notification code, lParam = device id) to the window handle given as
// dwCallback, from the sound output's service thread, delivered on that window's thread.
//
// Notifications: a play sent with MCI_NOTIFY gets exactly one: MCI_NOTIFY_SUCCESSFUL when it
// reaches its end, MCI_NOTIFY_SUPERSEDED when a newer MCI_PLAY with MCI_NOTIFY replaces it,
// MCI_NOTIFY_ABORTED when a stop, seek, close, door open or a play without MCI_NOTIFY
// interrupts it, MCI_NOTIFY_FAILURE when the medium cannot be read on (a disc that cannot be
// read, a file cut short or removed while it plays; once what was read has been heard, with
// one line on standard error naming the medium and the reason). Any other command sent with
// MCI_NOTIFY gets MCI_NOTIFY_SUCCESSFUL once it has been carried out (nothing when it fails).
//
// Devices: waveform audio plays any WAV file libsndfile reads; the sequencer plays MIDI type 0
// and 1 through FluidSynth with the SoundFont in $SORVANE_SOUNDFONT (only that file when the
// variable is set), else /usr/share/sounds/sf2/default-GM.sf2, else the first .sf2 file in
// that folder; CD audio reads the drive or CD image (.cue, .toc, .nrg) named by the element,
// else by $SORVANE_CDROM, else the system's default drive.

using MCIERROR = DWORD;
using MCIDEVICEID = UINT;

// Commands.
inline constexpr UINT MCI_OPEN = 0x0803;
inline constexpr UINT MCI_CLOSE = 0x0804;
inline constexpr UINT MCI_PLAY = 0x0806;
inline constexpr UINT MCI_SEEK = 0x0807;
inline constexpr UINT MCI_STOP = 0x0808;
inline constexpr UINT MCI_PAUSE = 0x0809;
inline constexpr UINT MCI_SET = 0x080D;
inline constexpr UINT MCI_STATUS = 0x0814;

// MCI_CLOSE to this id closes every device the process has open.
inline constexpr MCIDEVICEID MCI_ALL_DEVICE_ID = 0xFFFF;

// Flags of every command.
inline constexpr DWORD MCI_NOTIFY = 0x00000001;
inline constexpr DWORD MCI_WAIT = 0x00000002;
inline constexpr DWORD MCI_FROM = 0x00000004;
inline constexpr DWORD MCI_TO = 0x00000008;
inline constexpr DWORD MCI_TRACK = 0x00000010;

// MCI_OPEN flags.
inline constexpr DWORD MCI_OPEN_SHAREABLE = 0x00000100;
inline constexpr DWORD MCI_OPEN_ELEMENT = 0x00000200;
inline constexpr DWORD MCI_OPEN_TYPE_ID = 0x00001000;
inline constexpr DWORD MCI_OPEN_TYPE = 0x00002000;

// MCI_SEEK flags.
inline constexpr DWORD MCI_SEEK_TO_START = 0x00000100;
inline constexpr DWORD MCI_SEEK_TO_END = 0x00000200;

// MCI_STATUS flags and items.
inline constexpr DWORD MCI_STATUS_ITEM = 0x00000100;
inline constexpr DWORD MCI_STATUS_START = 0x00000200;
inline constexpr DWORD MCI_STATUS_LENGTH = 1;
inline constexpr DWORD MCI_STATUS_POSITION = 2;
inline constexpr DWORD MCI_STATUS_NUMBER_OF_TRACKS = 3;
inline constexpr DWORD MCI_STATUS_MODE = 4;
inline constexpr DWORD MCI_STATUS_MEDIA_PRESENT = 5;
inline constexpr DWORD MCI_STATUS_TIME_FORMAT = 6;
inline constexpr DWORD MCI_STATUS_READY = 7;
inline constexpr DWORD MCI_STATUS_CURRENT_TRACK = 8;

// MCI_SET flags.
inline constexpr DWORD MCI_SET_DOOR_OPEN = 0x00000100;
inline constexpr DWORD MCI_SET_DOOR_CLOSED = 0x00000200;
inline constexpr DWORD MCI_SET_TIME_FORMAT = 0x00000400;
inline constexpr DWORD MCI_SET_AUDIO = 0x00000800;

// Time formats. Waveform audio and sequencer: milliseconds. CD audio: milliseconds, MSF
// (from the start of the disc) and TMSF (track and time within the track).
inline constexpr DWORD MCI_FORMAT_MILLISECONDS = 0;
inline constexpr DWORD MCI_FORMAT_MSF = 2;
inline constexpr DWORD MCI_FORMAT_TMSF = 10;

// Modes, as MCI_STATUS_MODE reports them.
inline constexpr DWORD MCI_MODE_NOT_READY = 524;
inline constexpr DWORD MCI_MODE_STOP = 525;
inline constexpr DWORD MCI_MODE_PLAY = 526;
inline constexpr DWORD MCI_MODE_OPEN = 530;

// Notification codes (the wParam of MM_MCINOTIFY).
inline constexpr WPARAM MCI_NOTIFY_SUCCESSFUL = 1;
inline constexpr WPARAM MCI_NOTIFY_SUPERSEDED = 2;
inline constexpr WPARAM MCI_NOTIFY_ABORTED = 4;
inline constexpr WPARAM MCI_NOTIFY_FAILURE = 8;

// Device types (with MCI_OPEN_TYPE_ID).
inline constexpr UINT MCI_DEVTYPE_CD_AUDIO = 516;
inline constexpr UINT MCI_DEVTYPE_WAVEFORM_AUDIO = 522;
inline constexpr UINT MCI_DEVTYPE_SEQUENCER = 523;

// Error codes. 0 is success; every other value has a text (mciGetErrorString).
inline constexpr MCIERROR MCIERR_BASE = 256;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_ID = MCIERR_BASE + 1;
inline constexpr MCIERROR MCIERR_UNRECOGNIZED_COMMAND = MCIERR_BASE + 5;
inline constexpr MCIERROR MCIERR_HARDWARE = MCIERR_BASE + 6;
inline constexpr MCIERROR MCIERR_INVALID_DEVICE_NAME = MCIERR_BASE + 7;
inline constexpr MCIERROR MCIERR_OUT_OF_MEMORY = MCIERR_BASE + 8;
inline constexpr MCIERROR MCIERR_MISSING_PARAMETER = MCIERR_BASE + 17;
inline constexpr MCIERROR MCIERR_UNSUPPORTED_FUNCTION = MCIERR_BASE + 18;
inline constexpr MCIERROR MCIERR_FILE_NOT_FOUND = MCIERR_BASE + 19;
inline constexpr MCIERROR MCIERR_DEVICE_NOT_READY = MCIERR_BASE + 20;
inline constexpr MCIERROR MCIERR_INTERNAL = MCIERR_BASE + 21;
inline constexpr MCIERROR MCIERR_OUTOFRANGE = MCIERR_BASE + 26;
inline constexpr MCIERROR MCIERR_FLAGS_NOT_COMPATIBLE = MCIERR_BASE + 28;
inline constexpr MCIERROR MCIERR_DEVICE_TYPE_REQUIRED = MCIERR_BASE + 31;
inline constexpr MCIERROR MCIERR_MUST_USE_SHAREABLE = MCIERR_BASE + 35;
inline constexpr MCIERROR MCIERR_BAD_TIME_FORMAT = MCIERR_BASE + 37;
inline constexpr MCIERROR MCIERR_INVALID_FILE = MCIERR_BASE + 40;
inline constexpr MCIERROR MCIERR_NULL_PARAMETER_BLOCK = MCIERR_BASE + 41;
inline constexpr MCIERROR MCIERR_NO_ELEMENT_ALLOWED = MCIERR_BASE + 45;
inline constexpr MCIERROR MCIERR_FILENAME_REQUIRED = MCIERR_BASE + 48;
inline constexpr MCIERROR MCIERR_DEVICE_NOT_INSTALLED = MCIERR_BASE + 50;
inline constexpr MCIERROR MCIERR_WAVE_OUTPUTSUNSUITABLE = MCIERR_BASE + 66;
inline constexpr MCIERROR MCIERR_SEQ_DIV_INCOMPATIBLE = MCIERR_BASE + 80;
inline constexpr MCIERROR MCIERR_SEQ_PORT_INUSE = MCIERR_BASE + 81;
inline constexpr MCIERROR MCIERR_FILE_READ = MCIERR_BASE + 92;
// Errors of this layer's own devices.
inline constexpr MCIERROR MCIERR_CUSTOM_DRIVER_BASE = MCIERR_BASE + 256;
inline constexpr MCIERROR MCIERR_SEQ_NO_SOUNDFONT = MCIERR_CUSTOM_DRIVER_BASE + 1;
inline constexpr MCIERROR MCIERR_SEQ_SOUNDFONT_INVALID = MCIERR_CUSTOM_DRIVER_BASE + 2;
inline constexpr MCIERROR MCIERR_CD_NO_DRIVE = MCIERR_CUSTOM_DRIVER_BASE + 3;
inline constexpr MCIERROR MCIERR_CD_NO_DISC = MCIERR_CUSTOM_DRIVER_BASE + 4;
inline constexpr MCIERROR MCIERR_CD_NO_AUDIO_TRACKS = MCIERR_CUSTOM_DRIVER_BASE + 5;
inline constexpr MCIERROR MCIERR_CD_IMAGE_UNREADABLE = MCIERR_CUSTOM_DRIVER_BASE + 6;
inline constexpr MCIERROR MCIERR_CD_READ = MCIERR_CUSTOM_DRIVER_BASE + 7;

// Parameter blocks. dwCallback is a window handle (only its low 16 bits are looked at) that
// receives MM_MCINOTIFY when the command carries MCI_NOTIFY.
struct MCI_GENERIC_PARMS
{
    DWORD_PTR dwCallback = 0;
};

struct MCI_OPEN_PARMS
{
    DWORD_PTR dwCallback = 0;
    MCIDEVICEID wDeviceID = 0;              // out: the new device's id
    const char* lpstrDeviceType = nullptr;  // a type id (MCI_OPEN_TYPE_ID, see MciDeviceType)
                                            // or a name: "waveaudio", "sequencer", "cdaudio"
    const char* lpstrElementName = nullptr; // the file (or, for CD audio, drive or image)
    const char* lpstrAlias = nullptr;       // accepted and not used
};

struct MCI_PLAY_PARMS
{
    DWORD_PTR dwCallback = 0;
    DWORD dwFrom = 0; // with MCI_FROM, in the device's time format
    DWORD dwTo = 0;   // with MCI_TO: the play ends there instead of at the end of the medium
};

struct MCI_SEEK_PARMS
{
    DWORD_PTR dwCallback = 0;
    DWORD dwTo = 0; // with MCI_TO, in the device's time format
};

struct MCI_SET_PARMS
{
    DWORD_PTR dwCallback = 0;
    DWORD dwTimeFormat = 0; // with MCI_SET_TIME_FORMAT
    DWORD dwAudio = 0;      // with MCI_SET_AUDIO (not supported by these devices)
};

struct MCI_STATUS_PARMS
{
    DWORD_PTR dwCallback = 0;
    DWORD_PTR dwReturn = 0; // out: the answer; left untouched when the command fails
    DWORD dwItem = 0;       // MCI_STATUS_LENGTH, _POSITION, _NUMBER_OF_TRACKS, _MODE, ...
    DWORD dwTrack = 0;      // with MCI_TRACK: the track that LENGTH or POSITION is about
};

// The form in which a device type id travels in MCI_OPEN_PARMS::lpstrDeviceType.
inline const char* MciDeviceType(UINT typeId)
{
    return reinterpret_cast<const char*>(static_cast<std::uintptr_t>(typeId));
}

// Sends a command to a device. MCI_OPEN goes to device 0 with an MCI_OPEN_PARMS; the other
// commands take the parameter block named above them (MCI_GENERIC_PARMS for MCI_CLOSE,
// MCI_STOP and MCI_PAUSE, which may also be null without MCI_NOTIFY). Returns 0 on success,
// else an error code; never throws. Supported per device:
//   MCI_OPEN   type (id or name), element, shareable (CD audio: a non-shareable open is refused
//              while the same drive is open, and a later open of it is refused meanwhile).
//   MCI_PLAY   from, to, notify, wait (waits until the play ends or is interrupted; a play
//              that failed returns the read error: MCIERR_CD_READ, MCIERR_FILE_READ).
//   MCI_STOP / MCI_PAUSE   halt and keep the position; a play without MCI_FROM goes on with
//              exactly the next frame (nothing lost or repeated).
//   MCI_SEEK   to, to start, to end; the device stands stopped at the target.
//   MCI_SET    time format; CD audio also door open (ejects a drive; succeeds and changes
//              nothing on an image) and door closed.
//   MCI_STATUS length (of a track with MCI_TRACK; CD lengths come as MSF in TMSF format),
//              position (of a track's start with MCI_TRACK), number of tracks, mode, media
//              present, ready, time format, current track.
MCIERROR mciSendCommand(MCIDEVICEID deviceId, UINT message, DWORD flags, void* params);

// Any thread, before the device's first play: the streams the device opens from then on open
// with ticket (the leader the first follows, their gain), through which the caller learns the
// stream. Without one they start at once, at gain 1. 0, or MCIERR_INVALID_DEVICE_ID.
MCIERROR SetDeviceStreamTicket(MCIDEVICEID deviceId, AudioStreamTicket ticket);

// Copies the text of error code into buffer (at most size bytes, always terminated when size
// > 0, cut safely). Returns 1 for a known code, 0 otherwise (the buffer then says the code is
// unknown).
int mciGetErrorString(MCIERROR code, char* buffer, UINT size);

// Packing of CD positions: TMSF = track, minutes, seconds, frames in bits 0-7, 8-15, 16-23,
// 24-31; MSF = minutes, seconds, frames in bits 0-7, 8-15, 16-23.
// A CD frame is one sector of sound; this many make a second.
inline constexpr int kCdFramesPerSecond = 75;
constexpr DWORD MCI_MAKE_TMSF(unsigned t, unsigned m, unsigned s, unsigned f)
{
    return (t & 0xFFu) | ((m & 0xFFu) << 8) | ((s & 0xFFu) << 16) | ((f & 0xFFu) << 24);
}
constexpr unsigned MCI_TMSF_TRACK(DWORD tmsf)
{
    return tmsf & 0xFFu;
}
constexpr unsigned MCI_TMSF_MINUTE(DWORD tmsf)
{
    return (tmsf >> 8) & 0xFFu;
}
constexpr unsigned MCI_TMSF_SECOND(DWORD tmsf)
{
    return (tmsf >> 16) & 0xFFu;
}
constexpr unsigned MCI_TMSF_FRAME(DWORD tmsf)
{
    return (tmsf >> 24) & 0xFFu;
}
constexpr DWORD MCI_MAKE_MSF(unsigned m, unsigned s, unsigned f)
{
    return (m & 0xFFu) | ((s & 0xFFu) << 8) | ((f & 0xFFu) << 16);
}
constexpr unsigned MCI_MSF_MINUTE(DWORD msf)
{
    return msf & 0xFFu;
}
constexpr unsigned MCI_MSF_SECOND(DWORD msf)
{
    return (msf >> 8) & 0xFFu;
}
constexpr unsigned MCI_MSF_FRAME(DWORD msf)
{
    return (msf >> 16) & 0xFFu;
}

#include "media/Mci.h"

#include "base/MbString.h"
#include "media/CdAudioDevice.h"
#include "media/SequencerDevice.h"
#include "media/WaveDevice.h"

#include <QtGlobal>

#include <algorithm>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace {

constexpr MCIDEVICEID kLastDeviceId = 0xFFFE;

struct OpenDevice
{
    std::shared_ptr<CMciDevice> device;
    std::string strDrive; // CD audio: the drive or image, for the sharing rule
    bool bShareable = false;
};

struct DeviceTable
{
    std::mutex mutex;
    std::map<MCIDEVICEID, OpenDevice> devices;
    MCIDEVICEID next = 1;
};

// Never destroyed: the output may still render through an open device when the process ends.
DeviceTable& TheTable()
{
    static DeviceTable* table = new DeviceTable;
    return *table;
}

struct ErrorText
{
    MCIERROR code;
    const char* text;
};

constexpr ErrorText kErrorTexts[] = {
    {MCIERR_INVALID_DEVICE_ID,
     QT_TRANSLATE_NOOP("Sorvane", "The device is not open, or its id is not valid.")},
    {MCIERR_UNRECOGNIZED_COMMAND,
     QT_TRANSLATE_NOOP("Sorvane", "The device does not know this command.")},
    {MCIERR_HARDWARE, QT_TRANSLATE_NOOP("Sorvane", "The drive reported a hardware failure.")},
    {MCIERR_INVALID_DEVICE_NAME,
     QT_TRANSLATE_NOOP("Sorvane", "There is no media device of this type.")},
    {MCIERR_OUT_OF_MEMORY,
     QT_TRANSLATE_NOOP("Sorvane", "There is not enough memory to open the device.")},
    {MCIERR_MISSING_PARAMETER,
     QT_TRANSLATE_NOOP("Sorvane", "The command is missing a required flag or value.")},
    {MCIERR_UNSUPPORTED_FUNCTION,
     QT_TRANSLATE_NOOP("Sorvane", "The device cannot carry out this command.")},
    {MCIERR_FILE_NOT_FOUND, QT_TRANSLATE_NOOP("Sorvane", "The file cannot be found.")},
    {MCIERR_DEVICE_NOT_READY,
     QT_TRANSLATE_NOOP("Sorvane", "The device is not ready (is the drive door open?).")},
    {MCIERR_INTERNAL,
     QT_TRANSLATE_NOOP("Sorvane", "An internal error occurred in the media layer.")},
    {MCIERR_OUTOFRANGE,
     QT_TRANSLATE_NOOP("Sorvane", "The position or track lies outside the medium.")},
    {MCIERR_FLAGS_NOT_COMPATIBLE,
     QT_TRANSLATE_NOOP("Sorvane", "The command's flags cannot be used together.")},
    {MCIERR_DEVICE_TYPE_REQUIRED,
     QT_TRANSLATE_NOOP("Sorvane", "The open command does not name a device type.")},
    {MCIERR_MUST_USE_SHAREABLE,
     QT_TRANSLATE_NOOP("Sorvane", "The drive is already in use; open it as shareable.")},
    {MCIERR_BAD_TIME_FORMAT,
     QT_TRANSLATE_NOOP("Sorvane", "The device does not support this time format.")},
    {MCIERR_INVALID_FILE,
     QT_TRANSLATE_NOOP("Sorvane", "The file is damaged or is not a supported media file.")},
    {MCIERR_NULL_PARAMETER_BLOCK,
     QT_TRANSLATE_NOOP("Sorvane", "The command needs a parameter block and got none.")},
    {MCIERR_NO_ELEMENT_ALLOWED,
     QT_TRANSLATE_NOOP("Sorvane", "This device does not take a file name.")},
    {MCIERR_FILENAME_REQUIRED,
     QT_TRANSLATE_NOOP("Sorvane", "This device needs a file name to open.")},
    {MCIERR_DEVICE_NOT_INSTALLED,
     QT_TRANSLATE_NOOP("Sorvane", "The media device is not available.")},
    {MCIERR_WAVE_OUTPUTSUNSUITABLE,
     QT_TRANSLATE_NOOP("Sorvane", "The sound output cannot play this file's format.")},
    {MCIERR_SEQ_DIV_INCOMPATIBLE,
     QT_TRANSLATE_NOOP("Sorvane",
                       "The MIDI file counts time in SMPTE frames, which cannot be played.")},
    {MCIERR_SEQ_PORT_INUSE,
     QT_TRANSLATE_NOOP("Sorvane", "The MIDI synthesizer is in use by another open file.")},
    {MCIERR_FILE_READ, QT_TRANSLATE_NOOP("Sorvane", "The file cannot be read.")},
    {MCIERR_SEQ_NO_SOUNDFONT,
     QT_TRANSLATE_NOOP(
         "Sorvane",
         "No SoundFont was found for MIDI playback; install one in /usr/share/sounds/sf2 or set "
         "SORVANE_SOUNDFONT.")},
    {MCIERR_SEQ_SOUNDFONT_INVALID,
     QT_TRANSLATE_NOOP("Sorvane", "The SoundFont for MIDI playback cannot be loaded.")},
    {MCIERR_CD_NO_DRIVE,
     QT_TRANSLATE_NOOP("Sorvane", "No CD drive was found, or it cannot be opened.")},
    {MCIERR_CD_NO_DISC, QT_TRANSLATE_NOOP("Sorvane", "There is no disc in the CD drive.")},
    {MCIERR_CD_NO_AUDIO_TRACKS, QT_TRANSLATE_NOOP("Sorvane", "The disc holds no audio tracks.")},
    {MCIERR_CD_IMAGE_UNREADABLE,
     QT_TRANSLATE_NOOP("Sorvane", "The CD image, or the data file it names, cannot be read.")},
    {MCIERR_CD_READ, QT_TRANSLATE_NOOP("Sorvane", "The disc cannot be read.")},
};

UINT TypeFromName(const char* name)
{
    if (MbsICmp(name, "waveaudio") == 0)
        return MCI_DEVTYPE_WAVEFORM_AUDIO;
    if (MbsICmp(name, "sequencer") == 0)
        return MCI_DEVTYPE_SEQUENCER;
    if (MbsICmp(name, "cdaudio") == 0)
        return MCI_DEVTYPE_CD_AUDIO;
    return 0;
}

void NotifySuccess(DWORD flags, DWORD_PTR callback, MCIDEVICEID id)
{
    const auto hwnd = static_cast<HWND>(callback & 0xFFFFu);
    if ((flags & MCI_NOTIFY) != 0 && hwnd != 0)
        PostMessage(hwnd, MM_MCINOTIFY, MCI_NOTIFY_SUCCESSFUL, static_cast<LPARAM>(id));
}

MCIERROR Open(DWORD flags, MCI_OPEN_PARMS* params)
{
    if (params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    if ((flags & MCI_OPEN_TYPE) == 0)
        return MCIERR_DEVICE_TYPE_REQUIRED;
    UINT type = 0;
    if ((flags & MCI_OPEN_TYPE_ID) != 0)
        type =
            static_cast<UINT>(reinterpret_cast<std::uintptr_t>(params->lpstrDeviceType) & 0xFFFFu);
    else if (params->lpstrDeviceType != nullptr)
        type = TypeFromName(params->lpstrDeviceType);
    const char* element = (flags & MCI_OPEN_ELEMENT) != 0 ? params->lpstrElementName : nullptr;
    if ((flags & MCI_OPEN_ELEMENT) != 0 && element == nullptr)
        return MCIERR_MISSING_PARAMETER;

    if (type != MCI_DEVTYPE_WAVEFORM_AUDIO && type != MCI_DEVTYPE_SEQUENCER &&
        type != MCI_DEVTYPE_CD_AUDIO)
        return MCIERR_INVALID_DEVICE_NAME;
    if (type != MCI_DEVTYPE_CD_AUDIO && element == nullptr)
        return MCIERR_FILENAME_REQUIRED;

    // The id (and, for CD audio, the drive) is taken under the table's lock; the device opens
    // without it (loading a SoundFont, spinning up a drive), so that no other command waits.
    OpenDevice entry;
    entry.bShareable = (flags & MCI_OPEN_SHAREABLE) != 0;
    if (type == MCI_DEVTYPE_CD_AUDIO) {
        entry.strDrive = CCdAudioDevice::ChooseSource(element);
        if (entry.strDrive.empty())
            return MCIERR_CD_NO_DRIVE;
    }
    DeviceTable& table = TheTable();
    MCIDEVICEID id = 0;
    {
        std::lock_guard lock(table.mutex);
        if (table.devices.size() >= kLastDeviceId)
            return MCIERR_OUT_OF_MEMORY;
        if (type == MCI_DEVTYPE_CD_AUDIO) {
            for (const auto& [otherId, other] : table.devices)
                if (other.strDrive == entry.strDrive && (!other.bShareable || !entry.bShareable))
                    return MCIERR_MUST_USE_SHAREABLE;
        }
        while (table.devices.contains(table.next))
            table.next = table.next == kLastDeviceId ? 1 : table.next + 1;
        id = table.next;
        table.next = table.next == kLastDeviceId ? 1 : table.next + 1;
        table.devices[id] = entry; // reserved: no device yet, so commands to it fail
    }

    std::shared_ptr<CMciDevice> device;
    MCIERROR result = 0;
    switch (type) {
    case MCI_DEVTYPE_WAVEFORM_AUDIO: {
        auto wave = std::make_shared<CWaveDevice>(id);
        result = wave->Open(element);
        device = wave;
        break;
    }
    case MCI_DEVTYPE_SEQUENCER: {
        auto sequencer = std::make_shared<CSequencerDevice>(id);
        result = sequencer->Open(element);
        device = sequencer;
        break;
    }
    default: {
        auto cd = std::make_shared<CCdAudioDevice>(id);
        result = cd->Open(entry.strDrive);
        device = cd;
        break;
    }
    }
    bool bKept = false;
    {
        std::lock_guard lock(table.mutex);
        const auto it = table.devices.find(id);
        if (it != table.devices.end()) {
            if (result == 0) {
                it->second.device = device;
                bKept = true;
            } else {
                table.devices.erase(it);
            }
        }
    }
    if (result != 0)
        return result;
    if (!bKept) {
        // Closed (MCI_ALL_DEVICE_ID) while it opened.
        device->Close();
        return MCIERR_INVALID_DEVICE_ID;
    }
    params->wDeviceID = id;
    NotifySuccess(flags, params->dwCallback, id);
    return 0;
}

MCIERROR Close(MCIDEVICEID id, DWORD flags, const MCI_GENERIC_PARMS* params)
{
    if ((flags & MCI_NOTIFY) != 0 && params == nullptr)
        return MCIERR_NULL_PARAMETER_BLOCK;
    std::vector<std::shared_ptr<CMciDevice>> closing;
    {
        DeviceTable& table = TheTable();
        std::lock_guard lock(table.mutex);
        if (id == MCI_ALL_DEVICE_ID) {
            for (auto& [devId, entry] : table.devices)
                if (entry.device != nullptr)
                    closing.push_back(entry.device);
            table.devices.clear();
        } else {
            const auto it = table.devices.find(id);
            if (it == table.devices.end() || it->second.device == nullptr)
                return MCIERR_INVALID_DEVICE_ID;
            closing.push_back(it->second.device);
            table.devices.erase(it);
        }
    }
    for (const auto& device : closing)
        device->Close();
    closing.clear();
    if (params != nullptr)
        NotifySuccess(flags, params->dwCallback, id);
    return 0;
}

// The open device deviceId, held for one command; null when none is open under that id.
std::shared_ptr<CMciDevice> FindDevice(MCIDEVICEID deviceId)
{
    DeviceTable& table = TheTable();
    std::lock_guard lock(table.mutex);
    const auto it = table.devices.find(deviceId);
    return it != table.devices.end() ? it->second.device : nullptr;
}

} // namespace

MCIERROR mciSendCommand(MCIDEVICEID deviceId, UINT message, DWORD flags, void* params)
{
    try {
        if (message == MCI_OPEN)
            return deviceId == 0 ? Open(flags, static_cast<MCI_OPEN_PARMS*>(params))
                                 : MCIERR_INVALID_DEVICE_ID;
        if (message == MCI_CLOSE)
            return Close(deviceId, flags, static_cast<const MCI_GENERIC_PARMS*>(params));
        const std::shared_ptr<CMciDevice> device = FindDevice(deviceId);
        return device != nullptr ? device->Command(message, flags, params)
                                 : MCIERR_INVALID_DEVICE_ID;
    } catch (const std::bad_alloc&) {
        return MCIERR_OUT_OF_MEMORY;
    } catch (...) {
        return MCIERR_INTERNAL;
    }
}

MCIERROR SetDeviceStreamTicket(MCIDEVICEID deviceId, AudioStreamTicket ticket)
{
    const std::shared_ptr<CMciDevice> device = FindDevice(deviceId);
    if (device == nullptr)
        return MCIERR_INVALID_DEVICE_ID;
    device->SetStreamTicket(std::move(ticket));
    return 0;
}

int mciGetErrorString(MCIERROR code, char* buffer, UINT size)
{
    const auto* it = std::find_if(std::begin(kErrorTexts), std::end(kErrorTexts),
                                  [code](const ErrorText& e) { return e.code == code; });
    const bool bKnown = it != std::end(kErrorTexts);
    if (buffer == nullptr || size == 0)
        return bKnown ? 1 : 0;
    const std::string text =
        bKnown ? std::string(it->text) : "Unknown media error " + std::to_string(code) + ".";
    const std::size_t n = std::min<std::size_t>(text.size(), size - 1);
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return bKnown ? 1 : 0;
}

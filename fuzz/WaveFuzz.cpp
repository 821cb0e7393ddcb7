// The waveform-audio device: any bytes as a .wav file, opened, asked about, played on the
// manual clock from the start and from a seek, and closed.
#include "audio/SoundOutput.h"
#include "fuzz/FuzzSupport.h"
#include "media/Mci.h"

#include <cstdlib>

namespace {

DWORD_PTR Status(MCIDEVICEID id, DWORD item)
{
    MCI_STATUS_PARMS status;
    status.dwItem = item;
    mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, &status);
    return status.dwReturn;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!SelectAudioOutput(AudioOutputKind::ManualClock))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteFuzzFile("input.wav", AsText(data, size));
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_WAVEFORM_AUDIO);
    open.lpstrElementName = path.c_str();
    if (mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT,
                       &open) != 0)
        return 0;
    const MCIDEVICEID id = open.wDeviceID;
    const auto length = static_cast<DWORD>(Status(id, MCI_STATUS_LENGTH));

    MCI_PLAY_PARMS play;
    if (mciSendCommand(id, MCI_PLAY, 0, &play) == 0)
        AdvanceManualAudioClock(20);
    MCI_SEEK_PARMS seek;
    seek.dwTo = length / 2;
    mciSendCommand(id, MCI_SEEK, MCI_TO | MCI_WAIT, &seek);
    if (mciSendCommand(id, MCI_PLAY, 0, &play) == 0)
        AdvanceManualAudioClock(20);
    if (Status(id, MCI_STATUS_POSITION) > length)
        std::abort();
    mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    return 0;
}

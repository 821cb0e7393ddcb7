// The waveform-audio device: any bytes as a .wav file, opened, asked about, played on the
// manual clock from the start and from a seek, and closed.
#include "audio/SoundOutput.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/MciFuzzSupport.h"

#include <cstdlib>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!SelectAudioOutput(AudioOutputKind::ManualClock))
        std::abort();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteFuzzFile("input.wav", AsText(data, size));
    const MCIDEVICEID id = OpenFuzzElement(MCI_DEVTYPE_WAVEFORM_AUDIO, path);
    if (id == 0)
        return 0;
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

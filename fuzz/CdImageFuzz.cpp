// The CD audio device on an image: any bytes as a CUE sheet beside a small data file of
// audio sectors, opened, asked about each track, played on the manual clock from the
// first and the last track, and closed.
#include "audio/SoundOutput.h"
#include "fuzz/FuzzSupport.h"
#include "media/Mci.h"

#include <cstdlib>

namespace {

constexpr std::size_t kSectorBytes = 2352;
constexpr std::size_t kSectors = 150;

DWORD_PTR Status(MCIDEVICEID id, DWORD item, DWORD track = 0)
{
    MCI_STATUS_PARMS status;
    status.dwItem = item;
    status.dwTrack = track;
    mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM | (track != 0 ? MCI_TRACK : 0), &status);
    return status.dwReturn;
}

void PlayFromTrack(MCIDEVICEID id, DWORD track)
{
    MCI_PLAY_PARMS play;
    play.dwFrom = MCI_MAKE_TMSF(track, 0, 0, 0);
    if (mciSendCommand(id, MCI_PLAY, MCI_FROM, &play) == 0)
        AdvanceManualAudioClock(30);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    if (!SelectAudioOutput(AudioOutputKind::ManualClock))
        std::abort();
    // Two seconds of a quiet ramp under both names a sheet is likely to give its data.
    std::string sectors(kSectorBytes * kSectors, '\0');
    for (std::size_t i = 0; i < sectors.size(); ++i)
        sectors[i] = static_cast<char>(i % 64);
    WriteFuzzFile("disc.bin", sectors);
    WriteFuzzFile("data.bin", sectors);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteFuzzFile("disc.cue", AsText(data, size));
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(MCI_DEVTYPE_CD_AUDIO);
    open.lpstrElementName = path.c_str();
    if (mciSendCommand(0, MCI_OPEN, MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT,
                       &open) != 0)
        return 0;
    const MCIDEVICEID id = open.wDeviceID;
    MCI_SET_PARMS set;
    set.dwTimeFormat = MCI_FORMAT_TMSF;
    mciSendCommand(id, MCI_SET, MCI_SET_TIME_FORMAT, &set);
    const auto tracks = static_cast<DWORD>(Status(id, MCI_STATUS_NUMBER_OF_TRACKS));
    if (tracks > 99)
        std::abort();
    for (DWORD t = 1; t <= tracks; ++t) {
        Status(id, MCI_STATUS_LENGTH, t);
        Status(id, MCI_STATUS_POSITION, t);
    }
    PlayFromTrack(id, 1);
    PlayFromTrack(id, tracks);
    Status(id, MCI_STATUS_CURRENT_TRACK);
    mciSendCommand(id, MCI_CLOSE, MCI_WAIT, nullptr);
    return 0;
}

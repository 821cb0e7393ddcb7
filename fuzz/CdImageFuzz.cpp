// The CD audio device on an image: any bytes as a CUE sheet beside a small data file of
// audio sectors, opened, asked about each track, played on the manual clock from the
// first and the last track, and closed.
#include "audio/SoundOutput.h"
#include "fuzz/FuzzSupport.h"
#include "fuzz/MciFuzzSupport.h"

#include <cstdlib>

namespace {

constexpr std::size_t kSectorBytes = 2352;
constexpr std::size_t kSectors = 150;

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
    const MCIDEVICEID id = OpenFuzzElement(MCI_DEVTYPE_CD_AUDIO, path);
    if (id == 0)
        return 0;
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

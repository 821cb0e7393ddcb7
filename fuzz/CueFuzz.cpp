// The CUE sheet readers: any bytes as a sheet beside a small data file, and as the sheet of
// an album kept in one audio file. A CD image's sheet it takes leaves a copy to hand to the
// disc reader; every sheet leaves nothing behind. An album's tracks lie in order within
// their file, each ending after it starts, and the queue takes them as entries that name
// them again.
#include "fuzz/FuzzSupport.h"
#include "media/CueImage.h"
#include "media/CueSheet.h"
#include "media/CueText.h"
#include "queue/PlayQueue.h"

#include <cstdlib>
#include <unistd.h>

namespace {

void CheckAlbumSheet(std::string_view text)
{
    const std::string path = WriteFuzzFile("album.cue", text);
    const std::optional<CueSheet> sheet = ReadCueSheet(path);
    if (!sheet)
        return;
    int last = 0;
    for (const CueTrack& track : sheet->tracks) {
        if (track.nNumber <= last || track.nNumber > kMaxCueTrack || track.nStartMs < 0 ||
            (track.nEndMs >= 0 && track.nEndMs <= track.nStartMs))
            std::abort();
        last = track.nNumber;
    }
    CPlayQueue queue;
    queue.Add(path);
    for (int i = 0; i < queue.GetCount(); ++i) {
        const std::string entry = queue.GetAt(i);
        if (entry != path && (!ReadCueTrackEntry(entry) || queue.GetDisplayName(i).empty()))
            std::abort();
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    WriteFuzzFile("disc.bin", std::string(2352 * 4, '\x01'));
    WriteFuzzFile("data.bin", std::string(2352, '\x02'));
    WriteFuzzFile("album.wav", std::string(44, '\0'));
    InstallFuzzPrompts();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string path = WriteFuzzFile("disc.cue", AsText(data, size));
    std::string copy;
    {
        CCueImage image;
        if (image.Prepare(path)) {
            copy = image.SheetPath();
            if (copy.empty() || ::access(copy.c_str(), R_OK) != 0)
                std::abort();
        } else if (!image.SheetPath().empty()) {
            std::abort();
        }
    }
    if (!copy.empty() && ::access(copy.c_str(), F_OK) == 0)
        std::abort();
    CheckAlbumSheet(AsText(data, size));
    return 0;
}

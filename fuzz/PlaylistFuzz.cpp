// The playlist reader: any bytes as an M3U file, added as the player adds a dropped
// playlist, then written back and read again.
#include "fuzz/FuzzSupport.h"
#include "queue/PlayQueue.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    InstallFuzzPrompts().messages.clear();
    CPlayQueue queue;
    queue.Add(WriteFuzzFile("list.m3u", AsText(data, size)));
    for (int i = 0; i < queue.GetCount(); ++i)
        queue.GetDisplayName(i);

    const std::string saved = FuzzDir() + "/saved.m3u";
    queue.SaveM3u(saved);
    CPlayQueue reread;
    reread.LoadM3u(saved);
    if (reread.GetCount() > queue.GetCount())
        std::abort();
    return 0;
}

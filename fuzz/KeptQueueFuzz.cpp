// The kept queue's reader: any bytes as the file a start takes back, then written and read
// again, which may only lose the entries a line cannot hold.
#include "fuzz/FuzzSupport.h"
#include "queue/KeptQueue.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const KeptQueue kept = ReadKeptQueue(WriteFuzzFile("kept.txt", AsText(data, size)));
    if (kept.entries.size() > kKeptQueueMaxEntries ||
        (kept.nCurrent != 0 && kept.nCurrent >= static_cast<int>(kept.entries.size())))
        std::abort();
    const std::string saved = FuzzDir() + "/saved.txt";
    if (WriteKeptQueue(saved, kept) == 0)
        return 0;
    const KeptQueue reread = ReadKeptQueue(saved);
    if (reread.entries.size() > kept.entries.size() || reread.nCurrent > kept.nCurrent)
        std::abort();
    return 0;
}

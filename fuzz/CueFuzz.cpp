// The CUE sheet reader alone: any bytes as a sheet beside a small data file. A sheet it
// takes leaves a copy to hand to the disc reader; every sheet leaves nothing behind.
#include "fuzz/FuzzSupport.h"
#include "media/CueImage.h"

#include <cstdlib>
#include <unistd.h>

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    WriteFuzzFile("disc.bin", std::string(2352 * 4, '\x01'));
    WriteFuzzFile("data.bin", std::string(2352, '\x02'));
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
    return 0;
}

#include "plugins/PcmOutput.h"

// The output library's one export. The object lives as long as the library is loaded.
extern "C" __attribute__((visibility("default"))) IOutputPlugin* GetInstance()
{
    static CPcmOutput output;
    return &output;
}

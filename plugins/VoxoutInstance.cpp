#include "plugins/PcmOutput.h"

#include <new>

namespace {

// The library's two outputs: the first, and the peer that the peer decoders write to.
CPcmOutput& TheOutput(int n)
{
    static CPcmOutput outputs[2];
    return outputs[n];
}

} // namespace

// The output library's exports. The objects live as long as the library is loaded.
extern "C" __attribute__((visibility("default"))) IOutputPlugin* GetInstance()
{
    return &TheOutput(0);
}

extern "C" __attribute__((visibility("default"))) IOutputPlugin* GetPeerInstance()
{
    return &TheOutput(1);
}

extern "C" __attribute__((visibility("default"))) IOutputPlugin* CreateInstance()
{
    return new (std::nothrow) CPcmOutput;
}

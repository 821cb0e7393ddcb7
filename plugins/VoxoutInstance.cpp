#include "plugins/PcmOutput.h"

#include <new>

// The output library's exports. GetInstance's object, and GetPeerInstance's (a second one, until
// the engine no longer asks for it), live as long as the library is loaded; CreateInstance makes a
// new one at every call.
extern "C" __attribute__((visibility("default"))) IOutputPlugin* GetInstance()
{
    static CPcmOutput first;
    return &first;
}

extern "C" __attribute__((visibility("default"))) IOutputPlugin* GetPeerInstance()
{
    static CPcmOutput peer;
    return &peer;
}

extern "C" __attribute__((visibility("default"))) IOutputPlugin* CreateInstance()
{
    return new (std::nothrow) CPcmOutput;
}

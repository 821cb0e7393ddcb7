#include "plugins/AvDecoder.h"

#include <new>

// The second decoder library's exports. GetInstance's object, and GetPeerInstance's (a second one,
// until the engine no longer asks for it), live as long as the library is loaded; CreateInstance
// makes a new one at every call.
extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetInstance()
{
    static CAvDecoder first;
    return &first;
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetPeerInstance()
{
    static CAvDecoder peer;
    return &peer;
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* CreateInstance()
{
    return new (std::nothrow) CAvDecoder;
}

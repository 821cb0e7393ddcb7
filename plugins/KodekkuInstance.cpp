#include "plugins/AvDecoder.h"

#include <new>

namespace {

// The library's two decoders: the first, and its peer that plays a following file beside it.
CAvDecoder& TheDecoder(int n)
{
    static CAvDecoder decoders[2];
    return decoders[n];
}

} // namespace

// The second decoder library's exports. The objects live as long as the library is loaded.
extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetInstance()
{
    return &TheDecoder(0);
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetPeerInstance()
{
    return &TheDecoder(1);
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* CreateInstance()
{
    return new (std::nothrow) CAvDecoder;
}

#include "plugins/MpegDecoder.h"

#include <new>

namespace {

// The library's two decoders: the first, and its peer that plays a following file beside it.
CMpegDecoder& TheDecoder(int n)
{
    static CMpegDecoder decoders[2];
    return decoders[n];
}

} // namespace

// The decoder library's exports: each decoder and its chaining interface, objects that live
// as long as the library is loaded.
extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetInstance()
{
    return &TheDecoder(0);
}

extern "C" __attribute__((visibility("default"))) IDecoderChain* GetChainInstance()
{
    return &TheDecoder(0);
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetPeerInstance()
{
    return &TheDecoder(1);
}

extern "C" __attribute__((visibility("default"))) IDecoderChain* GetPeerChainInstance()
{
    return &TheDecoder(1);
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* CreateInstance()
{
    return new (std::nothrow) CMpegDecoder;
}

#include "plugins/MpegDecoder.h"

namespace {

CMpegDecoder& TheDecoder()
{
    static CMpegDecoder decoder;
    return decoder;
}

} // namespace

// The decoder library's exports: the decoder and its chaining interface, one object that
// lives as long as the library is loaded.
extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetInstance()
{
    return &TheDecoder();
}

extern "C" __attribute__((visibility("default"))) IDecoderChain* GetChainInstance()
{
    return &TheDecoder();
}

#include "plugins/MpegDecoder.h"

#include <new>

// The decoder library's two exports: GetInstance's object, made once, lives as long as the library
// is loaded; CreateInstance makes a new one at every call.
extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetInstance()
{
    static CMpegDecoder first;
    return &first;
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* CreateInstance()
{
    return new (std::nothrow) CMpegDecoder;
}

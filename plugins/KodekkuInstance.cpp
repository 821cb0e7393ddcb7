#include "plugins/AvDecoder.h"

#include <new>

// The second decoder library's two exports: GetInstance's object, made once, lives as long as the
// library is loaded; CreateInstance makes a new one at every call.
extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetInstance()
{
    static CAvDecoder first;
    return &first;
}

extern "C" __attribute__((visibility("default"))) IDecoderPlugin* CreateInstance()
{
    return new (std::nothrow) CAvDecoder;
}

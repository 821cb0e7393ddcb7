#include "plugins/AvDecoder.h"

// The second decoder library's one export. The object lives as long as the library is loaded.
extern "C" __attribute__((visibility("default"))) IDecoderPlugin* GetInstance()
{
    static CAvDecoder decoder;
    return &decoder;
}

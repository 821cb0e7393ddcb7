#include "plugins/PcmOutput.h"

#include <new>

// The output library's two exports: GetInstance's object, made once, lives as long as the library
// is loaded; CreateInstance makes a new one at every call.
extern "C" __attribute__((visibility("default"))) IOutputPlugin* GetInstance()
{
    static CPcmOutput first;
    return &first;
}

extern "C" __attribute__((visibility("default"))) IOutputPlugin* CreateInstance()
{
    return new (std::nothrow) CPcmOutput;
}

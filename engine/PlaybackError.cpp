#include "engine/PlaybackError.h"

#include "base/Prompts.h"
#include "media/Mci.h"

#include <cstring>

namespace {

// Length in bytes of an error text, terminator included.
constexpr int kErrorTextSize = 256;

} // namespace

int ShowPlaybackError(int nCode)
{
    char text[kErrorTextSize] = {};
    if (nCode == kPluginMissingError)
        std::strncpy(text, kPluginMissingText, sizeof(text) - 1);
    else
        mciGetErrorString(static_cast<MCIERROR>(nCode), text, sizeof(text));
    Prompts().ShowMessage(text);
    return 0;
}

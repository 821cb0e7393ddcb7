// The settings file reader: any bytes as Sorvix.ini. Whatever the reader keeps must come
// back unchanged from a save and a second load.
#include "fuzz/FuzzSupport.h"
#include "settings/PlayerSettings.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CPlayerSettings settings;
    settings.UseFile(WriteFuzzFile(CPlayerSettings::kFileName, AsText(data, size)));
    settings.Load();

    settings.UseFile(FuzzDir() + "/Saved.ini");
    CPlayerSettings reread;
    reread.UseFile(settings.GetFileName());
    if (settings.Save() == 0 || reread.Load() == 0)
        std::abort();
    for (int key : {SK_TOPMOST, SK_TEXT_COLOR, SK_BUTTON_COLOR, SK_LED_COLOR, SK_LAYOUT, SK_REPEAT,
                    SK_REPLAYGAIN, SK_REPLAYGAIN_PREAMP, SK_REPLAYGAIN_UNTAGGED})
        if (settings.Get(key) != reread.Get(key))
            std::abort();
    if (!(settings.GetLaunchPos() == reread.GetLaunchPos()))
        std::abort();
    return 0;
}

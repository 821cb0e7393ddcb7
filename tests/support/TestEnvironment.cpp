#include "tests/support/TestEnvironment.h"

#include "tests/support/TempDir.h"

#include <sys/stat.h>

#include <cstdlib>

void UseTestSoundFont()
{
    ::setenv("SORVANE_SOUNDFONT", kTestSoundFont, 1);
}

void UseTestEnvironment()
{
    UseTestSoundFont();
    ::unsetenv("DBUS_SESSION_BUS_ADDRESS");
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    ::setenv("SDL_AUDIODRIVER", "dummy", 1);
    static const CTempDir folders;
    for (const auto& [name, sub] :
         {std::pair{"XDG_CONFIG_HOME", "config"}, std::pair{"XDG_CACHE_HOME", "cache"},
          std::pair{"XDG_DATA_HOME", "data"}, std::pair{"XDG_RUNTIME_DIR", "runtime"}}) {
        const std::string path = folders / sub;
        ::mkdir(path.c_str(), 0700);
        ::setenv(name, path.c_str(), 1);
    }
}

#include "settings/PlayerSettings.h"

#include "tests/support/BadInputCorpus.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

// Catches a bad settings file (garbage, huge numbers, NUL bytes, 10 MB, a directory) that
// crashes, hangs or leaks the reader, or that stops it before the end.
TEST(BadInputCorpus, EveryBadSettingsFileLoadsToTheEnd)
{
    CTempDir dir;
    const CPlayerSettings defaults;
    for (const BadInput& input : WriteBadInputCorpus(dir.Path())) {
        if (input.kind != BadInputKind::Settings)
            continue;
        SCOPED_TRACE(BadInputName(input));
        CPlayerSettings settings;
        settings.UseFile(input.path);
        EXPECT_EQ(settings.Load(), 1);
        if (input.outcome == BadInputOutcome::Refused)
            for (int key :
                 {SK_TOPMOST, SK_TEXT_COLOR, SK_BUTTON_COLOR, SK_LED_COLOR, SK_LAYOUT, SK_REPEAT})
                EXPECT_EQ(settings.Get(key), defaults.Get(key));
    }
}

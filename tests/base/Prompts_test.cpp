#include "base/Prompts.h"

#include "tests/support/RecordingPrompts.h"

#include <gtest/gtest.h>

namespace {

TEST(Prompts, InstalledPromptsReceiveMessagesInOrderAndAreUninstalled)
{
    IPrompts* before = &Prompts();
    {
        CRecordingPrompts prompts;
        EXPECT_EQ(&Prompts(), &prompts);
        Prompts().ShowMessage("一");
        Prompts().ShowMessage("two");
        EXPECT_EQ(prompts.messages, (std::vector<std::string>{"一", "two"}));
    }
    EXPECT_EQ(&Prompts(), before);
}

TEST(Prompts, DefaultPromptsCancelEveryQuestion)
{
    std::vector<std::string> paths;
    COLORREF colour = 7;
    EXPECT_FALSE(Prompts().AskFiles(FileDialogRequest{}, paths));
    EXPECT_FALSE(Prompts().AskColor(1, colour));
    EXPECT_TRUE(paths.empty());
    EXPECT_EQ(colour, 7u);
}

TEST(Prompts, WindowsFiltersBecomeQtNameFilters)
{
    EXPECT_EQ(ConvertFilter("AudioFiles( .mid .wav .m3u .mp*)| *.mid; *.wav; *.m3u; *.mp3; "
                            "*.mp2; *.mp||"),
              "AudioFiles( .mid .wav .m3u .mp*) (*.mid *.wav *.m3u *.mp3 *.mp2 *.mp)");
    EXPECT_EQ(ConvertFilter("PlayListFiles(.m3u)|*.m3u||"), "PlayListFiles(.m3u) (*.m3u)");
    EXPECT_EQ(ConvertFilter("A|*.a|B|*.b;*.c||"), "A (*.a);;B (*.b *.c)");
    EXPECT_EQ(ConvertFilter(""), "");
    EXPECT_EQ(ConvertFilter("NoPatterns|"), "");
}

} // namespace

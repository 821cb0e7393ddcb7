#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Catches relative names handed to a running copy that lives in another directory.
TEST(CommandLine, PlayTakesItsFilesAsAbsolutePaths)
{
    char cwd[4096] = {};
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const CPlayerCommand command =
        ParsePlayerCommand({"--play", "a.mp3", "/music/b.wav", "file:///music/c%20d.mid"});
    EXPECT_EQ(command.m_nAction, CPlayerCommand::Play);
    EXPECT_EQ(command.m_files, (std::vector<std::string>{std::string(cwd) + "/a.mp3",
                                                         "/music/b.wav", "/music/c d.mid"}));
}

// Catches a wrong use that would start the player doing something it was not asked to.
TEST(CommandLine, PlayWithoutFilesOrWithEnqueueIsRefused)
{
    EXPECT_EQ(ParsePlayerCommand({"--play"}).m_nAction, CPlayerCommand::Invalid);
    EXPECT_EQ(ParsePlayerCommand({"--play", "a.mp3", "--enqueue", "b.mp3"}).m_nAction,
              CPlayerCommand::Invalid);
    EXPECT_EQ(ParsePlayerCommand({}).m_nAction, CPlayerCommand::None);
}

// Catches a bare file that starts the player doing nothing with it, and the toolkit's own
// options (with their values) taken as files.
TEST(CommandLine, ABareFilePlaysAsWithPlayPastTheToolkitsOptions)
{
    const CPlayerCommand command =
        ParsePlayerCommand({"-style", "fusion", "-reverse", "/music/song.mp3", "-platform=xcb"});
    EXPECT_EQ(command.m_nAction, CPlayerCommand::Play);
    EXPECT_EQ(command.m_files, std::vector<std::string>{"/music/song.mp3"});
}

// Catches mistyped options that the player silently ignored, exiting 0.
TEST(CommandLine, AnUnknownOptionIsAWrongUse)
{
    for (const char* option : {"--paly", "-v", "--play=x", "-x"}) {
        const CPlayerCommand command = ParsePlayerCommand({option, "/music/a.mp3"});
        EXPECT_EQ(command.m_nAction, CPlayerCommand::Invalid) << option;
        EXPECT_NE(command.m_strError.find(option), std::string::npos) << option;
    }
}

} // namespace

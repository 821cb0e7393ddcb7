#include "app/CommandLine.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace {

// Catches relative names handed to a running copy that lives in another directory.
TEST(CommandLine, PlayTakesItsFilesAsAbsolutePathsAndSkipsOtherOptions)
{
    char cwd[4096] = {};
    ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
    const CPlayerCommand command =
        ParsePlayerCommand({"--play", "a.mp3", "-x", "/music/b.wav", "file:///music/c%20d.mid"});
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
    EXPECT_EQ(ParsePlayerCommand({"song.mp3"}).m_nAction, CPlayerCommand::None);
}

} // namespace

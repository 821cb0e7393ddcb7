#include "base/ModulePath.h"

#include "base/Path.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

TEST(ModulePath, IsTheResolvedPathOfTheRunningProgram)
{
    const std::string exe = GetModuleFileName();
    EXPECT_EQ(exe.front(), '/');
    EXPECT_EQ(FileNameOf(exe), "base_tests");
    EXPECT_TRUE(std::filesystem::is_regular_file(exe));
}

TEST(ModulePath, SettingsLiveBesideAWritableExecutable)
{
    EXPECT_EQ(GetSettingsDirectory(), DirectoryOf(GetModuleFileName()));
}

} // namespace

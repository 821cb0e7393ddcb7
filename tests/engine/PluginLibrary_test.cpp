#include "engine/PluginLibrary.h"

#include "base/ModulePath.h"
#include "base/Path.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

TEST(PluginLibrary, WindowsLibraryNamesBecomeSharedObjects)
{
    EXPECT_EQ(PluginFileName("Dekoda.dll"), "Dekoda.so");
    EXPECT_EQ(PluginFileName("Voxout.DLL"), "Voxout.so");
    EXPECT_EQ(PluginFileName("libm.so.6"), "libm.so.6");
    EXPECT_EQ(PluginFileName(".dll"), ".dll");
}

TEST(PluginLibrary, FindsThePlugInBesideTheExecutable)
{
    void* lib = LoadPluginLibrary("Dekoda.dll");
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(FindPluginExport(lib, "GetInstance"), nullptr);
    EXPECT_EQ(FindPluginExport(lib, "NoSuchExport"), nullptr);
    FreePluginLibrary(lib);
}

TEST(PluginLibrary, ADirectoryWithoutThePlugInFindsNothing)
{
    CTempDir empty;
    EXPECT_EQ(LoadPluginLibrary("Dekoda.dll", empty.Path()), nullptr);
}

TEST(PluginLibrary, AFileThatIsNoLibraryDoesNotLoad)
{
    CTempDir dir;
    dir.Write("Dekoda.so", "this is text, not a shared object\n");
    EXPECT_EQ(LoadPluginLibrary("Dekoda.dll", dir.Path()), nullptr);
}

TEST(PluginLibrary, TheSystemSearchIsTriedAfterTheExecutablesDirectory)
{
    void* lib = LoadPluginLibrary("libc.so.6");
    ASSERT_NE(lib, nullptr);
    EXPECT_NE(FindPluginExport(lib, "strlen"), nullptr);
    FreePluginLibrary(lib);
}

TEST(PluginLibrary, NullHandlesAreHarmless)
{
    EXPECT_EQ(FindPluginExport(nullptr, "GetInstance"), nullptr);
    FreePluginLibrary(nullptr);
}

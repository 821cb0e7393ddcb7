#include "base/ModulePath.h"
#include "base/Path.h"
#include "pluginapi/PluginInterface.h"

#include "tests/support/ManualClock.h"
#include "tests/support/Mp3Writer.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <dlfcn.h>

namespace {

constexpr std::size_t kRate = 44100;

// Ends and last elapsed seconds reported to the callback, by its user value (1 or 2).
std::array<std::atomic<int>, 3> g_ends{};
std::array<std::atomic<int>, 3> g_elapsed{};

int Record(int nType, int nValue, std::uint32_t dwUser)
{
    if (dwUser < g_ends.size()) {
        if (nType == PLUGIN_CALLBACK_END)
            ++g_ends[dwUser];
        else if (nType == PLUGIN_CALLBACK_ELAPSED)
            g_elapsed[dwUser] = nValue;
    }
    return 0;
}

// A plug-in library from beside the test program, where the build puts it.
void* LoadLibrary(const char* pszName)
{
    return ::dlopen(JoinPath(DirectoryOf(GetModuleFileName()).value_or("."), pszName).c_str(),
                    RTLD_NOW | RTLD_LOCAL);
}

template<class Proc>
Proc Export(void* hLib, const char* pszName)
{
    return hLib == nullptr ? nullptr : reinterpret_cast<Proc>(::dlsym(hLib, pszName));
}

} // namespace

// Catches objects of one library that share a file, a thread or an output (CreateInstance
// handing out one object, or state kept in statics): two files played at once must each play
// at their own length and end once, on their own decoder.
TEST(PluginLibrary, TwoDecodersOfOneLibraryPlayTwoFilesAtOnce)
{
    CManualClockOutput clock;
    ASSERT_TRUE(clock.Ok());
    void* hDecoders = LoadLibrary("Dekoda.so");
    void* hOutputs = LoadLibrary("Voxout.so");
    const auto createDecoder = Export<DecoderCreateInstanceProc>(hDecoders, kPluginCreateInstance);
    const auto createOutput = Export<OutputCreateInstanceProc>(hOutputs, kPluginCreateInstance);
    ASSERT_NE(createDecoder, nullptr) << ::dlerror();
    ASSERT_NE(createOutput, nullptr) << ::dlerror();

    CTempDir dir;
    std::array<IDecoderPlugin*, 2> decoders{createDecoder(), createDecoder()};
    std::array<IOutputPlugin*, 2> outputs{createOutput(), createOutput()};
    ASSERT_TRUE(decoders[0] && decoders[1] && outputs[0] && outputs[1]);
    EXPECT_NE(decoders[0], decoders[1]);
    EXPECT_NE(outputs[0], outputs[1]);
    for (std::uint32_t i = 0; i < 2; ++i) {
        g_ends[i + 1] = 0;
        g_elapsed[i + 1] = -1;
        Mp3Tone tone;
        tone.dSeconds = 1.0 + i;
        const std::string path = dir / ("tone" + std::to_string(i) + ".mp3");
        ASSERT_TRUE(WriteMp3(path, tone));
        PluginMediaInfo info{};
        decoders[i]->SetOutput(outputs[i]);
        decoders[i]->SetCallback(&Record, i + 1);
        ASSERT_EQ(decoders[i]->Open(path.c_str(), &info), 1);
        EXPECT_EQ(info.nLengthSeconds, static_cast<std::int32_t>(i + 1));
    }
    ASSERT_EQ(decoders[0]->Play(), 1);
    ASSERT_EQ(decoders[1]->Play(), 1);

    // The clock runs ahead of the decode threads: it is moved on by whole stretches, and the
    // reports are waited for while it stands. It counts the frames of both streams: 1.5 s is
    // 1 s of each and 0.5 s of the longer alone.
    EXPECT_GE(PlayFrames(kRate * 5 / 2), kRate * 5 / 2);
    EXPECT_TRUE(WaitUntil([] { return g_ends[1] > 0; }));
    EXPECT_EQ(g_elapsed[1], 1);
    EXPECT_EQ(g_ends[2], 0) << "the longer file ended with the shorter";
    EXPECT_EQ(decoders[1]->GetState(), PLUGIN_STATE_PLAYING);
    EXPECT_NEAR(static_cast<double>(decoders[1]->GetPositionMilliseconds()), 1500.0, 50.0);
    PlayFrames(
        kRate * 2, [] { return g_ends[2] > 0; });
    EXPECT_TRUE(WaitUntil([] { return g_ends[2] > 0; }));
    EXPECT_EQ(g_elapsed[2], 2);
    EXPECT_EQ(g_ends[1], 1);
    EXPECT_EQ(g_ends[2], 1);

    for (std::size_t i = 0; i < 2; ++i) {
        decoders[i]->Release();
        outputs[i]->Release();
    }
    ::dlclose(hDecoders);
    ::dlclose(hOutputs);
}

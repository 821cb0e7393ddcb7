#include "plugins/AvInput.h"

#include "tests/support/AvWriter.h"
#include "tests/support/TempDir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

namespace {

// Everything Decode gives from where the input stands to its end.
std::vector<std::uint8_t> DecodeAll(CAvInput& input)
{
    std::vector<std::uint8_t> all;
    std::vector<std::uint8_t> pcm;
    while (input.Decode(pcm) == CAvInput::Status::Sound)
        all.insert(all.end(), pcm.begin(), pcm.end());
    return all;
}

} // namespace

// Catches bytes opened from memory (the fuzz target's way in) that read, seek or probe
// otherwise than the same bytes as a file, so that fuzzing would try another path than play.
TEST(AvInput, BytesInMemoryDecodeAndSeekAsTheirFileDoes)
{
    CTempDir dir;
    for (const char* name : {"tone.m4a", "tone.opus"}) {
        SCOPED_TRACE(name);
        EncodedTone tone;
        const bool bOpus = std::string(name).ends_with(".opus");
        tone.strCodec = bOpus ? "libopus" : "aac";
        tone.nRate = bOpus ? 48000 : 44100;
        tone.dSeconds = 1.0;
        const std::string path = dir / name;
        ASSERT_TRUE(WriteEncodedTone(path, tone));
        std::ifstream file(path, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(file), {}};

        CAvInput fromFile;
        CAvInput fromMemory;
        ASSERT_TRUE(fromFile.Open(path));
        ASSERT_TRUE(fromMemory.Open(bytes.data(), bytes.size()));
        EXPECT_EQ(fromMemory.LengthFrames(), fromFile.LengthFrames());
        const std::vector<std::uint8_t> whole = DecodeAll(fromFile);
        EXPECT_FALSE(whole.empty());
        EXPECT_TRUE(DecodeAll(fromMemory) == whole);
        // Into the middle (the container's seek) and back to the start (read again).
        for (const std::int64_t frame : {fromFile.LengthFrames() / 2, std::int64_t{0}}) {
            ASSERT_TRUE(fromFile.SeekTo(frame));
            ASSERT_TRUE(fromMemory.SeekTo(frame));
            EXPECT_TRUE(DecodeAll(fromMemory) == DecodeAll(fromFile)) << "from frame " << frame;
        }
    }
    CAvInput input;
    EXPECT_FALSE(input.Open(nullptr, 0));
}

// The FFmpeg decoder plug-in's open path: any bytes opened through the same input the plug-in
// plays from (container, decoder, converter), decoded to its end, seeked to its middle and
// decoded on, and read again from its start. The bytes are a file in memory (memfd), opened by
// its path like any other: every step is the one a file takes, and a run touches no disk.
#include "pluginapi/PluginInterface.h"
#include "plugins/AvInput.h"

extern "C" {
#include <libavutil/mem.h>
}

#include <cstdlib>
#include <string>
#include <sys/mman.h>
#include <unistd.h>
#include <vector>

namespace {

// At most this many decode steps per input, so that a long file is cut, not timed out.
constexpr int kMaxSteps = 2000;
// The largest single block FFmpeg may allocate. A damaged header can claim an element of
// hundreds of megabytes, which the container reader allocates before it finds the file too
// short; under the address sanitizer each such block costs milliseconds of shadow memory,
// and a corpus that finds one slows to a crawl. No input of a few kilobytes needs more, and
// a refused allocation fails the open the way a damaged file does.
constexpr std::size_t kMaxAlloc = 2 * 1024 * 1024;

// Decodes up to steps times; aborts when a step gives a part of a frame.
void DecodeOn(CAvInput& input, int steps)
{
    std::vector<std::uint8_t> pcm;
    for (int i = 0; i < steps; ++i) {
        const CAvInput::Status status = input.Decode(pcm);
        if (pcm.size() % static_cast<std::size_t>(input.FrameBytes()) != 0)
            std::abort();
        if (status != CAvInput::Status::Sound)
            return;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    av_max_alloc(kMaxAlloc);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One file in memory for the whole run, rewritten for each input.
    static const int fd = memfd_create("av-fuzz", MFD_CLOEXEC);
    static const std::string path = "/proc/self/fd/" + std::to_string(fd);
    if (fd < 0 || ::ftruncate(fd, 0) != 0 ||
        ::pwrite(fd, data, size, 0) != static_cast<ssize_t>(size))
        std::abort();
    CAvInput input;
    if (input.Open(path)) {
        if (input.Rate() <= 0 || input.Channels() < 1 || input.Channels() > 2 ||
            (input.SampleFormat() != PLUGIN_PCM_S16 && input.SampleFormat() != PLUGIN_PCM_F32))
            std::abort();
        DecodeOn(input, kMaxSteps);
        if (input.SeekTo(input.LengthFrames() / 2))
            DecodeOn(input, kMaxSteps / 4);
        input.SeekTo(0);
        DecodeOn(input, 4);
    }
    return 0;
}

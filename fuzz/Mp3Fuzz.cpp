// The MPEG audio decoder plug-in: any bytes as an .mp3 file, opened, played to its end on
// the decoder's own thread into an output that takes everything at once, seeked, closed.
#include "fuzz/FuzzSupport.h"
#include "plugins/MpegDecoder.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdlib>
#include <mutex>

namespace {

// An output that plays instantly: every frame written counts as heard.
class CInstantOutput final : public IOutputPlugin
{
public:
    int Open(int nSampleRate, int nChannels) override
    {
        if (nSampleRate <= 0 || (nChannels != 1 && nChannels != 2))
            std::abort();
        m_nFrameBytes = 2 * nChannels;
        m_nFrames = 0;
        return 1;
    }
    int Write(const void*, int nBytes) override
    {
        if (nBytes < 0 || nBytes % m_nFrameBytes != 0)
            std::abort();
        m_nFrames += nBytes / m_nFrameBytes;
        return nBytes;
    }
    void Flush() override { m_nFrames = 0; }
    int WaitDrained(int) override { return 1; }
    std::int64_t GetPlayedFrames() override { return m_nFrames; }
    void SetPaused(int) override {}
    void Interrupt() override {}
    void Close() override {}
    void SetStreamTicket(const AudioStreamTicket&) override {}
    void Release() override {}
    int OpenFormat(int nSampleRate, int nChannels, int nSampleFormat) override
    {
        if (nSampleFormat != PLUGIN_PCM_S16)
            std::abort();
        return Open(nSampleRate, nChannels);
    }

private:
    int m_nFrameBytes = 4;
    std::atomic<std::int64_t> m_nFrames{0};
};

CInstantOutput g_output;
CMpegDecoder g_decoder;
std::mutex g_endLock;
std::condition_variable g_ended;
int g_nEnds = 0;

int Callback(int nType, int, std::uint32_t)
{
    if (nType == PLUGIN_CALLBACK_END) {
        const std::lock_guard lock(g_endLock);
        ++g_nEnds;
        g_ended.notify_all();
    }
    return 0;
}

// Waits for the end callback, woken by it at once, at most about a second (a file that takes
// longer is cut); a decoder that stopped without one is looked at every millisecond.
void WaitForEnd(IDecoderPlugin& decoder)
{
    // The state is asked without the lock: the decoder may hold its own while it calls back.
    for (int i = 0; i < 1000 && decoder.GetState() != PLUGIN_STATE_STOPPED; ++i) {
        std::unique_lock lock(g_endLock);
        if (g_ended.wait_for(lock, std::chrono::milliseconds(1), [] { return g_nEnds != 0; }))
            return;
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_decoder.SetOutput(&g_output);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    CMpegDecoder& decoder = g_decoder;
    const std::string path = WriteFuzzFile("input.mp3", AsText(data, size));
    {
        const std::lock_guard lock(g_endLock);
        g_nEnds = 0;
    }
    decoder.SetCallback(Callback, 0);
    PluginMediaInfo info{};
    if (decoder.Open(path.c_str(), &info) == 0)
        return 0;
    if (info.nLengthSeconds < 0 || info.nChannels < 1 || info.nChannels > 2)
        std::abort();
    if (decoder.Play() != 0) {
        WaitForEnd(decoder);
        if (decoder.GetState() == PLUGIN_STATE_PLAYING) {
            decoder.Seek(info.nLengthSeconds / 2);
            decoder.Pause();
            decoder.Resume();
        }
    }
    decoder.Close();
    return 0;
}

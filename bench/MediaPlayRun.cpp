// Plays one medium in real time into the silent output and reports what it cost:
//   bench_media_play make DIR            writes the media (20-minute WAV and CD image, MIDI)
//   bench_media_play wav|midi|cd DIR [S] plays S seconds (default 60)
// Reported: time from MCI_OPEN to the first frame handed to the output, CPU time as a share
// of one core, the resident set before opening and its peak while playing.

#include "audio/SoundOutput.h"
#include "bench/MediaBenchMedia.h"
#include "media/Mci.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

long RssKb()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::strtol(line.c_str() + 6, nullptr, 10);
    return 0;
}

double CpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

DWORD Position(MCIDEVICEID id)
{
    MCI_STATUS_PARMS status;
    status.dwItem = MCI_STATUS_POSITION;
    mciSendCommand(id, MCI_STATUS, MCI_STATUS_ITEM, &status);
    return static_cast<DWORD>(status.dwReturn);
}

int Play(const std::string& kind, const std::string& dir, int seconds)
{
    UINT type = MCI_DEVTYPE_WAVEFORM_AUDIO;
    std::string element = dir + "/long.wav";
    DWORD flags = MCI_OPEN_TYPE | MCI_OPEN_TYPE_ID | MCI_OPEN_ELEMENT | MCI_WAIT;
    if (kind == "midi") {
        type = MCI_DEVTYPE_SEQUENCER;
        element = dir + "/minute.mid";
    } else if (kind == "cd") {
        type = MCI_DEVTYPE_CD_AUDIO;
        element = dir + "/long.cue";
        flags |= MCI_OPEN_SHAREABLE;
    }
    SelectAudioOutput(AudioOutputKind::Silent);
    const long rssBefore = RssKb();
    const double cpuBefore = CpuSeconds();
    const auto start = Clock::now();
    MCI_OPEN_PARMS open;
    open.lpstrDeviceType = MciDeviceType(type);
    open.lpstrElementName = element.c_str();
    if (const MCIERROR e = mciSendCommand(0, MCI_OPEN, flags, &open); e != 0) {
        char text[256];
        mciGetErrorString(e, text, sizeof text);
        std::fprintf(stderr, "open failed: %s\n", text);
        return 1;
    }
    const double openMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    MCI_PLAY_PARMS play;
    mciSendCommand(open.wDeviceID, MCI_PLAY, 0, &play);
    while (Position(open.wDeviceID) == 0)
        std::this_thread::sleep_for(std::chrono::microseconds(100));
    const double firstMs = std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    std::this_thread::sleep_until(start + std::chrono::seconds(seconds));
    const double wall = std::chrono::duration<double>(Clock::now() - start).count();
    const double cpu = CpuSeconds() - cpuBefore;
    const DWORD reached = Position(open.wDeviceID);
    mciSendCommand(open.wDeviceID, MCI_CLOSE, MCI_WAIT, nullptr);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    std::printf("%-5s open %7.2f ms, open->first frame %7.2f ms | cpu %6.3f s of %5.1f s = %5.2f "
                "%% of a core | "
                "position %u ms | RSS before open %ld KB, peak %ld KB\n",
                kind.c_str(), openMs, firstMs, cpu, wall, 100.0 * cpu / wall, reached, rssBefore,
                usage.ru_maxrss);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc >= 3 && std::strcmp(argv[1], "make") == 0) {
        WriteLongWav(argv[2], 1200);
        WriteLongCdImage(argv[2], 20, 60);
        WriteMinuteOfMidi(argv[2]);
        return 0;
    }
    if (argc >= 3)
        return Play(argv[1], argv[2], argc >= 4 ? std::atoi(argv[3]) : 60);
    std::fprintf(stderr, "usage: %s make DIR | wav|midi|cd DIR [seconds]\n", argv[0]);
    return 2;
}

#include "tests/support/AvWriter.h"

#include "tests/support/TestMedia.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

// The samples of a PCM WAV that MakeWav wrote (16- or 24-bit integer), as floats.
std::vector<float> WavSamples(const std::string& wav, int bits)
{
    std::vector<float> samples;
    const std::size_t data = wav.find("data");
    if (data == std::string::npos)
        return samples;
    const int bytes = bits / 8;
    const double scale = bits == 16 ? 32768.0 : 8388608.0;
    for (std::size_t at = data + 8; at + static_cast<std::size_t>(bytes) <= wav.size();
         at += static_cast<std::size_t>(bytes)) {
        std::uint32_t raw = 0;
        std::memcpy(&raw, wav.data() + at, static_cast<std::size_t>(bytes));
        const std::uint32_t sign = 1u << (bits - 1);
        const auto value =
            static_cast<std::int32_t>((raw ^ sign)) - static_cast<std::int32_t>(sign);
        samples.push_back(static_cast<float>(value / scale));
    }
    return samples;
}

} // namespace

bool RunProgram(const std::vector<std::string>& args)
{
    std::vector<char*> argv;
    for (const std::string& arg : args)
        argv.push_back(const_cast<char*>(arg.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    pid_t pid = 0;
    const int spawned = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0)
        return false;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid)
        return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool WriteEncodedTone(const std::string& strPath, const EncodedTone& tone,
                      std::vector<float>* source)
{
    WavTone wavTone;
    wavTone.nRate = tone.nRate;
    wavTone.nChannels = tone.nChannels;
    wavTone.nBits = tone.nBits;
    wavTone.nFrames = static_cast<std::uint32_t>(std::lround(tone.dSeconds * tone.nRate));
    wavTone.frequency = 1000.0;
    wavTone.amplitude = 0.5;
    const std::string wav = MakeWav(wavTone);
    const std::string wavPath = strPath + ".source.wav";
    {
        std::ofstream out(wavPath, std::ios::binary | std::ios::trunc);
        out.write(wav.data(), static_cast<std::streamsize>(wav.size()));
        if (!out)
            return false;
    }
    if (source != nullptr)
        *source = WavSamples(wav, tone.nBits);

    std::vector<std::string> args = {"ffmpeg", "-nostdin", "-loglevel", "error",
                                     "-y",     "-i",       wavPath};
    if (!tone.strCoverPath.empty()) {
        args.insert(args.end(), {"-i", tone.strCoverPath, "-map", "0:a", "-map", "1:v", "-c:v",
                                 "copy", "-disposition:v", "attached_pic"});
    }
    args.insert(args.end(), {"-c:a", tone.strCodec});
    if (tone.nBitrateKbps > 0)
        args.insert(args.end(), {"-b:a", std::to_string(tone.nBitrateKbps) + "k"});
    for (const auto& [key, value] : tone.tags)
        args.insert(args.end(), {"-metadata", key + "=" + value});
    if (strPath.ends_with(".mp3") && !tone.strCoverPath.empty())
        args.insert(args.end(), {"-id3v2_version", "3"});
    args.push_back(strPath);
    const bool bOk = RunProgram(args);
    std::remove(wavPath.c_str());
    return bOk;
}

std::string MakeJpeg(const std::string& strDir)
{
    const std::string path = strDir + "/cover-source.jpg";
    if (!RunProgram({"ffmpeg", "-nostdin", "-loglevel", "error", "-y", "-f", "lavfi", "-i",
                     "color=c=red:s=8x8", "-frames:v", "1", path}))
        return {};
    return path;
}

#include "tests/support/Mp3Writer.h"

#include <lame/lame.h>

#include <cmath>
#include <cstdint>
#include <fstream>
#include <memory>
#include <numbers>
#include <random>
#include <vector>

namespace {

struct LameDeleter
{
    void operator()(lame_global_flags* gfp) const { lame_close(gfp); }
};
using LamePtr = std::unique_ptr<lame_global_flags, LameDeleter>;

// One channel's sample at frame i: a 440 Hz tone; for the variable-rate file every third
// second is silence and every third second is noise, so the encoder picks different sizes.
short SampleAt(const Mp3Tone& tone, long i, std::minstd_rand& noise)
{
    const double t = static_cast<double>(i) / tone.nSampleRate;
    double value = 0.4 * std::sin(2.0 * std::numbers::pi * 440.0 * t);
    if (tone.bitrate == Mp3Bitrate::Variable) {
        const long second = i / tone.nSampleRate;
        if (second % 3 == 1)
            value = 0.0;
        else if (second % 3 == 2)
            value = std::uniform_real_distribution<double>(-0.5, 0.5)(noise);
    }
    return static_cast<short>(std::lround(value * 32767.0));
}

bool WriteBytes(const std::string& path, const std::string& bytes)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    return static_cast<bool>(out.flush());
}

} // namespace

std::string EncodeMp3(const Mp3Tone& tone)
{
    LamePtr gfp(lame_init());
    if (!gfp || tone.nChannels < 1 || tone.nChannels > 2 || tone.dSeconds < 0)
        return {};
    lame_set_in_samplerate(gfp.get(), tone.nSampleRate);
    lame_set_out_samplerate(gfp.get(), tone.nSampleRate);
    lame_set_num_channels(gfp.get(), tone.nChannels);
    lame_set_mode(gfp.get(), tone.nChannels == 1 ? MONO : JOINT_STEREO);
    lame_set_quality(gfp.get(), 7);
    lame_set_write_id3tag_automatic(gfp.get(), 0);
    lame_set_bWriteVbrTag(gfp.get(), tone.bInfoTag ? 1 : 0);
    switch (tone.bitrate) {
    case Mp3Bitrate::Constant:
        lame_set_VBR(gfp.get(), vbr_off);
        lame_set_brate(gfp.get(), tone.nBitrateKbps);
        break;
    case Mp3Bitrate::Variable:
        lame_set_VBR(gfp.get(), vbr_default);
        lame_set_VBR_quality(gfp.get(), 4.0F);
        break;
    case Mp3Bitrate::FreeFormat:
        lame_set_VBR(gfp.get(), vbr_off);
        lame_set_free_format(gfp.get(), 1);
        lame_set_brate(gfp.get(), tone.nBitrateKbps);
        break;
    }
    if (lame_init_params(gfp.get()) < 0)
        return {};

    const long total = std::lround(tone.dSeconds * tone.nSampleRate);
    constexpr int kChunkFrames = 4096;
    std::vector<short> pcm(static_cast<std::size_t>(kChunkFrames * tone.nChannels));
    std::vector<unsigned char> out(static_cast<std::size_t>(kChunkFrames * 5 / 4 + 7200));
    std::string bytes;
    std::minstd_rand noise(7);
    for (long done = 0; done < total;) {
        const int frames = static_cast<int>(std::min<long>(kChunkFrames, total - done));
        for (int f = 0; f < frames; ++f) {
            const short s = SampleAt(tone, done + f, noise);
            for (int c = 0; c < tone.nChannels; ++c)
                pcm[static_cast<std::size_t>(f * tone.nChannels + c)] = s;
        }
        int n = 0;
        if (tone.nChannels == 2) {
            n = lame_encode_buffer_interleaved(gfp.get(), pcm.data(), frames, out.data(),
                                               static_cast<int>(out.size()));
        } else {
            n = lame_encode_buffer(gfp.get(), pcm.data(), pcm.data(), frames, out.data(),
                                   static_cast<int>(out.size()));
        }
        if (n < 0)
            return {};
        bytes.append(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n));
        done += frames;
    }
    const int n = lame_encode_flush(gfp.get(), out.data(), static_cast<int>(out.size()));
    if (n < 0)
        return {};
    bytes.append(reinterpret_cast<const char*>(out.data()), static_cast<std::size_t>(n));

    if (tone.bInfoTag) {
        // The encoder left room for the Info frame at the start; fill it in now that the
        // frame count is known.
        std::vector<unsigned char> tag(8192);
        const std::size_t size = lame_get_lametag_frame(gfp.get(), tag.data(), tag.size());
        if (size > 0 && size <= bytes.size())
            bytes.replace(0, size, reinterpret_cast<const char*>(tag.data()), size);
    }
    return bytes;
}

bool WriteMp3(const std::string& path, const Mp3Tone& tone)
{
    const std::string bytes = EncodeMp3(tone);
    return !bytes.empty() && WriteBytes(path, bytes);
}

bool WriteSilentMpeg(const std::string& path, int layer, double dSeconds, int nBitrateKbps)
{
    constexpr int kRate = 44100;
    constexpr int kLayer1Rates[] = {0,   32,  64,  96,  128, 160, 192, 224,
                                    256, 288, 320, 352, 384, 416, 448};
    constexpr int kLayer2Rates[] = {0,   32,  48,  56,  64,  80,  96, 112,
                                    128, 160, 192, 224, 256, 320, 384};
    if (layer != 1 && layer != 2)
        return false;
    const int* table = layer == 1 ? kLayer1Rates : kLayer2Rates;
    int index = 0;
    for (int i = 1; i < 15; ++i)
        if (table[i] == nBitrateKbps)
            index = i;
    if (index == 0)
        return false;
    // Layer 1 frames hold 384 samples in slots of 4 bytes, layer 2 frames 1152 samples.
    const int samplesPerFrame = layer == 1 ? 384 : 1152;
    const int frameBytes =
        layer == 1 ? 12 * nBitrateKbps * 1000 / kRate * 4 : 144 * nBitrateKbps * 1000 / kRate;
    const long frames = std::lround(dSeconds * kRate / samplesPerFrame);

    // Sync, MPEG-1, the layer, no CRC; the bitrate index, 44100 Hz, no padding; stereo.
    const auto layerBits = static_cast<unsigned>(layer == 1 ? 0x3 : 0x2);
    const unsigned char header[4] = {
        0xFF, static_cast<unsigned char>(0xF0 | 0x08 | (layerBits << 1) | 0x01),
        static_cast<unsigned char>(static_cast<unsigned>(index) << 4), 0x00};
    std::string frame(static_cast<std::size_t>(frameBytes), '\0');
    frame.replace(0, 4, reinterpret_cast<const char*>(header), 4);
    std::string bytes;
    bytes.reserve(frame.size() * static_cast<std::size_t>(frames));
    for (long i = 0; i < frames; ++i)
        bytes += frame;
    return WriteBytes(path, bytes);
}

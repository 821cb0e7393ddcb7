#include "media/MidiFile.h"

#include <algorithm>
#include <cmath>

namespace {

constexpr std::uint32_t kDefaultTempo = 500000; // microseconds per quarter note: 120 bpm
constexpr double kLongestMs = 2147483647.0;

std::uint32_t Be(std::string_view s, std::size_t at, std::size_t n)
{
    std::uint32_t v = 0;
    for (std::size_t i = 0; i < n; ++i)
        v = (v << 8) | static_cast<unsigned char>(s[at + i]);
    return v;
}

// A variable-length quantity of at most four bytes at pos; false when malformed or cut off.
bool ReadVarLen(std::string_view s, std::size_t& pos, std::uint32_t& value)
{
    value = 0;
    for (int i = 0; i < 4; ++i) {
        if (pos >= s.size())
            return false;
        const auto b = static_cast<unsigned char>(s[pos++]);
        value = (value << 7) | (b & 0x7Fu);
        if ((b & 0x80u) == 0)
            return true;
    }
    return false;
}

} // namespace

CMidiFile::Result CMidiFile::Parse(std::string_view bytes)
{
    m_tempo.assign(1, TempoChange{0, kDefaultTempo});
    m_nEndTick = 0;
    if (bytes.size() < 14 || bytes.substr(0, 4) != "MThd")
        return Result::NotMidi;
    const std::uint32_t headerLength = Be(bytes, 4, 4);
    if (headerLength < 6 || headerLength > bytes.size() - 8)
        return Result::NotMidi;
    m_nType = static_cast<int>(Be(bytes, 8, 2));
    m_nTracks = static_cast<int>(Be(bytes, 10, 2));
    const std::uint32_t division = Be(bytes, 12, 2);
    if (m_nType > 1 || m_nTracks == 0)
        return Result::UnsupportedType;
    if ((division & 0x8000u) != 0)
        return Result::SmpteTiming;
    if (division == 0)
        return Result::NotMidi;
    m_nDivision = static_cast<int>(division);

    std::size_t pos = 8 + headerLength;
    int found = 0;
    while (found < m_nTracks) {
        if (bytes.size() - pos < 8)
            return Result::NotMidi;
        const std::string_view id = bytes.substr(pos, 4);
        const std::uint32_t length = Be(bytes, pos + 4, 4);
        pos += 8;
        if (length > bytes.size() - pos)
            return Result::NotMidi;
        if (id == "MTrk") {
            if (!ReadTrack(bytes.substr(pos, length)))
                return Result::NotMidi;
            ++found;
        }
        pos += length;
    }
    std::stable_sort(m_tempo.begin(), m_tempo.end(),
                     [](const TempoChange& a, const TempoChange& b) { return a.tick < b.tick; });
    return LengthMs() > kLongestMs ? Result::TooLong : Result::Ok;
}

bool CMidiFile::ReadTrack(std::string_view track)
{
    std::size_t pos = 0;
    std::uint64_t tick = 0;
    unsigned running = 0;
    while (pos < track.size()) {
        std::uint32_t delta = 0;
        if (!ReadVarLen(track, pos, delta) || pos >= track.size())
            return false;
        tick += delta;
        unsigned status = static_cast<unsigned char>(track[pos]);
        if ((status & 0x80u) != 0)
            ++pos;
        else if (running != 0)
            status = running;
        else
            return false;

        if (status == 0xFF) {
            running = 0;
            if (pos >= track.size())
                return false;
            const auto type = static_cast<unsigned char>(track[pos++]);
            std::uint32_t length = 0;
            if (!ReadVarLen(track, pos, length) || length > track.size() - pos)
                return false;
            if (type == 0x51 && length == 3) {
                const std::uint32_t us = Be(track, pos, 3);
                m_tempo.push_back(TempoChange{tick, std::max<std::uint32_t>(us, 1)});
            }
            pos += length;
            if (type == 0x2F)
                break;
        } else if (status == 0xF0 || status == 0xF7) {
            running = 0;
            std::uint32_t length = 0;
            if (!ReadVarLen(track, pos, length) || length > track.size() - pos)
                return false;
            pos += length;
        } else if (status >= 0xF0) {
            return false;
        } else {
            running = status;
            const std::size_t dataBytes =
                (status & 0xF0u) == 0xC0 || (status & 0xF0u) == 0xD0 ? 1 : 2;
            if (dataBytes > track.size() - pos)
                return false;
            for (std::size_t i = 0; i < dataBytes; ++i)
                if ((static_cast<unsigned char>(track[pos + i]) & 0x80u) != 0)
                    return false;
            pos += dataBytes;
        }
    }
    m_nEndTick = std::max(m_nEndTick, tick);
    return true;
}

double CMidiFile::TickToMs(std::uint64_t tick) const
{
    double ms = 0.0;
    for (std::size_t i = 0; i < m_tempo.size() && m_tempo[i].tick < tick; ++i) {
        const std::uint64_t until =
            i + 1 < m_tempo.size() ? std::min(m_tempo[i + 1].tick, tick) : tick;
        ms += static_cast<double>(until - m_tempo[i].tick) * m_tempo[i].usPerQuarter /
              (1000.0 * m_nDivision);
    }
    return ms;
}

std::uint64_t CMidiFile::MsToTick(double ms) const
{
    double at = 0.0;
    for (std::size_t i = 0; i < m_tempo.size(); ++i) {
        const double msPerTick = m_tempo[i].usPerQuarter / (1000.0 * m_nDivision);
        const bool bLast = i + 1 == m_tempo.size();
        const double segment =
            bLast ? 0.0 : static_cast<double>(m_tempo[i + 1].tick - m_tempo[i].tick) * msPerTick;
        if (bLast || ms < at + segment)
            return m_tempo[i].tick +
                   static_cast<std::uint64_t>(std::floor((ms - at) / msPerTick + 1e-9));
        at += segment;
    }
    return 0;
}

#include "media/SequencerDevice.h"

#include "base/MbString.h"

#include <fluidsynth.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <malloc.h>
#include <mutex>
#include <thread>
#include <vector>

namespace {

constexpr int kRate = 44100;
// The decay after the end: at most 2 s, and over once a block's peak is below -80 dBFS.
constexpr std::uint64_t kLongestTail = 2 * kRate;
constexpr float kSilentPeak = 1e-4f;
constexpr std::uintmax_t kLargestFile = 64u << 20;
constexpr const char* kSoundFontDir = "/usr/share/sounds/sf2";
// Voices a synthesizer sounds at once: four times what General MIDI asks of a device, and
// half the library's default, whose voices stay allocated (about 10 KB each) for as long as
// the synthesizer lives, after its SoundFont has been let go.
constexpr int kPolyphony = 128;

// The synthesizers: one for the file that plays and one for the file prepared to follow it
// without a gap, sharing one set of settings. Never destroyed, since the output may still
// be rendering when the process ends, and each made only once, when first needed: making
// one starts the SoundFont library's types afresh each time, and what that leaves behind
// adds up over many MIDI files. Their SoundFont (often well over 100 MB; its samples are
// shared between synthesizers that load the same file, so the second costs only its
// presets) is loaded only while MIDI plays and for kSoundFontIdle after the last one was
// let go; a medium of another kind lets it go kSoundFontLinger after it starts, unless a
// MIDI file takes it again before (a queue that mixes kinds loads it once, not at every
// change).
constexpr std::size_t kSynths = 2;

struct PooledSynth
{
    fluid_synth_t* synth = nullptr;
    std::string strSoundFont; // the file loaded, empty when none
    int nFontId = -1;
    bool bInUse = false;
};

struct SharedSynth
{
    std::mutex mutex;
    std::condition_variable released; // a synthesizer let go, or the idle time changed
    fluid_settings_t* settings = nullptr;
    std::array<PooledSynth, kSynths> pool;
    bool bJanitor = false; // the thread that lets idle SoundFonts go runs
    std::chrono::steady_clock::time_point releasedAt;
    std::chrono::milliseconds idle = CSequencerDevice::kSoundFontIdle;
    // When a medium of another kind started: the SoundFont goes at this time once no
    // sequencer uses it; the far future while MIDI follows MIDI.
    std::chrono::steady_clock::time_point dropAt = std::chrono::steady_clock::time_point::max();
    std::chrono::milliseconds linger = CSequencerDevice::kSoundFontLinger;
    std::uint64_t nLoads = 0; // SoundFonts loaded so far

    bool AnyInUse() const
    {
        return std::any_of(
            pool.begin(), pool.end(), [](const PooledSynth& p) { return p.bInUse; });
    }
    bool AnyFont() const
    {
        return std::any_of(
            pool.begin(), pool.end(), [](const PooledSynth& p) { return p.nFontId >= 0; });
    }
};

SharedSynth& TheSynth()
{
    static SharedSynth* shared = new SharedSynth;
    return *shared;
}

// True when path holds a whole RIFF file of SoundFont form. FluidSynth's own check reads only
// the first bytes, and a damaged file then goes through every loader it has, some of which
// complain on the terminal.
bool IsWholeSoundFont(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    char header[12] = {};
    if (!in.read(header, sizeof header) || std::memcmp(header, "RIFF", 4) != 0 ||
        std::memcmp(header + 8, "sfbk", 4) != 0)
        return false;
    std::uint32_t riffSize = 0;
    for (int i = 3; i >= 0; --i)
        riffSize = (riffSize << 8) | static_cast<unsigned char>(header[4 + i]);
    std::error_code ec;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    return !ec && riffSize >= 4 && std::uintmax_t{riffSize} + 8 <= size;
}

// With the pool's mutex held, p not in use: unloads its SoundFont. The synthesizer itself
// stays for the next MIDI file.
void UnloadFont(PooledSynth& p)
{
    if (p.synth == nullptr || p.nFontId < 0)
        return;
    // Voices switched off hold the SoundFont until a render gives them back; unloaded
    // before, it would be freed later by a timer thread of the library's own.
    std::array<float, 2 * 64> scratch{};
    fluid_synth_all_sounds_off(p.synth, -1);
    fluid_synth_write_float(p.synth, 64, scratch.data(), 0, 2, scratch.data(), 1, 2);
    fluid_synth_sfunload(p.synth, p.nFontId, 1);
    p.nFontId = -1;
    p.strSoundFont.clear();
}

// With s.mutex held, none in use: unloads every SoundFont and gives the freed memory back
// to the system.
void DropSoundFont(SharedSynth& s)
{
    s.dropAt = std::chrono::steady_clock::time_point::max();
    if (!s.AnyFont())
        return;
    for (PooledSynth& p : s.pool)
        UnloadFont(p);
    malloc_trim(0);
}

// The janitor thread: lets the SoundFont go once no synthesizer has been in use for s.idle,
// or at s.dropAt when none is in use then. Detached; it only touches the never-destroyed
// SharedSynth.
void DropWhenIdle(SharedSynth& s)
{
    std::unique_lock lock(s.mutex);
    for (;;) {
        if (!s.AnyFont()) {
            s.bJanitor = false;
            return;
        }
        if (s.AnyInUse()) {
            s.released.wait(lock);
            continue;
        }
        const auto due = std::min(s.releasedAt + s.idle, s.dropAt);
        if (std::chrono::steady_clock::now() >= due) {
            DropSoundFont(s);
            continue;
        }
        s.released.wait_until(lock, due);
    }
}

// The free synthesizer to take: one with soundFont loaded already, else one made already
// (so that a second is made only when two files are open at once), else any free one.
PooledSynth* PickFree(SharedSynth& s, const std::string& soundFont)
{
    PooledSynth* made = nullptr;
    PooledSynth* unmade = nullptr;
    for (PooledSynth& p : s.pool) {
        if (p.bInUse)
            continue;
        if (p.synth != nullptr && p.strSoundFont == soundFont)
            return &p;
        if (p.synth != nullptr && made == nullptr)
            made = &p;
        if (p.synth == nullptr && unmade == nullptr)
            unmade = &p;
    }
    return made != nullptr ? made : unmade;
}

// Takes a free synthesizer with soundFont loaded, or answers why not.
MCIERROR AcquireSynth(const std::string& soundFont, fluid_synth_t*& synth)
{
    SharedSynth& s = TheSynth();
    std::lock_guard lock(s.mutex);
    // MIDI plays again: the SoundFont stays.
    s.dropAt = std::chrono::steady_clock::time_point::max();
    PooledSynth* const p = PickFree(s, soundFont);
    if (p == nullptr)
        return MCIERR_SEQ_PORT_INUSE;
    std::error_code ec;
    if (soundFont.empty() || !std::filesystem::is_regular_file(soundFont, ec))
        return MCIERR_SEQ_NO_SOUNDFONT;
    if (p->synth == nullptr) {
        for (int level = FLUID_PANIC; level < LAST_LOG_LEVEL; ++level)
            fluid_set_log_function(level, nullptr, nullptr);
        if (s.settings == nullptr) {
            s.settings = new_fluid_settings();
            if (s.settings == nullptr)
                return MCIERR_OUT_OF_MEMORY;
            fluid_settings_setnum(s.settings, "synth.sample-rate", kRate);
            fluid_settings_setstr(s.settings, "player.timing-source", "sample");
            fluid_settings_setint(s.settings, "synth.polyphony", kPolyphony);
        }
        p->synth = new_fluid_synth(s.settings);
        if (p->synth == nullptr)
            return MCIERR_OUT_OF_MEMORY;
    }
    if (p->strSoundFont != soundFont) {
        // Another file was chosen: no idle synthesizer keeps the old one.
        for (PooledSynth& other : s.pool)
            if (!other.bInUse && other.strSoundFont != soundFont)
                UnloadFont(other);
        if (!IsWholeSoundFont(soundFont) || fluid_is_soundfont(soundFont.c_str()) == 0)
            return MCIERR_SEQ_SOUNDFONT_INVALID;
        const int id = fluid_synth_sfload(p->synth, soundFont.c_str(), 1);
        if (id == FLUID_FAILED)
            return MCIERR_SEQ_SOUNDFONT_INVALID;
        p->nFontId = id;
        p->strSoundFont = soundFont;
        ++s.nLoads;
    }
    // Only this synthesizer: the other may still be rendering a file's last notes.
    fluid_synth_system_reset(p->synth);
    p->bInUse = true;
    synth = p->synth;
    if (!s.bJanitor) {
        try {
            std::thread(DropWhenIdle, std::ref(s)).detach();
            s.bJanitor = true;
        } catch (const std::system_error&) {
            // No thread: the SoundFont then goes only when a medium of another kind starts.
        }
    }
    return 0;
}

void ReleaseSynth(fluid_synth_t* synth)
{
    SharedSynth& s = TheSynth();
    {
        std::lock_guard lock(s.mutex);
        for (PooledSynth& p : s.pool) {
            if (p.synth == synth) {
                fluid_synth_all_sounds_off(synth, -1);
                p.bInUse = false;
            }
        }
        s.releasedAt = std::chrono::steady_clock::now();
    }
    s.released.notify_all();
}

} // namespace

std::string CSequencerDevice::ChooseSoundFont()
{
    if (const char* env = std::getenv("SORVANE_SOUNDFONT"); env != nullptr && *env != '\0')
        return env;
    std::error_code ec;
    const std::filesystem::path standard = std::filesystem::path(kSoundFontDir) / "default-GM.sf2";
    if (std::filesystem::exists(standard, ec))
        return standard.string();
    std::vector<std::string> found;
    for (const auto& entry : std::filesystem::directory_iterator(kSoundFontDir, ec))
        if (EndsWithNoCase(entry.path().extension().string(), ".sf2"))
            found.push_back(entry.path().string());
    std::sort(found.begin(), found.end());
    return found.empty() ? std::string() : found.front();
}

void CSequencerDevice::ReleaseSoundFont()
{
    SharedSynth& s = TheSynth();
    {
        std::lock_guard lock(s.mutex);
        if (s.AnyInUse())
            return;
        DropSoundFont(s);
    }
    s.released.notify_all();
}

void CSequencerDevice::ReleaseSoundFontSoon()
{
    SharedSynth& s = TheSynth();
    {
        std::lock_guard lock(s.mutex);
        if (!s.AnyFont())
            return;
        if (!s.bJanitor) {
            // No thread to let it go later: now, unless a sequencer still uses it.
            if (!s.AnyInUse())
                DropSoundFont(s);
            return;
        }
        s.dropAt = std::chrono::steady_clock::now() + s.linger;
    }
    s.released.notify_all();
}

std::uint64_t CSequencerDevice::SoundFontLoads()
{
    SharedSynth& s = TheSynth();
    std::lock_guard lock(s.mutex);
    return s.nLoads;
}

bool CSequencerDevice::SoundFontLoaded()
{
    SharedSynth& s = TheSynth();
    std::lock_guard lock(s.mutex);
    return s.AnyFont();
}

void CSequencerDevice::SetSoundFontIdleForTest(std::chrono::milliseconds idle,
                                               std::chrono::milliseconds linger)
{
    SharedSynth& s = TheSynth();
    {
        std::lock_guard lock(s.mutex);
        s.idle = idle;
        s.linger = linger;
    }
    s.released.notify_all();
}

CSequencerDevice::~CSequencerDevice()
{
    Close();
    if (m_pPlayer != nullptr)
        delete_fluid_player(m_pPlayer);
    if (m_pSynth != nullptr)
        ReleaseSynth(m_pSynth);
}

MCIERROR CSequencerDevice::Open(const std::string& path)
{
    std::error_code ec;
    if (path.empty() || !std::filesystem::exists(path, ec))
        return MCIERR_FILE_NOT_FOUND;
    m_strPath = path;
    const std::uintmax_t size = std::filesystem::file_size(path, ec);
    if (ec || !std::filesystem::is_regular_file(path, ec) || size > kLargestFile)
        return MCIERR_INVALID_FILE;
    std::ifstream in(path, std::ios::binary);
    m_strBytes.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    if (!in.good() && !in.eof())
        return MCIERR_INVALID_FILE;
    switch (m_midi.Parse(m_strBytes)) {
    case CMidiFile::Result::Ok:
        break;
    case CMidiFile::Result::SmpteTiming:
        return MCIERR_SEQ_DIV_INCOMPATIBLE;
    default:
        return MCIERR_INVALID_FILE;
    }
    m_nFrames = static_cast<std::uint64_t>(std::llround(m_midi.LengthMs() * kRate / 1000.0));
    if (const MCIERROR e = AcquireSynth(ChooseSoundFont(), m_pSynth); e != 0) {
        m_pSynth = nullptr;
        return e;
    }
    return Reposition(0) ? 0 : MCIERR_INVALID_FILE;
}

AudioFormat CSequencerDevice::Format() const
{
    return AudioFormat{kRate, 2, SampleFormat::F32};
}

bool CSequencerDevice::Reposition(std::uint64_t frame)
{
    m_bInTail = false;
    fluid_synth_all_sounds_off(m_pSynth, -1);
    if (m_pPlayer != nullptr)
        delete_fluid_player(m_pPlayer);
    m_pPlayer = new_fluid_player(m_pSynth);
    if (m_pPlayer == nullptr)
        return false;
    if (fluid_player_add_mem(m_pPlayer, m_strBytes.data(), m_strBytes.size()) != FLUID_OK)
        return false;
    if (frame > 0) {
        const double ms = static_cast<double>(frame) * 1000.0 / kRate;
        const auto tick = std::min<std::uint64_t>(m_midi.MsToTick(ms), 0x7FFFFFFF);
        if (fluid_player_seek(m_pPlayer, static_cast<int>(tick)) != FLUID_OK)
            return false;
    }
    return fluid_player_play(m_pPlayer) == FLUID_OK;
}

std::size_t CSequencerDevice::Decode(void* buffer, std::size_t frames)
{
    auto* out = static_cast<float*>(buffer);
    std::size_t done = 0;
    while (done < frames) {
        const int n = static_cast<int>(std::min<std::size_t>(frames - done, 4096));
        if (fluid_synth_write_float(m_pSynth, n, out + 2 * done, 0, 2, out + 2 * done, 1, 2) !=
            FLUID_OK)
            break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::size_t CSequencerDevice::DecodeTail(void* buffer, std::size_t frames)
{
    if (!m_bInTail) {
        // No more events: the notes sounding now are released, as at the end of a song.
        m_bInTail = true;
        m_nTailFrames = 0;
        if (m_pPlayer != nullptr)
            fluid_player_stop(m_pPlayer);
        fluid_synth_all_notes_off(m_pSynth, -1);
    }
    if (m_nTailFrames >= kLongestTail)
        return 0;
    const auto n = static_cast<std::size_t>(
        std::min<std::uint64_t>({frames, kLongestTail - m_nTailFrames, 4096}));
    auto* out = static_cast<float*>(buffer);
    if (fluid_synth_write_float(m_pSynth, static_cast<int>(n), out, 0, 2, out, 1, 2) != FLUID_OK)
        return 0;
    m_nTailFrames += n;
    float peak = 0.0f;
    for (std::size_t i = 0; i < 2 * n; ++i)
        peak = std::max(peak, std::fabs(out[i]));
    return peak < kSilentPeak ? 0 : n;
}

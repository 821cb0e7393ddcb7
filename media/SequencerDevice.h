#pragma once

#include "media/MciDevice.h"
#include "media/MidiFile.h"

#include <chrono>
#include <cstdint>
#include <string>

struct _fluid_player_t;
struct _fluid_synth_t;

// Sequencer: a Standard MIDI File of type 0 or 1 played by FluidSynth's file player into
// 44.1 kHz stereo floats. The player takes its timing from the samples rendered, so it keeps
// step with the sound output's clock. Length, position and the end of a play come from the
// file's own tempo map (the player itself reports "playing" for a while past the last event).
// At the end of a play the notes still sounding are released and their decay (release and
// reverb) plays on until it is silent or for 2 s at most, after the end notification; the
// decay is decoded ahead, so it plays out also when the device is closed at once (the next
// medium then starts during it).
// Two sequencers may be open at once, so that the next MIDI file can be opened and held
// behind the one that plays (a queue played without gaps); each has a synthesizer of its
// own from a pool of two, made only when first needed and never destroyed, so that one
// file's last notes decay untouched while the next starts. The SoundFont is loaded into a
// synthesizer once and again only when the chosen file changes (the samples are shared:
// the second synthesizer costs only its presets), kept while MIDI follows MIDI, and let
// go (its memory given back) kSoundFontIdle after the last sequencer closed, or
// kSoundFontLinger after a medium of another kind started (ReleaseSoundFontSoon) unless a
// MIDI file opened meanwhile: a queue that mixes MIDI with other kinds, whose next MIDI
// file is prepared as soon as the entry before it starts, loads it once, not at every
// change of kind (a load of a large SoundFont holds the opening thread for a second).
// Time format: milliseconds.
class CSequencerDevice final : public CMciDevice
{
public:
    explicit CSequencerDevice(MCIDEVICEID id)
        : CMciDevice(id)
    {}
    ~CSequencerDevice() override;

    // Opens path; 0 or MCIERR_FILE_NOT_FOUND, MCIERR_INVALID_FILE, MCIERR_SEQ_DIV_INCOMPATIBLE
    // (SMPTE timing), MCIERR_SEQ_NO_SOUNDFONT, MCIERR_SEQ_SOUNDFONT_INVALID,
    // MCIERR_SEQ_PORT_INUSE (two sequencers are open), MCIERR_OUT_OF_MEMORY.
    MCIERROR Open(const std::string& path);

    // The SoundFont the rule picks now: $SORVANE_SOUNDFONT when set and not empty, else
    // /usr/share/sounds/sf2/default-GM.sf2 when it exists, else the first .sf2 file (by name)
    // in that folder; empty when there is none.
    static std::string ChooseSoundFont();

    // How long the SoundFont stays loaded after the last sequencer closed.
    static constexpr std::chrono::milliseconds kSoundFontIdle{60000};
    // How long it stays after a medium of another kind started, for a MIDI file that follows
    // soon; short enough that the memory is given back well within 10 s.
    static constexpr std::chrono::milliseconds kSoundFontLinger{5000};
    // Any thread: lets the SoundFont go now, unless a sequencer is open. The next MIDI file
    // loads it again.
    static void ReleaseSoundFont();
    // Any thread: a medium of another kind started; the SoundFont goes kSoundFontLinger from
    // now once no sequencer is open, unless a MIDI file opens before.
    static void ReleaseSoundFontSoon();
    // Any thread: whether a SoundFont is loaded now.
    static bool SoundFontLoaded();
    // Any thread: how many times a SoundFont has been loaded in this process.
    static std::uint64_t SoundFontLoads();
    // Test seam: replaces kSoundFontIdle and kSoundFontLinger.
    static void SetSoundFontIdleForTest(std::chrono::milliseconds idle,
                                        std::chrono::milliseconds linger = kSoundFontLinger);

private:
    AudioFormat Format() const override;
    std::uint64_t LengthFrames() const override { return m_nFrames; }
    bool Reposition(std::uint64_t frame) override;
    std::size_t Decode(void* buffer, std::size_t frames) override;
    std::size_t DecodeTail(void* buffer, std::size_t frames) override;
    std::string Name() const override { return m_strPath; }
    unsigned AheadMs() const override { return 3000; }
    bool ReadsMayHang() const override { return false; }

    std::string m_strPath;
    bool m_bInTail = false;          // decode thread: the notes were released at the end
    std::uint64_t m_nTailFrames = 0; // decode thread: frames of decay rendered
    std::string m_strBytes;          // the file, for starting the player again after a seek
    CMidiFile m_midi;
    std::uint64_t m_nFrames = 0;
    _fluid_synth_t* m_pSynth = nullptr; // the pool's synthesizer this device holds
    _fluid_player_t* m_pPlayer = nullptr;
};

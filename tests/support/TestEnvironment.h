#pragma once

// The small General MIDI SoundFont that install-deps.sh installs (timgm6mb-soundfont): the
// one every test that plays MIDI names, whatever the machine's default is.
inline constexpr const char* kTestSoundFont = "/usr/share/sounds/sf2/TimGM6mb.sf2";

// Names kTestSoundFont in SORVANE_SOUNDFONT, for this process and those it starts.
void UseTestSoundFont();

// Sets the process environment every test program starts from (tests/TestMain.cpp), and
// that a test which changed it returns to: the test SoundFont; no session bus; offscreen
// windows and SDL's dummy sound device; and the XDG configuration, cache, data and runtime
// folders in a private folder of this process (removed at its exit), so that no test reads
// or writes the user's own, or meets a player running on the user's desktop.
void UseTestEnvironment();

// The main function of every test program. Before any test runs it takes from the process
// what the machine happens to offer and the tests must not lean on:
// - the SoundFont: every MIDI file plays with the small General MIDI SoundFont that
//   install-deps.sh installs, not the machine's default (often a 148 MB one that costs a
//   second a load); a test about the choice itself sets or clears SORVANE_SOUNDFONT;
// - the desktop's session bus: a player made inside a test never joins it (a test that
//   needs a bus starts a private one and names it to the process it starts);
// - the window system and the sound card: windows are drawn offscreen and sound goes to
//   SDL's dummy device unless a test starts a private X server for a player of its own.
#include "tests/support/TestEnvironment.h"

#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    UseTestEnvironment();
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

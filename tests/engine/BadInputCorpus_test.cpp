#include "tests/engine/EngineTest.h"

#include "media/Mci.h"
#include "tests/support/BadInputCorpus.h"

namespace {

class BadInputCorpusTest : public EngineTest
{
protected:
    // Opens and plays a CD image as the player's CD play command does.
    int OpenAndPlayDisc(const std::string& cue)
    {
        ::setenv("SORVANE_CDROM", cue.c_str(), 1);
        return m_engine.OpenMedium({}, MEDIUM_CD) != 0 ? m_engine.Play(1) : 0;
    }

    // Plays up to three seconds on the manual clock, or to the end; returns the frames heard
    // (none from a medium of length 0, which ends at once).
    std::size_t PlayOn()
    {
        return PlayFrames(
            3 * 44100, [&] { return m_engine.GetMode() != static_cast<int>(MCI_MODE_PLAY); },
            std::chrono::seconds(5));
    }
};

} // namespace

// Catches a bad WAV, MIDI, MPEG audio file or CD image that crashes, hangs or leaks, that
// fails without telling the user, or a valid unusual one that is refused.
TEST_F(BadInputCorpusTest, EveryBadMediumIsRefusedWithAMessageOrPlays)
{
    for (const BadInput& input : WriteBadInputCorpus(m_dir.Path())) {
        if (input.kind != BadInputKind::Media && input.kind != BadInputKind::CdImage)
            continue;
        SCOPED_TRACE(BadInputName(input));
        m_prompts.messages.clear();
        const int played = input.kind == BadInputKind::CdImage ? OpenAndPlayDisc(input.path)
                                                               : m_engine.OpenAndPlay(input.path);
        if (played != 0) {
            const std::size_t heard = PlayOn();
            EXPECT_TRUE(heard > 0 || m_engine.GetMode() != static_cast<int>(MCI_MODE_PLAY));
            EXPECT_NE(input.outcome, BadInputOutcome::Refused);
        } else {
            EXPECT_FALSE(m_prompts.messages.empty());
            EXPECT_NE(input.outcome, BadInputOutcome::Accepted);
        }
        m_engine.CloseMedium();
    }
}

#pragma once

#include "base/WinTypes.h"

#include <cstdint>
#include <string>

// Key numbers of the settings. Key 2 is unused; SK_OTHER stands for any bracketed key the
// loader does not know; SK_LAUNCHPOS is reached only through Get/SetLaunchPos.
enum SettingKey {
    SK_TOPMOST = 1,
    SK_OTHER = 3,
    SK_LAUNCHPOS = 4,
    SK_TEXT_COLOR = 5,
    SK_BUTTON_COLOR = 6,
    SK_LED_COLOR = 7,
    SK_LAYOUT = 8,
    SK_REPEAT = 9,
    SK_SHUFFLE = 10, // play the queue in a drawn order, each entry once per cycle
    SK_RESUME = 11,  // keep the queue between runs and carry on where play stood
    // Loudness normalisation, after the design's keys: the mode (0 off, 1 track, 2 album,
    // 3 automatic), the preamp and the gain of media without gain tags (tenths of a dB).
    SK_REPLAYGAIN = 20,
    SK_REPLAYGAIN_PREAMP = 21,
    SK_REPLAYGAIN_UNTAGGED = 22,
};

// The player's user settings (the eight of the first design, shuffle and carry-on), one record per
// process (a member of the application object). Read once from "Sorvix.ini" at start-up, written
// once at exit, changed only in memory in between. Values are stored unchecked; their users clamp.
// User-interface thread only.
class CPlayerSettings
{
public:
    static constexpr COLORREF kDefaultText = 0;
    static constexpr COLORREF kDefaultLed = 0xE7FFF7;
    static constexpr COLORREF kDefaultButton = 0xFFC8B4;
    static constexpr const char* kFileName = "Sorvix.ini";
    // The loudness keys: the automatic mode by default, and the bounds of the two gains in
    // tenths of a dB. A value outside them, or anything but a whole number, reads as the
    // default.
    static constexpr int kDefaultGainMode = 3;
    static constexpr int kGainModeCount = 4;
    static constexpr int kGainTenthsLimit = 200;
    // A settings file larger than this is passed over like a missing one.
    static constexpr std::uintmax_t kMaxFileBytes = 16 * 1024 * 1024;

    CPlayerSettings() = default;
    virtual ~CPlayerSettings() = default;

    // The field of key 1, 5, 6, 7, 8, 9, 10, 11 or a loudness key; 0 for any other key.
    int Get(int nKey) const;
    // Stores nValue under key 1, 5, 6, 7, 8, 9, 10, 11 (unchecked) or a loudness key (the
    // default in place of a value out of its bounds); any other key is ignored.
    void Set(int nKey, int nValue);

    CPoint GetLaunchPos() const { return {m_nLaunchX, m_nLaunchY}; }
    void SetLaunchPos(int x, int y);

    // Reads the settings file. TRUE when it ran to the end, also when there is no file or
    // it is larger than kMaxFileBytes (the defaults stay); FALSE when a read error or a lack
    // of memory interrupted it (the values read before it stay). Silent.
    int Load();
    // Writes the seven lines and the player's own keys after them (shuffle, carry-on and the
    // three of loudness), through a temporary file in the same folder that replaces the old file
    // only when complete. TRUE when it ran to the end, also when the file cannot be created;
    // FALSE when a write error interrupted it (an earlier file stays whole). Silent.
    int Save() const;

    // The settings file's full path: "Sorvix.ini" in the settings directory, or the file
    // given to UseFile.
    std::string GetFileName() const;
    // Makes Load and Save use path instead of the standard place (tests, other profiles).
    void UseFile(std::string path) { m_strFileOverride = std::move(path); }

    // Returns the key number of a "[KEY]=value" line, or -1 when the line is no setting;
    // on success the line is replaced by its value text.
    static int ParseLine(std::string& line);
    // Stores a value text under a key; FALSE for a key that holds no value.
    int ApplyValue(int nKey, std::string value);

private:
    COLORREF m_crText = kDefaultText;
    int m_bTopmost = 0;
    int m_bRepeat = 1;
    int m_bShuffle = 0;
    int m_bResume = 1;
    COLORREF m_crLed = kDefaultLed;
    int m_nLayout = 0;
    COLORREF m_crButton = kDefaultButton;
    int m_nLaunchX = 0;
    int m_nLaunchY = 0;
    int m_nGainMode = kDefaultGainMode;
    int m_nGainPreamp = 0;   // tenths of a dB
    int m_nGainUntagged = 0; // tenths of a dB

    std::string m_strFileOverride;
};

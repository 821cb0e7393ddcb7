#include "settings/PlayerSettings.h"

#include "base/MbString.h"
#include "base/ModulePath.h"
#include "base/Path.h"
#include "base/ScanInt.h"
#include "base/TextFile.h"

#include <climits>
#include <cstdio>
#include <filesystem>
#include <new>

int CPlayerSettings::Get(int nKey) const
{
    switch (nKey) {
    case SK_TOPMOST:
        return m_bTopmost;
    case SK_TEXT_COLOR:
        return static_cast<int>(m_crText);
    case SK_BUTTON_COLOR:
        return static_cast<int>(m_crButton);
    case SK_LED_COLOR:
        return static_cast<int>(m_crLed);
    case SK_LAYOUT:
        return m_nLayout;
    case SK_REPEAT:
        return m_bRepeat;
    case SK_SHUFFLE:
        return m_bShuffle;
    case SK_RESUME:
        return m_bResume;
    case SK_REPLAYGAIN:
        return m_nGainMode;
    case SK_REPLAYGAIN_PREAMP:
        return m_nGainPreamp;
    case SK_REPLAYGAIN_UNTAGGED:
        return m_nGainUntagged;
    default:
        return 0;
    }
}

void CPlayerSettings::Set(int nKey, int nValue)
{
    switch (nKey) {
    case SK_TOPMOST:
        m_bTopmost = nValue;
        break;
    case SK_TEXT_COLOR:
        m_crText = static_cast<COLORREF>(nValue);
        break;
    case SK_BUTTON_COLOR:
        m_crButton = static_cast<COLORREF>(nValue);
        break;
    case SK_LED_COLOR:
        m_crLed = static_cast<COLORREF>(nValue);
        break;
    case SK_LAYOUT:
        m_nLayout = nValue;
        break;
    case SK_REPEAT:
        m_bRepeat = nValue;
        break;
    case SK_SHUFFLE:
        m_bShuffle = nValue;
        break;
    case SK_RESUME:
        m_bResume = nValue;
        break;
    case SK_REPLAYGAIN:
        m_nGainMode = nValue >= 0 && nValue < kGainModeCount ? nValue : kDefaultGainMode;
        break;
    case SK_REPLAYGAIN_PREAMP:
    case SK_REPLAYGAIN_UNTAGGED:
        (nKey == SK_REPLAYGAIN_PREAMP ? m_nGainPreamp : m_nGainUntagged) =
            nValue >= -kGainTenthsLimit && nValue <= kGainTenthsLimit ? nValue : 0;
        break;
    default:
        break;
    }
}

void CPlayerSettings::SetLaunchPos(int x, int y)
{
    m_nLaunchX = x;
    m_nLaunchY = y;
}

std::string CPlayerSettings::GetFileName() const
{
    if (!m_strFileOverride.empty())
        return m_strFileOverride;
    return JoinPath(GetSettingsDirectory(), kFileName);
}

int CPlayerSettings::Load()
{
    CTextFile file;
    const std::string path = GetFileName();
    if (!file.Open(path, CTextFile::Mode::Read))
        return 1;
    // Seven short lines make the whole file: one of many megabytes (a huge or sparse file) is
    // not read at all, so that a line of gigabytes cannot exhaust memory at every start.
    std::error_code ec;
    if (std::filesystem::file_size(path, ec) > kMaxFileBytes && !ec)
        return 1;
    try {
        std::string line;
        while (file.ReadLine(line)) {
            const int nKey = ParseLine(line);
            if (nKey < 1)
                continue;
            ApplyValue(nKey, line);
        }
        file.Close();
    } catch (const CFileException&) {
        return 0;
    } catch (const std::bad_alloc&) {
        return 0;
    }
    return 1;
}

int CPlayerSettings::Save() const
{
    const std::string path = GetFileName();
    if (m_strFileOverride.empty()) {
        std::error_code ec;
        std::filesystem::create_directories(GetSettingsDirectory(), ec);
    }
    CTextFile file;
    if (!file.Open(path, CTextFile::Mode::Write))
        return 1;
    try {
        char buffer[260];
        std::snprintf(buffer, sizeof buffer,
                      "[TOPMOST]=%d\n[LAYOUT]=%d\n[LAUNCHPOS]=%d %d\n[TEXT_COLOR]=%d\n"
                      "[LED_COLOR]=%d\n[BUTTON_COLOR]=%d\n[REPEAT]=%d\n[SHUFFLE]=%d\n"
                      "[RESUME]=%d\n",
                      m_bTopmost, m_nLayout, m_nLaunchX, m_nLaunchY, static_cast<int>(m_crText),
                      static_cast<int>(m_crLed), static_cast<int>(m_crButton), m_bRepeat,
                      m_bShuffle, m_bResume);
        file.WriteString(buffer);
        std::snprintf(buffer, sizeof buffer,
                      "[REPLAYGAIN]=%d\n[REPLAYGAIN_PREAMP]=%d\n[REPLAYGAIN_UNTAGGED]=%d\n",
                      m_nGainMode, m_nGainPreamp, m_nGainUntagged);
        file.WriteString(buffer);
        file.Close();
    } catch (const CFileException&) {
        return 0;
    }
    return 1;
}

int CPlayerSettings::ParseLine(std::string& line)
{
    const std::size_t open = MbsChr(line, '[');
    const std::size_t close = MbsChr(line, ']');
    if (open == std::string::npos || close == std::string::npos || close < open)
        return -1;
    const std::string key = line.substr(open + 1, close - open - 1);
    const std::size_t equals = MbsChr(line, '=');
    if (equals == std::string::npos)
        return -1;
    line.erase(0, equals + 1);

    static constexpr struct
    {
        const char* text;
        int key;
    } kKeys[] = {
        {"TOPMOST", SK_TOPMOST},
        {"BUTTON_COLOR", SK_BUTTON_COLOR},
        {"TEXT_COLOR", SK_TEXT_COLOR},
        {"LED_COLOR", SK_LED_COLOR},
        {"LAYOUT", SK_LAYOUT},
        {"LAUNCHPOS", SK_LAUNCHPOS},
        {"REPEAT", SK_REPEAT},
        {"SHUFFLE", SK_SHUFFLE},
        {"RESUME", SK_RESUME},
        {"REPLAYGAIN", SK_REPLAYGAIN},
        {"REPLAYGAIN_PREAMP", SK_REPLAYGAIN_PREAMP},
        {"REPLAYGAIN_UNTAGGED", SK_REPLAYGAIN_UNTAGGED},
    };
    for (const auto& k : kKeys)
        if (MbsICmp(key, k.text) == 0)
            return k.key;
    return SK_OTHER;
}

int CPlayerSettings::ApplyValue(int nKey, std::string value)
{
    std::size_t pos = 0;
    if (nKey == SK_LAUNCHPOS) {
        if (const auto x = ScanInt(value, pos)) {
            m_nLaunchX = *x;
            if (const auto y = ScanInt(value, pos))
                m_nLaunchY = *y;
        }
        return 1;
    }
    switch (nKey) {
    case SK_TOPMOST:
    case SK_TEXT_COLOR:
    case SK_BUTTON_COLOR:
    case SK_LED_COLOR:
    case SK_LAYOUT:
    case SK_REPEAT:
    case SK_SHUFFLE:
    case SK_RESUME:
        if (const auto v = ScanInt(value, pos))
            Set(nKey, *v);
        return 1;
    case SK_REPLAYGAIN:
    case SK_REPLAYGAIN_PREAMP:
    case SK_REPLAYGAIN_UNTAGGED: {
        // Nothing but a whole number counts; anything else reads as the default.
        const auto v = ScanInt(value, pos);
        const bool bWhole = v && value.find_first_not_of(" \t", pos) == std::string::npos;
        Set(nKey, bWhole ? *v : INT_MIN);
        return 1;
    }
    default:
        return 0;
    }
}

#include "res/Language.h"

#include "base/QtText.h"
#include "tests/support/CoreApplication.h"

#include <QTranslator>

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

// Catches a locale that shows the wrong texts: Japanese, C, POSIX (C.UTF-8 included) and no
// locale at all must keep the Japanese source texts, any other locale gets its language, and
// SORVANE_LANG, then LC_ALL, LC_MESSAGES and LANG decide in that order.
TEST(Language, SourceTextsUnderJapaneseAndCLocalesTheLocalesLanguageElsewhere)
{
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, nullptr, nullptr), "");
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, nullptr, "C"), "");
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, nullptr, "C.UTF-8"), "");
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, nullptr, "POSIX"), "");
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, nullptr, "ja_JP.UTF-8"), "");
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, nullptr, "en_US.UTF-8"), "en");
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, nullptr, "de_DE@euro"), "de");
    EXPECT_EQ(ChooseLanguage(nullptr, "", "", "en_GB.UTF-8"), "en");
    EXPECT_EQ(ChooseLanguage(nullptr, "C.UTF-8", nullptr, "en_US.UTF-8"), "");
    EXPECT_EQ(ChooseLanguage(nullptr, nullptr, "ja_JP.UTF-8", "en_US.UTF-8"), "");
    EXPECT_EQ(ChooseLanguage("en", "ja_JP.UTF-8", nullptr, "C"), "en");
    EXPECT_EQ(ChooseLanguage("ja", nullptr, nullptr, "en_US.UTF-8"), "");
}

// Catches a language without a translation of its own falling back to the Japanese source texts,
// or translations missing from the program's resources.
TEST(Language, ALanguageWithoutItsOwnTranslationGetsEnglish)
{
    EnsureCoreApplication();
    EXPECT_EQ(InstallTranslation(""), nullptr);
    EXPECT_EQ(TrText("設定"), QStringLiteral("設定"));
    {
        const std::unique_ptr<QTranslator> translation = InstallTranslation("xx");
        ASSERT_NE(translation, nullptr);
        EXPECT_EQ(TrText("設定"), QStringLiteral("Settings"));
        EXPECT_EQ(TrMessage("/tmp/設定.m3u\nMCI Open Error"),
                  QStringLiteral("/tmp/設定.m3u\nThe medium cannot be opened"));
    }
    EXPECT_EQ(TrText("設定"), QStringLiteral("設定"));
}

// Catches Qt's own dialogs (file, colour, the boxes' buttons) left in English beside the
// player's Japanese texts, or in another language than the one chosen.
TEST(Language, QtsOwnTextsShowInTheChosenLanguage)
{
    EnsureCoreApplication();
    const auto cancel = [] { return QCoreApplication::translate("QPlatformTheme", "Cancel"); };
    EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
    {
        const std::unique_ptr<QTranslator> japanese = InstallQtTranslation("");
        ASSERT_NE(japanese, nullptr) << "install-deps.sh installs Qt's translations";
        EXPECT_EQ(cancel(), QStringLiteral("キャンセル"));
    }
    {
        const std::unique_ptr<QTranslator> german = InstallQtTranslation("de");
        ASSERT_NE(german, nullptr);
        EXPECT_EQ(cancel(), QStringLiteral("Abbrechen"));
    }
    EXPECT_EQ(InstallQtTranslation("xx"), nullptr);
    EXPECT_EQ(cancel(), QStringLiteral("Cancel"));
}

// The string literals of a C++ source that hold bytes beyond ASCII and are not the text of a
// QT_TRANSLATE_NOOP("Sorvane", ...) mark, comments and character literals left out.
std::vector<std::string> UnmarkedTexts(const std::string& source)
{
    static const std::string kMark = "QT_TRANSLATE_NOOP(\"Sorvane\",";
    std::vector<std::string> found;
    std::string before; // the code before the current literal, without spaces
    std::size_t i = 0;
    while (i < source.size()) {
        const char c = source[i];
        if (source.compare(i, 2, "//") == 0) {
            i = source.find('\n', i);
        } else if (source.compare(i, 2, "/*") == 0) {
            i = source.find("*/", i);
            i = i == std::string::npos ? i : i + 2;
        } else if (source.compare(i, 2, "R\"") == 0) {
            const std::size_t open = source.find('(', i);
            const std::string close = ")" + source.substr(i + 2, open - i - 2) + "\"";
            i = source.find(close, open);
            i = i == std::string::npos ? i : i + close.size();
        } else if (c == '"' || c == '\'') {
            std::size_t end = i + 1;
            while (end < source.size() && source[end] != c)
                end += source[end] == '\\' ? 2u : 1u;
            const std::string literal = source.substr(i, end + 1 - i);
            const bool bMarked =
                before.size() >= kMark.size() &&
                before.compare(before.size() - kMark.size(), kMark.size(), kMark) == 0;
            const bool bAscii = std::all_of(literal.begin(), literal.end(), [](char b) {
                return static_cast<unsigned char>(b) < 0x80;
            });
            // A font's face name is looked up, never shown.
            const bool bFace = literal.find("ゴシック") != std::string::npos;
            if (c == '"' && !bAscii && !bMarked && !bFace)
                found.push_back(literal);
            // A literal continued on the next line keeps its mark.
            if (!bMarked || c != '"')
                before += literal;
            i = end + 1;
        } else {
            if (std::isspace(static_cast<unsigned char>(c)) == 0)
                before += c;
            ++i;
        }
    }
    return found;
}

// Catches a text added in Japanese without its translation mark: under an English locale it
// would stay Japanese, and no .ts file would ever list it.
TEST(Language, EveryJapaneseTextInTheProgramIsMarkedForTranslation)
{
    std::vector<std::string> unmarked;
    std::istringstream folders(SORVANE_TEXT_FOLDERS);
    std::string folder;
    int files = 0;
    while (folders >> folder) {
        const std::filesystem::path dir = std::filesystem::path(SORVANE_SOURCE_DIR) / folder;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            const std::string ext = entry.path().extension().string();
            if (ext != ".h" && ext != ".cpp")
                continue;
            std::ifstream in(entry.path(), std::ios::binary);
            const std::string source((std::istreambuf_iterator<char>(in)),
                                     std::istreambuf_iterator<char>());
            ++files;
            for (const std::string& text : UnmarkedTexts(source))
                unmarked.push_back(entry.path().filename().string() + ": " + text);
        }
    }
    EXPECT_GT(files, 50);
    EXPECT_EQ(unmarked, std::vector<std::string>{});
}

} // namespace

#include "res/Language.h"

#include "base/QtText.h"
#include "tests/support/CoreApplication.h"

#include <QTranslator>

#include <gtest/gtest.h>

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

} // namespace

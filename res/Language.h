#pragma once

#include <memory>
#include <string>
#include <string_view>

class QTranslator;

// Which language the player's texts show in. The source texts (the player's own, Japanese) show
// under a Japanese locale and under the C and POSIX locales; any other locale gets its
// own translation when res/translations holds one, else English. SORVANE_LANG names the
// language outright. The translations are compiled into the program as Qt resources.
// User-interface thread.

// The language asked for: SORVANE_LANG when set, else the language of the first set of
// LC_ALL, LC_MESSAGES and LANG; "" for the source texts (Japanese, C, POSIX or nothing
// set), otherwise the lower-case language code ("en" of "en_US.UTF-8").
std::string ChooseLanguage(const char* sorvaneLang, const char* lcAll, const char* lcMessages,
                           const char* lang);

// ChooseLanguage over this process's environment.
std::string LanguageOfEnvironment();

// Installs the translation of language into the Qt application object, English when there
// is none for it; null for "" (the source texts). The translation stays installed until the
// returned translator is destroyed.
std::unique_ptr<QTranslator> InstallTranslation(std::string_view language);

// Installs Qt's own translation (qtbase_<language>.qm from Qt's translations folder) for the
// texts of Qt's dialogs (file, colour, message box buttons): language as ChooseLanguage gives
// it, "" being the source texts' Japanese. Null when Qt has none for it. Stays installed until
// the returned translator is destroyed.
std::unique_ptr<QTranslator> InstallQtTranslation(std::string_view language);

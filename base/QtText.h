#pragma once

#include <QString>

#include <string>
#include <string_view>

// The one rule for text crossing between the player's byte strings and Qt's strings. Paths,
// playlist entries, titles and the program's own texts are byte strings in the system code
// page, which here is UTF-8 whatever the locale names: the encoding Qt gives file names on
// Linux and the encoding of the sources. Converting every crossing alike keeps a name that
// comes from the file system, is shown in a window and is handed back the same bytes (a
// name that is no UTF-8 cannot make that trip). Usable from any thread.

// text as a Qt string; bytes that are no UTF-8 become U+FFFD.
QString ToQString(std::string_view text);

// text as UTF-8 bytes.
std::string FromQString(const QString& text);

// Every text the user sees is marked QT_TRANSLATE_NOOP("Sorvane", "...") where it is defined,
// with the player's Japanese words as its source text, and looked up in this one context where it
// reaches Qt. Without an installed translation (Japanese and C locales) the source text shows.
inline constexpr const char* kTextContext = "Sorvane";

// The user's-language form of a marked text; text itself when no translation has it.
QString TrText(const char* text);

// A message of one or more lines, each line looked up on its own, so that a message that
// names a file above a marked text ("path\ntext") translates the text and keeps the name.
QString TrMessage(std::string_view text);

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

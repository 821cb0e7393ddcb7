#pragma once

#include <string>

// The program's string table: the document string of the document template, the application
// title that captions every message box, and the tips of the nine transport buttons. Texts
// are UTF-8. Usable from any thread.

// The text of string nID; "" when the table has no such string.
std::string LoadString(int nID);

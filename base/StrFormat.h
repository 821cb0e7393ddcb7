#pragma once

#include <string>

// printf-style formatting into a string of whatever length the result needs (the role of
// a string class's Format). The compiler checks the arguments against the format.
std::string StrFormat(const char* format, ...) __attribute__((format(printf, 1, 2)));

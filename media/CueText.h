#pragma once

#include <optional>
#include <string>

// The words of a CUE sheet, shared by the reader of single-file albums (CueSheet) and the
// preparation of CD images (CueImage). Usable from any thread.

// The largest sheet read; a real one is a few kilobytes.
inline constexpr long kMaxCueSheetBytes = 1024 * 1024;
// The most tracks a sheet may number, as on a disc.
inline constexpr long kMaxCueTrack = 99;

// Opens path for reading without waiting (a FIFO would wait for a writer) and keeps it only
// when it is a regular file; -1 otherwise. The caller closes the descriptor.
int OpenRegularFile(const std::string& path);
// The whole sheet at path into text; false when it is no regular file, cannot be read or
// is larger than kMaxCueSheetBytes.
bool ReadCueSheetBytes(const std::string& path, std::string& text);
// The line's first word in capitals, and the rest after the blanks that follow it.
std::string CueKeyword(const std::string& line, std::string& rest);
// The quoted ("a b") or bare (a) word at the start of rest, and in after what follows it;
// nullopt when there is none or the quote is not closed.
std::optional<std::string> CueWord(const std::string& rest, std::string& after);
// The track number at the start of a TRACK line's rest; -1 when there is none or it lies
// beyond kMaxCueTrack.
long CueTrackNumber(const std::string& rest);

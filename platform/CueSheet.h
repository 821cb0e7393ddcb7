#pragma once

#include <string>
#include <string_view>

// The check a CUE sheet passes before libcdio reads it. libcdio reads and writes outside its
// track table when the first track of a sheet has a high number (a crash, or a heap
// corrupted in silence), so the CD device opens only sheets whose tracks are numbered 1, 2,
// 3, ... in order, as sheets are written.

// True when the TRACK lines of sheet (a line whose first word is TRACK, in any case) give
// the numbers 1, 2, 3, ... in order; also true for a sheet without tracks.
bool CueTracksInOrder(std::string_view sheet);

// CueTracksInOrder for the sheet in the file at path. Only a regular file is read (a larger
// one than any real sheet, 1 MB, fails); anything else is left to the image driver and
// passes.
bool CueFileTracksInOrder(const std::string& path);

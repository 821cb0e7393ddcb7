#pragma once

#include "media/MediaTags.h"

#include <map>
#include <string>

// The part of the tag readers that needs TagLib (MediaTags, ReplayGain and CueSheet read
// through it). It is built into a module of its own, libsorvane_tagreader.so, beside the
// program and the plug-ins, and loaded the first time a file's tags are wanted: a player that
// reads no tags never maps TagLib, nor the C++ streams' set-up that TagLib brings (together
// about 1.2 MiB resident). TagLib's headers appear in the module's own files alone.
//
// Threads: every function reads one file and keeps nothing of it; any thread.

// The gain fields of a file's tags (REPLAYGAIN_* and R128_*), by upper-case name; the first
// tag that holds a name wins.
using GainFields = std::map<std::string, std::string>;

// What a file's tags say of its loudness, as text.
struct GainTagText
{
    GainFields fields;
    std::string strAlbum; // the album's name, UTF-8
    bool bOpus = false;   // an Opus file, whose own gains are R128's
};

// The module's functions. Each reads the file at a path only when it is a plain file (a FIFO
// would block), through CTagFile.
struct TagReaderTable
{
    // The title, artist, album, track and front cover; empty for a file without tags.
    MediaTags (*pReadMediaTags)(const std::string& strPath);
    // The gain fields and the album; empty for a file without them.
    GainTagText (*pReadGainTags)(const std::string& strPath);
    // The first value of the property name ("CUESHEET") in the file's tags, UTF-8; empty
    // when there is none.
    std::string (*pReadProperty)(const std::string& strPath, const char* name);
};

// The module's one export: its table, the same at every call.
extern "C" const TagReaderTable* SorvaneTagReader();

// The module's table, loaded on first use (once, and never let go); null when the module or
// TagLib cannot be loaded, which is said once on standard error. Files then have no tags.
const TagReaderTable* LoadedTagReader();

#pragma once

#include <string>
#include <string_view>

// Loading the plug-in libraries at run time. A name ending in ".dll" is taken with ".so" in
// its place ("Dekoda.dll" becomes "Dekoda.so"). The executable's own directory is searched
// first, then the system's library search, as the original platform searches the
// application's directory first. User-interface thread.

// The file name a library name stands for here: ".dll" (any case) becomes ".so".
std::string PluginFileName(std::string_view strName);

// Loads strName. With an empty strDirectory the executable's directory and then the system
// search are tried; otherwise strDirectory alone (a seam for tests). Returns the library's
// handle, or nullptr when it cannot be found or loaded.
void* LoadPluginLibrary(std::string_view strName, const std::string& strDirectory = {});

// The address of the export pszName of hLibrary, or nullptr (also for a null hLibrary).
void* FindPluginExport(void* hLibrary, const char* pszName);

// Releases a library that LoadPluginLibrary gave; a null handle is ignored.
void FreePluginLibrary(void* hLibrary);

#pragma once

#include <string>

// Where the running program and its settings live.

// The resolved full path of the running executable; empty when it cannot be read.
std::string GetModuleFileName();

// The library folder of an installed program, "../lib/sorvane" from the executable's
// directory, where the plug-ins and the sound output live; empty when it does not exist
// (the program runs from its build tree).
std::string GetInstalledLibraryDirectory();

// Loads the library file (a plug-in, a module of the program's own) with dlopen, from beside
// the executable, else from the installed library folder; null (dlerror() says why) when
// neither has it.
void* OpenProgramLibrary(const std::string& file);

// The directory that holds the settings file "Sorvix.ini": $XDG_CONFIG_HOME/sorvane
// (default ~/.config/sorvane) for an installed program; otherwise the executable's own
// directory when it can be written, else that XDG folder. Reading and writing both ask
// this, so both use the same place.
std::string GetSettingsDirectory();

#pragma once

#include <string>

// Where the running program and its settings live.

// The resolved full path of the running executable; empty when it cannot be read.
std::string GetModuleFileName();

// The directory that holds the settings file "Sorvix.ini": the executable's own directory
// when it can be written, otherwise $XDG_CONFIG_HOME/sorvane (default ~/.config/sorvane).
// Reading and writing both ask this, so both use the same place.
std::string GetSettingsDirectory();

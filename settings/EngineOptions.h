#pragma once

#include "IniFile.h"

// The engine options kept in section CONFIG of the settings file, shared by the window and the
// command line so both read the same values with the same defaults.
void ReadEngineOptions(const IniFile& ini);
void WriteEngineOptions(IniFile& ini);

#pragma once

// The settings file: an INI file of sections and key=value lines, names compared without
// letter case, UTF-8 text. Values that are missing or do not read as their type give the
// caller's default.

#include <string>
#include <vector>

// Values are UTF-8 bytes passed through unchanged; no wide-character interface is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

class IniFile {
public:
    // Loads the file when it exists; a missing file reads as empty.
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X".
    long long ReadInteger(const std::string& section, const std::string& key,
                          long long defaultValue) const;
    // Any integer other than 0 is true.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    // The key names of a section, in file order.
    std::vector<std::string> ReadSection(const std::string& section) const;

    // Where a program keeps its settings: $XDG_CONFIG_HOME (or ~/.config), folder NORVANE,
    // file named after the program.
    static std::string DefaultPath(const std::string& programBaseName);

private:
    std::string path_;
    CSimpleIniA ini_;
};

#pragma once

// The settings file: an INI file of sections and key=value lines, names compared without
// letter case, UTF-8 text (UTF-16 with a byte-order mark is read too). Values that are missing
// or do not read as their type give the caller's default. Writes change the file in memory;
// Save stores it.

#include <string>
#include <vector>

// Values are UTF-8 bytes passed through unchanged; no wide-character interface is needed.
#define SI_NO_CONVERSION
#include <SimpleIni.h>

class IniFile {
public:
    // Loads the file when it exists; a missing file reads as empty. A NUL character is left
    // out, so it spoils only the value it stands in.
    explicit IniFile(std::string path);

    const std::string& path() const { return path_; }
    // False when the file exists but could not be read, or held NULs or bytes that do not
    // decode: Save then keeps it beside the new one, as path() + ".bad".
    bool readWhole() const { return readWhole_; }

    std::string ReadString(const std::string& section, const std::string& key,
                           const std::string& defaultValue) const;
    // Decimal, or hexadecimal after "0x"/"0X".
    long long ReadInteger(const std::string& section, const std::string& key,
                          long long defaultValue) const;
    // Any integer other than 0 is true.
    bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;
    // A decimal number with a point; anything else gives the default.
    double ReadFloat(const std::string& section, const std::string& key,
                     double defaultValue) const;
    // The key names of a section, in file order.
    std::vector<std::string> ReadSection(const std::string& section) const;

    // A written key goes to the end of its section; a new section to the end of the file.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);
    void WriteInteger(const std::string& section, const std::string& key, long long value);
    void WriteBool(const std::string& section, const std::string& key, bool value);
    // General number format, 15 significant digits, a point as separator.
    void WriteFloat(const std::string& section, const std::string& key, double value);
    void EraseSection(const std::string& section);

    // Writes the file: sections and keys in their order, other programs' sections included.
    // A value that would not read back as one line (line breaks, blanks at either end, or
    // the "<<<" that opens a multi-line value) is written as a multi-line block, so every text
    // reads back whole. False when the file cannot be written, or when a file that could not
    // be read whole cannot be kept first (it is then left as it is).
    bool Save();

    // Where a program keeps its settings: $XDG_CONFIG_HOME (or ~/.config), folder NORVANE,
    // file named after the program.
    static std::string DefaultPath(const std::string& programBaseName);

private:
    std::string path_;
    bool readWhole_ = true;
    CSimpleIniA ini_;
};

// The library's template bodies are compiled here, once.
#define SI_IMPLEMENTATION
#include "IniFile.h"

#include <cstdlib>
#include <optional>

#include "EngineError.h"
#include "NumberText.h"
#include "TextCodec.h"

namespace {

std::optional<long long> parseInteger(const std::string& text) {
    std::string s = text;
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.erase(s.begin());
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.pop_back();
    try {
        if (s.size() > 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
            return NumberText::ParseHex32(TextCodec::FromUtf8(s.substr(2)));
        return NumberText::ParseInt64(TextCodec::FromUtf8(s));
    } catch (const Exif::EngineError&) {
        return std::nullopt;
    }
}

} // namespace

IniFile::IniFile(std::string path) : path_(std::move(path)), ini_(/*utf8*/ true) {
    ini_.LoadFile(path_.c_str()); // a missing or unreadable file leaves every key at its default
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const {
    const char* v = ini_.GetValue(section.c_str(), key.c_str(), nullptr);
    return v ? std::string(v) : defaultValue;
}

long long IniFile::ReadInteger(const std::string& section, const std::string& key,
                               long long defaultValue) const {
    const char* v = ini_.GetValue(section.c_str(), key.c_str(), nullptr);
    if (!v)
        return defaultValue;
    return parseInteger(v).value_or(defaultValue);
}

bool IniFile::ReadBool(const std::string& section, const std::string& key,
                       bool defaultValue) const {
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

std::vector<std::string> IniFile::ReadSection(const std::string& section) const {
    CSimpleIniA::TNamesDepend keys;
    ini_.GetAllKeys(section.c_str(), keys);
    keys.sort(CSimpleIniA::Entry::LoadOrder());
    std::vector<std::string> out;
    for (const auto& k : keys)
        out.emplace_back(k.pItem);
    return out;
}

std::string IniFile::DefaultPath(const std::string& programBaseName) {
    std::string base;
    if (const char* xdg = std::getenv("XDG_CONFIG_HOME"); xdg && *xdg)
        base = xdg;
    else if (const char* home = std::getenv("HOME"); home && *home)
        base = std::string(home) + "/.config";
    else
        base = ".config";
    return base + "/NORVANE/" + programBaseName + ".ini";
}

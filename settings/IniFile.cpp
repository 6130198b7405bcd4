// The library's template bodies are compiled here, once.
#define SI_IMPLEMENTATION
#include "IniFile.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>
#include <span>
#include <string_view>

#include "EngineError.h"
#include "Exif.h"
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

bool needsBlock(std::string_view value) {
    if (value.empty())
        return false;
    auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
    return value.find_first_of("\r\n") != std::string_view::npos || blank(value.front()) ||
           blank(value.back()) || value.starts_with("<<<");
}

// A line that ends a multi-line block is compared without its trailing blanks, so the end tag
// must differ from every line of the value read that way.
std::string endTagFor(std::string_view value) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start <= value.size()) {
        std::size_t end = value.find_first_of("\r\n", start);
        std::string line(value.substr(start, end == std::string_view::npos ? end : end - start));
        while (!line.empty() && (line.back() == ' ' || line.back() == '\t'))
            line.pop_back();
        lines.push_back(line);
        if (end == std::string_view::npos)
            break;
        start = end + 1;
    }
    std::string tag = "END_OF_TEXT";
    for (int n = 2; std::find(lines.begin(), lines.end(), tag) != lines.end(); ++n)
        tag = "END_OF_TEXT_" + std::to_string(n);
    return tag;
}

// The file's text as UTF-8: UTF-16 after a byte-order mark is converted (Windows editors save
// so), NUL characters are left out. `whole` turns false for a file that exists but cannot be
// read, and for NULs and bytes that do not decode.
std::string settingsText(const std::string& path, bool& whole) {
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        std::error_code error;
        whole = !std::filesystem::exists(path, error) && !error;
        return {};
    }
    std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    if (file.bad())
        whole = false;
    const bool littleEndian = text.starts_with("\xFF\xFE"), bigEndian = text.starts_with("\xFE\xFF");
    if (littleEndian || bigEndian) {
        const std::span units(reinterpret_cast<const std::uint8_t*>(text.data()) + 2, text.size() - 2);
        const char* code = littleEndian ? "UTF-16LE" : "UTF-16BE";
        std::u16string decoded;
        try {
            decoded = TextCodec::Decode(units, code, TextCodec::Errors::Throw);
        } catch (const Exif::EngineError&) {
            whole = false;
            decoded = TextCodec::Decode(units, code, TextCodec::Errors::Replace);
        }
        text = TextCodec::ToUtf8(decoded);
    }
    if (text.find('\0') != std::string::npos) {
        whole = false;
        std::erase(text, '\0');
    }
    return text;
}

} // namespace

IniFile::IniFile(std::string path)
    : path_(std::move(path)), ini_(/*utf8*/ true, /*multiKey*/ false, /*multiLine*/ true) {
    ini_.LoadData(settingsText(path_, readWhole_));
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

double IniFile::ReadFloat(const std::string& section, const std::string& key,
                         double defaultValue) const {
    const char* v = ini_.GetValue(section.c_str(), key.c_str(), nullptr);
    if (!v)
        return defaultValue;
    try {
        return NumberText::ParseFloat(TextCodec::FromUtf8(v));
    } catch (const Exif::EngineError&) {
        return defaultValue;
    }
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

void IniFile::WriteString(const std::string& section, const std::string& key,
                          const std::string& value) {
    ini_.SetValue(section.c_str(), key.c_str(), value.c_str());
}

void IniFile::WriteInteger(const std::string& section, const std::string& key, long long value) {
    WriteString(section, key, std::to_string(value));
}

void IniFile::WriteBool(const std::string& section, const std::string& key, bool value) {
    WriteString(section, key, value ? "1" : "0");
}

void IniFile::WriteFloat(const std::string& section, const std::string& key, double value) {
    WriteString(section, key, TextCodec::ToUtf8(NumberText::FormatGeneral(value)));
}

void IniFile::EraseSection(const std::string& section) {
    ini_.Delete(section.c_str(), nullptr);
}

bool IniFile::Save() {
    std::string text;
    auto appendComment = [&](const char* comment) {
        if (comment && *comment)
            text.append(comment).append("\n");
    };
    CSimpleIniA::TNamesDepend sections;
    ini_.GetAllSections(sections);
    sections.sort(CSimpleIniA::Entry::LoadOrder());
    for (const auto& section : sections) {
        if (!text.empty())
            text += "\n";
        appendComment(section.pComment);
        if (*section.pItem) // keys before any section header have the empty name
            text.append("[").append(section.pItem).append("]\n");
        CSimpleIniA::TNamesDepend keys;
        ini_.GetAllKeys(section.pItem, keys);
        keys.sort(CSimpleIniA::Entry::LoadOrder());
        for (const auto& key : keys) {
            appendComment(key.pComment);
            const std::string value = ini_.GetValue(section.pItem, key.pItem, "");
            text.append(key.pItem).append("=");
            if (needsBlock(value)) {
                const std::string tag = endTagFor(value);
                text.append("<<<").append(tag).append("\n").append(value).append("\n");
                text.append(tag);
            } else {
                text.append(value);
            }
            text += "\n";
        }
    }
    if (!readWhole_) {
        std::error_code error;
        std::filesystem::copy_file(path_, path_ + ".bad",
                                   std::filesystem::copy_options::overwrite_existing, error);
        if (error)
            return false;
    }
    try {
        Exif::SaveFile(path_, std::vector<std::uint8_t>(text.begin(), text.end()),
                       /*mustExist*/ false);
    } catch (const Exif::EngineError&) {
        return false;
    }
    readWhole_ = true; // the file is now what this object holds
    return true;
}

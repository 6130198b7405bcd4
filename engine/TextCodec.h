#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

// Conversions between text (UTF-16 code units) and bytes in the character codes the EXIF
// values use, through glibc's iconv. Names are iconv's: "CP932", "EUC-JP-MS", "ISO-2022-JP",
// "UTF-8", "ASCII", "UTF-16LE".
namespace TextCodec {

enum class Errors {
    Throw,   // invalid or incomplete input throws Exif::EngineError
    Replace, // each undecodable byte becomes U+FFFD
};

std::u16string Decode(std::span<const std::uint8_t> bytes, const char* charset, Errors errors);
// Characters the code cannot represent become its substitute character "?".
std::vector<std::uint8_t> Encode(std::u16string_view text, const char* charset);
// Each byte becomes the character with the byte's value (U+0000 to U+00FF).
std::u16string FromLatin1(std::span<const std::uint8_t> bytes);

// UTF-8 for the terminal and files; a lone surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// Invalid UTF-8 bytes become U+FFFD.
std::u16string FromUtf8(std::string_view text);

} // namespace TextCodec

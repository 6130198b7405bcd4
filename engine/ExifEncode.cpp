// Text typed by the user into the value bytes of an entry: prefixed values for UNDEFINED tags
// (user comment, GPS processing method and area name) and unprefixed multibyte values for
// ASCII tags when the user allows them.
#include "Exif.h"

#include <algorithm>

#include "ExifDetails.h"
#include "TextCodec.h"

namespace Exif {
namespace {

using Bytes = std::vector<std::uint8_t>;

const Bytes kAsciiPrefix = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};
const Bytes kJisPrefix = {'J', 'I', 'S', 0, 0, 0, 0, 0};
const Bytes kUnicodePrefix = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
const Bytes kUndefinedPrefix = {0, 0, 0, 0, 0, 0, 0, 0};
const Bytes kUtf8Signature = {0xEF, 0xBB, 0xBF};

Bytes utf16LE(std::u16string_view text) {
    // Little-endian whatever the file's byte order. In a big-endian file other readers would
    // take the text for big-endian, so there it starts with a byte-order mark.
    Bytes out;
    out.reserve(text.size() * 2 + 2);
    if (BO == kBigEndian && !text.empty())
        out.insert(out.end(), {0xFF, 0xFE});
    for (char16_t c : text)
        out.push_back(static_cast<std::uint8_t>(c)), out.push_back(static_cast<std::uint8_t>(c >> 8));
    return out;
}

Bytes encodeIn(const std::string& code, std::u16string_view text) {
    if (code == "UNICODE")
        return utf16LE(text);
    if (code == "JIS")
        return TextCodec::Encode(text, "ISO-2022-JP");
    if (code == "UTF8")
        return TextCodec::Encode(text, "UTF-8");
    return TextCodec::Encode(text, "CP932");
}

void store(IFDRec& entry, std::uint32_t count, Bytes raw) {
    entry.Count = Num32(count);
    if (count == 0)
        return; // Raw stays: the entry is dropped at the next write
    raw.resize(count);
    entry.Offset = 0;
    // A value of at most 4 bytes lives in the value field, left-justified.
    for (std::size_t i = 0; i < raw.size() && i < 4; ++i)
        entry.Offset |= static_cast<std::uint32_t>(raw[i]) << (8 * i);
    entry.Raw = std::move(raw);
}

} // namespace

bool IsSingleByte(std::u16string_view str) {
    // Only plain ASCII round-trips through the single-byte form: the "ASCII" prefix is read back
    // as US-ASCII, and characters outside it would come back as something else.
    return std::all_of(str.begin(), str.end(), [](char16_t c) { return c < 0x80; });
}

void SetStringData(IFDRec& entry, std::u16string_view str, std::string enc) {
    const bool prefixed = enc == "JIS" || enc == "UNICODE" || enc == "UTF8" || enc == "SJIS";
    if (prefixed && IsSingleByte(str))
        enc = "ASCII";
    auto joined = [](std::initializer_list<const Bytes*> parts) {
        Bytes out;
        for (const Bytes* p : parts)
            out.insert(out.end(), p->begin(), p->end());
        return out;
    };
    if (enc == "ASCII") {
        Bytes text = TextCodec::Encode(ExifDetails::Trim(str), "ASCII");
        text.push_back(0);
        const std::size_t n = text.size();
        store(entry, n <= 1 ? 0 : static_cast<std::uint32_t>(n + 8), joined({&kAsciiPrefix, &text}));
        return;
    }
    const Bytes text = encodeIn(prefixed ? enc : TranscodeTo, str);
    const auto n = static_cast<std::uint32_t>(text.size());
    if (enc == "JIS")
        store(entry, n == 0 ? 0 : n + 8, joined({&kJisPrefix, &text}));
    else if (enc == "UNICODE")
        store(entry, n == 0 ? 0 : n + 8, joined({&kUnicodePrefix, &text}));
    else if (enc == "UTF8")
        store(entry, n == 0 ? 0 : n + 11, joined({&kUnicodePrefix, &kUtf8Signature, &text}));
    else if (enc == "SJIS")
        store(entry, n == 0 ? 0 : n + 8, joined({&kUndefinedPrefix, &text}));
    else if (TranscodeTo == "UTF8")
        store(entry, n == 0 ? 0 : n + 3, joined({&kUtf8Signature, &text}));
    else
        store(entry, n, text);
}

} // namespace Exif

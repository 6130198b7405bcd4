// The tag value registers at file open and the value helpers the renderers share.
#include "ExifDetails.h"

#include <cmath>
#include <limits>

#include "NumberText.h"
#include "TextCodec.h"

namespace ExifDetails {
namespace {

// Before 1900: what a date that does not convert holds (1900-01-01 00:00:00).
constexpr double kDefaultDateTime = 2.0;

std::int8_t roundedSign(float v) {
    if (!std::isfinite(v))
        return 0;
    const float r = std::nearbyint(v); // the default rounding mode takes halves to even
    return static_cast<std::int8_t>(r < -128 ? -128 : r > 127 ? 127 : r);
}

struct RationalParts {
    std::int64_t numerator;
    std::int64_t denominator;
};

RationalParts splitRational(std::u16string_view data) {
    const auto p = data.find(u'/');
    // Without a "/" the whole text is the numerator and the empty denominator fails to convert.
    const std::u16string_view num = p == std::u16string_view::npos ? data : data.substr(0, p);
    const std::u16string_view den =
        p == std::u16string_view::npos ? std::u16string_view() : data.substr(p + 1);
    return {NumberText::ParseInt64(num), NumberText::ParseInt64(den)};
}

[[noreturn]] void undecodable() {
    throw Exif::EngineError("No mapping for the Unicode character exists in the target code page");
}

// A recognised character code decodes strictly enough that an empty result is an error.
std::u16string decodeRecognised(std::span<const std::uint8_t> rest, const char* charset) {
    std::u16string text = TextCodec::Decode(rest, charset, TextCodec::Errors::Replace);
    if (text.empty())
        undecodable();
    return text;
}

std::u16string decodeUtf16(std::span<const std::uint8_t> bytes, bool bigEndian) {
    std::u16string text;
    text.reserve(bytes.size() / 2);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
        text.push_back(bigEndian ? static_cast<char16_t>((bytes[i] << 8) | bytes[i + 1])
                                 : static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8)));
    return text;
}

std::u16string decodeUtf16LE(std::span<const std::uint8_t> bytes) {
    return decodeUtf16(bytes, false);
}

void carryFraction(double& whole, double& next) {
    const double f = whole - std::trunc(whole);
    whole = std::trunc(whole);
    next += 60 * f;
}

} // namespace

void PrepareRegistersForOpen(const Location& defaultLocation) {
    Tag010E.clear(), Tag013B.clear(), Tag8298.clear(), Tag9286.clear(), TagA430.clear();
    NewTag010E.clear(), NewTag013B.clear(), NewTag8298.clear(), NewTag9286.clear();
    NewTagA430.clear();
    NewTag01 = 0, NewTag02A = 0, NewTag02B = 0, NewTag02C = 0;
    NewTag03 = 0, NewTag04A = 0, NewTag04B = 0, NewTag04C = 0;
    NewTag05 = 9, NewTag06 = 0, NewTag10 = 0, NewTag11 = 0;
    NewTag1C.clear();
    NewGpsStamp.reset();
    DateTime0132 = 0, DateTime9003 = 0, DateTime9004 = 0;
    OpenedTextValues = NewTextValues({});

    const Location& v = defaultLocation;
    Tag01 = roundedSign(v[0]);
    Tag02A = v[1], Tag02B = v[2], Tag02C = v[3];
    Tag03 = roundedSign(v[4]);
    Tag04A = v[5], Tag04B = v[6], Tag04C = v[7];
    Tag05 = 1, Tag06 = 0, Tag10 = 0, Tag11 = 0;
    Tag1C.clear();
    ZoomRatio = 8;
}

double GetDateTime(std::u16string_view s) {
    // "YYYY:MM:DD HH:MM:SS" and the terminating NUL of an ASCII value.
    if (s.size() != 20)
        return kDefaultDateTime;
    auto number = [&](std::size_t pos, std::size_t len, int& out) {
        out = 0;
        for (std::size_t i = pos; i < pos + len; ++i) {
            if (s[i] < u'0' || s[i] > u'9')
                return false;
            out = out * 10 + (s[i] - u'0');
        }
        return true;
    };
    int year, month, day, hour, minute, second;
    double result = kDefaultDateTime;
    if (number(0, 4, year) && number(5, 2, month) && number(8, 2, day) && number(11, 2, hour) &&
        s[13] == u':' && number(14, 2, minute) && s[16] == u':' && number(17, 2, second) &&
        NumberText::EncodeDateTime(year, month, day, hour, minute, second, result))
        return result;
    return kDefaultDateTime;
}

double RationalToFloat(std::u16string_view data) {
    const RationalParts parts = splitRational(data);
    const auto n1 = static_cast<std::uint32_t>(parts.numerator);
    const auto n2 = static_cast<std::uint32_t>(parts.denominator);
    if (n1 == 0 || n2 == 0 || n1 == 0xFFFFFFFFu || n2 == 0xFFFFFFFFu)
        return 0.0;
    return static_cast<double>(n1) / static_cast<double>(n2);
}

double SRationalToFloat(std::u16string_view data) {
    const RationalParts parts = splitRational(data);
    const auto n1 = static_cast<std::int32_t>(static_cast<std::uint32_t>(parts.numerator));
    const auto n2 = static_cast<std::int32_t>(static_cast<std::uint32_t>(parts.denominator));
    if (n1 == 0 || n2 == 0)
        return 0.0;
    return static_cast<double>(n1) / static_cast<double>(n2);
}

double Apex(double n) {
    try {
        return Roundoff(std::pow(std::sqrt(2.0), n) * 10) / 10.0;
    } catch (const Exif::EngineError&) {
        return 0.0;
    }
}

std::u16string GetString(std::span<const std::uint8_t> raw) {
    static constexpr std::uint8_t kAscii[8] = {'A', 'S', 'C', 'I', 'I', 0, 0, 0};
    static constexpr std::uint8_t kJis[8] = {'J', 'I', 'S', 0, 0, 0, 0, 0};
    static constexpr std::uint8_t kUnicode[8] = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
    static constexpr std::uint8_t kUndefined[8] = {0, 0, 0, 0, 0, 0, 0, 0};
    // A code with no text after it is an empty text, not the code's name.
    if (raw.size() == 8) {
        const auto code = raw.first(8);
        for (const auto* known : {&kAscii, &kJis, &kUnicode, &kUndefined})
            if (std::equal(code.begin(), code.end(), *known))
                return {};
    }
    if (raw.size() > 8) {
        const auto code = raw.first(8);
        const auto rest = raw.subspan(8);
        auto is = [&](const std::uint8_t(&prefix)[8]) {
            return std::equal(code.begin(), code.end(), prefix);
        };
        if (is(kAscii))
            return decodeRecognised(rest, "ASCII");
        if (is(kJis))
            return decodeRecognised(rest, "ISO-2022-JP");
        if (is(kUndefined))
            return decodeRecognised(rest, "CP932");
        if (is(kUnicode)) {
            if (rest.size() >= 3 && rest[0] == 0xEF && rest[1] == 0xBB && rest[2] == 0xBF) {
                std::u16string text =
                    TextCodec::Decode(rest.subspan(3), "UTF-8", TextCodec::Errors::Throw);
                if (text.empty())
                    undecodable();
                return text;
            }
            if (rest.size() < 2)
                undecodable();
            // Little-endian unless a byte-order mark says otherwise.
            if (rest.size() >= 4 && rest[0] == 0xFE && rest[1] == 0xFF)
                return decodeUtf16(rest.subspan(2), true);
            if (rest.size() >= 4 && rest[0] == 0xFF && rest[1] == 0xFE)
                return decodeUtf16(rest.subspan(2), false);
            return decodeUtf16LE(rest);
        }
    }
    // No recognised code: the whole value in the code assumed for multibyte text.
    const std::string& fm = Exif::TranscodeFm;
    if (fm == "UNICODE")
        return decodeUtf16LE(raw);
    const char* charset = fm == "JIS"    ? "ISO-2022-JP"
                          : fm == "UTF8" ? "UTF-8"
                          : fm == "EUC"  ? "EUC-JP-MS"
                                         : "CP932";
    return TextCodec::Decode(raw, charset, TextCodec::Errors::Replace);
}

void ReformLatLon() {
    carryFraction(Tag02A, Tag02B);
    carryFraction(Tag02B, Tag02C);
    carryFraction(Tag04A, Tag04B);
    carryFraction(Tag04B, Tag04C);
}

std::u16string Trim(std::u16string_view text) {
    while (!text.empty() && text.front() <= u' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() <= u' ')
        text.remove_suffix(1);
    return std::u16string(text);
}

std::u16string Visible(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    for (char16_t c : text) {
        // NUL stays: a listing line ends there, as the terminator of an ASCII value.
        const bool breaks = (c < 0x20 && c != u'\t' && c != 0) || (c >= 0x7F && c <= 0x9F) ||
                            c == 0x2028 || c == 0x2029;
        if (!breaks) {
            out += c;
            continue;
        }
        static const char16_t kHex[] = u"0123456789ABCDEF";
        out += c <= 0xFF ? u"\\x" : u"\\u";
        for (int shift = c <= 0xFF ? 4 : 12; shift >= 0; shift -= 4)
            out += kHex[(c >> shift) & 15];
    }
    return out;
}

} // namespace ExifDetails

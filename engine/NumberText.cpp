#include "NumberText.h"

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>

#include "EngineError.h"
#include "TextCodec.h"

namespace NumberText {
namespace {

std::string asciiOf(std::u16string_view text, bool& clean) {
    std::string out;
    out.reserve(text.size());
    clean = true;
    for (char16_t c : text) {
        if (c > 0x7E || c < 0x20)
            clean = false;
        out.push_back(c < 0x80 ? static_cast<char>(c) : '?');
    }
    return out;
}

std::u16string_view trimBlanks(std::u16string_view text) {
    while (!text.empty() && text.front() <= u' ')
        text.remove_prefix(1);
    while (!text.empty() && text.back() <= u' ')
        text.remove_suffix(1);
    return text;
}

[[noreturn]] void conversionError(std::u16string_view text, const char* what) {
    throw Exif::EngineError("'" + TextCodec::ToUtf8(text) + "' is not a valid " + what);
}

// Days from 1970-01-01 to the given civil date (proleptic Gregorian calendar).
std::int64_t daysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const unsigned yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

constexpr std::int64_t kDaysFrom1899To1970 = 25569;

} // namespace

std::u16string FormatGeneral(double value) {
    if (std::isnan(value))
        return u"NAN";
    if (std::isinf(value))
        return value < 0 ? u"-INF" : u"INF";
    if (value == 0)
        return u"0";
    // 15 significant digits, correctly rounded: "d.dddddddddddddde+XX".
    char buf[64];
    const auto res = std::to_chars(buf, buf + sizeof buf, std::fabs(value),
                                   std::chars_format::scientific, 14);
    std::string sci(buf, res.ptr);
    const auto ePos = sci.find('e');
    int exponent = std::atoi(sci.c_str() + ePos + 1);
    std::string digits = sci.substr(0, 1) + sci.substr(2, ePos - 2);
    while (digits.size() > 1 && digits.back() == '0')
        digits.pop_back();

    std::string out = value < 0 ? "-" : "";
    if (exponent < -5 || exponent >= 15) {
        out += digits.substr(0, 1);
        if (digits.size() > 1)
            out += "." + digits.substr(1);
        out += "E" + std::to_string(exponent);
    } else if (exponent < 0) {
        out += "0." + std::string(static_cast<std::size_t>(-exponent - 1), '0') + digits;
    } else {
        const auto intDigits = static_cast<std::size_t>(exponent) + 1;
        if (digits.size() <= intDigits) {
            out += digits + std::string(intDigits - digits.size(), '0');
        } else {
            out += digits.substr(0, intDigits) + "." + digits.substr(intDigits);
        }
    }
    return std::u16string(out.begin(), out.end());
}

double ParseFloat(std::u16string_view text) {
    bool clean = false;
    const std::u16string_view trimmed = trimBlanks(text);
    const std::string s = asciiOf(trimmed, clean);
    // Shape check first: from_chars also takes "inf", "nan" and hexadecimal forms.
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '+' || s[i] == '-'))
        ++i;
    std::size_t mantissaDigits = 0;
    while (i < s.size() && s[i] >= '0' && s[i] <= '9')
        ++i, ++mantissaDigits;
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++mantissaDigits;
    }
    bool shapeOk = clean && mantissaDigits > 0;
    if (shapeOk && i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-'))
            ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && s[i] >= '0' && s[i] <= '9')
            ++i, ++expDigits;
        shapeOk = expDigits > 0;
    }
    if (!shapeOk || i != s.size())
        conversionError(text, "floating point value");
    const char* first = s.c_str() + (s[0] == '+' ? 1 : 0);
    double value = 0;
    const auto res = std::from_chars(first, s.c_str() + s.size(), value);
    if (res.ec != std::errc() || res.ptr != s.c_str() + s.size() || !std::isfinite(value))
        conversionError(text, "floating point value");
    return value;
}

std::int64_t ParseInt64(std::u16string_view text) {
    bool clean = false;
    const std::string s = asciiOf(trimBlanks(text), clean);
    const char* first = s.c_str();
    const char* last = first + s.size();
    if (first != last && *first == '+')
        ++first;
    std::int64_t value = 0;
    const auto res = std::from_chars(first, last, value);
    if (!clean || s.empty() || res.ec != std::errc() || res.ptr != last)
        conversionError(text, "integer value");
    return value;
}

std::int32_t ParseInt32(std::u16string_view text) {
    const std::int64_t v = ParseInt64(text);
    if (v < INT32_MIN || v > INT32_MAX)
        conversionError(text, "integer value");
    return static_cast<std::int32_t>(v);
}

std::uint32_t ParseHex32(std::u16string_view text) {
    bool clean = false;
    const std::string s = asciiOf(text, clean);
    std::uint32_t value = 0;
    const auto res = std::from_chars(s.c_str(), s.c_str() + s.size(), value, 16);
    if (!clean || s.empty() || res.ec != std::errc() || res.ptr != s.c_str() + s.size())
        conversionError(text, "integer value");
    return value;
}

bool EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                    double& result) {
    static const int kDaysInMonth[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1)
        return false;
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    const int monthDays = kDaysInMonth[month - 1] + (month == 2 && leap ? 1 : 0);
    if (day > monthDays || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59)
        return false;
    const double days =
        static_cast<double>(daysFromCivil(year, static_cast<unsigned>(month),
                                          static_cast<unsigned>(day)) +
                            kDaysFrom1899To1970);
    // Before 1899-12-30 the whole part counts backwards while the fraction still counts
    // forwards from midnight, so the time is subtracted there.
    const double time = (hour * 3600 + minute * 60 + second) / 86400.0;
    result = days >= 0 ? days + time : days - time;
    return true;
}

void DecodeDateTime(double value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second) {
    double whole = std::trunc(value);
    double fraction = std::fabs(value - whole);
    long long secs = std::llround(fraction * 86400.0);
    if (secs >= 86400) {
        secs -= 86400;
        whole += value >= 0 ? 1 : -1;
    }
    // civil_from_days
    std::int64_t z = static_cast<std::int64_t>(whole) - kDaysFrom1899To1970 + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const unsigned doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (month <= 2));
    hour = static_cast<int>(secs / 3600);
    minute = static_cast<int>(secs / 60 % 60);
    second = static_cast<int>(secs % 60);
}

} // namespace NumberText

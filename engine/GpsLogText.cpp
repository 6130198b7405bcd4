// Numbers and times as logs write them.
#include "GpsLogParse.h"

#include <charconv>
#include <cmath>

#include <date/date.h>

namespace GpsLog {
namespace {

// The number written by `n` digits at `pos`; false when one of them is not a digit.
bool digits(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    if (pos > s.size() || n > s.size() - pos)
        return false;
    out = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

} // namespace

std::string_view TrimBlanks(std::string_view text) {
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

std::optional<double> ParseNumber(std::string_view text) {
    text = TrimBlanks(text);
    if (text.size() > 1 && text[0] == '+' && text[1] != '-')
        text.remove_prefix(1);
    double v = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), v);
    if (ec != std::errc() || end != text.data() + text.size() || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<Time> CivilTime(int year, int month, int day, int hour, int minute, int second,
                              int millisecond) {
    using namespace std::chrono;
    if (year < 1 || year > 9999 || month < 1 || month > 12 || day < 1 || day > 31)
        return std::nullopt;
    const date::year_month_day ymd{date::year{year}, date::month{static_cast<unsigned>(month)},
                                   date::day{static_cast<unsigned>(day)}};
    if (!ymd.ok() || hour < 0 || hour > 23 || minute < 0 || minute > 59 || second < 0 ||
        second > 59 || millisecond < 0 || millisecond > 999)
        return std::nullopt;
    return Time{date::sys_days{ymd}} + hours{hour} + minutes{minute} + seconds{second} +
           milliseconds{millisecond};
}

std::optional<std::chrono::minutes> ParseUtcOffset(std::string_view text) {
    if (text == "Z" || text == "z")
        return std::chrono::minutes{0};
    if (text.size() < 3 || (text[0] != '+' && text[0] != '-'))
        return std::nullopt;
    int hours = 0, minutes = 0;
    if (!digits(text, 1, 2, hours))
        return std::nullopt;
    const std::string_view rest = text.substr(3);
    const bool ok = rest.empty() || (rest.size() == 2 && digits(rest, 0, 2, minutes)) ||
                    (rest.size() == 3 && rest[0] == ':' && digits(rest, 1, 2, minutes));
    // UTC-12:00 to UTC+14:00 are the offsets in use; XML Schema allows up to 14:00.
    if (!ok || minutes > 59 || hours * 60 + minutes > 14 * 60)
        return std::nullopt;
    const std::chrono::minutes offset{hours * 60 + minutes};
    return text[0] == '-' ? -offset : offset;
}

std::optional<Time> ParseDateTime(std::string_view text) {
    const std::string_view s = TrimBlanks(text);
    // "YYYY-MM-DDThh:mm:ss" takes 19 characters.
    int year, month, day, hour, minute, second;
    if (!digits(s, 0, 4, year) || s.size() < 19 || s[4] != '-' || !digits(s, 5, 2, month) ||
        s[7] != '-' || !digits(s, 8, 2, day) || (s[10] != 'T' && s[10] != 't' && s[10] != ' ') ||
        !digits(s, 11, 2, hour) || s[13] != ':' || !digits(s, 14, 2, minute) || s[16] != ':' ||
        !digits(s, 17, 2, second))
        return std::nullopt;
    std::size_t pos = 19;
    int millisecond = 0;
    if (pos < s.size() && s[pos] == '.') {
        const std::size_t first = ++pos;
        while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') {
            if (pos - first < 3)
                millisecond = millisecond * 10 + (s[pos] - '0');
            ++pos;
        }
        if (pos == first)
            return std::nullopt;
        for (std::size_t n = pos - first; n < 3; ++n)
            millisecond *= 10;
    }
    std::chrono::minutes offset{0};
    if (pos < s.size()) {
        const auto parsed = ParseUtcOffset(s.substr(pos));
        if (!parsed)
            return std::nullopt;
        offset = *parsed;
    }
    const auto local = CivilTime(year, month, day, hour, minute, second, millisecond);
    if (!local)
        return std::nullopt;
    return *local - offset;
}

void Collector::add(Time time, double lat, double lon, double alt) {
    if (!(lat >= -90 && lat <= 90 && lon >= -180 && lon <= 180) || std::isinf(alt)) {
        skip();
        return;
    }
    out.push_back({time, lat, lon, alt});
    ++summary.points;
}

} // namespace GpsLog

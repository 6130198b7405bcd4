#include "PositionText.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <optional>
#include <utility>
#include <vector>

#include "NumberText.h"
#include "TextCodec.h"

namespace PositionText {
namespace {

// --- Results ------------------------------------------------------------------------------------

const char* fixedReason(Refusal why) {
    switch (why) {
    case Refusal::Empty:
        return "位置のテキストが空です";
    case Refusal::OneValueOnly:
        return "緯度と経度の両方が必要です（値が 1 つしかありません）";
    case Refusal::BadMinutesOrSeconds:
        return "分と秒は 60 未満で、小数は最後の値にだけ付けられます";
    case Refusal::SignAndHemisphere:
        return "マイナス記号と北緯・南緯・東経・西経 (N/S/E/W) は一緒に使えません";
    default:
        return "位置として読み取れません（例: 35.681236, 139.767125）";
    }
}

Result refused(Refusal why, std::string reason = {}) {
    Result r;
    r.refusal = why;
    r.reason = reason.empty() ? fixedReason(why) : std::move(reason);
    return r;
}

std::string numberText(double v) {
    return TextCodec::ToUtf8(NumberText::FormatGeneral(v));
}

// Every reading ends here, so no form escapes the range check.
Result position(double latitude, double longitude) {
    if (!(std::fabs(latitude) <= 90))
        return refused(Refusal::LatitudeOutOfRange,
                       "緯度 " + numberText(latitude) + " は -90 から 90 の範囲外です");
    if (!(std::fabs(longitude) <= 180))
        return refused(Refusal::LongitudeOutOfRange,
                       "経度 " + numberText(longitude) + " は -180 から 180 の範囲外です");
    Result r;
    r.latitude = latitude;
    r.longitude = longitude;
    return r;
}

bool isDigit(char16_t c) {
    return c >= u'0' && c <= u'9';
}

// A decimal number as maps and people write it: an optional sign, digits with an optional point
// and fraction ("35", "-0.5", ".5"). No exponent, no blanks, no "inf".
std::optional<double> decimal(std::string_view s) {
    const bool negative = !s.empty() && s.front() == '-';
    if (!s.empty() && (s.front() == '-' || s.front() == '+'))
        s.remove_prefix(1);
    const std::size_t point = s.find('.');
    const std::string_view whole = s.substr(0, point);
    const std::string_view fraction = point == s.npos ? "" : s.substr(point + 1);
    auto digits = [](std::string_view d) { return std::all_of(d.begin(), d.end(), isDigit); };
    if (!digits(whole) || !digits(fraction) || (point != s.npos && fraction.empty()) ||
        (whole.empty() && fraction.empty()))
        return std::nullopt;
    double v = 0;
    const auto [end, ec] =
        std::from_chars(s.data(), s.data() + s.size(), v, std::chars_format::fixed);
    if (ec == std::errc::result_out_of_range) // hundreds of digits: far out of range, or 0
        v = whole.find_first_not_of('0') != whole.npos ? HUGE_VAL : 0.0;
    else if (ec != std::errc() || end != s.data() + s.size())
        return std::nullopt;
    return negative ? -v : v;
}

// --- Written positions: decimal, degrees-minutes-seconds, 北緯/東経 -----------------------------

enum class Axis { Unknown, Latitude, Longitude };
enum class Unit { None, Degrees, Minutes, Seconds };

struct Token {
    enum Kind { Number, Mark, Hemisphere, Label, Separator } kind;
    double value = 0;          // Number: its magnitude
    bool minus = false;        // Number: written with a minus sign
    bool fraction = false;     // Number: written with a point
    Unit unit = Unit::None;    // Mark
    Axis axis = Axis::Unknown; // Hemisphere, Label
    int sign = 1;              // Hemisphere: -1 for south and west
};

// The look-alikes people paste and the full-width forms a Japanese input method types, as the
// character they stand for; the three marks as °, ' and ".
char16_t plain(char16_t c) {
    static constexpr std::pair<std::u16string_view, char16_t> kLookAlikes[] = {
        {u"\u00A0\u202F\u3000\uFEFF", u' '}, // no-break and ideographic spaces, BOM
        {u"º˚ﾟ度", u'°'},
        {u"′‘’´ʹʼ分", u'\''},
        {u"″“”ʺ秒", u'"'},
        {u"‐‑‒–−﹣", u'-'}, // hyphens, dashes and the minus sign
        {u"、､", u','},
    };
    if (c >= 0xFF01 && c <= 0xFF5E) // full-width ASCII
        return static_cast<char16_t>(c - 0xFEE0);
    if ((c >= 0x2000 && c <= 0x200B) || c < 0x20)
        return u' ';
    for (const auto& [alikes, meant] : kLookAlikes)
        if (alikes.find(c) != alikes.npos)
            return meant;
    return c;
}

// The text with look-alikes made plain and the Japanese hemisphere and axis words as their
// English letters; blanks and one pair of parentheses around it removed.
std::u16string normalised(std::u16string_view text) {
    static constexpr struct {
        char16_t first, second;
        std::u16string_view letters;
    } kWords[] = {
        {u'北', u'緯', u" N "}, {u'南', u'緯', u" S "},   {u'東', u'経', u" E "},
        {u'西', u'経', u" W "}, {u'緯', u'度', u" LAT "}, {u'経', u'度', u" LON "},
    };
    std::u16string out;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto word = std::find_if(std::begin(kWords), std::end(kWords), [&](const auto& w) {
            return i + 1 < text.size() && text[i] == w.first && text[i + 1] == w.second;
        });
        if (word != std::end(kWords))
            out += word->letters, ++i;
        else
            out += plain(text[i]);
    }
    const auto first = out.find_first_not_of(u' ');
    if (first == out.npos)
        return {};
    out = out.substr(first, out.find_last_not_of(u' ') - first + 1);
    if (out.size() >= 2 && out.front() == u'(' && out.back() == u')')
        out = out.substr(1, out.size() - 2);
    return out;
}

std::optional<Token> word(std::u16string_view letters) {
    static constexpr struct {
        std::u16string_view text;
        Token::Kind kind;
        Axis axis;
        int sign;
    } kWords[] = {
        {u"N", Token::Hemisphere, Axis::Latitude, 1},
        {u"NORTH", Token::Hemisphere, Axis::Latitude, 1},
        {u"S", Token::Hemisphere, Axis::Latitude, -1},
        {u"SOUTH", Token::Hemisphere, Axis::Latitude, -1},
        {u"E", Token::Hemisphere, Axis::Longitude, 1},
        {u"EAST", Token::Hemisphere, Axis::Longitude, 1},
        {u"W", Token::Hemisphere, Axis::Longitude, -1},
        {u"WEST", Token::Hemisphere, Axis::Longitude, -1},
        {u"LAT", Token::Label, Axis::Latitude, 1},
        {u"LATITUDE", Token::Label, Axis::Latitude, 1},
        {u"LON", Token::Label, Axis::Longitude, 1},
        {u"LNG", Token::Label, Axis::Longitude, 1},
        {u"LONG", Token::Label, Axis::Longitude, 1},
        {u"LONGITUDE", Token::Label, Axis::Longitude, 1},
    };
    std::u16string upper(letters);
    for (char16_t& c : upper)
        if (c >= u'a' && c <= u'z')
            c = static_cast<char16_t>(c - u'a' + u'A');
    for (const auto& w : kWords)
        if (w.text == upper) {
            Token t{w.kind};
            t.axis = w.axis;
            t.sign = w.sign;
            return t;
        }
    return std::nullopt;
}

// Numbers, the marks °, ' and ", hemisphere letters, labels and separators; blanks and colons
// ("lat: 35.6") between them are dropped. Anything else: no position.
std::optional<std::vector<Token>> tokens(std::u16string_view s) {
    std::vector<Token> out;
    auto at = [&s](std::size_t i) { return i < s.size() ? s[i] : u'\0'; };
    auto isLetter = [](char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); };
    for (std::size_t i = 0; i < s.size();) {
        const char16_t c = s[i];
        const bool sign = (c == u'-' || c == u'+') &&
                          (isDigit(at(i + 1)) || (at(i + 1) == u'.' && isDigit(at(i + 2))));
        if (sign || isDigit(c) || (c == u'.' && isDigit(at(i + 1)))) {
            Token t{Token::Number};
            t.minus = c == u'-';
            std::size_t end = sign ? i + 1 : i;
            while (isDigit(at(end)))
                ++end;
            if (at(end) == u'.' && isDigit(at(end + 1))) {
                t.fraction = true;
                for (++end; isDigit(at(end));)
                    ++end;
            }
            if (at(end) == u'.' || isDigit(at(end))) // "1.2.3"
                return std::nullopt;
            const std::u16string_view digits = s.substr(sign ? i + 1 : i, end - (sign ? i + 1 : i));
            const std::optional<double> v = decimal(std::string(digits.begin(), digits.end()));
            if (!v)
                return std::nullopt;
            t.value = *v;
            out.push_back(t);
            i = end;
        } else if (c == u'°' || c == u'\'' || c == u'"') {
            Token t{Token::Mark};
            t.unit = c == u'°' ? Unit::Degrees : c == u'"' ? Unit::Seconds : Unit::Minutes;
            if (c == u'\'' && at(i + 1) == u'\'') // '' for seconds
                t.unit = Unit::Seconds, ++i;
            out.push_back(t);
            ++i;
        } else if (c == u',' || c == u';') {
            out.push_back(Token{Token::Separator});
            ++i;
        } else if (isLetter(c)) {
            std::size_t end = i;
            while (isLetter(at(end)))
                ++end;
            const std::optional<Token> t = word(s.substr(i, end - i));
            if (!t)
                return std::nullopt;
            out.push_back(*t);
            i = end;
        } else if (c == u' ' || c == u':') {
            ++i;
        } else {
            return std::nullopt;
        }
    }
    return out;
}

struct Coordinate {
    struct Part {
        double value;
        Unit unit;
        bool fraction;
        bool marked; // the unit was written, not implied
    };
    std::vector<Part> parts; // degrees, then minutes, then seconds
    Axis axis = Axis::Unknown;
    int hemisphere = 0; // 1 or -1 once N/S/E/W named it
    bool minus = false;
};

// The tokens as coordinates; nullopt when they make none. Hemisphere letters stand before their
// numbers when the text begins with one ("N 35.6 E 139.7"), else after them ("35.6N 139.7E").
// Letters, labels and commas separate coordinates. A number without a mark continues its
// coordinate with the next unit ("N 35 40.874", "35°40'52") except after a fraction, which
// only the last part may carry ("35.6 139.7E"), and except after another number without a
// mark in a text without separators ("35.6 139.7"). A mark that does not follow the previous
// one in degrees, minutes, seconds order begins the next coordinate ("35°40' 139°46'").
std::optional<std::vector<Coordinate>> coordinates(const std::vector<Token>& tokens) {
    const auto firstSign = std::find_if(tokens.begin(), tokens.end(), [](const Token& t) {
        return t.kind == Token::Number || t.kind == Token::Hemisphere;
    });
    const bool prefix = firstSign != tokens.end() && firstSign->kind == Token::Hemisphere;
    const bool separated = std::any_of(tokens.begin(), tokens.end(), [](const Token& t) {
        return t.kind == Token::Hemisphere || t.kind == Token::Label || t.kind == Token::Separator;
    });

    std::vector<Coordinate> out;
    Coordinate current;
    auto close = [&] {
        if (!current.parts.empty()) {
            out.push_back(current);
            current = {};
        }
    };
    auto name = [&](Axis axis) {
        if (current.axis != Axis::Unknown && current.axis != axis)
            return false;
        current.axis = axis;
        return true;
    };
    for (std::size_t i = 0; i < tokens.size(); ++i) {
        const Token& t = tokens[i];
        switch (t.kind) {
        case Token::Separator:
            if (current.parts.empty() && current.axis != Axis::Unknown)
                return std::nullopt;
            close();
            break;
        case Token::Label:
            close();
            if (current.axis != Axis::Unknown) // "lat lon 35"
                return std::nullopt;
            current.axis = t.axis;
            break;
        case Token::Hemisphere:
            if (prefix)
                close();
            if ((!prefix && current.parts.empty()) || current.hemisphere != 0 || !name(t.axis))
                return std::nullopt;
            current.hemisphere = t.sign;
            if (!prefix)
                close();
            break;
        case Token::Mark: // a mark without its number
            return std::nullopt;
        case Token::Number: {
            Unit unit = Unit::None;
            if (i + 1 < tokens.size() && tokens[i + 1].kind == Token::Mark)
                unit = tokens[++i].unit;
            const bool marked = unit != Unit::None;
            if (!current.parts.empty()) {
                const Coordinate::Part& last = current.parts.back();
                if (unit == Unit::None && (last.fraction || (!separated && !last.marked)))
                    close();
                else if (unit == Unit::None && last.unit == Unit::Seconds)
                    return std::nullopt;
                else if (unit == Unit::None)
                    unit = static_cast<Unit>(static_cast<int>(last.unit) + 1);
                else if (unit <= last.unit)
                    close();
            }
            if (current.parts.empty()) {
                if (unit == Unit::None)
                    unit = Unit::Degrees;
                if (unit != Unit::Degrees)
                    return std::nullopt;
                current.minus = t.minus;
            } else if (t.minus) {
                return std::nullopt;
            }
            current.parts.push_back({t.value, unit, t.fraction, marked});
            break;
        }
        }
    }
    if (current.parts.empty() && current.axis != Axis::Unknown) // a letter without numbers
        return std::nullopt;
    close();
    return out;
}

// The coordinate in signed degrees, or why it is none.
Refusal angle(const Coordinate& c, double& degrees) {
    static constexpr double kPerDegree[] = {1, 1, 60, 3600}; // by Unit
    degrees = 0;
    for (std::size_t k = 0; k < c.parts.size(); ++k) {
        const Coordinate::Part& p = c.parts[k];
        if ((p.fraction && k + 1 < c.parts.size()) || (p.unit != Unit::Degrees && p.value >= 60))
            return Refusal::BadMinutesOrSeconds;
        degrees += p.value / kPerDegree[static_cast<int>(p.unit)];
    }
    if (c.minus && c.hemisphere != 0)
        return Refusal::SignAndHemisphere;
    if (c.minus || c.hemisphere < 0)
        degrees = -degrees;
    return Refusal::None;
}

Result fromWriting(std::u16string_view text) {
    const std::optional<std::vector<Token>> t = tokens(normalised(text));
    const std::optional<std::vector<Coordinate>> found = t ? coordinates(*t) : std::nullopt;
    if (!found || found->empty() || found->size() > 2)
        return refused(Refusal::NotAPosition);
    double degrees[2] = {};
    for (std::size_t k = 0; k < found->size(); ++k)
        if (const Refusal why = angle((*found)[k], degrees[k]); why != Refusal::None)
            return refused(why);
    if (found->size() == 1)
        return refused(Refusal::OneValueOnly);
    const Axis first = (*found)[0].axis, second = (*found)[1].axis;
    if (first != Axis::Unknown && first == second)
        return refused(Refusal::AxisTwice,
                       first == Axis::Latitude ? "緯度が 2 つあります" : "経度が 2 つあります");
    // Latitude first unless the letters say otherwise; a first number beyond 90 is not
    // taken for a longitude: the range check refuses it.
    const bool swapped = first == Axis::Longitude || second == Axis::Latitude;
    return position(degrees[swapped ? 1 : 0], degrees[swapped ? 0 : 1]);
}

// --- Addresses: geo: URIs and web map addresses -----------------------------------------------

bool startsWithNoCase(std::string_view s, std::string_view prefix) {
    return s.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
               return std::tolower(static_cast<unsigned char>(a)) ==
                      std::tolower(static_cast<unsigned char>(b));
           });
}

bool equalsNoCase(std::string_view s, std::string_view other) {
    return s.size() == other.size() && startsWithNoCase(s, other);
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return c >= 'a' && c <= 'f' ? c - 'a' + 10 : -1;
}

std::string percentDecoded(std::string_view s, bool plusIsBlank) {
    std::string out;
    out.reserve(s.size());
    for (std::size_t i = 0; i < s.size(); ++i) {
        if (s[i] == '%' && i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
            out += static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2]));
            i += 2;
        } else {
            out += plusIsBlank && s[i] == '+' ? ' ' : s[i];
        }
    }
    return out;
}

// The value of the first "name=value" in a list such as "a=1&b=2", decoded.
std::optional<std::string> parameter(std::string_view list, std::string_view name,
                                     char separator = '&') {
    while (!list.empty()) {
        const std::size_t end = std::min(list.find(separator), list.size());
        const std::string_view item = list.substr(0, end);
        if (item.size() > name.size() && item[name.size()] == '=' && startsWithNoCase(item, name))
            return percentDecoded(item.substr(name.size() + 1), true);
        list.remove_prefix(std::min(end + 1, list.size()));
    }
    return std::nullopt;
}

// A position written into an address's parameter ("35.68,139.76", "35.68,139.76(Tokyo)"):
// what it gives when it holds one, nothing when it holds a place name or a search.
std::optional<Result> writtenIn(std::string value) {
    if (const std::size_t open = value.find('(');
        open != value.npos && open > 0 && value.back() == ')')
        value.erase(open);
    Result r = fromWriting(TextCodec::FromUtf8(value));
    const bool numbers = r.ok() || r.refusal == Refusal::LatitudeOutOfRange ||
                         r.refusal == Refusal::LongitudeOutOfRange;
    return numbers ? std::optional<Result>(r) : std::nullopt;
}

std::optional<Result> decimalPair(std::string_view lat, std::string_view lon) {
    const std::optional<double> a = decimal(lat), b = decimal(lon);
    return a && b ? std::optional<Result>(position(*a, *b)) : std::nullopt;
}

// The field of s from `from` to the next of `ends` (or the end).
std::string_view fieldFrom(std::string_view s, std::size_t from, std::string_view ends) {
    const std::size_t end = s.find_first_of(ends, from);
    return s.substr(from, (end == s.npos ? s.size() : end) - from);
}

// geo:lat,lon[,alt][;crs=…][;u=…][;…], and the "?q=lat,lon(label)" phones add to it.
Result fromGeoUri(std::string_view uri) {
    uri.remove_prefix(4);
    const std::size_t question = std::min(uri.find('?'), uri.size());
    if (question < uri.size())
        if (const auto q = parameter(uri.substr(question + 1), "q"))
            if (std::optional<Result> r = writtenIn(*q))
                return *r;
    const std::string_view path = uri.substr(0, question);
    const std::string_view coordinates = fieldFrom(path, 0, ";");
    if (coordinates.size() < path.size())
        if (const auto crs = parameter(path.substr(coordinates.size() + 1), "crs", ';');
            crs && !equalsNoCase(*crs, "wgs84"))
            return refused(Refusal::OtherDatum, "geo: URI の座標系「" +
                                                    TextCodec::ToUtf8(TextCodec::FromUtf8(*crs)) +
                                                    "」には対応していません（WGS84 のみ）");
    std::vector<std::string_view> numbers;
    for (std::size_t from = 0; from <= coordinates.size();) {
        numbers.push_back(fieldFrom(coordinates, from, ","));
        from += numbers.back().size() + 1;
    }
    if ((numbers.size() == 2 || (numbers.size() == 3 && decimal(numbers[2]))))
        if (std::optional<Result> r = decimalPair(numbers[0], numbers[1]))
            return *r;
    return refused(Refusal::NotAPosition, "geo: URI から位置を読み取れません");
}

// Web map addresses. The marker comes first, as it is the place the address is about
// (?mlat=…&mlon=…, a place's !3d…!4d…, ?q=, query=, ll=); else the centre of the view
// (/@lat,lon,zoom, #map=zoom/lat/lon).
Result fromMapAddress(std::string_view address) {
    const std::size_t hash = std::min(address.find('#'), address.size());
    const std::string_view fragment = address.substr(std::min(hash + 1, address.size()));
    const std::string_view beforeHash = address.substr(0, hash);
    const std::size_t question = std::min(beforeHash.find('?'), beforeHash.size());
    const std::string_view query = beforeHash.substr(std::min(question + 1, beforeHash.size()));
    const std::string path = percentDecoded(beforeHash.substr(0, question), false);
    auto find = [&](std::string_view name) {
        auto v = parameter(query, name);
        return v ? v : parameter(fragment, name);
    };

    if (const auto lat = find("mlat"), lon = find("mlon"); lat && lon)
        if (std::optional<Result> r = decimalPair(*lat, *lon))
            return *r;
    if (const std::size_t d = path.rfind("!3d"); d != path.npos) {
        const std::string_view lat = fieldFrom(path, d + 3, "!/");
        if (path.compare(d + 3 + lat.size(), 3, "!4d") == 0)
            if (std::optional<Result> r =
                    decimalPair(lat, fieldFrom(path, d + 6 + lat.size(), "!/")))
                return *r;
    }
    for (const char* name : {"q", "query", "ll"})
        if (const auto v = find(name))
            if (std::optional<Result> r = writtenIn(*v))
                return *r;
    for (std::size_t at = path.find('@'); at != path.npos; at = path.find('@', at + 1)) {
        const std::string_view lat = fieldFrom(path, at + 1, ",/@");
        if (at + 1 + lat.size() < path.size() && path[at + 1 + lat.size()] == ',')
            if (std::optional<Result> r =
                    decimalPair(lat, fieldFrom(path, at + 2 + lat.size(), ",/")))
                return *r;
    }
    if (const auto map = find("map")) { // zoom/lat/lon
        const std::string_view m = *map;
        const std::string_view zoom = fieldFrom(m, 0, "/");
        const std::string_view lat = fieldFrom(m, std::min(zoom.size() + 1, m.size()), "/");
        const std::size_t lonAt = std::min(zoom.size() + lat.size() + 2, m.size());
        if (decimal(zoom) && lonAt < m.size())
            if (std::optional<Result> r = decimalPair(lat, m.substr(lonAt)))
                return *r;
    }
    return refused(Refusal::NotAPosition, "このアドレスから位置を読み取れません");
}

bool looksLikeAddress(std::string_view s) {
    return s.find("://") != s.npos || startsWithNoCase(s, "www.") ||
           s.find_first_of("?#@=&") != s.npos;
}

} // namespace

Result Parse(std::u16string_view text) {
    const std::u16string plainText = normalised(text);
    if (plainText.empty())
        return refused(Refusal::Empty);
    const std::string utf8 = TextCodec::ToUtf8(plainText);
    if (startsWithNoCase(utf8, "geo:"))
        return fromGeoUri(utf8);
    if (looksLikeAddress(utf8))
        return fromMapAddress(utf8);
    return fromWriting(text);
}

Result ParseUtf8(std::string_view text) {
    return Parse(TextCodec::FromUtf8(text));
}

} // namespace PositionText

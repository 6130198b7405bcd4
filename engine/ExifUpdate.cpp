// Changes to the entry tables before a write.
#include "Exif.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>

#include "ExifDetails.h"
#include "NumberText.h"
#include "TextCodec.h"

namespace Exif {
namespace {

using Bytes = std::vector<std::uint8_t>;

// Fills an entry with a value of the given type: Count, Raw, and Offset for a value of at
// most 4 bytes (left-justified, zero after it).
void fill(IFDRec& entry, std::uint16_t type, std::uint32_t count, Bytes raw) {
    entry.DataType = Num16(type);
    entry.Count = Num32(count);
    entry.Offset = 0;
    if (raw.size() <= 4)
        for (std::size_t i = 0; i < raw.size(); ++i)
            entry.Offset |= static_cast<std::uint32_t>(raw[i]) << (8 * i);
    entry.Raw = std::move(raw);
}

void appendNumber(Bytes& out, std::uint32_t v) {
    // In the byte order of the file.
    const std::uint32_t fileOrder = Num32(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(fileOrder >> (8 * i)));
}

Bytes rationals(std::initializer_list<std::pair<std::uint32_t, std::uint32_t>> values) {
    Bytes out;
    for (const auto& [num, den] : values)
        appendNumber(out, num), appendNumber(out, den);
    return out;
}

Bytes shortValue(std::uint16_t v) {
    const std::uint16_t fileOrder = Num16(v);
    return {static_cast<std::uint8_t>(fileOrder), static_cast<std::uint8_t>(fileOrder >> 8)};
}

Bytes longValue(std::uint32_t v) {
    Bytes out;
    appendNumber(out, v);
    return out;
}

// Appends an entry holding a value.
void appendValue(IFDTable& ifd, std::uint16_t tag, std::uint16_t type, std::uint32_t count,
                 Bytes raw) {
    AppendIFD(ifd, tag, type, 0, 0);
    fill(ifd.back(), type, count, std::move(raw));
}

[[noreturn]] void refuseGps(const char* what, double value) {
    throw EngineError(std::string("GPSの") + what + "を書き込めません: " +
                      TextCodec::ToUtf8(NumberText::FormatGeneral(value)));
}

std::uint32_t wholeNumber(double v, const char* what) {
    if (!std::isfinite(v) || v < 0 || v > 4294967295.0)
        refuseGps(what, v);
    return static_cast<std::uint32_t>(v);
}

// Degrees, minutes and seconds as the fields give them, stored as whole degrees, whole minutes
// and seconds in millionths: the fractions of degrees and minutes are carried down rather than
// rounded away, and a second rounding up to 60 carries back up.
Bytes dmsRationals(double degrees, double minutes, double seconds, const char* what) {
    for (double v : {degrees, minutes, seconds})
        if (!std::isfinite(v) || v < 0)
            refuseGps(what, v);
    const double d = std::trunc(degrees);
    minutes += (degrees - d) * 60;
    const double m = std::trunc(minutes);
    seconds += (minutes - m) * 60;
    std::uint32_t deg = wholeNumber(d, what);
    std::uint32_t min = wholeNumber(m, what);
    double micro = std::round(seconds * 1000000);
    if (micro > 4294967295.0)
        refuseGps(what, seconds);
    if (seconds < 60 && micro >= 60000000) { // 59.9999996 seconds rounds to a whole minute
        micro = 0;
        if (++min == 60 && minutes < 60)
            min = 0, ++deg;
    }
    return rationals({{deg, 1}, {min, 1}, {static_cast<std::uint32_t>(micro), 1000000}});
}

// GPSDateStamp ("YYYY:MM:DD") and GPSTimeStamp (hours, minutes, seconds to the millisecond)
// of an instant in UTC.
struct GpsStamp {
    Bytes date, time;
};
GpsStamp gpsStamp(std::chrono::sys_time<std::chrono::milliseconds> instant) {
    using namespace std::chrono;
    const auto day = floor<days>(instant);
    const year_month_day ymd{day};
    const hh_mm_ss clock{instant - day};
    char buf[48];
    std::snprintf(buf, sizeof buf, "%04d:%02u:%02u", static_cast<int>(ymd.year()),
                  static_cast<unsigned>(ymd.month()), static_cast<unsigned>(ymd.day()));
    Bytes date(buf, buf + 10);
    date.push_back(0);
    const auto millis = static_cast<std::uint32_t>((clock.seconds() + clock.subseconds()).count());
    return {date, rationals({{static_cast<std::uint32_t>(clock.hours().count()), 1},
                             {static_cast<std::uint32_t>(clock.minutes().count()), 1},
                             {millis, 1000}})};
}

struct ChangedText {
    bool changed;
    const std::u16string& value;
    const char* field; // the field's label, for a refusal
};

// An ASCII tag holds bytes: a character beyond U+00FF has no byte of its own, and storing only
// its low 8 bits would write a different text than the one typed.
void refuseWideCharacters(std::initializer_list<ChangedText> texts) {
    if (Ambiguous)
        return;
    for (const ChangedText& t : texts)
        if (t.changed &&
            std::any_of(t.value.begin(), t.value.end(), [](char16_t c) { return c > 0xFF; }))
            throw EngineError(std::string(t.field) +
                              " に ASCII 項目には書き込めない文字が含まれています。設定の"
                              "「ASCII項目へのマルチバイト文字の書き込みを許可する (仕様違反)」"
                              "をオンにするか、その文字を取り除いてください。");
}

void storeAsciiText(IFDRec& entry, const std::u16string& text, bool trimLeading) {
    if (Ambiguous && !IsSingleByte(text)) {
        // Trimming also removes the terminating NUL: a multibyte value has no terminator.
        std::u16string_view t = text;
        while (!t.empty() && t.back() <= u' ')
            t.remove_suffix(1);
        SetStringData(entry, trimLeading ? ExifDetails::Trim(t) : std::u16string(t), "Ambiguous");
        return;
    }
    // One byte per character: the characters are at most U+00FF here.
    const std::size_t n = text.size() == 1 ? 0 : text.size(); // only the terminator: the tag goes
    if (n == 0) {
        entry.Count = 0;
        return;
    }
    fill(entry, ASCII, static_cast<std::uint32_t>(n), Bytes(text.begin(), text.end()));
}

} // namespace

void AddBlankIFDS() {
    AppendIFD(IFD0, 0x8769, LONG, 1, 0);
    AppendIFD(IFD0, 0x8825, LONG, 1, 0);
    for (std::uint16_t tag : {0x010E, 0x013B, 0x8298})
        AppendIFD(IFD0, tag, ASCII, 0, 0);
    AppendIFD(IFDX, 0x9286, UNDEFINED, 0, 0);
    AppendIFD(IFDX, 0xA430, ASCII, 0, 0);
    struct GpsTag {
        std::uint16_t tag, type;
    };
    constexpr GpsTag kGps[] = {{0x00, BYTE},      {0x01, ASCII},     {0x02, RATIONAL},
                               {0x03, ASCII},     {0x04, RATIONAL},  {0x05, BYTE},
                               {0x06, RATIONAL},  {0x10, ASCII},     {0x11, RATIONAL},
                               {0x1B, UNDEFINED}, {0x1C, UNDEFINED}, {0x1D, ASCII}};
    for (const GpsTag& g : kGps)
        AppendIFD(IFDG, g.tag, g.type, 0, 0);
    if (!Essential)
        return;

    // The mandatory tags of a new EXIF block, in the block's byte order: a big-endian block
    // whose directories could not be read gets them as well as a file without EXIF.
    appendValue(IFD0, 0x011A, RATIONAL, 1, rationals({{72, 1}}));
    appendValue(IFD0, 0x011B, RATIONAL, 1, rationals({{72, 1}}));
    appendValue(IFD0, 0x0128, SHORT, 1, shortValue(2)); // inch
    appendValue(IFD0, 0x0213, SHORT, 1, shortValue(1)); // centred
    appendValue(IFDX, 0x9000, UNDEFINED, 4, {'0', '2', '3', '2'});
    appendValue(IFDX, 0x9101, UNDEFINED, 4, {1, 2, 3, 0});
    appendValue(IFDX, 0xA000, UNDEFINED, 4, {'0', '1', '0', '0'});
    appendValue(IFDX, 0xA001, SHORT, 1, shortValue(1)); // sRGB
    if (MainWidth > 0 && MainHeight > 0) {
        for (const auto& [tag, size] : {std::pair{0xA002, MainWidth}, {0xA003, MainHeight}}) {
            const auto v = static_cast<std::uint32_t>(size);
            if (v <= 65535)
                appendValue(IFDX, static_cast<std::uint16_t>(tag), SHORT, 1,
                            shortValue(static_cast<std::uint16_t>(v)));
            else
                appendValue(IFDX, static_cast<std::uint16_t>(tag), LONG, 1, longValue(v));
        }
    }
}

void UpdateExif() {
    using namespace ExifDetails;
    // Only the fields the user changed are written: an untouched tag keeps its bytes exactly,
    // padding and all.
    const TextValues& opened = OpenedTextValues;
    const bool title = NewTag010E != opened.title, artist = NewTag013B != opened.artist,
               copyright = NewTag8298 != opened.copyright, comment = NewTag9286 != opened.comment,
               owner = NewTagA430 != opened.owner;
    refuseWideCharacters({{title, NewTag010E, "画像タイトル (#010E)"},
                          {artist, NewTag013B, "アーティスト (#013B)"},
                          {copyright, NewTag8298, "著作権者 (#8298)"},
                          {owner, NewTagA430, "カメラ所有者名 (#A430)"}});
    for (IFDRec& e : IFD0) {
        if (e.IDX == 0x010E && title)
            storeAsciiText(e, NewTag010E, true);
        else if (e.IDX == 0x013B && artist)
            storeAsciiText(e, NewTag013B, true);
        else if (e.IDX == 0x8298 && copyright)
            storeAsciiText(e, NewTag8298, false); // keeps its inner NUL
    }
    for (IFDRec& e : IFDX) {
        if (e.IDX == 0x9286 && comment) {
            e.DataType = Num16(UNDEFINED);
            SetStringData(e, NewTag9286, TranscodeTo);
        } else if (e.IDX == 0xA430 && owner) {
            storeAsciiText(e, NewTagA430, true);
        }
    }
}

void UpdateGPS() {
    using namespace ExifDetails;
    static constexpr std::uint16_t kPositionTags[] = {0x00, 0x01, 0x02, 0x03, 0x04, 0x05,
                                                      0x06, 0x10, 0x11, 0x1B, 0x1C, 0x1D};
    if (NewTag05 == 9) {
        for (IFDRec& e : IFDG)
            if (std::find(std::begin(kPositionTags), std::end(kPositionTags), e.IDX) !=
                std::end(kPositionTags))
                e.Count = 0;
        return;
    }

    // Everything is computed before any entry changes, so a refusal leaves the tables as they
    // were.
    const Bytes latitude = dmsRationals(NewTag02A, NewTag02B, NewTag02C, "緯度");
    const Bytes longitude = dmsRationals(NewTag04A, NewTag04B, NewTag04C, "経度");
    if (!std::isfinite(NewTag06))
        refuseGps("高度", NewTag06);
    // A negative altitude is a height below sea level.
    const bool below = NewTag05 == -1 || NewTag06 < 0;
    const double centimetres = std::fabs(NewTag06) * 100;
    if (!(centimetres <= 2147483647.0))
        refuseGps("高度", NewTag06);
    const auto altitude = static_cast<std::uint32_t>(Roundoff(centimetres));
    std::uint32_t direction = 0;
    if (NewTag10 != 0) {
        if (!std::isfinite(NewTag11) || std::fabs(NewTag11) > 1e9)
            refuseGps("方位", NewTag11);
        double d = std::fmod(NewTag11, 360.0);
        if (d < 0)
            d += 360;
        direction = static_cast<std::uint32_t>(Roundoff(d * 100)) % 36000;
    }
    const bool keptMagnetic = Tag10 == -1 && NewTag11 == Tag11;
    // The date stamp is renewed with the position, and a time stamp the file holds is renewed
    // with it: the two together name one instant, and an old time on a new date would name a
    // false one.
    using std::chrono::milliseconds;
    const GpsStamp stamp = gpsStamp(NewGpsStamp.value_or(
        std::chrono::floor<milliseconds>(std::chrono::system_clock::now())));
    auto letter = [](std::int8_t sign, char positive, char negative) -> Bytes {
        if (sign == 1)
            return {static_cast<std::uint8_t>(positive), 0};
        if (sign == -1)
            return {static_cast<std::uint8_t>(negative), 0};
        return {0, 0};
    };

    // A file without a GPS time gets one when the instant is given.
    if (NewGpsStamp &&
        std::none_of(IFDG.begin(), IFDG.end(), [](const IFDRec& e) { return e.IDX == 0x07; }))
        AppendIFD(IFDG, 0x07, RATIONAL, 0, 0);
    for (IFDRec& e : IFDG) {
        switch (e.IDX) {
        case 0x00: fill(e, BYTE, 4, {2, 3, 0, 0}); break;
        case 0x01: fill(e, ASCII, 2, letter(NewTag01, 'N', 'S')); break;
        case 0x02: fill(e, RATIONAL, 3, latitude); break;
        case 0x03: fill(e, ASCII, 2, letter(NewTag03, 'E', 'W')); break;
        case 0x04: fill(e, RATIONAL, 3, longitude); break;
        case 0x05: fill(e, BYTE, 1, {static_cast<std::uint8_t>(below ? 1 : 0)}); break;
        case 0x06: fill(e, RATIONAL, 1, rationals({{altitude, 100}})); break;
        case 0x10:
            if (NewTag10 == 0)
                e.Count = 0;
            else // the file's magnetic direction, kept as it was, stays magnetic
                fill(e, ASCII, 2, {static_cast<std::uint8_t>(keptMagnetic ? 'M' : 'T'), 0});
            break;
        case 0x11:
            if (NewTag10 == 0)
                e.Count = 0;
            else
                fill(e, RATIONAL, 1, rationals({{direction, 100}}));
            break;
        case 0x1B:
            e.DataType = Num16(UNDEFINED);
            SetStringData(e, u"MANUAL", "ASCII");
            break;
        case 0x1C:
            e.DataType = Num16(UNDEFINED);
            SetStringData(e, NewTag1C, TranscodeTo);
            break;
        case 0x07: fill(e, RATIONAL, 3, stamp.time); break;
        case 0x1D: fill(e, ASCII, 11, stamp.date); break;
        default: break;
        }
    }
}

} // namespace Exif

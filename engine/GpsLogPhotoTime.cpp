// The instant a photo was taken: its camera's date and time, made UTC by the photo's own offset
// tag or by a time zone from the system's database.
#include "GpsLog.h"

#include <cstdlib>

#include <date/tz.h>

#include "Exif.h"
#include "GpsLogParse.h"

namespace GpsLog {
namespace {

// The text of an entry's value up to its first NUL; none when the table has no value for it.
std::optional<std::string_view> textOf(const Exif::IFDTable& table, std::uint16_t tag) {
    for (const Exif::IFDRec& e : table)
        if (e.IDX == tag && Exif::Num32(e.Count) > 0) {
            std::string_view text(reinterpret_cast<const char*>(e.Raw.data()), e.Raw.size());
            return text.substr(0, text.find('\0'));
        }
    return std::nullopt;
}

bool digitsAt(std::string_view s, std::size_t pos, std::size_t n, int& out) {
    out = 0;
    for (std::size_t i = pos; i < pos + n; ++i) {
        if (i >= s.size() || s[i] < '0' || s[i] > '9')
            return false;
        out = out * 10 + (s[i] - '0');
    }
    return true;
}

// "YYYY:MM:DD HH:MM:SS" (some programs write "-" or "/" in the date); none for a blank or
// impossible date such as "0000:00:00 00:00:00".
std::optional<Time> exifDateTime(std::string_view text) {
    const std::string_view s = TrimBlanks(text);
    auto dateSeparator = [&](std::size_t i) { return s[i] == ':' || s[i] == '-' || s[i] == '/'; };
    int year, month, day, hour, minute, second;
    if (s.size() != 19 || !digitsAt(s, 0, 4, year) || !dateSeparator(4) ||
        !digitsAt(s, 5, 2, month) || !dateSeparator(7) || !digitsAt(s, 8, 2, day) || s[10] != ' ' ||
        !digitsAt(s, 11, 2, hour) || s[13] != ':' || !digitsAt(s, 14, 2, minute) || s[16] != ':' ||
        !digitsAt(s, 17, 2, second))
        return std::nullopt;
    return CivilTime(year, month, day, hour, minute, second, 0);
}

// Sub-second digits ("5" is half a second, "050" fifty milliseconds) to the millisecond.
Milliseconds subSeconds(std::string_view text) {
    text = TrimBlanks(text);
    int ms = 0;
    for (std::size_t i = 0; i < 3; ++i) {
        const bool digit = i < text.size() && text[i] >= '0' && text[i] <= '9';
        if (!digit && i < text.size())
            return Milliseconds{0}; // not a number of fractions
        ms = ms * 10 + (digit ? text[i] - '0' : 0);
    }
    return Milliseconds{ms};
}

// A date tag with its sub-second and offset tags.
struct DateSource {
    std::uint16_t date, subSeconds, offset;
    const Exif::IFDTable& dateTable;
};

} // namespace

std::optional<Zone> Zone::ParseOffset(std::string_view text) {
    const auto offset = ParseUtcOffset(TrimBlanks(text));
    if (!offset)
        return std::nullopt;
    Zone z;
    z.fixed_ = *offset;
    return z;
}

Zone Zone::Parse(std::string_view text) {
    if (auto fixed = ParseOffset(text))
        return *fixed;
    const std::string name(TrimBlanks(text));
    Zone z;
    try {
        if (!name.empty())
            z.zone_ = date::locate_zone(name);
    } catch (const std::exception&) {
        // An unknown name, or no time-zone database on the system.
    }
    if (!z.zone_)
        throw Exif::EngineError("タイムゾーン「" + name +
                                "」がわかりません (+09:00 のような時差か、Asia/Tokyo "
                                "のようなタイムゾーン名を指定してください)");
    return z;
}

Zone Zone::Local() {
    Zone z;
    try {
        if (const char* tz = std::getenv("TZ"); tz && *tz) {
            // ":Asia/Tokyo" is the C library's spelling of a zone read from a file.
            const std::string_view name = *tz == ':' ? tz + 1 : tz;
            if ((z.zone_ = date::locate_zone(name)))
                return z;
        }
    } catch (const std::exception&) {
        // Not a zone name but a rule such as "JST-9": the system's zone is used instead.
    }
    try {
        z.zone_ = date::current_zone();
    } catch (const std::exception&) {
        z.zone_ = nullptr; // no database or no configured zone: UTC
    }
    return z;
}

std::chrono::seconds Zone::OffsetAt(Time local) const {
    if (!zone_)
        return fixed_;
    const date::local_seconds clock{
        std::chrono::floor<std::chrono::seconds>(local.time_since_epoch())};
    // For a local time that is ambiguous or skipped, `first` is the period before the change.
    return zone_->get_info(clock).first.offset;
}

std::optional<PhotoInstant> InstantOfPhoto(const Zone& zone, Milliseconds cameraError) {
    const DateSource sources[] = {{0x9003, 0x9291, 0x9011, Exif::IFDX},
                                  {0x9004, 0x9292, 0x9012, Exif::IFDX},
                                  {0x0132, 0x9290, 0x9010, Exif::IFD0}};
    for (const DateSource& source : sources) {
        const auto text = textOf(source.dateTable, source.date);
        const auto whole = text ? exifDateTime(*text) : std::nullopt;
        if (!whole)
            continue;
        PhotoInstant p;
        p.dateTag = source.date;
        p.camera = *whole;
        if (const auto subSecondText = textOf(Exif::IFDX, source.subSeconds))
            p.camera += subSeconds(*subSecondText);
        const auto offsetText = textOf(Exif::IFDX, source.offset);
        const auto offset = offsetText ? ParseUtcOffset(TrimBlanks(*offsetText)) : std::nullopt;
        p.offsetFromPhoto = offset.has_value();
        p.utcOffset = offset ? std::chrono::seconds(*offset) : zone.OffsetAt(p.camera);
        p.utc = p.camera - p.utcOffset - cameraError;
        return p;
    }
    return std::nullopt;
}

} // namespace GpsLog

// Readable values of the GPS and Interoperability directory entries. Rendering the position tags
// also fills the position registers from which the window loads its GPS fields, compass and map.
#include "ExifDetails.h"

#include <algorithm>
#include <array>
#include <cstddef>

#include "NumberText.h"

namespace ExifDetails {
namespace {

constexpr std::u16string_view kUnrenderable = u"??? ";

std::u16string unrenderable(std::u16string_view value) {
    return std::u16string(kUnrenderable) + std::u16string(value);
}

// --- Reference tags ------------------------------------------------------------------------------

// One accepted value of a reference tag: the letters stored in the file, the label shown for
// them and the sign its register (if any) takes.
struct RefChoice {
    std::u16string_view letters;
    std::u16string_view label;
    std::int8_t sign = 0;
};

// The accepted values of one reference tag, compared case-sensitively in this order, and the
// sign for a value that matches none of them.
struct RefTable {
    std::span<const RefChoice> choices;
    std::int8_t otherSign = 0;
};

constexpr RefChoice kLatitudeChoices[] = {{u"N", u"北緯", 1}, {u"S", u"南緯", -1}};
constexpr RefChoice kLongitudeChoices[] = {{u"E", u"東経", 1}, {u"W", u"西経", -1}};
// The altitude reference is a BYTE and arrives as its decimal text.
constexpr RefChoice kAltitudeChoices[] = {{u"0", u"海抜基準", 1}, {u"1", u"海抜基準(負値)", -1}};
constexpr RefChoice kDirectionChoices[] = {{u"T", u"真方位", 1}, {u"M", u"磁気方位", -1}};
constexpr RefChoice kStatusChoices[] = {{u"A", u"測位中"}, {u"V", u"未測位(中断中)"}};
constexpr RefChoice kMeasureModeChoices[] = {{u"2", u"２次元測位中"}, {u"3", u"３次元測位中"}};
constexpr RefChoice kSpeedChoices[] = {
    {u"K", u"キロメータ／時"}, {u"M", u"マイル／時"}, {u"N", u"ノット"}};
constexpr RefChoice kDistanceChoices[] = {
    {u"K", u"キロメートル"}, {u"M", u"マイル"}, {u"N", u"海里"}};
// GPSDifferential is a SHORT and arrives as its decimal text.
constexpr RefChoice kDifferentialChoices[] = {{u"0", u"単独測位"}, {u"1", u"Differential補正測位"}};

// Unknown latitude and longitude letters count as north and east; unknown altitude and
// direction references as "not known" (0).
constexpr RefTable kLatitudeRef{kLatitudeChoices, 1};
constexpr RefTable kLongitudeRef{kLongitudeChoices, 1};
constexpr RefTable kAltitudeRef{kAltitudeChoices, 0};
constexpr RefTable kDirectionRef{kDirectionChoices, 0};
constexpr RefTable kStatusRef{kStatusChoices};
constexpr RefTable kMeasureModeRef{kMeasureModeChoices};
constexpr RefTable kSpeedRef{kSpeedChoices};
constexpr RefTable kDistanceRef{kDistanceChoices};
constexpr RefTable kDifferentialRef{kDifferentialChoices};

const RefChoice* findChoice(const RefTable& table, std::u16string_view value) {
    const auto it = std::ranges::find(table.choices, value, &RefChoice::letters);
    return it == table.choices.end() ? nullptr : &*it;
}

// The label of a reference value; with a register, also stores the value's sign in it.
std::u16string renderReference(const RefTable& table, std::u16string_view value,
                               std::int8_t* signRegister = nullptr) {
    const RefChoice* choice = findChoice(table, value);
    if (signRegister)
        *signRegister = choice ? choice->sign : table.otherSign;
    return choice ? std::u16string(choice->label) : unrenderable(value);
}

// --- Rationals and the three-element tags -------------------------------------------------------

using Units = std::array<std::u16string_view, 3>;
constexpr Units kAngleUnits{u"度", u"分", u"秒"};
constexpr Units kTimeUnits{u"時", u"分", u"秒"};

// The float of one rational text; throws EngineError when the text is not a rational.
std::u16string floatText(std::u16string_view rational) {
    return NumberText::FormatGeneral(RationalToFloat(rational));
}

struct Elements {
    std::array<double, 3> values{};
    std::size_t count = 0;
    std::u16string text;
};

// Reads up to three comma-separated rationals, each followed by its unit ("35度40分53.1秒");
// further elements are ignored and fewer give a shorter text. Throws EngineError when an element
// is not a rational, before anything is stored anywhere.
Elements walkElements(std::u16string_view data, const Units& units) {
    Elements e;
    std::u16string_view rest = data;
    while (e.count < units.size() && !rest.empty()) {
        const auto comma = rest.find(u',');
        const std::u16string_view element = rest.substr(0, comma);
        rest = comma == std::u16string_view::npos ? std::u16string_view() : rest.substr(comma + 1);
        const double value = RationalToFloat(element);
        e.text += NumberText::FormatGeneral(value);
        e.text += units[e.count];
        e.values[e.count++] = value;
    }
    return e;
}

// A latitude or longitude: each element present sets its register, the others keep their value.
// All elements are converted first, so a bad element leaves every register untouched.
std::u16string renderPosition(std::u16string_view data, double& degrees, double& minutes,
                              double& seconds) {
    const Elements e = walkElements(data, kAngleUnits);
    const std::array<double*, 3> registers{&degrees, &minutes, &seconds};
    for (std::size_t i = 0; i < e.count; ++i)
        *registers[i] = e.values[i];
    return e.text;
}

// A rational stored in a register and shown with its unit.
std::u16string renderMeasure(std::u16string_view data, double& reg, std::u16string_view unit) {
    const double value = RationalToFloat(data);
    reg = value;
    return NumberText::FormatGeneral(value) + std::u16string(unit);
}

std::u16string renderGps(std::int32_t id, const std::u16string& value,
                         std::span<const std::uint8_t> raw) {
    switch (id) {
    case 0x00: { // GPSVersionID: 2,2,0,0 is shown 2.2.0.0
        std::u16string text = value;
        std::ranges::replace(text, u',', u'.');
        return text;
    }
    case 0x01: // GPSLatitudeRef: a file with a position is shown closer on the map
        ZoomRatio = 15;
        return renderReference(kLatitudeRef, value, &Tag01);
    case 0x02: // GPSLatitude
        return renderPosition(value, Tag02A, Tag02B, Tag02C);
    case 0x03: // GPSLongitudeRef
        return renderReference(kLongitudeRef, value, &Tag03);
    case 0x04: // GPSLongitude
        return renderPosition(value, Tag04A, Tag04B, Tag04C);
    case 0x05: // GPSAltitudeRef
        return renderReference(kAltitudeRef, value, &Tag05);
    case 0x06: // GPSAltitude
        return renderMeasure(value, Tag06, u"m");
    case 0x07: // GPSTimeStamp
        return walkElements(value, kTimeUnits).text;
    case 0x09: // GPSStatus
        return renderReference(kStatusRef, value);
    case 0x0A: // GPSMeasureMode
        return renderReference(kMeasureModeRef, value);
    case 0x0C: // GPSSpeedRef
        return renderReference(kSpeedRef, value);
    case 0x0D: // GPSSpeed
    case 0x0F: // GPSTrack
    case 0x1A: // GPSDestDistance
    case 0x1F: // GPSHPositioningError
        return floatText(value);
    case 0x0E: // GPSTrackRef
    case 0x17: // GPSDestBearingRef
        return renderReference(kDirectionRef, value);
    case 0x10: // GPSImgDirectionRef
        return renderReference(kDirectionRef, value, &Tag10);
    case 0x11: // GPSImgDirection
        return renderMeasure(value, Tag11, u"°");
    case 0x13: // GPSDestLatitudeRef
        return renderReference(kLatitudeRef, value);
    case 0x14: // GPSDestLatitude
    case 0x16: // GPSDestLongitude
        return walkElements(value, kAngleUnits).text;
    case 0x15: // GPSDestLongitudeRef
        return renderReference(kLongitudeRef, value);
    case 0x18: // GPSDestBearing
        return floatText(value) + u"°";
    case 0x19: // GPSDestDistanceRef
        return renderReference(kDistanceRef, value);
    case 0x1B: // GPSProcessingMethod
        return GetString(raw);
    case 0x1C: { // GPSAreaInformation: the place name also goes to the window's field
        std::u16string text = GetString(raw);
        Tag1C = text;
        return text;
    }
    case 0x1E: // GPSDifferential
        return renderReference(kDifferentialRef, value);
    case 0x08: // GPSSatellites
    case 0x0B: // GPSDOP: the ratio text as stored (5/2)
    case 0x12: // GPSMapDatum
    case 0x1D: // GPSDateStamp
    default:
        return value;
    }
}

// InteroperabilityVersion: each hexadecimal element is one character ("30,31,30,30" is
// "0.1.0.0"). Throws EngineError on an element that is not hexadecimal.
std::u16string interoperabilityVersion(std::u16string_view value) {
    std::u16string text;
    if (value.empty())
        return text;
    for (std::size_t start = 0, n = 0;; ++n) {
        const auto comma = value.find(u',', start);
        const std::u16string_view part = value.substr(
            start, comma == std::u16string_view::npos ? std::u16string_view::npos : comma - start);
        if (n > 0)
            text += u'.';
        text += static_cast<char16_t>(NumberText::ParseHex32(part) & 0xFFFFu);
        if (comma == std::u16string_view::npos)
            return text;
        start = comma + 1;
    }
}

} // namespace

// A value that cannot be rendered does not stop the reading of the file: it is shown as
// "??? " followed by the value, and the registers keep what they held.
std::u16string SetGPSData(std::int32_t id, std::u16string_view data,
                          std::span<const std::uint8_t> raw) {
    // Trimming drops the terminating NUL of ASCII values and any padding.
    const std::u16string value = Trim(data);
    try {
        return Visible(renderGps(id, value, raw));
    } catch (const Exif::EngineError&) {
        return Visible(unrenderable(value));
    }
}

std::u16string SetIntData(std::int32_t id, std::u16string_view data) {
    const std::u16string value = Trim(data);
    switch (id) {
    case 2: // InteroperabilityVersion
        try {
            return Visible(interoperabilityVersion(value));
        } catch (const Exif::EngineError&) {
            return Visible(unrenderable(value));
        }
    case 1: // InteroperabilityIndex, for example R98
    default:
        return Visible(value);
    }
}

} // namespace ExifDetails

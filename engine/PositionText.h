#pragma once

#include <string>
#include <string_view>

// Positions as people type, copy and paste them, read into signed decimal degrees:
//   35.681236, 139.767125          -33.8568 151.2153          (latitude first; negative: S, W)
//   35°40'52.4"N 139°46'1.6"E      N 35° 40.874' E 139° 46.027'     139.7E 35.6N
//   北緯35度40分52秒 東経139度46分1秒                           (full-width digits too)
//   geo:35.681236,139.767125;u=10  (WGS 84 only)
//   map addresses: ?mlat=…&mlon=…, #map=zoom/lat/lon, /@lat,lon,zoom, ?q=lat,lon, ll=, query=
// No locale is consulted: the decimal separator is always a point.
namespace PositionText {

// Why a text gives no position.
enum class Refusal {
    None,
    Empty,               // nothing but blanks
    NotAPosition,        // no form of position fits the text
    OneValueOnly,        // a single number or coordinate, where latitude and longitude are needed
    LatitudeOutOfRange,  // beyond ±90°
    LongitudeOutOfRange, // beyond ±180°
    BadMinutesOrSeconds, // minutes or seconds of 60 or more, or a fraction before the last part
    SignAndHemisphere, // a minus sign together with a hemisphere (S, 南緯 …): which one holds?
    AxisTwice,         // two latitudes or two longitudes
    OtherDatum,        // a geo: URI in a reference system other than WGS 84
};

struct Result {
    double latitude = 0;  // signed decimal degrees: north positive
    double longitude = 0; // east positive
    Refusal refusal = Refusal::None;
    std::string reason; // for the user (UTF-8, Japanese); empty when a position was read

    bool ok() const { return refusal == Refusal::None; }
};

// Never throws for any text; a refusal carries its reason instead.
Result Parse(std::u16string_view text);
// The same for UTF-8 text (invalid bytes read as no position).
Result ParseUtf8(std::string_view text);

} // namespace PositionText

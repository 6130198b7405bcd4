#pragma once

// The tag dictionary and value rendering: display names of the tags, readable Japanese text for
// entry values, and the tag value registers through which the engine and the window exchange
// the editable values. Plain C++, no Qt.

#include <array>
#include <chrono>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "Exif.h"

namespace ExifDetails {

// --- Read registers: values of the editable tags as found in the file ---------------------------
inline std::u16string Tag010E, Tag013B, Tag8298, Tag9286, TagA430;
inline std::int8_t Tag01 = 0;                  // +1 north, -1 south
inline double Tag02A = 0, Tag02B = 0, Tag02C = 0; // latitude degrees, minutes, seconds
inline std::int8_t Tag03 = 0;                  // +1 east, -1 west
inline double Tag04A = 0, Tag04B = 0, Tag04C = 0; // longitude degrees, minutes, seconds
inline std::int8_t Tag05 = 0;                  // +1 above sea level, -1 below, 0 unknown
inline double Tag06 = 0;                       // altitude in metres
inline std::int8_t Tag10 = 0;                  // +1 true north, -1 magnetic, 0 none
inline double Tag11 = 0;                       // image direction in degrees
inline std::u16string Tag1C;                   // place name

// --- New registers: values to be written ---------------------------------------------------------
inline std::u16string NewTag010E, NewTag013B, NewTag8298, NewTag9286, NewTagA430;
inline std::int8_t NewTag01 = 0;
inline double NewTag02A = 0, NewTag02B = 0, NewTag02C = 0;
inline std::int8_t NewTag03 = 0;
inline double NewTag04A = 0, NewTag04B = 0, NewTag04C = 0;
inline std::int8_t NewTag05 = 0; // 9 asks for the removal of the GPS position
inline double NewTag06 = 0;
inline std::int8_t NewTag10 = 0;
inline double NewTag11 = 0;
inline std::u16string NewTag1C;
// The UTC instant GPSDateStamp and GPSTimeStamp take (a position placed from a GPS log is
// stamped with the photo's instant); none: the current date.
inline std::optional<std::chrono::sys_time<std::chrono::milliseconds>> NewGpsStamp;

// --- Dates (days since 1899-12-30) and the map zoom --------------------------------------------
inline double DateTime0132 = 0, DateTime9003 = 0, DateTime9004 = 0;
inline std::uint16_t ZoomRatio = 0;

// A default location: latitude sign, degrees, minutes, seconds, longitude sign, degrees,
// minutes, seconds.
using Location = std::array<float, 8>;

// What opening a file does to the registers before the file is read: the text, new and date
// registers are cleared (NewTag05 = 9) and the position registers take the default location,
// the signs rounded to the nearest integer with halves to the even neighbour; altitude above
// sea level 0, no direction, no place name, zoom 8.
void PrepareRegistersForOpen(const Location& defaultLocation);

// The six EXIF text fields as the Exif page shows them.
struct TextFields {
    std::u16string title, artist, copyrightPhotographer, copyrightEditor, comment, owner;
};
// The values the new text registers take for a set of fields: trimmed, title, artist and owner
// ended by a NUL, the copyright as photographer NUL editor NUL (a blank for a missing
// photographer), the comment without terminator.
struct TextValues {
    std::u16string title, artist, copyright, comment, owner;
};
TextValues NewTextValues(const TextFields& fields);
// What the fields gave when the file was opened: a text tag whose new value is still this is
// left exactly as the file had it.
inline TextValues OpenedTextValues;
// The fields from the read registers, trimmed; the copyright value splits at its first NUL into
// the photographer's and the editor's part. Remembers their values in OpenedTextValues.
TextFields TextFieldsFromRegisters();
// The new text registers from the fields.
void StoreTextFields(const TextFields& fields);

// --- Value helpers -------------------------------------------------------------------------------
using Exif::Roundoff;
double GetDateTime(std::u16string_view dateTimeStr);
double RationalToFloat(std::u16string_view data);
double SRationalToFloat(std::u16string_view data);
double Apex(double n);
std::u16string GetString(std::span<const std::uint8_t> raw);
void ReformLatLon();
// Removes leading and trailing characters with codes up to 32 (NUL included).
std::u16string Trim(std::u16string_view text);
// A value's text for one listing line: control characters other than tab (and NUL, where a
// line ends) and the Unicode line and paragraph separators become visible as "\x0A" or
// "\u2028", so a value from the file never breaks the listing's lines.
std::u16string Visible(std::u16string_view text);

// --- Tag names -----------------------------------------------------------------------------------
std::u16string SetID(std::int32_t id);    // 0th, Exif and 1st IFDs
std::u16string SetGPSID(std::int32_t id); // GPS IFD
std::u16string SetIntID(std::int32_t id); // Interoperability IFD

// --- Value rendering ----------------------------------------------------------------------------
// A value that cannot be rendered (a conversion or decoding error) gives "??? " followed by
// Data and leaves the registers as they were. Without `textRegisters` an editable text
// (title, artist, copyright, comment, owner) is rendered but leaves its register alone.
std::u16string SetData(std::int32_t id, std::u16string_view data,
                       std::span<const std::uint8_t> raw, bool textRegisters = true);
std::u16string SetGPSData(std::int32_t id, std::u16string_view data,
                          std::span<const std::uint8_t> raw);
std::u16string SetIntData(std::int32_t id, std::u16string_view data);

} // namespace ExifDetails

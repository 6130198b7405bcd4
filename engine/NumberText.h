#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Numbers as text, independent of the process locale: a point is always the decimal separator.
namespace NumberText {

// The general format: at most 15 significant digits, no trailing zeros, no point for whole
// numbers; exponent form ("1E-6", "1.5E20") only below 0.00001 or beyond 15 integer digits.
std::u16string FormatGeneral(double value);

// Parsing accepts what a user types: optional blanks around, an optional sign, digits, an
// optional point and fraction, an optional exponent. Anything else throws Exif::EngineError
// naming the value ("'1.2.3' is not a valid floating point value").
double ParseFloat(std::u16string_view text);
// Decimal integers with an optional sign, blanks around ignored; out of range or malformed
// text throws ("'x' is not a valid integer value").
std::int32_t ParseInt32(std::u16string_view text);
std::int64_t ParseInt64(std::u16string_view text);
// Hexadecimal digits only (no prefix, no sign), at most 32 bits.
std::uint32_t ParseHex32(std::u16string_view text);

// Days since 1899-12-30 00:00 with the time of day as the fraction; false for impossible
// dates and times (month 13, 30 February, hour 24 ...).
bool EncodeDateTime(int year, int month, int day, int hour, int minute, int second,
                    double& result);
// The inverse, for whole seconds.
void DecodeDateTime(double value, int& year, int& month, int& day, int& hour, int& minute,
                    int& second);

} // namespace NumberText

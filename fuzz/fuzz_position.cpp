// Reading positions from arbitrary text, as a paste or --position hands it over. The input is
// read twice: as UTF-8, and as UTF-16 code units (little-endian pairs), which reaches the
// full-width and Japanese forms without valid UTF-8 in the way. For each reading:
//  - a position lies within ±90° and ±180°, and carries no reason; a refusal carries one;
//  - the same text reads the same again;
//  - the position written back as "lat, lon" in shortest decimal reads as the same numbers
//    (what a copy and a paste of it would do).

#include <charconv>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "PositionText.h"

using fuzzsupport::Fail;

namespace {

std::string decimalText(double v) {
    char buf[1100]; // fixed notation of the smallest double needs about 1080 characters
    const auto res = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    if (res.ec != std::errc())
        Fail("cannot write %g as a decimal", v);
    return std::string(buf, res.ptr);
}

void check(const PositionText::Result& r, const PositionText::Result& again) {
    if (r.ok() != r.reason.empty())
        Fail("refusal %d with reason '%s'", static_cast<int>(r.refusal), r.reason.c_str());
    if (r.refusal != again.refusal || r.reason != again.reason ||
        std::memcmp(&r.latitude, &again.latitude, sizeof(double)) != 0 ||
        std::memcmp(&r.longitude, &again.longitude, sizeof(double)) != 0)
        Fail("the same text read differently: %d '%s' / %d '%s'", static_cast<int>(r.refusal),
             r.reason.c_str(), static_cast<int>(again.refusal), again.reason.c_str());
    if (!r.ok())
        return;
    if (!(std::fabs(r.latitude) <= 90) || !(std::fabs(r.longitude) <= 180))
        Fail("position out of range: %.17g, %.17g", r.latitude, r.longitude);
    const std::string copied = decimalText(r.latitude) + ", " + decimalText(r.longitude);
    const PositionText::Result pasted = PositionText::ParseUtf8(copied);
    if (!pasted.ok() || pasted.latitude != r.latitude || pasted.longitude != r.longitude)
        Fail("'%s' read back as %.17g, %.17g (%s)", copied.c_str(), pasted.latitude,
             pasted.longitude, pasted.reason.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view utf8(reinterpret_cast<const char*>(data), size);
    check(PositionText::ParseUtf8(utf8), PositionText::ParseUtf8(utf8));

    std::u16string utf16(size / 2, u'\0');
    for (std::size_t i = 0; i < utf16.size(); ++i)
        utf16[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    check(PositionText::Parse(utf16), PositionText::Parse(utf16));
    return 0;
}

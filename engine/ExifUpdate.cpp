// Changes to the entry tables before a write.
#include "Exif.h"

namespace Exif {

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

    // The mandatory tags of a new EXIF block; BO is "II" here, so values are little-endian.
    const std::vector<std::uint8_t> dpi72 = {72, 0, 0, 0, 1, 0, 0, 0};
    AppendIFD(IFD0, 0x011A, RATIONAL, 1, 0);
    IFD0.back().Raw = dpi72;
    AppendIFD(IFD0, 0x011B, RATIONAL, 1, 0);
    IFD0.back().Raw = dpi72;
    AppendIFD(IFD0, 0x0128, SHORT, 1, 2);
    AppendIFD(IFD0, 0x0213, SHORT, 1, 1);
    auto undefined4 = [](std::uint16_t tag, const char (&bytes)[5]) {
        const std::uint32_t v = static_cast<std::uint8_t>(bytes[0]) |
                                (static_cast<std::uint8_t>(bytes[1]) << 8) |
                                (static_cast<std::uint8_t>(bytes[2]) << 16) |
                                (static_cast<std::uint32_t>(static_cast<std::uint8_t>(bytes[3])) << 24);
        AppendIFD(IFDX, tag, UNDEFINED, 4, v);
        IFDX.back().Raw.assign(bytes, bytes + 4);
    };
    undefined4(0x9000, "0232");
    undefined4(0x9101, "\x01\x02\x03\x00");
    undefined4(0xA000, "0100");
    AppendIFD(IFDX, 0xA001, SHORT, 1, 1);
    if (MainWidth > 0 && MainHeight > 0) {
        const auto w = static_cast<std::uint32_t>(MainWidth);
        const auto h = static_cast<std::uint32_t>(MainHeight);
        AppendIFD(IFDX, 0xA002, w <= 65535 ? SHORT : LONG, 1, w);
        AppendIFD(IFDX, 0xA003, h <= 65535 ? SHORT : LONG, 1, h);
    }
}

} // namespace Exif

#pragma once

// NMEA sentences for tests of GPS logs.

#include <cstdio>
#include <string>

namespace testsupport {

// "$", the sentence's fields, its checksum and a CR LF.
inline std::string nmeaSentence(const std::string& fields) {
    unsigned sum = 0;
    for (char c : fields)
        sum ^= static_cast<unsigned char>(c);
    char tail[8];
    std::snprintf(tail, sizeof tail, "*%02X\r\n", sum);
    return "$" + fields + tail;
}

} // namespace testsupport

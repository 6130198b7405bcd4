#pragma once

// A synthetic walk logged by a GPS: its fixes, the same fixes as a GPX and as an NMEA log, and
// where the walk was at any second; and the GPS values exiftool reads back from photos placed
// from such logs.

#include <cmath>
#include <cstdio>
#include <string>
#include <filesystem>
#include <sstream>
#include <vector>

#include "support/Nmea.h"

namespace testsupport {

// A fix of the walk: seconds after 2024-05-01 12:00:00 UTC.
struct Fix {
    int second;
    double lat, lon, alt;
};

// Every 10 s for ten minutes, unevenly, from 20 m below sea level to 70 m above.
inline std::vector<Fix> walk() {
    std::vector<Fix> fixes;
    for (int i = 0; i <= 60; ++i)
        fixes.push_back({10 * i, 35.0 + 0.0001 * i + 0.00003 * (i % 3),
                         139.0 + 0.00015 * i - 0.00002 * (i % 4), -20 + 1.5 * i});
    return fixes;
}

inline std::string gpxOf(const std::vector<Fix>& fixes) {
    std::string out = "<?xml version=\"1.0\"?>\n<gpx version=\"1.1\" creator=\"test\" "
                      "xmlns=\"http://www.topografix.com/GPX/1/1\"><trk><trkseg>\n";
    char line[200];
    for (const Fix& f : fixes) {
        std::snprintf(line, sizeof line,
                      "<trkpt lat=\"%.7f\" lon=\"%.7f\"><ele>%.2f</ele><time>2024-05-01T12:%02d:"
                      "%02dZ</time></trkpt>\n",
                      f.lat, f.lon, f.alt, f.second / 60, f.second % 60);
        out += line;
    }
    return out + "</trkseg></trk></gpx>\n";
}

inline std::string nmeaOf(const std::vector<Fix>& fixes) {
    std::string out;
    char body[200];
    for (const Fix& f : fixes) {
        const double latMinutes = (f.lat - std::floor(f.lat)) * 60;
        const double lonMinutes = (f.lon - std::floor(f.lon)) * 60;
        char time[16], lat[24], lon[24];
        std::snprintf(time, sizeof time, "12%02d%02d.00", f.second / 60 % 60, f.second % 60);
        std::snprintf(lat, sizeof lat, "%02d%09.6f,N", static_cast<int>(f.lat), latMinutes);
        std::snprintf(lon, sizeof lon, "%03d%09.6f,E", static_cast<int>(f.lon), lonMinutes);
        std::snprintf(body, sizeof body, "GPRMC,%s,A,%s,%s,0.0,0.0,010524,,,A", time, lat, lon);
        out += nmeaSentence(body);
        std::snprintf(body, sizeof body, "GPGGA,%s,%s,%s,1,08,0.9,%.2f,M,39.4,M,,", time, lat, lon,
                      f.alt);
        out += nmeaSentence(body);
    }
    return out;
}

// Where the walk was at an instant, by linear interpolation between its fixes.
inline Fix expectedAt(const std::vector<Fix>& fixes, double second) {
    for (std::size_t i = 0; i + 1 < fixes.size(); ++i) {
        const Fix& a = fixes[i];
        const Fix& b = fixes[i + 1];
        if (second >= a.second && second <= b.second) {
            const double w = (second - a.second) / (b.second - a.second);
            return {0, a.lat + w * (b.lat - a.lat), a.lon + w * (b.lon - a.lon),
                    a.alt + w * (b.alt - a.alt)};
        }
    }
    return {0, NAN, NAN, NAN}; // the walk has no fix around that second: every check fails
}

// A text as one word of a shell command.
inline std::string shellQuote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

// What a shell command prints on its standard output.
inline std::string output(const std::string& command) {
    std::string out;
    if (FILE* p = popen(command.c_str(), "r")) {
        char buf[4096];
        for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
            out.append(buf, n);
        pclose(p);
    }
    return out;
}

// The GPS values exiftool reads from a file, with numbers as numbers; NaN and empty texts when
// it holds none.
struct GpsRead {
    double lat = NAN, lon = NAN, alt = NAN;
    std::string date, time;
};

inline std::vector<GpsRead> gpsOf(const std::vector<std::filesystem::path>& files) {
    std::string command = "exiftool -q -q -T -n -GPS:GPSLatitude -GPS:GPSLatitudeRef "
                          "-GPS:GPSLongitude -GPS:GPSLongitudeRef -GPS:GPSAltitude "
                          "-GPS:GPSAltitudeRef -GPS:GPSDateStamp -GPS:GPSTimeStamp";
    for (const std::filesystem::path& f : files)
        command += " " + shellQuote(f.string());
    std::istringstream out(output(command + " 2>/dev/null"));
    std::vector<GpsRead> reads;
    for (std::string line; std::getline(out, line);) {
        std::istringstream in(line);
        std::string v[8];
        for (std::string& field : v)
            std::getline(in, field, '\t');
        GpsRead& r = reads.emplace_back();
        if (v[0] == "-")
            continue;
        r.lat = std::stod(v[0]) * (v[1] == "S" ? -1 : 1);
        r.lon = std::stod(v[2]) * (v[3] == "W" ? -1 : 1);
        r.alt = std::stod(v[4]) * (v[5] == "1" ? -1 : 1);
        r.date = v[6], r.time = v[7];
    }
    return reads;
}

} // namespace testsupport

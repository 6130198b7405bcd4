#pragma once

// Positions from GPS logs: GPX, KML and NMEA logs read into one time-ordered track, the instant
// a photo was taken, and the position of the track at that instant. Plain C++, no Qt.
//
// Times are UTC. A log time without a zone is taken as UTC, as GPX and NMEA define their
// times; the photo's camera clock is turned into UTC by its own offset tag or a chosen zone.

#include <chrono>
#include <cstdint>
#include <limits>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "EngineError.h"

namespace date {
class time_zone;
}

namespace GpsLog {

using Time = std::chrono::sys_time<std::chrono::milliseconds>;
using Milliseconds = std::chrono::milliseconds;

inline constexpr double kNoAltitude = std::numeric_limits<double>::quiet_NaN();

// One timed position of a log: signed degrees (north and east positive), metres above sea
// level or NaN when the log gives none. 32 bytes, so that a million points take 32 MB.
struct Point {
    Time time;
    double lat = 0, lon = 0;
    double alt = kNoAltitude;
};

enum class Format { Gpx, Kml, Nmea };

// What one log gave. `skipped` counts the malformed elements or lines that were left out (bad
// numbers or times, coordinates out of range, NMEA checksums that do not match, a point cut
// off by broken XML); `problem` describes an XML error that ended the reading early, after
// which the points read before it are still used.
struct LogSummary {
    std::string name;
    Format format = Format::Gpx;
    std::size_t points = 0;
    std::size_t skipped = 0;
    std::string problem;
};

// Reads a log held in memory (format told by its content: XML with a gpx or kml root, else
// NMEA sentences) and appends its timed points to `out` in the order of the log. Points
// without a time (way points of a plain list of places, NMEA sentences without a fix) are not
// counted as malformed. An EngineError naming `name` when the log holds no usable timed point;
// `out` is unchanged then.
LogSummary ReadLog(std::span<const std::uint8_t> bytes, const std::string& name,
                   std::vector<Point>& out);
// The same for a file, read in pieces: a log of any size needs memory only for its points.
LogSummary ReadLogFile(const std::string& path, std::vector<Point>& out);

// The points of one or more logs in time order (the order of the logs kept for equal times).
struct Track {
    std::vector<Point> points;
    std::vector<LogSummary> logs;
};
// Reads a log file and merges its points into the track. On an error the track is unchanged.
const LogSummary& AddLog(Track& track, const std::string& path);

// --- Matching ------------------------------------------------------------------------------------

inline constexpr Milliseconds kDefaultMaxGap{1800 * 1000};

enum class MatchKind { Interpolated, Nearest, None };

struct Match {
    MatchKind kind = MatchKind::None;
    Time time;                // the instant looked up
    double lat = 0, lon = 0;  // when matched
    double alt = kNoAltitude; // when matched and both points used have an altitude
    // From the instant to the closest point of the track (none for an empty track).
    std::optional<Milliseconds> distance;
};

// The position at an instant: interpolated linearly between the last point at or before it and
// the first after it when these are at most `maxGap` apart (across the antimeridian the short
// way round); otherwise the nearer of the two when it lies within `maxGap`; otherwise none.
// `points` must be in time order.
Match MatchInstant(std::span<const Point> points, Time time, Milliseconds maxGap);

// The track as lines to draw: a new line wherever two points are more than `maxGap` apart in
// time (no position is matched across such a gap), thinned evenly to about `maxPoints` points
// in all, each line keeping its first and last point. `points` must be in time order.
std::vector<std::vector<Point>> TrackLines(std::span<const Point> points, Milliseconds maxGap,
                                           std::size_t maxPoints);

// Puts a matched position into the new GPS registers: latitude and longitude as signed
// degrees; the altitude with the reference its sign gives when the match has one, else the
// file's altitude as read; the instant as GPSDateStamp and GPSTimeStamp. The direction and
// place name are the file's, so that placing a photo keeps them.
void StoreMatch(const Match& match);

// --- The photo's instant -----------------------------------------------------------------------

// A time zone: a fixed offset from UTC or a zone of the system's time-zone database.
class Zone {
  public:
    // "Z", "+09:00", "-0530", "+09", or a zone name such as "Asia/Tokyo" or "UTC". An
    // EngineError naming the text when it is neither.
    static Zone Parse(std::string_view text);
    // A fixed offset in any of the forms above; none for anything else.
    static std::optional<Zone> ParseOffset(std::string_view text);
    // The zone of the computer: the zone $TZ names when it names one of the database, else the
    // system's own (/etc/localtime); UTC when neither can be found.
    static Zone Local();

    // The UTC offset in force at a reading of a local clock (as if it were UTC). At a change of
    // offset a local time that happens twice (the hour repeated in autumn) or never (the hour
    // skipped in spring) is read with the offset in force before the change: the earlier of
    // the two instants, or the instant a clock not yet put forward would show.
    std::chrono::seconds OffsetAt(Time local) const;

  private:
    std::chrono::seconds fixed_{0};
    const date::time_zone* zone_ = nullptr;
};

struct PhotoInstant {
    Time utc;                          // the instant, the camera's clock error removed
    Time camera;                       // what the camera's clock showed, as if it were UTC
    std::chrono::seconds utcOffset{0}; // of the camera's clock at that time
    std::uint16_t dateTag = 0;         // where the date came from: 0x9003, 0x9004 or 0x0132
    bool offsetFromPhoto = false;      // the offset came from the photo's own offset tag
};

// The instant the photo last analysed was taken: DateTimeOriginal, else DateTimeDigitized, else
// DateTime, each with its own sub-second tag and offset tag; without the offset tag the zone
// gives the offset. `cameraError` (camera time minus true time) is then subtracted. None when
// the photo holds no readable date.
std::optional<PhotoInstant> InstantOfPhoto(const Zone& zone, Milliseconds cameraError);

// --- Placing a file ------------------------------------------------------------------------------

// How a photo's time is read and matched.
struct Timing {
    Zone zone = Zone::Local();
    Milliseconds cameraError{0};
    Milliseconds maxGap = kDefaultMaxGap;
};

// Opens the photo at `path`, matches its instant against the points and, when it matched,
// saves it over itself with the position (atomically, and only while it is still the file that
// was read); left untouched otherwise. An EngineError when the photo cannot be read, has no
// date or cannot be saved.
Match PlacePhoto(const std::string& path, std::span<const Point> points, const Timing& timing);

} // namespace GpsLog

#pragma once

// What the log readers share: the text of numbers and times, and where the points go.

#include <memory>
#include <optional>
#include <string_view>
#include <vector>

#include "GpsLog.h"

namespace GpsLog {

// Blanks (space, tab, CR, LF) removed at both ends.
std::string_view TrimBlanks(std::string_view text);
// A decimal number, blanks around it ignored; none when the text is anything else or the
// number is not finite.
std::optional<double> ParseNumber(std::string_view text);
// A date and time of day; none when it does not exist (30 February, 24:00, second 60).
std::optional<Time> CivilTime(int year, int month, int day, int hour, int minute, int second,
                              int millisecond);
// A UTC offset: "Z", "+hh:mm", "+hhmm" or "+hh" (or with "-"), at most 14 hours.
std::optional<std::chrono::minutes> ParseUtcOffset(std::string_view text);
// An XML Schema dateTime ("2024-05-01T12:34:56.789+02:00"), blanks around it ignored; an
// offset as above, none meaning UTC; fractions of a second kept to the millisecond (further
// digits dropped). A blank instead of the "T" is accepted. None for anything else.
std::optional<Time> ParseDateTime(std::string_view text);

// Where a reader puts what it finds.
struct Collector {
    std::vector<Point>& out;
    LogSummary& summary;
    // The XML's root is neither gpx nor kml: this is no log.
    bool foreignXml = false;

    // A point whose numbers were read; one out of range counts as malformed.
    void add(Time time, double lat, double lon, double alt);
    void skip() { ++summary.skipped; }
};

// A reader fed with the log's bytes piece by piece.
class LogReader {
  public:
    virtual ~LogReader() = default;
    virtual void feed(std::string_view piece) = 0;
    // No more bytes follow.
    virtual void finish() = 0;
};

// The reader of any log: the format is told by the first bytes that are not blanks.
std::unique_ptr<LogReader> MakeLogReader(Collector& collector);
std::unique_ptr<LogReader> MakeXmlReader(Collector& collector);
std::unique_ptr<LogReader> MakeNmeaReader(Collector& collector);

} // namespace GpsLog

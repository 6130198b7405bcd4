// geodot-cli geotag: photos placed from GPS logs by the instant they were taken, saved the way
// set saves them.
#include <chrono>
#include <cmath>
#include <cstdio>
#include <iostream>

#include "Cli.h"
#include "Exif.h"
#include "GpsLog.h"

namespace cli {
namespace {

using namespace std::chrono;

struct GeotagOptions {
    std::vector<std::string> tracks;
    GpsLog::Zone zone = GpsLog::Zone::Local();
    GpsLog::Milliseconds cameraError{0};
    GpsLog::Milliseconds maxGap = GpsLog::kDefaultMaxGap;
    bool dryRun = false;
};

GpsLog::Milliseconds milliseconds(const std::string& option, const std::string& text) {
    const double seconds = parseNumber(option, text);
    // Beyond a century either way is a typing mistake, and would overflow the clock's range.
    if (!std::isfinite(seconds) || std::fabs(seconds) > 100.0 * 366 * 86400)
        throw UsageError(option + ": " + text + " is not a number of seconds");
    return GpsLog::Milliseconds{std::llround(seconds * 1000)};
}

// "2024-05-01 12:00:15 UTC", with the milliseconds when there are any.
std::string utcText(GpsLog::Time t) {
    const auto day = floor<days>(t);
    const year_month_day ymd{day};
    const hh_mm_ss<GpsLog::Milliseconds> time{t - day};
    char text[48];
    const int ms = static_cast<int>(time.subseconds().count());
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d:%02d", int(ymd.year()),
                  unsigned(ymd.month()), unsigned(ymd.day()), int(time.hours().count()),
                  int(time.minutes().count()), int(time.seconds().count()));
    std::string out = text;
    if (ms != 0) {
        std::snprintf(text, sizeof text, ".%03d", ms);
        out += text;
    }
    return out + " UTC";
}

std::string seconds(GpsLog::Milliseconds d) {
    char text[32];
    std::snprintf(text, sizeof text, "%.0f s", static_cast<double>(d.count()) / 1000);
    return text;
}

std::string describe(const GpsLog::Match& m) {
    char text[96];
    std::snprintf(text, sizeof text, "%.7f, %.7f", m.lat, m.lon);
    std::string out = text;
    if (!std::isnan(m.alt)) {
        std::snprintf(text, sizeof text, ", %.2f m", m.alt);
        out += text;
    }
    out += m.kind == GpsLog::MatchKind::Interpolated ? ", interpolated" : ", nearest point";
    if (m.kind == GpsLog::MatchKind::Nearest && m.distance)
        out += " " + seconds(*m.distance) + " away";
    return out + " (" + utcText(m.time) + ")";
}

} // namespace

int geotag(const std::vector<std::string>& args) {
    GeotagOptions g;
    Request r;
    try {
        r = parseRequest(args, [&g](const std::string& option, const auto& value) {
            if (option == "--track")
                g.tracks.push_back(value());
            else if (option == "--tz") {
                const std::string text = value();
                try {
                    g.zone = GpsLog::Zone::Parse(text);
                } catch (const Exif::EngineError& e) {
                    throw UsageError("--tz: " + std::string(e.what()));
                }
            } else if (option == "--offset")
                g.cameraError = milliseconds(option, value());
            else if (option == "--max-gap") {
                g.maxGap = milliseconds(option, value());
                if (g.maxGap.count() < 0)
                    throw UsageError("--max-gap cannot be negative");
            } else if (option == "--dry-run")
                g.dryRun = true;
            else
                return false;
            return true;
        });
        if (g.tracks.empty())
            throw UsageError("no log given (--track FILE)");
        if (r.lat || r.alt || r.removeGps)
            throw UsageError("the position comes from the log: --lat, --lon, --alt and "
                             "--remove-gps do not go with geotag");
    } catch (const UsageError& e) {
        std::cerr << "geodot-cli geotag: " << e.what() << "\n";
        return 2;
    }

    GpsLog::Track track;
    for (const std::string& path : g.tracks) {
        try {
            const GpsLog::LogSummary& log = GpsLog::AddLog(track, path);
            if (log.skipped > 0)
                std::cerr << "geodot-cli: " << path << ": " << log.skipped
                          << " malformed points or lines skipped\n";
            if (!log.problem.empty())
                std::cerr << "geodot-cli: " << path << ": " << log.problem << "\n";
        } catch (const Exif::EngineError& e) {
            std::cerr << "geodot-cli: " << e.what() << "\n";
            return 1;
        }
    }

    bool keepTime = false;
    useEngineOptions(r, keepTime);
    return editFiles(r, keepTime, [&](const std::string&) -> Edited {
        const auto instant = GpsLog::InstantOfPhoto(g.zone, g.cameraError);
        if (!instant)
            throw Exif::EngineError("撮影日時がありません");
        const GpsLog::Match m = GpsLog::MatchInstant(track.points, instant->utc, g.maxGap);
        if (m.kind == GpsLog::MatchKind::None)
            return {false, "left alone: no log point within " + seconds(g.maxGap) + " of " +
                               utcText(m.time) +
                               (m.distance ? " (the nearest is " + seconds(*m.distance) + " away)"
                                           : std::string())};
        GpsLog::StoreMatch(m);
        applyDirectionAndArea(r);
        Exif::UpdateGPS();
        applyTexts(r);
        return {!g.dryRun, describe(m) + (g.dryRun ? " [dry run: not written]" : "")};
    });
}

} // namespace cli

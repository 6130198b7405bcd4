// The position of a track at an instant: interpolated, nearest point, or none.
#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "GpsLog.h"

using namespace GpsLog;
using namespace std::chrono;

namespace {

Time t(seconds s) {
    return Time{} + s;
}

const char* kindName(MatchKind k) {
    return k == MatchKind::Interpolated ? "interpolated"
           : k == MatchKind::Nearest    ? "nearest"
                                        : "none";
}

TEST(Matching, InterpolatedWithinTheGapNearestBeyondItNoneFarAway) {
    // Every 60 s for two minutes, then a gap of two hours, then one lone point.
    const std::vector<Point> track = {
        {t(1000s), 35.0, 139.0, 10},
        {t(1060s), 35.006, 139.012, 22},
        {t(1120s), 35.012, 139.012, kNoAltitude},
        {t(8320s), 36.0, 140.0, -5},
    };
    const struct {
        const char* name;
        seconds at;
        MatchKind kind;
        double lat, lon, alt;
        seconds distance;
    } cases[] = {
        {"between two points", 1015s, MatchKind::Interpolated, 35.0015, 139.003, 13, 15s},
        {"on a point", 1060s, MatchKind::Interpolated, 35.006, 139.012, 22, 0s},
        {"one altitude missing", 1090s, MatchKind::Interpolated, 35.009, 139.012, NAN, 30s},
        {"in the long gap, near its start", 1120s + 1799s, MatchKind::Nearest, 35.012, 139.012, NAN,
         1799s},
        {"in the long gap, near its end", 8320s - 1800s, MatchKind::Nearest, 36.0, 140.0, -5,
         1800s},
        {"in the long gap, far from both", 1120s + 1801s, MatchKind::None, 0, 0, NAN, 1801s},
        {"before the first point", 1000s - 600s, MatchKind::Nearest, 35.0, 139.0, 10, 600s},
        {"long before it", 1000s - 1801s, MatchKind::None, 0, 0, NAN, 1801s},
        {"after the last", 8320s + 1800s, MatchKind::Nearest, 36.0, 140.0, -5, 1800s},
        {"hours after it", 8320s + 5h, MatchKind::None, 0, 0, NAN, 5h},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const Match m = MatchInstant(track, t(c.at), kDefaultMaxGap);
        EXPECT_STREQ(kindName(m.kind), kindName(c.kind));
        EXPECT_EQ(m.time, t(c.at));
        ASSERT_TRUE(m.distance.has_value());
        EXPECT_EQ(*m.distance, c.distance);
        if (c.kind == MatchKind::None)
            continue;
        EXPECT_NEAR(m.lat, c.lat, 1e-9);
        EXPECT_NEAR(m.lon, c.lon, 1e-9);
        if (std::isnan(c.alt)) {
            EXPECT_TRUE(std::isnan(m.alt)) << m.alt;
        } else {
            EXPECT_NEAR(m.alt, c.alt, 1e-9);
        }
    }
}

TEST(Matching, TheGapIsAChoice) {
    const std::vector<Point> track = {{t(0s), 10, 20, 0}, {t(100s), 11, 21, 100}};
    const struct {
        seconds maxGap;
        MatchKind kind;
        double lat;
    } cases[] = {
        {100s, MatchKind::Interpolated, 10.3},
        {99s, MatchKind::Nearest, 10},
        {29s, MatchKind::None, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.maxGap.count());
        const Match m = MatchInstant(track, t(30s), c.maxGap);
        EXPECT_STREQ(kindName(m.kind), kindName(c.kind));
        if (c.kind != MatchKind::None) {
            EXPECT_NEAR(m.lat, c.lat, 1e-12);
        }
    }
}

TEST(Matching, AcrossTheAntimeridianTheShortWayRound) {
    const struct {
        double from, to, quarter, half;
    } cases[] = {
        {179.9, -179.9, 179.95, 180},
        {-179.9, 179.9, -179.95, -180},
        {179.0, 178.0, 178.75, 178.5},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.from);
        const std::vector<Point> track = {{t(0s), -17, c.from}, {t(40s), -17, c.to}};
        EXPECT_NEAR(MatchInstant(track, t(10s), kDefaultMaxGap).lon, c.quarter, 1e-9);
        EXPECT_NEAR(std::fabs(MatchInstant(track, t(20s), kDefaultMaxGap).lon), std::fabs(c.half),
                    1e-9);
    }
}

TEST(Matching, RepeatedTimesAndAnEmptyTrack) {
    // Two logs of one walk may hold the same second; either fix is a position of that time.
    const std::vector<Point> track = {
        {t(0s), 1, 1}, {t(10s), 2, 2}, {t(10s), 2.5, 2.5}, {t(20s), 3, 3}};
    const Match on = MatchInstant(track, t(10s), kDefaultMaxGap);
    EXPECT_EQ(on.kind, MatchKind::Interpolated);
    EXPECT_EQ(on.lat, 2.5);
    const Match after = MatchInstant(track, t(15s), kDefaultMaxGap);
    EXPECT_NEAR(after.lat, 2.75, 1e-12);

    const Match none = MatchInstant({}, t(0s), kDefaultMaxGap);
    EXPECT_EQ(none.kind, MatchKind::None);
    EXPECT_FALSE(none.distance.has_value());
}

} // namespace

TEST(TrackLines, SplitAtGapsAndThinnedKeepingEachEnd) {
    // 0…9 s every second, a gap of an hour, then 3610…3612 s.
    std::vector<Point> track;
    for (int i = 0; i < 10; ++i)
        track.push_back({t(seconds(i)), 35.0 + i * 0.001, 139.0});
    for (int i = 0; i < 3; ++i)
        track.push_back({t(seconds(3610 + i)), 36.0 + i * 0.001, 140.0});
    auto secondsOf = [](const std::vector<std::vector<Point>>& lines) {
        std::vector<std::vector<long>> out;
        for (const auto& line : lines) {
            auto& l = out.emplace_back();
            for (const Point& p : line)
                l.push_back(long(duration_cast<seconds>(p.time - Time{}).count()));
        }
        return out;
    };
    const struct {
        const char* name;
        seconds maxGap;
        std::size_t maxPoints;
        std::vector<std::vector<long>> lines;
    } cases[] = {
        {"all points", 1800s, 100, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, {3610, 3611, 3612}}},
        {"every third", 1800s, 5, {{0, 3, 6, 9}, {3610, 3612}}},
        {"every fourth, the last kept", 1800s, 4, {{0, 4, 8, 9}, {3610, 3612}}},
        {"no gap that long", 7200s, 100, {{0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 3610, 3611, 3612}}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(secondsOf(TrackLines(track, c.maxGap, c.maxPoints)), c.lines);
    }
    EXPECT_TRUE(TrackLines({}, 1800s, 100).empty());
}

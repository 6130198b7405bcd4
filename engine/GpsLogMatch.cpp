// The position of a track at an instant, and its way into the GPS registers.
#include "GpsLog.h"

#include <algorithm>
#include <cmath>

#include "ExifDetails.h"

namespace GpsLog {
namespace {

// The longitude a fraction `w` of the way from `a` to `b`, the short way round: from 179° to
// -179° passes 180°, not 0°.
double longitudeBetween(double a, double b, double w) {
    double delta = b - a;
    if (delta > 180)
        delta -= 360;
    else if (delta < -180)
        delta += 360;
    double lon = a + w * delta;
    if (lon > 180)
        lon -= 360;
    else if (lon < -180)
        lon += 360;
    return lon;
}

} // namespace

Match MatchInstant(std::span<const Point> points, Time time, Milliseconds maxGap) {
    Match m;
    m.time = time;
    const auto next = std::upper_bound(points.begin(), points.end(), time,
                                       [](Time t, const Point& p) { return t < p.time; });
    const Point* after = next != points.end() ? &*next : nullptr;
    const Point* before = next != points.begin() ? &*(next - 1) : nullptr;
    if (!before && !after)
        return m;
    const Milliseconds toBefore = before ? time - before->time : Milliseconds::max();
    const Milliseconds toAfter = after ? after->time - time : Milliseconds::max();
    m.distance = std::min(toBefore, toAfter);

    if (before && after && after->time - before->time <= maxGap) {
        const double w = static_cast<double>(toBefore.count()) /
                         static_cast<double>((after->time - before->time).count());
        m.kind = MatchKind::Interpolated;
        m.lat = before->lat + w * (after->lat - before->lat);
        m.lon = longitudeBetween(before->lon, after->lon, w);
        // Unknown unless both points have one, or the instant is the earlier point's own.
        m.alt = toBefore == Milliseconds{0} ? before->alt
                                            : before->alt + w * (after->alt - before->alt);
        return m;
    }
    const Point& nearest = toBefore <= toAfter ? *before : *after;
    if (*m.distance <= maxGap) {
        m.kind = MatchKind::Nearest;
        m.lat = nearest.lat, m.lon = nearest.lon, m.alt = nearest.alt;
    }
    return m;
}

std::vector<std::vector<Point>> TrackLines(std::span<const Point> points, Milliseconds maxGap,
                                           std::size_t maxPoints) {
    const std::size_t step = std::max<std::size_t>(1, (points.size() + maxPoints - 1) /
                                                          std::max<std::size_t>(1, maxPoints));
    std::vector<std::vector<Point>> lines;
    for (std::size_t start = 0; start < points.size();) {
        std::size_t end = start + 1;
        while (end < points.size() && points[end].time - points[end - 1].time <= maxGap)
            ++end;
        std::vector<Point>& line = lines.emplace_back();
        for (std::size_t i = start; i < end; i += step)
            line.push_back(points[i]);
        if ((end - 1 - start) % step != 0)
            line.push_back(points[end - 1]);
        start = end;
    }
    return lines;
}

void StoreMatch(const Match& match) {
    using namespace ExifDetails;
    NewTag01 = match.lat < 0 ? -1 : 1;
    NewTag02A = std::fabs(match.lat), NewTag02B = 0, NewTag02C = 0;
    NewTag03 = match.lon < 0 ? -1 : 1;
    NewTag04A = std::fabs(match.lon), NewTag04B = 0, NewTag04C = 0;
    if (std::isnan(match.alt)) {
        NewTag05 = Tag05 == -1 ? -1 : 1;
        NewTag06 = Tag06;
    } else {
        NewTag05 = match.alt < 0 ? -1 : 1;
        NewTag06 = match.alt;
    }
    NewTag10 = Tag10 != 0 ? 1 : 0;
    NewTag11 = Tag11;
    NewTag1C = Trim(Tag1C);
    NewGpsStamp = match.time;
}

} // namespace GpsLog

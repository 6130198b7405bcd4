// Reading arbitrary bytes as a GPS log: no crash, no single allocation beyond a bound linear in
// the input, every point read lies on the globe, and reading the bytes in pieces (as files are
// read) gives exactly what reading them whole gives.
//
// The last byte of the input picks the size of the pieces: 1 to 64 bytes.

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include "FuzzSupport.h"
#include "GpsLogParse.h"

using namespace fuzzsupport;

namespace {

struct Result {
    std::vector<GpsLog::Point> points;
    GpsLog::LogSummary summary;
    bool foreign = false;
};

Result read(std::string_view log, std::size_t pieceSize) {
    Result r;
    GpsLog::Collector collector{r.points, r.summary};
    const auto reader = GpsLog::MakeLogReader(collector);
    for (std::size_t at = 0; at < log.size(); at += pieceSize)
        reader->feed(log.substr(at, pieceSize));
    reader->finish();
    r.foreign = collector.foreignXml;
    return r;
}

bool samePoint(const GpsLog::Point& a, const GpsLog::Point& b) {
    auto same = [](double x, double y) { return x == y || (std::isnan(x) && std::isnan(y)); };
    return a.time == b.time && same(a.lat, b.lat) && same(a.lon, b.lon) && same(a.alt, b.alt);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    InstallAllocationLimit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view log(reinterpret_cast<const char*>(data), size);
    const std::size_t pieceSize = 1 + (size > 0 ? data[size - 1] % 64 : 0);

    // The points (32 bytes each, a vector up to twice what it holds) and the XML parser's buffer
    // grow with the input, and every point takes more than 16 bytes of it.
    const AllocationLimit limit(8 * size + (std::size_t{1} << 20));
    const Result whole = read(log, std::max<std::size_t>(size, 1));
    const Result pieces = read(log, pieceSize);
    std::vector<GpsLog::Point> viaApi;
    bool threw = false;
    try {
        GpsLog::ReadLog({data, size}, "fuzz", viaApi);
    } catch (const Exif::EngineError&) {
        threw = true;
    }

    for (const GpsLog::Point& p : whole.points)
        if (!(p.lat >= -90 && p.lat <= 90 && p.lon >= -180 && p.lon <= 180) || std::isinf(p.alt))
            Fail("a point off the globe: %g %g %g", p.lat, p.lon, p.alt);
    if (whole.points.size() != whole.summary.points)
        Fail("%zu points read but %zu counted", whole.points.size(), whole.summary.points);
    if (threw != (whole.foreign || whole.points.empty()) ||
        viaApi.size() != (threw ? 0 : whole.points.size()))
        Fail("ReadLog %s with %zu points where the reader gave %zu", threw ? "threw" : "returned",
             viaApi.size(), whole.points.size());

    if (pieces.points.size() != whole.points.size())
        Fail("in pieces of %zu bytes: %zu points, whole: %zu", pieceSize, pieces.points.size(),
             whole.points.size());
    for (std::size_t i = 0; i < whole.points.size(); ++i)
        if (!samePoint(pieces.points[i], whole.points[i]))
            Fail("in pieces of %zu bytes point %zu differs", pieceSize, i);
    // Broken XML is reported either way, but which error the XML parser names depends on how far
    // it could look ahead: text and a stray byte after the root's end tag are an invalid token
    // when read whole and junk after the document when read a byte at a time.
    if (pieces.summary.skipped != whole.summary.skipped ||
        pieces.summary.format != whole.summary.format || pieces.foreign != whole.foreign ||
        pieces.summary.problem.empty() != whole.summary.problem.empty())
        Fail("in pieces of %zu bytes: skipped %zu format %d problem '%s', whole: skipped %zu "
             "format %d problem '%s'",
             pieceSize, pieces.summary.skipped, static_cast<int>(pieces.summary.format),
             pieces.summary.problem.c_str(), whole.summary.skipped,
             static_cast<int>(whole.summary.format), whole.summary.problem.c_str());
    return 0;
}

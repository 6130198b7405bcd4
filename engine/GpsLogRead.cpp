// Reading logs: the format from the content, the bytes in pieces, and the merge into a track.
#include "GpsLog.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "GpsLogParse.h"

namespace GpsLog {
namespace {

// Decides the format from the first bytes that are not blanks or a byte-order mark, then
// hands every byte from there on to the reader of that format.
class Dispatcher {
  public:
    explicit Dispatcher(Collector& collector) : c_(collector) {}

    void feed(std::string_view piece) {
        if (!reader_) {
            // UTF-16 text: only XML can be that.
            if (atStart_ && piece.size() >= 2 &&
                ((piece[0] == '\xFF' && piece[1] == '\xFE') ||
                 (piece[0] == '\xFE' && piece[1] == '\xFF'))) {
                choose(true);
            } else {
                if (atStart_ && piece.starts_with("\xEF\xBB\xBF"))
                    piece.remove_prefix(3);
                const std::size_t first = piece.find_first_not_of(" \t\r\n");
                if (first == std::string_view::npos) {
                    atStart_ = atStart_ && piece.empty();
                    return;
                }
                piece.remove_prefix(first);
                choose(piece[0] == '<');
            }
        }
        reader_->feed(piece);
    }

    void finish() {
        if (reader_)
            reader_->finish();
    }

  private:
    void choose(bool xml) {
        c_.summary.format = xml ? Format::Gpx : Format::Nmea; // the XML's root tells GPX from KML
        reader_ = xml ? MakeXmlReader(c_) : MakeNmeaReader(c_);
    }

    Collector& c_;
    std::unique_ptr<LogReader> reader_;
    bool atStart_ = true;
};

// Reads through `read`, which calls its argument with each piece of the log in turn. On an
// error `out` is left as it was.
template <typename Read>
LogSummary readWith(const std::string& name, std::vector<Point>& out, Read read) {
    const std::size_t before = out.size();
    LogSummary summary;
    summary.name = name;
    Collector collector{out, summary};
    try {
        Dispatcher dispatcher(collector);
        read([&](std::string_view piece) { dispatcher.feed(piece); });
        dispatcher.finish();
        if (collector.foreignXml)
            throw Exif::EngineError("「" + name +
                                    "」は GPS のログではありません (GPX、KML、NMEA "
                                    "のどれでもありません)");
        if (summary.points == 0)
            throw Exif::EngineError(
                "「" + name + "」に時刻のある位置がありません" +
                (summary.problem.empty() ? std::string() : " (" + summary.problem + ")"));
    } catch (...) {
        out.resize(before);
        throw;
    }
    return summary;
}

} // namespace

LogSummary ReadLog(std::span<const std::uint8_t> bytes, const std::string& name,
                   std::vector<Point>& out) {
    return readWith(name, out, [&](auto&& feed) {
        feed(std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    });
}

LogSummary ReadLogFile(const std::string& path, std::vector<Point>& out) {
    auto fail = [&](int err) {
        throw Exif::EngineError("「" + path + "」を読み込めません (" + std::strerror(err) + ")");
    };
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0)
        fail(errno);
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    // Every format takes more than 32 bytes for a point, so the file's size bounds how many it
    // holds: reserving that spares the copies of a growing vector, and the memory of the
    // points the file does not hold is never touched.
    struct stat st {};
    if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
        out.reserve(out.size() + static_cast<std::size_t>(st.st_size) / sizeof(Point));
    return readWith(path, out, [&](auto&& feed) {
        std::vector<char> buffer(1 << 20);
        while (true) {
            const ssize_t n = ::read(fd, buffer.data(), buffer.size());
            if (n < 0 && errno == EINTR)
                continue;
            if (n < 0)
                fail(errno);
            if (n == 0)
                return;
            feed(std::string_view(buffer.data(), static_cast<std::size_t>(n)));
        }
    });
}

const LogSummary& AddLog(Track& track, const std::string& path) {
    std::vector<Point>& points = track.points;
    const std::size_t before = points.size();
    LogSummary summary = ReadLogFile(path, points);
    try {
        track.logs.push_back(std::move(summary));
    } catch (...) {
        points.resize(before);
        throw;
    }
    auto earlier = [](const Point& a, const Point& b) { return a.time < b.time; };
    const auto middle = points.begin() + static_cast<std::ptrdiff_t>(before);
    // Logs are nearly always in time order already; sorting is for those that are not.
    if (!std::is_sorted(middle, points.end(), earlier))
        std::stable_sort(middle, points.end(), earlier);
    std::inplace_merge(points.begin(), middle, points.end(), earlier);
    return track.logs.back();
}

} // namespace GpsLog

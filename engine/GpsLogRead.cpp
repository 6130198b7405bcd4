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
// hands every byte from there on to the reader of that format. Pieces may be of any size, so
// the start is gathered until it tells.
class Dispatcher final : public LogReader {
  public:
    explicit Dispatcher(Collector& collector) : c_(collector) {}

    void feed(std::string_view piece) override {
        if (reader_) {
            reader_->feed(piece);
            return;
        }
        head_.append(piece);
        decide(false);
    }

    void finish() override {
        if (!reader_)
            decide(true);
        if (reader_)
            reader_->finish();
    }

  private:
    void decide(bool last) {
        static constexpr std::string_view kUtf8Mark = "\xEF\xBB\xBF", kUtf16LE = "\xFF\xFE",
                                          kUtf16BE = "\xFE\xFF";
        if (atStart_) {
            auto partOf = [&](std::string_view mark) {
                return head_.size() < mark.size() && mark.starts_with(head_);
            };
            if (!last && (partOf(kUtf8Mark) || partOf(kUtf16LE) || partOf(kUtf16BE)))
                return;
            atStart_ = false;
            // UTF-16 text: only XML can be that.
            if (head_.starts_with(kUtf16LE) || head_.starts_with(kUtf16BE))
                return choose(true);
            if (head_.starts_with(kUtf8Mark))
                head_.erase(0, kUtf8Mark.size());
        }
        head_.erase(0, std::min(head_.find_first_not_of(" \t\r\n"), head_.size()));
        if (!head_.empty())
            choose(head_[0] == '<');
    }

    void choose(bool xml) {
        c_.summary.format = xml ? Format::Gpx : Format::Nmea; // the XML's root tells GPX from KML
        reader_ = xml ? MakeXmlReader(c_) : MakeNmeaReader(c_);
        reader_->feed(head_);
        head_.clear();
    }

    Collector& c_;
    std::unique_ptr<LogReader> reader_;
    std::string head_;
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
        const std::unique_ptr<LogReader> reader = MakeLogReader(collector);
        read([&](std::string_view piece) { reader->feed(piece); });
        reader->finish();
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

std::unique_ptr<LogReader> MakeLogReader(Collector& collector) {
    return std::make_unique<Dispatcher>(collector);
}

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

// GPX and KML logs, read by a streaming XML parser: memory stays small however long the log.
//
// Elements are matched by their local names, so GPX 1.0 and 1.1 and KML 2.2 read alike
// whatever prefixes a file gives their namespaces (or none, or undeclared ones).
#include "GpsLogParse.h"

#include <cstring>
#include <deque>
#include <string>

#include <expat.h>

namespace GpsLog {
namespace {

// What an element is to the reader; decided from its local name and its parent's kind.
enum class Kind {
    Other,
    GpxPoint, // trkpt, rtept, wpt: lat and lon attributes
    GpxEle,   // ... its ele
    GpxTime,  // ... its time
    Track,    // KML gx:Track: when and gx:coord lists paired in order
    TrackWhen,
    TrackCoord, // "lon lat alt"
    Placemark,  // KML Placemark with TimeStamp/when and Point/coordinates
    TimeStamp,
    StampWhen,
    KmlPoint,
    Coordinates, // "lon,lat[,alt]"
};

std::string_view localName(const XML_Char* name) {
    const char* colon = std::strrchr(name, ':');
    return colon ? colon + 1 : name;
}

// Longer text in one of the elements read is no value of a log.
constexpr std::size_t kMaxText = 1024;

// A coordinate tuple: longitude, latitude and an optional altitude, separated by `separator`
// (blanks around each part allowed). None when it is anything else.
std::optional<Point> parseTuple(std::string_view text, char separator) {
    text = TrimBlanks(text);
    double v[3] = {0, 0, kNoAltitude};
    int n = 0;
    while (true) {
        std::size_t end = separator == ' ' ? text.find_first_of(" \t\r\n") : text.find(separator);
        const std::string_view part = text.substr(0, end);
        const auto number = ParseNumber(part);
        if (n == 3 || !number)
            return std::nullopt;
        v[n++] = *number;
        if (end == std::string_view::npos)
            break;
        text = TrimBlanks(text.substr(end + 1));
    }
    if (n < 2)
        return std::nullopt;
    Point p;
    p.lon = v[0], p.lat = v[1], p.alt = v[2];
    return p;
}

class XmlReader final : public LogReader {
  public:
    explicit XmlReader(Collector& collector) : c_(collector), parser_(XML_ParserCreate(nullptr)) {
        if (!parser_)
            throw std::bad_alloc();
        XML_SetUserData(parser_, this);
        XML_SetElementHandler(parser_, &XmlReader::onStart, &XmlReader::onEnd);
        XML_SetCharacterDataHandler(parser_, &XmlReader::onText);
    }
    ~XmlReader() override { XML_ParserFree(parser_); }
    XmlReader(const XmlReader&) = delete;
    XmlReader& operator=(const XmlReader&) = delete;

    void feed(std::string_view piece) override { parse(piece, false); }
    void finish() override { parse({}, true); }

  private:
    void parse(std::string_view piece, bool last) {
        // Expat takes an int length; pieces are far smaller, but a caller's buffer need not be.
        constexpr std::size_t kStep = 1 << 30;
        do {
            if (stopped_)
                return;
            const std::size_t n = std::min(piece.size(), kStep);
            const bool final = last && n == piece.size();
            if (XML_Parse(parser_, piece.data(), static_cast<int>(n), final) == XML_STATUS_ERROR)
                fail();
            piece.remove_prefix(n);
        } while (!piece.empty());
    }

    // The XML is broken here: what was read before stays, what was open is cut off.
    void fail() {
        stopped_ = true;
        if (c_.foreignXml)
            return;
        c_.summary.problem = "XML が " + std::to_string(XML_GetCurrentLineNumber(parser_)) +
                             " 行目で壊れています (" + XML_ErrorString(XML_GetErrorCode(parser_)) +
                             ")";
        for (Kind k : stack_)
            if (k == Kind::GpxPoint || (k == Kind::Placemark && pending_.timeMet))
                c_.skip();
            else if (k == Kind::Track)
                endTrack();
    }

    Kind classify(std::string_view name, Kind parent) const {
        switch (parent) {
        case Kind::GpxPoint:
            return name == "ele" ? Kind::GpxEle : name == "time" ? Kind::GpxTime : Kind::Other;
        case Kind::Track:
            return name == "when"    ? Kind::TrackWhen
                   : name == "coord" ? Kind::TrackCoord
                                     : Kind::Other;
        case Kind::Placemark:
            if (name == "TimeStamp")
                return Kind::TimeStamp;
            if (name == "Point")
                return Kind::KmlPoint;
            break; // a gx:Track may be a Placemark's geometry
        case Kind::TimeStamp:
            return name == "when" ? Kind::StampWhen : Kind::Other;
        case Kind::KmlPoint:
            return name == "coordinates" ? Kind::Coordinates : Kind::Other;
        default:
            break;
        }
        // Points and tracks do not nest: inside one, these names belong to something else.
        if (gpx_ && !inPoint_ && (name == "trkpt" || name == "rtept" || name == "wpt"))
            return Kind::GpxPoint;
        if (!gpx_ && !inTrack_ && name == "Track")
            return Kind::Track;
        if (!gpx_ && !inPoint_ && name == "Placemark")
            return Kind::Placemark;
        return Kind::Other;
    }

    void start(std::string_view name, const XML_Char** attributes) {
        if (root_) {
            root_ = false;
            gpx_ = name == "gpx";
            if (!gpx_ && name != "kml") {
                c_.foreignXml = true;
                XML_StopParser(parser_, XML_FALSE);
                // The parser still ends the element when it is empty ("<html/>").
                stack_.push_back(Kind::Other);
                return;
            }
            c_.summary.format = gpx_ ? Format::Gpx : Format::Kml;
        }
        const Kind kind = classify(name, stack_.empty() ? Kind::Other : stack_.back());
        stack_.push_back(kind);
        switch (kind) {
        case Kind::GpxPoint:
            pending_ = {};
            lat_.reset(), lon_.reset();
            for (const XML_Char** a = attributes; a[0]; a += 2) {
                const std::string_view attribute = localName(a[0]);
                if (attribute == "lat")
                    lat_ = ParseNumber(a[1]);
                else if (attribute == "lon")
                    lon_ = ParseNumber(a[1]);
            }
            inPoint_ = true;
            break;
        case Kind::Placemark:
            pending_ = {};
            inPoint_ = true;
            break;
        case Kind::Track:
            inTrack_ = true;
            break;
        case Kind::GpxEle:
        case Kind::GpxTime:
        case Kind::StampWhen:
        case Kind::TrackWhen:
        case Kind::TrackCoord:
        case Kind::Coordinates:
            text_.clear();
            capturing_ = true;
            overflow_ = false;
            break;
        default:
            break;
        }
    }

    void end() {
        const Kind kind = stack_.back();
        stack_.pop_back();
        capturing_ = false;
        // The text of the element just ended, none when it was too long to be a value.
        const std::optional<std::string_view> text =
            overflow_ ? std::nullopt : std::optional<std::string_view>(text_);
        auto time = [&] { return text ? ParseDateTime(*text) : std::nullopt; };
        switch (kind) {
        case Kind::GpxEle:
            pending_.eleMet = true;
            if (!text)
                pending_.ele.reset();
            else if (TrimBlanks(*text).empty())
                pending_.ele = kNoAltitude; // an empty ele says nothing
            else
                pending_.ele = ParseNumber(*text);
            break;
        case Kind::GpxTime:
        case Kind::StampWhen:
            pending_.timeMet = true;
            pending_.time = time();
            break;
        case Kind::Coordinates:
            pending_.coordinatesMet = true;
            pending_.coordinates = text ? parseTuple(*text, ',') : std::nullopt;
            break;
        case Kind::TrackWhen:
            trackTimes_.push_back(time());
            pairTrack();
            break;
        case Kind::TrackCoord:
            trackCoords_.push_back(text ? parseTuple(*text, ' ') : std::nullopt);
            pairTrack();
            break;
        case Kind::GpxPoint:
            endGpxPoint();
            inPoint_ = false;
            break;
        case Kind::Placemark:
            endPlacemark();
            inPoint_ = false;
            break;
        case Kind::Track:
            endTrack();
            inTrack_ = false;
            break;
        default:
            break;
        }
    }

    void endGpxPoint() {
        if (!pending_.timeMet)
            return; // a place without a time: not part of a track
        const Pending& p = pending_;
        if (!p.time || !lat_ || !lon_ || (p.eleMet && !p.ele))
            c_.skip();
        else
            c_.add(*p.time, *lat_, *lon_, p.eleMet ? *p.ele : kNoAltitude);
    }

    void endPlacemark() {
        const Pending& p = pending_;
        if (!p.timeMet || !p.coordinatesMet)
            return; // no timed point: a line, an area or a place without a time
        if (!p.time || !p.coordinates)
            c_.skip();
        else
            c_.add(*p.time, p.coordinates->lat, p.coordinates->lon, p.coordinates->alt);
    }

    // The n-th when goes with the n-th coord. Tracks list all their whens first, or take turns:
    // only what runs ahead of the other list is kept, and each pair becomes a point as soon as
    // it is whole.
    void pairTrack() {
        for (; !trackTimes_.empty() && !trackCoords_.empty();
             trackTimes_.pop_front(), trackCoords_.pop_front()) {
            const auto& t = trackTimes_.front();
            const auto& p = trackCoords_.front();
            if (!t || !p)
                c_.skip();
            else
                c_.add(*t, p->lat, p->lon, p->alt);
        }
    }

    void endTrack() {
        // Whens without their coords, or the reverse.
        c_.summary.skipped += trackTimes_.size() + trackCoords_.size();
        trackTimes_.clear(), trackCoords_.clear();
    }

    static void XMLCALL onStart(void* self, const XML_Char* name, const XML_Char** attributes) {
        static_cast<XmlReader*>(self)->start(localName(name), attributes);
    }
    static void XMLCALL onEnd(void* self, const XML_Char*) { static_cast<XmlReader*>(self)->end(); }
    static void XMLCALL onText(void* self, const XML_Char* text, int length) {
        auto* r = static_cast<XmlReader*>(self);
        if (!r->capturing_)
            return;
        if (r->text_.size() + static_cast<std::size_t>(length) > kMaxText)
            r->overflow_ = true;
        else
            r->text_.append(text, static_cast<std::size_t>(length));
    }

    Collector& c_;
    XML_Parser parser_;
    bool root_ = true, gpx_ = false, stopped_ = false;
    std::vector<Kind> stack_;
    bool inPoint_ = false, inTrack_ = false;

    // The parts of the point being read that were met; a part met but unreadable is none.
    struct Pending {
        bool timeMet = false, eleMet = false, coordinatesMet = false;
        std::optional<Time> time;
        std::optional<double> ele;
        std::optional<Point> coordinates;
    } pending_;
    std::optional<double> lat_, lon_;

    // The text of the element being read, when it is one whose text is a value.
    std::string text_;
    bool capturing_ = false, overflow_ = false;

    std::deque<std::optional<Time>> trackTimes_;
    std::deque<std::optional<Point>> trackCoords_;
};

} // namespace

std::unique_ptr<LogReader> MakeXmlReader(Collector& collector) {
    return std::make_unique<XmlReader>(collector);
}

} // namespace GpsLog

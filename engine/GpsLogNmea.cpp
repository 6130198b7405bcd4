// NMEA 0183 logs: RMC sentences give the date, time and position of each fix; the GGA
// sentence of the same fix gives its altitude. Any talker (GP, GN, GL, GA, BD …) is read.
#include "GpsLogParse.h"

#include <algorithm>
#include <cmath>
#include <string>

namespace GpsLog {
namespace {

// An NMEA sentence has at most 82 characters; a longer line is no sentence.
constexpr std::size_t kMaxLine = 1024;

int hexDigit(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return -1;
}

// The fields of a sentence ("$" up to "*hh"), or none when its checksum is missing or wrong:
// a line cut short or garbled must not give a position.
std::optional<std::vector<std::string_view>> checkedFields(std::string_view sentence) {
    const std::size_t star = sentence.rfind('*');
    if (star == std::string_view::npos || star + 3 != sentence.size())
        return std::nullopt;
    const int high = hexDigit(sentence[star + 1]), low = hexDigit(sentence[star + 2]);
    unsigned sum = 0;
    for (std::size_t i = 1; i < star; ++i)
        sum ^= static_cast<unsigned char>(sentence[i]);
    if (high < 0 || low < 0 || sum != static_cast<unsigned>(high * 16 + low))
        return std::nullopt;
    std::vector<std::string_view> fields;
    std::string_view body = sentence.substr(1, star - 1);
    while (true) {
        const std::size_t comma = body.find(',');
        fields.push_back(body.substr(0, comma));
        if (comma == std::string_view::npos)
            break;
        body.remove_prefix(comma + 1);
    }
    return fields;
}

bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Digits with at most one decimal point among them, nothing else.
bool plainDecimal(std::string_view text) {
    return std::all_of(text.begin(), text.end(), [](char c) { return isDigit(c) || c == '.'; }) &&
           std::count(text.begin(), text.end(), '.') <= 1;
}

int twoDigits(std::string_view text, std::size_t pos) {
    return (text[pos] - '0') * 10 + (text[pos + 1] - '0');
}

// "hhmmss" with optional fractions, as milliseconds since midnight (below a millisecond is
// dropped).
std::optional<int> timeOfDay(std::string_view text) {
    if (text.size() < 6 || !plainDecimal(text) || (text.size() > 6 && text[6] != '.') ||
        text.size() == 7)
        return std::nullopt;
    const int hour = twoDigits(text, 0), minute = twoDigits(text, 2), second = twoDigits(text, 4);
    if (hour > 23 || minute > 59 || second > 59)
        return std::nullopt;
    int millisecond = 0;
    for (std::size_t i = 7; i < 10; ++i)
        millisecond = millisecond * 10 + (i < text.size() ? text[i] - '0' : 0);
    return ((hour * 60 + minute) * 60 + second) * 1000 + millisecond;
}

// "ddmm.mmmm" or "dddmm.mmmm" and its hemisphere as signed degrees.
std::optional<double> angle(std::string_view text, std::string_view hemisphere, char positive,
                            char negative) {
    const std::size_t dot = std::min(text.find('.'), text.size());
    if (dot < 3 || !plainDecimal(text) || hemisphere.size() != 1 ||
        (hemisphere[0] != positive && hemisphere[0] != negative))
        return std::nullopt;
    const auto degrees = ParseNumber(text.substr(0, dot - 2));
    const auto minutes = ParseNumber(text.substr(dot - 2));
    if (!degrees || !minutes || *minutes >= 60)
        return std::nullopt;
    const double v = *degrees + *minutes / 60;
    return hemisphere[0] == negative ? -v : v;
}

class NmeaReader final : public LogReader {
  public:
    explicit NmeaReader(Collector& collector) : c_(collector) {}

    void feed(std::string_view piece) override {
        while (!piece.empty()) {
            const std::size_t newline = piece.find('\n');
            const std::string_view part = piece.substr(0, newline);
            if (line_.size() + part.size() > kMaxLine)
                overlong_ = true;
            else
                line_.append(part);
            if (newline == std::string_view::npos)
                return;
            endLine();
            piece.remove_prefix(newline + 1);
        }
    }

    void finish() override { endLine(); }

  private:
    void endLine() {
        const std::string_view line = TrimBlanks(line_);
        if (overlong_)
            c_.skip();
        else if (!line.empty())
            sentence(line);
        line_.clear();
        overlong_ = false;
    }

    void sentence(std::string_view line) {
        // Some loggers put their own time stamp in front of each sentence.
        const std::size_t dollar = line.find('$');
        const auto fields =
            dollar == std::string_view::npos ? std::nullopt : checkedFields(line.substr(dollar));
        if (!fields) {
            c_.skip();
            return;
        }
        const std::string_view address = (*fields)[0];
        // Proprietary sentences ("$P…") and other kinds carry nothing read here.
        if (address.size() != 5 || address[0] == 'P')
            return;
        if (address.substr(2) == "RMC")
            rmc(*fields);
        else if (address.substr(2) == "GGA")
            gga(*fields);
    }

    // $--RMC,time,status,lat,N/S,lon,E/W,speed,course,date,variation,E/W[,mode[,status]]
    void rmc(const std::vector<std::string_view>& f) {
        if (f.size() < 10) {
            c_.skip();
            return;
        }
        // No fix ("V", or mode "N": data not valid) is no position, and no fault of the log.
        if (f[2] != "A" || (f.size() > 12 && f[12] == "N"))
            return;
        const auto tod = timeOfDay(f[1]);
        const auto lat = angle(f[3], f[4], 'N', 'S');
        const auto lon = angle(f[5], f[6], 'E', 'W');
        int day = 0, month = 0, year = 0;
        const std::string_view d = f[9];
        const bool dateRead = d.size() == 6 && std::all_of(d.begin(), d.end(), isDigit);
        if (dateRead) {
            day = twoDigits(d, 0), month = twoDigits(d, 2), year = twoDigits(d, 4);
            year += year < 80 ? 2000 : 1900; // two digits since the first GPS week (1980)
        }
        const auto midnight = dateRead ? CivilTime(year, month, day, 0, 0, 0, 0) : std::nullopt;
        if (!tod || !lat || !lon || !midnight) {
            c_.skip();
            return;
        }
        double alt = kNoAltitude;
        if (gga_ && gga_->tod == *tod)
            alt = gga_->alt;
        gga_.reset();
        const std::size_t before = c_.out.size();
        c_.add(*midnight + Milliseconds{*tod}, *lat, *lon, alt);
        if (c_.out.size() > before)
            lastFix_ = {before, *tod};
        else
            lastFix_.reset();
    }

    // $--GGA,time,lat,N/S,lon,E/W,quality,satellites,hdop,altitude,M,separation,M,…
    void gga(const std::vector<std::string_view>& f) {
        if (f.size() < 11) {
            c_.skip();
            return;
        }
        if (f[6].empty() || f[6] == "0")
            return; // no fix
        const auto tod = timeOfDay(f[1]);
        const auto alt = f[10] == "M" ? ParseNumber(f[9]) : std::nullopt;
        if (!tod || !alt) {
            c_.skip();
            return;
        }
        // The RMC of the same fix came first, or comes next.
        if (lastFix_ && lastFix_->tod == *tod && std::isnan(c_.out[lastFix_->index].alt)) {
            c_.out[lastFix_->index].alt = *alt;
            gga_.reset();
        } else {
            gga_ = {*tod, *alt};
        }
    }

    Collector& c_;
    std::string line_;
    bool overlong_ = false;

    struct Fix {
        std::size_t index; // in c_.out
        int tod;
    };
    std::optional<Fix> lastFix_;
    struct Altitude {
        int tod;
        double alt;
    };
    std::optional<Altitude> gga_;
};

} // namespace

std::unique_ptr<LogReader> MakeNmeaReader(Collector& collector) {
    return std::make_unique<NmeaReader>(collector);
}

} // namespace GpsLog

// geodot-cli set: the window's update and save commands, for one file or a batch.
#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <iostream>
#include <map>
#include <new>
#include <optional>
#include <set>

#include "Cli.h"
#include "Exif.h"
#include "ExifDetails.h"
#include "NumberText.h"
#include "PositionText.h"
#include "TextCodec.h"

namespace cli {

double parseNumber(const std::string& option, const std::string& text) {
    try {
        return NumberText::ParseFloat(TextCodec::FromUtf8(text));
    } catch (const Exif::EngineError& e) {
        throw UsageError(option + ": " + e.what());
    }
}

namespace {

double inRange(const std::string& option, double v, double limit) {
    if (std::fabs(v) > limit)
        throw UsageError(option + " must lie between -" + std::to_string(int(limit)) + " and " +
                         std::to_string(int(limit)));
    return v;
}

// A position in any form people paste; a text that gives none is a usage error with the reason.
PositionText::Result position(const std::string& option, const std::string& text) {
    PositionText::Result p = PositionText::ParseUtf8(text);
    if (!p.ok())
        throw UsageError(option + ": " + p.reason);
    return p;
}

std::string oneOf(const std::string& option, const std::string& v,
                  std::initializer_list<const char*> allowed) {
    for (const char* a : allowed)
        if (v == a)
            return v;
    throw UsageError(option + ": unknown code \"" + v + "\"");
}

} // namespace

Request parseRequest(const std::vector<std::string>& args, const MoreOptions& more) {
    static const char* kTextOptions[] = {
        "--title",   "--artist", "--copyright-photographer", "--copyright-editor",
        "--comment", "--owner"};
    Request r;
    std::optional<PositionText::Result> givenPosition;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string option = args[i];
        std::optional<std::string> inlineValue;
        if (option.rfind("--", 0) == 0 && option.find('=') != std::string::npos) {
            inlineValue = option.substr(option.find('=') + 1);
            option = option.substr(0, option.find('='));
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw UsageError(option + " needs a value");
            return args[++i];
        };
        auto flag = [&](std::optional<bool>& target, bool v) {
            if (inlineValue)
                throw UsageError(option + " takes no value");
            target = v;
        };
        if (more && more(option, value))
            continue;
        if (option == "--lat")
            r.lat = inRange(option, parseNumber(option, value()), 90);
        else if (option == "--lon")
            r.lon = inRange(option, parseNumber(option, value()), 180);
        else if (option == "--position")
            givenPosition = position(option, value());
        else if (option == "--alt")
            r.alt = parseNumber(option, value());
        else if (option == "--direction")
            r.direction = parseNumber(option, value());
        else if (option == "--no-direction")
            r.noDirection = true;
        else if (option == "--area")
            r.area = TextCodec::FromUtf8(value());
        else if (option == "--remove-gps")
            r.removeGps = true;
        else if (option == "--transcode-to")
            r.transcodeTo = oneOf(option, value(), {"JIS", "UNICODE", "UTF8", "SJIS"});
        else if (option == "--transcode-from")
            r.transcodeFrom = oneOf(option, value(), {"JIS", "UTF8", "SJIS", "EUC", "UNICODE"});
        else if (option == "--ambiguous")
            flag(r.ambiguous, true);
        else if (option == "--essential" || option == "--no-essential")
            flag(r.essential, option == "--essential");
        else if (option == "--after-eoi" || option == "--no-after-eoi")
            flag(r.afterEoi, option == "--after-eoi");
        else if (option == "--keep-time")
            flag(r.keepTime, true);
        else if (option == "-o" || option == "--output")
            r.output = value();
        else if (std::find(std::begin(kTextOptions), std::end(kTextOptions), option) !=
                 std::end(kTextOptions))
            r.texts[option] = TextCodec::FromUtf8(value());
        else if (option.rfind("-", 0) == 0 && option != "-")
            throw UsageError("unknown option " + option);
        else
            r.files.push_back(args[i]);
    }
    if (r.files.empty())
        throw UsageError("no file given");
    if (givenPosition && (r.lat || r.lon))
        throw UsageError("--position cannot be combined with --lat or --lon");
    if (givenPosition)
        r.lat = givenPosition->latitude, r.lon = givenPosition->longitude;
    if (r.lat.has_value() != r.lon.has_value())
        throw UsageError("--lat and --lon go together");
    if (r.removeGps && r.changesPosition())
        throw UsageError("--remove-gps cannot be combined with other GPS options");
    if (r.direction && r.noDirection)
        throw UsageError("--direction and --no-direction exclude each other");
    if (r.output && r.files.size() != 1)
        throw UsageError("-o needs exactly one file");
    return r;
}

void useEngineOptions(const Request& r, bool& keepTime) {
    loadEngineOptions(keepTime);
    if (r.transcodeTo)
        Exif::TranscodeTo = *r.transcodeTo;
    if (r.transcodeFrom)
        Exif::TranscodeFm = *r.transcodeFrom;
    Exif::Ambiguous = r.ambiguous.value_or(Exif::Ambiguous);
    Exif::Essential = r.essential.value_or(Exif::Essential);
    Exif::AfterEOI = r.afterEoi.value_or(Exif::AfterEOI);
    keepTime = r.keepTime.value_or(keepTime);
}

namespace {

bool hasPosition() {
    for (const Exif::IFDRec& e : Exif::IFDG)
        if (e.IDX == 0x02 && Exif::Num32(e.Count) > 0)
            return true;
    return false;
}

// The GPS fields of the open file into the new registers, as the window loads them.
void loadGpsFields() {
    using namespace ExifDetails;
    NewTag01 = Tag01 == -1 ? -1 : 1;
    NewTag02A = Tag02A, NewTag02B = Tag02B, NewTag02C = Tag02C;
    NewTag03 = Tag03 == -1 ? -1 : 1;
    NewTag04A = Tag04A, NewTag04B = Tag04B, NewTag04C = Tag04C;
    NewTag05 = Tag05 == -1 ? -1 : 1;
    NewTag06 = Tag06;
    NewTag1C = Trim(Tag1C);
    NewTag10 = Tag10 != 0 ? 1 : 0;
    NewTag11 = Tag11;
}

} // namespace

void applyDirectionAndArea(const Request& r) {
    using namespace ExifDetails;
    if (r.direction)
        NewTag10 = 1, NewTag11 = *r.direction;
    if (r.noDirection)
        NewTag10 = 0;
    if (r.area)
        NewTag1C = Trim(*r.area);
}

namespace {

// The GPS fields as the window loads them from the file, changed by the options, into the new
// registers; then the update button's work.
void applyGps(const Request& r) {
    using namespace ExifDetails;
    if (r.removeGps) {
        NewTag05 = 9;
        Exif::UpdateGPS();
        return;
    }
    if (!r.lat && !hasPosition())
        throw Exif::EngineError("GPS の位置がありません。--lat と --lon で位置を指定してください");
    loadGpsFields();
    if (r.lat) {
        NewTag01 = *r.lat < 0 ? -1 : 1;
        NewTag02A = std::fabs(*r.lat), NewTag02B = 0, NewTag02C = 0;
        NewTag03 = *r.lon < 0 ? -1 : 1;
        NewTag04A = std::fabs(*r.lon), NewTag04B = 0, NewTag04C = 0;
    }
    if (r.alt) {
        NewTag05 = *r.alt < 0 ? -1 : 1;
        NewTag06 = *r.alt;
    }
    applyDirectionAndArea(r);
    Exif::UpdateGPS();
}

} // namespace

void applyTexts(const Request& r) {
    ExifDetails::TextFields f = ExifDetails::TextFieldsFromRegisters();
    const std::pair<const char*, std::u16string*> fields[] = {
        {"--title", &f.title},
        {"--artist", &f.artist},
        {"--copyright-photographer", &f.copyrightPhotographer},
        {"--copyright-editor", &f.copyrightEditor},
        {"--comment", &f.comment},
        {"--owner", &f.owner},
    };
    for (const auto& [option, field] : fields)
        if (auto it = r.texts.find(option); it != r.texts.end())
            *field = it->second;
    ExifDetails::StoreTextFields(f);
    Exif::UpdateExif();
}

namespace {

// One file of the batch: the reason it failed, or its output waiting to be saved, and the line
// the edit printed for it.
struct Prepared {
    std::string file, error, note;
    std::optional<Exif::SaveRequest> save;
};

// Opens and edits one file and builds its output.
Prepared prepareFile(const Request& r, const std::string& file, bool keepTime,
                     const EditFile& edit) {
    Prepared prepared{file, {}, {}, {}};
    if (!openFile(file, prepared.error, /*forSaving*/ true))
        return prepared;
    try {
        const double fileDate = Exif::FileTimeOf(file);
        struct stat source {};
        stat(file.c_str(), &source);
        const Edited edited = edit(file);
        prepared.note = edited.note;
        if (!edited.save)
            return prepared;
        Exif::WriteJpeg();
        Exif::SaveOptions options;
        // Over the opened file only while it still holds what was read.
        options.mustExist = !r.output;
        options.fingerprintWritten = false; // the command never saves over its output again
        if (!r.output)
            options.unchangedSince = Exif::FmStream.sourceFingerprint();
        if (keepTime) {
            const double stamp = Exif::TimestampFor(fileDate);
            // No date in the picture: the file keeps its own time, to the nanosecond.
            options.modified = stamp != fileDate ? Exif::FileTimeFromLocal(stamp) : source.st_mtim;
            if (!options.modified)
                throw Exif::EngineError("「" + file + "」の日時を設定できません (" +
                                        std::strerror(EOVERFLOW) + ")");
        }
        // The output no longer needs the engine: it waits for the group commit.
        prepared.save =
            Exif::SaveRequest{r.output.value_or(file), std::move(Exif::ToStream), options};
    } catch (const Exif::EngineError& e) {
        prepared.error = e.what();
    } catch (const std::bad_alloc&) {
        prepared.error = "メモリが足りません";
    }
    return prepared;
}

} // namespace

int editFiles(const Request& r, bool keepTime, const EditFile& edit) {
    // The files are saved in groups with one flush to disk for each group, not one per file.
    int status = 0;
    std::vector<Prepared> group;
    auto commit = [&] {
        std::vector<Exif::SaveRequest> requests;
        for (Prepared& p : group)
            if (p.save)
                requests.push_back(std::move(*p.save));
        const std::vector<Exif::SaveResult> results = Exif::SaveFiles(requests);
        std::size_t next = 0;
        for (const Prepared& p : group) {
            const std::string& error = p.save ? results[next++].error : p.error;
            if (!error.empty()) {
                std::cerr << "geodot-cli: " << p.file << ": " << error << "\n";
                status = 1;
            } else if (!p.note.empty()) {
                std::cout << p.file << ": " << p.note << "\n";
            }
        }
        group.clear();
    };
    // A file named twice (or through a link) is read again after its first save, as if the
    // files were saved one by one: its group is committed first.
    std::set<std::pair<dev_t, ino_t>> inGroup;
    for (const std::string& file : r.files) {
        struct stat st {};
        const bool known = stat(file.c_str(), &st) == 0;
        if (known && !inGroup.insert({st.st_dev, st.st_ino}).second) {
            commit();
            inGroup = {{st.st_dev, st.st_ino}};
        }
        group.push_back(prepareFile(r, file, keepTime, edit));
        if (group.size() == Exif::kFilesPerGroupCommit) {
            commit();
            inGroup.clear();
        }
    }
    commit();
    return status;
}

int set(const std::vector<std::string>& args) {
    Request r;
    try {
        r = parseRequest(args);
    } catch (const UsageError& e) {
        std::cerr << "geodot-cli set: " << e.what() << "\n";
        return 2;
    }
    bool keepTime = false;
    useEngineOptions(r, keepTime);
    return editFiles(r, keepTime, [&r](const std::string&) {
        if (r.removeGps || r.changesPosition())
            applyGps(r);
        applyTexts(r);
        return Edited{};
    });
}

} // namespace cli

#pragma once

#include <functional>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

// Shared by the commands of geodot-cli.
namespace cli {

// Reads the engine options from the user's settings file, when there is one.
void loadEngineOptions(bool& keepTime);
// Opens a file as the window does: engine and registers reset, the file loaded and analysed;
// `forSaving` also takes the fingerprint of the whole file that saving it checks against.
// False when the file cannot be read or is not a JPEG; `error` then says why.
bool openFile(const std::string& path, std::string& error, bool forSaving);

// The options of the commands that edit files.
struct Request {
    std::optional<double> lat, lon, alt, direction;
    bool noDirection = false, removeGps = false;
    std::optional<std::u16string> area;
    std::map<std::string, std::u16string> texts; // option name → text
    std::optional<std::string> transcodeTo, transcodeFrom, output;
    std::optional<bool> ambiguous, essential, afterEoi, keepTime;
    std::vector<std::string> files;

    bool changesPosition() const { return lat || alt || direction || noDirection || area; }
};

class UsageError : public std::runtime_error {
    using std::runtime_error::runtime_error;
};

// Offered each option before the common ones, with a way to take its value; true when taken.
using MoreOptions =
    std::function<bool(const std::string& option, const std::function<std::string()>& value)>;
// A decimal number given to an option; a UsageError naming the option when it is not one.
double parseNumber(const std::string& option, const std::string& text);
// The common options and the files; a UsageError for anything wrong.
Request parseRequest(const std::vector<std::string>& args, const MoreOptions& more = {});
// The engine options of the settings file, overridden by those of the request.
void useEngineOptions(const Request& r, bool& keepTime);

// The direction and place name of the request into the new registers.
void applyDirectionAndArea(const Request& r);
// The text fields of the open file, changed by the request, into the file's registers.
void applyTexts(const Request& r);

// What an edit did to the open file: whether to save it, and a line to print for it once done.
struct Edited {
    bool save = true;
    std::string note;
};
// Edits the open file; an Exif::EngineError fails the file, which is then left untouched.
using EditFile = std::function<Edited(const std::string& file)>;
// Opens, edits and saves each file of the request; 0 when all went well, else 1. Failures
// are reported on standard error, notes on standard output, in the order of the files.
int editFiles(const Request& r, bool keepTime, const EditFile& edit);

int info(const std::vector<std::string>& files);
int set(const std::vector<std::string>& args);
int geotag(const std::vector<std::string>& args);

} // namespace cli

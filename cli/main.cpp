// geodot-cli: the engine's command-line face, for scripts, batches and comparisons.
#include <iostream>
#include <string>
#include <vector>

#include "Cli.h"
#include "Exif.h"
#include "TextCodec.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  geodot-cli info FILE...          print the information listing of each file\n"
    "  geodot-cli set [OPTIONS] FILE... change GPS and text tags and save each file\n"
    "  geodot-cli geotag --track LOG [--track LOG...] [OPTIONS] FILE...\n"
    "                                   place each photo from GPS logs by its time and save it\n"
    "  geodot-cli --help | --version\n"
    "\n"
    "GPS options (a position, altitude, direction or place name not given keeps the file's):\n"
    "  --lat DEG --lon DEG     signed decimal degrees, negative is south / west (both or neither)\n"
    "  --position TEXT         a position as copied from a map or a text (not with --lat):\n"
    "                          \"35.681236, 139.767125\", 35°40'52.4\"N 139°46'1.7\"E,\n"
    "                          N 35 40.874 E 139 46.027, 北緯35度40分52秒 東経139度46分1秒,\n"
    "                          geo:35.681236,139.767125, a map address (?mlat=&mlon=, #map=,\n"
    "                          /@lat,lon, ?q=lat,lon)\n"
    "  --alt M                 altitude in metres, negative is below sea level\n"
    "  --direction DEG         direction the picture was taken, from true north\n"
    "  --no-direction          remove the direction\n"
    "  --area TEXT             name of the place\n"
    "  --remove-gps            remove the GPS position\n"
    "Geotag options (with the text options, --direction, --no-direction and --area):\n"
    "  --track LOG             a GPX, KML or NMEA log (repeat for several)\n"
    "  --tz ZONE               zone of the camera clock when the photo has no offset tag:\n"
    "                          +09:00 or a name such as Asia/Tokyo (default: the computer's)\n"
    "  --offset SECONDS        camera clock error (camera time minus true time)\n"
    "  --max-gap SECONDS       farthest log point used (default 1800)\n"
    "  --dry-run               print what would be done, write nothing\n"
    "Text options (an empty text removes the tag):\n"
    "  --title, --artist, --copyright-photographer, --copyright-editor, --comment, --owner TEXT\n"
    "Engine options (default: the window's settings file):\n"
    "  --transcode-to JIS|UNICODE|UTF8|SJIS    code for multibyte text that is written\n"
    "  --transcode-from JIS|UTF8|SJIS|EUC|UNICODE  code assumed for text without a code\n"
    "  --ambiguous             allow multibyte text in ASCII tags\n"
    "  --essential, --no-essential  add the mandatory tags to a new EXIF block\n"
    "  --after-eoi, --no-after-eoi  keep what follows the end-of-image marker\n"
    "  --keep-time             give the saved file the picture's date as its time stamp\n"
    "  -o OUT                  save to OUT instead of over the file (one FILE only)\n"
    "\n"
    "Exit status: 0 when every file succeeded (geotag: or was left alone for lack of a log\n"
    "point near its time), 1 when any failed, 2 on a usage error.\n";

} // namespace

namespace cli {

int info(const std::vector<std::string>& files) {
    bool keepTime = false;
    loadEngineOptions(keepTime);
    int status = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files.size() > 1)
            std::cout << (i > 0 ? "\n" : "") << "==> " << files[i] << " <==\n";
        std::string error;
        if (!openFile(files[i], error, /*forSaving*/ false)) {
            std::cerr << "geodot-cli: " << files[i] << ": " << error << "\n";
            status = 1;
        }
        std::cout << TextCodec::ToUtf8(Exif::ListingText(Exif::ExifStrings)) << "\n";
    }
    return status;
}

} // namespace cli

int main(int argc, char** argv) {
    Exif::ProgramName = TextCodec::FromUtf8(GEODOT_NAME);
    Exif::ProgramVersion = TextCodec::FromUtf8(GEODOT_VERSION_TEXT);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (!args.empty() && (args[0] == "--help" || args[0] == "-h")) {
        std::cout << kUsage;
        return 0;
    }
    if (!args.empty() && args[0] == "--version") {
        std::cout << "geodot-cli (" GEODOT_NAME ") v" GEODOT_VERSION_TEXT "\n";
        return 0;
    }
    int status = 2;
    if (args.size() > 1 && args[0] == "info")
        status = cli::info({args.begin() + 1, args.end()});
    else if (!args.empty() && args[0] == "set")
        status = cli::set({args.begin() + 1, args.end()});
    else if (!args.empty() && args[0] == "geotag")
        status = cli::geotag({args.begin() + 1, args.end()});
    if (status == 2)
        std::cerr << kUsage;
    return status;
}

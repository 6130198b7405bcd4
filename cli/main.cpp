// geodot-cli: the engine's command-line face, for scripts, batches and comparisons.
#include <cstring>
#include <iostream>
#include <string>
#include <vector>

#include "Exif.h"
#include "ExifDetails.h"
#include "TextCodec.h"

namespace {

constexpr const char* kUsage =
    "Usage:\n"
    "  geodot-cli info FILE...   print the information listing of each file\n"
    "  geodot-cli --help         show this help\n"
    "  geodot-cli --version      show the version\n"
    "\n"
    "Exit status: 0 when every file was analysed, 1 when any failed, 2 on a usage error.\n";

// Opens a file as the window does and leaves its listing in ExifStrings; false when the file
// cannot be read or is no JPEG. The reason of a failure goes to `error`.
bool analyzeFile(const std::string& path, std::string& error) {
    Exif::ResetEngine();
    ExifDetails::PrepareRegistersForOpen({});
    try {
        Exif::FmStream.loadFromFile(path);
        if (Exif::AnalyzeExif())
            return true;
        error = "not a JPEG file";
    } catch (const Exif::EngineError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "out of memory";
    }
    Exif::ExifStrings.push_back(u"*** ERROR ***");
    return false;
}

int info(const std::vector<std::string>& files) {
    int status = 0;
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (files.size() > 1)
            std::cout << (i > 0 ? "\n" : "") << "==> " << files[i] << " <==\n";
        std::string error;
        if (!analyzeFile(files[i], error)) {
            std::cerr << "geodot-cli: " << files[i] << ": " << error << "\n";
            status = 1;
        }
        std::cout << TextCodec::ToUtf8(Exif::ListingText(Exif::ExifStrings)) << "\n";
    }
    return status;
}

} // namespace

int main(int argc, char** argv) {
    Exif::ProgramName = TextCodec::FromUtf8(GEODOT_NAME);
    Exif::ProgramVersion = TextCodec::FromUtf8(GEODOT_VERSION_TEXT);
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    if (args[0] == "--help" || args[0] == "-h") {
        std::cout << kUsage;
        return 0;
    }
    if (args[0] == "--version") {
        std::cout << "geodot-cli (" GEODOT_NAME ") v" GEODOT_VERSION_TEXT "\n";
        return 0;
    }
    if (args[0] == "info" && args.size() > 1)
        return info({args.begin() + 1, args.end()});
    std::cerr << kUsage;
    return 2;
}

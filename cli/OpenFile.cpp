#include <new>

#include "Cli.h"
#include "Exif.h"
#include "ExifDetails.h"
#include "EngineOptions.h"

namespace cli {

void loadEngineOptions(bool& keepTime) {
    const IniFile ini(IniFile::DefaultPath(GEODOT_NAME));
    ReadEngineOptions(ini);
    keepTime = ini.ReadBool("CONFIG", "TimestampOriginal", false);
}

bool openFile(const std::string& path, std::string& error, bool forSaving) {
    Exif::ResetEngine();
    ExifDetails::PrepareRegistersForOpen({});
    try {
        // Read as far as the analysis goes; the image data is copied from the file when saved,
        // checked against the fingerprint taken now.
        Exif::FmStream.openFile(path, forSaving);
        // The picture size, for the mandatory tags of a new EXIF block.
        Exif::JpegFrameSize(Exif::MainWidth, Exif::MainHeight);
        if (Exif::AnalyzeExif())
            return true;
        error = "JPEG ファイルではありません";
    } catch (const Exif::EngineError& e) {
        error = e.what();
    } catch (const std::bad_alloc&) {
        error = "メモリが足りません";
    }
    Exif::ExifStrings.push_back(u"*** ERROR ***");
    return false;
}

} // namespace cli

#include <new>

#include "Cli.h"
#include "Exif.h"
#include "EngineOptions.h"

namespace cli {

void loadEngineOptions(bool& keepTime) {
    const IniFile ini(IniFile::DefaultPath(GEODOT_NAME));
    ReadEngineOptions(ini);
    keepTime = ini.ReadBool("CONFIG", "TimestampOriginal", false);
}

bool openFile(const std::string& path, std::string& error, bool forSaving) {
    try {
        if (Exif::OpenForEditing(path, forSaving))
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

// Opening a file for editing without a window: the engine and the registers reset, the file
// read and analysed.
#include "Exif.h"
#include "ExifDetails.h"

namespace Exif {

bool OpenForEditing(const std::string& path, bool forSaving) {
    ResetEngine();
    ExifDetails::PrepareRegistersForOpen({});
    // Read as far as the analysis goes; the image data is copied from the file when saved,
    // checked against the fingerprint taken now.
    FmStream.openFile(path, forSaving);
    // The picture size, for the mandatory tags of a new EXIF block.
    JpegFrameSize(MainWidth, MainHeight);
    return AnalyzeExif();
}

} // namespace Exif

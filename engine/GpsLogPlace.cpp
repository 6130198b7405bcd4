// A photo file placed from a track and saved over itself.
#include "GpsLog.h"

#include "Exif.h"

namespace GpsLog {

Match PlacePhoto(const std::string& path, std::span<const Point> points, const Timing& timing) {
    if (!Exif::OpenForEditing(path, /*forSaving*/ true))
        throw Exif::EngineError("JPEG ファイルではありません");
    const auto instant = InstantOfPhoto(timing.zone, timing.cameraError);
    if (!instant)
        throw Exif::EngineError("撮影日時がありません");
    const Match m = MatchInstant(points, instant->utc, timing.maxGap);
    if (m.kind == MatchKind::None)
        return m;
    StoreMatch(m);
    Exif::UpdateGPS();
    Exif::WriteJpeg();
    Exif::SaveOptions options;
    // Over the photo only while it still holds what was read.
    options.mustExist = true;
    options.unchangedSince = Exif::FmStream.sourceFingerprint();
    options.fingerprintWritten = false; // a photo placed is opened afresh to be saved again
    Exif::SaveFile(path, Exif::ToStream, options);
    return m;
}

} // namespace GpsLog

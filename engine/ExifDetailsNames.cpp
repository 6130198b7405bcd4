// Display names of the tags: English name, then the Japanese description in parentheses.
#include "ExifDetails.h"

#include <algorithm>
#include <cstdint>

namespace ExifDetails {
namespace {

struct TagName {
    std::int32_t id;
    const char16_t* name;
};

// Each table is sorted by tag number.
constexpr TagName kNames[] = {
    {0x00FE, u"NewSubfileType(NewSubfileType)"},
    {0x00FF, u"SubfileType(SubfileType)"},
    {0x0100, u"ImageWidth(画像の幅)"},
    {0x0101, u"ImageLength(画像の高さ)"},
    {0x0102, u"BitsPerSample(画素のビットの深さ)"},
    {0x0103, u"Compression(圧縮の種類)"},
    {0x0106, u"PhotometricInterpretation(画素構成)"},
    {0x010E, u"ImageDescription(画像タイトル)"},
    {0x010F, u"Make(画像入力機器のメーカ名)"},
    {0x0110, u"Model(画像入力機器のモデル名)"},
    {0x0111, u"StripOffsets(画像データのロケーション)"},
    {0x0112, u"Orientation(画像方向)"},
    {0x0115, u"SamplesPerPixel(コンポーネント数)"},
    {0x0116, u"RowsPerStrip(１ストリップあたりの行の数)"},
    {0x0117, u"StripByteCounts(ストリップの総バイト数)"},
    {0x011A, u"XResolution(画像の幅の解像度)"},
    {0x011B, u"YResolution(画像の高さの解像度)"},
    {0x011C, u"PlanarConfiguration(画像データの並び)"},
    {0x0128, u"ResolutionUnit(画像の幅と高さの解像度の単位)"},
    {0x012D, u"TransferFunction(再生階調カーブ特性)"},
    {0x0131, u"Software(ソフトウェア)"},
    {0x0132, u"DateTime(ファイル変更日時)"},
    {0x013B, u"Artist(アーティスト)"},
    {0x013D, u"Predictor(Predictor)"},
    {0x013E, u"WhitePoint(参照白色点の色度座標値)"},
    {0x013F, u"PrimaryChromaticities(原色の色度座標値)"},
    {0x0142, u"TileWidth(TileWidth)"},
    {0x0143, u"TileLength(TileLength)"},
    {0x0144, u"TileOffsets(TileOffsets)"},
    {0x0145, u"TileByteCounts(TileByteCounts)"},
    {0x014A, u"SubIFDs(SubIFDs)"},
    {0x015B, u"JPEGTables(JPEGTables)"},
    {0x0201, u"JPEGInterchangeFormat(JPEGのSOIへのオフセット)"},
    {0x0202, u"JpegInterchangeFormatLength(JPEGデータのバイト数)"},
    {0x0211, u"YCbCrCoefficients(色変換マトリックス係数)"},
    {0x0212, u"YCbCrSubSampling(画素構成)"},
    {0x0213, u"YCbCrPositioning(画素構成)"},
    {0x0214, u"ReferenceBlackWhite(参照黒色点値と参照白色点値)"},
    {0x828D, u"CFARepeatPatternDim(CFARepeatPatternDim)"},
    {0x828E, u"CFAPattern(CFAPattern)"},
    {0x828F, u"BatteryLevel(BatteryLevel)"},
    {0x8298, u"Copyright(撮影著作権者/編集著作権者)"},
    {0x829A, u"ExposureTime(露出時間)"},
    {0x829D, u"FNumber(Fナンバー)"},
    {0x83BB, u"IPTC/NAA(IPTC/NAA)"},
    {0x8769, u"ExifIFDPointer(Exif IFDへのポインタ)"},
    {0x8773, u"InterColorProfile(InterColorProfile)"},
    {0x8822, u"ExposureProgram(露出プログラム)"},
    {0x8824, u"SpectralSensitivity(スペクトル感度)"},
    {0x8825, u"GPSInfoIFDPointer(GPS IFDへのポインタ)"},
    {0x8827, u"ISOSpeedRatings(ISOスピードレート)"},
    {0x8828, u"OECF(光電変換関数)"},
    {0x8829, u"Interlace(Interlace)"},
    {0x882A, u"TimeZoneOffset(TimeZoneOffset)"},
    {0x882B, u"SelfTimerMode(SelfTimerMode)"},
    {0x8830, u"SensitivityType(感度種別)"},
    {0x8831, u"StandardOutputSensitivity(標準出力感度)"},
    {0x8832, u"RecommendedExposureIndex(推奨露光指数)"},
    {0x8833, u"SOSpeed(ISOスピード)"},
    {0x8834, u"SOSpeedLatitudeyyy(ISOスピードラチチュードyyy)"},
    {0x8835, u"SOSpeedLatitudezzz(ISOスピードラチチュードzzz)"},
    {0x9000, u"ExifVersion(Exifバージョン)"},
    {0x9003, u"DateTimeOriginal(原画像データの生成日時)"},
    {0x9004, u"DateTimeDigitized(ディジタルデータの作成日時)"},
    {0x9010, u"OffsetTime(DateTimeの時差データ)"},
    {0x9011, u"OffsetTimeOriginal(DateTimeOriginalの時差データ)"},
    {0x9012, u"OffsetTimeDigitized(DateTimeDigitizedの時差データ)"},
    {0x9101, u"ComponentsConfigurartion(各コンポーネントの意味)"},
    {0x9102, u"CompressedBitsPerPixel(画像圧縮モード)"},
    {0x9201, u"ShutterSpeedValue(シャッタースピード)"},
    {0x9202, u"ApertureValue(絞り値)"},
    {0x9203, u"BrightnessValue(輝度値)"},
    {0x9204, u"ExposureBiasValue(露光補正値)"},
    {0x9205, u"MaxApertureValue(レンズ最小F値)"},
    {0x9206, u"SubjectDistance(被写体距離)"},
    {0x9207, u"MeteringMode(測光方式)"},
    {0x9208, u"LightSource(光源)"},
    {0x9209, u"Flash(フラッシュ)"},
    {0x920A, u"FocalLength(レンズ焦点距離)"},
    {0x920C, u"SpatialFrequencyResponse(SpatialFrequencyResponse)"},
    {0x920D, u"Noise(Noise)"},
    {0x9211, u"ImageNumber(ImageNumber)"},
    {0x9212, u"SecurityClassification(SecurityClassification)"},
    {0x9213, u"ImageHistory(ImageHistory)"},
    {0x9214, u"SubjectArea(サブジェクト領域)"},
    {0x9215, u"ExposureIndex(ExposureIndex)"},
    {0x9216, u"TIFF/EPStandardID(TIFF/EPStandardID)"},
    {0x927C, u"MakerNote(メーカーノート)"},
    {0x9286, u"UserComment(ユーザーコメント)"},
    {0x9290, u"SubsecTime(DateTimeのサブセック)"},
    {0x9291, u"SubsecTimeOriginal(DateTimeOriginalのサブセック)"},
    {0x9292, u"SubsecTimeDigitized(DateTimeDigitizedのサブセック)"},
    {0x9400, u"Temperature(温度)"},
    {0x9401, u"Humidity(湿度)"},
    {0x9402, u"Pressure(圧力)"},
    {0x9403, u"WaterDepth(水深)"},
    {0x9404, u"Acceleration(加速度)"},
    {0x9405, u"CameraElevationAngle(カメラの仰角)"},
    {0xA000, u"FlashPixVersion(対応フラッシュピックスバージョン)"},
    {0xA001, u"ColorSpace(色空間情報)"},
    {0xA002, u"PixelXDimension(実効画像幅)"},
    {0xA003, u"PixelYDimension(実効画像高さ)"},
    {0xA004, u"RelatedSoundFile(関連音声ファイル)"},
    {0xA005, u"InteroperabilityIFDPointer(互換性IFDへのポインタ)"},
    {0xA20B, u"FlashEnergy(フラッシュ強度)"},
    {0xA20C, u"SpatialFrequencyResponse(空間周波数応答)"},
    {0xA20E, u"FocalPlaneXResolution(焦点面の幅の解像度)"},
    {0xA20F, u"FocalPlaneYResolution(焦点面の高さの解像度)"},
    {0xA210, u"FocalPlaneResolutionUnit(焦点面解像度単位)"},
    {0xA214, u"SubjectLocation(被写体位置)"},
    {0xA215, u"ExposureIndex(露出インデックス)"},
    {0xA217, u"SensingMethod(センサー方式)"},
    {0xA300, u"FileSource(ファイルソース)"},
    {0xA301, u"SceneType(シーンタイプ)"},
    {0xA302, u"CFAPattern(CFAパターン)"},
    {0xA401, u"CustomRendered(カスタムレンダー)"},
    {0xA402, u"ExposureMode(露出モード)"},
    {0xA403, u"WhiteBalance(ホワイトバランス)"},
    {0xA404, u"DigitalZoomRatio(ディジタルズーム比)"},
    {0xA405, u"FocalLength35mmFilm(35mm換算焦点距離)"},
    {0xA406, u"SceneCaptureType(シーンキャプチャータイプ)"},
    {0xA407, u"GainControl(ゲインコントロール)"},
    {0xA408, u"Contrast(コントラスト)"},
    {0xA409, u"Saturation(色あい)"},
    {0xA40A, u"Sharpness(シャープネス)"},
    {0xA40B, u"DeviceSettingDescription(デバイスセッティング)"},
    {0xA40C, u"SubjectDistanceRange(撮影レンジ)"},
    {0xA420, u"ImageUniqueID(画像固有ID)"},
    {0xA430, u"CameraOwnerName(カメラ所有者名)"},
    {0xA431, u"BodySerialNumber(カメラシリアル番号)"},
    {0xA432, u"LensSpecification(レンズの仕様情報)"},
    {0xA433, u"LensMake(レンズのメーカ名)"},
    {0xA434, u"LensModel(レンズのモデル名)"},
    {0xA435, u"LensSerialNumber(レンズシリアル番号)"},
    {0xA500, u"Gamma(再生ガンマ)"},
    {0xC4A5, u"PrintIM IFD(PrintIM IFD)"},
};

constexpr TagName kGpsNames[] = {
    {0x00, u"GPSVersionID(GPSタグのバージョン)"},
    {0x01, u"GPSLatitudeRef(北緯(N)or南緯(S))"},
    {0x02, u"GPSLatitude(緯度(数値))"},
    {0x03, u"GPSLongitudeRef(東経(E)or西経(W))"},
    {0x04, u"GPSLongitude(経度(数値))"},
    {0x05, u"GPSAltitudeRef(高度の基準)"},
    {0x06, u"GPSAltitude(高度(数値))"},
    {0x07, u"GPSTimeStamp(GPS時間(原子時計の時間))"},
    {0x08, u"GPSSatellites(測位に使った衛星信号)"},
    {0x09, u"GPSStatus(GPS受信機の状態)"},
    {0x0A, u"GPSMeasureMode(GPSの測位方法)"},
    {0x0B, u"GPSDOP(測位の信頼性)"},
    {0x0C, u"GPSSpeedRef(速度の単位)"},
    {0x0D, u"GPSSpeed(速度(数値))"},
    {0x0E, u"GPSTrackRef(進行方向の単位)"},
    {0x0F, u"GPSTrack(進行方向(数値))"},
    {0x10, u"GPSImgDirectionRef(撮影した画像の方向の単位)"},
    {0x11, u"GPSImgDirection(撮影した画像の方向(数値))"},
    {0x12, u"GPSMapDatum(測位に用いた地図データ)"},
    {0x13, u"GPSDestLatitudeRef(目的地の北緯(N)or南緯(S))"},
    {0x14, u"GPSDestLatitude(目的地の緯度(数値))"},
    {0x15, u"GPSDestLongitudeRef(目的地の東経(E)or西経(W))"},
    {0x16, u"GPSDestLongitude(目的地の経度(数値))"},
    {0x17, u"GPSDestBearingRef(目的地の方角の単位)"},
    {0x18, u"GPSDestBearing(目的の方角(数値))"},
    {0x19, u"GPSDestDistanceRef(目的地までの距離の単位)"},
    {0x1A, u"GPSDestDistance(目的地までの距離(数値))"},
    {0x1B, u"GPSProcessingMethod(測位方式の名称)"},
    {0x1C, u"GPSAreaInformation(測位地点の名称)"},
    {0x1D, u"GPSDateStamp(GPS日付)"},
    {0x1E, u"GPSDifferential(GPS補正測位)"},
    {0x1F, u"GPSHPositioningError(水平方向測位誤差)"},
};

constexpr TagName kInteropNames[] = {
    {0x0001, u"InteroperabilityIndex(互換性識別子)"},
    {0x0002, u"InteroperabilityVersion(互換性バージョン)"},
    {0x1000, u"RelatedImageFileFormat(RelatedImageFileFormat)"},
    {0x1001, u"RelatedImageWidth(RelatedImageWidth)"},
    {0x1002, u"RelatedImageLength(RelatedImageLength)"},
};

// An unknown tag is named "$" and its number in hexadecimal, at least `digits` digits; the
// listing leaves such lines out.
template <std::size_t N>
std::u16string lookup(const TagName (&table)[N], std::int32_t id, int digits) {
    const auto it = std::lower_bound(std::begin(table), std::end(table), id,
                                     [](const TagName& t, std::int32_t v) { return t.id < v; });
    if (it != std::end(table) && it->id == id)
        return it->name;
    // Most tags of a damaged file are unknown: formatted here, as printf costs more.
    static const char16_t kHex[] = u"0123456789ABCDEF";
    const auto v = static_cast<std::uint32_t>(id);
    int n = digits;
    while (n < 8 && (v >> (4 * n)) != 0)
        ++n;
    std::u16string name(1, u'$');
    for (int shift = 4 * (n - 1); shift >= 0; shift -= 4)
        name += kHex[(v >> shift) & 15];
    return name;
}

} // namespace

std::u16string SetID(std::int32_t id) { return lookup(kNames, id, 4); }
std::u16string SetGPSID(std::int32_t id) { return lookup(kGpsNames, id, 2); }
std::u16string SetIntID(std::int32_t id) { return lookup(kInteropNames, id, 4); }

} // namespace ExifDetails

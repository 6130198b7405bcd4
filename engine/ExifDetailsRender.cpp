// Readable text for the values of the 0th, Exif and 1st IFDs, and the registers filled while a
// file is read.
#include "ExifDetails.h"

#include <cmath>
#include <iterator>
#include <string>
#include <vector>

#include "NumberText.h"
#include "TextCodec.h"

namespace ExifDetails {
namespace {

// --- Coded values: the value text compared exactly with each code --------------------------------

struct Coded {
    std::u16string_view code;
    std::u16string_view label;
};

constexpr Coded kCompression[] = {{u"1", u"非圧縮"}, {u"6", u"JPEG圧縮"}};

constexpr Coded kPhotometricInterpretation[] = {{u"2", u"RGB"}, {u"6", u"YCbCr"}};

constexpr Coded kOrientation[] = {
    {u"1", u"Top Left"}, {u"2", u"Top Right"}, {u"3", u"Bottom Right"}, {u"4", u"Bottom Left"},
    {u"5", u"Left Top"}, {u"6", u"Right Top"}, {u"7", u"Right Bottom"}, {u"8", u"Left Bottom"},
};

constexpr Coded kPlanarConfiguration[] = {{u"1", u"chunky format"}, {u"2", u"planar format"}};

// Code 1 means "no absolute unit", which shows as nothing.
constexpr Coded kResolutionUnit[] = {{u"1", u""}, {u"2", u"インチ"}, {u"3", u"センチメートル"}};

constexpr Coded kYCbCrSubSampling[] = {{u"2,1", u"YCbCr 4:2:2"}, {u"2,2", u"YCbCr 4:2:0"}};

constexpr Coded kYCbCrPositioning[] = {{u"1", u"中心"}, {u"2", u"一致"}};

constexpr Coded kColorSpace[] = {{u"1", u"sRGB"}, {u"65535", u"Uncalibrated"}};

constexpr Coded kFileSource[] = {
    {u"00", u"その他"},
    {u"01", u"透過型スキャナ"},
    {u"02", u"反射型スキャナ"},
    {u"03", u"デジタルスチルカメラ"},
};

constexpr Coded kSceneType[] = {{u"01", u"直接撮影された画像"}};

constexpr Coded kCustomRendered[] = {{u"0", u"通常処理"}, {u"1", u"特殊処理"}};

constexpr Coded kExposureMode[] = {
    {u"0", u"自動露出"}, {u"1", u"露出マニュアル"}, {u"2", u"オートブラケット"}};

constexpr Coded kWhiteBalance[] = {{u"0", u"ホワイトバランス自動"},
                                   {u"1", u"ホワイトバランスマニュアル"}};

constexpr Coded kSceneCaptureType[] = {
    {u"0", u"標準"}, {u"1", u"風景"}, {u"2", u"人物"}, {u"3", u"夜景"}};

constexpr Coded kGainControl[] = {
    {u"0", u"無し"},     {u"1", u"弱い増感"}, {u"2", u"強い増感"},
    {u"3", u"弱い減感"}, {u"4", u"強い減感"},
};

constexpr Coded kContrast[] = {{u"0", u"標準"}, {u"1", u"軟調"}, {u"2", u"硬調"}};

constexpr Coded kSaturation[] = {{u"0", u"標準"}, {u"1", u"低彩度"}, {u"2", u"高彩度"}};

constexpr Coded kSharpness[] = {{u"0", u"標準"}, {u"1", u"弱い"}, {u"2", u"強い"}};

constexpr Coded kSubjectDistanceRange[] = {
    {u"0", u"不明"}, {u"1", u"マクロ"}, {u"2", u"近景"}, {u"3", u"遠景"}};

constexpr Coded kSensingMethod[] = {
    {u"1", u"未定義"},
    {u"2", u"単板カラーセンサ"},
    {u"3", u"2板カラーセンサ"},
    {u"4", u"3板カラーセンサ"},
    {u"5", u"色順次カラーセンサ"},
    {u"7", u"3線リニアセンサ"},
    {u"8", u"色順次リニアセンサ"},
};

constexpr Coded kExposureProgram[] = {
    {u"0", u"未定義"},
    {u"1", u"マニュアル"},
    {u"2", u"ノーマルプログラム"},
    {u"3", u"絞り優先"},
    {u"4", u"シャッター優先"},
    {u"5", u"creativeプログラム(被写界深度方向にバイアス)"},
    {u"6", u"actionプログラム(シャッタースピード高速側にバイアス)"},
    {u"7", u"ポートレイトモード(クローズアップ撮影、背景はフォーカス外す)"},
    {u"8", u"ランドスケープモード(landscape撮影、背景はフォーカス合う)"},
};

constexpr Coded kSensitivityType[] = {
    {u"0", u"不明"},
    {u"1", u"標準出力感度(SOS)"},
    {u"2", u"推奨露光指数(REI)"},
    {u"3", u"ISOスピード(ISO Speed)"},
    {u"4", u"標準出力感度(SOS) および 推奨露光指数(REI)"},
    {u"5", u"標準出力感度(SOS) および ISOスピード(ISO Speed)"},
    {u"6", u"推奨露光指数(REI) および ISOスピード(ISO Speed)"},
    {u"7", u"標準出力感度(SOS) および 推奨露光指数(REI) および ISOスピード(ISO Speed)"},
};

constexpr Coded kMeteringMode[] = {
    {u"0", u"不明"},
    {u"1", u"平均(Average)"},
    {u"2", u"中央重点(CenterWeightedAverage)"},
    {u"3", u"スポット(Spot)"},
    {u"4", u"マルチスポット(MultiSpot)"},
    {u"5", u"分割測光(Pattern)"},
    {u"6", u"部分測光(Partial)"},
    {u"255", u"その他の測光方式"},
};

constexpr Coded kLightSource[] = {
    {u"0", u"不明"},
    {u"1", u"昼光"},
    {u"2", u"蛍光灯"},
    {u"3", u"タングステン(白熱灯)"},
    {u"4", u"フラッシュ"},
    {u"9", u"晴天"},
    {u"10", u"曇天"},
    {u"11", u"日陰"},
    {u"12", u"昼光色蛍光灯(D:5700-7100K)"},
    {u"13", u"昼白色蛍光灯(D:4600-5500K)"},
    {u"14", u"白色蛍光灯(W:3800-4500K)"},
    {u"15", u"温白色蛍光灯(WW:3250-3800K)"},
    {u"16", u"電球色蛍光灯(L:2600-3250K)"},
    {u"17", u"標準光A"},
    {u"18", u"標準光B"},
    {u"19", u"標準光C"},
    {u"20", u"D55"},
    {u"21", u"D65"},
    {u"22", u"D75"},
    {u"23", u"D50"},
    {u"24", u"ISO studio tungsten"},
    {u"255", u"その他の光源"},
};

// ComponentsConfiguration: one byte per component; 00 (no component) adds nothing.
constexpr Coded kComponents[] = {
    {u"01", u"Y"}, {u"02", u"Cb"}, {u"03", u"Cr"}, {u"04", u"R"}, {u"05", u"G"}, {u"06", u"B"},
};

// --- Flash: one table per bit field, indexed by the field's value ------------------------------

constexpr std::u16string_view kFlashFired[] = {u"ストロボ発光せず", u"ストロボ発光"};
constexpr std::u16string_view kFlashReturn[] = {
    u"ストロボのリターン検出機能なし",
    u"ストロボのリターン不明 $01", // the reserved value, shown as two hexadecimal digits
    u"ストロボのリターン検出されず",
    u"ストロボのリターン検出",
};
constexpr std::u16string_view kFlashMode[] = {u"モード不明", u"強制発光モード", u"強制非発光モード",
                                              u"自動発光モード"};
constexpr std::u16string_view kFlashFunction[] = {u"ストロボ機能有り", u"ストロボ機能無し"};
constexpr std::u16string_view kFlashRedEye[] = {u"赤目軽減無しまたは不明", u"赤目軽減有り"};

// --- LensSpecification: label and unit of each of the four rationals -----------------------------

struct LensPart {
    std::u16string_view label;
    std::u16string_view unit;
};
constexpr LensPart kLensParts[] = {
    {u"最小焦点距離:", u"mm"},
    {u"最大焦点距離:", u"mm"},
    {u"最小焦点距離における最小F値:", u""},
    {u"最大焦点距離における最小F値:", u""},
};

// Each item of a multi-line value starts on its own indented line of the listing.
constexpr std::u16string_view kItemBreak = u"\r\n\t";

constexpr std::u16string_view kUnknown = u"不明";
constexpr std::u16string_view kSeconds = u"秒";
constexpr std::uint32_t kAllOnes = 0xFFFFFFFFu;

// --- Helpers -------------------------------------------------------------------------------------

std::u16string unrendered(std::u16string_view data) {
    return u"??? " + std::u16string(data);
}

std::u16string lookup(std::span<const Coded> table, std::u16string_view data) {
    for (const Coded& c : table)
        if (c.code == data)
            return std::u16string(c.label);
    return unrendered(data);
}

std::u16string decimal(std::int32_t value) {
    const std::string s = std::to_string(value);
    return std::u16string(s.begin(), s.end());
}

std::u16string general(double value) {
    return NumberText::FormatGeneral(value);
}

// The elements of a value list: the texts between the commas. A trailing comma ends the list;
// an empty text has no elements.
std::vector<std::u16string_view> elements(std::u16string_view data) {
    std::vector<std::u16string_view> out;
    while (!data.empty()) {
        const auto p = data.find(u',');
        if (p == std::u16string_view::npos) {
            out.push_back(data);
            break;
        }
        out.push_back(data.substr(0, p));
        data.remove_prefix(p + 1);
    }
    return out;
}

struct RationalText {
    std::u16string_view numerator;
    std::u16string_view denominator;
};

// Splits at the first "/"; a text without one is not a rational.
RationalText splitRational(std::u16string_view data) {
    const auto p = data.find(u'/');
    if (p == std::u16string_view::npos)
        throw Exif::EngineError("'" + TextCodec::ToUtf8(data) + "' is not a valid rational value");
    return {data.substr(0, p), data.substr(p + 1)};
}

// The 32-bit field behind a number text: RATIONAL parts are unsigned, SRATIONAL parts signed, so
// 0xFFFFFFFF reads 4294967295 in one and -1 in the other.
std::uint32_t field32(std::u16string_view text) {
    return static_cast<std::uint32_t>(NumberText::ParseInt64(text));
}

[[noreturn]] void divisionByZero() {
    throw Exif::EngineError("Floating point division by zero");
}

// Text tags the user can edit: with Ambiguous on the bytes are decoded as multibyte text,
// otherwise they show one character per byte as read.
std::u16string editableText(std::u16string_view data, std::span<const std::uint8_t> raw) {
    return Exif::Ambiguous ? GetString(raw) : std::u16string(data);
}

// Copyright holds photographer, NUL, editor, NUL. A lone space stands for a missing photographer
// and trims away. The editor part runs to the end of the text; trimming removes its terminating
// NUL, so an editor written without one keeps its last character.
std::u16string copyrightText(std::u16string_view t) {
    const auto p = t.find(u'\0');
    const std::u16string photographer = Trim(t.substr(0, p));
    const std::u16string editor =
        p == std::u16string_view::npos ? std::u16string() : Trim(t.substr(p + 1));
    if (!photographer.empty() && !editor.empty())
        return photographer + u"/" + editor;
    return photographer.empty() ? editor : photographer;
}

// The shutter opens for N1/N2 seconds; short times show as a fraction of a second.
std::u16string exposureTime(std::u16string_view data) {
    const RationalText r = splitRational(data);
    const auto n1 = static_cast<std::uint32_t>(NumberText::ParseInt32(r.numerator));
    const auto n2 = static_cast<std::uint32_t>(NumberText::ParseInt32(r.denominator));
    if (n1 == 0 || n2 == 0)
        divisionByZero();
    const double f = static_cast<double>(n2) / static_cast<double>(n1);
    if (f >= 1)
        return u"1/" + general(f) + std::u16string(kSeconds);
    return decimal(Roundoff(1 / f)) + std::u16string(kSeconds);
}

// APEX time value Tv: the exposure lasts 1/2^Tv seconds. Roundoff refuses an infinite or
// out-of-range count.
std::u16string shutterSpeed(std::u16string_view data) {
    const double h = std::pow(2.0, SRationalToFloat(data));
    if (h >= 1)
        return u"1/" + decimal(Roundoff(h)) + std::u16string(kSeconds);
    if (h == 0)
        divisionByZero();
    return decimal(Roundoff(1 / h)) + std::u16string(kSeconds);
}

std::u16string exposureBias(std::u16string_view data) {
    if (NumberText::ParseInt64(splitRational(data).numerator) == 0)
        return u"0EV";
    return std::u16string(data) + u"EV";
}

std::u16string digitalZoomRatio(std::u16string_view data) {
    if (NumberText::ParseInt32(splitRational(data).numerator) == 0)
        return u"未使用";
    return general(RationalToFloat(data));
}

std::u16string brightness(std::u16string_view data) {
    if (field32(splitRational(data).numerator) == kAllOnes)
        return std::u16string(kUnknown);
    return general(SRationalToFloat(data)) + u"BV";
}

std::u16string subjectDistance(std::u16string_view data) {
    const std::uint32_t numerator = field32(splitRational(data).numerator);
    if (numerator == 0)
        return std::u16string(kUnknown);
    if (numerator == kAllOnes)
        return u"無限遠";
    return general(RationalToFloat(data)) + u"m";
}

// The environment tags mark an unknown measurement with a denominator of all ones.
std::u16string measurement(std::u16string_view data, double (*convert)(std::u16string_view),
                           std::u16string_view unit) {
    if (field32(splitRational(data).denominator) == kAllOnes)
        return std::u16string(kUnknown);
    return general(convert(data)) + std::u16string(unit);
}

std::u16string flash(std::u16string_view data) {
    const auto v = static_cast<std::uint32_t>(NumberText::ParseInt32(data)) & 0xFFu;
    const std::u16string_view items[] = {
        kFlashFired[v & 1],           kFlashReturn[(v >> 1) & 3], kFlashMode[(v >> 3) & 3],
        kFlashFunction[(v >> 5) & 1], kFlashRedEye[(v >> 6) & 1],
    };
    std::u16string out;
    for (std::u16string_view item : items)
        out.append(kItemBreak).append(item);
    return out;
}

std::u16string lensSpecification(std::u16string_view data) {
    const std::vector<std::u16string_view> values = elements(data);
    std::u16string out;
    for (std::size_t i = 0; i < values.size() && i < std::size(kLensParts); ++i) {
        out.append(kItemBreak).append(kLensParts[i].label);
        out.append(general(RationalToFloat(values[i]))).append(kLensParts[i].unit);
    }
    return out;
}

// ExifVersion and FlashPixVersion: four bytes holding ASCII digits, shown as the digits.
std::u16string versionText(std::u16string_view data) {
    std::u16string out;
    for (std::u16string_view e : elements(data))
        out.push_back(static_cast<char16_t>(NumberText::ParseHex32(e) & 0xFFFFu));
    return out;
}

std::u16string componentsConfiguration(std::u16string_view data) {
    std::u16string out;
    for (std::u16string_view e : elements(data))
        for (const Coded& c : kComponents)
            if (c.code == e)
                out.append(c.label);
    return out;
}

// The camera's settings as text in the 7-bit Japanese code (ISO-2022-JP); bytes that do not
// decode show as read.
std::u16string deviceSettings(std::u16string_view data, std::span<const std::uint8_t> raw) {
    try {
        return TextCodec::Decode(raw, "ISO-2022-JP", TextCodec::Errors::Throw);
    } catch (const Exif::EngineError&) {
        return std::u16string(data);
    }
}

// Everything may throw Exif::EngineError; registers are written only once their value is known.
std::u16string render(std::int32_t id, std::u16string_view data,
                      std::span<const std::uint8_t> raw, bool textRegisters) {
    switch (id) {
    // Editable text and dates.
    case 0x010E: {
        std::u16string text = editableText(data, raw);
        if (textRegisters)
            Tag010E = text;
        return text;
    }
    case 0x013B: {
        std::u16string text = editableText(data, raw);
        if (textRegisters)
            Tag013B = text;
        return text;
    }
    case 0xA430: {
        std::u16string text = editableText(data, raw);
        if (textRegisters)
            TagA430 = text;
        return text;
    }
    case 0x9286: {
        std::u16string text = GetString(raw);
        if (textRegisters)
            Tag9286 = text;
        return text;
    }
    case 0x8298: {
        const std::u16string text = editableText(data, raw);
        std::u16string shown = copyrightText(text);
        if (textRegisters)
            Tag8298 = text;
        return shown;
    }
    case 0x0132:
        DateTime0132 = GetDateTime(data);
        return std::u16string(data);
    case 0x9003:
        DateTime9003 = GetDateTime(data);
        return std::u16string(data);
    case 0x9004:
        DateTime9004 = GetDateTime(data);
        return std::u16string(data);

    // Coded values.
    case 0x0103:
        return lookup(kCompression, data);
    case 0x0106:
        return lookup(kPhotometricInterpretation, data);
    case 0x0112:
        return lookup(kOrientation, data);
    case 0x011C:
        return lookup(kPlanarConfiguration, data);
    case 0x0128:
    case 0xA210:
        return lookup(kResolutionUnit, data);
    case 0x0212:
        return lookup(kYCbCrSubSampling, data);
    case 0x0213:
        return lookup(kYCbCrPositioning, data);
    case 0xA001:
        return lookup(kColorSpace, data);
    case 0xA300:
        return lookup(kFileSource, data);
    case 0xA301:
        return lookup(kSceneType, data);
    case 0xA401:
        return lookup(kCustomRendered, data);
    case 0xA402:
        return lookup(kExposureMode, data);
    case 0xA403:
        return lookup(kWhiteBalance, data);
    case 0xA406:
        return lookup(kSceneCaptureType, data);
    case 0xA407:
        return lookup(kGainControl, data);
    case 0xA408:
        return lookup(kContrast, data);
    case 0xA409:
        return lookup(kSaturation, data);
    case 0xA40A:
        return lookup(kSharpness, data);
    case 0xA40C:
        return lookup(kSubjectDistanceRange, data);
    case 0xA217:
        return lookup(kSensingMethod, data);
    case 0x8822:
        return lookup(kExposureProgram, data);
    case 0x8830:
        return lookup(kSensitivityType, data);
    case 0x9207:
        return lookup(kMeteringMode, data);
    case 0x9208:
        return lookup(kLightSource, data);

    // Byte lists.
    case 0x9000:
    case 0xA000:
        return versionText(data);
    case 0x9101:
        return componentsConfiguration(data);

    // Numbers and units.
    case 0x829D:
        return general(RationalToFloat(data));
    case 0x9202:
    case 0x9205:
        return general(Apex(RationalToFloat(data)));
    case 0x920A:
        return general(RationalToFloat(data)) + u"mm";
    case 0xA20B:
        return general(RationalToFloat(data)) + u"BCPS";
    case 0x9102:
        return std::u16string(data) + u"Bit/Pixel";
    case 0x9204:
        return exposureBias(data);
    case 0xA404:
        return digitalZoomRatio(data);
    case 0xA405:
        return data == u"0" ? std::u16string(kUnknown) : std::u16string(data) + u"mm";
    case 0x9203:
        return brightness(data);
    case 0x9206:
        return subjectDistance(data);
    case 0x9400:
        return measurement(data, SRationalToFloat, u"℃");
    case 0x9401:
        return measurement(data, RationalToFloat, u"%");
    case 0x9402:
        return measurement(data, RationalToFloat, u"hPa");
    case 0x9403:
        return measurement(data, SRationalToFloat, u"m");
    case 0x9404:
        return measurement(data, RationalToFloat, u"mGal");
    case 0x9405:
        return measurement(data, SRationalToFloat, u"°");
    case 0x829A:
        return exposureTime(data);
    case 0x9201:
        return shutterSpeed(data);

    // Multi-line values.
    case 0x9209:
        return flash(data);
    case 0xA432:
        return lensSpecification(data);
    case 0xA40B:
        return deviceSettings(data, raw);

    default:
        return std::u16string(data);
    }
}

} // namespace

std::u16string SetData(std::int32_t id, std::u16string_view data,
                       std::span<const std::uint8_t> raw, bool textRegisters) {
    // One value that cannot be rendered must not cost the rest of the listing.
    try {
        const std::u16string text = render(id, data, raw, textRegisters);
        // Flash and LensSpecification lay out their own lines from labels and numbers.
        return id == 0x9209 || id == 0xA432 ? text : Visible(text);
    } catch (const Exif::EngineError&) {
        return Visible(unrendered(data));
    }
}

} // namespace ExifDetails

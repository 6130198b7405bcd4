// Editing through the registers and saving. The input is an edit script followed by the JPEG:
//
//   2 bytes   big-endian length L of the script (cut to what the input holds)
//   L bytes   the script, read with FuzzedDataProvider: options, text fields, GPS values
//   the rest  the JPEG
//
// A script of length 0 reads as the default options and no edit. Texts can be up to 70 000
// UTF-16 units long; long ones are generated from a seed in the script rather than spelled out.
//
// After the edit, UpdateExif and UpdateGPS either refuse (EngineError, tables unchanged) or
// change the tables; WriteJpeg either refuses (EngineError, ToStream empty) or builds a file
// that reads back with
//  - every entry of every directory as the edited tables held it (the MakerNote and all tags
//    that were not edited byte for byte),
//  - the position within the precision of the rationals, the altitude to the centimetre, the
//    direction to a hundredth of a degree,
//  - the edited texts as typed (trimmed), where the chosen codes carry them without loss,
// and, for a source whose segments can be walked up to its first SOS, the source's kept
// segments and scan data after the fresh comment.

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

#include <fuzzer/FuzzedDataProvider.h>

#include "FuzzSupport.h"
#include "TextCodec.h"

using namespace fuzzsupport;
using namespace ExifDetails;

namespace {

std::uint64_t splitmix(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
}

std::u16string makeText(FuzzedDataProvider& script) {
    const int kind = script.ConsumeIntegralInRange<int>(0, 8);
    // One text in eight is long: encoding tens of thousands of characters (kanji into JIS above
    // all) costs more than the rest of an execution.
    const std::size_t length = script.ConsumeIntegralInRange<int>(0, 7) == 0
                                   ? script.ConsumeIntegralInRange<std::size_t>(0, 70000)
                                   : script.ConsumeIntegralInRange<std::size_t>(0, 48);
    std::uint64_t state = script.ConsumeIntegral<std::uint64_t>();
    std::u16string text;
    switch (kind) {
    case 0: // empty
        break;
    case 1: // printable ASCII
        for (std::size_t i = 0; i < length; ++i)
            text += static_cast<char16_t>(0x20 + splitmix(state) % 95);
        break;
    case 2: // any Latin-1 character, NUL and control characters included
        for (std::size_t i = 0; i < length; ++i)
            text += static_cast<char16_t>(splitmix(state) & 0xFF);
        break;
    case 3: { // any UTF-16 unit, with surrogates and NULs more often than chance
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint64_t r = splitmix(state);
            switch (r % 8) {
            case 0: text += char16_t{0}; break;
            case 1: text += static_cast<char16_t>(0xD800 + (r >> 8) % 0x800); break;
            default: text += static_cast<char16_t>(r >> 16); break;
            }
        }
        break;
    }
    case 4: { // Japanese: kana, kanji, full-width forms and some ASCII
        static constexpr std::pair<char16_t, char16_t> kRanges[] = {
            {0x3041, 0x3096}, {0x30A1, 0x30FA}, {0x4E00, 0x9FA0}, {0xFF01, 0xFF5E}, {0x20, 0x7E}};
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint64_t r = splitmix(state);
            const auto& [lo, hi] = kRanges[r % 5];
            text += static_cast<char16_t>(lo + (r >> 8) % (hi - lo + 1));
        }
        break;
    }
    case 5: { // spelled out in the script as UTF-16 units
        const auto bytes = script.ConsumeBytes<std::uint8_t>(2 * length);
        for (std::size_t i = 0; i + 1 < bytes.size(); i += 2)
            text += static_cast<char16_t>(bytes[i] | (bytes[i + 1] << 8));
        break;
    }
    case 6: { // spelled out in the script as Latin-1
        for (std::uint8_t b : script.ConsumeBytes<std::uint8_t>(length))
            text += static_cast<char16_t>(b);
        break;
    }
    case 7: { // ASCII between blanks, control characters and NULs that trimming removes
        text = u"  \t";
        for (std::size_t i = 0; i < length % 64; ++i)
            text += static_cast<char16_t>(0x21 + splitmix(state) % 94);
        text += u" \r\n";
        text += char16_t{0};
        text += char16_t{0};
        break;
    }
    default: { // one character repeated: the longest values with the least variety
        const char16_t c = static_cast<char16_t>(splitmix(state));
        text.assign(length, c);
        break;
    }
    }
    return text;
}

// A GPS number: arbitrary bit patterns, the values at the edges of what can be stored, and
// plausible values.
double gpsNumber(FuzzedDataProvider& script, double low, double high) {
    static constexpr double kEdges[] = {
        4294967295.0, 4294967296.0, 4294967294.5, 4294967295.4, 1e10, 1e300,
        std::numeric_limits<double>::max(), 21474836.47, 21474836.475, 21474836.48,
        59.9999996, 59.9999995, 59.99999949, 59.999999999, 60.0, 89.999999999,
        179.99999999999, 0.99999999999, 359.995, 359.9949, 1e9, 1e9 + 1,
    };
    switch (script.ConsumeIntegralInRange<int>(0, 11)) {
    case 0: return std::bit_cast<double>(script.ConsumeIntegral<std::uint64_t>());
    case 1: return std::numeric_limits<double>::quiet_NaN();
    case 2: return std::numeric_limits<double>::infinity();
    case 3: return -std::numeric_limits<double>::infinity();
    case 4: return kEdges[script.ConsumeIntegralInRange<std::size_t>(0, std::size(kEdges) - 1)];
    case 5: return -script.ConsumeFloatingPointInRange<double>(0, high > 0 ? high : 1);
    case 6: {
        static constexpr double kTiny[] = {std::numeric_limits<double>::denorm_min(), 1e-300,
                                           -0.0, 4.9e-7, 5e-7, 1e-9};
        return kTiny[script.ConsumeIntegralInRange<std::size_t>(0, std::size(kTiny) - 1)];
    }
    default: return script.ConsumeFloatingPointInRange<double>(low, high);
    }
}

std::int8_t sign(FuzzedDataProvider& script) {
    switch (script.ConsumeIntegralInRange<int>(0, 3)) {
    case 0: return 1;
    case 1: return -1;
    case 2: return 0;
    default: return script.ConsumeIntegral<std::int8_t>();
    }
}

bool isAscii(std::u16string_view t) {
    return std::all_of(t.begin(), t.end(), [](char16_t c) { return c < 0x80; });
}

bool isLatin1(std::u16string_view t) {
    return std::all_of(t.begin(), t.end(), [](char16_t c) { return c <= 0xFF; });
}

bool wellFormedUtf16(std::u16string_view t) {
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (t[i] >= 0xD800 && t[i] <= 0xDBFF && i + 1 < t.size() && t[i + 1] >= 0xDC00 &&
            t[i + 1] <= 0xDFFF) {
            ++i;
            continue;
        }
        if (t[i] >= 0xD800 && t[i] <= 0xDFFF)
            return false;
    }
    return true;
}

// Whether a text stored in a prefixed UNDEFINED value (user comment, area name) reads back as
// it was: plain ASCII always; other text in UTF-16 unless, in a little-endian file, its first
// unit looks like a byte-order mark; UTF-8 when the text is well-formed. The Japanese codes
// replace what they cannot represent.
bool prefixedTextSurvives(std::u16string_view stored) {
    if (stored.empty() || isAscii(stored))
        return true;
    if (Exif::TranscodeTo == "UNICODE")
        return Exif::BO == Exif::kBigEndian || (stored[0] != 0xFEFF && stored[0] != 0xFFFE);
    if (Exif::TranscodeTo == "UTF8")
        return wellFormedUtf16(stored);
    return false;
}

std::string utf8(std::u16string_view t, std::size_t max = 80) {
    return TextCodec::ToUtf8(t.substr(0, max)) + (t.size() > max ? "..." : "");
}

// The number of entries of a text tag with a value in the directory a save writes it to (the
// 0th IFD, or the Exif IFD for the comment and the owner), which alone fills the text fields.
// A field reflects the written value only when the tag occurs there once.
int occurrences(const Tables& t, std::uint16_t tag) {
    const Exif::IFDTable& table = tag == 0x9286 || tag == 0xA430 ? t.ifdX : t.ifd0;
    int n = 0;
    for (const Exif::IFDRec& e : table)
        n += e.IDX == tag && Exif::Num32(e.Count) != 0;
    return n;
}

const Exif::IFDRec* findEntry(const Exif::IFDTable& table, std::uint16_t tag) {
    for (const Exif::IFDRec& e : table)
        if (e.IDX == tag && Exif::Num32(e.Count) != 0)
            return &e;
    return nullptr;
}

struct Dms {
    std::uint32_t numerator[3], denominator[3];
};

Dms readDms(const Exif::IFDRec& e, const char* what) {
    if (Exif::Num16(e.DataType) != Exif::RATIONAL || Exif::Num32(e.Count) != 3 || e.Raw.size() != 24)
        Fail("%s written as type %u count %u with %zu bytes", what, Exif::Num16(e.DataType),
             Exif::Num32(e.Count), e.Raw.size());
    Dms d;
    for (int i = 0; i < 3; ++i) {
        const std::span<const std::uint8_t> raw(e.Raw);
        d.numerator[i] = Exif::Num32(Exif::ByteToInt32(raw.subspan(8 * i)));
        d.denominator[i] = Exif::Num32(Exif::ByteToInt32(raw.subspan(8 * i + 4)));
    }
    return d;
}

void checkPosition(const Tables& got, std::uint16_t tag, const char* what, double a, double b,
                   double c, double regA, double regB, double regC) {
    const double expected = a + b / 60 + c / 3600;
    const double tolerance = 1e-5 * std::max(1.0, std::fabs(expected) / 1e5);
    const Exif::IFDRec* e = findEntry(got.ifdG, tag);
    if (!e)
        Fail("%s was updated but the saved file has no GPS tag 0x%02X", what, tag);
    const Dms d = readDms(*e, what);
    if (d.denominator[0] != 1 || d.denominator[1] != 1 || d.denominator[2] != 1000000)
        Fail("%s denominators %u %u %u", what, d.denominator[0], d.denominator[1], d.denominator[2]);
    const double stored = d.numerator[0] + d.numerator[1] / 60.0 + d.numerator[2] / 3600e6;
    if (!(std::fabs(stored - expected) <= tolerance))
        Fail("%s %.17g deg %.17g min %.17g sec (%.12f) stored as %u/1 %u/1 %u/1000000 (%.12f)",
             what, a, b, c, expected, d.numerator[0], d.numerator[1], d.numerator[2], stored);
    // The reader takes a numerator of all ones for "unknown".
    for (std::uint32_t n : d.numerator)
        if (n == 0xFFFFFFFFu)
            return;
    const double read = regA + regB / 60 + regC / 3600;
    if (!(std::fabs(read - expected) <= tolerance))
        Fail("%s %.12f stored as %u %u %u reads back as %.17g %.17g %.17g (%.12f)", what, expected,
             d.numerator[0], d.numerator[1], d.numerator[2], regA, regB, regC, read);
}

struct Edits {
    bool textsTried = false, textsApplied = false;
    bool title = false, artist = false, copyright = false, comment = false, owner = false;
    TextFields fields;
    int gpsMode = 0; // 0 untouched, 1 removed, 2 set
    bool gpsApplied = false;
    std::int8_t srcTag10 = 0;
    double srcTag11 = 0;
};

void checkTexts(const Edits& ed, const Tables& got) {
    if (!ed.textsApplied)
        return;
    const TextFields read = TextFieldsFromRegisters();
    auto check = [&](bool edited, std::uint16_t tag, const std::u16string& typed,
                     const std::u16string& back, const char* name) {
        if (!edited || Exif::Ambiguous || !isLatin1(typed) || occurrences(got, tag) > 1)
            return;
        if (back != Trim(typed))
            Fail("%s typed as '%s' (%zu units) reads back as '%s' (%zu units)", name,
                 utf8(Trim(typed)).c_str(), Trim(typed).size(), utf8(back).c_str(), back.size());
    };
    check(ed.title, 0x010E, ed.fields.title, read.title, "title");
    check(ed.artist, 0x013B, ed.fields.artist, read.artist, "artist");
    check(ed.owner, 0xA430, ed.fields.owner, read.owner, "owner");
    // The copyright splits at its first NUL: a photographer part holding one cannot come back.
    if (ed.copyright && Trim(ed.fields.copyrightPhotographer).find(u'\0') == std::u16string::npos) {
        check(true, 0x8298, ed.fields.copyrightPhotographer, read.copyrightPhotographer,
              "copyright photographer");
        check(true, 0x8298, ed.fields.copyrightEditor, read.copyrightEditor, "copyright editor");
    }
    const std::u16string comment = Trim(ed.fields.comment);
    if (ed.comment && occurrences(got, 0x9286) <= 1 && prefixedTextSurvives(comment) &&
        read.comment != comment)
        Fail("comment typed as '%s' (%zu units, code %s) reads back as '%s' (%zu units)",
             utf8(comment).c_str(), comment.size(), Exif::TranscodeTo.c_str(),
             utf8(read.comment).c_str(), read.comment.size());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetProgramIdentity();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ReleaseAtEnd releaseEngine;
    if (size < 2)
        return 0;
    const std::size_t scriptLength = std::min<std::size_t>((data[0] << 8) | data[1], size - 2);
    FuzzedDataProvider script(data + 2, scriptLength);
    const std::span<const std::uint8_t> src(data + 2 + scriptLength, size - 2 - scriptLength);

    static constexpr const char* kTo[] = {"UNICODE", "JIS", "UTF8", "SJIS"};
    static constexpr const char* kFm[] = {"SJIS", "JIS", "UTF8", "EUC", "UNICODE"};
    Options options;
    options.ambiguous = script.ConsumeBool();
    options.essential = !script.ConsumeBool();
    options.afterEOI = !script.ConsumeBool();
    options.transcodeTo = kTo[script.ConsumeIntegralInRange<std::size_t>(0, 3)];
    options.transcodeFm = kFm[script.ConsumeIntegralInRange<std::size_t>(0, 4)];
    options.apply();

    const Analysis a = Analyze(src);
    if (a.threw || !a.jpeg)
        return 0;

    Edits ed;
    ed.srcTag10 = Tag10;
    ed.srcTag11 = Tag11;

    // --- Texts ---
    ed.fields = TextFieldsFromRegisters();
    if (script.ConsumeBool()) {
        ed.textsTried = true;
        TextFields& f = ed.fields;
        if ((ed.title = script.ConsumeBool()))
            f.title = makeText(script);
        if ((ed.artist = script.ConsumeBool()))
            f.artist = makeText(script);
        if ((ed.copyright = script.ConsumeBool())) {
            f.copyrightPhotographer = makeText(script);
            f.copyrightEditor = makeText(script);
        }
        if ((ed.comment = script.ConsumeBool()))
            f.comment = makeText(script);
        if ((ed.owner = script.ConsumeBool()))
            f.owner = makeText(script);
        StoreTextFields(f);
        const std::uint64_t before = EngineTablesDigest();
        try {
            Exif::UpdateExif();
            ed.textsApplied = true;
        } catch (const Exif::EngineError&) {
            if (EngineTablesDigest() != before)
                Fail("UpdateExif refused but changed the tables");
        }
    }

    // --- GPS ---
    ed.gpsMode = script.ConsumeIntegralInRange<int>(0, 2);
    if (ed.gpsMode == 1) {
        NewTag05 = 9;
    } else if (ed.gpsMode == 2) {
        // Most values that cannot be stored make the update refuse, so an edit either keeps
        // all of its numbers plausible (0), puts one of them at an edge (1), or draws each
        // from the whole mix (2, 3).
        const int wildness = script.ConsumeIntegralInRange<int>(0, 3);
        const int odd = script.ConsumeIntegralInRange<int>(0, 7);
        auto number = [&](int index, double low, double high) {
            if (wildness == 0 || (wildness == 1 && index != odd))
                return script.ConsumeFloatingPointInRange<double>(low, high);
            return gpsNumber(script, low, high);
        };
        NewTag01 = sign(script);
        NewTag02A = number(0, 0, 90);
        NewTag02B = number(1, 0, 60);
        NewTag02C = number(2, 0, 60);
        NewTag03 = sign(script);
        NewTag04A = number(3, 0, 180);
        NewTag04B = number(4, 0, 60);
        NewTag04C = number(5, 0, 60);
        NewTag05 = sign(script);
        NewTag06 = number(6, -500, 9000);
        NewTag10 = script.ConsumeIntegralInRange<std::int8_t>(-1, 1);
        NewTag11 = script.ConsumeBool() ? ed.srcTag11 : number(7, -720, 720);
        NewTag1C = makeText(script);
        if (NewTag05 == 9) // the value that asks for the removal
            ed.gpsMode = 1;
    }
    if (ed.gpsMode != 0) {
        const std::uint64_t before = EngineTablesDigest();
        try {
            Exif::UpdateGPS();
            ed.gpsApplied = true;
        } catch (const Exif::EngineError&) {
            if (EngineTablesDigest() != before)
                Fail("UpdateGPS refused but changed the tables");
        }
    }

    // --- Save ---
    Tables expected = AsWritten(Snapshot());
    // With nothing left to write the file gets no EXIF block, and reads back with the tables
    // of a new one.
    const bool wroteBlock = !Empty(expected);
    if (!WriteOrRefuse())
        return 0;
    const Bytes out = Exif::ToStream.toVector();
    const Bytes trail = Exif::TrailStream.toVector();
    const std::size_t tail = CheckFrame(out, trail);
    const Walk walk = WalkJpeg(src);
    if (walk.clean)
        CheckTail(src, walk, out, tail, !options.afterEOI);

    // --- Read back ---
    // The values the registers had for the edit; Analyze clears them.
    const std::int8_t n01 = NewTag01, n03 = NewTag03, n05 = NewTag05, n10 = NewTag10;
    const double n02[3] = {NewTag02A, NewTag02B, NewTag02C};
    const double n04[3] = {NewTag04A, NewTag04B, NewTag04C};
    const double n06 = NewTag06, n11 = NewTag11;
    const std::u16string n1C = NewTag1C;

    const Analysis b = Analyze(out);
    if (b.threw || !b.jpeg)
        Fail("the saved file does not read back: threw %d jpeg %d '%s'", b.threw, b.jpeg,
             b.error.c_str());
    const Tables got = Snapshot();
    const std::string difference = TablesDifference(std::move(expected), got);
    if (!difference.empty())
        Fail("the saved file reads back with other entries: %s", difference.c_str());

    checkTexts(ed, got);

    if (ed.gpsApplied && ed.gpsMode == 1 && wroteBlock) {
        for (const Exif::IFDRec& e : got.ifdG)
            if (Exif::Num32(e.Count) != 0 &&
                (e.IDX <= 0x06 || e.IDX == 0x10 || e.IDX == 0x11 || (e.IDX >= 0x1B && e.IDX <= 0x1D)))
                Fail("GPS tag 0x%02X still present after the position was removed", e.IDX);
    }
    if (ed.gpsApplied && ed.gpsMode == 2) {
        checkPosition(got, 0x02, "latitude", n02[0], n02[1], n02[2], Tag02A, Tag02B, Tag02C);
        checkPosition(got, 0x04, "longitude", n04[0], n04[1], n04[2], Tag04A, Tag04B, Tag04C);
        if (Tag01 != (n01 == -1 ? -1 : 1))
            Fail("latitude reference %d reads back as %d", n01, Tag01);
        if (Tag03 != (n03 == -1 ? -1 : 1))
            Fail("longitude reference %d reads back as %d", n03, Tag03);
        const bool below = n05 == -1 || n06 < 0;
        if (Tag05 != (below ? -1 : 1))
            Fail("altitude reference (%d, %.17g) reads back as %d", n05, n06, Tag05);
        if (!(std::fabs(Tag06 - std::fabs(n06)) <= 0.005 + std::fabs(n06) * 1e-12))
            Fail("altitude %.17g reads back as %.17g", n06, Tag06);
        if (n10 == 0) {
            if (Tag10 != 0 || Tag11 != 0)
                Fail("no direction was asked for, but it reads back as %d %.17g", Tag10, Tag11);
        } else {
            double d = std::fmod(n11, 360.0);
            if (d < 0)
                d += 360;
            const double diff = std::fabs(Tag11 - d);
            if (!(std::min(diff, 360 - diff) <= 0.005 + 1e-9))
                Fail("direction %.17g reads back as %.17g", n11, Tag11);
            const bool magnetic = ed.srcTag10 == -1 && n11 == ed.srcTag11;
            if (Tag10 != (magnetic ? -1 : 1))
                Fail("direction reference reads back as %d (source %d, direction %s)", Tag10,
                     ed.srcTag10, n11 == ed.srcTag11 ? "kept" : "changed");
        }
        if (prefixedTextSurvives(n1C) && Trim(Tag1C) != Trim(n1C))
            Fail("area name '%s' (%zu units, code %s) reads back as '%s' (%zu units)",
                 utf8(n1C).c_str(), n1C.size(), Exif::TranscodeTo.c_str(), utf8(Tag1C).c_str(),
                 Tag1C.size());
    }
    return 0;
}

#pragma once

// Shared pieces of the fuzz targets: loading bytes into the engine, snapshots and comparisons
// of the directory tables, an independent walk over the JPEG segments, and the failure report.

#include <algorithm>
#include <atomic>
#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <type_traits>
#include <vector>
#include <unistd.h>

#include <sanitizer/allocator_interface.h>
#include <sanitizer/common_interface_defs.h>

#include "Exif.h"
#include "ExifDetails.h"

namespace fuzzsupport {

using Bytes = std::vector<std::uint8_t>;

// Prints what went wrong and aborts, so that libFuzzer records the input as a crash.
[[noreturn]] inline void Fail(const char* format, ...) __attribute__((format(printf, 1, 2)));
[[noreturn]] inline void Fail(const char* format, ...) {
    std::fprintf(stderr, "\n*** geodot fuzz check failed: ");
    va_list args;
    va_start(args, format);
    std::vfprintf(stderr, format, args);
    va_end(args);
    std::fprintf(stderr, "\n");
    std::fflush(stderr);
    std::abort();
}

// --- Allocation limit ----------------------------------------------------------------------------

// The largest single allocation allowed while a target works on an input; 0 while none is.
inline std::atomic<std::size_t> allocationLimit{0};

inline void FailOnLargeAllocation(const volatile void*, std::size_t size) {
    const std::size_t limit = allocationLimit.load(std::memory_order_relaxed);
    if (limit == 0 || size <= limit)
        return;
    allocationLimit.store(0);
    // No allocation from here on: the report is written straight to the descriptor.
    char message[160];
    const int n = std::snprintf(message, sizeof message,
                                "\n*** geodot fuzz check failed: one allocation of %zu bytes "
                                "exceeds the limit of %zu bytes for this input\n",
                                size, limit);
    if (n > 0)
        (void)!write(2, message, static_cast<std::size_t>(n));
    __sanitizer_print_stack_trace();
    std::abort();
}

inline void IgnoreFree(const volatile void*) {}

// Makes any allocation beyond the limit a failure; call once, from LLVMFuzzerInitialize.
inline void InstallAllocationLimit() {
    __sanitizer_install_malloc_and_free_hooks(FailOnLargeAllocation, IgnoreFree);
}

// Sets the limit for as long as it lives.
struct AllocationLimit {
    explicit AllocationLimit(std::size_t bytes) { allocationLimit.store(bytes); }
    AllocationLimit(const AllocationLimit&) = delete;
    AllocationLimit& operator=(const AllocationLimit&) = delete;
    ~AllocationLimit() { allocationLimit.store(0); }
};

inline void SetProgramIdentity() {
    Exif::ProgramName = u"geodot";
    Exif::ProgramVersion = u"0.2.3a";
}

// The engine options the targets vary.
struct Options {
    bool ambiguous = false;
    bool essential = true;
    bool afterEOI = true;
    std::string transcodeTo = "UNICODE";
    std::string transcodeFm = "SJIS";

    void apply() const {
        Exif::Ambiguous = ambiguous;
        Exif::Essential = essential;
        Exif::AfterEOI = afterEOI;
        Exif::TranscodeTo = transcodeTo;
        Exif::TranscodeFm = transcodeFm;
    }
};

inline constexpr const char* kTranscodeTo[] = {"JIS", "UNICODE", "UTF8", "SJIS"};
inline constexpr const char* kTranscodeFm[] = {"JIS", "UTF8", "SJIS", "EUC", "UNICODE"};

// The outcome of opening a file the way the application does.
struct Analysis {
    bool threw = false;
    std::string error;
    bool jpeg = false;
};

inline Analysis Analyze(std::span<const std::uint8_t> bytes) {
    Exif::ResetEngine();
    ExifDetails::PrepareRegistersForOpen({});
    Exif::FmStream.assign(Bytes(bytes.begin(), bytes.end()));
    Analysis a;
    try {
        Exif::JpegFrameSize(Exif::MainWidth, Exif::MainHeight);
        a.jpeg = Exif::AnalyzeExif();
    } catch (const Exif::EngineError& e) {
        a.threw = true;
        a.error = e.what();
    }
    return a;
}

// Frees everything the engine holds (ResetEngine keeps the capacity of its containers). Run at
// the end of every input, so that a run frees all it allocates: libFuzzer runs an input a
// second time, to look for a leak, whenever it ends with more allocations than frees.
inline void ReleaseEngine() {
    // The reader keeps its record of the directories it walked until the next read; reading
    // an EXIF block whose 0th IFD lies nowhere leaves that record the same after every input.
    static const Bytes kNoDirectory = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x10, 'E', 'x', 'i', 'f', 0, 0,
                                       'I',  'I',  0x2A, 0x00, 0,    0,    0,   0,   0xFF, 0xD9};
    Exif::ResetEngine();
    Exif::FmStream.assign(kNoDirectory);
    Exif::AnalyzeExif();
    Exif::ResetEngine();
    auto release = [](auto&... objects) { ((std::remove_reference_t<decltype(objects)>().swap(objects)), ...); };
    release(Exif::IFD0, Exif::IFD1, Exif::IFDX, Exif::IFDG, Exif::IFDI);
    release(Exif::ExifStrings, Exif::ThumbnailStrips, Exif::DecodedDirectories);
    using namespace ExifDetails;
    release(Tag010E, Tag013B, Tag8298, Tag9286, TagA430, Tag1C);
    release(NewTag010E, NewTag013B, NewTag8298, NewTag9286, NewTagA430, NewTag1C);
    OpenedTextValues = {};
}

// Releases the engine when a run ends, whichever way it returns.
struct ReleaseAtEnd {
    ReleaseAtEnd() = default;
    ReleaseAtEnd(const ReleaseAtEnd&) = delete;
    ReleaseAtEnd& operator=(const ReleaseAtEnd&) = delete;
    ~ReleaseAtEnd() { ReleaseEngine(); }
};

// --- Tables --------------------------------------------------------------------------------------

struct Tables {
    Exif::IFDTable ifd0, ifdX, ifdG, ifdI, ifd1;
};

inline constexpr const char* kTableNames[] = {"IFD0", "IFDX", "IFDG", "IFDI", "IFD1"};

inline Tables Snapshot() { return {Exif::IFD0, Exif::IFDX, Exif::IFDG, Exif::IFDI, Exif::IFD1}; }

// A digest of bytes: cheaper than a copy for telling whether something changed. The bytes go
// through the standard library's hash, which is not instrumented for coverage as a loop here
// would be (one comparison callback per byte).
struct Digest {
    std::uint64_t value = 0xCBF29CE484222325u;

    void add(const void* bytes, std::size_t n) {
        const std::size_t h = std::hash<std::string_view>{}({static_cast<const char*>(bytes), n});
        value = (value ^ h) * 0x100000001B3u;
    }
    template <typename T> void addValue(T v) { add(&v, sizeof v); }
};

// Every entry of the engine's tables, fields and value.
inline std::uint64_t EngineTablesDigest() {
    Digest d;
    for (const Exif::IFDTable* table :
         {&Exif::IFD0, &Exif::IFDX, &Exif::IFDG, &Exif::IFDI, &Exif::IFD1}) {
        d.addValue(table->size());
        for (const Exif::IFDRec& e : *table) {
            for (std::uint32_t field : {std::uint32_t{e.ID}, std::uint32_t{e.DataType}, e.Count,
                                        e.Offset, std::uint32_t{e.IDX}})
                d.addValue(field);
            d.addValue(e.Raw.size());
            d.add(e.Raw.data(), e.Raw.size());
        }
    }
    return d.value;
}

inline std::vector<Exif::IFDTable*> TableList(Tables& t) {
    return {&t.ifd0, &t.ifdX, &t.ifdG, &t.ifdI, &t.ifd1};
}

inline std::uint64_t ValueLength(const Exif::IFDRec& e) {
    return std::uint64_t{Exif::DataLength(Exif::Num16(e.DataType))} * Exif::Num32(e.Count);
}

inline bool SameRecord(const Exif::IFDRec& a, const Exif::IFDRec& b) {
    return a.ID == b.ID && a.DataType == b.DataType && a.Count == b.Count && a.IDX == b.IDX &&
           a.Offset == b.Offset && a.Raw == b.Raw;
}

// The tables as the writer puts them into a file: entries of no field type and without a value
// gone, sorted, the first of several entries with one tag kept (the Interoperability table goes
// out as it is). Pointer entries are left out, since their values are the new offsets, and so
// are the thumbnail's offsets in the 1st IFD and the pointers to private directories (left out
// by the writer when their directories cannot stay in place). Uses the byte order currently in
// Exif::BO.
inline Tables AsWritten(Tables t) {
    for (Exif::IFDTable* table : TableList(t))
        std::erase_if(*table, [](const Exif::IFDRec& e) { return !Exif::HasFieldType(e); });
    for (Exif::IFDTable* table : {&t.ifd0, &t.ifdX, &t.ifdG, &t.ifd1})
        Exif::CleanIFD(*table);
    for (Exif::IFDTable* table : TableList(t))
        std::erase_if(*table, [](const Exif::IFDRec& e) { return Exif::IsPointerTag(e.IDX); });
    const char marks[] = {'0', 'X', 'G', 'I', '1'};
    const std::vector<Exif::IFDTable*> tables = TableList(t);
    for (int k = 0; k < 5; ++k)
        std::erase_if(*tables[k], [mk = marks[k]](const Exif::IFDRec& e) {
            return Exif::IsPrivateDirectoryEntry(e, mk);
        });
    std::erase_if(t.ifd1, [](const Exif::IFDRec& e) { return e.IDX == 0x0201 || e.IDX == 0x0111; });
    // What goes into the file for a value of at most 4 bytes is the value field; for a longer
    // value, its bytes, padded with zeros to the length the type and count give.
    for (Exif::IFDTable* table : TableList(t))
        for (Exif::IFDRec& e : *table) {
            const std::uint64_t length = ValueLength(e);
            if (length <= 4) {
                e.Raw.clear();
            } else {
                e.Offset = 0;
                if (length <= (std::uint64_t{1} << 20))
                    e.Raw.resize(length);
            }
        }
    return t;
}

inline std::string Hex(std::span<const std::uint8_t> bytes, std::size_t max = 32) {
    std::string out;
    char buf[4];
    for (std::size_t i = 0; i < bytes.size() && i < max; ++i) {
        std::snprintf(buf, sizeof buf, "%02X", bytes[i]);
        out += buf;
    }
    if (bytes.size() > max)
        out += "...";
    return out;
}

// Describes the first difference between two tables (already brought into written form).
inline std::string TableDifference(const char* name, const Exif::IFDTable& a,
                                   const Exif::IFDTable& b) {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        if (SameRecord(a[i], b[i]))
            continue;
        char buf[256];
        std::snprintf(buf, sizeof buf,
                      "%s entry %zu: tag 0x%04X type %u count %u field %08X raw %zu bytes [%s] "
                      "became tag 0x%04X type %u count %u field %08X raw %zu bytes [%s]",
                      name, i, a[i].IDX, Exif::Num16(a[i].DataType), Exif::Num32(a[i].Count),
                      a[i].Offset, a[i].Raw.size(), Hex(a[i].Raw, 16).c_str(), b[i].IDX,
                      Exif::Num16(b[i].DataType), Exif::Num32(b[i].Count), b[i].Offset,
                      b[i].Raw.size(), Hex(b[i].Raw, 16).c_str());
        return buf;
    }
    if (a.size() != b.size()) {
        const Exif::IFDTable& longer = a.size() > b.size() ? a : b;
        char buf[160];
        std::snprintf(buf, sizeof buf, "%s has %zu entries before, %zu after; first extra tag 0x%04X",
                      name, a.size(), b.size(), longer[n].IDX);
        return buf;
    }
    return {};
}

inline std::string TablesDifferenceExact(Tables a, Tables b) {
    const auto la = TableList(a), lb = TableList(b);
    for (int k = 0; k < 5; ++k) {
        std::string d = TableDifference(kTableNames[k], *la[k], *lb[k]);
        if (!d.empty())
            return d;
    }
    return {};
}

inline bool Empty(const Tables& t) {
    return t.ifd0.empty() && t.ifdX.empty() && t.ifdG.empty() && t.ifdI.empty() && t.ifd1.empty();
}

// The difference between the tables a save wrote (`expected`, in written form) and those read
// back from the saved file (`got`, as read). A save whose tables are all empty writes no EXIF
// block, and such a file reads back with the tables of a new block instead.
inline std::string TablesDifference(Tables expected, Tables got) {
    if (Empty(expected))
        return {};
    return TablesDifferenceExact(std::move(expected), AsWritten(std::move(got)));
}

// --- JPEG segments -------------------------------------------------------------------------------

struct Segment {
    std::uint8_t code = 0;  // the byte after FF
    std::size_t begin = 0;  // the FF of the marker
    std::size_t end = 0;    // one past the segment
};

// The segments from SOI up to the first start-of-scan marker, walked the way the JPEG format
// defines it: FF fill bytes before a marker are skipped, every marker but SOS carries a
// big-endian length that counts itself. `clean` is set when the walk reaches an SOS without
// meeting anything it cannot read (no SOI, a byte where a marker should be, a marker without
// a length, a length that does not fit).
struct Walk {
    bool clean = false;
    std::size_t sos = 0;
    std::vector<Segment> segments;
};

inline Walk WalkJpeg(std::span<const std::uint8_t> b) {
    Walk w;
    if (b.size() < 2 || b[0] != 0xFF || b[1] != 0xD8)
        return w;
    std::size_t p = 2;
    while (p + 1 < b.size()) {
        if (b[p] != 0xFF)
            return w;
        std::size_t q = p;
        while (q + 1 < b.size() && b[q + 1] == 0xFF)
            ++q; // fill bytes
        if (q + 1 >= b.size())
            return w;
        const std::uint8_t code = b[q + 1];
        if (code == 0xDA) {
            if (q + 4 > b.size())
                return w; // a scan header needs at least its length
            w.sos = q;
            w.clean = true;
            return w;
        }
        // Markers that stand alone have no place before the scan.
        if (code == 0x00 || code == 0x01 || (code >= 0xD0 && code <= 0xD9))
            return w;
        if (q + 4 > b.size())
            return w;
        const std::size_t length = (std::size_t{b[q + 2]} << 8) | b[q + 3];
        if (length < 2 || q + 2 + length > b.size())
            return w;
        w.segments.push_back({code, q, q + 2 + length});
        p = q + 2 + length;
    }
    return w;
}

// An APP1 segment the engine takes for EXIF: "Exif" right after the length.
inline bool IsExifApp1(std::span<const std::uint8_t> b, const Segment& s) {
    return s.code == 0xE1 && s.end - s.begin >= 10 && b[s.begin + 4] == 'E' &&
           b[s.begin + 5] == 'x' && b[s.begin + 6] == 'i' && b[s.begin + 7] == 'f';
}

inline bool ContainsText(std::span<const std::uint8_t> b, std::string_view text) {
    return std::string_view(reinterpret_cast<const char*>(b.data()), b.size()).find(text) !=
           std::string_view::npos;
}

// A comment segment written by an earlier save.
inline bool IsOurComment(std::span<const std::uint8_t> b, const Segment& s) {
    return s.code == 0xFE && ContainsText(b.subspan(s.begin + 4, s.end - s.begin - 4),
                                          "Modified by geodot");
}

// The comment segment every save puts in front of the kept segments.
inline Bytes FreshComment() {
    const std::string text = "Modified by geodot v0.2.3a";
    Bytes out = {0xFF, 0xFE, 0, static_cast<std::uint8_t>(text.size() + 3)};
    out.insert(out.end(), text.begin(), text.end());
    out.push_back(0);
    return out;
}

// An APP0 segment of JFIF or its JFXX extension, which a save drops.
inline bool IsJfif(std::span<const std::uint8_t> b, const Segment& s) {
    return s.code == 0xE0 && s.end - s.begin >= 8 &&
           (ContainsText(b.subspan(s.begin + 4, 4), "JFIF") ||
            ContainsText(b.subspan(s.begin + 4, 4), "JFXX"));
}

// The source segments a save keeps, in order: all but JFIF, the EXIF APP1 segments and the
// comments of earlier saves.
inline std::vector<Bytes> KeptSegments(std::span<const std::uint8_t> b, const Walk& w) {
    std::vector<Bytes> out;
    for (const Segment& s : w.segments) {
        if (IsJfif(b, s) || IsExifApp1(b, s) || IsOurComment(b, s))
            continue;
        out.emplace_back(b.begin() + s.begin, b.begin() + s.end);
    }
    return out;
}

// Checks the frame of an output: SOI, then (when there is one) an EXIF APP1 segment whose
// length field reaches exactly to the kept tail `trail`, which ends the file. Returns the
// position where the tail starts.
// WriteJpeg: true when it wrote, false when it refused cleanly (with nothing built).
inline bool WriteOrRefuse() {
    try {
        Exif::WriteJpeg();
        return true;
    } catch (const Exif::EngineError& e) {
        if (Exif::ToStream.size() != 0)
            Fail("WriteJpeg refused ('%s') but left %llu bytes in ToStream", e.what(),
                 static_cast<unsigned long long>(Exif::ToStream.size()));
        return false;
    }
}

inline std::size_t CheckFrame(std::span<const std::uint8_t> out, std::span<const std::uint8_t> trail) {
    if (out.size() < 2 || out[0] != 0xFF || out[1] != 0xD8)
        Fail("output does not start with SOI (%zu bytes: %s)", out.size(), Hex(out, 8).c_str());
    std::size_t tail = 2;
    if (out.size() >= 4 && out[2] == 0xFF && out[3] == 0xE1 &&
        out.size() - 2 != trail.size()) {
        if (out.size() < 12)
            Fail("output APP1 cut short: %zu bytes", out.size());
        const std::size_t length = (std::size_t{out[4]} << 8) | out[5];
        if (length < 8 || !std::equal(out.begin() + 6, out.begin() + 12,
                                      std::string_view("Exif\0\0", 6).begin()))
            Fail("output APP1 length %zu or identifier %s wrong", length,
                 Hex(out.subspan(6, 6)).c_str());
        tail = 4 + length;
    }
    if (tail > out.size() || out.size() - tail != trail.size())
        Fail("output APP1 ends at %zu but the kept tail of %zu bytes needs it to end at %zu "
             "(output %zu bytes)",
             tail, trail.size(), out.size() - trail.size(), out.size());
    if (!std::equal(trail.begin(), trail.end(), out.begin() + static_cast<std::ptrdiff_t>(tail)))
        Fail("output does not end with the kept tail");
    return tail;
}

// Checks what follows the EXIF block of an output made from a source whose walk is clean:
// the fresh comment, the kept segments in order, then the source's bytes from its first SOS
// (all of them, or with `mayDropAfterEOI` a prefix ending with an end-of-image marker).
inline void CheckTail(std::span<const std::uint8_t> src, const Walk& srcWalk,
                      std::span<const std::uint8_t> out, std::size_t tail, bool mayDropAfterEOI) {
    const Bytes comment = FreshComment();
    if (out.size() - tail < comment.size() ||
        !std::equal(comment.begin(), comment.end(), out.begin() + static_cast<std::ptrdiff_t>(tail)))
        Fail("the output's tail does not start with the fresh comment: %s",
             Hex(out.subspan(tail, std::min<std::size_t>(32, out.size() - tail))).c_str());
    std::size_t p = tail + comment.size();
    const std::vector<Bytes> kept = KeptSegments(src, srcWalk);
    for (std::size_t i = 0; i < kept.size(); ++i) {
        const Bytes& s = kept[i];
        if (out.size() - p < s.size() ||
            !std::equal(s.begin(), s.end(), out.begin() + static_cast<std::ptrdiff_t>(p)))
            Fail("kept segment %zu of %zu (marker FF%02X, %zu bytes) is not where expected "
                 "at output offset %zu",
                 i, kept.size(), s[1], s.size(), p);
        p += s.size();
    }
    const auto srcScan = src.subspan(srcWalk.sos);
    const auto outScan = out.subspan(p);
    if (outScan.size() < 2 || outScan[0] != 0xFF || outScan[1] != 0xDA)
        Fail("no SOS after the kept segments at output offset %zu: %s", p,
             Hex(outScan, 8).c_str());
    if (outScan.size() == srcScan.size() &&
        std::equal(outScan.begin(), outScan.end(), srcScan.begin()))
        return;
    const bool prefix = outScan.size() < srcScan.size() &&
                        std::equal(outScan.begin(), outScan.end(), srcScan.begin());
    if (mayDropAfterEOI && prefix && outScan.size() >= 4 && outScan[outScan.size() - 2] == 0xFF &&
        outScan[outScan.size() - 1] == 0xD9)
        return;
    std::size_t diff = 0;
    while (diff < outScan.size() && diff < srcScan.size() && outScan[diff] == srcScan[diff])
        ++diff;
    Fail("scan data differs: source %zu bytes from SOS at %zu, output %zu bytes from SOS at %zu; "
         "first difference at +%zu",
         srcScan.size(), srcWalk.sos, outScan.size(), p, diff);
}

} // namespace fuzzsupport

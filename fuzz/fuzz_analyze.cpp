// Reading arbitrary bytes: the analysis must not crash, must decode no directory twice, must
// not make any single allocation larger than a bound linear in the input, and must give the
// same listing and tables when run again on the same bytes (checked for one input in four).
//
// The last byte of the input (XOR D9, so that a file ending with an end-of-image marker reads
// with the default options) selects the options that change how values are read: bit 0 turns
// Ambiguous on, bits 1-3 pick TranscodeFm (0: SJIS, 1: JIS, 2: UTF8,
// 3: EUC, 4: UNICODE, else SJIS).

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <utility>

#include "FuzzSupport.h"

using namespace fuzzsupport;

namespace {

// The repeated analysis is compared with digests of what the first left behind, since copying
// the listing and the tables costs more than the analysis itself.
std::uint64_t listingDigest() {
    Digest d;
    d.addValue(Exif::ExifStrings.size());
    for (const std::u16string& line : Exif::ExifStrings) {
        d.addValue(line.size());
        d.add(line.data(), line.size() * sizeof(char16_t));
    }
    return d.value;
}

std::uint64_t trailDigest() {
    const Bytes trail = Exif::TrailStream.toVector();
    Digest d;
    d.addValue(trail.size());
    d.add(trail.data(), trail.size());
    return d.value;
}

// What an analysis left in the engine.
struct Result {
    Analysis analysis;
    std::size_t lines = 0;
    std::uint64_t listing = 0, tables = 0, trail = 0;
    std::vector<std::uint64_t> directories;
};

// What the engine holds after an analysis, in digests.
Result held(Analysis analysis) {
    Result r;
    r.analysis = std::move(analysis);
    r.lines = Exif::ExifStrings.size();
    r.listing = listingDigest();
    r.tables = EngineTablesDigest();
    r.trail = trailDigest();
    r.directories = Exif::DecodedDirectories;
    return r;
}

// Analyses the bytes again and compares what the engine holds then with the first result.
void checkRepeat(const Result& first, const std::uint8_t* data, std::size_t size) {
    const Result again = held(Analyze({data, size}));
    if (first.analysis.threw != again.analysis.threw || first.analysis.error != again.analysis.error ||
        first.analysis.jpeg != again.analysis.jpeg)
        Fail("second analysis ended differently: threw %d/%d jpeg %d/%d error '%s' / '%s'",
             first.analysis.threw, again.analysis.threw, first.analysis.jpeg, again.analysis.jpeg,
             first.analysis.error.c_str(), again.analysis.error.c_str());
    if (first.listing != again.listing)
        Fail("second analysis gave another listing: %zu vs %zu lines", first.lines, again.lines);
    if (first.tables != again.tables)
        Fail("second analysis gave other tables");
    if (first.directories != again.directories)
        Fail("second analysis decoded other directories");
    if (first.trail != again.trail)
        Fail("second analysis kept another tail");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetProgramIdentity();
    InstallAllocationLimit();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ReleaseAtEnd releaseEngine;
    const std::uint8_t selector = size > 0 ? data[size - 1] ^ 0xD9 : 0;
    Options options;
    options.ambiguous = selector & 1;
    static constexpr const char* kFm[8] = {"SJIS", "JIS", "UTF8", "EUC", "UNICODE",
                                           "SJIS", "SJIS", "SJIS"};
    options.transcodeFm = kFm[(selector >> 1) & 7];
    options.apply();

    // The listing renders an UNDEFINED value as "XX," per byte in UTF-16 (6 bytes per byte) and
    // strings may hold up to twice what they use, but every value lies inside one APP1 segment
    // (at most 64 KiB), which the constant term covers. A bound of 8 bytes per input byte plus
    // 1 MiB thus holds for any input that does not make the engine multiply its data.
    const AllocationLimit limit(8 * size + (std::size_t{1} << 20));
    const Analysis analysis = Analyze({data, size});
    std::set<std::uint64_t> seen;
    for (std::uint64_t d : Exif::DecodedDirectories)
        if (!seen.insert(d).second)
            Fail("directory at FmStream offset %llu decoded twice (%zu directories decoded)",
                 static_cast<unsigned long long>(d), Exif::DecodedDirectories.size());
    Exif::ListingText(Exif::ExifStrings); // as the window and geodot-cli show it

    // Analysing again doubles the cost of an input, so one input in four is analysed twice,
    // chosen by its bytes so that a reproducer replays the same way; the digests of what the
    // first analysis left are taken only then. What one analysis leaves behind for the next
    // shows on any input that reaches the same code.
    Digest input;
    input.add(data, size);
    if (input.value % 4 == 0)
        checkRepeat(held(analysis), data, size);
    return 0;
}

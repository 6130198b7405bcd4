// Saving without an edit: WriteJpeg either refuses (an EXIF block too large for one segment,
// with nothing left in ToStream) or builds a file that
//  - starts with SOI and an EXIF APP1 segment whose length field reaches exactly to the kept
//    tail of the source,
// and, when the source's segments can be walked up to its first SOS,
//  - carries the fresh comment, then the source's segments other than JFIF, EXIF APP1 and
//    earlier comments of ours, in order, then every byte of the source from its first SOS;
//  - reads back without error, with the same entries in every directory;
//  - comes out byte for byte the same when it is read and saved again.
//
// The last byte of the input (XOR D9) selects options: bit 0 turns Essential off.

#include <cstddef>
#include <cstdint>

#include "FuzzSupport.h"

using namespace fuzzsupport;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    SetProgramIdentity();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const ReleaseAtEnd releaseEngine;
    const std::span<const std::uint8_t> src(data, size);
    const std::uint8_t selector = size > 0 ? data[size - 1] ^ 0xD9 : 0;
    Options options;
    options.essential = !(selector & 1);
    options.apply();

    const Analysis a = Analyze(src);
    if (a.threw || !a.jpeg)
        return 0;
    Tables expected = AsWritten(Snapshot());

    if (!WriteOrRefuse())
        return 0;
    const Bytes out = Exif::ToStream.toVector();
    const Bytes trail = Exif::TrailStream.toVector();
    const std::size_t tail = CheckFrame(out, trail);

    const Walk walk = WalkJpeg(src);
    if (!walk.clean)
        return 0; // a broken structure: the frame check above is all that can be said
    CheckTail(src, walk, out, tail, false);

    const Analysis b = Analyze(out);
    if (b.threw || !b.jpeg)
        Fail("the saved file does not read back: threw %d jpeg %d '%s'", b.threw, b.jpeg,
             b.error.c_str());
    const std::string difference = TablesDifference(std::move(expected), Snapshot());
    if (!difference.empty())
        Fail("the saved file reads back with other entries: %s", difference.c_str());

    try {
        Exif::WriteJpeg();
    } catch (const Exif::EngineError& e) {
        Fail("saving the saved file again was refused: %s", e.what());
    }
    const Bytes again = Exif::ToStream.toVector();
    if (again != out) {
        std::size_t i = 0;
        while (i < out.size() && i < again.size() && out[i] == again[i])
            ++i;
        Fail("saving the saved file again gives other bytes: %zu vs %zu bytes, first difference "
             "at %zu",
             out.size(), again.size(), i);
    }
    return 0;
}

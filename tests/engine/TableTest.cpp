#include <gtest/gtest.h>

#include <cmath>

#include "Exif.h"
#include "support/EngineTest.h"

using namespace Exif;
using namespace std::string_literals;

namespace {

class TableRoutines : public testsupport::EngineTest {};

IFDRec entry(std::uint16_t tag, std::uint32_t count = 1) {
    IFDRec r;
    r.ID = tag;
    r.IDX = tag;
    r.Count = count;
    return r;
}

TEST_F(TableRoutines, SortKeepsTheFirstOfDuplicateTagsInAscendingOrder) {
    // The count tells the entries of one tag apart: the survivor must be the one that came
    // first, whether the table was out of order or in order with its duplicates side by side.
    const struct {
        IFDTable table;
        std::vector<std::uint16_t> tags;
        std::vector<std::uint32_t> counts;
    } cases[] = {
        {{entry(0x0110, 1), entry(0x010F, 1), entry(0x0110, 2), entry(0x0100, 1)},
         {0x0100, 0x010F, 0x0110}, {1, 1, 1}},
        {{entry(0x0100, 1), entry(0x0100, 2), entry(0x0101, 3)}, {0x0100, 0x0101}, {1, 3}},
        {{entry(0x0102, 1), entry(0x0101, 2), entry(0x0101, 3), entry(0x0100, 4), entry(0x0102, 5)},
         {0x0100, 0x0101, 0x0102}, {4, 2, 1}},
        {{}, {}, {}},
    };
    for (const auto& c : cases) {
        IFDTable t = c.table;
        SortIFD(t);
        EXPECT_EQ(tags(t), c.tags);
        std::vector<std::uint32_t> counts;
        for (const IFDRec& e : t)
            counts.push_back(e.Count);
        EXPECT_EQ(counts, c.counts);
    }
}

TEST_F(TableRoutines, CleanDropsZeroCountsReadInTheFileByteOrder) {
    IFDTable allEmpty = {entry(1, 0), entry(2, 0)};
    CleanIFD(allEmpty);
    EXPECT_TRUE(allEmpty.empty());

    BO = kBigEndian;
    // The bytes 00 00 00 01 of a big-endian count, read little-endian, are 0x01000000.
    IFDTable big = {entry(5, 0x01000000), entry(3, 0)};
    CleanIFD(big);
    EXPECT_EQ(tags(big), (std::vector<std::uint16_t>{5}));
}

TEST_F(TableRoutines, AppendStoresFieldsInTheFileByteOrder) {
    BO = kBigEndian;
    IFDTable t;
    AppendIFD(t, 0x0112, 3, 1, 0);
    EXPECT_EQ(t[0].ID, 0x1201);         // bytes 01 12
    EXPECT_EQ(t[0].DataType, 0x0300);   // bytes 00 03
    EXPECT_EQ(t[0].Count, 0x01000000u); // bytes 00 00 00 01
    EXPECT_EQ(t[0].IDX, 0x0112);
    EXPECT_TRUE(t[0].Raw.empty());
}

TEST_F(TableRoutines, ByteOrderAndSizeHelpers) {
    EXPECT_EQ(MM4(0x78563412u), 0x12345678u);
    EXPECT_EQ(MM2(0xD8FF), 0xFFD8);
    EXPECT_EQ(DataLength(0), 0);
    EXPECT_EQ(DataLength(13), 0);
    EXPECT_EQ(DataLength(RATIONAL), 8);
    EXPECT_EQ(DataLength(0xFFFF), 0);
}

TEST_F(TableRoutines, RoundoffRoundsHalvesAwayFromZeroAndRefusesOutOfRange) {
    const struct {
        double x;
        int expected;
    } cases[] = {{2.5, 3}, {-2.5, -3}, {0.49, 0}, {0.5, 1}, {-0.5, -1}, {2147483647.4, 2147483647}};
    for (const auto& c : cases)
        EXPECT_EQ(Roundoff(c.x), c.expected) << c.x;
    for (double bad : {2147483647.5, -2147483648.6, 1e300, std::nan("")})
        EXPECT_THROW(Roundoff(bad), EngineError) << bad;
}

TEST_F(TableRoutines, ListingTextBreaksLinesAtCrLfAndEndsThemAtNul) {
    const Listing lines = {u"Byte Order=$4949 (x)\r\n", u"<< 0th IFD >>", u"Make=Canon\0junk"s,
                           u"Flash=\r\n\tA\r\n\tB", u"\r\n", u"<< 1st IFD >>"};
    EXPECT_EQ(ListingText(lines), u"Byte Order=$4949 (x)\n\n<< 0th IFD >>\nMake=Canon\n"
                                  u"Flash=\n\tA\n\tB\n\n\n<< 1st IFD >>");
}

} // namespace

#pragma once

#include <gtest/gtest.h>

#include "Exif.h"
#include "ExifDetails.h"
#include "support/JpegBuilder.h"

namespace testsupport {

// Every test starts from a fresh engine with the default options, as a new process would.
class EngineTest : public ::testing::Test {
protected:
    void SetUp() override {
        Exif::ResetEngine();
        Exif::TranscodeTo = "UNICODE";
        Exif::TranscodeFm = "SJIS";
        Exif::Ambiguous = false;
        Exif::Essential = true;
        Exif::AfterEOI = true;
        ExifDetails::PrepareRegistersForOpen({});
    }

    // Loads the bytes as the source file and analyses them.
    static bool analyze(const Bytes& file) {
        Exif::ResetEngine();
        Exif::FmStream.assign(file);
        return Exif::AnalyzeExif();
    }

    static std::vector<std::uint16_t> tags(const Exif::IFDTable& table) {
        std::vector<std::uint16_t> out;
        for (const auto& rec : table)
            out.push_back(rec.IDX);
        return out;
    }

    static const Exif::IFDRec* find(const Exif::IFDTable& table, std::uint16_t tag) {
        for (const auto& rec : table)
            if (rec.IDX == tag)
                return &rec;
        return nullptr;
    }

    static std::string utf8(const std::u16string& s);
    // The listing as a page shows it, in UTF-8.
    static std::string listing();
};

} // namespace testsupport

// Small helpers for the area, polygon and point-of-interest converter tests: a
// byte builder for hand-made source files and expected outputs, and a runner that
// expects a converter to end the run through a report.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "formats/little_endian.h"
#include "formats/map_container.h"
#include "formats/names.h"
#include "formats/source_disc.h"
#include "mapferry/convert/file_services.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/renumbering.h"
#include "platform/kernel/kernel.h"
#include "platform/kernel/paths.h"
#include "tests/support/temp_root.h"
#include "tests/support/test_files.h"

namespace areas_fixture {

// Little-endian bytes, appended field by field.
class Bytes {
  public:
    Bytes& Text(std::string_view text) {
        data_.insert(data_.end(), text.begin(), text.end());
        return *this;
    }
    Bytes& U8(uint32_t value) {
        data_.push_back(static_cast<uint8_t>(value));
        return *this;
    }
    Bytes& U16(uint32_t value) {
        U8(value);
        return U8(value >> 8);
    }
    Bytes& U32(uint32_t value) {
        U16(value & 0xFFFF);
        return U16(value >> 16);
    }
    Bytes& I32(int32_t value) { return U32(static_cast<uint32_t>(value)); }
    Bytes& F32(float value) {
        uint8_t bytes[4];
        formats::StoreF32(bytes, value);
        data_.insert(data_.end(), bytes, bytes + 4);
        return *this;
    }
    Bytes& Raw(const std::vector<uint8_t>& bytes) {
        data_.insert(data_.end(), bytes.begin(), bytes.end());
        return *this;
    }
    size_t Size() const { return data_.size(); }
    const std::vector<uint8_t>& Data() const { return data_; }
    std::string String() const { return std::string(data_.begin(), data_.end()); }

  private:
    std::vector<uint8_t> data_;
};

inline bool Exists(const std::u16string& path) {
    return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

// The source and temporary folders of a converter test, on the desktop side.
inline constexpr const char16_t* kSource = u"C:\\Disc\\CD1\\mapdata";
inline constexpr const char16_t* kTemp = u"C:\\Temp\\tmp7";

inline std::u16string SourcePath(const char16_t* name) {
    return std::u16string(kSource) + u"\\" + name;
}
inline std::u16string TempPath(const char16_t* name) {
    return std::u16string(kTemp) + u"\\" + name;
}

class ConverterTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::ClearMessageBoxes();
        g_internalErrorFlag.store(0);
        g_cancelFlag.store(0);
        ASSERT_TRUE(CreateFolderPath(kTemp, 0) || LocalFileExists(kTemp));
        SetTemporaryFolder(kTemp);
    }
    void TearDown() override {
        platform::ClearWriteFailure();
        SetTemporaryFolder(u"");
        g_cancelFlag.store(0);
        platform::SetCurrentSide(platform::Side::Device);
    }

    // Runs a converter step that must end the run, and expects it to end through
    // the exit hook after exactly one message box with `text`, with the error flag
    // set and the temporary folder deleted.
    static void ExpectReport(const std::function<void()>& step, const std::u16string& text) {
        platform::ClearMessageBoxes();
        CreateFolderPath(kTemp, 0);
        bool ended = false;
        try {
            step();
        } catch (const platform::ProcessExit& exit) {
            ended = true;
            EXPECT_EQ(exit.exitCode, kReportExitCode);
        }
        EXPECT_TRUE(ended) << "the step returned";
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_EQ(boxes.size(), 1u);
        EXPECT_EQ(boxes[0].text, text);
        EXPECT_EQ(g_internalErrorFlag.load(), 1);
        EXPECT_FALSE(Exists(kTemp)) << "the temporary folder is left";
        g_internalErrorFlag.store(0);
    }

    static std::u16string InternalError(int line) {
        return u"Internal error line " + platform::AnsiToWide(std::to_string(line)) +
               u" Please contact technical support";
    }
};

// ---- Whole discs from the data disc builder ----------------------------------------

inline std::string HostFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline formats::map_container::GridHeader HeadOf(const std::string& bytes, size_t at = 0) {
    EXPECT_GE(bytes.size(), at + formats::map_container::kHeaderSize);
    if (bytes.size() < at + formats::map_container::kHeaderSize) {
        return {};
    }
    return formats::map_container::DecodeHeader(reinterpret_cast<const uint8_t*>(bytes.data()) +
                                                at);
}

// A disc built by the data disc builder, chosen whole, with the tables the name and
// link information converters would hand on when every name and address record is
// kept: names in "names.raw" order behind the device index, address records at
// made-up increasing offsets.
struct WholeDisc {
    std::u16string disc1;  // "mapdata" of disc 1: "az.raw", "azbc.raw"
    std::u16string disc3;  // "mapdata" of disc 3: "polygons.raz", "poi.raw"
    CMapCut cut;
    NameOffsetTable names;
    LinkInfoOffsetTable links;
    formats::map_container::GridHeader detailed;
};

inline void ChooseWholeLayer(CMapCut& cut, int layer,
                             const formats::map_container::GridHeader& grid) {
    cut.m_window[layer] = {0, grid.columns, 0, grid.rows};
    BinRange range;
    range.firstRow = 0;
    range.rowCount = grid.rows;
    range.spans.assign(static_cast<size_t>(grid.rows), ColumnSpan{0, grid.columns});
    cut.m_binRanges[layer] = {range};
}

// The disc under `out` (built by the caller) chosen whole.
inline WholeDisc ChooseWholeDisc(const std::filesystem::path& out) {
    namespace sd = formats::source_disc;
    WholeDisc disc;
    disc.disc1 = platform::HostPathText(out / "CD1" / "mapdata");
    disc.disc3 = platform::HostPathText(out / "CD3" / "mapdata");
    const std::string mh = HostFile(out / "mh.ini");
    disc.detailed = HeadOf(mh, formats::map_container::kHeaderSize);
    ChooseWholeLayer(disc.cut, sd::kLayerOverview, HeadOf(mh));
    ChooseWholeLayer(disc.cut, sd::kLayerDetailed, disc.detailed);
    ChooseWholeLayer(disc.cut, sd::kLayerPolygons,
                     HeadOf(HostFile(out / "CD3" / "mapdata" / "polygons.raz")));

    const std::string az = HostFile(out / "CD1" / "mapdata" / "az.raw");
    const uint32_t areas =
        az.size() >= 6 ? formats::LoadU16(reinterpret_cast<const uint8_t*>(az.data()) + 4) : 0;
    for (uint32_t entry = 0; entry < areas; ++entry) {
        disc.cut.m_chosen.push_back(entry);
        disc.cut.m_whollyChosen.push_back(entry);
        disc.cut.m_whollyChosenPositions.push_back(entry);
    }

    const std::string names = HostFile(out / "CD1" / "mapdata" / "names.raw");
    uint32_t offset = static_cast<uint32_t>(formats::names::kDeviceNamesOffset);
    for (size_t at = 4; at < names.size(); at += 1 + static_cast<uint8_t>(names[at])) {
        disc.names.push_back(offset);
        offset += 1 + static_cast<uint8_t>(names[at]);
    }

    const std::string linkInfo = HostFile(out / "CD1" / "mapdata" / "linkinfo.raz");
    const auto* bytes = reinterpret_cast<const uint8_t*>(linkInfo.data());
    const uint32_t entries = linkInfo.size() >= 8 ? formats::LoadU32(bytes + 4) : 0;
    uint64_t records = 0;
    for (uint32_t e = 0; e < entries && 8 + 8 * (e + 1) <= linkInfo.size(); ++e) {
        records += formats::LoadU32(bytes + 8 + 8 * e + 4);
    }
    for (uint64_t n = 0; n < records; ++n) {
        disc.links.push_back(static_cast<uint32_t>(16 + 40 * n));
    }
    return disc;
}

}  // namespace areas_fixture

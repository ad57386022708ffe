#include "mapferry/convert/polygon_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/source_disc.h"
#include "tests/mapferry/convert/disc_fixture_areas.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"

namespace {

using areas_fixture::Bytes;
using areas_fixture::ConverterTest;
using areas_fixture::SourcePath;
using areas_fixture::TempPath;
using testing_support::ReadTestFile;
using testing_support::WriteTestFile;
constexpr int kLayer = formats::source_disc::kLayerPolygons;

Bytes& Head(Bytes& b, int32_t firstColumn, int32_t firstRow, int32_t columns, int32_t rows) {
    return b.Text("PY00")
        .F32(-100.0f)
        .F32(45.0f)
        .I32(firstColumn)
        .I32(firstRow)
        .I32(columns)
        .I32(rows)
        .F32(0.04f)
        .F32(0.04f);
}

// A 3 x 2 source grid starting at column 4, row 7; cells 1 and 4 are empty, the
// last cell runs to the end of the file. The blocks are copied without being
// inflated, so any bytes do.
std::string PolygonsRaz() {
    Bytes b;
    Head(b, 4, 7, 3, 2);
    b.U32(60).U32(0).U32(64).U32(70).U32(0).U32(72);  // 36
    b.Text("AAAA").Text("BBBBBB").Text("CC").Text("DDD");
    return b.String();
}

BinRange Range(int32_t firstRow, std::vector<ColumnSpan> spans, uint32_t reduced = 0) {
    BinRange range;
    range.reducedDetail = reduced;
    range.firstRow = firstRow;
    range.rowCount = static_cast<int32_t>(spans.size());
    range.spans = std::move(spans);
    return range;
}

class PolygonFileTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        cut_.m_window[kLayer] = {0, 3, 0, 2};
    }
    std::string Convert() {
        CPolygonsConverter converter(cut_);
        EXPECT_EQ(converter.ReadSource(areas_fixture::kSource), 0);
        EXPECT_EQ(converter.Write(areas_fixture::kSource, areas_fixture::kTemp), 0);
        return ReadTestFile(TempPath(u"polygons.biz"));
    }
    CMapCut cut_;
};

TEST_F(PolygonFileTest, MarkedCellsAreCopiedOnceUpToTheNextCellOrTheEnd) {
    WriteTestFile(SourcePath(u"polygons.raz"), PolygonsRaz());
    cut_.m_binRanges[kLayer] = {
        Range(0, {{1, 2}, {1, 2}}),     // cells 1, 2, 4, 5
        Range(1, {{2, 1}}),             // cell 5 again
        Range(0, {{0, 1}, {0, 1}}, 1),  // reduced detail: no polygons
    };
    Bytes expected;
    Head(expected, 4, 7, 3, 2);
    expected.U32(0).U32(0).U32(60).U32(0).U32(0).U32(66);
    expected.Text("BBBBBB").Text("DDD");
    EXPECT_EQ(Convert(), expected.String());
}

TEST_F(PolygonFileTest, CopyCellDataCopiesOneCellOrRefuses) {
    WriteTestFile(SourcePath(u"polygons.raz"), PolygonsRaz());  // 75 bytes
    struct Case {
        std::vector<uint32_t> table;
        uint32_t index;
        int result;
        std::string copied;
    };
    const std::vector<uint32_t> table = {60, 0, 64, 70, 0, 72};
    const Case cases[] = {
        {table, 0, 0, "AAAA"},       {table, 2, 0, "BBBBBB"},  // up to the next non-zero offset
        {table, 5, 0, "DDD"},         // the last cell runs to the end of the file
        {table, 1, 1, ""},            // an empty cell
        {table, 6, 1, ""},            // beyond the table
        {{60, 0, 75, 70}, 2, 1, ""},  // offsets out of order
        {{60, 0, 80}, 2, 1, ""},      // the last cell begins beyond the file
        {{60, 0, 64, 90}, 2, 1, ""},  // the next cell begins beyond the file
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.table.size() << " cells, index " << c.index);
        CFile source;
        CFile destination;
        ASSERT_TRUE(source.Open(SourcePath(u"polygons.raz").c_str(), CFile::modeRead));
        ASSERT_TRUE(
            destination.Open(TempPath(u"cell").c_str(), CFile::modeCreate | CFile::modeReadWrite));
        EXPECT_EQ(CopyCellData(c.table.data(), c.index, static_cast<uint32_t>(c.table.size()),
                               source, destination),
                  c.result);
        destination.Close();
        if (c.result == 0) {
            EXPECT_EQ(ReadTestFile(TempPath(u"cell")), c.copied);
        }
    }
}

TEST_F(PolygonFileTest, WindowMovesTheHeadAndClipsTheRanges) {
    WriteTestFile(SourcePath(u"polygons.raz"), PolygonsRaz());
    cut_.m_window[kLayer] = {1, 2, 1, 1};
    cut_.m_binRanges[kLayer] = {Range(0, {{0, 3}, {0, 9}})};  // runs past both grids
    Bytes expected;
    Head(expected, 5, 8, 2, 1);
    expected.U32(0).U32(44);  // cell (1, 1) is empty, (2, 1) the last
    expected.Text("DDD");
    EXPECT_EQ(Convert(), expected.String());
}

TEST_F(PolygonFileTest, NoRangesGiveHeadAndZeroTable) {
    WriteTestFile(SourcePath(u"polygons.raz"), PolygonsRaz());
    Bytes expected;
    Head(expected, 4, 7, 3, 2);
    for (int i = 0; i < 6; ++i) {
        expected.U32(0);
    }
    EXPECT_EQ(Convert(), expected.String());
}

TEST_F(PolygonFileTest, CancelStopsWithoutAFile) {
    WriteTestFile(SourcePath(u"polygons.raz"), PolygonsRaz());
    cut_.m_binRanges[kLayer] = {Range(0, {{0, 3}, {0, 3}})};
    g_cancelFlag.store(1);
    CPolygonsConverter converter(cut_);
    EXPECT_EQ(converter.Write(areas_fixture::kSource, areas_fixture::kTemp), 1);
    EXPECT_FALSE(areas_fixture::Exists(TempPath(u"polygons.biz")));
}

// Damage that the walk meets ends the run: a copy never fails quietly and leaves a
// file that looks finished.
TEST_F(PolygonFileTest, BadSourcesEndInTheirReports) {
    cut_.m_binRanges[kLayer] = {Range(0, {{0, 3}, {0, 3}})};
    const std::string whole = PolygonsRaz();
    auto withCell = [&](int cell, uint32_t offset) {
        std::string source = whole;
        for (int i = 0; i < 4; ++i) {
            source[36 + 4 * cell + i] = static_cast<char>(offset >> (8 * i));
        }
        return source;
    };
    struct Case {
        std::string source;
        std::u16string report;
    };
    const Case cases[] = {
        {"", u"Error opening polygons.raz. " + InternalError(3605)},
        {"PY01" + whole.substr(4), u"Corrupted file: PY00"},
        {whole.substr(0, 30), InternalError(3614)},  // the head
        {whole.substr(0, 50), InternalError(3622)},  // the cell table
        {withCell(5, 200), InternalError(3702)},     // a cell beyond the file
        {withCell(3, 10), InternalError(3702)},      // a cell inside the table
        {withCell(2, 75), InternalError(3702)},      // offsets out of order
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.size());
        if (c.source.empty()) {
            DeleteFileW(SourcePath(u"polygons.raz").c_str());
        } else {
            WriteTestFile(SourcePath(u"polygons.raz"), c.source);
        }
        CPolygonsConverter converter(cut_);
        ExpectReport([&] { converter.Write(areas_fixture::kSource, areas_fixture::kTemp); },
                     c.report);
    }
}

TEST_F(PolygonFileTest, FailedWriteEndsInTheLowDiskSpaceReport) {
    WriteTestFile(SourcePath(u"polygons.raz"), PolygonsRaz());
    cut_.m_binRanges[kLayer] = {Range(0, {{0, 3}, {0, 3}})};
    CPolygonsConverter converter(cut_);
    ASSERT_EQ(converter.ReadSource(areas_fixture::kSource), 0);
    platform::FailWritesAfter(64);
    bool ended = false;
    try {
        converter.Write(areas_fixture::kSource, areas_fixture::kTemp);
    } catch (const platform::ProcessExit&) {
        ended = true;
    }
    platform::ClearWriteFailure();
    EXPECT_TRUE(ended);
    EXPECT_EQ(g_internalErrorFlag.load(), 1);
    EXPECT_FALSE(areas_fixture::Exists(areas_fixture::kTemp));
}

}  // namespace

namespace {

class PolygonDiscTest : public testing_support::RootsTest {};

// Chosen whole, the file is its source: the blocks lie back to back in table order,
// so every offset stays where it was.
TEST_F(PolygonDiscTest, WholeTownDiscCopiesTheSourceUnchanged) {
    discmaker::Network town = discmaker::BuildTown(5, 300);
    const std::filesystem::path out = roots_.base() / "disc";
    discmaker::BuildDiscs(town, out);
    const areas_fixture::WholeDisc disc = areas_fixture::ChooseWholeDisc(out);
    std::filesystem::create_directories(roots_.base() / "tmp");
    const std::u16string temp = platform::HostPathText(roots_.base() / "tmp");

    CPolygonsConverter converter(disc.cut);
    ASSERT_EQ(converter.Write(disc.disc3.c_str(), temp.c_str()), 0);
    const std::string source = areas_fixture::HostFile(out / "CD3" / "mapdata" / "polygons.raz");
    ASSERT_GT(source.size(),
              36u + 4u * static_cast<uint32_t>(disc.cut.m_window[kLayer].columnCount *
                                               disc.cut.m_window[kLayer].rowCount));
    EXPECT_TRUE(areas_fixture::HostFile(roots_.base() / "tmp" / "polygons.biz") == source);
}

}  // namespace

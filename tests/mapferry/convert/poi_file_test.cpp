#include "mapferry/convert/poi_file.h"

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "formats/poi.h"
#include "formats/source_disc.h"
#include "mapferry/convert/polygon_file.h"
#include "tests/mapferry/convert/disc_fixture_areas.h"
#include "tests/support/shared_data.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/discmaker/town.h"

namespace {

using areas_fixture::Bytes;
using areas_fixture::ConverterTest;
using areas_fixture::SourcePath;
using areas_fixture::TempPath;
using testing_support::ReadTestFile;
using testing_support::WriteTestFile;
namespace poi = formats::poi;
namespace container = formats::map_container;

using Nine = std::array<uint32_t, poi::kCategoryCount>;

Bytes& Head(Bytes& b, const char* magic, int32_t firstColumn, int32_t columns, int32_t rows,
            int32_t names, uint32_t phoneTable, int32_t phones, Nine counts, Nine bytes) {
    b.Text(magic).F32(-100.0f).F32(45.0f).I32(firstColumn).I32(20).I32(columns).I32(rows);
    b.F32(0.04f).F32(0.04f).I32(names).U32(phoneTable).I32(phones);
    for (uint32_t count : counts) {
        b.U32(count);
    }
    for (uint32_t size : bytes) {
        b.U32(size);
    }
    return b;
}

Bytes& CellHeader(Bytes& b, Nine counts, Nine offsets) {
    for (uint32_t count : counts) {
        b.U16(count);
    }
    for (uint32_t offset : offsets) {
        b.U32(offset);
    }
    return b;
}

poi::Record Point(uint32_t nameWord, int32_t phone, uint32_t linkWord, int32_t place) {
    poi::Record record;
    record.nameWord = nameWord;
    record.phone = phone;
    record.linkWord = linkWord;
    record.addressWord = 0x40000000u | 12;
    record.latitude = 45.01f;
    record.longitude = -99.95f;
    record.place = place;
    record.nameLength = 2;
    return record;
}

Bytes& Add(Bytes& b, const poi::Record& record) {
    std::vector<uint8_t> bytes;
    poi::AppendRecord(bytes, record);
    return b.Raw(bytes);
}

std::vector<uint8_t> Phone(const char* text) {
    uint8_t packed[poi::kPhoneEntrySize];
    poi::PackPhone(text, packed);
    return std::vector<uint8_t>(packed, packed + poi::kPhoneEntrySize);
}

constexpr uint32_t kShown = 0xC0000000u;  // display flags of a road word
constexpr uint32_t kKind5 = 5u << 26;

// The points, by their source names (strings AB 0, CD 1, EF 2, GH 3; phones 1 and 2;
// roads 10 to 13; places 0 to 5).
const poi::Record kR0 = Point(1, 2, 10, 0);  // cell (0, 0): outside the cut
const poi::Record kR1 = Point(0 | kKind5, 1, 10 | kShown, 4);
const poi::Record kR2 = Point(1, 2, 11, 4);  // its road is not kept
poi::Record R3() {
    poi::Record record = Point(2, -1, 12, 5);  // -1: no phone
    record.flags = poi::kSecondPlaceFlag;
    record.secondPlace = 3;  // not written
    return record;
}
const poi::Record kR4 = Point(3, 7, 10, 0);  // a city: its phone field is no entry
const poi::Record kR6 = Point(0, 1, 10, 2);  // its place is not written
const poi::Record kR7 = Point(0, 1, 11, 0);  // its road is not kept
const poi::Record kR8 = Point(0, 1, 13, 1);

// A 4 x 2 point grid (columns from 10, rows from 20) of 0.04-degree cells: twice
// the detailed cells.
std::string PoiRaw() {
    Bytes b;
    Head(b, "NPL6", 10, 4, 2, 4, 132, 2, {2, 0, 0, 0, 0, 0, 1, 0, 1}, {6, 0, 0, 0, 0, 0, 3, 0, 3});
    b.Text(std::string("AB\0CD\0EF\0GH\0", 12));                                // 120
    b.U8(0x55).U8(0xE5).U8(0x21).U8(0x43).U8(0xFF).Raw(Phone("123"));           // 555-1234 // 132
    b.U32(174).U32(259).U32(441).U32(526).U32(0).U32(0).U32(0).U32(0);          // 142
    CellHeader(b, {1, 0, 0, 0, 0, 0, 0, 0, 0}, {228, 0, 0, 0, 0, 0, 0, 0, 0});  // 174
    Add(b, kR0);
    CellHeader(b, {2, 0, 0, 0, 0, 0, 1, 0, 1}, {313, 0, 0, 0, 0, 0, 375, 0, 410});  // 259
    Add(b, kR1);
    Add(b, kR2);
    Add(b, R3());
    Add(b, kR4);
    CellHeader(b, {0, 0, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 495, 0, 0, 0, 0});  // 441
    Add(b, kR8);
    CellHeader(b, {1, 1, 0, 0, 0, 0, 0, 0, 0}, {580, 611, 0, 0, 0, 0, 0, 0, 0});  // 526
    Add(b, kR6);
    Add(b, kR7);
    EXPECT_EQ(b.Size(), 642u);
    return b.String();
}

poi::Record Moved(poi::Record record, uint32_t name, int32_t phone, uint32_t link, int32_t place) {
    record.nameWord = (record.nameWord & ~poi::kNameMask) | name;
    record.phone = phone;
    record.linkWord = (record.linkWord & poi::kLinkDisplayMask) | link;
    record.place = place;
    return record;
}

BinRange Range(int32_t firstRow, std::vector<ColumnSpan> spans) {
    BinRange range;
    range.firstRow = firstRow;
    range.rowCount = static_cast<int32_t>(spans.size());
    range.spans = std::move(spans);
    return range;
}

class PoiFileTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        detailed_.cellWidth = detailed_.cellHeight = 0.02f;
        // Detailed rows 0-1 and columns 2-7: point cells 1 to 3 of row 0.
        cut_.m_binRanges[formats::source_disc::kLayerDetailed] = {Range(0, {{2, 6}, {2, 6}})};
        links_.assign(14, kNotRenumbered);
        links_[10] = 5000;
        links_[12] = 6000;
        links_[13] = 7000;
        places_ = {100, 110, kNotRenumbered, kNotRenumbered, 120, 130};
        areas_ = {100, 120, 140};  // the last area has no points
        tables_ = {&links_, &places_, &areas_};
    }
    int Convert() {
        CPoiConverter converter(cut_, detailed_);
        return converter.Convert(areas_fixture::kSource, areas_fixture::kTemp, tables_);
    }
    CMapCut cut_;
    container::GridHeader detailed_;
    LinkInfoOffsetTable links_;
    PlaceOffsetTable places_;
    AreaFirstPlaceTable areas_;
    PoiRenumbering tables_;
};

TEST_F(PoiFileTest, KeptPointsAreRenumberedAndIndexedByArea) {
    WriteTestFile(SourcePath(u"poi.raw"), PoiRaw());
    ASSERT_EQ(Convert(), 0);

    Bytes expected;
    Head(expected, "NPL7", 11, 3, 1, 3, 129, 1, {1, 0, 0, 0, 0, 0, 1, 0, 1},
         {3, 0, 0, 0, 0, 0, 3, 0, 3});
    expected.Text(std::string("AB\0EF\0GH\0", 9));             // 120: CD has no kept point
    expected.U8(0x55).U8(0xE5).U8(0x21).U8(0x43).U8(0xFF);     // 129: "123" neither
    expected.U32(170).U32(321).U32(406);                       // 134: cell table
    expected.U32(460).U32(1).U32(466).U32(1).U32(472).U32(0);  // 146: area table
    // 170: the dropped point of category 0 moves category 6 and 8 up.
    CellHeader(expected, {1, 0, 0, 0, 0, 0, 1, 0, 1}, {224, 0, 0, 0, 0, 0, 255, 0, 290});
    Add(expected, Moved(kR1, 120, 129, 5000, 120));
    poi::Record r3 = Moved(R3(), 123, 0, 6000, 130);  // no phone reads 0
    r3.secondPlace = -1;
    Add(expected, r3);
    Add(expected, Moved(kR4, 126, 7, 5000, 100));                                      // 290
    CellHeader(expected, {0, 0, 0, 0, 1, 0, 0, 0, 0}, {0, 0, 0, 0, 375, 0, 0, 0, 0});  // 321
    Add(expected, Moved(kR8, 120, 129, 7000, 110));
    CellHeader(expected, {}, {});  // 406: every point dropped, counts 0
    expected.U32(0).U16(2);        // 460: area 0 in cells 0 and 1
    expected.U32(0).U16(1);        // 466: area 1 in cell 0
    EXPECT_EQ(ReadTestFile(TempPath(u"poi.bin")), expected.String());
}

TEST_F(PoiFileTest, RunsBreakAtGapsAndAnEmptyCutGivesAnEmptyGrid) {
    WriteTestFile(SourcePath(u"poi.raw"), PoiRaw());
    cut_.m_binRanges[formats::source_disc::kLayerDetailed].clear();
    ASSERT_EQ(Convert(), 0);
    Bytes expected;
    Head(expected, "NPL7", 10, 0, 0, 0, 120, 0, {}, {});
    expected.U32(144).U32(0).U32(144).U32(0).U32(144).U32(0);  // runs would start at 144
    EXPECT_EQ(ReadTestFile(TempPath(u"poi.bin")), expected.String());

    // Cells 1 and 3 only: area 0 has points in output cells 0 and 2, two runs.
    links_[11] = 8000;
    cut_.m_binRanges[formats::source_disc::kLayerDetailed] = {Range(0, {{2, 2}}),
                                                              Range(1, {{6, 2}})};
    ASSERT_EQ(Convert(), 0);
    const std::string bin = ReadTestFile(TempPath(u"poi.bin"));
    const auto* data = reinterpret_cast<const uint8_t*>(bin.data());
    ASSERT_GT(bin.size(), 200u);
    const poi::Head head = poi::DecodeHead(data);
    EXPECT_EQ(head.grid.columns, 3);
    const size_t areaTable = poi::CellTableOffset(head) + 3 * 4;
    const uint32_t runs = poi::LoadU32(data + areaTable);
    EXPECT_EQ(poi::LoadU32(data + areaTable + 4), 2u);
    EXPECT_EQ(poi::LoadU32(data + runs), 0u);
    EXPECT_EQ(poi::LoadU16(data + runs + 4), 1u);
    EXPECT_EQ(poi::LoadU32(data + runs + 6), 2u);
    EXPECT_EQ(poi::LoadU16(data + runs + 10), 1u);
    EXPECT_EQ(poi::LoadU32(data + areaTable + 4 + 8), 1u) << "area 1: cell 0";
}

TEST_F(PoiFileTest, MissingSourceOrCancelWritesNothing) {
    EXPECT_EQ(Convert(), 1);
    EXPECT_FALSE(areas_fixture::Exists(TempPath(u"poi.bin")));
    WriteTestFile(SourcePath(u"poi.raw"), PoiRaw());
    g_cancelFlag.store(1);
    EXPECT_EQ(Convert(), 1);
    EXPECT_FALSE(areas_fixture::Exists(TempPath(u"poi.bin")));
}

TEST_F(PoiFileTest, BadSourcesEndInTheirReports) {
    const std::string whole = PoiRaw();
    auto with = [&](size_t at, uint32_t value) {
        std::string source = whole;
        for (int i = 0; i < 4; ++i) {
            source[at + i] = static_cast<char>(value >> (8 * i));
        }
        return source;
    };
    struct Case {
        std::string source;
        std::u16string report;
    };
    const Case cases[] = {
        {"NPL5" + whole.substr(4), u"Corrupted file: NPL6"},
        {whole.substr(0, 100), InternalError(1532)},  // the head
        {with(24, 0x7FFFFFFF), InternalError(1532)},  // rows beyond any grid
        {with(48, 5), InternalError(1592)},           // names beyond their bytes
        {with(84, 700), InternalError(1592)},         // bytes beyond the file
        {with(44, 200), InternalError(1746)},         // phones beyond the file
        {whole.substr(0, 160), InternalError(1453)},  // the cell table
        {with(146, 640), InternalError(1826)},        // a cell header cut short
        {whole.substr(0, 420), InternalError(1885)},  // a record cut short
        {with(259 + 18, 640), InternalError(1885)},   // records beyond the file
        {with(259 + 18, 60), InternalError(1885)},    // records inside the names
        {with(313, 9), InternalError(1885)},          // a name beyond the strings
        {with(313 + 4, 3), InternalError(1885)},      // a phone beyond the table
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.source.size() << " bytes");
        WriteTestFile(SourcePath(u"poi.raw"), c.source);
        ExpectReport([&] { Convert(); }, c.report);
    }
}

}  // namespace

// ---- Discs of the data disc builder, chosen whole -----------------------------------

namespace {

struct FileFigure {
    const char* name;
    double milliseconds = 0;
    uint64_t bytes = 0;
};

// Runs the area, polygon and point-of-interest converters on a whole disc and
// checks that every point comes through with its name, road, place and area run.
std::vector<FileFigure> ConvertWholeDisc(const std::filesystem::path& out,
                                         const std::filesystem::path& tempFolder) {
    using Clock = std::chrono::steady_clock;
    auto since = [](Clock::time_point start) {
        return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
    };
    const areas_fixture::WholeDisc disc = areas_fixture::ChooseWholeDisc(out);
    std::filesystem::create_directories(tempFolder);
    const std::u16string temp = platform::HostPathText(tempFolder);
    std::vector<FileFigure> figures = {{"az.bin"}, {"azbc.bin"}, {"polygons.biz"}, {"poi.bin"}};

    auto start = Clock::now();
    CAzConverter areas(disc.cut);
    EXPECT_EQ(areas.Build(disc.disc1.c_str(), temp.c_str()), 0);
    const UsedPlaceFlags used(areas.PlaceOffsets().size(), 1);
    EXPECT_EQ(areas.WriteAz(temp.c_str(), used), 0);
    figures[0].milliseconds = since(start);
    start = Clock::now();
    EXPECT_EQ(areas.WriteAzbc(disc.disc1.c_str(), temp.c_str(), used, disc.names), 0);
    figures[1].milliseconds = since(start);
    start = Clock::now();
    CPolygonsConverter polygons(disc.cut);
    EXPECT_EQ(polygons.Write(disc.disc3.c_str(), temp.c_str()), 0);
    figures[2].milliseconds = since(start);
    start = Clock::now();
    CPoiConverter pointConverter(disc.cut, disc.detailed);
    const AreaFirstPlaceTable& areaTable = areas.AreaFirstPlaces();
    EXPECT_EQ(pointConverter.Convert(disc.disc3.c_str(), temp.c_str(),
                                     {&disc.links, &areas.PlaceOffsets(), &areaTable}),
              0);
    figures[3].milliseconds = since(start);
    for (FileFigure& figure : figures) {
        figure.bytes = std::filesystem::file_size(tempFolder / figure.name);
    }

    // Every point of the disc has a kept road and a written place, so everything
    // comes through: the names and numbers unchanged, each record renumbered.
    const std::string raw = areas_fixture::HostFile(out / "CD3" / "mapdata" / "poi.raw");
    const std::string bin = areas_fixture::HostFile(tempFolder / "poi.bin");
    const auto* rawBytes = reinterpret_cast<const uint8_t*>(raw.data());
    const auto* binBytes = reinterpret_cast<const uint8_t*>(bin.data());
    const poi::Head from = poi::DecodeHead(rawBytes);
    const poi::Head to = poi::DecodeHead(binBytes);
    EXPECT_EQ(to.nameCount, from.nameCount);
    EXPECT_EQ(to.phoneCount, from.phoneCount);
    EXPECT_EQ(bin.substr(poi::kNamesOffset, poi::CellTableOffset(to) - poi::kNamesOffset),
              raw.substr(poi::kNamesOffset, poi::CellTableOffset(from) - poi::kNamesOffset));
    EXPECT_EQ(to.grid.columns, from.grid.columns);
    EXPECT_EQ(to.grid.rows, from.grid.rows);

    auto countRecords = [](const uint8_t* bytes, const poi::Head& head, size_t size) {
        uint64_t total = 0;
        for (uint32_t cell = 0; cell < container::CellCount(head.grid); ++cell) {
            const uint32_t at = poi::LoadU32(bytes + poi::CellTableOffset(head) + 4 * cell);
            if (at != 0 && at + poi::kCellHeaderSize <= size) {
                const poi::CellHeader header = poi::DecodeCellHeader(bytes + at);
                for (uint16_t count : header.counts) {
                    total += count;
                }
            }
        }
        return total;
    };
    const uint64_t points = countRecords(rawBytes, from, raw.size());
    EXPECT_EQ(countRecords(binBytes, to, bin.size()), points);

    std::set<uint32_t> links(disc.links.begin(), disc.links.end());
    const size_t areaTableAt = poi::CellTableOffset(to) + 4 * size_t{container::CellCount(to.grid)};
    for (uint32_t cell = 0; cell < container::CellCount(to.grid); ++cell) {
        const uint32_t at = poi::LoadU32(binBytes + poi::CellTableOffset(to) + 4 * cell);
        if (at == 0) {
            continue;
        }
        const poi::CellHeader header = poi::DecodeCellHeader(binBytes + at);
        for (int category = 0; category < poi::kCategoryCount; ++category) {
            size_t recordAt = header.offsets[category];
            for (uint32_t k = 0; k < header.counts[category]; ++k) {
                poi::Record record;
                const size_t used =
                    poi::DecodeRecord(binBytes + recordAt, bin.size() - recordAt, record);
                if (used == 0) {
                    ADD_FAILURE() << "a record runs past the file";
                    return figures;
                }
                recordAt += used;
                // The name offset is a string of the record's length.
                const char* name = bin.data() + record.Name();
                EXPECT_EQ(std::strlen(name), record.nameLength);
                EXPECT_TRUE(links.count(record.LinkRecord())) << record.LinkRecord();
                // The point's area lists the cell in one of its runs.
                const int area = AreaOfPlace(areaTable, record.place);
                if (area < 0) {
                    ADD_FAILURE() << "a point without an area";
                    return figures;
                }
                const uint32_t runs = poi::LoadU32(binBytes + areaTableAt + 8 * area);
                const uint32_t runCount = poi::LoadU32(binBytes + areaTableAt + 8 * area + 4);
                bool listed = false;
                for (uint32_t r = 0; r < runCount; ++r) {
                    const uint32_t first = poi::LoadU32(binBytes + runs + 6 * r);
                    const uint16_t count = poi::LoadU16(binBytes + runs + 6 * r + 4);
                    listed = listed || (cell >= first && cell < first + count);
                }
                EXPECT_TRUE(listed) << "cell " << cell << " area " << area;
            }
        }
    }
    EXPECT_GT(points, 0u);
    return figures;
}

class PoiDiscTest : public testing_support::RootsTest {};

TEST_F(PoiDiscTest, WholeTownDiscKeepsEveryPoint) {
    discmaker::Network town = discmaker::BuildTown(5, 300);
    discmaker::BuildDiscs(town, roots_.base() / "disc");
    ConvertWholeDisc(roots_.base() / "disc", roots_.base() / "tmp");
}

using testing_support::SharedOsmFolder;

// The figures of the issue: time and size of each file for the Andorra extract.
TEST_F(PoiDiscTest, AndorraDiscFigures) {
    const std::filesystem::path file = SharedOsmFolder() / "andorra.osm.pbf";
    if (!std::filesystem::exists(file)) {
        GTEST_SKIP() << "no " << file.string() << ": the shared OpenStreetMap data is not here";
    }
    discmaker::Network network = discmaker::ReadOsm(file, "ON");
    discmaker::BuildDiscs(network, roots_.base() / "andorra");
    const std::vector<FileFigure> figures =
        ConvertWholeDisc(roots_.base() / "andorra", roots_.base() / "tmp");
    for (const FileFigure& figure : figures) {
        std::printf("andorra %-13s %9llu bytes %8.2f ms\n", figure.name,
                    static_cast<unsigned long long>(figure.bytes), figure.milliseconds);
    }
}

}  // namespace

#include "tools/discmaker/poi_writer.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/map_container.h"
#include "formats/poi.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/names_writer.h"
#include "tools/discmaker/town.h"

namespace {

using namespace discmaker;
namespace poi = formats::poi;
namespace container = formats::map_container;

// Point cells of 0.04 degrees, 2 x 2, south-west corner at 45 N 100 W.
DiscLayout PoiLayout(const std::filesystem::path& out) {
    DiscLayout layout;
    layout.out = out;
    for (int disc = 0; disc < kDiscCount; ++disc) {
        layout.discs[disc] = out / ("CD" + std::to_string(disc + 1));
        layout.mapData[disc] = layout.discs[disc] / "mapdata";
        std::filesystem::create_directories(layout.mapData[disc]);
    }
    GridHeader grid;
    std::memcpy(grid.magic, container::kMagic, 4);
    grid.originLongitude = -100.0f;
    grid.originLatitude = 45.0f;
    grid.columns = 2;
    grid.rows = 2;
    grid.cellWidth = 0.04f;
    grid.cellHeight = 0.04f;
    layout.overview = layout.polygons = layout.poi = grid;
    layout.detailed = grid;
    layout.detailed.columns = layout.detailed.rows = 4;
    layout.detailed.cellWidth = layout.detailed.cellHeight = 0.02f;
    layout.detailRatio = 2;
    layout.poiRatio = 2;
    return layout;
}

LatLon InCell(int column, int row, double fx, double fy) {
    return {45.0 + (row + fy) * 0.04, -100.0 + (column + fx) * 0.04};
}

// The file as the converter reads it: head, names, phone table, cell table, cells.
struct DecodedPoiFile {
    poi::Head head;
    std::vector<std::string> names;                                      // by string number
    std::vector<int> nameCategory;                                       // by string number
    std::vector<std::string> phones;                                     // by entry number - 1
    std::map<uint32_t, std::vector<std::pair<int, poi::Record>>> cells;  // category, record
};

DecodedPoiFile Decode(const std::vector<uint8_t>& bytes) {
    DecodedPoiFile file;
    EXPECT_GE(bytes.size(), poi::kHeadSize);
    if (bytes.size() < poi::kHeadSize)
        return file;
    file.head = poi::DecodeHead(bytes.data());
    EXPECT_TRUE(container::HasMagic(file.head.grid, poi::kSourceMagic));
    size_t at = poi::kNamesOffset;
    for (int category = 0; category < poi::kCategoryCount; ++category) {
        const size_t start = at;
        for (uint32_t k = 0; k < file.head.categoryNameCounts[category]; ++k) {
            const auto end = std::find(bytes.begin() + at, bytes.end(), 0);
            EXPECT_NE(end, bytes.end());
            file.names.emplace_back(bytes.begin() + at, end);
            file.nameCategory.push_back(category);
            at = end - bytes.begin() + 1;
        }
        EXPECT_EQ(at - start, file.head.categoryNameBytes[category]);
    }
    EXPECT_EQ(file.names.size(), static_cast<size_t>(file.head.nameCount));
    EXPECT_EQ(file.head.phoneTableOffset, at) << "the phone table follows the names";
    for (int32_t k = 0; k < file.head.phoneCount; ++k) {
        file.phones.push_back(poi::UnpackPhone(bytes.data() + at));
        at += poi::kPhoneEntrySize;
    }
    EXPECT_EQ(poi::CellTableOffset(file.head), at);
    const uint32_t cellCount = container::CellCount(file.head.grid);
    size_t expectedCell = at + 4 * cellCount;
    for (uint32_t index = 0; index < cellCount; ++index) {
        const uint32_t offset = container::LoadU32(bytes.data() + at + 4 * index);
        if (offset == 0)
            continue;
        EXPECT_EQ(offset, expectedCell) << "cells follow the table in table order";
        EXPECT_LE(offset + poi::kCellHeaderSize, bytes.size());
        const poi::CellHeader header = poi::DecodeCellHeader(bytes.data() + offset);
        size_t record = offset + poi::kCellHeaderSize;
        for (int category = 0; category < poi::kCategoryCount; ++category) {
            if (header.counts[category] == 0)
                continue;
            EXPECT_EQ(header.offsets[category], record);
            for (uint16_t k = 0; k < header.counts[category]; ++k) {
                poi::Record decoded;
                const size_t used =
                    poi::DecodeRecord(bytes.data() + record, bytes.size() - record, decoded);
                EXPECT_GT(used, 0u);
                if (used == 0)
                    return file;
                file.cells[index].push_back({category, decoded});
                record += used;
            }
        }
        expectedCell = record;
    }
    EXPECT_EQ(expectedCell, bytes.size());
    return file;
}

class PoiWriterTest : public testing_support::RootsTest {
  protected:
    PoiWriterTest() : layout_(PoiLayout(roots_.base() / "out")) {
        Network& n = network_;
        const uint32_t state = n.AddArea({AreaKind::State, "Test State", "TS", kNone, {}, {}});
        county_ = n.AddArea({AreaKind::County, "Grid County", "", state, {}, {}});
        city_ = n.AddArea({AreaKind::City, "Gridton", "", county_, {}, {}});
        const uint32_t a = n.AddNode(InCell(0, 0, 0.1, 0.5));
        const uint32_t b = n.AddNode(InCell(0, 0, 0.9, 0.5));
        const uint32_t c = n.AddNode(InCell(1, 1, 0.5, 0.5));
        Link ab;
        ab.from = a;
        ab.to = b;
        ab.leftArea = ab.rightArea = city_;
        n.AddLink(ab);
        Link bc;
        bc.from = b;
        bc.to = c;
        bc.leftArea = county_;
        bc.rightArea = city_;
        n.AddLink(bc);
        // Link records 7 and 3; places: city 5, county 2.
        linkInfo_.recordOfLink = {7, 3};
        areas_.placeOfArea = {kNone, 2, 5};
    }

    Poi Point(PoiCategory category, uint8_t sub, const char* name, LatLon position, uint32_t link) {
        Poi point;
        point.category = category;
        point.subCategory = sub;
        point.name = name;
        point.position = position;
        point.link = link;
        point.city = city_;
        return point;
    }

    DiscLayout layout_;
    Network network_;
    LinkInfoTables linkInfo_;
    AreaTables areas_;
    uint32_t county_ = 0, city_ = 0;
};

TEST_F(PoiWriterTest, RecordsCarryTheirNamesPhonesRoadsAndPlaces) {
    std::vector<Poi>& points = network_.pois;
    Poi bank =
        Point(PoiCategory::Business, poi_sub::kBank, "First Bank", InCell(0, 0, 0.2, 0.2), 0);
    bank.phone = "(555) 0101";
    bank.houseNumber = 120;
    points.push_back(bank);
    // An ATM of the same chain in the same cell, listed first after sorting, sharing
    // the bank's name string.
    Poi atm = Point(PoiCategory::Business, poi_sub::kAtm, "First Bank", InCell(0, 0, 0.3, 0.3), 0);
    atm.phone = "555 0101";  // packs to the same number as the bank's
    atm.rightSide = true;
    points.push_back(atm);
    // A restaurant across the grid on the second road, without a city of its own:
    // the road's area on its side stands in.
    Poi pizza =
        Point(PoiCategory::Restaurant, 9, "Luigi's Pizza & Pasta", InCell(1, 1, 0.4, 0.6), 1);
    pizza.city = kNone;
    pizza.rightSide = false;
    points.push_back(pizza);
    // A city point: no telephone number whatever the network says.
    Poi town = Point(PoiCategory::City, poi_sub::kCity, "Gridton", InCell(1, 1, 0.5, 0.5), 1);
    town.phone = "5550100";
    points.push_back(town);
    // Left out: no road, and a road without a record.
    points.push_back(Point(PoiCategory::Lodging, 0, "Nowhere Inn", InCell(0, 1, 0.5, 0.5), kNone));
    linkInfo_.recordOfLink.push_back(kNone);
    Link extra;
    extra.from = 0;
    extra.to = 1;
    network_.AddLink(extra);
    points.push_back(Point(PoiCategory::Lodging, 0, "Ghost Inn", InCell(0, 1, 0.5, 0.5), 2));

    uint32_t written = 0;
    const DecodedPoiFile file =
        Decode(BuildPoiFile(network_, layout_, linkInfo_, areas_, &written));
    EXPECT_EQ(written, 4u);
    EXPECT_EQ(std::memcmp(&file.head.grid.originLongitude, &layout_.poi.originLongitude,
                          container::kHeaderSize - 4),
              0);
    // Names: one string per text and category, upper case as the name files store text.
    ASSERT_EQ(file.names.size(), 3u);
    EXPECT_EQ(file.names[0], "FIRST BANK");
    EXPECT_EQ(file.names[1], "LUIGI'S PIZZA & PASTA");
    EXPECT_EQ(file.names[2], "GRIDTON");
    EXPECT_EQ(file.nameCategory, (std::vector<int>{0, 6, 8}));
    ASSERT_EQ(file.phones, (std::vector<std::string>{"5550101"}));

    ASSERT_EQ(file.cells.size(), 2u);
    const auto& first = file.cells.at(0);
    ASSERT_EQ(first.size(), 2u);
    // Ascending sub-category within a category: the ATM (0) before the bank (1).
    const poi::Record& atmRecord = first[0].second;
    const poi::Record& bankRecord = first[1].second;
    EXPECT_EQ(atmRecord.SubCategory(), poi_sub::kAtm);
    EXPECT_EQ(bankRecord.SubCategory(), poi_sub::kBank);
    EXPECT_EQ(atmRecord.Name(), bankRecord.Name());
    EXPECT_EQ(bankRecord.nameLength, 10);
    EXPECT_EQ(bankRecord.phone, 1);
    EXPECT_EQ(atmRecord.phone, 1);
    EXPECT_EQ(bankRecord.LinkRecord(), 7u);
    EXPECT_EQ(bankRecord.linkWord & poi::kLinkDisplayMask, 0u);
    EXPECT_EQ(bankRecord.addressWord, 120u | poi::kSidePlus);  // left side: +1
    EXPECT_EQ(atmRecord.addressWord, poi::kHouseNumberMask | poi::kSideMinus);
    EXPECT_EQ(bankRecord.place, 5);
    EXPECT_EQ(bankRecord.flags, 0);
    EXPECT_FLOAT_EQ(bankRecord.latitude, static_cast<float>(bank.position.lat));
    EXPECT_FLOAT_EQ(bankRecord.longitude, static_cast<float>(bank.position.lon));

    const auto& last = file.cells.at(3);
    ASSERT_EQ(last.size(), 2u);
    EXPECT_EQ(last[0].first, 6);
    const poi::Record& pizzaRecord = last[0].second;
    EXPECT_EQ(file.names[pizzaRecord.Name()], "LUIGI'S PIZZA & PASTA");
    EXPECT_EQ(pizzaRecord.SubCategory(), 9u);
    EXPECT_EQ(pizzaRecord.LinkRecord(), 3u);
    EXPECT_EQ(pizzaRecord.place, 2) << "the county on the road's left";
    EXPECT_EQ(pizzaRecord.phone, poi::kNoPhone);
    EXPECT_EQ(last[1].first, 8);
    EXPECT_EQ(last[1].second.phone, poi::kNoPhone);
    EXPECT_EQ(file.names[last[1].second.Name()], "GRIDTON");
}

TEST_F(PoiWriterTest, LongNamesAreCutAndDiscsTwoAndThreeMatch) {
    Poi point = Point(PoiCategory::Attraction, poi_sub::kMuseum,
                      "The Very Long Name Of A Museum Of Natural History And Art",
                      InCell(1, 0, 0.5, 0.5), 0);
    network_.pois.push_back(point);
    const PoiFigures figures = WritePoiFiles(network_, layout_, linkInfo_, areas_);
    EXPECT_EQ(figures.pointsWritten, 1u);
    std::vector<std::vector<uint8_t>> files;
    for (int disc = 1; disc < kDiscCount; ++disc) {
        std::ifstream in(layout_.mapData[disc] / "poi.raw", std::ios::binary);
        files.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    EXPECT_EQ(files[0], files[1]);
    EXPECT_EQ(figures.bytesWritten, 2 * files[0].size());
    const DecodedPoiFile file = Decode(files[0]);
    ASSERT_EQ(file.cells.count(1), 1u);
    const poi::Record& record = file.cells.at(1)[0].second;
    EXPECT_EQ(record.nameLength, poi::kMaxNameLength);
    EXPECT_EQ(file.names[record.Name()].size(), poi::kMaxNameLength);
}

TEST(PoiFormat, PhonesPackAsTheDeviceUnpacksThem) {
    uint8_t packed[poi::kPhoneEntrySize];
    ASSERT_TRUE(poi::PackPhone("123456789", packed));
    EXPECT_EQ(std::vector<uint8_t>(packed, packed + 5),
              (std::vector<uint8_t>{0x21, 0x43, 0x65, 0x87, 0xF9}));
    EXPECT_EQ(poi::UnpackPhone(packed), "123456789");
    ASSERT_TRUE(poi::PackPhone("+1 (555) 010-12345", packed));  // ten kept, the rest cut
    EXPECT_EQ(poi::UnpackPhone(packed), "1555010-12");
    EXPECT_FALSE(poi::PackPhone("n/a", packed));
    const uint8_t oddCodes[5] = {0xBA, 0xDC, 0x00, 0x00, 0x00};
    EXPECT_EQ(poi::UnpackPhone(oddCodes), ":;<=000000");
}

TEST(PoiFormat, RecordsCarryTheirOptionalPlaces) {
    poi::Record record;
    record.nameWord = poi::NameWord(1234, 5);
    record.flags = poi::kSecondPlaceFlag | poi::kThirdPlaceFlag;
    record.place = 10;
    record.secondPlace = 11;
    record.thirdPlace = 12;
    std::vector<uint8_t> bytes;
    poi::AppendRecord(bytes, record);
    ASSERT_EQ(bytes.size(), poi::kRecordSize + 8);
    EXPECT_EQ(bytes[25], 0xC0) << "the flags are bits 7 and 6 of byte 25";
    poi::Record decoded;
    EXPECT_EQ(poi::DecodeRecord(bytes.data(), bytes.size(), decoded), bytes.size());
    EXPECT_EQ(decoded.Name(), 1234u);
    EXPECT_EQ(decoded.SubCategory(), 5u);
    EXPECT_EQ(decoded.secondPlace, 11);
    EXPECT_EQ(decoded.thirdPlace, 12);
    EXPECT_EQ(poi::DecodeRecord(bytes.data(), bytes.size() - 1, decoded), 0u);
    EXPECT_EQ(poi::DecodeRecord(bytes.data(), poi::kRecordSize - 1, decoded), 0u);
}

TEST(PoiWriterTownTest, TownPointsReadBack) {
    testing_support::TempRoots roots;
    Network network = BuildTown(5, 300);
    ValidateNetwork(network);
    const DiscLayout layout = PlanDiscLayout(network, roots.base() / "out");
    FitLinksToGrid(network, layout);
    AssignPoiLinks(network);
    CreateFolders(layout);
    const NameTables names = WriteNameFiles(network, layout, layout.mapData[0]);
    const AreaTables areas = WriteAreaFiles(network, layout, names, layout.mapData[0]);
    const LinkInfoTables linkInfo =
        WriteLinkInfoFiles(network, layout, names, areas, layout.mapData[0]);
    const PoiFigures figures = WritePoiFiles(network, layout, linkInfo, areas);

    std::ifstream in(layout.mapData[1] / "poi.raw", std::ios::binary);
    const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                     std::istreambuf_iterator<char>()};
    const DecodedPoiFile file = Decode(bytes);
    EXPECT_EQ(std::memcmp(&file.head.grid.originLongitude, &layout.poi.originLongitude, 32), 0);

    // Each record is one of the town's points, in its cell, on its road, with its
    // name and a place of its list entry.
    std::set<uint32_t> found;
    std::set<int> categories;
    size_t records = 0;
    for (const auto& [index, list] : file.cells) {
        for (const auto& [category, record] : list) {
            ++records;
            categories.insert(category);
            ASSERT_LT(record.LinkRecord(), linkInfo.linkOfRecord.size());
            const uint32_t link = linkInfo.linkOfRecord[record.LinkRecord()];
            uint32_t match = kNone;
            for (uint32_t p = 0; p < network.pois.size(); ++p) {
                const Poi& point = network.pois[p];
                if (static_cast<int>(point.category) == category && point.link == link &&
                    static_cast<float>(point.position.lat) == record.latitude &&
                    static_cast<float>(point.position.lon) == record.longitude && !found.count(p)) {
                    match = p;
                    break;
                }
            }
            ASSERT_NE(match, kNone) << "a record that is no point of the town";
            found.insert(match);
            const Poi& point = network.pois[match];
            const Cell cell = layout.PoiCell(point.position);
            EXPECT_EQ(index, container::CellIndex(cell.column, cell.row, layout.poi.columns));
            EXPECT_EQ(file.names[record.Name()], ToNameText(point.name, poi::kMaxNameLength));
            EXPECT_EQ(record.nameLength, file.names[record.Name()].size());
            EXPECT_EQ(file.nameCategory[record.Name()], category);
            EXPECT_EQ(record.SubCategory(), point.subCategory);
            ASSERT_GE(record.place, 0);
            ASSERT_LT(static_cast<size_t>(record.place), areas.areaOfPlace.size());
            EXPECT_EQ(layout.EntryOfArea(network, areas.areaOfPlace[record.place]),
                      layout.EntryOfPoi(network, match));
            if (record.phone != poi::kNoPhone) {
                ASSERT_LE(static_cast<size_t>(record.phone), file.phones.size());
                uint8_t packed[poi::kPhoneEntrySize];
                ASSERT_TRUE(poi::PackPhone(point.phone, packed));
                EXPECT_EQ(file.phones[record.phone - 1], poi::UnpackPhone(packed));
            }
        }
    }
    EXPECT_EQ(records, figures.pointsWritten);
    EXPECT_EQ(categories.size(), static_cast<size_t>(poi::kCategoryCount));
    EXPECT_GE(figures.pointsWritten, network.pois.size() * 9 / 10)
        << "most points have a road and a place";
}

}  // namespace

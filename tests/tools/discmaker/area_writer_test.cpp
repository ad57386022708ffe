#include "tools/discmaker/area_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

#include "formats/areas.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/town.h"

namespace discmaker {
namespace {

namespace az = formats::areas;
using Bytes = std::vector<uint8_t>;

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

TEST(PlaceRecord, ParentFormsReadBack) {
    struct Case {
        int32_t parent;
        uint8_t head;  // flag bits of the head byte
        size_t size;
    };
    const Case cases[] = {
        {az::kNoParent, 0x00, 1 + 5},
        {az::kUnknownParent, 0x40, 1 + 5},
        {0, 0x80, 5 + 5},  // names-list name 0
        {static_cast<int32_t>(3u | az::kParentIsPlace), 0x80, 5 + 5},
    };
    for (const Case& c : cases) {
        uint8_t bytes[80];
        ASSERT_EQ(az::EncodePlaceRecord(c.parent, "ELGIN", bytes), c.size);
        EXPECT_EQ(bytes[0], c.head | 5);
        az::PlaceRecord back;
        ASSERT_TRUE(az::DecodePlaceRecord(bytes, c.size, back));
        EXPECT_EQ(back.parent, c.parent);
        EXPECT_EQ(back.text, "ELGIN");
        EXPECT_EQ(back.size, c.size);
        for (size_t cut = 0; cut < c.size; ++cut) {
            EXPECT_FALSE(az::DecodePlaceRecord(bytes, cut, back)) << cut;
        }
    }
    // The length has six bits: a longer text is cut, never spilled into the flags.
    uint8_t bytes[80];
    EXPECT_EQ(az::EncodePlaceRecord(az::kNoParent, std::string(70, 'X'), bytes), 1 + 63u);
    EXPECT_EQ(bytes[0], 63);
}

TEST(StreetValue, LengthMovesFromTheSourceBitsToTheDeviceBits) {
    const uint32_t source = az::SourceStreetValue(0x123456, 11);
    EXPECT_EQ(source, 0x0B123456u);
    EXPECT_EQ(az::SourceValueName(source), 0x123456u);
    const uint32_t device = az::DeviceStreetValue(0x0ABCDEF, source);
    EXPECT_EQ(az::DeviceValueOffset(device), 0x0ABCDEFu);
    EXPECT_EQ(az::DeviceValueLength(device), 11u);
}

// ---- The files ------------------------------------------------------------------

struct DecodedPlace {
    uint32_t offset = 0;
    int32_t parent = az::kNoParent;
    std::string text;
};

struct DecodedArea {
    std::string name;
    az::AreaEntry fixed;
};

struct DecodedAz {
    std::vector<DecodedArea> areas;
    std::vector<std::string> listNames;  // by names-list number
    std::vector<DecodedPlace> places;    // by place record number
    size_t size = 0;
};

// Reads "az.raw" whole, checking that the names lists and the place records follow
// each other area by area and fill the file.
DecodedAz DecodeAz(const std::filesystem::path& path) {
    DecodedAz out;
    const Bytes file = ReadFileBytes(path);
    out.size = file.size();
    EXPECT_TRUE(std::equal(az::kAzMagic, az::kAzMagic + 4, file.begin()));
    const uint16_t count = az::LoadU16(file.data() + az::kAreaCountOffset);
    size_t at = az::kAreaEntriesOffset;
    for (uint16_t a = 0; a < count; ++a) {
        DecodedArea area;
        const uint8_t length = file[at];
        area.fixed = az::DecodeAreaFixed(file.data() + at + 1);
        area.name.assign(reinterpret_cast<const char*>(file.data() + at + 1 + az::kFixedSize),
                         length);
        at += az::AreaEntrySize(length);
        out.areas.push_back(area);
    }
    for (const DecodedArea& area : out.areas) {
        EXPECT_EQ(area.fixed.namesListOffset, at);
        for (uint32_t n = 0; n < area.fixed.nameCount; ++n) {
            const uint8_t length = file[at];
            EXPECT_LE(length, az::kMaxWrittenListNameLength);
            out.listNames.emplace_back(reinterpret_cast<const char*>(file.data() + at + 1), length);
            at += 1 + length;
        }
    }
    for (const DecodedArea& area : out.areas) {
        EXPECT_EQ(area.fixed.firstPlaceOffset, static_cast<int32_t>(at));
        EXPECT_EQ(area.fixed.placeWord & az::kNoPlaceUsed, 0u);
        for (uint32_t n = 0; n < (area.fixed.placeWord & az::kPlaceCountMask); ++n) {
            az::PlaceRecord record;
            EXPECT_TRUE(az::DecodePlaceRecord(file.data() + at, file.size() - at, record));
            if (record.size == 0)
                return out;
            out.places.push_back(
                {static_cast<uint32_t>(at), record.parent, std::string(record.text)});
            at += record.size;
        }
    }
    EXPECT_EQ(at, file.size());
    return out;
}

// A network taken through the builder's steps up to the area files.
struct Built {
    Network network;
    DiscLayout layout;
    NameTables names;
    AreaTables tables;
    DecodedAz az;
};

void Build(Built& built, const std::filesystem::path& out) {
    ValidateNetwork(built.network);
    built.layout = PlanDiscLayout(built.network, out);
    FitLinksToGrid(built.network, built.layout);
    CreateFolders(built.layout);
    built.names = WriteNameFiles(built.network, built.layout, built.layout.mapData[0]);
    built.tables =
        WriteAreaFiles(built.network, built.layout, built.names, built.layout.mapData[0]);
    built.az = DecodeAz(built.layout.mapData[0] / "az.raw");
}

// Checks "az.raw": one area per list entry, and every county and city a place of its
// state's entry.
void CheckAreasAndPlaces(const Built& b) {
    ASSERT_EQ(b.az.areas.size(), b.layout.entries.size());
    ASSERT_EQ(b.az.places.size(), b.tables.areaOfPlace.size());
    for (size_t e = 0; e < b.layout.entries.size(); ++e) {
        const Area& state = b.network.areas[b.layout.entries[e].area];
        const DecodedArea& area = b.az.areas[e];
        EXPECT_EQ(area.name, ToNameText(state.name, 255));
        EXPECT_EQ(std::string(area.fixed.code, 2), state.code);
        const uint16_t region = b.layout.entries[e].regionNumber;
        EXPECT_EQ(area.fixed.codeNumber, region >= 51 ? region + 9u : region);
        EXPECT_EQ(area.fixed.placeWord, b.tables.placeCountOfEntry[e]);
        EXPECT_EQ(b.tables.firstPlaceOfEntry[e] + b.tables.placeCountOfEntry[e],
                  e + 1 < b.layout.entries.size() ? b.tables.firstPlaceOfEntry[e + 1]
                                                  : b.az.places.size());
    }
    for (uint32_t a = 0; a < b.network.areas.size(); ++a) {
        const Area& area = b.network.areas[a];
        const uint32_t e = b.layout.EntryOfArea(b.network, a);
        if (area.kind == AreaKind::State || e == kNone) {
            EXPECT_EQ(b.tables.placeOfArea[a], kNone);
            continue;
        }
        const uint32_t place = b.tables.placeOfArea[a];
        ASSERT_NE(place, kNone) << area.name;
        EXPECT_EQ(b.tables.areaOfPlace[place], a);
        EXPECT_GE(place, b.tables.firstPlaceOfEntry[e]);
        EXPECT_LT(place, b.tables.firstPlaceOfEntry[e] + b.tables.placeCountOfEntry[e]);
        EXPECT_EQ(b.az.places[place].text, ToNameText(area.name, 63));
    }
}

// Checks "azbc.raw": per place, the names of the links on either side of it.
// Returns the number of lists.
size_t CheckStreetLists(const Built& b) {
    const Bytes file = ReadFileBytes(b.layout.mapData[0] / "azbc.raw");
    EXPECT_TRUE(std::equal(az::kAzbcMagic, az::kAzbcMagic + 4, file.begin()));
    EXPECT_EQ(az::LoadU16(file.data() + az::kAzbcCountOffset), b.layout.entries.size());

    std::vector<std::set<uint32_t>> expected(b.az.places.size());
    for (uint32_t l = 0; l < b.network.links.size(); ++l) {
        for (uint32_t area : {b.network.links[l].leftArea, b.network.links[l].rightArea}) {
            if (area == kNone || b.tables.placeOfArea[area] == kNone)
                continue;
            for (const LinkName& name : b.names.linkNames[l]) {
                expected[b.tables.placeOfArea[area]].insert(name.nameNumber);
            }
        }
    }
    size_t lists = 0;
    for (uint32_t e = 0; e < b.layout.entries.size(); ++e) {
        const az::AzbcEntry entry = az::DecodeAzbcEntry(file.data() + az::AzbcEntryOffset(e));
        EXPECT_EQ(entry.pointerCount, b.tables.placeCountOfEntry[e]);
        if (entry.pointerCount == 0) {
            EXPECT_EQ(entry.pointerTable, 0xFFFFFFFFu);
            continue;
        }
        for (uint32_t k = 0; k < entry.pointerCount; ++k) {
            const uint32_t place = b.tables.firstPlaceOfEntry[e] + k;
            const uint32_t list = az::LoadU32(file.data() + entry.pointerTable + 4 * k);
            if (expected[place].empty()) {
                EXPECT_EQ(list, 0xFFFFFFFFu) << b.az.places[place].text;
                continue;
            }
            if (list >= file.size()) {
                ADD_FAILURE() << "list outside the file";
                continue;
            }
            const uint32_t count = az::LoadU32(file.data() + list);
            std::vector<uint32_t> got;
            for (uint32_t i = 0; i < count; ++i) {
                const uint32_t value = az::LoadU32(file.data() + list + 4 + 4 * i);
                const uint32_t number = az::SourceValueName(value);
                EXPECT_LT(number, b.names.names.size());
                if (number < b.names.names.size()) {
                    EXPECT_EQ(az::SourceValueLength(value), b.names.names[number].size());
                }
                got.push_back(number);
            }
            EXPECT_EQ(got, std::vector<uint32_t>(expected[place].begin(), expected[place].end()))
                << b.az.places[place].text;
            ++lists;
        }
    }
    return lists;
}

class AreaFilesTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        Network& network = b_.network;
        network = MakeTestGrid(5, 4);
        const LatLon at = network.nodes[0].position;
        province_ = network.AddArea({AreaKind::State, "Ontario", "ON", kNone, at, {}});
        greene_ = network.AddArea({AreaKind::County, "Greene", "", province_, at, {}});
        clark_ = network.AddArea({AreaKind::County, "Clark", "", province_, at, {}});
        longCounty_ = network.AddArea({AreaKind::County, kLongName, "", province_, at, {}});
        springfieldGreene_ = network.AddArea({AreaKind::City, "Springfield", "", greene_, at, {}});
        springfieldClark_ = network.AddArea({AreaKind::City, "Springfield", "", clark_, at, {}});
        // Its parent city comes later in the file.
        oldTown_ = network.AddArea({AreaKind::City, "Old Town", "", kNone, at, {}});
        riverside_ = network.AddArea({AreaKind::City, "Riverside", "", province_, at, {}});
        network.areas[oldTown_].parent = riverside_;
        empty_ = network.AddArea({AreaKind::State, "Colorado", "CO", kNone, at, {}});
        for (auto [area, number] :
             {std::pair{province_, uint16_t{59}}, std::pair{empty_, uint16_t{5}}}) {
            Region region;
            region.number = number;
            region.name = network.areas[area].name;
            region.area = area;
            region.outline = network.regions[0].outline;
            network.regions.push_back(region);
        }
        network.links[0].leftArea = springfieldGreene_;
        network.links[0].rightArea = riverside_;
        network.links[1].leftArea = network.links[1].rightArea = oldTown_;
        network.links[2].leftArea = springfieldClark_;  // right side stays in the grid's city
        Build(b_, roots_.base() / "out");
    }

    uint32_t EntryOf(uint32_t state) const {
        for (uint32_t e = 0; e < b_.layout.entries.size(); ++e) {
            if (b_.layout.entries[e].area == state)
                return e;
        }
        ADD_FAILURE() << "no entry for area " << state;
        return 0;
    }
    const DecodedPlace& PlaceOf(uint32_t area) const {
        return b_.az.places.at(b_.tables.placeOfArea.at(area));
    }

    static constexpr const char* kLongName =
        "The Regional Municipality of the Very Long and Winding Northern Lakes District";

    Built b_;
    uint32_t province_ = 0, greene_ = 0, clark_ = 0, longCounty_ = 0, springfieldGreene_ = 0,
             springfieldClark_ = 0, oldTown_ = 0, riverside_ = 0, empty_ = 0;
};

TEST_F(AreaFilesTest, OneAreaPerListEntryWithItsStatesPlaces) {
    CheckAreasAndPlaces(b_);
    EXPECT_EQ(b_.az.areas[EntryOf(province_)].fixed.codeNumber, 68u)
        << "Ontario is in the special zone";
    EXPECT_EQ(PlaceOf(longCounty_).text.size(), 63u);
    EXPECT_EQ(PlaceOf(riverside_).text, "RIVERSIDE");
}

TEST_F(AreaFilesTest, ParentsNameTheCountyOrTheEnclosingCity) {
    // A city names its county through the names list: that is what tells the two
    // Springfields apart.
    const DecodedPlace& greene = PlaceOf(springfieldGreene_);
    const DecodedPlace& clark = PlaceOf(springfieldClark_);
    ASSERT_GE(greene.parent, 0);
    ASSERT_GE(clark.parent, 0);
    EXPECT_EQ(b_.az.listNames.at(static_cast<uint32_t>(greene.parent)), "GREENE");
    EXPECT_EQ(b_.az.listNames.at(static_cast<uint32_t>(clark.parent)), "CLARK");
    // The province's names list holds its counties.
    EXPECT_EQ(b_.az.areas[EntryOf(province_)].fixed.nameCount, 3u);

    // A place in a city names the city's record, here one later in the file.
    const DecodedPlace& oldTown = PlaceOf(oldTown_);
    ASSERT_LT(oldTown.parent, 0);
    EXPECT_EQ(static_cast<uint32_t>(oldTown.parent) & az::kParentValueMask,
              b_.tables.placeOfArea[riverside_]);
    EXPECT_GT(b_.tables.placeOfArea[riverside_], b_.tables.placeOfArea[oldTown_]);

    EXPECT_EQ(PlaceOf(riverside_).parent, az::kNoParent);
    EXPECT_EQ(PlaceOf(greene_).parent, az::kNoParent);
}

TEST_F(AreaFilesTest, AreaWithoutPlacesKeepsTheOffsetsAscending) {
    const uint32_t e = EntryOf(empty_);
    const DecodedArea& area = b_.az.areas[e];
    EXPECT_EQ(area.fixed.placeWord, 0u);
    EXPECT_EQ(area.fixed.nameCount, 0u);
    const int32_t next = e + 1 < b_.az.areas.size() ? b_.az.areas[e + 1].fixed.firstPlaceOffset
                                                    : static_cast<int32_t>(b_.az.size);
    EXPECT_EQ(area.fixed.firstPlaceOffset, next);
    for (size_t i = 1; i < b_.az.areas.size(); ++i) {
        EXPECT_LE(b_.az.areas[i - 1].fixed.firstPlaceOffset, b_.az.areas[i].fixed.firstPlaceOffset);
    }
}

TEST_F(AreaFilesTest, StreetListsHoldTheNamesOfEachPlacesLinks) {
    // Gridton, both Springfields, Old Town and Riverside have streets.
    EXPECT_GE(CheckStreetLists(b_), 5u);
}

TEST_F(AreaFilesTest, BuiltInTownReadsBack) {
    Built town;
    town.network = BuildTown(7, 400);
    Build(town, roots_.base() / "town");
    CheckAreasAndPlaces(town);
    EXPECT_GE(CheckStreetLists(town), 3u) << "the town's three cities have streets";
}

TEST_F(AreaFilesTest, UnwritableFolderIsReported) {
    EXPECT_THROW(
        WriteAreaFiles(b_.network, b_.layout, b_.names, roots_.base() / "missing" / "folder"),
        std::runtime_error);
}

}  // namespace
}  // namespace discmaker

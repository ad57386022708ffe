// Street texts of links: names with their words and house ranges, route names,
// the address of the matched position, and the streets crossing a street. Small
// index files written here show each rule; the built-in town shows them on a
// whole generated map.
#include "pathlume/mapdb/street_texts.h"

#include <gtest/gtest.h>

#include <bit>
#include <cctype>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/areas.h"
#include "formats/chunk_payload.h"
#include "formats/link_info.h"
#include "formats/names.h"
#include "formats/street_types.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/geometry.h"
#include "pathlume/mapdb/lsr_files.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/position_services.h"
#include "pathlume/mapdb/street_types.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/names_writer.h"

namespace {

namespace fs = std::filesystem;
namespace li = formats::link_info;
namespace nm = formats::names;
namespace az = formats::areas;

// Positioning as the street texts see it: a travel direction the test sets.
class FakePosition final : public IPositionServices {
  public:
    void ResetMatcher() override {}
    void SaveLastPosition(const MapPoint*) override {}
    float GetSpeedMph() override { return 0; }
    TravelDirection GetTravelDirection() override { return direction; }
    TravelDirection direction = kTravelUnknown;
};

// Installs a fake positioning for one scope.
struct InstalledPosition {
    FakePosition fake;
    InstalledPosition() { SetPositionServices(&fake); }
    ~InstalledPosition() { SetPositionServices(nullptr); }
};

void WriteFile(const fs::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

void Put32(std::vector<uint8_t>& out, uint32_t value) {
    uint8_t bytes[4];
    formats::StoreU32(bytes, value);
    out.insert(out.end(), bytes, bytes + 4);
}

// A name item of `name` with a type code and flags.
li::NameItem Item(uint32_t name, uint16_t typeCode, uint16_t flags = 0, uint8_t direction = 0) {
    return {name, static_cast<uint16_t>(typeCode | flags), direction};
}

// Index files written by hand into a temporary map folder: names, street types,
// one area with one place, and link-information records; opened as the program's
// index files.
class StreetTextFilesTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        folder_ = roots_.base() / "Maps";
        fs::create_directories(folder_);
        mapdb_test::SetDataFolder(folder_);
    }
    void TearDown() override {
        CloseMapIndexFiles();
        mapdb_test::SetDataFolder({});
    }

    // Adds a name to "names.bin"; its id.
    uint32_t Name(const std::string& text) {
        const uint32_t id = static_cast<uint32_t>(nm::kDeviceNamesOffset + names_.size());
        names_.push_back(static_cast<uint8_t>(text.size()));
        names_.insert(names_.end(), text.begin(), text.end());
        return id;
    }
    // Adds a record to "linkinfo.bin"; its offset, the link's id.
    int32_t Record(li::Record record) {
        const int32_t offset = static_cast<int32_t>(kRecordsOffset + records_.size());
        record.leftPlace = record.rightPlace = place_;
        li::EncodeRecord(record, records_);
        return offset;
    }
    void Open(const std::vector<std::string>& types) {
        std::vector<uint8_t> names(nm::kDeviceNamesOffset, 0);
        std::copy(nm::kDeviceMagic, nm::kDeviceMagic + 4, names.begin());
        names.insert(names.end(), names_.begin(), names_.end());
        WriteFile(folder_ / "names.bin", names);

        std::vector<uint8_t> sttypes(formats::street_types::kMagic,
                                     formats::street_types::kMagic + 4);
        Put32(sttypes, static_cast<uint32_t>(types.size()));
        for (const std::string& type : types)
            sttypes.insert(sttypes.end(), type.c_str(), type.c_str() + type.size() + 1);
        WriteFile(folder_ / "sttypes.bin", sttypes);

        std::vector<uint8_t> linkinfo(li::kLinkInfoMagic, li::kLinkInfoMagic + 4);
        Put32(linkinfo, 0);
        linkinfo.insert(linkinfo.end(), records_.begin(), records_.end());
        WriteFile(folder_ / "linkinfo.bin", linkinfo);

        // One area "CALIFORNIA" (CA) with the one place "SPRINGFIELD".
        const std::string area = "CALIFORNIA";
        std::vector<uint8_t> azbin(az::kAzMagic, az::kAzMagic + 4);
        azbin.push_back(1);
        azbin.push_back(0);
        az::AreaEntry entry;
        entry.firstPlaceOffset = place_;
        entry.placeWord = 1;
        entry.code[0] = 'C';
        entry.code[1] = 'A';
        azbin.push_back(static_cast<uint8_t>(area.size()));
        uint8_t fixed[az::kFixedSize];
        az::EncodeAreaFixed(entry, fixed);
        azbin.insert(azbin.end(), fixed, fixed + sizeof fixed);
        azbin.insert(azbin.end(), area.begin(), area.end());
        ASSERT_EQ(azbin.size(), static_cast<size_t>(place_));
        uint8_t record[64];
        const size_t size = az::EncodePlaceRecord(az::kNoParent, "SPRINGFIELD", record);
        azbin.insert(azbin.end(), record, record + size);
        WriteFile(folder_ / "az.bin", azbin);

        OpenMapIndexFiles();
        ASSERT_TRUE(g_namesFile.IsOpen());
        ASSERT_TRUE(g_linkInfo.IsOpen());
        ASSERT_TRUE(g_areaZones.IsOpen());
        ASSERT_EQ(g_streetTypes.Count(), types.size() + 1);
    }

    std::string HouseRange(int32_t linkId, int selector, bool withRange = false,
                           size_t size = kStreetTextSize) {
        std::vector<char> buffer(size + 1, '#');
        FormatHouseRange(g_linkInfo, linkId, selector, buffer.data(), size, nullptr, withRange);
        EXPECT_EQ(buffer[size], '#') << "written past the buffer";
        return buffer.data();
    }

    static constexpr size_t kRecordsOffset = 8;
    fs::path folder_;
    std::vector<uint8_t> names_;
    std::vector<uint8_t> records_;
    // The place record's offset in "az.bin": after the head and the one area.
    const int32_t place_ = static_cast<int32_t>(az::kAreaEntriesOffset + az::AreaEntrySize(10));
};

TEST_F(StreetTextFilesTest, FormatHouseRangeWritesEachNameWithItsWords) {
    enum : uint16_t { kSt = 1, kVia = 2, kO = 3, kStrasse = 4 };
    const uint32_t main = Name("MAIN"), verde = Name("VERDE"), brien = Name("BRIEN"),
                   haupt = Name("HAUPT"), empty = Name("");
    const uint8_t north = nm::DirectionByte(nm::kNorth, nm::kNoDirection);
    const uint8_t east = nm::DirectionByte(nm::kNoDirection, nm::kEast);
    const uint8_t both = nm::DirectionByte(nm::kSouthWest, nm::kWest);
    auto one = [&](li::NameItem item) {
        li::Record record;
        record.items = {item};
        return Record(record);
    };
    const struct {
        const char* label;
        int32_t link;
        const char* text;
    } cases[] = {
        {"PrefixDirection", one(Item(main, kSt, 0, north)), "N MAIN ST"},
        {"SuffixDirection", one(Item(main, kSt, 0, east)), "MAIN ST E"},
        {"BothDirections", one(Item(main, kSt, 0, both)), "SW MAIN ST W"},
        {"TypeBefore", one(Item(verde, kVia, li::kItemTypeBeforeName)), "VIA VERDE"},
        {"ApostropheJoins", one(Item(brien, kO, li::kItemTypeBeforeName)), "O'BRIEN"},
        {"NoSpaceBeforeType", one(Item(haupt, kStrasse, li::kItemNoSpaceBeforeType)),
         "HAUPTSTRASSE"},
        {"TypeOutsideTheTable", one(Item(main, 9)), "MAIN"},
        {"NoType", one(Item(main, 0)), "MAIN"},
        {"EmptyName", one(Item(empty, kSt)), ""},
    };
    li::Record several;
    several.items = {Item(main, kSt, li::kItemPrimary), Item(empty, kSt),
                     Item(verde, kVia, li::kItemTypeBeforeName),
                     Item(haupt, kStrasse, li::kItemPrimary | li::kItemNoSpaceBeforeType)};
    const int32_t severalLink = Record(several);
    li::Record eight;
    for (const char* text : {"A1", "A2", "A3", "A4", "A5", "A6", "A7", "A8"})
        eight.items.push_back(Item(Name(text), 0));
    const int32_t eightLink = Record(eight);
    Open({"ST", "VIA", "O'", "STRASSE"});

    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EXPECT_EQ(HouseRange(c.link, kAllNames), c.text);
    }
    EXPECT_EQ(HouseRange(severalLink, kAllNames), "MAIN ST/VIA VERDE/HAUPTSTRASSE");
    EXPECT_EQ(HouseRange(severalLink, kPrimaryNames), "MAIN ST/HAUPTSTRASSE");
    EXPECT_EQ(HouseRange(severalLink, 2), "VIA VERDE");
    EXPECT_EQ(HouseRange(severalLink, 1), "");
    EXPECT_EQ(HouseRange(severalLink, 4), "");
    EXPECT_EQ(HouseRange(eightLink, kAllNames), "A1/A2/A3/A4/A5/A6/A7") << "seven names at most";
    EXPECT_EQ(HouseRange(eightLink, 7), "");
    EXPECT_EQ(HouseRange(kNoRecordLinkId, kAllNames), "UNKNOWN");
    EXPECT_EQ(HouseRange(-1, kAllNames), "");
    EXPECT_EQ(HouseRange(1 << 20, kAllNames), "") << "an offset past the file";
    // Cut to the buffer, terminated.
    EXPECT_EQ(HouseRange(severalLink, kAllNames, false, 12), "MAIN ST/VIA");
    EXPECT_EQ(HouseRange(severalLink, kAllNames, false, 1), "");

    // The last name written comes back.
    uint32_t id = 0;
    char buffer[kStreetTextSize];
    FormatHouseRange(g_linkInfo, severalLink, kAllNames, buffer, sizeof buffer, &id, false);
    EXPECT_EQ(id, haupt);

    // Without "names.bin" nothing is written.
    g_namesFile.Close();
    EXPECT_EQ(HouseRange(severalLink, kAllNames), "");
}

TEST_F(StreetTextFilesTest, FormatHouseRangeRunsTheRangeTheWayTheDriverMeetsIt) {
    const uint32_t main = Name("MAIN");
    const uint16_t numbers = li::kItemHouseNumbers;
    auto ranged = [&](uint16_t leftKind, li::HouseRange left, uint16_t rightKind,
                      li::HouseRange right, uint16_t itemFlags) {
        li::Record record;
        record.addressWord =
            li::AddressWord(leftKind, li::kParityEven, rightKind, li::kParityOdd, false);
        record.left = left;
        record.right = right;
        record.items = {Item(main, 1, itemFlags), Item(main, 1, numbers)};
        return Record(record);
    };
    const int32_t leftDown = ranged(li::kLeftRangeKind, {198, 100}, 0, {}, numbers);
    const int32_t bothUp =
        ranged(li::kLeftRangeKind, {100, 198}, li::kRightRangeKind, {101, 199}, numbers);
    const int32_t rightDown = ranged(0, {}, li::kRightRangeKind, {199, 101}, numbers);
    const int32_t leftFlat =
        ranged(li::kLeftRangeKind, {120, 120}, li::kRightRangeKind, {121, 131}, numbers);
    const int32_t noNumbersItem = ranged(li::kLeftRangeKind, {100, 198}, 0, {}, 0);
    const int32_t zeroRange = ranged(li::kLeftRangeKind, {0, 0}, 0, {}, numbers);
    Open({"ST"});

    InstalledPosition position;
    const struct {
        int32_t link;
        TravelDirection direction;
        const char* text;
    } cases[] = {
        {leftDown, kTravelForward, "198-100 MAIN ST/MAIN ST"},
        {leftDown, kTravelBackward, "100-198 MAIN ST/MAIN ST"},
        {leftDown, kTravelUnknown, "100-198 MAIN ST/MAIN ST"},
        {bothUp, kTravelForward, "100-199 MAIN ST/MAIN ST"},
        {bothUp, kTravelBackward, "199-100 MAIN ST/MAIN ST"},
        {rightDown, kTravelForward, "199-101 MAIN ST/MAIN ST"},
        {rightDown, kTravelBackward, "101-199 MAIN ST/MAIN ST"},
        // The left side has no order: the right side's gives it.
        {leftFlat, kTravelBackward, "131-120 MAIN ST/MAIN ST"},
        {noNumbersItem, kTravelForward, "MAIN ST/MAIN ST"},
        {zeroRange, kTravelForward, "MAIN ST/MAIN ST"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.link << " " << c.direction);
        position.fake.direction = c.direction;
        EXPECT_EQ(HouseRange(c.link, kAllNames, true), c.text);
    }
    position.fake.direction = kTravelForward;
    EXPECT_EQ(HouseRange(leftDown, kAllNames, false), "MAIN ST/MAIN ST");
    EXPECT_EQ(HouseRange(leftDown, 1, true), "MAIN ST") << "only item 0 carries the range";
}

TEST_F(StreetTextFilesTest, StreetNameRouteNameAndTheirAbsence) {
    const uint32_t main = Name("MAIN"), route = Name("I-80"), county = Name("CR 12");
    li::Record named;
    named.items = {Item(main, 1),
                   Item(county, 0, static_cast<uint16_t>(3 << li::kItemRouteClassShift)),
                   Item(route, 0, static_cast<uint16_t>(1 << li::kItemRouteClassShift))};
    const int32_t namedLink = Record(named);
    const int32_t unnamedLink = Record({});
    Open({"ST"});

    char buffer[kStreetTextSize];
    EXPECT_STREQ(GetLinkStreetName(g_linkInfo, namedLink, 0, 0, buffer, sizeof buffer, false),
                 "MAIN ST");
    EXPECT_STREQ(GetLinkStreetName(g_linkInfo, unnamedLink, formats::chunk_payload::kRamp,
                                   kAllNames, buffer, sizeof buffer, false),
                 "RAMP");
    EXPECT_STREQ(
        GetLinkStreetName(g_linkInfo, unnamedLink, 0, kAllNames, buffer, sizeof buffer, false),
        "NO NAME");
    EXPECT_STREQ(GetLinkStreetName(g_linkInfo, unnamedLink, 0, kAllNames, buffer, 4, false), "NO ");

    EXPECT_EQ(GetRouteName(g_linkInfo, namedLink, buffer, sizeof buffer), 3);
    EXPECT_STREQ(buffer, "CR 12");
    EXPECT_EQ(GetRouteName(g_linkInfo, namedLink, buffer, 3), 3);
    EXPECT_STREQ(buffer, "CR");
    EXPECT_EQ(GetRouteName(g_linkInfo, unnamedLink, buffer, sizeof buffer), 0);
    EXPECT_STREQ(buffer, "");
    EXPECT_EQ(GetRouteName(g_linkInfo, kNoRecordLinkId, buffer, sizeof buffer), 0);
}

// The vehicle's matched location on a straight link of the given id.
class MatchedLink {
  public:
    explicit MatchedLink(int32_t id) {
        from_.position = {0.0f, 0.0f};
        to_.position = {0.0f, 0.01f};
        link_.fromNode = &from_;
        link_.toNode = &to_;
        link_.linkId = id;
        link_.word0 = std::bit_cast<uint32_t>(PointDistance(from_.position, to_.position, 1.0));
        g_vehicleLocation = MapLocation{};
        g_vehicleLocation.link = &link_;
        g_vehicleLocation.segment = MapLocation::kNoSegment;
        g_vehicleLocation.cosLat = 1.0f;
        g_vehicleLocation.lat = 0.0f;
        g_vehicleLocation.scaledLon = 0.005f;  // the middle
    }
    ~MatchedLink() { g_vehicleLocation = MapLocation{}; }

  private:
    MapNode from_{};
    MapNode to_{};
    MapLink link_{};
};

TEST_F(StreetTextFilesTest, FormatAddressTextOfTheMatchedPosition) {
    const uint32_t main = Name("MAIN");
    auto ranged = [&](li::HouseRange left, li::HouseRange right) {
        li::Record record;
        record.cellWord = 0x80000123;
        record.addressWord = li::AddressWord(li::kLeftRangeKind, li::kParityBoth,
                                             li::kRightRangeKind, li::kParityBoth, false);
        record.left = left;
        record.right = right;
        record.items = {Item(main, 1, li::kItemHouseNumbers)};
        return Record(record);
    };
    const int32_t middle150 = ranged({100, 200}, {101, 201});
    const int32_t leftZero = ranged({0, 0}, {15, 15});
    Open({"ST"});

    const struct {
        const char* label;
        int32_t link;
        bool leftOnly;
        const char* line;
        const char* number;
        int side;
    } cases[] = {
        {"Left", middle150, false, "150 MAIN ST\nSPRINGFIELD, CA", "150", 1},
        {"RightWhenLeftIsZero", leftZero, false, "15 MAIN ST\nSPRINGFIELD, CA", "15", -1},
        {"LeftOnly", leftZero, true, "MAIN ST\nSPRINGFIELD, CA", "", 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        MatchedLink matched(c.link);
        char line[kStreetTextSize], number[16];
        AddressHit hit{};
        ASSERT_EQ(FormatAddressText(&hit, line, sizeof line, number, sizeof number, c.leftOnly), 0);
        EXPECT_STREQ(line, c.line);
        EXPECT_STREQ(number, c.number);
        EXPECT_EQ(hit.linkId, c.link);
        EXPECT_EQ(hit.cellWord, 0x80000123u);
        EXPECT_EQ(hit.side, c.side);
        EXPECT_FLOAT_EQ(hit.lat, 0.0f);
        EXPECT_NEAR(hit.lon, 0.005f, 1e-7);
        // Cut to the buffer; the number buffer is optional.
        ASSERT_EQ(FormatAddressText(nullptr, line, 8, nullptr, 0, c.leftOnly), 0);
        EXPECT_EQ(std::string(line), std::string(c.line).substr(0, 7));
    }

    // No matched link, or a link without a record: 1 and empty texts.
    char line[kStreetTextSize] = "old", number[16] = "old";
    EXPECT_EQ(FormatAddressText(nullptr, line, sizeof line, number, sizeof number, false), 1);
    EXPECT_STREQ(line, "");
    EXPECT_STREQ(number, "");
    MatchedLink unknown(kNoRecordLinkId);
    EXPECT_EQ(FormatAddressText(nullptr, line, sizeof line, number, sizeof number, false), 1);
}

// The generated maps of the built-in town with the program's index files open.
class StreetTextsTownTest : public mapdb_test::GridMapsTest {
  protected:
    void SetUp() override {
        GridMapsTest::SetUp();
        OpenMapIndexFiles();
        ASSERT_TRUE(g_linkInfo.IsOpen());
        ASSERT_TRUE(g_namesFile.IsOpen());
    }
    void TearDown() override {
        CloseMapIndexFiles();
        GridMapsTest::TearDown();
    }

    template <typename F>
    static void ForEachRecord(F f) {
        mapdb_test::ForEachLinkInfoRecord([&](int32_t offset, uint32_t,
                                              const LinkInfoRecord& record,
                                              const NameItem* items) { f(offset, record, items); });
    }
    static uint32_t NameId(const std::string& text) { return mapdb_test::NameIdOf(text); }
};

TEST_F(StreetTextsTownTest, RampsAreLabelledWithTheirExits) {
    std::multiset<std::string> expected;
    for (const discmaker::Link& link : mapdb_test::GridMapsTown().links) {
        if (link.signs->exitNumber.empty() && link.signs->exitSign.empty())
            continue;
        const std::string sign = discmaker::ToNameText(link.signs->exitSign, 60);
        expected.insert(link.signs->exitNumber.empty()
                            ? sign
                            : "EXIT " + discmaker::ToNameText(link.signs->exitNumber, 8) + ": " +
                                  sign);
    }
    ASSERT_FALSE(expected.empty());

    LsrFiles lsr;
    ASSERT_EQ(lsr.Open(), 0);
    std::multiset<std::string> labels;
    ForEachRecord([&](int32_t, const LinkInfoRecord& record, const NameItem*) {
        if (!(record.addressWord & li::kHasNamePair))
            return;
        char label[80];
        EXPECT_EQ(lsr.GetName(static_cast<int32_t>(record.namePair), label, sizeof label), 0);
        labels.insert(label);
    });
    lsr.Close();
    EXPECT_EQ(labels, expected);
    EXPECT_EQ(labels.count("EXIT 12A: I-80 E/S 3RD AVE"), 1u);
}

// The name text of a route number: "SR 89" is written "SR-89".
std::string RouteText(const std::string& number) {
    std::string text = discmaker::ToNameText(number, 63);
    size_t letters = 0;
    while (letters < text.size() && std::isupper(static_cast<unsigned char>(text[letters])))
        ++letters;
    if (letters > 0 && letters + 1 < text.size() && text[letters] == ' ' &&
        std::isdigit(static_cast<unsigned char>(text[letters + 1])))
        text[letters] = '-';
    return text;
}

TEST_F(StreetTextsTownTest, ListCrossStreetsOfMainStreetGivesExactlyItsCrossings) {
    const discmaker::Network& town = mapdb_test::GridMapsTown();
    auto isMain = [](const discmaker::Link& link) {
        return link.name->base == "Main" && link.name->suffixType == "St";
    };
    std::map<uint32_t, std::vector<const discmaker::Link*>> linksAt;
    for (const discmaker::Link& link : town.links) {
        linksAt[link.from].push_back(&link);
        linksAt[link.to].push_back(&link);
    }
    std::set<std::string> expected;
    for (const discmaker::Link& main : town.links) {
        if (!isMain(main))
            continue;
        for (uint32_t node : {main.from, main.to}) {
            for (const discmaker::Link* other : linksAt[node]) {
                if (isMain(*other))
                    continue;
                if (!other->name->base.empty())
                    expected.insert(discmaker::ToNameText(other->name->base, 63));
                if (!other->signs->highwayNumber.empty())
                    expected.insert(RouteText(other->signs->highwayNumber));
            }
        }
    }
    ASSERT_GT(expected.size(), 3u);

    const uint32_t mainId = NameId("MAIN");
    ASSERT_NE(mainId, 0u);
    CMapDatabase db;
    ASSERT_EQ(db.Open(), 0);
    std::set<std::string> found;
    LfoIndexFile reader;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount(); ++area) {
        for (const CrossStreet& crossing :
             ListCrossStreets(db, reader, area, mainId, -1, false, 0)) {
            EXPECT_EQ(crossing.text, [&] {
                char name[kNameBufferSize];
                ReadNamesBinString(crossing.nameId, name);
                return std::string(name);
            }());
            found.insert(crossing.text);
        }
    }
    EXPECT_EQ(found, expected);

    // The second street: where 1st Ave crosses Main St, with the place.
    const uint32_t firstId = NameId("1ST");
    ASSERT_NE(firstId, 0u);
    std::vector<CrossStreet> crossings;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount(); ++area) {
        for (CrossStreet& c : ListCrossStreets(db, reader, area, mainId, -1, true, firstId))
            crossings.push_back(std::move(c));
    }
    ASSERT_FALSE(crossings.empty());
    for (const CrossStreet& c : crossings) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(c.text.rfind("MAIN ST\n", 0), 0u);
        EXPECT_NE(c.text.find("1ST AVE, "), std::string::npos);
        EXPECT_EQ(c.hit.side, 1);
        EXPECT_GT(c.hit.linkId, 0);
        EXPECT_NE(c.hit.lat, 0.0f);
    }

    // No area, or a street the area does not hold: nothing.
    EXPECT_TRUE(ListCrossStreets(db, reader, 99, mainId, -1, false, 0).empty());
    EXPECT_TRUE(ListCrossStreets(db, reader, 0, firstId + 1, -1, false, 0).empty());
}

TEST_F(StreetTextsTownTest, HouseRangesRunAsTheVehicleTravels) {
    // Main St numbers grow from west to east, the links' direction; the avenues
    // south of it grow southwards, against theirs.
    const discmaker::Network& town = mapdb_test::GridMapsTown();
    std::multiset<std::string> expectedForward, expectedBackward;
    for (const discmaker::Link& link : town.links) {
        const bool main = link.name->base == "Main" && link.name->suffixType == "St";
        const bool southAvenue =
            link.name->directionPrefix == "S" && link.name->suffixType == "Ave";
        if (!(main || southAvenue))
            continue;
        const std::string name = discmaker::ToNameText(link.name->FullText(), 63);
        if (link.left.Empty()) {
            // An interchange's spur has no numbers.
            expectedForward.insert(name);
            expectedBackward.insert(name);
            continue;
        }
        const uint32_t lo =
            std::min({link.left.first, link.left.last, link.right.first, link.right.last});
        const uint32_t hi =
            std::max({link.left.first, link.left.last, link.right.first, link.right.last});
        const std::string up = std::to_string(lo) + "-" + std::to_string(hi) + " " + name;
        const std::string down = std::to_string(hi) + "-" + std::to_string(lo) + " " + name;
        expectedForward.insert(main ? up : down);
        expectedBackward.insert(main ? down : up);
    }
    ASSERT_FALSE(expectedForward.empty());

    InstalledPosition position;
    std::multiset<std::string> forward, backward;
    ForEachRecord([&](int32_t offset, const LinkInfoRecord&, const NameItem*) {
        char text[kStreetTextSize];
        FormatHouseRange(g_linkInfo, offset, 0, text, sizeof text, nullptr, false);
        const std::string plain = text;
        if (!(plain == "MAIN ST" || (plain.rfind("S ", 0) == 0 && plain.size() > 4 &&
                                     plain.compare(plain.size() - 4, 4, " AVE") == 0)))
            return;
        position.fake.direction = kTravelForward;
        forward.insert(FormatHouseRange(g_linkInfo, offset, 0, text, sizeof text, nullptr, true));
        position.fake.direction = kTravelBackward;
        backward.insert(FormatHouseRange(g_linkInfo, offset, 0, text, sizeof text, nullptr, true));
    });
    EXPECT_EQ(forward, expectedForward);
    EXPECT_EQ(backward, expectedBackward);
}

}  // namespace

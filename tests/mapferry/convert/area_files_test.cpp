#include "mapferry/convert/area_files.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "formats/areas.h"
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
namespace az = formats::areas;

constexpr uint32_t kPlace = 0x80000000u;
constexpr uint32_t kNone = 0xFFFFFFFFu;

Bytes& Entry(Bytes& b, const char* name, uint32_t namesList, uint32_t names, uint32_t firstPlace,
             uint32_t placeWord, uint32_t code, const char* letters) {
    return b.U8(2)
        .U32(namesList)
        .U32(names)
        .U32(firstPlace)
        .U32(placeWord)
        .U32(code)
        .Text(letters)
        .Text(name);
}
Bytes& Place(Bytes& b, uint32_t head, const char* text) {
    return b.U8(head).Text(text);
}
Bytes& Place(Bytes& b, uint32_t head, uint32_t parent, const char* text) {
    return b.U8(head).U32(parent).Text(text);
}

// "az.raw": four areas. Area 0 has the county name N0 and the places X (in county
// N0), Y (in place Z, which comes later) and Z; area 1 the name N1 and the place W
// (parent -2); area 2 no names and the places U (in W of area 1), V (in N1 of area
// 1), S (in U) and T (parent -2); area 3 nothing.
std::string AzRaw() {
    Bytes b;
    b.Text("AZE2").U16(4);
    Entry(b, "AA", 106, 1, 112, 3, 5, "AA");
    Entry(b, "BB", 109, 1, 126, 1, 6, "BB");
    Entry(b, "CC", 112, 0, 128, 4, 7, "CC");
    Entry(b, "DD", 112, 0, 148, 0, 8, "DD");
    b.U8(2).Text("N0").U8(2).Text("N1");  // 106
    Place(b, 0x81, 0, "X");               // p0 @112
    Place(b, 0x81, kPlace | 2, "Y");      // p1 @118
    Place(b, 0x01, "Z");                  // p2 @124
    Place(b, 0x41, "W");                  // p3 @126
    Place(b, 0x81, kPlace | 3, "U");      // p4 @128
    Place(b, 0x81, 1, "V");               // p5 @134
    Place(b, 0x81, kPlace | 4, "S");      // p6 @140
    Place(b, 0x41, "T");                  // p7 @146
    EXPECT_EQ(b.Size(), 148u);
    return b.String();
}

// "azbc.raw" for the same areas.
std::string AzbcRaw() {
    Bytes b;
    b.Text("AC00").U16(4);
    b.U32(38).U32(3).U32(70).U32(1).U32(82).U32(4).U32(kNone).U32(0);
    b.U32(50).U32(kNone).U32(62);                                                // 38
    b.U32(2).U32(az::SourceStreetValue(3, 4)).U32(az::SourceStreetValue(9, 5));  // 50
    b.U32(1).U32(az::SourceStreetValue(0, 2));                                   // 62
    b.U32(74).U32(1).U32(az::SourceStreetValue(1, 2));                           // 70
    b.U32(kNone).U32(kNone).U32(98).U32(106);                                    // 82
    b.U32(1).U32(az::SourceStreetValue(2, 3));                                   // 98
    b.U32(1).U32(az::SourceStreetValue(1, 2));                                   // 106
    EXPECT_EQ(b.Size(), 114u);
    return b.String();
}

class AreaFilesTest : public ConverterTest {
  protected:
    void SetUp() override {
        ConverterTest::SetUp();
        // Areas 0, 2 and 3; area 2 only partly.
        cut_.m_chosen = {0, 2 | kPartlyChosenBit, 3};
        cut_.m_whollyChosen = {0, 3};
    }
    void WriteSources(const std::string& az = AzRaw(), const std::string& azbc = AzbcRaw()) {
        WriteTestFile(SourcePath(u"az.raw"), az);
        WriteTestFile(SourcePath(u"azbc.raw"), azbc);
    }
    CMapCut cut_;
};

TEST_F(AreaFilesTest, BuildRenumbersEveryParentAndHandsOnThePlaces) {
    WriteSources();
    CAzConverter converter(cut_);
    ASSERT_EQ(converter.Build(areas_fixture::kSource, areas_fixture::kTemp), 0);
    EXPECT_EQ(converter.PlaceOffsets(),
              (PlaceOffsetTable{84, 90, 96, kNotRenumbered, 98, 100, 102, 108}));
    EXPECT_EQ(converter.AreaFirstPlaces(), (AreaFirstPlaceTable{84, 98, 110}));

    // Every place used: the file is the build itself.
    ASSERT_EQ(converter.WriteAz(areas_fixture::kTemp, UsedPlaceFlags(8, 1)), 0);
    Bytes expected;
    expected.Text("AZE2").U16(3);
    Entry(expected, "AA", 81, 1, 84, 3, 5, "AA");
    Entry(expected, "CC", 84, 0, 98, 4, 7, "CC");
    Entry(expected, "DD", 84, 0, 110, 0x80000000u, 8, "DD");  // no place, none used
    expected.U8(2).Text("N0");                                // 81
    Place(expected, 0x81, 81, "X");                           // 84: the county's offset
    Place(expected, 0x81, kPlace | 96, "Y");                  // 90: patched forward
    Place(expected, 0x01, "Z");                               // 96
    Place(expected, 0x01, "U");               // 98: its parent's area is not written
    Place(expected, 0x01, "V");               // 100: nor its parent name's
    Place(expected, 0x81, kPlace | 98, "S");  // 102: an earlier record
    Place(expected, 0x41, "T");               // 108: -2 kept
    EXPECT_EQ(ReadTestFile(TempPath(u"az.bin")), expected.String());
}

TEST_F(AreaFilesTest, UnusedPlacesReadEmptyAndAnAreaWithoutUseIsFlagged) {
    WriteSources();
    CAzConverter converter(cut_);
    ASSERT_EQ(converter.Build(areas_fixture::kSource, areas_fixture::kTemp), 0);
    UsedPlaceFlags used(8, 0);
    used[0] = used[2] = 1;  // area 2 keeps nothing
    ASSERT_EQ(converter.WriteAz(areas_fixture::kTemp, used), 0);
    const std::string az = ReadTestFile(TempPath(u"az.bin"));
    ASSERT_EQ(az.size(), 110u);
    const auto word = [&](size_t entry) {
        return az::LoadU32(reinterpret_cast<const uint8_t*>(az.data()) + 6 + 25 * entry + 1 + 12);
    };
    EXPECT_EQ(word(0), 3u);
    EXPECT_EQ(word(1), 4u | az::kNoPlaceUsed);
    EXPECT_EQ(word(2), 0u | az::kNoPlaceUsed);
    // Text bytes of p0..p7 (p3 not written): lengths kept, unused texts zeroed.
    const std::pair<size_t, char> texts[] = {{89, 'X'}, {95, 0},  {97, 'Z'}, {99, 0},
                                             {101, 0},  {107, 0}, {109, 0}};
    for (const auto& [at, text] : texts) {
        EXPECT_EQ(az[at], text) << "at " << at;
    }
    EXPECT_EQ(static_cast<uint8_t>(az[90]), 0x81) << "the head keeps its length";
}

TEST_F(AreaFilesTest, AzbcListsOnlyUsedPlacesWithDeviceNameOffsets) {
    WriteSources();
    CAzConverter converter(cut_);
    ASSERT_EQ(converter.Build(areas_fixture::kSource, areas_fixture::kTemp), 0);
    UsedPlaceFlags used(8, 0);
    used[0] = used[2] = used[6] = 1;
    // Name 2 was not written, name 9 lies beyond the written names.
    const NameOffsetTable names = {4, 10, kNotRenumbered, 30};
    ASSERT_EQ(converter.WriteAzbc(areas_fixture::kSource, areas_fixture::kTemp, used, names), 0);
    const uint32_t beyond = 0x03FFFFFE;
    Bytes expected;
    expected.Text("AC00").U16(3).U32(30).U32(3).U32(62).U32(4).U32(86).U32(0);
    expected.U32(42).U32(kNone).U32(54);                        // 30
    expected.U32(2).U32(30 | 4u << 26).U32(beyond | 5u << 26);  // 42
    expected.U32(1).U32(4 | 2u << 26);                          // 54
    expected.U32(kNone).U32(kNone).U32(78).U32(kNone);          // 62: T is not used
    expected.U32(1).U32(beyond | 3u << 26);                     // 78
    // 86: area 3 has no places: an empty pointer table and count 0.
    EXPECT_EQ(ReadTestFile(TempPath(u"azbc.bin")), expected.String());
}

TEST_F(AreaFilesTest, AreaOfPlaceTakesTheLastAreaStartingAtOrBefore) {
    const AreaFirstPlaceTable areas = {84, 98, 98, 110};  // area 1 has no places
    EXPECT_EQ(AreaOfPlace(areas, 83), -1);
    EXPECT_EQ(AreaOfPlace(areas, 84), 0);
    EXPECT_EQ(AreaOfPlace(areas, 97), 0);
    EXPECT_EQ(AreaOfPlace(areas, 98), 2);
    EXPECT_EQ(AreaOfPlace(areas, 500), 3);
    EXPECT_EQ(AreaOfPlace({}, 5), -1);
}

TEST_F(AreaFilesTest, CancelledBuildWritesNothing) {
    WriteSources();
    g_cancelFlag.store(1);
    CAzConverter converter(cut_);
    EXPECT_EQ(converter.Build(areas_fixture::kSource, areas_fixture::kTemp), 1);
    EXPECT_EQ(converter.WriteAz(areas_fixture::kTemp, {}), 1);
    EXPECT_FALSE(areas_fixture::Exists(TempPath(u"az.bin")));
}

TEST_F(AreaFilesTest, BadAzSourcesEndInTheirReports) {
    CAzConverter converter(cut_);
    auto build = [&] { converter.Build(areas_fixture::kSource, areas_fixture::kTemp); };

    ExpectReport(build, u"Error opening az.raw. " + InternalError(2281));
    std::string wrong = AzRaw();
    wrong[3] = '1';
    WriteSources(wrong);
    ExpectReport(build, u"Corrupted file: AZE2");

    // Every byte of the file is needed: each shorter copy fails (the last record
    // belongs to a chosen area).
    const std::string whole = AzRaw();
    for (size_t length = 0; length < whole.size(); ++length) {
        WriteSources(whole.substr(0, length));
        SCOPED_TRACE(length);
        ExpectReport(build, length < 4     ? u"Corrupted file: AZE2"
                            : length < 106 ? InternalError(2311)
                            : length < 109 ? InternalError(2330)
                                           : InternalError(2452));
    }

    // A parent record beyond the file's records, a count beyond the file, and a
    // chosen entry the file does not have.
    std::string badParent = AzRaw();
    badParent[141] = 9;  // S's parent becomes place 9
    WriteSources(badParent);
    ExpectReport(build, InternalError(2452));
    std::string badCount = AzRaw();
    badCount[6 + 1 + 12 + 3] = 0x10;  // area 0 claims 0x10000003 places
    WriteSources(badCount);
    ExpectReport(build, InternalError(2534));
    WriteSources();
    cut_.m_chosen.push_back(4);
    ExpectReport(build, InternalError(2320));
}

TEST_F(AreaFilesTest, BadAzbcSourcesEndInTheirReports) {
    WriteSources();
    CAzConverter converter(cut_);
    ASSERT_EQ(converter.Build(areas_fixture::kSource, areas_fixture::kTemp), 0);
    const UsedPlaceFlags used(8, 1);
    auto write = [&] {
        converter.WriteAzbc(areas_fixture::kSource, areas_fixture::kTemp, used, {});
    };
    const std::string whole = AzbcRaw();
    struct Case {
        std::string source;
        std::u16string report;
    };
    std::string pointerCount = whole;
    pointerCount[6 + 4] = 4;  // area 0 claims four pointers for three places
    std::string listCount = whole;
    listCount[50] = 50;  // list A claims 50 values
    const Case cases[] = {
        {"", u"Error opening azbc.raw. " + InternalError(2620)},
        {"AC01" + whole.substr(4), u"Corrupted file: AC00"},
        {whole.substr(0, 5), InternalError(2635)},
        {whole.substr(0, 37), InternalError(2635)},  // the entry table
        {whole.substr(0, 45), InternalError(2681)},  // a pointer table
        {whole.substr(0, 52), InternalError(2721)},  // a list's count
        {whole.substr(0, 60), InternalError(2759)},  // a list's values
        {pointerCount, InternalError(2681)},
        {listCount, InternalError(2759)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source.size());
        if (c.source.empty()) {
            DeleteFileW(SourcePath(u"azbc.raw").c_str());
        } else {
            WriteSources(AzRaw(), c.source);
        }
        ExpectReport(write, c.report);
    }
}

}  // namespace

// ---- A disc of the data disc builder, chosen whole --------------------------------

namespace {

struct AzFile {
    struct Area {
        az::AreaEntry fixed;
        std::string name;
        std::vector<std::string> names;
        std::vector<std::pair<uint32_t, az::PlaceRecord>> places;  // offset, record
    };
    std::vector<Area> areas;
    std::vector<std::string> allNames;  // by names-list number
};

// Reads an area file as its readers do: entries, names lists, place records.
AzFile ParseAz(const std::string& file) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    AzFile az;
    size_t at = az::kAreaEntriesOffset;
    const uint32_t count = az::LoadU16(bytes + az::kAreaCountOffset);
    for (uint32_t i = 0; i < count; ++i) {
        AzFile::Area area;
        area.fixed = az::DecodeAreaFixed(bytes + at + 1);
        area.name = file.substr(at + 1 + az::kFixedSize, bytes[at]);
        at += az::AreaEntrySize(bytes[at]);
        size_t name = area.fixed.namesListOffset;
        for (uint32_t k = 0; k < area.fixed.nameCount; ++k) {
            area.names.push_back(file.substr(name + 1, bytes[name]));
            az.allNames.push_back(area.names.back());
            name += 1 + bytes[name];
        }
        size_t place = static_cast<uint32_t>(area.fixed.firstPlaceOffset);
        for (uint32_t k = 0; k < (area.fixed.placeWord & az::kPlaceCountMask); ++k) {
            az::PlaceRecord record;
            EXPECT_TRUE(az::DecodePlaceRecord(bytes + place, file.size() - place, record));
            area.places.emplace_back(static_cast<uint32_t>(place), record);
            place += record.size;
        }
        az.areas.push_back(std::move(area));
    }
    return az;
}

std::vector<std::vector<std::vector<uint32_t>>> ParseAzbc(const std::string& file) {
    const auto* bytes = reinterpret_cast<const uint8_t*>(file.data());
    std::vector<std::vector<std::vector<uint32_t>>> lists;  // area, place, values
    const uint32_t count = az::LoadU16(bytes + az::kAzbcCountOffset);
    for (uint32_t i = 0; i < count; ++i) {
        const az::AzbcEntry entry = az::DecodeAzbcEntry(bytes + az::AzbcEntryOffset(i));
        lists.emplace_back();
        for (uint32_t k = 0; k < entry.pointerCount; ++k) {
            const uint32_t pointer = az::LoadU32(bytes + entry.pointerTable + 4 * k);
            std::vector<uint32_t> values;
            if (pointer != kNone) {
                const uint32_t n = az::LoadU32(bytes + pointer);
                for (uint32_t v = 0; v < n; ++v) {
                    values.push_back(az::LoadU32(bytes + pointer + 4 + 4 * v));
                }
            }
            lists.back().push_back(values);
        }
    }
    return lists;
}

class AreaDiscTest : public testing_support::RootsTest {};

TEST_F(AreaDiscTest, WholeTownDiscReadsBackPlaceForPlace) {
    discmaker::Network town = discmaker::BuildTown(5, 300);
    const std::filesystem::path out = roots_.base() / "disc";
    discmaker::BuildDiscs(town, out);
    const areas_fixture::WholeDisc disc = areas_fixture::ChooseWholeDisc(out);
    const std::u16string temp = platform::HostPathText(roots_.base() / "tmp");
    std::filesystem::create_directories(roots_.base() / "tmp");

    CAzConverter converter(disc.cut);
    ASSERT_EQ(converter.Build(disc.disc1.c_str(), temp.c_str()), 0);
    const PlaceOffsetTable& places = converter.PlaceOffsets();
    ASSERT_EQ(converter.WriteAz(temp.c_str(), UsedPlaceFlags(places.size(), 1)), 0);
    ASSERT_EQ(converter.WriteAzbc(disc.disc1.c_str(), temp.c_str(),
                                  UsedPlaceFlags(places.size(), 1), disc.names),
              0);

    const std::string rawBytes = areas_fixture::HostFile(out / "CD1" / "mapdata" / "az.raw");
    const std::string binBytes = areas_fixture::HostFile(roots_.base() / "tmp" / "az.bin");
    const AzFile raw = ParseAz(rawBytes);
    const AzFile bin = ParseAz(binBytes);
    ASSERT_EQ(bin.areas.size(), raw.areas.size());
    ASSERT_GE(raw.areas.size(), 2u) << "the town has two states";
    size_t placeNumber = 0;
    int withParent = 0;
    for (size_t i = 0; i < raw.areas.size(); ++i) {
        const AzFile::Area& from = raw.areas[i];
        const AzFile::Area& to = bin.areas[i];
        EXPECT_EQ(to.name, from.name);
        EXPECT_EQ(to.names, from.names);
        EXPECT_EQ(to.fixed.codeNumber, from.fixed.codeNumber);
        EXPECT_EQ(std::string(to.fixed.code, 2), std::string(from.fixed.code, 2));
        EXPECT_EQ(converter.AreaFirstPlaces()[i], static_cast<uint32_t>(to.fixed.firstPlaceOffset));
        ASSERT_EQ(to.places.size(), from.places.size());
        for (size_t k = 0; k < from.places.size(); ++k, ++placeNumber) {
            const az::PlaceRecord& a = from.places[k].second;
            const az::PlaceRecord& b = to.places[k].second;
            EXPECT_EQ(places[placeNumber], to.places[k].first);
            EXPECT_EQ(b.text, a.text);
            if (!az::HasParentField(a.parent)) {
                EXPECT_EQ(b.parent, a.parent);
                continue;
            }
            ++withParent;
            const uint32_t value = static_cast<uint32_t>(a.parent);
            if (value & kPlace) {
                EXPECT_EQ(static_cast<uint32_t>(b.parent), places[value & ~kPlace] | kPlace);
            } else {
                // The parent offset points at the same county name.
                const uint32_t at = static_cast<uint32_t>(b.parent);
                ASSERT_LT(at, binBytes.size());
                EXPECT_EQ(binBytes.substr(at + 1, static_cast<uint8_t>(binBytes[at])),
                          raw.allNames[value]);
            }
        }
    }
    EXPECT_GT(withParent, 0) << "the town's cities lie in counties";

    const auto rawLists = ParseAzbc(areas_fixture::HostFile(out / "CD1" / "mapdata" / "azbc.raw"));
    const auto binLists = ParseAzbc(areas_fixture::HostFile(roots_.base() / "tmp" / "azbc.bin"));
    ASSERT_EQ(binLists.size(), rawLists.size());
    size_t values = 0;
    for (size_t i = 0; i < rawLists.size(); ++i) {
        ASSERT_EQ(binLists[i].size(), rawLists[i].size());
        for (size_t k = 0; k < rawLists[i].size(); ++k) {
            ASSERT_EQ(binLists[i][k].size(), rawLists[i][k].size());
            for (size_t v = 0; v < rawLists[i][k].size(); ++v, ++values) {
                const uint32_t source = rawLists[i][k][v];
                const uint32_t device = binLists[i][k][v];
                EXPECT_EQ(az::DeviceValueOffset(device), disc.names[az::SourceValueName(source)]);
                EXPECT_EQ(az::DeviceValueLength(device), az::SourceValueLength(source));
            }
        }
    }
    EXPECT_GT(values, 0u);
}

}  // namespace

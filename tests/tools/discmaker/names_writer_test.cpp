// The name files of the data disc, decoded with formats/ and checked against the
// network they were written from.
#include "tools/discmaker/names_writer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "formats/name_index.h"
#include "formats/names.h"
#include "formats/street_types.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/town.h"

namespace discmaker {
namespace {

namespace nm = formats::names;
namespace ni = formats::name_index;
namespace st = formats::street_types;

std::vector<uint8_t> ReadBytes(const std::filesystem::path& path) {
    std::ifstream file(path, std::ios::binary);
    EXPECT_TRUE(file) << path;
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

bool HasMagic(const std::vector<uint8_t>& bytes, const char (&magic)[4]) {
    return bytes.size() >= 4 && std::equal(magic, magic + 4, bytes.begin());
}

// ---- Decoders, as the converters read the source files ------------------------------

std::vector<std::string> DecodeNamesRaw(const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(HasMagic(bytes, nm::kSourceMagic));
    std::vector<std::string> names;
    size_t at = nm::kSourceNamesOffset;
    while (at < bytes.size()) {
        const size_t length = bytes[at];
        EXPECT_LE(at + 1 + length, bytes.size()) << "name " << names.size() << " runs past the end";
        if (at + 1 + length > bytes.size())
            break;
        names.emplace_back(reinterpret_cast<const char*>(&bytes[at + 1]), length);
        at += 1 + length;
    }
    return names;
}

struct NameIndexFile {
    uint32_t nameCount = 0;
    std::vector<std::vector<uint32_t>> entries;
};

NameIndexFile DecodeNameIndex(const std::vector<uint8_t>& bytes) {
    NameIndexFile file;
    EXPECT_TRUE(HasMagic(bytes, ni::kNameIndexMagic));
    if (bytes.size() < ni::kNameIndexEntriesOffset)
        return file;
    file.nameCount = ni::LoadU32(&bytes[ni::kNameIndexNameCountOffset]);
    const uint32_t count = ni::LoadU32(&bytes[ni::kNameIndexEntryCountOffset]);
    EXPECT_LE(ni::kNameIndexEntriesOffset + count * ni::kNameIndexEntrySize, bytes.size());
    for (uint32_t e = 0; e < count; ++e) {
        const ni::NameIndexEntry entry = ni::DecodeNameIndexEntry(
            &bytes[ni::kNameIndexEntriesOffset + e * ni::kNameIndexEntrySize]);
        EXPECT_LE(entry.offset + uint64_t{entry.count} * ni::kNameNumberSize, bytes.size());
        std::vector<uint32_t> numbers;
        for (uint32_t i = 0; i < entry.count; ++i) {
            numbers.push_back(ni::LoadU32(&bytes[entry.offset + i * ni::kNameNumberSize]));
        }
        file.entries.push_back(numbers);
    }
    return file;
}

struct StreetListFile {
    std::vector<ni::StreetEntry> entries;
    std::vector<std::vector<ni::StreetItem>> items;
};

StreetListFile DecodeStreetLists(const std::vector<uint8_t>& bytes) {
    StreetListFile file;
    EXPECT_TRUE(HasMagic(bytes, ni::kStreetListMagic));
    const uint32_t count = ni::LoadU32(&bytes[ni::kStreetListCountOffset]);
    EXPECT_LE(ni::kStreetListEntriesOffset + count * ni::kStreetEntrySize, bytes.size());
    for (uint32_t e = 0; e < count; ++e) {
        const ni::StreetEntry entry =
            ni::DecodeStreetEntry(&bytes[ni::kStreetListEntriesOffset + e * ni::kStreetEntrySize]);
        EXPECT_LE(entry.itemsOffset + uint64_t{entry.count} * ni::kStreetItemSize, bytes.size());
        file.entries.push_back(entry);
        std::vector<ni::StreetItem> items;
        for (uint32_t i = 0; i < entry.count; ++i) {
            items.push_back(
                ni::DecodeStreetItem(&bytes[entry.itemsOffset + i * ni::kStreetItemSize]));
        }
        file.items.push_back(items);
    }
    return file;
}

std::vector<std::string> DecodeStreetTypes(const std::vector<uint8_t>& bytes) {
    EXPECT_TRUE(HasMagic(bytes, st::kMagic));
    const uint32_t count = st::LoadU32(&bytes[st::kCountOffset]);
    std::vector<std::string> types;
    size_t at = st::kNamesOffset;
    for (uint32_t i = 0; i < count && at < bytes.size(); ++i) {
        std::string name;
        while (at < bytes.size() && bytes[at] != 0)
            name += static_cast<char>(bytes[at++]);
        ++at;  // the NUL
        types.push_back(name);
    }
    EXPECT_EQ(at, bytes.size()) << "the names end the file";
    return types;
}

// The names converter's index over the names it keeps (in file order), and a
// reader's look-up of a name through it, as the navigation program does.
struct ConvertedNames {
    std::vector<uint8_t> bytes;
    std::map<uint32_t, uint32_t> offsetOfNumber;
};

ConvertedNames ConvertNames(const std::vector<std::string>& names, const std::set<uint32_t>& used) {
    ConvertedNames out;
    out.bytes.assign(nm::kDeviceNamesOffset, 0);
    std::copy(nm::kDeviceMagic, nm::kDeviceMagic + 4, out.bytes.begin());
    std::vector<nm::IndexEntry> index(nm::kLetterPairs);
    int previous = -1;
    for (uint32_t number : used) {
        const std::string& name = names[number];
        const int pair = nm::LetterPairOfName(name);
        EXPECT_GE(pair, 0) << name;
        if (pair < 0)
            continue;
        const auto offset = static_cast<uint32_t>(out.bytes.size());
        out.offsetOfNumber[number] = offset;
        index[pair].count += 1;
        index[pair].bytes += nm::NameRecordSize(name.size());
        if (pair != previous)
            index[pair].firstOffset = offset;
        previous = pair;
        out.bytes.push_back(static_cast<uint8_t>(name.size()));
        out.bytes.insert(out.bytes.end(), name.begin(), name.end());
    }
    for (int pair = 0; pair < nm::kLetterPairs; ++pair) {
        nm::EncodeIndexEntry(index[pair], &out.bytes[nm::IndexEntryOffset(pair)]);
    }
    return out;
}

// The offset of `name` found by its first two letters, or 0.
uint32_t LookUp(const std::vector<uint8_t>& namesBin, const std::string& name) {
    const char first = name.empty() ? '\0' : name[0];
    const char second = name.size() < 2 ? '\0' : name[1];
    const int secondCode = nm::SecondLetterCode(second);
    if (secondCode < 0)
        return 0;
    const nm::IndexEntry entry = nm::DecodeIndexEntry(
        &namesBin[nm::IndexEntryOffset(nm::LetterPair(nm::FirstLetterCode(first), secondCode))]);
    size_t at = entry.firstOffset;
    for (uint32_t i = 0; i < entry.count && at < namesBin.size(); ++i) {
        const size_t length = namesBin[at];
        if (std::string(reinterpret_cast<const char*>(&namesBin[at + 1]), length) == name) {
            return static_cast<uint32_t>(at);
        }
        at += 1 + length;
    }
    return 0;
}

// ---- The fixture network --------------------------------------------------------------

// Two states, each with a city and its own list entry; a street on the state line
// has a city of each state on its sides.
struct Fixture {
    Network network;
    DiscLayout layout;
    uint32_t cityA = 0, cityB = 0;
    uint32_t main = 0, rue = 0, both = 0, highway = 0, border = 0, unnamed = 0, single = 0,
             oddDirection = 0, typeOnly = 0, accented = 0;
    std::vector<uint32_t> ramps;
};

Fixture MakeFixture(const std::filesystem::path& out) {
    Fixture f;
    Network& n = f.network;
    const uint32_t stateA = n.AddArea({AreaKind::State, "Alpha", "AA", kNone, {45.0, -100.0}, {}});
    const uint32_t stateB = n.AddArea({AreaKind::State, "Beta", "BB", kNone, {45.0, -99.0}, {}});
    f.cityA = n.AddArea({AreaKind::City, "Alphaville", "", stateA, {45.0, -100.0}, {}});
    f.cityB = n.AddArea({AreaKind::City, "Betatown", "", stateB, {45.0, -99.0}, {}});
    Region regionA;
    regionA.number = 1;
    regionA.name = "Alpha";
    regionA.area = stateA;
    Region regionB = regionA;
    regionB.number = 2;
    regionB.name = "Beta";
    regionB.area = stateB;
    n.regions = {regionA, regionB};
    for (int i = 0; i < 20; ++i)
        n.AddNode({45.0, -100.0 + 0.01 * i});

    auto add = [&](uint32_t from, StreetName name, uint32_t leftArea, uint32_t rightArea,
                   HouseRange left, HouseRange right, std::string highway = "") {
        Link link;
        link.from = from;
        link.to = from + 1;
        link.name = std::move(name);
        link.signs = LinkSigns{.highwayNumber = highway};
        link.left = left;
        link.right = right;
        link.leftArea = leftArea;
        link.rightArea = rightArea;
        return n.AddLink(std::move(link));
    };
    const HouseRange none;
    f.main = add(0, {"N", "", "Main", "Street", ""}, f.cityA, f.cityA, {101, 199, Parity::Odd},
                 {100, 198, Parity::Even});
    // The same street on, numbered further; its range widens the street's.
    add(1, {"N", "", "Main", "St", ""}, f.cityA, f.cityA, {201, 299, Parity::Odd},
        {398, 200, Parity::Even});
    f.rue = add(2, {"", "Rue", "de la Paix", "", ""}, f.cityA, f.cityA, {1, 9, Parity::Odd}, none);
    f.both = add(3, {"", "Avenue", "of the Stars", "Blvd", ""}, f.cityA, f.cityA, none, none);
    f.highway = add(4, {}, f.cityA, f.cityA, none, none, "I 5;US 101");
    f.border = add(5, {"", "", "Line", "Road", "SW"}, f.cityA, f.cityB, {11, 19, Parity::Odd},
                   {10, 18, Parity::Even});
    f.unnamed = add(6, {}, f.cityB, f.cityB, none, none);
    f.single = add(7, {"", "", "X", "", ""}, f.cityB, f.cityB, none, none);
    f.oddDirection = add(8, {"Old", "", "Mill", "Rd", ""}, f.cityB, f.cityB, none, none);
    f.typeOnly = add(9, {"", "", "", "Broadway", ""}, f.cityB, f.cityB, none, none);
    f.accented = add(10,
                     {"", "",
                      "Stra\xC3\x9F"
                      "e des 17. Juni",
                      "", ""},
                     f.cityB, f.cityB, none, none);
    // In byte order "K&M" falls between the other two, which share a letter pair.
    for (const char* base : {"K Bar", "K&M", "K-9"})
        add(11, {"", "", base, "", ""}, f.cityB, f.cityB, none, none);
    // Ramps with exit signs: two show the same sign; the last ones are too long to show.
    const std::pair<const char*, const char*> exits[] = {
        {"12A", "I-5 N/Main St"},
        {"12A", "I-5 N/Main St"},
        {"13", ""},
        {"", "Airport"},
        {"123456789", "Very Long Destination Name That Does Not Fit On The Little Screen"}};
    for (const auto& [number, sign] : exits) {
        Link& ramp = n.links[add(12, {}, f.cityA, f.cityA, none, none)];
        ramp.ramp = true;
        ramp.signs = LinkSigns{.exitNumber = number, .exitSign = sign};
        f.ramps.push_back(static_cast<uint32_t>(n.links.size() - 1));
    }

    f.layout.out = out;
    for (int disc = 0; disc < kDiscCount; ++disc) {
        f.layout.discs[disc] = out / ("CD" + std::to_string(disc + 1));
        f.layout.mapData[disc] = f.layout.discs[disc] / "mapdata";
    }
    f.layout.entries = {{0, stateA, 1}, {1, stateB, 2}};
    f.layout.entryOfRegion = {0, 1};
    return f;
}

class NamesWriterTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        fixture_ = MakeFixture(roots_.base() / "out");
        tables_ = WriteNameFiles(fixture_.network, fixture_.layout, Disc1());
    }
    std::filesystem::path Disc1() const { return fixture_.layout.mapData[0]; }
    std::string NameOf(const LinkName& item) const { return tables_.names.at(item.nameNumber); }
    std::string TypeOf(const LinkName& item) const {
        return item.typeCode == 0 ? "" : tables_.streetTypes.at(item.typeCode - 1);
    }

    Fixture fixture_;
    NameTables tables_;
};

// ---- Tests ---------------------------------------------------------------------------

TEST(NameAlphabetTest, CodesFollowTheReadersTable) {
    struct Case {
        char c;
        int first;
        int second;
    };
    const Case cases[] = {
        {'0', 1, 7}, {'9', 10, 16}, {'A', 11, 18}, {'Z', 36, 43}, {'\0', 0, 0},    {' ', 0, 0},
        {'-', 0, 0}, {'&', 0, 1},   {'\'', 0, 2},  {'+', 0, 3},   {',', 0, 4},     {'.', 0, 5},
        {'/', 0, 6}, {':', 0, 17},  {'a', 0, -1},  {'?', 0, -1},  {'\xC9', 0, -1},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(nm::FirstLetterCode(c.c), c.first) << int(c.c);
        EXPECT_EQ(nm::SecondLetterCode(c.c), c.second) << int(c.c);
    }
    EXPECT_EQ(nm::LetterPairOfName("X"), nm::LetterPair(34, 0))
        << "a one-letter name pairs with NUL";
    EXPECT_EQ(nm::LetterPairOfName("A?"), -1);
    EXPECT_EQ(nm::DirectionByte(nm::kNorth, nm::kEast), 0x21);
    EXPECT_EQ(nm::DirectionOfWord("SW"), nm::kSouthWest);
    EXPECT_EQ(nm::DirectionOfWord("X"), nm::kNoDirection);
}

TEST(NameTextTest, SpellsNamesInTheNameAlphabet) {
    struct Case {
        const char* in;
        const char* out;
    };
    const Case cases[] = {
        {"Main Street", "MAIN STREET"},
        {"Stra\xC3\x9F"
         "e",
         "STRASSE"},
        {"Carrer de la Uni\xC3\xB3", "CARRER DE LA UNIO"},
        {"Col\xC2\xB7legi", "COLLEGI"},
        {"\xC5\x81\xC3\xB3"
         "d\xC5\xBA",
         "LODZ"},
        {"\xC3\x86gir \xC3\x98stergade", "AEGIR OSTERGADE"},
        {"O'Brien & Sons", "O'BRIEN & SONS"},
        {"O\xE2\x80\x99Neil", "O'NEIL"},
        {"Main St. (old)", "MAIN ST. OLD"},
        {"  a \t b  ", "A B"},
        {"\xD0\x9D\xD0\xB5\xD0\xB2\xD1\x81\xD0\xBA\xD0\xB8\xD0\xB9",
         ""},  // Cyrillic: nothing to spell
        {"\xE9"
         "cole",
         "ECOLE"},  // a Latin-1 byte that is no UTF-8
        {"US 101", "US 101"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ToNameText(c.in, 63), c.out) << c.in;
    EXPECT_EQ(ToNameText("ABCD EFGH", 5), "ABCD") << "a cut at a blank leaves no blank behind";
    for (const Case& c : cases) {
        for (char byte : ToNameText(c.in, 63))
            EXPECT_GE(nm::SecondLetterCode(byte), 0) << c.in;
    }
}

TEST_F(NamesWriterTest, NamesRawHoldsEveryNameOnceInLetterPairRuns) {
    const std::vector<std::string> names = DecodeNamesRaw(ReadBytes(Disc1() / "names.raw"));
    EXPECT_EQ(names, tables_.names);
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()).size(), names.size())
        << "no name twice";
    for (size_t i = 0; i < names.size(); ++i) {
        EXPECT_EQ(tables_.NameNumber(names[i]), i);
        EXPECT_LE(names[i].size(), nm::kMaxWrittenNameLength);
        EXPECT_GE(nm::LetterPairOfName(names[i]), 0) << names[i];
        if (i > 0) {
            EXPECT_LE(nm::LetterPairOfName(names[i - 1]), nm::LetterPairOfName(names[i]));
        }
    }
    const std::set<std::string> expected = {
        "MAIN",     "DE LA PAIX", "AVENUE OF THE STARS",  "I-5",   "US-101", "LINE", "X",
        "OLD MILL", "BROADWAY",   "STRASSE DES 17. JUNI", "K BAR", "K&M",    "K-9"};
    EXPECT_EQ(std::set<std::string>(names.begin(), names.end()), expected);
    EXPECT_EQ(tables_.NameNumber("NOWHERE"), kNone);
}

TEST_F(NamesWriterTest, LinkNamesCarryTypesDirectionsAndRoutes) {
    const auto& links = tables_.linkNames;
    ASSERT_EQ(links.size(), fixture_.network.links.size());

    ASSERT_EQ(links[fixture_.main].size(), 1u);
    const LinkName& main = links[fixture_.main][0];
    EXPECT_EQ(NameOf(main), "MAIN");
    EXPECT_EQ(TypeOf(main), "ST") << "a type's full word becomes its abbreviation";
    EXPECT_FALSE(main.typeBeforeName);
    EXPECT_EQ(main.directions, nm::DirectionByte(nm::kNorth, nm::kNoDirection));
    EXPECT_TRUE(main.primary);
    EXPECT_TRUE(main.houseNumbers);
    EXPECT_EQ(main.routeClass, RouteClass::None);

    const LinkName& rue = links[fixture_.rue].at(0);
    EXPECT_EQ(NameOf(rue), "DE LA PAIX");
    EXPECT_EQ(TypeOf(rue), "RUE") << "a type the network adds gets a code of its own";
    EXPECT_TRUE(rue.typeBeforeName);

    const LinkName& both = links[fixture_.both].at(0);
    EXPECT_EQ(NameOf(both), "AVENUE OF THE STARS")
        << "with two types the one before joins the name";
    EXPECT_EQ(TypeOf(both), "BLVD");
    EXPECT_FALSE(both.houseNumbers) << "no ranges on the link";

    ASSERT_EQ(links[fixture_.highway].size(), 2u);
    EXPECT_EQ(NameOf(links[fixture_.highway][0]), "I-5");
    EXPECT_EQ(links[fixture_.highway][0].routeClass, RouteClass::Interstate);
    EXPECT_TRUE(links[fixture_.highway][0].primary)
        << "a road without a street name shows its route";
    EXPECT_EQ(NameOf(links[fixture_.highway][1]), "US-101");
    EXPECT_EQ(links[fixture_.highway][1].routeClass, RouteClass::UsRoute);
    EXPECT_FALSE(links[fixture_.highway][1].primary);

    EXPECT_EQ(links[fixture_.border].at(0).directions,
              nm::DirectionByte(nm::kNoDirection, nm::kSouthWest));
    EXPECT_EQ(TypeOf(links[fixture_.border][0]), "RD");
    EXPECT_TRUE(links[fixture_.unnamed].empty());
    EXPECT_EQ(NameOf(links[fixture_.single].at(0)), "X");
    const LinkName& mill = links[fixture_.oddDirection].at(0);
    EXPECT_EQ(NameOf(mill), "OLD MILL")
        << "a direction word that names no direction stays in the name";
    EXPECT_EQ(mill.directions, 0);
    EXPECT_EQ(TypeOf(mill), "RD");
    EXPECT_EQ(NameOf(links[fixture_.typeOnly].at(0)), "BROADWAY");
    EXPECT_EQ(links[fixture_.typeOnly][0].typeCode, 0) << "a type alone is the name itself";
    for (size_t l = 0; l < links.size(); ++l) {
        const std::vector<LinkName>& items = links[l];
        EXPECT_LE(items.size(), static_cast<size_t>(kMaxLinkNames));
        EXPECT_LE(
            std::count_if(items.begin(), items.end(), [](const LinkName& n) { return n.primary; }),
            1);
    }
}

TEST_F(NamesWriterTest, NameIndexAndStreetListsNameEachEntrysStreets) {
    const NameIndexFile index = DecodeNameIndex(ReadBytes(Disc1() / "nameidx.bin"));
    EXPECT_EQ(index.nameCount, tables_.names.size());
    ASSERT_EQ(index.entries.size(), fixture_.layout.entries.size());

    // Expected from the network: a link's names belong to the entries of its two
    // sides' states.
    std::vector<std::set<uint32_t>> expected(2);
    for (uint32_t l = 0; l < fixture_.network.links.size(); ++l) {
        const Link& link = fixture_.network.links[l];
        for (uint32_t city : {link.leftArea, link.rightArea}) {
            for (const LinkName& item : tables_.linkNames[l]) {
                expected[city == fixture_.cityA ? 0 : 1].insert(item.nameNumber);
            }
        }
    }
    for (size_t e = 0; e < 2; ++e) {
        EXPECT_EQ(std::set<uint32_t>(index.entries[e].begin(), index.entries[e].end()),
                  expected[e]);
        EXPECT_TRUE(std::is_sorted(index.entries[e].begin(), index.entries[e].end()));
    }
    EXPECT_TRUE(expected[0].count(tables_.NameNumber("LINE")) &&
                expected[1].count(tables_.NameNumber("LINE")));

    const StreetListFile lists = DecodeStreetLists(ReadBytes(Disc1() / "stnl.raw"));
    ASSERT_EQ(lists.entries.size(), 2u);
    for (size_t e = 0; e < 2; ++e) {
        std::vector<uint32_t> numbers;
        uint32_t bytes = 0;
        for (const ni::StreetItem& item : lists.items[e]) {
            numbers.push_back(item.name);
            bytes += nm::NameRecordSize(tables_.names.at(item.name).size());
        }
        EXPECT_EQ(numbers, index.entries[e]) << "the street list names what the name index names";
        EXPECT_EQ(lists.entries[e].nameBytes, bytes);
    }
    auto item = [&](size_t entry, const char* name) {
        for (const ni::StreetItem& i : lists.items[entry]) {
            if (i.name == tables_.NameNumber(name))
                return i;
        }
        ADD_FAILURE() << name << " not in entry " << entry;
        return ni::StreetItem{};
    };
    EXPECT_EQ(item(0, "MAIN").lowest, 100);
    EXPECT_EQ(item(0, "MAIN").highest, 398)
        << "both links and both sides, a range running down included";
    EXPECT_EQ(item(0, "DE LA PAIX").highest, 9);
    EXPECT_EQ(item(1, "LINE").lowest, 10);
    EXPECT_EQ(item(1, "LINE").highest, 19);
    EXPECT_EQ(item(0, "I-5").lowest, ni::kNoHouseNumber);
    EXPECT_EQ(item(0, "I-5").highest, ni::kNoHouseNumber);
}

TEST_F(NamesWriterTest, ConvertedSubsetsStillFindEveryNameByItsLetters) {
    // Whatever entries the converter keeps, the names it writes from "names.raw" form
    // one run per letter pair, so a reader's look-up finds each of them.
    const std::vector<std::string> names = DecodeNamesRaw(ReadBytes(Disc1() / "names.raw"));
    const NameIndexFile index = DecodeNameIndex(ReadBytes(Disc1() / "nameidx.bin"));
    for (const std::vector<size_t>& chosen : std::vector<std::vector<size_t>>{{0}, {1}, {0, 1}}) {
        std::set<uint32_t> used;
        for (size_t e : chosen)
            used.insert(index.entries[e].begin(), index.entries[e].end());
        const ConvertedNames converted = ConvertNames(names, used);
        for (uint32_t number : used) {
            EXPECT_EQ(LookUp(converted.bytes, names[number]), converted.offsetOfNumber.at(number))
                << names[number];
        }
    }
}

TEST_F(NamesWriterTest, StreetTypesAndAbbreviationsAgree) {
    const std::vector<std::string> types = DecodeStreetTypes(ReadBytes(Disc1() / "sttypes.raw"));
    EXPECT_EQ(types, tables_.streetTypes);
    EXPECT_LE(types.size(), st::kMaxTypeCode);
    for (size_t i = 0; i < types.size(); ++i)
        EXPECT_EQ(tables_.TypeCode(types[i]), i + 1);
    EXPECT_EQ(tables_.TypeCode("ST"), 1);
    EXPECT_EQ(tables_.TypeCode("NO SUCH TYPE"), 0);

    // "strabbr.bin" as the address parser reads it: header, "WORD=TYPE" lines whose
    // type is a street type, and the end line.
    const std::vector<uint8_t> bytes =
        ReadBytes(fixture_.layout.mapData[1] / st::kAbbreviationFile);
    EXPECT_EQ(bytes, ReadBytes(fixture_.layout.mapData[2] / st::kAbbreviationFile));
    const std::string text(bytes.begin(), bytes.end());
    std::vector<std::string> lines;
    size_t at = 0;
    while (at < text.size()) {
        const size_t end = text.find("\r\n", at);
        ASSERT_NE(end, std::string::npos) << "every line ends with CR LF";
        lines.push_back(text.substr(at, end - at));
        at = end + 2;
    }
    ASSERT_GE(lines.size(), 3u);
    EXPECT_NE(lines.front().find(st::kVersionKey), std::string::npos);
    EXPECT_NE(lines.back().find(st::kEndKey), std::string::npos);
    std::map<std::string, std::string> words;
    for (size_t i = 1; i + 1 < lines.size(); ++i) {
        EXPECT_LE(lines[i].size(), st::kMaxLineLength);
        const size_t separator = lines[i].find(st::kSeparator);
        ASSERT_NE(separator, std::string::npos) << lines[i];
        const std::string type = lines[i].substr(separator + 1);
        EXPECT_NE(tables_.TypeCode(type), 0) << lines[i] << ": its type is in sttypes";
        words[lines[i].substr(0, separator)] = type;
    }
    EXPECT_EQ(words["STREET"], "ST");
    EXPECT_EQ(words["BOULEVARD"], "BLVD");
}

TEST_F(NamesWriterTest, ExitSignsReadBackAsTheDeviceShowsThem) {
    const std::vector<uint8_t> pairs = ReadBytes(Disc1() / "lsr.raw");
    const std::vector<uint8_t> texts = ReadBytes(Disc1() / "lsrs.raw");
    ASSERT_TRUE(HasMagic(pairs, ni::kPairMagic));
    ASSERT_TRUE(HasMagic(texts, ni::kTextMagic));
    const uint32_t pairCount = ni::LoadU32(&pairs[ni::kSourceCountOffset]);
    EXPECT_EQ(pairCount, tables_.namePairCount);
    ASSERT_EQ(pairs.size(), ni::kSourcePairsOffset + pairCount * ni::kPairSize);
    std::vector<std::string> textList;
    for (size_t at = ni::kSourceTextsOffset; at < texts.size(); at += 1 + texts[at]) {
        ASSERT_LE(at + 1 + texts[at], texts.size());
        textList.emplace_back(reinterpret_cast<const char*>(&texts[at + 1]), texts[at]);
    }
    EXPECT_EQ(ni::LoadU32(&texts[ni::kSourceCountOffset]), textList.size());

    // What the device makes of a link's record: "EXIT %s", ": " and the name text.
    auto shown = [&](uint32_t link) {
        const uint32_t record = tables_.linkNamePair.at(link);
        if (record == kNone)
            return std::string("(none)");
        EXPECT_LT(record, pairCount);
        const ni::NamePair pair =
            ni::DecodeNamePair(&pairs[ni::kSourcePairsOffset + record * ni::kPairSize]);
        std::string out;
        if (pair.exitText != ni::kNoText) {
            const std::string& exit = textList.at(pair.exitText);
            EXPECT_LE(exit.size(), ni::kMaxExitTextLength);
            out = "EXIT " + exit;
        }
        if (pair.nameText != ni::kNoText) {
            const std::string& name = textList.at(pair.nameText);
            EXPECT_LE(name.size(), ni::kMaxNameTextLength);
            out += (out.empty() ? "" : ": ") + name;
        }
        return out;
    };
    const auto& ramps = fixture_.ramps;
    EXPECT_EQ(shown(ramps[0]), "EXIT 12A: I-5 N/MAIN ST");
    EXPECT_EQ(tables_.linkNamePair[ramps[1]], tables_.linkNamePair[ramps[0]])
        << "one record per sign";
    EXPECT_EQ(shown(ramps[2]), "EXIT 13");
    EXPECT_EQ(shown(ramps[3]), "AIRPORT");
    EXPECT_EQ(shown(ramps[4]),
              "EXIT 12345678: VERY LONG DESTINATION NAME THAT DOES NOT FIT ON THE LITTLE S")
        << "cut to what the device shows";
    EXPECT_EQ(shown(fixture_.main), "(none)");
    EXPECT_EQ(pairCount, 4u);
    EXPECT_EQ(textList.size(), 6u) << "each text once";
}

// Decodes the files written for a network and checks every link's names against
// them: its name numbers, its list entry's name index and street list, its exit sign.
void CheckAgainstNetwork(const Network& network, const DiscLayout& layout, const NameTables& tables,
                         const std::filesystem::path& disc1) {
    const std::vector<std::string> names = DecodeNamesRaw(ReadBytes(disc1 / "names.raw"));
    ASSERT_EQ(names, tables.names);
    const NameIndexFile index = DecodeNameIndex(ReadBytes(disc1 / "nameidx.bin"));
    const StreetListFile lists = DecodeStreetLists(ReadBytes(disc1 / "stnl.raw"));
    ASSERT_EQ(index.entries.size(), layout.entries.size());
    ASSERT_EQ(lists.items.size(), layout.entries.size());
    const std::vector<std::string> types = DecodeStreetTypes(ReadBytes(disc1 / "sttypes.raw"));
    const std::vector<uint8_t> pairs = ReadBytes(disc1 / "lsr.raw");
    const uint32_t pairCount = ni::LoadU32(&pairs[ni::kSourceCountOffset]);
    ASSERT_EQ(tables.linkNames.size(), network.links.size());

    size_t named = 0;
    for (uint32_t l = 0; l < network.links.size(); ++l) {
        const Link& link = network.links[l];
        const auto& items = tables.linkNames[l];
        const bool hasName =
            !ToNameText(link.name->FullText(), 63).empty() || !link.signs->highwayNumber.empty();
        EXPECT_EQ(!items.empty(), hasName) << "link " << l;
        named += !items.empty();
        if (!link.name->base.empty() && !items.empty()) {
            EXPECT_NE(names.at(items[0].nameNumber).find(ToNameText(link.name->base, 63)),
                      std::string::npos)
                << "link " << l << ": " << link.name->FullText();
        }
        const uint32_t entry = layout.EntryOfLink(network, l);
        for (const LinkName& item : items) {
            ASSERT_LT(item.nameNumber, names.size());
            EXPECT_LE(item.typeCode, types.size());
            if (entry == kNone)
                continue;
            const auto& entryNames = index.entries[entry];
            EXPECT_TRUE(std::binary_search(entryNames.begin(), entryNames.end(), item.nameNumber))
                << "link " << l << " name " << names[item.nameNumber] << " missing from entry "
                << entry;
            if (!item.houseNumbers)
                continue;
            for (const ni::StreetItem& street : lists.items[entry]) {
                if (street.name != item.nameNumber)
                    continue;
                for (const HouseRange& range : {link.left, link.right}) {
                    if (range.Empty())
                        continue;
                    EXPECT_LE(street.lowest,
                              static_cast<int32_t>(std::min(range.first, range.last)));
                    EXPECT_GE(street.highest,
                              static_cast<int32_t>(std::max(range.first, range.last)));
                }
            }
        }
        if (tables.linkNamePair[l] != kNone) {
            EXPECT_LT(tables.linkNamePair[l], pairCount);
        }
        EXPECT_EQ(tables.linkNamePair[l] != kNone,
                  !link.signs->exitNumber.empty() || !link.signs->exitSign.empty());
    }
    EXPECT_GT(named, 0u);
}

TEST_F(NamesWriterTest, NetworksReadBackLinkByLink) {
    Network grid = MakeTestGrid(6, 5);
    const DiscLayout layout = PlanDiscLayout(grid, roots_.base() / "grid");
    const NameTables tables = WriteNameFiles(grid, layout, layout.mapData[0]);
    CheckAgainstNetwork(grid, layout, tables, layout.mapData[0]);
    EXPECT_NE(tables.NameNumber("US-14"), kNone);
    CheckAgainstNetwork(fixture_.network, fixture_.layout, tables_, Disc1());

    Network town = BuildTown(7, 400);
    const DiscLayout townLayout = PlanDiscLayout(town, roots_.base() / "town");
    const NameTables townTables = WriteNameFiles(town, townLayout, townLayout.mapData[0]);
    CheckAgainstNetwork(town, townLayout, townTables, townLayout.mapData[0]);
    EXPECT_GT(townLayout.entries.size(), 1u);
    EXPECT_GT(townTables.namePairCount, 0u) << "the town's ramps carry exit signs";
}

TEST_F(NamesWriterTest, SameNetworkWritesTheSameBytes) {
    Fixture again = MakeFixture(roots_.base() / "again");
    WriteNameFiles(again.network, again.layout, again.layout.mapData[0]);
    uint64_t total = 0;
    for (const char* file :
         {"names.raw", "nameidx.bin", "stnl.raw", "sttypes.raw", "lsr.raw", "lsrs.raw"}) {
        const std::vector<uint8_t> first = ReadBytes(Disc1() / file);
        EXPECT_EQ(first, ReadBytes(again.layout.mapData[0] / file)) << file;
        total += first.size();
    }
    for (int disc = 1; disc < kDiscCount; ++disc) {
        total += ReadBytes(fixture_.layout.mapData[disc] / st::kAbbreviationFile).size();
    }
    EXPECT_EQ(tables_.bytesWritten, total);
}

TEST_F(NamesWriterTest, TypesBeyondTheCodesStayInTheName) {
    Fixture many = MakeFixture(roots_.base() / "many");
    const Link model = many.network.links[many.main];
    for (int i = 0; i < 600; ++i) {
        Link link = model;
        link.name = StreetName{"", "", "Elm", "Kind" + std::to_string(1000 + i), ""};
        many.network.AddLink(std::move(link));
    }
    const NameTables tables = WriteNameFiles(many.network, many.layout, many.layout.mapData[0]);
    EXPECT_EQ(tables.streetTypes.size(), st::kMaxTypeCode);
    EXPECT_EQ(DecodeStreetTypes(ReadBytes(many.layout.mapData[0] / "sttypes.raw")).size(),
              st::kMaxTypeCode);
    const LinkName& coded = tables.linkNames[many.network.links.size() - 600].at(0);
    EXPECT_EQ(tables.names[coded.nameNumber], "ELM");
    EXPECT_EQ(tables.streetTypes.at(coded.typeCode - 1), "KIND1000");
    const LinkName& last = tables.linkNames.back().at(0);
    EXPECT_EQ(tables.names[last.nameNumber], "ELM KIND1599");
    EXPECT_EQ(last.typeCode, 0);
}

TEST_F(NamesWriterTest, UnwritableFolderThrows) {
    const std::filesystem::path blocker = roots_.base() / "blocker";
    std::ofstream(blocker) << "a file where a folder should be";
    EXPECT_THROW(WriteNameFiles(fixture_.network, fixture_.layout, blocker / "mapdata"),
                 std::runtime_error);
}

}  // namespace
}  // namespace discmaker

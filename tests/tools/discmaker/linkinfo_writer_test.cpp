#include "tools/discmaker/linkinfo_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "formats/link_info.h"
#include "mapferry/convert/compressed_block.h"
#include "platform/kernel/paths.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/area_writer.h"
#include "tools/discmaker/mapdata_writer.h"
#include "tools/discmaker/town.h"

namespace discmaker {
namespace {

namespace li = formats::link_info;
namespace nm = formats::names;
using Bytes = std::vector<uint8_t>;

Bytes ReadFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// Inflates the compressed block at `offset` of a file as the converters do.
Bytes InflateBlockAt(const std::filesystem::path& path, uint64_t offset) {
    CFile file(platform::HostPathText(path).c_str(), CFile::modeRead);
    file.Seek(static_cast<LONGLONG>(offset), CFile::begin);
    CBlockReader reader(&file);
    EXPECT_EQ(reader.ReadBlock(), 0) << path << " at " << offset;
    return Bytes(reader.GetData(), reader.GetData() + reader.GetRawSize());
}

// ---- Record coding --------------------------------------------------------------

li::Record SampleRecord() {
    li::Record record;
    record.cellWord = 0x80000123;
    record.addressWord = li::AddressWord(li::kLeftRangeKind, li::kParityOdd, li::kRightRangeKind,
                                         li::kParityEven, true);
    record.left = {101, 199};
    record.right = {198, 100};
    record.leftPlace = 7;
    record.rightPlace = 9;
    record.namePair = 44;
    record.items = {{12, 0x6003, 0x20}, {13, 0x0200, 0}};
    return record;
}

TEST(LinkInfoRecord, EveryPlaceCombinationReadsBackAsWritten) {
    struct Case {
        const char* what;
        int32_t place[6];  // left, right, left alt, right alt, left extra, right extra
        uint16_t flags;    // the place flags expected
        size_t placeFields;
    };
    const Case cases[] = {
        {"all absent", {-1, -1, -1, -1, -1, -1}, 0x0400, 1},
        {"right = left = left alt", {5, 5, 5, -1, -1, -1}, 0x0400 | 0x8000 | 0x0100, 1},
        {"all distinct", {1, 2, 3, 4, 5, 6}, 0x8000 | 0x4000 | 0x2000 | 0x1000, 6},
        {"right alt = left alt", {1, 2, 3, 3, -1, -1}, 0x8000 | 0x0800 | 0x4000, 3},
        {"right alt = right place", {1, 2, -1, 2, -1, -1}, 0x4000 | 0x0080, 2},
        {"right alt = left alt = right place",
         {1, 2, 2, 2, -1, -1},
         0x8000 | 0x0800 | 0x4000 | 0x0080,
         3},
        {"right extra = left extra", {1, 2, -1, -1, 8, 8}, 0x2000 | 0x0200 | 0x1000, 3},
        {"only the right extra", {1, 2, -1, -1, -1, 8}, 0x1000, 3},
        {"left place absent", {-1, 4, -1, -1, -1, -1}, 0, 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        li::Record record = SampleRecord();
        record.leftPlace = c.place[0];
        record.rightPlace = c.place[1];
        record.leftAlternative = c.place[2];
        record.rightAlternative = c.place[3];
        record.leftExtra = c.place[4];
        record.rightExtra = c.place[5];
        Bytes bytes;
        li::EncodeRecord(record, bytes);
        EXPECT_EQ(li::LoadU16(bytes.data() + li::kFlagsOffset), c.flags | 2);
        const size_t size = li::kBaseSize + 2 * li::kRangeSize + c.placeFields * li::kPlaceSize +
                            li::kNamePairSize + 2 * li::kNameItemSize;
        ASSERT_EQ(bytes.size(), size);

        li::Record back;
        ASSERT_EQ(li::DecodeRecord(bytes.data(), bytes.size(), back), size);
        EXPECT_EQ(back.cellWord, record.cellWord);
        EXPECT_EQ(back.addressWord, record.addressWord);
        EXPECT_EQ(back.left.from, 101);
        EXPECT_EQ(back.right.to, 100);
        const int32_t got[6] = {back.leftPlace,        back.rightPlace, back.leftAlternative,
                                back.rightAlternative, back.leftExtra,  back.rightExtra};
        EXPECT_TRUE(std::equal(std::begin(got), std::end(got), std::begin(c.place)));
        EXPECT_EQ(back.namePair, 44u);
        ASSERT_EQ(back.items.size(), 2u);
        EXPECT_EQ(back.items[0].name, 12u);
        EXPECT_EQ(back.items[0].flags, 0x6003);
        EXPECT_EQ(back.items[0].direction, 0x20);
    }
}

TEST(LinkInfoRecord, AddressWordHoldsWhatTheGeocoderTests) {
    const uint16_t word = li::AddressWord(li::kLeftRangeKind, li::kParityEven, li::kRightRangeKind,
                                          li::kParityOdd, false);
    EXPECT_EQ(word & 0x0F80, 0x0100);  // left side usable
    EXPECT_EQ(word & 0x007C, 0x0004);  // right side usable
    EXPECT_EQ(word & 0xC000, 0x4000);  // left even
    EXPECT_EQ(word & 0x3000, 0x3000);  // right odd
    EXPECT_EQ(word & 0x0002, 0);
    EXPECT_EQ(
        li::AddressWord(li::kLeftRangeKind, li::kParityBoth, 0, li::kParityNone, true) & 0xC002,
        0x8002);
}

TEST(LinkInfoRecord, TruncatedRecordIsRefused) {
    li::Record record = SampleRecord();
    record.leftAlternative = 3;
    record.rightExtra = 4;
    Bytes bytes;
    li::EncodeRecord(record, bytes);
    li::Record back;
    for (size_t size = 0; size < bytes.size(); ++size) {
        EXPECT_EQ(li::DecodeRecord(bytes.data(), size, back), 0u) << size;
    }
    EXPECT_EQ(li::DecodeRecord(bytes.data(), bytes.size(), back), bytes.size());
}

// ---- The files ------------------------------------------------------------------

struct DecodedRecord {
    uint32_t number = 0;
    int pair = 0;
    li::Record record;
};

struct DecodedLinkInfo {
    std::vector<li::Entry> entries;
    std::vector<std::vector<DecodedRecord>> records;  // per entry, in block order
};

// Reads "linkinfo.raz" whole, checking its structure: every pair's run lies where
// its table entry says, the runs follow each other in table order, and the records
// fill the block exactly.
DecodedLinkInfo DecodeLinkInfo(const std::filesystem::path& path) {
    DecodedLinkInfo out;
    const Bytes file = ReadFileBytes(path);
    EXPECT_GE(file.size(), li::kEntriesOffset);
    EXPECT_TRUE(std::equal(li::kLinkInfoMagic, li::kLinkInfoMagic + 4, file.begin()));
    const uint32_t count = li::LoadU32(file.data() + li::kEntryCountOffset);
    uint32_t number = 0;
    for (uint32_t e = 0; e < count; ++e) {
        const li::Entry entry = li::DecodeEntry(file.data() + li::EntryOffset(e));
        out.entries.push_back(entry);
        const Bytes block = InflateBlockAt(path, entry.blockOffset);
        std::vector<DecodedRecord> records;
        size_t at = li::kPairTableSize;
        for (int p = 0; p < li::kPairEntries; ++p) {
            const li::PairEntry pair = li::DecodePairEntry(block.data() + li::PairEntryOffset(p));
            if (pair.count == 0) {
                EXPECT_EQ(pair.first, 0xFFFFFFFFu) << "pair " << p;
                continue;
            }
            EXPECT_EQ(pair.first, at) << "pair " << p;
            for (uint32_t i = 0; i < pair.count; ++i) {
                DecodedRecord decoded;
                decoded.number = number++;
                decoded.pair = p;
                const size_t size =
                    li::DecodeRecord(block.data() + at, block.size() - at, decoded.record);
                EXPECT_GT(size, 0u);
                if (size == 0)
                    return out;
                at += size;
                records.push_back(decoded);
            }
        }
        EXPECT_EQ(at, block.size());
        EXPECT_EQ(records.size(), entry.recordCount);
        out.records.push_back(std::move(records));
    }
    return out;
}

// "lfoidx.raz" as name -> items, per entry.
std::vector<std::map<uint32_t, std::vector<li::LfoItem>>> DecodeLfoIndex(
    const std::filesystem::path& path, size_t* blockLists) {
    std::vector<std::map<uint32_t, std::vector<li::LfoItem>>> out;
    const Bytes file = ReadFileBytes(path);
    EXPECT_TRUE(std::equal(li::kLfoIndexMagic, li::kLfoIndexMagic + 4, file.begin()));
    const uint32_t count = li::LoadU32(file.data() + li::kLfoCountOffset);
    for (uint32_t e = 0; e < count; ++e) {
        const li::LfoEntry entry = li::DecodeLfoEntry(file.data() + li::LfoEntryOffset(e));
        std::map<uint32_t, std::vector<li::LfoItem>> names;
        if (entry.nameCount == 0) {
            EXPECT_EQ(entry.nameTable, 0xFFFFFFFFu);
        }
        int64_t previous = -1;
        for (uint32_t n = 0; n < entry.nameCount; ++n) {
            const li::LfoName name =
                li::DecodeLfoName(file.data() + entry.nameTable + n * li::kLfoNameSize);
            EXPECT_GT(static_cast<int64_t>(name.name), previous) << "names in ascending order";
            previous = name.name;
            const uint32_t items = li::LoadU32(file.data() + name.list);
            EXPECT_GT(items, 0u);
            Bytes raw;
            if (items > li::kMaxPlainListItems) {
                raw = InflateBlockAt(path, name.list + li::kListCountSize);
                ++*blockLists;
            } else {
                const uint8_t* begin = file.data() + name.list + li::kListCountSize;
                raw.assign(begin, begin + items * li::kLfoItemSize);
            }
            EXPECT_EQ(raw.size(), items * li::kLfoItemSize);
            for (size_t i = 0; i + li::kLfoItemSize <= raw.size(); i += li::kLfoItemSize) {
                names[name.name].push_back(li::DecodeLfoItem(raw.data() + i));
            }
        }
        out.push_back(std::move(names));
    }
    return out;
}

uint16_t ExpectedItemFlags(const LinkName& name) {
    return static_cast<uint16_t>(name.typeCode | static_cast<uint16_t>(name.routeClass) << 9 |
                                 (name.houseNumbers ? 0x2000 : 0) | (name.primary ? 0x4000 : 0) |
                                 (name.typeBeforeName ? 0x8000 : 0));
}

// A network taken through the builder's steps up to the link information files.
struct Built {
    Network network;
    DiscLayout layout;
    NameTables names;
    AreaTables areas;
    LinkInfoTables tables;
};

void Build(Built& built, const std::filesystem::path& out) {
    ValidateNetwork(built.network);
    built.layout = PlanDiscLayout(built.network, out);
    FitLinksToGrid(built.network, built.layout);
    CreateFolders(built.layout);
    const std::filesystem::path& disc1 = built.layout.mapData[0];
    built.names = WriteNameFiles(built.network, built.layout, disc1);
    built.areas = WriteAreaFiles(built.network, built.layout, built.names, disc1);
    built.tables = WriteLinkInfoFiles(built.network, built.layout, built.names, built.areas, disc1);
}

uint32_t EntryOfRecordLink(const Built& b, uint32_t link) {
    const uint32_t entry = b.layout.EntryOfLink(b.network, link);
    return entry == kNone ? 0 : entry;
}

li::Parity ExpectedParity(Parity parity) {
    switch (parity) {
        case Parity::Even:
            return li::kParityEven;
        case Parity::Odd:
            return li::kParityOdd;
        case Parity::Mixed:
            return li::kParityBoth;
        case Parity::None:
            break;
    }
    return li::kParityNone;
}

// Decodes "linkinfo.raz" and checks every record against the link it describes.
void CheckRecords(const Built& b) {
    const DecodedLinkInfo file = DecodeLinkInfo(b.layout.mapData[0] / "linkinfo.raz");
    ASSERT_EQ(file.entries.size(), b.layout.entries.size());
    ASSERT_EQ(b.tables.linkOfRecord.size(), b.network.links.size());
    const std::vector<uint32_t> cells = LinkCellWords(b.network, b.layout);

    std::set<uint32_t> seen;
    for (size_t e = 0; e < file.records.size(); ++e) {
        EXPECT_EQ(b.tables.recordCountOfEntry[e], file.records[e].size());
        if (!file.records[e].empty()) {
            EXPECT_EQ(b.tables.firstRecordOfEntry[e], file.records[e].front().number);
        }
        const DecodedRecord* previous = nullptr;
        for (const DecodedRecord& decoded : file.records[e]) {
            const uint32_t l = b.tables.linkOfRecord[decoded.number];
            ASSERT_LT(l, b.network.links.size());
            EXPECT_EQ(b.tables.recordOfLink[l], decoded.number);
            EXPECT_TRUE(seen.insert(l).second) << "link " << l << " has two records";
            EXPECT_EQ(e, EntryOfRecordLink(b, l)) << "link " << l;

            const Link& link = b.network.links[l];
            const li::Record& r = decoded.record;
            SCOPED_TRACE("link " + std::to_string(l));
            EXPECT_EQ(r.cellWord, cells[l]);
            EXPECT_EQ(r.cellWord & li::kDetailedCell ? 1 : 0, IsMajorClass(link.roadClass) ? 0 : 1);
            EXPECT_EQ(li::LeftKind(r.addressWord), link.left.Empty() ? 0 : 2);
            EXPECT_EQ(li::RightKind(r.addressWord), link.right.Empty() ? 0 : 1);
            EXPECT_EQ(li::LeftParity(r.addressWord), ExpectedParity(link.left.parity));
            EXPECT_EQ(li::RightParity(r.addressWord), ExpectedParity(link.right.parity));
            if (!link.left.Empty()) {
                EXPECT_EQ(r.left.from, static_cast<int32_t>(link.left.first));
                EXPECT_EQ(r.left.to, static_cast<int32_t>(link.left.last));
            }
            if (!link.right.Empty()) {
                EXPECT_EQ(r.right.from, static_cast<int32_t>(link.right.first));
                EXPECT_EQ(r.right.to, static_cast<int32_t>(link.right.last));
            }
            EXPECT_EQ(r.leftPlace, b.areas.PlaceValue(link.leftArea));
            EXPECT_EQ(r.rightPlace, b.areas.PlaceValue(link.rightArea));
            EXPECT_EQ(r.leftAlternative, -1);
            EXPECT_EQ(r.rightExtra, -1);
            const uint32_t pairRecord = b.names.linkNamePair[l];
            EXPECT_EQ((r.addressWord & li::kHasNamePair) != 0, pairRecord != kNone);
            if (pairRecord != kNone) {
                EXPECT_EQ(r.namePair, pairRecord);
                EXPECT_LT(pairRecord, b.names.namePairCount);
            }
            const std::vector<LinkName>& expected = b.names.linkNames[l];
            ASSERT_EQ(r.items.size(), expected.size());
            for (size_t i = 0; i < expected.size(); ++i) {
                EXPECT_EQ(r.items[i].name, expected[i].nameNumber);
                ASSERT_LT(r.items[i].name, b.names.names.size());
                EXPECT_EQ(r.items[i].flags, ExpectedItemFlags(expected[i]));
                EXPECT_EQ(r.items[i].direction, expected[i].directions);
            }

            // Filed under its first name's letters, in ascending first name.
            const std::string first =
                r.items.empty() ? std::string() : b.names.names[r.items[0].name];
            EXPECT_EQ(decoded.pair, nm::LetterPairOfName(first));
            if (previous != nullptr && previous->pair == decoded.pair && !r.items.empty() &&
                !previous->record.items.empty()) {
                EXPECT_LE(previous->record.items[0].name, r.items[0].name);
            }
            previous = &decoded;
        }
    }
    EXPECT_EQ(seen.size(), b.network.links.size());
}

// Decodes "lfoidx.raz" and checks that it lists, per entry, each name a record
// carries after its first, with those records in record order. Returns the number
// of items.
size_t CheckNameIndex(const Built& b, size_t* blockLists) {
    const auto index = DecodeLfoIndex(b.layout.mapData[0] / "lfoidx.raz", blockLists);
    EXPECT_EQ(index.size(), b.layout.entries.size());

    std::vector<std::map<uint32_t, std::vector<uint32_t>>> expected(b.layout.entries.size());
    for (uint32_t number = 0; number < b.tables.linkOfRecord.size(); ++number) {
        const uint32_t l = b.tables.linkOfRecord[number];
        const std::vector<LinkName>& linkNames = b.names.linkNames[l];
        for (size_t i = 1; i < linkNames.size(); ++i) {
            auto& records = expected[EntryOfRecordLink(b, l)][linkNames[i].nameNumber];
            if (records.empty() || records.back() != number)
                records.push_back(number);
        }
    }
    size_t items = 0;
    for (size_t e = 0; e < index.size() && e < expected.size(); ++e) {
        std::map<uint32_t, std::vector<uint32_t>> got;
        for (const auto& [name, list] : index[e]) {
            for (const li::LfoItem& item : list) {
                got[name].push_back(item.record);
                ++items;
                const uint32_t l = b.tables.linkOfRecord.at(item.record);
                const Link& link = b.network.links[l];
                const bool numbered = std::any_of(
                    b.names.linkNames[l].begin(), b.names.linkNames[l].end(),
                    [&](const LinkName& n) { return n.nameNumber == name && n.houseNumbers; });
                if (numbered && !(link.left.Empty() && link.right.Empty())) {
                    EXPECT_LE(item.low, item.high);
                    EXPECT_GE(item.low, 0);
                } else {
                    EXPECT_EQ(item.low, -1);
                    EXPECT_EQ(item.high, -1);
                }
            }
        }
        EXPECT_EQ(got, expected[e]) << "entry " << e;
    }
    return items;
}

class LinkInfoFilesTest : public testing_support::RootsTest {
  protected:
    // The test grid with what its streets lack: a second state and region, a link
    // without a name, one with numbers on one side only, one in no area, a short
    // route (plain list) beside the long one of the grid's highway (block list),
    // and names that share a letter pair.
    void SetUp() override {
        Network& network = b_.network;
        network = MakeTestGrid(6, 5);
        const uint32_t province =
            network.AddArea({AreaKind::State, "Ontario", "ON", kNone, {45, -100}, {}});
        const uint32_t town =
            network.AddArea({AreaKind::City, "Lakeside", "", province, {45, -100}, {}});
        Region region;
        region.number = 59;
        region.name = "Ontario";
        region.area = province;
        region.outline = network.regions[0].outline;
        network.regions.push_back(region);

        Link& unnamed = network.links[0];
        unnamed.name = {};
        unnamed.left = unnamed.right = {};
        network.links[1].right = {};
        network.links[2].leftArea = network.links[2].rightArea = kNone;
        network.links[3].leftArea = town;
        network.links[3].rightArea = town;
        network.links[4].leftArea = town;
        for (uint32_t l : {6u, 7u}) {
            network.links[l].signs = LinkSigns{.highwayNumber = "SD 34"};
        }
        // Two names of one letter pair, not in name order by link.
        for (auto [link, base] : {std::pair{5, "Oakwood"}, std::pair{8, "Oak"}}) {
            StreetName name = network.links[link].name;
            name.base = base;
            network.links[link].name = name;
        }
        Build(b_, roots_.base() / "out");
    }

    Built b_;
};

TEST_F(LinkInfoFilesTest, TheFixtureReachesTheCasesItWasBuiltFor) {
    // Guards the other tests against a fixture that no longer has what they check.
    EXPECT_TRUE(b_.names.linkNames[0].empty()) << b_.network.links[0].name->FullText();
    EXPECT_EQ(b_.layout.EntryOfLink(b_.network, 2), kNone);
    EXPECT_EQ(b_.layout.entries.size(), 2u);
    EXPECT_NE(b_.layout.EntryOfLink(b_.network, 3), b_.layout.EntryOfLink(b_.network, 5));
    EXPECT_EQ(b_.layout.EntryOfLink(b_.network, 5), b_.layout.EntryOfLink(b_.network, 8));
    const std::string& oakwood = b_.names.names[b_.names.linkNames[5][0].nameNumber];
    const std::string& oak = b_.names.names[b_.names.linkNames[8][0].nameNumber];
    EXPECT_EQ(nm::LetterPairOfName(oakwood), nm::LetterPairOfName(oak));
    EXPECT_GT(b_.names.linkNames[5][0].nameNumber, b_.names.linkNames[8][0].nameNumber)
        << oakwood << " " << oak;
}

TEST_F(LinkInfoFilesTest, EveryLinkHasItsRecordAsTheNetworkDescribesIt) {
    CheckRecords(b_);
}

TEST_F(LinkInfoFilesTest, NameIndexListsEveryLaterNameOfEveryRecordOnce) {
    size_t blockLists = 0;
    const size_t items = CheckNameIndex(b_, &blockLists);
    EXPECT_GT(items, 0u);
    EXPECT_GE(blockLists, 1u) << "a list of more than 3 items is a compressed block";
    EXPECT_LT(blockLists, items) << "short lists stay plain";
}

TEST_F(LinkInfoFilesTest, BuiltInTownReadsBack) {
    Built town;
    town.network = BuildTown(7, 400);
    Build(town, roots_.base() / "town");
    CheckRecords(town);
    size_t blockLists = 0;
    CheckNameIndex(town, &blockLists);
    EXPECT_GE(town.layout.entries.size(), 2u);
}

TEST_F(LinkInfoFilesTest, SameInputGivesTheSameBytes) {
    const std::filesystem::path again = roots_.base() / "again";
    std::filesystem::create_directories(again);
    const AreaTables areas = WriteAreaFiles(b_.network, b_.layout, b_.names, again);
    const LinkInfoTables tables = WriteLinkInfoFiles(b_.network, b_.layout, b_.names, areas, again);
    for (const char* file : {"linkinfo.raz", "lfoidx.raz"}) {
        EXPECT_EQ(ReadFileBytes(again / file), ReadFileBytes(b_.layout.mapData[0] / file)) << file;
    }
    EXPECT_EQ(tables.recordOfLink, b_.tables.recordOfLink);
    EXPECT_EQ(tables.bytesWritten, b_.tables.bytesWritten);
}

TEST_F(LinkInfoFilesTest, UnwritableFolderIsReported) {
    EXPECT_THROW(WriteLinkInfoFiles(b_.network, b_.layout, b_.names, b_.areas,
                                    roots_.base() / "missing" / "folder"),
                 std::runtime_error);
}

}  // namespace
}  // namespace discmaker

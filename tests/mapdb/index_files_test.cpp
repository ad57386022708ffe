// The name and address index readers: on the built-in town against what the disc
// builder wrote, and on hand-made files that are truncated, oversized or corrupt.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "formats/areas.h"
#include "formats/link_info.h"
#include "formats/name_index.h"
#include "formats/names.h"
#include "mapferry/convert/compressed_block.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/lfo_index_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/lsr_files.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/mapdb/street_name_list_file.h"
#include "pathlume/mapdb/street_types.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/town.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;
namespace li = formats::link_info;
namespace az = formats::areas;
namespace ni = formats::name_index;
namespace nm = formats::names;
using Bytes = std::vector<uint8_t>;

Bytes ReadFileBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFileBytes(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// The built-in town's discs and the device files made from them, kept for the
// whole program.
struct TownFiles {
    fs::path base, disc1, maps;
    TownFiles() {
        base = fs::temp_directory_path() / ("pathlume-index-files-" + std::to_string(::getpid()));
        fs::remove_all(base);
        testing_support::TempRoots roots;
        discmaker::Network town = discmaker::BuildTown(5, 1500);
        discmaker::BuildDiscs(town, base / "disc");
        std::ostringstream out, err;
        const mkmaps::Figures figures =
            mkmaps::Generate({base / "disc", base / "maps", {}}, out, err);
        platform::SetCurrentSide(platform::Side::Device);
        if (!figures.completed)
            throw std::runtime_error("map generation failed: " + err.str());
        disc1 = base / "disc" / "CD1" / "mapdata";
        maps = base / "maps";
    }
    ~TownFiles() {
        std::error_code ignored;
        fs::remove_all(base, ignored);
    }
};

const TownFiles& Town() {
    static TownFiles files;
    return files;
}

// ---- What the disc builder wrote ------------------------------------------------

Bytes InflateBlockAt(const fs::path& path, uint64_t offset) {
    CFile file(platform::HostPathText(path).c_str(), CFile::modeRead);
    file.Seek(static_cast<LONGLONG>(offset), CFile::begin);
    CBlockReader reader(&file);
    EXPECT_EQ(reader.ReadBlock(), 0) << path << " at " << offset;
    return Bytes(reader.GetData(), reader.GetData() + reader.GetRawSize());
}

// "names.raw": the names by number.
std::vector<std::string> DiscNames(const fs::path& disc1) {
    const Bytes bytes = ReadFileBytes(disc1 / "names.raw");
    std::vector<std::string> names;
    for (size_t at = nm::kSourceNamesOffset; at < bytes.size(); at += 1 + bytes[at])
        names.emplace_back(reinterpret_cast<const char*>(&bytes[at + 1]), bytes[at]);
    return names;
}

// "az.raw": the place texts by number (file order, area by area).
std::vector<std::string> DiscPlaces(const fs::path& disc1) {
    const Bytes bytes = ReadFileBytes(disc1 / "az.raw");
    const uint16_t count = formats::LoadU16(&bytes[az::kAreaCountOffset]);
    std::vector<std::string> places;
    size_t at = az::kAreaEntriesOffset;
    for (uint16_t a = 0; a < count; ++a) {
        const az::AreaEntry entry = az::DecodeAreaFixed(&bytes[at + 1]);
        at += az::AreaEntrySize(bytes[at]);
        size_t place = static_cast<size_t>(entry.firstPlaceOffset);
        for (uint32_t i = 0; i < (entry.placeWord & az::kPlaceCountMask); ++i) {
            az::PlaceRecord record;
            EXPECT_TRUE(az::DecodePlaceRecord(&bytes[place], bytes.size() - place, record));
            places.emplace_back(record.text);
            place += record.size;
        }
    }
    return places;
}

// "lsr.raw" with "lsrs.raw": the label of each name pair, as the ramp label reads.
std::vector<std::string> DiscPairLabels(const fs::path& disc1) {
    const Bytes pairs = ReadFileBytes(disc1 / "lsr.raw");
    const Bytes texts = ReadFileBytes(disc1 / "lsrs.raw");
    std::vector<std::string> text;
    for (size_t at = ni::kSourceTextsOffset; at < texts.size(); at += 1 + texts[at])
        text.emplace_back(reinterpret_cast<const char*>(&texts[at + 1]), texts[at]);
    std::vector<std::string> labels;
    const uint32_t count = formats::LoadU32(&pairs[ni::kSourceCountOffset]);
    for (uint32_t i = 0; i < count; ++i) {
        const ni::NamePair pair =
            ni::DecodeNamePair(&pairs[ni::kSourcePairsOffset + ni::kPairSize * i]);
        std::string label;
        if (pair.exitText >= 0)
            label = "EXIT " + text.at(static_cast<size_t>(pair.exitText));
        if (pair.nameText >= 0)
            label += (label.empty() ? "" : ": ") + text.at(static_cast<size_t>(pair.nameText));
        labels.push_back(label);
    }
    return labels;
}

class TownIndexTest : public testing::Test {
  protected:
    static void SetUpTestSuite() { Town(); }
    void SetUp() override {
        mapdb_test::SetDataFolder(Town().maps);
        platform::ClearMessageBoxes();
        OpenMapIndexFiles();
        ASSERT_TRUE(g_linkInfo.IsOpen());
        ASSERT_TRUE(g_areaZones.IsOpen());
        ASSERT_TRUE(g_namesFile.IsOpen());
    }
    void TearDown() override {
        CloseMapIndexFiles();
        mapdb_test::SetDataFolder({});
    }

    static std::string NameText(uint32_t offset) {
        char buffer[kNameBufferSize];
        ReadNamesBinString(offset, buffer);
        return buffer;
    }
    static std::string PlaceText(int32_t offset) {
        std::string text;
        int32_t parent = 0;
        if (offset < 0 || !g_areaZones.ReadPlace(offset, text, parent))
            return "<none>";
        return text;
    }
    // Every device record of an area, at its offset, with its name items.
    static std::map<int32_t, std::pair<LinkInfoRecord, std::vector<NameItem>>> AreaRecords(
        uint32_t area) {
        std::map<int32_t, std::pair<LinkInfoRecord, std::vector<NameItem>>> records;
        const li::Entry entry = g_linkInfo.Area(area);
        int32_t offset = static_cast<int32_t>(entry.blockOffset + li::kPairTableSize);
        for (uint32_t i = 0; i < entry.recordCount; ++i) {
            LinkInfoRecord record;
            EXPECT_EQ(g_linkInfo.ReadRecord(offset, record, false), 0) << offset;
            std::vector<NameItem> items(record.ItemCount());
            EXPECT_EQ(g_linkInfo.ReadNameItems(items.data(), record.ItemCount()),
                      record.ItemCount());
            const int32_t next = g_linkInfo.File().Tell();
            records[offset] = {record, items};
            offset = next;
        }
        return records;
    }
};

TEST_F(TownIndexTest, EveryLinkInfoRecordReadsBackAsTheDiscBuilderWroteIt) {
    const fs::path raz = Town().disc1 / "linkinfo.raz";
    const Bytes head = ReadFileBytes(raz);
    const uint32_t entries = formats::LoadU32(&head[li::kEntryCountOffset]);
    // One of the discs' entries is the region that is installed on its own; the
    // others are installed in their order.
    ASSERT_EQ(g_linkInfo.AreaCount() + 1, entries);
    uint32_t discIndex = 0;
    const std::vector<std::string> names = DiscNames(Town().disc1);
    const std::vector<std::string> places = DiscPlaces(Town().disc1);
    const std::vector<std::string> labels = DiscPairLabels(Town().disc1);
    LsrFiles lsr;
    ASSERT_EQ(lsr.Open(), 0);
    auto discPlace = [&](int32_t number) {
        return number < 0 ? std::string("<none>") : places.at(static_cast<size_t>(number));
    };
    size_t compared = 0, withRanges = 0, withPairs = 0;
    for (uint32_t e = 0; e < g_linkInfo.AreaCount(); ++e) {
        li::Entry discEntry = li::DecodeEntry(&head[li::EntryOffset(discIndex++)]);
        if (discEntry.recordCount != g_linkInfo.Area(e).recordCount && discIndex == e + 1)
            discEntry = li::DecodeEntry(&head[li::EntryOffset(discIndex++)]);
        ASSERT_EQ(g_linkInfo.Area(e).recordCount, discEntry.recordCount);
        const Bytes block = InflateBlockAt(raz, discEntry.blockOffset);
        const auto device = AreaRecords(e);
        ASSERT_EQ(device.size(), discEntry.recordCount);
        size_t at = li::kPairTableSize;
        for (const auto& [offset, got] : device) {
            SCOPED_TRACE("record at " + std::to_string(offset));
            li::Record wrote;
            const size_t size = li::DecodeRecord(&block[at], block.size() - at, wrote);
            ASSERT_GT(size, 0u);
            at += size;
            const LinkInfoRecord& record = got.first;
            // The cell is renumbered in the installed grid; its grid stays.
            EXPECT_EQ(record.cellWord & li::kDetailedCell, wrote.cellWord & li::kDetailedCell);
            EXPECT_EQ(record.addressWord, wrote.addressWord);
            EXPECT_EQ(record.left.from, wrote.left.from);
            EXPECT_EQ(record.left.to, wrote.left.to);
            EXPECT_EQ(record.right.from, wrote.right.from);
            EXPECT_EQ(record.right.to, wrote.right.to);
            EXPECT_EQ(PlaceText(record.leftPlace), discPlace(wrote.leftPlace));
            EXPECT_EQ(PlaceText(record.rightPlace), discPlace(wrote.rightPlace));
            EXPECT_EQ(PlaceText(record.leftAlternative), discPlace(wrote.leftAlternative));
            EXPECT_EQ(PlaceText(record.rightAlternative), discPlace(wrote.rightAlternative));
            EXPECT_EQ(PlaceText(record.leftExtra), discPlace(wrote.leftExtra));
            EXPECT_EQ(PlaceText(record.rightExtra), discPlace(wrote.rightExtra));
            if (wrote.addressWord & li::kHasNamePair) {
                char label[80];
                lsr.GetName(static_cast<int32_t>(record.namePair), label, sizeof label);
                EXPECT_EQ(label, labels.at(wrote.namePair));
                ++withPairs;
            }
            ASSERT_EQ(got.second.size(), wrote.items.size());
            for (size_t i = 0; i < wrote.items.size(); ++i) {
                EXPECT_EQ(got.second[i].flags, wrote.items[i].flags);
                EXPECT_EQ(got.second[i].direction, wrote.items[i].direction);
                EXPECT_EQ(NameText(got.second[i].name), names.at(wrote.items[i].name));
            }
            // The first item comes with the record when asked for.
            LinkInfoRecord withItem;
            ASSERT_EQ(g_linkInfo.ReadRecord(offset, withItem, true), 0);
            if (!wrote.items.empty()) {
                EXPECT_EQ(withItem.firstItem.name, got.second[0].name);
            }
            withRanges += (wrote.addressWord & (li::kLeftKindMask | li::kRightKindMask)) != 0;
            ++compared;
        }
    }
    EXPECT_GT(compared, 100u);
    EXPECT_GT(withRanges, 10u);
    EXPECT_GT(withPairs, 0u);
}

TEST_F(TownIndexTest, LetterPairsLeadToTheRecordsOfTheirStreetNames) {
    size_t checked = 0;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount(); ++area) {
        ASSERT_EQ(g_linkInfo.Seek(area), 0);
        for (const auto& [offset, got] : AreaRecords(area)) {
            if (got.second.empty())
                continue;
            const std::string name = NameText(got.second[0].name);
            if (name.size() < 2)
                continue;
            uint32_t count = 0;
            const int32_t first = g_linkInfo.FindLetterPair(name[0], name[1], &count);
            ASSERT_GT(count, 0u) << name;
            // The record lies in the run of its letter pair.
            EXPECT_LE(first, offset) << name;
            LinkInfoRecord record;
            ASSERT_EQ(g_linkInfo.ReadRecord(first, record, true), 0);
            EXPECT_EQ(NameText(record.firstItem.name).substr(0, 2), name.substr(0, 2));
            ++checked;
        }
    }
    EXPECT_GT(checked, 50u);
    EXPECT_EQ(g_linkInfo.FindLetterPair('M', '?', nullptr), -1);
    EXPECT_EQ(g_linkInfo.Seek(g_linkInfo.AreaCount()), 1);
}

TEST_F(TownIndexTest, StatesByCodeOrNameAndPlacesWithAndWithoutTheirCounty) {
    const int byCode = g_areaZones.FindArea("ca");
    const AreaZoneFile::Area* california = g_areaZones.GetArea(static_cast<size_t>(byCode));
    ASSERT_NE(california, nullptr);
    EXPECT_EQ(std::string(california->entry.code, 2), "CA");
    EXPECT_EQ(g_areaZones.FindArea("California"), byCode);
    EXPECT_EQ(g_areaZones.FindArea("CALIFORNIA (CA)"), byCode);
    const int nevada = g_areaZones.FindArea("NV");
    EXPECT_NE(nevada, byCode);
    EXPECT_EQ(g_areaZones.FindArea("Nevada"), nevada);
    EXPECT_EQ(g_areaZones.FindArea("Atlantis"), 0);
    EXPECT_EQ(g_areaZones.FindArea("XX"), 0);

    char text[kPlaceTextSize];
    g_areaZones.FormatAreaName(static_cast<size_t>(nevada), text, sizeof text);
    EXPECT_STRCASEEQ(text, "NEVADA (NV)");

    const int32_t riverton = g_areaZones.FindPlace("RIVERTON", byCode);
    ASSERT_GT(riverton, 0);
    EXPECT_EQ(g_areaZones.FindPlace("RIVERTON [CEDAR COUNTY]", byCode), riverton);
    EXPECT_EQ(g_areaZones.FindPlace("RIVERTON [PINE COUNTY]", byCode), 0);
    EXPECT_EQ(g_areaZones.FindPlace("Riverton", byCode), 0);  // case matters
    EXPECT_EQ(g_areaZones.FindPlace("RIVERTON", nevada), 0);
    EXPECT_EQ(g_areaZones.FindPlace("RIVERTON", 999), 0);
    EXPECT_GE(riverton, g_areaZones.GetFirstPlace(static_cast<size_t>(byCode)));
}

TEST_F(TownIndexTest, PlaceTextsAreasAndCodesOfARecord) {
    const int california = g_areaZones.FindArea("CA");
    const int32_t riverton = g_areaZones.FindPlace("RIVERTON", california);
    // A record of Riverton on its left side.
    bool found = false;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount() && !found; ++area) {
        for (const auto& [offset, got] : AreaRecords(area)) {
            const LinkInfoRecord& record = got.first;
            if (record.leftPlace != riverton)
                continue;
            found = true;
            char text[kPlaceTextSize];
            g_areaZones.FormatPlaceText(record, text, sizeof text, 1, true);
            const std::string full = text;
            EXPECT_EQ(full.substr(0, 8), "RIVERTON");
            EXPECT_EQ(full.substr(full.size() - 4), ", CA");
            g_areaZones.FormatPlaceText(record, text, sizeof text, 1, false);
            EXPECT_EQ(full, std::string(text) + ", CA");
            // Cut to the buffer, terminated.
            char small[6];
            g_areaZones.FormatPlaceText(record, small, sizeof small, 1, true);
            EXPECT_STREQ(small, "RIVER");
            int index = -1;
            EXPECT_EQ(g_areaZones.GetAreaCode(record, 1, &index),
                      static_cast<int32_t>(g_areaZones.GetArea(california)->entry.codeNumber));
            EXPECT_EQ(index, california);
            EXPECT_EQ(g_areaZones.GetAreaName(record, text, sizeof text, 1), california);
            EXPECT_STRCASEEQ(text, "CALIFORNIA");
            break;
        }
    }
    EXPECT_TRUE(found);
}

TEST_F(TownIndexTest, StreetListsAndTheLinksOfAStreet) {
    StreetNameListFile lists;
    ASSERT_EQ(lists.Open(), &lists);
    ASSERT_GT(lists.Count(), 0u);
    EXPECT_EQ(lists.GetEntry(lists.Count()), nullptr);
    const formats::name_index::StreetEntry entry = *lists.GetEntry(0);
    ASSERT_GT(entry.count, 0u);
    ASSERT_EQ(lists.SeekEntry(0), 0);
    std::vector<formats::name_index::StreetItem> items(entry.count);
    ASSERT_EQ(lists.Read(items.data(), entry.count), 0);
    EXPECT_EQ(lists.Read(items.data(), 1u << 20), 1);
    size_t streets = 0;
    for (const auto& item : items)
        streets += !NameText(item.name).empty();
    EXPECT_EQ(streets, items.size());

    // Every link the index gives for a street carries that street's name.
    LfoIndexFile index;
    ASSERT_EQ(index.OpenArea(0), 0);
    size_t links = 0;
    formats::link_info::LfoName pair;
    for (uint32_t i = 0; index.ReadNamePair(i, pair) == 0 && links < 200; ++i) {
        LfoIndexFile list;
        ASSERT_EQ(list.Open(0, pair.name, -1), 0) << NameText(pair.name);
        for (uint32_t offset = list.NextRecord(); offset != 0; offset = list.NextRecord()) {
            LinkInfoRecord record;
            ASSERT_EQ(g_linkInfo.ReadRecord(static_cast<int32_t>(offset), record, false), 0);
            std::vector<NameItem> names(record.ItemCount());
            g_linkInfo.ReadNameItems(names.data(), record.ItemCount());
            bool named = false;
            for (const NameItem& item : names)
                named |= item.name == pair.name;
            EXPECT_TRUE(named) << NameText(pair.name);
            ++links;
        }
    }
    EXPECT_GT(links, 0u);
    EXPECT_EQ(index.ReadNamePair(index.AreaEntry().nameCount, pair), 1);
    LfoIndexFile none;
    EXPECT_EQ(none.Open(0, 3, -1), 1);
    EXPECT_EQ(none.Open(1000, pair.name, -1), 1);
}

TEST_F(TownIndexTest, CityStreetListsNameStreetsOfNamesBin) {
    size_t values = 0;
    for (uint32_t place = 0; place < 50; ++place) {
        for (uint32_t value : AreaZoneBcFile::Load(0, place)) {
            const std::string name = NameText(az::DeviceValueOffset(value));
            EXPECT_FALSE(name.empty());
            EXPECT_EQ(name.size(), az::DeviceValueLength(value));
            ++values;
        }
    }
    EXPECT_GT(values, 0u);
    EXPECT_TRUE(AreaZoneBcFile::Load(60000, 0).empty());
    EXPECT_TRUE(AreaZoneBcFile::Load(0, 0x7FFFFFFF).empty());
}

TEST_F(TownIndexTest, RampLabelsFromTheNamePairs) {
    LsrFiles lsr;
    ASSERT_EQ(lsr.Open(), 0);
    size_t exits = 0;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount(); ++area) {
        for (const auto& [offset, got] : AreaRecords(area)) {
            if (!(got.first.addressWord & li::kHasNamePair))
                continue;
            char text[80];
            ASSERT_EQ(lsr.GetName(static_cast<int32_t>(got.first.namePair), text, sizeof text), 0);
            if (std::string(text).rfind("EXIT ", 0) == 0)
                ++exits;
            char small[7];
            lsr.GetName(static_cast<int32_t>(got.first.namePair), small, sizeof small);
            EXPECT_EQ(std::string(text).substr(0, 6), small);
        }
    }
    EXPECT_GT(exits, 0u);
    char text[80];
    EXPECT_EQ(lsr.GetName(-1, text, sizeof text), 1);
    EXPECT_STREQ(text, "");
}

TEST_F(TownIndexTest, NamesBinLetterPairs) {
    const auto entry = LookupNamesBigram('M', 'A');
    ASSERT_TRUE(entry.has_value());
    EXPECT_EQ(NameText(entry->firstOffset).substr(0, 2), "MA");
    // An accented capital counts as its base letter.
    const auto accented = LookupNamesBigram(static_cast<char>(0xC1), 'A');  // A acute
    const auto plain = LookupNamesBigram('A', 'A');
    EXPECT_EQ(accented.has_value(), plain.has_value());
    EXPECT_FALSE(LookupNamesBigram('M', '?').has_value());
    EXPECT_FALSE(LookupNamesBigram('Q', 'Q').has_value());
}

TEST_F(TownIndexTest, PowerResumeBringsTheFilesBackAtTheirPositions) {
    LinkInfoRecord record;
    const li::Entry entry = g_linkInfo.Area(0);
    ASSERT_EQ(g_linkInfo.ReadRecord(static_cast<int32_t>(entry.blockOffset + li::kPairTableSize),
                                    record, false),
              0);
    const int position = g_linkInfo.File().Tell();
    CMapDatabase database;
    ASSERT_EQ(database.Open(), 0);
    platform::UseManualClock(true);
    const DWORD before = GetTickCount();
    EXPECT_EQ(ReopenMapIndexFiles(database), 0);
    EXPECT_EQ(GetTickCount(), before);
    EXPECT_EQ(g_linkInfo.File().Tell(), position);
    EXPECT_TRUE(g_areaZones.IsOpen());
    EXPECT_GT(g_areaZones.FindPlace("RIVERTON", g_areaZones.FindArea("CA")), 0);

    // "linkinfo.bin" gone (the card is not back): 20 tries 250 ms apart, then 1;
    // the other files still come back.
    const fs::path moved = Town().base / "linkinfo.bin.away";
    fs::rename(Town().maps / "linkinfo.bin", moved);
    const DWORD start = GetTickCount();
    EXPECT_EQ(ReopenMapIndexFiles(database), 1);
    EXPECT_EQ(GetTickCount() - start, 19u * 250u);
    EXPECT_TRUE(g_areaZones.IsOpen());
    fs::rename(moved, Town().maps / "linkinfo.bin");
    platform::UseManualClock(false);
    EXPECT_EQ(ReopenMapIndexFiles(database), 0);
    EXPECT_TRUE(g_linkInfo.IsOpen());
}

// ---- Bad files ----------------------------------------------------------------

// Little-endian bytes of a hand-made file.
struct FileBytes {
    Bytes bytes;
    FileBytes& Text(std::string_view text) {
        bytes.insert(bytes.end(), text.begin(), text.end());
        return *this;
    }
    FileBytes& U8(uint8_t value) {
        bytes.push_back(value);
        return *this;
    }
    FileBytes& U16(uint16_t value) {
        U8(static_cast<uint8_t>(value));
        return U8(static_cast<uint8_t>(value >> 8));
    }
    FileBytes& U32(uint32_t value) {
        U16(static_cast<uint16_t>(value));
        return U16(static_cast<uint16_t>(value >> 16));
    }
    FileBytes& Zeros(size_t n) {
        bytes.resize(bytes.size() + n);
        return *this;
    }
    uint32_t Size() const { return static_cast<uint32_t>(bytes.size()); }
};

// An "az.bin" area entry: the name length, the fixed bytes, the name.
FileBytes& Area(FileBytes& file, std::string_view name, uint32_t firstPlace, uint32_t count,
                const char* code) {
    return file.U8(static_cast<uint8_t>(name.size()))
        .U32(0)
        .U32(0)
        .U32(firstPlace)
        .U32(count)
        .U32(7)
        .Text(std::string_view(code, 2))
        .Text(name);
}

class BadIndexFilesTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        folder_ = roots_.base() / "maps";
        fs::create_directories(folder_);
        mapdb_test::SetDataFolder(folder_);
        platform::ClearMessageBoxes();
    }
    void TearDown() override { mapdb_test::SetDataFolder({}); }
    void Write(const char* name, const FileBytes& file) {
        WriteFileBytes(folder_ / name, file.bytes);
    }
    fs::path folder_;
};

TEST_F(BadIndexFilesTest, AreaFilesWithBadCountsAndOffsets) {
    AreaZoneFile zones;
    const struct {
        const char* what;
        FileBytes file;
        int open;
        size_t areas;
    } opens[] = {
        {"wrong magic", FileBytes().Text("AZE1").U16(0), 0, 0},
        {"count the file cannot hold", FileBytes().Text("AZE2").U16(0xFFFF).Zeros(30), 0, 0},
        {"second area cut short",
         [] {
             FileBytes f;
             f.Text("AZE2").U16(2);
             Area(f, "ONE", 100, 1, "ON");
             return f.U8(40).Zeros(25);
         }(),
         1, 1},
    };
    for (const auto& c : opens) {
        SCOPED_TRACE(c.what);
        Write("az.bin", c.file);
        EXPECT_EQ(zones.Open(u"az.bin"), c.open);
        EXPECT_EQ(zones.IsOpen(), c.open == 1);
        EXPECT_EQ(zones.AreaCount(), c.areas);
    }

    // One area whose places lie past the end, and one whose place text runs past it.
    FileBytes file;
    file.Text("AZE2").U16(2);
    Area(file, "FAR", 100000, 5, "FA");
    const uint32_t secondEntry = file.Size();
    Area(file, "CUT", 0, 2, "CU");
    const uint32_t place = file.Size();
    file.U8(0x80 | 5).U32(0x80000000u | 9999999).Text("TOWN").bytes;  // one byte short
    formats::StoreU32(&file.bytes[secondEntry + 1 + az::kFixedFirstPlaceOffset], place);
    Write("az.bin", file);
    ASSERT_EQ(zones.Open(u"az.bin"), 1);
    ASSERT_EQ(zones.AreaCount(), 2u);
    EXPECT_EQ(zones.FindPlace("TOWN", 0), 0);
    EXPECT_EQ(zones.FindPlace("TOWN", 1), 0);
    LinkInfoRecord record;
    record.leftPlace = static_cast<int32_t>(place);
    record.rightPlace = 1 << 30;
    char text[16];
    EXPECT_STREQ(zones.FormatPlaceText(record, text, sizeof text, 1, true), "");
    EXPECT_STREQ(zones.FormatPlaceText(record, text, sizeof text, -1, true), "");
    EXPECT_EQ(zones.GetAreaCode(record, -1, nullptr), 7);  // the last area owns the rest
}

// A city and a county of one name (an extract whose county is named after its
// country, a statutory city that is its own district): the address entry asks for
// the city, a qualifier picks by the parent, and the county comes after the city.
TEST_F(BadIndexFilesTest, APlaceOfTheAskedKindComesFirst) {
    FileBytes file;
    file.Text("AZE2").U16(1);
    const uint32_t entry = file.Size();
    Area(file, "ALABAMA", 0, 7, "AL");
    const uint32_t list = file.Size();
    const uint32_t monacoName = list, greeneName = list + 7;
    file.U8(6).Text("MONACO").U8(6).Text("GREENE");
    auto place = [&](std::string_view text, int64_t parent) {
        const uint32_t at = file.Size();
        if (parent < 0)
            file.U8(static_cast<uint8_t>(text.size())).Text(text);
        else
            file.U8(static_cast<uint8_t>(0x80 | text.size()))
                .U32(static_cast<uint32_t>(parent))
                .Text(text);
        return static_cast<int32_t>(at);
    };
    const int32_t county = place("MONACO", -1);
    const int32_t city = place("MONACO", monacoName);
    const int32_t springfieldGreene = place("SPRINGFIELD", greeneName);
    const int32_t springfieldMonaco = place("SPRINGFIELD", monacoName);
    const int32_t quarter = place("LA CONDAMINE", 0x80000000u | static_cast<uint32_t>(city));
    const int32_t alone = place("ALONE", -1);
    const int32_t krems = place("KREMS", monacoName);
    formats::StoreU32(&file.bytes[entry + 1 + az::kFixedNamesListOffset], list);
    formats::StoreU32(&file.bytes[entry + 1 + az::kFixedNameCountOffset], 2);
    formats::StoreU32(&file.bytes[entry + 1 + az::kFixedFirstPlaceOffset],
                      static_cast<uint32_t>(county));
    Write("az.bin", file);
    AreaZoneFile zones;
    ASSERT_EQ(zones.Open(u"az.bin"), 1);

    EXPECT_EQ(zones.FindPlaces("MONACO", 0), (std::vector<int32_t>{city, county}));
    const struct {
        const char* typed;
        int32_t place;
    } cases[] = {
        {"MONACO", city},
        {"MONACO [MONACO]", city},  // the county has no parent to match
        {"SPRINGFIELD", springfieldGreene},
        {"SPRINGFIELD [GREENE]", springfieldGreene},
        {"SPRINGFIELD [MONACO]", springfieldMonaco},
        {"SPRINGFIELD [ALABAMA]", 0},
        {"LA CONDAMINE [MONACO]", quarter},
        {"ALONE", alone},  // a place right in its state, no county of that name
        {"KREMS", krems},
        {"KREMS AN DER DONAU", 0},
        {"GREENE", 0},  // a county without a place record
    };
    for (const auto& c : cases)
        EXPECT_EQ(zones.FindPlace(c.typed, 0), c.place) << c.typed;
}

TEST_F(BadIndexFilesTest, LinkInfoWithBadTablesAndRecords) {
    LinkInfoFile links;
    const struct {
        const char* what;
        FileBytes file;
    } refused[] = {
        {"wrong magic", FileBytes().Text("LI06").U32(0)},
        {"short count", FileBytes().Text("LI07").U16(1)},
        {"area table the file cannot hold", FileBytes().Text("LI07").U32(0x10000000).Zeros(64)},
        {"area table cut short", FileBytes().Text("LI07").U32(3).U32(24).U32(1)},
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.what);
        Write("linkinfo.bin", c.file);
        EXPECT_EQ(links.Open(), nullptr);
        EXPECT_FALSE(links.IsOpen());
        EXPECT_EQ(links.AreaCount(), 0u);
    }

    // Area 0's pair table says 2 records of "MA" at 40; the first is whole with one
    // item, the second claims both ranges and is cut. Area 1's block is past the end.
    FileBytes file;
    file.Text("LI07").U32(2).U32(24).U32(2).U32(1 << 30).U32(1);
    FileBytes records;
    li::Record whole;
    whole.cellWord = 5;
    whole.leftPlace = 9;
    whole.rightPlace = 9;
    whole.items = {{77, 0x2001, 0x21}};
    li::EncodeRecord(whole, records.bytes);
    const uint32_t first = 24 + static_cast<uint32_t>(li::kPairTableSize);
    const uint32_t cutAt = first + records.Size();
    records.U32(6)
        .U16(0)
        .U16(li::AddressWord(2, li::kParityEven, 1, li::kParityOdd, false))
        .U32(100);
    Bytes table(li::kPairTableSize);
    li::EncodePairEntry(
        {2, first}, table.data() + li::PairEntryOffset(nm::LetterPair(nm::FirstLetterCode('M'),
                                                                      nm::SecondLetterCode('A'))));
    file.bytes.insert(file.bytes.end(), table.begin(), table.end());
    file.bytes.insert(file.bytes.end(), records.bytes.begin(), records.bytes.end());
    Write("linkinfo.bin", file);
    ASSERT_EQ(links.Open(), &links);
    uint32_t count = 0;
    EXPECT_EQ(links.FindLetterPair('M', 'A', &count), static_cast<int32_t>(first));
    EXPECT_EQ(count, 2u);
    EXPECT_EQ(links.FindLetterPair('M', 'B', nullptr), -1);
    LinkInfoRecord record;
    ASSERT_EQ(links.ReadRecord(static_cast<int32_t>(first), record, true), 0);
    EXPECT_EQ(record.firstItem.name, 77u);
    EXPECT_EQ(record.rightPlace, 9);
    EXPECT_EQ(record.leftAlternative, -1);
    EXPECT_EQ(links.ReadRecord(-1, record, false), 1);  // the cut record
    EXPECT_EQ(links.ReadRecord(static_cast<int32_t>(cutAt), record, false), 1);
    EXPECT_EQ(links.ReadRecord(-5, record, false), 1);
    EXPECT_EQ(links.ReadRecord(0x7FFFFFF0, record, false), 1);
    // Items read whole up to the end of the file: the record's own, then 7 of the
    // cut record's 12 bytes.
    NameItem items[3];
    ASSERT_EQ(links.ReadRecord(static_cast<int32_t>(first), record, false), 0);
    EXPECT_EQ(links.ReadNameItems(items, 3), 2);
    ASSERT_EQ(links.Seek(1), 0);
    EXPECT_EQ(links.FindLetterPair('M', 'A', nullptr), -1);  // its block is past the end
    EXPECT_EQ(links.Seek(2), 1);
    EXPECT_EQ(links.CurrentArea(), 1u);
}

TEST_F(BadIndexFilesTest, StreetListsWithBadCounts) {
    StreetNameListFile lists;
    const struct {
        const char* what;
        FileBytes file;
        bool opens;
    } cases[] = {
        {"wrong magic", FileBytes().Text("SN00").U32(0), false},
        {"count the file cannot hold", FileBytes().Text("SN01").U32(0x20000000).Zeros(12), false},
        {"table cut short", FileBytes().Text("SN01").U32(2).U32(32).U32(1).U32(0), false},
        {"items past the end", FileBytes().Text("SN01").U32(1).U32(5000).U32(3).U32(10), true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        Write("stnl.bin", c.file);
        EXPECT_EQ(lists.Open() != nullptr, c.opens);
        EXPECT_EQ(lists.Count(), c.opens ? 1u : 0u);
    }
    formats::name_index::StreetItem item;
    EXPECT_EQ(lists.SeekEntry(0), 1);
    EXPECT_EQ(lists.SeekEntry(1), 1);
    EXPECT_EQ(lists.Read(&item, 1), 1);
}

TEST_F(BadIndexFilesTest, CityStreetListsWithBadIndexesAndCounts) {
    // Area 0: two places; place 0's list is fine, place 1's claims 2^30 values.
    // Area 1's pointer table lies past the end.
    FileBytes file;
    file.Text("AC00").U16(2).U32(22).U32(2).U32(1 << 30).U32(4);
    file.U32(30).U32(42);       // 22: the pointers
    file.U32(2).U32(5).U32(6);  // 30: a list of two
    file.U32(1 << 30).U32(1);   // 42: an oversized list
    Write("azbc.bin", file);
    EXPECT_EQ(AreaZoneBcFile::Load(0, 0), (std::vector<uint32_t>{5, 6}));
    EXPECT_TRUE(AreaZoneBcFile::Load(0, 1).empty());
    EXPECT_TRUE(AreaZoneBcFile::Load(0, 2).empty());
    EXPECT_TRUE(AreaZoneBcFile::Load(1, 0).empty());
    EXPECT_TRUE(AreaZoneBcFile::Load(2, 0).empty());  // past the entries
    Write("azbc.bin", FileBytes().Text("AC00").U16(0xFFFF));
    EXPECT_TRUE(AreaZoneBcFile::Load(3, 0).empty());
}

TEST_F(BadIndexFilesTest, LinkListsWithBadTablesAndTheirHouseNumbers) {
    // Area 0: names 10 (list at 40) and 20 (list of 2^30 items) and 30 (empty list).
    // Area 1's name table lies past the end.
    FileBytes file;
    file.Text("LX01").U32(2).U32(24).U32(3).U32(1 << 30).U32(2);
    file.U32(10).U32(48).U32(20).U32(112).U32(30).U32(116);  // 24: the names
    file.U32(5);                                             // 48: five items
    file.U32(10).U32(20).U32(1000);                          // 10..20
    file.U32(0x80000000u).U32(5).U32(2000);                  // any number
    file.U32(0x80000000u).U32(0).U32(3000);                  // no number
    file.U32(0).U32(100).U32(0);                             // no record
    file.U32(30).U32(40).U32(4000);                          // 30..40
    file.U32(1 << 30);                                       // 112: too long
    file.U32(0);                                             // 116: empty
    Write("lfoidx.bin", file);
    auto records = [](int32_t number) {
        LfoIndexFile index;
        std::vector<uint32_t> found;
        if (index.Open(0, 10, number) != 0)
            return found;
        for (uint32_t r = index.NextRecord(); r != 0; r = index.NextRecord())
            found.push_back(r);
        return found;
    };
    EXPECT_EQ(records(15), (std::vector<uint32_t>{1000, 2000}));
    EXPECT_EQ(records(35), (std::vector<uint32_t>{2000, 4000}));
    EXPECT_EQ(records(-1), (std::vector<uint32_t>{1000, 2000, 3000, 4000}));
    LfoIndexFile index;
    EXPECT_EQ(index.Open(0, 20, -1), 1);
    EXPECT_EQ(index.Open(0, 30, -1), 1);
    EXPECT_EQ(index.Open(0, 15, -1), 1);
    EXPECT_EQ(index.Open(1, 10, -1), 1);
    EXPECT_EQ(index.Open(2, 10, -1), 1);
    EXPECT_EQ(index.NextRecord(), 0u);
}

TEST_F(BadIndexFilesTest, RampLabelsRefuseOverlongTextsAndCutToTheBuffer) {
    // Pairs at 4, 12, 20: exit "12A" with name "MAIN ST"; an exit of 9 bytes with
    // a name of 61; a name past the end.
    Write("lsr.bin", FileBytes().Text("LN00").U32(4).U32(12).U32(26).U32(16).U32(900).U32(-1u));
    Write("lsrs.bin", FileBytes()
                          .Text("LS00")
                          .U8(7)
                          .Text("MAIN ST")
                          .U8(3)
                          .Text("12A")
                          .U8(9)
                          .Text("123456789")
                          .U8(61)
                          .Text(std::string(61, 'N')));
    LsrFiles lsr;
    ASSERT_EQ(lsr.Open(), 0);
    char text[80];
    EXPECT_EQ(lsr.GetName(4, text, sizeof text), 0);
    EXPECT_STREQ(text, "EXIT 12A: MAIN ST");
    char small[9];
    EXPECT_EQ(lsr.GetName(4, small, sizeof small), 0);
    EXPECT_STREQ(small, "EXIT 12A");
    EXPECT_EQ(lsr.GetName(12, text, sizeof text), 1);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(lsr.GetName(20, text, sizeof text), 1);
    EXPECT_EQ(lsr.GetName(28, text, sizeof text), 1);
    fs::remove(folder_ / "lsrs.bin");
    EXPECT_EQ(lsr.Open(), 1);
    EXPECT_EQ(lsr.GetName(4, text, sizeof text), 1);
}

}  // namespace

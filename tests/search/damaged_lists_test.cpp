// The lists on files made for the case: equal city names told apart or left out, a
// reference outside the file, the last region's block read to the file's end; a
// region's street list cut at its text size, a table the file cannot hold, a name
// past the end of "names.bin".
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "formats/areas.h"
#include "formats/little_endian.h"
#include "formats/name_index.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/name_codes.h"
#include "pathlume/search/city_list.h"
#include "pathlume/search/street_list.h"
#include "tests/support/device_maps.h"
#include "tests/support/temp_root.h"

namespace {

namespace az = formats::areas;
namespace ni = formats::name_index;

class DamagedListsTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { testing_support::SetDataFolder(roots_.base()); }
    void TearDown() override {
        g_namesFile.Close();
        testing_support::SetDataFolder({});
    }
    void Write(const char* name, const std::string& bytes) {
        std::ofstream(roots_.base() / name, std::ios::binary) << bytes;
    }
};

std::vector<std::string> Names(const std::vector<CityEntry>& cities) {
    std::vector<std::string> names;
    for (const CityEntry& city : cities)
        names.push_back(city.displayName);
    return names;
}

// An az.bin of two areas; the places of each as (parent, text).
std::string AreaFile(const std::vector<std::vector<std::pair<int32_t, std::string>>>& places,
                     const std::string& listName, std::vector<int32_t>* placeOffsets,
                     uint32_t* listNameOffset) {
    std::string file(az::kAzMagic, az::kMagicSize);
    file += std::string(2, '\0');
    formats::StoreU16(reinterpret_cast<uint8_t*>(file.data() + 4),
                      static_cast<uint16_t>(places.size()));
    std::vector<size_t> fixedAt;
    for (size_t a = 0; a < places.size(); ++a) {
        const std::string name = a == 0 ? "ONE" : "TWO";
        file += static_cast<char>(name.size());
        fixedAt.push_back(file.size());
        file += std::string(az::kFixedSize, '\0') + name;
    }
    *listNameOffset = static_cast<uint32_t>(file.size());
    file += static_cast<char>(listName.size()) + listName;
    for (size_t a = 0; a < places.size(); ++a) {
        az::AreaEntry entry;
        entry.firstPlaceOffset = static_cast<int32_t>(file.size());
        entry.placeWord = static_cast<uint32_t>(places[a].size());
        entry.code[0] = 'A';
        entry.code[1] = static_cast<char>('A' + a);
        for (const auto& [parent, text] : places[a]) {
            placeOffsets->push_back(static_cast<int32_t>(file.size()));
            uint8_t record[80];
            const size_t size = az::EncodePlaceRecord(parent, text, record);
            file.append(reinterpret_cast<const char*>(record), size);
        }
        az::EncodeAreaFixed(entry, reinterpret_cast<uint8_t*>(file.data() + fixedAt[a]));
    }
    return file;
}

TEST_F(DamagedListsTest, EqualCityNamesAreToldApartLeftOutOrShownPlain) {
    // Offsets of the places are known only once written: a first pass finds them.
    std::vector<int32_t> offsets;
    uint32_t county = 0;
    const auto layout = [&](int32_t sameBlockRef, int32_t listRef) {
        return std::vector<std::vector<std::pair<int32_t, std::string>>>{
            // Equal names need not be neighbours: places come in network order.
            {{listRef, "ALPHA"},
             {az::kNoParent, "BETA"},
             {static_cast<int32_t>(0x7FFFFF00), "ALPHA"},  // a reference outside the file
             {az::kNoParent, "GAMMA"},
             {sameBlockRef, "BETA"}},  // names the other BETA: left out
            {{az::kNoParent, "LAST"}, {az::kNoParent, "OTHER"}}};
    };
    // (A first pass with references of the same size finds where the records lie.)
    AreaFile(layout(1, 1), "NORTH", &offsets, &county);
    const int32_t betaRef =
        static_cast<int32_t>(static_cast<uint32_t>(offsets[1]) | az::kParentIsPlace);
    offsets.clear();
    Write("az_test.bin",
          AreaFile(layout(betaRef, static_cast<int32_t>(county)), "NORTH", &offsets, &county));
    AreaZoneFile areas;
    ASSERT_EQ(areas.Open(u"az_test.bin"), 1);
    EXPECT_EQ(Names(BuildCityList(areas, 0)),
              (std::vector<std::string>{"ALPHA", "ALPHA, NORTH", "BETA", "GAMMA"}));
    // The last region's block runs to the end of the file.
    EXPECT_EQ(Names(BuildCityList(areas, 1)), (std::vector<std::string>{"LAST", "OTHER"}));
}

std::vector<std::string> Rows(const StreetList& list) {
    std::vector<std::string> rows;
    for (const char* row : list.Rows())
        rows.push_back(row);
    return rows;
}

TEST_F(DamagedListsTest, AStreetListIsCutAtItsTextSizeAndATableTheFileCannotHoldIsRefused) {
    const std::vector<std::string> names = {"ALDER", "BIRCH", "CEDAR"};
    std::string namesBin;
    // The entry's text size holds the first two names with their terminators only.
    {
        namesBin = "NAME";
        std::vector<ni::StreetItem> items;
        for (const std::string& name : names) {
            items.push_back({static_cast<uint32_t>(namesBin.size()), 1, 99});
            namesBin += static_cast<char>(name.size()) + name;
        }
        const auto stnlOf = [&](uint32_t count, uint32_t nameBytes, size_t itemsWritten) {
            std::string file(ni::kStreetListEntriesOffset + ni::kStreetEntrySize, '\0');
            std::copy(ni::kStreetListMagic, ni::kStreetListMagic + 4, file.begin());
            formats::StoreU32(reinterpret_cast<uint8_t*>(file.data() + 4), 1);
            ni::EncodeStreetEntry(
                {static_cast<uint32_t>(file.size()), count, nameBytes},
                reinterpret_cast<uint8_t*>(file.data() + ni::kStreetListEntriesOffset));
            for (size_t i = 0; i < itemsWritten; ++i) {
                uint8_t bytes[ni::kStreetItemSize];
                ni::EncodeStreetItem(items[i], bytes);
                file.append(reinterpret_cast<const char*>(bytes), sizeof bytes);
            }
            return file;
        };
        Write("names.bin", namesBin);
        ASSERT_EQ(g_namesFile.OpenInFolder(g_dataFolder, u"names.bin", kDataFileRead, nullptr), 0);

        Write("stnl.bin", stnlOf(3, 12, 3));
        StreetList cut;
        ASSERT_EQ(cut.LoadRegion(0), StreetList::Outcome::kListed);
        EXPECT_EQ(Rows(cut), (std::vector<std::string>{"ALDER", "BIRCH"}));

        // Three streets said, two in the file: nothing is committed, nothing listed.
        Write("stnl.bin", stnlOf(3, 18, 2));
        StreetList shortTable;
        ASSERT_EQ(shortTable.LoadRegion(0), StreetList::Outcome::kListed);
        EXPECT_EQ(shortTable.MessageId(), StreetList::kNoStreetsFound);

        // A text size no list of three names reaches: refused before any memory.
        Write("stnl.bin", stnlOf(3, 0x7FFFFFFF, 3));
        StreetList huge;
        ASSERT_EQ(huge.LoadRegion(0), StreetList::Outcome::kListed);
        EXPECT_EQ(huge.MessageId(), StreetList::kNoStreetsFound);
        Write("stnl.bin", stnlOf(3, 18, 3));
    }
    // A name whose text runs past the end of "names.bin" is not read.
    g_namesFile.Close();
    Write("names.bin", namesBin.substr(0, namesBin.size() - 2));
    ASSERT_EQ(g_namesFile.OpenInFolder(g_dataFolder, u"names.bin", kDataFileRead, nullptr), 0);
    StreetList truncated;
    truncated.LoadRegion(0);
    EXPECT_EQ(Rows(truncated), (std::vector<std::string>{"ALDER", "BIRCH"}));
}

}  // namespace

// The special zone (area codes 60 to 72): whether the map has one and whether a
// link's left side lies in one, on the built-in town with its area codes rewritten
// and on an extract filed under a province.
#include "pathlume/mapdb/special_zones.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>
#include <vector>

#include "formats/areas.h"
#include "formats/link_info.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_index_files.h"
#include "pathlume/mapdb/map_records.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "tests/mapdb/grid_maps.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/disc_builder.h"
#include "tools/discmaker/osm.h"
#include "tools/mkmaps/mkmaps.h"

namespace {

namespace fs = std::filesystem;
namespace az = formats::areas;
namespace li = formats::link_info;

// The ids (record offsets) of the records of "linkinfo.bin" with a left place.
std::vector<int32_t> LinkIdsWithLeftPlace() {
    std::vector<int32_t> ids;
    for (uint32_t area = 0; area < g_linkInfo.AreaCount(); ++area) {
        const li::Entry entry = g_linkInfo.Area(area);
        int32_t offset = static_cast<int32_t>(entry.blockOffset + li::kPairTableSize);
        for (uint32_t i = 0; i < entry.recordCount; ++i) {
            LinkInfoRecord record;
            if (g_linkInfo.ReadRecord(offset, record, false) != 0)
                return ids;
            std::vector<NameItem> items(static_cast<size_t>(record.ItemCount()));
            g_linkInfo.ReadNameItems(items.data(), record.ItemCount());
            if (record.leftPlace >= 0)
                ids.push_back(offset);
            offset = static_cast<int32_t>(g_linkInfo.File().Tell());
        }
    }
    return ids;
}

MapLink LinkWithId(int32_t id) {
    MapLink link{};
    link.linkId = id;
    return link;
}

class SpecialZonesTest : public testing::Test {
  protected:
    void SetUp() override {
        maps_ = roots_.base() / "maps";
        fs::copy(mapdb_test::GridMapsFolder(), maps_);
        mapdb_test::SetDataFolder(maps_);
    }
    void TearDown() override {
        CloseMapIndexFiles();
        g_vehicleLocation = MapLocation{};
        mapdb_test::SetDataFolder({});
    }
    // Gives every area of "az.bin" the code number.
    void SetEveryAreaCode(uint32_t code) {
        std::vector<uint8_t> bytes = mapdb_test::FileBytes(maps_ / "az.bin");
        size_t at = az::kAreaEntriesOffset;
        for (uint16_t area = 0; area < az::LoadU16(bytes.data() + az::kAreaCountOffset); ++area) {
            const size_t nameLength = bytes[at];
            az::StoreU32(&bytes[at + az::kEntryNameLengthSize + az::kFixedCodeNumberOffset], code);
            at += az::AreaEntrySize(nameLength);
        }
        mapdb_test::WriteBytes(maps_ / "az.bin", bytes);
    }

    testing_support::TempRoots roots_;
    fs::path maps_;
};

TEST_F(SpecialZonesTest, TheBuiltInTownHasNone) {
    OpenMapIndexFiles();
    ASSERT_TRUE(g_areaZones.IsOpen());
    EXPECT_EQ(HasSpecialZones(), 0);
    const std::vector<int32_t> ids = LinkIdsWithLeftPlace();
    ASSERT_FALSE(ids.empty());
    const MapLink link = LinkWithId(ids.front());
    EXPECT_EQ(IsLinkInSpecialZone(&link), 0);
}

TEST_F(SpecialZonesTest, CodesSixtyToSeventyTwoAreTheZone) {
    struct Case {
        uint32_t code;
        int special;
    };
    for (const Case c : {Case{59, 0}, Case{60, 1}, Case{72, 1}, Case{73, 0}}) {
        SCOPED_TRACE(c.code);
        CloseMapIndexFiles();
        SetEveryAreaCode(c.code);
        OpenMapIndexFiles();
        ASSERT_TRUE(g_areaZones.IsOpen());
        EXPECT_EQ(HasSpecialZones(), c.special);
        const std::vector<int32_t> ids = LinkIdsWithLeftPlace();
        ASSERT_FALSE(ids.empty());
        MapLink link = LinkWithId(ids.back());
        EXPECT_EQ(IsLinkInSpecialZone(&link), c.special);
        // A null link is the vehicle's matched link.
        g_vehicleLocation.link = &link;
        g_vehicleLocation.linkId = link.linkId;
        EXPECT_EQ(IsLinkInSpecialZone(nullptr), c.special);
        g_vehicleLocation = MapLocation{};
    }
}

TEST_F(SpecialZonesTest, LinksWithoutARecordAreOutside) {
    SetEveryAreaCode(60);
    OpenMapIndexFiles();
    const std::vector<int32_t> ids = LinkIdsWithLeftPlace();
    ASSERT_FALSE(ids.empty());
    // No matched link: the null link names nothing.
    EXPECT_EQ(IsLinkInSpecialZone(nullptr), 0);
    for (const int32_t id : {-2, -1, 0x7FFFFFF0}) {
        SCOPED_TRACE(id);
        const MapLink link = LinkWithId(id);
        EXPECT_EQ(IsLinkInSpecialZone(&link), 0);
    }
    // Closed files: no areas, no records.
    CloseMapIndexFiles();
    EXPECT_EQ(HasSpecialZones(), 0);
    const MapLink link = LinkWithId(ids.front());
    EXPECT_EQ(IsLinkInSpecialZone(&link), 0);
}

TEST(SpecialZonesExtractTest, AnExtractFiledUnderAProvinceLiesInTheZone) {
    const fs::path extract = testing_support::SharedOsmFolder() / "monaco.osm.gz";
    if (!fs::exists(extract))
        GTEST_SKIP() << "no " << extract << ": the shared data folder is absent";
    testing_support::TempRoots roots;
    discmaker::Network network = discmaker::ReadOsm(extract, "ON");
    discmaker::BuildDiscs(network, roots.base() / "disc");
    std::ostringstream out, err;
    const mkmaps::Figures figures =
        mkmaps::Generate({roots.base() / "disc", roots.base() / "maps", {}}, out, err);
    platform::SetCurrentSide(platform::Side::Device);
    ASSERT_TRUE(figures.completed) << err.str();
    mapdb_test::SetDataFolder(roots.base() / "maps");
    OpenMapIndexFiles();
    EXPECT_EQ(HasSpecialZones(), 1);
    const std::vector<int32_t> ids = LinkIdsWithLeftPlace();
    ASSERT_FALSE(ids.empty());
    int inZone = 0;
    for (const int32_t id : ids) {
        const MapLink link = LinkWithId(id);
        inZone += IsLinkInSpecialZone(&link);
    }
    EXPECT_EQ(inZone, static_cast<int>(ids.size()));
    CloseMapIndexFiles();
    mapdb_test::SetDataFolder({});
}

}  // namespace

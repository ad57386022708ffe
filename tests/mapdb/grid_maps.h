// Device map files of the built-in town with small cells, generated once per test
// program through the disc builder and the headless generation run, and a map
// database opened on them.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "pathlume/mapdb/link_info_file.h"
#include "pathlume/mapdb/map_database.h"
#include "tests/support/temp_root.h"
#include "tools/discmaker/network.h"

namespace mapdb_test {

// The built-in town the grid maps are made of.
const discmaker::Network& GridMapsTown();

// The folder holding the device files ("mapdata1.biz", "mapdata2.biz",
// "mapdatat.biz", ...). Built at the first call; removed when the program ends.
const std::filesystem::path& GridMapsFolder();

// Points g_dataFolder at the folder (an empty folder clears it).
void SetDataFolder(const std::filesystem::path& folder);

// What a walk over a rectangle returned, against what it must return: every live
// sc link, side link and shared link of the visited chunks up to the class limit,
// each side record counted once however many chunks hold it.
struct WalkResult {
    std::vector<MapLink*> returned;
    std::set<MapLink*> expected;
    int duplicates = 0;
    int chunks = 0;  // visited
    // Live links hooked into a node of a visited chunk that the walk did not return.
    int unreachedHooked = 0;
    // Returned links with an end that does not hold them.
    int badEnds = 0;
    std::string Describe() const;
};

WalkResult WalkAndCheck(CMapDatabase& db, int layerIndex, int32_t x0, int32_t y0, int32_t x1,
                        int32_t y1, uint32_t classLimit, uint32_t pinMask = 0);

// Expects a walk to return every expected link exactly once.
void ExpectWalkReturnsEachLinkOnce(CMapDatabase& db, int layerIndex, int32_t x0, int32_t y0,
                                   int32_t x1, int32_t y1, uint32_t classLimit = 0x1C0,
                                   uint32_t pinMask = 0);

// Gives layer `layerIndex` a fixed window of w x h cells starting at grid cell
// (firstX, firstY), with nothing loaded, without reading anything.
void SetWindow(MapLayer& layer, int32_t firstX, int32_t firstY, int32_t w, int32_t h);

// Loads every chunk of layer 0.
void LoadOverview(CMapDatabase& db);

// Window cells of the layer whose chunk is not empty, in row order.
std::vector<std::pair<int32_t, int32_t>> CellsWithChunks(CMapDatabase& db, int layerIndex);

// Every record of g_linkInfo, block by block, with its offset, its block (area) and
// its name items; the callback may read elsewhere in the file.
void ForEachLinkInfoRecord(
    const std::function<void(int32_t offset, uint32_t area, const LinkInfoRecord& record,
                             const NameItem* items)>& f);

// The offset of a name in "names.bin" (g_namesFile), or 0.
uint32_t NameIdOf(const std::string& text);

// Tests on the grid maps: the data folder points at them, message boxes are
// answered, and the heap blocks at the start are the leak baseline.
class GridMapsTest : public testing_support::RootsTest {
  protected:
    static void SetUpTestSuite() { GridMapsFolder(); }
    void SetUp() override;
    void TearDown() override;
    // The heap holds no more blocks than at SetUp (the inflate arena with its first
    // block again).
    void ExpectNothingLeaked();

    long baseline_ = 0;
};

}  // namespace mapdb_test

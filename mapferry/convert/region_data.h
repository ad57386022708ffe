// The region data of one cut layer ("rgndata1.in", "rgndata2.in", "rgndatap.in"
// in the program folder): per region or sub-area, the grid cells it covers as
// row spans, and the list entries of the name, link and area files it belongs to.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/source_disc.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/kernel.h"

struct RegionSpanItem {
    int32_t row;
    int32_t firstColumn;
    int32_t lastColumn;  // inclusive
};

struct RegionDataRecord {
    uint32_t entryKey = 0;  // region x 65536 + sub-area number
    std::array<int32_t, formats::source_disc::kRecordBoundsCount> bounds{};
    std::vector<uint32_t> listEntries;
    uint32_t spanCount = 0;             // as stored
    std::vector<RegionSpanItem> spans;  // empty when the record takes no part in the cut

    // Whether the record takes part in the cut at all (a span count of 20,000 or
    // more marks a record the cut ignores).
    bool Usable() const { return spanCount < formats::source_disc::kMaxSpanItems; }
};

class CRegionData {
  public:
    // Largest region data file read.
    static constexpr size_t kMaxFileSize = 64u * 1024 * 1024;

    // Reads the layer's file from the folder. 0 when every record was read; 1 when
    // the file cannot be opened or is damaged (a count, a span or a list beyond
    // what the file holds or allows, a span outside the layer's grid of `columns`
    // x `rows` cells when that is known), keeping the records read before the fault.
    int Load(int layer, LPCWSTR folder, int32_t columns = formats::source_disc::kGridLimit,
             int32_t rows = formats::source_disc::kGridLimit);
    void Clear();

    bool IsLoaded() const { return m_loaded; }
    const std::vector<RegionDataRecord>& Records() const { return m_records; }
    // The first record with this entry key, or null.
    const RegionDataRecord* FindRecord(uint32_t entryKey) const;

    // The region page's start-up tables, from the program's three region tables:
    // per region (0-63) and layer the cells of its usable records as row runs (also
    // per sub-area), and the region records' picture data (ProgramRegions()): on
    // the picture area the detailed grid of "mh.ini", each region's outlines its
    // layer-1 runs as rectangles, each sub-area's from its own records, labels at
    // their centres.
    static void BuildBinTables();
    static void BuildBinTables(RECT pictureArea);
    // Empty before BuildBinTables or for a region off the disc.
    static const std::vector<RegionSpanItem>& BinTable(int region, int layer);
    static const std::vector<RegionSpanItem>& SubAreaBinTable(int region, int subArea, int layer);

    // The city page's table: per state row (0-62) five words: its choice word, then
    // the first column, last column, first row and last row of its layer-1 records
    // (-1 each when it has no cell on the disc).
    static constexpr int kCityRegionWords = 5;
    using CityRegionRow = std::array<int32_t, kCityRegionWords>;
    static void BuildCityRegionTable();
    // A row outside 0-62 has its choice word (CityRegionChoiceWord) and no cells.
    static CityRegionRow CityRegion(int row);

  private:
    std::vector<RegionDataRecord> m_records;
    bool m_loaded = false;
};

// The program's three tables, loaded at start-up and read-only afterwards.
CRegionData& RegionData(int layer);

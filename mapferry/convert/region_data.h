// The region data of one cut layer ("rgndata1.in", "rgndata2.in", "rgndatap.in"
// in the program folder): per region or sub-area, the grid cells it covers as
// row spans, and the list entries of the name, link and area files it belongs to.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/source_disc.h"
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

  private:
    std::vector<RegionDataRecord> m_records;
    bool m_loaded = false;
};

// The program's three tables, loaded at start-up and read-only afterwards.
CRegionData& RegionData(int layer);

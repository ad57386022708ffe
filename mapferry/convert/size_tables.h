// The size tables in the program folder: the packed size of every grid cell of
// the three cut layers ("mapdata1.sz", "mapdata2.sz", "polygons.sz") and the
// per-entry sizes of the other device files ("sizeinfo.sz"), from which the pages
// estimate how large a choice will be on the target.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "formats/source_disc.h"
#include "mapferry/convert/map_cut.h"
#include "platform/kernel/kernel.h"

struct CellSizeTable {
    uint32_t firstColumn = 0;
    uint32_t firstRow = 0;
    uint32_t columns = 0;
    uint32_t rows = 0;
    uint32_t fixedBytes = 0;
    std::vector<uint32_t> cells;  // columns x rows, row-major

    // The packed size of a cell; 0 outside the table.
    uint32_t CellSize(int32_t column, int32_t row) const;
};

class CSizeTables {
  public:
    // Results of Load.
    enum : int {
        kLoaded = 0,
        kPolygonsMissing = 1,
        kPolygonsShort = 2,
        kOverviewMissing = 3,
        kOverviewShort = 4,
        kDetailedMissing = 5,
        kDetailedShort = 6,
        kSizeInfoMissing = 7,
        kSizeInfoShort = 8,  // also a record size other than 52
    };
    static constexpr size_t kMaxFileSize = 256u * 1024 * 1024;

    // Reads the four files from the folder, in the order of the results above.
    int Load(LPCWSTR folder);

    const CellSizeTable& Layer(int layer) const { return m_layers[layer]; }
    // The sizeinfo record of an entry key, or null.
    const std::array<uint32_t, formats::source_disc::kSizeInfoWords>* FindSizeInfo(
        uint32_t entryKey) const;

    // Estimated bytes of the device files for the cut. Region mode: regionList holds
    // the choice words. City mode (cityFlag 1): the state's choice word.
    uint64_t SumSelection(const CMapCut& cut, int cityFlag, const DWORD* regionList,
                          int regionCount) const;

  private:
    std::array<CellSizeTable, kCutLayers> m_layers;
    std::vector<std::array<uint32_t, formats::source_disc::kSizeInfoWords>> m_sizeInfo;
};

// The program's size tables, loaded at start-up.
CSizeTables& SizeTables();

// The polygon converter: "polygons.raz" of the last data disc becomes
// "polygons.biz", cut to the polygon layer of the area cut. Each kept cell's
// compressed block is copied byte for byte, never inflated (layout in
// formats/polygons.h).
#pragma once

#include <cstdint>
#include <vector>

#include "formats/map_container.h"
#include "mapferry/convert/map_cut.h"
#include "platform/afx/afx_file.h"
#include "platform/kernel/kernel.h"

// Copies cell `index` of a source cell table of entryCount offsets to the
// destination's current position: the bytes from the cell's offset up to the next
// non-zero offset of the table, or to the source's end for the last cell. 0 copied;
// 1 an empty cell, a cell whose bytes do not lie in the source, or a failed seek,
// allocation or read. A failed write raises the destination's exception, as every
// converter write does, so that a full disk ends in its own report.
int CopyCellData(const uint32_t* table, uint32_t index, uint32_t entryCount, CFile& source,
                 CFile& destination);

class CPolygonsConverter {
  public:
    explicit CPolygonsConverter(const CMapCut& cut);

    // Opens "polygons.raz" and reads its head and whole cell table. 0 read; 1 the
    // file cannot be opened. A wrong magic or a short or implausible head or table
    // ends the run with its report.
    int ReadSource(LPCWSTR sourceFolder);

    // Writes "polygons.biz": the source head moved to the cut's polygon window, the
    // cell table, and the blocks of the marked cells in row-major order. 0 written;
    // 1 cancelled. A source that cannot be opened or a cell that cannot be copied
    // ends the run with the internal-error report (a failed write to the temporary
    // folder with the low-disk-space report), so no partial file is ever taken for
    // a finished one.
    int Write(LPCWSTR sourceFolder, LPCWSTR temporaryFolder);

  private:
    const CMapCut& m_cut;
    bool m_read = false;
    formats::map_container::GridHeader m_header;
    std::vector<uint32_t> m_cells;  // the source cell table
    uint64_t m_sourceSize = 0;
};

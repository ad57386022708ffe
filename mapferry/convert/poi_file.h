// The point-of-interest converter: "poi.raw" ("NPL6") of the last data disc becomes
// "poi.bin" ("NPL7") for the cells that the detailed layer of the area cut covers,
// keeping the points whose road is kept and whose place lies in a chosen area
// (layout in formats/poi.h).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "formats/map_container.h"
#include "formats/poi.h"
#include "mapferry/convert/area_files.h"
#include "mapferry/convert/map_cut.h"
#include "mapferry/convert/renumbering.h"
#include "platform/kernel/kernel.h"

// What the converters before this one hand on.
struct PoiRenumbering {
    const LinkInfoOffsetTable* linkInfo = nullptr;  // address record -> "linkinfo.bin"
    const PlaceOffsetTable* places = nullptr;       // place record -> "az.bin"
    const AreaFirstPlaceTable* areas = nullptr;     // the areas of "az.bin"
};

class CPoiConverter {
  public:
    // detailedGrid: the head of the detailed map source ("mapdata2N.raz"), whose
    // cells the cut's detailed layer counts.
    CPoiConverter(const CMapCut& cut, const formats::map_container::GridHeader& detailedGrid);

    // Opens "poi.raw" and reads it. 0 read; 1 the file cannot be opened. A wrong
    // magic ends the run after "Corrupted file: NPL6"; counts, offsets or lengths
    // that do not fit the file end it with the internal-error report.
    int OpenSource(LPCWSTR sourceFolder);

    // Writes "poi.bin". 0 written; 1 the source cannot be opened or the cancel flag
    // is set (nothing is written then).
    int Convert(LPCWSTR sourceFolder, LPCWSTR temporaryFolder, const PoiRenumbering& tables);

  private:
    const CMapCut& m_cut;
    formats::map_container::GridHeader m_detailedGrid;
    bool m_open = false;
    std::vector<uint8_t> m_source;
    formats::poi::Head m_head;
};

// "poi.bin" as the device reads it: the checked head, the cells of its grid under an
// area, the records of one category of a cell filtered by sub-category, and the names
// and packed telephone numbers the records point at. The map's point-of-interest
// layer and the search both read through here.
#pragma once

#include <cstdint>
#include <string>

#include "formats/poi.h"
#include "pathlume/foundation/data_file.h"

// The file, opened by the settings loader and kept open; the layer and the search
// position it themselves before each read.
extern CDataFile g_poiFile;
// Opens "poi.bin" of the map data folder: 0, or 1 when it cannot be opened.
int OpenPoiFile();
void ClosePoiFile();

// One record as the map layer keeps it, with its optional places.
using PoiLayerEntry = formats::poi::Record;

// The head of an open file with what it locates, checked against the file's size.
struct PoiFileHead {
    formats::poi::Head head;
    uint64_t cellTableOffset = 0;
    uint32_t fileSize = 0;

    int32_t Columns() const { return head.grid.columns; }
    int32_t Rows() const { return head.grid.rows; }
};

// Reads the 120-byte head from the start of the file: 0, or 1 (the head zeroed)
// when the file is not open, the head is short or not "NPL7", or its grid cannot be
// used: an origin or cell size that is not a finite positive number, a column or
// row count below 1, or a cell table that does not fit in the file.
int ReadPoiHead(CDataFile& file, PoiFileHead* head);

// Columns and rows of the grid, clamped to it; empty when the area misses it.
struct PoiCellWindow {
    int32_t firstColumn = 0;
    int32_t lastColumn = -1;
    int32_t firstRow = 0;
    int32_t lastRow = -1;

    bool Empty() const { return lastColumn < firstColumn || lastRow < firstRow; }
    int64_t CellCount() const {
        return Empty() ? 0 : int64_t{lastColumn - firstColumn + 1} * (lastRow - firstRow + 1);
    }
};

// The cells under the area (degrees; rows run south to north from the origin).
PoiCellWindow PoiCellsUnder(const PoiFileHead& head, float west, float south, float east,
                            float north);

// The directory of the cell: 0, or 1 when the cell is empty or cannot be read.
// Record counts are cut to what fits between their offset and the end of the file.
int ReadPoiCell(CDataFile& file, const PoiFileHead& head, int32_t column, int32_t row,
                formats::poi::CellHeader* cell);

class CPoiSearch {
  public:
    // Sub-category selectors: every sub-category (bit masks), and for category 6,
    // which compares the plain number, every sub-category.
    static constexpr uint32_t kAllSubCategories = 0xFFFFFF00u;
    static constexpr uint32_t kAllRestaurants = 255;
    static constexpr int kNoZoomRule = -1;

    // Reads up to `count` records of `category` from the file's current position and
    // keeps those the selector accepts as consecutive entries: a mask of bits
    // (sub-category + 8), or for category 6 the sub-category number. A zoom index of
    // 4 or 5 also thins out the minor parks and attractions, as the map shows them;
    // kNoZoomRule keeps them. The number of entries stored; a short read ends the scan.
    static int ScanRecords(CDataFile& file, PoiLayerEntry* entries, uint32_t category,
                           uint32_t selector, int count, int zoomIndex);
};

// The characters of a 5-byte packed telephone number into text (11 bytes: at most
// 10 characters and a terminator); returns text.
char* DecodePackedPhone(const uint8_t* packed, char* text);

// The record's name: false when it has none or it cannot be read.
bool ReadPoiName(CDataFile& file, const PoiFileHead& head, const PoiLayerEntry& entry,
                 std::string* name);
// The record's telephone number as characters: false when it has none or it cannot
// be read.
bool ReadPoiPhone(CDataFile& file, const PoiFileHead& head, const PoiLayerEntry& entry,
                  std::string* phone);

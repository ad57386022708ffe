// "poi.bin" as the device reads it: the checked head, the cells of its grid under an
// area, the records of one category of a cell filtered by sub-category, and the names
// and packed telephone numbers the records point at. The map's point-of-interest
// layer and the search both read through here.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

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

// Reads `count` bytes at `offset`: false when the offset lies outside the file or
// fewer bytes are there.
bool ReadPoiBytes(CDataFile& file, uint64_t offset, void* buffer, int count);

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
// The directory of cell `number` (row x columns + column) as stored, counts uncut:
// 0, or 1 when the cell is outside the grid, empty or cannot be read.
int ReadPoiCellDirectory(CDataFile& file, const PoiFileHead& head, uint64_t number,
                         formats::poi::CellHeader* cell);

struct PoiResult;
// The other places of one name: pointers into the search's results.
using CPoiResultArray = std::vector<PoiResult*>;

// One result of a search: the record with its optional places, its name (in the
// search's name buffer, null without one), its address text ("STREET, CITY", null
// until FillAddressTexts), its squared distance from the centre (square degrees of
// latitude; -1 until ComputeDistances) and the group of its name's other places.
struct PoiResult {
    PoiLayerEntry record;
    const char* name = nullptr;
    char* address = nullptr;
    float distance = -1.0f;
    CPoiResultArray* group = nullptr;
};

class CPoiSearch {
  public:
    // Sub-category selectors: every sub-category (bit masks), and for category 6,
    // which compares the plain number, every sub-category.
    static constexpr uint32_t kAllSubCategories = 0xFFFFFF00u;
    static constexpr uint32_t kAllRestaurants = 255;
    static constexpr int kNoZoomRule = -1;
    static constexpr uint32_t kRestaurants = 6;
    static constexpr uint32_t kCityCentres = 8;

    // Where the search looks.
    static constexpr uint32_t kAroundCentre = 0;
    static constexpr uint32_t kInRegion = 1;

    // Search's result codes.
    static constexpr int kFound = 0;
    static constexpr int kBadCategory = 1;
    static constexpr int kNoFile = 2;
    static constexpr int kWrongFormat = 3;
    static constexpr int kNothingInWindow = 6;
    static constexpr int kNoMemory = 7;
    static constexpr int kNoneAccepted = 8;

    // The radius around the centre, degrees of latitude: 40 km, or 25 miles.
    static constexpr float kRadiusMetric = 0.35973015f;
    static constexpr float kRadiusImperial = 0.36183098f;
    // The radius of the current units (g_options).
    static float Radius();

    // categoryValue: the category in its low byte, the sub-category choice above it
    // (255: all). The centre is the vehicle's matched position now.
    CPoiSearch(int32_t categoryValue, uint32_t mode, uint32_t cityNumber, uint8_t regionIndex);
    ~CPoiSearch();
    CPoiSearch(const CPoiSearch&) = delete;
    CPoiSearch& operator=(const CPoiSearch&) = delete;

    // Fills the result table from g_poiFile (or `file`), the results left in name
    // offset order; a result code (kFound on success). Searched once.
    int Search();
    int Search(CDataFile& file);

    void ComputeDistances();
    void SortByDistance();
    // Sorts the first min(count, limit) results by name; limit 0 sorts all.
    void SortByName(int limit);
    // The address texts of `count` consecutive results from `first`, or of the first
    // `count` members of `group`. Nothing when count is 0 or beyond the results, or
    // when "names.bin" is not open.
    void FillAddressTexts(PoiResult* first, int count);
    void FillAddressTexts(CPoiResultArray& group, int count);
    // The group of the result at `index` (in the results' current order): its places
    // of the same name, each place once; none when fewer than two qualify.
    void GroupDuplicates(int index);
    // Gives a result without a name a copy of `text`, kept by the search.
    const char* KeepName(int index, const char* text);

    // Reads up to `count` records of `category` from the file's current position and
    // keeps those the selector accepts as consecutive entries: a mask of bits
    // (sub-category + 8), or for category 6 the sub-category number. A zoom index of
    // 4 or 5 also thins out the minor parks and attractions, as the map shows them;
    // kNoZoomRule keeps them. A record whose position is not a finite latitude and
    // longitude is skipped. The number of entries stored; a short read ends the scan.
    static int ScanRecords(CDataFile& file, PoiLayerEntry* entries, uint32_t category,
                           uint32_t selector, int count, int zoomIndex);
    // The same into results, without the zoom rule.
    int ScanResultRecords(CDataFile& file, PoiResult* results, int count) const;

    // Whether one of the result's three places is the city filter's, or (without a
    // filter) lies in the region's places in region mode; every result in mode 0.
    // A region whose places are unknown (no "az.bin") holds every result.
    bool InCity(const PoiResult& result) const;

    int ResultCount() const { return resultCount_; }
    PoiResult* Results() { return results_; }
    PoiResult& Result(int index) { return results_[index]; }
    uint32_t Category() const { return category_; }
    uint32_t Selector() const { return selector_; }
    uint32_t Mode() const { return mode_; }
    uint32_t CityNumber() const { return cityNumber_; }
    uint8_t RegionIndex() const { return regionIndex_; }
    float CentreLongitude() const { return centreLongitude_; }
    float CentreLatitude() const { return centreLatitude_; }
    // Tests and the benchmark search around a point of their own.
    void SetCentre(float longitude, float latitude) {
        centreLongitude_ = longitude;
        centreLatitude_ = latitude;
    }
    const PoiFileHead& Head() const { return head_; }

  private:
    // The cell numbers the search reads, in run order: the rows of the square around
    // the centre, or the region's runs. Empty when nothing can be read.
    std::vector<uint32_t> BuildCellWindow(CDataFile& file) const;
    void ReadNames(CDataFile& file);
    void FreeResults();

    uint8_t regionIndex_;
    uint32_t selector_;
    uint32_t category_;
    uint32_t mode_;
    uint32_t cityNumber_;
    int resultCount_ = 0;
    PoiResult* results_ = nullptr;
    char* names_ = nullptr;
    std::vector<std::string*> keptNames_;
    std::vector<CPoiResultArray*> groups_;
    float centreLongitude_ = 0;
    float centreLatitude_ = 0;
    // The region's places [first, end) of "az.bin"; end 0 when unknown.
    uint32_t regionFirstPlace_ = 0;
    uint32_t regionEndPlace_ = 0;
    PoiFileHead head_;
};

// Pointer-array sorts of a group: by distance, nearest first, or by the city part of
// the address (from its first comma on).
void SortResultPtrsByDistance(CPoiResultArray& group);
void SortResultPtrsByCity(CPoiResultArray& group);

// Acts on a point picked on the map: 0 nothing, 1 makes it the route origin, 2
// routes to it, 3 adds it to the favourites under `name`.
void FormatPoiEntry(const PoiLayerEntry& entry, int action, const char* name);

// The characters of a 5-byte packed telephone number into text (11 bytes: at most
// 10 characters and a terminator); returns text.
char* DecodePackedPhone(const uint8_t* packed, char* text);

// The telephone line of a number: "Tel: (555)123-4567" for ten digits; any other
// number as it is after "Tel: ".
std::string FormatPoiPhone(const std::string& number);

// The record's name: false when it has none or it cannot be read.
bool ReadPoiName(CDataFile& file, const PoiFileHead& head, const PoiLayerEntry& entry,
                 std::string* name);
// The record's telephone number as characters: false when it has none or it cannot
// be read.
bool ReadPoiPhone(CDataFile& file, const PoiFileHead& head, const PoiLayerEntry& entry,
                  std::string* phone);

// The street names the street screen lists: every street of a region ("Street
// First"), the streets of one city ("City First"), or the streets that meet a first
// street (the second street of an intersection); and the street record the screen
// hands on for the chosen row. No window here.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "formats/name_index.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/search/city_list.h"

class CMapDatabase;

// A street: its name's offset in "names.bin" and its lowest and highest house number.
struct StreetRecord {
    uint32_t nameOffset = 0;
    int32_t lowest = 0;
    int32_t highest = 0;
};
static_assert(sizeof(StreetRecord) == 12, "a street record is three 4-byte values");

// The range of a street without numbers, and the start of a range search that found
// none.
inline constexpr int32_t kNoRangeLowest = 0x7FFFFFFF;
inline constexpr int32_t kUnsearchedLowest = 9999999;
inline constexpr int32_t kUnsearchedHighest = -9999999;
// The range given without a search when a name's letter pair is too large to read.
inline constexpr uint32_t kLargeBucketRecords = 250000;
inline constexpr int32_t kLargeBucketHighest = 500000;
// The row reference of a message row, which names no street.
inline constexpr uint32_t kNoNameReference = 0xFFFFFFFF;
// The intersection search's limit.
inline constexpr size_t kMaxCrossStreetRows = 1000;

// Whether the house-number screen is shown for the street.
inline bool HasHouseNumberRange(const StreetRecord& street) {
    return street.lowest != kNoRangeLowest && street.lowest != kUnsearchedLowest;
}

// A row is the name, a zero byte and the name's offset (4 bytes, little-endian).
uint32_t GetRowNameOffset(const char* row);

class StreetList {
  public:
    enum class Outcome { kListed, kOutOfMemory };
    // The message row, 0 when the list holds streets.
    static constexpr unsigned kNoStreetsFound = 6156;
    static constexpr unsigned kNoIntersectionFound = 6157;

    StreetList() = default;
    StreetList(const StreetList&) = delete;
    StreetList& operator=(const StreetList&) = delete;

    // Every street of the region in the order of its table in "stnl.bin", read in
    // 64 KB windows of "names.bin" into one committed area. A name that would pass
    // the table's text size stops the list. kOutOfMemory when the area could not be
    // committed (the list is then empty and without a message row).
    Outcome LoadRegion(uint8_t region);
    // The streets of the city's list in "azbc.bin", in its order.
    void LoadCity(uint8_t region, const CitySelection& city);
    // The streets that meet the first street (in the city, when given; -1 any),
    // each once and never the first street itself, sorted as names compare.
    void LoadCrossStreets(CMapDatabase& database, uint8_t region, uint32_t firstName,
                          int32_t cityId);

    const std::vector<const char*>& Rows() const { return rows_; }
    // The message row's string id shown in place of streets, or 0.
    unsigned MessageId() const { return messageId_; }
    // True when the row is the message row.
    bool IsMessageRow(const char* row) const {
        return row && GetRowNameOffset(row) == kNoNameReference;
    }
    // The region's street table ("Street First").
    std::span<const formats::name_index::StreetItem> Table() const { return table_; }

    // The street of a row of the region's list: its table record (0), or 1 with the
    // name offset kNoNameReference when it is not in the table.
    int GetSelectedName(const char* row, StreetRecord& out) const;

  private:
    // Adds the message row.
    void AddMessage(unsigned id, const char* text);
    // Copies the rows' texts into owned storage.
    void AddOwned(const std::string& name, uint32_t nameOffset);

    CPageHeap area_;
    std::span<formats::name_index::StreetItem> table_;
    std::vector<const char*> rows_;
    std::vector<std::unique_ptr<char[]>> owned_;
    unsigned messageId_ = 0;
};

// The street record of the chosen row for a city's list, or for the second street
// (no city): with nameOnly {name, 9999999, -9999999}; otherwise the range of the name's
// records in the city, from the letter pair of "linkinfo.bin" and the name's list in
// "lfoidx.bin" (1 to 500,000 without a search when the letter pair holds 250,000
// records or more). 0, or 1 when the row names no street (the record then reads
// {0, 0x7FFFFFFF, 0x7FFFFFFF}).
int GetSelectedStreet(const char* row, const CitySelection* city, uint8_t region, bool nameOnly,
                      StreetRecord& out);

// How many link records of the region are filed under the street as their first name
// (the run of its letter pair): the intersection screen asks for a city first above
// 250.
uint32_t CountStreetRecords(uint8_t region, uint32_t nameOffset);

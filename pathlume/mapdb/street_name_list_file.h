// "stnl.bin": the street names of each area with their house-number ranges.
#pragma once

#include <cstdint>
#include <vector>

#include "formats/name_index.h"
#include "pathlume/foundation/data_file.h"

class StreetNameListFile {
  public:
    // Opens "stnl.bin" of the map data folder and reads its entry table: this
    // reader, or null (closed) when the magic, the count or the table cannot be
    // read or the count does not fit the file.
    StreetNameListFile* Open();
    void Close();
    uint32_t Count() const { return static_cast<uint32_t>(entries_.size()); }
    // Entry i, or null outside 0..count-1.
    const formats::name_index::StreetEntry* GetEntry(uint32_t i) const;
    // Whether entry i's items lie inside the file.
    bool ItemsFit(uint32_t i) const;
    // Seeks to entry i's items: 0, or 1 when i is out of range or the seek fails.
    int SeekEntry(uint32_t i);
    // Reads n items from the current position: 0 when all were read, else 1.
    int Read(formats::name_index::StreetItem* items, uint32_t n);

  private:
    CDataFile file_;
    std::vector<formats::name_index::StreetEntry> entries_;
};

// "lfoidx.bin": per area, the link records of each street name with the house
// numbers they cover.
#pragma once

#include <cstdint>

#include "formats/link_info.h"
#include "pathlume/foundation/data_file.h"

class LfoIndexFile {
  public:
    // Opens the file at the list of `nameId` in `area`, for the records that carry
    // `houseNumber` (below 0: every record): 0, or 1 (closed) when the name has no
    // list there.
    int Open(uint32_t area, uint32_t nameId, int32_t houseNumber);
    // The next matching "linkinfo.bin" offset, 0 at the end or on a failed read.
    uint32_t NextRecord();
    void Close();

    // For walking an area's names: opens the file and reads the area's entry (its
    // name table checked against the file). 0, or 1 (closed).
    int OpenArea(uint32_t area);
    const formats::link_info::LfoEntry& AreaEntry() const { return entry_; }
    // Name pair i of the opened area's table: 0, or 1 when i is outside the table
    // or the read fails.
    int ReadNamePair(uint32_t i, formats::link_info::LfoName& pair);
    // Starts NextRecord on the list at `offset`: 0, or 1 when its length cannot be
    // read, is 0 or does not fit the file.
    int OpenList(uint32_t offset, int32_t houseNumber);

  private:
    CDataFile file_;
    formats::link_info::LfoEntry entry_;
    int32_t houseNumber_ = -1;
    uint32_t listLength_ = 0;
    uint32_t recordsRead_ = 0;
    formats::link_info::LfoItem item_;
};

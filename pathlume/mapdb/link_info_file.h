// "linkinfo.bin": the address record of every road link (a link's id is its
// record's offset), grouped in one block per area, each block led by a table of
// the records by the first two letters of their street name.
#pragma once

#include <cstdint>

#include "formats/link_info.h"
#include "pathlume/foundation/data_file.h"

// A street name of a link: its "names.bin" offset (the name id), the item flags
// (formats::link_info::kItem...) and the direction byte.
using NameItem = formats::link_info::NameItem;

// One record with its fields expanded (-1 = absent). `flags` keeps only the
// number of name items; the name items follow the record in the file.
struct LinkInfoRecord : formats::link_info::RecordFields {
    uint16_t flags = 0;
    NameItem firstItem;  // read only when asked for

    int ItemCount() const { return flags & formats::link_info::kItemCountMask; }
    // True when one of the six place references is `place`.
    bool HasPlace(int32_t place) const {
        return leftPlace == place || rightPlace == place || leftAlternative == place ||
               rightAlternative == place || leftExtra == place || rightExtra == place;
    }
};

class LinkInfoFile {
  public:
    LinkInfoFile() = default;
    LinkInfoFile(const LinkInfoFile&) = delete;
    LinkInfoFile& operator=(const LinkInfoFile&) = delete;

    // Opens "linkinfo.bin" of the map data folder (mapped) and reads its area
    // table: this reader, or null (closed) on a bad magic or a short or oversized
    // count or table.
    LinkInfoFile* Open();
    void Close();
    bool IsOpen() const { return file_.IsOpen(); }

    // Selects the area whose letter-pair table FindLetterPair reads: 0, or 1 when
    // the area is outside the table (the current area stays).
    int Seek(uint32_t area);
    uint32_t CurrentArea() const { return currentArea_; }
    uint32_t AreaCount() const { return static_cast<uint32_t>(areas_.size()); }
    // The area's block: its offset and record count.
    formats::link_info::Entry Area(uint32_t area) const { return areas_.at(area); }

    // The offset of the first record of the current area whose street name starts
    // with c1 c2 (accented capitals taken as their base letters), with the number
    // of such records; -1 when there is none or c2 is outside the name alphabet.
    int32_t FindLetterPair(char c1, char c2, uint32_t* count);
    // Reads the record at `offset` (-1: the current position); with `withItem` and
    // at least one name item, the first item too (the position is then after it).
    // 0, or 1 when the seek or a read fails.
    int ReadRecord(int32_t offset, LinkInfoRecord& record, bool withItem);
    // Reads up to n 7-byte items from the current position: the number of whole
    // items read.
    int ReadNameItems(NameItem* items, int n);

    // The file itself, for the power-resume reopen.
    CDataFile& File() { return file_; }

  private:
    CDataFile file_;
    uint32_t currentArea_ = 0;
    std::vector<formats::link_info::Entry> areas_;
};

// The program's reader, opened at start-up.
extern LinkInfoFile g_linkInfo;

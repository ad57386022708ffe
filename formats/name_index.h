// The per-area name lists and the name pairs:
//
//   "nameidx.bin" (data disc 1, magic "NI00"): the names each list entry uses
//       offset 0   char[4] "NI00"
//       offset 4   u32 name count (of "names.raw")
//       offset 8   u32 list-entry count N
//       offset 12  N x 8 bytes: u32 absolute offset of the entry's name numbers,
//                  u32 number of them
//       then       the name numbers, u32 each
//   "stnl.raw" (data disc 1) and "stnl.bin" (device), magic "SN01": the street
//   names of each list entry with their house-number ranges
//       offset 0   char[4] "SN01"
//       offset 4   u32 entry count N
//       offset 8   N x 12 bytes: u32 absolute offset of the entry's items, u32 item
//                  count, u32 bytes of the entry's names in "names.bin" (sum of
//                  length + 1)
//       then       12-byte items: u32 name (source: name number; device: offset in
//                  "names.bin", -2 beyond the written names), i32 lowest house
//                  number, i32 highest house number
//   "lsr.raw" (data disc 1, magic "LN00"): u32 record count, then 8-byte records
//       {i32 name text, i32 exit text}, text numbers in "lsrs.raw", -1 none
//   "lsrs.raw" (data disc 1, magic "LS00"): u32 text count, then texts, each u8
//       length L and L bytes; a text's number is its position, counted from 0
//   "lsr.bin" (device, "LN00"): no count; 8-byte records {i32 name text, i32 exit
//       text}, absolute offsets in "lsrs.bin", -1 none; a record is addressed by its
//       absolute offset 4 + 8 x record number
//   "lsrs.bin" (device, "LS00"): no count; texts as in "lsrs.raw", addressed by the
//       absolute offset of their length byte
//
// A list entry is an area of the name, link and area files (see
// docs/formats/source-disc.md). Little-endian. docs/formats/names.md tells how the
// data disc builder fills these files.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/little_endian.h"
#include "formats/names.h"

namespace formats::name_index {

using formats::LoadI32;
using formats::LoadU32;
using formats::StoreI32;
using formats::StoreU32;

inline constexpr size_t kMagicSize = names::kMagicSize;

// ---- "nameidx.bin" ---------------------------------------------------------------

inline constexpr char kNameIndexMagic[kMagicSize] = {'N', 'I', '0', '0'};
inline constexpr size_t kNameIndexNameCountOffset = 4;
inline constexpr size_t kNameIndexEntryCountOffset = 8;
inline constexpr size_t kNameIndexEntriesOffset = 12;
inline constexpr size_t kNameIndexEntryOffsetOffset = 0;  // u32 offset of the name numbers
inline constexpr size_t kNameIndexEntryCountField = 4;    // u32 number of them
inline constexpr size_t kNameIndexEntrySize = 8;
inline constexpr size_t kNameNumberSize = 4;

struct NameIndexEntry {
    uint32_t offset = 0;
    uint32_t count = 0;
};

inline void EncodeNameIndexEntry(const NameIndexEntry& entry, uint8_t* bytes) {
    StoreU32(bytes + kNameIndexEntryOffsetOffset, entry.offset);
    StoreU32(bytes + kNameIndexEntryCountField, entry.count);
}
inline NameIndexEntry DecodeNameIndexEntry(const uint8_t* bytes) {
    return {LoadU32(bytes + kNameIndexEntryOffsetOffset),
            LoadU32(bytes + kNameIndexEntryCountField)};
}

// ---- "stnl.raw" / "stnl.bin" -----------------------------------------------------

inline constexpr char kStreetListMagic[kMagicSize] = {'S', 'N', '0', '1'};
inline constexpr size_t kStreetListCountOffset = 4;
inline constexpr size_t kStreetListEntriesOffset = 8;
inline constexpr size_t kStreetEntryItemsOffset = 0;  // u32 offset of the items
inline constexpr size_t kStreetEntryCountOffset = 4;  // u32 item count
inline constexpr size_t kStreetEntryBytesOffset = 8;  // u32 bytes of the names
inline constexpr size_t kStreetEntrySize = 12;

inline constexpr size_t kStreetItemNameOffset = 0;  // u32 name number / names.bin offset
inline constexpr size_t kStreetItemLowOffset = 4;   // i32 lowest house number
inline constexpr size_t kStreetItemHighOffset = 8;  // i32 highest house number
inline constexpr size_t kStreetItemSize = 12;

// A street without house numbers: the navigation program skips the house-number
// screen when the lowest number is one of these.
inline constexpr int32_t kNoHouseNumber = 0x7FFFFFFF;
inline constexpr int32_t kNoHouseNumberAlt = 9999999;

struct StreetEntry {
    uint32_t itemsOffset = 0;
    uint32_t count = 0;
    uint32_t nameBytes = 0;
};

struct StreetItem {
    uint32_t name = 0;
    int32_t lowest = kNoHouseNumber;
    int32_t highest = kNoHouseNumber;
};

inline void EncodeStreetEntry(const StreetEntry& entry, uint8_t* bytes) {
    StoreU32(bytes + kStreetEntryItemsOffset, entry.itemsOffset);
    StoreU32(bytes + kStreetEntryCountOffset, entry.count);
    StoreU32(bytes + kStreetEntryBytesOffset, entry.nameBytes);
}
inline StreetEntry DecodeStreetEntry(const uint8_t* bytes) {
    return {LoadU32(bytes + kStreetEntryItemsOffset), LoadU32(bytes + kStreetEntryCountOffset),
            LoadU32(bytes + kStreetEntryBytesOffset)};
}
inline void EncodeStreetItem(const StreetItem& item, uint8_t* bytes) {
    StoreU32(bytes + kStreetItemNameOffset, item.name);
    StoreI32(bytes + kStreetItemLowOffset, item.lowest);
    StoreI32(bytes + kStreetItemHighOffset, item.highest);
}
inline StreetItem DecodeStreetItem(const uint8_t* bytes) {
    return {LoadU32(bytes + kStreetItemNameOffset), LoadI32(bytes + kStreetItemLowOffset),
            LoadI32(bytes + kStreetItemHighOffset)};
}

// ---- "lsr.raw"/"lsr.bin" and "lsrs.raw"/"lsrs.bin" ----------------------------------

inline constexpr char kPairMagic[kMagicSize] = {'L', 'N', '0', '0'};  // "lsr.*"
inline constexpr char kTextMagic[kMagicSize] = {'L', 'S', '0', '0'};  // "lsrs.*"

// Sources carry a u32 count after the magic; device files do not.
inline constexpr size_t kSourceCountOffset = 4;
inline constexpr size_t kSourcePairsOffset = 8;
inline constexpr size_t kSourceTextsOffset = 8;
inline constexpr size_t kDevicePairsOffset = 4;
inline constexpr size_t kDeviceTextsOffset = 4;

inline constexpr size_t kPairNameTextOffset = 0;  // i32 name text
inline constexpr size_t kPairExitTextOffset = 4;  // i32 exit text
inline constexpr size_t kPairSize = 8;
inline constexpr int32_t kNoText = -1;

// The navigation program shows an exit text only when it is shorter than 9 bytes
// and a name text of at most 60 bytes.
inline constexpr size_t kMaxExitTextLength = 8;
inline constexpr size_t kMaxNameTextLength = 60;

struct NamePair {
    int32_t nameText = kNoText;
    int32_t exitText = kNoText;
};

inline void EncodeNamePair(const NamePair& pair, uint8_t* bytes) {
    StoreI32(bytes + kPairNameTextOffset, pair.nameText);
    StoreI32(bytes + kPairExitTextOffset, pair.exitText);
}
inline NamePair DecodeNamePair(const uint8_t* bytes) {
    return {LoadI32(bytes + kPairNameTextOffset), LoadI32(bytes + kPairExitTextOffset)};
}

// The absolute offset of record n in "lsr.bin", the record's id on the device.
constexpr uint32_t DevicePairOffset(uint32_t recordNumber) {
    return static_cast<uint32_t>(kDevicePairsOffset + kPairSize * recordNumber);
}

}  // namespace formats::name_index

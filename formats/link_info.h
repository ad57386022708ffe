// The address records of the road links and their index by street name:
// "linkinfo.raz" (magic "LI07") and "lfoidx.raz" (magic "LX01") on data disc 1, and
// "linkinfo.bin" and "lfoidx.bin" on the device, which the link information
// converters make from them. References differ between the two sides (below:
// "disc" and "device").
//
//   "linkinfo.raz"/"linkinfo.bin"
//     offset 0   char[4] "LI07"
//     offset 4   u32 entry count N (one per list entry)
//     offset 8   N x 8 bytes: u32 absolute offset of the entry's block, u32 number
//                of records in it
//     then       the blocks; disc: each a compressed block (formats/
//                compressed_block.h) that inflates to the block's bytes; device:
//                the block's bytes themselves
//   A block: the letter-pair table, 1,629 entries of 8 bytes {u32 record count,
//   u32 offset of the first record, -1 when the count is 0}, entry (first code x
//   44 + second code) of the first street name of the records (formats/names.h);
//   the last entry takes no pair. Then the records, in table order. Offsets are
//   absolute on the device and counted from the block's first byte on the disc.
//
//   A record:
//     u32 cell word: bit 31 the detailed grid ("mapdata2"), clear the overview
//         grid ("mapdata1"); bits 0-30 the cell index (column + columns x row) in
//         that container's grid (disc: the source container's; device: the
//         installed file's)
//     u16 flags: bits 0-6 number of name items, the other bits tell which place
//         fields are stored (kFlag... below)
//     u16 address word: bits 7-11 left range kind, bits 14-15 left parity, bits
//         2-6 right range kind, bits 12-13 right parity, bit 1 a name pair follows
//     then, in this order, each only when stored: left range (i32 from, i32 to),
//     right range, left place, right place, left alternative, right alternative,
//     left extra, right extra (each i32: disc: a place record number of "az.raw";
//     device: the record's offset in "az.bin"; -1 none), name pair (u32: disc: a
//     record number of "lsr.raw"; device: the record's offset in "lsr.bin")
//     then the name items, 7 bytes each: u32 street name (disc: name number of
//     "names.raw"; device: its offset in "names.bin", -2 beyond the written
//     names), u16 item flags, u8 direction byte (formats/names.h)
//   Records are numbered on the disc from 0 over the whole file, block by block in
//   file order; a link of the map containers names its record by that number. On
//   the device a link's id is its record's absolute offset.
//
//   "lfoidx.raz"/"lfoidx.bin"
//     offset 0   char[4] "LX01"
//     offset 4   u32 entry count N
//     offset 8   N x 8 bytes: u32 absolute offset of the entry's name table (-1
//                none), u32 number of names
//     then       per entry its name table, 8-byte items in ascending order of name
//                {u32 street name (disc: name number; device: offset in
//                "names.bin"), u32 absolute offset of the name's link list}; then
//                the lists: u32 count n, n x 12-byte items {i32 lowest house
//                number, i32 highest house number, u32 link record (disc: record
//                number; device: record offset in "linkinfo.bin")}
//   On the disc a list of more than 3 items keeps its count plain and stores its
//   items as one compressed block; shorter lists are plain.
//
// Little-endian. docs/formats/areas-and-link-info.md tells how the data disc
// builder fills these files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "formats/little_endian.h"
#include "formats/names.h"

namespace formats::link_info {

using formats::LoadI32;
using formats::LoadU16;
using formats::LoadU32;
using formats::StoreI32;
using formats::StoreU16;
using formats::StoreU32;

inline constexpr size_t kMagicSize = 4;
inline constexpr int32_t kNone = -1;

// ---- "linkinfo.raz" / "linkinfo.bin" -------------------------------------------

inline constexpr char kLinkInfoMagic[kMagicSize] = {'L', 'I', '0', '7'};
inline constexpr size_t kEntryCountOffset = 4;
inline constexpr size_t kEntriesOffset = 8;
inline constexpr size_t kEntryBlockOffset = 0;    // u32
inline constexpr size_t kEntryRecordsOffset = 4;  // u32
inline constexpr size_t kEntrySize = 8;
static_assert(kEntryRecordsOffset + 4 == kEntrySize, "an index entry is two u32");

struct Entry {
    uint32_t blockOffset = 0;
    uint32_t recordCount = 0;
};

inline void EncodeEntry(const Entry& entry, uint8_t* bytes) {
    StoreU32(bytes + kEntryBlockOffset, entry.blockOffset);
    StoreU32(bytes + kEntryRecordsOffset, entry.recordCount);
}
inline Entry DecodeEntry(const uint8_t* bytes) {
    return {LoadU32(bytes + kEntryBlockOffset), LoadU32(bytes + kEntryRecordsOffset)};
}
constexpr size_t EntryOffset(uint32_t entry) {
    return kEntriesOffset + kEntrySize * entry;
}

// ---- The letter-pair table ------------------------------------------------------

inline constexpr size_t kPairCountOffset = 0;  // u32 records
inline constexpr size_t kPairFirstOffset = 4;  // u32 first record, -1 none
inline constexpr size_t kPairEntrySize = 8;
static_assert(kPairFirstOffset + 4 == kPairEntrySize, "a pair entry is two u32");
// One entry per letter pair and one more that takes no pair.
inline constexpr int kPairEntries = names::kLetterPairs + 1;
inline constexpr int kUnpairedEntry = names::kLetterPairs;
inline constexpr size_t kPairTableSize = kPairEntries * kPairEntrySize;
static_assert(kPairTableSize == 13032, "the letter-pair table is 13,032 bytes");

struct PairEntry {
    uint32_t count = 0;
    uint32_t first = static_cast<uint32_t>(kNone);
};

inline void EncodePairEntry(const PairEntry& entry, uint8_t* bytes) {
    StoreU32(bytes + kPairCountOffset, entry.count);
    StoreU32(bytes + kPairFirstOffset, entry.first);
}
inline PairEntry DecodePairEntry(const uint8_t* bytes) {
    return {LoadU32(bytes + kPairCountOffset), LoadU32(bytes + kPairFirstOffset)};
}
constexpr size_t PairEntryOffset(int pair) {
    return kPairEntrySize * static_cast<size_t>(pair);
}

// ---- Records --------------------------------------------------------------------

inline constexpr size_t kCellWordOffset = 0;     // u32
inline constexpr size_t kFlagsOffset = 4;        // u16
inline constexpr size_t kAddressWordOffset = 6;  // u16
inline constexpr size_t kBaseSize = 8;
static_assert(kAddressWordOffset + 2 == kBaseSize, "the base is u32, u16, u16");
inline constexpr size_t kRangeSize = 8;
inline constexpr size_t kPlaceSize = 4;
inline constexpr size_t kNamePairSize = 4;

// Cell word.
inline constexpr uint32_t kDetailedCell = 0x80000000;
inline constexpr uint32_t kCellIndexMask = 0x7FFFFFFF;

// Flags.
inline constexpr uint16_t kItemCountMask = 0x007F;
inline constexpr uint16_t kFlagRightAltIsRightPlace = 0x0080;
inline constexpr uint16_t kFlagLeftAltIsLeftPlace = 0x0100;
inline constexpr uint16_t kFlagRightExtraIsLeftExtra = 0x0200;
inline constexpr uint16_t kFlagRightPlaceIsLeftPlace = 0x0400;
inline constexpr uint16_t kFlagRightAltIsLeftAlt = 0x0800;
inline constexpr uint16_t kFlagRightExtra = 0x1000;
inline constexpr uint16_t kFlagLeftExtra = 0x2000;
inline constexpr uint16_t kFlagRightAlt = 0x4000;
inline constexpr uint16_t kFlagLeftAlt = 0x8000;
// Readers use at most this many name items of a record; the builder writes no more.
inline constexpr int kMaxNameItems = 7;

// Address word. Readers take a side's numbers for addresses only when its kind is
// kLeftRangeKind (left) or kRightRangeKind (right); the builder writes just these.
inline constexpr uint16_t kLeftKindMask = 0x0F80;
inline constexpr int kLeftKindShift = 7;
inline constexpr uint16_t kRightKindMask = 0x007C;
inline constexpr int kRightKindShift = 2;
inline constexpr uint16_t kHasNamePair = 0x0002;
inline constexpr uint16_t kLeftRangeKind = 2;
inline constexpr uint16_t kRightRangeKind = 1;
inline constexpr int kLeftParityShift = 14;
inline constexpr int kRightParityShift = 12;
inline constexpr uint16_t kParityMask = 0x3;

// Which house numbers a side carries. kParityNone admits no number.
enum Parity : uint16_t { kParityNone = 0, kParityEven = 1, kParityBoth = 2, kParityOdd = 3 };

// Name items.
inline constexpr size_t kItemNameOffset = 0;       // u32
inline constexpr size_t kItemFlagsOffset = 4;      // u16
inline constexpr size_t kItemDirectionOffset = 6;  // u8
inline constexpr size_t kNameItemSize = 7;
static_assert(kItemDirectionOffset + 1 == kNameItemSize, "a name item is u32, u16, u8");

inline constexpr uint16_t kItemTypeMask = 0x01FF;  // street-type code
inline constexpr int kItemRouteClassShift = 9;     // 1 to 3 for a numbered route
inline constexpr uint16_t kItemRouteClassMask = 0x7;
inline constexpr uint16_t kItemNoSpaceBeforeType = 0x1000;
inline constexpr uint16_t kItemHouseNumbers = 0x2000;  // the name carries the ranges
inline constexpr uint16_t kItemPrimary = 0x4000;
inline constexpr uint16_t kItemTypeBeforeName = 0x8000;

struct NameItem {
    uint32_t name = 0;
    uint16_t flags = 0;
    uint8_t direction = 0;
};

inline void EncodeNameItem(const NameItem& item, uint8_t* bytes) {
    StoreU32(bytes + kItemNameOffset, item.name);
    StoreU16(bytes + kItemFlagsOffset, item.flags);
    bytes[kItemDirectionOffset] = item.direction;
}
inline NameItem DecodeNameItem(const uint8_t* bytes) {
    return {LoadU32(bytes + kItemNameOffset), LoadU16(bytes + kItemFlagsOffset),
            bytes[kItemDirectionOffset]};
}

struct HouseRange {
    int32_t from = kNone;
    int32_t to = kNone;
};

// The fields of a record before its name items, expanded.
struct RecordFields {
    uint32_t cellWord = 0;
    uint16_t addressWord = 0;
    HouseRange left;   // stored when the left kind is non-zero
    HouseRange right;  // stored when the right kind is non-zero
    int32_t leftPlace = kNone;
    int32_t rightPlace = kNone;
    int32_t leftAlternative = kNone;
    int32_t rightAlternative = kNone;
    int32_t leftExtra = kNone;
    int32_t rightExtra = kNone;
    uint32_t namePair = static_cast<uint32_t>(kNone);  // stored with kHasNamePair
};

// A record with every field expanded; the flags are derived when it is encoded.
struct Record : RecordFields {
    std::vector<NameItem> items;
};

constexpr uint16_t AddressWord(uint16_t leftKind, Parity leftParity, uint16_t rightKind,
                               Parity rightParity, bool hasNamePair) {
    return static_cast<uint16_t>((leftKind << kLeftKindShift & kLeftKindMask) |
                                 (rightKind << kRightKindShift & kRightKindMask) |
                                 (leftParity & kParityMask) << kLeftParityShift |
                                 (rightParity & kParityMask) << kRightParityShift |
                                 (hasNamePair ? kHasNamePair : 0));
}
constexpr uint16_t LeftKind(uint16_t addressWord) {
    return (addressWord & kLeftKindMask) >> kLeftKindShift;
}
constexpr uint16_t RightKind(uint16_t addressWord) {
    return (addressWord & kRightKindMask) >> kRightKindShift;
}
constexpr Parity LeftParity(uint16_t addressWord) {
    return static_cast<Parity>(addressWord >> kLeftParityShift & kParityMask);
}
constexpr Parity RightParity(uint16_t addressWord) {
    return static_cast<Parity>(addressWord >> kRightParityShift & kParityMask);
}

// The stored flags of a record: which place fields are stored and which repeat
// another one.
inline uint16_t RecordFlags(const Record& record) {
    uint16_t flags = static_cast<uint16_t>(record.items.size() & kItemCountMask);
    if (record.rightPlace == record.leftPlace)
        flags |= kFlagRightPlaceIsLeftPlace;
    if (record.leftAlternative != kNone) {
        flags |= kFlagLeftAlt;
        if (record.leftAlternative == record.leftPlace)
            flags |= kFlagLeftAltIsLeftPlace;
        if (record.rightAlternative == record.leftAlternative)
            flags |= kFlagRightAltIsLeftAlt;
    }
    if (record.rightAlternative != kNone) {
        flags |= kFlagRightAlt;
        if (record.rightAlternative == record.rightPlace)
            flags |= kFlagRightAltIsRightPlace;
    }
    if (record.leftExtra != kNone) {
        flags |= kFlagLeftExtra;
        if (record.rightExtra == record.leftExtra)
            flags |= kFlagRightExtraIsLeftExtra;
    }
    if (record.rightExtra != kNone)
        flags |= kFlagRightExtra;
    return flags;
}

// Appends the record's bytes.
inline void EncodeRecord(const Record& record, std::vector<uint8_t>& out) {
    const uint16_t flags = RecordFlags(record);
    uint8_t field[kBaseSize];
    auto put32 = [&](uint32_t value) {
        StoreU32(field, value);
        out.insert(out.end(), field, field + 4);
    };
    put32(record.cellWord);
    StoreU16(field, flags);
    StoreU16(field + 2, record.addressWord);
    out.insert(out.end(), field, field + 4);
    if (record.addressWord & kLeftKindMask) {
        put32(static_cast<uint32_t>(record.left.from));
        put32(static_cast<uint32_t>(record.left.to));
    }
    if (record.addressWord & kRightKindMask) {
        put32(static_cast<uint32_t>(record.right.from));
        put32(static_cast<uint32_t>(record.right.to));
    }
    put32(static_cast<uint32_t>(record.leftPlace));
    if (!(flags & kFlagRightPlaceIsLeftPlace))
        put32(static_cast<uint32_t>(record.rightPlace));
    if ((flags & kFlagLeftAlt) && !(flags & kFlagLeftAltIsLeftPlace)) {
        put32(static_cast<uint32_t>(record.leftAlternative));
    }
    if ((flags & kFlagRightAlt) &&
        !(flags & (kFlagRightAltIsLeftAlt | kFlagRightAltIsRightPlace))) {
        put32(static_cast<uint32_t>(record.rightAlternative));
    }
    if (flags & kFlagLeftExtra)
        put32(static_cast<uint32_t>(record.leftExtra));
    if ((flags & kFlagRightExtra) && !(flags & kFlagRightExtraIsLeftExtra)) {
        put32(static_cast<uint32_t>(record.rightExtra));
    }
    if (record.addressWord & kHasNamePair)
        put32(record.namePair);
    for (const NameItem& item : record.items) {
        uint8_t bytes[kNameItemSize];
        EncodeNameItem(item, bytes);
        out.insert(out.end(), bytes, bytes + kNameItemSize);
    }
}

// Bytes of a record's fields after the base, name items not counted, from its
// stored flags and address word.
constexpr size_t StoredFieldsSize(uint16_t flags, uint16_t addressWord) {
    size_t size = 0;
    if (addressWord & kLeftKindMask)
        size += kRangeSize;
    if (addressWord & kRightKindMask)
        size += kRangeSize;
    size += kPlaceSize;  // left place
    if (!(flags & kFlagRightPlaceIsLeftPlace))
        size += kPlaceSize;
    if (!(flags & kFlagLeftAltIsLeftPlace) && (flags & kFlagLeftAlt))
        size += kPlaceSize;
    if (!(flags & (kFlagRightAltIsLeftAlt | kFlagRightAltIsRightPlace)) && (flags & kFlagRightAlt))
        size += kPlaceSize;
    if (flags & kFlagLeftExtra)
        size += kPlaceSize;
    if (!(flags & kFlagRightExtraIsLeftExtra) && (flags & kFlagRightExtra))
        size += kPlaceSize;
    if (addressWord & kHasNamePair)
        size += kNamePairSize;
    return size;
}

// Reads a record's fields as the navigation program does (right alternative: the
// left alternative before the right place; right extra: the left extra before its
// own field), and its stored flags. Returns the size of the fields with the base,
// name items not counted, or 0 when they run past `available`.
inline size_t DecodeRecordFields(const uint8_t* bytes, size_t available, RecordFields& record,
                                 uint16_t& flags) {
    if (available < kBaseSize)
        return 0;
    record = RecordFields{};
    record.cellWord = LoadU32(bytes + kCellWordOffset);
    flags = LoadU16(bytes + kFlagsOffset);
    record.addressWord = LoadU16(bytes + kAddressWordOffset);
    const size_t size = kBaseSize + StoredFieldsSize(flags, record.addressWord);
    if (available < size)
        return 0;
    size_t at = kBaseSize;
    auto get32 = [&]() -> int32_t {
        const int32_t value = LoadI32(bytes + at);
        at += 4;
        return value;
    };
    if (record.addressWord & kLeftKindMask) {
        record.left.from = get32();
        record.left.to = get32();
    }
    if (record.addressWord & kRightKindMask) {
        record.right.from = get32();
        record.right.to = get32();
    }
    record.leftPlace = get32();
    record.rightPlace = (flags & kFlagRightPlaceIsLeftPlace) ? record.leftPlace : get32();
    if (flags & kFlagLeftAltIsLeftPlace) {
        record.leftAlternative = record.leftPlace;
    } else if (flags & kFlagLeftAlt) {
        record.leftAlternative = get32();
    }
    if (flags & kFlagRightAltIsLeftAlt) {
        record.rightAlternative = record.leftAlternative;
    } else if (flags & kFlagRightAltIsRightPlace) {
        record.rightAlternative = record.rightPlace;
    } else if (flags & kFlagRightAlt) {
        record.rightAlternative = get32();
    }
    if (flags & kFlagLeftExtra)
        record.leftExtra = get32();
    if (flags & kFlagRightExtraIsLeftExtra) {
        record.rightExtra = record.leftExtra;
    } else if (flags & kFlagRightExtra) {
        record.rightExtra = get32();
    }
    if (record.addressWord & kHasNamePair)
        record.namePair = static_cast<uint32_t>(get32());
    return at;
}

// Reads a whole record with its name items. Returns its size, or 0 when it runs
// past `available`.
inline size_t DecodeRecord(const uint8_t* bytes, size_t available, Record& record) {
    record.items.clear();
    uint16_t flags = 0;
    size_t at = DecodeRecordFields(bytes, available, record, flags);
    if (at == 0)
        return 0;
    const size_t items = flags & kItemCountMask;
    if (available < at + items * kNameItemSize)
        return 0;
    for (size_t i = 0; i < items; ++i) {
        record.items.push_back(DecodeNameItem(bytes + at));
        at += kNameItemSize;
    }
    return at;
}

// ---- "lfoidx.raz" / "lfoidx.bin" -----------------------------------------------

inline constexpr char kLfoIndexMagic[kMagicSize] = {'L', 'X', '0', '1'};
inline constexpr size_t kLfoCountOffset = 4;
inline constexpr size_t kLfoEntriesOffset = 8;
inline constexpr size_t kLfoEntryTableOffset = 0;  // u32 name table, -1 none
inline constexpr size_t kLfoEntryCountOffset = 4;  // u32 names
inline constexpr size_t kLfoEntrySize = 8;
static_assert(kLfoEntryCountOffset + 4 == kLfoEntrySize, "an index entry is two u32");

struct LfoEntry {
    uint32_t nameTable = static_cast<uint32_t>(kNone);
    uint32_t nameCount = 0;
};

inline void EncodeLfoEntry(const LfoEntry& entry, uint8_t* bytes) {
    StoreU32(bytes + kLfoEntryTableOffset, entry.nameTable);
    StoreU32(bytes + kLfoEntryCountOffset, entry.nameCount);
}
inline LfoEntry DecodeLfoEntry(const uint8_t* bytes) {
    return {LoadU32(bytes + kLfoEntryTableOffset), LoadU32(bytes + kLfoEntryCountOffset)};
}
constexpr size_t LfoEntryOffset(uint32_t entry) {
    return kLfoEntriesOffset + kLfoEntrySize * entry;
}

inline constexpr size_t kLfoNameOffset = 0;  // u32 street name
inline constexpr size_t kLfoListOffset = 4;  // u32 absolute offset of the list
inline constexpr size_t kLfoNameSize = 8;
static_assert(kLfoListOffset + 4 == kLfoNameSize, "a name item is two u32");

struct LfoName {
    uint32_t name = 0;
    uint32_t list = 0;
};

inline void EncodeLfoName(const LfoName& item, uint8_t* bytes) {
    StoreU32(bytes + kLfoNameOffset, item.name);
    StoreU32(bytes + kLfoListOffset, item.list);
}
inline LfoName DecodeLfoName(const uint8_t* bytes) {
    return {LoadU32(bytes + kLfoNameOffset), LoadU32(bytes + kLfoListOffset)};
}

inline constexpr size_t kListCountSize = 4;
inline constexpr size_t kLfoItemLowOffset = 0;     // i32
inline constexpr size_t kLfoItemHighOffset = 4;    // i32
inline constexpr size_t kLfoItemRecordOffset = 8;  // u32
inline constexpr size_t kLfoItemSize = 12;
static_assert(kLfoItemRecordOffset + 4 == kLfoItemSize, "a list item is three 32-bit values");
// Source lists longer than this store their items as a compressed block.
inline constexpr uint32_t kMaxPlainListItems = 3;
// An item whose lowest number is this and whose highest is not 0 matches any
// house number.
inline constexpr int32_t kAnyHouseNumber = INT32_MIN;

struct LfoItem {
    int32_t low = kNone;
    int32_t high = kNone;
    uint32_t record = 0;
};

inline void EncodeLfoItem(const LfoItem& item, uint8_t* bytes) {
    StoreI32(bytes + kLfoItemLowOffset, item.low);
    StoreI32(bytes + kLfoItemHighOffset, item.high);
    StoreU32(bytes + kLfoItemRecordOffset, item.record);
}
inline LfoItem DecodeLfoItem(const uint8_t* bytes) {
    return {LoadI32(bytes + kLfoItemLowOffset), LoadI32(bytes + kLfoItemHighOffset),
            LoadU32(bytes + kLfoItemRecordOffset)};
}

}  // namespace formats::link_info

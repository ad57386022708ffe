// The areas and their places: "az.raw" (magic "AZE2") and "azbc.raw" (magic
// "AC00") on data disc 1, and "az.bin" and "azbc.bin" on the device, which the area
// converter makes from them. Each source and device pair shares one layout; only
// the meaning of some references differs (below: "disc" and "device").
//
//   "az.raw"/"az.bin"
//     offset 0   char[4] "AZE2"
//     offset 4   u16 area count N
//     offset 6   N area entries: u8 name length L, 22 fixed bytes, L bytes of name
//     then       the names lists, area by area: u8 length and text per name
//     then       the place records, area by area
//   Fixed bytes of an area entry:
//     0   u32 absolute offset of the area's names list
//     4   u32 number of names in it
//     8   i32 absolute offset of the area's first place record
//     12  u32 low 31 bits: number of place records; bit 31 (device only): none of
//         them is used by the installed data
//     16  u32 the area's code number
//     20  char[2] the area's two-letter code
//   Place record: u8 head (low 6 bits the text length, 0x40 the parent is
//   "unknown" (-2), 0x80 a u32 parent follows), the parent when 0x80, the text.
//   A parent with bit 31 set is another place record (disc: its number; device:
//   its absolute offset), with bit 31 clear a name of the names lists (disc: its
//   number; device: the absolute offset of its length byte). Names and place
//   records are numbered from 0 over the whole file in file order.
//
//   "azbc.raw"/"azbc.bin": per area, per place record, the street names of that
//   place
//     offset 0   char[4] "AC00"
//     offset 4   u16 area count N
//     offset 6   N x 8 bytes: u32 absolute offset of the area's pointer table
//                (-1 none), u32 number of pointers (the area's place records)
//     then       per area its pointer table, one u32 per place record: absolute
//                offset of the place's list (-1 none); then the lists, each u32
//                count n and n u32 street values
//   Street value: disc: name number of "names.raw" in bits 0-23, the name's length
//   in bits 24-29; device: offset of the name in "names.bin" in bits 0-25, its
//   length in bits 26-31.
//
// Little-endian. docs/formats/areas-and-link-info.md tells how the data disc
// builder fills these files.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "formats/little_endian.h"
#include "formats/names.h"

namespace formats::areas {

using formats::LoadI32;
using formats::LoadU16;
using formats::LoadU32;
using formats::StoreI32;
using formats::StoreU16;
using formats::StoreU32;

inline constexpr size_t kMagicSize = 4;
inline constexpr int32_t kNone = -1;

// ---- "az.raw" / "az.bin" -------------------------------------------------------

inline constexpr char kAzMagic[kMagicSize] = {'A', 'Z', 'E', '2'};
inline constexpr size_t kAreaCountOffset = 4;  // u16
inline constexpr size_t kAreaEntriesOffset = 6;
inline constexpr uint32_t kMaxAreas = 0xFFFF;

// An area entry: u8 name length, the fixed bytes, the name.
inline constexpr size_t kEntryNameLengthSize = 1;
inline constexpr size_t kFixedNamesListOffset = 0;    // u32
inline constexpr size_t kFixedNameCountOffset = 4;    // u32
inline constexpr size_t kFixedFirstPlaceOffset = 8;   // i32
inline constexpr size_t kFixedPlaceWordOffset = 12;   // u32
inline constexpr size_t kFixedCodeNumberOffset = 16;  // u32
inline constexpr size_t kFixedCodeOffset = 20;        // char[2]
inline constexpr size_t kCodeSize = 2;
inline constexpr size_t kFixedSize = 22;
static_assert(kFixedCodeOffset + kCodeSize == kFixedSize, "the fixed bytes end with the code");
inline constexpr size_t kMaxAreaNameLength = 255;

inline constexpr uint32_t kPlaceCountMask = 0x7FFFFFFF;
// Device only: no place record of the area is used by the installed links.
inline constexpr uint32_t kNoPlaceUsed = 0x80000000;

struct AreaEntry {
    uint32_t namesListOffset = 0;
    uint32_t nameCount = 0;
    int32_t firstPlaceOffset = 0;
    uint32_t placeWord = 0;  // count | kNoPlaceUsed
    uint32_t codeNumber = 0;
    char code[kCodeSize] = {' ', ' '};
};

constexpr size_t AreaEntrySize(size_t nameLength) {
    return kEntryNameLengthSize + kFixedSize + nameLength;
}

inline void EncodeAreaFixed(const AreaEntry& entry, uint8_t* bytes) {
    StoreU32(bytes + kFixedNamesListOffset, entry.namesListOffset);
    StoreU32(bytes + kFixedNameCountOffset, entry.nameCount);
    StoreI32(bytes + kFixedFirstPlaceOffset, entry.firstPlaceOffset);
    StoreU32(bytes + kFixedPlaceWordOffset, entry.placeWord);
    StoreU32(bytes + kFixedCodeNumberOffset, entry.codeNumber);
    std::memcpy(bytes + kFixedCodeOffset, entry.code, kCodeSize);
}

inline AreaEntry DecodeAreaFixed(const uint8_t* bytes) {
    AreaEntry entry;
    entry.namesListOffset = LoadU32(bytes + kFixedNamesListOffset);
    entry.nameCount = LoadU32(bytes + kFixedNameCountOffset);
    entry.firstPlaceOffset = LoadI32(bytes + kFixedFirstPlaceOffset);
    entry.placeWord = LoadU32(bytes + kFixedPlaceWordOffset);
    entry.codeNumber = LoadU32(bytes + kFixedCodeNumberOffset);
    std::memcpy(entry.code, bytes + kFixedCodeOffset, kCodeSize);
    return entry;
}

// A name of the names lists: u8 length, then the text. The converter takes up to
// 71 bytes; the builder keeps to 63, so that a reader which takes any reference
// for a place record (whose head keeps the length in six bits) reads the same text.
inline constexpr size_t kMaxListNameLength = names::kMaxNameLength;
inline constexpr size_t kMaxWrittenListNameLength = 63;

// ---- Place records -------------------------------------------------------------

inline constexpr uint8_t kPlaceLengthMask = 0x3F;
inline constexpr uint8_t kPlaceParentUnknown = 0x40;  // parent -2, no parent field
inline constexpr uint8_t kPlaceHasParent = 0x80;      // a u32 parent follows
inline constexpr size_t kMaxPlaceTextLength = kPlaceLengthMask;
inline constexpr size_t kPlaceHeadSize = 1;
inline constexpr size_t kPlaceParentSize = 4;

// Parent values.
inline constexpr int32_t kNoParent = -1;
inline constexpr int32_t kUnknownParent = -2;
inline constexpr uint32_t kParentIsPlace = 0x80000000;  // else a names-list name
inline constexpr uint32_t kParentValueMask = 0x7FFFFFFF;

constexpr bool HasParentField(int32_t parent) {
    return parent != kNoParent && parent != kUnknownParent;
}

constexpr size_t PlaceRecordSize(int32_t parent, size_t textLength) {
    return kPlaceHeadSize + (HasParentField(parent) ? kPlaceParentSize : 0) + textLength;
}

// Writes a place record (text at most kMaxPlaceTextLength bytes) and returns its
// size.
inline size_t EncodePlaceRecord(int32_t parent, std::string_view text, uint8_t* bytes) {
    const size_t length = text.size() < kMaxPlaceTextLength ? text.size() : kMaxPlaceTextLength;
    uint8_t head = static_cast<uint8_t>(length);
    size_t at = kPlaceHeadSize;
    if (parent == kUnknownParent) {
        head |= kPlaceParentUnknown;
    } else if (parent != kNoParent) {
        head |= kPlaceHasParent;
        StoreI32(bytes + at, parent);
        at += kPlaceParentSize;
    }
    bytes[0] = head;
    std::memcpy(bytes + at, text.data(), length);
    return at + length;
}

struct PlaceRecord {
    int32_t parent = kNoParent;
    std::string_view text;  // points into the decoded bytes
    size_t size = 0;        // bytes of the whole record
};

// Reads the place record at `bytes`; false when it runs past `available`.
inline bool DecodePlaceRecord(const uint8_t* bytes, size_t available, PlaceRecord& record) {
    if (available < kPlaceHeadSize) {
        return false;
    }
    const uint8_t head = bytes[0];
    size_t at = kPlaceHeadSize;
    record.parent = kNoParent;
    if (head & kPlaceHasParent) {
        if (available < at + kPlaceParentSize) {
            return false;
        }
        record.parent = LoadI32(bytes + at);
        at += kPlaceParentSize;
    } else if (head & kPlaceParentUnknown) {
        record.parent = kUnknownParent;
    }
    const size_t length = head & kPlaceLengthMask;
    if (available < at + length) {
        return false;
    }
    record.text = std::string_view(reinterpret_cast<const char*>(bytes + at), length);
    record.size = at + length;
    return true;
}

// ---- "azbc.raw" / "azbc.bin" ---------------------------------------------------

inline constexpr char kAzbcMagic[kMagicSize] = {'A', 'C', '0', '0'};
inline constexpr size_t kAzbcCountOffset = 4;  // u16
inline constexpr size_t kAzbcEntriesOffset = 6;
inline constexpr size_t kAzbcEntryTableOffset = 0;  // u32 pointer table, -1 none
inline constexpr size_t kAzbcEntryCountOffset = 4;  // u32 pointers
inline constexpr size_t kAzbcEntrySize = 8;
static_assert(kAzbcEntryCountOffset + 4 == kAzbcEntrySize, "an entry is two u32");
inline constexpr size_t kPointerSize = 4;
inline constexpr size_t kListCountSize = 4;
inline constexpr size_t kStreetValueSize = 4;

struct AzbcEntry {
    uint32_t pointerTable = static_cast<uint32_t>(kNone);
    uint32_t pointerCount = 0;
};

inline void EncodeAzbcEntry(const AzbcEntry& entry, uint8_t* bytes) {
    StoreU32(bytes + kAzbcEntryTableOffset, entry.pointerTable);
    StoreU32(bytes + kAzbcEntryCountOffset, entry.pointerCount);
}
inline AzbcEntry DecodeAzbcEntry(const uint8_t* bytes) {
    return {LoadU32(bytes + kAzbcEntryTableOffset), LoadU32(bytes + kAzbcEntryCountOffset)};
}

constexpr size_t AzbcEntryOffset(uint32_t area) {
    return kAzbcEntriesOffset + kAzbcEntrySize * area;
}

// Street values. The length beside a name lets the city street list read the
// name without first reading its length byte; six bits hold it, so only names of
// at most 63 bytes can be listed whole.
inline constexpr int kSourceNameBits = 24;
inline constexpr uint32_t kSourceNameMask = 0x00FFFFFF;
inline constexpr int kSourceLengthShift = 24;
inline constexpr int kDeviceNameBits = 26;
inline constexpr uint32_t kDeviceNameMask = 0x03FFFFFF;
inline constexpr int kDeviceLengthShift = 26;
inline constexpr uint32_t kLengthMask = 0x3F;
static_assert(kLengthMask == names::kMaxWrittenNameLength, "six bits hold a written name's length");

constexpr uint32_t SourceStreetValue(uint32_t nameNumber, size_t nameLength) {
    return (nameNumber & kSourceNameMask) | (static_cast<uint32_t>(nameLength) & kLengthMask)
                                                << kSourceLengthShift;
}
constexpr uint32_t SourceValueName(uint32_t value) {
    return value & kSourceNameMask;
}
constexpr uint32_t SourceValueLength(uint32_t value) {
    return value >> kSourceLengthShift & kLengthMask;
}
// The converter moves the source's bits 24 to 29 to bits 26 to 31.
constexpr uint32_t DeviceStreetValue(uint32_t namesOffset, uint32_t sourceValue) {
    return (namesOffset & kDeviceNameMask) | SourceValueLength(sourceValue) << kDeviceLengthShift;
}
constexpr uint32_t DeviceValueOffset(uint32_t value) {
    return value & kDeviceNameMask;
}
constexpr uint32_t DeviceValueLength(uint32_t value) {
    return value >> kDeviceLengthShift;
}

}  // namespace formats::areas

// The points of interest: "poi.raw" (magic "NPL6") on data discs 2 and 3, and
// "poi.bin" (magic "NPL7") on the device, which the converter makes from it. Both
// share one layout:
//
//   head         120 bytes (below); its first 36 bytes are the grid head of the map
//                container (formats/map_container.h) with this file's magic
//   names        from offset 120, for categories 0 to 8 in order, each category's
//                name strings, NUL-terminated
//   phone table  5-byte packed telephone numbers
//   cell table   columns x rows u32, row-major: absolute offset of the cell's
//                header, 0 = no points; it follows the phone table directly
//   area table   device only, right after the cell table: per area of "az.bin",
//                u32 absolute offset of its run list and u32 number of runs
//   cells        per non-empty cell, a 54-byte header (nine u16 record counts, one
//                per category, then nine u32 absolute offsets of the category's
//                first record), then the records, category by category, each
//                category's records in ascending sub-category order
//   run lists    device only: per area, 6-byte runs {u32 first cell, u16 number of
//                consecutive cells} in which the area has points
//
// Head:
//   0   char[4] magic       4   f32 origin longitude   8  f32 origin latitude
//   12  i32 first column    16  i32 first row          20 i32 columns
//   24  i32 rows            28  f32 cell width         32 f32 cell height
//   36  i32 name strings, all categories
//   40  u32 absolute offset of the phone table
//   44  i32 phone table entries
//   48  9 x u32 name strings of each category
//   84  9 x u32 bytes of name strings of each category (NULs included)
//
// Record: 31 bytes, then a u32 second place when flag 0x8000 is set, then a u32
// third place when flag 0x4000 is set:
//   0   u32 name word: bits 0-25 the name (disc: string number counted from 0 over
//       all categories in file order; device: the string's absolute offset), bits
//       26-31 the sub-category
//   4   i32 phone (disc: entry number counted from 1, 0 or -1 none; device: the
//       entry's absolute offset, 0 none)
//   8   u32 link word: bits 0-29 the road (disc: link-information record number;
//       device: the record's offset in "linkinfo.bin"), bits 30-31 display flags
//   12  u32 address word: bits 0-28 house number (all ones: none), bit 29 the
//       point lies on the link's side -1, bit 30 on side +1; all ones: no address
//   16  f32 latitude   20  f32 longitude
//   24  u16 flags: 0x8000 a second place follows, 0x4000 a third place follows
//   26  i32 place (disc: place record number of "az.raw"; device: the record's
//       offset in "az.bin"; -1 none)
//   30  u8 name length, 1 to 35; anything else: no name
//
// Little-endian. docs/formats/map-data.md tells how the builder fills the file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "formats/map_container.h"

namespace formats::poi {

using map_container::LoadF32;
using map_container::LoadI32;
using map_container::LoadU16;
using map_container::LoadU32;
using map_container::StoreF32;
using map_container::StoreI32;
using map_container::StoreU16;
using map_container::StoreU32;

inline constexpr char kSourceMagic[4] = {'N', 'P', 'L', '6'};
inline constexpr char kDeviceMagic[4] = {'N', 'P', 'L', '7'};
inline constexpr int kCategoryCount = 9;

// ---- Head ------------------------------------------------------------------------

inline constexpr size_t kNameCountOffset = 36;
inline constexpr size_t kPhoneTableOffsetOffset = 40;
inline constexpr size_t kPhoneCountOffset = 44;
inline constexpr size_t kCategoryNameCountsOffset = 48;
inline constexpr size_t kCategoryNameBytesOffset = 84;
inline constexpr size_t kHeadSize = 120;
inline constexpr size_t kNamesOffset = kHeadSize;
static_assert(kNameCountOffset == map_container::kHeaderSize, "the grid head comes first");
static_assert(kCategoryNameBytesOffset + kCategoryCount * 4 == kHeadSize, "the head is 120 bytes");

struct Head {
    map_container::GridHeader grid;
    int32_t nameCount = 0;
    uint32_t phoneTableOffset = 0;
    int32_t phoneCount = 0;
    uint32_t categoryNameCounts[kCategoryCount] = {};
    uint32_t categoryNameBytes[kCategoryCount] = {};
};

inline void EncodeHead(const Head& head, uint8_t* bytes) {
    map_container::EncodeHeader(head.grid, bytes);
    StoreI32(bytes + kNameCountOffset, head.nameCount);
    StoreU32(bytes + kPhoneTableOffsetOffset, head.phoneTableOffset);
    StoreI32(bytes + kPhoneCountOffset, head.phoneCount);
    for (int category = 0; category < kCategoryCount; ++category) {
        StoreU32(bytes + kCategoryNameCountsOffset + 4 * category,
                 head.categoryNameCounts[category]);
        StoreU32(bytes + kCategoryNameBytesOffset + 4 * category, head.categoryNameBytes[category]);
    }
}

inline Head DecodeHead(const uint8_t* bytes) {
    Head head;
    head.grid = map_container::DecodeHeader(bytes);
    head.nameCount = LoadI32(bytes + kNameCountOffset);
    head.phoneTableOffset = LoadU32(bytes + kPhoneTableOffsetOffset);
    head.phoneCount = LoadI32(bytes + kPhoneCountOffset);
    for (int category = 0; category < kCategoryCount; ++category) {
        head.categoryNameCounts[category] =
            LoadU32(bytes + kCategoryNameCountsOffset + 4 * category);
        head.categoryNameBytes[category] = LoadU32(bytes + kCategoryNameBytesOffset + 4 * category);
    }
    return head;
}

// ---- Telephone numbers -----------------------------------------------------------
//
// Ten 4-bit codes, the low half of each byte first: 0 to 9 digits, 14 a dash, 15 the
// end of the number.

inline constexpr size_t kPhoneEntrySize = 5;
inline constexpr size_t kPhoneMaxCharacters = 10;
inline constexpr uint8_t kPhoneDash = 14;
inline constexpr uint8_t kPhoneEnd = 15;

inline uint64_t CellTableOffset(const Head& head) {
    return uint64_t{head.phoneTableOffset} +
           kPhoneEntrySize * static_cast<uint64_t>(head.phoneCount);
}

// Packs the digits and dashes of a number; other characters (blanks, brackets, a
// leading plus) are left out, and so is everything past the tenth kept character.
// False when nothing is left to pack.
inline bool PackPhone(std::string_view text, uint8_t (&packed)[kPhoneEntrySize]) {
    uint8_t codes[kPhoneMaxCharacters];
    size_t count = 0;
    for (char c : text) {
        if (count == kPhoneMaxCharacters)
            break;
        if (c >= '0' && c <= '9') {
            codes[count++] = static_cast<uint8_t>(c - '0');
        } else if (c == '-') {
            codes[count++] = kPhoneDash;
        }
    }
    for (size_t i = count; i < kPhoneMaxCharacters; ++i)
        codes[i] = kPhoneEnd;
    for (size_t i = 0; i < kPhoneEntrySize; ++i) {
        packed[i] = static_cast<uint8_t>(codes[2 * i] | codes[2 * i + 1] << 4);
    }
    return count > 0;
}

// As the navigation program reads it: codes 10 to 13 stand for the characters
// '0' + code.
inline std::string UnpackPhone(const uint8_t* packed) {
    std::string text;
    for (size_t i = 0; i < kPhoneMaxCharacters; ++i) {
        const uint8_t code = (i % 2 == 0) ? packed[i / 2] & 0x0F : packed[i / 2] >> 4;
        if (code == kPhoneEnd)
            break;
        text.push_back(code == kPhoneDash ? '-' : static_cast<char>('0' + code));
    }
    return text;
}

// ---- Cells -----------------------------------------------------------------------

inline constexpr size_t kCellCountsOffset = 0;    // nine u16
inline constexpr size_t kCellOffsetsOffset = 18;  // nine u32
inline constexpr size_t kCellHeaderSize = 54;
static_assert(kCellOffsetsOffset + kCategoryCount * 4 == kCellHeaderSize,
              "a cell header is nine counts and nine offsets");

struct CellHeader {
    uint16_t counts[kCategoryCount] = {};
    uint32_t offsets[kCategoryCount] = {};
};

inline void EncodeCellHeader(const CellHeader& header, uint8_t* bytes) {
    for (int category = 0; category < kCategoryCount; ++category) {
        StoreU16(bytes + kCellCountsOffset + 2 * category, header.counts[category]);
        StoreU32(bytes + kCellOffsetsOffset + 4 * category, header.offsets[category]);
    }
}

inline CellHeader DecodeCellHeader(const uint8_t* bytes) {
    CellHeader header;
    for (int category = 0; category < kCategoryCount; ++category) {
        header.counts[category] = LoadU16(bytes + kCellCountsOffset + 2 * category);
        header.offsets[category] = LoadU32(bytes + kCellOffsetsOffset + 4 * category);
    }
    return header;
}

// ---- Area table and run lists (device) -------------------------------------------

inline constexpr size_t kAreaEntrySize = 8;
inline constexpr size_t kRunSize = 6;

// ---- Records ---------------------------------------------------------------------

inline constexpr size_t kRecordNameOffset = 0;
inline constexpr size_t kRecordPhoneOffset = 4;
inline constexpr size_t kRecordLinkOffset = 8;
inline constexpr size_t kRecordAddressOffset = 12;
inline constexpr size_t kRecordLatitudeOffset = 16;
inline constexpr size_t kRecordLongitudeOffset = 20;
inline constexpr size_t kRecordFlagsOffset = 24;
inline constexpr size_t kRecordPlaceOffset = 26;
inline constexpr size_t kRecordNameLengthOffset = 30;
inline constexpr size_t kRecordSize = 31;
inline constexpr size_t kOptionalPlaceSize = 4;
static_assert(kRecordNameLengthOffset + 1 == kRecordSize,
              "a record is 31 bytes before its options");

inline constexpr uint32_t kNameMask = 0x03FFFFFF;
inline constexpr int kSubCategoryShift = 26;
inline constexpr uint32_t kMaxSubCategory = 63;
// Sub-categories below this one can be chosen one by one (bit sub-category + 8 of the
// search's mask); category 6 compares the plain number.
inline constexpr uint32_t kMaskableSubCategories = 24;
inline constexpr uint32_t kLinkRecordMask = 0x3FFFFFFF;
inline constexpr uint32_t kLinkDisplayMask = 0xC0000000u;
inline constexpr uint32_t kHouseNumberMask = 0x1FFFFFFF;
inline constexpr uint32_t kSideMinus = 0x20000000;
inline constexpr uint32_t kSidePlus = 0x40000000;
inline constexpr uint32_t kNoAddress = 0xFFFFFFFFu;
inline constexpr uint16_t kSecondPlaceFlag = 0x8000;
inline constexpr uint16_t kThirdPlaceFlag = 0x4000;
inline constexpr uint32_t kMaxNameLength = 35;
inline constexpr int32_t kNoPlace = -1;
inline constexpr int32_t kNoPhone = 0;

struct Record {
    uint32_t nameWord = 0;
    int32_t phone = kNoPhone;
    uint32_t linkWord = 0;
    uint32_t addressWord = kNoAddress;
    float latitude = 0;
    float longitude = 0;
    uint16_t flags = 0;
    int32_t place = kNoPlace;
    uint8_t nameLength = 0;
    int32_t secondPlace = kNoPlace;  // stored only with kSecondPlaceFlag
    int32_t thirdPlace = kNoPlace;   // stored only with kThirdPlaceFlag

    uint32_t Name() const { return nameWord & kNameMask; }
    uint32_t SubCategory() const { return nameWord >> kSubCategoryShift; }
    uint32_t LinkRecord() const { return linkWord & kLinkRecordMask; }
    size_t StoredSize() const {
        return kRecordSize + ((flags & kSecondPlaceFlag) ? kOptionalPlaceSize : 0) +
               ((flags & kThirdPlaceFlag) ? kOptionalPlaceSize : 0);
    }
};

constexpr uint32_t NameWord(uint32_t name, uint32_t subCategory) {
    return (name & kNameMask) | (subCategory & kMaxSubCategory) << kSubCategoryShift;
}

inline void AppendRecord(std::vector<uint8_t>& out, const Record& record) {
    uint8_t bytes[kRecordSize + 2 * kOptionalPlaceSize];
    StoreU32(bytes + kRecordNameOffset, record.nameWord);
    StoreI32(bytes + kRecordPhoneOffset, record.phone);
    StoreU32(bytes + kRecordLinkOffset, record.linkWord);
    StoreU32(bytes + kRecordAddressOffset, record.addressWord);
    StoreF32(bytes + kRecordLatitudeOffset, record.latitude);
    StoreF32(bytes + kRecordLongitudeOffset, record.longitude);
    StoreU16(bytes + kRecordFlagsOffset, record.flags);
    StoreI32(bytes + kRecordPlaceOffset, record.place);
    bytes[kRecordNameLengthOffset] = record.nameLength;
    size_t size = kRecordSize;
    if (record.flags & kSecondPlaceFlag) {
        StoreI32(bytes + size, record.secondPlace);
        size += kOptionalPlaceSize;
    }
    if (record.flags & kThirdPlaceFlag) {
        StoreI32(bytes + size, record.thirdPlace);
        size += kOptionalPlaceSize;
    }
    out.insert(out.end(), bytes, bytes + size);
}

// Reads one record with its optional places; the bytes used, or 0 when `size` is too
// short.
inline size_t DecodeRecord(const uint8_t* bytes, size_t size, Record& record) {
    if (size < kRecordSize)
        return 0;
    record = Record{};
    record.nameWord = LoadU32(bytes + kRecordNameOffset);
    record.phone = LoadI32(bytes + kRecordPhoneOffset);
    record.linkWord = LoadU32(bytes + kRecordLinkOffset);
    record.addressWord = LoadU32(bytes + kRecordAddressOffset);
    record.latitude = LoadF32(bytes + kRecordLatitudeOffset);
    record.longitude = LoadF32(bytes + kRecordLongitudeOffset);
    record.flags = LoadU16(bytes + kRecordFlagsOffset);
    record.place = LoadI32(bytes + kRecordPlaceOffset);
    record.nameLength = bytes[kRecordNameLengthOffset];
    const size_t stored = record.StoredSize();
    if (size < stored)
        return 0;
    size_t at = kRecordSize;
    if (record.flags & kSecondPlaceFlag) {
        record.secondPlace = LoadI32(bytes + at);
        at += kOptionalPlaceSize;
    }
    if (record.flags & kThirdPlaceFlag)
        record.thirdPlace = LoadI32(bytes + at);
    return stored;
}

}  // namespace formats::poi

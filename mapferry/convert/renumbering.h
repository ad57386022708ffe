// The tables the converters hand on to each other: every device file refers to
// names, places, address records and name pairs by their new absolute offsets,
// while the source files number them. Each table is indexed by the source number
// and is filled by the converter named beside it; the generation driver passes it
// to the converters that run later.
#pragma once

#include <cstdint>
#include <vector>

// "Not written" in every offset table below (-1 in the files).
inline constexpr uint32_t kNotRenumbered = 0xFFFFFFFFu;
// A street name whose number lies beyond the names written (-2 in the files).
inline constexpr uint32_t kNameBeyondWritten = 0xFFFFFFFEu;

// Per name number of "names.raw": 1 when a chosen list entry of the cut uses the
// name ("nameidx.bin"). CStnlConverter::ReadNameIndex; sized highest used + 1.
using UsedNameFlags = std::vector<uint8_t>;

// Per name number: the name's offset in "names.bin", kNotRenumbered when it was not
// written. CNamesConverter::Write; sized like UsedNameFlags, so a number at or
// beyond size() is kNameBeyondWritten (NameOffsetOf).
using NameOffsetTable = std::vector<uint32_t>;

// Per name number: the name's bytes in "names.bin" (length + 1), 0 when not
// written. CNamesConverter::Write; same size as NameOffsetTable.
using NameSizeTable = std::vector<uint32_t>;

// Per place record number of "az.raw" (counted over the whole file): the record's
// offset in "az.bin", kNotRenumbered when its area is not chosen. Made by the area
// converter's build step, read by the link information converter.
using PlaceOffsetTable = std::vector<uint32_t>;

// Per place record number: 1 when a kept address record of "linkinfo.bin" refers to
// it. CLinkInfoConverter::Write; read by the area converter when it writes "az.bin"
// and "azbc.bin". Sized like PlaceOffsetTable.
using UsedPlaceFlags = std::vector<uint8_t>;

// Per address record number of "linkinfo.raz" (counted over the whole file): the
// record's offset in "linkinfo.bin", kNotRenumbered when not kept.
// CLinkInfoConverter::Write; read by the map container, "lfoidx.bin", and
// point-of-interest converters (LinkInfoOffsetOf).
using LinkInfoOffsetTable = std::vector<uint32_t>;

// Per added name pair, in order of adding: its record number in "lsr.raw"; the
// pair's offset in "lsr.bin" is 4 + 8 x its position here. CLsrConverter::AddRecord.
using NamePairTable = std::vector<uint32_t>;

// Per name number, what the kept address records of partly chosen list entries
// tell about the name: whether one of them carries it, and the lowest and highest
// house number of the records whose item of that name carries the ranges
// (kNoHouseNumberYet while none does). CLinkInfoConverter::Write; read by
// CStnlConverter::Write. All three sized like UsedNameFlags.
inline constexpr int32_t kNoHouseNumberYet = 0x7FFFFFFF;
struct KeptLinkNames {
    std::vector<uint8_t> used;
    std::vector<int32_t> lowest;
    std::vector<int32_t> highest;
};

// A name number's offset, kNameBeyondWritten past the table's end.
inline uint32_t NameOffsetOf(const NameOffsetTable& table, uint32_t nameNumber) {
    return nameNumber < table.size() ? table[nameNumber] : kNameBeyondWritten;
}

// An address record number's offset, kNotRenumbered past the table's end.
inline uint32_t LinkInfoOffsetOf(const LinkInfoOffsetTable& table, uint32_t recordNumber) {
    return recordNumber < table.size() ? table[recordNumber] : kNotRenumbered;
}

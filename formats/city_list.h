// The city lists of the installer's city page, one per state or province,
// "cities\CODE.dat" in the program folder (CODE the state's two-letter code),
// written by the data disc builder.
//
//   offset 0  char[4] "CD00"
//   offset 4  u32 city count N (taken only when 0 < N < 1,000,000)
//   offset 8  N records, back to back:
//               f32 latitude, f32 longitude (degrees), u8 name length L,
//               L bytes of name (single-byte text, no terminator)
//
// A record with L = 0 names no city and is not listed. Little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace formats::city_list {

inline constexpr size_t kMagicSize = 4;
inline constexpr char kMagic[kMagicSize] = {'C', 'D', '0', '0'};
inline constexpr size_t kCountOffset = 4;
inline constexpr size_t kRecordsOffset = 8;
inline constexpr uint32_t kMaxCount = 999999;
// latitude, longitude, length byte
inline constexpr size_t kRecordHeadSize = 9;
inline constexpr size_t kMaxNameLength = 255;
// The largest file the page reads: every record at its longest.
inline constexpr size_t kMaxFileSize = kRecordsOffset + size_t{kMaxCount} * (kRecordHeadSize + 255);

struct City {
    float latitude = 0;
    float longitude = 0;
    std::string name;

    // Whether the page lists it: a name, and a position on the globe.
    bool Listed() const;
};

// Names longer than kMaxNameLength are cut.
std::vector<uint8_t> Encode(std::span<const City> cities);

// The records of a file in order, as far as they are whole: an unknown magic or a
// count outside 1..kMaxCount gives none; a record cut short ends the list there.
std::vector<City> Decode(std::span<const uint8_t> bytes);

}  // namespace formats::city_list

// The published fix "OxloGpsInfoShMem": a 284-byte named shared-memory record that
// other programs on the handheld read to learn where the vehicle is.
//
//   offset 0   u8      28
//   offset 1   u8      1
//   offset 2   u8 x 2  0
//   offset 4   u32     status bits (kStatus...)
//   offset 8   f32     fix latitude, degrees, south negative
//   offset 12  f32     fix longitude, degrees, west negative
//   offset 16  f32     matched latitude
//   offset 20  f32     matched longitude
//   offset 24  char[260] address text of the vehicle's place, single-byte, NUL-terminated
//
// Bytes 0 to 3 are written once when the block is made; the rest at each publication.
// Little-endian.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/little_endian.h"

namespace formats::gps_info {

inline constexpr const char16_t* kName = u"OxloGpsInfoShMem";
inline constexpr size_t kSize = 284;

inline constexpr size_t kMarkOffset = 0;
inline constexpr uint8_t kMark[4] = {28, 1, 0, 0};
inline constexpr size_t kStatusOffset = 4;
inline constexpr size_t kFixLatitudeOffset = 8;
inline constexpr size_t kFixLongitudeOffset = 12;
inline constexpr size_t kMatchedLatitudeOffset = 16;
inline constexpr size_t kMatchedLongitudeOffset = 20;
inline constexpr size_t kAddressOffset = 24;
inline constexpr size_t kAddressSize = 260;
static_assert(kAddressOffset + kAddressSize == kSize, "the address text ends the record");

inline constexpr uint32_t kStatusFixValid = 0x1;
inline constexpr uint32_t kStatusReplay = 0x2;
inline constexpr uint32_t kStatusMatched = 0x4;

}  // namespace formats::gps_info

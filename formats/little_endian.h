// Little-endian field access for every file format: fields are read and written
// one by one through their offsets, never by copying structs.
#pragma once

#include <bit>
#include <cstdint>

namespace formats {

static_assert(sizeof(float) == 4, "f32 fields are IEEE single precision");

inline uint16_t LoadU16(const uint8_t* bytes) {
    return static_cast<uint16_t>(bytes[0] | bytes[1] << 8);
}
inline uint32_t LoadU32(const uint8_t* bytes) {
    return static_cast<uint32_t>(bytes[0]) | static_cast<uint32_t>(bytes[1]) << 8 |
           static_cast<uint32_t>(bytes[2]) << 16 | static_cast<uint32_t>(bytes[3]) << 24;
}
inline int32_t LoadI32(const uint8_t* bytes) {
    return static_cast<int32_t>(LoadU32(bytes));
}
inline float LoadF32(const uint8_t* bytes) {
    return std::bit_cast<float>(LoadU32(bytes));
}
inline void StoreU16(uint8_t* bytes, uint16_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
}
inline void StoreU32(uint8_t* bytes, uint32_t value) {
    bytes[0] = static_cast<uint8_t>(value);
    bytes[1] = static_cast<uint8_t>(value >> 8);
    bytes[2] = static_cast<uint8_t>(value >> 16);
    bytes[3] = static_cast<uint8_t>(value >> 24);
}
inline void StoreI32(uint8_t* bytes, int32_t value) {
    StoreU32(bytes, static_cast<uint32_t>(value));
}
inline void StoreF32(uint8_t* bytes, float value) {
    StoreU32(bytes, std::bit_cast<uint32_t>(value));
}

}  // namespace formats

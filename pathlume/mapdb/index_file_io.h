// Small pieces the index file readers share: reads at an absolute offset and
// text appended to a buffer of known size.
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

#include "formats/little_endian.h"
#include "pathlume/foundation/data_file.h"

namespace index_io {

// Reads count bytes at an absolute offset; false when the offset is outside the
// file or the read falls short.
inline bool ReadAt(CDataFile& file, int64_t offset, void* buffer, int count) {
    return offset >= 0 && offset <= 0x7FFFFFFF && file.Seek(static_cast<int>(offset), 0) == 0 &&
           file.Read(buffer, count) == count;
}

inline bool ReadU32At(CDataFile& file, int64_t offset, uint32_t& value) {
    uint8_t bytes[4];
    if (!ReadAt(file, offset, bytes, 4))
        return false;
    value = formats::LoadU32(bytes);
    return true;
}

inline bool ReadU32(CDataFile& file, uint32_t& value) {
    uint8_t bytes[4];
    if (file.Read(bytes, 4) != 4)
        return false;
    value = formats::LoadU32(bytes);
    return true;
}

// True when `count` records of `size` bytes from `offset` lie inside the file.
inline bool FitsInFile(const CDataFile& file, uint64_t offset, uint64_t count, uint64_t size) {
    return offset + count * size <= static_cast<uint64_t>(file.Size());
}

// Appends as much of `text` as fits in the buffer of `size` bytes, which stays
// terminated.
inline void Append(char* buffer, size_t size, std::string_view text) {
    const size_t used = std::strlen(buffer);
    if (used + 1 >= size)
        return;
    const size_t n = std::min(text.size(), size - 1 - used);
    std::memcpy(buffer + used, text.data(), n);
    buffer[used + n] = '\0';
}

}  // namespace index_io

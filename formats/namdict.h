// "namdict.bin": the record of what a map installation put on its target, written
// by the generation (and by the copy of the prepared region) and read back by the
// installer's pages before they install over it.
//
//   regions "MDR1"  offset 0  char[4] "MDR1"
//                   offset 4  u32 name count M
//                   offset 8  u32 entry count N
//                   offset 12 N u32 choice words ((region << 16) | sub-area mask)
//                   then      M names: u32 length L (0-80), L bytes, no terminator
//   city    "MDC1"  offset 0  char[4] "MDC1"
//                   then      three texts: state name, city name, radius text
//                             ("150 (241)"), each u32 length L (0-80) and L bytes
//
// Texts are single-byte (the desktop's ANSI code page). Little-endian.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace formats::namdict {

inline constexpr const char* kFileName = "namdict.bin";
inline constexpr size_t kMagicSize = 4;
inline constexpr char kRegionMagic[kMagicSize] = {'M', 'D', 'R', '1'};
inline constexpr char kCityMagic[kMagicSize] = {'M', 'D', 'C', '1'};

inline constexpr size_t kNameCountOffset = 4;
inline constexpr size_t kEntryCountOffset = 8;
inline constexpr size_t kEntriesOffset = 12;
inline constexpr size_t kCityTextsOffset = 4;
inline constexpr size_t kLengthSize = 4;
// The longest text a reader takes; a longer length marks a damaged file.
inline constexpr uint32_t kMaxTextLength = 80;
// The installer reads at most this much of the file back from its target.
inline constexpr size_t kMaxReadSize = 4096;

// What a file holds.
struct Dictionary {
    enum class Kind { Regions, City };
    Kind kind = Kind::Regions;
    // Regions: the choice words and the names of what was installed.
    std::vector<uint32_t> entries;
    std::vector<std::string> names;
    // City: state, city and radius text.
    std::string state;
    std::string city;
    std::string radius;
};

std::vector<uint8_t> EncodeRegions(std::span<const uint32_t> entries,
                                   std::span<const std::string> names);
std::vector<uint8_t> EncodeCity(const std::string& state, const std::string& city,
                                const std::string& radius);

// Reads a file's bytes (at most kMaxReadSize are looked at): nothing for an unknown
// magic, counts beyond the bytes (taken in 64 bits), a text length above
// kMaxTextLength or past what is left. A regions file no longer than its entries
// (so naming nothing) is nothing to report too.
std::optional<Dictionary> Decode(std::span<const uint8_t> bytes);

}  // namespace formats::namdict

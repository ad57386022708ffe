// Street types: "sttypes.raw" (data disc 1), copied unchanged to "sttypes.bin" on
// the device, and "strabbr.bin" (data discs 2 and 3), copied unchanged to the
// device too.
//
//   "sttypes.raw"/"sttypes.bin"
//       offset 0  char[4] "ST00"
//       offset 4  u32 type count N
//       offset 8  N single-byte names, each NUL-terminated, back to back
//     Street-type code k (1..N) is the k-th name; code 0 is no type. A street
//     name's item in "linkinfo.bin" keeps the code in nine bits.
//
//   "strabbr.bin": single-byte text, lines ending CR LF, at most 255 characters each:
//       the header: lines up to and including the first line that holds
//                   "FILE-VER=" (the builder writes that one line alone)
//       then        lines "WORD=TYPE": a word as a user may type it, then the
//                   street-type text to use for it, a name in "sttypes.bin"
//       last        a line holding "END-OF-FILE="
//
// Little-endian. docs/formats/names.md tells how the data disc builder fills them.
#pragma once

#include <cstddef>
#include <cstdint>

#include "formats/little_endian.h"
#include "formats/names.h"

namespace formats::street_types {

using formats::LoadU32;
using formats::StoreU32;

// ---- "sttypes.raw" / "sttypes.bin" -------------------------------------------------

inline constexpr size_t kMagicSize = names::kMagicSize;
inline constexpr char kMagic[kMagicSize] = {'S', 'T', '0', '0'};
inline constexpr size_t kCountOffset = 4;
inline constexpr size_t kNamesOffset = 8;
inline constexpr size_t kHeadSize = kNamesOffset;

inline constexpr uint32_t kNoType = 0;
// Codes live in nine bits of a street-name item.
inline constexpr uint32_t kMaxTypeCode = 0x1FF;
inline constexpr uint32_t kTypeCodeMask = 0x1FF;
// The reader converts a type text to at most this many characters before looking
// it up, so longer type names could never be found again.
inline constexpr size_t kMaxTypeNameLength = 79;

// ---- "strabbr.bin" -----------------------------------------------------------------

inline constexpr const char* kAbbreviationFile = "strabbr.bin";
inline constexpr const char* kVersionKey = "FILE-VER=";
inline constexpr const char* kEndKey = "END-OF-FILE=";
inline constexpr const char* kLineEnd = "\r\n";
inline constexpr char kSeparator = '=';
inline constexpr size_t kMaxLineLength = 255;
inline constexpr int kFileVersion = 1;

}  // namespace formats::street_types

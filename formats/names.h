// Street names: "names.raw" (magic "NM00") on data disc 1 and "names.bin" (magic
// "NM02") on the device, which the names converter makes from it; also the name
// alphabet that every two-letter index of the name files uses ("names.bin",
// "linkinfo.bin") and the direction codes stored beside a street name.
//
//   "names.raw"  offset 0  char[4] "NM00"
//                offset 4  the names, each u8 length L then L bytes of single-byte
//                          text, no terminator; a name's number is its position,
//                          counted from 0
//   "names.bin"  offset 0  char[4] "NM02"
//                offset 4  index of 37 x 44 entries of 12 bytes, entry
//                          (first code x 44 + second code): u32 absolute offset of
//                          the first name with these codes, u32 number of such
//                          names, u32 bytes they occupy (sum of length + 1); an
//                          entry without names is all zero
//                offset 19,540  the names, as in "names.raw"
//
// Names with the same pair of letter codes follow each other in both files: an
// index entry points at the first name of its run. A street name's id on the
// device is the absolute offset of its length byte in "names.bin". Little-endian.
// docs/formats/names.md tells how the data disc builder fills these files.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "formats/little_endian.h"

namespace formats::names {

using formats::LoadI32;
using formats::LoadU32;
using formats::StoreI32;
using formats::StoreU32;

// ---- The name alphabet ------------------------------------------------------------
//
// First-letter code: '0'..'9' -> 1..10, 'A'..'Z' -> 11..36, anything else 0.
// Second-letter code: NUL, blank and '-' -> 0, '&' 1, '\'' 2, '+' 3, ',' 4, '.' 5,
// '/' 6, '0'..'9' -> 7..16, ':' 17, 'A'..'Z' -> 18..43; anything else has no code
// (-1). Lower-case letters have no code of their own: names are upper case.

inline constexpr int kFirstLetterCodes = 37;
inline constexpr int kSecondLetterCodes = 44;
inline constexpr int kLetterPairs = kFirstLetterCodes * kSecondLetterCodes;
static_assert(kLetterPairs == 1628, "the two-letter index has 1,628 pairs");

constexpr int FirstLetterCode(char c) {
    if (c >= '0' && c <= '9')
        return c - '0' + 1;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 11;
    return 0;
}

constexpr int SecondLetterCode(char c) {
    switch (c) {
        case '\0':
        case ' ':
        case '-':
            return 0;
        case '&':
            return 1;
        case '\'':
            return 2;
        case '+':
            return 3;
        case ',':
            return 4;
        case '.':
            return 5;
        case '/':
            return 6;
        case ':':
            return 17;
        default:
            break;
    }
    if (c >= '0' && c <= '9')
        return c - '0' + 7;
    if (c >= 'A' && c <= 'Z')
        return c - 'A' + 18;
    return -1;
}

constexpr int LetterPair(int firstCode, int secondCode) {
    return firstCode * kSecondLetterCodes + secondCode;
}

// The pair of a name: its first byte and its second byte (the terminating NUL of a
// one-letter name, so the empty name counts as "\0\0"). -1 when the second byte
// has no code.
constexpr int LetterPairOfName(std::string_view name) {
    const char first = name.empty() ? '\0' : name[0];
    const char second = name.size() < 2 ? '\0' : name[1];
    const int secondCode = SecondLetterCode(second);
    return secondCode < 0 ? -1 : LetterPair(FirstLetterCode(first), secondCode);
}

// ---- Direction codes ---------------------------------------------------------------
//
// The byte beside a street name holds two compass codes: the prefix direction in
// its high four bits, the suffix direction in its low four bits.

enum DirectionCode : uint8_t {
    kNoDirection = 0,
    kEast = 1,
    kNorth = 2,
    kNorthEast = 3,
    kNorthWest = 4,
    kSouth = 5,
    kSouthEast = 6,
    kSouthWest = 7,
    kWest = 8,
};
inline constexpr int kDirectionCodes = 9;
inline constexpr const char* kDirectionWords[kDirectionCodes] = {"",  "E",  "N",  "NE", "NW",
                                                                 "S", "SE", "SW", "W"};

constexpr uint8_t DirectionByte(DirectionCode prefix, DirectionCode suffix) {
    return static_cast<uint8_t>((prefix & 0x0F) << 4 | (suffix & 0x0F));
}
// The code of a compass word ("N", "SW", ...); kNoDirection for anything else.
constexpr DirectionCode DirectionOfWord(std::string_view word) {
    for (int code = 1; code < kDirectionCodes; ++code) {
        if (word == kDirectionWords[code])
            return static_cast<DirectionCode>(code);
    }
    return kNoDirection;
}

// ---- Names -------------------------------------------------------------------------

inline constexpr size_t kMagicSize = 4;
inline constexpr char kSourceMagic[kMagicSize] = {'N', 'M', '0', '0'};  // "names.raw"
inline constexpr char kDeviceMagic[kMagicSize] = {'N', 'M', '0', '2'};  // "names.bin"

inline constexpr size_t kSourceNamesOffset = kMagicSize;

// A name record: u8 length, then the text.
inline constexpr size_t kLengthSize = 1;
constexpr uint32_t NameRecordSize(size_t length) {
    return static_cast<uint32_t>(kLengthSize + length);
}
// Longest name the converter accepts.
inline constexpr size_t kMaxNameLength = 71;
// Longest name the builder writes: the city street lists of "azbc.bin" keep a
// name's length in six bits beside its offset.
inline constexpr size_t kMaxWrittenNameLength = 63;
// Readers refuse a length byte of this or more.
inline constexpr size_t kReaderNameLimit = 80;
static_assert(kMaxWrittenNameLength < kMaxNameLength && kMaxNameLength < kReaderNameLimit,
              "what is written can be converted and read");
// A name number fits the 24 bits that the source street lists of "azbc.raw" give it.
inline constexpr uint32_t kMaxNameNumber = 0xFFFFFF;

// "names.bin" index entry.
inline constexpr size_t kIndexOffset = kMagicSize;
inline constexpr size_t kIndexEntryFirstOffset = 0;  // u32 offset of the first name
inline constexpr size_t kIndexEntryCountOffset = 4;  // u32 number of names
inline constexpr size_t kIndexEntryBytesOffset = 8;  // u32 sum of length + 1
inline constexpr size_t kIndexEntrySize = 12;
inline constexpr size_t kIndexSize = kLetterPairs * kIndexEntrySize;
inline constexpr size_t kDeviceNamesOffset = kIndexOffset + kIndexSize;
static_assert(kIndexSize == 19536 && kDeviceNamesOffset == 19540, "the names start at 19,540");

// A street name's id that points at no written name ("beyond the written names").
inline constexpr int32_t kNameNotWritten = -2;

struct IndexEntry {
    uint32_t firstOffset = 0;
    uint32_t count = 0;
    uint32_t bytes = 0;
};

inline void EncodeIndexEntry(const IndexEntry& entry, uint8_t* bytes) {
    StoreU32(bytes + kIndexEntryFirstOffset, entry.firstOffset);
    StoreU32(bytes + kIndexEntryCountOffset, entry.count);
    StoreU32(bytes + kIndexEntryBytesOffset, entry.bytes);
}

inline IndexEntry DecodeIndexEntry(const uint8_t* bytes) {
    return {LoadU32(bytes + kIndexEntryFirstOffset), LoadU32(bytes + kIndexEntryCountOffset),
            LoadU32(bytes + kIndexEntryBytesOffset)};
}

inline constexpr size_t IndexEntryOffset(int letterPair) {
    return kIndexOffset + static_cast<size_t>(letterPair) * kIndexEntrySize;
}

// ---- Name text ---------------------------------------------------------------------

namespace text_detail {

// ---- Text ------------------------------------------------------------------------

// Base letters of U+0100 to U+017F (Latin Extended-A); '#' marks the two ligatures.
inline constexpr std::string_view kExtendedA =
    "AAAAAACCCCCCCCDDDDEEEEEEEEEEGGGGGGGGHHHHIIIIIIIIII##JJKKKLLLLLLLLLLNNNNNNNNNOOOOOO##"
    "RRRRRRSSSSSSSSTTTTTTUUUUUUUUUUUUWWYYYZZZZZZS";
static_assert(kExtendedA.size() == 0x80, "one letter per code of Latin Extended-A");

// What a code point is written as: upper-case ASCII, a blank for a mark, nothing
// for what cannot be spelled.
inline std::string_view Spelling(char32_t c) {
    static constexpr std::string_view kLetters = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    static constexpr std::string_view kDigits = "0123456789";
    static constexpr std::string_view kKept = " &'+,./:-";
    // Latin-1 letters 0xC0 to 0xDF; small letters 0xE0 to 0xFF spell as their
    // capitals 0x20 below (0xD7 and 0xF7 are the multiplication and division signs).
    static constexpr std::array<std::string_view, 32> kLatin1 = {
        "A", "A", "A", "A", "A", "A", "AE", "C", "E", "E", "E", "E", "I", "I", "I",  "I",
        "D", "N", "O", "O", "O", "O", "O",  " ", "O", "U", "U", "U", "U", "Y", "TH", "SS"};
    if (c < 0x80) {
        const char ascii = static_cast<char>(c);
        if (ascii >= 'a' && ascii <= 'z')
            return kLetters.substr(ascii - 'a', 1);
        if (ascii >= 'A' && ascii <= 'Z')
            return kLetters.substr(ascii - 'A', 1);
        if (ascii >= '0' && ascii <= '9')
            return kDigits.substr(ascii - '0', 1);
        const size_t kept = kKept.find(ascii);
        return kept == std::string_view::npos ? " " : kKept.substr(kept, 1);
    }
    if (c == 0xFF)
        return "Y";
    if (c >= 0xC0 && c <= 0xFF)
        return kLatin1[(c - 0xC0) & 0x1F];
    if (c >= 0x100 && c <= 0x17F) {
        if (c == 0x132 || c == 0x133)
            return "IJ";
        if (c == 0x152 || c == 0x153)
            return "OE";
        return kExtendedA.substr(c - 0x100, 1);
    }
    // Letters joined by a raised dot (Catalan "l·l") stay joined.
    if (c == 0xB7)
        return "";
    if (c == 0xB4 || c == 0x2018 || c == 0x2019)
        return "'";
    if (c >= 0x2010 && c <= 0x2015)
        return "-";
    // Other signs and blanks of Latin-1 and of general punctuation.
    if (c < 0xC0 || (c >= 0x2000 && c <= 0x206F) || c == 0x3000)
        return " ";
    return "";
}

// Decodes UTF-8; a byte that starts no valid sequence is taken as Latin-1, so text
// in that older encoding still reads.
inline std::u32string DecodeUtf8(std::string_view text) {
    std::u32string out;
    size_t at = 0;
    while (at < text.size()) {
        const auto lead = static_cast<uint8_t>(text[at]);
        int length = 0;
        char32_t c = lead;
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            c = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            c = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            c = lead & 0x07;
        }
        bool valid = length > 0 && at + length <= text.size();
        for (int i = 1; valid && i < length; ++i) {
            const auto next = static_cast<uint8_t>(text[at + i]);
            valid = (next & 0xC0) == 0x80;
            c = c << 6 | (next & 0x3F);
        }
        static constexpr char32_t kSmallest[5] = {0, 0, 0x80, 0x800, 0x10000};
        if (valid && c >= kSmallest[length] && c <= 0x10FFFF && (c < 0xD800 || c > 0xDFFF)) {
            out.push_back(c);
            at += length;
        } else {
            out.push_back(lead);
            ++at;
        }
    }
    return out;
}

inline std::string Trimmed(std::string text) {
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    const size_t first = text.find_first_not_of(' ');
    return first == std::string::npos ? std::string() : text.substr(first);
}

}  // namespace text_detail

// A text (UTF-8) as the name files store it: upper case, letters with accents or
// strokes spelled with their base letters ("Straße" gives "STRASSE"), only
// letters, digits, blanks and & ' + , . / : - kept (other marks become blanks,
// letters of other scripts are dropped), blanks collapsed and trimmed, cut to
// `maxLength` bytes. Every byte so written has a code in the name alphabet, so
// each name lands in an index entry the readers look up.
inline std::string ToNameText(std::string_view utf8, size_t maxLength) {
    std::string text;
    for (char32_t c : text_detail::DecodeUtf8(utf8)) {
        for (char spelled : text_detail::Spelling(c)) {
            if (spelled == ' ' && (text.empty() || text.back() == ' '))
                continue;
            text += spelled;
        }
    }
    if (text.size() > maxLength)
        text.resize(maxLength);
    return text_detail::Trimmed(std::move(text));
}

}  // namespace formats::names

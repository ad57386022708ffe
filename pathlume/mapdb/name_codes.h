// The letter codes of the two-letter name indexes, the reader of one name string of
// "names.bin", and the compass word of a street direction code.
#pragma once

#include <cstdint>
#include <optional>

#include "formats/names.h"
#include "pathlume/foundation/data_file.h"

// Code of a name's first character, 0..36: '0'-'9' 1..10, 'A'-'Z' 11..36, any other
// character (lower case and bytes above 127 included) 0.
int FirstLetterCode(char c);
// Code of a name's second character, 0..43, or -1 for a character that cannot
// appear in a name.
int SecondLetterCode(char c);

inline constexpr int kFirstLetterCodes = 37;
inline constexpr int kSecondLetterCodes = 44;
// Entry of the 37 x 44 two-letter tables.
constexpr int LetterPairIndex(int first, int second) {
    return second + first * kSecondLetterCodes;
}

// The compass word of the low (useLowNibble) or high 4 bits of a direction code:
// 1 "E", 2 "N", 3 "NE", 4 "NW", 5 "S", 6 "SE", 7 "SW", 8 "W"; "" otherwise.
const char* GetDirectionText(uint8_t code, int useLowNibble);

// "names.bin", opened by the start-up loader.
extern CDataFile g_namesFile;

// Checks an opened "names.bin": its magic, and that the index and every run of
// names it points at lie within the file. 0, or 1 after a message box.
int CheckNamesFile(CDataFile& file);

// A names.bin string buffer: names are shorter than this.
inline constexpr int kNameBufferSize = 80;

// Reads the length-prefixed name at `offset` into `buffer` (kNameBufferSize bytes),
// NUL-terminated, and returns its length. The buffer stays empty when the file is
// not open or the name cannot be read; a length of 80 or more is returned with the
// buffer empty.
int ReadNamesBinString(uint32_t offset, char* buffer);

// The "names.bin" index entry of the names that start with c1 c2 (accented
// capitals taken as their base letters); none when a character is outside the
// name alphabet, the entry cannot be read or it counts no names.
std::optional<formats::names::IndexEntry> LookupNamesBigram(char c1, char c2);

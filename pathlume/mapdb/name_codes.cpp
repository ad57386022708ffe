#include "pathlume/mapdb/name_codes.h"

#include "formats/names.h"
#include "pathlume/mapdb/geometry.h"

CDataFile g_namesFile;

// The letter codes are the device files' own: one definition serves the converters
// that write them and the map database that reads them.
int FirstLetterCode(char c) {
    return formats::names::FirstLetterCode(c);
}

int SecondLetterCode(char c) {
    return formats::names::SecondLetterCode(c);
}

const char* GetDirectionText(uint8_t code, int useLowNibble) {
    static const char* const kWords[] = {"", "E", "N", "NE", "NW", "S", "SE", "SW", "W"};
    const int value = useLowNibble ? (code & 0x0F) : (code >> 4);
    return value >= 1 && value <= 8 ? kWords[value] : "";
}

int ReadNamesBinString(uint32_t offset, char* buffer) {
    buffer[0] = '\0';
    if (!g_namesFile.IsOpen())
        return 0;
    unsigned char length = 0;
    if (offset > 0x7FFFFFFF || g_namesFile.Seek(static_cast<int>(offset), 0) != 0 ||
        g_namesFile.Read(&length, 1) != 1)
        return 0;
    if (length >= kNameBufferSize)
        return length;
    if (g_namesFile.Read(buffer, length) != length) {
        buffer[0] = '\0';
        return length;
    }
    buffer[length] = '\0';
    return length;
}

std::optional<formats::names::IndexEntry> LookupNamesBigram(char c1, char c2) {
    namespace names = formats::names;
    const int first = names::FirstLetterCode(static_cast<char>(FoldAccentedChar(c1)));
    const int second = names::SecondLetterCode(static_cast<char>(FoldAccentedChar(c2)));
    uint8_t bytes[names::kIndexEntrySize];
    if (second < 0 || !g_namesFile.IsOpen() ||
        g_namesFile.Seek(
            static_cast<int>(names::IndexEntryOffset(names::LetterPair(first, second))), 0) != 0 ||
        g_namesFile.Read(bytes, sizeof bytes) != sizeof bytes)
        return std::nullopt;
    const names::IndexEntry entry = names::DecodeIndexEntry(bytes);
    if (entry.count == 0)
        return std::nullopt;
    return entry;
}

#include "pathlume/mapdb/name_codes.h"

#include "formats/names.h"
#include "pathlume/foundation/data_location.h"
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

int CheckNamesFile(CDataFile& file) {
    namespace names = formats::names;
    if (file.Seek(0, 0) != 0 || CheckDataFileHeader(file, names::kDeviceMagic, u"names.bin") != 0)
        return 1;
    // A file cut short would give every street an empty name.
    const uint64_t size = file.Size() > 0 ? static_cast<uint64_t>(file.Size()) : 0;
    uint8_t index[names::kIndexSize];
    bool whole = size >= names::kDeviceNamesOffset &&
                 file.Read(index, sizeof index) == static_cast<int>(sizeof index);
    for (int pair = 0; whole && pair < names::kLetterPairs; ++pair) {
        const names::IndexEntry entry =
            names::DecodeIndexEntry(index + static_cast<size_t>(pair) * names::kIndexEntrySize);
        whole = entry.count == 0 || (entry.firstOffset >= names::kDeviceNamesOffset &&
                                     uint64_t{entry.firstOffset} + entry.bytes <= size);
    }
    if (whole)
        return 0;
    ShowInvalidDataFile(u"names.bin");
    return 1;
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

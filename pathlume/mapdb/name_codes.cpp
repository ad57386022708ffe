#include "pathlume/mapdb/name_codes.h"

CDataFile g_namesFile;

int FirstLetterCode(char c) {
    const signed char s = static_cast<signed char>(c);
    if (s >= '0' && s <= '9')
        return s - 47;
    if (s >= 'A' && s <= 'Z')
        return s - 54;
    return 0;
}

int SecondLetterCode(char c) {
    const signed char s = static_cast<signed char>(c);
    switch (s) {
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
    if (s >= '0' && s <= '9')
        return s - 41;
    if (s >= 'A' && s <= 'Z')
        return s - 47;
    return -1;
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

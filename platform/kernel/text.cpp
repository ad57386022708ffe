// Wide strings, case rules, number parsing and code-page conversion.
#include "platform/kernel/text.h"

#include <locale.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// ---- Case ---------------------------------------------------------------------

bool IsHighSurrogate(char16_t c) {
    return c >= 0xD800 && c <= 0xDBFF;
}
bool IsLowSurrogate(char16_t c) {
    return c >= 0xDC00 && c <= 0xDFFF;
}

// Latin Extended-A pairs its letters as (upper, upper + 1) in three runs that
// start on an even code point and one that starts on an odd one; U+0130, U+0131,
// U+0138, U+0149 and U+017F have no simple partner.
char16_t LowerOf(char16_t c) {
    if (c >= u'A' && c <= u'Z') {
        return c + 32;
    }
    if (c < 0xC0) {
        return c;
    }
    if (c <= 0xDE) {
        return c == 0xD7 ? c : c + 32;
    }
    if (c < 0x100 || c > 0x17E) {
        return c;
    }
    if ((c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && c % 2 == 0) {
        return c + 1;
    }
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 1) {
        return c + 1;
    }
    if (c == 0x178) {
        return 0xFF;
    }
    return c;
}

char16_t UpperOf(char16_t c) {
    if (c >= u'a' && c <= u'z') {
        return c - 32;
    }
    if (c < 0xE0) {
        return c;
    }
    if (c <= 0xFE) {
        return c == 0xF7 ? c : c - 32;
    }
    if (c == 0xFF) {
        return 0x178;
    }
    if (c > 0x17E) {
        return c;
    }
    if ((c <= 0x12F || (c >= 0x132 && c <= 0x137) || (c >= 0x14A && c <= 0x177)) && c % 2 == 1) {
        return c - 1;
    }
    if (((c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E)) && c % 2 == 0) {
        return c - 1;
    }
    return c;
}

int CompareFolded(const WCHAR* a, const WCHAR* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        int ca = LowerOf(a[i]);
        int cb = LowerOf(b[i]);
        if (ca != cb || ca == 0) {
            return ca - cb;
        }
    }
    return 0;
}

int Sign(int value) {
    return (value > 0) - (value < 0);
}

// ---- Numbers --------------------------------------------------------------------

int DigitValue(WCHAR c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'z') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'Z') {
        return c - u'A' + 10;
    }
    return 99;
}

struct ParsedInteger {
    uint64_t magnitude = 0;  // saturates at `limit` + 1
    bool negative = false;
    bool any = false;  // false: no digits, nothing consumed
    const WCHAR* end = nullptr;
};

ParsedInteger ParseInteger(const WCHAR* text, int base, uint64_t limit) {
    ParsedInteger result;
    result.end = text;
    if (base < 0 || base == 1 || base > 36) {
        errno = EINVAL;
        return result;
    }
    const WCHAR* p = text;
    while (iswspace(*p)) {
        ++p;
    }
    if (*p == u'+' || *p == u'-') {
        result.negative = *p == u'-';
        ++p;
    }
    bool hexPrefix = p[0] == u'0' && (p[1] == u'x' || p[1] == u'X') && DigitValue(p[2]) < 16;
    if ((base == 0 || base == 16) && hexPrefix) {
        base = 16;
        p += 2;
    } else if (base == 0) {
        base = p[0] == u'0' ? 8 : 10;
    }
    for (; DigitValue(*p) < base; ++p) {
        result.any = true;
        if (result.magnitude <= limit) {
            result.magnitude = result.magnitude * base + DigitValue(*p);
        }
    }
    if (result.any) {
        result.end = p;
    }
    return result;
}

LONG ToLong(const ParsedInteger& parsed) {
    constexpr uint64_t kMaxPositive = INT32_MAX;
    if (parsed.negative) {
        if (parsed.magnitude > kMaxPositive + 1) {
            errno = ERANGE;
            return INT32_MIN;
        }
        return static_cast<LONG>(-static_cast<int64_t>(parsed.magnitude));
    }
    if (parsed.magnitude > kMaxPositive) {
        errno = ERANGE;
        return INT32_MAX;
    }
    return static_cast<LONG>(parsed.magnitude);
}

locale_t CLocale() {
    static locale_t locale = newlocale(LC_ALL_MASK, "C", nullptr);
    return locale;
}

// ---- Code pages -----------------------------------------------------------------

constexpr UINT kCodePage1252 = 1252;

// Windows-1252 0x80..0x9F; the unassigned bytes stand for the C1 control of the
// same value.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};

char16_t AnsiByteToWide(unsigned char byte) {
    return byte >= 0x80 && byte <= 0x9F ? kCp1252High[byte - 0x80] : byte;
}

// The byte for a code point, or -1 when Windows-1252 has none.
int WideToAnsiByte(char32_t c) {
    if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) {
        return static_cast<int>(c);
    }
    for (int i = 0; i < 32; ++i) {
        if (kCp1252High[i] == c) {
            return 0x80 + i;
        }
    }
    return -1;
}

constexpr char32_t kReplacement = 0xFFFD;

// Decodes one character at `index`, advancing it. Ill-formed input gives
// U+FFFD for each maximal ill-formed part and sets `invalid`.
char32_t DecodeUtf8(std::string_view text, size_t& index, bool& invalid) {
    auto byte = [&](size_t i) { return static_cast<unsigned char>(text[i]); };
    unsigned char lead = byte(index++);
    if (lead < 0x80) {
        return lead;
    }
    int more;
    char32_t value;
    unsigned char low = 0x80;
    unsigned char high = 0xBF;
    if (lead >= 0xC2 && lead <= 0xDF) {
        more = 1;
        value = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        more = 2;
        value = lead & 0x0F;
        low = lead == 0xE0 ? 0xA0 : 0x80;
        high = lead == 0xED ? 0x9F : 0xBF;  // no encoded surrogates
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        more = 3;
        value = lead & 0x07;
        low = lead == 0xF0 ? 0x90 : 0x80;
        high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
    } else {
        invalid = true;
        return kReplacement;
    }
    for (int i = 0; i < more; ++i) {
        if (index >= text.size() || byte(index) < low || byte(index) > high) {
            invalid = true;
            return kReplacement;
        }
        value = (value << 6) | (byte(index++) & 0x3F);
        low = 0x80;
        high = 0xBF;
    }
    return value;
}

char32_t DecodeUtf16(std::u16string_view text, size_t& index, bool& invalid) {
    char16_t unit = text[index++];
    if (IsHighSurrogate(unit) && index < text.size() && IsLowSurrogate(text[index])) {
        char16_t second = text[index++];
        return 0x10000 + ((static_cast<char32_t>(unit) - 0xD800) << 10) + (second - 0xDC00);
    }
    if (IsHighSurrogate(unit) || IsLowSurrogate(unit)) {
        invalid = true;
        return kReplacement;
    }
    return unit;
}

void AppendUtf16(std::u16string& out, char32_t c) {
    if (c < 0x10000) {
        out.push_back(static_cast<char16_t>(c));
    } else {
        c -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
    }
}

void AppendUtf8(std::string& out, char32_t c) {
    if (c < 0x80) {
        out.push_back(static_cast<char>(c));
    } else if (c < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (c >> 6)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else if (c < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (c >> 12)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (c >> 18)));
        out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
}

std::u16string DecodeMultiByte(UINT codePage, std::string_view text, bool& invalid) {
    std::u16string out;
    out.reserve(text.size());
    if (codePage == CP_UTF8) {
        for (size_t i = 0; i < text.size();) {
            AppendUtf16(out, DecodeUtf8(text, i, invalid));
        }
    } else {
        for (char c : text) {
            out.push_back(AnsiByteToWide(static_cast<unsigned char>(c)));
        }
    }
    return out;
}

std::string EncodeMultiByte(UINT codePage, std::u16string_view text, char defaultChar,
                            bool& invalid, bool& usedDefault) {
    std::string out;
    out.reserve(text.size());
    for (size_t i = 0; i < text.size();) {
        char32_t c = DecodeUtf16(text, i, invalid);
        if (codePage == CP_UTF8) {
            AppendUtf8(out, c);
            continue;
        }
        int byte = WideToAnsiByte(c);
        if (byte < 0) {
            usedDefault = true;
            out.push_back(defaultChar);
        } else {
            out.push_back(static_cast<char>(byte));
        }
    }
    return out;
}

bool IsSupportedCodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == kCodePage1252 || codePage == CP_UTF8;
}

// Copies a converted text into the caller's buffer by the platform's size rules.
// `cut` gives the longest prefix of `out` that ends on a character boundary and
// is at most a given length.
template <typename Char, typename CutFn>
int DeliverConverted(const std::basic_string<Char>& out, Char* destination, int capacity,
                     CutFn cut) {
    if (out.size() > static_cast<size_t>(INT_MAX)) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    int needed = static_cast<int>(out.size());
    if (capacity == 0) {
        return needed;
    }
    if (needed <= capacity) {
        std::copy(out.begin(), out.end(), destination);
        return needed;
    }
    // Not on the platform: the cut text is terminated, so that a caller that
    // ignores the failure never reads past its buffer.
    size_t kept = cut(static_cast<size_t>(capacity - 1));
    std::copy(out.begin(), out.begin() + kept, destination);
    destination[kept] = 0;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
}

}  // namespace

// ---- Length, copy, concatenation ------------------------------------------------

size_t wcslen(const WCHAR* text) {
    const WCHAR* p = text;
    while (*p) {
        ++p;
    }
    return static_cast<size_t>(p - text);
}

WCHAR* wcscpy(WCHAR* destination, const WCHAR* source) {
    WCHAR* d = destination;
    while ((*d++ = *source++) != 0) {
    }
    return destination;
}

WCHAR* wcsncpy(WCHAR* destination, const WCHAR* source, size_t count) {
    size_t i = 0;
    for (; i < count && source[i]; ++i) {
        destination[i] = source[i];
    }
    for (; i < count; ++i) {
        destination[i] = 0;
    }
    return destination;
}

WCHAR* wcscat(WCHAR* destination, const WCHAR* source) {
    wcscpy(destination + wcslen(destination), source);
    return destination;
}

// ---- Comparison -----------------------------------------------------------------

int wcscmp(const WCHAR* a, const WCHAR* b) {
    return wcsncmp(a, b, SIZE_MAX);
}

int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        if (a[i] != b[i] || a[i] == 0) {
            return static_cast<int>(a[i]) - static_cast<int>(b[i]);
        }
    }
    return 0;
}

int _wcsicmp(const WCHAR* a, const WCHAR* b) {
    return CompareFolded(a, b, SIZE_MAX);
}

int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t count) {
    return CompareFolded(a, b, count);
}

// ---- Search ---------------------------------------------------------------------

const WCHAR* wcschr(const WCHAR* text, WCHAR ch) {
    for (;; ++text) {
        if (*text == ch) {
            return text;
        }
        if (*text == 0) {
            return nullptr;
        }
    }
}

WCHAR* wcschr(WCHAR* text, WCHAR ch) {
    return const_cast<WCHAR*>(wcschr(static_cast<const WCHAR*>(text), ch));
}

const WCHAR* wcsrchr(const WCHAR* text, WCHAR ch) {
    const WCHAR* found = nullptr;
    for (;; ++text) {
        if (*text == ch) {
            found = text;
        }
        if (*text == 0) {
            return found;
        }
    }
}

WCHAR* wcsrchr(WCHAR* text, WCHAR ch) {
    return const_cast<WCHAR*>(wcsrchr(static_cast<const WCHAR*>(text), ch));
}

const WCHAR* wcsstr(const WCHAR* text, const WCHAR* part) {
    size_t partLength = wcslen(part);
    for (; *text; ++text) {
        if (wcsncmp(text, part, partLength) == 0) {
            return text;
        }
    }
    return partLength == 0 ? text : nullptr;
}

WCHAR* wcsstr(WCHAR* text, const WCHAR* part) {
    return const_cast<WCHAR*>(wcsstr(static_cast<const WCHAR*>(text), part));
}

WCHAR* wcstok(WCHAR* text, const WCHAR* delimiters, WCHAR** state) {
    WCHAR* p = text ? text : *state;
    if (p == nullptr) {
        return nullptr;
    }
    while (*p && wcschr(delimiters, *p)) {
        ++p;
    }
    if (*p == 0) {
        *state = p;
        return nullptr;
    }
    WCHAR* token = p;
    while (*p && !wcschr(delimiters, *p)) {
        ++p;
    }
    if (*p) {
        *p++ = 0;
    }
    *state = p;
    return token;
}

WCHAR* wcstok(WCHAR* text, const WCHAR* delimiters) {
    thread_local WCHAR* state = nullptr;
    return wcstok(text, delimiters, &state);
}

// ---- Numbers --------------------------------------------------------------------

LONG wcstol(const WCHAR* text, WCHAR** end, int base) {
    ParsedInteger parsed = ParseInteger(text, base, uint64_t{INT32_MAX} + 1);
    if (end) {
        *end = const_cast<WCHAR*>(parsed.end);
    }
    return ToLong(parsed);
}

ULONG wcstoul(const WCHAR* text, WCHAR** end, int base) {
    ParsedInteger parsed = ParseInteger(text, base, UINT32_MAX);
    if (end) {
        *end = const_cast<WCHAR*>(parsed.end);
    }
    if (parsed.magnitude > UINT32_MAX) {
        errno = ERANGE;
        return UINT32_MAX;
    }
    ULONG value = static_cast<ULONG>(parsed.magnitude);
    return parsed.negative ? 0u - value : value;
}

double wcstod(const WCHAR* text, WCHAR** end) {
    const WCHAR* p = text;
    while (iswspace(*p)) {
        ++p;
    }
    // Numbers are ASCII; the C library parses the ASCII run in the "C" locale.
    std::string ascii;
    for (const WCHAR* q = p; *q && *q < 0x80; ++q) {
        ascii.push_back(static_cast<char>(*q));
    }
    char* asciiEnd = nullptr;
    double value = strtod_l(ascii.c_str(), &asciiEnd, CLocale());
    size_t used = static_cast<size_t>(asciiEnd - ascii.c_str());
    if (end) {
        *end = const_cast<WCHAR*>(used == 0 ? text : p + used);
    }
    return value;
}

int _wtoi(const WCHAR* text) {
    return ToLong(ParseInteger(text, 10, uint64_t{INT32_MAX} + 1));
}

LONG _wtol(const WCHAR* text) {
    return _wtoi(text);
}

double _wtof(const WCHAR* text) {
    return wcstod(text, nullptr);
}

// ---- Characters and case ---------------------------------------------------------

WCHAR towlower(WCHAR ch) {
    return LowerOf(ch);
}

WCHAR towupper(WCHAR ch) {
    return UpperOf(ch);
}

int iswdigit(WCHAR ch) {
    return ch >= u'0' && ch <= u'9';
}

int iswspace(WCHAR ch) {
    return (ch >= 0x09 && ch <= 0x0D) || ch == 0x20 || ch == 0x85 || ch == 0xA0 || ch == 0x1680 ||
           (ch >= 0x2000 && ch <= 0x200A) || ch == 0x2028 || ch == 0x2029 || ch == 0x202F ||
           ch == 0x205F || ch == 0x3000;
}

int iswupper(WCHAR ch) {
    return LowerOf(ch) != ch || ch == 0x130;
}

int iswlower(WCHAR ch) {
    return UpperOf(ch) != ch || ch == 0xDF || ch == 0x131 || ch == 0x138 || ch == 0x149 ||
           ch == 0x17F;
}

int iswalpha(WCHAR ch) {
    return iswupper(ch) || iswlower(ch) || ch == 0xAA || ch == 0xB5 || ch == 0xBA;
}

int iswalnum(WCHAR ch) {
    return iswalpha(ch) || iswdigit(ch);
}

namespace {

bool IsWideChar(int ch) {
    return ch >= 0 && ch <= 0xFFFF;
}

}  // namespace

int towlower(int ch) {
    return IsWideChar(ch) ? LowerOf(static_cast<WCHAR>(ch)) : ch;
}
int towupper(int ch) {
    return IsWideChar(ch) ? UpperOf(static_cast<WCHAR>(ch)) : ch;
}
int iswdigit(int ch) {
    return IsWideChar(ch) && iswdigit(static_cast<WCHAR>(ch));
}
int iswspace(int ch) {
    return IsWideChar(ch) && iswspace(static_cast<WCHAR>(ch));
}
int iswalpha(int ch) {
    return IsWideChar(ch) && iswalpha(static_cast<WCHAR>(ch));
}
int iswalnum(int ch) {
    return IsWideChar(ch) && iswalnum(static_cast<WCHAR>(ch));
}
int iswupper(int ch) {
    return IsWideChar(ch) && iswupper(static_cast<WCHAR>(ch));
}
int iswlower(int ch) {
    return IsWideChar(ch) && iswlower(static_cast<WCHAR>(ch));
}

WCHAR* _wcsupr(WCHAR* text) {
    for (WCHAR* p = text; *p; ++p) {
        *p = UpperOf(*p);
    }
    return text;
}

WCHAR* _wcslwr(WCHAR* text) {
    for (WCHAR* p = text; *p; ++p) {
        *p = LowerOf(*p);
    }
    return text;
}

LPWSTR CharUpperW(LPWSTR textOrChar) {
    auto value = reinterpret_cast<uintptr_t>(textOrChar);
    if (value <= 0xFFFF) {
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(UpperOf(static_cast<WCHAR>(value))));
    }
    return _wcsupr(textOrChar);
}

LPWSTR CharLowerW(LPWSTR textOrChar) {
    auto value = reinterpret_cast<uintptr_t>(textOrChar);
    if (value <= 0xFFFF) {
        return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(LowerOf(static_cast<WCHAR>(value))));
    }
    return _wcslwr(textOrChar);
}

// ---- The lstr*W calls ------------------------------------------------------------

int lstrlenW(LPCWSTR text) {
    return text ? static_cast<int>(wcslen(text)) : 0;
}

LPWSTR lstrcpyW(LPWSTR destination, LPCWSTR source) {
    return destination && source ? wcscpy(destination, source) : nullptr;
}

LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength) {
    if (!destination || !source) {
        return nullptr;
    }
    if (maxLength <= 0) {
        return destination;
    }
    int i = 0;
    for (; i < maxLength - 1 && source[i]; ++i) {
        destination[i] = source[i];
    }
    destination[i] = 0;
    return destination;
}

LPWSTR lstrcatW(LPWSTR destination, LPCWSTR source) {
    return destination && source ? wcscat(destination, source) : nullptr;
}

int lstrcmpW(LPCWSTR a, LPCWSTR b) {
    if (!a || !b) {
        return (a != nullptr) - (b != nullptr);
    }
    return Sign(wcscmp(a, b));
}

int lstrcmpiW(LPCWSTR a, LPCWSTR b) {
    if (!a || !b) {
        return (a != nullptr) - (b != nullptr);
    }
    return Sign(_wcsicmp(a, b));
}

// ---- Code pages -----------------------------------------------------------------

int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes,
                        LPWSTR destination, int destinationChars) {
    if (!IsSupportedCodePage(codePage) || !source || sourceBytes == 0 || sourceBytes < -1 ||
        destinationChars < 0 || (!destination && destinationChars > 0)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (flags & ~static_cast<DWORD>(MB_PRECOMPOSED | MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t length = sourceBytes == -1 ? std::strlen(source) + 1 : static_cast<size_t>(sourceBytes);
    bool invalid = false;
    std::u16string out = DecodeMultiByte(codePage, std::string_view(source, length), invalid);
    if (invalid && (flags & MB_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    return DeliverConverted(out, destination, destinationChars, [&](size_t kept) {
        if (kept > 0 && IsHighSurrogate(out[kept - 1])) {
            --kept;
        }
        return kept;
    });
}

int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars,
                        LPSTR destination, int destinationBytes, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar) {
    if (!IsSupportedCodePage(codePage) || !source || sourceChars == 0 || sourceChars < -1 ||
        destinationBytes < 0 || (!destination && destinationBytes > 0) ||
        (codePage == CP_UTF8 && (defaultChar || usedDefaultChar))) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (flags & ~static_cast<DWORD>(WC_NO_BEST_FIT_CHARS | WC_ERR_INVALID_CHARS)) {
        SetLastError(ERROR_INVALID_FLAGS);
        return 0;
    }
    size_t length = sourceChars == -1 ? wcslen(source) + 1 : static_cast<size_t>(sourceChars);
    bool invalid = false;
    bool usedDefault = false;
    std::string out = EncodeMultiByte(codePage, std::u16string_view(source, length),
                                      defaultChar ? *defaultChar : '?', invalid, usedDefault);
    if (invalid && (flags & WC_ERR_INVALID_CHARS) && codePage == CP_UTF8) {
        SetLastError(ERROR_NO_UNICODE_TRANSLATION);
        return 0;
    }
    if (usedDefaultChar) {
        *usedDefaultChar = usedDefault ? TRUE : FALSE;
    }
    return DeliverConverted(out, destination, destinationBytes, [&](size_t kept) {
        // Back up over the continuation bytes of a cut UTF-8 sequence.
        while (kept > 0 && (static_cast<unsigned char>(out[kept]) & 0xC0) == 0x80) {
            --kept;
        }
        return kept;
    });
}

namespace platform {

std::u16string Utf8ToWide(std::string_view text) {
    bool invalid = false;
    return DecodeMultiByte(CP_UTF8, text, invalid);
}

std::string WideToUtf8(std::u16string_view text) {
    bool invalid = false;
    bool usedDefault = false;
    return EncodeMultiByte(CP_UTF8, text, '?', invalid, usedDefault);
}

std::u16string AnsiToWide(std::string_view text) {
    bool invalid = false;
    return DecodeMultiByte(CP_ACP, text, invalid);
}

std::string WideToAnsi(std::u16string_view text) {
    bool invalid = false;
    bool usedDefault = false;
    return EncodeMultiByte(CP_ACP, text, '?', invalid, usedDefault);
}

}  // namespace platform

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdarg>
#include <functional>
#include <string>
#include <vector>

#include "platform/kernel/kernel.h"

namespace {

std::u16string W(const WCHAR* format, ...) {
    WCHAR buffer[kWsprintfMaxChars + 16];
    va_list args;
    va_start(args, format);
    int length = wvsprintfW(buffer, format, args);
    va_end(args);
    EXPECT_EQ(length, static_cast<int>(wcslen(buffer)));
    return buffer;
}

struct FormatCase {
    std::u16string actual;
    std::u16string expected;
};

void ExpectAll(const std::vector<FormatCase>& cases) {
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cases[i].actual, cases[i].expected) << "case " << i;
    }
}

TEST(Format, Integers) {
    ExpectAll({
        {W(u"%d|%i|%u", 0, -42, 7u), u"0|-42|7"},
        {W(u"%d", INT_MIN), u"-2147483648"},
        {W(u"%u", UINT_MAX), u"4294967295"},
        {W(u"[%5d][%-5d][%05d]", 42, 42, -42), u"[   42][42   ][-0042]"},
        {W(u"[%+d][% d][%+05d][%+d]", 5, 5, 5, -5), u"[+5][ 5][+0005][-5]"},
        {W(u"[%-05d]", 7), u"[7    ]"},
        {W(u"[%.2d][%0.2d][%.0d][%8.3d][%08.3d]", 5, 5, 0, 7, 7),
         u"[05][05][][     007][     007]"},
        {W(u"%2d:%02d", 9, 5), u" 9:05"},
        {W(u"%x %X %04x %lx", 255, 0xBEEFu, 0x1Fu, 0xFFFFFFFFu), u"ff BEEF 001f ffffffff"},
        {W(u"%#x %#X %#x %o %#o", 255u, 255u, 0u, 8u, 8u), u"0xff 0XFF 0 10 010"},
        // l is 32 bits, as LONG and DWORD are.
        {W(u"%ld %lu %lu:%lu", LONG{-7}, DWORD{4000000000u}, DWORD{1}, DWORD{2}),
         u"-7 4000000000 1:2"},
        {W(u"%lld %I64u", LONGLONG{-5000000000}, ULONGLONG{18446744073709551615ull}),
         u"-5000000000 18446744073709551615"},
        {W(u"%hd %hu", 70000, 70000), u"4464 4464"},
        {W(u"[%*d][%-*d][%*d][%.*d]", 4, 7, 4, 7, -4, 7, 3, 7), u"[   7][7   ][7   ][007]"},
    });
}

TEST(Format, Floats) {
    ExpectAll({
        {W(u"%f|%lf", 1.5, 1.25), u"1.500000|1.250000"},
        // Rounding works on the binary value: 2.675 and 1.005 lie just below.
        {W(u"%.2f %.2f %.2f", 2.675, 1.005, 1.006), u"2.67 1.00 1.01"},
        {W(u"%0.0f mi|%0.1f km|%.1f", 69.09, 9.96, 9.96), u"69 mi|10.0 km|10.0"},
        {W(u"[%06.1f][%4.1f][%+.1f][%-6.1f]", -3.14159, 5.26, 2.0, 1.0),
         u"[-003.1][ 5.3][+2.0][1.0   ]"},
        {W(u"%.2f MB", 29.5f), u"29.50 MB"},
        {W(u"%.*f", 3, 0.5), u"0.500"},
        // Zero padding never turns infinity into digits.
        {W(u"[%08.2f]", INFINITY), u"[     inf]"},
    });
}

TEST(Format, FloatPrecisionBeyondEveryDigitPadsZeros) {
    WCHAR buffer[1300];
    int length = swprintf(buffer, 1300, u"%.1200f", 0.5);
    ASSERT_EQ(length, 1202);
    EXPECT_EQ(std::u16string(buffer, 3), u"0.5");
    EXPECT_EQ(std::u16string(buffer + 3), std::u16string(1199, u'0'));
}

TEST(Format, TextAndCharacters) {
    ExpectAll({
        // %s is WCHAR text and %S single-byte ANSI text; h and l force either.
        {W(u"%s|%S|%hs|%ls|%ws", u"wide", "narrow", "h", u"l", u"w"), u"wide|narrow|h|l|w"},
        {W(u"[%5s][%-5s][%.2s][%.2S]", u"abc", u"abc", u"abc", "xyz"), u"[  abc][abc  ][ab][xy]"},
        {W(u"%s %S", static_cast<const WCHAR*>(nullptr), static_cast<const char*>(nullptr)),
         u"(null) (null)"},
        {W(u"%S", "\x80 caf\xE9"), u"\u20AC caf\u00E9"},
        {W(u"%c%c%C%hc%lc", u'Z', 0x20AC, 'A', '\x9F', u'\u00E9'), u"Z\u20ACA\u0178\u00E9"},
        {W(u"[%3c]", u'x'), u"[  x]"},
        {W(u"100%% %q"), u"100% q"},
        {W(u"Local: %04d/%02d/%02d %02d:%02d:%02d", 2024, 3, 9, 7, 5, 0),
         u"Local: 2024/03/09 07:05:00"},
        {W(u"%s%s", u"\\My Documents\\", u"recent.dat"), u"\\My Documents\\recent.dat"},
        {W(u"%s", u"\U0001F600"), u"\U0001F600"},
        {W(nullptr), u""},
        {W(u"trailing %"), u"trailing "},
    });
}

TEST(Format, WsprintfStopsAtTheLimitAndTerminates) {
    std::u16string longText(2000, u'a');
    WCHAR buffer[kWsprintfMaxChars + 8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(wsprintfW(buffer, u"%s", longText.c_str()), kWsprintfMaxChars - 1);
    EXPECT_EQ(buffer[kWsprintfMaxChars - 1], 0);
    EXPECT_EQ(buffer[kWsprintfMaxChars], u'#');
    EXPECT_EQ(std::u16string(buffer), longText.substr(0, kWsprintfMaxChars - 1));

    // Width padding of any size is cut the same way.
    EXPECT_EQ(wsprintfW(buffer, u"%*d", INT_MAX, 1), kWsprintfMaxChars - 1);
    EXPECT_EQ(buffer[kWsprintfMaxChars - 1], 0);

    // A cut never leaves half a surrogate pair.
    std::u16string edge = std::u16string(kWsprintfMaxChars - 2, u'a') + u"\U0001F600";
    EXPECT_EQ(wsprintfW(buffer, u"%s", edge.c_str()), kWsprintfMaxChars - 2);
    EXPECT_EQ(std::u16string(buffer), std::u16string(kWsprintfMaxChars - 2, u'a'));
}

TEST(Format, BoundedFormsReportCutsAndAlwaysTerminate) {
    WCHAR buffer[8];
    auto reset = [&] { std::fill(std::begin(buffer), std::end(buffer), u'#'); };

    reset();
    EXPECT_EQ(_snwprintf(buffer, 5, u"%d", 1234), 4);
    EXPECT_EQ(std::u16string(buffer), u"1234");

    reset();
    EXPECT_EQ(_snwprintf(buffer, 4, u"%d", 1234), -1);
    EXPECT_EQ(std::u16string(buffer), u"123");
    EXPECT_EQ(buffer[4], u'#');

    reset();
    EXPECT_EQ(swprintf(buffer, 0, u"x"), -1);
    EXPECT_EQ(buffer[0], u'#');
    EXPECT_EQ(swprintf(nullptr, 0, u""), -1);

    reset();
    EXPECT_EQ(swprintf(buffer, 1, u"%s", u"abc"), -1);
    EXPECT_EQ(buffer[0], 0);
    EXPECT_EQ(buffer[1], u'#');

    reset();
    EXPECT_EQ(swprintf(buffer, 8, u"%s", u"\U0001F600\U0001F600\U0001F600\U0001F600"), -1);
    EXPECT_EQ(std::u16string(buffer), u"\U0001F600\U0001F600\U0001F600");
}

TEST(WideStrings, Comparisons) {
    EXPECT_EQ(wcscmp(u"abc", u"abc"), 0);
    EXPECT_LT(wcscmp(u"abc", u"abd"), 0);
    EXPECT_LT(wcscmp(u"ab", u"abc"), 0);
    EXPECT_GT(wcscmp(u"\u00E9", u"z"), 0);  // code units compare unsigned
    EXPECT_GT(wcscmp(u"\uFFFF", u"a"), 0);
    EXPECT_EQ(wcsncmp(u"abcX", u"abcY", 3), 0);
    EXPECT_NE(wcsncmp(u"abcX", u"abcY", 4), 0);

    EXPECT_EQ(_wcsicmp(u"Street", u"sTREET"), 0);
    EXPECT_EQ(_wcsicmp(u"\u00C9COLE \u0160KODA \u0178", u"\u00E9cole \u0161koda \u00FF"), 0);
    EXPECT_NE(_wcsicmp(u"\u00D7", u"\u00F7"), 0);  // the multiplication and division signs
    // Folding is to lower case, so '_' sorts before letters.
    EXPECT_LT(_wcsicmp(u"_", u"A"), 0);
    EXPECT_LT(_wcsicmp(u"abc", u"ABCD"), 0);
    EXPECT_EQ(_wcsnicmp(u"MAIN st", u"main ST", 7), 0);
    EXPECT_EQ(_wcsnicmp(u"MAINx", u"mainy", 4), 0);
    EXPECT_NE(_wcsnicmp(u"MAINx", u"mainy", 5), 0);

    EXPECT_EQ(lstrcmpW(u"a", u"b"), -1);
    EXPECT_EQ(lstrcmpW(u"b", u"a"), 1);
    EXPECT_EQ(lstrcmpiW(u"HELLO", u"hello"), 0);
    EXPECT_EQ(lstrcmpiW(u"b", u"A"), 1);
    EXPECT_EQ(lstrcmpW(nullptr, u""), -1);
    EXPECT_EQ(lstrcmpiW(u"", nullptr), 1);
    EXPECT_EQ(lstrcmpW(nullptr, nullptr), 0);
}

TEST(WideStrings, CaseMapping) {
    struct Pair {
        WCHAR upper;
        WCHAR lower;
    };
    for (Pair pair :
         {Pair{u'A', u'a'}, Pair{u'Z', u'z'}, Pair{0xC0, 0xE0}, Pair{0xDE, 0xFE}, Pair{0x178, 0xFF},
          Pair{0x100, 0x101}, Pair{0x139, 0x13A}, Pair{0x14A, 0x14B}, Pair{0x17D, 0x17E}}) {
        EXPECT_EQ(towlower(pair.upper), pair.lower) << std::hex << int{pair.upper};
        EXPECT_EQ(towupper(pair.lower), pair.upper) << std::hex << int{pair.lower};
        EXPECT_TRUE(iswupper(pair.upper) && iswlower(pair.lower) && iswalpha(pair.upper));
    }
    for (WCHAR same : {u'1', u'_', WCHAR{0xD7}, WCHAR{0xF7}, WCHAR{0xDF}, WCHAR{0x131},
                       WCHAR{0x138}, WCHAR{0x149}, WCHAR{0x20AC}, WCHAR{0x4E2D}}) {
        EXPECT_EQ(towupper(same), same) << std::hex << int{same};
        EXPECT_EQ(towlower(same), same) << std::hex << int{same};
    }
    // Every mapping undoes itself, so no letter is folded onto a stranger.
    for (WCHAR c = 0; c < 0x200; ++c) {
        if (towupper(c) != c) {
            EXPECT_EQ(towlower(towupper(c)), c) << std::hex << int{c};
        }
        if (towlower(c) != c) {
            EXPECT_EQ(towupper(towlower(c)), c) << std::hex << int{c};
        }
    }
    // Every letter pair of the ANSI code page folds (Š š, Œ œ, Ž ž, Ÿ ÿ, ...).
    for (int byte = 0x80; byte < 0x100; ++byte) {
        WCHAR upper = platform::AnsiToWide(std::string(1, static_cast<char>(byte)))[0];
        std::string lowered = platform::WideToAnsi(std::u16string(1, towlower(upper)));
        EXPECT_EQ(lowered != std::string(1, static_cast<char>(byte)), iswupper(upper) != 0)
            << std::hex << byte;
        EXPECT_NE(lowered, "?") << std::hex << byte;
    }

    WCHAR text[] = u"Stra\u00DFe \u00C9t\u00E9";
    EXPECT_EQ(std::u16string(_wcsupr(text)), u"STRA\u00DFE \u00C9T\u00C9");
    EXPECT_EQ(std::u16string(_wcslwr(text)), u"stra\u00DFe \u00E9t\u00E9");
    EXPECT_EQ(std::u16string(CharUpperW(text)), u"STRA\u00DFE \u00C9T\u00C9");
    EXPECT_EQ(std::u16string(CharLowerW(text)), u"stra\u00DFe \u00E9t\u00E9");
    // A character passed in the pointer comes back the same way.
    auto asPointer = [](WCHAR c) { return reinterpret_cast<LPWSTR>(static_cast<uintptr_t>(c)); };
    EXPECT_EQ(CharUpperW(asPointer(u'\u00E9')), asPointer(u'\u00C9'));
    EXPECT_EQ(CharLowerW(asPointer(u'Q')), asPointer(u'q'));
}

TEST(WideStrings, Classification) {
    EXPECT_TRUE(iswdigit(u'0') && iswdigit(u'9'));
    EXPECT_FALSE(iswdigit(u'a') || iswdigit(u'/') || iswdigit(0x0660));
    EXPECT_TRUE(iswspace(u' ') && iswspace(u'\t') && iswspace(u'\r') && iswspace(0xA0));
    EXPECT_FALSE(iswspace(u'x') || iswspace(0));
    EXPECT_TRUE(iswalpha(0xDF) && iswalpha(0xAA) && iswalnum(u'7') && iswalnum(u'q'));
    EXPECT_FALSE(iswalpha(u'7') || iswalpha(0xD7) || iswalnum(u'-'));
}

TEST(WideStrings, CopyAndConcatenate) {
    WCHAR buffer[8];
    std::fill(std::begin(buffer), std::end(buffer), u'#');
    EXPECT_EQ(wcsncpy(buffer, u"ab", 5), buffer);
    EXPECT_EQ(std::u16string(buffer, 6), std::u16string(u"ab\0\0\0#", 6));
    // A source as long as the count is not terminated.
    wcsncpy(buffer, u"wxyz", 3);
    EXPECT_EQ(std::u16string(buffer, 4), std::u16string(u"wxy\0", 4));

    EXPECT_EQ(lstrcpynW(buffer, u"abcdefghij", 5), buffer);
    EXPECT_EQ(std::u16string(buffer), u"abcd");
    lstrcpynW(buffer, u"xyz", 1);
    EXPECT_EQ(buffer[0], 0);
    lstrcpynW(buffer, u"xy", 8);
    EXPECT_EQ(std::u16string(buffer), u"xy");

    wcscpy(buffer, u"ab");
    wcscat(buffer, u"cd");
    EXPECT_EQ(std::u16string(lstrcatW(buffer, u"ef")), u"abcdef");
    EXPECT_EQ(wcslen(buffer), 6u);
    EXPECT_EQ(lstrlenW(buffer), 6);
    EXPECT_EQ(std::u16string(lstrcpyW(buffer, u"new")), u"new");

    EXPECT_EQ(lstrlenW(nullptr), 0);
    EXPECT_EQ(lstrcpyW(buffer, nullptr), nullptr);
    EXPECT_EQ(lstrcpyW(nullptr, u"x"), nullptr);
    EXPECT_EQ(lstrcatW(buffer, nullptr), nullptr);
    EXPECT_EQ(lstrcpynW(buffer, nullptr, 4), nullptr);
    EXPECT_EQ(std::u16string(buffer), u"new");
}

TEST(WideStrings, Search) {
    const WCHAR* path = u"\\My Documents\\maps\\x.gps";
    EXPECT_EQ(wcschr(path, u'\\'), path);
    EXPECT_EQ(wcsrchr(path, u'\\'), path + 18);
    EXPECT_EQ(wcschr(path, u'?'), nullptr);
    EXPECT_EQ(wcschr(path, 0), path + wcslen(path));
    EXPECT_EQ(wcsstr(path, u"maps"), path + 14);
    EXPECT_EQ(wcsstr(path, u"Maps"), nullptr);
    EXPECT_EQ(wcsstr(path, u""), path);
    const WCHAR* repeated = u"aaab";
    EXPECT_EQ(wcsstr(repeated, u"aab"), repeated + 1);

    WCHAR mutableText[] = u"x.y.z";
    WCHAR* dot = wcsrchr(mutableText, u'.');
    ASSERT_NE(dot, nullptr);
    *dot = 0;
    EXPECT_EQ(std::u16string(mutableText), u"x.y");
}

TEST(WideStrings, TokensSkipEmptyParts) {
    WCHAR lines[] = u"||Home\n1 Main St|Work\n2 Elm St||";
    std::vector<std::u16string> parts;
    for (WCHAR* token = wcstok(lines, u"|"); token; token = wcstok(nullptr, u"|")) {
        parts.push_back(token);
    }
    EXPECT_EQ(parts, (std::vector<std::u16string>{u"Home\n1 Main St", u"Work\n2 Elm St"}));
    EXPECT_EQ(wcstok(nullptr, u"|"), nullptr);

    WCHAR empty[] = u"|||";
    EXPECT_EQ(wcstok(empty, u"|"), nullptr);

    WCHAR words[] = u"a b";
    WCHAR* state = nullptr;
    EXPECT_EQ(std::u16string(wcstok(words, u" ", &state)), u"a");
    EXPECT_EQ(std::u16string(wcstok(nullptr, u" ", &state)), u"b");
    EXPECT_EQ(wcstok(nullptr, u" ", &state), nullptr);
}

TEST(WideStrings, IntegerParsing) {
    struct Case {
        const WCHAR* text;
        int base;
        LONG value;
        size_t consumed;
        bool outOfRange;
    };
    for (const Case& c : {
             Case{u"  -123xyz", 10, -123, 6, false},
             Case{u"+42", 10, 42, 3, false},
             Case{u"0x1F", 16, 31, 4, false},
             Case{u"0x1F", 0, 31, 4, false},
             Case{u"017", 0, 15, 3, false},
             Case{u"0x", 16, 0, 1, false},  // the "x" is not part of the number
             Case{u"7fffffff", 16, INT32_MAX, 8, false},
             Case{u"2147483647", 10, INT32_MAX, 10, false},
             Case{u"2147483648", 10, INT32_MAX, 10, true},
             Case{u"-2147483648", 10, INT32_MIN, 11, false},
             Case{u"-99999999999999999999", 10, INT32_MIN, 21, true},
             Case{u"abc", 10, 0, 0, false},
             Case{u"", 10, 0, 0, false},
             Case{u"12", 1, 0, 0, false},
         }) {
        WCHAR* end = nullptr;
        errno = 0;
        EXPECT_EQ(wcstol(c.text, &end, c.base), c.value) << std::u16string(c.text).size();
        EXPECT_EQ(static_cast<size_t>(end - c.text), c.consumed);
        EXPECT_EQ(errno == ERANGE, c.outOfRange);
    }

    errno = 0;
    EXPECT_EQ(wcstoul(u"FFFFFFFF", nullptr, 16), 0xFFFFFFFFu);
    EXPECT_EQ(wcstoul(u"-1", nullptr, 10), 0xFFFFFFFFu);
    EXPECT_EQ(errno, 0);
    EXPECT_EQ(wcstoul(u"4294967296", nullptr, 10), 0xFFFFFFFFu);
    EXPECT_EQ(errno, ERANGE);

    EXPECT_EQ(_wtoi(u" 42abc"), 42);
    EXPECT_EQ(_wtoi(u"-0017"), -17);
    EXPECT_EQ(_wtoi(u"x1"), 0);
    EXPECT_EQ(_wtoi(u"99999999999"), INT_MAX);
    EXPECT_EQ(_wtol(u"-99999999999"), INT32_MIN);
}

TEST(WideStrings, FloatParsing) {
    const WCHAR* text = u" 3.25e2x";
    WCHAR* end = nullptr;
    EXPECT_DOUBLE_EQ(wcstod(text, &end), 325.0);
    EXPECT_EQ(end, text + 7);
    const WCHAR* none = u"  abc";
    EXPECT_EQ(wcstod(none, &end), 0.0);
    EXPECT_EQ(end, none);
    // A non-ASCII character ends the number.
    const WCHAR* withUnit = u"12.5\u00B0";
    EXPECT_DOUBLE_EQ(wcstod(withUnit, &end), 12.5);
    EXPECT_EQ(end, withUnit + 4);
    EXPECT_DOUBLE_EQ(_wtof(u"-0.5"), -0.5);
    EXPECT_DOUBLE_EQ(_wtof(u"47.6062N"), 47.6062);
}

// ---- Code pages -----------------------------------------------------------------

std::string AllAnsiBytes() {
    std::string bytes;
    for (int b = 1; b < 256; ++b) {
        bytes.push_back(static_cast<char>(b));
    }
    return bytes;
}

TEST(CodePages, AnsiIsWindows1252AndRoundTripsEveryByte) {
    std::string bytes = AllAnsiBytes();
    WCHAR wide[256];
    ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes.c_str(), -1, wide, 256), 256);
    auto at = [&](int byte) { return wide[byte - 1]; };
    EXPECT_EQ(at(0x41), u'A');
    EXPECT_EQ(at(0x80), 0x20AC);
    EXPECT_EQ(at(0x81), 0x0081);  // unassigned: the C1 control of the same value
    EXPECT_EQ(at(0x8A), 0x0160);
    EXPECT_EQ(at(0x99), 0x2122);
    EXPECT_EQ(at(0x9F), 0x0178);
    EXPECT_EQ(at(0xA0), 0x00A0);
    EXPECT_EQ(at(0xE9), 0x00E9);
    EXPECT_EQ(wide[255], 0);

    char back[256];
    BOOL usedDefault = TRUE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, wide, -1, back, 256, nullptr, &usedDefault), 256);
    EXPECT_EQ(std::string(back), bytes);
    EXPECT_FALSE(usedDefault);

    EXPECT_EQ(platform::AnsiToWide(bytes), std::u16string(wide, 255));
    EXPECT_EQ(platform::WideToAnsi(std::u16string(wide, 255)), bytes);
    EXPECT_EQ(MultiByteToWideChar(1252, 0, "\x80", 1, wide, 1), 1);
    EXPECT_EQ(wide[0], 0x20AC);
}

TEST(CodePages, CharactersOutsideAnsiBecomeTheDefaultCharacter) {
    const WCHAR* text = u"a\u0100b\U0001F600c\u20AC";
    char out[16];
    BOOL usedDefault = FALSE;
    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text, -1, out, sizeof(out), nullptr, &usedDefault), 7);
    EXPECT_EQ(std::string(out), "a?b?c\x80");  // the pair is one character
    EXPECT_TRUE(usedDefault);

    ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, text, 2, out, sizeof(out), "#", nullptr), 2);
    EXPECT_EQ(std::string(out, 2), "a#");
    // A lone surrogate is unmappable too.
    EXPECT_EQ(platform::WideToAnsi(u"x\xD800y"), "x?y");
    EXPECT_EQ(platform::WideToAnsi(u"\u00E9\u4E2D"), "\xE9?");
}

TEST(CodePages, Utf8RoundTripWithSurrogatePairs) {
    const std::string utf8 = "a\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBFz";
    const std::u16string wide = u"a\u00E9\u20AC\U0001F600\U0010FFFFz";
    ASSERT_EQ(wide.size(), 8u);
    EXPECT_EQ(wide[3], 0xD83D);
    EXPECT_EQ(wide[4], 0xDE00);
    EXPECT_EQ(platform::Utf8ToWide(utf8), wide);
    EXPECT_EQ(platform::WideToUtf8(wide), utf8);

    WCHAR buffer[16];
    ASSERT_EQ(MultiByteToWideChar(CP_UTF8, 0, utf8.c_str(), -1, buffer, 16), 9);
    EXPECT_EQ(std::u16string(buffer), wide);
    char bytes[32];
    ASSERT_EQ(WideCharToMultiByte(CP_UTF8, 0, buffer, -1, bytes, 32, nullptr, nullptr), 16);
    EXPECT_EQ(std::string(bytes), utf8);

    // Embedded NULs are text like any other.
    EXPECT_EQ(platform::Utf8ToWide(std::string_view("a\0b", 3)), std::u16string(u"a\0b", 3));
    EXPECT_EQ(platform::WideToUtf8(std::u16string_view(u"a\0b", 3)), std::string("a\0b", 3));
}

TEST(CodePages, IllFormedTextBecomesReplacementCharacters) {
    const std::u16string r = u"\uFFFD";
    struct Case {
        std::string utf8;
        std::u16string wide;
    };
    for (const Case& c : {
             Case{"\xFF", r},
             Case{"a\x80"
                  "b",
                  u"a" + r + u"b"},
             Case{"\xC3", r},      // cut after the lead byte
             Case{"\xE2\x82", r},  // one replacement per cut sequence
             Case{"\xE2\x82z", r + u"z"},
             Case{"\xC0\xAF", r + r},                  // overlong
             Case{"\xE0\x80\xAF", r + r + r},          // overlong
             Case{"\xED\xA0\x80", r + r + r},          // an encoded surrogate
             Case{"\xF4\x90\x80\x80", r + r + r + r},  // above U+10FFFF
             Case{"\xF0\x9F\x98", r},
         }) {
        EXPECT_EQ(platform::Utf8ToWide(c.utf8), c.wide) << c.utf8.size();
    }

    const std::string rb = "\xEF\xBF\xBD";
    EXPECT_EQ(platform::WideToUtf8(u"\xD800x"), rb + "x");
    EXPECT_EQ(platform::WideToUtf8(u"x\xDC00"), "x" + rb);
    EXPECT_EQ(platform::WideToUtf8(u"\xDE00\xD83D"), rb + rb);  // the pair in the wrong order

    WCHAR wide[8];
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, "a\xFF", -1, wide, 8), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "a\xFF", -1, wide, 8), 3);
    EXPECT_EQ(std::u16string(wide), u"a" + r);

    char bytes[8];
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, u"\xD800", -1, bytes, 8, nullptr,
                                  nullptr),
              0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_UNICODE_TRANSLATION));
}

TEST(CodePages, BufferSizeRules) {
    // Size queries: a terminated source counts its terminator, a counted one not.
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", -1, nullptr, 0), 4);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 2, nullptr, 0), 2);
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", -1, nullptr, 0), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"\u00E9", -1, nullptr, 0, nullptr, nullptr), 3);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"\u00E9", 1, nullptr, 0, nullptr, nullptr), 1);

    // A counted source is converted without a terminator.
    WCHAR wide[8];
    std::fill(std::begin(wide), std::end(wide), u'#');
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abc", 3, wide, 3), 3);
    EXPECT_EQ(std::u16string(wide, 4), u"abc#");

    // Too small: 0 and ERROR_INSUFFICIENT_BUFFER, with a cut, terminated text.
    SetLastError(0);
    EXPECT_EQ(MultiByteToWideChar(CP_ACP, 0, "abcdef", -1, wide, 4), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::u16string(wide), u"abc");
    EXPECT_EQ(wide[4], u'#');

    char bytes[8];
    std::fill(std::begin(bytes), std::end(bytes), '#');
    SetLastError(0);
    EXPECT_EQ(WideCharToMultiByte(CP_ACP, 0, u"abcdef", -1, bytes, 4, nullptr, nullptr), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    EXPECT_EQ(std::string(bytes), "abc");

    // The cut never splits a character.
    std::fill(std::begin(bytes), std::end(bytes), '#');
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\u00E9", -1, bytes, 3, nullptr, nullptr), 0);
    EXPECT_EQ(std::string(bytes), "a");
    EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 0, "\xF0\x9F\x98\x80", -1, wide, 2), 0);
    EXPECT_EQ(wide[0], 0);

    // Exactly the size needed is enough.
    EXPECT_EQ(WideCharToMultiByte(CP_UTF8, 0, u"a\u00E9", -1, bytes, 4, nullptr, nullptr), 4);
    EXPECT_EQ(std::string(bytes), "a\xC3\xA9");
}

TEST(CodePages, InvalidArguments) {
    WCHAR wide[8];
    char bytes[8];
    BOOL used = FALSE;
    auto toWide = [&](UINT codePage, DWORD flags, LPCSTR source, int length, LPWSTR out, int size) {
        return [=] { return MultiByteToWideChar(codePage, flags, source, length, out, size); };
    };
    auto toBytes = [&](UINT codePage, DWORD flags, LPCWSTR source, int length, LPSTR out,
                       LPCSTR defaultChar, LPBOOL usedDefault) {
        return [=] {
            return WideCharToMultiByte(codePage, flags, source, length, out, 8, defaultChar,
                                       usedDefault);
        };
    };
    struct Case {
        std::function<int()> call;
        DWORD error;
    };
    const std::vector<Case> cases = {
        {toWide(CP_ACP, 0, "abc", 0, wide, 8), ERROR_INVALID_PARAMETER},
        {toWide(CP_ACP, 0, "abc", -2, wide, 8), ERROR_INVALID_PARAMETER},
        {toWide(CP_ACP, 0, nullptr, -1, wide, 8), ERROR_INVALID_PARAMETER},
        {toWide(CP_ACP, 0, "abc", -1, nullptr, 8), ERROR_INVALID_PARAMETER},
        {toWide(CP_ACP, 0, "abc", -1, wide, -1), ERROR_INVALID_PARAMETER},
        {toWide(437, 0, "abc", -1, wide, 8), ERROR_INVALID_PARAMETER},
        {toWide(CP_ACP, 0x100, "abc", -1, wide, 8), ERROR_INVALID_FLAGS},
        {toBytes(CP_ACP, 0, u"abc", 0, bytes, nullptr, nullptr), ERROR_INVALID_PARAMETER},
        {toBytes(CP_ACP, 0, nullptr, -1, bytes, nullptr, nullptr), ERROR_INVALID_PARAMETER},
        // UTF-8 has no default character to use or report.
        {toBytes(CP_UTF8, 0, u"abc", -1, bytes, nullptr, &used), ERROR_INVALID_PARAMETER},
        {toBytes(CP_UTF8, 0, u"abc", -1, bytes, "?", nullptr), ERROR_INVALID_PARAMETER},
        {toBytes(CP_ACP, 0x1, u"abc", -1, bytes, nullptr, nullptr), ERROR_INVALID_FLAGS},
    };
    for (size_t i = 0; i < cases.size(); ++i) {
        SetLastError(0);
        EXPECT_EQ(cases[i].call(), 0) << "case " << i;
        EXPECT_EQ(GetLastError(), cases[i].error) << "case " << i;
    }
}

TEST(FormatMessageTest, SystemTextsInABufferOrAllocatedAndUnknownCodes) {
    WCHAR buffer[128];
    const DWORD length = FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0,
                                        buffer, 128, nullptr);
    EXPECT_EQ(std::u16string(buffer), u"Access is denied.\r\n");
    EXPECT_EQ(length, 19u);
    EXPECT_EQ(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM, nullptr, ERROR_ACCESS_DENIED, 0, buffer, 5,
                             nullptr),
              0u);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
    LPWSTR allocated = nullptr;
    ASSERT_GT(FormatMessageW(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_ALLOCATE_BUFFER, nullptr,
                             0x1234ABCD, 0, reinterpret_cast<LPWSTR>(&allocated), 0, nullptr),
              0u);
    EXPECT_EQ(std::u16string(allocated), u"Unknown error 0x1234ABCD\r\n");
    LocalFree(allocated);
    EXPECT_EQ(FormatMessageW(0, nullptr, 5, 0, buffer, 128, nullptr), 0u);
}

}  // namespace

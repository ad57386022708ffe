#include "pathlume/foundation/name_text.h"

namespace {

// Latin-1's lower-case letters too (0xE0-0xFE but the division sign): a typed "é" is
// the stored "É".
unsigned char Upper(unsigned char c) {
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7))
        return static_cast<unsigned char>(c - 0x20);
    return c;
}

// A character as names compare it: upper case, '-' and '*' as blanks.
unsigned char CompareChar(char c) {
    const unsigned char u = Upper(static_cast<unsigned char>(c));
    return u == '-' || u == '*' ? ' ' : u;
}

bool IsBracket(char c) {
    return c == '(' || c == ')' || c == '[' || c == ']';
}

void MakeKey(const char* name, char* out, bool keepBrackets) {
    for (; *name; ++name) {
        if (!keepBrackets && IsBracket(*name))
            continue;
        *out++ = static_cast<char>(FoldAccentedChar(CompareChar(*name)));
    }
    *out = '\0';
}

}  // namespace

unsigned char FoldAccentedChar(unsigned char c) {
    if (c >= 192 && c <= 198)
        return 'A';
    if (c == 199)
        return 'C';
    if (c >= 200 && c <= 203)
        return 'E';
    if (c >= 204 && c <= 207)
        return 'I';
    if (c == 209)
        return 'N';
    if ((c >= 210 && c <= 214) || c == 216)
        return 'O';
    if (c >= 217 && c <= 220)
        return 'U';
    return c;
}

int CompareNoCase(const char* a, const char* b, int limit) {
    int remembered = 0;
    bool haveRemembered = false;
    int steps = 0;
    while (*a && *b && (limit == -1 || steps < limit)) {
        const unsigned char ua = CompareChar(*a);
        const unsigned char ub = CompareChar(*b);
        if (ua != ub) {
            const unsigned char fa = FoldAccentedChar(ua);
            const unsigned char fb = FoldAccentedChar(ub);
            if (fa != fb)
                return fa - fb;
            if (!haveRemembered && (fa != ua || fb != ub)) {
                remembered = ua - ub;
                haveRemembered = true;
            }
        }
        ++a;
        ++b;
        if (IsBracket(*a))
            ++a;
        if (IsBracket(*b))
            ++b;
        ++steps;
    }
    const unsigned char ua = CompareChar(*a);
    const unsigned char ub = CompareChar(*b);
    if (ua != ub)
        return ua - ub;
    return remembered;
}

void MakeSearchKey(const char* name, char* out) {
    MakeKey(name, out, false);
}

void MakeMatchText(const char* name, char* out) {
    MakeKey(name, out, true);
}

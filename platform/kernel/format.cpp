// The wide printf family: wsprintfW and the bounded forms share one formatter.
#include <locale.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "platform/kernel/text.h"

namespace {

// Stores what fits and counts everything, so that padding of any width costs
// nothing beyond the buffer.
class Output {
  public:
    Output(WCHAR* buffer, size_t limit) : buffer_(buffer), limit_(limit) {}

    void Put(WCHAR c) {
        if (count_ < limit_) {
            buffer_[count_] = c;
        }
        ++count_;
    }
    void Put(std::u16string_view text) {
        if (count_ < limit_) {
            size_t stored = std::min(text.size(), limit_ - count_);
            std::copy_n(text.begin(), stored, buffer_ + count_);
        }
        count_ += text.size();
    }
    void Repeat(WCHAR c, size_t times) {
        if (count_ < limit_) {
            std::fill_n(buffer_ + count_, std::min(times, limit_ - count_), c);
        }
        count_ += times;
    }
    // Terminates the buffer (when it has room) and returns the characters kept.
    // A cut never leaves the first half of a surrogate pair at the end.
    size_t Finish() {
        size_t stored = std::min(count_, limit_);
        if (count_ > limit_ && stored > 0 && buffer_[stored - 1] >= 0xD800 &&
            buffer_[stored - 1] <= 0xDBFF) {
            --stored;
        }
        if (buffer_) {
            buffer_[stored] = 0;
        }
        return stored;
    }
    size_t count() const { return count_; }

  private:
    WCHAR* buffer_;
    size_t limit_;
    size_t count_ = 0;
};

enum class Length { None, Char, Short, Long, LongLong, LongDouble, Wide };

struct Spec {
    bool left = false;
    bool zero = false;
    bool plus = false;
    bool space = false;
    bool alternate = false;
    size_t width = 0;
    int precision = -1;  // -1: none given
    Length length = Length::None;
    WCHAR conversion = 0;
};

// Past this many decimals every double's %f expansion has only zeros left.
constexpr int kMaxFloatDigits = 1100;

// sign or base prefix, leading zeros, digits, trailing zeros; padded to the width.
void EmitNumber(Output& out, const Spec& spec, std::u16string_view prefix, size_t leadingZeros,
                std::u16string_view digits, size_t trailingZeros, bool zeroPadAllowed) {
    size_t length = prefix.size() + leadingZeros + digits.size() + trailingZeros;
    size_t pad = spec.width > length ? spec.width - length : 0;
    if (!spec.left && !(spec.zero && zeroPadAllowed)) {
        out.Repeat(u' ', pad);
    }
    out.Put(prefix);
    if (!spec.left && spec.zero && zeroPadAllowed) {
        out.Repeat(u'0', pad);
    }
    out.Repeat(u'0', leadingZeros);
    out.Put(digits);
    out.Repeat(u'0', trailingZeros);
    if (spec.left) {
        out.Repeat(u' ', pad);
    }
}

void EmitText(Output& out, const Spec& spec, std::u16string_view text) {
    size_t pad = spec.width > text.size() ? spec.width - text.size() : 0;
    if (!spec.left) {
        out.Repeat(u' ', pad);
    }
    out.Put(text);
    if (spec.left) {
        out.Repeat(u' ', pad);
    }
}

void FormatInteger(Output& out, const Spec& spec, unsigned long long magnitude, bool negative,
                   bool isSigned) {
    unsigned base = 10;
    const char* digitSet = "0123456789abcdef";
    if (spec.conversion == u'x' || spec.conversion == u'X') {
        base = 16;
        if (spec.conversion == u'X') {
            digitSet = "0123456789ABCDEF";
        }
    } else if (spec.conversion == u'o') {
        base = 8;
    }
    char16_t digits[24];
    size_t count = 0;
    for (unsigned long long v = magnitude; v != 0; v /= base) {
        digits[sizeof(digits) / sizeof(digits[0]) - 1 - count++] = digitSet[v % base];
    }
    if (magnitude == 0 && spec.precision != 0) {
        digits[sizeof(digits) / sizeof(digits[0]) - 1 - count++] = u'0';
    }
    std::u16string_view digitText(digits + sizeof(digits) / sizeof(digits[0]) - count, count);

    size_t leadingZeros =
        spec.precision > static_cast<int>(count) ? spec.precision - static_cast<int>(count) : 0;
    std::u16string_view prefix;
    if (negative) {
        prefix = u"-";
    } else if (isSigned && spec.plus) {
        prefix = u"+";
    } else if (isSigned && spec.space) {
        prefix = u" ";
    } else if (spec.alternate && base == 16 && magnitude != 0) {
        prefix = spec.conversion == u'X' ? u"0X" : u"0x";
    } else if (spec.alternate && base == 8 && leadingZeros == 0 &&
               (digitText.empty() || digitText[0] != u'0')) {
        leadingZeros = 1;
    }
    EmitNumber(out, spec, prefix, leadingZeros, digitText, 0, spec.precision < 0);
}

void FormatFloat(Output& out, const Spec& spec, long double value) {
    int precision = spec.precision < 0 ? 6 : spec.precision;
    size_t extraZeros = 0;
    if (precision > kMaxFloatDigits) {
        bool fixed = spec.conversion == u'f' || spec.conversion == u'F';
        extraZeros = fixed && std::isfinite(value) ? precision - kMaxFloatDigits : 0;
        precision = kMaxFloatDigits;
    }
    char format[16];
    char* f = format;
    *f++ = '%';
    if (spec.plus) {
        *f++ = '+';
    }
    if (spec.space) {
        *f++ = ' ';
    }
    if (spec.alternate) {
        *f++ = '#';
    }
    *f++ = '.';
    *f++ = '*';
    *f++ = 'L';
    *f++ = static_cast<char>(spec.conversion);
    *f = 0;

    // The decimal point is the "C" locale's whatever the process locale is.
    static locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    locale_t previous = uselocale(cLocale);
    char small[64];
    int needed = std::snprintf(small, sizeof(small), format, precision, value);
    std::string text;
    if (needed >= static_cast<int>(sizeof(small))) {
        text.resize(static_cast<size_t>(needed) + 1);
        std::snprintf(text.data(), text.size(), format, precision, value);
        text.resize(static_cast<size_t>(needed));
    } else if (needed > 0) {
        text.assign(small, static_cast<size_t>(needed));
    }
    uselocale(previous);

    std::u16string wide(text.begin(), text.end());
    std::u16string_view body(wide);
    std::u16string_view sign;
    if (!body.empty() && (body[0] == u'-' || body[0] == u'+' || body[0] == u' ')) {
        sign = body.substr(0, 1);
        body.remove_prefix(1);
    }
    EmitNumber(out, spec, sign, 0, body, extraZeros, std::isfinite(value));
}

// Reads digits or '*' for a width or precision; saturates instead of overflowing.
long long ReadCount(const WCHAR*& p, va_list& args) {
    if (*p == u'*') {
        ++p;
        return va_arg(args, int);
    }
    long long value = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) {
        value = std::min<long long>(value * 10 + (*p - u'0'), INT_MAX);
    }
    return value;
}

// Parses one conversion after its '%' and formats it; returns false at the end
// of the format.
bool FormatOne(Output& out, const WCHAR*& p, va_list& args) {
    Spec spec;
    for (;; ++p) {
        if (*p == u'-') {
            spec.left = true;
        } else if (*p == u'0') {
            spec.zero = true;
        } else if (*p == u'+') {
            spec.plus = true;
        } else if (*p == u' ') {
            spec.space = true;
        } else if (*p == u'#') {
            spec.alternate = true;
        } else {
            break;
        }
    }
    long long width = ReadCount(p, args);
    if (width < 0) {
        spec.left = true;
        width = -width;
    }
    spec.width = static_cast<size_t>(width);
    if (*p == u'.') {
        ++p;
        long long precision = ReadCount(p, args);
        spec.precision = precision < 0 ? -1 : static_cast<int>(precision);
    }
    if (*p == u'h') {
        ++p;
        spec.length = Length::Short;
        if (*p == u'h') {
            ++p;
            spec.length = Length::Char;
        }
    } else if (*p == u'l') {
        ++p;
        spec.length = Length::Long;
        if (*p == u'l') {
            ++p;
            spec.length = Length::LongLong;
        }
    } else if (p[0] == u'I' && p[1] == u'6' && p[2] == u'4') {
        p += 3;
        spec.length = Length::LongLong;
    } else if (*p == u'L') {
        ++p;
        spec.length = Length::LongDouble;
    } else if (*p == u'w') {
        ++p;
        spec.length = Length::Wide;
    }
    spec.conversion = *p;
    if (spec.conversion == 0) {
        return false;
    }
    ++p;

    // The platform's wide formats: %s and %c are WCHAR, %S and %C single-byte;
    // h forces single-byte and l or w forces WCHAR.
    bool singleByte = spec.length == Length::Short || spec.length == Length::Char;
    bool wide = spec.length == Length::Long || spec.length == Length::Wide;
    switch (spec.conversion) {
        case u'd':
        case u'i': {
            long long value;
            if (spec.length == Length::LongLong) {
                value = va_arg(args, long long);
            } else {
                value = va_arg(args, int);
                if (spec.length == Length::Short) {
                    value = static_cast<short>(value);
                } else if (spec.length == Length::Char) {
                    value = static_cast<signed char>(value);
                }
            }
            unsigned long long magnitude = value < 0 ? 0ull - static_cast<unsigned long long>(value)
                                                     : static_cast<unsigned long long>(value);
            FormatInteger(out, spec, magnitude, value < 0, true);
            return true;
        }
        case u'u':
        case u'x':
        case u'X':
        case u'o': {
            unsigned long long value;
            if (spec.length == Length::LongLong) {
                value = va_arg(args, unsigned long long);
            } else {
                value = va_arg(args, unsigned);
                if (spec.length == Length::Short) {
                    value = static_cast<unsigned short>(value);
                } else if (spec.length == Length::Char) {
                    value = static_cast<unsigned char>(value);
                }
            }
            FormatInteger(out, spec, value, false, false);
            return true;
        }
        case u'f':
        case u'F':
        case u'e':
        case u'E':
        case u'g':
        case u'G': {
            long double value = spec.length == Length::LongDouble ? va_arg(args, long double)
                                                                  : va_arg(args, double);
            FormatFloat(out, spec, value);
            return true;
        }
        case u'c':
        case u'C': {
            int value = va_arg(args, int);
            bool asSingleByte = spec.conversion == u'c' ? singleByte : !wide;
            WCHAR c = static_cast<WCHAR>(value);
            if (asSingleByte) {
                char byte = static_cast<char>(value);
                c = platform::AnsiToWide(std::string_view(&byte, 1))[0];
            }
            EmitText(out, spec, std::u16string_view(&c, 1));
            return true;
        }
        case u's':
        case u'S': {
            bool asSingleByte = spec.conversion == u's' ? singleByte : !wide;
            size_t limit = spec.precision < 0 ? SIZE_MAX : static_cast<size_t>(spec.precision);
            if (asSingleByte) {
                const char* text = va_arg(args, const char*);
                if (!text) {
                    text = "(null)";
                }
                size_t length = strnlen(text, limit);
                EmitText(out, spec, platform::AnsiToWide(std::string_view(text, length)));
            } else {
                const WCHAR* text = va_arg(args, const WCHAR*);
                if (!text) {
                    text = u"(null)";
                }
                size_t length = 0;
                while (length < limit && text[length]) {
                    ++length;
                }
                EmitText(out, spec, std::u16string_view(text, length));
            }
            return true;
        }
        default:
            // '%%' and anything unknown print the character itself.
            out.Put(spec.conversion);
            return true;
    }
}

// Formats into at most `limit` characters of `buffer` plus a terminator and
// returns the length of the whole text. `buffer` may be null when limit is 0.
size_t FormatWide(WCHAR* buffer, size_t limit, size_t* stored, const WCHAR* format, va_list args) {
    Output out(buffer, limit);
    va_list ap;
    va_copy(ap, args);
    for (const WCHAR* p = format ? format : u""; *p;) {
        if (*p != u'%') {
            out.Put(*p++);
            continue;
        }
        ++p;
        if (!FormatOne(out, p, ap)) {
            break;
        }
    }
    va_end(ap);
    *stored = out.Finish();
    return out.count();
}

int BoundedFormat(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
    size_t stored = 0;
    size_t total =
        FormatWide(count ? buffer : nullptr, count ? count - 1 : 0, &stored, format, args);
    // Unlike the platform's _snwprintf, a text that does not fit is still
    // terminated: the caller sees -1 and a cut string rather than no terminator.
    return total < count && total <= static_cast<size_t>(INT_MAX) ? static_cast<int>(total) : -1;
}

}  // namespace

int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args) {
    size_t stored = 0;
    FormatWide(buffer, kWsprintfMaxChars - 1, &stored, format, args);
    return static_cast<int>(stored);
}

int wsprintfW(LPWSTR buffer, LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    int result = wvsprintfW(buffer, format, args);
    va_end(args);
    return result;
}

int vswprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
    return BoundedFormat(buffer, count, format, args);
}

int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    int result = BoundedFormat(buffer, count, format, args);
    va_end(args);
    return result;
}

int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args) {
    return BoundedFormat(buffer, count, format, args);
}

int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...) {
    va_list args;
    va_start(args, format);
    int result = BoundedFormat(buffer, count, format, args);
    va_end(args);
    return result;
}

// Wide strings, formatting and code-page conversion.
//
// WCHAR text is UTF-16 (char16_t). The C library's string functions take
// wchar_t, so the platform's names are provided here again as overloads on
// WCHAR; both sets live in the global namespace side by side.
//
// Case rules: letters fold in ASCII, Latin-1 and Latin Extended-A (which holds
// the letters of the ANSI code page above 0x7F); every other character is its
// own upper and lower case.
//
// The ANSI code page (CP_ACP) is fixed to Windows-1252. Its five unassigned
// bytes (0x81, 0x8D, 0x8F, 0x90, 0x9D) map to the C1 controls of the same value,
// so every byte string survives a round trip through WCHAR text.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/kernel/wintypes.h"

// ---- Length, copy, concatenation ------------------------------------------------

size_t wcslen(const WCHAR* text);
WCHAR* wcscpy(WCHAR* destination, const WCHAR* source);
// C semantics: pads with NULs up to count and does not terminate a source of
// count characters or more.
WCHAR* wcsncpy(WCHAR* destination, const WCHAR* source, size_t count);
WCHAR* wcscat(WCHAR* destination, const WCHAR* source);

// ---- Comparison -----------------------------------------------------------------

int wcscmp(const WCHAR* a, const WCHAR* b);
int wcsncmp(const WCHAR* a, const WCHAR* b, size_t count);
// Case-insensitive forms compare the lower-case forms of the characters.
int _wcsicmp(const WCHAR* a, const WCHAR* b);
int _wcsnicmp(const WCHAR* a, const WCHAR* b, size_t count);

// ---- Search ---------------------------------------------------------------------

const WCHAR* wcschr(const WCHAR* text, WCHAR ch);
WCHAR* wcschr(WCHAR* text, WCHAR ch);
const WCHAR* wcsrchr(const WCHAR* text, WCHAR ch);
WCHAR* wcsrchr(WCHAR* text, WCHAR ch);
const WCHAR* wcsstr(const WCHAR* text, const WCHAR* part);
WCHAR* wcsstr(WCHAR* text, const WCHAR* part);
// The platform's two-argument form keeps its position per thread.
WCHAR* wcstok(WCHAR* text, const WCHAR* delimiters);
WCHAR* wcstok(WCHAR* text, const WCHAR* delimiters, WCHAR** state);

// ---- Numbers --------------------------------------------------------------------

// LONG is 32 bits: results outside its range are clamped (errno = ERANGE).
LONG wcstol(const WCHAR* text, WCHAR** end, int base);
ULONG wcstoul(const WCHAR* text, WCHAR** end, int base);
double wcstod(const WCHAR* text, WCHAR** end);
int _wtoi(const WCHAR* text);
LONG _wtol(const WCHAR* text);
double _wtof(const WCHAR* text);

// ---- Characters and case ---------------------------------------------------------

WCHAR towlower(WCHAR ch);
WCHAR towupper(WCHAR ch);
int iswdigit(WCHAR ch);
int iswspace(WCHAR ch);
int iswalpha(WCHAR ch);
int iswalnum(WCHAR ch);
int iswupper(WCHAR ch);
int iswlower(WCHAR ch);
// The same for an int or char argument, which would otherwise be ambiguous
// between these and the C library's wint_t forms. Values above 0xFFFF are no
// letter, digit or space, and map to themselves.
int towlower(int ch);
int towupper(int ch);
int iswdigit(int ch);
int iswspace(int ch);
int iswalpha(int ch);
int iswalnum(int ch);
int iswupper(int ch);
int iswlower(int ch);
WCHAR* _wcsupr(WCHAR* text);
WCHAR* _wcslwr(WCHAR* text);
// As on the platform, a "pointer" whose high 16 bits are zero is a single
// character; its converted form is returned the same way.
LPWSTR CharUpperW(LPWSTR textOrChar);
LPWSTR CharLowerW(LPWSTR textOrChar);

// ---- The lstr*W calls ------------------------------------------------------------

// These accept null pointers as the platform does: lstrlenW(nullptr) is 0, the
// copies return nullptr, and a null string sorts before any other.
int lstrlenW(LPCWSTR text);
LPWSTR lstrcpyW(LPWSTR destination, LPCWSTR source);
// Copies at most maxLength - 1 characters and always terminates (maxLength > 0).
LPWSTR lstrcpynW(LPWSTR destination, LPCWSTR source, int maxLength);
LPWSTR lstrcatW(LPWSTR destination, LPCWSTR source);
// -1, 0 or 1 by code unit order (lstrcmpiW on lower-case forms).
int lstrcmpW(LPCWSTR a, LPCWSTR b);
int lstrcmpiW(LPCWSTR a, LPCWSTR b);

// ---- Formatting ------------------------------------------------------------------
//
// Conversions: d i u x X o c C s S f F e E g G %, flags - 0 + space #, widths and
// precisions (also *), length h, l, ll, I64, L. In WCHAR formats %s and %c take
// WCHAR text and characters and %S, %C, %hs, %hc single-byte ANSI ones; %ls, %lc,
// %ws, %wc are WCHAR. l is 32 bits: %ld reads a LONG, %lu a DWORD. A null string
// argument prints "(null)". An unknown conversion prints its letter.
//
// Single-byte text is formatted with the C library's snprintf.

// The platform's limit on wsprintfW output, terminator included.
constexpr int kWsprintfMaxChars = 1024;

// Writes at most kWsprintfMaxChars - 1 characters and a terminator; returns the
// number of characters stored.
int wsprintfW(LPWSTR buffer, LPCWSTR format, ...);
int wvsprintfW(LPWSTR buffer, LPCWSTR format, va_list args);
// Bounded forms: count is the buffer size in WCHARs, terminator included. The
// output is always terminated (when count > 0); the result is the number of
// characters written, or -1 when the text did not fit and was cut.
int swprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
int vswprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);
int _snwprintf(WCHAR* buffer, size_t count, const WCHAR* format, ...);
int _vsnwprintf(WCHAR* buffer, size_t count, const WCHAR* format, va_list args);

// ---- Code pages -----------------------------------------------------------------

#define CP_ACP 0
#define CP_UTF8 65001
#define MB_PRECOMPOSED 0x00000001
#define MB_ERR_INVALID_CHARS 0x00000008
#define WC_NO_BEST_FIT_CHARS 0x00000400
#define WC_ERR_INVALID_CHARS 0x00000080

// Code pages: CP_ACP (Windows-1252), 1252 and CP_UTF8. A source length of -1
// means a terminated source, whose terminator is converted and counted too. An
// output size of 0 asks for the size needed. When the output is too small the
// result is 0 with ERROR_INSUFFICIENT_BUFFER; the buffer then holds as many
// whole characters as fit before a terminator, so a caller that ignores the
// failure still reads a terminated, cut text.
// Invalid UTF-8 and unpaired surrogates become U+FFFD, or fail with
// ERROR_NO_UNICODE_TRANSLATION under MB_ERR_INVALID_CHARS / WC_ERR_INVALID_CHARS.
// Characters outside Windows-1252 become the default character ('?' unless
// given) and set *usedDefaultChar.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR source, int sourceBytes,
                        LPWSTR destination, int destinationChars);
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR source, int sourceChars,
                        LPSTR destination, int destinationBytes, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar);

// ---- System messages ------------------------------------------------------------

#define FORMAT_MESSAGE_ALLOCATE_BUFFER 0x00000100
#define FORMAT_MESSAGE_IGNORE_INSERTS 0x00000200
#define FORMAT_MESSAGE_FROM_STRING 0x00000400
#define FORMAT_MESSAGE_FROM_SYSTEM 0x00001000
#define LANG_NEUTRAL 0x00
#define SUBLANG_DEFAULT 0x01
#define MAKELANGID(primary, sub) ((static_cast<WORD>(sub) << 10) | static_cast<WORD>(primary))

// The system's text for an error code (FORMAT_MESSAGE_FROM_SYSTEM; the language is
// not looked at), ending in "\r\n". With FORMAT_MESSAGE_ALLOCATE_BUFFER `buffer` is
// taken as an LPWSTR* that receives a LocalAlloc block the caller frees with
// LocalFree; otherwise the text is written into the buffer of `size` characters.
// The characters written without the terminator, or 0 (with the error set) when the
// flags ask for something else or the buffer is too small. An unknown code has the
// text "Unknown error 0xXXXXXXXX".
DWORD FormatMessageW(DWORD flags, LPCVOID source, DWORD messageId, DWORD languageId, LPWSTR buffer,
                     DWORD size, va_list* arguments);

namespace platform {

// Whole-string conversions for the stand-in's own use (host paths, files, logs).
// Invalid UTF-8 and unpaired surrogates become U+FFFD; characters outside
// Windows-1252 become '?'. Embedded NULs are kept.
std::u16string Utf8ToWide(std::string_view text);
std::string WideToUtf8(std::u16string_view text);
std::u16string AnsiToWide(std::string_view text);
std::string WideToAnsi(std::u16string_view text);

}  // namespace platform

// The class library's string: a thin wide string (WCHAR text) over std::u16string.
#pragma once

#include <string>

#include "platform/kernel/kernel.h"

class CString {
  public:
    CString() = default;
    CString(const CString&) = default;
    CString(CString&&) noexcept = default;
    // A null pointer makes an empty string.
    CString(LPCWSTR text);  // NOLINT: converts as the library's string does
    CString(LPCWSTR text, int length);
    CString(WCHAR ch, int repeat = 1);
    CString(const std::u16string& text) : m_text(text) {}  // NOLINT
    ~CString() = default;

    CString& operator=(const CString&) = default;
    CString& operator=(CString&&) noexcept = default;
    CString& operator=(LPCWSTR text);
    CString& operator=(WCHAR ch);

    int GetLength() const { return static_cast<int>(m_text.size()); }
    BOOL IsEmpty() const { return m_text.empty(); }
    void Empty() { m_text.clear(); }
    // Out-of-range indexes read as 0 and are not written.
    WCHAR GetAt(int index) const;
    void SetAt(int index, WCHAR ch);
    WCHAR operator[](int index) const { return GetAt(index); }
    operator LPCWSTR() const { return m_text.c_str(); }  // NOLINT
    LPCWSTR GetString() const { return m_text.c_str(); }
    const std::u16string& Str() const { return m_text; }

    // Counts are clamped to the string: a negative count gives an empty string, a
    // count past the end the rest of the string.
    CString Left(int count) const;
    CString Right(int count) const;
    CString Mid(int first) const;
    CString Mid(int first, int count) const;

    // -1 when not found or when start lies past the end.
    int Find(WCHAR ch, int start = 0) const;
    int Find(LPCWSTR part, int start = 0) const;
    int ReverseFind(WCHAR ch) const;
    int FindOneOf(LPCWSTR chars) const;

    // The number replaced; an empty or null old text replaces nothing.
    int Replace(WCHAR oldChar, WCHAR newChar);
    int Replace(LPCWSTR oldText, LPCWSTR newText);
    int Remove(WCHAR ch);
    // Returns the new length; an index past the end appends.
    int Insert(int index, WCHAR ch);
    int Insert(int index, LPCWSTR text);
    int Delete(int index, int count = 1);

    // Without arguments blanks (space, tab, CR, LF...) are trimmed.
    CString& TrimLeft();
    CString& TrimLeft(WCHAR ch);
    CString& TrimLeft(LPCWSTR chars);
    CString& TrimRight();
    CString& TrimRight(WCHAR ch);
    CString& TrimRight(LPCWSTR chars);
    CString& Trim() { return TrimRight().TrimLeft(); }

    CString& MakeUpper();
    CString& MakeLower();
    CString& MakeReverse();

    // <0, 0, >0 by code unit order; CompareNoCase on lower-case forms.
    int Compare(LPCWSTR other) const;
    int CompareNoCase(LPCWSTR other) const;

    // The kernel's formatting (wsprintfW's conversions); no length limit.
    void Format(LPCWSTR format, ...);
    void FormatV(LPCWSTR format, va_list args);
    void AppendFormat(LPCWSTR format, ...);
    // Loads a string of the program's resources; FALSE (string emptied) when missing.
    BOOL LoadString(UINT id);
    BOOL LoadString(HINSTANCE instance, UINT id);

    // A writable buffer of at least minLength characters plus a terminator; call
    // ReleaseBuffer before using the string again. ReleaseBuffer(-1) takes the
    // text up to the first NUL.
    LPWSTR GetBuffer(int minLength = 0);
    LPWSTR GetBufferSetLength(int length);
    void ReleaseBuffer(int newLength = -1);

    CString& operator+=(const CString& text);
    CString& operator+=(LPCWSTR text);
    CString& operator+=(WCHAR ch);

    friend CString operator+(const CString& a, const CString& b);
    friend CString operator+(const CString& a, LPCWSTR b);
    friend CString operator+(LPCWSTR a, const CString& b);
    friend CString operator+(const CString& a, WCHAR b);
    friend CString operator+(WCHAR a, const CString& b);
    friend bool operator==(const CString& a, const CString& b) { return a.m_text == b.m_text; }
    friend bool operator==(const CString& a, LPCWSTR b) { return a.Compare(b) == 0; }
    friend bool operator!=(const CString& a, const CString& b) { return !(a == b); }
    friend bool operator!=(const CString& a, LPCWSTR b) { return !(a == b); }
    friend bool operator<(const CString& a, const CString& b) { return a.m_text < b.m_text; }

  private:
    std::u16string m_text;
};

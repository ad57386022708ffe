#include <algorithm>
#include <cstdarg>
#include <vector>

#include "platform/afx/afx.h"

namespace {

bool IsBlank(WCHAR ch) {
    return ch == u' ' || (ch >= u'\t' && ch <= u'\r');
}

bool InSet(WCHAR ch, LPCWSTR chars) {
    for (; chars != nullptr && *chars != 0; ++chars) {
        if (*chars == ch)
            return true;
    }
    return false;
}

int Sign(int value) {
    return value < 0 ? -1 : (value > 0 ? 1 : 0);
}

}  // namespace

CString::CString(LPCWSTR text) {
    if (text != nullptr)
        m_text = text;
}

CString::CString(LPCWSTR text, int length) {
    if (text != nullptr && length > 0)
        m_text.assign(text, static_cast<size_t>(length));
}

CString::CString(WCHAR ch, int repeat) {
    if (repeat > 0)
        m_text.assign(static_cast<size_t>(repeat), ch);
}

CString& CString::operator=(LPCWSTR text) {
    if (text == nullptr) {
        m_text.clear();
    } else {
        m_text = std::u16string(text);  // a copy first: text may point into m_text
    }
    return *this;
}

CString& CString::operator=(WCHAR ch) {
    m_text.assign(1, ch);
    return *this;
}

WCHAR CString::GetAt(int index) const {
    return index >= 0 && index < GetLength() ? m_text[static_cast<size_t>(index)] : 0;
}

void CString::SetAt(int index, WCHAR ch) {
    if (index >= 0 && index < GetLength())
        m_text[static_cast<size_t>(index)] = ch;
}

CString CString::Left(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(0, static_cast<size_t>(count)));
}

CString CString::Right(int count) const {
    count = std::clamp(count, 0, GetLength());
    return CString(m_text.substr(static_cast<size_t>(GetLength() - count)));
}

CString CString::Mid(int first) const {
    return Mid(first, GetLength());
}

CString CString::Mid(int first, int count) const {
    first = std::clamp(first, 0, GetLength());
    count = std::clamp(count, 0, GetLength() - first);
    return CString(m_text.substr(static_cast<size_t>(first), static_cast<size_t>(count)));
}

namespace {

// A search from `start` (a negative one from the beginning); -1 when nothing is found
// or start lies past the end.
template <class Part>
int FindFrom(const std::u16string& text, Part part, int start) {
    if (start < 0)
        start = 0;
    if (start > static_cast<int>(text.size()))
        return -1;
    auto at = text.find(part, static_cast<size_t>(start));
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

}  // namespace

int CString::Find(WCHAR ch, int start) const {
    return FindFrom(m_text, ch, start);
}

int CString::Find(LPCWSTR part, int start) const {
    if (part == nullptr)
        return -1;
    return FindFrom(m_text, part, start);
}

int CString::ReverseFind(WCHAR ch) const {
    auto at = m_text.rfind(ch);
    return at == std::u16string::npos ? -1 : static_cast<int>(at);
}

int CString::FindOneOf(LPCWSTR chars) const {
    for (int i = 0; i < GetLength(); ++i) {
        if (InSet(m_text[static_cast<size_t>(i)], chars))
            return i;
    }
    return -1;
}

int CString::Replace(WCHAR oldChar, WCHAR newChar) {
    int count = 0;
    for (auto& ch : m_text) {
        if (ch == oldChar) {
            ch = newChar;
            ++count;
        }
    }
    return count;
}

int CString::Replace(LPCWSTR oldText, LPCWSTR newText) {
    // An empty pattern would match everywhere and never advance.
    if (oldText == nullptr || *oldText == 0)
        return 0;
    const std::u16string from(oldText);
    const std::u16string to(newText != nullptr ? newText : u"");
    std::u16string result;
    int count = 0;
    size_t at = 0;
    for (;;) {
        size_t next = m_text.find(from, at);
        if (next == std::u16string::npos)
            break;
        result.append(m_text, at, next - at).append(to);
        at = next + from.size();
        ++count;
    }
    if (count > 0) {
        result.append(m_text, at, std::u16string::npos);
        m_text = std::move(result);
    }
    return count;
}

int CString::Remove(WCHAR ch) {
    auto end = std::remove(m_text.begin(), m_text.end(), ch);
    int count = static_cast<int>(m_text.end() - end);
    m_text.erase(end, m_text.end());
    return count;
}

int CString::Insert(int index, WCHAR ch) {
    index = std::clamp(index, 0, GetLength());
    m_text.insert(static_cast<size_t>(index), 1, ch);
    return GetLength();
}

int CString::Insert(int index, LPCWSTR text) {
    index = std::clamp(index, 0, GetLength());
    if (text != nullptr)
        m_text.insert(static_cast<size_t>(index), std::u16string(text));
    return GetLength();
}

int CString::Delete(int index, int count) {
    if (index < 0)
        index = 0;
    if (index < GetLength() && count > 0) {
        m_text.erase(static_cast<size_t>(index), static_cast<size_t>(count));
    }
    return GetLength();
}

CString& CString::TrimLeft() {
    size_t i = 0;
    while (i < m_text.size() && IsBlank(m_text[i]))
        ++i;
    m_text.erase(0, i);
    return *this;
}

CString& CString::TrimLeft(WCHAR ch) {
    size_t i = 0;
    while (i < m_text.size() && m_text[i] == ch)
        ++i;
    m_text.erase(0, i);
    return *this;
}

CString& CString::TrimLeft(LPCWSTR chars) {
    size_t i = 0;
    while (i < m_text.size() && InSet(m_text[i], chars))
        ++i;
    m_text.erase(0, i);
    return *this;
}

CString& CString::TrimRight() {
    while (!m_text.empty() && IsBlank(m_text.back()))
        m_text.pop_back();
    return *this;
}

CString& CString::TrimRight(WCHAR ch) {
    while (!m_text.empty() && m_text.back() == ch)
        m_text.pop_back();
    return *this;
}

CString& CString::TrimRight(LPCWSTR chars) {
    while (!m_text.empty() && InSet(m_text.back(), chars))
        m_text.pop_back();
    return *this;
}

CString& CString::MakeUpper() {
    for (auto& ch : m_text)
        ch = towupper(ch);
    return *this;
}

CString& CString::MakeLower() {
    for (auto& ch : m_text)
        ch = towlower(ch);
    return *this;
}

CString& CString::MakeReverse() {
    std::reverse(m_text.begin(), m_text.end());
    return *this;
}

int CString::Compare(LPCWSTR other) const {
    return Sign(m_text.compare(other != nullptr ? other : u""));
}

int CString::CompareNoCase(LPCWSTR other) const {
    return Sign(_wcsicmp(m_text.c_str(), other != nullptr ? other : u""));
}

void CString::Format(LPCWSTR format, ...) {
    va_list args;
    va_start(args, format);
    FormatV(format, args);
    va_end(args);
}

void CString::FormatV(LPCWSTR format, va_list args) {
    if (format == nullptr) {
        m_text.clear();
        return;
    }
    // Grows the buffer until the text fits: the library's Format has no length limit.
    std::vector<WCHAR> buffer(256);
    for (;;) {
        va_list copy;
        va_copy(copy, args);
        int written = _vsnwprintf(buffer.data(), buffer.size(), format, copy);
        va_end(copy);
        if (written >= 0 && static_cast<size_t>(written) < buffer.size()) {
            m_text.assign(buffer.data(), static_cast<size_t>(written));
            return;
        }
        buffer.resize(buffer.size() * 2);
    }
}

void CString::AppendFormat(LPCWSTR format, ...) {
    CString part;
    va_list args;
    va_start(args, format);
    part.FormatV(format, args);
    va_end(args);
    m_text += part.m_text;
}

BOOL CString::LoadString(UINT id) {
    return LoadString(AfxGetResourceHandle(), id);
}

BOOL CString::LoadString(HINSTANCE instance, UINT id) {
    LPCWSTR text = nullptr;
    int length = LoadStringW(instance, id, reinterpret_cast<LPWSTR>(&text), 0);
    if (length <= 0 || text == nullptr) {
        m_text.clear();
        return FALSE;
    }
    m_text.assign(text, static_cast<size_t>(length));
    return TRUE;
}

LPWSTR CString::GetBuffer(int minLength) {
    if (minLength > GetLength())
        m_text.resize(static_cast<size_t>(minLength));
    return m_text.data();
}

LPWSTR CString::GetBufferSetLength(int length) {
    m_text.resize(static_cast<size_t>(std::max(length, 0)));
    return m_text.data();
}

void CString::ReleaseBuffer(int newLength) {
    size_t length;
    if (newLength < 0) {
        length = m_text.find(u'\0');
        if (length == std::u16string::npos)
            length = m_text.size();
    } else {
        length = std::min(static_cast<size_t>(newLength), m_text.size());
    }
    m_text.resize(length);
}

CString& CString::operator+=(const CString& text) {
    m_text += text.m_text;
    return *this;
}

CString& CString::operator+=(LPCWSTR text) {
    if (text != nullptr)
        m_text += std::u16string(text);
    return *this;
}

CString& CString::operator+=(WCHAR ch) {
    m_text += ch;
    return *this;
}

CString operator+(const CString& a, const CString& b) {
    return CString(a.m_text + b.m_text);
}
CString operator+(const CString& a, LPCWSTR b) {
    CString result(a);
    result += b;
    return result;
}
CString operator+(LPCWSTR a, const CString& b) {
    CString result(a);
    result += b;
    return result;
}
CString operator+(const CString& a, WCHAR b) {
    return CString(a.m_text + b);
}
CString operator+(WCHAR a, const CString& b) {
    return CString(a + b.m_text);
}

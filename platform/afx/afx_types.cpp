#include <algorithm>

#include "platform/afx/afx.h"

BOOL CRect::PtInRect(POINT point) const {
    return ::PtInRect(this, point);
}

BOOL CRect::EqualRect(const RECT* rect) const {
    return left == rect->left && top == rect->top && right == rect->right && bottom == rect->bottom;
}

void CRect::InflateRect(int l, int t, int r, int b) {
    left -= l;
    top -= t;
    right += r;
    bottom += b;
}

void CRect::NormalizeRect() {
    if (left > right)
        std::swap(left, right);
    if (top > bottom)
        std::swap(top, bottom);
}

BOOL CRect::IntersectRect(const RECT* a, const RECT* b) {
    RECT result;
    BOOL overlap = ::IntersectRect(&result, a, b);
    *static_cast<RECT*>(this) = result;
    return overlap;
}

BOOL CRect::UnionRect(const RECT* a, const RECT* b) {
    RECT result;
    BOOL notEmpty = ::UnionRect(&result, a, b);
    *static_cast<RECT*>(this) = result;
    return notEmpty;
}

CRect CRect::operator+(POINT point) const {
    CRect result(*this);
    result.OffsetRect(point);
    return result;
}

CRect CRect::operator-(POINT point) const {
    CRect result(*this);
    result.OffsetRect(-point.x, -point.y);
    return result;
}

CRect CRect::operator&(const RECT& other) const {
    CRect result;
    result.IntersectRect(this, &other);
    return result;
}

CRect CRect::operator|(const RECT& other) const {
    CRect result;
    result.UnionRect(this, &other);
    return result;
}

void CPtrArray::SetSize(INT_PTR newSize, INT_PTR /*growBy*/) {
    m_items.resize(static_cast<size_t>(std::max<INT_PTR>(newSize, 0)), nullptr);
}

INT_PTR CPtrArray::Add(void* item) {
    m_items.push_back(item);
    return GetSize() - 1;
}

void CPtrArray::SetAtGrow(INT_PTR index, void* item) {
    if (index < 0)
        return;
    if (index >= GetSize())
        SetSize(index + 1);
    SetAt(index, item);
}

void CPtrArray::InsertAt(INT_PTR index, void* item, INT_PTR count) {
    if (index < 0 || count <= 0)
        return;
    if (index > GetSize())
        SetSize(index);
    m_items.insert(m_items.begin() + index, static_cast<size_t>(count), item);
}

void CPtrArray::RemoveAt(INT_PTR index, INT_PTR count) {
    if (index < 0 || count <= 0 || index >= GetSize())
        return;
    INT_PTR end = std::min(GetSize(), index + count);
    m_items.erase(m_items.begin() + index, m_items.begin() + end);
}

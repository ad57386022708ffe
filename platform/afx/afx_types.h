// The class library's small value types: points, sizes, rectangles, the root object
// and the pointer array.
#pragma once

#include <vector>

#include "platform/user/user.h"

class CObject {
  public:
    virtual ~CObject() = default;

  protected:
    CObject() = default;
};

class CSize : public SIZE {
  public:
    CSize() : SIZE{0, 0} {}
    CSize(int x, int y) : SIZE{x, y} {}
    CSize(SIZE size) : SIZE(size) {}                // NOLINT
    CSize(POINT point) : SIZE{point.x, point.y} {}  // NOLINT
    friend bool operator==(const CSize& a, const CSize& b) { return a.cx == b.cx && a.cy == b.cy; }
    void operator+=(SIZE other) { cx += other.cx, cy += other.cy; }
    void operator-=(SIZE other) { cx -= other.cx, cy -= other.cy; }
    CSize operator+(SIZE other) const { return CSize(cx + other.cx, cy + other.cy); }
    CSize operator-(SIZE other) const { return CSize(cx - other.cx, cy - other.cy); }
    CSize operator-() const { return CSize(-cx, -cy); }
};

class CPoint : public POINT {
  public:
    CPoint() : POINT{0, 0} {}
    CPoint(int x, int y) : POINT{x, y} {}
    CPoint(POINT point) : POINT(point) {}           // NOLINT
    CPoint(SIZE size) : POINT{size.cx, size.cy} {}  // NOLINT
    // x in the low word, y in the high word, both signed (as a pointer message's lParam).
    explicit CPoint(LPARAM packed) : POINT{GET_X_LPARAM(packed), GET_Y_LPARAM(packed)} {}
    void Offset(int dx, int dy) { x += dx, y += dy; }
    void Offset(POINT point) { Offset(point.x, point.y); }
    void Offset(SIZE size) { Offset(size.cx, size.cy); }
    friend bool operator==(const CPoint& a, const CPoint& b) { return a.x == b.x && a.y == b.y; }
    void operator+=(SIZE size) { Offset(size); }
    void operator-=(SIZE size) { Offset(-size.cx, -size.cy); }
    void operator+=(POINT point) { Offset(point); }
    void operator-=(POINT point) { Offset(-point.x, -point.y); }
    CPoint operator+(SIZE size) const { return CPoint(x + size.cx, y + size.cy); }
    CPoint operator-(SIZE size) const { return CPoint(x - size.cx, y - size.cy); }
    CPoint operator+(POINT point) const { return CPoint(x + point.x, y + point.y); }
    // The difference of two points is a size.
    CSize operator-(POINT point) const { return CSize(x - point.x, y - point.y); }
    CPoint operator-() const { return CPoint(-x, -y); }
};

class CRect : public RECT {
  public:
    CRect() : RECT{0, 0, 0, 0} {}
    CRect(int l, int t, int r, int b) : RECT{l, t, r, b} {}
    CRect(const RECT& rect) : RECT(rect) {}   // NOLINT
    CRect(const RECT* rect) : RECT(*rect) {}  // NOLINT
    CRect(POINT topLeft, SIZE size)
        : RECT{topLeft.x, topLeft.y, topLeft.x + size.cx, topLeft.y + size.cy} {}
    CRect(POINT topLeft, POINT bottomRight)
        : RECT{topLeft.x, topLeft.y, bottomRight.x, bottomRight.y} {}

    int Width() const { return right - left; }
    int Height() const { return bottom - top; }
    CSize Size() const { return CSize(Width(), Height()); }
    CPoint& TopLeft() { return *reinterpret_cast<CPoint*>(&left); }
    CPoint& BottomRight() { return *reinterpret_cast<CPoint*>(&right); }
    CPoint TopLeft() const { return CPoint(left, top); }
    CPoint BottomRight() const { return CPoint(right, bottom); }
    CPoint CenterPoint() const { return CPoint((left + right) / 2, (top + bottom) / 2); }
    operator LPRECT() { return this; }             // NOLINT
    operator const RECT*() const { return this; }  // NOLINT

    // Empty: no area (width or height not positive). Null: all four are zero.
    BOOL IsRectEmpty() const { return right <= left || bottom <= top; }
    BOOL IsRectNull() const { return left == 0 && top == 0 && right == 0 && bottom == 0; }
    BOOL PtInRect(POINT point) const;
    void SetRect(int l, int t, int r, int b) { left = l, top = t, right = r, bottom = b; }
    void SetRectEmpty() { SetRect(0, 0, 0, 0); }
    void CopyRect(const RECT* rect) { *static_cast<RECT*>(this) = *rect; }
    BOOL EqualRect(const RECT* rect) const;
    void InflateRect(int dx, int dy) { InflateRect(dx, dy, dx, dy); }
    void InflateRect(SIZE size) { InflateRect(size.cx, size.cy); }
    void InflateRect(int l, int t, int r, int b);
    void DeflateRect(int dx, int dy) { InflateRect(-dx, -dy); }
    void DeflateRect(SIZE size) { InflateRect(-size.cx, -size.cy); }
    void DeflateRect(int l, int t, int r, int b) { InflateRect(-l, -t, -r, -b); }
    void OffsetRect(int dx, int dy) { left += dx, right += dx, top += dy, bottom += dy; }
    void OffsetRect(POINT point) { OffsetRect(point.x, point.y); }
    void OffsetRect(SIZE size) { OffsetRect(size.cx, size.cy); }
    void NormalizeRect();
    // As the window system's: FALSE with an empty result when they do not overlap.
    BOOL IntersectRect(const RECT* a, const RECT* b);
    BOOL UnionRect(const RECT* a, const RECT* b);

    friend bool operator==(const CRect& a, const CRect& b) { return a.EqualRect(&b); }
    void operator+=(POINT point) { OffsetRect(point); }
    void operator-=(POINT point) { OffsetRect(-point.x, -point.y); }
    void operator&=(const RECT& other) { IntersectRect(this, &other); }
    void operator|=(const RECT& other) { UnionRect(this, &other); }
    CRect operator+(POINT point) const;
    CRect operator-(POINT point) const;
    CRect operator&(const RECT& other) const;
    CRect operator|(const RECT& other) const;
};

// The library's array of untyped pointers; indexes are checked by the caller.
class CPtrArray : public CObject {
  public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_items.size()); }
    INT_PTR GetCount() const { return GetSize(); }
    INT_PTR GetUpperBound() const { return GetSize() - 1; }
    BOOL IsEmpty() const { return m_items.empty(); }
    // Grows with null pointers or cuts the array.
    void SetSize(INT_PTR newSize, INT_PTR growBy = -1);
    void* GetAt(INT_PTR index) const { return m_items[static_cast<size_t>(index)]; }
    void SetAt(INT_PTR index, void* item) { m_items[static_cast<size_t>(index)] = item; }
    void*& ElementAt(INT_PTR index) { return m_items[static_cast<size_t>(index)]; }
    void* operator[](INT_PTR index) const { return GetAt(index); }
    void*& operator[](INT_PTR index) { return ElementAt(index); }
    void** GetData() { return m_items.data(); }
    // Returns the new item's index.
    INT_PTR Add(void* item);
    // Sets an item past the end, growing the array with null pointers on the way.
    void SetAtGrow(INT_PTR index, void* item);
    // An index past the end grows the array first.
    void InsertAt(INT_PTR index, void* item, INT_PTR count = 1);
    void RemoveAt(INT_PTR index, INT_PTR count = 1);
    void RemoveAll() { m_items.clear(); }

  private:
    std::vector<void*> m_items;
};

#include "platform/afx/afx_internal.h"

namespace platform::afx {

namespace {

template <class T>
T* TempGdiObject(HGDIOBJ object) {
    return TempWrapper<T>(ThreadTempMaps().gdi, object, &CGdiObject::m_hObject);
}

// A wrapper that already holds an object makes no second one: it could not take it,
// and the new object would leak.
template <class Make>
BOOL MakeInto(CGdiObject* wrapper, Make make) {
    return wrapper->GetSafeHandle() == nullptr && wrapper->Attach(make());
}

}  // namespace

}  // namespace platform::afx

using platform::afx::MakeInto;
using platform::afx::TempGdiObject;

CGdiObject::~CGdiObject() {
    DeleteObject();
}

CGdiObject* CGdiObject::FromHandle(HGDIOBJ object) {
    switch (GetObjectType(object)) {
        case OBJ_PEN:
            return TempGdiObject<CPen>(object);
        case OBJ_BRUSH:
            return TempGdiObject<CBrush>(object);
        case OBJ_FONT:
            return TempGdiObject<CFont>(object);
        case OBJ_BITMAP:
            return TempGdiObject<CBitmap>(object);
        default:
            return TempGdiObject<CGdiObject>(object);
    }
}

BOOL CGdiObject::Attach(HGDIOBJ object) {
    return platform::afx::AttachHandle(m_hObject, object);
}

HGDIOBJ CGdiObject::Detach() {
    return platform::afx::DetachHandle(m_hObject);
}

BOOL CGdiObject::DeleteObject() {
    if (m_hObject == nullptr)
        return FALSE;
    return ::DeleteObject(Detach());
}

BOOL CGdiObject::CreateStockObject(int index) {
    return Attach(GetStockObject(index));
}

CPen* CPen::FromHandle(HPEN pen) {
    return TempGdiObject<CPen>(pen);
}
BOOL CPen::CreatePen(int style, int width, COLORREF color) {
    return MakeInto(this, [&] { return ::CreatePen(style, width, color); });
}
BOOL CPen::CreatePenIndirect(const LOGPEN* pen) {
    return MakeInto(this, [&] { return ::CreatePenIndirect(pen); });
}

CBrush* CBrush::FromHandle(HBRUSH brush) {
    return TempGdiObject<CBrush>(brush);
}
BOOL CBrush::CreateSolidBrush(COLORREF color) {
    return MakeInto(this, [&] { return ::CreateSolidBrush(color); });
}
BOOL CBrush::CreatePatternBrush(CBitmap* bitmap) {
    return MakeInto(
        this, [&] { return ::CreatePatternBrush(static_cast<HBITMAP>(bitmap->GetSafeHandle())); });
}

CFont* CFont::FromHandle(HFONT font) {
    return TempGdiObject<CFont>(font);
}
BOOL CFont::CreateFontIndirect(const LOGFONTW* font) {
    return MakeInto(this, [&] { return ::CreateFontIndirectW(font); });
}

CBitmap* CBitmap::FromHandle(HBITMAP bitmap) {
    return TempGdiObject<CBitmap>(bitmap);
}
BOOL CBitmap::LoadBitmap(UINT id) {
    return LoadBitmap(MAKEINTRESOURCEW(id));
}
BOOL CBitmap::LoadBitmap(LPCWSTR name) {
    return MakeInto(this, [&] { return LoadBitmapW(AfxGetResourceHandle(), name); });
}
BOOL CBitmap::CreateCompatibleBitmap(CDC* dc, int width, int height) {
    return MakeInto(this,
                    [&] { return ::CreateCompatibleBitmap(dc->GetSafeHdc(), width, height); });
}
CSize CBitmap::GetBitmapDimension() const {
    BITMAP info{};
    if (GetBitmap(&info) == 0)
        return CSize();
    return CSize(info.bmWidth, info.bmHeight);
}

CDC::~CDC() {
    if (m_hDC != nullptr)
        ::DeleteDC(Detach());
}

CDC* CDC::FromHandle(HDC dc) {
    return platform::afx::TempWrapper<CDC>(platform::afx::ThreadTempMaps().dc, dc, &CDC::m_hDC);
}

BOOL CDC::Attach(HDC dc) {
    return platform::afx::AttachHandle(m_hDC, dc);
}

HDC CDC::Detach() {
    return platform::afx::DetachHandle(m_hDC);
}

BOOL CDC::CreateCompatibleDC(CDC* dc) {
    // A DC already held is kept: a second one would leak.
    return m_hDC == nullptr &&
           Attach(::CreateCompatibleDC(dc != nullptr ? dc->GetSafeHdc() : nullptr));
}

BOOL CDC::DeleteDC() {
    if (m_hDC == nullptr)
        return FALSE;
    return ::DeleteDC(Detach());
}

CWnd* CDC::GetWindow() const {
    return CWnd::FromHandle(platform::WindowOfDC(m_hDC));
}

CPen* CDC::SelectObject(CPen* pen) {
    return CPen::FromHandle(static_cast<HPEN>(::SelectObject(m_hDC, pen->GetSafeHandle())));
}
CBrush* CDC::SelectObject(CBrush* brush) {
    return CBrush::FromHandle(static_cast<HBRUSH>(::SelectObject(m_hDC, brush->GetSafeHandle())));
}
CFont* CDC::SelectObject(CFont* font) {
    return CFont::FromHandle(static_cast<HFONT>(::SelectObject(m_hDC, font->GetSafeHandle())));
}
CBitmap* CDC::SelectObject(CBitmap* bitmap) {
    return CBitmap::FromHandle(
        static_cast<HBITMAP>(::SelectObject(m_hDC, bitmap->GetSafeHandle())));
}
CGdiObject* CDC::SelectStockObject(int index) {
    return CGdiObject::FromHandle(::SelectObject(m_hDC, GetStockObject(index)));
}
CPen* CDC::GetCurrentPen() const {
    return CPen::FromHandle(static_cast<HPEN>(GetCurrentObject(m_hDC, OBJ_PEN)));
}
CBrush* CDC::GetCurrentBrush() const {
    return CBrush::FromHandle(static_cast<HBRUSH>(GetCurrentObject(m_hDC, OBJ_BRUSH)));
}
CFont* CDC::GetCurrentFont() const {
    return CFont::FromHandle(static_cast<HFONT>(GetCurrentObject(m_hDC, OBJ_FONT)));
}
CBitmap* CDC::GetCurrentBitmap() const {
    return CBitmap::FromHandle(static_cast<HBITMAP>(GetCurrentObject(m_hDC, OBJ_BITMAP)));
}

CPoint CDC::SetBrushOrg(int x, int y) {
    POINT previous{0, 0};
    SetBrushOrgEx(m_hDC, x, y, &previous);
    return previous;
}

CPoint CDC::MoveTo(int x, int y) {
    POINT previous{0, 0};
    MoveToEx(m_hDC, x, y, &previous);
    return previous;
}

BOOL CDC::Rectangle(const RECT* rect) {
    return Rectangle(rect->left, rect->top, rect->right, rect->bottom);
}
BOOL CDC::RoundRect(const RECT* rect, POINT corner) {
    return RoundRect(rect->left, rect->top, rect->right, rect->bottom, corner.x, corner.y);
}
BOOL CDC::Ellipse(const RECT* rect) {
    return Ellipse(rect->left, rect->top, rect->right, rect->bottom);
}

void CDC::FillRect(const RECT* rect, CBrush* brush) {
    ::FillRect(m_hDC, rect, static_cast<HBRUSH>(brush->GetSafeHandle()));
}

void CDC::FillSolidRect(const RECT* rect, COLORREF color) {
    HBRUSH brush = ::CreateSolidBrush(color);
    ::FillRect(m_hDC, rect, brush);
    ::DeleteObject(brush);
}

void CDC::FillSolidRect(int x, int y, int width, int height, COLORREF color) {
    RECT rect{x, y, x + width, y + height};
    FillSolidRect(&rect, color);
}

BOOL CDC::BitBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                 DWORD rop) {
    return ::BitBlt(m_hDC, x, y, width, height, source != nullptr ? source->m_hDC : nullptr,
                    sourceX, sourceY, rop);
}

BOOL CDC::StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                     int sourceWidth, int sourceHeight, DWORD rop) {
    return ::StretchBlt(m_hDC, x, y, width, height, source != nullptr ? source->m_hDC : nullptr,
                        sourceX, sourceY, sourceWidth, sourceHeight, rop);
}

BOOL CDC::DrawIcon(int x, int y, HICON icon) {
    return DrawIconEx(m_hDC, x, y, icon, 0, 0, 0, nullptr, DI_NORMAL);
}

BOOL CDC::TextOut(int x, int y, LPCWSTR text, int count) {
    return ExtTextOutW(m_hDC, x, y, 0, nullptr, text, static_cast<UINT>(count), nullptr);
}
BOOL CDC::TextOut(int x, int y, const CString& text) {
    return TextOut(x, y, text, text.GetLength());
}
BOOL CDC::ExtTextOut(int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                     const int* widths) {
    return ExtTextOutW(m_hDC, x, y, options, rect, text, count, widths);
}
BOOL CDC::ExtTextOut(int x, int y, UINT options, const RECT* rect, const CString& text,
                     const int* widths) {
    return ExtTextOutW(m_hDC, x, y, options, rect, text, static_cast<UINT>(text.GetLength()),
                       widths);
}
int CDC::DrawText(LPCWSTR text, int count, LPRECT rect, UINT format) {
    return DrawTextW(m_hDC, text, count, rect, format);
}
int CDC::DrawText(const CString& text, LPRECT rect, UINT format) {
    return DrawTextW(m_hDC, text, text.GetLength(), rect, format);
}
CSize CDC::GetTextExtent(LPCWSTR text, int count) const {
    SIZE size{0, 0};
    GetTextExtentPoint32W(m_hDC, text, count, &size);
    return size;
}
CSize CDC::GetTextExtent(const CString& text) const {
    return GetTextExtent(text, text.GetLength());
}

CPaintDC::CPaintDC(CWnd* wnd) : m_hWnd(wnd->GetSafeHwnd()) {
    Attach(BeginPaint(m_hWnd, &m_ps));
}
CPaintDC::~CPaintDC() {
    EndPaint(m_hWnd, &m_ps);
    Detach();
}

CClientDC::CClientDC(CWnd* wnd) : m_hWnd(wnd != nullptr ? wnd->GetSafeHwnd() : nullptr) {
    Attach(::GetDC(m_hWnd));
}
CClientDC::~CClientDC() {
    ::ReleaseDC(m_hWnd, Detach());
}

CWindowDC::CWindowDC(CWnd* wnd) : m_hWnd(wnd != nullptr ? wnd->GetSafeHwnd() : nullptr) {
    Attach(::GetWindowDC(m_hWnd));
}
CWindowDC::~CWindowDC() {
    ::ReleaseDC(m_hWnd, Detach());
}

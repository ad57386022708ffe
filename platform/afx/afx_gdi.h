// The class library's drawing classes: GDI object wrappers and device contexts.
//
// FromHandle on a handle no wrapper owns gives a temporary wrapper that belongs to
// the calling thread and is deleted when the thread next goes idle
// (AfxDeleteTempObjects, called by CWinThread::OnIdle); do not keep it.
#pragma once

#include "platform/afx/afx_string.h"
#include "platform/afx/afx_types.h"

class CWnd;

class CGdiObject : public CObject {
  public:
    CGdiObject() = default;
    // Deletes the object it still holds.
    ~CGdiObject() override;
    CGdiObject(const CGdiObject&) = delete;
    CGdiObject& operator=(const CGdiObject&) = delete;

    static CGdiObject* FromHandle(HGDIOBJ object);
    HGDIOBJ GetSafeHandle() const { return m_hObject; }
    operator HGDIOBJ() const { return m_hObject; }  // NOLINT
    BOOL Attach(HGDIOBJ object);
    HGDIOBJ Detach();
    BOOL DeleteObject();
    int GetObject(int size, LPVOID buffer) const { return GetObjectW(m_hObject, size, buffer); }
    BOOL CreateStockObject(int index);

    HGDIOBJ m_hObject = nullptr;
};

class CPen : public CGdiObject {
  public:
    CPen() = default;
    CPen(int style, int width, COLORREF color) { CreatePen(style, width, color); }
    static CPen* FromHandle(HPEN pen);
    BOOL CreatePen(int style, int width, COLORREF color);
    BOOL CreatePenIndirect(const LOGPEN* pen);
    operator HPEN() const { return static_cast<HPEN>(m_hObject); }  // NOLINT
};

class CBrush : public CGdiObject {
  public:
    CBrush() = default;
    explicit CBrush(COLORREF color) { CreateSolidBrush(color); }
    static CBrush* FromHandle(HBRUSH brush);
    BOOL CreateSolidBrush(COLORREF color);
    BOOL CreatePatternBrush(class CBitmap* bitmap);
    BOOL CreateSysColorBrush(int index) { return Attach(GetSysColorBrush(index)); }
    operator HBRUSH() const { return static_cast<HBRUSH>(m_hObject); }  // NOLINT
};

class CFont : public CGdiObject {
  public:
    static CFont* FromHandle(HFONT font);
    BOOL CreateFontIndirect(const LOGFONTW* font);
    BOOL GetLogFont(LOGFONTW* font) const {
        return GetObject(sizeof(LOGFONTW), font) == static_cast<int>(sizeof(LOGFONTW));
    }
    operator HFONT() const { return static_cast<HFONT>(m_hObject); }  // NOLINT
};

class CBitmap : public CGdiObject {
  public:
    static CBitmap* FromHandle(HBITMAP bitmap);
    // From the program's resources.
    BOOL LoadBitmap(UINT id);
    BOOL LoadBitmap(LPCWSTR name);
    BOOL CreateCompatibleBitmap(class CDC* dc, int width, int height);
    int GetBitmap(BITMAP* bitmap) const { return GetObject(sizeof(BITMAP), bitmap); }
    CSize GetBitmapDimension() const;
    operator HBITMAP() const { return static_cast<HBITMAP>(m_hObject); }  // NOLINT
};

class CDC : public CObject {
  public:
    CDC() = default;
    // Deletes a DC it still holds (one made by CreateCompatibleDC or attached).
    ~CDC() override;
    CDC(const CDC&) = delete;
    CDC& operator=(const CDC&) = delete;

    static CDC* FromHandle(HDC dc);
    HDC GetSafeHdc() const { return m_hDC; }
    operator HDC() const { return m_hDC; }  // NOLINT
    BOOL Attach(HDC dc);
    HDC Detach();
    BOOL CreateCompatibleDC(CDC* dc);
    BOOL DeleteDC();
    CWnd* GetWindow() const;

    // Selection returns the previous object's (possibly temporary) wrapper.
    CPen* SelectObject(CPen* pen);
    CBrush* SelectObject(CBrush* brush);
    CFont* SelectObject(CFont* font);
    CBitmap* SelectObject(CBitmap* bitmap);
    CGdiObject* SelectStockObject(int index);
    HGDIOBJ SelectObject(HGDIOBJ object) { return ::SelectObject(m_hDC, object); }
    CPen* GetCurrentPen() const;
    CBrush* GetCurrentBrush() const;
    CFont* GetCurrentFont() const;
    CBitmap* GetCurrentBitmap() const;

    int SaveDC() { return ::SaveDC(m_hDC); }
    BOOL RestoreDC(int saved) { return ::RestoreDC(m_hDC, saved); }
    int GetDeviceCaps(int index) const { return ::GetDeviceCaps(m_hDC, index); }
    int SetBkMode(int mode) { return ::SetBkMode(m_hDC, mode); }
    int GetBkMode() const { return ::GetBkMode(m_hDC); }
    COLORREF SetBkColor(COLORREF color) { return ::SetBkColor(m_hDC, color); }
    COLORREF GetBkColor() const { return ::GetBkColor(m_hDC); }
    COLORREF SetTextColor(COLORREF color) { return ::SetTextColor(m_hDC, color); }
    COLORREF GetTextColor() const { return ::GetTextColor(m_hDC); }
    int SetROP2(int mode) { return ::SetROP2(m_hDC, mode); }
    CPoint SetBrushOrg(int x, int y);

    CPoint MoveTo(int x, int y);
    CPoint MoveTo(POINT point) { return MoveTo(point.x, point.y); }
    BOOL LineTo(int x, int y) { return ::LineTo(m_hDC, x, y); }
    BOOL LineTo(POINT point) { return LineTo(point.x, point.y); }
    BOOL Polyline(const POINT* points, int count) { return ::Polyline(m_hDC, points, count); }
    BOOL Polygon(const POINT* points, int count) { return ::Polygon(m_hDC, points, count); }
    BOOL Rectangle(int l, int t, int r, int b) { return ::Rectangle(m_hDC, l, t, r, b); }
    BOOL Rectangle(const RECT* rect);
    BOOL RoundRect(int l, int t, int r, int b, int w, int h) {
        return ::RoundRect(m_hDC, l, t, r, b, w, h);
    }
    BOOL RoundRect(const RECT* rect, POINT corner);
    BOOL Ellipse(int l, int t, int r, int b) { return ::Ellipse(m_hDC, l, t, r, b); }
    BOOL Ellipse(const RECT* rect);
    void FillRect(const RECT* rect, CBrush* brush);
    // Fills with a colour; the background colour is left as it was.
    void FillSolidRect(const RECT* rect, COLORREF color);
    void FillSolidRect(int x, int y, int width, int height, COLORREF color);
    COLORREF GetPixel(int x, int y) const { return ::GetPixel(m_hDC, x, y); }
    COLORREF GetPixel(POINT point) const { return GetPixel(point.x, point.y); }
    COLORREF SetPixel(int x, int y, COLORREF color) { return ::SetPixel(m_hDC, x, y, color); }

    BOOL BitBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                DWORD rop);
    BOOL StretchBlt(int x, int y, int width, int height, CDC* source, int sourceX, int sourceY,
                    int sourceWidth, int sourceHeight, DWORD rop);
    BOOL DrawIcon(int x, int y, HICON icon);

    BOOL TextOut(int x, int y, LPCWSTR text, int count);
    BOOL TextOut(int x, int y, const CString& text);
    BOOL ExtTextOut(int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                    const int* widths);
    BOOL ExtTextOut(int x, int y, UINT options, const RECT* rect, const CString& text,
                    const int* widths);
    int DrawText(LPCWSTR text, int count, LPRECT rect, UINT format);
    int DrawText(const CString& text, LPRECT rect, UINT format);
    CSize GetTextExtent(LPCWSTR text, int count) const;
    CSize GetTextExtent(const CString& text) const;
    BOOL GetTextMetrics(TEXTMETRICW* metrics) const { return GetTextMetricsW(m_hDC, metrics); }

    HDC m_hDC = nullptr;
};

// BeginPaint/EndPaint for a window's WM_PAINT.
class CPaintDC : public CDC {
  public:
    explicit CPaintDC(CWnd* wnd);
    ~CPaintDC() override;

    PAINTSTRUCT m_ps{};

  protected:
    HWND m_hWnd;
};

// GetDC/ReleaseDC of a window's client area (the screen for a null window).
class CClientDC : public CDC {
  public:
    explicit CClientDC(CWnd* wnd);
    ~CClientDC() override;

  protected:
    HWND m_hWnd;
};

// GetWindowDC/ReleaseDC: the whole window, frame included.
class CWindowDC : public CDC {
  public:
    explicit CWindowDC(CWnd* wnd);
    ~CWindowDC() override;

  protected:
    HWND m_hWnd;
};

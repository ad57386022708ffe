// The drawing stand-in: device contexts, bitmaps, pens, brushes, fonts, shapes, text
// and block transfers, drawn with Cairo on 32-bit XRGB image surfaces (so a COLORREF
// read back with GetPixel equals the one drawn) and text through FreeType; plus the
// program's resource module (string table, bitmaps and icons by id).
//
// Shapes are drawn without antialiasing so that colour keys and pixel tests see exact
// colours; text is smoothed against its background. Every call takes one process-wide
// drawing lock, so objects may be used from any thread.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "platform/kernel/wintypes.h"

// ---------------------------------------------------------------------------------
// Handles and basic records

typedef void* HGDIOBJ;
DECLARE_PLATFORM_HANDLE(HDC);
DECLARE_PLATFORM_HANDLE(HBITMAP);
DECLARE_PLATFORM_HANDLE(HPEN);
DECLARE_PLATFORM_HANDLE(HBRUSH);
DECLARE_PLATFORM_HANDLE(HFONT);
DECLARE_PLATFORM_HANDLE(HICON);
typedef HICON HCURSOR;
typedef INT* LPINT;

struct POINT {
    LONG x;
    LONG y;
};
typedef POINT* LPPOINT;

struct SIZE {
    LONG cx;
    LONG cy;
};
typedef SIZE* LPSIZE;

struct RECT {
    LONG left;
    LONG top;
    LONG right;
    LONG bottom;
};
typedef RECT* LPRECT;
typedef const RECT* LPCRECT;

#define RGB(r, g, b)                                                         \
    (static_cast<COLORREF>(static_cast<BYTE>(r) |                            \
                           (static_cast<DWORD>(static_cast<BYTE>(g)) << 8) | \
                           (static_cast<DWORD>(static_cast<BYTE>(b)) << 16)))
#define GetRValue(c) (static_cast<BYTE>(static_cast<DWORD>(c) & 0xFF))
#define GetGValue(c) (static_cast<BYTE>((static_cast<DWORD>(c) >> 8) & 0xFF))
#define GetBValue(c) (static_cast<BYTE>((static_cast<DWORD>(c) >> 16) & 0xFF))

#define CLR_INVALID 0xFFFFFFFFu
#define GDI_ERROR 0xFFFFFFFFu
#define HGDI_ERROR (reinterpret_cast<HGDIOBJ>(static_cast<intptr_t>(-1)))

#ifndef ERROR_RESOURCE_DATA_NOT_FOUND
#define ERROR_RESOURCE_DATA_NOT_FOUND 1812L
#endif
#ifndef ERROR_RESOURCE_TYPE_NOT_FOUND
#define ERROR_RESOURCE_TYPE_NOT_FOUND 1813L
#endif
#ifndef ERROR_RESOURCE_NAME_NOT_FOUND
#define ERROR_RESOURCE_NAME_NOT_FOUND 1814L
#endif

// ---------------------------------------------------------------------------------
// Objects

#define OBJ_PEN 1
#define OBJ_BRUSH 2
#define OBJ_DC 3
#define OBJ_FONT 6
#define OBJ_BITMAP 7
#define OBJ_MEMDC 10

#define WHITE_BRUSH 0
#define LTGRAY_BRUSH 1
#define GRAY_BRUSH 2
#define DKGRAY_BRUSH 3
#define BLACK_BRUSH 4
#define NULL_BRUSH 5
#define HOLLOW_BRUSH NULL_BRUSH
#define WHITE_PEN 6
#define BLACK_PEN 7
#define NULL_PEN 8
#define SYSTEM_FONT 13

#define PS_SOLID 0
#define PS_DASH 1
#define PS_NULL 5

#define BS_SOLID 0
#define BS_NULL 1
#define BS_HOLLOW BS_NULL
#define BS_PATTERN 3

struct LOGPEN {
    UINT lopnStyle;
    POINT lopnWidth;
    COLORREF lopnColor;
};

struct LOGBRUSH {
    UINT lbStyle;
    COLORREF lbColor;
    ULONG_PTR lbHatch;
};

HGDIOBJ GetStockObject(int object);
HGDIOBJ SelectObject(HDC dc, HGDIOBJ object);
BOOL DeleteObject(HGDIOBJ object);
int GetObjectW(HGDIOBJ object, int size, LPVOID buffer);
DWORD GetObjectType(HGDIOBJ object);
HGDIOBJ GetCurrentObject(HDC dc, UINT type);

HPEN CreatePen(int style, int width, COLORREF color);
HPEN CreatePenIndirect(const LOGPEN* pen);
HBRUSH CreateSolidBrush(COLORREF color);
HBRUSH CreatePatternBrush(HBITMAP bitmap);

// ---------------------------------------------------------------------------------
// Device contexts

#define HORZSIZE 4
#define VERTSIZE 6
#define HORZRES 8
#define VERTRES 10
#define BITSPIXEL 12
#define PLANES 14
#define LOGPIXELSX 88
#define LOGPIXELSY 90

#define TRANSPARENT 1
#define OPAQUE 2

#define R2_BLACK 1
#define R2_NOTMERGEPEN 2
#define R2_MASKNOTPEN 3
#define R2_NOTCOPYPEN 4
#define R2_MASKPENNOT 5
#define R2_NOT 6
#define R2_XORPEN 7
#define R2_NOTMASKPEN 8
#define R2_MASKPEN 9
#define R2_NOTXORPEN 10
#define R2_NOP 11
#define R2_MERGENOTPEN 12
#define R2_COPYPEN 13
#define R2_MERGEPENNOT 14
#define R2_MERGEPEN 15
#define R2_WHITE 16

HDC CreateCompatibleDC(HDC dc);
BOOL DeleteDC(HDC dc);
int SaveDC(HDC dc);
BOOL RestoreDC(HDC dc, int savedDC);
int GetDeviceCaps(HDC dc, int index);

int SetBkMode(HDC dc, int mode);
int GetBkMode(HDC dc);
COLORREF SetBkColor(HDC dc, COLORREF color);
COLORREF GetBkColor(HDC dc);
COLORREF SetTextColor(HDC dc, COLORREF color);
COLORREF GetTextColor(HDC dc);
int SetROP2(HDC dc, int mode);
int GetROP2(HDC dc);
BOOL SetBrushOrgEx(HDC dc, int x, int y, LPPOINT previous);

// ---------------------------------------------------------------------------------
// Bitmaps

#define BI_RGB 0
#define BI_BITFIELDS 3
#define DIB_RGB_COLORS 0

struct BITMAP {
    LONG bmType;
    LONG bmWidth;
    LONG bmHeight;
    LONG bmWidthBytes;
    WORD bmPlanes;
    WORD bmBitsPixel;
    LPVOID bmBits;
};

struct BITMAPINFOHEADER {
    DWORD biSize;
    LONG biWidth;
    LONG biHeight;  // positive: bottom-up rows; negative: top-down
    WORD biPlanes;
    WORD biBitCount;
    DWORD biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
};

struct RGBQUAD {
    BYTE rgbBlue;
    BYTE rgbGreen;
    BYTE rgbRed;
    BYTE rgbReserved;
};

// With BI_BITFIELDS the three colour masks (red, green, blue) follow the header in
// place of bmiColors.
struct BITMAPINFO {
    BITMAPINFOHEADER bmiHeader;
    RGBQUAD bmiColors[1];
};

struct DIBSECTION {
    BITMAP dsBm;
    BITMAPINFOHEADER dsBmih;
    DWORD dsBitfields[3];
    HANDLE dshSection;
    DWORD dsOffset;
};

// Device bitmaps are 32-bit XRGB whatever the DC (there are no monochrome bitmaps
// here); a width or height of 0 gives a 1 x 1 bitmap, as the platform does.
HBITMAP CreateCompatibleBitmap(HDC dc, int width, int height);
// 16-bit (5-5-5, or 5-6-5 with BI_BITFIELDS), 24-bit and 32-bit layouts, bottom-up or
// top-down. The bits are zeroed; the program may read and write them between calls
// (no GdiFlush is needed). File-mapping sections are not supported.
HBITMAP CreateDIBSection(HDC dc, const BITMAPINFO* info, UINT usage, void** bits, HANDLE section,
                         DWORD offset);

// ---------------------------------------------------------------------------------
// Lines, shapes and pixels

BOOL MoveToEx(HDC dc, int x, int y, LPPOINT previous);
BOOL LineTo(HDC dc, int x, int y);
BOOL Polyline(HDC dc, const POINT* points, int count);
// Alternate fill; the interior excludes the right and bottom edges, the pen outline
// passes through every vertex.
BOOL Polygon(HDC dc, const POINT* points, int count);
// The right and bottom coordinates are excluded; with the null pen the filled area is
// one pixel narrower and lower still, as on the platform.
BOOL Rectangle(HDC dc, int left, int top, int right, int bottom);
BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int ellipseWidth,
               int ellipseHeight);
BOOL Ellipse(HDC dc, int left, int top, int right, int bottom);
int FillRect(HDC dc, const RECT* rect, HBRUSH brush);
COLORREF GetPixel(HDC dc, int x, int y);
COLORREF SetPixel(HDC dc, int x, int y, COLORREF color);

// ---------------------------------------------------------------------------------
// Block transfers

#define SRCCOPY 0x00CC0020u
#define SRCPAINT 0x00EE0086u
#define SRCAND 0x008800C6u
#define SRCINVERT 0x00660046u
#define SRCERASE 0x00440328u
#define NOTSRCCOPY 0x00330008u
#define NOTSRCERASE 0x001100A6u
#define MERGECOPY 0x00C000CAu
#define MERGEPAINT 0x00BB0226u
#define PATCOPY 0x00F00021u
#define PATPAINT 0x00FB0A09u
#define PATINVERT 0x005A0049u
#define DSTINVERT 0x00550009u
#define BLACKNESS 0x00000042u
#define WHITENESS 0x00FF0062u

#define AC_SRC_OVER 0x00
#define AC_SRC_ALPHA 0x01

struct BLENDFUNCTION {
    BYTE BlendOp;
    BYTE BlendFlags;
    BYTE SourceConstantAlpha;
    BYTE AlphaFormat;
};

// Any ternary raster operation. Source pixels outside the source bitmap are not
// copied: that part of the destination is left as it was.
BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop);
// Nearest-pixel stretching; negative sizes mirror.
BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop);
// The source is a DC or a bitmap handle. Pixels of the transparent colour are left
// out; the rest is stretched (nearest pixel) to the destination size.
BOOL TransparentImage(HDC dest, LONG x, LONG y, LONG width, LONG height, HANDLE source,
                      LONG sourceX, LONG sourceY, LONG sourceWidth, LONG sourceHeight,
                      COLORREF transparent);
// Constant alpha only (AlphaFormat 0): each byte becomes
// (source x alpha + destination x (255 - alpha)) / 255, rounded to nearest.
BOOL AlphaBlend(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, BLENDFUNCTION blend);

// ---------------------------------------------------------------------------------
// Fonts and text

#define LF_FACESIZE 32
#define FW_DONTCARE 0
#define FW_NORMAL 400
#define FW_SEMIBOLD 600
#define FW_BOLD 700
#define ANSI_CHARSET 0
#define DEFAULT_CHARSET 1
#define DEFAULT_QUALITY 0
#define DRAFT_QUALITY 1
#define PROOF_QUALITY 2
#define NONANTIALIASED_QUALITY 3
#define ANTIALIASED_QUALITY 4
#define CLEARTYPE_QUALITY 5
#define CLEARTYPE_COMPAT_QUALITY 6
#define DEFAULT_PITCH 0
#define FIXED_PITCH 1
#define VARIABLE_PITCH 2
#define FF_DONTCARE 0x00
#define FF_SWISS 0x20
#define TMPF_FIXED_PITCH 0x01
#define TMPF_VECTOR 0x02
#define TMPF_TRUETYPE 0x04

#define ETO_OPAQUE 0x0002
#define ETO_CLIPPED 0x0004

#define DT_TOP 0x00000000
#define DT_LEFT 0x00000000
#define DT_CENTER 0x00000001
#define DT_RIGHT 0x00000002
#define DT_VCENTER 0x00000004
#define DT_BOTTOM 0x00000008
#define DT_WORDBREAK 0x00000010
#define DT_SINGLELINE 0x00000020
#define DT_NOCLIP 0x00000100
#define DT_CALCRECT 0x00000400
#define DT_NOPREFIX 0x00000800

struct LOGFONTW {
    LONG lfHeight;  // > 0: cell height (ascent + descent); < 0: character (em) height
    LONG lfWidth;
    LONG lfEscapement;   // tenths of a degree, counter-clockwise
    LONG lfOrientation;  // the same as the escapement here
    LONG lfWeight;
    BYTE lfItalic;
    BYTE lfUnderline;
    BYTE lfStrikeOut;
    BYTE lfCharSet;
    BYTE lfOutPrecision;
    BYTE lfClipPrecision;
    BYTE lfQuality;
    BYTE lfPitchAndFamily;
    WCHAR lfFaceName[LF_FACESIZE];
};
typedef LOGFONTW LOGFONT;

struct TEXTMETRICW {
    LONG tmHeight;
    LONG tmAscent;
    LONG tmDescent;
    LONG tmInternalLeading;
    LONG tmExternalLeading;
    LONG tmAveCharWidth;
    LONG tmMaxCharWidth;
    LONG tmWeight;
    LONG tmOverhang;
    LONG tmDigitizedAspectX;
    LONG tmDigitizedAspectY;
    WCHAR tmFirstChar;
    WCHAR tmLastChar;
    WCHAR tmDefaultChar;
    WCHAR tmBreakChar;
    BYTE tmItalic;
    BYTE tmUnderlined;
    BYTE tmStruckOut;
    BYTE tmPitchAndFamily;
    BYTE tmCharSet;
};
typedef TEXTMETRICW TEXTMETRIC;

// "Tahoma" is served by the Tahoma-metric font (bold from weight 600), every other face
// and a missing Tahoma by DejaVu Sans; characters a font lacks come from DejaVu Sans.
// Italic, underline, strike-out and lfWidth are not drawn.
HFONT CreateFontIndirectW(const LOGFONTW* font);
BOOL GetTextMetricsW(HDC dc, TEXTMETRICW* metrics);
BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size);
BOOL GetTextExtentExPointW(HDC dc, LPCWSTR text, int count, int maxExtent, LPINT fit,
                           LPINT partialExtents, LPSIZE size);
// The reference point is the top left of the text cell, rotated with the escapement.
BOOL ExtTextOutW(HDC dc, int x, int y, UINT options, const RECT* rect, LPCWSTR text, UINT count,
                 const INT* dx);
int DrawTextW(HDC dc, LPCWSTR text, int count, LPRECT rect, UINT format);

// ---------------------------------------------------------------------------------
// Resources: the program's string table, bitmaps and icons by id. A null instance
// means the program's own resource module.

#define MAKEINTRESOURCEW(i) (reinterpret_cast<LPWSTR>(static_cast<ULONG_PTR>(static_cast<WORD>(i))))
#define MAKEINTRESOURCE MAKEINTRESOURCEW
#define IS_INTRESOURCE(r) ((reinterpret_cast<ULONG_PTR>(r) >> 16) == 0)

#define IMAGE_BITMAP 0
#define IMAGE_ICON 1
#define LR_DEFAULTCOLOR 0x0000
#define LR_DEFAULTSIZE 0x0040
#define DI_MASK 0x0001
#define DI_IMAGE 0x0002
#define DI_NORMAL 0x0003

// The bitmap of the current screen set (QVGA, or VGA on a 192-dpi screen when the
// module carries it).
HBITMAP LoadBitmapW(HINSTANCE instance, LPCWSTR name);
// Bitmaps and icons; a width or height of 0 keeps the resource's own size, any other
// size stretches it (nearest pixel for bitmaps, so key colours stay exact).
HANDLE LoadImageW(HINSTANCE instance, LPCWSTR name, UINT type, int width, int height, UINT flags);
HICON LoadIconW(HINSTANCE instance, LPCWSTR name);
BOOL DestroyIcon(HICON icon);
// Icons keep their alpha and are blended over the destination; a size of 0 draws the
// icon at its own size.
BOOL DrawIconEx(HDC dc, int x, int y, HICON icon, int width, int height, UINT step,
                HBRUSH flickerFreeBrush, UINT flags);
// Copies at most bufferMax - 1 characters and a terminator and returns the number
// copied; 0 (with an empty buffer) when the string does not exist. With bufferMax 0,
// *(LPCWSTR*)buffer receives the read-only string, which is not terminated.
int LoadStringW(HINSTANCE instance, UINT id, LPWSTR buffer, int bufferMax);

// ---------------------------------------------------------------------------------
// The stand-in's own services

namespace platform {

// The frame buffer: a 32-bit XRGB surface of the device's size. QVGA 240 x 320 at
// 96 dpi until the host sets another mode; setting a mode gives a black screen.
void SetScreenMode(int width, int height, int dpi);
int ScreenWidth();
int ScreenHeight();
int ScreenDpi();
// PATHLUME_SCREEN=WxH@DPI: the screen a program is started for. True with the three
// figures when it reads (or, untouched, when it is not set); false with the reason
// when it does not.
bool ScreenModeFromEnvironment(int* width, int* height, int* dpi, std::string* error);

// A DC on the screen whose logical origin lies at `origin` (screen pixels) and that
// leaves everything outside `clip` (screen pixels) alone. The window system builds its
// window DCs on this; the window is remembered for text recording. Release with
// DeleteDC.
HDC CreateScreenDC(HWND window, POINT origin, const RECT& clip);
// The whole screen.
HDC CreateScreenDC();
HWND WindowOfDC(HDC dc);

// A bitmap whose pixels are the caller's memory: 32-bit XRGB, top-down, `stride`
// bytes a row (a host window's own surface, drawn into without a copy between). The
// memory must outlive the bitmap.
HBITMAP CreateBitmapOnMemory(void* pixels, int width, int height, int stride);

// Writes the surface a DC draws on (the screen, or its selected bitmap) or a bitmap as
// a PNG file.
bool SaveDCAsPng(HDC dc, const std::filesystem::path& path);
bool SaveBitmapAsPng(HBITMAP bitmap, const std::filesystem::path& path);

// Live drawing objects (DCs, bitmaps, pens, brushes, fonts, icons; stock objects not
// counted), for leak tests.
int CountGdiObjects();
// Makes an object the system keeps for the whole process (the system colour
// brushes, the fonts of menus and boxes) a stock object: no longer counted, and left
// alone by DeleteObject. FALSE for a handle that is not a pen, brush or font.
BOOL MakeStockObject(HGDIOBJ object);

// One piece of text as a DC drew it.
struct DrawnText {
    HDC dc;
    HWND window;      // the window of a screen DC, else null
    HBITMAP bitmap;   // the bitmap a memory DC drew into, else null (the screen)
    POINT position;   // the reference point (top left of the cell), logical
    POINT onSurface;  // the same point on the screen or the bitmap
    RECT cell;        // the text's cell on the surface before any rotation
    COLORREF color;
    std::u16string text;  // as drawn (prefix characters removed)
    std::u16string face;  // the LOGFONT face name
    LONG height;          // the LOGFONT height
    LONG escapement;
};

// While an instance lives, every DC of the process records the text it draws.
class TextRecording {
  public:
    TextRecording();
    ~TextRecording();
    TextRecording(const TextRecording&) = delete;
    TextRecording& operator=(const TextRecording&) = delete;

    std::vector<DrawnText> Texts() const;
    // The texts drawn by one DC, or into one bitmap.
    std::vector<DrawnText> TextsOf(HDC dc) const;
    std::vector<DrawnText> TextsIn(HBITMAP bitmap) const;
    void Clear();

  private:
    struct State;
    State* state_;
};

// While one lives, drawn text is followed onto the screen: text drawn into a bitmap
// travels with that bitmap's pixels when they are copied (BitBlt, StretchBlt,
// TransparentImage, AlphaBlend) into another bitmap or onto the screen, once per
// drawing. Scripted runs use it to list the texts each screenshot shows.
class ScreenTextLog {
  public:
    ScreenTextLog();
    ~ScreenTextLog();
    ScreenTextLog(const ScreenTextLog&) = delete;
    ScreenTextLog& operator=(const ScreenTextLog&) = delete;

    // The texts that reached the screen since the last call, oldest first, with
    // `onSurface` and `cell` in screen pixels.
    std::vector<DrawnText> Take();

  private:
    struct State;
    State* state_;
};

// For tests: the font files behind "Tahoma" (regular, bold). Empty paths restore the
// defaults in /usr/share/wine/fonts; a missing file makes Tahoma fall back to DejaVu
// Sans. Fonts created earlier keep their file.
void SetTahomaFontFiles(const std::filesystem::path& regular, const std::filesystem::path& bold);
// Which file a font is drawn with.
std::filesystem::path FontFileOf(HFONT font);

// The instance of the program's own resource module (also reached with a null
// instance), and of a module by the name given to pathlume_add_resources.
HINSTANCE MainResourceInstance();
HINSTANCE ResourceInstance(const char* name);

}  // namespace platform

// The object model behind gdi.h: the handle table, the objects, DCs and their
// surfaces. Every function here expects the drawing lock to be held.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/gdi/drawing_library.h"
#include "platform/gdi/gdi.h"

namespace platform::gdi {

// One lock for every drawing call; recursive because resource loading and DC helpers
// reuse the public calls.
std::recursive_mutex& DrawingLock();
using Guard = std::lock_guard<std::recursive_mutex>;

enum class Kind { Dc, Bitmap, Pen, Brush, Font, Icon };

struct Object {
    explicit Object(Kind kind) : kind(kind) {}
    virtual ~Object() = default;
    const Kind kind;
    bool stock = false;
    HGDIOBJ handle = nullptr;
};

// Surface pixels are 0x00RRGGBB words; a COLORREF is 0x00BBGGRR.
inline uint32_t ToPixel(COLORREF color) {
    return ((color & 0xFF) << 16) | (color & 0xFF00) | ((color >> 16) & 0xFF);
}
inline COLORREF ToColor(uint32_t pixel) {
    return ((pixel >> 16) & 0xFF) | (pixel & 0xFF00) | ((pixel & 0xFF) << 16);
}

struct Dc;

struct Bitmap : Object {
    Bitmap() : Object(Kind::Bitmap) {}
    ~Bitmap() override;

    int width = 0;
    int height = 0;
    cairo_surface_t* surface = nullptr;  // CAIRO_FORMAT_RGB24
    uint8_t* data = nullptr;
    int stride = 0;
    // The surface's pixels when the bitmap mapped them itself (a large one).
    void* largePixels = nullptr;
    size_t largePixelsSize = 0;

    // A DIB section keeps its bits in its own layout. A 32-bit top-down section is the
    // surface itself; any other layout is copied into the surface before each call
    // that uses it and back after each call that drew into it.
    bool dib = false;
    int bitCount = 32;
    bool topDown = true;
    DWORD compression = BI_RGB;
    DWORD masks[3] = {0, 0, 0};
    uint8_t* bits = nullptr;
    int bitsStride = 0;
    LONG infoHeight = 0;
    bool direct = true;

    Dc* selectedInto = nullptr;

    uint32_t* Row(int y) {
        return reinterpret_cast<uint32_t*>(data + static_cast<ptrdiff_t>(y) * stride);
    }
    void Import();
    void Export();
    // The colour a pixel of this bitmap would hold after storing `pixel`: 16-bit
    // sections lose the low bits.
    uint32_t Quantize(uint32_t pixel) const;
};

// Creates a black 32-bit bitmap; null when the size is out of range.
std::shared_ptr<Bitmap> NewBitmap(int width, int height);
// Whether a bitmap of that size may be made.
bool SizeInRange(int64_t width, int64_t height);

// Brackets raw or Cairo access to a bitmap's pixels.
class Access {
  public:
    Access(Bitmap& bitmap, bool write);
    ~Access();
    Access(const Access&) = delete;
    Access& operator=(const Access&) = delete;

  private:
    Bitmap& bitmap_;
    bool write_;
};

struct Pen : Object {
    Pen() : Object(Kind::Pen) {}
    LOGPEN log{};
    int Width() const { return log.lopnWidth.x < 1 ? 1 : log.lopnWidth.x; }
    bool Visible() const { return log.lopnStyle != PS_NULL; }
};

struct Brush : Object {
    Brush() : Object(Kind::Brush) {}
    LOGBRUSH log{};
    std::shared_ptr<Bitmap> pattern;  // a private copy for BS_PATTERN
    bool Visible() const { return log.lbStyle != BS_NULL; }
};

struct RealFont;

struct Font : Object {
    Font() : Object(Kind::Font) {}
    LOGFONTW log{};
    std::shared_ptr<RealFont> real;
};

struct Icon : Object {
    Icon() : Object(Kind::Icon) {}
    ~Icon() override;
    cairo_surface_t* image = nullptr;  // CAIRO_FORMAT_ARGB32, premultiplied
    int width = 0;
    int height = 0;
};

struct DcState {
    std::shared_ptr<Bitmap> bitmap;
    std::shared_ptr<Pen> pen;
    std::shared_ptr<Brush> brush;
    std::shared_ptr<Font> font;
    int bkMode = OPAQUE;
    COLORREF bkColor = RGB(255, 255, 255);
    COLORREF textColor = RGB(0, 0, 0);
    int rop2 = R2_COPYPEN;
    POINT current{0, 0};
    POINT brushOrigin{0, 0};
};

struct Dc : Object {
    Dc() : Object(Kind::Dc) {}
    ~Dc() override;
    bool memory = false;
    HWND window = nullptr;
    POINT origin{0, 0};           // device position of logical (0, 0)
    RECT screenClip{0, 0, 0, 0};  // screen DCs: what they may touch
    DcState state;
    std::vector<DcState> saved;

    // The surface drawn on: the selected bitmap, or the current screen.
    Bitmap& Target();
    // The device rectangle drawing may touch.
    RECT Clip();
};

// Handle table.
HGDIOBJ Insert(std::shared_ptr<Object> object);
std::shared_ptr<Object> Lookup(HGDIOBJ handle);
void Remove(HGDIOBJ handle);
int CountLive();

template <class T>
std::shared_ptr<T> LookupAs(HGDIOBJ handle, Kind kind) {
    auto object = Lookup(handle);
    if (!object || object->kind != kind) {
        return nullptr;
    }
    return std::static_pointer_cast<T>(object);
}
// Sets ERROR_INVALID_HANDLE when the handle is not a DC.
std::shared_ptr<Dc> LookupDc(HDC dc);

std::shared_ptr<Object> StockObject(int index);
std::shared_ptr<Bitmap> StockBitmap();
std::shared_ptr<Bitmap> Screen();

// Selects a bitmap into a memory DC; false when it is selected elsewhere.
bool SelectBitmap(Dc& dc, const std::shared_ptr<Bitmap>& bitmap);

// Rectangle helpers in device coordinates.
RECT Intersect(const RECT& a, const RECT& b);
inline bool IsEmpty(const RECT& r) {
    return r.right <= r.left || r.bottom <= r.top;
}

// What a pen or a brush paints with: one colour or a tiled pattern.
struct Paint {
    uint32_t pixel = 0;
    std::shared_ptr<Bitmap> pattern;
    POINT patternOrigin{0, 0};  // device position of the pattern's (0, 0)
    uint32_t At(int x, int y) const;
};
Paint BrushPaint(Dc& dc, const Brush& brush);
Paint ColorPaint(COLORREF color);

uint32_t Rop2(int rop, uint32_t pen, uint32_t dest);
uint32_t Rop3(uint8_t op, uint32_t pattern, uint32_t source, uint32_t dest);

// A drawing call in progress on a DC: its target, its clip and pixel access.
struct Canvas {
    Canvas(Dc& dc, bool write);
    Dc& dc;
    Bitmap& target;
    RECT clip;
    Access access;

    void Plot(int x, int y, uint32_t pixel, int rop);  // device coordinates
    // A Cairo context on the target, clipped, translated to logical coordinates and
    // without antialiasing. Destroy with cairo_destroy.
    cairo_t* Cairo(const RECT* extraClip = nullptr);
    // Fills a raw device rectangle (clipped) with a paint under a ROP2 mode.
    void FillDeviceRect(RECT r, const Paint& paint, int rop);
    // Draws what `draw` fills or strokes, with the paint as source, under a ROP2 mode.
    void Render(const Paint& paint, int rop, const std::function<void(cairo_t*)>& draw);
};

void SetCairoSource(cairo_t* cr, const Paint& paint, const Dc& dc);

// Fonts (fonts.cpp).
struct Glyph {
    const RealFont* font;
    unsigned index;
    int advance;
};

struct FontFile;

struct RealFont {
    std::shared_ptr<FontFile> file;
    void* face = nullptr;  // FT_Face used for metrics only
    double em = 0;         // pixels per em
    LONG ascent = 0;
    LONG descent = 0;
    LONG internalLeading = 0;
    LONG externalLeading = 0;
    LONG aveCharWidth = 0;
    LONG maxCharWidth = 0;
    LONG weight = FW_NORMAL;
    bool smooth = true;
    LONG logHeight = 0;  // the LOGFONT height it was realized for
    // The font of the characters this one lacks, realized when one is first asked for;
    // until then the file it comes from (null: none).
    mutable std::shared_ptr<RealFont> fallback;
    mutable const char* fallbackFile = nullptr;
    mutable std::unordered_map<char32_t, Glyph> cache;

    ~RealFont();
    LONG Height() const { return ascent + descent; }
    Glyph GlyphOf(char32_t c) const;
    const RealFont* Fallback() const;
    cairo_font_face_t* CairoFace() const;
};

std::shared_ptr<RealFont> Realize(const LOGFONTW& log);
std::shared_ptr<Font> DefaultFont();
const std::filesystem::path& PathOf(const RealFont& font);

// Text (text.cpp): the code points of UTF-16 text, each with the index of its first unit.
struct CodePoint {
    char32_t value;
    int unit;
};
std::vector<CodePoint> Decode(const WCHAR* text, int count);

// Screen text logs (text.cpp): pixels of `source` within `sourceArea` were copied to
// `destArea` of the surface `dest` draws on (device pixels, positive extents).
// Call with DrawingLock() held.
void CarryDrawnTexts(const Bitmap& source, const RECT& sourceArea, const Dc& dest,
                     const RECT& destArea);

}  // namespace platform::gdi

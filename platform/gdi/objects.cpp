// The handle table, stock objects, pens and brushes, and the calls that work on any
// drawing object.
#include <cstring>
#include <map>

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

namespace {

struct Table {
    std::map<uintptr_t, std::shared_ptr<Object>> objects;
    // Handles are never reused, so a stale handle never reaches a newer object.
    uintptr_t next = 0x10000;
    int live = 0;
};

Table& Handles() {
    static Table* table = new Table;
    return *table;
}

COLORREF StockBrushColor(int index) {
    switch (index) {
        case WHITE_BRUSH:
            return RGB(255, 255, 255);
        case LTGRAY_BRUSH:
            return RGB(192, 192, 192);
        case GRAY_BRUSH:
            return RGB(128, 128, 128);
        case DKGRAY_BRUSH:
            return RGB(64, 64, 64);
        default:
            return RGB(0, 0, 0);
    }
}

std::shared_ptr<Object> MakeStock(int index) {
    if (index >= WHITE_BRUSH && index <= NULL_BRUSH) {
        auto brush = std::make_shared<Brush>();
        brush->log.lbStyle = index == NULL_BRUSH ? BS_NULL : BS_SOLID;
        brush->log.lbColor = StockBrushColor(index);
        return brush;
    }
    if (index >= WHITE_PEN && index <= NULL_PEN) {
        auto pen = std::make_shared<Pen>();
        pen->log.lopnStyle = index == NULL_PEN ? PS_NULL : PS_SOLID;
        pen->log.lopnWidth = {1, 0};
        pen->log.lopnColor = index == WHITE_PEN ? RGB(255, 255, 255) : RGB(0, 0, 0);
        return pen;
    }
    if (index == SYSTEM_FONT) {
        return DefaultFont();
    }
    return nullptr;
}

}  // namespace

std::recursive_mutex& DrawingLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

HGDIOBJ Insert(std::shared_ptr<Object> object) {
    Table& table = Handles();
    table.next += 8;
    HGDIOBJ handle = reinterpret_cast<HGDIOBJ>(table.next);
    object->handle = handle;
    if (!object->stock) {
        ++table.live;
    }
    table.objects.emplace(table.next, std::move(object));
    return handle;
}

std::shared_ptr<Object> Lookup(HGDIOBJ handle) {
    Table& table = Handles();
    auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    return found == table.objects.end() ? nullptr : found->second;
}

void Remove(HGDIOBJ handle) {
    Table& table = Handles();
    auto found = table.objects.find(reinterpret_cast<uintptr_t>(handle));
    if (found != table.objects.end()) {
        if (!found->second->stock) {
            --table.live;
        }
        table.objects.erase(found);
    }
}

int CountLive() {
    return Handles().live;
}

std::shared_ptr<Dc> LookupDc(HDC dc) {
    auto found = LookupAs<Dc>(dc, Kind::Dc);
    if (!found) {
        SetLastError(ERROR_INVALID_HANDLE);
    }
    return found;
}

std::shared_ptr<Object> StockObject(int index) {
    static std::shared_ptr<Object>* stock = new std::shared_ptr<Object>[SYSTEM_FONT + 1];
    if (index < 0 || index > SYSTEM_FONT) {
        return nullptr;
    }
    if (!stock[index]) {
        auto object = MakeStock(index);
        if (!object) {
            return nullptr;
        }
        object->stock = true;
        Insert(object);
        stock[index] = object;
    }
    return stock[index];
}

std::shared_ptr<Bitmap> StockBitmap() {
    static std::shared_ptr<Bitmap>* stock = nullptr;
    if (!stock) {
        stock = new std::shared_ptr<Bitmap>(NewBitmap(1, 1));
        (*stock)->stock = true;
        Insert(*stock);
    }
    return *stock;
}

RECT Intersect(const RECT& a, const RECT& b) {
    RECT r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right),
           std::min(a.bottom, b.bottom)};
    if (IsEmpty(r)) {
        r = {0, 0, 0, 0};
    }
    return r;
}

uint32_t Paint::At(int x, int y) const {
    if (!pattern) {
        return pixel;
    }
    int px = (x - patternOrigin.x) % pattern->width;
    int py = (y - patternOrigin.y) % pattern->height;
    if (px < 0) {
        px += pattern->width;
    }
    if (py < 0) {
        py += pattern->height;
    }
    return pattern->Row(py)[px] & 0xFFFFFF;
}

Paint ColorPaint(COLORREF color) {
    Paint paint;
    paint.pixel = ToPixel(color);
    return paint;
}

Paint BrushPaint(Dc& dc, const Brush& brush) {
    Paint paint;
    if (brush.pattern) {
        paint.pattern = brush.pattern;
        paint.patternOrigin = {dc.origin.x + dc.state.brushOrigin.x,
                               dc.origin.y + dc.state.brushOrigin.y};
    } else {
        paint.pixel = ToPixel(brush.log.lbColor);
    }
    return paint;
}

// Bit i of a ROP2 code less one selects the minterm (pen bit, dest bit) = (i >> 1, i & 1).
uint32_t Rop2(int rop, uint32_t pen, uint32_t dest) {
    unsigned op = static_cast<unsigned>(rop - 1) & 0xF;
    uint32_t r = 0;
    if (op & 1) {
        r |= ~pen & ~dest;
    }
    if (op & 2) {
        r |= ~pen & dest;
    }
    if (op & 4) {
        r |= pen & ~dest;
    }
    if (op & 8) {
        r |= pen & dest;
    }
    return r & 0xFFFFFF;
}

// Bit i of the operation byte selects the minterm (pattern, source, dest) =
// (i >> 2, (i >> 1) & 1, i & 1), as the operation codes are built.
uint32_t Rop3(uint8_t op, uint32_t pattern, uint32_t source, uint32_t dest) {
    uint32_t r = 0;
    for (int i = 0; i < 8; ++i) {
        if (op & (1u << i)) {
            r |= ((i & 4) ? pattern : ~pattern) & ((i & 2) ? source : ~source) &
                 ((i & 1) ? dest : ~dest);
        }
    }
    return r & 0xFFFFFF;
}

}  // namespace platform::gdi

using namespace platform::gdi;

HGDIOBJ GetStockObject(int object) {
    Guard guard(DrawingLock());
    auto stock = StockObject(object);
    if (!stock) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    return stock->handle;
}

HPEN CreatePenIndirect(const LOGPEN* log) {
    if (!log ||
        (log->lopnStyle != PS_SOLID && log->lopnStyle != PS_DASH && log->lopnStyle != PS_NULL)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    Guard guard(DrawingLock());
    auto pen = std::make_shared<Pen>();
    pen->log = *log;
    pen->log.lopnWidth.y = 0;
    if (pen->log.lopnWidth.x < 0) {
        pen->log.lopnWidth.x = 0;
    }
    return static_cast<HPEN>(Insert(pen));
}

HPEN CreatePen(int style, int width, COLORREF color) {
    LOGPEN log{static_cast<UINT>(style), {width, 0}, color};
    return CreatePenIndirect(&log);
}

HBRUSH CreateSolidBrush(COLORREF color) {
    Guard guard(DrawingLock());
    auto brush = std::make_shared<Brush>();
    brush->log = {BS_SOLID, color & 0xFFFFFF, 0};
    return static_cast<HBRUSH>(Insert(brush));
}

HBRUSH CreatePatternBrush(HBITMAP handle) {
    Guard guard(DrawingLock());
    auto source = LookupAs<Bitmap>(handle, Kind::Bitmap);
    if (!source) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    // The brush keeps its own copy, so the bitmap may be changed or deleted afterwards.
    auto copy = NewBitmap(source->width, source->height);
    if (!copy) {
        SetLastError(ERROR_NOT_ENOUGH_MEMORY);
        return nullptr;
    }
    {
        Access read(*source, false);
        for (int y = 0; y < source->height; ++y) {
            std::memcpy(copy->Row(y), source->Row(y), static_cast<size_t>(source->width) * 4);
        }
        cairo_surface_mark_dirty(copy->surface);
    }
    auto brush = std::make_shared<Brush>();
    brush->log = {BS_PATTERN, 0, 0};
    brush->pattern = copy;
    return static_cast<HBRUSH>(Insert(brush));
}

HGDIOBJ SelectObject(HDC dcHandle, HGDIOBJ handle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    auto object = Lookup(handle);
    if (!dc || !object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return nullptr;
    }
    DcState& state = dc->state;
    switch (object->kind) {
        case Kind::Pen: {
            HGDIOBJ previous = state.pen->handle;
            state.pen = std::static_pointer_cast<Pen>(object);
            return previous;
        }
        case Kind::Brush: {
            HGDIOBJ previous = state.brush->handle;
            state.brush = std::static_pointer_cast<Brush>(object);
            return previous;
        }
        case Kind::Font: {
            HGDIOBJ previous = state.font->handle;
            state.font = std::static_pointer_cast<Font>(object);
            return previous;
        }
        case Kind::Bitmap: {
            if (!dc->memory) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            HGDIOBJ previous = state.bitmap->handle;
            if (!SelectBitmap(*dc, std::static_pointer_cast<Bitmap>(object))) {
                SetLastError(ERROR_INVALID_PARAMETER);
                return nullptr;
            }
            return previous;
        }
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return nullptr;
    }
}

BOOL DeleteObject(HGDIOBJ handle) {
    Guard guard(DrawingLock());
    auto object = Lookup(handle);
    if (!object || object->kind == Kind::Dc || object->kind == Kind::Icon) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (object->stock) {
        return TRUE;
    }
    if (object->kind == Kind::Bitmap && static_cast<Bitmap&>(*object).selectedInto) {
        // The platform refuses to delete a bitmap that a DC still draws into.
        SetLastError(ERROR_BUSY);
        return FALSE;
    }
    // A pen, brush or font still selected somewhere stays alive in that DC until it is
    // deselected; only its handle goes.
    Remove(handle);
    return TRUE;
}

int GetObjectW(HGDIOBJ handle, int size, LPVOID buffer) {
    Guard guard(DrawingLock());
    auto object = Lookup(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    auto copyOut = [&](const void* record, int recordSize) {
        if (!buffer) {
            return recordSize;
        }
        if (size < recordSize) {
            SetLastError(ERROR_INSUFFICIENT_BUFFER);
            return 0;
        }
        std::memcpy(buffer, record, static_cast<size_t>(recordSize));
        return recordSize;
    };
    switch (object->kind) {
        case Kind::Pen:
            return copyOut(&static_cast<Pen&>(*object).log, sizeof(LOGPEN));
        case Kind::Brush: {
            LOGBRUSH log = static_cast<Brush&>(*object).log;
            return copyOut(&log, sizeof(LOGBRUSH));
        }
        case Kind::Font:
            return copyOut(&static_cast<Font&>(*object).log, sizeof(LOGFONTW));
        case Kind::Bitmap: {
            auto& bitmap = static_cast<Bitmap&>(*object);
            DIBSECTION ds{};
            ds.dsBm.bmType = 0;
            ds.dsBm.bmWidth = bitmap.width;
            ds.dsBm.bmHeight = bitmap.height;
            ds.dsBm.bmPlanes = 1;
            ds.dsBm.bmBitsPixel = static_cast<WORD>(bitmap.bitCount);
            if (bitmap.dib) {
                ds.dsBm.bmWidthBytes = bitmap.bitsStride;
                ds.dsBm.bmBits = bitmap.bits;
                ds.dsBmih.biSize = sizeof(BITMAPINFOHEADER);
                ds.dsBmih.biWidth = bitmap.width;
                ds.dsBmih.biHeight = bitmap.infoHeight;
                ds.dsBmih.biPlanes = 1;
                ds.dsBmih.biBitCount = static_cast<WORD>(bitmap.bitCount);
                ds.dsBmih.biCompression = bitmap.compression;
                ds.dsBmih.biSizeImage = static_cast<DWORD>(bitmap.bitsStride) * bitmap.height;
                if (bitmap.compression == BI_BITFIELDS) {
                    std::memcpy(ds.dsBitfields, bitmap.masks, sizeof(ds.dsBitfields));
                }
                if (!buffer || size >= static_cast<int>(sizeof(DIBSECTION))) {
                    return copyOut(&ds, sizeof(DIBSECTION));
                }
            } else {
                ds.dsBm.bmWidthBytes = bitmap.width * 4;
            }
            return copyOut(&ds.dsBm, sizeof(BITMAP));
        }
        default:
            SetLastError(ERROR_INVALID_HANDLE);
            return 0;
    }
}

DWORD GetObjectType(HGDIOBJ handle) {
    Guard guard(DrawingLock());
    auto object = Lookup(handle);
    if (!object) {
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    switch (object->kind) {
        case Kind::Pen:
            return OBJ_PEN;
        case Kind::Brush:
            return OBJ_BRUSH;
        case Kind::Font:
            return OBJ_FONT;
        case Kind::Bitmap:
            return OBJ_BITMAP;
        case Kind::Dc:
            return static_cast<Dc&>(*object).memory ? OBJ_MEMDC : OBJ_DC;
        default:
            return 0;
    }
}

HGDIOBJ GetCurrentObject(HDC dcHandle, UINT type) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return nullptr;
    }
    switch (type) {
        case OBJ_PEN:
            return dc->state.pen->handle;
        case OBJ_BRUSH:
            return dc->state.brush->handle;
        case OBJ_FONT:
            return dc->state.font->handle;
        case OBJ_BITMAP:
            return dc->memory ? dc->state.bitmap->handle : nullptr;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return nullptr;
    }
}

BOOL platform::MakeStockObject(HGDIOBJ handle) {
    Guard guard(DrawingLock());
    auto object = Lookup(handle);
    if (!object ||
        (object->kind != Kind::Pen && object->kind != Kind::Brush && object->kind != Kind::Font)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (!object->stock) {
        object->stock = true;
        --Handles().live;
    }
    return TRUE;
}

int platform::CountGdiObjects() {
    Guard guard(DrawingLock());
    return CountLive();
}

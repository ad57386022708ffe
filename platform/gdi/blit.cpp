// Block transfers: BitBlt, StretchBlt, TransparentImage and AlphaBlend.
#include <cstdlib>
#include <cstring>

#include "platform/gdi/gdi_internal.h"

using namespace platform::gdi;

namespace {

enum class Mode { Rop, Key, Blend };

struct Transfer {
    Mode mode = Mode::Rop;
    uint8_t op = 0xCC;     // Mode::Rop: the ternary operation
    uint32_t key = 0;      // Mode::Key: the source pixel left out
    unsigned alpha = 255;  // Mode::Blend: constant source opacity
};

bool UsesSource(uint8_t op) {
    return (((op >> 2) ^ op) & 0x33) != 0;
}

inline uint32_t BlendPixel(uint32_t s, uint32_t d, unsigned a) {
    uint32_t out = 0;
    for (int shift = 0; shift <= 16; shift += 8) {
        unsigned sv = (s >> shift) & 0xFF, dv = (d >> shift) & 0xFF;
        out |= ((sv * a + dv * (255 - a) + 127) / 255) << shift;
    }
    return out;
}

// The first pixel an extent covers: a negative extent runs left (or up) from the pixel
// at its start, so (x, -w) covers x - w + 1 .. x.
int LowEnd(int start, int extent) {
    return extent < 0 ? start + extent + 1 : start;
}

// Maps one axis of the destination onto the source, nearest pixel, mirrored when the
// two extents differ in sign.
std::vector<int> AxisMap(int destExtent, int sourceStart, int sourceExtent) {
    const int count = std::abs(destExtent);
    const int sourceCount = std::abs(sourceExtent);
    const int sourceLow = LowEnd(sourceStart, sourceExtent);
    const bool mirror = (destExtent < 0) != (sourceExtent < 0);
    std::vector<int> map(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        int j = static_cast<int>((static_cast<int64_t>(2 * i + 1) * sourceCount) / (2 * count));
        map[static_cast<size_t>(i)] = sourceLow + (mirror ? sourceCount - 1 - j : j);
    }
    return map;
}

// Copies (and combines) a source rectangle onto a destination rectangle of a DC. The
// source is a bitmap with the device offset of its logical origin; pixels whose source
// lies outside the source bitmap are left alone.
BOOL Run(Dc& dest, int x, int y, int width, int height, Bitmap* source, POINT sourceOrigin,
         int sourceX, int sourceY, int sourceWidth, int sourceHeight, const Transfer& transfer) {
    if (width == 0 || height == 0 || sourceWidth == 0 || sourceHeight == 0) {
        return TRUE;
    }
    std::unique_ptr<Access> sourceAccess;
    if (source) {
        sourceAccess = std::make_unique<Access>(*source, false);
    }
    Canvas canvas(dest, true);
    Bitmap& target = canvas.target;

    const int destLeft = LowEnd(x, width) + dest.origin.x;
    const int destTop = LowEnd(y, height) + dest.origin.y;
    const std::vector<int> columns = AxisMap(width, sourceX + sourceOrigin.x, sourceWidth);
    const std::vector<int> rows = AxisMap(height, sourceY + sourceOrigin.y, sourceHeight);
    const RECT area = Intersect(canvas.clip, RECT{destLeft, destTop, destLeft + std::abs(width),
                                                  destTop + std::abs(height)});
    if (IsEmpty(area)) {
        return TRUE;
    }
    if (source && source != &target && width > 0 && height > 0) {
        const int sourceLeft = LowEnd(sourceX + sourceOrigin.x, sourceWidth);
        const int sourceTop = LowEnd(sourceY + sourceOrigin.y, sourceHeight);
        CarryDrawnTexts(*source,
                        RECT{sourceLeft, sourceTop, sourceLeft + std::abs(sourceWidth),
                             sourceTop + std::abs(sourceHeight)},
                        dest, RECT{destLeft, destTop, destLeft + width, destTop + height});
    }

    // A source that is also the destination is read from a copy, so overlapping moves
    // see the pixels as they were.
    std::vector<uint32_t> copy;
    int copyLeft = 0, copyTop = 0, copyWidth = 0;
    if (source == &target) {
        copyLeft = std::max(0, std::min(columns.front(), columns.back()));
        copyTop = std::max(0, std::min(rows.front(), rows.back()));
        const int copyRight =
            std::min(source->width, std::max(columns.front(), columns.back()) + 1);
        const int copyBottom = std::min(source->height, std::max(rows.front(), rows.back()) + 1);
        if (copyRight > copyLeft && copyBottom > copyTop) {
            copyWidth = copyRight - copyLeft;
            copy.resize(static_cast<size_t>(copyWidth) * static_cast<size_t>(copyBottom - copyTop));
            for (int row = copyTop; row < copyBottom; ++row) {
                std::memcpy(&copy[static_cast<size_t>(row - copyTop) * copyWidth],
                            source->Row(row) + copyLeft, static_cast<size_t>(copyWidth) * 4);
            }
        }
    }
    // The source row and the column its first word holds.
    auto sourceRow = [&](int row, int* firstColumn) -> const uint32_t* {
        if (!copy.empty()) {
            *firstColumn = copyLeft;
            return &copy[static_cast<size_t>(row - copyTop) * copyWidth];
        }
        *firstColumn = 0;
        return source->Row(row);
    };

    const Paint pattern =
        dest.state.brush->Visible() ? BrushPaint(dest, *dest.state.brush) : ColorPaint(0);
    const bool straight = width > 0 && sourceWidth == width;
    for (int destY = area.top; destY < area.bottom; ++destY) {
        uint32_t* out = target.Row(destY);
        if (!source) {
            for (int destX = area.left; destX < area.right; ++destX) {
                out[destX] = Rop3(transfer.op, pattern.At(destX, destY), 0, out[destX] & 0xFFFFFF);
            }
            continue;
        }
        const int sy = rows[static_cast<size_t>(destY - destTop)];
        if (sy < 0 || sy >= source->height) {
            continue;
        }
        int firstColumn = 0;
        const uint32_t* in = sourceRow(sy, &firstColumn);
        int left = area.left, right = area.right;
        if (straight) {
            // Trim the run to the source's columns so the inner loop needs no checks.
            const int shift = columns[0] - destLeft;
            left = std::max(left, -shift);
            right = std::min(right, source->width - shift);
            if (left >= right) {
                continue;
            }
            if (transfer.mode == Mode::Rop && transfer.op == 0xCC) {
                std::memcpy(out + left, in + (left + shift - firstColumn),
                            static_cast<size_t>(right - left) * 4);
                continue;
            }
        }
        for (int destX = left; destX < right; ++destX) {
            const int sx = columns[static_cast<size_t>(destX - destLeft)];
            if (sx < 0 || sx >= source->width) {
                continue;
            }
            const uint32_t s = in[sx - firstColumn] & 0xFFFFFF;
            switch (transfer.mode) {
                case Mode::Rop:
                    out[destX] =
                        Rop3(transfer.op, pattern.At(destX, destY), s, out[destX] & 0xFFFFFF);
                    break;
                case Mode::Key:
                    if (s != transfer.key) {
                        out[destX] = s;
                    }
                    break;
                case Mode::Blend:
                    out[destX] = BlendPixel(s, out[destX] & 0xFFFFFF, transfer.alpha);
                    break;
            }
        }
    }
    return TRUE;
}

BOOL RopTransfer(HDC destHandle, int x, int y, int width, int height, HDC sourceHandle, int sourceX,
                 int sourceY, int sourceWidth, int sourceHeight, DWORD rop) {
    Guard guard(DrawingLock());
    auto dest = LookupDc(destHandle);
    if (!dest) {
        return FALSE;
    }
    Transfer transfer;
    transfer.op = static_cast<uint8_t>((rop >> 16) & 0xFF);
    if (!UsesSource(transfer.op)) {
        return Run(*dest, x, y, width, height, nullptr, POINT{0, 0}, 0, 0, width, height, transfer);
    }
    auto source = LookupDc(sourceHandle);
    if (!source) {
        return FALSE;
    }
    return Run(*dest, x, y, width, height, &source->Target(), source->origin, sourceX, sourceY,
               sourceWidth, sourceHeight, transfer);
}

}  // namespace

BOOL BitBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
            DWORD rop) {
    if (width < 0 || height < 0) {
        width = std::max(width, 0);
        height = std::max(height, 0);
    }
    return RopTransfer(dest, x, y, width, height, source, sourceX, sourceY, width, height, rop);
}

BOOL StretchBlt(HDC dest, int x, int y, int width, int height, HDC source, int sourceX, int sourceY,
                int sourceWidth, int sourceHeight, DWORD rop) {
    return RopTransfer(dest, x, y, width, height, source, sourceX, sourceY, sourceWidth,
                       sourceHeight, rop);
}

BOOL TransparentImage(HDC destHandle, LONG x, LONG y, LONG width, LONG height, HANDLE sourceHandle,
                      LONG sourceX, LONG sourceY, LONG sourceWidth, LONG sourceHeight,
                      COLORREF transparent) {
    Guard guard(DrawingLock());
    auto dest = LookupDc(destHandle);
    if (!dest) {
        return FALSE;
    }
    if (width < 0 || height < 0 || sourceWidth < 0 || sourceHeight < 0) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    // The source may be a DC or a bitmap handle.
    auto object = Lookup(sourceHandle);
    Bitmap* source = nullptr;
    POINT origin{0, 0};
    if (object && object->kind == Kind::Dc) {
        auto& dc = static_cast<Dc&>(*object);
        source = &dc.Target();
        origin = dc.origin;
    } else if (object && object->kind == Kind::Bitmap) {
        source = static_cast<Bitmap*>(object.get());
    } else {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Transfer transfer;
    transfer.mode = Mode::Key;
    transfer.key = source->Quantize(ToPixel(transparent));
    return Run(*dest, x, y, width, height, source, origin, sourceX, sourceY, sourceWidth,
               sourceHeight, transfer);
}

BOOL AlphaBlend(HDC destHandle, int x, int y, int width, int height, HDC sourceHandle, int sourceX,
                int sourceY, int sourceWidth, int sourceHeight, BLENDFUNCTION blend) {
    Guard guard(DrawingLock());
    auto dest = LookupDc(destHandle);
    auto source = LookupDc(sourceHandle);
    if (!dest || !source) {
        return FALSE;
    }
    Bitmap& bitmap = source->Target();
    const int left = sourceX + source->origin.x, top = sourceY + source->origin.y;
    // Per-pixel alpha is not offered; the source rectangle must lie inside the source.
    if (blend.BlendOp != AC_SRC_OVER || blend.BlendFlags != 0 || blend.AlphaFormat != 0 ||
        width < 0 || height < 0 || sourceWidth < 0 || sourceHeight < 0 || left < 0 || top < 0 ||
        left + sourceWidth > bitmap.width || top + sourceHeight > bitmap.height) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Transfer transfer;
    transfer.mode = Mode::Blend;
    transfer.alpha = blend.SourceConstantAlpha;
    return Run(*dest, x, y, width, height, &bitmap, source->origin, sourceX, sourceY, sourceWidth,
               sourceHeight, transfer);
}

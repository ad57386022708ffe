// A memory DC drawing into its own white bitmap, for pixel tests.
#pragma once

#include <string>

#include "platform/gdi/gdi.h"

namespace gdi_testing {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);
constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);

class Surface {
  public:
    Surface(int width, int height, COLORREF fill = kWhite) : width_(width), height_(height) {
        dc_ = CreateCompatibleDC(nullptr);
        bitmap_ = CreateCompatibleBitmap(dc_, width, height);
        old_ = SelectObject(dc_, bitmap_);
        Fill(fill);
    }
    ~Surface() {
        SelectObject(dc_, old_);
        DeleteObject(bitmap_);
        DeleteDC(dc_);
    }
    Surface(const Surface&) = delete;
    Surface& operator=(const Surface&) = delete;

    HDC dc() const { return dc_; }
    HBITMAP bitmap() const { return bitmap_; }
    COLORREF At(int x, int y) const { return GetPixel(dc_, x, y); }

    void Fill(COLORREF color) {
        HBRUSH brush = CreateSolidBrush(color);
        RECT all{0, 0, width_, height_};
        FillRect(dc_, &all, brush);
        DeleteObject(brush);
    }

    // Pixels of a colour inside a rectangle.
    int Count(COLORREF color, RECT r) const {
        int count = 0;
        for (int y = r.top; y < r.bottom; ++y) {
            for (int x = r.left; x < r.right; ++x) {
                count += At(x, y) == color ? 1 : 0;
            }
        }
        return count;
    }
    int Count(COLORREF color) const { return Count(color, RECT{0, 0, width_, height_}); }

    // One text line per row, '#' where the pixel has the colour: for failure messages.
    std::string Picture(COLORREF color) const {
        std::string out;
        for (int y = 0; y < height_; ++y) {
            for (int x = 0; x < width_; ++x) {
                out += At(x, y) == color ? '#' : '.';
            }
            out += '\n';
        }
        return out;
    }

  private:
    int width_;
    int height_;
    HDC dc_;
    HBITMAP bitmap_;
    HGDIOBJ old_;
};

// Selects an object into a DC for one scope and deletes it afterwards.
class Selected {
  public:
    Selected(HDC dc, HGDIOBJ object) : dc_(dc), object_(object) { old_ = SelectObject(dc, object); }
    ~Selected() {
        SelectObject(dc_, old_);
        DeleteObject(object_);
    }
    Selected(const Selected&) = delete;
    Selected& operator=(const Selected&) = delete;

  private:
    HDC dc_;
    HGDIOBJ object_;
    HGDIOBJ old_;
};

}  // namespace gdi_testing

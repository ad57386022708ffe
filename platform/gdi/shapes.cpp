// Lines, shapes, rectangle fills and pixels.
//
// Coordinates follow the platform's pixel rules: a pixel is addressed by its top-left
// corner, fills include the left and top edges of a shape and exclude the right and
// bottom ones, and a one-pixel line excludes its last point. Cairo samples pixel
// centres with the same top-left rule, so shape paths are laid through pixel centres
// (+0.5) and filled without antialiasing; one-pixel lines are stepped here so that
// their pixels are exact.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

Canvas::Canvas(Dc& dc, bool write)
    : dc(dc), target(dc.Target()), clip(dc.Clip()), access(target, write) {}

void Canvas::Plot(int x, int y, uint32_t pixel, int rop) {
    if (x < clip.left || x >= clip.right || y < clip.top || y >= clip.bottom) {
        return;
    }
    uint32_t& out = target.Row(y)[x];
    out = rop == R2_COPYPEN ? pixel : Rop2(rop, pixel, out & 0xFFFFFF);
}

cairo_t* Canvas::Cairo(const RECT* extraClip) {
    cairo_t* cr = cairo_create(target.surface);
    RECT c = extraClip ? Intersect(clip, *extraClip) : clip;
    cairo_rectangle(cr, c.left, c.top, c.right - c.left, c.bottom - c.top);
    cairo_clip(cr);
    cairo_translate(cr, dc.origin.x, dc.origin.y);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    return cr;
}

void Canvas::FillDeviceRect(RECT r, const Paint& paint, int rop) {
    r = Intersect(r, clip);
    if (IsEmpty(r) || rop == R2_NOP) {
        return;
    }
    for (int y = r.top; y < r.bottom; ++y) {
        uint32_t* row = target.Row(y);
        if (rop == R2_COPYPEN && !paint.pattern) {
            std::fill(row + r.left, row + r.right, paint.pixel);
            continue;
        }
        if (rop == R2_COPYPEN) {
            // The pattern's row, repeated from the column under r.left (Paint::At).
            Bitmap& pattern = *paint.pattern;
            const int py =
                ((y - paint.patternOrigin.y) % pattern.height + pattern.height) % pattern.height;
            int px =
                ((r.left - paint.patternOrigin.x) % pattern.width + pattern.width) % pattern.width;
            const uint32_t* source = pattern.Row(py);
            for (int x = r.left; x < r.right; ++x) {
                row[x] = source[px] & 0xFFFFFF;
                if (++px == pattern.width) {
                    px = 0;
                }
            }
            continue;
        }
        for (int x = r.left; x < r.right; ++x) {
            uint32_t p = paint.At(x, y);
            row[x] = rop == R2_COPYPEN ? p : Rop2(rop, p, row[x] & 0xFFFFFF);
        }
    }
}

void SetCairoSource(cairo_t* cr, const Paint& paint, const Dc& dc) {
    if (!paint.pattern) {
        cairo_set_source_rgb(cr, ((paint.pixel >> 16) & 0xFF) / 255.0,
                             ((paint.pixel >> 8) & 0xFF) / 255.0, (paint.pixel & 0xFF) / 255.0);
        return;
    }
    cairo_pattern_t* pattern = cairo_pattern_create_for_surface(paint.pattern->surface);
    cairo_pattern_set_extend(pattern, CAIRO_EXTEND_REPEAT);
    cairo_pattern_set_filter(pattern, CAIRO_FILTER_NEAREST);
    cairo_matrix_t matrix;
    cairo_matrix_init_translate(&matrix, -(paint.patternOrigin.x - dc.origin.x),
                                -(paint.patternOrigin.y - dc.origin.y));
    cairo_pattern_set_matrix(pattern, &matrix);
    cairo_set_source(cr, pattern);
    cairo_pattern_destroy(pattern);
}

void Canvas::Render(const Paint& paint, int rop, const std::function<void(cairo_t*)>& draw) {
    if (rop == R2_NOP || IsEmpty(clip)) {
        return;
    }
    if (rop == R2_COPYPEN) {
        cairo_t* cr = Cairo();
        SetCairoSource(cr, paint, dc);
        draw(cr);
        cairo_destroy(cr);
        return;
    }
    // Other modes combine with the destination bit by bit: draw the shape's coverage
    // into a mask and apply the mode where it is set.
    const int width = clip.right - clip.left, height = clip.bottom - clip.top;
    cairo_surface_t* mask = cairo_image_surface_create(CAIRO_FORMAT_A8, width, height);
    cairo_t* cr = cairo_create(mask);
    cairo_translate(cr, dc.origin.x - clip.left, dc.origin.y - clip.top);
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    cairo_set_source_rgba(cr, 0, 0, 0, 1);
    draw(cr);
    cairo_destroy(cr);
    cairo_surface_flush(mask);
    const uint8_t* bits = cairo_image_surface_get_data(mask);
    const int maskStride = cairo_image_surface_get_stride(mask);
    for (int y = 0; y < height; ++y) {
        const uint8_t* coverage = bits + static_cast<ptrdiff_t>(y) * maskStride;
        uint32_t* row = target.Row(clip.top + y);
        for (int x = 0; x < width; ++x) {
            if (coverage[x] >= 128) {
                uint32_t& out = row[clip.left + x];
                out = Rop2(rop, paint.At(clip.left + x, clip.top + y), out & 0xFFFFFF);
            }
        }
    }
    cairo_surface_destroy(mask);
}

}  // namespace platform::gdi

using namespace platform::gdi;

namespace {

// The dash of PS_DASH for one-pixel pens, in pixels on and off.
constexpr int kDashOn = 18;
constexpr int kDashOff = 6;
constexpr int kDashPeriod = kDashOn + kDashOff;

// Steps one-pixel lines, keeping the dash phase from segment to segment.
class LineStepper {
  public:
    LineStepper(Canvas& canvas, const Pen& pen)
        : canvas_(canvas),
          rop_(canvas.dc.state.rop2),
          pixel_(ToPixel(pen.log.lopnColor)),
          dashed_(pen.log.lopnStyle == PS_DASH),
          fillGaps_(canvas.dc.state.bkMode == OPAQUE),
          gapPixel_(ToPixel(canvas.dc.state.bkColor)) {}

    // From a to b in logical coordinates, b excluded. A segment that reaches far past
    // the clip is first cut to it, so that ends anywhere in the int range neither
    // overflow nor take billions of steps; the dash runs on over the part cut off.
    void Segment(POINT a, POINT b) {
        const int64_t ax = int64_t{a.x} + canvas_.dc.origin.x;
        const int64_t ay = int64_t{a.y} + canvas_.dc.origin.y;
        const int64_t bx = int64_t{b.x} + canvas_.dc.origin.x;
        const int64_t by = int64_t{b.y} + canvas_.dc.origin.y;
        if (NearClip(ax, ay) && NearClip(bx, by)) {
            Walk(ax, ay, bx, by);
            return;
        }
        const int64_t steps = Steps(ax, ay, bx, by);
        // Liang-Barsky against the clip widened by a pixel, whose border no pixel of
        // the clip lies on.
        const RECT& c = canvas_.clip;
        const double dx = static_cast<double>(bx - ax), dy = static_cast<double>(by - ay);
        double t0 = 0, t1 = 1;
        auto within = [&](double p, double q) {  // keeps the part where p t <= q
            if (p == 0)
                return q >= 0;
            const double t = q / p;
            if (p < 0)
                t0 = std::max(t0, t);
            else
                t1 = std::min(t1, t);
            return t0 <= t1;
        };
        if (!within(-dx, static_cast<double>(ax - (c.left - 1))) ||
            !within(dx, static_cast<double>(c.right - ax)) ||
            !within(-dy, static_cast<double>(ay - (c.top - 1))) ||
            !within(dy, static_cast<double>(c.bottom - ay))) {
            Advance(steps);
            return;
        }
        const int64_t sx = std::llround(static_cast<double>(ax) + t0 * dx);
        const int64_t sy = std::llround(static_cast<double>(ay) + t0 * dy);
        const int64_t ex = std::llround(static_cast<double>(ax) + t1 * dx);
        const int64_t ey = std::llround(static_cast<double>(ay) + t1 * dy);
        const int64_t before = Steps(ax, ay, sx, sy);
        const int64_t walked = Steps(sx, sy, ex, ey);
        Advance(before);
        Walk(sx, sy, ex, ey);
        Advance(std::max<int64_t>(steps - before - walked, 0));
    }

  private:
    // Ends this close to the clip are walked as they are.
    static constexpr int64_t kReach = 4096;

    bool NearClip(int64_t x, int64_t y) const {
        const RECT& c = canvas_.clip;
        return x >= c.left - kReach && x <= c.right + kReach && y >= c.top - kReach &&
               y <= c.bottom + kReach;
    }
    static int64_t Steps(int64_t x0, int64_t y0, int64_t x1, int64_t y1) {
        return std::max(std::abs(x1 - x0), std::abs(y1 - y0));
    }
    void Advance(int64_t steps) {
        phase_ = static_cast<int>((phase_ + steps % kDashPeriod) % kDashPeriod);
    }
    // Bresenham from (x, y) to (x1, y1), the end excluded.
    void Walk(int64_t x, int64_t y, int64_t x1, int64_t y1) {
        const int64_t dx = std::abs(x1 - x), dy = std::abs(y1 - y);
        const int sx = x < x1 ? 1 : -1, sy = y < y1 ? 1 : -1;
        int64_t err = dx - dy;
        while (x != x1 || y != y1) {
            Step(static_cast<int>(x), static_cast<int>(y));
            const int64_t e2 = 2 * err;
            if (e2 > -dy) {
                err -= dy;
                x += sx;
            }
            if (e2 < dx) {
                err += dx;
                y += sy;
            }
        }
    }

    void Step(int x, int y) {
        if (!dashed_ || phase_ < kDashOn) {
            canvas_.Plot(x, y, pixel_, rop_);
        } else if (fillGaps_) {
            canvas_.Plot(x, y, gapPixel_, rop_);
        }
        phase_ = (phase_ + 1) % kDashPeriod;
    }

    Canvas& canvas_;
    int rop_;
    uint32_t pixel_;
    bool dashed_;
    bool fillGaps_;
    uint32_t gapPixel_;
    int phase_ = 0;
};

void PathThrough(cairo_t* cr, const POINT* points, int count, bool close) {
    cairo_new_path(cr);
    for (int i = 0; i < count; ++i) {
        cairo_line_to(cr, points[i].x + 0.5, points[i].y + 0.5);
    }
    if (close) {
        cairo_close_path(cr);
    }
}

// Strokes the path that `path` lays: curves with any pen, lines with pens wider than
// a pixel.
void StrokePath(Canvas& canvas, const Pen& pen, cairo_line_join_t join,
                const std::function<void(cairo_t*)>& path) {
    const int width = pen.Width();
    const bool dashed = pen.log.lopnStyle == PS_DASH;
    auto stroke = [&](cairo_t* cr, bool dashes) {
        path(cr);
        cairo_set_line_width(cr, width);
        cairo_set_line_join(cr, join);
        cairo_set_line_cap(cr, dashed ? CAIRO_LINE_CAP_BUTT : CAIRO_LINE_CAP_ROUND);
        if (dashes) {
            const double pattern[2] = {width <= 1 ? kDashOn : 6.0 * width,
                                       width <= 1 ? kDashOff : 2.0 * width};
            cairo_set_dash(cr, pattern, 2, 0);
        }
        cairo_stroke(cr);
    };
    const int rop = canvas.dc.state.rop2;
    if (dashed && canvas.dc.state.bkMode == OPAQUE) {
        canvas.Render(ColorPaint(canvas.dc.state.bkColor), rop,
                      [&](cairo_t* cr) { stroke(cr, false); });
    }
    canvas.Render(ColorPaint(pen.log.lopnColor), rop, [&](cairo_t* cr) { stroke(cr, dashed); });
}

// The outline of a closed or open point list with the DC's pen.
void Outline(Canvas& canvas, const POINT* points, int count, bool close) {
    const Pen& pen = *canvas.dc.state.pen;
    if (!pen.Visible() || count < 2) {
        return;
    }
    if (pen.Width() <= 1) {
        LineStepper stepper(canvas, pen);
        for (int i = 0; i + 1 < count; ++i) {
            stepper.Segment(points[i], points[i + 1]);
        }
        if (close) {
            stepper.Segment(points[count - 1], points[0]);
        }
        return;
    }
    StrokePath(canvas, pen, CAIRO_LINE_JOIN_ROUND,
               [&](cairo_t* cr) { PathThrough(cr, points, count, close); });
}

void Normalize(int& left, int& top, int& right, int& bottom) {
    if (left > right) {
        std::swap(left, right);
    }
    if (top > bottom) {
        std::swap(top, bottom);
    }
}

RECT ToDevice(const Dc& dc, int left, int top, int right, int bottom) {
    return RECT{left + dc.origin.x, top + dc.origin.y, right + dc.origin.x, bottom + dc.origin.y};
}

// Rounded-rectangle path through pixel centres; radii of 0 give a plain rectangle.
void RoundedPath(cairo_t* cr, double x0, double y0, double x1, double y1, double rx, double ry) {
    cairo_new_path(cr);
    if (rx <= 0 || ry <= 0) {
        cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
        return;
    }
    auto corner = [&](double cx, double cy, double from, double to) {
        cairo_save(cr);
        cairo_translate(cr, cx, cy);
        cairo_scale(cr, rx, ry);
        cairo_arc(cr, 0, 0, 1, from, to);
        cairo_restore(cr);
    };
    corner(x1 - rx, y0 + ry, -M_PI / 2, 0);
    corner(x1 - rx, y1 - ry, 0, M_PI / 2);
    corner(x0 + rx, y1 - ry, M_PI / 2, M_PI);
    corner(x0 + rx, y0 + ry, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

// Rectangle, RoundRect and Ellipse: a shape whose outline passes through the centres
// of its outermost pixels.
BOOL DrawRounded(HDC dcHandle, int left, int top, int right, int bottom, double radiusX,
                 double radiusY) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    Normalize(left, top, right, bottom);
    if (right - left < 1 || bottom - top < 1) {
        return TRUE;
    }
    Canvas canvas(*dc, true);
    const Pen& pen = *dc->state.pen;
    const Brush& brush = *dc->state.brush;
    const int rop = dc->state.rop2;
    const double x0 = left + 0.5, y0 = top + 0.5, x1 = right - 0.5, y1 = bottom - 0.5;
    radiusX = std::min(radiusX, (x1 - x0) / 2);
    radiusY = std::min(radiusY, (y1 - y0) / 2);
    const bool square = radiusX <= 0 || radiusY <= 0;

    if (brush.Visible()) {
        Paint paint = BrushPaint(*dc, brush);
        if (square) {
            // Inside a one-pixel frame, or one pixel short on the right and bottom
            // without a pen.
            const int inset = pen.Visible() && pen.Width() <= 1 ? 1 : 0;
            canvas.FillDeviceRect(ToDevice(*dc, left + inset, top + inset, right - 1, bottom - 1),
                                  paint, rop);
        } else {
            canvas.Render(paint, rop, [&](cairo_t* cr) {
                RoundedPath(cr, x0, y0, x1, y1, radiusX, radiusY);
                cairo_fill(cr);
            });
        }
    }
    if (!pen.Visible()) {
        return TRUE;
    }
    if (square && pen.Width() <= 1) {
        const POINT frame[4] = {
            {left, top}, {right - 1, top}, {right - 1, bottom - 1}, {left, bottom - 1}};
        if (right - left == 1 || bottom - top == 1) {
            // A frame one pixel thin is a line; stepping it closed would draw it twice.
            LineStepper stepper(canvas, pen);
            stepper.Segment(frame[0], frame[2]);
            canvas.Plot(frame[2].x + dc->origin.x, frame[2].y + dc->origin.y,
                        ToPixel(pen.log.lopnColor), rop);
        } else {
            Outline(canvas, frame, 4, true);
        }
        return TRUE;
    }
    StrokePath(canvas, pen, square ? CAIRO_LINE_JOIN_MITER : CAIRO_LINE_JOIN_ROUND,
               [&](cairo_t* cr) { RoundedPath(cr, x0, y0, x1, y1, radiusX, radiusY); });
    return TRUE;
}

}  // namespace

BOOL MoveToEx(HDC dcHandle, int x, int y, LPPOINT previous) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    if (previous) {
        *previous = dc->state.current;
    }
    dc->state.current = {x, y};
    return TRUE;
}

BOOL LineTo(HDC dcHandle, int x, int y) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    const POINT points[2] = {dc->state.current, {x, y}};
    {
        Canvas canvas(*dc, true);
        Outline(canvas, points, 2, false);
    }
    dc->state.current = {x, y};
    return TRUE;
}

BOOL Polyline(HDC dcHandle, const POINT* points, int count) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    if (!points || count < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Canvas canvas(*dc, true);
    Outline(canvas, points, count, false);
    return TRUE;
}

BOOL Polygon(HDC dcHandle, const POINT* points, int count) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return FALSE;
    }
    if (!points || count < 2) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Canvas canvas(*dc, true);
    const Brush& brush = *dc->state.brush;
    if (brush.Visible()) {
        canvas.Render(BrushPaint(*dc, brush), dc->state.rop2, [&](cairo_t* cr) {
            PathThrough(cr, points, count, true);
            cairo_set_fill_rule(cr, CAIRO_FILL_RULE_EVEN_ODD);
            cairo_fill(cr);
        });
    }
    Outline(canvas, points, count, true);
    return TRUE;
}

BOOL Rectangle(HDC dc, int left, int top, int right, int bottom) {
    return DrawRounded(dc, left, top, right, bottom, 0, 0);
}

BOOL RoundRect(HDC dc, int left, int top, int right, int bottom, int ellipseWidth,
               int ellipseHeight) {
    return DrawRounded(dc, left, top, right, bottom, std::abs(ellipseWidth) / 2.0,
                       std::abs(ellipseHeight) / 2.0);
}

BOOL Ellipse(HDC dc, int left, int top, int right, int bottom) {
    return DrawRounded(dc, left, top, right, bottom, std::abs(right - left) / 2.0,
                       std::abs(bottom - top) / 2.0);
}

int FillRect(HDC dcHandle, const RECT* rect, HBRUSH brushHandle) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    auto brush = LookupAs<Brush>(brushHandle, Kind::Brush);
    if (!dc || !rect || !brush) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (brush->Visible()) {
        Canvas canvas(*dc, true);
        canvas.FillDeviceRect(ToDevice(*dc, rect->left, rect->top, rect->right, rect->bottom),
                              BrushPaint(*dc, *brush), R2_COPYPEN);
    }
    return 1;
}

COLORREF GetPixel(HDC dcHandle, int x, int y) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return CLR_INVALID;
    }
    Canvas canvas(*dc, false);
    x += dc->origin.x;
    y += dc->origin.y;
    if (x < canvas.clip.left || x >= canvas.clip.right || y < canvas.clip.top ||
        y >= canvas.clip.bottom) {
        return CLR_INVALID;
    }
    return ToColor(canvas.target.Row(y)[x] & 0xFFFFFF);
}

COLORREF SetPixel(HDC dcHandle, int x, int y, COLORREF color) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc) {
        return CLR_INVALID;
    }
    Canvas canvas(*dc, true);
    x += dc->origin.x;
    y += dc->origin.y;
    if (x < canvas.clip.left || x >= canvas.clip.right || y < canvas.clip.top ||
        y >= canvas.clip.bottom) {
        return CLR_INVALID;
    }
    const uint32_t pixel = canvas.target.Quantize(ToPixel(color));
    canvas.Plot(x, y, pixel, R2_COPYPEN);
    return ToColor(pixel);
}

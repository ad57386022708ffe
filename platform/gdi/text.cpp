// Text: extents, ExtTextOutW, DrawTextW and the recording of drawn text for tests.
#include <cmath>
#include <deque>
#include <map>
#include <utility>

#include "platform/gdi/gdi_internal.h"

namespace platform::gdi {

std::vector<CodePoint> Decode(const WCHAR* text, int count) {
    std::vector<CodePoint> points;
    points.reserve(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) {
        const char16_t c = text[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < count && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            points.push_back({0x10000 + ((static_cast<char32_t>(c) - 0xD800) << 10) +
                                  (static_cast<char32_t>(text[i + 1]) - 0xDC00),
                              i});
            ++i;
        } else if (c >= 0xD800 && c <= 0xDFFF) {
            points.push_back({0xFFFD, i});
        } else {
            points.push_back({c, i});
        }
    }
    return points;
}

}  // namespace platform::gdi

using namespace platform::gdi;

namespace {

// Anything longer is refused rather than laid out.
constexpr int kMaxTextLength = 1 << 20;

struct Layout {
    std::vector<Glyph> glyphs;
    std::vector<int> x;            // per glyph: left edge from the reference point
    std::vector<int> unitAdvance;  // per UTF-16 unit (the second unit of a pair has 0)
    int width = 0;
};

Layout Lay(const RealFont& font, const WCHAR* text, int count, const INT* dx = nullptr) {
    Layout layout;
    layout.unitAdvance.assign(static_cast<size_t>(count), 0);
    const std::vector<CodePoint> points = Decode(text, count);
    for (size_t i = 0; i < points.size(); ++i) {
        const Glyph glyph = font.GlyphOf(points[i].value);
        const int unit = points[i].unit;
        const int end = i + 1 < points.size() ? points[i + 1].unit : count;
        int advance = glyph.advance;
        if (dx) {
            advance = 0;
            for (int u = unit; u < end; ++u) {
                advance += dx[u];
            }
        }
        layout.glyphs.push_back(glyph);
        layout.x.push_back(layout.width);
        layout.unitAdvance[static_cast<size_t>(unit)] = advance;
        layout.width += advance;
    }
    return layout;
}

std::vector<std::vector<platform::DrawnText>*>& Recordings() {
    static auto* recordings = new std::vector<std::vector<platform::DrawnText>*>;
    return *recordings;
}

// What a ScreenTextLog holds: texts on the screen, and texts waiting in bitmaps for
// their pixels to be copied on.
struct FollowedTexts {
    std::vector<platform::DrawnText> screen;
    std::map<HGDIOBJ, std::deque<platform::DrawnText>> inBitmaps;
};
// A bitmap drawn into again and again but never copied keeps only its latest texts.
constexpr size_t kWaitingTextsPerBitmap = 4096;

std::vector<FollowedTexts*>& ScreenTextLogs() {
    static auto* logs = new std::vector<FollowedTexts*>;
    return *logs;
}

void Follow(FollowedTexts& log, platform::DrawnText text) {
    if (!text.bitmap) {
        log.screen.push_back(std::move(text));
        return;
    }
    auto& waiting = log.inBitmaps[text.bitmap];
    waiting.push_back(std::move(text));
    if (waiting.size() > kWaitingTextsPerBitmap) {
        waiting.pop_front();
    }
}

void Record(Dc& dc, int x, int y, int width, const RealFont& font, const WCHAR* text, int count) {
    if (Recordings().empty() && ScreenTextLogs().empty()) {
        return;
    }
    platform::DrawnText drawn;
    drawn.dc = static_cast<HDC>(dc.handle);
    drawn.window = dc.window;
    drawn.bitmap = dc.memory ? static_cast<HBITMAP>(dc.state.bitmap->handle) : nullptr;
    drawn.position = {x, y};
    drawn.onSurface = {x + dc.origin.x, y + dc.origin.y};
    drawn.cell = {drawn.onSurface.x, drawn.onSurface.y, drawn.onSurface.x + width,
                  drawn.onSurface.y + font.Height()};
    drawn.color = dc.state.textColor;
    drawn.text.assign(text, static_cast<size_t>(count));
    drawn.face = dc.state.font->log.lfFaceName;
    drawn.height = dc.state.font->log.lfHeight;
    drawn.escapement = dc.state.font->log.lfEscapement;
    for (auto* texts : Recordings()) {
        texts->push_back(drawn);
    }
    for (auto* log : ScreenTextLogs()) {
        Follow(*log, drawn);
    }
}

cairo_font_options_t* TextOptions(bool smooth) {
    static cairo_font_options_t* options[2] = {nullptr, nullptr};
    cairo_font_options_t*& slot = options[smooth ? 1 : 0];
    if (!slot) {
        slot = cairo_font_options_create();
        cairo_font_options_set_antialias(slot,
                                         smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
        cairo_font_options_set_hint_metrics(slot, CAIRO_HINT_METRICS_OFF);
        cairo_font_options_set_subpixel_order(slot, CAIRO_SUBPIXEL_ORDER_DEFAULT);
    }
    return slot;
}

// Draws one laid-out line with its cell's top left at (x, y), logical, rotated by the
// font's escapement. `clip` is an extra device clip; `underline` lists glyphs to
// underline (the prefix character of DrawTextW).
void DrawLine(Canvas& canvas, Dc& dc, const Layout& layout, int x, int y, const RECT* clip,
              const std::vector<size_t>& underline) {
    const Font& font = *dc.state.font;
    const RealFont& real = *font.real;
    cairo_t* cr = canvas.Cairo(clip);
    cairo_translate(cr, x, y);
    if (font.log.lfEscapement % 3600 != 0) {
        cairo_rotate(cr, -font.log.lfEscapement * M_PI / 1800.0);
    }
    if (dc.state.bkMode == OPAQUE) {
        SetCairoSource(cr, ColorPaint(dc.state.bkColor), dc);
        cairo_rectangle(cr, 0, 0, layout.width, real.Height());
        cairo_fill(cr);
    }
    SetCairoSource(cr, ColorPaint(dc.state.textColor), dc);
    // Glyph masks follow the context's antialiasing as well as the font options.
    cairo_set_antialias(cr, real.smooth ? CAIRO_ANTIALIAS_GRAY : CAIRO_ANTIALIAS_NONE);
    cairo_set_font_options(cr, TextOptions(real.smooth));
    std::vector<cairo_glyph_t> run;
    size_t start = 0;
    while (start < layout.glyphs.size()) {
        const RealFont* runFont = layout.glyphs[start].font;
        run.clear();
        size_t end = start;
        for (; end < layout.glyphs.size() && layout.glyphs[end].font == runFont; ++end) {
            run.push_back({layout.glyphs[end].index, static_cast<double>(layout.x[end]),
                           static_cast<double>(real.ascent)});
        }
        cairo_set_font_face(cr, runFont->CairoFace());
        cairo_set_font_size(cr, runFont->em);
        cairo_show_glyphs(cr, run.data(), static_cast<int>(run.size()));
        start = end;
    }
    cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
    for (size_t index : underline) {
        if (index < layout.glyphs.size()) {
            const int next = index + 1 < layout.x.size() ? layout.x[index + 1] : layout.width;
            cairo_rectangle(cr, layout.x[index], real.ascent + 1, next - layout.x[index], 1);
            cairo_fill(cr);
        }
    }
    cairo_destroy(cr);
}

RECT ToDevice(const Dc& dc, const RECT& r) {
    return RECT{r.left + dc.origin.x, r.top + dc.origin.y, r.right + dc.origin.x,
                r.bottom + dc.origin.y};
}

int Length(LPCWSTR text) {
    int length = 0;
    while (length < kMaxTextLength && text[length]) {
        ++length;
    }
    return length;
}

// DrawTextW without DT_NOPREFIX: "&x" underlines x, "&&" is a literal ampersand.
std::u16string StripPrefixes(const std::u16string& text, std::vector<int>* underlined) {
    std::u16string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'&' && i + 1 < text.size()) {
            ++i;
            if (text[i] != u'&') {
                underlined->push_back(static_cast<int>(out.size()));
            }
        } else if (text[i] == u'&') {
            continue;
        }
        out.push_back(text[i]);
    }
    return out;
}

struct Line {
    size_t start;  // UTF-16 units into the text
    size_t end;
    int width;
};

// Greedy breaking at blanks: a word that does not fit starts a new line (without the
// blanks before it); a word wider than the line stays whole.
void Wrap(const std::u16string& text, size_t start, size_t end, const Layout& layout, int maxWidth,
          std::vector<Line>* lines) {
    auto width = [&](size_t from, size_t to) {
        int w = 0;
        for (size_t i = from; i < to; ++i) {
            w += layout.unitAdvance[i];
        }
        return w;
    };
    Line line{start, start, 0};
    size_t i = start;
    while (i < end) {
        size_t wordStart = i;
        while (wordStart < end && text[wordStart] == u' ') {
            ++wordStart;
        }
        size_t wordEnd = wordStart;
        while (wordEnd < end && text[wordEnd] != u' ') {
            ++wordEnd;
        }
        const int piece = width(i, wordEnd);
        if (line.end > line.start && line.width + piece > maxWidth && wordEnd > wordStart) {
            lines->push_back(line);
            line = {wordStart, wordEnd, width(wordStart, wordEnd)};
        } else {
            line.end = wordEnd;
            line.width += piece;
        }
        i = wordEnd;
    }
    lines->push_back(line);
}

}  // namespace

BOOL GetTextExtentExPointW(HDC dcHandle, LPCWSTR text, int count, int maxExtent, LPINT fit,
                           LPINT partialExtents, LPSIZE size) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc || count < 0 || count > kMaxTextLength || (count > 0 && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    const RealFont& font = *dc->state.font->real;
    const Layout layout = Lay(font, text, count);
    int extent = 0, fitting = 0;
    for (int i = 0; i < count; ++i) {
        extent += layout.unitAdvance[static_cast<size_t>(i)];
        if (partialExtents) {
            partialExtents[i] = extent;
        }
        if (extent <= maxExtent && fitting == i) {
            fitting = i + 1;
        }
    }
    if (fit) {
        *fit = fitting;
    }
    if (size) {
        *size = {layout.width, font.Height()};
    }
    return TRUE;
}

BOOL GetTextExtentPoint32W(HDC dc, LPCWSTR text, int count, LPSIZE size) {
    return GetTextExtentExPointW(dc, text, count, 0, nullptr, nullptr, size);
}

BOOL ExtTextOutW(HDC dcHandle, int x, int y, UINT options, const RECT* rect, LPCWSTR text,
                 UINT count, const INT* dx) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc || count > kMaxTextLength || (count > 0 && !text)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Canvas canvas(*dc, true);
    if ((options & ETO_OPAQUE) && rect) {
        canvas.FillDeviceRect(ToDevice(*dc, *rect), ColorPaint(dc->state.bkColor), R2_COPYPEN);
    }
    if (count == 0) {
        return TRUE;
    }
    RECT clip{};
    const bool clipped = (options & ETO_CLIPPED) && rect;
    if (clipped) {
        clip = ToDevice(*dc, *rect);
    }
    const RealFont& font = *dc->state.font->real;
    const Layout layout = Lay(font, text, static_cast<int>(count), dx);
    DrawLine(canvas, *dc, layout, x, y, clipped ? &clip : nullptr, {});
    Record(*dc, x, y, layout.width, font, text, static_cast<int>(count));
    return TRUE;
}

int DrawTextW(HDC dcHandle, LPCWSTR text, int count, LPRECT rect, UINT format) {
    Guard guard(DrawingLock());
    auto dc = LookupDc(dcHandle);
    if (!dc || !text || !rect || count < -1 || count > kMaxTextLength) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return 0;
    }
    if (count == -1) {
        count = Length(text);
    }
    std::u16string source(text, static_cast<size_t>(count));
    std::vector<int> underlinedUnits;
    if (!(format & DT_NOPREFIX)) {
        source = StripPrefixes(source, &underlinedUnits);
    }
    const RealFont& font = *dc->state.font->real;
    const Layout layout = Lay(font, source.data(), static_cast<int>(source.size()));
    const int lineHeight = font.Height();
    const int rectWidth = rect->right - rect->left;
    const bool single = (format & DT_SINGLELINE) != 0;

    std::vector<Line> lines;
    if (single) {
        lines.push_back({0, source.size(), layout.width});
    } else {
        size_t start = 0;
        while (start <= source.size()) {
            size_t end = start;
            while (end < source.size() && source[end] != u'\n' && source[end] != u'\r') {
                ++end;
            }
            if (format & DT_WORDBREAK) {
                Wrap(source, start, end, layout, rectWidth, &lines);
            } else {
                int width = 0;
                for (size_t i = start; i < end; ++i) {
                    width += layout.unitAdvance[i];
                }
                lines.push_back({start, end, width});
            }
            if (end >= source.size()) {
                break;
            }
            // CR LF is one break.
            start =
                end + ((source[end] == u'\r' && end + 1 < source.size() && source[end + 1] == u'\n')
                           ? 2
                           : 1);
        }
    }

    int top = rect->top;
    if (single && (format & DT_VCENTER)) {
        top = rect->top + (rect->bottom - rect->top - lineHeight) / 2;
    } else if (single && (format & DT_BOTTOM)) {
        top = rect->bottom - lineHeight;
    }
    const int textHeight = lineHeight * static_cast<int>(lines.size());
    const int result =
        single && (format & (DT_VCENTER | DT_BOTTOM)) ? top + lineHeight - rect->top : textHeight;
    if (format & DT_CALCRECT) {
        int widest = 0;
        for (const Line& line : lines) {
            widest = std::max(widest, line.width);
        }
        rect->right = rect->left + widest;
        rect->bottom = rect->top + textHeight;
        return result;
    }

    Canvas canvas(*dc, true);
    RECT clip = ToDevice(*dc, *rect);
    const RECT* lineClip = (format & DT_NOCLIP) ? nullptr : &clip;
    int y = top;
    for (const Line& line : lines) {
        const int length = static_cast<int>(line.end - line.start);
        if (length > 0) {
            int x = rect->left;
            if (format & DT_CENTER) {
                x = rect->left + (rectWidth - line.width) / 2;
            } else if (format & DT_RIGHT) {
                x = rect->right - line.width;
            }
            const Layout piece = Lay(font, source.data() + line.start, length);
            std::vector<size_t> underline;
            for (int unit : underlinedUnits) {
                if (unit >= static_cast<int>(line.start) && unit < static_cast<int>(line.end)) {
                    // Glyph index of the unit within the line.
                    size_t glyph =
                        Decode(source.data() + line.start, unit - static_cast<int>(line.start))
                            .size();
                    underline.push_back(glyph);
                }
            }
            DrawLine(canvas, *dc, piece, x, y, lineClip, underline);
            Record(*dc, x, y, piece.width, font, source.data() + line.start, length);
        }
        y += lineHeight;
    }
    return result;
}

void platform::gdi::CarryDrawnTexts(const Bitmap& source, const RECT& sourceArea, const Dc& dest,
                                    const RECT& destArea) {
    const int sourceWidth = sourceArea.right - sourceArea.left;
    const int sourceHeight = sourceArea.bottom - sourceArea.top;
    if (ScreenTextLogs().empty() || sourceWidth <= 0 || sourceHeight <= 0) {
        return;
    }
    HBITMAP target = dest.memory ? static_cast<HBITMAP>(dest.state.bitmap->handle) : nullptr;
    for (auto* log : ScreenTextLogs()) {
        auto found = log->inBitmaps.find(source.handle);
        if (found == log->inBitmaps.end()) {
            continue;
        }
        std::deque<platform::DrawnText> waiting = std::move(found->second);
        log->inBitmaps.erase(found);
        std::deque<platform::DrawnText> left;
        for (platform::DrawnText& text : waiting) {
            const POINT at = text.onSurface;
            if (at.x < sourceArea.left || at.x >= sourceArea.right || at.y < sourceArea.top ||
                at.y >= sourceArea.bottom) {
                left.push_back(std::move(text));
                continue;
            }
            auto mapX = [&](int value) {
                return destArea.left +
                       static_cast<int>(static_cast<int64_t>(value - sourceArea.left) *
                                        (destArea.right - destArea.left) / sourceWidth);
            };
            auto mapY = [&](int value) {
                return destArea.top +
                       static_cast<int>(static_cast<int64_t>(value - sourceArea.top) *
                                        (destArea.bottom - destArea.top) / sourceHeight);
            };
            text.onSurface = {mapX(at.x), mapY(at.y)};
            text.cell = {mapX(text.cell.left), mapY(text.cell.top), mapX(text.cell.right),
                         mapY(text.cell.bottom)};
            text.bitmap = target;
            text.dc = static_cast<HDC>(dest.handle);
            text.window = dest.window;
            Follow(*log, std::move(text));
        }
        if (!left.empty()) {
            auto& slot = log->inBitmaps[source.handle];
            slot.insert(slot.begin(), left.begin(), left.end());
        }
    }
}

struct platform::ScreenTextLog::State {
    FollowedTexts texts;
};

platform::ScreenTextLog::ScreenTextLog() : state_(new State) {
    Guard guard(DrawingLock());
    ScreenTextLogs().push_back(&state_->texts);
}

platform::ScreenTextLog::~ScreenTextLog() {
    {
        Guard guard(DrawingLock());
        auto& logs = ScreenTextLogs();
        logs.erase(std::remove(logs.begin(), logs.end(), &state_->texts), logs.end());
    }
    delete state_;
}

std::vector<platform::DrawnText> platform::ScreenTextLog::Take() {
    Guard guard(DrawingLock());
    return std::exchange(state_->texts.screen, {});
}

struct platform::TextRecording::State {
    std::vector<DrawnText> texts;
};

platform::TextRecording::TextRecording() : state_(new State) {
    Guard guard(DrawingLock());
    Recordings().push_back(&state_->texts);
}

platform::TextRecording::~TextRecording() {
    {
        Guard guard(DrawingLock());
        auto& recordings = Recordings();
        recordings.erase(std::remove(recordings.begin(), recordings.end(), &state_->texts),
                         recordings.end());
    }
    delete state_;
}

std::vector<platform::DrawnText> platform::TextRecording::Texts() const {
    Guard guard(DrawingLock());
    return state_->texts;
}

std::vector<platform::DrawnText> platform::TextRecording::TextsOf(HDC dc) const {
    Guard guard(DrawingLock());
    std::vector<DrawnText> out;
    for (const auto& text : state_->texts) {
        if (text.dc == dc) {
            out.push_back(text);
        }
    }
    return out;
}

std::vector<platform::DrawnText> platform::TextRecording::TextsIn(HBITMAP bitmap) const {
    Guard guard(DrawingLock());
    std::vector<DrawnText> out;
    for (const auto& text : state_->texts) {
        if (text.bitmap == bitmap) {
            out.push_back(text);
        }
    }
    return out;
}

void platform::TextRecording::Clear() {
    Guard guard(DrawingLock());
    state_->texts.clear();
}

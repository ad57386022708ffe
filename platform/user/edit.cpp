// The edit control: single-line fields and multi-line text (lines break at "\r\n" and,
// without ES_AUTOHSCROLL, wrap at blanks), with a caret, a selection, typing,
// Backspace, Delete, the arrow keys, margins and a vertical scroll bar inside the
// client area. The text is kept in the window text too, so other threads can read it.
#include <algorithm>
#include <cwctype>
#include <vector>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

constexpr size_t kDefaultLimit = 30000;
constexpr size_t kLargestLimit = 0x7FFFFFFE;

struct Edit : ControlState {
    std::u16string text;
    size_t anchor = 0;  // the fixed end of the selection
    size_t caret = 0;   // the moving end, where the caret is
    size_t limit = kDefaultLimit;
    int scrollX = 0;    // pixels scrolled off to the left
    int firstLine = 0;  // the top line shown (multi-line)
    int leftMargin = 0;
    int rightMargin = 0;
    // Where a line wraps, its end and the next line's start are one position; this
    // puts the caret at the end of the upper line (after End, or a tap past the end).
    bool caretAtLineEnd = false;
    bool focused = false;
    bool modified = false;
    bool tracking = false;
    char16_t passwordChar = u'*';
    ClientScrollBar bar;
};

struct Line {
    size_t start;
    size_t length;         // without the line break; a wrapped line keeps its blanks
    bool wrapped = false;  // the next line goes on without a line break
};

// What the control shows: the text area (inside the margins, left of the scroll bar),
// the lines as they are broken in it and how many whole lines it holds.
struct View {
    RECT area{};
    std::vector<Line> lines;
    int rows = 1;
};

bool IsMultiLine(HWND hwnd) {
    return StyleOf(hwnd) & ES_MULTILINE;
}

size_t SelStart(const Edit* edit) {
    return std::min(edit->anchor, edit->caret);
}

size_t SelEnd(const Edit* edit) {
    return std::max(edit->anchor, edit->caret);
}

bool Wraps(HWND hwnd) {
    return (StyleOf(hwnd) & (ES_MULTILINE | ES_AUTOHSCROLL)) == ES_MULTILINE;
}

// Lines start in increasing order.
size_t LineOf(const std::vector<Line>& lines, size_t position) {
    auto after = std::upper_bound(lines.begin(), lines.end(), position,
                                  [](size_t p, const Line& line) { return p < line.start; });
    return after == lines.begin() ? 0 : static_cast<size_t>(after - lines.begin() - 1);
}

size_t CaretLine(const Edit* edit, const std::vector<Line>& lines) {
    size_t index = LineOf(lines, edit->caret);
    if (edit->caretAtLineEnd && index > 0 && lines[index - 1].wrapped &&
        lines[index].start == edit->caret) {
        return index - 1;
    }
    return index;
}

// A position never falls between "\r" and "\n".
size_t Snap(const std::u16string& text, size_t position) {
    position = std::min(position, text.size());
    if (position > 0 && position < text.size() && text[position - 1] == u'\r' &&
        text[position] == u'\n') {
        return position - 1;
    }
    return position;
}

size_t StepLeft(const std::u16string& text, size_t position) {
    if (position == 0) {
        return 0;
    }
    if (position >= 2 && text[position - 1] == u'\n' && text[position - 2] == u'\r') {
        return position - 2;
    }
    return position - 1;
}

size_t StepRight(const std::u16string& text, size_t position) {
    if (position >= text.size()) {
        return text.size();
    }
    if (text[position] == u'\r' && position + 1 < text.size() && text[position + 1] == u'\n') {
        return position + 2;
    }
    return position + 1;
}

std::u16string Shown(const Edit* edit, HWND hwnd, const Line& line) {
    std::u16string part = edit->text.substr(line.start, line.length);
    if ((StyleOf(hwnd) & ES_PASSWORD) && edit->passwordChar) {
        part.assign(part.size(), edit->passwordChar);
    }
    return part;
}

// x of every position of the line, from 0 to its length.
std::vector<int> Extents(HFONT font, const std::u16string& shown) {
    std::vector<int> x(shown.size() + 1, 0);
    if (shown.empty()) {
        return x;
    }
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, font);
    std::vector<INT> partial(shown.size(), 0);
    GetTextExtentExPointW(dc, reinterpret_cast<LPCWSTR>(shown.c_str()),
                          static_cast<int>(shown.size()), 0, nullptr, partial.data(), nullptr);
    SelectObject(dc, old);
    DeleteDC(dc);
    std::copy(partial.begin(), partial.end(), x.begin() + 1);
    return x;
}

// Breaks the paragraph [start, end) into lines at most `room` pixels wide: after the
// last blank that fits, or at the edge in a word longer than the line. Blanks at a
// break stay at the end of the upper line.
void WrapParagraph(const Edit* edit, HWND hwnd, size_t start, size_t end, int room,
                   std::vector<Line>* lines) {
    if (start == end) {
        lines->push_back(Line{start, 0});
        return;
    }
    const std::u16string& text = edit->text;
    auto x = Extents(FontOf(*edit), Shown(edit, hwnd, Line{start, end - start}));
    auto width = [&](size_t from, size_t to) { return x[to - start] - x[from - start]; };
    size_t from = start;
    while (from < end) {
        // At least one character, so that every line moves on.
        size_t fit = from + 1;
        while (fit < end && width(from, fit + 1) <= room) {
            ++fit;
        }
        if (fit == end) {
            lines->push_back(Line{from, end - from});
            return;
        }
        size_t cut = fit;
        for (size_t b = fit; b > from; --b) {
            if (text[b] == u' ' || text[b - 1] == u' ') {
                cut = b;
                break;
            }
        }
        while (cut < end && text[cut] == u' ') {
            ++cut;
        }
        lines->push_back(Line{from, cut - from, cut < end});
        from = cut;
    }
}

std::vector<Line> BreakLines(const Edit* edit, HWND hwnd, int room) {
    const std::u16string& text = edit->text;
    std::vector<Line> lines;
    if (!IsMultiLine(hwnd)) {
        lines.push_back(Line{0, text.size()});
        return lines;
    }
    const bool wrap = Wraps(hwnd);
    auto paragraph = [&](size_t start, size_t end) {
        if (wrap) {
            WrapParagraph(edit, hwnd, start, end, room, &lines);
        } else {
            lines.push_back(Line{start, end - start});
        }
    };
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == u'\n') {
            paragraph(start, (i > start && text[i - 1] == u'\r') ? i - 1 : i);
            start = i + 1;
        }
    }
    paragraph(start, text.size());
    return lines;
}

RECT TextArea(const Edit* edit, HWND hwnd, const RECT& client, int barWidth) {
    RECT area = client;
    area.left += edit->leftMargin;
    area.right -= edit->rightMargin + barWidth;
    area.right = std::max(area.right, area.left);
    if (IsMultiLine(hwnd)) {
        area.top += Scale(1);
    }
    return area;
}

// Lays the text out in the client area; keeps the first line in range and the
// scroll bar up to date. The bar, when the text needs it, narrows the lines.
View LayOut(Edit* edit, HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    View view;
    view.area = TextArea(edit, hwnd, client, 0);
    view.lines = BreakLines(edit, hwnd, view.area.right - view.area.left);
    if (!IsMultiLine(hwnd)) {
        edit->bar.Layout(client, 0, 1, 0);
        return view;
    }
    const int lineHeight = std::max(1, LineHeight(FontOf(*edit)));
    view.rows = std::max(1, static_cast<int>(view.area.bottom - view.area.top) / lineHeight);
    const bool scrollBar = StyleOf(hwnd) & WS_VSCROLL;
    if (scrollBar) {
        edit->bar.Layout(client, static_cast<int>(view.lines.size()), view.rows, edit->firstLine);
        if (edit->bar.Shown()) {
            view.area = TextArea(edit, hwnd, client, ClientScrollBar::Width());
            view.lines = BreakLines(edit, hwnd, view.area.right - view.area.left);
        }
    }
    const int total = static_cast<int>(view.lines.size());
    edit->firstLine = std::clamp(edit->firstLine, 0, std::max(0, total - view.rows));
    if (scrollBar) {
        edit->bar.Layout(client, total, view.rows, edit->firstLine);
    } else {
        edit->bar.Layout(client, 0, 1, 0);
    }
    return view;
}

// Puts `line` at the top of a multi-line view, as far as the text goes; returns the
// lines moved (negative upwards).
int ScrollTo(Edit* edit, HWND hwnd, int line) {
    View view = LayOut(edit, hwnd);
    int next = std::clamp(line, 0, std::max(0, static_cast<int>(view.lines.size()) - view.rows));
    int moved = next - edit->firstLine;
    if (moved != 0) {
        edit->firstLine = next;
        LayOut(edit, hwnd);
        InvalidateRect(hwnd, nullptr, TRUE);
    }
    return moved;
}

// EC_USEFONTINFO: half the font's average character width.
int FontMargin(HFONT font) {
    return static_cast<int>(FontMetrics(font).tmAveCharWidth) / 2;
}

int TextTop(HWND hwnd, HFONT font, const RECT& area) {
    if (IsMultiLine(hwnd)) {
        return area.top;
    }
    return area.top + std::max(0, static_cast<int>(area.bottom - area.top) - LineHeight(font)) / 2;
}

// The x where the line's text starts, before scrolling (alignment).
int AlignOffset(HWND hwnd, const RECT& area, int width) {
    int room = area.right - area.left;
    if (width >= room) {
        return 0;
    }
    DWORD style = StyleOf(hwnd);
    if (style & ES_RIGHT) {
        return room - width - 1;
    }
    if (style & ES_CENTER) {
        return (room - width) / 2;
    }
    return 0;
}

void ScrollToCaret(Edit* edit, HWND hwnd) {
    HFONT font = FontOf(*edit);
    View view = LayOut(edit, hwnd);
    const RECT& area = view.area;
    size_t lineIndex = CaretLine(edit, view.lines);
    const Line& line = view.lines[lineIndex];
    auto x = Extents(font, Shown(edit, hwnd, line));
    int caretX = x[std::min(edit->caret - line.start, line.length)];
    int room = std::max<int>(1, area.right - area.left - 1);
    if (Wraps(hwnd)) {
        // Wrapped lines fit; only blanks at a break may reach past the edge.
        edit->scrollX = 0;
    } else if (caretX - edit->scrollX > room) {
        edit->scrollX = caretX - room + room / 4;
    } else if (caretX < edit->scrollX) {
        edit->scrollX = std::max(0, caretX - room / 4);
    }
    // Text that fits is never scrolled; longer text keeps half a field of it in view.
    if (x.back() <= room) {
        edit->scrollX = 0;
    } else {
        edit->scrollX = std::clamp(edit->scrollX, 0, x.back() - room / 2);
    }
    if (caretX < edit->scrollX) {
        edit->scrollX = caretX;
    }
    if (IsMultiLine(hwnd)) {
        int caretLine = static_cast<int>(lineIndex);
        int first = edit->firstLine;
        if (caretLine < first) {
            first = caretLine;
        } else if (caretLine >= first + view.rows) {
            first = caretLine - view.rows + 1;
        }
        if (first != edit->firstLine) {
            edit->firstLine = first;
            LayOut(edit, hwnd);
        }
    }
}

void Changed(Edit* edit, HWND hwnd) {
    DefWindowProcW(hwnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(edit->text.c_str()));
    ScrollToCaret(edit, hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
}

void Moved(Edit* edit, HWND hwnd) {
    ScrollToCaret(edit, hwnd);
    InvalidateRect(hwnd, nullptr, TRUE);
}

// The position nearest to a client point; *atLineEnd tells whether it is the end of
// a wrapped line rather than the start of the next.
size_t HitTest(Edit* edit, HWND hwnd, POINT point, bool* atLineEnd) {
    HFONT font = FontOf(*edit);
    View view = LayOut(edit, hwnd);
    const RECT& area = view.area;
    const auto& lines = view.lines;
    size_t lineIndex = 0;
    if (IsMultiLine(hwnd)) {
        int row = (point.y - area.top) / std::max(1, LineHeight(font));
        if (point.y < area.top) {
            row = -1;
        }
        lineIndex = static_cast<size_t>(
            std::clamp(edit->firstLine + row, 0, static_cast<int>(lines.size()) - 1));
    }
    const Line& line = lines[lineIndex];
    auto x = Extents(font, Shown(edit, hwnd, line));
    int target = point.x - area.left + edit->scrollX - AlignOffset(hwnd, area, x.back());
    size_t best = 0;
    for (size_t i = 0; i < x.size(); ++i) {
        if (std::abs(x[i] - target) < std::abs(x[best] - target)) {
            best = i;
        }
    }
    *atLineEnd = line.wrapped && best == line.length;
    return line.start + best;
}

bool FitsWithoutScrolling(Edit* edit, HWND hwnd, const std::u16string& text) {
    DWORD style = StyleOf(hwnd);
    if ((style & ES_AUTOHSCROLL) || (style & ES_MULTILINE)) {
        return true;
    }
    Line whole{0, text.size()};
    Edit probe;
    probe.text = text;
    probe.passwordChar = edit->passwordChar;
    RECT area = LayOut(edit, hwnd).area;
    return TextSize(FontOf(*edit), Shown(&probe, hwnd, whole)).cx <= area.right - area.left;
}

// Replaces the selection with `insert` as typed or pasted; false when nothing
// could be put in (the limit, or a field that does not scroll and is full).
bool ReplaceSelection(Edit* edit, HWND hwnd, std::u16string insert, bool typed) {
    DWORD style = StyleOf(hwnd);
    if (style & ES_UPPERCASE) {
        for (auto& c : insert) {
            c = static_cast<char16_t>(std::towupper(static_cast<wint_t>(c)));
        }
    } else if (style & ES_LOWERCASE) {
        for (auto& c : insert) {
            c = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
        }
    }
    size_t start = SelStart(edit);
    size_t end = SelEnd(edit);
    size_t kept = edit->text.size() - (end - start);
    size_t room = edit->limit > kept ? edit->limit - kept : 0;
    bool cut = insert.size() > room;
    if (cut) {
        if (typed) {
            return false;
        }
        insert.resize(room);
    }
    std::u16string next = edit->text.substr(0, start) + insert + edit->text.substr(end);
    if (typed && !FitsWithoutScrolling(edit, hwnd, next)) {
        return false;
    }
    edit->text = std::move(next);
    edit->caret = edit->anchor = start + insert.size();
    edit->caretAtLineEnd = false;
    edit->modified = true;
    Changed(edit, hwnd);
    return !cut;
}

void NotifyChange(HWND hwnd) {
    NotifyCommand(hwnd, EN_UPDATE);
    if (IsWindow(hwnd)) {
        NotifyCommand(hwnd, EN_CHANGE);
    }
}

bool ReadOnly(HWND hwnd) {
    return StyleOf(hwnd) & ES_READONLY;
}

void TypeCharacter(Edit* edit, HWND hwnd, char16_t c) {
    if (ReadOnly(hwnd)) {
        return;
    }
    if (c == VK_BACK) {
        if (SelStart(edit) == SelEnd(edit)) {
            edit->anchor = StepLeft(edit->text, edit->caret);
        }
        if (SelStart(edit) == SelEnd(edit)) {
            return;
        }
        ReplaceSelection(edit, hwnd, u"", true);
        NotifyChange(hwnd);
        return;
    }
    std::u16string insert;
    if (c == u'\r') {
        if (!IsMultiLine(hwnd)) {
            return;
        }
        insert = u"\r\n";
    } else if (c < 0x20) {
        return;
    } else {
        if ((StyleOf(hwnd) & ES_NUMBER) && (c < u'0' || c > u'9')) {
            return;
        }
        insert.assign(1, c);
    }
    if (ReplaceSelection(edit, hwnd, insert, true)) {
        NotifyChange(hwnd);
    } else {
        NotifyCommand(hwnd, EN_MAXTEXT);
    }
}

void MoveCaret(Edit* edit, HWND hwnd, size_t position, bool extend, bool atLineEnd = false) {
    edit->caret = Snap(edit->text, position);
    edit->caretAtLineEnd = atLineEnd;
    if (!extend) {
        edit->anchor = edit->caret;
    }
    Moved(edit, hwnd);
}

void VerticalMove(Edit* edit, HWND hwnd, int delta, bool extend) {
    HFONT font = FontOf(*edit);
    auto lines = LayOut(edit, hwnd).lines;
    size_t lineIndex = CaretLine(edit, lines);
    int target = static_cast<int>(lineIndex) + delta;
    if (target < 0 || target >= static_cast<int>(lines.size())) {
        return;
    }
    const Line& from = lines[lineIndex];
    int x = Extents(font, Shown(edit, hwnd, from))[std::min(edit->caret - from.start, from.length)];
    const Line& to = lines[static_cast<size_t>(target)];
    auto extents = Extents(font, Shown(edit, hwnd, to));
    size_t best = 0;
    for (size_t i = 0; i < extents.size(); ++i) {
        if (std::abs(extents[i] - x) < std::abs(extents[best] - x)) {
            best = i;
        }
    }
    MoveCaret(edit, hwnd, to.start + best, extend, to.wrapped && best == to.length);
}

void KeyDown(Edit* edit, HWND hwnd, WPARAM key) {
    bool shift = GetKeyState(VK_SHIFT) & 0x8000;
    bool multiLine = IsMultiLine(hwnd);
    if (multiLine && ReadOnly(hwnd) && (key == VK_UP || key == VK_DOWN)) {
        // Text nobody edits is read by scrolling it.
        ScrollTo(edit, hwnd, edit->firstLine + (key == VK_UP ? -1 : 1));
        return;
    }
    auto lines = LayOut(edit, hwnd).lines;
    const Line line = lines[CaretLine(edit, lines)];
    switch (key) {
        case VK_LEFT:
        case VK_UP:
            if (key == VK_UP && multiLine) {
                VerticalMove(edit, hwnd, -1, shift);
            } else if (!shift && edit->anchor != edit->caret) {
                MoveCaret(edit, hwnd, SelStart(edit), false);
            } else {
                MoveCaret(edit, hwnd, StepLeft(edit->text, edit->caret), shift);
            }
            break;
        case VK_RIGHT:
        case VK_DOWN:
            if (key == VK_DOWN && multiLine) {
                VerticalMove(edit, hwnd, 1, shift);
            } else if (!shift && edit->anchor != edit->caret) {
                MoveCaret(edit, hwnd, SelEnd(edit), false);
            } else {
                MoveCaret(edit, hwnd, StepRight(edit->text, edit->caret), shift);
            }
            break;
        case VK_HOME:
            MoveCaret(edit, hwnd, line.start, shift);
            break;
        case VK_END:
            MoveCaret(edit, hwnd, line.start + line.length, shift, line.wrapped);
            break;
        case VK_DELETE:
            if (ReadOnly(hwnd)) {
                break;
            }
            if (SelStart(edit) == SelEnd(edit)) {
                edit->anchor = StepRight(edit->text, edit->caret);
            }
            if (SelStart(edit) != SelEnd(edit)) {
                ReplaceSelection(edit, hwnd, u"", true);
                NotifyChange(hwnd);
            }
            break;
        default:
            break;
    }
}

void SetText(Edit* edit, HWND hwnd, LPCWSTR text) {
    edit->text = (text && !IS_INTRESOURCE(text)) ? std::u16string(text) : std::u16string();
    edit->caret = edit->anchor = 0;
    edit->caretAtLineEnd = false;
    edit->scrollX = 0;
    edit->firstLine = 0;
    edit->modified = false;
    Changed(edit, hwnd);
}

void SelectWordAt(Edit* edit, HWND hwnd, size_t position) {
    auto isWord = [&](size_t i) { return i < edit->text.size() && !std::iswspace(edit->text[i]); };
    size_t start = position;
    while (start > 0 && isWord(start - 1)) {
        --start;
    }
    size_t end = position;
    while (isWord(end)) {
        ++end;
    }
    edit->anchor = start;
    edit->caret = end;
    edit->caretAtLineEnd = false;
    Moved(edit, hwnd);
}

void Paint(Edit* edit, HWND hwnd) {
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(hwnd, &paint);
    if (!dc) {
        return;
    }
    RECT client{};
    GetClientRect(hwnd, &client);
    bool enabled = IsWindowEnabled(hwnd);
    HBRUSH brush =
        ControlColors(hwnd, (ReadOnly(hwnd) || !enabled) ? WM_CTLCOLORSTATIC : WM_CTLCOLOREDIT, dc);
    FillRect(dc, &client, brush);
    COLORREF textColor = enabled ? GetTextColor(dc) : GetSysColor(COLOR_GRAYTEXT);
    HFONT font = FontOf(*edit);
    HGDIOBJ oldFont = SelectObject(dc, font);
    SetBkMode(dc, TRANSPARENT);
    View view = LayOut(edit, hwnd);
    const RECT& area = view.area;
    const auto& lines = view.lines;
    int lineHeight = LineHeight(font);
    int y = TextTop(hwnd, font, area);
    bool showSelection = edit->focused || (StyleOf(hwnd) & ES_NOHIDESEL);
    const size_t caretLine = CaretLine(edit, lines);
    for (size_t i = static_cast<size_t>(edit->firstLine); i < lines.size() && y < area.bottom;
         ++i, y += lineHeight) {
        const Line& line = lines[i];
        std::u16string shown = Shown(edit, hwnd, line);
        auto x = Extents(font, shown);
        int left = area.left - edit->scrollX + AlignOffset(hwnd, area, x.back());
        SetTextColor(dc, textColor);
        ExtTextOutW(dc, left, y, ETO_CLIPPED, &area, reinterpret_cast<LPCWSTR>(shown.c_str()),
                    static_cast<UINT>(shown.size()), nullptr);
        size_t from = std::clamp(SelStart(edit), line.start, line.start + line.length) - line.start;
        size_t to = std::clamp(SelEnd(edit), line.start, line.start + line.length) - line.start;
        if (showSelection && to > from) {
            RECT band{std::max<LONG>(area.left, left + x[from]), y,
                      std::min<LONG>(area.right, left + x[to]), y + lineHeight};
            FillSystem(dc, band, COLOR_HIGHLIGHT);
            SetTextColor(dc, GetSysColor(COLOR_HIGHLIGHTTEXT));
            ExtTextOutW(dc, left + x[from], y, ETO_CLIPPED, &band,
                        reinterpret_cast<LPCWSTR>(shown.c_str() + from),
                        static_cast<UINT>(to - from), nullptr);
        }
        if (edit->focused && caretLine == i) {
            int caretX = left + x[edit->caret - line.start];
            if (Wraps(hwnd)) {
                caretX = std::min<int>(caretX, area.right - 1);
            }
            if (caretX >= area.left - 1 && caretX < area.right + 1) {
                RECT caret{caretX, y, caretX + 1, y + lineHeight};
                FillColor(dc, caret, GetSysColor(COLOR_WINDOWTEXT));
            }
        }
    }
    edit->bar.Draw(dc);
    SelectObject(dc, oldFont);
    EndPaint(hwnd, &paint);
}

LRESULT LineMessage(Edit* edit, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto lines = LayOut(edit, hwnd).lines;
    auto caretLine = CaretLine(edit, lines);
    switch (message) {
        case EM_GETLINECOUNT:
            return static_cast<LRESULT>(lines.size());
        case EM_LINEINDEX: {
            auto index = static_cast<int>(wParam) == -1 ? caretLine : static_cast<size_t>(wParam);
            return index < lines.size() ? static_cast<LRESULT>(lines[index].start) : -1;
        }
        case EM_LINEFROMCHAR: {
            size_t position =
                static_cast<int>(wParam) == -1 ? SelStart(edit) : static_cast<size_t>(wParam);
            return static_cast<LRESULT>(LineOf(lines, std::min(position, edit->text.size())));
        }
        case EM_LINELENGTH: {
            if (static_cast<int>(wParam) == -1) {
                return static_cast<LRESULT>(lines[caretLine].length -
                                            (SelEnd(edit) - SelStart(edit)));
            }
            size_t position = std::min(static_cast<size_t>(wParam), edit->text.size());
            return static_cast<LRESULT>(lines[LineOf(lines, position)].length);
        }
        case EM_GETLINE: {
            auto* buffer = reinterpret_cast<LPWSTR>(lParam);
            size_t index = IsMultiLine(hwnd) ? static_cast<size_t>(wParam) : 0;
            if (!buffer || index >= lines.size()) {
                return 0;
            }
            // The first WORD of the buffer holds its size; no terminator is added.
            size_t capacity = static_cast<WORD>(buffer[0]);
            size_t count = std::min(capacity, lines[index].length);
            std::copy_n(edit->text.begin() + static_cast<std::ptrdiff_t>(lines[index].start), count,
                        buffer);
            return static_cast<LRESULT>(count);
        }
        default:
            return 0;
    }
}

// A press on the scroll bar scrolls, or starts dragging its thumb; false when the
// press was elsewhere.
bool PressScrollBar(Edit* edit, HWND hwnd, POINT point) {
    LayOut(edit, hwnd);  // the bar as the view is now
    int top = edit->firstLine;
    if (!edit->bar.Press(point, &top)) {
        return false;
    }
    ScrollTo(edit, hwnd, top);
    if (edit->bar.Dragging()) {
        SetCapture(hwnd);
    }
    return true;
}

LRESULT ScrollMessage(Edit* edit, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!IsMultiLine(hwnd)) {
        if (message != EM_GETFIRSTVISIBLELINE) {
            return FALSE;
        }
        // A field answers with its first character in view.
        auto x = Extents(FontOf(*edit), Shown(edit, hwnd, Line{0, edit->text.size()}));
        auto first = std::lower_bound(x.begin(), x.end() - 1, edit->scrollX);
        return static_cast<LRESULT>(first - x.begin());
    }
    View view = LayOut(edit, hwnd);
    switch (message) {
        case EM_GETFIRSTVISIBLELINE:
            return edit->firstLine;
        case EM_LINESCROLL:
            // Wrapped or not, lines scroll sideways only with the caret.
            ScrollTo(edit, hwnd, edit->firstLine + static_cast<int>(lParam));
            return TRUE;
        default: {
            const int page = std::max(1, view.rows - 1);
            int delta = 0;
            switch (wParam) {
                case SB_LINEUP:
                    delta = -1;
                    break;
                case SB_LINEDOWN:
                    delta = 1;
                    break;
                case SB_PAGEUP:
                    delta = -page;
                    break;
                case SB_PAGEDOWN:
                    delta = page;
                    break;
                default:
                    return FALSE;
            }
            int moved = ScrollTo(edit, hwnd, edit->firstLine + delta);
            return MAKELRESULT(static_cast<WORD>(moved), TRUE);
        }
    }
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Edit* edit = AttachState<Edit>(hwnd, message);
    if (!edit) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (HandleFontMessage(*edit, hwnd, message, wParam, lParam, &result)) {
        if (message == WM_SETFONT) {
            ScrollToCaret(edit, hwnd);
        }
        return result;
    }
    switch (message) {
        case WM_NCCREATE: {
            edit->leftMargin = edit->rightMargin = Scale(2);
            auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            if (create && create->lpszName && !IS_INTRESOURCE(create->lpszName) &&
                create->lpszName[0] != 0xFFFF) {
                edit->text = create->lpszName;
            }
            if (create && (create->style & ES_MULTILINE)) {
                edit->limit = kLargestLimit;
            }
            return DefWindowProcW(hwnd, message, wParam, lParam);
        }
        case WM_NCDESTROY:
            FreeState(hwnd);
            return DefWindowProcW(hwnd, message, wParam, lParam);
        case WM_GETDLGCODE: {
            LRESULT code = DLGC_WANTCHARS | DLGC_HASSETSEL | DLGC_WANTARROWS;
            if ((StyleOf(hwnd) & (ES_MULTILINE | ES_WANTRETURN)) ==
                (ES_MULTILINE | ES_WANTRETURN)) {
                code |= DLGC_WANTALLKEYS;
            }
            return code;
        }
        case WM_PAINT:
            Paint(edit, hwnd);
            return 0;
        case WM_ERASEBKGND:
            return 1;
        case WM_SIZE:
        case WM_ENABLE:
            Moved(edit, hwnd);
            return 0;
        case WM_SETTEXT:
            SetText(edit, hwnd, reinterpret_cast<LPCWSTR>(lParam));
            // A multi-line field does not report text set by the program.
            if (!IsMultiLine(hwnd)) {
                NotifyChange(hwnd);
            }
            return TRUE;
        case WM_SETFOCUS:
            edit->focused = true;
            InvalidateRect(hwnd, nullptr, FALSE);
            NotifyCommand(hwnd, EN_SETFOCUS);
            return 0;
        case WM_KILLFOCUS:
            edit->focused = false;
            InvalidateRect(hwnd, nullptr, FALSE);
            NotifyCommand(hwnd, EN_KILLFOCUS);
            return 0;
        case WM_CHAR:
            TypeCharacter(edit, hwnd, static_cast<char16_t>(wParam));
            return 0;
        case WM_KEYDOWN:
            KeyDown(edit, hwnd, wParam);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK: {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            if (PressScrollBar(edit, hwnd, point)) {
                return 0;
            }
            bool atLineEnd = false;
            if (message == WM_LBUTTONDBLCLK) {
                SelectWordAt(edit, hwnd, HitTest(edit, hwnd, point, &atLineEnd));
                return 0;
            }
            if (GetFocus() != hwnd) {
                SetFocus(hwnd);
                if (!IsWindow(hwnd)) {
                    return 0;
                }
            }
            size_t position = HitTest(edit, hwnd, point, &atLineEnd);
            MoveCaret(edit, hwnd, position, (wParam & MK_SHIFT) != 0, atLineEnd);
            edit->tracking = true;
            SetCapture(hwnd);
            return 0;
        }
        case WM_MOUSEMOVE: {
            POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
            int top = 0;
            if (edit->bar.Drag(point, &top)) {
                ScrollTo(edit, hwnd, top);
            } else if (edit->tracking) {
                bool atLineEnd = false;
                size_t position = HitTest(edit, hwnd, point, &atLineEnd);
                MoveCaret(edit, hwnd, position, true, atLineEnd);
            }
            return 0;
        }
        case WM_LBUTTONUP:
            if (edit->tracking || edit->bar.Dragging()) {
                edit->tracking = false;
                edit->bar.Release();
                ReleaseCapture();
            }
            return 0;
        case WM_CAPTURECHANGED:
            edit->tracking = false;
            edit->bar.Release();
            return 0;
        case EM_GETSEL: {
            auto start = static_cast<DWORD>(SelStart(edit));
            auto end = static_cast<DWORD>(SelEnd(edit));
            if (wParam) {
                *reinterpret_cast<DWORD*>(wParam) = start;
            }
            if (lParam) {
                *reinterpret_cast<DWORD*>(lParam) = end;
            }
            return MAKELRESULT(std::min<DWORD>(start, 0xFFFF), std::min<DWORD>(end, 0xFFFF));
        }
        case EM_SETSEL: {
            auto start = static_cast<int>(wParam);
            auto end = static_cast<int>(lParam);
            if (start < 0) {
                // No selection: the caret stays where it is.
                edit->anchor = edit->caret;
            } else {
                size_t size = edit->text.size();
                edit->anchor = Snap(edit->text, std::min(static_cast<size_t>(start), size));
                edit->caret =
                    Snap(edit->text, end < 0 ? size : std::min(static_cast<size_t>(end), size));
                edit->caretAtLineEnd = false;
            }
            Moved(edit, hwnd);
            return 0;
        }
        case EM_REPLACESEL: {
            auto* text = reinterpret_cast<LPCWSTR>(lParam);
            ReplaceSelection(edit, hwnd, text ? std::u16string(text) : std::u16string(), false);
            NotifyChange(hwnd);
            return 0;
        }
        case EM_SCROLLCARET:
            Moved(edit, hwnd);
            return TRUE;
        case EM_LIMITTEXT:
            edit->limit = wParam == 0 ? kLargestLimit : static_cast<size_t>(wParam);
            return 0;
        case EM_GETLIMITTEXT:
            return static_cast<LRESULT>(edit->limit);
        case EM_GETMODIFY:
            return edit->modified ? TRUE : FALSE;
        case EM_SETMODIFY:
            edit->modified = wParam != 0;
            return 0;
        case EM_SETREADONLY: {
            DWORD style = StyleOf(hwnd);
            style = wParam ? (style | ES_READONLY) : (style & ~static_cast<DWORD>(ES_READONLY));
            SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(style));
            InvalidateRect(hwnd, nullptr, TRUE);
            return TRUE;
        }
        case EM_SETPASSWORDCHAR: {
            edit->passwordChar = static_cast<char16_t>(wParam);
            DWORD style = StyleOf(hwnd);
            style = wParam ? (style | ES_PASSWORD) : (style & ~static_cast<DWORD>(ES_PASSWORD));
            SetWindowLongW(hwnd, GWL_STYLE, static_cast<LONG>(style));
            Moved(edit, hwnd);
            return 0;
        }
        case EM_GETPASSWORDCHAR:
            return (StyleOf(hwnd) & ES_PASSWORD) ? edit->passwordChar : 0;
        case EM_GETRECT:
            if (lParam) {
                *reinterpret_cast<RECT*>(lParam) = LayOut(edit, hwnd).area;
            }
            return 0;
        case EM_SETMARGINS: {
            auto width = [&](WORD value) {
                return value == EC_USEFONTINFO ? FontMargin(FontOf(*edit))
                                               : static_cast<int>(value);
            };
            if (wParam & EC_LEFTMARGIN) {
                edit->leftMargin = width(LOWORD(lParam));
            }
            if (wParam & EC_RIGHTMARGIN) {
                edit->rightMargin = width(HIWORD(lParam));
            }
            Moved(edit, hwnd);
            return 0;
        }
        case EM_GETMARGINS:
            return MAKELRESULT(edit->leftMargin, edit->rightMargin);
        case EM_SCROLL:
        case EM_LINESCROLL:
        case EM_GETFIRSTVISIBLELINE:
            return ScrollMessage(edit, hwnd, message, wParam, lParam);
        case EM_GETLINECOUNT:
        case EM_LINEINDEX:
        case EM_LINEFROMCHAR:
        case EM_LINELENGTH:
        case EM_GETLINE:
            return LineMessage(edit, hwnd, message, wParam, lParam);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW EditClass() {
    WNDCLASSW info{};
    info.style = CS_DBLCLKS | CS_PARENTDC;
    info.lpfnWndProc = EditProc;
    info.cbWndExtra = kControlExtra;
    info.lpszClassName = u"Edit";
    return info;
}

}  // namespace platform::user

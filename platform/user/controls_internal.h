// What the control window procedures share: their state behind a pointer in the
// window's extra bytes, notifications to the parent, colours, fonts, small drawing
// helpers and the scroll bar the list controls draw inside their client area.
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

#include "platform/user/user_internal.h"

namespace platform::user {

// The class list entries (one per control file).
WNDCLASSW ButtonClass();
WNDCLASSW StaticClass();
WNDCLASSW EditClass();
WNDCLASSW ListBoxClass();
WNDCLASSW ComboListClass();
WNDCLASSW ComboBoxClass();
WNDCLASSW TrackbarClass();
WNDCLASSW ProgressClass();
WNDCLASSW ListViewClass();
WNDCLASSW TreeViewClass();
WNDCLASSW TabControlClass();

// The list box's window procedure, which the combo box's drop-down list wraps.
LRESULT CALLBACK ListBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);

// What a combo box's drop-down list tells the combo box: wParam TRUE when the user
// picked an item, FALSE when the list was dismissed.
constexpr UINT kComboListDone = WM_USER + 0x100;

// Every control keeps one pointer in its extra bytes.
constexpr int kControlExtra = static_cast<int>(sizeof(LONG_PTR));

// A control's state: made at WM_NCCREATE, freed at WM_NCDESTROY. Only the control's
// own thread touches it (its window procedure runs nowhere else).
struct ControlState {
    virtual ~ControlState() = default;
    HFONT font = nullptr;  // from WM_SETFONT; null: the system font
};

template <class T>
T* StateOf(HWND hwnd) {
    return static_cast<T*>(reinterpret_cast<ControlState*>(GetWindowLongPtrW(hwnd, 0)));
}

// Returns the state, making it on WM_NCCREATE; null for a window without one.
template <class T>
T* AttachState(HWND hwnd, UINT message) {
    T* state = StateOf<T>(hwnd);
    if (!state && message == WM_NCCREATE) {
        state = new T;
        SetWindowLongPtrW(hwnd, 0, reinterpret_cast<LONG_PTR>(static_cast<ControlState*>(state)));
    }
    return state;
}

inline void FreeState(HWND hwnd) {
    delete reinterpret_cast<ControlState*>(GetWindowLongPtrW(hwnd, 0));
    SetWindowLongPtrW(hwnd, 0, 0);
}

// WM_SETFONT / WM_GETFONT; true when the message was one of them.
bool HandleFontMessage(ControlState& state, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                       LRESULT* result);
HFONT FontOf(const ControlState& state);

// 96-dpi pixels on the current screen.
int Scale(int pixels);

DWORD StyleOf(HWND hwnd);
int ControlId(HWND hwnd);
// WM_COMMAND(MAKEWPARAM(id, code), hwnd) to the parent.
void NotifyCommand(HWND hwnd, int code);
// Fills the header and sends WM_NOTIFY to the parent; returns the parent's answer.
LRESULT NotifyParent(HWND hwnd, UINT code, NMHDR* header);
// Asks the parent for the control's colours (WM_CTLCOLOR*); the DC gets the text and
// background colours; a parent that gives no brush gets the default one.
HBRUSH ControlColors(HWND hwnd, UINT message, HDC dc);

// A control that lets the pointer through (a static without SS_NOTIFY, a group box)
// hands a pointer message to the window beneath it, or to its parent.
LRESULT ForwardPointerBeneath(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
inline bool IsPointerMessage(UINT message) {
    return message >= WM_MOUSEFIRST && message <= WM_MOUSELAST;
}

std::u16string WindowText(HWND hwnd);
bool EqualNoCase(std::u16string_view a, std::u16string_view b);
bool StartsWithNoCase(std::u16string_view text, std::u16string_view prefix);
int CompareNoCase(std::u16string_view a, std::u16string_view b);
// Copies text and a terminator into a caller's buffer of `capacity` characters;
// returns the characters copied.
int CopyOut(std::u16string_view text, LPWSTR buffer, int capacity);

// Text measurement in a font (the system font for null).
SIZE TextSize(HFONT font, std::u16string_view text);
TEXTMETRICW FontMetrics(HFONT font);
int LineHeight(HFONT font);

// Drawing.
void FillColor(HDC dc, const RECT& rect, COLORREF color);
void FillSystem(HDC dc, const RECT& rect, int colorIndex);
void Outline(HDC dc, const RECT& rect, COLORREF color);
// A solid triangle pointing up or down (or left/right), centred in the rectangle.
enum class ArrowDirection { Up, Down, Left, Right };
void DrawArrow(HDC dc, const RECT& box, ArrowDirection direction, COLORREF color);
void DrawCheckMark(HDC dc, const RECT& box, COLORREF color);
void DrawTextLine(HDC dc, std::u16string_view text, RECT rect, UINT format);
// A dotted focus rectangle.
void DrawFocus(HDC dc, const RECT& rect, COLORREF color);

// The vertical scroll bar of the list controls, inside the client area at the right;
// laid out in a window's frame, the bar of WS_VSCROLL (scroll_bars.cpp).
class ClientScrollBar {
  public:
    static int Width();
    // Shows the bar when total rows exceed the visible rows, or always; a bar that
    // cannot scroll has no thumb.
    void Layout(const RECT& area, int total, int visible, int top, bool alwaysShown = false);
    bool Shown() const { return shown_; }
    const RECT& Bar() const { return bar_; }
    const RECT& Thumb() const { return thumb_; }
    void Draw(HDC dc) const;
    // The part under a point (ScrollPart::None off the bar).
    ScrollPart PartAt(POINT point) const;
    // The first row when the thumb's top is at y.
    int TopForThumbAt(int y) const;
    int PageRows() const { return std::max(visible_ - 1, 1); }
    // A press on the bar: true when it was on the bar; *top receives the new first row.
    bool Press(POINT point, int* top);
    // While the thumb is dragged: true with the new first row.
    bool Drag(POINT point, int* top) const;
    bool Dragging() const { return dragging_; }
    void Release() { dragging_ = false; }

  private:
    int MaxTop() const { return total_ > visible_ ? total_ - visible_ : 0; }
    bool shown_ = false;
    RECT bar_{};
    RECT up_{};
    RECT down_{};
    RECT thumb_{};
    int total_ = 0;
    int visible_ = 0;
    int top_ = 0;
    bool dragging_ = false;
    int grab_ = 0;
};

// ---- What several control files do alike ----

// BeginPaint for a control's WM_PAINT, ended (EndPaint) when the scope is left.
class PaintScope {
  public:
    explicit PaintScope(HWND hwnd) : hwnd_(hwnd), dc_(BeginPaint(hwnd, &paint_)) {}
    ~PaintScope() {
        if (dc_) {
            EndPaint(hwnd_, &paint_);
        }
    }
    PaintScope(const PaintScope&) = delete;
    PaintScope& operator=(const PaintScope&) = delete;
    HDC Dc() const { return dc_; }
    RECT Client() const {
        RECT client{};
        GetClientRect(hwnd_, &client);
        return client;
    }

  private:
    HWND hwnd_;
    PAINTSTRUCT paint_{};
    HDC dc_;
};

// A class list entry for a control that keeps its state in its extra bytes.
WNDCLASSW ClassEntry(UINT style, WNDPROC proc, LPCWSTR name);

// The window procedure of a control with state T: makes the state at WM_NCCREATE,
// frees it at WM_NCDESTROY and hands every message in between to Handle.
template <class T, LRESULT (*Handle)(T*, HWND, UINT, WPARAM, LPARAM)>
LRESULT CALLBACK ControlProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    T* state = AttachState<T>(hwnd, message);
    if (!state) {
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    if (message == WM_NCDESTROY) {
        FreeState(hwnd);
        return DefWindowProcW(hwnd, message, wParam, lParam);
    }
    return Handle(state, hwnd, message, wParam, lParam);
}

// Gives a pressed control the focus; false when the window is gone afterwards (the
// old focus's WM_KILLFOCUS may have destroyed it).
bool TakeFocus(HWND hwnd);

// The icon size of an image list; 0 without one.
int ImageWidth(HIMAGELIST list);
int ImageHeight(HIMAGELIST list);

// An application's colour, or the system colour for CLR_DEFAULT and CLR_NONE.
COLORREF ResolveColor(COLORREF color, int systemIndex);

// The row a paging key moves to: PgUp/PgDn by a page, Home/End to the ends; false for
// any other key. The caller clamps the row.
bool PagingKeyRow(WPARAM key, int current, int page, int count, int* next);

// Rows scrolled by a bar inside the client area, as the list and tree views keep them.
struct RowView : ControlState {
    int top = 0;  // the first row shown
    bool focused = false;
    bool tracking = false;  // an item was pressed and the pointer is not up yet
    ClientScrollBar bar;
};
// What the row views answer alike: the font, the dialog code, erasing, size and
// enable, focus (announced with NM_SETFOCUS / NM_KILLFOCUS), dragging the thumb,
// losing the capture. False for any other message.
bool HandleRowViewMessage(RowView& view, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam,
                          LRESULT* result);
// A press on the scroll bar (laid out beforehand); false when the point is elsewhere.
bool PressRowViewBar(RowView& view, HWND hwnd, POINT point);
// WM_LBUTTONUP: ends a thumb drag or a press on the rows; true for the latter, which
// the view announces as a click.
bool ReleaseRowView(RowView& view);

// ---- end of what several control files do alike ----

}  // namespace platform::user

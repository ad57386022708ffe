#include "pathlume/foundation/text_list_wnd.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/foundation/registry_helpers.h"

namespace {

constexpr COLORREF kWhite = RGB(255, 255, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

// A NUL-terminated copy of `length` bytes on the program heap.
char* HeapCopy(const void* bytes, size_t length) {
    auto* copy = static_cast<char*>(g_heap.Alloc(length + 1));
    std::memcpy(copy, bytes, length);
    copy[length] = '\0';
    return copy;
}

void FillSolid(HDC dc, const RECT& rect, COLORREF colour) {
    HBRUSH brush = CreateSolidBrush(colour);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

bool StartsWith(std::string_view text, std::string_view prefix) {
    return text.substr(0, prefix.size()) == prefix;
}

}  // namespace

BEGIN_MESSAGE_MAP(CTextListWnd, CWnd)
ON_WM_PAINT()
ON_WM_ERASEBKGND()
ON_WM_LBUTTONDOWN()
ON_WM_LBUTTONUP()
ON_WM_VSCROLL()
END_MESSAGE_MAP()

CTextListWnd::CTextListWnd() {
    CreateScaledFont(&fallbackFont1, 15, FW_BOLD, u"Tahoma");
    CreateScaledFont(&fallbackFont2, 13, FW_BOLD, u"Tahoma");
}

CTextListWnd::~CTextListWnd() {
    // The window goes first, while its handlers still have the list.
    if (m_hWnd)
        DestroyWindow();
    SetFilter(nullptr);
    if (ownsItems) {
        for (INT_PTR i = 0; i < items.GetSize(); ++i)
            g_heap.Free(items[i]);
    }
    items.RemoveAll();
    itemFlags.clear();
}

void* CTextListWnd::operator new(size_t size) {
    return g_heap.Alloc(size);
}

void CTextListWnd::operator delete(void* p) noexcept {
    g_heap.Free(p);
}

BOOL CTextListWnd::Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {
    hasScrollBar = (style & WS_VSCROLL) ? 1 : 0;
    return CWnd::Create(nullptr, u"", style | WS_CHILD | WS_VISIBLE, rect, parent, id);
}

// ---- Items -------------------------------------------------------------------------

int CTextListWnd::AddStringW(LPCWSTR text) {
    // The ANSI code page has one byte per character: a cut text stays whole.
    std::u16string wide = text ? std::u16string(text) : std::u16string();
    if (wide.size() >= static_cast<size_t>(kMaxItemBytes))
        wide.resize(kMaxItemBytes - 1);
    char bytes[kMaxItemBytes];
    const int written =
        WideCharToMultiByte(CP_ACP, 0, wide.c_str(), -1, bytes, kMaxItemBytes, nullptr, nullptr);
    if (written <= 0)
        bytes[0] = '\0';
    return AddItem(bytes, 0);
}

int CTextListWnd::AddItem(const void* item, int length) {
    void* stored = const_cast<void*>(item);
    if (ownsItems) {
        const size_t size =
            length > 0 ? static_cast<size_t>(length) : std::strlen(static_cast<const char*>(item));
        stored = HeapCopy(item, size);
    }
    items.Add(stored);
    itemFlags.push_back(0);
    itemCount = static_cast<int>(items.GetSize());
    UpdateScrollRange();
    return itemCount;
}

void CTextListWnd::SetItemText(int index, const char* text, BOOL redraw) {
    if (index < 0 || index >= itemCount || !text)
        return;
    if (ownsItems) {
        char* copy = HeapCopy(text, std::strlen(text));
        g_heap.Free(items[index]);
        items[index] = copy;
    } else {
        items[index] = const_cast<char*>(text);
    }
    if (redraw)
        Redraw();
}

int CTextListWnd::DeleteItem(int index) {
    if (index < 0 || index >= itemCount)
        return itemCount;
    if (ownsItems)
        g_heap.Free(items[index]);
    items.RemoveAt(index);
    itemFlags.erase(itemFlags.begin() + index);
    itemCount = static_cast<int>(items.GetSize());
    UpdateScrollRange();
    // The selection stays on its item: an item after the deleted one moves up.
    if (selection > index || (selection == index && index == itemCount))
        --selection;
    if (selection < 0 && itemCount > 0)
        selection = 0;
    topIndex = std::clamp(topIndex, 0, std::max(itemCount - 1, 0));
    Redraw();
    return itemCount;
}

void* CTextListWnd::GetItem(int index) const {
    return index >= 0 && index < itemCount ? items[index] : nullptr;
}

int CTextListWnd::GetItemIcon(int) {
    return 0;
}

DWORD CTextListWnd::GetItemFlags(int index) const {
    return index >= 0 && index < itemCount ? itemFlags[static_cast<size_t>(index)] : 0;
}

void CTextListWnd::SetItemFlags(int index, DWORD flags) {
    if (index >= 0 && index < itemCount)
        itemFlags[static_cast<size_t>(index)] = flags;
}

const std::string& CTextListWnd::KeyOf(int index) const {
    const auto* text = static_cast<const char*>(items[index]);
    const size_t length = text ? std::strlen(text) : 0;
    key_.resize(length + 1);
    MakeSearchKey(text ? text : "", key_.data());
    key_.resize(std::strlen(key_.c_str()));
    return key_;
}

bool CTextListWnd::Matches(int index) const {
    return !filter || KeyOf(index).find(filter) != std::string::npos;
}

int CTextListWnd::NearestMatch(int index, int step) const {
    for (int i = index; i >= 0 && i < itemCount; i += step) {
        if (Matches(i))
            return i;
    }
    return -1;
}

// ---- Selection and scrolling -------------------------------------------------------

int CTextListWnd::LastVisible() const {
    return std::min(itemCount - 1, topIndex + rowsPerPage - 1);
}

void CTextListWnd::SetRowHeight(int pixels) {
    // A height of 0 would divide the taps and the page by zero.
    rowHeight = std::max(pixels, 1);
    RECT client{};
    if (m_hWnd)
        GetClientRect(&client);
    rowsPerPage = std::max(0, static_cast<int>(client.bottom - client.top - 2) / rowHeight);
}

void CTextListWnd::SetReleaseNotification(UINT message, WPARAM wParam, LPARAM lParam) {
    releaseMessage = message;
    releaseWParam = wParam;
    releaseLParam = lParam;
}

int CTextListWnd::SetSelection(int index, BOOL notify, BOOL alignBottom) {
    if (index < 0 || index >= itemCount)
        return selection;
    if (index != selection) {
        if (filter) {
            const int found = NearestMatch(index, index > selection ? 1 : -1);
            if (found >= 0)
                selection = found;
        } else {
            selection = index;
        }
    }
    const bool notifies = notify && (GetStyle() & kNotifyStyle);
    if (notifies || index < topIndex || index >= topIndex + rowsPerPage)
        topIndex = index;
    if (alignBottom && index >= rowsPerPage - 1)
        topIndex = std::max(index - rowsPerPage + 1, 0);
    else if (itemCount <= rowsPerPage)
        topIndex = 0;
    SetScrollToSelection();
    Redraw();
    if (notifies)
        NotifyParent();
    return selection;
}

void CTextListWnd::SelectNext() {
    if (selection >= itemCount - 1)
        return;
    const int next = filter ? NearestMatch(selection + 1, 1) : selection + 1;
    if (next < 0)
        return;
    if (next > LastVisible())
        EnsureVisibleDown(next, FALSE);
    else
        selection = next;
    SetScrollToSelection();
    Redraw();
}

void CTextListWnd::SelectPrev() {
    if (selection <= 0)
        return;
    const int previous = filter ? NearestMatch(selection - 1, -1) : selection - 1;
    if (previous < 0)
        return;
    if (previous < topIndex)
        EnsureVisibleUp(previous, FALSE);
    else
        selection = previous;
    SetScrollToSelection();
    Redraw();
}

void CTextListWnd::EnsureVisibleUp(int index, BOOL force) {
    EnsureVisible(index, force, true);
}

void CTextListWnd::EnsureVisibleDown(int index, BOOL force) {
    EnsureVisible(index, force, false);
}

void CTextListWnd::EnsureVisible(int index, BOOL force, bool asTop) {
    if (index < 0 || index >= itemCount)
        return;
    const int target = filter ? NearestMatch(index, index > selection ? 1 : -1) : index;
    if (target < 0)
        return;
    selection = target;
    const int oldTop = topIndex;
    topIndex = asTop ? target : std::max(target - rowsPerPage + 1, 0);
    if (force || topIndex != oldTop)
        Redraw();
}

void CTextListWnd::UpdateScrollRange() {
    if (!hasScrollBar || !m_hWnd)
        return;
    if (itemCount >= rowsPerPage)
        ::SetScrollRange(m_hWnd, SB_VERT, 0, itemCount, TRUE);
    else if (updateScrollRange)
        ::SetScrollRange(m_hWnd, SB_VERT, 0, itemCount, FALSE);
}

void CTextListWnd::SetScrollToSelection() {
    if (hasScrollBar && m_hWnd && itemCount > rowsPerPage)
        ::SetScrollPos(m_hWnd, SB_VERT, selection, TRUE);
}

void CTextListWnd::SetScrollToTop() {
    if (hasScrollBar && m_hWnd)
        ::SetScrollPos(m_hWnd, SB_VERT, topIndex, TRUE);
}

void CTextListWnd::Redraw() {
    if (!m_hWnd)
        return;
    Invalidate(FALSE);
    UpdateWindow();
}

void CTextListWnd::NotifyParent() {
    HWND parent = ::GetParent(m_hWnd);
    if (parent) {
        ::PostMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(), kSelectionNotification),
                       reinterpret_cast<LPARAM>(m_hWnd));
    }
}

// ---- Filter and type-ahead -----------------------------------------------------------

void CTextListWnd::SetFilter(const char* text) {
    if (filter) {
        g_heap.Free(filter);
        filter = nullptr;
    }
    if (text && *text) {
        std::string key(std::strlen(text) + 1, '\0');
        MakeSearchKey(text, key.data());
        filter = HeapCopy(key.c_str(), std::strlen(key.c_str()));
    }
    Redraw();
}

int CTextListWnd::FindTyped(const char* typed, BOOL notify) {
    if (!typed || !*typed) {
        SetFilter(nullptr);
        lastMatch = -1;
        return SetSelection(0, notify, FALSE);
    }
    std::string key(std::strlen(typed) + 1, '\0');
    MakeSearchKey(typed, key.data());
    key.resize(std::strlen(key.c_str()));

    int answer = -1;
    bool answeredByLastMatch = false;
    int start = 0;
    int end = itemCount;
    // Items may have been deleted since the last match was found.
    const bool lastMatchValid = lastMatch >= 0 && lastMatch < itemCount;
    if (filter) {
        const std::string old = filter;
        if (!StartsWith(key, old) && StartsWith(old, key)) {
            // Characters were removed.
            if (lastMatchValid && StartsWith(KeyOf(lastMatch), key))
                answeredByLastMatch = true;
            else if (lastMatchValid)
                end = lastMatch + 1;
        } else if (StartsWith(key, old) && lastMatchValid) {
            // Characters were added.
            const std::string& lastKey = KeyOf(lastMatch);
            if (StartsWith(lastKey, key))
                answeredByLastMatch = true;
            else if (lastKey.find(old, 1) != std::string::npos)
                start = lastMatch;
        }
    }
    SetFilter(key.c_str());

    if (!answeredByLastMatch && filter) {
        int containing = -1;
        for (int i = start; i < end; ++i) {
            const std::string& itemKey = KeyOf(i);
            if (StartsWith(itemKey, key)) {
                answer = i;
                lastMatch = i;
                break;
            }
            if (containing < 0 && itemKey.find(key) != std::string::npos) {
                containing = i;
            } else if (containing >= 0 &&
                       CompareNoCase(static_cast<const char*>(items[i]), key.c_str(), -1) > 0) {
                break;  // past where a beginning match would sort
            }
        }
        if (answer < 0)
            answer = containing;
    }
    if (answeredByLastMatch || !filter) {
        // The first item that does not sort below the key.
        answer = itemCount > 0 ? itemCount - 1 : -1;
        for (int i = 0; i < itemCount; ++i) {
            if (CompareNoCase(static_cast<const char*>(items[i]), key.c_str(), -1) >= 0) {
                answer = i;
                break;
            }
        }
    }
    return SetSelection(answer, notify, FALSE);
}

// ---- Painting ------------------------------------------------------------------------

void CTextListWnd::Draw(CDC* cdc, int) {
    HDC dc = cdc->GetSafeHdc();
    SetBkMode(dc, TRANSPARENT);
    HFONT font = listFont ? listFont : static_cast<HFONT>(fallbackFont1.GetSafeHandle());
    HGDIOBJ oldFont = SelectObject(dc, font);
    if (rowHeight == 0) {
        LOGFONTW logFont{};
        GetObjectW(font, sizeof logFont, &logFont);
        SetRowHeight(std::abs(static_cast<int>(logFont.lfHeight)) + 3);
    }
    RECT client{};
    GetClientRect(&client);
    const int width = client.right;
    const int height = client.bottom;
    FillSolid(dc, RECT{1, 1, width - 1, height - 1}, kWhite);

    const COLORREF textColour = GetTextColor(dc);
    int y = 1;
    int rows = 0;
    for (int i = topIndex; i < itemCount && y + rowHeight <= height - 1; ++i) {
        if (!Matches(i))
            continue;
        drawingRow = i;
        DrawRow(dc, i, y, width, i == selection, textColour);
        y += rowHeight;
        ++rows;
    }
    if (rows < rowsPerPage)
        FillSolid(dc, RECT{1, y, width, 1 + rowsPerPage * rowHeight}, kWhite);

    FillSolid(dc, RECT{0, 0, width, 1}, kBlack);
    FillSolid(dc, RECT{0, height - 1, width, height}, kBlack);
    FillSolid(dc, RECT{0, 0, 1, height}, kBlack);
    FillSolid(dc, RECT{width - 1, 0, width, height}, kBlack);
    if (g_screenScaleY.load() > 1.0f)
        FillSolid(dc, RECT{1, height - 4, width - 1, height - 1}, kWhite);
    else
        FillSolid(dc, RECT{1, height - 2, width - 1, height - 1}, kWhite);
    SelectObject(dc, oldFont);
}

void CTextListWnd::DrawRow(HDC dc, int index, int y, int width, bool selected,
                           COLORREF textColour) {
    const RECT band{1, y, width, y + rowHeight};
    if (selected)
        FillRect(dc, &band, GetSysColorBrush(COLOR_HIGHLIGHT));
    else
        FillSolid(dc, band, kWhite);
    const auto* text = static_cast<const char*>(items[index]);
    if (!text || !*text)
        return;

    // A longer item is drawn cut, not left empty.
    WCHAR wide[kMaxItemBytes];
    const int bytes = static_cast<int>(strnlen(text, kMaxItemBytes - 1));
    const int length = MultiByteToWideChar(CP_ACP, 0, text, bytes, wide, kMaxItemBytes - 1);
    if (length <= 0)
        return;
    SIZE size{};
    GetTextExtentPoint32W(dc, wide, length, &size);
    HGDIOBJ listFontInDc = nullptr;
    int down = 0;
    if (size.cx > width - 1) {
        const LONG listHeight = size.cy;
        listFontInDc = SelectObject(dc, fallbackFont1.GetSafeHandle());
        GetTextExtentPoint32W(dc, wide, length, &size);
        if (size.cx > width - 1) {
            SelectObject(dc, fallbackFont2.GetSafeHandle());
            GetTextExtentPoint32W(dc, wide, length, &size);
        }
        down = static_cast<int>(listHeight - size.cy) / 2;
    }

    const COLORREF colour = selected ? kWhite : textColour;
    const COLORREF matchColour = selected ? kSelectedMatchColour : kMatchColour;
    int matchAt = -1;
    int matchLength = 0;
    if (filter) {
        std::string matchText(std::strlen(text) + 1, '\0');
        MakeMatchText(text, matchText.data());
        const char* found = std::strstr(matchText.c_str(), filter);
        if (found) {
            matchAt = static_cast<int>(found - matchText.c_str());
            matchLength = static_cast<int>(std::strlen(filter));
        }
    }
    int x = 1;
    auto drawPart = [&](int from, int count, COLORREF partColour) {
        if (count <= 0)
            return;
        SetTextColor(dc, partColour);
        ExtTextOutW(dc, x, y + down, 0, nullptr, wide + from, static_cast<UINT>(count), nullptr);
        SIZE part{};
        GetTextExtentPoint32W(dc, wide + from, count, &part);
        x += part.cx;
    };
    if (matchAt >= 0 && matchAt + matchLength <= length) {
        drawPart(0, matchAt, colour);
        drawPart(matchAt, matchLength, matchColour);
        drawPart(matchAt + matchLength, length - matchAt - matchLength, colour);
    } else {
        drawPart(0, length, colour);
    }
    SetTextColor(dc, textColour);
    if (listFontInDc)
        SelectObject(dc, listFontInDc);
}

// ---- Messages ------------------------------------------------------------------------

void CTextListWnd::OnPaint() {
    CPaintDC dc(this);
    Draw(&dc, -1);
}

BOOL CTextListWnd::OnEraseBkgnd(CDC*) {
    return TRUE;  // Draw fills every pixel
}

void CTextListWnd::OnLButtonDown(UINT, CPoint point) {
    tapped = 0;
    RECT client{};
    GetClientRect(&client);
    if (point.x < 0 || point.x >= client.right || point.y < 1)
        return;
    const int row = (point.y - 1) / std::max(rowHeight, 1);
    if (row >= rowsPerPage)
        return;
    int shown = 0;
    for (int i = topIndex; i < itemCount; ++i) {
        if (!Matches(i))
            continue;
        if (shown++ == row) {
            selection = i;
            tapped = 1;
            SetSelection(i, TRUE, FALSE);
            Redraw();
            return;
        }
    }
}

void CTextListWnd::OnLButtonUp(UINT, CPoint) {
    if (tapped && releaseMessage) {
        HWND parent = ::GetParent(m_hWnd);
        if (parent)
            ::PostMessageW(parent, releaseMessage, releaseWParam, releaseLParam);
    }
    tapped = 0;
}

int CTextListWnd::PageDownTarget() const {
    const int page = std::max(rowsPerPage, 1);
    int found = -1;
    int counted = 0;
    for (int i = topIndex + 1; i < itemCount && counted < page; ++i) {
        if (Matches(i)) {
            found = i;
            ++counted;
        }
    }
    return found;
}

int CTextListWnd::PageUpTarget() const {
    const int page = std::max(rowsPerPage, 1);
    int found = -1;
    int counted = 0;
    for (int i = std::min(topIndex, itemCount) - 1; i >= 0 && counted < page; --i) {
        if (Matches(i)) {
            found = i;
            ++counted;
        }
    }
    return found;
}

void CTextListWnd::OnVScroll(UINT code, UINT, CScrollBar*) {
    int target = -1;
    switch (code) {
        case SB_LINEUP:
            SelectPrev();
            break;
        case SB_LINEDOWN:
            SelectNext();
            break;
        case SB_PAGEUP:
            target = PageUpTarget();
            break;
        case SB_PAGEDOWN:
            target = PageDownTarget();
            break;
        case SB_THUMBPOSITION:
        case SB_THUMBTRACK: {
            SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
            if (::GetScrollInfo(m_hWnd, SB_VERT, &info) && info.nTrackPos != topIndex &&
                info.nTrackPos >= 0 && info.nTrackPos < itemCount)
                target = info.nTrackPos;
            break;
        }
        default:
            break;
    }
    if (target >= 0 && target != selection) {
        if (filter)
            target = NearestMatch(target, target > selection ? 1 : -1);
        if (target >= 0) {
            selection = target;
            if (GetStyle() & kNotifyStyle)
                SetSelection(target, TRUE, FALSE);
            else
                EnsureVisibleUp(target, FALSE);
        }
    }
    SetScrollToTop();
}

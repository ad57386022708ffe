// The list view: items with sub-item texts, an image, a state and item data, shown
// as a report (a header row and one row per item, the columns side by side) or as
// icons in a grid. Changes of an item's state are announced with LVN_ITEMCHANGING
// (which the parent may refuse) and LVN_ITEMCHANGED; a tap sends NM_CLICK when the
// pointer comes up, a double tap NM_DBLCLK, each with the item hit (-1 for none).
#include <algorithm>
#include <vector>

#include "platform/user/controls_internal.h"

namespace platform::user {
namespace {

struct Column {
    std::u16string text;
    int width = 0;
    int format = LVCFMT_LEFT;
    int subItem = 0;
};

struct Item {
    std::vector<std::u16string> texts;  // by sub-item
    int image = 0;
    LPARAM param = 0;
    UINT state = 0;
    int indent = 0;

    const std::u16string& Text(int subItem) const {
        static const std::u16string empty;
        return subItem >= 0 && subItem < static_cast<int>(texts.size())
                   ? texts[static_cast<size_t>(subItem)]
                   : empty;
    }
    void SetText(int subItem, std::u16string text) {
        if (static_cast<int>(texts.size()) <= subItem) {
            texts.resize(static_cast<size_t>(subItem) + 1);
        }
        texts[static_cast<size_t>(subItem)] = std::move(text);
    }
};

struct ListView : RowView {
    ~ListView() override {
        if (ownsImageLists) {
            for (HIMAGELIST list : {normal, small, stateImages}) {
                if (list) {
                    ImageList_Destroy(list);
                }
            }
        }
    }
    std::vector<Column> columns;
    std::vector<Item> items;
    HIMAGELIST normal = nullptr;
    HIMAGELIST small = nullptr;
    HIMAGELIST stateImages = nullptr;
    bool ownsImageLists = false;
    DWORD extended = 0;
    int selectionMark = -1;
    COLORREF background = CLR_DEFAULT;
    COLORREF textColor = CLR_DEFAULT;
    COLORREF textBackground = CLR_DEFAULT;
    int pressedItem = -1;
    POINT pressedAt{};
};

int Count(const ListView* view) {
    return static_cast<int>(view->items.size());
}

bool Valid(const ListView* view, int index) {
    return index >= 0 && index < Count(view);
}

bool IsReport(HWND hwnd) {
    return (StyleOf(hwnd) & LVS_TYPEMASK) == LVS_REPORT;
}

// Where things are: rows of cells below the header; a report row holds one item.
struct Layout {
    RECT area;  // the rows' area, without the header and the scroll bar
    int header = 0;
    int rowHeight = 1;
    int perRow = 1;
    int cellWidth = 0;
    int visibleRows = 1;
    int totalRows = 0;
};

Layout LayoutOf(ListView* view, HWND hwnd) {
    Layout layout;
    RECT client{};
    GetClientRect(hwnd, &client);
    int line = LineHeight(FontOf(*view));
    DWORD type = StyleOf(hwnd) & LVS_TYPEMASK;
    if (type == LVS_REPORT) {
        layout.header = (StyleOf(hwnd) & LVS_NOCOLUMNHEADER) ? 0 : line + Scale(4);
        layout.rowHeight = std::max(
            {line + Scale(3), ImageHeight(view->small) + 1, ImageHeight(view->stateImages) + 1});
        layout.cellWidth = client.right;
    } else if (type == LVS_ICON) {
        layout.rowHeight = ImageHeight(view->normal) + 2 * line + Scale(6);
        layout.cellWidth = std::max(ImageWidth(view->normal) + Scale(8), Scale(72));
    } else {
        layout.rowHeight = std::max(line + Scale(3), ImageHeight(view->small) + 1);
        layout.cellWidth = Scale(100);
    }
    RECT area{0, layout.header, client.right, client.bottom};
    int rowsArea = std::max(0, static_cast<int>(area.bottom - area.top));
    layout.visibleRows = std::max(1, rowsArea / layout.rowHeight);
    auto rowsFor = [&](int perRow) { return (Count(view) + perRow - 1) / perRow; };
    layout.perRow =
        type == LVS_REPORT ? 1 : std::max(1, static_cast<int>(area.right) / layout.cellWidth);
    layout.totalRows = rowsFor(layout.perRow);
    view->top = std::clamp(view->top, 0, std::max(0, layout.totalRows - layout.visibleRows));
    view->bar.Layout(area, layout.totalRows, layout.visibleRows, view->top);
    if (view->bar.Shown() && !(StyleOf(hwnd) & LVS_NOSCROLL)) {
        area.right = view->bar.Bar().left;
        if (type != LVS_REPORT) {
            layout.perRow = std::max(1, static_cast<int>(area.right) / layout.cellWidth);
            layout.totalRows = rowsFor(layout.perRow);
            view->bar.Layout(RECT{0, layout.header, client.right, client.bottom}, layout.totalRows,
                             layout.visibleRows, view->top);
        } else {
            layout.cellWidth = area.right;
        }
    } else if (StyleOf(hwnd) & LVS_NOSCROLL) {
        view->bar.Layout(area, 0, 1, 0);
    }
    layout.area = area;
    return layout;
}

RECT ItemBounds(ListView* view, const Layout& layout, int index) {
    int row = index / layout.perRow - view->top;
    int column = index % layout.perRow;
    int y = layout.area.top + row * layout.rowHeight;
    int x = column * layout.cellWidth;
    return RECT{x, y, x + layout.cellWidth, y + layout.rowHeight};
}

int ColumnLeft(const ListView* view, int column) {
    int x = 0;
    for (int c = 0; c < column && c < static_cast<int>(view->columns.size()); ++c) {
        x += view->columns[static_cast<size_t>(c)].width;
    }
    return x;
}

// The label of column 0 in a report row, after the state image and the small icon.
RECT LabelRect(ListView* view, HWND hwnd, const Layout& layout, int index) {
    RECT bounds = ItemBounds(view, layout, index);
    if (!IsReport(hwnd)) {
        if ((StyleOf(hwnd) & LVS_TYPEMASK) == LVS_ICON) {
            bounds.top += ImageHeight(view->normal) + Scale(3);
        } else {
            bounds.left += ImageWidth(view->small) + Scale(2);
        }
        return bounds;
    }
    int width = view->columns.empty() ? bounds.right : view->columns[0].width;
    RECT label{bounds.left + Scale(2), bounds.top, bounds.left + width, bounds.bottom};
    const Item& item = view->items[static_cast<size_t>(index)];
    if (view->stateImages && (item.state & LVIS_STATEIMAGEMASK)) {
        label.left += ImageWidth(view->stateImages);
    }
    if (view->small) {
        label.left += ImageWidth(view->small) + Scale(2);
    }
    return label;
}

void Redraw(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, TRUE);
}

void EnsureVisible(ListView* view, HWND hwnd, int index) {
    if (!Valid(view, index)) {
        return;
    }
    Layout layout = LayoutOf(view, hwnd);
    int row = index / layout.perRow;
    int top = view->top;
    if (row < top) {
        top = row;
    } else if (row >= top + layout.visibleRows) {
        top = row - layout.visibleRows + 1;
    }
    if (top != view->top) {
        view->top = top;
        Redraw(hwnd);
    }
}

// Changes an item's state with the notifications; false when the parent refused or
// nothing changed.
bool SetState(ListView* view, HWND hwnd, int index, UINT state, UINT mask) {
    if (!Valid(view, index)) {
        return false;
    }
    Item& item = view->items[static_cast<size_t>(index)];
    UINT old = item.state;
    UINT next = (old & ~mask) | (state & mask);
    if (next == old) {
        return false;
    }
    NMLISTVIEW change{};
    change.iItem = index;
    change.uNewState = next;
    change.uOldState = old;
    change.uChanged = LVIF_STATE;
    change.lParam = item.param;
    if (NotifyParent(hwnd, LVN_ITEMCHANGING, &change.hdr)) {
        return false;
    }
    // The parent may have changed the list meanwhile.
    if (!IsWindow(hwnd) || !Valid(view, index)) {
        return false;
    }
    view->items[static_cast<size_t>(index)].state = next;
    Redraw(hwnd);
    NotifyParent(hwnd, LVN_ITEMCHANGED, &change.hdr);
    return true;
}

// Selects and focuses one item and nothing else (-1: nothing).
void SelectOnly(ListView* view, HWND hwnd, int index) {
    for (int i = 0; IsWindow(hwnd) && i < Count(view); ++i) {
        if (i != index &&
            (view->items[static_cast<size_t>(i)].state & (LVIS_SELECTED | LVIS_FOCUSED))) {
            SetState(view, hwnd, i, 0, LVIS_SELECTED | LVIS_FOCUSED);
        }
    }
    if (IsWindow(hwnd) && Valid(view, index)) {
        view->selectionMark = index;
        SetState(view, hwnd, index, LVIS_SELECTED | LVIS_FOCUSED, LVIS_SELECTED | LVIS_FOCUSED);
        if (IsWindow(hwnd)) {
            EnsureVisible(view, hwnd, index);
        }
    }
}

int HitTest(ListView* view, HWND hwnd, POINT point, UINT* flags) {
    Layout layout = LayoutOf(view, hwnd);
    *flags = LVHT_NOWHERE;
    if (point.y < layout.area.top) {
        *flags = LVHT_ABOVE;
        return -1;
    }
    if (point.y >= layout.area.bottom) {
        *flags = LVHT_BELOW;
        return -1;
    }
    if (point.x < 0) {
        *flags = LVHT_TOLEFT;
        return -1;
    }
    if (point.x >= layout.area.right) {
        *flags = LVHT_TORIGHT;
        return -1;
    }
    int row = view->top + (point.y - layout.area.top) / layout.rowHeight;
    int column = point.x / std::max(1, layout.cellWidth);
    if (column >= layout.perRow) {
        return -1;
    }
    int index = row * layout.perRow + column;
    if (!Valid(view, index)) {
        return -1;
    }
    RECT label = LabelRect(view, hwnd, layout, index);
    if (IsReport(hwnd) && point.x < label.left) {
        bool onState = view->stateImages &&
                       (view->items[static_cast<size_t>(index)].state & LVIS_STATEIMAGEMASK) &&
                       point.x < Scale(2) + ImageWidth(view->stateImages);
        *flags = onState ? LVHT_ONITEMSTATEICON : LVHT_ONITEMICON;
    } else {
        *flags = LVHT_ONITEMLABEL;
    }
    return index;
}

int InsertPosition(ListView* view, HWND hwnd, int wanted, const std::u16string& text) {
    DWORD style = StyleOf(hwnd);
    if (style & (LVS_SORTASCENDING | LVS_SORTDESCENDING)) {
        bool descending = style & LVS_SORTDESCENDING;
        int i = 0;
        while (i < Count(view)) {
            int order = CompareNoCase(text, view->items[static_cast<size_t>(i)].Text(0));
            if (descending ? order > 0 : order < 0) {
                break;
            }
            ++i;
        }
        return i;
    }
    return std::clamp(wanted, 0, Count(view));
}

std::u16string TextOf(const LVITEMW* item) {
    if (!item->pszText || reinterpret_cast<intptr_t>(item->pszText) == -1) {
        return {};
    }
    return item->pszText;
}

LRESULT InsertItem(ListView* view, HWND hwnd, const LVITEMW* source) {
    if (!source || source->iSubItem != 0) {
        return -1;
    }
    Item item;
    if (source->mask & LVIF_TEXT) {
        item.SetText(0, TextOf(source));
    }
    if (source->mask & LVIF_IMAGE) {
        item.image = source->iImage;
    }
    if (source->mask & LVIF_PARAM) {
        item.param = source->lParam;
    }
    if (source->mask & LVIF_STATE) {
        item.state = source->state & source->stateMask;
    }
    if (source->mask & LVIF_INDENT) {
        item.indent = source->iIndent;
    }
    if ((view->extended & LVS_EX_CHECKBOXES) && !(item.state & LVIS_STATEIMAGEMASK)) {
        item.state |= INDEXTOSTATEIMAGEMASK(1);
    }
    int index = InsertPosition(view, hwnd, source->iItem, item.Text(0));
    view->items.insert(view->items.begin() + index, std::move(item));
    if (view->selectionMark >= index) {
        ++view->selectionMark;
    }
    Redraw(hwnd);
    NMLISTVIEW note{};
    note.iItem = index;
    note.lParam = view->items[static_cast<size_t>(index)].param;
    NotifyParent(hwnd, LVN_INSERTITEM, &note.hdr);
    return index;
}

BOOL SetItem(ListView* view, HWND hwnd, const LVITEMW* source) {
    if (!source || !Valid(view, source->iItem) || source->iSubItem < 0) {
        return FALSE;
    }
    Item& item = view->items[static_cast<size_t>(source->iItem)];
    if (source->mask & LVIF_TEXT) {
        item.SetText(source->iSubItem, TextOf(source));
    }
    if (source->iSubItem == 0) {
        if (source->mask & LVIF_IMAGE) {
            item.image = source->iImage;
        }
        if (source->mask & LVIF_PARAM) {
            item.param = source->lParam;
        }
        if (source->mask & LVIF_INDENT) {
            item.indent = source->iIndent;
        }
    }
    Redraw(hwnd);
    if (source->iSubItem == 0 && (source->mask & LVIF_STATE)) {
        SetState(view, hwnd, source->iItem, source->state, source->stateMask);
    }
    return TRUE;
}

BOOL GetItem(ListView* view, LVITEMW* target) {
    if (!target || !Valid(view, target->iItem)) {
        return FALSE;
    }
    const Item& item = view->items[static_cast<size_t>(target->iItem)];
    if (target->mask & LVIF_TEXT) {
        CopyOut(item.Text(target->iSubItem), target->pszText, target->cchTextMax);
    }
    if (target->mask & LVIF_IMAGE) {
        target->iImage = item.image;
    }
    if (target->mask & LVIF_PARAM) {
        target->lParam = item.param;
    }
    if (target->mask & LVIF_STATE) {
        target->state = item.state & target->stateMask;
    }
    if (target->mask & LVIF_INDENT) {
        target->iIndent = item.indent;
    }
    return TRUE;
}

BOOL DeleteItem(ListView* view, HWND hwnd, int index) {
    if (!Valid(view, index)) {
        return FALSE;
    }
    NMLISTVIEW note{};
    note.iItem = index;
    note.lParam = view->items[static_cast<size_t>(index)].param;
    NotifyParent(hwnd, LVN_DELETEITEM, &note.hdr);
    if (!IsWindow(hwnd) || !Valid(view, index)) {
        return FALSE;
    }
    view->items.erase(view->items.begin() + index);
    if (view->selectionMark == index) {
        view->selectionMark = -1;
    } else if (view->selectionMark > index) {
        --view->selectionMark;
    }
    Redraw(hwnd);
    return TRUE;
}

BOOL DeleteAllItems(ListView* view, HWND hwnd) {
    NMLISTVIEW note{};
    note.iItem = -1;
    // A parent that answers TRUE wants no LVN_DELETEITEM for each item.
    bool quiet = NotifyParent(hwnd, LVN_DELETEALLITEMS, &note.hdr) != 0;
    if (!IsWindow(hwnd)) {
        return FALSE;
    }
    if (!quiet) {
        for (int i = 0; IsWindow(hwnd) && i < Count(view); ++i) {
            NMLISTVIEW each{};
            each.iItem = i;
            each.lParam = view->items[static_cast<size_t>(i)].param;
            NotifyParent(hwnd, LVN_DELETEITEM, &each.hdr);
        }
        if (!IsWindow(hwnd)) {
            return FALSE;
        }
    }
    view->items.clear();
    view->selectionMark = -1;
    view->top = 0;
    Redraw(hwnd);
    return TRUE;
}

int NextItem(ListView* view, int start, UINT flags) {
    UINT want = flags & (LVNI_SELECTED | LVNI_FOCUSED);
    auto matches = [&](int i) {
        return (view->items[static_cast<size_t>(i)].state & want) == want;
    };
    if (flags & LVNI_ABOVE) {
        for (int i = std::min(start, Count(view)) - 1; i >= 0; --i) {
            if (matches(i)) {
                return i;
            }
        }
        return -1;
    }
    for (int i = start < 0 ? 0 : start + 1; i < Count(view); ++i) {
        if (matches(i)) {
            return i;
        }
    }
    return -1;
}

int FindItem(ListView* view, int start, const LVFINDINFOW* info) {
    if (!info) {
        return -1;
    }
    int count = Count(view);
    int first = start < 0 ? 0 : start + 1;
    int span = (info->flags & LVFI_WRAP) ? count : count - std::min(first, count);
    for (int n = 0; n < span; ++n) {
        int i = (first + n) % std::max(count, 1);
        const Item& item = view->items[static_cast<size_t>(i)];
        bool hit = false;
        if (info->flags & LVFI_PARAM) {
            hit = item.param == info->lParam;
        } else if (info->psz) {
            hit = (info->flags & LVFI_PARTIAL) ? StartsWithNoCase(item.Text(0), info->psz)
                                               : EqualNoCase(item.Text(0), info->psz);
        }
        if (hit) {
            return i;
        }
    }
    return -1;
}

int ColumnContentWidth(ListView* view, int column) {
    const Column& c = view->columns[static_cast<size_t>(column)];
    int width = 0;
    for (const Item& item : view->items) {
        width = std::max<int>(width, TextSize(FontOf(*view), item.Text(c.subItem)).cx);
    }
    width += Scale(8);
    if (column == 0) {
        width += (view->small ? ImageWidth(view->small) + Scale(2) : 0) +
                 (view->stateImages ? ImageWidth(view->stateImages) : 0);
    }
    return width;
}

BOOL SetColumnWidth(ListView* view, HWND hwnd, int column, int width) {
    if (column < 0 || column >= static_cast<int>(view->columns.size())) {
        return FALSE;
    }
    Column& c = view->columns[static_cast<size_t>(column)];
    if (width == LVSCW_AUTOSIZE) {
        width = ColumnContentWidth(view, column);
    } else if (width == LVSCW_AUTOSIZE_USEHEADER) {
        Layout layout = LayoutOf(view, hwnd);
        if (column == static_cast<int>(view->columns.size()) - 1) {
            // The last column fills what is left.
            width = std::max<int>(layout.area.right - ColumnLeft(view, column),
                                  TextSize(FontOf(*view), c.text).cx + Scale(8));
        } else {
            width = std::max<int>(ColumnContentWidth(view, column),
                                  TextSize(FontOf(*view), c.text).cx + Scale(8));
        }
    }
    c.width = std::max(0, width);
    Redraw(hwnd);
    return TRUE;
}

void DrawText(HDC dc, const std::u16string& text, RECT rect, int format) {
    UINT align = (format & LVCFMT_JUSTIFYMASK) == LVCFMT_RIGHT    ? DT_RIGHT
                 : (format & LVCFMT_JUSTIFYMASK) == LVCFMT_CENTER ? DT_CENTER
                                                                  : DT_LEFT;
    DrawTextLine(dc, text, rect, align | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void PaintReportRow(ListView* view, HWND hwnd, HDC dc, const Layout& layout, int index) {
    const Item& item = view->items[static_cast<size_t>(index)];
    RECT bounds = ItemBounds(view, layout, index);
    bool selected = item.state & LVIS_SELECTED;
    bool showSelection = selected && (view->focused || (StyleOf(hwnd) & LVS_SHOWSELALWAYS));
    int highlight = view->focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE;
    COLORREF normalText = ResolveColor(view->textColor, COLOR_WINDOWTEXT);
    COLORREF selectedText = view->focused ? GetSysColor(COLOR_HIGHLIGHTTEXT) : normalText;
    RECT label = LabelRect(view, hwnd, layout, index);
    bool fullRow = view->extended & LVS_EX_FULLROWSELECT;
    if (showSelection) {
        RECT band =
            fullRow ? RECT{label.left, bounds.top, layout.area.right, bounds.bottom} : label;
        FillSystem(dc, band, highlight);
    }
    int x = bounds.left + Scale(2);
    int y = bounds.top;
    if (view->stateImages && (item.state & LVIS_STATEIMAGEMASK)) {
        int image = static_cast<int>((item.state & LVIS_STATEIMAGEMASK) >> 12);
        ImageList_Draw(view->stateImages, image, dc, x,
                       y + (layout.rowHeight - ImageHeight(view->stateImages)) / 2,
                       ILD_TRANSPARENT);
        x += ImageWidth(view->stateImages);
    }
    if (view->small) {
        ImageList_Draw(view->small, item.image, dc, x,
                       y + (layout.rowHeight - ImageHeight(view->small)) / 2,
                       showSelection && view->focused ? ILD_SELECTED : ILD_TRANSPARENT);
    }
    size_t columns = std::max<size_t>(view->columns.size(), 1);
    for (size_t c = 0; c < columns; ++c) {
        const Column* column = c < view->columns.size() ? &view->columns[c] : nullptr;
        RECT cell{};
        if (c == 0) {
            cell = label;
        } else {
            int left = ColumnLeft(view, static_cast<int>(c));
            cell = RECT{left, bounds.top, left + column->width, bounds.bottom};
        }
        bool inHighlight = showSelection && (c == 0 || fullRow);
        SetTextColor(dc, inHighlight ? selectedText : normalText);
        RECT text = cell;
        InflateRect(&text, -Scale(2), 0);
        text.right = std::min(text.right, layout.area.right);
        DrawText(dc, item.Text(column ? column->subItem : 0), text,
                 column ? column->format : LVCFMT_LEFT);
    }
    if (view->extended & LVS_EX_GRIDLINES) {
        RECT line{0, bounds.bottom - 1, layout.area.right, bounds.bottom};
        FillSystem(dc, line, COLOR_BTNFACE);
    }
    if (view->focused && (item.state & LVIS_FOCUSED)) {
        RECT focus =
            fullRow ? RECT{label.left, bounds.top, layout.area.right, bounds.bottom} : label;
        DrawFocus(dc, focus, showSelection ? selectedText : normalText);
    }
}

void PaintIcon(ListView* view, HWND hwnd, HDC dc, const Layout& layout, int index) {
    const Item& item = view->items[static_cast<size_t>(index)];
    RECT bounds = ItemBounds(view, layout, index);
    bool selected =
        (item.state & LVIS_SELECTED) && (view->focused || (StyleOf(hwnd) & LVS_SHOWSELALWAYS));
    bool large = (StyleOf(hwnd) & LVS_TYPEMASK) == LVS_ICON;
    HIMAGELIST images = large ? view->normal : view->small;
    UINT drawStyle = selected && view->focused ? ILD_SELECTED : ILD_TRANSPARENT;
    if (images && large) {
        ImageList_Draw(images, item.image, dc,
                       bounds.left + (layout.cellWidth - ImageWidth(images)) / 2,
                       bounds.top + Scale(2), drawStyle);
    } else if (images) {
        ImageList_Draw(images, item.image, dc, bounds.left,
                       bounds.top + (layout.rowHeight - ImageHeight(images)) / 2, drawStyle);
    }
    RECT label = LabelRect(view, hwnd, layout, index);
    InflateRect(&label, -Scale(1), 0);
    if (selected) {
        FillSystem(dc, label, view->focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
    }
    COLORREF normalText = ResolveColor(view->textColor, COLOR_WINDOWTEXT);
    SetTextColor(dc, selected && view->focused ? GetSysColor(COLOR_HIGHLIGHTTEXT) : normalText);
    DrawTextLine(dc, item.Text(0), label,
                 large ? DT_CENTER | DT_WORDBREAK | DT_NOPREFIX
                       : DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
}

void Paint(ListView* view, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    RECT client = paint.Client();
    Layout layout = LayoutOf(view, hwnd);
    FillColor(dc, client, ResolveColor(view->background, COLOR_WINDOW));
    HGDIOBJ oldFont = SelectObject(dc, FontOf(*view));
    SetBkMode(dc, TRANSPARENT);
    if (layout.header > 0) {
        RECT header{0, 0, client.right, layout.header};
        FillSystem(dc, header, COLOR_BTNFACE);
        SetTextColor(dc, GetSysColor(COLOR_BTNTEXT));
        int x = 0;
        for (const Column& column : view->columns) {
            RECT cell{x, 0, x + column.width, layout.header};
            RECT text = cell;
            InflateRect(&text, -Scale(4), 0);
            DrawText(dc, column.text, text, column.format);
            RECT edge{cell.right - 1, Scale(2), cell.right, layout.header - Scale(2)};
            FillSystem(dc, edge, COLOR_BTNSHADOW);
            x = cell.right;
        }
        RECT line{0, layout.header - 1, client.right, layout.header};
        FillSystem(dc, line, COLOR_BTNSHADOW);
    }
    int first = view->top * layout.perRow;
    int last = std::min(Count(view), (view->top + layout.visibleRows + 1) * layout.perRow);
    for (int i = first; i < last; ++i) {
        if (IsReport(hwnd)) {
            PaintReportRow(view, hwnd, dc, layout, i);
        } else {
            PaintIcon(view, hwnd, dc, layout, i);
        }
    }
    if (IsReport(hwnd) && (view->extended & LVS_EX_GRIDLINES)) {
        for (size_t c = 1; c <= view->columns.size(); ++c) {
            int x = ColumnLeft(view, static_cast<int>(c)) - 1;
            RECT line{x, layout.area.top, x + 1, layout.area.bottom};
            FillSystem(dc, line, COLOR_BTNFACE);
        }
    }
    view->bar.Draw(dc);
    SelectObject(dc, oldFont);
}

void SendActivate(HWND hwnd, UINT code, int index, POINT point) {
    NMITEMACTIVATE note{};
    note.iItem = index;
    note.ptAction = point;
    NotifyParent(hwnd, code, &note.hdr);
}

void PointerDown(ListView* view, HWND hwnd, UINT message, LPARAM lParam) {
    if (!TakeFocus(hwnd)) {
        return;
    }
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    LayoutOf(view, hwnd);  // lays the bar out
    if (PressRowViewBar(*view, hwnd, point)) {
        return;
    }
    UINT flags = 0;
    int index = HitTest(view, hwnd, point, &flags);
    if (flags == LVHT_ABOVE) {
        return;  // the header row: no columns are clicked here
    }
    if ((view->extended & LVS_EX_CHECKBOXES) && index >= 0 && (flags & LVHT_ONITEMSTATEICON)) {
        UINT checked = (view->items[static_cast<size_t>(index)].state & LVIS_STATEIMAGEMASK) ==
                       INDEXTOSTATEIMAGEMASK(2);
        SetState(view, hwnd, index, INDEXTOSTATEIMAGEMASK(checked ? 1 : 2), LVIS_STATEIMAGEMASK);
        if (!IsWindow(hwnd)) {
            return;
        }
    }
    SelectOnly(view, hwnd, index);
    if (!IsWindow(hwnd)) {
        return;
    }
    if (message == WM_LBUTTONDBLCLK) {
        view->tracking = false;
        SendActivate(hwnd, NM_DBLCLK, index, point);
        if (index >= 0 && IsWindow(hwnd)) {
            SendActivate(hwnd, LVN_ITEMACTIVATE, index, point);
        }
        return;
    }
    view->tracking = true;
    view->pressedItem = index;
    view->pressedAt = point;
    SetCapture(hwnd);
}

void KeyDown(ListView* view, HWND hwnd, WPARAM key) {
    NMLVKEYDOWN note{};
    note.wVKey = static_cast<WORD>(key);
    NotifyParent(hwnd, LVN_KEYDOWN, &note.hdr);
    if (!IsWindow(hwnd) || Count(view) == 0) {
        return;
    }
    Layout layout = LayoutOf(view, hwnd);
    int current = NextItem(view, -1, LVNI_FOCUSED);
    int page = std::max(1, layout.visibleRows - 1) * layout.perRow;
    bool report = IsReport(hwnd);
    int next = current;
    switch (key) {
        case VK_UP:
            next = current < 0 ? 0 : current - layout.perRow;
            break;
        case VK_DOWN:
            next = current < 0 ? 0 : current + layout.perRow;
            break;
        case VK_LEFT:
            if (report) {
                return;
            }
            next = current - 1;
            break;
        case VK_RIGHT:
            if (report) {
                return;
            }
            next = current + 1;
            break;
        case VK_SPACE:
            if ((view->extended & LVS_EX_CHECKBOXES) && current >= 0) {
                UINT checked = (view->items[static_cast<size_t>(current)].state &
                                LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
                SetState(view, hwnd, current, INDEXTOSTATEIMAGEMASK(checked ? 1 : 2),
                         LVIS_STATEIMAGEMASK);
            }
            return;
        default:
            if (!PagingKeyRow(key, current, page, Count(view), &next)) {
                return;
            }
            break;
    }
    SelectOnly(view, hwnd, std::clamp(next, 0, Count(view) - 1));
}

LRESULT ViewMessage(ListView* view, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    int index = static_cast<int>(wParam);
    switch (message) {
        case LVM_GETBKCOLOR:
            return static_cast<LRESULT>(view->background);
        case LVM_SETBKCOLOR:
            view->background = static_cast<COLORREF>(lParam);
            Redraw(hwnd);
            return TRUE;
        case LVM_GETTEXTCOLOR:
            return static_cast<LRESULT>(view->textColor);
        case LVM_SETTEXTCOLOR:
            view->textColor = static_cast<COLORREF>(lParam);
            Redraw(hwnd);
            return TRUE;
        case LVM_GETTEXTBKCOLOR:
            return static_cast<LRESULT>(view->textBackground);
        case LVM_SETTEXTBKCOLOR:
            view->textBackground = static_cast<COLORREF>(lParam);
            Redraw(hwnd);
            return TRUE;
        case LVM_GETIMAGELIST:
            return reinterpret_cast<LRESULT>(wParam == LVSIL_NORMAL  ? view->normal
                                             : wParam == LVSIL_SMALL ? view->small
                                             : wParam == LVSIL_STATE ? view->stateImages
                                                                     : nullptr);
        case LVM_SETIMAGELIST: {
            HIMAGELIST* slot = wParam == LVSIL_NORMAL  ? &view->normal
                               : wParam == LVSIL_SMALL ? &view->small
                               : wParam == LVSIL_STATE ? &view->stateImages
                                                       : nullptr;
            if (!slot) {
                return 0;
            }
            HIMAGELIST previous = *slot;
            *slot = reinterpret_cast<HIMAGELIST>(lParam);
            Redraw(hwnd);
            return reinterpret_cast<LRESULT>(previous);
        }
        case LVM_GETITEMCOUNT:
            return Count(view);
        case LVM_INSERTITEMW:
            return InsertItem(view, hwnd, reinterpret_cast<const LVITEMW*>(lParam));
        case LVM_SETITEMW:
            return SetItem(view, hwnd, reinterpret_cast<const LVITEMW*>(lParam));
        case LVM_GETITEMW:
            return GetItem(view, reinterpret_cast<LVITEMW*>(lParam));
        case LVM_SETITEMTEXTW: {
            auto* source = reinterpret_cast<const LVITEMW*>(lParam);
            if (!source || !Valid(view, index) || source->iSubItem < 0) {
                return FALSE;
            }
            view->items[static_cast<size_t>(index)].SetText(source->iSubItem, TextOf(source));
            Redraw(hwnd);
            return TRUE;
        }
        case LVM_GETITEMTEXTW: {
            auto* target = reinterpret_cast<LVITEMW*>(lParam);
            if (!target || !Valid(view, index)) {
                return 0;
            }
            return CopyOut(view->items[static_cast<size_t>(index)].Text(target->iSubItem),
                           target->pszText, target->cchTextMax);
        }
        case LVM_DELETEITEM:
            return DeleteItem(view, hwnd, index);
        case LVM_DELETEALLITEMS:
            return DeleteAllItems(view, hwnd);
        case LVM_GETNEXTITEM:
            return NextItem(view, index, static_cast<UINT>(lParam));
        case LVM_SETITEMSTATE: {
            auto* source = reinterpret_cast<const LVITEMW*>(lParam);
            if (!source) {
                return FALSE;
            }
            if (index == -1) {
                for (int i = 0; IsWindow(hwnd) && i < Count(view); ++i) {
                    SetState(view, hwnd, i, source->state, source->stateMask);
                }
                return TRUE;
            }
            if (!Valid(view, index)) {
                return FALSE;
            }
            SetState(view, hwnd, index, source->state, source->stateMask);
            return TRUE;
        }
        case LVM_GETITEMSTATE:
            return Valid(view, index)
                       ? view->items[static_cast<size_t>(index)].state & static_cast<UINT>(lParam)
                       : 0;
        case LVM_GETSELECTEDCOUNT:
            return std::count_if(view->items.begin(), view->items.end(),
                                 [](const Item& item) { return item.state & LVIS_SELECTED; });
        case LVM_GETSELECTIONMARK:
            return view->selectionMark;
        case LVM_SETSELECTIONMARK: {
            int previous = view->selectionMark;
            view->selectionMark = static_cast<int>(lParam);
            return previous;
        }
        case LVM_ENSUREVISIBLE:
            if (!Valid(view, index)) {
                return FALSE;
            }
            EnsureVisible(view, hwnd, index);
            return TRUE;
        case LVM_GETTOPINDEX:
            return view->top * LayoutOf(view, hwnd).perRow;
        case LVM_GETCOUNTPERPAGE: {
            Layout layout = LayoutOf(view, hwnd);
            return layout.visibleRows * layout.perRow;
        }
        case LVM_GETITEMRECT: {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            if (!rect || !Valid(view, index)) {
                return FALSE;
            }
            Layout layout = LayoutOf(view, hwnd);
            LONG code = rect->left;
            RECT bounds = ItemBounds(view, layout, index);
            RECT label = LabelRect(view, hwnd, layout, index);
            if (IsReport(hwnd) && code == LVIR_BOUNDS) {
                bounds.right =
                    std::max(ColumnLeft(view, static_cast<int>(view->columns.size())), 1);
            }
            *rect = code == LVIR_LABEL  ? label
                    : code == LVIR_ICON ? RECT{bounds.left, bounds.top, label.left, bounds.bottom}
                                        : bounds;
            return TRUE;
        }
        case LVM_HITTEST: {
            auto* info = reinterpret_cast<LVHITTESTINFO*>(lParam);
            if (!info) {
                return -1;
            }
            info->iItem = HitTest(view, hwnd, info->pt, &info->flags);
            info->iSubItem = 0;
            return info->iItem;
        }
        case LVM_REDRAWITEMS:
            Redraw(hwnd);
            return TRUE;
        case LVM_FINDITEMW:
            return FindItem(view, index, reinterpret_cast<const LVFINDINFOW*>(lParam));
        case LVM_GETSTRINGWIDTHW: {
            auto* text = reinterpret_cast<LPCWSTR>(lParam);
            return text ? TextSize(FontOf(*view), text).cx : 0;
        }
        case LVM_INSERTCOLUMNW: {
            auto* source = reinterpret_cast<const LVCOLUMNW*>(lParam);
            if (!source || index < 0) {
                return -1;
            }
            Column column;
            index = std::min(index, static_cast<int>(view->columns.size()));
            column.subItem = (source->mask & LVCF_SUBITEM) ? source->iSubItem : index;
            column.format = (source->mask & LVCF_FMT) ? source->fmt : LVCFMT_LEFT;
            column.width = (source->mask & LVCF_WIDTH) ? source->cx : Scale(60);
            if ((source->mask & LVCF_TEXT) && source->pszText) {
                column.text = source->pszText;
            }
            view->columns.insert(view->columns.begin() + index, std::move(column));
            Redraw(hwnd);
            return index;
        }
        case LVM_SETCOLUMNW:
        case LVM_GETCOLUMNW: {
            auto* info = reinterpret_cast<LVCOLUMNW*>(lParam);
            if (!info || index < 0 || index >= static_cast<int>(view->columns.size())) {
                return FALSE;
            }
            Column& column = view->columns[static_cast<size_t>(index)];
            if (message == LVM_SETCOLUMNW) {
                if (info->mask & LVCF_FMT) {
                    column.format = info->fmt;
                }
                if (info->mask & LVCF_WIDTH) {
                    column.width = info->cx;
                }
                if ((info->mask & LVCF_TEXT) && info->pszText) {
                    column.text = info->pszText;
                }
                if (info->mask & LVCF_SUBITEM) {
                    column.subItem = info->iSubItem;
                }
                Redraw(hwnd);
            } else {
                if (info->mask & LVCF_FMT) {
                    info->fmt = column.format;
                }
                if (info->mask & LVCF_WIDTH) {
                    info->cx = column.width;
                }
                if (info->mask & LVCF_TEXT) {
                    CopyOut(column.text, info->pszText, info->cchTextMax);
                }
                if (info->mask & LVCF_SUBITEM) {
                    info->iSubItem = column.subItem;
                }
            }
            return TRUE;
        }
        case LVM_DELETECOLUMN:
            if (index < 0 || index >= static_cast<int>(view->columns.size())) {
                return FALSE;
            }
            view->columns.erase(view->columns.begin() + index);
            Redraw(hwnd);
            return TRUE;
        case LVM_SETCOLUMNWIDTH:
            return SetColumnWidth(view, hwnd, index,
                                  static_cast<int>(static_cast<SHORT>(LOWORD(lParam))));
        case LVM_GETCOLUMNWIDTH:
            return index >= 0 && index < static_cast<int>(view->columns.size())
                       ? view->columns[static_cast<size_t>(index)].width
                       : 0;
        case LVM_SETEXTENDEDLISTVIEWSTYLE: {
            DWORD previous = view->extended;
            DWORD mask = wParam ? static_cast<DWORD>(wParam) : 0xFFFFFFFFu;
            view->extended = (previous & ~mask) | (static_cast<DWORD>(lParam) & mask);
            if ((view->extended & LVS_EX_CHECKBOXES) && !(previous & LVS_EX_CHECKBOXES)) {
                for (Item& item : view->items) {
                    if (!(item.state & LVIS_STATEIMAGEMASK)) {
                        item.state |= INDEXTOSTATEIMAGEMASK(1);
                    }
                }
            }
            Redraw(hwnd);
            return static_cast<LRESULT>(previous);
        }
        case LVM_GETEXTENDEDLISTVIEWSTYLE:
            return static_cast<LRESULT>(view->extended);
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT HandleListView(ListView* view, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= LVM_FIRST && message < LVM_FIRST + 0x100) {
        return ViewMessage(view, hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (HandleRowViewMessage(*view, hwnd, message, wParam, lParam, &result)) {
        return result;
    }
    switch (message) {
        case WM_CREATE: {
            auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
            view->ownsImageLists = create && !(create->style & LVS_SHAREIMAGELISTS);
            return 0;
        }
        case WM_PAINT:
            Paint(view, hwnd);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            PointerDown(view, hwnd, message, lParam);
            return 0;
        case WM_LBUTTONUP:
            if (ReleaseRowView(*view)) {
                SendActivate(hwnd, NM_CLICK, view->pressedItem, view->pressedAt);
            }
            return 0;
        case WM_KEYDOWN:
            KeyDown(view, hwnd, wParam);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW ListViewClass() {
    return ClassEntry(CS_DBLCLKS | CS_PARENTDC, ControlProc<ListView, HandleListView>,
                      u"SysListView32");
}

}  // namespace platform::user

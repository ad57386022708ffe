// The tree view: items in a hierarchy, each with text, images, a state (selection,
// expansion, a state image in bits 12-15) and item data. One item at a time is the
// caret (selected) item; TVN_SELCHANGING (which the parent may refuse) and
// TVN_SELCHANGED announce a change, TVN_ITEMEXPANDING/EXPANDED an expansion made
// by the user. A tap on a state image selects nothing; with TVS_CHECKBOXES it
// switches the item's check (state images 1 and 2).
#include <algorithm>
#include <memory>
#include <unordered_map>
#include <vector>

#include "platform/user/controls_internal.h"

struct TreeItem {
    TreeItem* parent = nullptr;  // the tree's hidden root for top-level items
    std::vector<TreeItem*> children;
    std::u16string text;
    int image = 0;
    int selectedImage = 0;
    int childrenFlag = 0;  // cChildren: 1 shows a button before any child exists
    LPARAM param = 0;
    UINT state = 0;
};

namespace platform::user {
namespace {

struct Tree : RowView {
    TreeItem root;
    std::unordered_map<TreeItem*, std::unique_ptr<TreeItem>> items;
    TreeItem* caret = nullptr;
    HIMAGELIST normal = nullptr;
    HIMAGELIST stateImages = nullptr;
    int indent = 0;      // 0: the default
    int itemHeight = 0;  // 0: from the font
    COLORREF background = CLR_DEFAULT;
    COLORREF textColor = CLR_DEFAULT;
};

bool Live(const Tree* tree, HTREEITEM item) {
    return item && tree->items.count(item) != 0;
}

bool IsSpecial(HTREEITEM item) {
    return item == TVI_ROOT || item == TVI_FIRST || item == TVI_LAST || item == TVI_SORT;
}

int Indent(const Tree* tree) {
    return tree->indent > 0 ? tree->indent : Scale(16);
}

int CheckSize() {
    return Scale(13);
}

int RowHeight(const Tree* tree) {
    if (tree->itemHeight > 0) {
        return tree->itemHeight;
    }
    return std::max({LineHeight(FontOf(*tree)) + Scale(3), ImageHeight(tree->normal) + 1,
                     ImageHeight(tree->stateImages) + 1, CheckSize() + 1});
}

bool HasChildren(const TreeItem* item) {
    return !item->children.empty() || item->childrenFlag > 0;
}

int StateImage(const TreeItem* item) {
    return static_cast<int>((item->state & TVIS_STATEIMAGEMASK) >> 12);
}

int Level(const TreeItem* item, const Tree* tree) {
    int level = 0;
    for (const TreeItem* p = item->parent; p && p != &tree->root; p = p->parent) {
        ++level;
    }
    return level;
}

void CollectVisible(TreeItem* item, std::vector<TreeItem*>& out) {
    for (TreeItem* child : item->children) {
        out.push_back(child);
        if (child->state & TVIS_EXPANDED) {
            CollectVisible(child, out);
        }
    }
}

std::vector<TreeItem*> VisibleItems(Tree* tree) {
    std::vector<TreeItem*> out;
    CollectVisible(&tree->root, out);
    return out;
}

int RowOf(Tree* tree, HTREEITEM item) {
    auto visible = VisibleItems(tree);
    auto it = std::find(visible.begin(), visible.end(), item);
    return it == visible.end() ? -1 : static_cast<int>(it - visible.begin());
}

struct Geometry {
    RECT area;  // the rows, without the scroll bar
    int rowHeight;
    int visibleRows;
};

Geometry GeometryOf(Tree* tree, HWND hwnd) {
    RECT client{};
    GetClientRect(hwnd, &client);
    int rowHeight = RowHeight(tree);
    int rows = std::max(1, static_cast<int>(client.bottom) / rowHeight);
    int total = static_cast<int>(VisibleItems(tree).size());
    tree->top = std::clamp(tree->top, 0, std::max(0, total - rows));
    if (StyleOf(hwnd) & TVS_NOSCROLL) {
        tree->bar.Layout(client, 0, 1, 0);
    } else {
        tree->bar.Layout(client, total, rows, tree->top);
    }
    if (tree->bar.Shown()) {
        client.right = tree->bar.Bar().left;
    }
    return Geometry{client, rowHeight, rows};
}

bool RootHasButtons(HWND hwnd) {
    DWORD style = StyleOf(hwnd);
    return (style & TVS_LINESATROOT) && (style & (TVS_HASLINES | TVS_HASBUTTONS));
}

// The parts of a row, left to right.
struct RowParts {
    int buttonCentre;  // x; meaningful when the item may have a button
    RECT stateIcon;
    RECT icon;
    RECT label;
};

RowParts PartsOf(Tree* tree, HWND hwnd, HDC measureDc, TreeItem* item, int y, int rowHeight) {
    int indent = Indent(tree);
    int level = Level(item, tree);
    int x = level * indent + (RootHasButtons(hwnd) ? indent : 0) + Scale(2);
    RowParts parts{};
    parts.buttonCentre = x - indent / 2 - Scale(1);
    bool checks = StyleOf(hwnd) & TVS_CHECKBOXES;
    int stateWidth = 0;
    if (StateImage(item) > 0 && (tree->stateImages || checks)) {
        stateWidth = tree->stateImages ? ImageWidth(tree->stateImages) : CheckSize() + Scale(2);
    }
    parts.stateIcon = RECT{x, y, x + stateWidth, y + rowHeight};
    x += stateWidth;
    int iconWidth = tree->normal ? ImageWidth(tree->normal) + Scale(2) : 0;
    parts.icon = RECT{x, y, x + iconWidth, y + rowHeight};
    x += iconWidth;
    SIZE text{};
    if (measureDc) {
        GetTextExtentPoint32W(measureDc, reinterpret_cast<LPCWSTR>(item->text.c_str()),
                              static_cast<int>(item->text.size()), &text);
    } else {
        text = TextSize(FontOf(*tree), item->text);
    }
    parts.label = RECT{x, y, x + text.cx + Scale(4), y + rowHeight};
    return parts;
}

HTREEITEM HitTest(Tree* tree, HWND hwnd, POINT point, UINT* flags) {
    Geometry g = GeometryOf(tree, hwnd);
    *flags = TVHT_NOWHERE;
    if (point.y < 0) {
        *flags = TVHT_ABOVE;
        return nullptr;
    }
    if (point.y >= g.area.bottom) {
        *flags = TVHT_BELOW;
        return nullptr;
    }
    if (point.x < 0) {
        *flags = TVHT_TOLEFT;
        return nullptr;
    }
    if (point.x >= g.area.right) {
        *flags = TVHT_TORIGHT;
        return nullptr;
    }
    auto visible = VisibleItems(tree);
    int row = tree->top + point.y / g.rowHeight;
    if (row >= static_cast<int>(visible.size())) {
        return nullptr;
    }
    TreeItem* item = visible[static_cast<size_t>(row)];
    int y = (row - tree->top) * g.rowHeight;
    RowParts parts = PartsOf(tree, hwnd, nullptr, item, y, g.rowHeight);
    bool button = (StyleOf(hwnd) & TVS_HASBUTTONS) && HasChildren(item) &&
                  (Level(item, tree) > 0 || RootHasButtons(hwnd));
    int half = Scale(5);
    if (button && point.x >= parts.buttonCentre - half && point.x <= parts.buttonCentre + half) {
        *flags = TVHT_ONITEMBUTTON;
    } else if (point.x < parts.stateIcon.left) {
        *flags = TVHT_ONITEMINDENT;
    } else if (point.x < parts.stateIcon.right) {
        *flags = TVHT_ONITEMSTATEICON;
    } else if (point.x < parts.icon.right) {
        *flags = TVHT_ONITEMICON;
    } else if (point.x < parts.label.right) {
        *flags = TVHT_ONITEMLABEL;
    } else {
        *flags = TVHT_ONITEMRIGHT;
    }
    return item;
}

void Redraw(HWND hwnd) {
    InvalidateRect(hwnd, nullptr, TRUE);
}

void EnsureVisible(Tree* tree, HWND hwnd, TreeItem* item) {
    for (TreeItem* p = item->parent; p && p != &tree->root; p = p->parent) {
        p->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    }
    int row = RowOf(tree, item);
    Geometry g = GeometryOf(tree, hwnd);
    if (row < tree->top) {
        tree->top = row;
    } else if (row >= tree->top + g.visibleRows) {
        tree->top = row - g.visibleRows + 1;
    }
    Redraw(hwnd);
}

TVITEMW Describe(TreeItem* item) {
    TVITEMW out{};
    out.mask = TVIF_HANDLE | TVIF_STATE | TVIF_PARAM;
    out.hItem = item;
    out.state = item ? item->state : 0;
    out.stateMask = 0xFFFF;
    out.lParam = item ? item->param : 0;
    return out;
}

// Makes `item` the caret item (null: none); false when the parent refused.
bool Select(Tree* tree, HWND hwnd, TreeItem* item, UINT action) {
    TreeItem* old = tree->caret;
    if (old == item) {
        if (item) {
            EnsureVisible(tree, hwnd, item);
        }
        return true;
    }
    NMTREEVIEWW note{};
    note.action = action;
    note.itemOld = Describe(old);
    note.itemNew = Describe(item);
    if (NotifyParent(hwnd, TVN_SELCHANGINGW, &note.hdr)) {
        return false;
    }
    if (!IsWindow(hwnd) || (item && !Live(tree, item))) {
        return false;
    }
    if (Live(tree, tree->caret)) {
        tree->caret->state &= ~static_cast<UINT>(TVIS_SELECTED);
    }
    tree->caret = item;
    if (item) {
        item->state |= TVIS_SELECTED;
        EnsureVisible(tree, hwnd, item);
    }
    Redraw(hwnd);
    note.itemOld = Describe(Live(tree, old) ? old : nullptr);
    note.itemOld.hItem = old;
    note.itemNew = Describe(item);
    NotifyParent(hwnd, TVN_SELCHANGEDW, &note.hdr);
    return true;
}

bool IsAncestor(const TreeItem* ancestor, const TreeItem* item) {
    for (const TreeItem* p = item ? item->parent : nullptr; p; p = p->parent) {
        if (p == ancestor) {
            return true;
        }
    }
    return false;
}

void DeleteChildren(Tree* tree, HWND hwnd, TreeItem* item);

void DeleteItem(Tree* tree, HWND hwnd, TreeItem* item) {
    DeleteChildren(tree, hwnd, item);
    if (!IsWindow(hwnd) || !Live(tree, item)) {
        return;
    }
    NMTREEVIEWW note{};
    note.itemOld = Describe(item);
    NotifyParent(hwnd, TVN_DELETEITEMW, &note.hdr);
    if (!IsWindow(hwnd) || !Live(tree, item)) {
        return;
    }
    auto& siblings = item->parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), item), siblings.end());
    if (tree->caret == item) {
        tree->caret = nullptr;
    }
    tree->items.erase(item);
}

void DeleteChildren(Tree* tree, HWND hwnd, TreeItem* item) {
    while (IsWindow(hwnd) && !item->children.empty()) {
        TreeItem* child = item->children.back();
        DeleteItem(tree, hwnd, child);
        if (Live(tree, child)) {
            break;  // the parent's handler kept it from going
        }
    }
}

// Expands, collapses or toggles; with notify (the user's doing) the parent is told
// and may refuse.
bool Expand(Tree* tree, HWND hwnd, TreeItem* item, UINT code, bool notify) {
    UINT how = code & TVE_TOGGLE;
    bool expanded = item->state & TVIS_EXPANDED;
    bool expand = how == TVE_EXPAND || (how == TVE_TOGGLE && !expanded);
    if (how == 0 || (expand && !HasChildren(item))) {
        return false;
    }
    if (expand == expanded) {
        if (!expand && (code & TVE_COLLAPSERESET)) {
            DeleteChildren(tree, hwnd, item);
        }
        return true;
    }
    NMTREEVIEWW note{};
    note.action = expand ? TVE_EXPAND : TVE_COLLAPSE;
    note.itemNew = Describe(item);
    if (notify && NotifyParent(hwnd, TVN_ITEMEXPANDINGW, &note.hdr)) {
        return false;
    }
    if (!IsWindow(hwnd) || !Live(tree, item)) {
        return false;
    }
    if (expand) {
        item->state |= TVIS_EXPANDED | TVIS_EXPANDEDONCE;
    } else {
        item->state &= ~static_cast<UINT>(TVIS_EXPANDED);
        if (IsAncestor(item, tree->caret)) {
            Select(tree, hwnd, item, TVC_UNKNOWN);
            if (!IsWindow(hwnd) || !Live(tree, item)) {
                return false;
            }
        }
        if (code & TVE_COLLAPSERESET) {
            DeleteChildren(tree, hwnd, item);
        }
    }
    Redraw(hwnd);
    if (notify) {
        note.itemNew = Describe(item);
        NotifyParent(hwnd, TVN_ITEMEXPANDEDW, &note.hdr);
    }
    return true;
}

TreeItem* Insert(Tree* tree, HWND hwnd, const TVINSERTSTRUCTW* insert) {
    if (!insert) {
        return nullptr;
    }
    TreeItem* parent =
        (!insert->hParent || insert->hParent == TVI_ROOT) ? &tree->root : insert->hParent;
    if (parent != &tree->root && !Live(tree, parent)) {
        return nullptr;
    }
    auto owned = std::make_unique<TreeItem>();
    TreeItem* item = owned.get();
    item->parent = parent;
    const TVITEMW& source = insert->item;
    if ((source.mask & TVIF_TEXT) && source.pszText &&
        reinterpret_cast<intptr_t>(source.pszText) != -1) {
        item->text = source.pszText;
    }
    if (source.mask & TVIF_IMAGE) {
        item->image = source.iImage;
    }
    if (source.mask & TVIF_SELECTEDIMAGE) {
        item->selectedImage = source.iSelectedImage;
    }
    if (source.mask & TVIF_PARAM) {
        item->param = source.lParam;
    }
    if (source.mask & TVIF_STATE) {
        item->state = source.state & source.stateMask & ~static_cast<UINT>(TVIS_SELECTED);
    }
    if (source.mask & TVIF_CHILDREN) {
        item->childrenFlag = source.cChildren;
    }
    if ((StyleOf(hwnd) & TVS_CHECKBOXES) && StateImage(item) == 0) {
        item->state |= INDEXTOSTATEIMAGEMASK(1);
    }
    auto& siblings = parent->children;
    HTREEITEM after = insert->hInsertAfter;
    auto position = siblings.end();
    if (after == TVI_FIRST) {
        position = siblings.begin();
    } else if (after == TVI_SORT) {
        position = std::find_if(siblings.begin(), siblings.end(), [&](TreeItem* sibling) {
            return CompareNoCase(item->text, sibling->text) < 0;
        });
    } else if (after && !IsSpecial(after)) {
        auto it = std::find(siblings.begin(), siblings.end(), after);
        if (it != siblings.end()) {
            position = it + 1;
        }
    }
    siblings.insert(position, item);
    tree->items.emplace(item, std::move(owned));
    Redraw(hwnd);
    return item;
}

BOOL GetItem(Tree* tree, TVITEMW* target) {
    if (!target || !Live(tree, target->hItem)) {
        return FALSE;
    }
    TreeItem* item = target->hItem;
    if (target->mask & TVIF_TEXT) {
        CopyOut(item->text, target->pszText, target->cchTextMax);
    }
    if (target->mask & TVIF_IMAGE) {
        target->iImage = item->image;
    }
    if (target->mask & TVIF_SELECTEDIMAGE) {
        target->iSelectedImage = item->selectedImage;
    }
    if (target->mask & TVIF_PARAM) {
        target->lParam = item->param;
    }
    if (target->mask & TVIF_STATE) {
        target->state = item->state & target->stateMask;
    }
    if (target->mask & TVIF_CHILDREN) {
        target->cChildren = item->children.empty() ? item->childrenFlag : 1;
    }
    return TRUE;
}

BOOL SetItem(Tree* tree, HWND hwnd, const TVITEMW* source) {
    if (!source || !Live(tree, source->hItem)) {
        return FALSE;
    }
    TreeItem* item = source->hItem;
    if ((source->mask & TVIF_TEXT) && source->pszText &&
        reinterpret_cast<intptr_t>(source->pszText) != -1) {
        item->text = source->pszText;
    }
    if (source->mask & TVIF_IMAGE) {
        item->image = source->iImage;
    }
    if (source->mask & TVIF_SELECTEDIMAGE) {
        item->selectedImage = source->iSelectedImage;
    }
    if (source->mask & TVIF_PARAM) {
        item->param = source->lParam;
    }
    if (source->mask & TVIF_CHILDREN) {
        item->childrenFlag = source->cChildren;
    }
    if (source->mask & TVIF_STATE) {
        // The caret is moved with TVM_SELECTITEM, not by writing the state.
        UINT mask = source->stateMask & ~static_cast<UINT>(TVIS_SELECTED);
        item->state = (item->state & ~mask) | (source->state & mask);
    }
    Redraw(hwnd);
    return TRUE;
}

TreeItem* NextItem(Tree* tree, HWND hwnd, UINT code, TreeItem* item) {
    auto siblingOf = [&](TreeItem* of, int step) -> TreeItem* {
        auto& siblings = of->parent->children;
        auto it = std::find(siblings.begin(), siblings.end(), of);
        int index = static_cast<int>(it - siblings.begin()) + step;
        return index >= 0 && index < static_cast<int>(siblings.size())
                   ? siblings[static_cast<size_t>(index)]
                   : nullptr;
    };
    switch (code) {
        case TVGN_ROOT:
            return tree->root.children.empty() ? nullptr : tree->root.children.front();
        case TVGN_CARET:
            return tree->caret;
        case TVGN_FIRSTVISIBLE: {
            GeometryOf(tree, hwnd);
            auto visible = VisibleItems(tree);
            return tree->top < static_cast<int>(visible.size())
                       ? visible[static_cast<size_t>(tree->top)]
                       : nullptr;
        }
        case TVGN_DROPHILITE:
            return nullptr;
        case TVGN_CHILD:
            if (!item || item == TVI_ROOT) {
                return tree->root.children.empty() ? nullptr : tree->root.children.front();
            }
            if (!Live(tree, item)) {
                return nullptr;
            }
            return item->children.empty() ? nullptr : item->children.front();
        default:
            break;
    }
    if (!Live(tree, item)) {
        return nullptr;
    }
    switch (code) {
        case TVGN_NEXT:
            return siblingOf(item, 1);
        case TVGN_PREVIOUS:
            return siblingOf(item, -1);
        case TVGN_PARENT:
            return item->parent == &tree->root ? nullptr : item->parent;
        case TVGN_NEXTVISIBLE:
        case TVGN_PREVIOUSVISIBLE: {
            auto visible = VisibleItems(tree);
            int row = RowOf(tree, item);
            int next = row + (code == TVGN_NEXTVISIBLE ? 1 : -1);
            return row >= 0 && next >= 0 && next < static_cast<int>(visible.size())
                       ? visible[static_cast<size_t>(next)]
                       : nullptr;
        }
        default:
            return nullptr;
    }
}

void ToggleCheck(Tree* tree, HWND hwnd, TreeItem* item) {
    if (!(StyleOf(hwnd) & TVS_CHECKBOXES) || !Live(tree, item)) {
        return;
    }
    int next = StateImage(item) == 2 ? 1 : 2;
    item->state =
        (item->state & ~static_cast<UINT>(TVIS_STATEIMAGEMASK)) | INDEXTOSTATEIMAGEMASK(next);
    Redraw(hwnd);
}

void DottedLine(HDC dc, int x0, int y0, int x1, int y1, COLORREF color) {
    for (int x = x0, y = y0;; x += (x1 > x0), y += (y1 > y0)) {
        if (((x + y) & 1) == 0) {
            SetPixel(dc, x, y, color);
        }
        if (x >= x1 && y >= y1) {
            break;
        }
    }
}

void PaintRow(Tree* tree, HWND hwnd, HDC dc, TreeItem* item, int y, int rowHeight) {
    DWORD style = StyleOf(hwnd);
    RowParts parts = PartsOf(tree, hwnd, dc, item, y, rowHeight);
    int middle = y + rowHeight / 2;
    int level = Level(item, tree);
    bool rootButtons = RootHasButtons(hwnd);
    COLORREF lineColor = GetSysColor(COLOR_GRAYTEXT);
    if ((style & TVS_HASLINES) && (level > 0 || rootButtons)) {
        int indent = Indent(tree);
        DottedLine(dc, parts.buttonCentre, middle, parts.stateIcon.left - 1, middle, lineColor);
        bool hasNext = item != item->parent->children.back();
        DottedLine(dc, parts.buttonCentre, y, parts.buttonCentre,
                   hasNext ? y + rowHeight - 1 : middle, lineColor);
        // The lines of the ancestors that have siblings below.
        int x = parts.buttonCentre;
        for (TreeItem* a = item->parent; a && a != &tree->root; a = a->parent) {
            x -= indent;
            if (a != a->parent->children.back() && (a->parent != &tree->root || rootButtons)) {
                DottedLine(dc, x, y, x, y + rowHeight - 1, lineColor);
            }
        }
    }
    if ((style & TVS_HASBUTTONS) && HasChildren(item) && (level > 0 || rootButtons)) {
        int half = Scale(4);
        RECT box{parts.buttonCentre - half, middle - half, parts.buttonCentre + half + 1,
                 middle + half + 1};
        FillSystem(dc, box, COLOR_WINDOW);
        Outline(dc, box, GetSysColor(COLOR_BTNSHADOW));
        COLORREF sign = GetSysColor(COLOR_WINDOWTEXT);
        FillColor(dc, RECT{box.left + 2, middle, box.right - 2, middle + 1}, sign);
        if (!(item->state & TVIS_EXPANDED)) {
            FillColor(dc,
                      RECT{parts.buttonCentre, box.top + 2, parts.buttonCentre + 1, box.bottom - 2},
                      sign);
        }
    }
    int stateImage = StateImage(item);
    if (stateImage > 0 && tree->stateImages) {
        ImageList_Draw(tree->stateImages, stateImage, dc, parts.stateIcon.left,
                       y + (rowHeight - ImageHeight(tree->stateImages)) / 2, ILD_TRANSPARENT);
    } else if (stateImage > 0 && (style & TVS_CHECKBOXES)) {
        int size = CheckSize();
        RECT box{parts.stateIcon.left, middle - size / 2, parts.stateIcon.left + size,
                 middle - size / 2 + size};
        FillSystem(dc, box, COLOR_WINDOW);
        Outline(dc, box, GetSysColor(COLOR_WINDOWFRAME));
        if (stateImage == 2) {
            RECT inner = box;
            InflateRect(&inner, -2, -2);
            DrawCheckMark(dc, inner, GetSysColor(COLOR_WINDOWTEXT));
        }
    }
    bool selected = item == tree->caret;
    bool showSelection = selected && (tree->focused || (style & TVS_SHOWSELALWAYS));
    if (tree->normal) {
        ImageList_Draw(tree->normal, selected ? item->selectedImage : item->image, dc,
                       parts.icon.left, y + (rowHeight - ImageHeight(tree->normal)) / 2,
                       ILD_TRANSPARENT);
    }
    COLORREF text = ResolveColor(tree->textColor, COLOR_WINDOWTEXT);
    if (showSelection) {
        FillSystem(dc, parts.label, tree->focused ? COLOR_HIGHLIGHT : COLOR_BTNFACE);
        if (tree->focused) {
            text = GetSysColor(COLOR_HIGHLIGHTTEXT);
        }
    }
    SetTextColor(dc, text);
    RECT label = parts.label;
    label.left += Scale(2);
    DrawTextLine(dc, item->text, label, DT_LEFT | DT_VCENTER | DT_SINGLELINE | DT_NOPREFIX);
    if (selected && tree->focused) {
        DrawFocus(dc, parts.label, text);
    }
}

void Paint(Tree* tree, HWND hwnd) {
    PaintScope paint(hwnd);
    HDC dc = paint.Dc();
    if (!dc) {
        return;
    }
    RECT client = paint.Client();
    Geometry g = GeometryOf(tree, hwnd);
    FillColor(dc, client, ResolveColor(tree->background, COLOR_WINDOW));
    HGDIOBJ oldFont = SelectObject(dc, FontOf(*tree));
    SetBkMode(dc, TRANSPARENT);
    auto visible = VisibleItems(tree);
    for (int row = tree->top;
         row < static_cast<int>(visible.size()) && row <= tree->top + g.visibleRows; ++row) {
        PaintRow(tree, hwnd, dc, visible[static_cast<size_t>(row)], (row - tree->top) * g.rowHeight,
                 g.rowHeight);
    }
    tree->bar.Draw(dc);
    SelectObject(dc, oldFont);
}

void PointerDown(Tree* tree, HWND hwnd, UINT message, LPARAM lParam) {
    if (!TakeFocus(hwnd)) {
        return;
    }
    POINT point{GET_X_LPARAM(lParam), GET_Y_LPARAM(lParam)};
    GeometryOf(tree, hwnd);  // lays the bar out
    if (PressRowViewBar(*tree, hwnd, point)) {
        return;
    }
    UINT flags = 0;
    TreeItem* item = HitTest(tree, hwnd, point, &flags);
    if (item && (flags & TVHT_ONITEMBUTTON)) {
        Expand(tree, hwnd, item, TVE_TOGGLE, true);
    } else if (item && (flags & TVHT_ONITEMSTATEICON)) {
        ToggleCheck(tree, hwnd, item);
    } else if (item && (flags & (TVHT_ONITEMICON | TVHT_ONITEMLABEL))) {
        Select(tree, hwnd, item, TVC_BYMOUSE);
        if (message == WM_LBUTTONDBLCLK && IsWindow(hwnd) && Live(tree, item)) {
            Expand(tree, hwnd, item, TVE_TOGGLE, true);
        }
    }
    if (!IsWindow(hwnd)) {
        return;
    }
    if (message == WM_LBUTTONDBLCLK) {
        tree->tracking = false;
        NMHDR note{};
        NotifyParent(hwnd, NM_DBLCLK, &note);
        return;
    }
    tree->tracking = true;
    SetCapture(hwnd);
}

void KeyDown(Tree* tree, HWND hwnd, WPARAM key) {
    NMTVKEYDOWN note{};
    note.wVKey = static_cast<WORD>(key);
    NotifyParent(hwnd, TVN_KEYDOWN, &note.hdr);
    if (!IsWindow(hwnd)) {
        return;
    }
    auto visible = VisibleItems(tree);
    if (visible.empty()) {
        return;
    }
    TreeItem* caret = tree->caret;
    int row = caret ? RowOf(tree, caret) : -1;
    int page = std::max(1, GeometryOf(tree, hwnd).visibleRows - 1);
    int last = static_cast<int>(visible.size()) - 1;
    auto go = [&](int to) {
        Select(tree, hwnd, visible[static_cast<size_t>(std::clamp(to, 0, last))], TVC_BYKEYBOARD);
    };
    switch (key) {
        case VK_UP:
            go(row < 0 ? 0 : row - 1);
            break;
        case VK_DOWN:
            go(row + 1);
            break;
        case VK_PRIOR:
            go(row - page);
            break;
        case VK_NEXT:
            go(row < 0 ? page : row + page);
            break;
        case VK_HOME:
            go(0);
            break;
        case VK_END:
            go(last);
            break;
        case VK_LEFT:
            if (!caret) {
                go(0);
            } else if (caret->state & TVIS_EXPANDED) {
                Expand(tree, hwnd, caret, TVE_COLLAPSE, true);
            } else if (caret->parent != &tree->root) {
                Select(tree, hwnd, caret->parent, TVC_BYKEYBOARD);
            }
            break;
        case VK_RIGHT:
            if (!caret) {
                go(0);
            } else if (!(caret->state & TVIS_EXPANDED) && HasChildren(caret)) {
                Expand(tree, hwnd, caret, TVE_EXPAND, true);
            } else if (!caret->children.empty()) {
                Select(tree, hwnd, caret->children.front(), TVC_BYKEYBOARD);
            }
            break;
        case VK_ADD:
        case VK_SUBTRACT:
            if (caret) {
                Expand(tree, hwnd, caret, key == VK_ADD ? TVE_EXPAND : TVE_COLLAPSE, true);
            }
            break;
        case VK_SPACE:
            ToggleCheck(tree, hwnd, caret);
            break;
        default:
            break;
    }
}

LRESULT TreeMessage(Tree* tree, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* item = reinterpret_cast<TreeItem*>(lParam);
    switch (message) {
        case TVM_INSERTITEMW:
            return reinterpret_cast<LRESULT>(
                Insert(tree, hwnd, reinterpret_cast<const TVINSERTSTRUCTW*>(lParam)));
        case TVM_DELETEITEM:
            if (!item || item == TVI_ROOT) {
                DeleteChildren(tree, hwnd, &tree->root);
            } else if (Live(tree, item)) {
                DeleteItem(tree, hwnd, item);
            } else {
                return FALSE;
            }
            if (IsWindow(hwnd)) {
                Redraw(hwnd);
            }
            return TRUE;
        case TVM_EXPAND:
            return Live(tree, item) ? Expand(tree, hwnd, item, static_cast<UINT>(wParam), false)
                                    : FALSE;
        case TVM_GETNEXTITEM:
            return reinterpret_cast<LRESULT>(NextItem(tree, hwnd, static_cast<UINT>(wParam), item));
        case TVM_SELECTITEM:
            if (item && !Live(tree, item)) {
                return FALSE;
            }
            if (wParam == TVGN_CARET) {
                return Select(tree, hwnd, item, TVC_UNKNOWN);
            }
            if (wParam == TVGN_FIRSTVISIBLE && item) {
                EnsureVisible(tree, hwnd, item);
                tree->top = RowOf(tree, item);
                Redraw(hwnd);
                return TRUE;
            }
            return wParam == TVGN_DROPHILITE;
        case TVM_GETITEMW:
            return GetItem(tree, reinterpret_cast<TVITEMW*>(lParam));
        case TVM_SETITEMW:
            return SetItem(tree, hwnd, reinterpret_cast<const TVITEMW*>(lParam));
        case TVM_GETITEMSTATE: {
            auto* target = reinterpret_cast<TreeItem*>(wParam);
            return Live(tree, target) ? target->state & static_cast<UINT>(lParam) : 0;
        }
        case TVM_HITTEST: {
            auto* info = reinterpret_cast<TVHITTESTINFO*>(lParam);
            if (!info) {
                return 0;
            }
            info->hItem = HitTest(tree, hwnd, info->pt, &info->flags);
            return reinterpret_cast<LRESULT>(info->hItem);
        }
        case TVM_GETITEMRECT: {
            auto* rect = reinterpret_cast<RECT*>(lParam);
            if (!rect) {
                return FALSE;
            }
            TreeItem* target = *reinterpret_cast<HTREEITEM*>(rect);
            if (!Live(tree, target)) {
                return FALSE;
            }
            Geometry g = GeometryOf(tree, hwnd);
            int row = RowOf(tree, target);
            if (row < 0) {
                return FALSE;
            }
            int y = (row - tree->top) * g.rowHeight;
            *rect = wParam ? PartsOf(tree, hwnd, nullptr, target, y, g.rowHeight).label
                           : RECT{0, y, g.area.right, y + g.rowHeight};
            return TRUE;
        }
        case TVM_ENSUREVISIBLE:
            if (!Live(tree, item)) {
                return FALSE;
            }
            EnsureVisible(tree, hwnd, item);
            return TRUE;
        case TVM_GETCOUNT:
            return static_cast<LRESULT>(tree->items.size());
        case TVM_GETINDENT:
            return Indent(tree);
        case TVM_SETINDENT:
            tree->indent = static_cast<int>(wParam);
            Redraw(hwnd);
            return 0;
        case TVM_GETIMAGELIST:
            return reinterpret_cast<LRESULT>(wParam == TVSIL_STATE ? tree->stateImages
                                                                   : tree->normal);
        case TVM_SETIMAGELIST: {
            HIMAGELIST& slot = wParam == TVSIL_STATE ? tree->stateImages : tree->normal;
            HIMAGELIST previous = slot;
            slot = reinterpret_cast<HIMAGELIST>(lParam);
            Redraw(hwnd);
            return reinterpret_cast<LRESULT>(previous);
        }
        case TVM_GETVISIBLECOUNT:
            return GeometryOf(tree, hwnd).visibleRows;
        case TVM_SETITEMHEIGHT: {
            int previous = RowHeight(tree);
            tree->itemHeight = static_cast<int>(wParam) == -1 ? 0 : static_cast<int>(wParam);
            Redraw(hwnd);
            return previous;
        }
        case TVM_GETITEMHEIGHT:
            return RowHeight(tree);
        case TVM_SETBKCOLOR:
        case TVM_SETTEXTCOLOR: {
            COLORREF& slot = message == TVM_SETBKCOLOR ? tree->background : tree->textColor;
            COLORREF previous = slot;
            slot = static_cast<COLORREF>(lParam);
            Redraw(hwnd);
            return static_cast<LRESULT>(previous == CLR_DEFAULT ? static_cast<COLORREF>(-1)
                                                                : previous);
        }
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

LRESULT HandleTree(Tree* tree, HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message >= TV_FIRST && message < TV_FIRST + 0x100) {
        return TreeMessage(tree, hwnd, message, wParam, lParam);
    }
    LRESULT result = 0;
    if (HandleRowViewMessage(*tree, hwnd, message, wParam, lParam, &result)) {
        return result;
    }
    switch (message) {
        case WM_PAINT:
            Paint(tree, hwnd);
            return 0;
        case WM_LBUTTONDOWN:
        case WM_LBUTTONDBLCLK:
            PointerDown(tree, hwnd, message, lParam);
            return 0;
        case WM_LBUTTONUP:
            if (ReleaseRowView(*tree)) {
                NMHDR note{};
                NotifyParent(hwnd, NM_CLICK, &note);
            }
            return 0;
        case WM_KEYDOWN:
            KeyDown(tree, hwnd, wParam);
            return 0;
        default:
            return DefWindowProcW(hwnd, message, wParam, lParam);
    }
}

}  // namespace

WNDCLASSW TreeViewClass() {
    return ClassEntry(CS_DBLCLKS | CS_PARENTDC, ControlProc<Tree, HandleTree>, u"SysTreeView32");
}

}  // namespace platform::user

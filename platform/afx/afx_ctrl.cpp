#include "platform/afx/afx_internal.h"

namespace {

// Reflects the parent's WM_DRAWITEM / WM_MEASUREITEM to the control's virtuals.
template <class Control>
BOOL ReflectOwnerDraw(Control* control, UINT message, LPARAM lParam, LRESULT* result) {
    if (message == WM_DRAWITEM) {
        control->DrawItem(reinterpret_cast<LPDRAWITEMSTRUCT>(lParam));
    } else if constexpr (requires { control->MeasureItem(nullptr); }) {
        if (message != WM_MEASUREITEM)
            return FALSE;
        control->MeasureItem(reinterpret_cast<LPMEASUREITEMSTRUCT>(lParam));
    } else {
        return FALSE;
    }
    if (result != nullptr)
        *result = TRUE;
    return TRUE;
}

}  // namespace

void CButton::DrawItem(LPDRAWITEMSTRUCT) {}

BOOL CButton::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    return ReflectOwnerDraw(this, message, lParam, result);
}

void CEdit::SetSel(int start, int end, BOOL noScroll) {
    SendMessage(EM_SETSEL, static_cast<WPARAM>(start), end);
    if (!noScroll)
        SendMessage(EM_SCROLLCARET);
}

void CEdit::GetSel(int& start, int& end) const {
    DWORD startPos = 0;
    DWORD endPos = 0;
    SendMessage(EM_GETSEL, reinterpret_cast<WPARAM>(&startPos), reinterpret_cast<LPARAM>(&endPos));
    start = static_cast<int>(startPos);
    end = static_cast<int>(endPos);
}

int CListBox::GetText(int index, CString& text) const {
    int length = GetTextLen(index);
    if (length < 0) {
        text.Empty();
        return length;
    }
    int got = static_cast<int>(SendMessage(LB_GETTEXT, static_cast<WPARAM>(index),
                                           reinterpret_cast<LPARAM>(text.GetBuffer(length))));
    text.ReleaseBuffer(got < 0 ? 0 : got);
    return got;
}

void CListBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CListBox::MeasureItem(LPMEASUREITEMSTRUCT) {}

BOOL CListBox::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    return ReflectOwnerDraw(this, message, lParam, result);
}

void CComboBox::GetLBText(int index, CString& text) const {
    int length = GetLBTextLen(index);
    if (length < 0) {
        text.Empty();
        return;
    }
    int got = static_cast<int>(SendMessage(CB_GETLBTEXT, static_cast<WPARAM>(index),
                                           reinterpret_cast<LPARAM>(text.GetBuffer(length))));
    text.ReleaseBuffer(got < 0 ? 0 : got);
}

void CComboBox::DrawItem(LPDRAWITEMSTRUCT) {}
void CComboBox::MeasureItem(LPMEASUREITEMSTRUCT) {}

BOOL CComboBox::OnChildNotify(UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
    return ReflectOwnerDraw(this, message, lParam, result);
}

// ---------------------------------------------------------------------------------
// Image lists

// A list already held is kept: a second one would leak.
BOOL CImageList::Create(int cx, int cy, UINT flags, int initial, int grow) {
    return m_hImageList == nullptr && Attach(ImageList_Create(cx, cy, flags, initial, grow));
}

BOOL CImageList::Create(UINT bitmapId, int cx, int grow, COLORREF mask) {
    return m_hImageList == nullptr &&
           Attach(ImageList_LoadImageW(AfxGetResourceHandle(), MAKEINTRESOURCEW(bitmapId), cx, grow,
                                       mask, IMAGE_BITMAP, 0));
}

BOOL CImageList::DeleteImageList() {
    if (m_hImageList == nullptr)
        return FALSE;
    return ImageList_Destroy(Detach());
}

BOOL CImageList::Attach(HIMAGELIST list) {
    return platform::afx::AttachHandle(m_hImageList, list);
}

HIMAGELIST CImageList::Detach() {
    return platform::afx::DetachHandle(m_hImageList);
}

int CImageList::Add(CBitmap* bitmap, CBitmap* mask) {
    return ImageList_Add(m_hImageList, static_cast<HBITMAP>(bitmap->GetSafeHandle()),
                         mask != nullptr ? static_cast<HBITMAP>(mask->GetSafeHandle()) : nullptr);
}

int CImageList::Add(CBitmap* bitmap, COLORREF mask) {
    return ImageList_AddMasked(m_hImageList, static_cast<HBITMAP>(bitmap->GetSafeHandle()), mask);
}

BOOL CImageList::Draw(CDC* dc, int index, POINT point, UINT style) {
    return ImageList_Draw(m_hImageList, index, dc->GetSafeHdc(), point.x, point.y, style);
}

// ---------------------------------------------------------------------------------
// List view

int CListCtrl::InsertColumn(int column, LPCWSTR heading, int format, int width, int subItem) {
    LVCOLUMNW info{};
    info.mask = LVCF_TEXT | LVCF_FMT;
    info.fmt = format;
    info.pszText = const_cast<LPWSTR>(heading);
    if (width >= 0) {
        info.mask |= LVCF_WIDTH;
        info.cx = width;
    }
    if (subItem >= 0) {
        info.mask |= LVCF_SUBITEM;
        info.iSubItem = subItem;
    }
    return static_cast<int>(SendMessage(LVM_INSERTCOLUMNW, static_cast<WPARAM>(column),
                                        reinterpret_cast<LPARAM>(&info)));
}

int CListCtrl::InsertItem(int index, LPCWSTR text) {
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.pszText = const_cast<LPWSTR>(text);
    return InsertItem(&item);
}

int CListCtrl::InsertItem(int index, LPCWSTR text, int image) {
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = index;
    item.pszText = const_cast<LPWSTR>(text);
    item.iImage = image;
    return InsertItem(&item);
}

BOOL CListCtrl::SetItemText(int index, int subItem, LPCWSTR text) {
    LVITEMW item{};
    item.iSubItem = subItem;
    item.pszText = const_cast<LPWSTR>(text);
    return static_cast<BOOL>(
        SendMessage(LVM_SETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

CString CListCtrl::GetItemText(int index, int subItem) const {
    // Asks with a growing buffer until the text fits.
    CString text;
    for (int size = 256;; size *= 4) {
        LVITEMW item{};
        item.iSubItem = subItem;
        item.pszText = text.GetBuffer(size);
        item.cchTextMax = size + 1;
        int got = static_cast<int>(SendMessage(LVM_GETITEMTEXTW, static_cast<WPARAM>(index),
                                               reinterpret_cast<LPARAM>(&item)));
        text.ReleaseBuffer(got < 0 ? 0 : got);
        if (got < size || size >= 65536)
            return text;
    }
}

BOOL CListCtrl::SetItemData(int index, DWORD_PTR data) {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    item.lParam = static_cast<LPARAM>(data);
    return static_cast<BOOL>(SendMessage(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
}

DWORD_PTR CListCtrl::GetItemData(int index) const {
    LVITEMW item{};
    item.mask = LVIF_PARAM;
    item.iItem = index;
    if (!SendMessage(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)))
        return 0;
    return static_cast<DWORD_PTR>(item.lParam);
}

BOOL CListCtrl::SetItemState(int index, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    return static_cast<BOOL>(
        SendMessage(LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
}

HIMAGELIST CListCtrl::SetImageList(CImageList* list, int kind) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessage(LVM_SETIMAGELIST, static_cast<WPARAM>(kind),
                    reinterpret_cast<LPARAM>(list != nullptr ? list->m_hImageList : nullptr)));
}

// ---------------------------------------------------------------------------------
// Tree view

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, HTREEITEM parent, HTREEITEM after) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT;
    insert.item.pszText = const_cast<LPWSTR>(text);
    return InsertItem(&insert);
}

HTREEITEM CTreeCtrl::InsertItem(LPCWSTR text, int image, int selectedImage, HTREEITEM parent,
                                HTREEITEM after) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = after;
    insert.item.mask = TVIF_TEXT | TVIF_IMAGE | TVIF_SELECTEDIMAGE;
    insert.item.pszText = const_cast<LPWSTR>(text);
    insert.item.iImage = image;
    insert.item.iSelectedImage = selectedImage;
    return InsertItem(&insert);
}

CString CTreeCtrl::GetItemText(HTREEITEM item) const {
    CString text;
    for (int size = 256;; size *= 4) {
        TVITEMW info{};
        info.mask = TVIF_TEXT | TVIF_HANDLE;
        info.hItem = item;
        info.pszText = text.GetBuffer(size);
        info.cchTextMax = size + 1;
        BOOL got = GetItem(&info);
        text.ReleaseBuffer(got ? -1 : 0);
        if (!got || text.GetLength() < size || size >= 65536)
            return text;
    }
}

BOOL CTreeCtrl::SetItemText(HTREEITEM item, LPCWSTR text) {
    TVITEMW info{};
    info.mask = TVIF_TEXT | TVIF_HANDLE;
    info.hItem = item;
    info.pszText = const_cast<LPWSTR>(text);
    return SetItem(&info);
}

DWORD_PTR CTreeCtrl::GetItemData(HTREEITEM item) const {
    TVITEMW info{};
    info.mask = TVIF_PARAM | TVIF_HANDLE;
    info.hItem = item;
    return GetItem(&info) ? static_cast<DWORD_PTR>(info.lParam) : 0;
}

BOOL CTreeCtrl::SetItemData(HTREEITEM item, DWORD_PTR data) {
    TVITEMW info{};
    info.mask = TVIF_PARAM | TVIF_HANDLE;
    info.hItem = item;
    info.lParam = static_cast<LPARAM>(data);
    return SetItem(&info);
}

BOOL CTreeCtrl::GetItemImage(HTREEITEM item, int& image, int& selectedImage) const {
    TVITEMW info{};
    info.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    info.hItem = item;
    if (!GetItem(&info))
        return FALSE;
    image = info.iImage;
    selectedImage = info.iSelectedImage;
    return TRUE;
}

BOOL CTreeCtrl::SetItemImage(HTREEITEM item, int image, int selectedImage) {
    TVITEMW info{};
    info.mask = TVIF_IMAGE | TVIF_SELECTEDIMAGE | TVIF_HANDLE;
    info.hItem = item;
    info.iImage = image;
    info.iSelectedImage = selectedImage;
    return SetItem(&info);
}

BOOL CTreeCtrl::SetItemState(HTREEITEM item, UINT state, UINT mask) {
    TVITEMW info{};
    info.mask = TVIF_STATE | TVIF_HANDLE;
    info.hItem = item;
    info.state = state;
    info.stateMask = mask;
    return SetItem(&info);
}

HTREEITEM CTreeCtrl::HitTest(POINT point, UINT* flags) const {
    TVHITTESTINFO info{};
    info.pt = point;
    HTREEITEM item =
        reinterpret_cast<HTREEITEM>(SendMessage(TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&info)));
    if (flags != nullptr)
        *flags = info.flags;
    return item;
}

HIMAGELIST CTreeCtrl::SetImageList(CImageList* list, int kind) {
    return reinterpret_cast<HIMAGELIST>(
        SendMessage(TVM_SETIMAGELIST, static_cast<WPARAM>(kind),
                    reinterpret_cast<LPARAM>(list != nullptr ? list->m_hImageList : nullptr)));
}

// ---------------------------------------------------------------------------------
// Command bar

BOOL CCommandBar::Create(CWnd* parent, UINT id) {
    if (m_hWnd != nullptr || parent == nullptr)
        return FALSE;
    HWND bar = CommandBar_Create(AfxGetResourceHandle(), parent->m_hWnd, static_cast<int>(id));
    if (bar == nullptr)
        return FALSE;
    if (!SubclassWindow(bar)) {
        ::DestroyWindow(bar);
        return FALSE;
    }
    return TRUE;
}

BOOL CCommandBar::InsertMenuBar(UINT menuId, WORD button) {
    return CommandBar_InsertMenubar(m_hWnd, AfxGetResourceHandle(), static_cast<WORD>(menuId),
                                    button);
}

int CCommandBar::AddBitmap(UINT bitmapId, int count, int width, int height) {
    return CommandBar_AddBitmap(m_hWnd, AfxGetResourceHandle(), static_cast<int>(bitmapId), count,
                                width, height);
}

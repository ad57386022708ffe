// The class library's control classes: thin CWnd wrappers that send the control
// messages. Create makes the control of its own class; DDX_Control or
// SubclassDlgItem attaches one from a dialog template.
#pragma once

#include "platform/afx/afx_wnd.h"

// Creates a control of a built-in class as a child (WS_CHILD is added).
#define AFX_CONTROL_CREATE(className)                                                        \
    BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id) {                      \
        return CWnd::Create(className, nullptr, style, rect, parent, id);                    \
    }                                                                                        \
    BOOL Create(LPCWSTR, LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id, \
                LPVOID param = nullptr) override {                                           \
        return CWnd::Create(className, text, style, rect, parent, id, param);                \
    }

class CStatic : public CWnd {
  public:
    using CWnd::Create;
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id = 0xFFFF) {
        return CWnd::Create(WC_STATIC, text, style, rect, parent, id);
    }
    HBITMAP SetBitmap(HBITMAP bitmap) {
        return reinterpret_cast<HBITMAP>(
            SendMessage(STM_SETIMAGE, IMAGE_BITMAP, reinterpret_cast<LPARAM>(bitmap)));
    }
    HICON SetIcon(HICON icon) {
        return reinterpret_cast<HICON>(SendMessage(STM_SETICON, reinterpret_cast<WPARAM>(icon)));
    }
};

class CButton : public CWnd {
  public:
    using CWnd::Create;
    BOOL Create(LPCWSTR text, DWORD style, const RECT& rect, CWnd* parent, UINT id) {
        return CWnd::Create(WC_BUTTON, text, style, rect, parent, id);
    }
    int GetCheck() const { return static_cast<int>(SendMessage(BM_GETCHECK)); }
    void SetCheck(int check) { SendMessage(BM_SETCHECK, static_cast<WPARAM>(check)); }
    UINT GetState() const { return static_cast<UINT>(SendMessage(BM_GETSTATE)); }
    void SetState(BOOL highlight) { SendMessage(BM_SETSTATE, static_cast<WPARAM>(highlight)); }
    void SetButtonStyle(UINT style, BOOL redraw = TRUE) { SendMessage(BM_SETSTYLE, style, redraw); }
    UINT GetButtonStyle() const { return GetStyle() & 0xFFFF; }
    // An owner-draw button draws itself here: its parent's WM_DRAWITEM comes back to it.
    virtual void DrawItem(LPDRAWITEMSTRUCT item);

  protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CEdit : public CWnd {
  public:
    AFX_CONTROL_CREATE(WC_EDIT)
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    void ReplaceSel(LPCWSTR text) {
        SendMessage(EM_REPLACESEL, FALSE, reinterpret_cast<LPARAM>(text));
    }
    void LimitText(int maxChars = 0) { SendMessage(EM_LIMITTEXT, static_cast<WPARAM>(maxChars)); }
    BOOL SetReadOnly(BOOL readOnly = TRUE) {
        return static_cast<BOOL>(SendMessage(EM_SETREADONLY, readOnly));
    }
    BOOL GetModify() const { return static_cast<BOOL>(SendMessage(EM_GETMODIFY)); }
    void SetModify(BOOL modified = TRUE) { SendMessage(EM_SETMODIFY, modified); }
    int GetLineCount() const { return static_cast<int>(SendMessage(EM_GETLINECOUNT)); }
};

class CListBox : public CWnd {
  public:
    AFX_CONTROL_CREATE(WC_LISTBOX)
    int GetCount() const { return static_cast<int>(SendMessage(LB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(LB_GETCURSEL)); }
    int SetCurSel(int index) {
        return static_cast<int>(SendMessage(LB_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int GetTopIndex() const { return static_cast<int>(SendMessage(LB_GETTOPINDEX)); }
    int SetTopIndex(int index) {
        return static_cast<int>(SendMessage(LB_SETTOPINDEX, static_cast<WPARAM>(index)));
    }
    int AddString(LPCWSTR text) {
        return static_cast<int>(SendMessage(LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertString(int index, LPCWSTR text) {
        return static_cast<int>(SendMessage(LB_INSERTSTRING, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(LB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(LB_RESETCONTENT); }
    int GetText(int index, CString& text) const;
    int GetTextLen(int index) const {
        return static_cast<int>(SendMessage(LB_GETTEXTLEN, static_cast<WPARAM>(index)));
    }
    DWORD_PTR GetItemData(int index) const {
        return static_cast<DWORD_PTR>(SendMessage(LB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int SetItemData(int index, DWORD_PTR data) {
        return static_cast<int>(
            SendMessage(LB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
    int FindString(int start, LPCWSTR text) const {
        return static_cast<int>(
            SendMessage(LB_FINDSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
    }
    int FindStringExact(int start, LPCWSTR text) const {
        return static_cast<int>(SendMessage(LB_FINDSTRINGEXACT, static_cast<WPARAM>(start),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int SelectString(int start, LPCWSTR text) {
        return static_cast<int>(SendMessage(LB_SELECTSTRING, static_cast<WPARAM>(start),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int GetItemRect(int index, LPRECT rect) const {
        return static_cast<int>(SendMessage(LB_GETITEMRECT, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(rect)));
    }
    int SetItemHeight(int index, UINT height) {
        return static_cast<int>(
            SendMessage(LB_SETITEMHEIGHT, static_cast<WPARAM>(index), static_cast<LPARAM>(height)));
    }
    virtual void DrawItem(LPDRAWITEMSTRUCT item);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT item);

  protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

class CComboBox : public CWnd {
  public:
    AFX_CONTROL_CREATE(WC_COMBOBOX)
    int GetCount() const { return static_cast<int>(SendMessage(CB_GETCOUNT)); }
    int GetCurSel() const { return static_cast<int>(SendMessage(CB_GETCURSEL)); }
    int SetCurSel(int index) {
        return static_cast<int>(SendMessage(CB_SETCURSEL, static_cast<WPARAM>(index)));
    }
    int AddString(LPCWSTR text) {
        return static_cast<int>(SendMessage(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)));
    }
    int InsertString(int index, LPCWSTR text) {
        return static_cast<int>(SendMessage(CB_INSERTSTRING, static_cast<WPARAM>(index),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int DeleteString(UINT index) { return static_cast<int>(SendMessage(CB_DELETESTRING, index)); }
    void ResetContent() { SendMessage(CB_RESETCONTENT); }
    void GetLBText(int index, CString& text) const;
    int GetLBTextLen(int index) const {
        return static_cast<int>(SendMessage(CB_GETLBTEXTLEN, static_cast<WPARAM>(index)));
    }
    DWORD_PTR GetItemData(int index) const {
        return static_cast<DWORD_PTR>(SendMessage(CB_GETITEMDATA, static_cast<WPARAM>(index)));
    }
    int SetItemData(int index, DWORD_PTR data) {
        return static_cast<int>(
            SendMessage(CB_SETITEMDATA, static_cast<WPARAM>(index), static_cast<LPARAM>(data)));
    }
    int FindString(int start, LPCWSTR text) const {
        return static_cast<int>(
            SendMessage(CB_FINDSTRING, static_cast<WPARAM>(start), reinterpret_cast<LPARAM>(text)));
    }
    int FindStringExact(int start, LPCWSTR text) const {
        return static_cast<int>(SendMessage(CB_FINDSTRINGEXACT, static_cast<WPARAM>(start),
                                            reinterpret_cast<LPARAM>(text)));
    }
    int SelectString(int start, LPCWSTR text) {
        return static_cast<int>(SendMessage(CB_SELECTSTRING, static_cast<WPARAM>(start),
                                            reinterpret_cast<LPARAM>(text)));
    }
    void ShowDropDown(BOOL show = TRUE) { SendMessage(CB_SHOWDROPDOWN, show); }
    BOOL GetDroppedState() const { return static_cast<BOOL>(SendMessage(CB_GETDROPPEDSTATE)); }
    BOOL LimitText(int maxChars) {
        return static_cast<BOOL>(SendMessage(CB_LIMITTEXT, static_cast<WPARAM>(maxChars)));
    }
    virtual void DrawItem(LPDRAWITEMSTRUCT item);
    virtual void MeasureItem(LPMEASUREITEMSTRUCT item);

  protected:
    BOOL OnChildNotify(UINT message, WPARAM wParam, LPARAM lParam, LRESULT* result) override;
};

// Only a type for the scroll handlers' argument: no scroll bar control exists here.
class CScrollBar : public CWnd {};

class CSliderCtrl : public CWnd {
  public:
    AFX_CONTROL_CREATE(TRACKBAR_CLASS)
    int GetPos() const { return static_cast<int>(SendMessage(TBM_GETPOS)); }
    void SetPos(int pos) { SendMessage(TBM_SETPOS, TRUE, pos); }
    int GetRangeMin() const { return static_cast<int>(SendMessage(TBM_GETRANGEMIN)); }
    int GetRangeMax() const { return static_cast<int>(SendMessage(TBM_GETRANGEMAX)); }
    void GetRange(int& low, int& high) const { low = GetRangeMin(), high = GetRangeMax(); }
    void SetRange(int low, int high, BOOL redraw = FALSE) {
        SendMessage(TBM_SETRANGE, redraw, MAKELPARAM(low, high));
    }
    void SetRangeMin(int low, BOOL redraw = FALSE) { SendMessage(TBM_SETRANGEMIN, redraw, low); }
    void SetRangeMax(int high, BOOL redraw = FALSE) { SendMessage(TBM_SETRANGEMAX, redraw, high); }
    void SetTicFreq(int frequency) { SendMessage(TBM_SETTICFREQ, static_cast<WPARAM>(frequency)); }
    int SetPageSize(int size) { return static_cast<int>(SendMessage(TBM_SETPAGESIZE, 0, size)); }
    int SetLineSize(int size) { return static_cast<int>(SendMessage(TBM_SETLINESIZE, 0, size)); }
};

class CProgressCtrl : public CWnd {
  public:
    AFX_CONTROL_CREATE(PROGRESS_CLASS)
    void SetRange(short low, short high) { SendMessage(PBM_SETRANGE, 0, MAKELPARAM(low, high)); }
    void SetRange32(int low, int high) {
        SendMessage(PBM_SETRANGE32, static_cast<WPARAM>(low), high);
    }
    int SetPos(int pos) {
        return static_cast<int>(SendMessage(PBM_SETPOS, static_cast<WPARAM>(pos)));
    }
    int GetPos() const { return static_cast<int>(SendMessage(PBM_GETPOS)); }
    int OffsetPos(int delta) {
        return static_cast<int>(SendMessage(PBM_DELTAPOS, static_cast<WPARAM>(delta)));
    }
    int SetStep(int step) {
        return static_cast<int>(SendMessage(PBM_SETSTEP, static_cast<WPARAM>(step)));
    }
    int StepIt() { return static_cast<int>(SendMessage(PBM_STEPIT)); }
};

// Owns its image list handle: the destructor destroys it unless detached.
class CImageList : public CObject {
  public:
    CImageList() = default;
    ~CImageList() override { DeleteImageList(); }
    CImageList(const CImageList&) = delete;
    CImageList& operator=(const CImageList&) = delete;

    BOOL Create(int cx, int cy, UINT flags, int initial, int grow);
    // A bitmap resource cut into images cx wide; mask is the colour left out.
    BOOL Create(UINT bitmapId, int cx, int grow, COLORREF mask);
    BOOL DeleteImageList();
    BOOL Attach(HIMAGELIST list);
    HIMAGELIST Detach();
    HIMAGELIST GetSafeHandle() const { return m_hImageList; }
    operator HIMAGELIST() const { return m_hImageList; }  // NOLINT
    int GetImageCount() const { return ImageList_GetImageCount(m_hImageList); }
    int Add(CBitmap* bitmap, CBitmap* mask);
    int Add(CBitmap* bitmap, COLORREF mask);
    BOOL Remove(int index) { return ImageList_Remove(m_hImageList, index); }
    COLORREF SetBkColor(COLORREF color) { return ImageList_SetBkColor(m_hImageList, color); }
    BOOL Draw(CDC* dc, int index, POINT point, UINT style);

    HIMAGELIST m_hImageList = nullptr;
};

class CListCtrl : public CWnd {
  public:
    AFX_CONTROL_CREATE(WC_LISTVIEW)
    int GetItemCount() const { return static_cast<int>(SendMessage(LVM_GETITEMCOUNT)); }
    int InsertColumn(int column, LPCWSTR heading, int format = LVCFMT_LEFT, int width = -1,
                     int subItem = -1);
    BOOL DeleteColumn(int column) {
        return static_cast<BOOL>(SendMessage(LVM_DELETECOLUMN, static_cast<WPARAM>(column)));
    }
    BOOL SetColumnWidth(int column, int width) {
        return static_cast<BOOL>(
            SendMessage(LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0)));
    }
    int InsertItem(int index, LPCWSTR text);
    int InsertItem(int index, LPCWSTR text, int image);
    int InsertItem(const LVITEMW* item) {
        return static_cast<int>(SendMessage(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItemText(int index, int subItem, LPCWSTR text);
    CString GetItemText(int index, int subItem) const;
    BOOL SetItemData(int index, DWORD_PTR data);
    DWORD_PTR GetItemData(int index) const;
    BOOL SetItemState(int index, UINT state, UINT mask);
    UINT GetItemState(int index, UINT mask) const {
        return static_cast<UINT>(
            SendMessage(LVM_GETITEMSTATE, static_cast<WPARAM>(index), static_cast<LPARAM>(mask)));
    }
    int GetNextItem(int index, int flags) const {
        return static_cast<int>(
            SendMessage(LVM_GETNEXTITEM, static_cast<WPARAM>(index), MAKELPARAM(flags, 0)));
    }
    UINT GetSelectedCount() const { return static_cast<UINT>(SendMessage(LVM_GETSELECTEDCOUNT)); }
    BOOL DeleteItem(int index) {
        return static_cast<BOOL>(SendMessage(LVM_DELETEITEM, static_cast<WPARAM>(index)));
    }
    BOOL DeleteAllItems() { return static_cast<BOOL>(SendMessage(LVM_DELETEALLITEMS)); }
    BOOL EnsureVisible(int index, BOOL partialOk) {
        return static_cast<BOOL>(
            SendMessage(LVM_ENSUREVISIBLE, static_cast<WPARAM>(index), partialOk));
    }
    // Returns the list it had.
    HIMAGELIST SetImageList(CImageList* list, int kind);
    DWORD SetExtendedStyle(DWORD style) {
        return static_cast<DWORD>(
            SendMessage(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(style)));
    }
};

class CTreeCtrl : public CWnd {
  public:
    AFX_CONTROL_CREATE(WC_TREEVIEW)
    HTREEITEM InsertItem(LPTVINSERTSTRUCTW insert) {
        return reinterpret_cast<HTREEITEM>(
            SendMessage(TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(insert)));
    }
    HTREEITEM InsertItem(LPCWSTR text, HTREEITEM parent = TVI_ROOT, HTREEITEM after = TVI_LAST);
    HTREEITEM InsertItem(LPCWSTR text, int image, int selectedImage, HTREEITEM parent = TVI_ROOT,
                         HTREEITEM after = TVI_LAST);
    BOOL DeleteItem(HTREEITEM item) {
        return static_cast<BOOL>(SendMessage(TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL DeleteAllItems() { return DeleteItem(TVI_ROOT); }
    BOOL Expand(HTREEITEM item, UINT code) {
        return static_cast<BOOL>(SendMessage(TVM_EXPAND, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetNextItem(HTREEITEM item, UINT code) const {
        return reinterpret_cast<HTREEITEM>(
            SendMessage(TVM_GETNEXTITEM, code, reinterpret_cast<LPARAM>(item)));
    }
    HTREEITEM GetRootItem() const { return GetNextItem(nullptr, TVGN_ROOT); }
    HTREEITEM GetChildItem(HTREEITEM item) const { return GetNextItem(item, TVGN_CHILD); }
    HTREEITEM GetNextSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_NEXT); }
    HTREEITEM GetPrevSiblingItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PREVIOUS); }
    HTREEITEM GetParentItem(HTREEITEM item) const { return GetNextItem(item, TVGN_PARENT); }
    HTREEITEM GetSelectedItem() const { return GetNextItem(nullptr, TVGN_CARET); }
    BOOL SelectItem(HTREEITEM item) {
        return static_cast<BOOL>(
            SendMessage(TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(item)));
    }
    BOOL ItemHasChildren(HTREEITEM item) const { return GetChildItem(item) != nullptr; }
    UINT GetCount() const { return static_cast<UINT>(SendMessage(TVM_GETCOUNT)); }
    BOOL GetItem(TVITEMW* item) const {
        return static_cast<BOOL>(SendMessage(TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    BOOL SetItem(TVITEMW* item) {
        return static_cast<BOOL>(SendMessage(TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(item)));
    }
    CString GetItemText(HTREEITEM item) const;
    BOOL SetItemText(HTREEITEM item, LPCWSTR text);
    DWORD_PTR GetItemData(HTREEITEM item) const;
    BOOL SetItemData(HTREEITEM item, DWORD_PTR data);
    BOOL GetItemImage(HTREEITEM item, int& image, int& selectedImage) const;
    BOOL SetItemImage(HTREEITEM item, int image, int selectedImage);
    UINT GetItemState(HTREEITEM item, UINT mask) const {
        return static_cast<UINT>(SendMessage(TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(item),
                                             static_cast<LPARAM>(mask)));
    }
    BOOL SetItemState(HTREEITEM item, UINT state, UINT mask);
    HTREEITEM HitTest(POINT point, UINT* flags = nullptr) const;
    // Returns the list it had.
    HIMAGELIST SetImageList(CImageList* list, int kind);
    BOOL EnsureVisible(HTREEITEM item) {
        return static_cast<BOOL>(SendMessage(TVM_ENSUREVISIBLE, 0, reinterpret_cast<LPARAM>(item)));
    }
};

// The command bar as an object over the CommandBar_ calls; its menu and bitmaps come
// from the program's resources.
class CCommandBar : public CWnd {
  public:
    using CWnd::Create;
    BOOL Create(CWnd* parent, UINT id = AFX_IDW_COMMAND_BAR);
    BOOL InsertMenuBar(UINT menuId, WORD button = 0);
    HMENU GetMenu(WORD button = 0) const { return CommandBar_GetMenu(m_hWnd, button); }
    BOOL DrawMenuBar(WORD button = 0) { return CommandBar_DrawMenuBar(m_hWnd, button); }
    BOOL AddAdornments(DWORD flags = 0) { return CommandBar_AddAdornments(m_hWnd, flags, 0); }
    int AddBitmap(UINT bitmapId, int count, int width, int height);
    BOOL AddButtons(UINT count, const TBBUTTON* buttons) {
        return CommandBar_AddButtons(m_hWnd, count, buttons);
    }
    BOOL SetToolTips(UINT count, LPWSTR* tips) {
        return CommandBar_AddToolTips(m_hWnd, count, tips);
    }
    int Height() const { return CommandBar_Height(m_hWnd); }
    BOOL Show(BOOL show = TRUE) { return CommandBar_Show(m_hWnd, show); }
};

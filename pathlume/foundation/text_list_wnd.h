// The program's own single-selection text list: a child window that draws its rows
// itself, scrolls with its vertical scroll bar or by tapping, and can narrow its rows
// to those containing a filter text, drawing the matching part in a second colour.
// The destination, point-of-interest, keyboard match, route and contact lists use it
// or derive from it. List windows live on the program heap.
#pragma once

#include <string>
#include <vector>

#include "platform/afx/afx.h"

class CTextListWnd : public CWnd {
  public:
    // Style bit 0: taps and scroll-bar moves put the selection at the top and tell
    // the parent (WM_COMMAND, the control id | 1 << 16, the list's window).
    static constexpr DWORD kNotifyStyle = 0x1;
    static constexpr WORD kSelectionNotification = 1;
    // The matched part of a row, on a normal and on the selected row.
    static constexpr COLORREF kMatchColour = 0x0000C0;
    static constexpr COLORREF kSelectedMatchColour = 0xA0A0FF;
    // AddStringW converts at most this many bytes.
    static constexpr int kMaxItemBytes = 512;

    CTextListWnd();
    ~CTextListWnd() override;

    static void* operator new(size_t size);
    static void operator delete(void* p) noexcept;

    // Draws every row (the row index is for derived classes).
    virtual void Draw(CDC* dc, int row);
    using CWnd::Create;
    // Creates the child window with WS_CHILD | WS_VISIBLE added to the style.
    virtual BOOL Create(DWORD style, const RECT& rect, CWnd* parent, UINT id);

    // Returns the new count.
    int AddStringW(LPCWSTR text);
    // An owning list keeps a copy (of `length` bytes when non-zero, else of the
    // string); otherwise the pointer itself. Returns the new count.
    int AddItem(const void* item, int length);
    void SetItemText(int index, const char* text, BOOL redraw);
    // Returns the new count; a deleted selected last item passes the selection to the
    // item before it.
    int DeleteItem(int index);
    // Null for an index outside the list.
    void* GetItem(int index) const;
    void* GetSelectedItem() const { return GetItem(selection); }
    virtual int GetItemIcon(int index);
    // Each row's 32-bit flag word, 0 for a new row: marks that derived lists draw and
    // their owners read back. GetItemFlags answers 0 outside the list.
    DWORD GetItemFlags(int index) const;
    void SetItemFlags(int index, DWORD flags);
    int GetCount() const { return itemCount; }

    // Returns the selection.
    int SetSelection(int index, BOOL notify, BOOL alignBottom);
    void SelectNext();
    void SelectPrev();
    // Select the item (with a filter, the nearest matching one) and show it as the top
    // row or as the last visible row.
    void EnsureVisibleUp(int index, BOOL force);
    void EnsureVisibleDown(int index, BOOL force);
    // Null clears the filter.
    void SetFilter(const char* text);
    // Type-ahead over a sorted list: narrows the rows to those containing the typed
    // text and selects the best match. Returns the selection.
    int FindTyped(const char* typed, BOOL notify);
    // At least 1 pixel.
    void SetRowHeight(int pixels);
    // Posted to the parent when a tap on a row is released; message 0 = none.
    void SetReleaseNotification(UINT message, WPARAM wParam, LPARAM lParam);

    // Whether an item's search-key form contains the filter (every item without one).
    bool Matches(int index) const;

    char* filter = nullptr;  // search-key form, on the program heap; null: none
    int lastMatch = -1;      // the item the last type-ahead found
    int drawingRow = 0;      // the row being drawn, for derived classes
    int itemCount = 0;
    HFONT listFont = nullptr;  // the owner's; null draws with the first fallback font
    CFont fallbackFont1;       // bold Tahoma 15, scaled
    CFont fallbackFont2;       // bold Tahoma 13, scaled
    int selection = 0;
    int topIndex = 0;
    int rowHeight = 0;  // 0 until set or measured from the font
    int rowsPerPage = 0;
    int hasScrollBar = 0;
    int ownsItems = 1;
    UINT releaseMessage = 0;
    WPARAM releaseWParam = 0;
    LPARAM releaseLParam = 0;
    int tapped = 0;
    int updateScrollRange = 1;
    CPtrArray items;
    std::vector<DWORD> itemFlags;  // one per item

  protected:
    void OnPaint();
    BOOL OnEraseBkgnd(CDC* dc);
    void OnLButtonDown(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnVScroll(UINT code, UINT pos, CScrollBar* bar);

    DECLARE_MESSAGE_MAP()

  private:
    // The nearest matching item from `index` towards the end (step 1) or the start
    // (step -1), or -1.
    int NearestMatch(int index, int step) const;
    int LastVisible() const;
    // Selects the item (with a filter, the nearest matching one) and makes it the top
    // row or the last visible row.
    void EnsureVisible(int index, BOOL force, bool asTop);
    void UpdateScrollRange();
    void SetScrollToSelection();
    void SetScrollToTop();
    void Redraw();
    void NotifyParent();
    // The search-key form of an item's text.
    const std::string& KeyOf(int index) const;
    void DrawRow(HDC dc, int index, int y, int width, bool selected, COLORREF textColour);
    // The scroll bar's page moves.
    int PageUpTarget() const;
    int PageDownTarget() const;

    mutable std::string key_;  // scratch for KeyOf
};

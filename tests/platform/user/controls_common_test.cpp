// Trackbars, tab controls, progress bars, list views, tree views and image lists.
#include <gtest/gtest.h>

#include "platform/user/tab_control.h"
#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

struct Notice {
    UINT code;
    int item = -1;
    UINT newState = 0;
    UINT oldState = 0;
    HTREEITEM treeItem = nullptr;
    UINT action = 0;
    WORD key = 0;
};

class CommonControlsTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        parent_ = MakeTopLevel({0, 0, 240, 320});
        SetHandler(parent_, [this](HWND, UINT message, WPARAM, LPARAM lParam, LRESULT* result) {
            if (message != WM_NOTIFY) {
                return false;
            }
            const auto* header = reinterpret_cast<const NMHDR*>(lParam);
            Notice notice{header->code};
            switch (header->code) {
                case LVN_ITEMCHANGING:
                case LVN_ITEMCHANGED:
                case LVN_INSERTITEM:
                case LVN_DELETEITEM: {
                    const auto* note = reinterpret_cast<const NMLISTVIEW*>(lParam);
                    notice.item = note->iItem;
                    notice.newState = note->uNewState;
                    notice.oldState = note->uOldState;
                    break;
                }
                case TVN_SELCHANGINGW:
                case TVN_SELCHANGEDW:
                case TVN_ITEMEXPANDINGW:
                case TVN_ITEMEXPANDEDW: {
                    const auto* note = reinterpret_cast<const NMTREEVIEWW*>(lParam);
                    notice.treeItem = note->itemNew.hItem;
                    notice.action = note->action;
                    break;
                }
                case TVN_KEYDOWN:
                    notice.key = reinterpret_cast<const NMTVKEYDOWN*>(lParam)->wVKey;
                    break;
                default:
                    break;
            }
            WCHAR className[32] = {};
            GetClassNameW(header->hwndFrom, className, 32);
            if ((header->code == NM_CLICK || header->code == NM_DBLCLK) &&
                std::u16string(className) == WC_LISTVIEW) {
                notice.item = reinterpret_cast<const NMITEMACTIVATE*>(lParam)->iItem;
            }
            notices_.push_back(notice);
            *result = refuse_ == header->code ? TRUE : FALSE;
            return true;
        });
        platform::PumpUntilIdle();
    }

    HWND Make(LPCWSTR className, DWORD style, RECT r, int id) {
        return CreateWindowExW(0, className, nullptr, WS_CHILD | WS_VISIBLE | style, r.left, r.top,
                               r.right - r.left, r.bottom - r.top, parent_,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), nullptr, nullptr);
    }

    std::vector<UINT> Codes() const {
        std::vector<UINT> out;
        for (const Notice& notice : notices_) {
            out.push_back(notice.code);
        }
        return out;
    }

    // The trackbar's WM_HSCROLL codes with the position the bar had then.
    static std::vector<std::pair<int, int>> Scrolls(HWND bar) {
        std::vector<std::pair<int, int>> out;
        for (const Seen& seen : SeenOf(WM_HSCROLL)) {
            if (reinterpret_cast<HWND>(seen.lParam) == bar) {
                out.emplace_back(LOWORD(seen.wParam), HIWORD(seen.wParam));
            }
        }
        return out;
    }

    static void Tap(POINT point) {
        platform::PostTap(point);
        platform::AdvanceClockAndPump(1000);
    }

    ManualClock clock_;
    HWND parent_ = nullptr;
    std::vector<Notice> notices_;
    UINT refuse_ = 0;  // a notification the parent answers TRUE
};

TEST_F(CommonControlsTest, ATrackbarClampsAndReportsWhatTheUserDoes) {
    HWND bar = Make(TRACKBAR_CLASS, TBS_AUTOTICKS, {10, 10, 210, 40}, 598);
    SendMessageW(bar, TBM_SETRANGE, FALSE, MAKELPARAM(1, 65535));
    EXPECT_EQ(SendMessageW(bar, TBM_GETRANGEMAX, 0, 0), 65535);  // the high word is not a sign
    SendMessageW(bar, TBM_SETPOS, TRUE, 70000);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 65535);
    SendMessageW(bar, TBM_SETPOS, TRUE, -5);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 1);
    // A narrower range pulls the position in.
    SendMessageW(bar, TBM_SETRANGE, TRUE, MAKELPARAM(1, 6));
    SendMessageW(bar, TBM_SETPOS, TRUE, 6);
    SendMessageW(bar, TBM_SETRANGEMAX, TRUE, 4);
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 4);
    SendMessageW(bar, TBM_SETRANGEMAX, TRUE, 6);
    SendMessageW(bar, TBM_SETPOS, TRUE, 1);
    SendMessageW(bar, TBM_SETTICFREQ, 1, 0);
    SendMessageW(bar, TBM_SETPAGESIZE, 0, 2);
    platform::PumpUntilIdle();
    ClearSeen();
    EXPECT_TRUE(Scrolls(bar).empty());  // what the program sets is not reported

    // Dragging the thumb to the far right.
    RECT thumb{};
    SendMessageW(bar, TBM_GETTHUMBRECT, 0, reinterpret_cast<LPARAM>(&thumb));
    POINT grab{10 + (thumb.left + thumb.right) / 2, 10 + (thumb.top + thumb.bottom) / 2};
    platform::PostPointerDown(grab);
    platform::PostPointerMove({230, grab.y});
    platform::PostPointerUp({230, grab.y});
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 6);
    EXPECT_EQ(Scrolls(bar), (std::vector<std::pair<int, int>>{
                                {TB_THUMBTRACK, 6}, {TB_THUMBPOSITION, 6}, {TB_ENDTRACK, 0}}));

    // A tap on the channel left of the thumb pages down; keys step by a line.
    ClearSeen();
    Tap({20, grab.y});
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 4);
    platform::PostKeyPress(VK_RIGHT);
    platform::PostKeyPress(VK_END);
    platform::PostKeyPress(VK_RIGHT);  // at the end: nothing to report but the end
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 6);
    EXPECT_EQ(Scrolls(bar), (std::vector<std::pair<int, int>>{{TB_PAGEUP, 0},
                                                              {TB_ENDTRACK, 0},
                                                              {TB_LINEDOWN, 0},
                                                              {TB_ENDTRACK, 0},
                                                              {TB_BOTTOM, 0},
                                                              {TB_ENDTRACK, 0},
                                                              {TB_ENDTRACK, 0}}));
    EXPECT_EQ(SendMessageW(bar, WM_GETDLGCODE, 0, 0), DLGC_WANTARROWS);
}

TEST_F(CommonControlsTest, ATabTapAsksThenChangesTheTabAndTheParentMayKeepIt) {
    HWND tabs = Make(WC_TABCONTROL, 0, {10, 10, 230, 32}, 12320);
    for (const char16_t* text : {u"  Regions  ", u"City/Radius"}) {
        TCITEMW item{};
        item.mask = TCIF_TEXT;
        item.pszText = const_cast<LPWSTR>(text);
        SendMessageW(tabs, TCM_INSERTITEMW, 9, reinterpret_cast<LPARAM>(&item));  // at the end
    }
    EXPECT_EQ(SendMessageW(tabs, TCM_GETITEMCOUNT, 0, 0), 2);
    EXPECT_EQ(SendMessageW(tabs, TCM_SETCURSEL, 0, 0), -1);
    EXPECT_EQ(SendMessageW(tabs, TCM_SETCURSEL, 5, 0), -1);
    WCHAR text[8] = {};
    TCITEMW read{};
    read.mask = TCIF_TEXT;
    read.pszText = text;
    read.cchTextMax = 8;
    ASSERT_TRUE(SendMessageW(tabs, TCM_GETITEMW, 1, reinterpret_cast<LPARAM>(&read)));
    EXPECT_EQ(std::u16string(text), u"City/Ra");  // cut to the buffer
    RECT first{};
    RECT second{};
    SendMessageW(tabs, TCM_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&first));
    SendMessageW(tabs, TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second));
    EXPECT_EQ(second.left, first.right);
    platform::PumpUntilIdle();
    EXPECT_TRUE(notices_.empty());  // what the program sets is not reported

    // The parent keeps the current tab, then lets it go; a tap on the current tab
    // says nothing.
    const POINT onSecond{10 + second.left + 4, 20};
    refuse_ = TCN_SELCHANGING;
    Tap(onSecond);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
    refuse_ = 0;
    Tap(onSecond);
    Tap(onSecond);
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Codes(), (std::vector<UINT>{TCN_SELCHANGING, TCN_SELCHANGING, TCN_SELCHANGE}));

    // Taking out a tab before the current one keeps the current one current.
    ASSERT_TRUE(SendMessageW(tabs, TCM_DELETEITEM, 0, 0));
    EXPECT_EQ(SendMessageW(tabs, TCM_GETCURSEL, 0, 0), 0);
    EXPECT_FALSE(SendMessageW(tabs, TCM_DELETEITEM, 3, 0));
}

TEST_F(CommonControlsTest, AVerticalTrackbarTellsWithVScrollAndABuddySitsBeside) {
    HWND bar = Make(TRACKBAR_CLASS, TBS_VERT, {100, 50, 130, 250}, 5);
    HWND buddy = Make(u"Edit", ES_READONLY, {0, 0, 40, 20}, 6);
    SendMessageW(bar, TBM_SETBUDDY, TRUE, reinterpret_cast<LPARAM>(buddy));
    EXPECT_EQ(SendMessageW(bar, TBM_GETBUDDY, TRUE, 0), reinterpret_cast<LRESULT>(buddy));
    RECT box{};
    GetWindowRect(buddy, &box);
    EXPECT_EQ(box.bottom, 50);
    EXPECT_EQ(box.left, 95);
    SetFocus(bar);
    platform::PumpUntilIdle();
    ClearSeen();
    platform::PostKeyPress(VK_DOWN);
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(bar, TBM_GETPOS, 0, 0), 1);
    EXPECT_EQ(SeenOf(WM_VSCROLL).size(), 2u);
    EXPECT_TRUE(SeenOf(WM_HSCROLL).empty());
}

TEST_F(CommonControlsTest, AProgressBarClampsStepsAndWraps) {
    INITCOMMONCONTROLSEX init{sizeof(init), ICC_PROGRESS_CLASS | ICC_BAR_CLASSES};
    EXPECT_TRUE(InitCommonControlsEx(&init));
    init.dwSize = 3;
    EXPECT_FALSE(InitCommonControlsEx(&init));
    HWND bar = Make(PROGRESS_CLASS, 0, {10, 10, 210, 30}, 1020);
    EXPECT_EQ(SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 120)), MAKELRESULT(0, 100));
    struct Step {
        UINT message;
        WPARAM value;
        int position;
    };
    const Step steps[] = {
        {PBM_SETPOS, 500, 120},                    // clamped high
        {PBM_SETPOS, static_cast<WPARAM>(-3), 0},  // clamped low
        {PBM_DELTAPOS, 50, 50},
        {PBM_DELTAPOS, static_cast<WPARAM>(-80), 0},
        {PBM_SETSTEP, 10, 0},
        {PBM_SETPOS, 110, 110},
        {PBM_STEPIT, 0, 120},
        {PBM_STEPIT, 0, 0},  // past the end it starts over
    };
    for (const Step& step : steps) {
        SendMessageW(bar, step.message, step.value, 0);
        EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), step.position)
            << step.message << " " << step.value;
    }
    PBRANGE range{};
    EXPECT_EQ(SendMessageW(bar, PBM_GETRANGE, TRUE, reinterpret_cast<LPARAM>(&range)), 0);
    EXPECT_EQ(range.iHigh, 120);
    // An empty range stays at its one value and never divides by zero.
    SendMessageW(bar, PBM_SETRANGE32, 5, 5);
    SendMessageW(bar, PBM_STEPIT, 0, 0);
    EXPECT_EQ(SendMessageW(bar, PBM_GETPOS, 0, 0), 5);

    // Half full: the left half in the bar colour, the right half in the face colour.
    SendMessageW(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 100));
    SendMessageW(bar, PBM_SETPOS, 50, 0);
    platform::PumpUntilIdle();
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 15, 20), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(GetPixel(screen, 200, 20), GetSysColor(COLOR_BTNFACE));
    ReleaseDC(nullptr, screen);
}

TEST_F(CommonControlsTest, AReportListViewKeepsItemsSubItemsAndStates) {
    HWND list =
        Make(WC_LISTVIEW, LVS_REPORT | LVS_SINGLESEL | LVS_SHOWSELALWAYS, {5, 24, 235, 200}, 637);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.cx = 80;
    column.pszText = const_cast<LPWSTR>(u"Function");
    EXPECT_EQ(SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)), 0);
    column.pszText = const_cast<LPWSTR>(u"Button");
    column.iSubItem = 1;
    EXPECT_EQ(SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column)), 1);
    const char16_t* names[] = {u"Zoom In", u"Zoom Out", u"Mute"};
    for (int i = 0; i < 3; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT | LVIF_PARAM;
        item.iItem = 100;  // past the end: appended
        item.pszText = const_cast<LPWSTR>(names[i]);
        item.lParam = 10 + i;
        EXPECT_EQ(SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)), i);
    }
    LVITEMW sub{};
    sub.iSubItem = 1;
    sub.pszText = const_cast<LPWSTR>(u"Button 6");
    EXPECT_TRUE(SendMessageW(list, LVM_SETITEMTEXTW, 2, reinterpret_cast<LPARAM>(&sub)));
    EXPECT_FALSE(SendMessageW(list, LVM_SETITEMTEXTW, 3, reinterpret_cast<LPARAM>(&sub)));
    WCHAR buffer[4] = {};
    sub.pszText = buffer;
    sub.cchTextMax = 4;
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMTEXTW, 2, reinterpret_cast<LPARAM>(&sub)),
              3);  // cut to fit
    EXPECT_EQ(std::u16string(buffer), u"But");
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);

    // Selecting one item of a single-selection list deselects the other.
    notices_.clear();
    LVITEMW state{};
    state.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    state.state = LVIS_SELECTED | LVIS_FOCUSED;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 0);
    EXPECT_EQ(Codes(), (std::vector<UINT>{LVN_ITEMCHANGING, LVN_ITEMCHANGED}));
    EXPECT_EQ(notices_[1].item, 0);
    EXPECT_EQ(notices_[1].newState, static_cast<UINT>(LVIS_SELECTED | LVIS_FOCUSED));

    // The parent may refuse a change.
    refuse_ = LVN_ITEMCHANGING;
    state.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, 0, reinterpret_cast<LPARAM>(&state));
    EXPECT_EQ(SendMessageW(list, LVM_GETITEMSTATE, 0, LVIS_SELECTED), LVIS_SELECTED);
    refuse_ = 0;

    // Deleting moves the later items up and keeps their data.
    EXPECT_TRUE(SendMessageW(list, LVM_DELETEITEM, 0, 0));
    LVITEMW read{};
    read.mask = LVIF_PARAM | LVIF_TEXT;
    read.iItem = 1;
    WCHAR text[32] = {};
    read.pszText = text;
    read.cchTextMax = 32;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&read)));
    EXPECT_EQ(read.lParam, 12);
    EXPECT_EQ(std::u16string(text), u"Mute");
    EXPECT_FALSE(SendMessageW(list, LVM_DELETEITEM, 5, 0));
    LVFINDINFOW find{};
    find.flags = LVFI_PARAM;
    find.lParam = 12;
    EXPECT_EQ(
        SendMessageW(list, LVM_FINDITEMW, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&find)),
        1);

    // The last column can take the rest of the width.
    SendMessageW(list, LVM_SETCOLUMNWIDTH, 1, LVSCW_AUTOSIZE_USEHEADER);
    EXPECT_EQ(SendMessageW(list, LVM_GETCOLUMNWIDTH, 1, 0), 230 - 80);
}

TEST_F(CommonControlsTest, TappingAListViewSelectsTheRowAndSendsClickWithIt) {
    HWND list = Make(WC_LISTVIEW, LVS_REPORT | LVS_SINGLESEL, {0, 0, 240, 200}, 7);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 120;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageW(list, LVM_INSERTCOLUMNW, 1, reinterpret_cast<LPARAM>(&column));
    for (int i = 0; i < 20; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<LPWSTR>(u"row");
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    platform::PumpUntilIdle();
    RECT row{};
    row.left = LVIR_BOUNDS;
    ASSERT_TRUE(SendMessageW(list, LVM_GETITEMRECT, 3, reinterpret_cast<LPARAM>(&row)));
    notices_.clear();

    Tap({180, (row.top + row.bottom) / 2});  // in the second column
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED), 3);
    EXPECT_EQ(SendMessageW(list, LVM_GETSELECTIONMARK, 0, 0), 3);
    ASSERT_FALSE(notices_.empty());
    EXPECT_EQ(notices_.back().code, NM_CLICK);
    EXPECT_EQ(notices_.back().item, 3);

    // A tap below the last row selects nothing and says so.
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    Tap({50, 150});
    EXPECT_EQ(notices_.back().code, NM_CLICK);
    EXPECT_EQ(notices_.back().item, -1);
}

TEST_F(CommonControlsTest, AListViewScrollsToKeepTheFocusedItemInView) {
    HWND list = Make(WC_LISTVIEW, LVS_REPORT | LVS_NOCOLUMNHEADER, {0, 0, 200, 100}, 8);
    LVCOLUMNW column{};
    column.mask = LVCF_WIDTH;
    column.cx = 150;
    SendMessageW(list, LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    for (int i = 0; i < 30; ++i) {
        LVITEMW item{};
        item.mask = LVIF_TEXT;
        item.iItem = i;
        item.pszText = const_cast<LPWSTR>(u"x");
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
    }
    auto perPage = static_cast<int>(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0));
    ASSERT_GT(perPage, 0);
    ASSERT_LT(perPage, 30);
    EXPECT_TRUE(SendMessageW(list, LVM_ENSUREVISIBLE, 20, FALSE));
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 20 - perPage + 1);
    SetFocus(list);
    notices_.clear();
    platform::PostKeyPress(VK_HOME);
    platform::PostKeyPress(VK_DOWN);
    platform::PumpUntilIdle();
    EXPECT_EQ(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_FOCUSED), 1);
    EXPECT_EQ(SendMessageW(list, LVM_GETTOPINDEX, 0, 0), 0);
    EXPECT_EQ(notices_.front().code, LVN_KEYDOWN);
}

void Fill(HDC dc, RECT rect, COLORREF color) {
    HBRUSH brush = CreateSolidBrush(color);
    FillRect(dc, &rect, brush);
    DeleteObject(brush);
}

HTREEITEM InsertTreeItem(HWND tree, HTREEITEM parent, const char16_t* text, UINT stateImage = 0) {
    TVINSERTSTRUCTW insert{};
    insert.hParent = parent;
    insert.hInsertAfter = TVI_LAST;
    insert.item.mask = TVIF_TEXT | TVIF_STATE;
    insert.item.pszText = const_cast<LPWSTR>(text);
    insert.item.state = INDEXTOSTATEIMAGEMASK(stateImage);
    insert.item.stateMask = TVIS_STATEIMAGEMASK;
    return reinterpret_cast<HTREEITEM>(
        SendMessageW(tree, TVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&insert)));
}

TEST_F(CommonControlsTest, ATreeViewExpandsAndSelectsWithTheRightNotifications) {
    HWND tree =
        Make(WC_TREEVIEW, TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT, {0, 0, 240, 300}, 1001);
    HTREEITEM east = InsertTreeItem(tree, TVI_ROOT, u"East");
    HTREEITEM maine = InsertTreeItem(tree, east, u"Maine");
    HTREEITEM west = InsertTreeItem(tree, TVI_ROOT, u"West");
    ASSERT_TRUE(east && maine && west);
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_ROOT, 0)), east);
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(
                  SendMessageW(tree, TVM_GETNEXTITEM, TVGN_NEXT, reinterpret_cast<LPARAM>(east))),
              west);
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_PARENT,
                                                       reinterpret_cast<LPARAM>(maine))),
              east);
    platform::PumpUntilIdle();
    notices_.clear();

    // A tap on East's button expands it: West moves down a row.
    RECT eastRow{};
    *reinterpret_cast<HTREEITEM*>(&eastRow) = east;
    ASSERT_TRUE(SendMessageW(tree, TVM_GETITEMRECT, TRUE, reinterpret_cast<LPARAM>(&eastRow)));
    int rowHeight = static_cast<int>(SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0));
    TVHITTESTINFO hit{};
    for (hit.pt = POINT{1, rowHeight / 2}; hit.pt.x < eastRow.left; ++hit.pt.x) {
        SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit));
        if (hit.flags & TVHT_ONITEMBUTTON) {
            break;
        }
    }
    ASSERT_TRUE(hit.flags & TVHT_ONITEMBUTTON);
    Tap(hit.pt);
    EXPECT_TRUE(
        SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(east), TVIS_EXPANDED));
    EXPECT_EQ(Codes(),
              (std::vector<UINT>{NM_SETFOCUS, TVN_ITEMEXPANDINGW, TVN_ITEMEXPANDEDW, NM_CLICK}));
    EXPECT_EQ(notices_[2].action, static_cast<UINT>(TVE_EXPAND));
    EXPECT_EQ(notices_[2].treeItem, east);
    hit.pt = POINT{eastRow.left + 3, 2 * rowHeight + rowHeight / 2};
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(
                  SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))),
              west);

    // A tap on Maine's label selects it.
    notices_.clear();
    auto indent = static_cast<int>(SendMessageW(tree, TVM_GETINDENT, 0, 0));
    Tap({eastRow.left + indent + 6, rowHeight + rowHeight / 2});
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)),
              maine);
    EXPECT_EQ(Codes(), (std::vector<UINT>{TVN_SELCHANGINGW, TVN_SELCHANGEDW, NM_CLICK}));
    EXPECT_EQ(notices_[1].action, static_cast<UINT>(TVC_BYMOUSE));

    // Collapsing East from the keyboard moves the selection up to it first.
    notices_.clear();
    platform::PostKeyPress(VK_LEFT);  // to the parent
    platform::PostKeyPress(VK_LEFT);  // collapse
    platform::PumpUntilIdle();
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)),
              east);
    EXPECT_FALSE(
        SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(east), TVIS_EXPANDED));
    EXPECT_EQ(notices_.front().code, TVN_KEYDOWN);
    EXPECT_EQ(notices_.front().key, VK_LEFT);

    // A refused selection change leaves the caret.
    refuse_ = TVN_SELCHANGINGW;
    EXPECT_FALSE(SendMessageW(tree, TVM_SELECTITEM, TVGN_CARET, reinterpret_cast<LPARAM>(west)));
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)),
              east);
    refuse_ = 0;

    // Deleting a parent takes its children; their handles are then refused.
    EXPECT_TRUE(SendMessageW(tree, TVM_DELETEITEM, 0, reinterpret_cast<LPARAM>(east)));
    EXPECT_EQ(SendMessageW(tree, TVM_GETCOUNT, 0, 0), 1);
    TVITEMW stale{};
    stale.mask = TVIF_TEXT;
    stale.hItem = maine;
    EXPECT_FALSE(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&stale)));
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0)),
              nullptr);
}

TEST_F(CommonControlsTest, TreeStateImagesAreHitAndChecksToggle) {
    HWND tree = Make(WC_TREEVIEW, TVS_CHECKBOXES, {0, 0, 240, 200}, 1026);
    HTREEITEM first = InsertTreeItem(tree, TVI_ROOT, u"Maui");
    HTREEITEM second = InsertTreeItem(tree, TVI_ROOT, u"Oahu", 2);
    EXPECT_EQ(
        SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(first), TVIS_STATEIMAGEMASK),
        INDEXTOSTATEIMAGEMASK(1));
    platform::PumpUntilIdle();
    int rowHeight = static_cast<int>(SendMessageW(tree, TVM_GETITEMHEIGHT, 0, 0));
    TVHITTESTINFO hit{};
    hit.pt = POINT{5, rowHeight / 2};
    EXPECT_EQ(reinterpret_cast<HTREEITEM>(
                  SendMessageW(tree, TVM_HITTEST, 0, reinterpret_cast<LPARAM>(&hit))),
              first);
    EXPECT_EQ(hit.flags, static_cast<UINT>(TVHT_ONITEMSTATEICON));

    // A tap on the check box toggles it and selects nothing.
    Tap({5, rowHeight / 2});
    EXPECT_EQ(
        SendMessageW(tree, TVM_GETITEMSTATE, reinterpret_cast<WPARAM>(first), TVIS_STATEIMAGEMASK),
        INDEXTOSTATEIMAGEMASK(2));
    EXPECT_EQ(SendMessageW(tree, TVM_GETNEXTITEM, TVGN_CARET, 0), 0);
    // The state image can be written directly, as the region lists do.
    TVITEMW item{};
    item.mask = TVIF_STATE | TVIF_HANDLE;
    item.hItem = second;
    item.stateMask = TVIS_STATEIMAGEMASK;
    item.state = INDEXTOSTATEIMAGEMASK(5);
    EXPECT_TRUE(SendMessageW(tree, TVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    item.state = 0;
    EXPECT_TRUE(SendMessageW(tree, TVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    EXPECT_EQ(item.state, INDEXTOSTATEIMAGEMASK(5));
}

TEST_F(CommonControlsTest, ImageListsCutBitmapsAndDrawThroughTheirMask) {
    int before = platform::CountGdiObjects();
    // A strip of two 4 x 4 images: red with a white corner, and blue.
    HDC dc = CreateCompatibleDC(nullptr);
    HBITMAP strip = CreateCompatibleBitmap(dc, 8, 4);
    HGDIOBJ old = SelectObject(dc, strip);
    Fill(dc, RECT{0, 0, 4, 4}, RGB(255, 0, 0));
    Fill(dc, RECT{4, 0, 8, 4}, RGB(0, 0, 255));
    SetPixel(dc, 0, 0, RGB(255, 255, 255));
    SelectObject(dc, old);
    DeleteDC(dc);

    HIMAGELIST list = ImageList_Create(4, 4, ILC_MASK | ILC_COLOR24, 2, 1);
    EXPECT_EQ(ImageList_AddMasked(list, strip, RGB(255, 255, 255)), 0);
    EXPECT_EQ(ImageList_GetImageCount(list), 2);
    EXPECT_EQ(ImageList_Add(list, strip, nullptr), 2);  // no mask bitmap: all opaque
    DeleteObject(strip);

    HDC target = CreateCompatibleDC(nullptr);
    HBITMAP canvas = CreateCompatibleBitmap(target, 12, 4);
    old = SelectObject(target, canvas);
    Fill(target, RECT{0, 0, 12, 4}, RGB(0, 255, 0));
    EXPECT_TRUE(ImageList_Draw(list, 0, target, 0, 0, ILD_TRANSPARENT));
    EXPECT_TRUE(ImageList_Draw(list, 1, target, 4, 0, ILD_NORMAL));
    EXPECT_TRUE(ImageList_Draw(list, 2, target, 8, 0, ILD_NORMAL));
    EXPECT_FALSE(ImageList_Draw(list, 4, target, 0, 0, ILD_NORMAL));
    EXPECT_EQ(GetPixel(target, 0, 0), RGB(0, 255, 0));  // the masked corner
    EXPECT_EQ(GetPixel(target, 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(GetPixel(target, 5, 1), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(target, 8, 0), RGB(255, 255, 255));  // the unmasked copy keeps it
    SelectObject(target, old);
    DeleteObject(canvas);
    DeleteDC(target);

    EXPECT_TRUE(ImageList_Remove(list, 0));
    EXPECT_EQ(ImageList_GetImageCount(list), 3);
    EXPECT_TRUE(ImageList_Remove(list, -1));
    EXPECT_EQ(ImageList_GetImageCount(list), 0);
    EXPECT_TRUE(ImageList_Destroy(list));
    EXPECT_FALSE(ImageList_Destroy(list));  // a stale handle is refused
    EXPECT_EQ(platform::CountGdiObjects(), before);
}

}  // namespace

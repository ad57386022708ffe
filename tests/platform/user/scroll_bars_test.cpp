// Window scroll bars: the narrower client area, the bar's values, taps and a thumb
// drag turned into WM_VSCROLL, and the bar drawn in the frame.
#include <gtest/gtest.h>

#include <vector>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

// A 100 x 200 window at (20, 40) with a bar over 0..99, a page of 10.
constexpr RECT kWindow{20, 40, 120, 240};

struct Scroll {
    UINT code;
    int position;  // HIWORD(wParam)
    int trackPos;  // SIF_TRACKPOS while the message is handled
    LPARAM lParam;
};

class ScrollBarsTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        window_ = MakeTopLevel(kWindow, WS_VISIBLE | WS_POPUP | WS_VSCROLL);
        SetHandler(
            window_, [this](HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam, LRESULT*) {
                if (message == WM_VSCROLL) {
                    SCROLLINFO info{sizeof info, SIF_TRACKPOS, 0, 0, 0, 0, 0};
                    GetScrollInfo(hwnd, SB_VERT, &info);
                    scrolls_.push_back({LOWORD(wParam), HIWORD(wParam), info.nTrackPos, lParam});
                }
                return false;
            });
        SCROLLINFO info{sizeof info, SIF_RANGE | SIF_PAGE | SIF_POS, 0, 99, 10, 0, 0};
        SetScrollInfo(window_, SB_VERT, &info, TRUE);
        platform::PumpUntilIdle();
    }
    std::vector<UINT> Codes() const {
        std::vector<UINT> codes;
        for (const Scroll& s : scrolls_)
            codes.push_back(s.code);
        return codes;
    }
    // A screen point on the bar, `y` pixels down the window.
    static POINT OnBar(int y) {
        return POINT{kWindow.right - GetSystemMetrics(SM_CXVSCROLL) / 2, kWindow.top + y};
    }
    static COLORREF At(POINT point) {
        HDC dc = GetDC(nullptr);
        const COLORREF color = GetPixel(dc, point.x, point.y);
        ReleaseDC(nullptr, dc);
        return color;
    }

    HWND window_ = nullptr;
    std::vector<Scroll> scrolls_;
};

TEST_F(ScrollBarsTest, TheBarTakesTheClientAreasRightEdge) {
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    EXPECT_GT(bar, 0);
    RECT client{};
    GetClientRect(window_, &client);
    EXPECT_EQ(client.right, 100 - bar);
    EXPECT_EQ(client.bottom, 200);
    HWND bordered = MakeTopLevel(kWindow, WS_VISIBLE | WS_POPUP | WS_BORDER | WS_VSCROLL);
    GetClientRect(bordered, &client);
    EXPECT_EQ(client.right, 100 - bar - 2);
    // A built-in list draws its own bar inside its client area.
    HWND list = CreateWindowExW(0, u"LISTBOX", u"", WS_VISIBLE | WS_CHILD | WS_VSCROLL, 0, 0, 50,
                                50, window_, nullptr, nullptr, nullptr);
    GetClientRect(list, &client);
    EXPECT_EQ(client.right, 50);
}

TEST_F(ScrollBarsTest, ValuesAreKeptWithinTheRangeAndPage) {
    SCROLLINFO info{sizeof info, SIF_POS, 0, 0, 0, 95, 0};
    EXPECT_EQ(SetScrollInfo(window_, SB_VERT, &info, FALSE), 90);  // the last page starts at 90
    EXPECT_EQ(SetScrollPos(window_, SB_VERT, -5, TRUE), 90);
    EXPECT_EQ(GetScrollPos(window_, SB_VERT), 0);
    info = {sizeof info, SIF_PAGE, 0, 0, 500, 0, 0};
    SetScrollInfo(window_, SB_VERT, &info, FALSE);
    info = {sizeof info, SIF_ALL, 0, 0, 0, 0, 0};
    ASSERT_TRUE(GetScrollInfo(window_, SB_VERT, &info));
    EXPECT_EQ(info.nPage, 100u);
    EXPECT_EQ(info.nTrackPos, info.nPos);
    EXPECT_TRUE(SetScrollRange(window_, SB_VERT, 10, 20, FALSE));
    int low = 0;
    int high = 0;
    ASSERT_TRUE(GetScrollRange(window_, SB_VERT, &low, &high));
    EXPECT_EQ(low, 10);
    EXPECT_EQ(high, 20);
    EXPECT_EQ(GetScrollPos(window_, SB_VERT), 10);
    // Only the vertical bar of a window is kept.
    EXPECT_FALSE(SetScrollRange(window_, SB_HORZ, 0, 5, FALSE));
    EXPECT_FALSE(GetScrollInfo(window_, SB_CTL, &info));
    EXPECT_FALSE(GetScrollInfo(nullptr, SB_VERT, &info));
}

TEST_F(ScrollBarsTest, TapsOnTheArrowsAndTheTrackScroll) {
    SetScrollPos(window_, SB_VERT, 50, TRUE);
    const int arrow = GetSystemMetrics(SM_CXVSCROLL);
    struct Case {
        int y;
        UINT code;
    };
    const Case cases[] = {{2, SB_LINEUP},
                          {200 - 2, SB_LINEDOWN},
                          {arrow + 2, SB_PAGEUP},
                          {200 - arrow - 2, SB_PAGEDOWN}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.y);
        scrolls_.clear();
        platform::PostTap(OnBar(c.y));
        platform::PumpUntilIdle();
        EXPECT_EQ(Codes(), (std::vector<UINT>{c.code, SB_ENDSCROLL}));
        for (const Scroll& s : scrolls_)
            EXPECT_EQ(s.lParam, 0);
    }
    // The window moves itself; the bar alone changes nothing, and no client tap came.
    EXPECT_EQ(GetScrollPos(window_, SB_VERT), 50);
    EXPECT_TRUE(SeenOf(WM_LBUTTONDOWN).empty());
}

TEST_F(ScrollBarsTest, DraggingTheThumbTracksThenSetsThePosition) {
    const int arrow = GetSystemMetrics(SM_CXVSCROLL);
    platform::PostPointerDown(OnBar(arrow + 1));  // the thumb's top at position 0
    platform::PostPointerMove(OnBar(100));
    platform::PumpUntilIdle();              // queued moves would merge
    platform::PostPointerMove(OnBar(400));  // beyond the window: the last page
    platform::PostPointerUp(OnBar(400));
    platform::PumpUntilIdle();
    const std::vector<UINT> codes = Codes();
    ASSERT_EQ(codes.size(), 4u);
    EXPECT_EQ(codes[0], static_cast<UINT>(SB_THUMBTRACK));
    EXPECT_GT(scrolls_[0].position, 0);
    EXPECT_LT(scrolls_[0].position, 90);
    EXPECT_EQ(scrolls_[0].trackPos, scrolls_[0].position);
    EXPECT_EQ(codes[1], static_cast<UINT>(SB_THUMBTRACK));
    EXPECT_EQ(scrolls_[1].position, 90);
    EXPECT_EQ(codes[2], static_cast<UINT>(SB_THUMBPOSITION));
    EXPECT_EQ(scrolls_[2].position, 90);
    EXPECT_EQ(scrolls_[2].trackPos, 90);
    EXPECT_EQ(codes[3], static_cast<UINT>(SB_ENDSCROLL));
    // Once released the tracking position is the position again.
    SCROLLINFO info{sizeof info, SIF_TRACKPOS | SIF_POS, 0, 0, 0, 0, 0};
    GetScrollInfo(window_, SB_VERT, &info);
    EXPECT_EQ(info.nTrackPos, info.nPos);
    EXPECT_TRUE(SeenOf(WM_MOUSEMOVE).empty());
    EXPECT_TRUE(SeenOf(WM_LBUTTONUP).empty());
}

TEST_F(ScrollBarsTest, TheBarIsDrawnInTheFrameAndFollowsThePosition) {
    const int arrow = GetSystemMetrics(SM_CXVSCROLL);
    const COLORREF face = GetSysColor(COLOR_BTNFACE);
    const COLORREF track = GetSysColor(COLOR_SCROLLBAR);
    EXPECT_EQ(At(OnBar(arrow / 2 + 1)), face);  // the up arrow's face
    EXPECT_EQ(At(OnBar(arrow + 4)), face);      // the thumb at the top
    EXPECT_EQ(At(OnBar(150)), track);
    SetScrollPos(window_, SB_VERT, 90, TRUE);
    platform::PumpUntilIdle();
    EXPECT_EQ(At(OnBar(arrow + 4)), track);
    EXPECT_EQ(At(OnBar(200 - arrow - 4)), face);  // the thumb at the bottom
    // Without a redraw the bar stays as drawn.
    SetScrollPos(window_, SB_VERT, 0, FALSE);
    platform::PumpUntilIdle();
    EXPECT_EQ(At(OnBar(200 - arrow - 4)), face);
}

}  // namespace

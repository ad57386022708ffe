// Invalid areas, WM_PAINT and what reaches the screen.
#include <gtest/gtest.h>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

constexpr COLORREF kRed = RGB(255, 0, 0);
constexpr COLORREF kGreen = RGB(0, 255, 0);
constexpr COLORREF kBlue = RGB(0, 0, 255);
constexpr COLORREF kBlack = RGB(0, 0, 0);

class PaintTest : public UserTest {
  protected:
    static void SetUpTestSuite() {
        RegisterRecordingClass(u"Red", CreateSolidBrush(kRed));
        RegisterRecordingClass(u"Green", CreateSolidBrush(kGreen));
        RegisterRecordingClass(u"Blue", CreateSolidBrush(kBlue));
    }
    void SetUp() override {
        UserTest::SetUp();
        FillScreen(kBlack);
    }

    static COLORREF At(int x, int y) {
        HDC dc = GetDC(nullptr);
        COLORREF color = GetPixel(dc, x, y);
        ReleaseDC(nullptr, dc);
        return color;
    }
    static void FillScreen(COLORREF color) {
        HDC dc = GetDC(nullptr);
        HBRUSH brush = CreateSolidBrush(color);
        RECT all{0, 0, 240, 320};
        FillRect(dc, &all, brush);
        DeleteObject(brush);
        ReleaseDC(nullptr, dc);
    }
    static std::vector<HWND> Painted() {
        std::vector<HWND> out;
        for (const Seen& seen : SeenOf(WM_PAINT)) {
            out.push_back(seen.hwnd);
        }
        return out;
    }
};

TEST_F(PaintTest, InvalidationsCoalesceIntoOnePaintOfTheirUnion) {
    HWND window = MakeWindowOf(u"Red", nullptr, {0, 0, 100, 100}, WS_POPUP | WS_VISIBLE);
    platform::PumpUntilIdle();
    EXPECT_EQ(At(50, 50), kRed);
    FillScreen(kBlack);
    ClearSeen();
    PAINTSTRUCT painted{};
    SetHandler(window, [&](HWND hwnd, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_PAINT) {
            return false;
        }
        BeginPaint(hwnd, &painted);
        EndPaint(hwnd, &painted);
        *result = 0;
        return true;
    });
    RECT first{10, 10, 20, 20};
    RECT second{50, 40, 60, 70};
    InvalidateRect(window, &first, FALSE);
    InvalidateRect(window, &second, TRUE);
    RECT update;
    ASSERT_TRUE(GetUpdateRect(window, &update, FALSE));
    platform::PumpUntilIdle();

    ASSERT_EQ(Painted().size(), 1u);
    RECT expected{10, 10, 60, 70};
    EXPECT_TRUE(EqualRect(&painted.rcPaint, &expected));
    EXPECT_FALSE(painted.fErase);  // the class brush erased it
    EXPECT_EQ(SeenOf(WM_ERASEBKGND).size(), 1u);
    // Erased inside the union, and nowhere else.
    EXPECT_EQ(At(10, 10), kRed);
    EXPECT_EQ(At(59, 69), kRed);
    EXPECT_EQ(At(9, 10), kBlack);
    EXPECT_EQ(At(60, 50), kBlack);
    EXPECT_FALSE(GetUpdateRect(window, &update, FALSE));
    EXPECT_EQ(platform::PumpUntilIdle(), 0);
}

TEST_F(PaintTest, ChildrenAndHigherWindowsPaintAgainOverTheirParent) {
    HWND parent = MakeWindowOf(u"Blue", nullptr, {0, 0, 200, 200}, WS_POPUP | WS_VISIBLE);
    HWND child = MakeWindowOf(u"Green", parent, {50, 50, 100, 100}, WS_CHILD | WS_VISIBLE, 1);
    HWND popup = MakeWindowOf(u"Red", nullptr, {150, 150, 220, 220}, WS_POPUP | WS_VISIBLE);
    platform::PumpUntilIdle();
    EXPECT_EQ(Painted(), (std::vector<HWND>{parent, child, popup}));
    EXPECT_EQ(At(10, 10), kBlue);
    EXPECT_EQ(At(75, 75), kGreen);
    EXPECT_EQ(At(160, 160), kRed);
    EXPECT_EQ(At(210, 210), kRed);

    // Repainting only the parent brings its child and the popup back over it.
    FillScreen(kBlack);
    ClearSeen();
    InvalidateRect(parent, nullptr, TRUE);
    platform::PumpUntilIdle();
    EXPECT_EQ(Painted(), (std::vector<HWND>{parent, child, popup}));
    EXPECT_EQ(At(75, 75), kGreen);
    EXPECT_EQ(At(160, 160), kRed);
    EXPECT_EQ(At(210, 210), kBlack);  // outside the parent: nothing asked to paint there

    // A window DC draws only inside its window.
    HDC dc = GetDC(child);
    RECT huge{-1000, -1000, 1000, 1000};
    FillRect(dc, &huge, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ReleaseDC(child, dc);
    EXPECT_EQ(At(50, 50), RGB(255, 255, 255));
    EXPECT_EQ(At(49, 50), kBlue);
    EXPECT_EQ(At(100, 75), kBlue);
}

TEST_F(PaintTest, HidingMovingAndDestroyingRepaintWhatWasBeneath) {
    HWND parent = MakeWindowOf(u"Blue", nullptr, {0, 0, 200, 200}, WS_POPUP | WS_VISIBLE);
    HWND child = MakeWindowOf(u"Green", parent, {50, 50, 100, 100}, WS_CHILD | WS_VISIBLE, 1);
    HWND popup = MakeWindowOf(u"Red", nullptr, {150, 150, 220, 220}, WS_POPUP | WS_VISIBLE);
    platform::PumpUntilIdle();

    ShowWindow(child, SW_HIDE);
    platform::PumpUntilIdle();
    EXPECT_EQ(At(75, 75), kBlue);
    ShowWindow(child, SW_SHOW);
    MoveWindow(child, 0, 0, 20, 20, TRUE);
    platform::PumpUntilIdle();
    EXPECT_EQ(At(75, 75), kBlue);
    EXPECT_EQ(At(10, 10), kGreen);

    DestroyWindow(popup);
    platform::PumpUntilIdle();
    EXPECT_EQ(At(160, 160), kBlue);
    EXPECT_EQ(At(210, 210), kBlack);  // the bare desktop
}

TEST_F(PaintTest, APaintHandlerThatDoesNotPaintIsNotAskedAgain) {
    HWND window = MakeTopLevel({0, 0, 50, 50});
    SetHandler(window, [](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        *result = 0;
        return message == WM_PAINT;
    });
    platform::PumpUntilIdle();
    EXPECT_EQ(Painted().size(), 1u);
    EXPECT_EQ(platform::PumpUntilIdle(), 0);
}

TEST_F(PaintTest, UpdateWindowPaintsAtOnceAndHiddenWindowsWait) {
    HWND window = MakeTopLevel({0, 0, 50, 50}, WS_POPUP);
    InvalidateRect(window, nullptr, TRUE);
    EXPECT_EQ(platform::PumpUntilIdle(), 0);
    UpdateWindow(window);
    EXPECT_TRUE(Painted().empty());

    ShowWindow(window, SW_SHOW);
    UpdateWindow(window);
    EXPECT_EQ(Painted().size(), 1u);
    EXPECT_EQ(platform::PumpUntilIdle(), 0);
}

TEST_F(PaintTest, TheFrameIsDrawnAroundTheClientArea) {
    HWND window =
        MakeWindowOf(u"Red", nullptr, {10, 10, 110, 110}, WS_POPUP | WS_VISIBLE | WS_CAPTION);
    platform::PumpUntilIdle();
    EXPECT_EQ(SeenOf(WM_NCPAINT).size(), 1u);
    const int caption = GetSystemMetrics(SM_CYCAPTION);
    EXPECT_EQ(At(10, 10), kBlack);          // the border
    EXPECT_EQ(At(50, 12), RGB(0, 0, 128));  // the active caption
    EXPECT_EQ(At(50, 11 + caption), kRed);  // the client area
    EXPECT_EQ(At(109, 109), kBlack);
    EXPECT_EQ(At(108, 108), kRed);
    POINT origin{0, 0};
    ClientToScreen(window, &origin);
    EXPECT_EQ(origin.y, 11 + caption);
}

}  // namespace

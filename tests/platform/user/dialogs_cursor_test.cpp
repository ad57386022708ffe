// The wait cursor.
#include <gtest/gtest.h>

#include "platform/user/user.h"

namespace {

TEST(DialogsCursorTest, TheWaitCursorShowsWhileSetAndNotHidden) {
    HCURSOR wait = LoadCursorW(nullptr, IDC_WAIT);
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    ASSERT_NE(wait, nullptr);
    ASSERT_NE(arrow, nullptr);
    EXPECT_NE(wait, arrow);
    EXPECT_EQ(LoadCursorW(nullptr, IDC_WAIT), wait);
    EXPECT_EQ(LoadCursorW(nullptr, MAKEINTRESOURCEW(1)), nullptr);

    HCURSOR before = SetCursor(wait);
    EXPECT_TRUE(platform::WaitCursorShown());
    EXPECT_EQ(GetCursor(), wait);
    // Hidden while the display count is below zero.
    EXPECT_EQ(ShowCursor(FALSE), -1);
    EXPECT_FALSE(platform::WaitCursorShown());
    EXPECT_EQ(ShowCursor(TRUE), 0);
    EXPECT_TRUE(platform::WaitCursorShown());
    // Restoring the previous cursor ends it.
    EXPECT_EQ(SetCursor(before), wait);
    EXPECT_FALSE(platform::WaitCursorShown());
    SetCursor(wait);
    SetCursor(nullptr);
    EXPECT_FALSE(platform::WaitCursorShown());
    SetCursor(before);
}

TEST(DialogsCursorTest, TheHourglassIsDrawnInTheMiddleOfThePicture) {
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP bitmap = CreateCompatibleBitmap(screen, 60, 80);
    HGDIOBJ old = SelectObject(dc, bitmap);
    RECT all{0, 0, 60, 80};
    FillRect(dc, &all, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    platform::DrawWaitCursor(dc, 60, 80);
    EXPECT_EQ(GetPixel(dc, 30, 34), RGB(230, 190, 90));  // sand in the upper glass
    EXPECT_EQ(GetPixel(dc, 2, 2), RGB(255, 255, 255));   // the corner is left alone
    SelectObject(dc, old);
    DeleteObject(bitmap);
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
}

}  // namespace

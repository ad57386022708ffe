// The roads-to-avoid list: the rows' flag words, the marks drawn from them (a green
// dot, a red no-entry sign), a tap turning a row's mark over and blank rows below
// the last road.
#include "pathlume/foundation/avoid_road_list_wnd.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/user/user.h"
#include "screen_test_support.h"

namespace {

constexpr UINT kListId = 597;
constexpr int kLeft = 4;
constexpr int kTop = 20;
constexpr int kRow = 43;

class AvoidRoadListTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_TRUE(parent.Make());
        list.reset(new CAvoidRoadListWnd);
        ASSERT_TRUE(list->Create(WS_VSCROLL, CRect(kLeft, kTop, kLeft + 236, kTop + 238), &parent,
                                 kListId));
        for (const char* name : {"MAIN ST", "OAK AVE", "HARBOUR ST"})
            list->AddItem(name, 0);
        platform::PumpUntilIdle();
    }
    void TearDown() override {
        list.reset();
        parent.DestroyWindow();
        ScreenTest::TearDown();
    }
    // The screen pixel at an offset inside a row's mark square.
    COLORREF MarkPixel(int row, int dx, int dy) {
        HDC screen = GetDC(nullptr);
        const COLORREF colour = GetPixel(screen, kLeft + 2 + dx, kTop + 2 + row * kRow + dy);
        ReleaseDC(nullptr, screen);
        return colour;
    }
    void TapRow(int row) {
        platform::PostTap(POINT{kLeft + 100, kTop + 1 + row * kRow + kRow / 2});
        platform::PumpUntilIdle();
    }

    screen_testing::CommandParent parent;
    std::unique_ptr<CAvoidRoadListWnd> list;
};

TEST_F(AvoidRoadListTest, RowsOfFortyThreePixelsAndAMarkPerRow) {
    EXPECT_EQ(list->rowHeight, kRow);
    EXPECT_EQ(list->rowsPerPage, 5);
    list->SetItemFlags(1, CAvoidRoadListWnd::kAvoidMark | 0x5);
    list->Invalidate(FALSE);
    platform::TextRecording recording;
    platform::PumpUntilIdle();

    // Row 0: the green dot; row 1: the red disc crossed by a white bar.
    EXPECT_EQ(MarkPixel(0, 21, 21), RGB(0, 255, 0));
    EXPECT_EQ(MarkPixel(1, 21, 13), RGB(255, 0, 0));
    EXPECT_EQ(MarkPixel(1, 21, 21), RGB(255, 255, 255));
    EXPECT_EQ(MarkPixel(2, 21, 13), RGB(255, 255, 255));
    // Three roads drawn (off screen), and the two blank rows below hold no mark
    // square.
    std::vector<std::u16string> drawn;
    for (const platform::DrawnText& text : recording.Texts())
        drawn.push_back(text.text);
    EXPECT_EQ(drawn, std::vector<std::u16string>({u"MAIN ST", u"OAK AVE", u"HARBOUR ST"}));
    EXPECT_NE(MarkPixel(2, 0, 5), RGB(255, 255, 255));  // a square's border
    EXPECT_EQ(MarkPixel(3, 0, 5), RGB(255, 255, 255));
    EXPECT_EQ(MarkPixel(4, 0, 5), RGB(255, 255, 255));
}

TEST_F(AvoidRoadListTest, ATapSelectsTheRowAndTurnsItsMarkOver) {
    TapRow(2);
    EXPECT_EQ(list->selection, 2);
    EXPECT_EQ(list->GetItemFlags(2), CAvoidRoadListWnd::kAvoidMark);
    EXPECT_EQ(MarkPixel(2, 21, 13), RGB(255, 0, 0));
    TapRow(2);
    EXPECT_EQ(list->GetItemFlags(2), 0u);
    TapRow(0);
    EXPECT_EQ(list->GetItemFlags(0), CAvoidRoadListWnd::kAvoidMark);
    // A tap on a blank row below the last road turns nothing over, now or later.
    TapRow(4);
    list->Invalidate(FALSE);
    platform::PumpUntilIdle();
    EXPECT_EQ(list->selection, 0);
    EXPECT_EQ(list->GetItemFlags(0), CAvoidRoadListWnd::kAvoidMark);
    EXPECT_EQ(list->GetItemFlags(1), 0u);
    // The flag words follow their rows.
    list->DeleteItem(0);
    EXPECT_EQ(list->GetItemFlags(0), 0u);
    EXPECT_EQ(list->GetItemFlags(5), 0u);
}

}  // namespace

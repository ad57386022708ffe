// The option dialogs' push and radio button, and the colour label.
#include <gtest/gtest.h>

#include <vector>

#include "pathlume/foundation/map_button.h"
#include "pathlume/foundation/screen_draw.h"
#include "screen_test_support.h"

namespace {

class CommandParent : public CWnd {
  public:
    std::vector<WPARAM> commands;

    BOOL Make() {
        return CreateEx(0, AfxRegisterWndClass(0), u"", WS_POPUP | WS_VISIBLE, 0, 0, 240, 320,
                        nullptr, nullptr);
    }
    BOOL OnCommand(WPARAM wParam, LPARAM) override {
        commands.push_back(wParam);
        return TRUE;
    }
};

constexpr COLORREF kNormal = RGB(0xE1, 0xE1, 0xE1);
constexpr COLORREF kSelected = RGB(0x00, 0x00, 0xC0);

class MapButtonTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_TRUE(parent.Make());
        ASSERT_TRUE(button.Create(u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(20, 50, 120, 80),
                                  &parent, 7));
        platform::PumpUntilIdle();
    }
    void TearDown() override {
        button.DestroyWindow();
        parent.DestroyWindow();
        ScreenTest::TearDown();
    }
    void Tap() {
        platform::PostTap(POINT{70, 65});
        platform::PumpUntilIdle();
    }
    static COLORREF Screen(int x, int y) {
        HDC screen = GetDC(nullptr);
        COLORREF colour = GetPixel(screen, x, y);
        ReleaseDC(nullptr, screen);
        return colour;
    }

    CommandParent parent;
    CMapButton button;
};

TEST_F(MapButtonTest, RadioButtonTappedTwiceStaysSelected) {
    button.toggle = 0;
    Tap();
    EXPECT_EQ(button.selected, 1);
    Tap();
    EXPECT_EQ(button.selected, 1);
    EXPECT_EQ(parent.commands, (std::vector<WPARAM>{MAKEWPARAM(7, 0), MAKEWPARAM(7, 0)}));
    EXPECT_EQ(Screen(70, 65), kSelected);
}

TEST_F(MapButtonTest, ToggleTappedTwiceReturnsToItsState) {
    button.toggle = 1;
    Tap();
    EXPECT_EQ(button.selected, 1);
    EXPECT_EQ(Screen(70, 65), kSelected);
    Tap();
    EXPECT_EQ(button.selected, 0);
    EXPECT_EQ(Screen(70, 65), kNormal);
    EXPECT_EQ(parent.commands.size(), 2u);
}

TEST_F(MapButtonTest, ReleaseOutsideChangesNothing) {
    button.toggle = 1;
    platform::PostPointerDown(POINT{70, 65});
    platform::PostPointerMove(POINT{200, 200});
    platform::PostPointerUp(POINT{200, 200});
    platform::PumpUntilIdle();
    EXPECT_EQ(button.selected, 0);
    EXPECT_TRUE(parent.commands.empty());
    EXPECT_EQ(GetCapture(), nullptr);
    EXPECT_EQ(Screen(70, 65), kNormal);
}

TEST_F(MapButtonTest, ShapesAndTheirColours) {
    struct Case {
        int shape;
        bool cornerFilled;
    };
    const Case cases[] = {{CMapButton::kRectangle, true},
                          {CMapButton::kRoundedBar, false},
                          {CMapButton::kEllipse, false}};
    for (const Case& c : cases) {
        button.shape = c.shape;
        button.SetChecked(1);
        EXPECT_EQ(Screen(70, 65), kSelected) << c.shape;
        EXPECT_EQ(Screen(21, 51) == kSelected, c.cornerFilled) << c.shape;
        button.SetChecked(0);
        EXPECT_EQ(Screen(70, 65), kNormal) << c.shape;
    }
}

TEST_F(MapButtonTest, PressedImageAloneShowsInBothStates) {
    ASSERT_TRUE(button.image.LoadBitmap(367));
    button.transparentColour = RGB(255, 255, 255);
    button.SetChecked(0);
    const COLORREF normal = Screen(70, 65);
    button.SetChecked(1);
    const COLORREF selected = Screen(70, 65);
    EXPECT_EQ(normal, selected);
    EXPECT_NE(normal, kNormal);
    EXPECT_NE(normal, kSelected);

    // With a normal image as well, the unselected state shows that one.
    ASSERT_TRUE(button.normalImage.LoadBitmap(369));
    button.SetChecked(0);
    EXPECT_NE(Screen(70, 65), selected);
}

TEST_F(MapButtonTest, TextIsCentredInTheStateColour) {
    button.SetWindowText(u"Fastest");
    button.font = &g_fontBold14;
    platform::TextRecording recording;
    button.SetChecked(1);
    auto texts = recording.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].text, u"Fastest");
    EXPECT_EQ(texts[0].color, RGB(255, 255, 255));
    EXPECT_EQ(texts[0].height, 14);
    const LONG middle = (texts[0].cell.left + texts[0].cell.right) / 2;
    EXPECT_NEAR(middle, 70, 1);
    recording.Clear();
    button.SetChecked(0);
    texts = recording.Texts();
    ASSERT_EQ(texts.size(), 1u);
    EXPECT_EQ(texts[0].color, RGB(0x20, 0x20, 0x20));
}

TEST_F(MapButtonTest, ColourLabelPaintsInItsOwnColours) {
    CColorLabel label;
    ASSERT_TRUE(label.Create(u"12 mi", WS_CHILD | WS_VISIBLE, CRect(10, 200, 110, 220), &parent));
    label.SetColors(RGB(0, 128, 0), RGB(255, 255, 0));
    platform::TextRecording recording;
    label.Invalidate();
    platform::PumpUntilIdle();
    EXPECT_EQ(Screen(105, 215), RGB(0, 128, 0));
    auto texts = recording.Texts();
    ASSERT_FALSE(texts.empty());
    EXPECT_EQ(texts.back().color, RGB(255, 255, 0));
    label.DestroyWindow();
}

}  // namespace

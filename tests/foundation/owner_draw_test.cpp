// The image button: taps reach the parent as WM_COMMAND, and its text layout.
#include <gtest/gtest.h>

#include <vector>

#include "pathlume/foundation/owner_draw.h"
#include "pathlume/foundation/screen_draw.h"
#include "screen_test_support.h"

namespace {

constexpr UINT kButtonId = 42;

using screen_testing::CommandParent;

class ImageButtonTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_TRUE(parent.Make());
        ASSERT_TRUE(button.Create(u"OK", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW,
                                  CRect(20, 100, 60, 115), &parent, kButtonId));
        platform::PumpUntilIdle();
    }
    void TearDown() override {
        button.DestroyWindow();
        parent.DestroyWindow();
        ScreenTest::TearDown();
    }

    // Draws the button's face and text into a bitmap of the given size and returns
    // the texts drawn.
    std::vector<platform::DrawnText> DrawInto(int width, int height) {
        HDC dc = CreateCompatibleDC(nullptr);
        HBITMAP bitmap = CreateCompatibleBitmap(dc, width, height);
        HGDIOBJ old = SelectObject(dc, bitmap);
        platform::TextRecording recording;
        DRAWITEMSTRUCT item{};
        item.CtlType = ODT_BUTTON;
        item.hwndItem = button.GetSafeHwnd();
        item.hDC = dc;
        item.rcItem = RECT{0, 0, width, height};
        button.DrawItem(&item);
        auto texts = recording.TextsOf(dc);
        SelectObject(dc, old);
        DeleteObject(bitmap);
        DeleteDC(dc);
        return texts;
    }

    CommandParent parent;
    CImageButton button;
};

TEST_F(ImageButtonTest, SizesToItsFaceOnceItHasOne) {
    EXPECT_FALSE(button.SizeToBitmap());
    CRect before;
    button.GetClientRect(&before);
    EXPECT_EQ(before.Width(), 40);
    button.SetImages(367, &g_fontBold12, 0, RGB(255, 255, 255), 348, 18, 1);
    EXPECT_EQ(button.imageId, 367u);
    ASSERT_TRUE(button.SizeToBitmap());
    CRect window;
    button.GetWindowRect(&window);
    EXPECT_EQ(window.left, 20);
    EXPECT_EQ(window.top, 100);
    EXPECT_EQ(window.Width(), 64);
    EXPECT_EQ(window.Height(), 26);
}

TEST_F(ImageButtonTest, EveryReleaseSendsTheCommandEvenOutside) {
    button.SetImages(367, &g_fontBold12, 0, RGB(255, 255, 255), 348, 18, 1);
    button.SizeToBitmap();
    platform::PostTap(POINT{50, 110});
    platform::PumpUntilIdle();
    ASSERT_EQ(parent.commands.size(), 1u);
    EXPECT_EQ(parent.commands[0].wParam, MAKEWPARAM(kButtonId, 0));
    EXPECT_EQ(parent.commands[0].lParam, reinterpret_cast<LPARAM>(button.GetSafeHwnd()));

    // Pressed on the button, slid off and released far away.
    platform::PostPointerDown(POINT{50, 110});
    platform::PumpUntilIdle();
    EXPECT_EQ(button.pressed, 1);
    platform::PostPointerMove(POINT{200, 300});
    platform::PostPointerUp(POINT{200, 300});
    platform::PumpUntilIdle();
    EXPECT_EQ(button.pressed, 0);
    ASSERT_EQ(parent.commands.size(), 2u);
    EXPECT_EQ(parent.commands[1].wParam, MAKEWPARAM(kButtonId, 0));
    EXPECT_EQ(GetCapture(), nullptr);

    // A tap elsewhere is not the button's.
    platform::PostTap(POINT{200, 300});
    platform::PumpUntilIdle();
    EXPECT_EQ(parent.commands.size(), 2u);
}

TEST_F(ImageButtonTest, KeysAreIgnoredAndEnterIsSwallowed) {
    MSG msg{button.GetSafeHwnd(), WM_KEYDOWN, VK_RETURN, 0, 0, {}};
    EXPECT_TRUE(button.PreTranslateMessage(&msg));
    msg.wParam = VK_SELECT;
    EXPECT_TRUE(button.PreTranslateMessage(&msg));
    msg.wParam = VK_ESCAPE;
    EXPECT_FALSE(button.PreTranslateMessage(&msg));
    msg.message = WM_KEYUP;
    msg.wParam = VK_RETURN;
    EXPECT_FALSE(button.PreTranslateMessage(&msg));

    SetWindowLongW(button.GetSafeHwnd(), GWL_EXSTYLE, WS_EX_CLIENTEDGE);
    EXPECT_EQ(button.SendMessage(WM_GETDLGCODE), DLGC_WANTALLKEYS);
    EXPECT_EQ(GetWindowLongW(button.GetSafeHwnd(), GWL_EXSTYLE), 0);

    button.SetFocus();
    platform::PostKeyPress(VK_SPACE);
    platform::PumpUntilIdle();
    EXPECT_TRUE(parent.commands.empty());
}

TEST_F(ImageButtonTest, TextLayout) {
    struct Case {
        const char* label;
        const char16_t* text;
        int iconMode;
        UINT align;
        int width;
        int height;
        std::vector<POINT> expected;  // top left of each line drawn; -1 = centred
    };
    const LONG lineHeight = [] {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, static_cast<HFONT>(g_fontBold12));
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        DeleteDC(dc);
        return metrics.tmHeight;
    }();
    const LONG centreY = (26 - lineHeight) / 2;
    const Case cases[] = {
        {"one line, left with margin", u"Street", 0, 0x1, 120, 26, {{10, centreY}}},
        {"top alignment", u"Street", 0, 0x8 | 0x1, 120, 26, {{10, 5}}},
        {"bottom alignment", u"Street", 0, 0x20 | 0x1, 120, 26, {{10, 26 - lineHeight}}},
        {"two lines on a short button",
         u"Route\nOptions",
         0,
         0x8 | 0x1,
         120,
         26,
         {{10, 5 - 7}, {10, 5 - 7 + 14}}},
        {"two lines on a tall button",
         u"Route\nOptions",
         0,
         0x8 | 0x1,
         120,
         70,
         {{10, 5}, {10, 19}}},
        {"icon: text after it whatever the alignment", u"Street", 1, 0x4 | 0x8, 120, 26, {{37, 5}}},
    };
    for (const Case& c : cases) {
        button.SetImages(c.iconMode ? 348 : 367, &g_fontBold12, c.iconMode, RGB(0, 0, 0), 367,
                         c.align, 1);
        button.SetWindowText(c.text);
        auto texts = DrawInto(c.width, c.height);
        ASSERT_EQ(texts.size(), c.expected.size()) << c.label;
        for (size_t i = 0; i < texts.size(); ++i) {
            EXPECT_EQ(texts[i].position.x, c.expected[i].x) << c.label << " line " << i;
            EXPECT_EQ(texts[i].position.y, c.expected[i].y) << c.label << " line " << i;
            EXPECT_EQ(texts[i].height, 12) << c.label;
        }
    }
}

TEST_F(ImageButtonTest, CentredAndRightAlignedText) {
    button.SetImages(367, &g_fontBold12, 0, RGB(255, 255, 255), 348, 0x4, 1);
    button.SetWindowText(u"Next");
    auto right = DrawInto(120, 26);
    ASSERT_EQ(right.size(), 1u);
    EXPECT_EQ(right[0].cell.right, 120);
    EXPECT_EQ(right[0].color, RGB(255, 255, 255));

    button.SetImages(367, &g_fontBold12, 0, RGB(255, 255, 255), 348, 18, 1);
    auto centred = DrawInto(120, 26);
    ASSERT_EQ(centred.size(), 1u);
    const LONG width = centred[0].cell.right - centred[0].cell.left;
    EXPECT_NEAR(centred[0].cell.left, (120 - width) / 2, 1);

    // Bottom alignment keeps to the bottom even on a button not marked single-line.
    button.SetImages(367, &g_fontBold12, 0, RGB(255, 255, 255), 348, 0x20, 0);
    auto bottom = DrawInto(120, 40);
    ASSERT_EQ(bottom.size(), 1u);
    EXPECT_EQ(bottom[0].cell.bottom, 40);

    button.SetWindowText(u"");
    EXPECT_TRUE(DrawInto(120, 26).empty());
}

}  // namespace

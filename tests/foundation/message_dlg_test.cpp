// The program's message box: how it closes, what it shows by day and by night, and a
// golden picture of it.
#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/message_dlg.h"
#include "pathlume/foundation/registry_helpers.h"
#include "screen_test_support.h"

namespace {

using ProbeDlg = screen_testing::ShownProbe<CMessageDlg>;

int ChildCount(HWND window) {
    int count = 0;
    for (HWND child = GetWindow(window, GW_CHILD); child; child = GetWindow(child, GW_HWNDNEXT)) {
        ++count;
    }
    return count;
}

COLORREF ScreenPixel(int x, int y) {
    HDC screen = GetDC(nullptr);
    COLORREF colour = GetPixel(screen, x, y);
    ReleaseDC(nullptr, screen);
    return colour;
}

class MessageDlgTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        screen_testing::DrawOwnBoxes(true);
    }
    void TearDown() override {
        screen_testing::DrawOwnBoxes(false);
        ScreenTest::TearDown();
    }
};

TEST_F(MessageDlgTest, ClosesOnOkEscapeAndHome) {
    struct Case {
        const char* label;
        std::function<void(ProbeDlg&)> act;
        INT_PTR expectedResult;
        DWORD expectedHome;
    };
    const Case cases[] = {
        {"tap on OK",
         [](ProbeDlg& dlg) {
             CRect button;
             dlg.m_okButton.GetWindowRect(&button);
             platform::PostTap(button.CenterPoint());
         },
         IDOK, 0},
        {"Escape", [](ProbeDlg&) { platform::PostKeyPress(VK_ESCAPE); }, IDCANCEL, 0},
        {"Home", [](ProbeDlg&) { platform::PostKeyPress(VK_HOME); }, IDCANCEL, 1},
    };
    for (const Case& c : cases) {
        g_homeKeyPressed.store(0);
        ProbeDlg dlg(nullptr, u"Warning", u"No Route to Destination", u"", u"Confirm", u"Cancel",
                     1);
        dlg.onShown = c.act;
        EXPECT_EQ(dlg.DoModal(), c.expectedResult) << c.label;
        EXPECT_EQ(g_homeKeyPressed.load(), c.expectedHome) << c.label;
        EXPECT_FALSE(IsWindow(dlg.GetSafeHwnd())) << c.label;
    }
}

TEST_F(MessageDlgTest, FillsTheScreenWithTheMessageBetweenTitleAndButton) {
    ProbeDlg dlg(nullptr, u"Warning", u"Cannot find map data files.", nullptr, nullptr, nullptr, 1);
    dlg.onShown = [](ProbeDlg& d) {
        CRect window;
        d.GetWindowRect(&window);
        EXPECT_EQ(window, CRect(0, 0, 240, 320));
        EXPECT_EQ(ChildCount(d.GetSafeHwnd()), 2);
        CRect box;
        d.m_messageBox.GetWindowRect(&box);
        EXPECT_EQ(box, CRect(0, 20, 240, 270));
        EXPECT_EQ(d.m_messageBox.GetStyle() & 0xFFFFFFFFu, 0x50200804u);
        EXPECT_EQ(d.m_messageBox.SendMessage(EM_GETMARGINS), MAKELONG(10, 10));
        CString text;
        d.m_messageBox.GetWindowText(text);
        EXPECT_EQ(text.Str(), u"Cannot find map data files.");
        CRect button;
        d.m_okButton.GetWindowRect(&button);
        EXPECT_EQ(button.Width(), 64);  // sized to its face
        EXPECT_EQ(button.Height(), 26);
        // In the strip under the text box, not over it.
        EXPECT_EQ(button.left, 0);
        EXPECT_EQ(button.top, 270 + (50 - 26) / 2);
        CString title;
        d.GetWindowText(title);
        EXPECT_EQ(title.Str(), u"Travona");
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(MessageDlgTest, WithoutAMessageOnlyTheCaptionAndButtonShow) {
    ProbeDlg dlg(nullptr, u"Warning", nullptr, nullptr, nullptr, nullptr, 0);
    platform::TextRecording recording;
    dlg.onShown = [&recording](ProbeDlg& d) {
        EXPECT_EQ(ChildCount(d.GetSafeHwnd()), 1);
        EXPECT_EQ(d.m_messageBox.GetSafeHwnd(), nullptr);
        bool captionDrawn = false;
        for (const auto& text : recording.Texts()) {
            captionDrawn = captionDrawn || text.text == u"Warning";
        }
        EXPECT_TRUE(captionDrawn);
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
}

TEST_F(MessageDlgTest, BackgroundAndTextFollowTheColourMode) {
    struct Case {
        DWORD mode;
        COLORREF background;
        COLORREF text;
    };
    const Case cases[] = {{0, RGB(255, 255, 255), RGB(0, 0, 0)},
                          {kColorModeNight, RGB(0x60, 0x60, 0xFF), RGB(255, 255, 255)}};
    for (const Case& c : cases) {
        g_colorMode.store(c.mode);
        platform::TextRecording recording;
        ProbeDlg dlg(nullptr, u"Warning", u"Detour ended", nullptr, nullptr, nullptr, 0);
        dlg.onShown = [&](ProbeDlg& d) {
            EXPECT_EQ(ScreenPixel(120, 300), c.background) << c.mode;  // below the text box
            EXPECT_EQ(ScreenPixel(120, 150), c.background) << c.mode;  // inside it
            bool messageDrawn = false;
            for (const auto& text : recording.Texts()) {
                if (text.text == u"Detour ended") {
                    messageDrawn = true;
                    EXPECT_EQ(text.color, c.text) << c.mode;
                }
            }
            EXPECT_TRUE(messageDrawn) << c.mode;
            d.EndDialog(IDOK);
        };
        EXPECT_EQ(dlg.DoModal(), IDOK);
    }
}

TEST_F(MessageDlgTest, GoldenOutOfMemoryBox) {
    WCHAR caption[260];
    WCHAR text[260];
    WCHAR heading[260];
    WCHAR ok[260];
    WCHAR cancel[260];
    ProbeDlg dlg(nullptr, LoadResString(6171, caption, 260, FALSE),
                 LoadResString(6172, text, 260, FALSE), LoadResString(6044, heading, 260, FALSE),
                 LoadResString(6041, ok, 260, FALSE), LoadResString(6010, cancel, 260, FALSE), 0);
    ASSERT_NE(dlg.m_caption, nullptr);
    ASSERT_NE(dlg.m_message, nullptr);
    testing::AssertionResult matches = testing::AssertionFailure() << "never shown";
    platform::TextRecording recording;
    dlg.onShown = [&](ProbeDlg& d) {
        matches = screen_testing::ScreenMatchesGolden("message_box");
        // The text wraps inside the margins: two paragraphs, each longer than a line.
        EXPECT_GT(d.m_messageBox.SendMessage(EM_GETLINECOUNT), 3);
        std::set<std::u16string> messageLines;
        for (const auto& drawn : recording.Texts()) {
            if (drawn.window == d.m_messageBox.GetSafeHwnd() && !drawn.text.empty()) {
                messageLines.insert(drawn.text);
                EXPECT_EQ(drawn.onSurface.x, 10) << messageLines.size();
            }
        }
        // Every line shows; one is empty.
        EXPECT_EQ(static_cast<LRESULT>(messageLines.size()),
                  d.m_messageBox.SendMessage(EM_GETLINECOUNT) - 1);
        d.EndDialog(IDOK);
    };
    EXPECT_EQ(dlg.DoModal(), IDOK);
    EXPECT_TRUE(matches);
}

}  // namespace

// The program's question screen: its answers drawn and headless, the buttons its
// texts show or hide, what it draws, and the keys it passes on.
#include "pathlume/foundation/prompt_dlg.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "platform/kernel/msgbox.h"
#include "platform/user/dialogs.h"
#include "screen_test_support.h"

namespace {

using ProbePrompt = screen_testing::ShownProbe<CPromptDlg>;

void TapOn(CWnd& button) {
    CRect rect;
    button.GetWindowRect(&rect);
    platform::PostTap(rect.CenterPoint());
}

// The drawn prompt, as on a screen someone looks at.
class DrawnPromptTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        platform::UseDrawnMessageBox(true);
    }
    void TearDown() override {
        platform::UseDrawnMessageBox(false);
        ScreenTest::TearDown();
    }
};

TEST_F(DrawnPromptTest, EachWayOutGivesItsAnswer) {
    struct Case {
        const char* label;
        std::function<void(ProbePrompt&)> act;
        INT_PTR result;
        DWORD home;
    };
    const Case cases[] = {
        {"first answer", [](ProbePrompt& p) { TapOn(p.m_firstButton); }, kPromptFirstAnswer, 0},
        {"second answer", [](ProbePrompt& p) { TapOn(p.m_secondButton); }, kPromptSecondAnswer, 0},
        {"close button", [](ProbePrompt& p) { TapOn(p.m_closeButton); }, kPromptClosed, 0},
        {"Escape", [](ProbePrompt&) { platform::PostKeyPress(VK_ESCAPE); }, kPromptClosed, 0},
        {"Home", [](ProbePrompt&) { platform::PostKeyPress(VK_HOME); }, kPromptClosed, 1},
    };
    for (const Case& c : cases) {
        g_homeKeyPressed.store(0);
        ProbePrompt prompt(nullptr, u"Add To Favorites", u"Home", u"Favorites", u"Add", u"Edit",
                           u"Cancel", nullptr);
        prompt.onShown = c.act;
        EXPECT_EQ(prompt.DoModal(), c.result) << c.label;
        EXPECT_EQ(g_homeKeyPressed.load(), c.home) << c.label;
        EXPECT_FALSE(IsWindow(prompt.GetSafeHwnd())) << c.label;
    }
}

// The buttons' texts: the caller's when both the first answer's and the cancel
// text are given (an empty second text hides that answer), else the template's.
TEST_F(DrawnPromptTest, TheTextsDecideTheButtons) {
    struct Case {
        const char16_t* first;
        const char16_t* second;
        const char16_t* cancel;
        const char16_t* firstShown;
        bool secondVisible;
        const char16_t* secondShown;
    };
    const Case cases[] = {
        {u"Yes", u"", u"No", u"Yes", false, u"Edit"},
        {u"Override", u"Keep", u"Cancel", u"Override", true, u"Keep"},
        {u"Yes", u"Later", nullptr, u"Add", true, u"Edit"},
        {nullptr, nullptr, u"No", u"Add", true, u"Edit"},
    };
    for (const Case& c : cases) {
        ProbePrompt prompt(nullptr, u"Confirm", u"Question", u"Destinations", c.first, c.second,
                           c.cancel, nullptr);
        prompt.onShown = [&c](ProbePrompt& p) {
            CString text;
            p.m_firstButton.GetWindowText(text);
            EXPECT_EQ(text.Str(), c.firstShown);
            EXPECT_EQ(p.m_secondButton.IsWindowVisible() != FALSE, c.secondVisible);
            p.m_secondButton.GetWindowText(text);
            EXPECT_EQ(text.Str(), c.secondShown);
            EXPECT_TRUE(p.m_closeButton.IsWindowVisible());
            p.m_closeButton.GetWindowText(text);
            EXPECT_EQ(text.Str(), std::u16string(c.cancel ? c.cancel : u""));
            // The shown buttons share the bottom strip, sized to their faces.
            CRect first, close;
            p.m_firstButton.GetWindowRect(&first);
            p.m_closeButton.GetWindowRect(&close);
            EXPECT_EQ(first.Width(), 64);
            EXPECT_EQ(first.top, close.top);
            EXPECT_GT(first.top, 270);
            EXPECT_LT(first.right, close.left);
            p.EndDialog(kPromptClosed);
        };
        EXPECT_EQ(prompt.DoModal(), kPromptClosed);
    }
}

// The title, the message and, only when given, the second message; the caption
// names the window.
TEST_F(DrawnPromptTest, DrawsTheTitleAndTheMessages) {
    for (const bool withSecond : {true, false}) {
        platform::TextRecording recording;
        ProbePrompt prompt(nullptr, u"Confirm", u"Continue to Final Destination?", u"Destinations",
                           u"Yes", u"", u"No", withSecond ? u"HARBOUR ST" : nullptr);
        prompt.onShown = [&](ProbePrompt& p) {
            std::vector<std::u16string> drawn;
            for (const auto& text : recording.Texts()) {
                drawn.push_back(text.text);
                if (text.text == u"Confirm") {
                    EXPECT_EQ(text.color, 0x0000FFu);  // red by day
                }
            }
            auto has = [&drawn](const std::u16string& text) {
                return std::find(drawn.begin(), drawn.end(), text) != drawn.end();
            };
            EXPECT_TRUE(has(u"Confirm"));
            EXPECT_TRUE(has(u"Continue to Final Destination?"));
            EXPECT_EQ(has(u"HARBOUR ST"), withSecond);
            CString caption;
            p.GetWindowText(caption);
            EXPECT_EQ(caption.Str(), u"Destinations");
            p.EndDialog(kPromptFirstAnswer);
        };
        EXPECT_EQ(prompt.DoModal(), kPromptFirstAnswer);
    }
}

// Keys other than Escape and Home go on to the parent, or to the main view.
TEST_F(DrawnPromptTest, OtherKeysGoOnToTheScreenBehind) {
    screen_testing::CommandParent parent;
    ASSERT_TRUE(parent.Make());
    screen_testing::WindowMainView view(parent.GetSafeHwnd());
    for (const bool withParent : {true, false}) {
        g_mainView.store(withParent ? nullptr : &view);
        ProbePrompt prompt(withParent ? &parent : nullptr, u"Confirm", u"Question", nullptr, u"Yes",
                           u"", u"No", nullptr);
        prompt.onShown = [](ProbePrompt& p) {
            p.SendMessage(WM_KEYDOWN, VK_F1, 0x00030001);
            p.EndDialog(kPromptClosed);
        };
        EXPECT_EQ(prompt.DoModal(), kPromptClosed);
        MSG message;
        ASSERT_TRUE(PeekMessageW(&message, parent.GetSafeHwnd(), WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE))
            << withParent;
        EXPECT_EQ(message.wParam, static_cast<WPARAM>(VK_F1));
        EXPECT_EQ(message.lParam, 0x00030001);
    }
    g_mainView.store(nullptr);
}

// Headless, nobody can tap: the prompt is answered as a message box is, from the
// script or by its first answer, and its texts are recorded.
TEST(HeadlessPromptTest, IsAnsweredAsAMessageBoxIs) {
    struct Case {
        std::vector<int> script;
        const char16_t* second;
        int result;
    };
    const Case cases[] = {
        {{}, u"", kPromptFirstAnswer},
        {{IDYES}, u"", kPromptFirstAnswer},
        {{IDNO}, u"", kPromptClosed},
        {{IDNO}, u"Edit", kPromptSecondAnswer},
        {{kPromptSecondAnswer}, u"Edit", kPromptSecondAnswer},
        {{kPromptSecondAnswer}, u"", kPromptClosed},
        {{IDCANCEL}, u"Edit", kPromptClosed},
    };
    for (const Case& c : cases) {
        platform::ClearMessageBoxes();
        platform::ScriptMessageBoxAnswers(c.script);
        CPromptDlg prompt(nullptr, u"Confirm", u"Continue to Final Destination?", u"Destinations",
                          u"Yes", c.second, u"No", u"HARBOUR ST");
        EXPECT_EQ(prompt.DoModal(), c.result);
        const std::vector<platform::ShownMessageBox> shown = platform::ShownMessageBoxes();
        ASSERT_EQ(shown.size(), 1u);
        EXPECT_EQ(shown[0].caption, u"Confirm");
        EXPECT_EQ(shown[0].text, u"Continue to Final Destination?\nHARBOUR ST");
    }
    platform::ClearMessageBoxes();
}

}  // namespace

namespace {

TEST_F(DrawnPromptTest, GoldenResumeTripQuestion) {
    ProbePrompt prompt(nullptr, u"Confirm", u"Continue to Final Destination?", u"Destinations",
                       u"Yes", u"", u"No", u"1200 HARBOUR ST");
    testing::AssertionResult matches = testing::AssertionFailure() << "never shown";
    prompt.onShown = [&matches](ProbePrompt& p) {
        matches = screen_testing::ScreenMatchesGolden("prompt_resume_trip");
        p.EndDialog(kPromptClosed);
    };
    EXPECT_EQ(prompt.DoModal(), kPromptClosed);
    EXPECT_TRUE(matches);
}

}  // namespace

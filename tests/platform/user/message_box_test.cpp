// The drawn message box, driven headlessly with keys and taps.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class MessageBoxTest : public UserTest {
  protected:
    void TearDown() override {
        platform::UseDrawnMessageBox(false);
        platform::ClearMessageBoxes();
        UserTest::TearDown();
    }
};

TEST_F(MessageBoxTest, KeysAnswerWithTheButtonsOfEachType) {
    struct Case {
        UINT type;
        std::vector<UINT> keys;
        int expected;
    };
    const std::vector<Case> cases = {
        {MB_OK, {VK_RETURN}, IDOK},
        {MB_OK, {VK_ESCAPE}, IDOK},
        {MB_OKCANCEL, {VK_ESCAPE}, IDCANCEL},
        {MB_OKCANCEL | MB_DEFBUTTON2, {VK_RETURN}, IDCANCEL},
        {MB_YESNOCANCEL | MB_DEFBUTTON2, {VK_RETURN}, IDNO},
        // No Cancel button: Escape does nothing, Enter takes the default.
        {MB_YESNO | MB_ICONQUESTION, {VK_ESCAPE, VK_RETURN}, IDYES},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, {VK_RIGHT, VK_RETURN}, IDABORT},  // wraps
        {MB_RETRYCANCEL | MB_ICONSTOP, {VK_TAB, VK_RETURN}, IDCANCEL},
        {MB_YESNO | MB_DEFBUTTON4, {VK_LEFT, VK_RETURN}, IDNO},  // no fourth: the first
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "type " << c.type);
        for (UINT key : c.keys) {
            platform::PostKeyPress(key);
        }
        EXPECT_EQ(
            platform::ShowMessageBoxDialog(nullptr, u"Recalculate the route?", u"Route", c.type),
            c.expected);
        platform::DiscardPendingInput();
        EXPECT_EQ(FindWindowW(u"#32770", nullptr), nullptr);
    }
    SetLastError(0);
    EXPECT_EQ(platform::ShowMessageBoxDialog(nullptr, u"x", u"y", 7), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
}

TEST_F(MessageBoxTest, ATapOnAButtonAnswersWhileTheOwnerIsDisabled) {
    HWND owner = MakeTopLevel({0, 0, 240, 320});
    platform::PumpUntilIdle();
    bool ownerEnabled = true;
    RECT noButton{};
    SetHandler(owner, [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_APP) {
            ownerEnabled = IsWindowEnabled(owner);
            noButton = platform::MessageBoxButtonRect(IDNO);
            RECT yes = platform::MessageBoxButtonRect(IDYES);
            // Press on No, slide off and release on Yes: nothing; then tap No.
            platform::PostPointerDown({(noButton.left + noButton.right) / 2, noButton.top + 3});
            platform::PostPointerUp({(yes.left + yes.right) / 2, yes.top + 3});
            platform::PostTap({(noButton.left + noButton.right) / 2, noButton.top + 3});
            return true;
        }
        return false;
    });
    PostMessageW(owner, WM_APP, 0, 0);
    int answer = platform::ShowMessageBoxDialog(owner, u"Delete this favourite?", u"Favourites",
                                                MB_YESNO | MB_ICONEXCLAMATION);
    EXPECT_EQ(answer, IDNO);
    EXPECT_FALSE(ownerEnabled);
    EXPECT_TRUE(IsWindowEnabled(owner));
    EXPECT_FALSE(IsRectEmpty(&noButton));
    RECT gone = platform::MessageBoxButtonRect(IDNO);
    EXPECT_TRUE(IsRectEmpty(&gone));
}

TEST_F(MessageBoxTest, LongTextIsWrappedInsideTheBoxOnTheScreen) {
    HWND owner = MakeTopLevel({0, 0, 240, 320});
    platform::PumpUntilIdle();
    const std::u16string text =
        u"The data on the storage card is from an older version. Please copy the new maps "
        u"to the card before you start the navigation again.";
    std::vector<platform::DrawnText> drawn;
    RECT box{};
    SetHandler(owner, [&](HWND, UINT message, WPARAM, LPARAM, LRESULT*) {
        if (message == WM_APP) {
            HWND dialog = FindWindowW(u"#32770", nullptr);
            GetWindowRect(dialog, &box);
            platform::TextRecording recording;
            InvalidateRect(dialog, nullptr, TRUE);
            UpdateWindow(dialog);
            drawn = recording.Texts();
            platform::PostKeyPress(VK_RETURN);
            return true;
        }
        return false;
    });
    PostMessageW(owner, WM_APP, 0, 0);
    platform::ShowMessageBoxDialog(owner, text, u"Maps", MB_OK | MB_ICONINFORMATION);

    // The box lies on the screen, and every line of the text inside it.
    EXPECT_GE(box.left, 0);
    EXPECT_LE(box.right, 240);
    std::u16string joined;
    int lines = 0;
    for (const auto& piece : drawn) {
        if (piece.text == u"OK" || piece.text == u"Maps" || piece.text.size() <= 1) {
            continue;  // the button, the caption and the icon's mark
        }
        ++lines;
        joined += piece.text;
        EXPECT_GE(piece.cell.left, box.left);
        EXPECT_LE(piece.cell.right, box.right);
    }
    EXPECT_GT(lines, 2);
    auto strip = [](std::u16string s) {
        s.erase(std::remove(s.begin(), s.end(), u' '), s.end());
        return s;
    };
    EXPECT_EQ(strip(joined), strip(text));
}

TEST_F(MessageBoxTest, MessageBoxWShowsTheDrawnBoxOnlyWhenAskedTo) {
    platform::ClearMessageBoxes();
    platform::ScriptMessageBoxAnswers({IDNO});
    EXPECT_EQ(MessageBoxW(nullptr, u"Scripted", u"Test", MB_YESNO), IDNO);

    platform::UseDrawnMessageBox(true);
    platform::PostKeyPress(VK_TAB);
    platform::PostKeyPress(VK_RETURN);
    EXPECT_EQ(MessageBoxW(nullptr, u"Drawn", u"Test", MB_OKCANCEL), IDCANCEL);
    auto shown = platform::ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 2u);
    EXPECT_EQ(shown[1].text, u"Drawn");
    EXPECT_EQ(shown[1].answer, IDCANCEL);

    platform::UseDrawnMessageBox(false);
    EXPECT_EQ(MessageBoxW(nullptr, u"Headless", u"Test", MB_OKCANCEL), IDOK);
}

// Closing the program while a box is up (the window's close button, a script's
// close) ends the box first, in its own loop, and only then closes the main window:
// nothing is torn down under the box's caller.
TEST_F(MessageBoxTest, ClosingTheProgramEndsTheOpenBoxBeforeTheMainWindow) {
    HWND main = MakeTopLevel({0, 0, 240, 320});
    platform::PumpUntilIdle();
    ASSERT_EQ(platform::MainWindow(), main);
    int closes = 0;
    bool boxUpAtClose = true;
    SetHandler(main, [&](HWND, UINT message, WPARAM, LPARAM, LRESULT* result) {
        if (message != WM_CLOSE)
            return false;
        ++closes;
        boxUpAtClose = FindWindowW(u"#32770", nullptr) != nullptr;
        *result = 0;
        return true;
    });
    // The close comes once the box's loop waits for input.
    platform::CallWhenIdle(main, [] { platform::PostCloseToMainWindow(); });
    EXPECT_EQ(platform::ShowMessageBoxDialog(main, u"Couldn't enable Bluetooth Radio", u"pathlume",
                                             MB_OK | MB_ICONSTOP),
              IDOK);
    EXPECT_EQ(closes, 0);
    platform::PumpUntilIdle();
    EXPECT_EQ(closes, 1);
    EXPECT_FALSE(boxUpAtClose);
}

}  // namespace

#include "platform/kernel/msgbox.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class MessageBoxTest : public testing::Test {
  protected:
    void SetUp() override { platform::ClearMessageBoxes(); }
    void TearDown() override {
        platform::SetMessageBoxHandler({});
        platform::ClearMessageBoxes();
    }
};

TEST_F(MessageBoxTest, UnscriptedBoxesAnswerTheirDefaultButton) {
    struct Case {
        UINT type;
        int answer;
    };
    const Case cases[] = {
        {MB_OK, IDOK},
        {MB_OK | MB_ICONHAND | MB_SYSTEMMODAL, IDOK},
        {MB_OKCANCEL, IDOK},
        {MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON2, IDRETRY},
        {MB_ABORTRETRYIGNORE | MB_DEFBUTTON3, IDIGNORE},
        {MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {MB_YESNO | MB_ICONQUESTION, IDYES},
        {MB_YESNO | MB_DEFBUTTON2 | MB_SETFOREGROUND | MB_TOPMOST, IDNO},
        {MB_RETRYCANCEL, IDRETRY},
        // A default button the box does not have falls back to the first.
        {MB_OK | MB_DEFBUTTON3, IDOK},
        {MB_YESNO | MB_DEFBUTTON4, IDYES},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.type);
        EXPECT_EQ(MessageBoxW(nullptr, u"text", u"caption", c.type), c.answer);
    }
    EXPECT_EQ(platform::ShownMessageBoxes().size(), std::size(cases));
}

TEST_F(MessageBoxTest, ScriptedAnswersAreTakenInOrderThenDefaults) {
    platform::ScriptMessageBoxAnswers({IDCANCEL, IDOK});
    EXPECT_EQ(MessageBoxW(nullptr, u"first", u"One", MB_OKCANCEL), IDCANCEL);
    EXPECT_EQ(MessageBoxW(nullptr, u"second", u"Two", MB_OKCANCEL | MB_DEFBUTTON2), IDOK);
    EXPECT_EQ(MessageBoxW(nullptr, u"third", u"Three", MB_OKCANCEL | MB_DEFBUTTON2), IDCANCEL);

    std::vector<platform::ShownMessageBox> shown = platform::ShownMessageBoxes();
    ASSERT_EQ(shown.size(), 3u);
    EXPECT_EQ(shown[0].caption, u"One");
    EXPECT_EQ(shown[0].text, u"first");
    EXPECT_EQ(shown[0].type, static_cast<UINT>(MB_OKCANCEL));
    EXPECT_EQ(shown[0].answer, IDCANCEL);
    EXPECT_EQ(shown[2].answer, IDCANCEL);

    // A new script replaces what was left; clearing forgets both.
    platform::ScriptMessageBoxAnswers({IDNO, IDNO});
    platform::ScriptMessageBoxAnswers({IDYES});
    EXPECT_EQ(MessageBoxW(nullptr, u"q", u"Q", MB_YESNO | MB_DEFBUTTON2), IDYES);
    EXPECT_EQ(MessageBoxW(nullptr, u"q", u"Q", MB_YESNO | MB_DEFBUTTON2), IDNO);
    platform::ScriptMessageBoxAnswers({IDYES});
    platform::ClearMessageBoxes();
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    EXPECT_EQ(MessageBoxW(nullptr, u"q", u"Q", MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST_F(MessageBoxTest, WritesCaptionAndTextToStandardError) {
    testing::internal::CaptureStderr();
    MessageBoxW(nullptr, u"Bad or missing strabbr.bin", u"ERROR", MB_OK | MB_ICONHAND);
    MessageBoxW(nullptr, u"Stra\u00DFe \u00E9t\u00E9", nullptr, MB_OK);
    MessageBoxW(nullptr, nullptr, u"Empty", MB_OK);
    std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(err,
              "ERROR: Bad or missing strabbr.bin\n"
              "Error: Stra\xC3\x9F"
              "e \xC3\xA9t\xC3\xA9\n"
              "Empty: \n");
    // A box without a caption is titled as the platform titles it.
    EXPECT_EQ(platform::ShownMessageBoxes().at(1).caption, u"Error");
}

TEST_F(MessageBoxTest, UnknownButtonSetFails) {
    SetLastError(0);
    EXPECT_EQ(MessageBoxW(nullptr, u"x", u"y", 0x0000000E), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(MessageBoxTest, InstalledHandlerShowsTheBoxInstead) {
    HWND owner = reinterpret_cast<HWND>(uintptr_t{0x1234});
    std::u16string seenText;
    UINT seenType = 0;
    platform::SetMessageBoxHandler(
        [&](HWND from, const std::u16string& text, const std::u16string& caption, UINT type) {
            EXPECT_EQ(from, owner);
            EXPECT_EQ(caption, u"Warning");
            seenText = text;
            seenType = type;
            return IDRETRY;
        });
    platform::ScriptMessageBoxAnswers({IDCANCEL});
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(owner, u"No Route", u"Warning", MB_RETRYCANCEL), IDRETRY);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(seenText, u"No Route");
    EXPECT_EQ(seenType, static_cast<UINT>(MB_RETRYCANCEL));
    ASSERT_EQ(platform::ShownMessageBoxes().size(), 1u);
    EXPECT_EQ(platform::ShownMessageBoxes()[0].answer, IDRETRY);

    // Removing the handler returns to the script.
    platform::SetMessageBoxHandler({});
    EXPECT_EQ(MessageBoxW(owner, u"No Route", u"Warning", MB_RETRYCANCEL), IDCANCEL);
}

TEST_F(MessageBoxTest, AQueuedAnswerTakesTheNextBoxDrawnOrNot) {
    int drawn = 0;
    platform::SetMessageBoxHandler([&](HWND, const std::u16string&, const std::u16string&, UINT) {
        ++drawn;
        return IDYES;
    });
    platform::QueueMessageBoxAnswer(IDNO);
    testing::internal::CaptureStderr();
    EXPECT_EQ(MessageBoxW(nullptr, u"Detour?", u"Route", MB_YESNO), IDNO);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Route: Detour?\n");
    EXPECT_EQ(MessageBoxW(nullptr, u"Detour?", u"Route", MB_YESNO), IDYES);
    EXPECT_EQ(drawn, 1);

    // A box the program draws itself learns that an answer waits for it.
    EXPECT_FALSE(platform::MessageBoxAnswerQueued());
    platform::QueueMessageBoxAnswer(IDOK);
    EXPECT_TRUE(platform::MessageBoxAnswerQueued());
    EXPECT_EQ(MessageBoxW(nullptr, u"Detour?", u"Route", MB_OKCANCEL), IDOK);
    EXPECT_FALSE(platform::MessageBoxAnswerQueued());
    EXPECT_EQ(drawn, 1);
    platform::SetMessageBoxHandler({});
}

}  // namespace

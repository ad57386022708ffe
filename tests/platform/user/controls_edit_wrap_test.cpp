// Multi-line edits: wrapping, margins, the scroll bar and keeping the caret in view.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/platform/user/test_window.h"

namespace {

using namespace user_testing;

class EditWrapTest : public UserTest {
  protected:
    void SetUp() override {
        UserTest::SetUp();
        parent_ = MakeTopLevel({0, 0, 240, 320});
        LOGFONTW logFont{};
        logFont.lfHeight = 14;
        logFont.lfWeight = FW_NORMAL;
        std::u16string face = u"Tahoma";
        std::copy(face.begin(), face.end(), logFont.lfFaceName);
        font_ = CreateFontIndirectW(&logFont);
        platform::PumpUntilIdle();
    }

    void TearDown() override {
        UserTest::TearDown();
        DeleteObject(font_);
    }

    // An edit at (10, 10) in the parent, in the test's font.
    HWND Make(const std::u16string& text, DWORD style, int width, int height) {
        HWND edit = CreateWindowExW(
            0, u"Edit", text.c_str(), WS_CHILD | WS_VISIBLE | style, 10, 10, width, height, parent_,
            reinterpret_cast<HMENU>(static_cast<INT_PTR>(5)), nullptr, nullptr);
        SendMessageW(edit, WM_SETFONT, reinterpret_cast<WPARAM>(font_), TRUE);
        platform::PumpUntilIdle();
        return edit;
    }

    int Width(const std::u16string& text) const {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font_);
        SIZE size{};
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        SelectObject(dc, old);
        DeleteDC(dc);
        return size.cx;
    }

    int LineHeight() const {
        HDC dc = CreateCompatibleDC(nullptr);
        HGDIOBJ old = SelectObject(dc, font_);
        TEXTMETRICW metrics{};
        GetTextMetricsW(dc, &metrics);
        SelectObject(dc, old);
        DeleteDC(dc);
        return metrics.tmHeight;
    }

    static RECT TextRect(HWND edit) {
        RECT rect{};
        SendMessageW(edit, EM_GETRECT, 0, reinterpret_cast<LPARAM>(&rect));
        return rect;
    }

    static std::vector<std::u16string> Lines(HWND edit) {
        std::vector<std::u16string> lines;
        auto count = SendMessageW(edit, EM_GETLINECOUNT, 0, 0);
        for (WPARAM i = 0; i < static_cast<WPARAM>(count); ++i) {
            WCHAR buffer[512] = {};
            buffer[0] = 511;
            auto length = SendMessageW(edit, EM_GETLINE, i, reinterpret_cast<LPARAM>(buffer));
            lines.emplace_back(buffer, static_cast<size_t>(length));
        }
        return lines;
    }

    static int FirstVisible(HWND edit) {
        return static_cast<int>(SendMessageW(edit, EM_GETFIRSTVISIBLELINE, 0, 0));
    }

    static void Tap(POINT point) {
        platform::PostTap(point);
        platform::AdvanceClockAndPump(1000);
    }

    ManualClock clock_;
    HWND parent_ = nullptr;
    HFONT font_ = nullptr;
};

std::u16string TrimBlanks(std::u16string text) {
    while (!text.empty() && text.back() == u' ') {
        text.pop_back();
    }
    return text;
}

std::u16string FirstWord(const std::u16string& text) {
    return text.substr(0, text.find(u' '));
}

TEST_F(EditWrapTest, LinesWrapAtBlanksAndLongWordsAtTheEdge) {
    struct Case {
        const char* label;
        std::u16string text;
        int margin;  // each side
    };
    const Case cases[] = {
        {"words", u"You do not have enough memory allocated for this program.", 2},
        {"wide margins", u"You do not have enough memory allocated for this program.", 30},
        {"a word longer than the line", u"Settings\\Memory\\Storage\\Programs\\Running now", 2},
        {"runs of blanks", u"one    two     three    four     five    six    seven", 2},
    };
    for (const Case& c : cases) {
        HWND edit = Make(c.text, ES_MULTILINE, 100, 200);
        SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN,
                     MAKELONG(c.margin, c.margin));
        const int room = TextRect(edit).right - TextRect(edit).left;
        EXPECT_EQ(room, 100 - 2 * c.margin) << c.label;
        auto lines = Lines(edit);
        ASSERT_GT(lines.size(), 1u) << c.label;
        std::u16string joined;
        for (size_t i = 0; i < lines.size(); ++i) {
            const std::u16string& line = lines[i];
            joined += line;
            EXPECT_LE(Width(TrimBlanks(line)), room) << c.label << ": " << i;
            if (i + 1 == lines.size()) {
                continue;
            }
            const std::u16string& next = lines[i + 1];
            ASSERT_FALSE(next.empty()) << c.label;
            EXPECT_NE(next[0], u' ') << c.label << ": blanks stay on the upper line";
            if (line.back() == u' ') {
                // Broken at a blank: the next word would not have fitted.
                EXPECT_GT(Width(line + FirstWord(next)), room) << c.label << ": " << i;
            } else {
                // Broken inside a word that is longer than the line, as late as it fits.
                EXPECT_EQ(line.find(u' '), std::u16string::npos) << c.label << ": " << i;
                EXPECT_GT(Width(line + next.substr(0, 1)), room) << c.label << ": " << i;
            }
        }
        EXPECT_EQ(joined, c.text) << c.label;
        DestroyWindow(edit);
    }
}

TEST_F(EditWrapTest, LineBreaksStillBreakAndAutoScrollingEditsDoNotWrap) {
    HWND edit = Make(u"ab\r\n\r\ncd", ES_MULTILINE, 100, 100);
    EXPECT_EQ(Lines(edit), (std::vector<std::u16string>{u"ab", u"", u"cd"}));
    EXPECT_EQ(SendMessageW(edit, EM_LINEINDEX, 2, 0), 6);

    const std::u16string longLine = u"one two three four five six seven eight nine ten";
    HWND scrolling = Make(longLine + u"\r\nx", ES_MULTILINE | ES_AUTOHSCROLL, 100, 100);
    EXPECT_EQ(Lines(scrolling), (std::vector<std::u16string>{longLine, u"x"}));
}

TEST_F(EditWrapTest, MarginsAreSetAndReadAndTheTextStartsAtTheLeftOne) {
    HWND edit = Make(u"Detour ended", ES_MULTILINE, 120, 60);
    EXPECT_EQ(SendMessageW(edit, EM_GETMARGINS, 0, 0), MAKELONG(2, 2));  // the default

    SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN | EC_RIGHTMARGIN, MAKELONG(10, 12));
    EXPECT_EQ(SendMessageW(edit, EM_GETMARGINS, 0, 0), MAKELONG(10, 12));
    EXPECT_EQ(TextRect(edit).left, 10);
    EXPECT_EQ(TextRect(edit).right, 120 - 12);

    // Only the margins named change.
    SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN, MAKELONG(4, 99));
    EXPECT_EQ(SendMessageW(edit, EM_GETMARGINS, 0, 0), MAKELONG(4, 12));
    SendMessageW(edit, EM_SETMARGINS, EC_RIGHTMARGIN, MAKELONG(99, EC_USEFONTINFO));
    int fromFont = HIWORD(SendMessageW(edit, EM_GETMARGINS, 0, 0));
    EXPECT_GT(fromFont, 0);
    EXPECT_LT(fromFont, Width(u"x") + 1);
    EXPECT_EQ(LOWORD(SendMessageW(edit, EM_GETMARGINS, 0, 0)), 4);

    SendMessageW(edit, EM_SETMARGINS, EC_LEFTMARGIN, MAKELONG(10, 0));
    platform::TextRecording recording;
    InvalidateRect(edit, nullptr, TRUE);
    platform::PumpUntilIdle();
    bool drawn = false;
    for (const auto& text : recording.Texts()) {
        if (text.text == u"Detour ended") {
            drawn = true;
            EXPECT_EQ(text.onSurface.x, 10 + 10);
        }
    }
    EXPECT_TRUE(drawn);
}

class EditScrollTest : public EditWrapTest {
  protected:
    void SetUp() override {
        EditWrapTest::SetUp();
        std::u16string text;
        for (int i = 1; i <= 20; ++i) {
            text += (i > 1 ? u"\r\nLine " : u"Line ") + Number(i);
        }
        edit_ = Make(text, ES_MULTILINE | ES_READONLY | WS_VSCROLL, 120, kHeight);
        rows_ = (TextRect(edit_).bottom - TextRect(edit_).top) / LineHeight();
        maxTop_ = 20 - rows_;
    }

    static std::u16string Number(int n) {
        std::string digits = std::to_string(n);
        return std::u16string(digits.begin(), digits.end());
    }

    // A point on the bar, in screen coordinates; y from the edit's top.
    static POINT OnBar(int y) { return POINT{10 + 120 - 5, 10 + y}; }

    static constexpr int kHeight = 100;
    HWND edit_ = nullptr;
    int rows_ = 0;
    int maxTop_ = 0;
};

TEST_F(EditScrollTest, TheBarTakesItsWidthFromTheTextOnlyWhenNeeded) {
    ASSERT_GT(maxTop_, 2);
    EXPECT_EQ(TextRect(edit_).right, 120 - 13 - 2);  // the bar, then the right margin
    HWND shortText = Make(u"Line 1", ES_MULTILINE | ES_READONLY | WS_VSCROLL, 120, kHeight);
    EXPECT_EQ(TextRect(shortText).right, 120 - 2);
    EXPECT_EQ(SendMessageW(shortText, EM_SCROLL, SB_LINEDOWN, 0), MAKELRESULT(0, TRUE));
    EXPECT_EQ(FirstVisible(shortText), 0);
}

TEST_F(EditScrollTest, TappingTheBarScrolls) {
    Tap(OnBar(kHeight - 3));  // the down arrow
    EXPECT_EQ(FirstVisible(edit_), 1);
    Tap(OnBar(kHeight - 16));  // the track below the thumb: a page less one line
    EXPECT_EQ(FirstVisible(edit_), 1 + rows_ - 1);
    Tap(OnBar(3));  // the up arrow
    EXPECT_EQ(FirstVisible(edit_), rows_ - 1);
    EXPECT_NE(GetFocus(), edit_);  // the bar scrolls without taking the focus

    // The thumb dragged to the bottom shows the end.
    SendMessageW(edit_, EM_LINESCROLL, 0, -100);
    EXPECT_EQ(FirstVisible(edit_), 0);
    platform::PostPointerDown(OnBar(13 + 2));
    platform::PostPointerMove(OnBar(kHeight + 40));
    platform::PostPointerUp(OnBar(kHeight + 40));
    platform::AdvanceClockAndPump(1000);
    EXPECT_EQ(FirstVisible(edit_), maxTop_);
    EXPECT_EQ(GetCapture(), nullptr);
}

TEST_F(EditScrollTest, MessagesAndKeysScrollAndTheLastLineCanBeRead) {
    EXPECT_EQ(SendMessageW(edit_, EM_SCROLL, SB_LINEDOWN, 0), MAKELRESULT(1, TRUE));
    EXPECT_EQ(SendMessageW(edit_, EM_SCROLL, SB_PAGEDOWN, 0), MAKELRESULT(rows_ - 1, TRUE));
    EXPECT_EQ(SendMessageW(edit_, EM_SCROLL, SB_LINEUP, 0), MAKELRESULT(0xFFFF, TRUE));
    EXPECT_EQ(SendMessageW(edit_, EM_SCROLL, SB_THUMBTRACK, 0), FALSE);
    EXPECT_EQ(FirstVisible(edit_), rows_ - 1);
    EXPECT_EQ(SendMessageW(edit_, EM_LINESCROLL, 0, 100), TRUE);
    EXPECT_EQ(FirstVisible(edit_), maxTop_);  // no further than the last page
    EXPECT_EQ(SendMessageW(edit_, EM_SCROLL, SB_PAGEDOWN, 0), MAKELRESULT(0, TRUE));

    platform::TextRecording recording;
    InvalidateRect(edit_, nullptr, TRUE);
    platform::PumpUntilIdle();
    std::vector<std::u16string> drawn;
    for (const auto& text : recording.Texts()) {
        drawn.push_back(text.text);
    }
    ASSERT_FALSE(drawn.empty());
    EXPECT_EQ(drawn.front(), u"Line " + Number(maxTop_ + 1));
    EXPECT_NE(std::find(drawn.begin(), drawn.end(), u"Line 20"), drawn.end());

    // Up and Down scroll text nobody edits, one line at a time.
    SetFocus(edit_);
    platform::PostKeyPress(VK_UP);
    platform::PostKeyPress(VK_UP);
    platform::PumpUntilIdle();
    EXPECT_EQ(FirstVisible(edit_), maxTop_ - 2);
    platform::PostKeyPress(VK_DOWN);
    platform::PumpUntilIdle();
    EXPECT_EQ(FirstVisible(edit_), maxTop_ - 1);
}

TEST_F(EditWrapTest, TheCaretStaysInView) {
    HWND edit = Make(u"", ES_MULTILINE | ES_WANTRETURN | WS_VSCROLL, 120, 3 * LineHeight() + 1);
    SetFocus(edit);
    for (int i = 0; i < 8; ++i) {
        SendMessageW(edit, WM_CHAR, u'a', 0);
        SendMessageW(edit, WM_CHAR, u'\r', 0);
    }
    EXPECT_EQ(SendMessageW(edit, EM_GETLINECOUNT, 0, 0), 9);
    EXPECT_EQ(FirstVisible(edit), 9 - 3);
    for (int i = 0; i < 8; ++i) {
        SendMessageW(edit, WM_KEYDOWN, VK_UP, 0);
    }
    EXPECT_EQ(SendMessageW(edit, EM_LINEFROMCHAR, static_cast<WPARAM>(-1), 0), 0);
    EXPECT_EQ(FirstVisible(edit), 0);

    // Scrolled away, the view comes back to the caret when typing.
    SendMessageW(edit, EM_LINESCROLL, 0, 5);
    EXPECT_EQ(FirstVisible(edit), 5);
    SendMessageW(edit, WM_CHAR, u'b', 0);
    EXPECT_EQ(FirstVisible(edit), 0);
}

TEST_F(EditWrapTest, EndKeepsTheCaretOnTheWrappedLine) {
    HWND edit = Make(u"alpha beta gamma delta epsilon zeta eta theta", ES_MULTILINE, 90, 100);
    auto lines = Lines(edit);
    ASSERT_GE(lines.size(), 3u);
    const auto secondStart = static_cast<LRESULT>(lines[0].size());
    SetFocus(edit);
    SendMessageW(edit, WM_KEYDOWN, VK_END, 0);
    // The end of the first line is the start of the second, but the caret belongs to
    // the first: Down goes to the second line, not the third.
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(secondStart, secondStart));
    EXPECT_EQ(SendMessageW(edit, EM_LINEINDEX, static_cast<WPARAM>(-1), 0), 0);
    SendMessageW(edit, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageW(edit, EM_LINEINDEX, static_cast<WPARAM>(-1), 0), secondStart);
    SendMessageW(edit, WM_KEYDOWN, VK_HOME, 0);
    EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELRESULT(secondStart, secondStart));
}

}  // namespace

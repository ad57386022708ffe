#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx_test_support.h"
#include "platform/afx/afx.h"

namespace {

class TestApp : public CWinApp {
  public:
    TestApp() : CWinApp(u"TestApp") {}
    bool openFrame = true;
    CString startWord;
    std::vector<std::string> log;

    BOOL InitInstance() override {
        CCommandLineInfo info;
        ParseCommandLine(info);
        startWord = info.m_strFileName;
        log.push_back("init");
        if (!openFrame)
            return FALSE;
        auto* frame = new CFrameWnd;
        if (!frame->Create(nullptr, u"App", WS_POPUP | WS_VISIBLE))
            return FALSE;
        m_pMainWnd = frame;
        EXPECT_EQ(AfxGetMainWnd(), frame);
        frame->PostMessage(WM_COMMAND, ID_APP_EXIT);
        return TRUE;
    }
    int ExitInstance() override {
        log.push_back("exit");
        return CWinApp::ExitInstance() + 20;
    }
};

class AppTest : public afx_testing::AfxTest {};

TEST_F(AppTest, AfxWinMainRunsTheApplicationUntilItsMainWindowCloses) {
    TestApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    WCHAR commandLine[] = u"/nowarning Search extra";
    EXPECT_EQ(AfxWinMain(nullptr, nullptr, commandLine, SW_SHOW), 20);
    EXPECT_EQ(app.log, (std::vector<std::string>{"init", "exit"}));
    EXPECT_EQ(app.startWord, u"Search");  // the first plain parameter; flags are skipped
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_NE(app.m_hInstance, nullptr);
}

TEST_F(AppTest, AFailedStartEndsWithoutAPumpAndTheAppGoesWithItsObject) {
    {
        TestApp app;
        app.openFrame = false;
        WCHAR commandLine[] = u"";
        PostMessageW(nullptr, WM_USER, 0, 0);  // would keep a pump busy
        EXPECT_EQ(AfxWinMain(nullptr, nullptr, commandLine, SW_SHOW), 20);
        EXPECT_EQ(app.log, (std::vector<std::string>{"init", "exit"}));
        EXPECT_TRUE(app.startWord.IsEmpty());
    }
    EXPECT_EQ(AfxGetApp(), nullptr);
    EXPECT_EQ(AfxGetMainWnd(), nullptr);
}

}  // namespace

namespace {

TEST_F(AppTest, TheWaitCursorIsCountedAndGivesBackTheCursorItReplaced) {
    HCURSOR arrow = LoadCursorW(nullptr, IDC_ARROW);
    SetCursor(arrow);
    CCmdTarget target;
    target.EndWaitCursor();  // unbalanced: nothing happens
    EXPECT_EQ(GetCursor(), arrow);
    {
        CWaitCursor wait;
        EXPECT_TRUE(platform::WaitCursorShown());
        target.BeginWaitCursor();
        target.EndWaitCursor();
        EXPECT_TRUE(platform::WaitCursorShown());  // the outer one still holds it
        SetCursor(arrow);                          // as a message box might
        wait.Restore();
        EXPECT_TRUE(platform::WaitCursorShown());
    }
    EXPECT_FALSE(platform::WaitCursorShown());
    EXPECT_EQ(GetCursor(), arrow);
}

}  // namespace

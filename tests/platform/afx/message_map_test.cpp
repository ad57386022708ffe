#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx_test_support.h"
#include "platform/afx/afx.h"

namespace {

using afx_testing::AfxTest;

std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

// A view that handles command 100 itself and the range 200-209.
class TestView : public CWnd {
  public:
    void OnViewCommand() { Log().push_back("view 100"); }
    void OnRange(UINT id) { Log().push_back("view range " + std::to_string(id)); }
    int OnCreate(LPCREATESTRUCT cs) {
        Log().push_back("view create");
        return CWnd::OnCreate(cs);
    }
    void OnLButtonDown(UINT, CPoint point) {
        Log().push_back("tap " + std::to_string(point.x) + "," + std::to_string(point.y));
    }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestView, CWnd)
ON_WM_CREATE()
ON_WM_LBUTTONDOWN()
ON_COMMAND(100, OnViewCommand)
ON_COMMAND_RANGE(200, 209, OnRange)
END_MESSAGE_MAP()

// A frame that also handles 100 (the view wins) and 101 (only the frame has it).
class TestFrame : public CFrameWnd {
  public:
    TestView view;
    int OnCreate(LPCREATESTRUCT cs) {
        if (CFrameWnd::OnCreate(cs) == -1)
            return -1;
        Log().push_back("frame create");
        if (!view.Create(nullptr, u"view", WS_VISIBLE, CRect(0, 0, 240, 300), this, 0xE900)) {
            return -1;
        }
        SetActiveView(&view);
        return 0;
    }
    void OnFrame100() { Log().push_back("frame 100"); }
    void OnFrame101() { Log().push_back("frame 101"); }
    LRESULT OnUser(WPARAM code, LPARAM) {
        Log().push_back("user " + std::to_string(code));
        return code == 4 ? 1 : 0;
    }
    void OnKeyDown(UINT key, UINT repeat, UINT) {
        Log().push_back("frame key " + std::to_string(key) + " x" + std::to_string(repeat));
    }
    ~TestFrame() override { Log().push_back("frame deleted"); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(TestFrame, CFrameWnd)
ON_WM_CREATE()
ON_WM_KEYDOWN()
ON_COMMAND(100, OnFrame100)
ON_COMMAND(101, OnFrame101)
ON_MESSAGE(WM_USER, OnUser)
END_MESSAGE_MAP()

class MessageMapTest : public AfxTest {
  protected:
    void SetUp() override {
        AfxTest::SetUp();
        Log().clear();
    }
};

TEST_F(MessageMapTest, CreationReachesOnCreateAndTheFrameRoutesCommandsToItsViewFirst) {
    auto* frame = new TestFrame;
    ASSERT_TRUE(frame->Create(nullptr, u"Frame", WS_POPUP | WS_VISIBLE, CRect(0, 0, 240, 320)));
    EXPECT_EQ(Log(), (std::vector<std::string>{"frame create", "view create"}));
    EXPECT_EQ(CWnd::FromHandlePermanent(frame->m_hWnd), frame);
    EXPECT_EQ(CWnd::FromHandlePermanent(frame->view.m_hWnd), &frame->view);
    Log().clear();

    frame->SendMessage(WM_COMMAND, 100);
    frame->SendMessage(WM_COMMAND, 101);
    frame->SendMessage(WM_COMMAND, 205);
    frame->SendMessage(WM_COMMAND, 210);  // outside the range: nobody
    EXPECT_EQ(Log(), (std::vector<std::string>{"view 100", "frame 101", "view range 205"}));
    Log().clear();

    // Without an active view the frame gets its own commands.
    frame->SetActiveView(nullptr);
    frame->SendMessage(WM_COMMAND, 100);
    frame->SendMessage(WM_COMMAND, 205);
    EXPECT_EQ(Log(), (std::vector<std::string>{"frame 100"}));

    EXPECT_EQ(frame->SendMessage(WM_USER, 4), 1);
    EXPECT_EQ(frame->SendMessage(WM_USER, 5), 0);

    // Posted input is unpacked into the handler's arguments.
    Log().clear();
    platform::PostTap(POINT{30, 40});
    platform::PumpUntilIdle();
    EXPECT_EQ(Log(), (std::vector<std::string>{"tap 30,40"}));

    // Destroying the window deletes the frame (it lives on the heap).
    HWND hwnd = frame->m_hWnd;
    Log().clear();
    ::DestroyWindow(hwnd);
    EXPECT_EQ(Log(), (std::vector<std::string>{"frame deleted"}));
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);
}

TEST_F(MessageMapTest, TheLibraryExitCommandClosesTheMainFrameThroughTheApplication) {
    CWinApp app(u"Test");
    auto* frame = new TestFrame;
    ASSERT_TRUE(frame->Create(nullptr, u"Frame", WS_POPUP | WS_VISIBLE, CRect(0, 0, 240, 320)));
    app.m_pMainWnd = frame;
    ::PostMessageW(frame->m_hWnd, WM_COMMAND, ID_APP_EXIT, 0);
    EXPECT_EQ(app.Run(), 0);  // the main window's destruction ends the pump
    EXPECT_EQ(app.m_pMainWnd, nullptr);
    EXPECT_EQ(Log().back(), "frame deleted");
}

// Chaining: a derived map adds to its base's and overrides one entry.
class BaseWnd : public CWnd {
  public:
    void OnTimer(UINT_PTR id) { Log().push_back("base timer " + std::to_string(id)); }
    void OnBase7() { Log().push_back("base 7"); }
    void OnBase8() { Log().push_back("base 8"); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(BaseWnd, CWnd)
ON_WM_TIMER()
ON_COMMAND(7, OnBase7)
ON_COMMAND(8, OnBase8)
END_MESSAGE_MAP()

class DerivedWnd : public BaseWnd {
  public:
    void OnDerived8() { Log().push_back("derived 8"); }
    void OnSize(UINT type, int cx, int cy) {
        Log().push_back("size " + std::to_string(type) + " " + std::to_string(cx) + "x" +
                        std::to_string(cy));
    }
    void OnNotifyClick(NMHDR*, LRESULT* result) {
        Log().push_back("notify");
        *result = 42;
    }
    void OnCtl(UINT id) { Log().push_back("control " + std::to_string(id)); }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(DerivedWnd, BaseWnd)
ON_COMMAND(8, OnDerived8)
ON_WM_SIZE()
ON_NOTIFY(static_cast<UINT>(-2), 55, OnNotifyClick)
ON_CONTROL_RANGE(3, 60, 69, OnCtl)
END_MESSAGE_MAP()

// The notification header as a control sends it.
struct TestNotify {
    HWND hwndFrom;
    UINT_PTR idFrom;
    UINT code;
};

TEST_F(MessageMapTest, DerivedMapsChainToTheirBaseAndNotificationsDispatch) {
    DerivedWnd wnd;
    ASSERT_TRUE(wnd.CreateEx(0, nullptr, u"w", WS_POPUP, CRect(0, 0, 100, 50), nullptr, 0));
    EXPECT_EQ(Log(), (std::vector<std::string>{"size 0 100x50"}));
    Log().clear();

    wnd.SendMessage(WM_COMMAND, 7);
    wnd.SendMessage(WM_COMMAND, 8);
    wnd.SendMessage(WM_TIMER, 3);
    EXPECT_EQ(Log(), (std::vector<std::string>{"base 7", "derived 8", "base timer 3"}));
    Log().clear();

    // WM_NOTIFY: matched by code and sender id; the handler sets the result.
    HWND sender = wnd.m_hWnd;
    TestNotify click{sender, 55, static_cast<UINT>(-2)};
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 55, reinterpret_cast<LPARAM>(&click)), 42);
    TestNotify other{sender, 56, static_cast<UINT>(-2)};
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 56, reinterpret_cast<LPARAM>(&other)), 0);
    TestNotify otherCode{sender, 55, static_cast<UINT>(-3)};
    EXPECT_EQ(wnd.SendMessage(WM_NOTIFY, 55, reinterpret_cast<LPARAM>(&otherCode)), 0);
    EXPECT_EQ(Log(), (std::vector<std::string>{"notify"}));
    Log().clear();

    // A control notification (code 3 from control 64) reaches the range; a menu
    // command with that id does not.
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(64, 3), reinterpret_cast<LPARAM>(sender));
    wnd.SendMessage(WM_COMMAND, MAKEWPARAM(64, 0), 0);
    EXPECT_EQ(Log(), (std::vector<std::string>{"control 64"}));
}

// PreTranslateMessage in the application's pump sees a key before it is dispatched.
class KeyEater : public CWnd {
  public:
    int eaten = 0;
    BOOL PreTranslateMessage(MSG* msg) override {
        if (msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
            ++eaten;
            return TRUE;
        }
        return CWnd::PreTranslateMessage(msg);
    }
};

// Logs the keys dispatched to it and closes the main window on Return.
class KeyLeaf : public CWnd {
  public:
    void OnKeyDown(UINT key, UINT, UINT) {
        Log().push_back("leaf key " + std::to_string(key));
        if (key == VK_RETURN)
            AfxGetMainWnd()->PostMessage(WM_CLOSE);
    }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(KeyLeaf, CWnd)
ON_WM_KEYDOWN()
END_MESSAGE_MAP()

TEST_F(MessageMapTest, ThePumpOffersMessagesToPreTranslateMessageUpTheParentChain) {
    CWinApp app(u"Test");
    auto* frame = new TestFrame;
    ASSERT_TRUE(frame->Create(nullptr, u"Frame", WS_POPUP | WS_VISIBLE, CRect(0, 0, 240, 320)));
    app.m_pMainWnd = frame;
    KeyEater eater;
    ASSERT_TRUE(eater.Create(nullptr, u"eater", WS_VISIBLE, CRect(0, 0, 10, 10), &frame->view, 1));
    // The focus is on a grandchild of the eater's: the key goes up the chain to it.
    KeyLeaf leaf;
    ASSERT_TRUE(leaf.Create(nullptr, u"leaf", WS_VISIBLE, CRect(0, 0, 5, 5), &eater, 2));
    leaf.SetFocus();
    Log().clear();

    platform::PostKeyPress(VK_ESCAPE);
    platform::PostKeyPress(VK_RETURN);
    EXPECT_EQ(app.Run(), 0);
    EXPECT_EQ(eater.eaten, 1);
    EXPECT_EQ(Log(), (std::vector<std::string>{"leaf key 13", "frame deleted"}));
}

TEST_F(MessageMapTest, LibraryClassesCarryThePrefixOtherProgramsLookFor) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = u"AfxTestMainCls";
    ASSERT_TRUE(AfxRegisterClass(&windowClass));
    EXPECT_TRUE(AfxRegisterClass(&windowClass));  // again: already there

    auto* frame = new TestFrame;
    ASSERT_TRUE(
        frame->Create(u"AfxTestMainCls", u"Main", WS_POPUP | WS_VISIBLE, CRect(0, 0, 240, 320)));
    WCHAR name[64];
    GetClassNameW(frame->m_hWnd, name, 64);
    EXPECT_EQ(std::u16string(name), u"WCE_AfxTestMainCls");
    EXPECT_EQ(FindWindowW(u"WCE_AfxTestMainCls", nullptr), frame->m_hWnd);
    EXPECT_EQ(FindWindowW(u"AfxTestMainCls", nullptr), nullptr);
    EXPECT_EQ(Log().front(), "frame create");  // WM_CREATE reached the frame

    // A class the program registered plainly is taken over the same way.
    WNDCLASSW plainClass{};
    plainClass.lpfnWndProc = DefWindowProcW;
    plainClass.lpszClassName = u"AfxTestPlainCls";
    RegisterClassW(&plainClass);  // once per process
    Log().clear();
    auto* plainFrame = new TestFrame;
    ASSERT_TRUE(plainFrame->Create(u"AfxTestPlainCls", u"Plain", WS_POPUP, CRect(0, 0, 10, 10)));
    EXPECT_EQ(Log().front(), "frame create");
    EXPECT_EQ(FindWindowW(u"WCE_AfxTestPlainCls", nullptr), plainFrame->m_hWnd);
    plainFrame->DestroyWindow();

    // A window of the class made without a CWnd runs the class's own procedure.
    HWND bare = CreateWindowExW(0, u"WCE_AfxTestMainCls", u"bare", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(bare, nullptr);
    EXPECT_EQ(CWnd::FromHandlePermanent(bare), nullptr);
    EXPECT_EQ(SendMessageW(bare, WM_GETTEXTLENGTH, 0, 0), 4);
    DestroyWindow(bare);
    frame->DestroyWindow();
}

TEST_F(MessageMapTest, AWindowOfAnotherClassIsSubclassedAndHandlesStayMapped) {
    // A plain window of the default procedure, attached after it was made.
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = u"AfxTestForeign";
    RegisterClassW(&windowClass);
    HWND hwnd = CreateWindowExW(0, u"AfxTestForeign", u"x", WS_POPUP, 0, 0, 60, 60, nullptr,
                                nullptr, nullptr, nullptr);
    ASSERT_NE(hwnd, nullptr);

    CWnd* temporary = CWnd::FromHandle(hwnd);
    EXPECT_EQ(CWnd::FromHandle(hwnd), temporary);
    EXPECT_EQ(CWnd::FromHandlePermanent(hwnd), nullptr);

    DerivedWnd wnd;
    ASSERT_TRUE(wnd.SubclassWindow(hwnd));
    EXPECT_FALSE(CWnd().Attach(hwnd));  // one CWnd per window
    EXPECT_EQ(CWnd::FromHandle(hwnd), &wnd);
    ::MoveWindow(hwnd, 0, 0, 30, 20, FALSE);
    EXPECT_EQ(Log().back(), "size 0 30x20");
    // Messages the map does not take go to the window's own procedure.
    wnd.SetWindowText(u"renamed");
    CString text;
    wnd.GetWindowText(text);
    EXPECT_EQ(text, u"renamed");

    EXPECT_EQ(wnd.UnsubclassWindow(), hwnd);
    Log().clear();
    ::MoveWindow(hwnd, 0, 0, 40, 20, FALSE);
    EXPECT_TRUE(Log().empty());
    DestroyWindow(hwnd);
}

class Refuser : public CWnd {
  public:
    int OnCreate(LPCREATESTRUCT) { return -1; }
    DECLARE_MESSAGE_MAP()
};
BEGIN_MESSAGE_MAP(Refuser, CWnd)
ON_WM_CREATE()
END_MESSAGE_MAP()

TEST_F(MessageMapTest, ACWndThatRefusesCreationIsNotLeftAttached) {
    Refuser wnd;
    EXPECT_FALSE(wnd.CreateEx(0, nullptr, u"no", WS_POPUP, CRect(0, 0, 10, 10), nullptr, 0));
    EXPECT_EQ(wnd.m_hWnd, nullptr);
}

}  // namespace

namespace {

TEST_F(MessageMapTest, CommandBarButtonsReachTheViewThroughTheFrame) {
    auto* frame = new TestFrame;
    ASSERT_TRUE(frame->Create(nullptr, u"Frame", WS_POPUP | WS_VISIBLE, CRect(0, 0, 240, 320)));
    CCommandBar bar;
    ASSERT_TRUE(bar.Create(frame));
    EXPECT_EQ(CWnd::FromHandlePermanent(bar.m_hWnd), &bar);
    EXPECT_GT(bar.Height(), 0);
    TBBUTTON button{};
    button.iBitmap = -1;
    button.idCommand = 205;
    button.fsState = TBSTATE_ENABLED;
    button.fsStyle = TBSTYLE_BUTTON;
    ASSERT_TRUE(bar.AddButtons(1, &button));
    // The view goes under the bar and keeps the rest of the frame.
    frame->RecalcLayout();
    CRect viewRect;
    frame->view.GetWindowRect(viewRect);
    EXPECT_EQ(viewRect, CRect(0, bar.Height(), 240, 320));
    RECT rect = platform::CommandBarButtonRect(bar.m_hWnd, 0);
    ASSERT_FALSE(IsRectEmpty(&rect));
    CPoint center((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
    bar.ClientToScreen(&center);
    Log().clear();
    platform::PostTap(center);
    platform::PumpUntilIdle();
    EXPECT_EQ(Log(), (std::vector<std::string>{"view range 205"}));
    frame->DestroyWindow();
}

}  // namespace

namespace {

// A frame as a program loads it: its own registered class, and a creation that can
// be refused.
class LoadedFrame : public CFrameWnd {
  public:
    static inline bool refuse = false;
    static inline int alive = 0;
    LoadedFrame() { ++alive; }
    ~LoadedFrame() override { --alive; }
    BOOL PreCreateWindow(CREATESTRUCT& cs) override {
        cs.lpszClass = u"LoadedFrameCls";
        return CFrameWnd::PreCreateWindow(cs);
    }
    int OnCreate(LPCREATESTRUCT cs) { return refuse ? -1 : CFrameWnd::OnCreate(cs); }

    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(LoadedFrame, CFrameWnd)
ON_WM_CREATE()
END_MESSAGE_MAP()

TEST_F(MessageMapTest, LoadFrameMakesAHiddenScreenSizedFrameOrLeavesNothingBehind) {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.lpszClassName = u"LoadedFrameCls";
    RegisterClassW(&windowClass);

    LoadedFrame::refuse = false;
    auto* frame = new LoadedFrame;
    ASSERT_TRUE(frame->LoadFrame(2000, FWS_ADDTOTITLE));
    HWND hwnd = frame->m_hWnd;
    EXPECT_EQ(FindWindowW(u"WCE_LoadedFrameCls", nullptr), hwnd);
    EXPECT_FALSE(IsWindowVisible(hwnd));
    EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & FWS_ADDTOTITLE, 0);
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.right - rect.left, 240);
    EXPECT_EQ(rect.bottom - rect.top, 320);
    frame->DestroyWindow();
    EXPECT_EQ(LoadedFrame::alive, 0);

    LoadedFrame::refuse = true;
    EXPECT_FALSE((new LoadedFrame)->LoadFrame(2000, FWS_ADDTOTITLE));
    EXPECT_EQ(LoadedFrame::alive, 0);
    EXPECT_EQ(FindWindowW(u"WCE_LoadedFrameCls", nullptr), nullptr);
    LoadedFrame::refuse = false;
}

}  // namespace

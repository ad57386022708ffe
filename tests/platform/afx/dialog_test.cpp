#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx_test_support.h"
#include "platform/afx/afx.h"

namespace {

constexpr WORD kTemplate = 3100;
constexpr int kEdit = 1001;
constexpr int kCheck = 1002;

void RegisterTestTemplate() {
    platform::DialogTemplate dialog;
    dialog.style = WS_POPUP | WS_CAPTION | DS_MODALFRAME | DS_SETFONT;
    dialog.cx = 120;
    dialog.cy = 80;
    dialog.caption = u"Test";
    platform::DialogItemTemplate edit;
    edit.className = u"EDIT";
    edit.id = kEdit;
    edit.style = WS_VISIBLE | WS_TABSTOP | WS_BORDER;
    edit.x = 5, edit.y = 5, edit.cx = 100, edit.cy = 12;
    platform::DialogItemTemplate check;
    check.className = u"BUTTON";
    check.text = u"Check";
    check.id = kCheck;
    check.style = WS_VISIBLE | WS_TABSTOP | BS_AUTOCHECKBOX;
    check.x = 5, check.y = 20, check.cx = 100, check.cy = 12;
    platform::DialogItemTemplate ok;
    ok.className = u"BUTTON";
    ok.text = u"OK";
    ok.id = IDOK;
    ok.style = WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON;
    ok.x = 5, ok.y = 60, ok.cx = 40, ok.cy = 15;
    dialog.items = {edit, check, ok};
    platform::RegisterDialogTemplate(nullptr, kTemplate, dialog);
}

enum class Start { Nothing, PostOk, EndAtOnce };

class TestDialog : public CDialog {
  public:
    explicit TestDialog(CWnd* parent = nullptr) : CDialog(kTemplate, parent) {}

    Start start = Start::Nothing;
    bool eatEscape = false;
    CString name = u"Main St";
    int number = 12;
    int checked = 1;
    std::vector<std::string> log;

    BOOL OnInitDialog() override {
        CDialog::OnInitDialog();
        log.push_back("init");
        if (start == Start::PostOk)
            PostMessage(WM_COMMAND, IDOK);
        if (start == Start::EndAtOnce)
            EndDialog(77);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        DDX_Text(dx, kEdit, name);
        DDX_Check(dx, kCheck, checked);
    }
    void OnCancel() override {
        log.push_back("cancel");
        CDialog::OnCancel();
    }
    BOOL PreTranslateMessage(MSG* msg) override {
        if (eatEscape && msg->message == WM_KEYDOWN && msg->wParam == VK_ESCAPE) {
            log.push_back("escape eaten");
            PostMessage(WM_COMMAND, IDOK);
            return TRUE;
        }
        return CDialog::PreTranslateMessage(msg);
    }
};

class DialogTest : public afx_testing::AfxTest {
  protected:
    void SetUp() override {
        AfxTest::SetUp();
        RegisterTestTemplate();
    }
};

TEST_F(DialogTest, APostedOkEndsDoModalAndSavesTheControlsData) {
    CWnd owner;
    ASSERT_TRUE(owner.CreateEx(0, nullptr, u"owner", WS_POPUP | WS_VISIBLE, CRect(0, 0, 240, 320),
                               nullptr, 0));
    TestDialog dialog(&owner);
    dialog.start = Start::PostOk;
    dialog.name = u"Elm Road";
    dialog.checked = 0;
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(dialog.log, (std::vector<std::string>{"init"}));
    // OnOK saved what OnInitDialog loaded.
    EXPECT_EQ(dialog.name, u"Elm Road");
    EXPECT_EQ(dialog.checked, 0);
    EXPECT_EQ(dialog.m_hWnd, nullptr);
    EXPECT_TRUE(owner.IsWindowEnabled());  // the owner is enabled again
}

TEST_F(DialogTest, EscapeCancelsThroughTheDialogKeysAndPreTranslateMessageCanStopIt) {
    TestDialog dialog;
    platform::PostKeyPress(VK_ESCAPE);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(dialog.log, (std::vector<std::string>{"init", "cancel"}));

    // A dialog that keeps Escape for itself is not cancelled by it.
    TestDialog keeper;
    keeper.eatEscape = true;
    platform::PostKeyPress(VK_ESCAPE);
    EXPECT_EQ(keeper.DoModal(), IDOK);
    EXPECT_EQ(keeper.log, (std::vector<std::string>{"init", "escape eaten"}));
}

TEST_F(DialogTest, EndDialogDuringInitialisationAndAMissingTemplate) {
    TestDialog dialog;
    dialog.start = Start::EndAtOnce;
    EXPECT_EQ(dialog.DoModal(), 77);
    EXPECT_EQ(dialog.m_hWnd, nullptr);

    CDialog missing(4999);
    EXPECT_EQ(missing.DoModal(), -1);
}

TEST_F(DialogTest, AQuitEndsTheModalLoopAndStaysForTheLoopOutside) {
    TestDialog dialog;
    PostQuitMessage(3);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    MSG msg;
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(DialogTest, ModelessDialogExchangesDataAndRejectsANonNumber) {
    class NumberDialog : public TestDialog {
      public:
        void DoDataExchange(CDataExchange* dx) override { DDX_Text(dx, kEdit, number); }
    };
    NumberDialog dialog;
    ASSERT_TRUE(dialog.Create(kTemplate));
    EXPECT_EQ(dialog.log, (std::vector<std::string>{"init"}));
    CString text;
    dialog.GetDlgItemText(kEdit, text);
    EXPECT_EQ(text, u"12");

    struct Case {
        const char16_t* text;
        bool valid;
        int value;
    } cases[] = {{u" -45 ", true, -45},
                 {u"12a", false, 0},
                 {u"", false, 0},
                 {u"99999999999", false, 0},
                 {u"2147483647", true, 2147483647}};
    for (const auto& c : cases) {
        dialog.number = -1;
        dialog.SetDlgItemText(kEdit, c.text);
        EXPECT_EQ(dialog.UpdateData(TRUE), c.valid ? TRUE : FALSE)
            << std::string(c.text, c.text + 3);
        EXPECT_EQ(dialog.number, c.valid ? c.value : -1);
    }
    dialog.DestroyWindow();
    EXPECT_EQ(dialog.m_hWnd, nullptr);
}

TEST_F(DialogTest, DdxControlAttachesTheControlOnce) {
    class ControlDialog : public TestDialog {
      public:
        CWnd edit;
        void DoDataExchange(CDataExchange* dx) override { DDX_Control(dx, kEdit, edit); }
    };
    ControlDialog dialog;
    ASSERT_TRUE(dialog.Create(kTemplate));
    ASSERT_NE(dialog.edit.m_hWnd, nullptr);
    EXPECT_EQ(dialog.edit.m_hWnd, ::GetDlgItem(dialog.m_hWnd, kEdit));
    EXPECT_EQ(CWnd::FromHandlePermanent(dialog.edit.m_hWnd), &dialog.edit);
    EXPECT_TRUE(dialog.UpdateData(TRUE));  // again: still the same window
    dialog.edit.SetWindowText(u"typed");
    CString text;
    dialog.GetDlgItemText(kEdit, text);
    EXPECT_EQ(text, u"typed");
    dialog.DestroyWindow();
    EXPECT_EQ(dialog.edit.m_hWnd, nullptr);
}

}  // namespace

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afx_test_support.h"
#include "platform/afx/afx.h"
#include "platform/user/tab_control.h"

namespace {

constexpr WORD kPageA = 3200;
constexpr WORD kPageB = 3201;

std::vector<std::string>& Log() {
    static std::vector<std::string> log;
    return log;
}

void RegisterPage(WORD id, short height) {
    platform::DialogTemplate page;
    page.style = WS_CHILD | DS_CONTROL | DS_SETFONT;
    page.cx = 150;
    page.cy = height;
    platform::DialogItemTemplate edit;
    edit.className = u"EDIT";
    edit.id = 1000;
    edit.style = WS_VISIBLE | WS_TABSTOP | WS_BORDER;
    edit.x = 5, edit.y = 5, edit.cx = 100, edit.cy = 12;
    page.items = {edit};
    platform::RegisterDialogTemplate(nullptr, id, page);
}

// Logs what the sheet asks of it; the hook runs when the page is shown.
class LoggingPage : public CPropertyPage {
  public:
    LoggingPage(WORD id, const char* name, const char16_t* title) : CPropertyPage(id), name_(name) {
        m_psp.dwFlags |= PSP_USETITLE;
        m_psp.pszTitle = title;
    }
    std::function<void(LoggingPage*)> onShown;

    BOOL OnInitDialog() override {
        Log().push_back(name_ + " init");
        return CPropertyPage::OnInitDialog();
    }
    BOOL OnSetActive() override {
        Log().push_back(name_ + " active");
        if (onShown)
            PostMessage(WM_APP);  // after the sheet is fully up
        return CPropertyPage::OnSetActive();
    }
    BOOL OnKillActive() override {
        Log().push_back(name_ + " kill");
        return CPropertyPage::OnKillActive();
    }
    void OnOK() override { Log().push_back(name_ + " ok"); }
    void OnCancel() override { Log().push_back(name_ + " cancel"); }
    LRESULT OnShown(WPARAM, LPARAM) {
        auto hook = std::move(onShown);
        onShown = nullptr;
        if (hook)
            hook(this);
        return 0;
    }

  private:
    std::string name_;
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(LoggingPage, CPropertyPage)
ON_MESSAGE(WM_APP, OnShown)
END_MESSAGE_MAP()

// Keeps Escape from closing the sheet, as a sheet may.
class EscapeProofSheet : public CPropertySheet {
  public:
    using CPropertySheet::CPropertySheet;
    BOOL PreTranslateMessage(MSG* msg) override {
        if ((msg->message == WM_KEYDOWN || msg->message == WM_KEYUP) && msg->wParam == VK_ESCAPE) {
            return FALSE;
        }
        return CPropertySheet::PreTranslateMessage(msg);
    }
};

class SheetTest : public afx_testing::AfxTest {
  protected:
    void SetUp() override {
        AfxTest::SetUp();
        RegisterPage(kPageA, 60);
        RegisterPage(kPageB, 90);
        Log().clear();
    }
};

TEST_F(SheetTest, TabsSwitchPagesAndApplyRunsEveryPagesOk) {
    LoggingPage a(kPageA, "A", u"First");
    LoggingPage b(kPageB, "B", u"Second");
    CPropertySheet sheet(u"Sheet");
    sheet.AddPage(&a);
    sheet.AddPage(&b);
    bool applyEnabledAfterChange = false;
    a.onShown = [&](LoggingPage*) {
        // Tap the second tab, whose left edge follows the first tab's width.
        CWnd* tabs = sheet.GetDlgItem(0x3020);  // the sheet's tab control
        ASSERT_NE(tabs, nullptr);
        EXPECT_EQ(tabs->SendMessage(TCM_GETITEMCOUNT), 2);
        CRect second;
        ASSERT_TRUE(tabs->SendMessage(TCM_GETITEMRECT, 1, reinterpret_cast<LPARAM>(&second)));
        CClientDC dc(tabs);
        dc.SelectObject(sheet.GetFont());
        EXPECT_EQ(second.left, dc.GetTextExtent(CString(u"First")).cx + 16);
        CPoint point(second.left + 4, 6);
        tabs->ClientToScreen(&point);
        platform::PostTap(point);
    };
    b.onShown = [&](LoggingPage* page) {
        EXPECT_EQ(sheet.GetActivePage(), page);
        EXPECT_FALSE(::IsWindowEnabled(::GetDlgItem(sheet.m_hWnd, ID_APPLY_NOW)));
        page->SetModified();
        applyEnabledAfterChange = ::IsWindowEnabled(::GetDlgItem(sheet.m_hWnd, ID_APPLY_NOW));
        EXPECT_FALSE(::IsWindowVisible(a.m_hWnd));
        EXPECT_TRUE(::IsWindowVisible(b.m_hWnd));
        platform::PostKeyPress(VK_RETURN);
    };
    EXPECT_EQ(sheet.DoModal(), IDOK);
    EXPECT_TRUE(applyEnabledAfterChange);
    EXPECT_EQ(Log(), (std::vector<std::string>{"A init", "B init", "A active", "A kill", "B active",
                                               "B kill", "A ok", "B ok"}));
    EXPECT_EQ(a.m_hWnd, nullptr);
    EXPECT_EQ(sheet.m_hWnd, nullptr);
}

TEST_F(SheetTest, TheLargestPageSetsTheSheetAndTheStartPageIsShown) {
    LoggingPage a(kPageA, "A", u"First");
    LoggingPage b(kPageB, "B", u"Second");
    CPropertySheet sheet(u"Sheet", nullptr, 1);
    sheet.AddPage(&a);
    sheet.AddPage(&b);
    b.onShown = [&](LoggingPage*) {
        CRect pageA, pageB, client;
        a.GetWindowRect(pageA);
        b.GetWindowRect(pageB);
        sheet.GetClientRect(client);
        EXPECT_GT(pageB.Height(), pageA.Height());
        EXPECT_GT(client.Height(), pageB.Height());
        EXPECT_EQ(sheet.GetActiveIndex(), 1);
        sheet.PressButton(PSBTN_CANCEL);
    };
    EXPECT_EQ(sheet.DoModal(), IDCANCEL);
    EXPECT_EQ(Log(),
              (std::vector<std::string>{"A init", "B init", "B active", "A cancel", "B cancel"}));
}

TEST_F(SheetTest, ASheetCanKeepEscapeFromClosingIt) {
    LoggingPage a(kPageA, "A", u"Only");
    EscapeProofSheet sheet(u"Sheet");
    sheet.AddPage(&a);
    platform::PostKeyPress(VK_ESCAPE);
    platform::PostKeyPress(VK_RETURN);
    EXPECT_EQ(sheet.DoModal(), IDOK);

    CPropertySheet plain(u"Plain");
    LoggingPage b(kPageB, "B", u"Only");
    plain.AddPage(&b);
    platform::PostKeyPress(VK_ESCAPE);
    EXPECT_EQ(plain.DoModal(), IDCANCEL);

    CPropertySheet empty(u"Empty");
    EXPECT_EQ(empty.DoModal(), -1);
}

}  // namespace

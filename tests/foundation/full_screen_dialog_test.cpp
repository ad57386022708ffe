// What the full-screen dialogs share: the keys each takes and where the others go,
// the window's name, the buttons' brush and faces, and radio groups.
#include "pathlume/foundation/full_screen_dialog.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/screen_background.h"
#include "platform/user/dialogs.h"
#include "screen_test_support.h"

namespace {

constexpr UINT kTemplateId = 3901;
constexpr WORD kButtonId = 3;

void RegisterTemplate() {
    platform::DialogTemplate box;
    box.style = WS_POPUP | DS_SETFONT;
    box.cx = 160;
    box.cy = 213;
    platform::DialogItemTemplate button;
    button.className = u"BUTTON";
    button.text = u"Go";
    button.id = kButtonId;
    button.style = WS_VISIBLE | WS_TABSTOP | BS_OWNERDRAW;
    button.x = 10;
    button.y = 180;
    button.cx = 40;
    button.cy = 15;
    box.items.push_back(button);
    platform::RegisterDialogTemplate(nullptr, kTemplateId, box);
}

class Screen : public CFullScreenDialog {
  public:
    Screen(CWnd* parent, TakenKeys taken, bool passKeysOn)
        : CFullScreenDialog(kTemplateId, parent, taken, passKeysOn) {}
    BOOL OnInitDialog() override {
        BeginScreen();
        SetFace(button, 367);
        FinishScreen();
        PostMessage(WM_APP);
        return TRUE;
    }
    void DoDataExchange(CDataExchange* dx) override {
        CDialog::DoDataExchange(dx);
        DDX_Control(dx, kButtonId, button);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_APP) {
            UpdateWindow();
            if (onShown)
                onShown(*this);
            return 0;
        }
        return CFullScreenDialog::WindowProc(message, wParam, lParam);
    }
    using CFullScreenDialog::OnCtlColor;

    CImageButton button;
    std::function<void(Screen&)> onShown;
};

class FullScreenDialogTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        RegisterTemplate();
    }
};

// Escape cancels, Home cancels and asks for the map; which other keys a screen takes
// from the dialog manager, and whether it passes them on to its parent or, without
// one, to the main view.
TEST_F(FullScreenDialogTest, EscapeHomeAndTheKeysPassedOn) {
    screen_testing::CommandParent parent;
    ASSERT_TRUE(parent.Make());
    screen_testing::WindowMainView view(parent.GetSafeHwnd());
    g_mainView.store(&view);

    for (const UINT key : {VK_ESCAPE, VK_HOME}) {
        g_homeKeyPressed.store(0);
        Screen screen(&parent, CFullScreenDialog::TakenKeys::kEscapeAndHome, true);
        screen.onShown = [key](Screen&) { platform::PostKeyPress(key); };
        EXPECT_EQ(screen.DoModal(), IDCANCEL);
        EXPECT_EQ(g_homeKeyPressed.load(), key == VK_HOME ? 1u : 0u);
    }

    struct Case {
        const char* label;
        CFullScreenDialog::TakenKeys taken;
        bool passOn;
        bool withParent;
        UINT key;
        bool arrives;
    };
    const Case cases[] = {
        {"passed to the parent", CFullScreenDialog::TakenKeys::kEscapeAndHome, true, true, VK_F1,
         true},
        {"passed to the main view", CFullScreenDialog::TakenKeys::kEscapeAndHome, true, false,
         VK_F1, true},
        {"kept by a screen that passes nothing", CFullScreenDialog::TakenKeys::kNavigation, false,
         true, VK_F1, false},
        {"an arrow taken from the dialog manager and passed",
         CFullScreenDialog::TakenKeys::kNavigation, true, true, VK_LEFT, true},
    };
    for (const Case& c : cases) {
        Screen screen(c.withParent ? &parent : nullptr, c.taken, c.passOn);
        screen.onShown = [&c](Screen& s) {
            MSG message{s.GetSafeHwnd(), WM_KEYDOWN, c.key, 0x00010001, 0, {}};
            if (!s.PreTranslateMessage(&message))
                s.SendMessage(WM_KEYDOWN, c.key, 0x00010001);
            s.EndDialog(IDOK);
        };
        EXPECT_EQ(screen.DoModal(), IDOK) << c.label;
        MSG message;
        EXPECT_EQ(PeekMessageW(&message, parent.GetSafeHwnd(), WM_KEYDOWN, WM_KEYDOWN, PM_REMOVE) !=
                      FALSE,
                  c.arrives)
            << c.label;
        if (c.arrives) {
            EXPECT_EQ(message.wParam, c.key) << c.label;
            EXPECT_EQ(message.lParam, 0x00010001) << c.label;
        }
    }
    g_mainView.store(nullptr);
}

// The window is named "Travona", covers the screen, its buttons get the dialog
// background brush, and an image button takes its face's size.
TEST_F(FullScreenDialogTest, NameSizeBrushAndFace) {
    Screen screen(nullptr, CFullScreenDialog::TakenKeys::kEscapeAndHome, false);
    screen.onShown = [](Screen& s) {
        CString name;
        s.GetWindowText(name);
        EXPECT_EQ(name.Str(), u"Travona");
        RECT client{};
        s.GetClientRect(&client);
        EXPECT_EQ(client.right, 240);
        EXPECT_GE(client.bottom, 268);
        EXPECT_EQ(s.OnCtlColor(nullptr, &s.button, CTLCOLOR_BTN), GetBackgroundBrush());
        CRect face;
        s.button.GetWindowRect(&face);
        EXPECT_EQ(face.Width(), 64);
        EXPECT_EQ(face.Height(), 26);
        s.EndDialog(IDOK);
    };
    EXPECT_EQ(screen.DoModal(), IDOK);
}

TEST_F(FullScreenDialogTest, RadioGroupsCheckOneButton) {
    screen_testing::CommandParent parent;
    ASSERT_TRUE(parent.Make());
    CMapButton a, b, c, outside;
    int id = 600;
    for (CMapButton* button : {&a, &b, &c, &outside}) {
        ASSERT_TRUE(button->Create(u"", WS_CHILD | WS_VISIBLE | BS_OWNERDRAW, CRect(0, 0, 20, 20),
                                   &parent, id++));
    }
    CheckRadioGroup({&a, &b, &c}, &b);
    EXPECT_EQ(CheckedButton({&a, &b, &c}), &b);
    EXPECT_TRUE(CheckRadioGroupById({&a, &b, &c}, 602));
    EXPECT_EQ(std::vector<int>({a.selected, b.selected, c.selected}), std::vector<int>({0, 0, 1}));
    // A button outside the group changes nothing.
    CheckRadioGroup({&a, &b, &c}, &outside);
    EXPECT_FALSE(CheckRadioGroupById({&a, &b, &c}, 603));
    EXPECT_EQ(CheckedButton({&a, &b, &c}), &c);
    CheckRadioGroup({&a, &b, &c}, nullptr);
    EXPECT_EQ(c.selected, 1);
}

}  // namespace

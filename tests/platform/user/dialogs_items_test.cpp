// Dialog items: text and numbers, buttons, and keyboard navigation in a modeless dialog.
#include <gtest/gtest.h>

#include "tests/platform/user/dialogs_test_support.h"

namespace {

using namespace user_testing;
using namespace dialog_testing;

class DialogsItemsTest : public DialogTest {
  protected:
    // Two radio groups and a few controls that cannot take the focus.
    static platform::DialogTemplate NavigationTemplate() {
        platform::DialogTemplate t;
        t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;
        t.cx = 150;
        t.cy = 120;
        const DWORD radio = WS_VISIBLE | BS_AUTORADIOBUTTON;
        t.items = {
            {u"BUTTON", u"km", 10, radio | WS_GROUP | WS_TABSTOP, 0, 4, 4, 60, 10},
            {u"BUTTON", u"miles", 11, radio, 0, 4, 16, 60, 10},
            {u"BUTTON", u"yards", 12, radio | WS_DISABLED, 0, 4, 28, 60, 10},
            {u"BUTTON", u"feet", 13, radio, 0, 4, 40, 60, 10},
            {u"BUTTON", u"day", 20, radio | WS_GROUP | WS_TABSTOP, 0, 70, 4, 60, 10},
            {u"BUTTON", u"night", 21, radio, 0, 70, 16, 60, 10},
            {u"STATIC", u"label", 30, WS_VISIBLE | WS_GROUP, 0, 4, 60, 60, 10},
            {u"BUTTON", u"hidden", 31, WS_TABSTOP, 0, 4, 72, 60, 10},
            {u"BUTTON", u"off", 32, WS_VISIBLE | WS_TABSTOP | WS_DISABLED, 0, 4, 84, 60, 10},
            {u"BUTTON", u"OK", IDOK, WS_VISIBLE | WS_TABSTOP | BS_DEFPUSHBUTTON, 0, 70, 96, 40, 14},
        };
        return t;
    }

    HWND MakeDialog(const platform::DialogTemplate& t) {
        platform::DialogTemplate copy = t;
        HWND dialog = CreateDialogIndirectParamW(nullptr, &copy, nullptr, ForwardingDialogProc, 0);
        EXPECT_NE(dialog, nullptr);
        PumpDialog(dialog);
        return dialog;
    }
};

TEST_F(DialogsItemsTest, ItemNumbersReadBackOnlyWhenTheWholeTextIsANumberThatFits) {
    platform::DialogTemplate t;
    t.style = WS_POPUP;
    t.cx = 100;
    t.cy = 40;
    t.items = {{u"STATIC", u"", 5, WS_VISIBLE, 0, 0, 0, 90, 10}};
    HWND dialog = MakeDialog(t);

    struct Case {
        const char16_t* text;
        BOOL isSigned;
        UINT value;
        BOOL translated;
    };
    const Case cases[] = {
        {u"42", FALSE, 42, TRUE},
        {u"  -17 ", TRUE, static_cast<UINT>(-17), TRUE},
        {u"-17", FALSE, 0, FALSE},
        {u"4294967295", FALSE, 4294967295u, TRUE},
        {u"4294967296", FALSE, 0, FALSE},
        {u"2147483648", TRUE, 0, FALSE},
        {u"-2147483648", TRUE, 0x80000000u, TRUE},
        {u"12a", FALSE, 0, FALSE},
        {u"", FALSE, 0, FALSE},
        {u"+", TRUE, 0, FALSE},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "case " << (&c - cases));
        ASSERT_TRUE(SetDlgItemTextW(dialog, 5, c.text));
        BOOL translated = !c.translated;
        EXPECT_EQ(GetDlgItemInt(dialog, 5, &translated, c.isSigned), c.value);
        EXPECT_EQ(translated, c.translated);
    }

    ASSERT_TRUE(SetDlgItemInt(dialog, 5, static_cast<UINT>(-250), TRUE));
    char16_t text[16];
    EXPECT_EQ(GetDlgItemTextW(dialog, 5, text, 16), 4u);
    EXPECT_EQ(std::u16string(text), u"-250");
    ASSERT_TRUE(SetDlgItemInt(dialog, 5, 4000000000u, FALSE));
    EXPECT_EQ(GetDlgItemTextW(dialog, 5, text, 16), 10u);
    // A missing item gives an empty text and no number.
    EXPECT_EQ(GetDlgItemTextW(dialog, 99, text, 16), 0u);
    EXPECT_EQ(text[0], 0);
    BOOL translated = TRUE;
    EXPECT_EQ(GetDlgItemInt(dialog, 99, &translated, FALSE), 0u);
    EXPECT_FALSE(translated);
    DestroyWindow(dialog);
}

TEST_F(DialogsItemsTest, RadioAndCheckButtonsAreSetThroughTheDialog) {
    HWND dialog = MakeDialog(NavigationTemplate());
    EXPECT_TRUE(CheckRadioButton(dialog, 10, 13, 11));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 10), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 11), static_cast<UINT>(BST_CHECKED));
    EXPECT_TRUE(CheckRadioButton(dialog, 10, 13, 13));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 11), static_cast<UINT>(BST_UNCHECKED));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 13), static_cast<UINT>(BST_CHECKED));
    // Outside the range nothing changes.
    EXPECT_TRUE(CheckDlgButton(dialog, 20, BST_CHECKED));
    EXPECT_TRUE(CheckRadioButton(dialog, 10, 13, 10));
    EXPECT_EQ(IsDlgButtonChecked(dialog, 20), static_cast<UINT>(BST_CHECKED));
    EXPECT_FALSE(CheckDlgButton(dialog, 99, BST_CHECKED));
    DestroyWindow(dialog);
}

TEST_F(DialogsItemsTest, TabAndGroupOrderSkipControlsThatCannotTakeTheFocus) {
    HWND dialog = MakeDialog(NavigationTemplate());
    auto id = [](HWND hwnd) { return hwnd ? GetDlgCtrlID(hwnd) : -1; };
    auto item = [&](int i) { return GetDlgItem(dialog, i); };
    // Tab stops: km, day, OK (hidden and disabled ones skipped), wrapping both ways.
    EXPECT_EQ(id(GetNextDlgTabItem(dialog, nullptr, FALSE)), 10);
    EXPECT_EQ(id(GetNextDlgTabItem(dialog, item(10), FALSE)), 20);
    EXPECT_EQ(id(GetNextDlgTabItem(dialog, item(20), FALSE)), IDOK);
    EXPECT_EQ(id(GetNextDlgTabItem(dialog, item(IDOK), FALSE)), 10);
    EXPECT_EQ(id(GetNextDlgTabItem(dialog, item(10), TRUE)), IDOK);
    // Group: km, miles, (yards disabled), feet, wrapping within the group.
    EXPECT_EQ(id(GetNextDlgGroupItem(dialog, item(11), FALSE)), 13);
    EXPECT_EQ(id(GetNextDlgGroupItem(dialog, item(13), FALSE)), 10);
    EXPECT_EQ(id(GetNextDlgGroupItem(dialog, item(10), TRUE)), 13);
    EXPECT_EQ(id(GetNextDlgGroupItem(dialog, item(21), FALSE)), 20);

    // The keys do the same through IsDialogMessageW; an arrow onto a radio button checks it.
    EXPECT_EQ(id(GetFocus()), 10);
    platform::PostKeyPress(VK_DOWN);
    PumpDialog(dialog);
    EXPECT_EQ(id(GetFocus()), 11);
    EXPECT_EQ(IsDlgButtonChecked(dialog, 11), static_cast<UINT>(BST_CHECKED));
    platform::PostKeyPress(VK_DOWN);
    PumpDialog(dialog);
    EXPECT_EQ(id(GetFocus()), 13);
    platform::PostKeyPress(VK_TAB);
    PumpDialog(dialog);
    EXPECT_EQ(id(GetFocus()), 20);
    platform::PostKeyDown(VK_SHIFT);
    platform::PostKeyPress(VK_TAB);
    platform::PostKeyUp(VK_SHIFT);
    PumpDialog(dialog);
    EXPECT_EQ(id(GetFocus()), 10);
    DestroyWindow(dialog);
}

TEST_F(DialogsItemsTest, TabFromAComboBoxsFieldGoesOnFromTheComboBox) {
    platform::DialogTemplate t;
    t.style = WS_POPUP | WS_VISIBLE | DS_SETFONT;
    t.cx = 150;
    t.cy = 60;
    t.items = {
        platform::DialogItem(u"EDIT", u"", 10, WS_VISIBLE | WS_TABSTOP, 4, 4, 60, 12),
        platform::DialogItem(u"COMBOBOX", u"", 11, WS_VISIBLE | WS_TABSTOP | CBS_DROPDOWN, 4, 20,
                             60, 40),
        platform::DialogItem(u"EDIT", u"", 12, WS_VISIBLE | WS_TABSTOP, 70, 4, 60, 12),
    };
    HWND dialog = MakeDialog(t);
    HWND combo = GetDlgItem(dialog, 11);
    SetFocus(combo);
    PumpDialog(dialog);
    ASSERT_NE(GetFocus(), combo) << "the focus is in the combo box's field";
    ASSERT_TRUE(IsChild(combo, GetFocus()));
    auto id = [](HWND hwnd) { return hwnd ? GetDlgCtrlID(hwnd) : -1; };
    EXPECT_EQ(id(GetNextDlgTabItem(dialog, GetFocus(), FALSE)), 12);
    EXPECT_EQ(id(GetNextDlgTabItem(dialog, GetFocus(), TRUE)), 10);
    platform::PostKeyPress(VK_TAB);
    PumpDialog(dialog);
    EXPECT_EQ(id(GetFocus()), 12);
    DestroyWindow(dialog);
}

TEST_F(DialogsItemsTest, TheDialogRemembersItsFocusAcrossActivation) {
    HWND dialog = MakeDialog(NavigationTemplate());
    SetFocus(GetDlgItem(dialog, 20));
    HWND other = MakeTopLevel({0, 0, 50, 50});
    SetActiveWindow(other);
    PumpDialog(dialog);
    EXPECT_EQ(GetActiveWindow(), other);
    SetActiveWindow(dialog);
    PumpDialog(dialog);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), 20);
    DestroyWindow(dialog);
}

}  // namespace

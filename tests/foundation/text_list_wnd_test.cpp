// The list window, headless: the filter's rows and match colours, deleting, taps,
// the page, type-ahead over a thousand sorted street names, the scroll bar's codes,
// notifications, and a golden picture of a filtered list with a selection.
#include "pathlume/foundation/text_list_wnd.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "pathlume/foundation/heap.h"
#include "pathlume/foundation/name_text.h"
#include "pathlume/foundation/screen_draw.h"
#include "platform/kernel/text.h"
#include "screen_test_support.h"

namespace {

constexpr UINT kListId = 31;
constexpr int kRowHeight = 26;
constexpr UINT kReleaseMessage = WM_APP + 5;

// A screen that keeps the commands and release notices it is posted.
class ListParent : public screen_testing::CommandParent {
  public:
    int releases = 0;

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == kReleaseMessage) {
            ++releases;
            return 0;
        }
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

std::string Text(void* item) {
    return item ? static_cast<const char*>(item) : "<null>";
}

std::string Key(const std::string& text) {
    std::string key(text.size() + 1, '\0');
    MakeSearchKey(text.c_str(), key.data());
    key.resize(std::strlen(key.c_str()));
    return key;
}

// A thousand street names, sorted as the lists hold them.
std::vector<std::string> SortedStreetNames() {
    const char* const first[] = {
        "Acorn",    "Bay",      "Bayview",  "Birch",      "Cedar",   "Cherry",   "Church",
        "Dogwood",  "Elm",      "Fairview", "Forest",     "Garden",  "Glen",     "Hickory",
        "Hill",     "Holly",    "Lake",     "Lakeview",   "Laurel",  "Lincoln",  "Madison",
        "Magnolia", "Mahogany", "Maiden",   "Main",       "Maine",   "Mainland", "Maple",
        "Meadow",   "Mill",     "Oak",      "Old-Main",   "Orchard", "Park",     "Pine",
        "Pleasant", "Poplar",   "Ridge",    "River",      "Spring",  "Spruce",   "Sunset",
        "Sycamore", "Valley",   "Walnut",   "Washington", "Willow",  "Wood",     "Woodland",
        "Yew"};
    const char* const type[] = {"Ave",  "Blvd", "Cir", "Ct",   "Dr",  "Ln",  "Loop",
                                "Pass", "Pkwy", "Pl",  "Rd",   "Row", "Run", "Sq",
                                "St",   "Ter",  "Trl", "Walk", "Way", "Xing"};
    std::vector<std::string> names;
    for (const char* f : first) {
        for (const char* t : type)
            names.push_back(std::string(f) + " " + t);
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return CompareNoCase(a.c_str(), b.c_str(), -1) < 0;
    });
    return names;
}

class TextListTest : public screen_testing::ScreenTest {
  protected:
    void SetUp() override {
        ScreenTest::SetUp();
        ASSERT_TRUE(parent.Make());
        list.reset(new CTextListWnd);
    }
    void TearDown() override {
        list.reset();
        parent.DestroyWindow();
        ScreenTest::TearDown();
    }
    // The list over the whole parent, with the bold 14 font and 26-pixel rows.
    void Make(DWORD style, const std::vector<std::string>& names) {
        ASSERT_TRUE(list->Create(style, CRect(0, 0, 240, 320), &parent, kListId));
        list->listFont = static_cast<HFONT>(g_fontBold14.GetSafeHandle());
        list->SetRowHeight(kRowHeight);
        for (const std::string& name : names)
            list->AddItem(name.c_str(), 0);
        platform::PumpUntilIdle();
    }
    static POINT OnRow(int row) { return POINT{60, 1 + row * kRowHeight + kRowHeight / 2}; }
    void Scroll(UINT code) {
        list->SendMessage(WM_VSCROLL, MAKEWPARAM(code, 0), 0);
        platform::PumpUntilIdle();
    }

    ListParent parent;
    std::unique_ptr<CTextListWnd> list;
};

TEST_F(TextListTest, TheFilterShowsMatchingRowsWithTheMatchInColour) {
    Make(WS_VSCROLL, {"Elm St", "Main St (North)", "Oak Ave", "Old-Main Rd"});
    list->SetSelection(1, FALSE, FALSE);
    platform::TextRecording recording;
    list->SetFilter("main");
    platform::PumpUntilIdle();

    std::vector<std::pair<std::u16string, COLORREF>> drawn;
    for (const platform::DrawnText& text : recording.Texts()) {
        if (text.window == list->GetSafeHwnd())
            drawn.push_back({text.text, text.color});
    }
    const COLORREF white = RGB(255, 255, 255);
    const COLORREF black = RGB(0, 0, 0);
    const std::vector<std::pair<std::u16string, COLORREF>> expected = {
        {u"Main", CTextListWnd::kSelectedMatchColour}, {u" St (North)", white}, {u"Old-", black},
        {u"Main", CTextListWnd::kMatchColour},         {u" Rd", black},
    };
    EXPECT_EQ(drawn, expected);

    // The pixels: the selected band, and dark red in the second row's text only.
    HDC screen = GetDC(nullptr);
    EXPECT_EQ(GetPixel(screen, 200, OnRow(0).y), GetSysColor(COLOR_HIGHLIGHT));
    auto darkRedIn = [&](int row) {
        int count = 0;
        for (int y = 1 + row * kRowHeight; y < 1 + (row + 1) * kRowHeight; ++y) {
            for (int x = 1; x < 150; ++x) {
                const COLORREF c = GetPixel(screen, x, y);
                count += GetRValue(c) > 140 && GetGValue(c) < 60 && GetBValue(c) < 60;
            }
        }
        return count;
    };
    EXPECT_EQ(darkRedIn(0), 0);
    EXPECT_GT(darkRedIn(1), 10);
    EXPECT_EQ(darkRedIn(2), 0);
    ReleaseDC(nullptr, screen);

    EXPECT_TRUE(list->Matches(3));
    EXPECT_FALSE(list->Matches(2));
    list->SetFilter(nullptr);
    EXPECT_TRUE(list->Matches(2));
}

// An item longer than a row's 511 characters is drawn cut, not as an empty row.
TEST_F(TextListTest, ALongItemIsDrawnCut) {
    const std::string longName = "Avinguda " + std::string(600, 'x');
    platform::TextRecording recording;
    Make(0, {longName, "Elm St"});
    std::vector<std::u16string> drawn;
    for (const platform::DrawnText& text : recording.Texts())
        if (text.window == list->GetSafeHwnd())
            drawn.push_back(text.text);
    ASSERT_EQ(drawn.size(), 2u);
    EXPECT_EQ(drawn[0], platform::Utf8ToWide(longName.substr(0, CTextListWnd::kMaxItemBytes - 1)));
    EXPECT_EQ(drawn[1], u"Elm St");
}

TEST_F(TextListTest, ItemsAddGetDeleteAndTheSelectionFollows) {
    Make(WS_VSCROLL, {"A St", "B St", "C St", "D St"});
    EXPECT_EQ(list->GetItem(list->GetCount()), nullptr);
    EXPECT_EQ(list->GetItem(-1), nullptr);
    EXPECT_EQ(Text(list->GetItem(3)), "D St");

    list->SetSelection(3, FALSE, FALSE);
    EXPECT_EQ(list->DeleteItem(3), 3);
    EXPECT_EQ(list->selection, 2);  // the new last item
    // Deleting before the selection keeps the selected item selected.
    EXPECT_EQ(list->DeleteItem(0), 2);
    EXPECT_EQ(Text(list->GetSelectedItem()), "C St");
    EXPECT_EQ(list->DeleteItem(7), 2);

    // Owned items are copies; other items are the owner's pointers.
    char text[] = "E St";
    list->AddItem(text, 0);
    text[0] = 'X';
    EXPECT_EQ(Text(list->GetItem(2)), "E St");
    list->SetItemText(2, "F St", TRUE);
    EXPECT_EQ(Text(list->GetItem(2)), "F St");
    // A wide text longer than an item holds is cut.
    list->AddStringW(std::u16string(600, u'W').c_str());
    EXPECT_EQ(Text(list->GetItem(3)).size(), 511u);
    list->AddStringW(u"Stra\u00dfe");
    EXPECT_EQ(Text(list->GetItem(4)),
              "Stra\xdf"
              "e");

    CTextListWnd borrowed;
    borrowed.ownsItems = 0;
    const char* mine = "G St";
    borrowed.AddItem(mine, 0);
    EXPECT_EQ(borrowed.GetItem(0), mine);
}

TEST_F(TextListTest, TheListLivesOnTheProgramHeap) {
    const BYTE* base = g_heap.ReservationBase();
    const auto* at = reinterpret_cast<const BYTE*>(list.get());
    EXPECT_GE(at, base);
    EXPECT_LT(at, base + g_heap.ReservedSize());
}

TEST_F(TextListTest, RowsPerPageAndRowHeight) {
    Make(WS_VSCROLL, {"A St"});
    RECT client{};
    list->GetClientRect(&client);
    EXPECT_EQ(client.bottom, 320);
    EXPECT_EQ(list->rowsPerPage, 12);
    // A height of 0 would divide by zero at the next tap.
    list->SetRowHeight(0);
    EXPECT_EQ(list->rowHeight, 1);
    platform::PostTap(POINT{60, 0 + 1});
    platform::PumpUntilIdle();
    EXPECT_EQ(list->selection, 0);

    // Without a row height the font's gives it: its magnitude plus 3.
    CTextListWnd measured;
    ASSERT_TRUE(measured.Create(0, CRect(0, 0, 100, 100), &parent, kListId + 1));
    measured.AddItem("A", 0);
    measured.UpdateWindow();
    platform::PumpUntilIdle();
    LOGFONTW font{};
    GetObjectW(measured.fallbackFont1.GetSafeHandle(), sizeof font, &font);
    EXPECT_EQ(measured.rowHeight, std::abs(static_cast<int>(font.lfHeight)) + 3);
}

TEST_F(TextListTest, TapsSelectRowsAndTellTheParent) {
    Make(WS_VSCROLL | CTextListWnd::kNotifyStyle, {"A St", "B St", "C St"});
    list->SetReleaseNotification(kReleaseMessage, 0, 0);
    platform::PostTap(OnRow(1));
    platform::PumpUntilIdle();
    EXPECT_EQ(list->selection, 1);
    ASSERT_EQ(parent.commands.size(), 1u);
    EXPECT_EQ(parent.commands[0].wParam, WPARAM{kListId | 1u << 16});
    EXPECT_EQ(parent.commands[0].lParam, reinterpret_cast<LPARAM>(list->GetSafeHwnd()));
    EXPECT_EQ(parent.releases, 1);

    // Below the last row: nothing changes, nobody is told.
    platform::PostTap(OnRow(5));
    platform::PumpUntilIdle();
    EXPECT_EQ(list->selection, 1);
    EXPECT_EQ(parent.commands.size(), 1u);
    EXPECT_EQ(parent.releases, 1);

    // With a filter the rows are the matching items.
    list->SetFilter("C");
    platform::PostTap(OnRow(0));
    platform::PumpUntilIdle();
    EXPECT_EQ(list->selection, 2);
}

TEST_F(TextListTest, TypeAheadNarrowsAndWidensOverSortedNames) {
    const std::vector<std::string> names = SortedStreetNames();
    ASSERT_EQ(names.size(), 1000u);
    Make(WS_VSCROLL, names);
    // The first name beginning with the typed text's key, or containing it.
    auto firstWith = [&](const std::string& typed, bool beginning) {
        const std::string key = Key(typed);
        for (size_t i = 0; i < names.size(); ++i) {
            const size_t at = Key(names[i]).find(key);
            if (beginning ? at == 0 : at != std::string::npos)
                return static_cast<int>(i);
        }
        return -1;
    };
    for (const char* typed : {"m", "ma", "mai", "main", "maine", "mai", "ma", "map", "mapl"}) {
        SCOPED_TRACE(typed);
        EXPECT_EQ(list->FindTyped(typed, FALSE), firstWith(typed, true));
        for (int i : {0, 500, 999})
            EXPECT_EQ(list->Matches(i), Key(names[i]).find(Key(typed)) != std::string::npos);
    }
    // Only inside names: the first containing one.
    EXPECT_EQ(list->FindTyped("view", FALSE), firstWith("view", false));
    EXPECT_EQ(list->FindTyped("old main", FALSE), firstWith("old-main", true));
    // Nothing matches: the selection stays.
    const int before = list->selection;
    EXPECT_EQ(list->FindTyped("qqq", FALSE), before);
    // Nothing typed: no filter, the first item.
    EXPECT_EQ(list->FindTyped("", FALSE), 0);
    EXPECT_EQ(list->filter, nullptr);
}

TEST_F(TextListTest, TypeAheadAfterDeletesChecksTheLastMatch) {
    Make(WS_VSCROLL, SortedStreetNames());
    const int found = list->FindTyped("yew", FALSE);
    ASSERT_GE(found, 980);
    EXPECT_EQ(list->lastMatch, found);
    while (list->GetCount() > 900)
        list->DeleteItem(list->GetCount() - 1);
    EXPECT_EQ(list->selection, 899);
    // The last match lies past the end: it is not read; nothing left matches.
    EXPECT_EQ(list->FindTyped("yew r", FALSE), 899);
    EXPECT_EQ(Text(list->GetItem(list->FindTyped("walnut", FALSE))), "Walnut Ave");
    // The Wood streets were deleted: the first name containing the text.
    EXPECT_EQ(Text(list->GetItem(list->FindTyped("wood", FALSE))), "Dogwood Ave");
}

TEST_F(TextListTest, TheScrollBarsCodesMoveTheSelection) {
    std::vector<std::string> names;
    for (int i = 0; i < 100; ++i)
        names.push_back("Road " + std::to_string(1000 + i));
    Make(WS_VSCROLL, names);
    struct Step {
        UINT code;
        int selection;
        int top;
    };
    // 12 rows a page; paging moves a whole page.
    const Step steps[] = {
        {SB_LINEDOWN, 1, 0}, {SB_PAGEDOWN, 12, 12}, {SB_PAGEDOWN, 24, 24}, {SB_LINEUP, 23, 23},
        {SB_PAGEUP, 11, 11}, {SB_PAGEUP, 0, 0},     {SB_PAGEUP, 0, 0},     {SB_ENDSCROLL, 0, 0},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(testing::Message() << step.code << " to " << step.selection);
        Scroll(step.code);
        EXPECT_EQ(list->selection, step.selection);
        EXPECT_EQ(list->topIndex, step.top);
        EXPECT_EQ(GetScrollPos(list->GetSafeHwnd(), SB_VERT), step.top);
    }
    // Past the page's last row the list scrolls with the selection.
    list->SetSelection(11, FALSE, FALSE);
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(list->selection, 12);
    EXPECT_EQ(list->topIndex, 1);
    // The thumb: its position is the new top and selection; the end is ignored.
    SetScrollPos(list->GetSafeHwnd(), SB_VERT, 50, FALSE);
    Scroll(SB_THUMBPOSITION);
    EXPECT_EQ(list->selection, 50);
    EXPECT_EQ(list->topIndex, 50);
    SetScrollPos(list->GetSafeHwnd(), SB_VERT, 100, FALSE);
    Scroll(SB_THUMBTRACK);
    EXPECT_EQ(list->selection, 50);

    // With a filter, moves land on matching items: 1005, 1015, ..., 1045, 1050-1059...
    list->SetSelection(0, FALSE, FALSE);
    list->SetFilter("5");
    Scroll(SB_LINEDOWN);
    EXPECT_EQ(Text(list->GetSelectedItem()), "Road 1005");
    Scroll(SB_PAGEDOWN);  // the twelfth matching row after the top
    EXPECT_EQ(Text(list->GetSelectedItem()), "Road 1056");
    EXPECT_EQ(list->topIndex, 56);
}

TEST_F(TextListTest, TapsOnTheWindowsScrollBarMoveTheList) {
    std::vector<std::string> names;
    for (int i = 0; i < 40; ++i)
        names.push_back("Road " + std::to_string(1000 + i));
    Make(WS_VSCROLL | CTextListWnd::kNotifyStyle, names);
    const int bar = GetSystemMetrics(SM_CXVSCROLL);
    platform::PostTap(POINT{240 - bar / 2, 320 - 2});  // the down arrow
    platform::PumpUntilIdle();
    EXPECT_EQ(list->selection, 1);
    platform::PostTap(POINT{240 - bar / 2, 300 - bar});  // the track below the thumb
    platform::PumpUntilIdle();
    EXPECT_EQ(list->selection, 12);
    EXPECT_EQ(list->topIndex, 12);
    ASSERT_FALSE(parent.commands.empty());
    EXPECT_EQ(HIWORD(parent.commands.back().wParam), CTextListWnd::kSelectionNotification);
}

TEST_F(TextListTest, GoldenFilteredListWithASelection) {
    Make(WS_VSCROLL, SortedStreetNames());
    list->FindTyped("main", FALSE);
    list->SelectNext();
    list->SelectNext();
    platform::PumpUntilIdle();
    EXPECT_TRUE(screen_testing::ScreenMatchesGolden("text_list"));
}

}  // namespace

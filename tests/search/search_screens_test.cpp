// The destination screens headless on the search maps: their answers, keys, taps on
// the drawn keyboard, the list narrowing, the scroll buttons, and the messages.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/search/city_entry_dlg.h"
#include "pathlume/search/destination_chains.h"
#include "pathlume/search/favorite_name_dlg.h"
#include "pathlume/search/house_number_dlg.h"
#include "pathlume/search/input_method_dlg.h"
#include "pathlume/search/region_entry_dlg.h"
#include "pathlume/search/set_destination_dlg.h"
#include "pathlume/search/street_entry_dlg.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "tests/search/search_screen_test.h"

namespace search_test {
namespace {

// A window behind the screens that keeps the keys posted to it.
class KeyKeeper : public CWnd {
  public:
    std::vector<UINT> keys;
    BOOL Make() {
        return CreateEx(0, AfxRegisterWndClass(0), u"", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr);
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_KEYDOWN)
            keys.push_back(static_cast<UINT>(wParam));
        return CWnd::WindowProc(message, wParam, lParam);
    }
};

class DetourRouter final : public IDestinationRouter {
  public:
    BOOL IsDetourActive() override { return TRUE; }
    int RouteTo(DestRecord&) override { return 1; }
};

using ScreensTest = SearchScreenTest;

TEST_F(ScreensTest, SetDestinationAnswersItsButtonsAndHomeMarksTheFlow) {
    struct Case {
        const char* label;
        std::function<void(Scripted<CSetDestinationDlg>&)> act;
        INT_PTR result;
        DWORD home;
    };
    const Case cases[] = {
        {"Address", [](auto& d) { TapOn(d.m_buttons[0]); }, kButtonAddress, 0},
        {"Contacts", [](auto& d) { TapOn(d.m_buttons[4]); }, kButtonContacts, 0},
        {"Recent", [](auto& d) { TapOn(d.m_buttons[6]); }, kButtonRecent, 0},
        {"close", [](auto& d) { TapOn(d.m_buttons[7]); }, IDCANCEL, 0},
        {"Escape", [](auto&) { platform::PostKeyPress(VK_ESCAPE); }, IDCANCEL, 0},
        {"Home", [](auto&) { platform::PostKeyPress(VK_HOME); }, IDCANCEL, 1},
    };
    for (const Case& c : cases) {
        g_homeKeyPressed.store(0);
        Scripted<CSetDestinationDlg> screen(nullptr);
        EXPECT_EQ(screen.Run({c.act}), c.result) << c.label;
        EXPECT_EQ(g_homeKeyPressed.load(), c.home) << c.label;
    }
}

TEST_F(ScreensTest, SetDestinationTitleFollowsTheDetourAndOtherKeysReachTheWindowBehind) {
    KeyKeeper behind;
    ASSERT_TRUE(behind.Make());
    for (const bool detour : {false, true}) {
        DetourRouter router;
        SetDestinationRouter(detour ? &router : nullptr);
        platform::TextRecording recording;
        Scripted<CSetDestinationDlg> screen(&behind);
        screen.Run({[](auto&) { platform::PostKeyPress(VK_LEFT); },
                    [](auto& d) { d.EndDialog(IDCANCEL); }});
        const std::u16string drawn = DrawnTexts(recording);
        EXPECT_NE(drawn.find(detour ? u"Set Stopover" : u"Set Destination"), std::u16string::npos)
            << platform::WideToUtf8(drawn);
        SetDestinationRouter(nullptr);
    }
    platform::PumpUntilIdle();
    EXPECT_EQ(behind.keys, (std::vector<UINT>{VK_LEFT, VK_LEFT}));
}

TEST_F(ScreensTest, InputMethodShowsTheRegionAndAnswersItsButtons) {
    platform::TextRecording recording;
    Scripted<CInputMethodDlg> screen(nullptr, static_cast<uint8_t>(RegionIndex("ALPHA BETA")));
    EXPECT_EQ(screen.Run({[](auto& d) { TapOn(d.m_cityFirst); }}), kButtonCityFirst);
    EXPECT_NE(DrawnTexts(recording).find(u"ALPHA BETA (AB)"), std::u16string::npos);
    // No label for a region beyond the index.
    recording.Clear();
    g_homeKeyPressed.store(0);
    Scripted<CInputMethodDlg> none(nullptr, 200);
    EXPECT_EQ(none.Run({[](auto&) { platform::PostKeyPress(VK_HOME); }}), IDCANCEL);
    EXPECT_EQ(DrawnTexts(recording).find(u"("), std::u16string::npos);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
}

// The rectangle of the key that types `c` on the letters page.
RECT KeyFor(KeyboardEntryDlg& screen, uint8_t code) {
    const KeyLayout& layout = screen.CurrentLayout();
    for (int cell = 0; cell < kKeyCells; ++cell) {
        if (layout[static_cast<size_t>(cell)] == code)
            return screen.m_grid.KeyRect(layout, cell);
    }
    ADD_FAILURE() << "no key " << static_cast<int>(code);
    return RECT{};
}

// Steps that type each character of the text, a tap each, 200 ms apart.
template <class Dialog>
std::vector<typename Scripted<Dialog>::Step> TypeSteps(const std::string& text) {
    std::vector<typename Scripted<Dialog>::Step> steps;
    for (char c : text) {
        steps.push_back([c](Scripted<Dialog>& d) {
            platform::AdvanceClock(200);
            TapAt(KeyFor(d, static_cast<uint8_t>(c == ' ' ? 'f' : c)));
        });
    }
    return steps;
}

class KeyboardTest : public SearchScreenTest {
  protected:
    void SetUp() override {
        SearchScreenTest::SetUp();
        platform::UseManualClock(true);
        platform::AdvanceClock(1000);
    }
};

TEST_F(KeyboardTest, TypedKeysNarrowTheCitiesAndOkTakesTheShownRow) {
    Scripted<CCityEntryDlg> screen(nullptr, static_cast<uint8_t>(RegionIndex("ALPHA")));
    auto steps = TypeSteps<CCityEntryDlg>("RIB");
    std::u16string field;
    std::string selected;
    steps.push_back([&](auto& d) {
        field = d.FieldText();
        selected = d.SelectedRow() ? d.SelectedRow() : "";
        platform::AdvanceClock(200);
        TapAt(KeyFor(d, 'e'));
    });
    EXPECT_EQ(screen.Run(steps), IDOK);
    EXPECT_EQ(field, u"RIB");
    EXPECT_EQ(selected, "RIBERA, NORTH COUNTY");
    CitySelection city;
    ASSERT_EQ(screen.GetSelectedCity(&city), 0);
    EXPECT_STREQ(city.displayName, "RIBERA, NORTH COUNTY");
    EXPECT_NE(city.fileOffset, 0u);
}

TEST_F(KeyboardTest, TheSymbolsPageTypesAccentedCapitalsThatMatchTheirBaseLetters) {
    Scripted<CCityEntryDlg> screen(nullptr, static_cast<uint8_t>(RegionIndex("ALPHA")));
    auto steps = TypeSteps<CCityEntryDlg>("SANT JULI");
    std::string selected;
    std::u16string field;
    steps.push_back([](auto& d) {
        platform::AdvanceClock(200);
        TapAt(KeyFor(d, 'h'));  // "more"
    });
    steps.push_back([](auto& d) {
        EXPECT_TRUE(d.m_symbolsPage);
        platform::AdvanceClock(200);
        TapAt(KeyFor(d, 0xC0));  // A grave
    });
    steps.push_back([&](auto& d) {
        field = d.FieldText();
        selected = d.SelectedRow() ? d.SelectedRow() : "";
        d.EndDialog(IDCANCEL);
    });
    screen.Run(steps);
    EXPECT_EQ(field, u"SANT JULI\u00C0");
    EXPECT_EQ(selected, "SANT JULIA DE LORIA");
}

TEST_F(KeyboardTest, ATapSoonerThanTheDebounceIsIgnoredWithItsRelease) {
    Scripted<CCityEntryDlg> screen(nullptr, static_cast<uint8_t>(RegionIndex("ALPHA")));
    std::u16string field;
    screen.Run({[](auto& d) { TapAt(KeyFor(d, 'R')); },
                [](auto& d) {
                    platform::AdvanceClock(150);
                    TapAt(KeyFor(d, 'I'));
                },
                [](auto& d) {
                    platform::AdvanceClock(151);
                    TapAt(KeyFor(d, 'B'));
                },
                [&](auto& d) {
                    field = d.FieldText();
                    d.EndDialog(IDCANCEL);
                }});
    EXPECT_EQ(field, u"RB");
}

TEST_F(KeyboardTest, AReleaseActsOnThePressedKeyAndADoubleKeyTakesItsGap) {
    Scripted<CCityEntryDlg> screen(nullptr, static_cast<uint8_t>(RegionIndex("ALPHA")));
    std::u16string field;
    screen.Run({[](auto& d) {
                    const RECT a = KeyFor(d, 'A');
                    const RECT b = KeyFor(d, 'B');
                    platform::PostPointerDown(POINT{(a.left + a.right) / 2, a.top + 5});
                    platform::PostPointerMove(POINT{(b.left + b.right) / 2, b.top + 5});
                    platform::PostPointerUp(POINT{(b.left + b.right) / 2, b.top + 5});
                },
                [](auto& d) {
                    platform::AdvanceClock(200);
                    // SPC's two cells and the gap between them are one key.
                    const RECT space = KeyFor(d, 'f');
                    TapAt(POINT{space.left + d.m_grid.keyWidth, space.top + 3});
                },
                [&](auto& d) {
                    field = d.FieldText();
                    d.EndDialog(IDCANCEL);
                }});
    EXPECT_EQ(field, u"A ");
}

TEST_F(KeyboardTest, HoldingAScrollButtonMovesThreeRowsAStepAndOneMoreAtTheRelease) {
    Scripted<CStreetEntryDlg> screen(nullptr, nullptr, nullptr, CStreetEntryDlg::kStreet,
                                     static_cast<uint8_t>(RegionIndex("ALPHA")));
    std::vector<int> seen;
    screen.Run({[](auto& d) {
                    const RECT down = d.m_grid.ScrollButtonRect(false, 1.0f, 1.0f);
                    platform::PostPointerDown(POINT{down.left + 5, down.top + 5});
                },
                [&](auto& d) {
                    seen.push_back(d.List()->selection);  // nothing yet
                    platform::AdvanceClockAndPump(499);
                    seen.push_back(d.List()->selection);
                    platform::AdvanceClockAndPump(1);  // 500 ms: the first step
                    seen.push_back(d.List()->selection);
                    platform::AdvanceClockAndPump(50);
                    seen.push_back(d.List()->selection);
                    platform::AdvanceClockAndPump(200);  // clamped at the last row
                    seen.push_back(d.List()->selection);
                    const RECT down = d.m_grid.ScrollButtonRect(false, 1.0f, 1.0f);
                    platform::PostPointerUp(POINT{down.left + 5, down.top + 5});
                },
                [&](auto& d) {
                    seen.push_back(d.List()->selection);
                    const RECT up = d.m_grid.ScrollButtonRect(true, 1.0f, 1.0f);
                    platform::AdvanceClock(200);
                    TapAt(up);
                },
                [&](auto& d) {
                    seen.push_back(d.List()->selection);
                    d.EndDialog(IDCANCEL);
                }});
    // Ten streets: 0, 0, 3, 6, 9 (clamped), then the release moves one more (still 9),
    // a tap on up one row back.
    EXPECT_EQ(seen, (std::vector<int>{0, 0, 3, 6, 9, 9, 8}));
}

TEST_F(KeyboardTest, OkOnTheMessageRowGoesBackAndHomeEndsTheFlow) {
    Scripted<CStreetEntryDlg> gamma(nullptr, nullptr, nullptr, CStreetEntryDlg::kStreet,
                                    static_cast<uint8_t>(RegionIndex("GAMMA")));
    EXPECT_EQ(gamma.Run({[](auto&) { platform::PostKeyPress(VK_RETURN); }}), IDCANCEL);
    EXPECT_EQ(g_homeKeyPressed.load(), 0u);
    Scripted<CStreetEntryDlg> alpha(nullptr, nullptr, nullptr, CStreetEntryDlg::kStreet,
                                    static_cast<uint8_t>(RegionIndex("ALPHA")));
    EXPECT_EQ(alpha.Run({[](auto&) { platform::PostKeyPress(VK_HOME); }}), IDCANCEL);
    EXPECT_EQ(g_homeKeyPressed.load(), 1u);
}

TEST_F(KeyboardTest, TheHouseNumberMustLieInTheRange) {
    const StreetRecord street{NameOffset("CARRER MAJOR"), 1, 20};
    platform::TextRecording recording;
    Scripted<CHouseNumberDlg> screen(nullptr, &street);
    auto steps = TypeSteps<CHouseNumberDlg>("25");
    steps.push_back([](auto&) { platform::PostKeyPress(VK_RETURN); });
    steps.push_back([](auto& d) {
        d.Field().SetWindowText(u"1 2B");
        platform::PostKeyPress(VK_RETURN);
    });
    EXPECT_EQ(screen.Run(steps), IDOK);
    EXPECT_EQ(screen.m_houseNumber, 12);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"Please enter a valid house number");
    const std::u16string drawn = DrawnTexts(recording);
    EXPECT_NE(drawn.find(u"Valid Range (1-20)"), std::u16string::npos);
    EXPECT_NE(drawn.find(u"CARRER MAJOR"), std::u16string::npos);
}

TEST_F(KeyboardTest, TheNameScreenStartsWithTheNameAndTakesAtMost40Characters) {
    Scripted<CFavoriteNameDlg> screen(nullptr, "Grandma", "12 CARRER MAJOR", "ENCAMP");
    std::u16string start;
    // The same key again and again: a second tap soon after one at the same place
    // (a double click) types too.
    auto steps = TypeSteps<CFavoriteNameDlg>(std::string(40, 'A'));
    steps.insert(steps.begin(), [&](auto& d) { start = d.FieldText(); });
    steps.push_back([](auto&) { platform::PostKeyPress(VK_RETURN); });
    EXPECT_EQ(screen.Run(steps), IDOK);
    EXPECT_EQ(start, u"Grandma");
    EXPECT_EQ(screen.m_name, u"Grandma" + std::u16string(33, u'A'));
}

TEST_F(KeyboardTest, TheRegionOfTheChosenRowEvenWhenAnotherRegionsNameBeginsItsLabel) {
    Scripted<CRegionEntryDlg> screen(static_cast<uint8_t>(RegionIndex("ALPHA")), nullptr);
    auto steps = TypeSteps<CRegionEntryDlg>("ALPHA B");
    steps.push_back([](auto&) { platform::PostKeyPress(VK_RETURN); });
    EXPECT_EQ(screen.Run(steps), IDOK);
    EXPECT_EQ(screen.GetSelectedRegion(), RegionIndex("ALPHA BETA"));
    EXPECT_EQ(screen.Rows().size(), 2u);
}

TEST_F(KeyboardTest, WithTheDriversOwnKeyboardOnlyOkAndCancelAreDrawn) {
    g_options.store(kOptionOwnKeyboardOff);
    Scripted<CCityEntryDlg> screen(nullptr, static_cast<uint8_t>(RegionIndex("ALPHA")));
    RECT list{};
    int okCell = -1;
    EXPECT_EQ(screen.Run({[&](auto& d) {
        d.List()->GetWindowRect(&list);
        okCell =
            d.m_grid.HitTest(d.CurrentLayout(), POINT{d.m_grid.KeyRect(kMinimalPage, 7).left + 2,
                                                      d.m_grid.KeyRect(kMinimalPage, 7).top + 2});
        TapAt(d.m_grid.KeyRect(kMinimalPage, 23));
    }}),
              IDCANCEL);
    EXPECT_EQ(okCell, 7);
    EXPECT_EQ(list.bottom, 188);
}

}  // namespace
}  // namespace search_test

// The destination search in the running program, in-process on the town's maps: the
// chains from Set Destination to a route, and the lists after it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/area_zone_file.h"
#include "pathlume/route/router.h"
#include "pathlume/search/address_list_dlg.h"
#include "pathlume/search/city_entry_dlg.h"
#include "pathlume/search/contacts_dlg.h"
#include "pathlume/search/destination_list_dlg.h"
#include "pathlume/search/house_number_dlg.h"
#include "pathlume/search/input_method_dlg.h"
#include "pathlume/search/select_address_dlg.h"
#include "pathlume/search/set_destination_dlg.h"
#include "pathlume/search/street_entry_dlg.h"
#include "pathlume/shell/destination_search.h"
#include "pathlume/shell/main_frame.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"
#include "tests/shell/screen_chain.h"
#include "tests/shell/town_route.h"
#include "tests/support/test_files.h"

namespace shell_test {
namespace {

std::vector<std::string> Line1s(int kind) {
    WCHAR path[MAX_PATH] = {};
    CDestList list;
    list.path = FormatDataFilePath(kind, path);
    list.Load(0, 0);
    std::vector<std::string> lines;
    for (DestRecord* record : list.records)
        lines.push_back(record->line1 ? record->line1 : "");
    return lines;
}

void Tap(CWnd& control) {
    CRect rect;
    control.GetWindowRect(&rect);
    platform::PostTap(rect.CenterPoint());
}

class DestinationSearchTest : public AppTest {
  protected:
    static void SetUpTestSuite() { route_test::RouteTownMaps(); }
    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
        ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
        Pump();
        platform::UseDrawnMessageBox(false);
        platform::ClearMessageBoxes();
    }
    void TearDown() override { Close(); }
    CMainView& View() { return static_cast<CMainFrame*>(app_->m_pMainWnd)->View(); }
    int Region(const char* name) {
        for (size_t i = 0; i < g_areaZones.AreaCount(); ++i) {
            if (g_areaZones.GetArea(i)->name == name)
                return static_cast<int>(i);
        }
        return 255;
    }
};

TEST_F(DestinationSearchTest, AnAddressChainEndsInARouteAndTheListsRememberIt) {
    ASSERT_TRUE(RouteAcrossTown(View(), 1));
    ScreenChain chain;
    chain.Then<CSetDestinationDlg>([](auto& screen) { Tap(screen.m_buttons[0]); });
    chain.Then<CInputMethodDlg>([](auto& screen) { Tap(screen.m_streetFirst); });
    chain.Then<CStreetEntryDlg>([](auto& screen) { screen.Field().SetWindowText(u"MAPLE"); });
    chain.Then<CStreetEntryDlg>([](auto& screen) {
        ASSERT_NE(screen.SelectedRow(), nullptr);
        EXPECT_STREQ(screen.SelectedRow(), "MAPLE");
        platform::PostKeyPress(VK_RETURN);
    });
    chain.Then<CHouseNumberDlg>([](auto&) { platform::PostKeyPress(VK_RETURN); });
    chain.Then<CAddressListDlg>([](auto& screen) {
        EXPECT_GE(screen.Rows().size(), 1u);
        platform::PostKeyPress(VK_RETURN);
    });
    chain.Start(View().m_hWnd);
    g_homeKeyPressed.store(0);
    RunDestinationSearch(View(), Region("CALIFORNIA"));
    EXPECT_TRUE(chain.Done()) << "stopped after step " << chain.StepsTaken();
    // The route search ended the flow through the Home flag.
    EXPECT_EQ(g_homeKeyPressed.exchange(0), 1u);
    ASSERT_NE(g_router, nullptr);
    EXPECT_TRUE(g_router->state & kRouterRouteState);
    const std::vector<std::string> recent = Line1s(kListRecent);
    ASSERT_FALSE(recent.empty());
    EXPECT_NE(recent[0].find("MAPLE"), std::string::npos) << recent[0];
    const std::vector<std::string> itinerary = Line1s(kListItinerary);
    ASSERT_FALSE(itinerary.empty());
    EXPECT_EQ(itinerary[0], recent[0]);

    // Recent, Nav: the same place again, from the list.
    ScreenChain again;
    again.Then<CSetDestinationDlg>([](auto& screen) { Tap(screen.m_buttons[6]); });
    again.Then<CRecentDlg>([](auto&) { platform::PostKeyPress(VK_RETURN); });
    again.Start(View().m_hWnd);
    EXPECT_EQ(RunDestinationSearch(View(), Region("CALIFORNIA")), 540);
    EXPECT_TRUE(again.Done());
    EXPECT_EQ(Line1s(kListRecent)[0], recent[0]);
}

TEST_F(DestinationSearchTest, ClosingEachScreenGoesBackAndTheLastClosesTheSearch) {
    ScreenChain chain;
    chain.Then<CSetDestinationDlg>([](auto& screen) { Tap(screen.m_buttons[1]); });
    chain.Then<CInputMethodDlg>([](auto& screen) { Tap(screen.m_streetFirst); });
    chain.Then<CStreetEntryDlg>([](auto&) { platform::PostKeyPress(VK_ESCAPE); });
    chain.Then<CInputMethodDlg>([](auto&) { platform::PostKeyPress(VK_ESCAPE); });
    chain.Then<CSetDestinationDlg>([](auto& screen) { Tap(screen.m_buttons[5]); });
    chain.Then<CFavoritesDlg>([](auto&) { platform::PostKeyPress(VK_ESCAPE); });
    chain.Then<CSetDestinationDlg>([](auto&) { platform::PostKeyPress(VK_ESCAPE); });
    chain.Start(View().m_hWnd);
    EXPECT_EQ(RunDestinationSearch(View(), Region("CALIFORNIA")), kSearchClosed);
    EXPECT_TRUE(chain.Done()) << "stopped after step " << chain.StepsTaken();
    EXPECT_EQ(g_homeKeyPressed.load(), 0u);
}

// Andorra's maps, the vehicle in Andorra la Vella: a city first address chain typed on
// the drawn keys with an accented name, and a contact's address.
class AndorraSearchTest : public AppTest {
  protected:
    void SetUp() override {
        if (!InstallAndorraMaps())
            GTEST_SKIP()
                << "no shared OpenStreetMap data (../shared/data): Andorra's maps are not made";
        InstallVoiceFiles();
        ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
        Pump();
        platform::UseDrawnMessageBox(false);
        platform::ClearMessageBoxes();
        ASSERT_TRUE(
            RouteBetween(View(), MapPoint{42.5063f, 1.5218f}, MapPoint{42.5350f, 1.5800f}, 1));
        g_homeKeyPressed.store(0);
    }
    void TearDown() override {
        platform::UseManualClock(false);
        if (app_)
            Close();
    }
    CMainView& View() { return static_cast<CMainFrame*>(app_->m_pMainWnd)->View(); }
};

// Taps the key that types `code`, 200 ms after the last tap.
void TapKey(KeyboardEntryDlg& screen, uint8_t code) {
    const KeyLayout& layout = screen.CurrentLayout();
    for (int cell = 0; cell < kKeyCells; ++cell) {
        if (layout[static_cast<size_t>(cell)] == code) {
            const RECT key = screen.m_grid.KeyRect(layout, cell);
            platform::AdvanceClock(200);
            platform::PostTap(POINT{(key.left + key.right) / 2, (key.top + key.bottom) / 2});
            return;
        }
    }
    ADD_FAILURE() << "no key " << static_cast<int>(code);
}

TEST_F(AndorraSearchTest, CityFirstTypedOnTheKeysEndsInARouteToTheStreet) {
    platform::UseManualClock(true);
    ScreenChain chain;
    chain.Then<CSetDestinationDlg>([](auto& screen) { Tap(screen.m_buttons[0]); });
    chain.Then<CInputMethodDlg>([](auto& screen) { Tap(screen.m_cityFirst); });
    for (const uint8_t code : std::string("SANT") + "f" + "J")
        chain.Then<CCityEntryDlg>([code](auto& screen) { TapKey(screen, code); });
    chain.Then<CCityEntryDlg>([](auto& screen) {
        ASSERT_NE(screen.SelectedRow(), nullptr);
        EXPECT_STREQ(screen.SelectedRow(), "SANT JULIA DE LORIA");
        TapKey(screen, 'e');
    });
    chain.Then<CStreetEntryDlg>(
        [](auto& screen) { screen.Field().SetWindowText(u"CARRER FRANCESC"); });
    chain.Then<CStreetEntryDlg>([](auto& screen) {
        ASSERT_NE(screen.SelectedRow(), nullptr);
        EXPECT_STREQ(screen.SelectedRow(), "CARRER FRANCESC ESCUDE");
        TapKey(screen, 'e');
    });
    chain.Then<CAddressListDlg>([](auto& screen) {
        ASSERT_FALSE(screen.Rows().empty());
        EXPECT_NE(screen.Rows()[0].text.find("SANT JULIA DE LORIA"), std::string::npos);
        platform::PostKeyPress(VK_RETURN);
    });
    chain.Start(View().m_hWnd);
    RunDestinationSearch(View(), 0);
    EXPECT_TRUE(chain.Done()) << "stopped after step " << chain.StepsTaken();
    EXPECT_EQ(g_homeKeyPressed.exchange(0), 1u);
    EXPECT_TRUE(g_router->state & kRouterRouteState);
    const std::vector<std::string> recent = Line1s(kListRecent);
    ASSERT_FALSE(recent.empty());
    EXPECT_EQ(recent[0], "CARRER FRANCESC ESCUDE");
    EXPECT_EQ(Line1s(kListItinerary)[0], recent[0]);
}

TEST_F(AndorraSearchTest, AContactsAccentedAddressIsFoundAndDrivenTo) {
    ASSERT_TRUE(testing_support::WriteTestFile(
        u"\\My Documents\\contacts.vcf",
        "BEGIN:VCARD\r\nVERSION:3.0\r\nFN:Jos\xC3\xA9 Escud\xC3\xA9\r\nADR;TYPE=home:;;Carrer "
        "Francesc "
        "Escud\xC3\xA9;Sant Juli\xC3\xA0 de L\xC3\xB2ria;;AD600;Andorra\r\nEND:VCARD\r\n"));
    ScreenChain chain;
    chain.Then<CSetDestinationDlg>([](auto& screen) { Tap(screen.m_buttons[4]); });
    chain.Then<CContactsDlg>([](auto& screen) { screen.Field().SetWindowText(u"JOSE"); });
    chain.Then<CContactsDlg>([](auto& screen) {
        ASSERT_NE(screen.SelectedRow(), nullptr);
        platform::PostKeyPress(VK_RETURN);
    });
    chain.Then<CSelectAddressDlg>([](auto&) { platform::PostKeyPress(VK_RETURN); });
    chain.Start(View().m_hWnd);
    RunDestinationSearch(View(), 0);
    EXPECT_TRUE(chain.Done()) << "stopped after step " << chain.StepsTaken();
    EXPECT_TRUE(g_router->state & kRouterRouteState);
    EXPECT_NE(std::string(g_destinationText).find("JOS"), std::string::npos) << g_destinationText;
    const std::vector<std::string> recent = Line1s(kListRecent);
    ASSERT_FALSE(recent.empty());
    EXPECT_NE(recent[0].find("CARRER FRANCESC ESCUDE"), std::string::npos) << recent[0];
    for (const auto& box : platform::ShownMessageBoxes())
        EXPECT_EQ(box.text.find(u"Cannot find"), std::u16string::npos)
            << platform::WideToUtf8(box.text);
}

}  // namespace
}  // namespace shell_test

// The destination screens drawn at QVGA and VGA and compared with golden pictures
// (tests/search/golden; PATHLUME_UPDATE_GOLDEN=1 rewrites them, on purpose and with a
// reason in the commit).
#include <gtest/gtest.h>

#include <string>

#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/search/address_list_dlg.h"
#include "pathlume/search/city_entry_dlg.h"
#include "pathlume/search/contacts_dlg.h"
#include "pathlume/search/destination_list_dlg.h"
#include "pathlume/search/set_destination_dlg.h"
#include "platform/kernel/clock.h"
#include "tests/search/search_screen_test.h"
#include "tests/support/shared_data.h"
#include "tests/support/test_files.h"

namespace search_test {
namespace {

struct ScreenSet {
    const char* name;
    int width;
    int height;
    int dpi;
};

class ScreenGoldenTest : public SearchScreenTest, public testing::WithParamInterface<ScreenSet> {
  protected:
    void SetUp() override {
        SearchScreenTest::SetUp();
        const ScreenSet set = GetParam();
        UseScreen(set.width, set.height, set.dpi);
        platform::UseManualClock(true);
        platform::AdvanceClock(1000);
    }
    // Compares the whole screen with golden/<what>_<set>.png.
    void ExpectGolden(const std::string& what) {
        EXPECT_TRUE(screen_testing::ScreenMatchesGolden(
            testing_support::RepositoryFolder() / "tests" / "search" / "golden",
            what + "_" + GetParam().name));
    }
};

RECT KeyOf(KeyboardEntryDlg& screen, uint8_t code) {
    const KeyLayout& layout = screen.CurrentLayout();
    for (int cell = 0; cell < kKeyCells; ++cell) {
        if (layout[static_cast<size_t>(cell)] == code)
            return screen.m_grid.KeyRect(layout, cell);
    }
    return RECT{};
}

TEST_P(ScreenGoldenTest, SetDestination) {
    Scripted<CSetDestinationDlg> screen(nullptr);
    screen.Run({[&](auto& d) {
        ExpectGolden("set_destination");
        d.EndDialog(IDCANCEL);
    }});
}

TEST_P(ScreenGoldenTest, KeyboardPagesNarrowingTheCities) {
    Scripted<CCityEntryDlg> screen(nullptr, static_cast<uint8_t>(RegionIndex("ALPHA")));
    std::vector<Scripted<CCityEntryDlg>::Step> steps;
    for (char c : std::string("RI")) {
        steps.push_back([c](auto& d) {
            platform::AdvanceClock(200);
            TapAt(KeyOf(d, static_cast<uint8_t>(c)));
        });
    }
    steps.push_back([&](auto& d) {
        ExpectGolden("keyboard_letters");
        platform::AdvanceClock(200);
        TapAt(KeyOf(d, 'h'));
    });
    steps.push_back([&](auto& d) {
        ExpectGolden("keyboard_symbols");
        d.EndDialog(IDCANCEL);
    });
    screen.Run(steps);
}

TEST_P(ScreenGoldenTest, AddressList) {
    AddressListQuery query;
    query.first.nameOffset = NameOffset("CARRER MAJOR");
    query.region = static_cast<uint8_t>(RegionIndex("ALPHA"));
    query.houseNumber = 12;
    Scripted<CAddressListDlg> screen(nullptr, query, g_mapDatabase, nullptr);
    screen.Run({[&](auto& d) {
        ExpectGolden("address_list");
        d.EndDialog(1);
    }});
}

TEST_P(ScreenGoldenTest, Favourites) {
    std::vector<DestRecord*> records;
    for (const auto& [line1, line2, name] :
         std::vector<std::tuple<const char*, const char*, const char*>>{
             {"12 CARRER MAJOR", "SANT JULIA DE LORIA", nullptr},
             {"4 CARRER NOU", "LA MASSANA", "Grandma"},
             {"\x01"
              "CARRER MAJOR",
              "CARRER DEL BISBE, SANT JULIA DE LORIA", nullptr}}) {
        auto* r = new DestRecord();
        r->Set(42.4f, 1.4f, 0, 0, 0, "", line1, line2, name);
        records.push_back(r);
    }
    WCHAR path[MAX_PATH] = {};
    ASSERT_TRUE(CDestList::WriteListFile(FormatDataFilePath(kListFavorites, path),
                                         {records.begin(), records.end()}));
    for (DestRecord* r : records)
        delete r;
    Scripted<CFavoritesDlg> screen(nullptr, g_mapDatabase, nullptr);
    screen.Run({[&](auto& d) {
        ExpectGolden("favorites");
        d.EndDialog(IDCANCEL);
    }});
}

TEST_P(ScreenGoldenTest, Contacts) {
    ASSERT_TRUE(testing_support::WriteTestFile(
        u"\\My Documents\\contacts.vcf",
        "BEGIN:VCARD\nFN:Anna Pujol\nADR;TYPE=home:;;Carrer Major 12;Encamp;;;\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Jos\xC3\xA9 Garc\xC3\xAD"
        "a\nADR;TYPE=work:;;Carrer Nou 4;Ordino;;;\nEND:VCARD\n"
        "BEGIN:VCARD\nFN:Joan Roig\nADR;TYPE=work:;;Carrer Prat 2;Canillo;;;\nEND:VCARD\n"));
    ContactAddresses addresses;
    std::u16string name;
    Scripted<CContactsDlg> screen(&name, &addresses, nullptr);
    screen.Run({[](auto& d) { d.Field().SetWindowText(u"JO"); },
                [&](auto& d) {
                    ExpectGolden("contacts");
                    d.EndDialog(IDCANCEL);
                }});
}

INSTANTIATE_TEST_SUITE_P(Screens, ScreenGoldenTest,
                         testing::Values(ScreenSet{"qvga", 240, 320, 96},
                                         ScreenSet{"vga", 480, 640, 192}),
                         [](const testing::TestParamInfo<ScreenSet>& info) {
                             return std::string(info.param.name);
                         });

}  // namespace
}  // namespace search_test

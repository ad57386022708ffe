// The favourite and recent destinations, the address list and the contacts screens
// headless on the search maps, with the user's files in the test's folder.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/mapdb/map_database.h"
#include "pathlume/search/address_list_dlg.h"
#include "pathlume/search/contacts_dlg.h"
#include "pathlume/search/destination_list_dlg.h"
#include "pathlume/search/select_address_dlg.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/text.h"
#include "tests/search/search_screen_test.h"
#include "tests/support/test_files.h"

namespace search_test {
namespace {

std::u16string ListPath(int kind) {
    WCHAR path[MAX_PATH] = {};
    return FormatDataFilePath(kind, path);
}

// A record on Carrer Major at the crossing (column, row 1), titled when named.
DestRecord* MakeRecord(const std::string& line1, const std::string& line2, const char* name,
                       int column = 1) {
    auto* record = new DestRecord();
    const MapPoint p = GridPoint(column, kMajorRow);
    record->Set(p.latitude, p.longitude, 0, 0, 0, "", line1.c_str(), line2.c_str(), name);
    return record;
}

void WriteList(int kind, const std::vector<DestRecord*>& records) {
    std::vector<const DestRecord*> view(records.begin(), records.end());
    ASSERT_TRUE(CDestList::WriteListFile(ListPath(kind), view));
    for (DestRecord* r : records)
        delete r;
}

std::vector<std::string> Line1s(int kind) {
    CDestList list;
    list.path = ListPath(kind);
    list.Load(0, 0);
    std::vector<std::string> lines;
    for (DestRecord* r : list.records)
        lines.push_back(r->line3 ? r->line3 : r->line1 ? r->line1 : "");
    return lines;
}

std::vector<std::string> Rows(CTextListWnd& list) {
    std::vector<std::string> rows;
    for (int i = 0; i < list.GetCount(); ++i)
        rows.push_back(static_cast<const char*>(list.GetItem(i)));
    return rows;
}

class RecordingRouter final : public IDestinationRouter {
  public:
    BOOL IsDetourActive() override { return FALSE; }
    int RouteTo(DestRecord& record) override {
        routed.push_back(record.line1 ? record.line1 : "");
        return 0;
    }
    std::vector<std::string> routed;
};

using ListScreensTest = SearchScreenTest;

TEST_F(ListScreensTest, RecentShowsTheNewest25AndADeleteKeepsTheRestInTheFile) {
    std::vector<DestRecord*> records;
    for (int i = 0; i < 30; ++i)
        records.push_back(MakeRecord("Place " + std::to_string(i), "Town", nullptr));
    WriteList(kListRecent, records);
    Scripted<CRecentDlg> screen(nullptr, g_mapDatabase, nullptr);
    std::vector<std::string> before, after;
    std::vector<std::string> fileAfterDelete;
    screen.Run({[&](auto& d) {
                    before = Rows(d.List());
                    d.List().SetSelection(2, FALSE, FALSE);
                    TapOn(*d.GetDlgItem(533));
                },
                [&](auto& d) {
                    after = Rows(d.List());
                    fileAfterDelete = Line1s(kListRecent);
                    platform::PostKeyPress(VK_ESCAPE);
                }});
    ASSERT_EQ(before.size(), 25u);
    EXPECT_EQ(before[0], "Place 0\nTown");
    ASSERT_EQ(after.size(), 25u);
    EXPECT_EQ(after[2], "Place 3\nTown");
    EXPECT_EQ(after[24], "Place 25\nTown");
    // Written at once, and the five past the shown ones are still there.
    ASSERT_EQ(fileAfterDelete.size(), 29u);
    EXPECT_EQ(fileAfterDelete[2], "Place 3");
    EXPECT_EQ(fileAfterDelete[28], "Place 29");
}

TEST_F(ListScreensTest, FavouritesInTitleOrderADeleteWrittenOnceOnClosingAndARename) {
    WriteList(kListFavorites,
              {MakeRecord("12 Zed St", "Town", "Zoo"), MakeRecord("12 Apple Rd", "Town", nullptr),
               MakeRecord("3 Main St", "Brook", "Mum")});
    platform::SetMessageBoxHandler({});
    Scripted<CFavoritesDlg> screen(nullptr, g_mapDatabase, nullptr);
    std::vector<std::string> shown, renamed;
    size_t inFileAfterDelete = 0;
    EXPECT_EQ(screen.Run({[&](auto& d) {
                              shown = Rows(d.List());
                              d.List().SetSelection(1, FALSE, FALSE);  // "Mum"
                              TapOn(*d.GetDlgItem(533));
                          },
                          [&](auto& d) {
                              inFileAfterDelete = Line1s(kListFavorites).size();
                              EXPECT_TRUE(d.Changed());
                              // Zoo, now the second row, is renamed to nothing: its row
                              // shows its address again.
                              d.List().SetSelection(1, FALSE, FALSE);
                              TapOn(*d.GetDlgItem(532));
                          },
                          [](auto&) {
                              // The name screen is in front, with the name to edit.
                              HWND names = GetActiveWindow();
                              ::SetWindowTextW(GetDlgItem(names, 585), u"");
                              platform::PostKeyPress(VK_RETURN);
                          },
                          [&](auto& d) {
                              renamed = Rows(d.List());
                              platform::PostKeyPress(VK_ESCAPE);
                          }}),
              IDCANCEL);
    EXPECT_EQ(shown, (std::vector<std::string>{"12 Apple Rd\nTown", "Mum", "Zoo"}));
    EXPECT_EQ(inFileAfterDelete, 3u);
    EXPECT_EQ(renamed, (std::vector<std::string>{"12 Apple Rd\nTown", "12 Zed St\nTown"}));
    EXPECT_EQ(Line1s(kListFavorites), (std::vector<std::string>{"12 Apple Rd", "12 Zed St"}));
}

TEST_F(ListScreensTest, NavRoutesToTheSelectedEntryAndAListThatDoesNotReadWholeIsLeftAlone) {
    WriteList(kListRecent,
              {MakeRecord("First", "Town", nullptr), MakeRecord("Second", "Town", nullptr)});
    RecordingRouter router;
    SetDestinationRouter(&router);
    Scripted<CRecentDlg> screen(nullptr, g_mapDatabase, nullptr);
    EXPECT_EQ(screen.Run({[](auto&) { platform::PostKeyPress(VK_DOWN); },
                          [](auto&) { platform::PostKeyPress(VK_RETURN); }}),
              540);
    EXPECT_EQ(router.routed, std::vector<std::string>{"Second"});
    SetDestinationRouter(nullptr);

    // A count past the records: nothing shown, nothing written.
    ASSERT_TRUE(
        testing_support::WriteTestFile(ListPath(kListFavorites), std::string("FI03\x05\0\0\0", 8)));
    Scripted<CFavoritesDlg> broken(nullptr, g_mapDatabase, nullptr);
    int rows = -1;
    EXPECT_EQ(broken.Run({[&](auto& d) {
        rows = d.List().GetCount();
        TapOn(*d.GetDlgItem(533));
        platform::PostKeyPress(VK_ESCAPE);
    }}),
              IDCANCEL);
    EXPECT_EQ(rows, 0);
    EXPECT_EQ(testing_support::ReadTestFile(ListPath(kListFavorites)),
              std::string("FI03\x05\0\0\0", 8));
}

TEST_F(ListScreensTest, OriginOnAnEntryWhoseRoadIsGoneMovesNothingAndStillEnds) {
    auto* far = new DestRecord();
    far->Set(-40.0f, 170.0f, 777, 0, 0, "", "Nowhere", "Sea", nullptr);
    WriteList(kListRecent, {far});
    Scripted<CRecentDlg> screen(nullptr, g_mapDatabase, nullptr);
    EXPECT_EQ(screen.Run({[](auto& d) { TapOn(*d.GetDlgItem(539)); }}), 539);
    EXPECT_EQ(Line1s(kListRecent), std::vector<std::string>{"Nowhere"});
}

TEST_F(ListScreensTest, RecentFavKeepsTheEntryAsAFavouriteAtTheFront) {
    WriteList(kListFavorites, {MakeRecord("Old", "Town", nullptr)});
    WriteList(kListRecent, {MakeRecord("New place", "Town", nullptr)});
    Scripted<CRecentDlg> screen(nullptr, g_mapDatabase, nullptr);
    screen.Run({[](auto& d) { TapOn(*d.GetDlgItem(501)); },
                [](auto&) { platform::PostKeyPress(VK_ESCAPE); }});
    EXPECT_EQ(Line1s(kListFavorites), (std::vector<std::string>{"New place", "Old"}));
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Add To Favorites");
}

TEST_F(ListScreensTest, AddressListOffersEachPlaceAndClosesAsBack) {
    AddressListQuery query;
    query.first.nameOffset = NameOffset("CARRER MAJOR");
    query.region = static_cast<uint8_t>(RegionIndex("ALPHA"));
    query.houseNumber = 12;
    Scripted<CAddressListDlg> screen(nullptr, query, g_mapDatabase, nullptr);
    std::vector<std::string> rows;
    EXPECT_EQ(screen.Run({[&](auto& d) {
        rows = Rows(d.List());
        platform::PostKeyPress(VK_ESCAPE);
    }}),
              1);
    EXPECT_EQ(rows.size(), 2u);

    query.houseNumber = 99;
    Scripted<CAddressListDlg> none(nullptr, query, g_mapDatabase, nullptr);
    EXPECT_EQ(none.Run({}), 2);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].text, u"House number not found");
}

TEST_F(ListScreensTest, NavOnTheAddressListRemembersThePlace) {
    AddressListQuery query;
    query.first.nameOffset = NameOffset("CARRER MAJOR");
    query.region = static_cast<uint8_t>(RegionIndex("ALPHA"));
    query.houseNumber = 12;
    Scripted<CAddressListDlg> screen(nullptr, query, g_mapDatabase, nullptr);
    EXPECT_EQ(screen.Run({[](auto&) { platform::PostKeyPress(VK_DOWN); },
                          [](auto&) { platform::PostKeyPress(VK_RETURN); }}),
              2);
    EXPECT_STREQ(g_destinationText, "12 CARRER MAJOR\nSANT JULIA DE LORIA, SOUTH COUNTY");
    CDestList itinerary;
    itinerary.path = ListPath(kListItinerary);
    ASSERT_EQ(itinerary.Load(0, 0), 0);
    EXPECT_STREQ(itinerary.records[0]->line1, "12 CARRER MAJOR");
    EXPECT_STREQ(itinerary.records[0]->shortName, "12");

    // Without a number the row is the street and the place, and "-1" stands for none.
    query.houseNumber = -1;
    Scripted<CAddressListDlg> street(nullptr, query, g_mapDatabase, nullptr);
    EXPECT_EQ(street.Run({[](auto&) { platform::PostKeyPress(VK_RETURN); }}), 2);
    CDestList again;
    again.path = ListPath(kListItinerary);
    ASSERT_EQ(again.Load(0, 0), 0);
    EXPECT_STREQ(again.records[0]->line1, "CARRER MAJOR");
    EXPECT_STREQ(again.records[0]->shortName, "-1");
}

class ContactsScreenTest : public SearchScreenTest {
  protected:
    void WriteContacts(const std::string& text) {
        ASSERT_TRUE(testing_support::WriteTestFile(u"\\My Documents\\contacts.vcf", text));
    }
};

TEST_F(ContactsScreenTest, NamesInUpperCaseTypedWithoutAccentsAndTheChosenContactsAddresses) {
    WriteContacts(
        "BEGIN:VCARD\nVERSION:3.0\nFN:Anna Pujol\nADR;TYPE=home:;;Carrer Major 12;Sant "
        "Juli\xC3\xA0 "
        "de L\xC3\xB2ria;;;\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nADR;TYPE=work:;;Nameless 1;Encamp;;;\nEND:VCARD\n"
        "BEGIN:VCARD\nVERSION:3.0\nFN:Jos\xC3\xA9 Garc\xC3\xAD"
        "a\nADR;TYPE=work:;;Carrer Francesc Escud\xC3\xA9;Sant Juli\xC3\xA0 de L\xC3\xB2ria;;AD600;"
        "\nADR:;;Postal only 3;;;AD500;\nEND:VCARD\n");
    std::u16string name;
    ContactAddresses addresses;
    Scripted<CContactsDlg> screen(&name, &addresses, nullptr);
    std::vector<std::string> rows;
    std::string selected;
    bool downMoved = false;
    screen.Run({[&](auto& d) {
                    rows = Rows(*d.List());
                    // Down in the text field moves the list, not the caret.
                    platform::PostKeyPress(VK_DOWN);
                },
                [&](auto& d) {
                    downMoved = d.List()->selection == 1 && d.FieldText().empty();
                    d.Field().SetWindowText(u"jose");
                },
                [&](auto& d) {
                    selected = d.SelectedRow() ? d.SelectedRow() : "";
                    platform::PostKeyPress(VK_RETURN);
                }});
    EXPECT_TRUE(downMoved);
    EXPECT_EQ(rows, (std::vector<std::string>{"ANNA PUJOL",
                                              "JOS\xC9 GARC\xCD"
                                              "A"}));
    EXPECT_EQ(selected,
              "JOS\xC9 GARC\xCD"
              "A");
    EXPECT_EQ(name, u"Jos\u00E9 Garc\u00EDa");
    EXPECT_EQ(addresses[kContactHome].kind, kUnusableAddress);
    EXPECT_EQ(addresses[kContactWork].kind, 0);
    EXPECT_EQ(addresses[kContactWork].street, u"Carrer Francesc Escud\u00E9");
    // A street and a postal code without a city is usable.
    EXPECT_EQ(addresses[kContactOther].kind, 2);
    EXPECT_EQ(JoinContactAddresses(addresses),
              "Work\nCarrer Francesc Escud\xE9\nSant Juli\xE0 de L\xF2ria,   AD600|"
              "Other\nPostal only 3\n,   AD500|");
}

TEST_F(ContactsScreenTest, WithoutContactsOkDoesNothingAndAnUnreadableStoreSaysSo) {
    Scripted<CContactsDlg> empty(nullptr, nullptr, nullptr);
    EXPECT_EQ(empty.Run({[](auto&) { platform::PostKeyPress(VK_RETURN); },
                         [](auto&) { platform::PostKeyPress(VK_ESCAPE); }}),
              IDCANCEL);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());

    std::filesystem::create_directories(roots_.device() / "My Documents" / "contacts.vcf");
    Scripted<CContactsDlg> folder(nullptr, nullptr, nullptr);
    int rows = -1;
    folder.Run({[&](auto& d) {
        rows = d.List()->GetCount();
        platform::PostKeyPress(VK_ESCAPE);
    }});
    EXPECT_EQ(rows, 0);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_EQ(boxes[0].caption, u"Error");
    EXPECT_EQ(boxes[0].text, u"Access is denied.\r\n");
}

TEST_F(ContactsScreenTest, TheAddressScreenSplitsItsRowsAndPicksTheRecordByTheRowsWord) {
    ContactAddresses addresses;
    addresses[kContactWork] = {0,   u"", u"Carrer Major", u"Sant Juli\u00E0 de L\u00F2ria",
                               u"", u"", u"Andorra"};
    addresses[kContactOther] = {2, u"", u"Postal only 3", u"", u"", u"AD500", u""};
    const std::string lines = JoinContactAddresses(addresses) + "||";
    Scripted<CSelectAddressDlg> screen(nullptr, lines, addresses, u"Anna", "ALPHA (AL)");
    std::vector<std::string> rows;
    CSelectAddressDlg::GeocoderTexts work;
    // Home does not close it; Escape does.
    EXPECT_EQ(screen.Run({[&](auto& d) {
                              rows = Rows(d.List());
                              work = d.TextsFor(ChooseContactRecord(rows[0].c_str()));
                              platform::PostKeyPress(VK_HOME);
                          },
                          [](auto&) { platform::PostKeyPress(VK_ESCAPE); }}),
              IDCANCEL);
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(work.street, "CARRER MAJOR");
    EXPECT_EQ(work.city, "SANT JULIA DE LORIA");
    EXPECT_EQ(work.state, "ALPHA (AL)");
    EXPECT_EQ(work.country, "ANDORRA");
    EXPECT_EQ(work.caption, "Anna");
    EXPECT_EQ(ChooseContactRecord("home\nx"), kContactHome);
    EXPECT_EQ(ChooseContactRecord("Other\nx"), kContactOther);

    // Nav on the postal-code-only row says the city is not found, then closes.
    Scripted<CSelectAddressDlg> postal(nullptr, lines, addresses, u"Anna", "ALPHA (AL)");
    EXPECT_EQ(postal.Run({[](auto&) { platform::PostKeyPress(VK_DOWN); },
                          [](auto&) { platform::PostKeyPress(VK_RETURN); }}),
              IDOK);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 1u);
    EXPECT_NE(boxes[0].text.find(u"Cannot find matching city name"), std::u16string::npos);
}

}  // namespace
}  // namespace search_test

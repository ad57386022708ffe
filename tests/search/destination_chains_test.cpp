// The destination flow's decisions over scripted screens: what follows each answer,
// where back leads and that Home ends the flow.
#include "pathlume/search/destination_chains.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"

namespace {

constexpr int kOk = 1;
constexpr int kCancel = 2;
constexpr int kHome = -1;  // the screen is left with Home (answers 2, the flag set)

struct Answer {
    std::string screen;
    int result;
};

// Runs the flow against answers given in order; each call must be the screen the
// script expects next.
class ScriptedScreens final : public DestinationScreens {
  public:
    explicit ScriptedScreens(std::vector<Answer> script) : script_(script.begin(), script.end()) {}

    int SetDestination() override { return Next("SetDestination"); }
    int InputMethod(uint8_t region, bool intersection) override {
        regions.push_back(region);
        return Next(intersection ? "InputMethod(intersection)" : "InputMethod");
    }
    int RegionEntry(uint8_t, uint8_t* chosen) override {
        const int result = Next("RegionEntry");
        *chosen = chosenRegions.empty() ? kNoRegionChosen : chosenRegions.front();
        if (!chosenRegions.empty())
            chosenRegions.pop_front();
        return result;
    }
    int CityEntry(uint8_t, CitySelection* city) override {
        city->fileOffset = 777;
        return Next("CityEntry");
    }
    int StreetEntry(const StreetRequest& request, StreetRecord* street) override {
        *street = request.secondStreet ? StreetRecord{2, kUnsearchedLowest, kUnsearchedHighest}
                                       : nextStreet;
        std::string name = request.secondStreet ? "SecondStreet" : "StreetEntry";
        if (request.city)
            name += "(city)";
        return Next(name);
    }
    int HouseNumber(const StreetRecord&, int32_t* number) override {
        *number = 12;
        return Next("HouseNumber");
    }
    int AddressList(const AddressRequest& request) override {
        lists.push_back(request);
        return Next("AddressList");
    }
    int Contacts(ContactAddresses& addresses, std::u16string* name) override {
        addresses[kContactWork].kind = 0;
        addresses[kContactWork].street = u"Carrer 1";
        addresses[kContactWork].city = u"Ordino";
        *name = u"Anna";
        return Next("Contacts");
    }
    int SelectAddress(const std::string& lines, const ContactAddresses&,
                      const std::u16string&) override {
        joined = lines;
        return Next("SelectAddress");
    }
    int DestinationList(int kind) override {
        return Next(kind == kFavoritesList ? "Favorites" : "Recent");
    }
    int PointsOfInterest(int button, uint8_t) override {
        return Next(button == kButtonCityCenter ? "CityCenter" : "PointsOfInterest");
    }
    void ShowWarning(unsigned messageId, const char16_t*) override {
        warnings.push_back(messageId);
    }
    uint32_t CountStreetRecords(uint8_t, uint32_t) override { return streetRecords; }

    bool Done() const { return script_.empty(); }

    std::vector<uint8_t> regions;
    std::vector<AddressRequest> lists;
    std::vector<unsigned> warnings;
    std::string joined;
    StreetRecord nextStreet{1, 1, 20};
    std::deque<uint8_t> chosenRegions;
    static constexpr uint8_t kNoRegionChosen = 255;
    uint32_t streetRecords = 10;

  private:
    int Next(const std::string& screen) {
        if (script_.empty()) {
            ADD_FAILURE() << "no answer left for " << screen;
            return kCancel;
        }
        const Answer answer = script_.front();
        script_.pop_front();
        EXPECT_EQ(screen, answer.screen);
        if (answer.result == kHome) {
            g_homeKeyPressed.store(1);
            return kCancel;
        }
        return answer.result;
    }

    std::deque<Answer> script_;
};

class DestinationChainsTest : public testing::Test {
  protected:
    void SetUp() override { g_homeKeyPressed.store(0); }
    void TearDown() override { g_homeKeyPressed.store(0); }
};

TEST_F(DestinationChainsTest, BackLeadsToTheScreenBeforeAndCloseEndsTheFlow) {
    ScriptedScreens screens({{"SetDestination", kButtonAddress},
                             {"InputMethod", kButtonStreetFirst},
                             {"StreetEntry", kOk},
                             {"HouseNumber", kOk},
                             {"AddressList", 1},  // closed: back to the house number
                             {"HouseNumber", kOk},
                             {"AddressList", 2},  // nothing found: back too
                             {"HouseNumber", kCancel},
                             {"StreetEntry", kCancel},
                             {"InputMethod", kCancel},
                             {"SetDestination", kButtonFavorites},
                             {"Favorites", kCancel},
                             {"SetDestination", kButtonPointsOfInterest},
                             {"PointsOfInterest", kCancel},
                             {"SetDestination", kButtonCityCenter},
                             {"CityCenter", kCancel},
                             {"SetDestination", kCancel}});
    EXPECT_EQ(RunDestinationChains(screens, 3), kFlowClosed);
    EXPECT_TRUE(screens.Done());
    ASSERT_EQ(screens.lists.size(), 2u);
    EXPECT_EQ(screens.lists[0].houseNumber, 12);
    EXPECT_EQ(screens.lists[0].first.nameOffset, 1u);
    EXPECT_EQ(screens.lists[0].region, 3);
    EXPECT_EQ(screens.lists[0].city, -1);
}

TEST_F(DestinationChainsTest, HomeOnAnyScreenEndsTheFlowWithTheFlagSet) {
    const std::vector<std::vector<Answer>> scripts = {
        {{"SetDestination", kHome}},
        {{"SetDestination", kButtonAddress}, {"InputMethod", kHome}},
        {{"SetDestination", kButtonAddress},
         {"InputMethod", kButtonCityFirst},
         {"CityEntry", kOk},
         {"StreetEntry(city)", kOk},
         {"HouseNumber", kHome}},
        {{"SetDestination", kButtonIntersection},
         {"InputMethod(intersection)", kButtonStreetFirst},
         {"StreetEntry", kOk},
         {"SecondStreet", kHome}},
        {{"SetDestination", kButtonContacts}, {"Contacts", kHome}},
        {{"SetDestination", kButtonRecent}, {"Recent", kHome}},
        {{"SetDestination", kButtonAddress},
         {"InputMethod", kButtonChangeRegion},
         {"RegionEntry", kHome}},
    };
    for (size_t i = 0; i < scripts.size(); ++i) {
        SCOPED_TRACE(i);
        g_homeKeyPressed.store(0);
        ScriptedScreens screens(scripts[i]);
        EXPECT_EQ(RunDestinationChains(screens, 0), kCancel);
        EXPECT_TRUE(screens.Done());
        EXPECT_EQ(g_homeKeyPressed.load(), 1u);
    }
}

TEST_F(DestinationChainsTest, NavEndsTheFlowThroughTheRouteSearchsFlagAndOriginEndsIt) {
    // The route search sets the flag when Nav starts it; the list answers 2.
    ScriptedScreens nav({{"SetDestination", kButtonAddress},
                         {"InputMethod", kButtonStreetFirst},
                         {"StreetEntry", kOk},
                         {"HouseNumber", kOk},
                         {"AddressList", kHome}});
    EXPECT_EQ(RunDestinationChains(nav, 0), kCancel);
    EXPECT_TRUE(nav.Done());
    g_homeKeyPressed.store(0);

    ScriptedScreens origin({{"SetDestination", kButtonAddress},
                            {"InputMethod", kButtonStreetFirst},
                            {"StreetEntry", kOk},
                            {"HouseNumber", kOk},
                            {"AddressList", kResultOrigin}});
    EXPECT_EQ(RunDestinationChains(origin, 0), kResultOrigin);
    EXPECT_TRUE(origin.Done());

    ScriptedScreens list({{"SetDestination", kButtonRecent}, {"Recent", kResultNav}});
    EXPECT_EQ(RunDestinationChains(list, 0), kResultNav);
}

TEST_F(DestinationChainsTest, AStreetWithoutNumbersGoesStraightToTheListAndBackToTheStreet) {
    ScriptedScreens screens({{"SetDestination", kButtonAddress},
                             {"InputMethod", kButtonStreetFirst},
                             {"StreetEntry", kOk},
                             {"AddressList", 1},
                             {"StreetEntry", kCancel},
                             {"InputMethod", kCancel},
                             {"SetDestination", kCancel}});
    screens.nextStreet = StreetRecord{1, kUnsearchedLowest, kUnsearchedHighest};
    EXPECT_EQ(RunDestinationChains(screens, 0), kFlowClosed);
    ASSERT_EQ(screens.lists.size(), 1u);
    EXPECT_EQ(screens.lists[0].houseNumber, -1);
    EXPECT_TRUE(screens.Done());
}

TEST_F(DestinationChainsTest, ARegionChangeHoldsForTheRestOfTheFlowUnlessNoneWasTaken) {
    ScriptedScreens screens({{"SetDestination", kButtonAddress},
                             {"InputMethod", kButtonChangeRegion},
                             {"RegionEntry", kOk},
                             {"InputMethod", kButtonChangeRegion},
                             {"RegionEntry", kCancel},
                             {"InputMethod", kCancel},
                             {"SetDestination", kButtonIntersection},
                             {"InputMethod(intersection)", kButtonChangeRegion},
                             {"RegionEntry", kOk},
                             {"InputMethod(intersection)", kCancel},
                             {"SetDestination", kCancel}});
    // The last OK answers no region (the files refused it): the region stays.
    screens.chosenRegions = {5, 7, 255};
    EXPECT_EQ(RunDestinationChains(screens, 1), kFlowClosed);
    EXPECT_EQ(screens.regions, (std::vector<uint8_t>{1, 5, 5, 5, 5}));
}

TEST_F(DestinationChainsTest, IntersectionsAskForACityWhenTheStreetHasTooManyLinks) {
    ScriptedScreens many({{"SetDestination", kButtonIntersection},
                          {"InputMethod(intersection)", kButtonStreetFirst},
                          {"StreetEntry", kOk},
                          {"CityEntry", kOk},
                          {"StreetEntry(city)", kOk},
                          {"SecondStreet(city)", kOk},
                          {"AddressList", kResultOrigin}});
    many.streetRecords = kMaxStreetRecordsWithoutCity + 1;
    EXPECT_EQ(RunDestinationChains(many, 0), kResultOrigin);
    EXPECT_EQ(many.warnings, std::vector<unsigned>{kMsgTooManyRecords});
    ASSERT_EQ(many.lists.size(), 1u);
    EXPECT_EQ(many.lists[0].city, 777);
    ASSERT_NE(many.lists[0].second, nullptr);

    ScriptedScreens few({{"SetDestination", kButtonIntersection},
                         {"InputMethod(intersection)", kButtonStreetFirst},
                         {"StreetEntry", kOk},
                         {"SecondStreet", kOk},
                         {"AddressList", 1},  // back to the second street
                         {"SecondStreet", kCancel},
                         {"StreetEntry", kCancel},
                         {"InputMethod(intersection)", kCancel},
                         {"SetDestination", kCancel}});
    few.streetRecords = kMaxStreetRecordsWithoutCity;
    EXPECT_EQ(RunDestinationChains(few, 0), kFlowClosed);
    EXPECT_TRUE(few.warnings.empty());
    EXPECT_TRUE(few.Done());
}

TEST_F(DestinationChainsTest, StreetFirstWithoutMemorySaysSoAndGoesBack) {
    ScriptedScreens screens({{"SetDestination", kButtonAddress},
                             {"InputMethod", kButtonStreetFirst},
                             {"StreetEntry", kStreetListNoMemory},
                             {"InputMethod", kCancel},
                             {"SetDestination", kCancel}});
    EXPECT_EQ(RunDestinationChains(screens, 0), kFlowClosed);
    EXPECT_EQ(screens.warnings, std::vector<unsigned>{kMsgNoMemoryForStreets});
}

TEST_F(DestinationChainsTest, ContactsAddressesReachTheAddressScreenAndBackReturnsToContacts) {
    ScriptedScreens screens({{"SetDestination", kButtonContacts},
                             {"Contacts", kOk},
                             {"SelectAddress", kCancel},
                             {"Contacts", kOk},
                             {"SelectAddress", kOk}});
    EXPECT_EQ(RunDestinationChains(screens, 0), kOk);
    EXPECT_EQ(screens.joined, "Work\nCarrer 1\nOrdino,   |");
    EXPECT_TRUE(screens.Done());
}

}  // namespace

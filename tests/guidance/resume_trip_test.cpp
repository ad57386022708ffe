#include "pathlume/guidance/resume_trip.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/route/router.h"
#include "platform/kernel/files.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/text.h"
#include "platform/user/user.h"
#include "tests/support/temp_root.h"
#include "tools/quiet_main_view.h"

namespace {

class RecordingRouter final : public IDestinationRouter {
  public:
    BOOL IsDetourActive() override { return FALSE; }
    int RouteTo(DestRecord& record) override {
        routed.push_back(record.line3 ? record.line3 : "");
        return 0;
    }
    std::vector<std::string> routed;
};

class ResumeTripTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        ASSERT_TRUE(CreateDirectoryW(u"\\My Documents", nullptr));
        const std::u16string folder = u"\\My Documents\\";
        std::copy(folder.c_str(), folder.c_str() + folder.size() + 1, g_userDataFolder);
        WCHAR path[MAX_PATH];
        itinerary_ = FormatDataFilePath(kListItinerary, path);
        CreateRouter();
        SetDestinationRouter(&router_);
        platform::ClearMessageBoxes();
    }
    void TearDown() override {
        SetDestinationRouter(nullptr);
        DestroyRouter();
        platform::ClearMessageBoxes();
        g_userDataFolder[0] = 0;
    }

    void WriteItinerary(const std::vector<const char*>& names) {
        CDestList list;
        list.path = itinerary_;
        for (const char* name : names) {
            auto* record = new DestRecord;
            ASSERT_TRUE(record->Set(39.5f, -0.4f, 0, 0, 0, name, "1 Main St", "Town", name));
            list.records.push_back(record);
        }
        ASSERT_EQ(list.Save(), 0);
    }
    std::vector<std::string> Itinerary() {
        CDestList list;
        list.path = itinerary_;
        std::vector<std::string> names;
        if (list.Load(0, 0) == 0) {
            for (const DestRecord* r : list.records) {
                names.push_back(r->line3);
            }
        }
        return names;
    }
    std::string AskedText() {
        const auto boxes = platform::ShownMessageBoxes();
        return boxes.size() == 1 ? platform::WideToUtf8(boxes[0].text) : "";
    }

    std::u16string itinerary_;
    RecordingRouter router_;
};

TEST_F(ResumeTripTest, OneRecordAndNoDeletesTheItinerary) {
    WriteItinerary({"Home"});
    platform::ScriptMessageBoxAnswers({IDNO});
    EXPECT_EQ(OfferResumeTrip(0), 0);
    EXPECT_NE(AskedText().find("Continue to Final Destination?"), std::string::npos);
    EXPECT_NE(AskedText().find("Home"), std::string::npos);
    EXPECT_FALSE(FileExists(itinerary_.c_str()));
    EXPECT_FALSE(g_router->state & kRouterDetourActive);
    EXPECT_TRUE(router_.routed.empty());
}

TEST_F(ResumeTripTest, TwoRecordsAndNoDropsTheStopover) {
    WriteItinerary({"Stopover", "Home"});
    platform::ScriptMessageBoxAnswers({IDNO});
    EXPECT_EQ(OfferResumeTrip(0), 1);
    EXPECT_NE(AskedText().find("Stopover"), std::string::npos);
    EXPECT_EQ(Itinerary(), std::vector<std::string>{"Home"});
    EXPECT_TRUE(g_router->state & kRouterDetourActive);
}

TEST_F(ResumeTripTest, DropFirstThenYesRoutesToTheNext) {
    WriteItinerary({"Reached", "Next", "Home"});
    platform::ScriptMessageBoxAnswers({IDYES});
    EXPECT_EQ(OfferResumeTrip(1), 0);
    EXPECT_NE(AskedText().find("Next"), std::string::npos);
    EXPECT_EQ(router_.routed, std::vector<std::string>{"Next"});
    EXPECT_EQ(Itinerary(), (std::vector<std::string>{"Next", "Home"}));
}

TEST_F(ResumeTripTest, NoItineraryAsksNothing) {
    EXPECT_EQ(OfferResumeTrip(1), 0);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    // A reached last record leaves nothing to offer.
    WriteItinerary({"Reached"});
    EXPECT_EQ(OfferResumeTrip(1), 0);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

TEST_F(ResumeTripTest, EndingADetourThatIsNotActivePostsNothing) {
    QuietMainView view;
    g_mainView.store(&view);
    MSG msg{};
    while (PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE)) {
        // What earlier tests' searches posted.
    }
    g_router->SetDetour(0);
    EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    // An active one tells the main view, which offers the rest of the trip.
    g_router->SetDetour(1);
    g_router->SetDetour(0);
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
    EXPECT_EQ(msg.wParam, 9u);
    EXPECT_EQ(msg.lParam, 1);
    EXPECT_FALSE(g_router->state & kRouterDetourActive);
    g_mainView.store(nullptr);
}

}  // namespace

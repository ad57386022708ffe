#include "pathlume/shell/nav_app.h"

#include <gtest/gtest.h>

#include <thread>

#include "pathlume/foundation/app_services.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_frame.h"
#include "platform/user/user.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {
namespace {

class NavAppTest : public AppTest {};

TEST_F(NavAppTest, StartsShowsTheMapAndCloses) {
    InstallTownMaps();
    InstallVoiceFiles();
    ASSERT_TRUE(Start());
    Pump();
    auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    EXPECT_EQ(g_mainView.load(), static_cast<IMainView*>(&frame->View()));
    EXPECT_EQ(frame->View().GetScreenMode(), 1u);
    EXPECT_EQ(g_mapsLoading.load(), 0);
    // The main window answers on its own thread only.
    EXPECT_EQ(GetAppMainWindow(), frame);
    CWnd* elsewhere = frame;
    std::thread([&] { elsewhere = GetAppMainWindow(); }).join();
    EXPECT_EQ(elsewhere, nullptr);
    Close();
    EXPECT_EQ(g_mainView.load(), nullptr);
    EXPECT_EQ(GetAppMainWindow(), nullptr);
}

}  // namespace
}  // namespace shell_test

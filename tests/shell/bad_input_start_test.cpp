// The program's start refuses a map whose name files are cut short, with the box
// naming the file, instead of showing every street without its name; settings of the
// wrong type or out of range are read as their defaults or held to their ranges.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_frame.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/registry.h"
#include "platform/kernel/text.h"
#include "tests/shell/app_fixture.h"
#include "tests/shell/town_route.h"

namespace shell_test {
namespace {

class BadInputStartTest : public AppTest {};

TEST_F(BadInputStartTest, NameFilesCutShortRefuseTheStart) {
    for (const auto& [file, size] : {std::pair<const char*, uintmax_t>{"names.bin", 19540},
                                     std::pair<const char*, uintmax_t>{"sttypes.bin", 8}}) {
        SCOPED_TRACE(file);
        InstallTownMaps();
        std::filesystem::resize_file(InstallFolder() / "Maps" / file, size);
        platform::ClearMessageBoxes();
        EXPECT_EQ(AppLoadSettings(), 1);
        AppShutdown();
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0].text, u"Invalid or Missing Data file: " + platform::Utf8ToWide(file));
    }
    InstallTownMaps();
    EXPECT_EQ(AppLoadSettings(), 0);
    AppShutdown();
}

// A long "PlaybackDelay", a float's bits for "RouteAllowance", a string for
// "3DMode" and an empty "DDrawPOITypes": the route demonstration runs on them and
// the program closes cleanly in the middle of it.
TEST_F(BadInputStartTest, SettingsOfTheWrongTypeOrOutOfRangeRunADemonstration) {
    InstallTownMaps();
    InstallVoiceFiles();
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 3);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"PlaybackDelay", 0x7FFFFFFF);
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"RouteAllowance", 0x43FA0000);  // 500.0f
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, u"", 0, KEY_ALL_ACCESS, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    const char16_t inf[] = u"inf";
    RegSetValueExW(key, u"3DMode", 0, REG_SZ, reinterpret_cast<const BYTE*>(inf), sizeof inf);
    RegCloseKey(key);
    RegSetBinary(HKEY_CURRENT_USER, kSettingsKey, u"DDrawPOITypes", nullptr, 0);
    platform::UseManualClock(true);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    Pump();
    auto* frame = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame, nullptr);
    CMainView& view = frame->View();
    EXPECT_EQ(g_map3DMode.load(), 0u);
    ASSERT_TRUE(RouteAcrossTown(view, 0));
    view.OnDemoRoute();
    EXPECT_TRUE(view.GetReplayFlag());
    platform::AdvanceClockAndPump(3000);
    // The feed waits out the delay in slices: the close ends it at once.
    const auto closing = std::chrono::steady_clock::now();
    Close();
    EXPECT_LT(std::chrono::steady_clock::now() - closing, std::chrono::seconds(3));
    platform::UseManualClock(false);
    EXPECT_EQ(g_mainView.load(), nullptr);
}

}  // namespace
}  // namespace shell_test

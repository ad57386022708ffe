// The map screen's menu commands in the running program: units, keyboards, the GPS
// port and baud rate on pseudo-terminals, Cancel Route, the hold menu's commands,
// the POI icon button, the ring menu and the lists, the option dialogs' frame, GPS
// track recording, the port detector and the help viewer.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "pathlume/display/map_theme.h"
#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/data_location.h"
#include "pathlume/foundation/dest_list.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/gps_ports.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/route/router.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/favorites.h"
#include "pathlume/shell/ring_menu_dlg.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"
#include "platform/kernel/roots.h"
#include "platform/kernel/serial.h"
#include "platform/kernel/text.h"
#include "platform/user/dialogs.h"
#include "tests/shell/running_view.h"
#include "tests/shell/town_route.h"
#include "tests/support/pty.h"

namespace shell_test {
namespace {

namespace fs = std::filesystem;

class MenuCommandsTest : public RunningViewTest {
  protected:
    void Command(UINT id) {
        PostMessageW(frame_->GetSafeHwnd(), WM_COMMAND, id, 0);
        Pump();
    }
    bool RouteExists() const { return g_router && (g_router->state & kRouterRouteState); }
};

TEST_F(MenuCommandsTest, UnitsSetTheirBitsOnceAndMarkTheirItem) {
    struct Case {
        UINT command;
        DWORD bits;  // kOptionMetric | kOptionYards after it
        bool redraw;
    };
    g_options.store((g_options.load() & ~(kOptionMetric | kOptionYards)));
    const Case cases[] = {
        {3066, kOptionYards, true},   // Mile/Yards
        {3066, kOptionYards, false},  // again: nothing changes, nothing is drawn
        {3064, kOptionMetric, true},  // KM/m clears yards, sets metric
        {3065, 0, true},              // Mile/Feet clears both
        {3065, 0, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.command);
        Pump();
        const uint64_t before = platform::ScreenGeneration();
        Command(c.command);
        EXPECT_EQ(g_options.load() & (kOptionMetric | kOptionYards), c.bits);
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options", 0) &
                      (kOptionMetric | kOptionYards),
                  c.bits);
        EXPECT_EQ(platform::ScreenGeneration() > before, c.redraw);
        for (UINT item : {3064u, 3065u, 3066u})
            EXPECT_EQ(Checked(item), item == c.command) << item;
    }
    Command(3059);
    EXPECT_TRUE(g_options.load() & kOptionOwnKeyboardOff);
    EXPECT_TRUE(Checked(3059));
    EXPECT_FALSE(Checked(3060));
    Command(3060);
    EXPECT_FALSE(g_options.load() & kOptionOwnKeyboardOff);
    EXPECT_TRUE(Checked(3060));
    Command(3058);
    EXPECT_TRUE(view_->IsFogDriving());
    EXPECT_TRUE(Checked(3058));
    Command(3058);
    EXPECT_FALSE(Checked(3058));
}

// The port and baud rate on pseudo-terminals: the chosen port is opened and stored,
// the current one reopened and rewritten, a port that does not open leaves the old
// one open and the marks on it.
TEST_F(MenuCommandsTest, ComPortAndBaudRateOpenStoreAndMark) {
    testing_support::Pty first, second;
    ASSERT_TRUE(platform::SetHostSerialPort(5, platform::Utf8ToWide(first.path)));
    ASSERT_TRUE(platform::SetHostSerialPort(12, platform::Utf8ToWide(second.path)));
    CNmeaReceiver* receiver = g_gpsReceiver.load();

    Command(3040);  // COM 5
    EXPECT_TRUE(receiver->IsPortOpen());
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 5u);
    EXPECT_EQ(g_gpsPortName.Get(), u"COM5:");
    EXPECT_TRUE(Checked(3040));

    // The current port again: reopened, "CommPort" written again.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 99);
    Command(3040);
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 5u);

    // COM 12 is reached by its command though the menu lists COM 1 to 9 (no item is
    // marked then).
    Command(3047);
    EXPECT_EQ(g_gpsPortName.Get(), u"COM12:");
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 12u);
    EXPECT_TRUE(receiver->IsPortOpen());
    EXPECT_FALSE(Checked(3040));

    // COM 7 has no device: the old port stays open, the marks on it.
    Command(3040);
    Command(3042);
    EXPECT_EQ(g_gpsPortName.Get(), u"COM5:");
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 0), 5u);
    EXPECT_TRUE(receiver->IsPortOpen());
    EXPECT_TRUE(Checked(3040));
    EXPECT_FALSE(Checked(3042));

    Command(3055);  // 38400
    EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"NMEABaud", 0), 38400u);
    EXPECT_EQ(g_gpsBaud.load(), 38400u);
    EXPECT_TRUE(Checked(3055));
    EXPECT_FALSE(Checked(3052));

    // A stored port outside 1-16 marks no item.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 20);
    g_gpsPortName.Set(u"COM20:");
    view_->UpdateMenus();
    for (UINT id = 3036; id <= 3051; ++id)
        EXPECT_FALSE(Checked(id)) << id;
}

TEST_F(MenuCommandsTest, CancelRouteEndsADetourOnlyOrTheRoute) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    g_router->SetDetourBit(1);
    // Ending the detour asks to go on to the final destination afterwards.
    view_->SendMessage(WM_COMMAND, 3026);
    EXPECT_TRUE(RouteExists());
    EXPECT_FALSE(g_router->state & kRouterDetourActive);
    Pump();
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    Command(3026);
    EXPECT_FALSE(RouteExists());
    EXPECT_EQ(view_->GetScreenMode(), kScreenMap);
}

// The hold menu's commands reach the map view's actions; with nothing held they
// touch nothing (the route stays).
TEST_F(MenuCommandsTest, HoldMenuCommandsReachTheMapViewsActions) {
    ASSERT_TRUE(RouteAcrossTown(*view_, 1));
    Command(3003);
    EXPECT_TRUE(RouteExists());

    static std::vector<FavoritePrompt> prompts;
    prompts.clear();
    SetFavoritePromptHook([](CWnd*, const FavoritePrompt& prompt) {
        prompts.push_back(prompt);
        return kPromptAdd;
    });
    // A road a little above the car.
    const int x = g_screenWidth.load() / 2, y = view_->GetMapHeight() / 4;
    auto hold = [&] {
        // The hold menu comes up at once; Escape leaves it, the place stays held.
        platform::PostKeyPress(VK_ESCAPE);
        ASSERT_EQ(view_->MapView().OnTapAndHold(x, y), 1);
        ASSERT_TRUE(view_->MapView().Held().Held());
    };
    hold();
    Command(3006);  // Save This Location: the favourites' question
    EXPECT_EQ(prompts.size(), 1u);
    platform::ClearMessageBoxes();
    platform::QueueMessageBoxAnswer(IDOK);
    hold();
    Command(3007);  // Info: the block's addresses in a box
    ASSERT_FALSE(platform::ShownMessageBoxes().empty());
    EXPECT_NE(platform::ShownMessageBoxes().back().text.find(u"Block Info"), std::u16string::npos);
    hold();
    Command(3004);  // Set Stopover: a detour to the held point
    EXPECT_TRUE(RouteExists());
    EXPECT_TRUE(g_router->state & kRouterDetourActive);
    hold();
    Command(3003);  // Set Destination: the detour ends, a route to the point
    EXPECT_TRUE(RouteExists());
    EXPECT_FALSE(g_router->state & kRouterDetourActive);
    hold();
    Command(3008);  // the address line and Cancel
    EXPECT_TRUE(RouteExists());
    SetFavoritePromptHook(nullptr);
}

TEST_F(MenuCommandsTest, PoiButtonCyclesTheIconModeWithTheRememberedOne) {
    struct Case {
        DWORD before;
        DWORD memory;
        DWORD after;
    };
    const Case cases[] = {{0, 0, 1}, {1, 0, 0}, {2, 2, 1}, {1, 2, 2}, {7, 0, 1}};
    for (const Case& c : cases) {
        g_poiIconMode.store(c.before);
        view_->SetPoiModeMemory(c.memory);
        view_->TogglePoiIcons(TRUE);
        EXPECT_EQ(g_poiIconMode.load(), c.after) << c.before << " " << c.memory;
        EXPECT_EQ(RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"POIIconMode", 9), c.after);
    }
    // The tap on the button does the same.
    Pump();
    const RECT button = view_->poiButtonRect;
    ASSERT_GT(button.right, button.left);
    g_poiIconMode.store(0);
    platform::PostTap({(button.left + button.right) / 2, (button.top + button.bottom) / 2});
    Pump();
    EXPECT_EQ(g_poiIconMode.load(), 1u);
}

// The ring menu: each button starts what it says; Go to Map and Escape start nothing.
TEST_F(MenuCommandsTest, EachRingMenuButtonStartsItsScreen) {
    struct Case {
        int button;
        const char* slot;  // the screen it reached, or null
    };
    const Case cases[] = {
        {kRingDestinations, "search"},
        {kRingDisplayOptions, "displayOptions"},
        {kRingRouteOptions, "routeOptions"},
        {kRingVolume, "guidanceVolume"},
        {kRingSpeedAlert, "speedAlert"},
        {kRingGoToMap, nullptr},
        {IDCANCEL, nullptr},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.button);
        recorder_ = ScreenRecorder{};
        InstallRecorder();
        WhenIdle([c] {
            HWND ring = GetActiveWindow();
            if (c.button == IDCANCEL)
                platform::PostKeyPress(VK_ESCAPE);
            else
                PostMessageW(ring, WM_COMMAND, static_cast<WPARAM>(c.button), 0);
        });
        view_->OnMenuScreen();
        if (c.slot) {
            EXPECT_EQ(recorder_.calls, std::vector<std::string>{c.slot});
        } else {
            EXPECT_TRUE(recorder_.calls.empty());
        }
        EXPECT_EQ(view_->modalCount.load(), 0);
        EXPECT_EQ(g_homeKeyPressed.load(), 0u);
    }
    // Record: the save dialog of a GPS log.
    platform::ClearFileDialogs();
    platform::ScriptFileDialogAnswers({std::nullopt});
    WhenIdle([] { PostMessageW(GetActiveWindow(), WM_COMMAND, kRingRecord, 0); });
    view_->OnMenuScreen();
    ASSERT_EQ(platform::ShownFileDialogs().size(), 1u);
    EXPECT_TRUE(platform::ShownFileDialogs()[0].save);
    // The menu button and Alt open it too.
    int opened = 0;
    for (int way = 0; way < 2; ++way) {
        WhenIdle([&] {
            ++opened;
            platform::PostKeyPress(VK_ESCAPE);
        });
        if (way == 0)
            view_->OnLButtonDown(kInputOpenMenu, CPoint(0, 0));
        else
            view_->SendMessage(WM_SYSKEYDOWN, VK_MENU, 0);
        Pump();
    }
    EXPECT_EQ(opened, 2);
}

// The ring menu itself: Home closes it as cancelled without the Home flag; another
// key goes on to the map.
TEST_F(MenuCommandsTest, RingMenuHomeCancelsAndOtherKeysReachTheMap) {
    const int before = view_->MapView().GetZoomIndex();
    WhenIdle([] {
        platform::PostKeyPress(VK_DOWN);
        platform::PostKeyPress(VK_HOME);
    });
    CRingMenuDlg ring(view_);
    EXPECT_EQ(ring.DoModal(), IDCANCEL);
    EXPECT_EQ(g_homeKeyPressed.load(), 0u);
    Pump();
    EXPECT_EQ(view_->MapView().GetZoomIndex(), before + 1);
    // On a landscape screen GPS Info and Volume show the wide face.
    platform::SetScreenMode(320, 240, 96);
    std::vector<UINT> faces;
    WhenIdle([&] {
        auto* shown = dynamic_cast<CRingMenuDlg*>(CWnd::FromHandle(GetActiveWindow()));
        if (shown)
            for (const CImageButton& button : shown->m_buttons)
                faces.push_back(button.imageId);
        platform::PostKeyPress(VK_ESCAPE);
    });
    CRingMenuDlg landscape(view_);
    landscape.DoModal();
    platform::SetScreenMode(240, 320, 96);
    EXPECT_EQ(faces, (std::vector<UINT>{300, 301, 302, 303, 304, 305, 385, 385}));
    // Labels: Route Opts and Record lower, Display Opts left and Speed Alert right.
    const RECT button{100, 100, 140, 138};
    const POINT plain = CRingMenuDlg::LabelPosition(0, button, 40);
    EXPECT_EQ(CRingMenuDlg::LabelPosition(1, button, 40).x, plain.x - 5);
    EXPECT_EQ(CRingMenuDlg::LabelPosition(2, button, 40).y, plain.y + 6);
    EXPECT_EQ(CRingMenuDlg::LabelPosition(5, button, 40).x, plain.x + 5);
    EXPECT_EQ(CRingMenuDlg::LabelPosition(6, button, 40).y, plain.y + 4);
}

TEST_F(MenuCommandsTest, ListsAndOptionKindsOfOpenDestinationList) {
    recorder_.answers["recent"] = {539};
    recorder_.answers["favorites"] = {IDCANCEL};
    EXPECT_EQ(view_->OpenDestinationList(kListKindRecent), 539);
    EXPECT_EQ(view_->OpenDestinationList(kListKindFavorites), IDCANCEL);
    for (int kind : {4, 5, 7, 9})
        EXPECT_EQ(view_->OpenDestinationList(kind), 0);
    EXPECT_EQ(recorder_.calls,
              (std::vector<std::string>{"recent", "favorites", "routeOptions", "displayOptions",
                                        "speedAlert", "guidanceVolume"}));
    // Inside each screen the count was raised for the list and again for the dialog.
    EXPECT_EQ(recorder_.modalCounts, (std::vector<int>{1, 1, 2, 2, 2, 2}));
    EXPECT_EQ(view_->modalCount.load(), 0);
}

// Display Options' icons button leads to the POI filter and back until the options
// end another way; Home in the filter ends the round. The zoom step is brought
// within the 3D view's steps.
TEST_F(MenuCommandsTest, DisplayOptionsIconsLoopAndTheThreeDZoomClamp) {
    recorder_.answers["displayOptions"] = {kDisplayOptionsIcons, kDisplayOptionsIcons, IDOK};
    Command(3033);
    EXPECT_EQ(recorder_.calls,
              (std::vector<std::string>{"displayOptions", "poiFilter", "displayOptions",
                                        "poiFilter", "displayOptions"}));
    recorder_ = ScreenRecorder{};
    InstallRecorder();
    recorder_.answers["displayOptions"] = {kDisplayOptionsIcons};
    recorder_.actions["poiFilter"] = [] { g_homeKeyPressed.store(1); };
    Command(3033);
    EXPECT_EQ(recorder_.calls, (std::vector<std::string>{"displayOptions", "poiFilter"}));

    const int saved3DCount = g_mapTheme.zoomLevelCount2;
    const int count3D = g_mapTheme.zoomLevelCount - 3;
    g_mapTheme.zoomLevelCount2 = count3D;
    recorder_.actions["displayOptions"] = [this] {
        view_->MapView().SetZoom(g_mapTheme.zoomLevelCount - 1);
        g_map3DMode.store(2);
    };
    Command(3033);
    EXPECT_EQ(view_->MapView().GetZoomIndex(), count3D - 1);
    g_map3DMode.store(0);
    g_mapTheme.zoomLevelCount2 = saved3DCount;
}

TEST_F(MenuCommandsTest, SpeedAlertFollowsTheStoredLimitsAndClearsTheAlert) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitMI", static_cast<DWORD>(-55));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitKM", static_cast<DWORD>(-90));
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"AutoSpeedLimit", 0);
    Command(3025);
    EXPECT_FALSE(Checked(3025));
    view_->speedAlert.active = true;
    view_->speedAlert.lastLimit = 55;
    view_->statBoxMode = kStatBoxSpeed;
    view_->savedStatBoxMode = kStatBoxEta;
    recorder_.actions["speedAlert"] = [] {
        RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"SpeedLimitMI", 65);
    };
    Command(3025);
    EXPECT_TRUE(Checked(3025));
    EXPECT_EQ(g_speedLimitMi.load(), 65);
    EXPECT_FALSE(view_->speedAlert.active);
    EXPECT_EQ(view_->speedAlert.lastLimit, 0);
    EXPECT_EQ(view_->statBoxMode, kStatBoxEta);
}

// Recording: the save dialog proposes the date's name; an existing log is replaced
// only when the driver says Yes; a log that cannot be made leaves the menu as it was.
TEST_F(MenuCommandsTest, RecordGpsTrackAsksBeforeReplacingAndRenamesTheItem) {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    EXPECT_EQ(MenuText(3031), u"Record GPS Track");
    const fs::path logs = platform::DeviceRoot() / "My Documents";
    fs::create_directories(logs);
    std::ofstream(logs / "kept.gps") << "$GPRMC,kept\r\n";

    platform::ScriptFileDialogAnswers({u"\\My Documents\\kept.gps"});
    platform::QueueMessageBoxAnswer(IDNO);
    Command(3031);
    EXPECT_FALSE(receiver->GetFlags() & kGpsLogging);
    EXPECT_EQ(MenuText(3031), u"Record GPS Track");
    std::ifstream kept(logs / "kept.gps");
    std::string line;
    std::getline(kept, line);
    EXPECT_EQ(line, "$GPRMC,kept\r");

    platform::ScriptFileDialogAnswers({u"\\My Documents\\new.gps"});
    Command(3013);
    EXPECT_TRUE(receiver->GetFlags() & kGpsLogging);
    EXPECT_EQ(MenuText(3031), u"Stop Recording");
    EXPECT_EQ(platform::ShownFileDialogs().back().title, u"Save GPS Log File");
    Command(3031);
    EXPECT_FALSE(receiver->GetFlags() & kGpsLogging);
    EXPECT_EQ(MenuText(3031), u"Record GPS Track");
    EXPECT_TRUE(fs::exists(logs / "new.gps"));

    // A log that cannot be made (its folder is not there): refused, the item stays.
    platform::ScriptFileDialogAnswers({u"\\My Documents\\missing\\x.gps"});
    Command(3031);
    EXPECT_FALSE(receiver->GetFlags() & kGpsLogging);
    EXPECT_EQ(MenuText(3031), u"Record GPS Track");
    EXPECT_EQ(view_->modalCount.load(), 0);
}

// Auto Detect and Help start their programs with their command lines; recording
// scripts stand in. Without a detector nothing is said.
TEST_F(MenuCommandsTest, AutoDetectAndHelpStartTheirPrograms) {
    const fs::path windows = platform::DeviceRoot() / "Windows";
    fs::create_directories(windows);
    const fs::path record = platform::DeviceRoot() / "started.txt";
    for (const char* name : {"portscout.exe", "PegHelp.exe"}) {
        const fs::path program = windows / name;
        std::ofstream(program) << "#!/bin/sh\necho \"" << name << " $*\" >> '" << record.string()
                               << "'\n";
        fs::permissions(program, fs::perms::owner_all);
    }
    Command(3062);
    Command(3063);
    std::string started;
    for (int i = 0; i < 200 && std::count(started.begin(), started.end(), '\n') < 2; ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        std::ifstream in(record);
        started.assign(std::istreambuf_iterator<char>(in), {});
    }
    EXPECT_NE(started.find("portscout.exe \n"), std::string::npos) << started;
    EXPECT_NE(started.find("PegHelp.exe pathlume.htm#Main_Contents\n"), std::string::npos)
        << started;

    fs::remove(windows / "portscout.exe");
    platform::ClearMessageBoxes();
    Command(3062);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

}  // namespace
}  // namespace shell_test

#include "tests/shell/running_view.h"

#include <algorithm>

#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/position/nmea_receiver.h"
#include "platform/kernel/clock.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/registry.h"
#include "platform/user/dialogs.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"

namespace shell_test {

int ScreenRecorder::Answer(const std::string& name, int fallback) {
    calls.push_back(name);
    if (auto action = actions.find(name); action != actions.end())
        action->second();
    auto& queue = answers[name];
    if (queue.empty())
        return fallback;
    const int answer = queue.front();
    queue.pop_front();
    return answer;
}

int ScreenRecorder::Count(const std::string& name) const {
    return static_cast<int>(std::count(calls.begin(), calls.end(), name));
}

void RunningViewTest::SetUp() {
    route_test::RouteTownMaps();
    InstallTownMaps();
    InstallVoiceFiles();
    // A serial port that is not there: no Bluetooth radio to wait for.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 3);
    platform::UseManualClock(true);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    Pump();
    frame_ = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame_, nullptr);
    view_ = &frame_->View();
    InstallRecorder();
}

void RunningViewTest::TearDown() {
    SetOptionDialogs({});
    SetDestinationSearch({});
    if (app_)
        Close();
    // The process keeps one registry for all its tests: what these tests change goes
    // back to the defaults.
    HKEY key = nullptr;
    if (RegOpenKeyExW(HKEY_CURRENT_USER, kSettingsKey, 0, 0, &key) == ERROR_SUCCESS) {
        for (const char16_t* value :
             {u"Options", u"3DMode", u"ZoomIndex", u"POIIconMode", u"StatBoxMode", u"NMEABaud",
              u"SpeedLimitMI", u"SpeedLimitKM", u"AutoSpeedLimit", u"Hotkeys", u"Hotkey Count"})
            RegDeleteValueW(key, value);
        RegCloseKey(key);
    }
    platform::UseManualClock(false);
    platform::ClearMessageBoxes();
    platform::ClearFileDialogs();
}

void RunningViewTest::InstallRecorder() {
    ScreenRecorder& r = recorder_;
    auto note = [this, &r] {
        r.modalCounts.push_back(view_->modalCount.load());
        r.paused.push_back(ReceiverPaused());
    };
    auto slot = [&r, note](const std::string& name, int fallback) {
        return [&r, note, name, fallback](CWnd*) {
            note();
            return r.Answer(name, fallback);
        };
    };
    OptionDialogs dialogs;
    dialogs.routeManagement = slot("routeManagement", kRouteManagementNew);
    dialogs.detourOptions = [&r, note](CWnd*, float distance) {
        note();
        r.distances.push_back(distance);
        return r.Answer("detourOptions", IDCANCEL);
    };
    dialogs.avoidRoads = slot("avoidRoads", IDCANCEL);
    dialogs.routeOptions = slot("routeOptions", IDCANCEL);
    dialogs.displayOptions = slot("displayOptions", IDCANCEL);
    dialogs.poiFilter = slot("poiFilter", IDCANCEL);
    dialogs.guidanceVolume = slot("guidanceVolume", IDCANCEL);
    dialogs.speedAlert = slot("speedAlert", IDCANCEL);
    SetOptionDialogs(std::move(dialogs));
    DestinationSearch search;
    search.runSearch = [&r, note](CMainView&, int region) {
        note();
        r.regions.push_back(region);
        return r.Answer("search", kSearchClosed);
    };
    search.runList = [&r, note](CMainView&, int kind) {
        note();
        return r.Answer(kind == kListKindRecent ? "recent" : "favorites", IDCANCEL);
    };
    SetDestinationSearch(std::move(search));
}

void RunningViewTest::WhenIdle(std::function<void()> step) {
    platform::CallWhenIdle(view_->GetViewWindow(), std::move(step));
}

bool RunningViewTest::Checked(UINT id) const {
    const UINT state = GetMenuState(frame_->Menu(), id, MF_BYCOMMAND);
    return state != static_cast<UINT>(-1) && (state & MF_CHECKED) != 0;
}

std::u16string RunningViewTest::MenuText(UINT id) const {
    WCHAR text[64] = {};
    GetMenuStringW(frame_->Menu(), id, text, 64, MF_BYCOMMAND);
    return text;
}

bool RunningViewTest::ReceiverPaused() const {
    CNmeaReceiver* receiver = g_gpsReceiver.load();
    return receiver && (receiver->GetFlags() & kGpsPaused) != 0;
}

}  // namespace shell_test

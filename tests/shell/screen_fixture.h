// The running program on the town's maps for the tests of the full-screen child
// screens (guidance, route list, GPS information, almanac): the screens are shown
// through the view's screen switch, driven by keys, taps and messages, and read back
// through the texts they draw.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/guidance/guidance_update.h"
#include "pathlume/position/nmea_receiver.h"
#include "pathlume/shell/app_settings.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/receiver_control.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/clock.h"
#include "platform/user/user.h"
#include "tests/route/route_test_maps.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {

class ChildScreenTest : public AppTest {
  protected:
    static void SetUpTestSuite() { route_test::RouteTownMaps(); }

    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
        // Guidance has not run in this start yet (an earlier test's start set it).
        g_guidanceSwitchDistance = 0;
        platform::UseManualClock(true);
        BeforeStart();
        ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
        Pump();
        frame_ = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
        ASSERT_NE(frame_, nullptr);
        view_ = &frame_->View();
        ::SetForegroundWindow(frame_->GetSafeHwnd());
        // Nothing but the test writes the fix.
        CloseReceiverPort();
        receiver_ = g_gpsReceiver.load();
        ASSERT_NE(receiver_, nullptr);
    }
    void TearDown() override {
        if (app_)
            Close();
        platform::UseManualClock(false);
    }
    // What a test sets before the program starts (the screen, the date).
    virtual void BeforeStart() {}

    // Shows a screen through the view's switch (as WM_USER 2 does) and draws it.
    CChildScreen* Show(DWORD mode) {
        view_->SwitchScreen(static_cast<int>(mode));
        Pump();
        return view_->ScreenOf(mode);
    }
    // The texts drawn while the call ran and the queue was pumped, one string.
    template <class Action>
    std::string DrawnTexts(Action&& action) {
        platform::TextRecording recording;
        action();
        Pump();
        std::string all;
        for (const platform::DrawnText& text : recording.Texts()) {
            for (char16_t c : text.text)
                all += c < 0x80 ? static_cast<char>(c) : '?';
            all += '\n';
        }
        return all;
    }
    void PressKey(UINT key) {
        platform::PostKeyPress(key);
        Pump();
    }
    // A WM_USER message with this code and value waits in the view's queue.
    bool ViewRequestWaits(WPARAM code, LPARAM value) {
        MSG message;
        while (PeekMessageW(&message, view_->GetSafeHwnd(), WM_USER, WM_USER, PM_REMOVE)) {
            if (message.wParam == code && message.lParam == value)
                return true;
        }
        return false;
    }

    CMainFrame* frame_ = nullptr;
    CMainView* view_ = nullptr;
    CNmeaReceiver* receiver_ = nullptr;
};

}  // namespace shell_test

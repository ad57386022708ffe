// The running program in-process with its main view, and option dialogs and a
// destination search that record their calls and answer from a script: the frame
// around them is what the tests drive.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "pathlume/shell/destination_search.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "pathlume/shell/option_dialogs.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {

// Each slot records its name and answers the next scripted answer (the empty
// slot's answer when none is left), after running the slot's action when one is set.
struct ScreenRecorder {
    std::vector<std::string> calls;
    std::map<std::string, std::deque<int>> answers;
    std::map<std::string, std::function<void()>> actions;
    std::vector<int> regions;      // the search's region, each run
    std::vector<float> distances;  // the detour options' route distance
    std::vector<int> modalCounts;  // the view's modal count inside each slot
    std::vector<bool> paused;      // the receiver's paused flag inside each slot

    int Answer(const std::string& name, int fallback);
    int Count(const std::string& name) const;
};

class RunningViewTest : public AppTest {
  protected:
    void SetUp() override;
    void TearDown() override;

    // Installs the recording slots for every option dialog and the search.
    void InstallRecorder();
    // Runs `step` once the thread is idle inside the next modal screen, then pumps.
    void WhenIdle(std::function<void()> step);
    // The checked state of a menu 2000 item.
    bool Checked(UINT id) const;
    // The text of a menu 2000 item.
    std::u16string MenuText(UINT id) const;
    // The receiver's paused flag.
    bool ReceiverPaused() const;

    CMainFrame* frame_ = nullptr;
    CMainView* view_ = nullptr;
    ScreenRecorder recorder_;
};

}  // namespace shell_test

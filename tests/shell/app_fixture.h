// The real application started in-process and headless on a device root the test
// makes: the built-in town's maps and stand-in voice files in the install folder.
#pragma once

#include <gtest/gtest.h>

#include <atomic>

#include <filesystem>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/shell/nav_app.h"
#include "tests/support/temp_root.h"

namespace shell_test {

// A screen and resource set the goldens are drawn at.
struct ScreenSet {
    const char* name;
    int width;
    int height;
    int dpi;
};
// QVGA and VGA, for INSTANTIATE_TEST_SUITE_P, and the tests' names by set.
inline auto GoldenScreenSets() {
    return testing::Values(ScreenSet{"qvga", 240, 320, 96}, ScreenSet{"vga", 480, 640, 192});
}
inline std::string ScreenSetName(const testing::TestParamInfo<ScreenSet>& info) {
    return info.param.name;
}

// The install folder on the device root ("\Program Files\Zanter\Wayscribe").
std::filesystem::path InstallFolder();
// Copies the town's device maps into the install folder's "Maps".
void InstallTownMaps();
// Andorra's device maps, generated once from the shared extract; empty when the
// shared data is absent.
const std::filesystem::path& AndorraMaps();
// Bytes of the program heap in use: equal before and after a start that gave
// everything back.
size_t HeapBytesInUse();
// Files named as the voice prompts the start-up looks for.
void InstallVoiceFiles();
// On the manual clock, waits (in real time) until the program's voice has spoken
// every phrase it was given. Its worker moves the clock on by itself, by the pause
// after each phrase, whenever that thread gets to run: a test lets it finish before
// its timed steps, or a loaded machine moves the clock in the middle of them.
void WaitForVoiceToEnd();

// Answers modal dialogs from a thread of its own: for each key, waits until a dialog
// is up, presses the key and waits until that dialog is gone.
class DialogAnswerer {
  public:
    explicit DialogAnswerer(std::vector<UINT> keys);
    ~DialogAnswerer();
    DialogAnswerer(const DialogAnswerer&) = delete;
    DialogAnswerer& operator=(const DialogAnswerer&) = delete;
    // How many keys were pressed.
    int Answered() const { return answered_; }

  private:
    std::thread thread_;
    std::atomic<int> answered_{0};
    std::atomic<bool> stop_{false};
};

// The town's maps are generated in roots of their own, which must be gone before a
// test makes its roots current: so they are built before the fixture's roots.
struct TownMapsBuilt {
    TownMapsBuilt();
};

class AppTest : private TownMapsBuilt, public testing::Test {
  protected:
    AppTest();
    ~AppTest() override;

    // Copies Andorra's maps into the install folder; false when there are none.
    bool InstallAndorraMaps();
    // Makes the application and runs its start-up with the command line; the
    // dialogs it shows are answered with the keys, in order.
    BOOL Start(const std::u16string& commandLine = u"", std::vector<UINT> dialogKeys = {VK_RETURN});
    // One key for the disclaimer (0: no dialog is answered).
    BOOL Start(const std::u16string& commandLine, UINT disclaimerKey) {
        return Start(commandLine,
                     disclaimerKey ? std::vector<UINT>{disclaimerKey} : std::vector<UINT>{});
    }
    // Pumps until nothing is left to do, the voice's phrases included (on the
    // manual clock).
    void Pump();
    // Closes the main window as the user does, then ends the application.
    void Close();
    // Ends the application (ExitInstance) and deletes it.
    void Finish();

    testing_support::TempRoots roots_;
    std::unique_ptr<CNavApp> app_;
    std::u16string commandLine_;
    // The dialogs the last Start answered.
    int dialogsAnswered_ = 0;
    // What ExitInstance returned at the last Finish.
    int exitStatus_ = -1;
};

}  // namespace shell_test

// What the screen tests share: a QVGA screen at scale 1 with the program's fonts,
// no window or input left behind, and golden pictures.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/afx/afx.h"
#include "tools/quiet_main_view.h"

namespace screen_testing {

// Creates the program's six fonts at the current scale (the settings loader's job).
void CreateProgramFonts();
void DeleteProgramFonts();
// Destroys the calling thread's windows and forgets pending input and quits.
void CleanUpThread();

// A screen that keeps the commands it is sent.
class CommandParent : public CWnd {
  public:
    struct Command {
        WPARAM wParam;
        LPARAM lParam;
    };
    std::vector<Command> commands;

    // A 240 x 320 popup over the whole screen.
    BOOL Make();
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
};

// A main view whose window is the given one: where screens pass on their keys.
class WindowMainView final : public QuietMainView {
  public:
    explicit WindowMainView(HWND window) : window_(window) {}
    HWND GetViewWindow() override { return window_; }

  private:
    HWND window_;
};

// A dialog that runs a check once it is up and painted (timers come after painting).
template <class Dialog>
class ShownProbe : public Dialog {
  public:
    using Dialog::Dialog;
    std::function<void(ShownProbe&)> onShown;

    BOOL OnInitDialog() override {
        const BOOL result = Dialog::OnInitDialog();
        this->SetTimer(kProbeTimer, 10);
        return result;
    }
    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override {
        if (message == WM_TIMER && wParam == kProbeTimer) {
            this->KillTimer(kProbeTimer);
            if (onShown) {
                onShown(*this);
            }
            return 0;
        }
        return Dialog::WindowProc(message, wParam, lParam);
    }

  private:
    static constexpr UINT_PTR kProbeTimer = 77;
};

class ScreenTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
};

// The program's own boxes drawn (true: for a test to tap them) while system message
// boxes stay headless; false goes back to headless for both.
void DrawOwnBoxes(bool on);

// Where the screens a test draws are written, for a person to look at.
std::filesystem::path ScreenOutputFolder();
// Writes the whole screen to ScreenOutputFolder()/name.png and compares it with
// golden/name.png: at most 1 % of the pixels may differ by more than 32 in a
// channel. With PATHLUME_UPDATE_GOLDEN=1 the golden is rewritten instead.
testing::AssertionResult ScreenMatchesGolden(const std::string& name);
// The same against goldenFolder/name.png (another module's goldens).
testing::AssertionResult ScreenMatchesGolden(const std::filesystem::path& goldenFolder,
                                             const std::string& name);

}  // namespace screen_testing

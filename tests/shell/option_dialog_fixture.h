// The option dialogs in the running program: the application started on the town's
// maps, each dialog run modally from the test with steps taken once it shows.
#pragma once

#include <functional>
#include <string>
#include <utility>

#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/main_view.h"
#include "tests/foundation/screen_test_support.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {

class OptionDialogTest : public AppTest {
  protected:
    static void SetUpTestSuite();
    void SetUp() override;
    void TearDown() override;
    // Starts the program at the screen's size (QVGA or VGA).
    void StartAt(int width, int height, int dpi);

    // Runs the dialog (made with the arguments) and the steps once it has shown and
    // painted; the dialog's result.
    template <class Dialog, class... Args>
    int Run(std::function<void(Dialog&)> steps, Args&&... args) {
        screen_testing::ShownProbe<Dialog> dialog(std::forward<Args>(args)...);
        dialog.onShown = [&steps](screen_testing::ShownProbe<Dialog>& shown) { steps(shown); };
        return static_cast<int>(dialog.DoModal());
    }

    CMainFrame* frame_ = nullptr;
    CMainView* view_ = nullptr;
};

// A tap on a control as the dialog learns of it: WM_COMMAND with its id.
void Press(CWnd& dialog, UINT id);
// Every text the recording holds, drawn anywhere, in order.
std::vector<std::u16string> DrawnTexts(const platform::TextRecording& recording);
// Whether some drawn text contains the part.
bool Drew(const platform::TextRecording& recording, const std::u16string& part);
// The screen as a golden picture of the shell's tests (tests/shell/golden).
testing::AssertionResult ShellScreenMatchesGolden(const std::string& name);

}  // namespace shell_test

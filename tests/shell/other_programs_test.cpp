// Other programs on the same device root: a second start of the program and the
// port detector's requests to the running one.
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "pathlume/foundation/app_services.h"
#include "pathlume/shell/destination_search.h"
#include "pathlume/shell/main_frame.h"
#include "pathlume/shell/nav_app.h"
#include "platform/user/user.h"
#include "tests/shell/app_fixture.h"
#include "tests/support/test_child.h"

namespace shell_test {
namespace {

// A second start of the program with the start word: 0 when it handed over and ended.
TEST_CHILD(second_start) {
    std::u16string commandLine;
    if (!args.empty())
        commandLine.assign(args[0].begin(), args[0].end());
    CNavApp app;
    app.m_lpCmdLine = commandLine.data();
    return app.InitInstance() ? 1 : 0;
}

// What the port detector does: close the port (sent), ask for a reopen, then close
// the program. 0 when the program answered the close with 1.
TEST_CHILD(port_detector) {
    HWND program = FindWindowW(kMainWindowClassFound, nullptr);
    if (!program)
        return 2;
    if (SendMessageW(program, WM_USER, kFrameClosePort, 0) != 1)
        return 3;
    PostMessageW(program, WM_USER, kFrameReopenPort, 0);
    PostMessageW(program, WM_COMMAND, ID_APP_EXIT, 0);
    return 0;
}

std::vector<WPARAM> g_commands;
WNDPROC g_frameProc = nullptr;

LRESULT CALLBACK RecordCommands(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_COMMAND)
        g_commands.push_back(wParam);
    return CallWindowProcW(g_frameProc, window, message, wParam, lParam);
}

class OtherProgramsTest : public AppTest {
  protected:
    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
        g_commands.clear();
    }
    // Runs the child while this program keeps serving its messages.
    int RunChildServing(const std::string& name, const std::vector<std::string>& args) {
        const pid_t child = testing_support::StartChild(name, args);
        int status = 0;
        const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(60);
        while (waitpid(child, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > giveUp) {
                kill(child, SIGKILL);
                waitpid(child, &status, 0);
                return -1;
            }
            Pump();
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        Pump();
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }
};

TEST_F(OtherProgramsTest, SecondStartWithSearchAsksTheRunningOneForADestination) {
    ASSERT_TRUE(Start());
    // The search answers closed at once: this test is about the command arriving.
    SetDestinationSearch({});
    HWND frame = app_->m_pMainWnd->GetSafeHwnd();
    g_frameProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(RecordCommands)));
    EXPECT_EQ(RunChildServing("second_start", {"SEARCH"}), 0);
    for (int i = 0; i < 200 && g_commands.empty(); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Pump();
    }
    EXPECT_EQ(g_commands, std::vector<WPARAM>{kCommandEnterDestination});
    // Without the word the running program only comes to the front.
    EXPECT_EQ(RunChildServing("second_start", {}), 0);
    EXPECT_EQ(g_commands.size(), 1u);
    SetWindowLongPtrW(frame, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(g_frameProc));
    EXPECT_NE(g_mainView.load(), nullptr);
    Close();
}

TEST_F(OtherProgramsTest, PortDetectorClosesThePortAndThenTheProgram) {
    ASSERT_TRUE(Start());
    HWND frame = app_->m_pMainWnd->GetSafeHwnd();
    EXPECT_EQ(RunChildServing("port_detector", {}), 0);
    for (int i = 0; i < 400 && IsWindow(frame); ++i) {
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
        Pump();
    }
    EXPECT_FALSE(IsWindow(frame));
    EXPECT_EQ(g_mainView.load(), nullptr);
    app_->m_pMainWnd = nullptr;
    Finish();
}

}  // namespace
}  // namespace shell_test

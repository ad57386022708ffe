// Choosing the target: the PC drive measured, or the handheld connected behind the
// "Connecting" dialog with the connection-failed dialog's Retry, Abort and Exit, as
// the pages run it; the two dialogs on the desktop's screen.
#include "mapferry/ui/target_location.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/kernel/kernel.h"
#include "platform/user/user.h"
#include "tests/foundation/screen_test_support.h"
#include "tests/support/cradle_child.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CradleChild;

fs::path GoldenFolder() {
    return testing_support::RepositoryFolder() / "tests" / "mapferry" / "ui" / "golden";
}

class TargetLocationTest : public testing_support::RootsTest {
  protected:
    void SetUp() override {
        platform::SetCurrentSide(platform::Side::Desktop);
        platform::SetScreenMode(640, 480, 96);
        handheld_ = roots_.base() / "handheld";
        fs::create_directories(handheld_ / "Windows");
        dock_ = roots_.base() / "cradle.dock";
        setenv("MAPFERRY_CRADLE", dock_.c_str(), 1);
        ASSERT_EQ(LoadRapiLibrary(), 0);
    }
    void TearDown() override {
        if (answering_.joinable())
            answering_.join();
        holder_.reset();
        cradle_.reset();
        UnloadRapiLibrary();
        unsetenv("MAPFERRY_CRADLE");
        screen_testing::CleanUpThread();
        platform::SetCurrentSide(platform::Side::Device);
    }

    void StartCradle() {
        cradle_.emplace(handheld_, std::vector<std::string>{}, dock_);
        ASSERT_TRUE(cradle_->Ready()) << cradle_->Errors();
    }

    // Answers the connection-failed dialog with `button` once it is up; before that,
    // `first` runs (a cradle started, say).
    void AnswerFailure(int button, std::function<void()> first = {}) {
        answering_ = std::thread([button, first] {
            const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
            while (std::chrono::steady_clock::now() < deadline) {
                if (HWND failed = FindWindowW(nullptr, u"Wayscribe mapferry")) {
                    if (first)
                        first();
                    PostMessageW(failed, WM_COMMAND, static_cast<WPARAM>(button), 0);
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
            }
        });
    }

    fs::path handheld_;
    fs::path dock_;
    std::optional<CradleChild> cradle_;
    std::optional<CDeviceLinkHolder> holder_{std::in_place};
    std::thread answering_;
};

TEST_F(TargetLocationTest, ThePcDriveOfTheProgramIsMeasured) {
    // The program lies outside every drive here: its drive is C:.
    fs::create_directories(roots_.desktop() / "C");
    ASSERT_TRUE(platform::SetDiskFreeSpace(u"C:\\", {5ull << 30, 8ull << 30, 5ull << 30}));
    EXPECT_EQ(ChooseTargetLocation(1, *holder_, nullptr), 1);
    platform::ClearDiskFreeSpace();
    EXPECT_EQ(holder_->m_chosenKind, kTargetPcDrive);
    EXPECT_EQ(holder_->m_chosenDrive, 2);
    EXPECT_EQ(holder_->m_chosenFree, 5120.0);
    EXPECT_NE(holder_->PeekDeviceLink(), nullptr);
}

TEST_F(TargetLocationTest, AHandheldInItsCradleIsConnected) {
    StartCradle();
    EXPECT_EQ(ChooseTargetLocation(0, *holder_, nullptr), 1);
    EXPECT_EQ(holder_->m_connectResult.load(), kConnectDone);
    EXPECT_TRUE(holder_->PeekDeviceLink()->IsServiceReady());
    const CEOSVERSIONINFO version = DeviceVersion();
    EXPECT_EQ(version.dwOSVersionInfoSize, 276u);
    EXPECT_EQ(version.dwMajorVersion, 5u);
    EXPECT_EQ(version.dwMinorVersion, 1u);
}

TEST_F(TargetLocationTest, AbortAndExitGiveUpAndRetryConnectsOnceTheCradleIsThere) {
    for (int button : {IDCANCEL, kConnectFailedExit}) {
        SCOPED_TRACE(button);
        AnswerFailure(button);
        EXPECT_EQ(ChooseTargetLocation(0, *holder_, nullptr), 0);
        answering_.join();
        EXPECT_EQ(holder_->m_connectResult.load(), kConnectTimedOut);
    }
    AnswerFailure(IDOK, [this] { StartCradle(); });
    EXPECT_EQ(ChooseTargetLocation(0, *holder_, nullptr), 1);
    EXPECT_EQ(holder_->m_connectResult.load(), kConnectDone);
}

UINT WaitForEvent(LPVOID event) {
    WaitForSingleObject(static_cast<HANDLE>(event), INFINITE);
    return 0;
}

TEST_F(TargetLocationTest, TheDialogsOnTheScreen) {
    // "Connecting", while a connect thread works; it ends with 1 once the thread has.
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    CWinThread* thread =
        AfxBeginThread(WaitForEvent, release, THREAD_PRIORITY_NORMAL, 0, CREATE_SUSPENDED);
    thread->m_bAutoDelete = FALSE;
    thread->ResumeThread();
    screen_testing::ShownProbe<CConnectingDlg> connecting(thread, nullptr);
    connecting.onShown = [&](auto&) {
        EXPECT_TRUE(screen_testing::ScreenMatchesGolden(GoldenFolder(), "connecting"));
        SetEvent(release);
    };
    EXPECT_EQ(connecting.DoModal(), 1);
    CloseHandle(release);

    screen_testing::ShownProbe<CConnectFailedDlg> failed(nullptr);
    failed.onShown = [&](auto& dialog) {
        EXPECT_TRUE(screen_testing::ScreenMatchesGolden(GoldenFolder(), "connection_failed"));
        dialog.EndDialog(kFailedExit);
    };
    EXPECT_EQ(failed.DoModal(), kFailedExit);
}

}  // namespace

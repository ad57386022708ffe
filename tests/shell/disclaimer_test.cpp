#include "pathlume/shell/disclaimer.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <thread>

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "pathlume/shell/app_settings.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/registry.h"
#include "platform/user/dialogs.h"
#include "platform/user/user.h"
#include "tests/foundation/screen_test_support.h"
#include "tests/shell/app_fixture.h"
#include "tests/support/shared_data.h"

namespace shell_test {
namespace {

DWORD ShowWarning() {
    return RegGetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 77);
}

class StartupTest : public AppTest {
  protected:
    void SetUp() override {
        InstallTownMaps();
        InstallVoiceFiles();
        g_homeKeyPressed.store(0);
    }
};

// Refusing stops the loader wherever it is; the program closes without tearing the
// map database down under it (the sanitizer would see that).
TEST_F(StartupTest, EscapeOrHomeRefusesAndTheProgramEnds) {
    for (UINT key : {VK_ESCAPE, VK_HOME}) {
        g_homeKeyPressed.store(0);
        EXPECT_FALSE(Start(u"", {key})) << key;
        EXPECT_EQ(dialogsAnswered_, 1);
        Pump();
        EXPECT_EQ(g_mainView.load(), nullptr);
        EXPECT_EQ(g_homeKeyPressed.load(), key == VK_HOME ? 1u : 0u);
        Finish();
        EXPECT_EQ(exitStatus_, 0);
    }
}

TEST_F(StartupTest, NoWarningSkipsTheDisclaimerOnce) {
    // The first start stores what a new device lacks (the zoom step, "ShowWarning").
    ASSERT_TRUE(Start(u"NoWarning", std::vector<UINT>{}));
    EXPECT_NE(g_mainView.load(), nullptr);
    EXPECT_EQ(g_mapsLoading.load(), 0);
    EXPECT_EQ(ShowWarning(), 1u);
    Close();
    EXPECT_EQ(exitStatus_, 0);
    // Another start saves nothing: the registry file is the one it was.
    const std::filesystem::path file = platform::RegistryFile(platform::Side::Device);
    struct stat before {};
    ASSERT_EQ(stat(file.c_str(), &before), 0);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    EXPECT_EQ(g_mapsLoading.load(), 0);
    struct stat after {};
    ASSERT_EQ(stat(file.c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "the start saved the registry";
    Close();
    // Once: a start without the word asks again.
    EXPECT_FALSE(Start(u"", {VK_ESCAPE}));
    EXPECT_EQ(dialogsAnswered_, 1);
    Finish();
}

TEST_F(StartupTest, AcceptedDisclaimerKeepsShowWarningOn) {
    ASSERT_TRUE(Start());
    EXPECT_EQ(dialogsAnswered_, 1);
    EXPECT_EQ(ShowWarning(), 1u);
    Close();
}

TEST_F(StartupTest, MissingMapDataShowsItsWarningAndEnds) {
    std::filesystem::remove(InstallFolder() / "Maps" / "linkinfo.bin");
    EXPECT_FALSE(Start(u"", {VK_ESCAPE}));
    EXPECT_EQ(dialogsAnswered_, 1);
    EXPECT_TRUE(app_->MapDataMissing());
    EXPECT_EQ(g_mainView.load(), nullptr);
    Finish();
    EXPECT_EQ(exitStatus_, 1);
}

TEST_F(StartupTest, MissingMapDataWithChecksOffEndsWithoutAWord) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"Options2", 0x80000000);
    std::filesystem::remove(InstallFolder() / "Maps" / "poi.bin");
    platform::ClearMessageBoxes();
    EXPECT_FALSE(Start(u"", std::vector<UINT>{}));
    EXPECT_TRUE(app_->MapDataMissing());
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
    EXPECT_EQ(dialogsAnswered_, 0);
    Finish();
    EXPECT_EQ(exitStatus_, 1);
    EXPECT_TRUE(platform::ShownMessageBoxes().empty());
}

// "nowarning" accepts nothing when the disclaimer never runs, and is never stored: a
// start that dies before its end leaves the disclaimer on too.
TEST_F(StartupTest, NoWarningWithoutMapDataLeavesTheDisclaimerOn) {
    std::filesystem::remove(InstallFolder() / "Maps" / "names.bin");
    EXPECT_FALSE(Start(u"nowarning", {VK_ESCAPE}));
    EXPECT_NE(ShowWarning(), 0u);
    Finish();
    EXPECT_NE(ShowWarning(), 0u);
}

TEST_F(StartupTest, MissingVoiceFilesRefuseTheStart) {
    std::filesystem::remove(InstallFolder() / "Snd" / "wait4gps.spx");
    EXPECT_FALSE(Start(u"", {VK_RETURN, VK_ESCAPE}));
    EXPECT_EQ(dialogsAnswered_, 2);
    EXPECT_EQ(g_mainView.load(), nullptr);
    Finish();
    EXPECT_EQ(exitStatus_, 1);
}

// A loader that runs until it is released.
struct HeldLoader {
    HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE thread = CreateThread(
        nullptr, 0, [](LPVOID event) -> DWORD { return WaitForSingleObject(event, INFINITE); },
        release, 0, nullptr);
    ~HeldLoader() {
        SetEvent(release);
        WaitForSingleObject(thread, INFINITE);
        CloseHandle(thread);
        CloseHandle(release);
    }
};

class DisclaimerTest : public testing_support::RootsTest {};

TEST_F(DisclaimerTest, AcceptWaitsForARunningLoaderAndRefuseDoesNot) {
    platform::UseDrawnMessageBox(true);
    platform::SetMessageBoxHandler(nullptr);
    {
        HeldLoader loader;
        std::thread releaser([&] {
            std::this_thread::sleep_for(std::chrono::milliseconds(200));
            SetEvent(loader.release);
        });
        DialogAnswerer answerer({VK_RETURN});
        EXPECT_EQ(RunSafetyDisclaimer(nullptr, loader.thread, nullptr), IDOK);
        // Accepted only once the loader had ended.
        EXPECT_EQ(WaitForSingleObject(loader.thread, 0), WAIT_OBJECT_0);
        releaser.join();
    }
    {
        HeldLoader loader;
        DialogAnswerer answerer({VK_ESCAPE});
        EXPECT_EQ(RunSafetyDisclaimer(nullptr, loader.thread, nullptr), IDCANCEL);
        EXPECT_EQ(WaitForSingleObject(loader.thread, 0), WAIT_TIMEOUT);
    }
    platform::UseDrawnMessageBox(false);
}

// Headless the disclaimer never waits for a tap: refused unless a script answers it.
TEST_F(DisclaimerTest, HeadlessItIsRefusedUnlessAScriptAccepts) {
    platform::ClearMessageBoxes();
    {
        HeldLoader loader;
        EXPECT_EQ(RunSafetyDisclaimer(nullptr, loader.thread, nullptr), IDCANCEL);
        EXPECT_EQ(WaitForSingleObject(loader.thread, 0), WAIT_TIMEOUT);
    }
    HeldLoader loader;
    std::thread releaser([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        SetEvent(loader.release);
    });
    platform::QueueMessageBoxAnswer(IDOK);
    EXPECT_EQ(RunSafetyDisclaimer(nullptr, loader.thread, nullptr), IDOK);
    EXPECT_EQ(WaitForSingleObject(loader.thread, 0), WAIT_OBJECT_0);
    releaser.join();
    EXPECT_EQ(ShowWarning(), 1u);
    const auto boxes = platform::ShownMessageBoxes();
    ASSERT_EQ(boxes.size(), 2u);
    EXPECT_EQ(boxes[1].type, static_cast<UINT>(MB_OKCANCEL | MB_DEFBUTTON2));
    platform::ClearMessageBoxes();
}

TEST_F(DisclaimerTest, ShowWarningZeroAcceptsOnceAndTurnsItBackOn) {
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"ShowWarning", 0);
    EXPECT_EQ(RunSafetyDisclaimer(nullptr, nullptr, nullptr), IDOK);
    EXPECT_EQ(ShowWarning(), 1u);
}

struct ScreenForm {
    const char* name;
    int width;
    int height;
    int dpi;
};

class DisclaimerGoldenTest : public AppTest, public testing::WithParamInterface<ScreenForm> {
  protected:
    void TearDown() override {
        if (app_)
            Finish();
        platform::SetScreenMode(240, 320, 96);
    }
    // Starts the program and takes the screen the first time it waits for input,
    // then presses the key; whether the screen matched the golden `name`.
    testing::AssertionResult StartAndTakeTheFirstBox(const std::u16string& commandLine,
                                                     const std::string& name, UINT key) {
        HWND probe =
            CreateWindowExW(0, u"STATIC", u"", 0, 0, 0, 1, 1, nullptr, nullptr, nullptr, nullptr);
        testing::AssertionResult matches = testing::AssertionFailure() << "no box showed";
        platform::CallWhenIdle(probe, [&] {
            matches = screen_testing::ScreenMatchesGolden(
                testing_support::RepositoryFolder() / "tests" / "shell" / "golden", name);
            platform::PostKeyPress(key);
        });
        Start(commandLine, std::vector<UINT>{});
        DestroyWindow(probe);
        return matches;
    }
};

// The disclaimer as the program shows it at the start, on every form of both
// screen sets: the title, the whole text, the picture below it and both buttons
// with their labels inside the screen.
TEST_P(DisclaimerGoldenTest, TheDisclaimerIsWholeOnEveryScreenForm) {
    const ScreenForm form = GetParam();
    platform::SetScreenMode(form.width, form.height, form.dpi);
    InstallTownMaps();
    InstallVoiceFiles();
    // The first moment the program waits for input is inside the disclaimer's loop,
    // once it is drawn: the screen is taken then, and the disclaimer refused.
    EXPECT_TRUE(StartAndTakeTheFirstBox(u"", std::string("disclaimer_") + form.name, VK_ESCAPE));
}

// The program's own warning box, whole on every form as well.
TEST_P(DisclaimerGoldenTest, TheStartsWarningBoxIsWholeOnEveryScreenForm) {
    const ScreenForm form = GetParam();
    platform::SetScreenMode(form.width, form.height, form.dpi);
    InstallTownMaps();
    InstallVoiceFiles();
    std::filesystem::remove(InstallFolder() / "Snd" / "wait4gps.spx");
    EXPECT_TRUE(
        StartAndTakeTheFirstBox(u"nowarning", std::string("warning_box_") + form.name, VK_ESCAPE));
}

INSTANTIATE_TEST_SUITE_P(
    ScreenForms, DisclaimerGoldenTest,
    testing::Values(ScreenForm{"qvga", 240, 320, 96}, ScreenForm{"qvga_landscape", 320, 240, 96},
                    ScreenForm{"square", 240, 240, 96}, ScreenForm{"vga", 480, 640, 192},
                    ScreenForm{"vga_landscape", 640, 480, 192},
                    ScreenForm{"vga_square", 480, 480, 192}),
    [](const testing::TestParamInfo<ScreenForm>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace shell_test

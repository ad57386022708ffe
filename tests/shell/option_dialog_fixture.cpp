#include "tests/shell/option_dialog_fixture.h"

#include "pathlume/foundation/app_services.h"
#include "pathlume/foundation/registry_helpers.h"
#include "platform/gdi/gdi.h"
#include "platform/kernel/msgbox.h"
#include "tests/route/route_test_maps.h"
#include "tests/support/shared_data.h"

namespace shell_test {

void OptionDialogTest::SetUpTestSuite() {
    route_test::RouteTownMaps();
}

void OptionDialogTest::SetUp() {
    StartAt(240, 320, 96);
}

void OptionDialogTest::StartAt(int width, int height, int dpi) {
    if (app_)
        Close();
    platform::SetScreenMode(width, height, dpi);
    InstallTownMaps();
    InstallVoiceFiles();
    // A serial port that is not there: no Bluetooth radio to wait for.
    RegSetDword(HKEY_CURRENT_USER, kSettingsKey, u"CommPort", 3);
    ASSERT_TRUE(Start(u"nowarning", std::vector<UINT>{}));
    // The program's own boxes shown from the dialogs are answered as message boxes
    // and recorded: nobody taps them.
    screen_testing::DrawOwnBoxes(false);
    Pump();
    frame_ = dynamic_cast<CMainFrame*>(app_->m_pMainWnd);
    ASSERT_NE(frame_, nullptr);
    view_ = &frame_->View();
}

void OptionDialogTest::TearDown() {
    if (app_)
        Close();
    platform::ClearMessageBoxes();
    platform::SetScreenMode(240, 320, 96);
    g_homeKeyPressed.store(0);
}

void Press(CWnd& dialog, UINT id) {
    dialog.SendMessage(WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), 0);
}

std::vector<std::u16string> DrawnTexts(const platform::TextRecording& recording) {
    std::vector<std::u16string> texts;
    for (const platform::DrawnText& text : recording.Texts())
        texts.push_back(text.text);
    return texts;
}

bool Drew(const platform::TextRecording& recording, const std::u16string& part) {
    for (const platform::DrawnText& text : recording.Texts()) {
        if (text.text.find(part) != std::u16string::npos)
            return true;
    }
    return false;
}

testing::AssertionResult ShellScreenMatchesGolden(const std::string& name) {
    return screen_testing::ScreenMatchesGolden(
        testing_support::RepositoryFolder() / "tests" / "shell" / "golden", name);
}

}  // namespace shell_test

#include "tests/search/search_screen_test.h"

#include <cstring>

#include "pathlume/foundation/registry_helpers.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/paths.h"

namespace search_test {

void SearchScreenTest::UseScreen(int width, int height, int dpi) {
    platform::SetScreenMode(width, height, dpi);
    const float scale = static_cast<float>(dpi) / 96.0f;
    g_screenScaleX.store(scale);
    g_screenScaleY.store(scale);
    g_screenWidth.store(width);
    g_screenHeight.store(height);
    screen_testing::CreateProgramFonts();
}

void SearchScreenTest::SetUp() {
    SearchMapsTest::SetUp();
    UseScreen(240, 320, 96);
    g_colorMode.store(0);
    g_options.store(0);
    screen_testing::CleanUpThread();
    platform::UseDrawnMessageBox(false);
    platform::ClearMessageBoxes();
    std::memcpy(savedUserFolder_, g_userDataFolder, sizeof savedUserFolder_);
    const std::u16string folder = platform::HostPathText(roots_.base()) + u"/";
    std::copy(folder.begin(), folder.end(), g_userDataFolder);
    g_userDataFolder[folder.size()] = 0;
}

void SearchScreenTest::TearDown() {
    screen_testing::CleanUpThread();
    screen_testing::DeleteProgramFonts();
    platform::UseManualClock(false);
    platform::SetScreenMode(240, 320, 96);
    g_screenScaleX.store(1.0f);
    g_screenScaleY.store(1.0f);
    g_homeKeyPressed.store(0);
    g_options.store(0);
    std::memcpy(g_userDataFolder, savedUserFolder_, sizeof savedUserFolder_);
    SearchMapsTest::TearDown();
}

std::u16string DrawnTexts(const platform::TextRecording& recording) {
    std::u16string joined;
    for (const auto& text : recording.Texts())
        joined += text.text + u"|";
    return joined;
}

}  // namespace search_test

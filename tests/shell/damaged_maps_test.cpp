// The program's start refuses a map whose name files are cut short, with the box
// naming the file, instead of showing every street without its name.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "pathlume/shell/app_settings.h"
#include "platform/kernel/msgbox.h"
#include "platform/kernel/text.h"
#include "tests/shell/app_fixture.h"

namespace shell_test {
namespace {

class DamagedMapsTest : public AppTest {};

TEST_F(DamagedMapsTest, NameFilesCutShortRefuseTheStart) {
    for (const auto& [file, size] : {std::pair<const char*, uintmax_t>{"names.bin", 19540},
                                     std::pair<const char*, uintmax_t>{"sttypes.bin", 8}}) {
        SCOPED_TRACE(file);
        InstallTownMaps();
        std::filesystem::resize_file(InstallFolder() / "Maps" / file, size);
        platform::ClearMessageBoxes();
        EXPECT_EQ(AppLoadSettings(), 1);
        AppShutdown();
        const auto boxes = platform::ShownMessageBoxes();
        ASSERT_FALSE(boxes.empty());
        EXPECT_EQ(boxes[0].text, u"Invalid or Missing Data file: " + platform::Utf8ToWide(file));
    }
    InstallTownMaps();
    EXPECT_EQ(AppLoadSettings(), 0);
    AppShutdown();
}

}  // namespace
}  // namespace shell_test

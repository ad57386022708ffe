// The program's start settles a map swap that an installation killed half way left
// in the install folder's "Maps": the start then reads one whole map.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

#include "formats/map_set.h"
#include "pathlume/shell/app_settings.h"
#include "platform/kernel/text.h"
#include "tests/shell/app_fixture.h"
#include "tests/support/device_maps.h"
#include "tests/support/killed_swap_folder.h"
#include "tools/discmaker/town.h"

namespace shell_test {
namespace {

namespace fs = std::filesystem;
namespace ms = formats::map_set;

std::map<std::string, std::string> Snapshot(const fs::path& folder) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(folder)) {
        std::ifstream in(entry.path(), std::ios::binary);
        files[entry.path().filename().string()] =
            std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return files;
}

class MapSwapStartTest : public AppTest {};

TEST_F(MapSwapStartTest, TheStartFinishesOrUndoesAHalfDoneSwap) {
    const testing_support::GeneratedDeviceMaps next(discmaker::BuildTown(2, 300), {}, "swap-start");
    const fs::path maps = InstallFolder() / "Maps";
    InstallTownMaps();
    const auto before = Snapshot(maps), after = Snapshot(next.folder());
    ASSERT_NE(before, after);
    // The commit, a file set aside, one moved in, "names.bin" last, a backup's delete.
    for (int kill : {0, 2, 3, 47, 48, 50}) {
        SCOPED_TRACE("killed at operation " + std::to_string(kill));
        fs::remove_all(maps);
        InstallTownMaps();
        for (const char16_t* name : ms::kFileNames) {
            fs::copy_file(next.folder() / fs::path(std::u16string(name)),
                          maps / fs::path(ms::StagedName(name)));
        }
        ms::HostSwapFolder real(maps);
        testing_support::KilledSwapFolder killed(real, kill);
        ASSERT_FALSE(ms::InstallStagedMap(killed, ms::kFileNames));

        EXPECT_EQ(AppLoadSettings(), 0);
        AppShutdown();
        EXPECT_TRUE(Snapshot(maps) == (kill == 0 ? before : after));
    }
}

}  // namespace
}  // namespace shell_test

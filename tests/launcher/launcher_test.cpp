// The launcher as the user starts it: a child process on a device root with the three
// builds (stand-ins that note their start) in main memory or on a card.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "platform/cards/cards.h"
#include "platform/kernel/kernel.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

const char* kBuilds[] = {"pathlumeVGA.exe", "pathlumeQVGA.exe", "pathlumePhone.exe"};

fs::path Programs() {
    return fs::read_symlink("/proc/self/exe").parent_path();
}

class LauncherTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { platform::SetCurrentSide(platform::Side::Device); }

    // The builds into a folder of the device root.
    void PutBuilds(const fs::path& folder, std::vector<std::string> names = {}) {
        if (names.empty())
            names.assign(std::begin(kBuilds), std::end(kBuilds));
        fs::create_directories(roots_.device() / folder);
        for (const std::string& name : names)
            fs::copy_file(Programs() / "launcher_build_standin", roots_.device() / folder / name);
    }

    // Runs the launcher on the screen (empty: none given); its exit status.
    int Launch(const std::string& screen) {
        const std::string environment = "PATHLUME_DEVICE='" + roots_.device().string() + "' " +
                                        (screen.empty() ? std::string("env -u PATHLUME_SCREEN ")
                                                        : "PATHLUME_SCREEN=" + screen + " ");
        return testing_support::RunTool(
                   environment + "'" + (Programs() / "launcher.exe").string() + "'", "",
                   roots_.base())
            .status;
    }

    std::string Launched() {
        std::ifstream in(roots_.device() / "launched.txt");
        std::stringstream text;
        text << in.rdbuf();
        fs::remove(roots_.device() / "launched.txt");
        return text.str();
    }

    // The builds left under a folder.
    std::set<std::string> Left(const fs::path& folder) {
        std::set<std::string> names;
        for (const char* name : kBuilds)
            if (fs::exists(roots_.device() / folder / name))
                names.insert(name);
        return names;
    }
};

const fs::path kMainMemory = "Program Files/Zanter/Wayscribe";

TEST_F(LauncherTest, TheScreensBuildStartsAndTheOthersGo) {
    struct Case {
        const char* screen;
        const char* started;
    };
    for (const Case& c :
         {Case{"480x640@192", "pathlumeVGA.exe"}, Case{"240x240@96", "pathlumePhone.exe"},
          Case{"240x320@96", "pathlumeQVGA.exe"}, Case{"", "pathlumeQVGA.exe"}}) {
        SCOPED_TRACE(c.screen);
        fs::remove_all(roots_.device() / "Program Files");
        PutBuilds(kMainMemory);
        EXPECT_EQ(Launch(c.screen), 0);
        // The build inherits the screen it was started for.
        EXPECT_EQ(Launched(), std::string(c.started) + " " + (*c.screen ? c.screen : "-") + "\n");
        EXPECT_EQ(Left(kMainMemory), std::set<std::string>{c.started});
        // A second run deletes nothing and starts the build from where it lies.
        EXPECT_EQ(Launch(c.screen), 0);
        EXPECT_EQ(Launched().substr(0, std::strlen(c.started)), c.started);
        EXPECT_EQ(Left(kMainMemory), std::set<std::string>{c.started});
    }
}

TEST_F(LauncherTest, BuildsOnACardStartFromThatCard) {
    // All three builds on "CF Card", the install folder's path under it.
    const fs::path card = "CF Card/Program Files/Zanter/Wayscribe";
    PutBuilds(card);
    EXPECT_EQ(Launch("240x320@96"), 0);
    EXPECT_EQ(Launched(), "pathlumeQVGA.exe 240x320@96\n");
    EXPECT_EQ(Left(card), std::set<std::string>{"pathlumeQVGA.exe"});
    // Again: found by the installed-file search on the card root's path.
    EXPECT_EQ(Launch("240x320@96"), 0);
    EXPECT_EQ(Launched(), "pathlumeQVGA.exe 240x320@96\n");

    // On a storage card's own folder ("\Storage Card\Zanter Wayscribe").
    fs::remove_all(roots_.device() / "CF Card");
    ASSERT_TRUE(platform::MakeStorageCard(u"Storage Card"));
    PutBuilds("Storage Card/Zanter Wayscribe", {"pathlumeVGA.exe"});
    EXPECT_EQ(Launch("480x640@192"), 0);
    EXPECT_EQ(Launched(), "pathlumeVGA.exe 480x640@192\n");
}

TEST_F(LauncherTest, WithoutTheScreensBuildNothingGoesAndNothingStarts) {
    PutBuilds(kMainMemory, {"pathlumeVGA.exe", "pathlumePhone.exe"});
    EXPECT_EQ(Launch("240x320@96"), 1);
    EXPECT_EQ(Launched(), "");
    EXPECT_EQ(Left(kMainMemory), (std::set<std::string>{"pathlumeVGA.exe", "pathlumePhone.exe"}));

    // The card of the other build does not hold the one to keep: it starts from where
    // it is, not from a path on that card that does not exist.
    PutBuilds("SD Card/Program Files/Zanter/Wayscribe", {"pathlumeVGA.exe"});
    PutBuilds(kMainMemory, {"pathlumeQVGA.exe"});
    EXPECT_EQ(Launch("240x320@96"), 0);
    EXPECT_EQ(Launched(), "pathlumeQVGA.exe 240x320@96\n");
    EXPECT_EQ(Left("SD Card/Program Files/Zanter/Wayscribe"), std::set<std::string>{});
}

TEST_F(LauncherTest, ABadScreenSettingIsRefused) {
    PutBuilds(kMainMemory);
    EXPECT_EQ(Launch("big"), 2);
    EXPECT_EQ(Left(kMainMemory).size(), 3u);
}

}  // namespace

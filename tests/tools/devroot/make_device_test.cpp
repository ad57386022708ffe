// scripts/make-device: its refusals, and a whole device root when the programs are built.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "platform/cards/cards.h"
#include "platform/kernel/kernel.h"
#include "tests/support/shared_data.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

namespace fs = std::filesystem;

class MakeDeviceTest : public testing_support::RootsTest {
  protected:
    testing_support::ToolRun Run(const std::string& args) {
        const fs::path script = testing_support::RepositoryFolder() / "scripts" / "make-device";
        return testing_support::RunTool("'" + script.string() + "'", args, roots_.base());
    }
    std::string Quoted(const fs::path& path) const { return "'" + path.string() + "'"; }
};

TEST_F(MakeDeviceTest, BadArgumentsAndAForeignRootAreRefusedWithoutWritingAnything) {
    const fs::path target = roots_.base() / "new device";
    const std::string bad[] = {
        "",
        "--town 1 " + Quoted(target),
        "--town a,b " + Quoted(target),
        "--osm " + Quoted(roots_.base() / "missing.osm.pbf") + " " + Quoted(target),
        "--words ,, " + Quoted(target),
        "--preset fast " + Quoted(target),
        "--frobnicate " + Quoted(target),
        Quoted(target) + " " + Quoted(target / "second"),
    };
    for (const std::string& args : bad) {
        testing_support::ToolRun run = Run(args);
        EXPECT_EQ(run.status, 2) << args;
        EXPECT_NE(run.err.find("usage: scripts/make-device"), std::string::npos) << args;
        EXPECT_FALSE(fs::exists(target)) << args;
    }

    // --help is the comment at the top of the script, ending with its last sentence.
    testing_support::ToolRun help = Run("--help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Builds a complete device root", 0), 0u) << help.out;
    EXPECT_EQ(help.out.substr(help.out.size() - std::min<size_t>(help.out.size(), 13)),
              "failed step.\n")
        << help.out;

    // A root someone else made keeps what it holds.
    const fs::path foreign = roots_.base() / "foreign";
    fs::create_directories(foreign);
    std::ofstream(foreign / "notes.txt") << "mine";
    testing_support::ToolRun run = Run(Quoted(foreign));
    EXPECT_EQ(run.status, 2);
    EXPECT_NE(run.err.find("was not made by make-device"), std::string::npos);
    EXPECT_EQ(fs::file_size(foreign / "notes.txt"), 4u);
    EXPECT_EQ(std::distance(fs::directory_iterator(foreign), fs::directory_iterator()), 1);
}

TEST_F(MakeDeviceTest, MakesACompleteDeviceRootAndMakesItAgain) {
    const fs::path bin = testing_support::RepositoryFolder() / "build" / "debug" / "bin";
    for (const char* program : {"pathlumeVGA.exe", "pathlumeQVGA.exe", "pathlumePhone.exe"}) {
        if (!fs::exists(bin / program)) {
            GTEST_SKIP() << "the programs are not built in the debug preset (" << program << ")";
        }
    }
    if (!fs::exists(testing_support::RepositoryFolder() / "pathlume" / "res" / "theme.ini")) {
        GTEST_SKIP() << "pathlume/res/theme.ini is not there yet";
    }
    const fs::path device = roots_.base() / "made";
    const std::string args = "--preset debug --town 1,300 --words none " + Quoted(device);
    testing_support::ToolRun run = Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_NE(run.out.find("files=27 "), std::string::npos) << run.out;

    const fs::path install = device / "Program Files" / "Zanter" / "Wayscribe";
    for (const char* file : {"pathlumeVGA.exe", "pathlumeQVGA.exe", "pathlumePhone.exe",
                             "launcher.exe", "portscout.exe", "theme.ini"}) {
        EXPECT_TRUE(fs::exists(install / file)) << file;
    }
    // The package's installer put the service library and the launcher's shortcut.
    EXPECT_TRUE(fs::exists(device / "Windows" / "oxloserv.dll"));
    EXPECT_TRUE(fs::exists(device / "Windows" / "Start Menu" / "Wayscribe.lnk"));
    const fs::path maps = device / "Storage Card" / "Zanter Wayscribe" / "Maps";
    EXPECT_EQ(std::distance(fs::directory_iterator(maps), fs::directory_iterator()), 16);
    EXPECT_TRUE(fs::is_directory(device / "My Documents"));
    for (const char* file : {"PegHelp.exe", "pathlume.htm"}) {
        EXPECT_TRUE(fs::exists(device / "Windows" / file)) << file;
    }
    platform::SetDeviceRoot(device);
    // A fresh device: the installation's values, but no setting of the program.
    HKEY settings = nullptr;
    EXPECT_NE(RegOpenKeyExW(HKEY_CURRENT_USER, u"Software\\Zanterhoff\\Wayscribe", 0, KEY_READ,
                            &settings),
              ERROR_SUCCESS);
    WIN32_FIND_DATA card{};
    HANDLE search = FindFirstFlashCard(&card);
    ASSERT_NE(search, INVALID_HANDLE_VALUE);
    EXPECT_EQ(std::u16string(card.cFileName), u"Storage Card");
    FindClose(search);

    // Its own root is made again from nothing; nothing is left beside it.
    std::ofstream(device / "My Documents" / "drive.gps") << "$GPRMC";
    run = Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_FALSE(fs::exists(device / "My Documents" / "drive.gps"));
    for (const auto& entry : fs::directory_iterator(roots_.base())) {
        EXPECT_EQ(entry.path().filename().string().rfind(".make-device", 0), std::string::npos)
            << entry.path();
    }

    // Killed between its two moves: the root aside, the new one not yet in. The
    // next run finishes that first (the new root in), then makes the root again.
    const fs::path killed = roots_.base() / ".make-device.killed";
    fs::create_directories(killed / "new");
    std::ofstream(killed / "target") << "made\n";
    std::ofstream(killed / "lock");
    std::ofstream(killed / "new" / ".pl-make-device");
    fs::rename(device, killed / "old");
    run = Run(args);
    ASSERT_EQ(run.status, 0) << run.err;
    EXPECT_EQ(std::distance(fs::directory_iterator(maps), fs::directory_iterator()), 16);
    EXPECT_FALSE(fs::exists(killed)) << "the killed run's folder is left";
}

}  // namespace

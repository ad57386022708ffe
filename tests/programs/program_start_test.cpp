// How a start of the navigation program ends before its map: bad test controls.
#include <gtest/gtest.h>

#include "tests/programs/program_run.h"
#include "tests/support/temp_root.h"
#include "tests/support/tool_run.h"

namespace {

using namespace programs_test;

// A bad test control ends the start with status 2 and says which.
TEST(NavigationProgramExitTest, BadTestControlsEndTheStartWithTwo) {
    testing_support::TempRoots roots;
    const fs::path badScript = roots.base() / "bad.script";
    std::ofstream(badScript) << "at soon close\n";
    const std::vector<std::string> common = {"PATHLUME_DEVICE=" + roots.device().string(),
                                             "PATHLUME_BACKEND=headless", "PATHLUME_GPSD=off",
                                             "PATHLUME_DEV_DIR=" + roots.base().string()};
    struct Case {
        const char* program;
        std::vector<std::string> env;
        int status;
        const char* said;  // on stderr
    } cases[] = {
        {"pathlumeQVGA.exe", {"PATHLUME_SCREEN=480x640@192"}, 2, "PATHLUME_SCREEN"},
        {"pathlumeVGA.exe", {"PATHLUME_SCREEN=640x480"}, 2, "PATHLUME_SCREEN"},
        // 4294967776 wraps to 480 as a 32-bit int: a number out of range is refused.
        {"pathlumeVGA.exe", {"PATHLUME_SCREEN=4294967776x640@192"}, 2, "PATHLUME_SCREEN"},
        {"pathlumeVGA.exe", {"PATHLUME_SCREEN=480x640@192x"}, 2, "PATHLUME_SCREEN"},
        {"pathlumeQVGA.exe", {"PATHLUME_DESTINATION=42.5"}, 2, "PATHLUME_DESTINATION"},
        {"pathlumeQVGA.exe", {"PATHLUME_DESTINATION=91,1.5"}, 2, "PATHLUME_DESTINATION"},
        {"pathlumePhone.exe", {"PATHLUME_SCRIPT=" + badScript.string()}, 2, "PATHLUME_SCRIPT"},
    };
    for (const Case& c : cases) {
        std::vector<std::string> env = common;
        env.insert(env.end(), c.env.begin(), c.env.end());
        Child program(BinFolder() / c.program, {"nowarning"}, env, roots.base() / "err.txt");
        EXPECT_EQ(program.Wait(std::chrono::seconds(60)), c.status) << c.program << " " << c.env[0];
        EXPECT_NE(program.Errors().find(c.said), std::string::npos) << program.Errors();
    }
}

// --help prints the usage and starts nothing; any other word is no word: with no
// map data on the device root the start ends as it does without one (status 1).
TEST(NavigationProgramExitTest, HelpPrintsTheUsageAndOtherWordsStartAsNone) {
    testing_support::TempRoots roots;
    const std::string env =
        "PATHLUME_DEVICE=" + Quoted(roots.device()) +
        " PATHLUME_BACKEND=headless PATHLUME_GPSD=off PATHLUME_DEV_DIR=" + Quoted(roots.base()) +
        " ";
    for (const char* program : {"pathlumeVGA.exe", "pathlumeQVGA.exe", "pathlumePhone.exe"}) {
        const testing_support::ToolRun help =
            testing_support::RunTool(env + Quoted(BinFolder() / program), "--help", roots.base());
        EXPECT_EQ(help.status, 0) << program << help.err;
        for (const char* said : {"usage:", "search", "nowarning", "PATHLUME_DEVICE",
                                 "XDG_DATA_HOME", "PATHLUME_SCRIPT", "PATHLUME_DESTINATION"})
            EXPECT_NE(help.out.find(said), std::string::npos) << program << ": " << said;
        EXPECT_FALSE(fs::exists(roots.device() / ".pl-registry")) << "--help started " << program;
    }
    const testing_support::ToolRun other = testing_support::RunTool(
        env + Quoted(BinFolder() / "pathlumeQVGA.exe"), "hello --verbose", roots.base());
    EXPECT_EQ(other.status, 1) << other.err;
    EXPECT_EQ(other.out.find("usage:"), std::string::npos);
}

}  // namespace

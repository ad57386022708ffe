// A device root that make-device was killed in the middle of replacing: whatever
// uses the root next (the next make-device through devroot, a program's start)
// finishes or undoes the replacement.
#include "platform/kernel/roots.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "tests/support/temp_root.h"
#include "tests/support/test_child.h"

namespace {

namespace fs = std::filesystem;

// A program's start: the root named by PATHLUME_DEVICE, resolved on first use.
TEST_CHILD(resolve_device_root) {
    setenv("PATHLUME_DEVICE", args.at(0).c_str(), 1);
    return platform::DeviceRoot() == fs::path(args.at(0)) ? 0 : 1;
}

class SettleRootTest : public testing_support::RootsTest {
  protected:
    fs::path Root() { return roots_.base() / "made"; }
    // A run folder as make-device leaves it when killed.
    fs::path Run(const std::string& target, bool newComplete, bool oldAside) {
        const fs::path run = roots_.base() / (".make-device." + std::to_string(++m_runs));
        fs::create_directories(run / "new");
        std::ofstream(run / "target") << target << "\n";
        std::ofstream(run / "lock");
        std::ofstream(run / "new" / "which") << "new";
        if (newComplete)
            std::ofstream(run / "new" / ".pl-make-device");
        if (oldAside) {
            fs::create_directories(run / "old");
            std::ofstream(run / "old" / "which") << "old";
            std::ofstream(run / "old" / ".pl-make-device");
        }
        return run;
    }
    std::string Which() {
        std::ifstream in(Root() / "which");
        std::string text;
        std::getline(in, text);
        return fs::exists(Root()) ? text : "missing";
    }
    int m_runs = 0;
};

TEST_F(SettleRootTest, AKilledReplacementIsFinishedOrUndone) {
    struct Case {
        const char* what;
        bool rootThere, newComplete, oldAside;
        const char* expected;  // the root afterwards
    };
    const Case cases[] = {
        {"killed between the moves", false, true, true, "new"},
        {"killed before the new root was whole", false, false, true, "old"},
        {"a first root killed before its move", false, true, false, "new"},
        {"a first root killed while being built", false, false, false, "missing"},
        {"killed while building over a root", true, false, false, "kept"},
        {"killed after the moves", true, true, false, "kept"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        fs::remove_all(Root());
        if (c.rootThere)
            fs::create_directories(Root()), std::ofstream(Root() / "which") << "kept";
        const fs::path run = Run("made", c.newComplete, c.oldAside);
        platform::SettleReplacedRoot(Root());
        EXPECT_EQ(Which(), c.expected);
        EXPECT_FALSE(fs::exists(run)) << "the run's folder is left";
    }
}

TEST_F(SettleRootTest, ARunThatLivesOrServesAnotherRootIsLeftAlone) {
    const fs::path other = Run("other", true, true);
    const fs::path live = Run("made", true, true);
    const int lock = open((live / "lock").c_str(), O_RDWR);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(flock(lock, LOCK_EX), 0);
    platform::SettleReplacedRoot(Root());
    EXPECT_EQ(Which(), "missing");
    EXPECT_TRUE(fs::exists(live / "new")) << "a live run lost its root";
    EXPECT_TRUE(fs::exists(other / "old"));
    close(lock);
}

TEST_F(SettleRootTest, AProgramsStartSettlesTheRootItIsGiven) {
    Run("made", true, true);
    EXPECT_EQ(testing_support::RunChild("resolve_device_root", {Root().string()}), 0);
    EXPECT_EQ(Which(), "new");
}

}  // namespace

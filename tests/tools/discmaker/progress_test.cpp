// The progress line: only on a terminal, only after two seconds, redrawn in place
// and cleared before the figures.
#include "tools/discmaker/progress.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using discmaker::Progress;

TEST(ProgressTest, ShownOnATerminalAfterTwoSecondsAndCleared) {
    std::ostringstream out;
    double now = 0.5;
    Progress progress(out, true, [&now] { return now; });
    progress.Update("reading roads and places", 0.2);
    EXPECT_EQ(out.str(), "") << "a short run shows nothing";
    now = 2.5;
    progress.Update("reading roads and places", 0.45);
    const std::string first = "discmaker: reading roads and places  45%, 2.5 s";
    EXPECT_EQ(out.str(), "\r" + first);
    now = 2.55;
    progress.Update("reading roads and places", 0.5);
    EXPECT_EQ(out.str(), "\r" + first) << "not redrawn within a tenth of a second";
    progress.Update("writing names", 1.5);
    const std::string second = "discmaker: writing names 100%, 2.5 s";
    // A new phase at once, the share clamped, the rest of the longer line blanked.
    EXPECT_EQ(out.str(),
              "\r" + first + "\r" + second + std::string(first.size() - second.size(), ' '));
    const size_t shown = out.str().size();
    progress.Clear();
    EXPECT_EQ(out.str().substr(shown), "\r" + std::string(second.size(), ' ') + "\r");
    progress.Clear();
    EXPECT_EQ(out.str().size(), shown + second.size() + 2) << "cleared once";
}

TEST(ProgressTest, NothingWhenNotATerminal) {
    std::ostringstream out;
    Progress progress(out, false, [] { return 100.0; });
    progress.Update("writing map data", 0.5);
    progress.Clear();
    EXPECT_EQ(out.str(), "");
}

}  // namespace

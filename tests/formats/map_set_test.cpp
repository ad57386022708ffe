// The map swap: a kill at any of its renames and deletes, and at any of the
// recovery's own, leaves one whole map once the folder is recovered.
#include "formats/map_set.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>

#include "tests/support/killed_swap_folder.h"
#include "tests/support/temp_root.h"

namespace {

namespace fs = std::filesystem;
using namespace formats::map_set;

using testing_support::KilledSwapFolder;

std::string Utf8(const char16_t* name) {
    return fs::path(std::u16string(name)).string();
}

class MapSetTest : public testing_support::RootsTest {
  protected:
    void SetUp() override { fs::create_directories(m_folder); }
    void Write(const std::string& file, const std::string& text) {
        std::ofstream(m_folder / file, std::ios::binary) << text;
    }
    void Reset(bool oldMap) {
        fs::remove_all(m_folder);
        fs::create_directories(m_folder);
        for (int i = 0; i < kFileCount; ++i) {
            if (oldMap)
                Write(Utf8(kFileNames[i]), "old " + std::to_string(i));
            Write(fs::path(StagedName(kFileNames[i])).string(), "new " + std::to_string(i));
        }
    }
    // "old", "new" or "none" when the folder holds exactly one whole set and
    // nothing else; otherwise what it holds.
    std::string WholeSet() {
        std::set<std::string> files;
        for (const auto& entry : fs::directory_iterator(m_folder))
            files.insert(entry.path().filename().string());
        if (files.empty())
            return "none";
        std::string kind;
        for (int i = 0; i < kFileCount; ++i) {
            std::ifstream in(m_folder / Utf8(kFileNames[i]), std::ios::binary);
            std::string text((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
            const std::string which = text.substr(0, 3);
            if (!in || text != which + " " + std::to_string(i) || (!kind.empty() && which != kind))
                kind = "mixed";
            if (kind.empty())
                kind = which;
        }
        if (files.size() != static_cast<size_t>(kFileCount) || kind == "mixed") {
            std::string all;
            for (const std::string& file : files)
                all += file + " ";
            return all;
        }
        return kind;
    }

    fs::path m_folder = roots_.base() / "Maps";
    HostSwapFolder m_real{m_folder};
};

TEST_F(MapSetTest, AWholeSwapPutsTheNewSetInPlace) {
    for (bool oldMap : {true, false}) {
        Reset(oldMap);
        std::u16string failed;
        EXPECT_TRUE(InstallStagedMap(m_real, kFileNames, &failed));
        EXPECT_EQ(WholeSet(), "new");
        EXPECT_TRUE(RecoverMapSwap(m_real));
        EXPECT_EQ(WholeSet(), "new");
    }
}

TEST_F(MapSetTest, AKillAtAnyRenameOrDeleteLeavesOneWholeMap) {
    for (bool oldMap : {true, false}) {
        SCOPED_TRACE(oldMap ? "over an installed map" : "into an empty folder");
        const std::string before = oldMap ? "old" : "none";
        bool committed = false;
        for (int kill = 0;; ++kill) {
            SCOPED_TRACE("killed at operation " + std::to_string(kill));
            Reset(oldMap);
            KilledSwapFolder killed(m_real, kill);
            const bool done = InstallStagedMap(killed, kFileNames);
            EXPECT_EQ(done, !killed.Killed());
            // The next start (itself killed at each step, then started again).
            for (int again = 0; again < 3 * kFileCount; again += 7) {
                KilledSwapFolder killedAgain(m_real, again);
                RecoverMapSwap(killedAgain);
            }
            EXPECT_TRUE(RecoverMapSwap(m_real));
            const std::string after = WholeSet();
            // Once the swap is committed every later kill ends in the new map.
            if (after == "new" && kill > 0)
                committed = true;
            EXPECT_EQ(after, committed ? "new" : before);
            if (done)
                break;
        }
        EXPECT_TRUE(committed);
    }
}

TEST_F(MapSetTest, AnIncompleteNewSetIsNeverCommitted) {
    Reset(true);
    fs::remove(m_folder / fs::path(StagedName(kFileNames[9])));
    std::u16string failed;
    EXPECT_FALSE(InstallStagedMap(m_real, kFileNames, &failed));
    EXPECT_EQ(failed, kFileNames[9]);
    EXPECT_TRUE(RecoverMapSwap(m_real));
    EXPECT_EQ(WholeSet(), "old");
}

TEST_F(MapSetTest, RenamesRefuseToReplaceAFile) {
    Write("a", "1");
    Write("b", "2");
    EXPECT_FALSE(m_real.Rename(u"a", u"b"));
    EXPECT_TRUE(m_real.Rename(u"a", u"c"));
    EXPECT_TRUE(m_real.Delete(u"c"));
    EXPECT_TRUE(m_real.Delete(u"c"));
    EXPECT_FALSE(m_real.Exists(u"c"));
}

}  // namespace

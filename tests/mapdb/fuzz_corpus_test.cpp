// Replays the fuzz targets' corpora: every input decodes or fails cleanly and
// leaves no block behind (the bodies abort otherwise).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <vector>

#include "pathlume/mapdb/street_types.h"
#include "platform/kernel/msgbox.h"
#include "tests/mapdb/fuzz/index_fuzz_body.h"
#include "tests/mapdb/fuzz/payload_fuzz_body.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/shared_data.h"

namespace {

namespace fs = std::filesystem;

TEST(PayloadFuzzCorpusTest, EveryInputDecodesOrFailsCleanly) {
    mapdb_test::EnsureStream();
    const fs::path corpus =
        testing_support::RepositoryFolder() / "tests" / "mapdb" / "fuzz" / "corpus";
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    int inputs = 0, decoded = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        const int result = payload_fuzz::DecodeOne(bytes.data(), bytes.size());
        EXPECT_TRUE(result == 0 || result == 2 || result == 4) << entry.path();
        ++inputs;
        decoded += result == 0;
    }
    EXPECT_GE(inputs, 10);
    EXPECT_GT(decoded, 0);  // the corpus holds whole chunks too, not only broken ones
}

TEST(IndexFuzzCorpusTest, EveryInputIsReadOrRefusedCleanly) {
    const fs::path corpus =
        testing_support::RepositoryFolder() / "tests" / "mapdb" / "fuzz" / "index_corpus";
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    std::set<int> targets;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        ASSERT_FALSE(bytes.empty());
        index_fuzz::RunOne(bytes.data(), bytes.size());
        targets.insert(bytes[0] % index_fuzz::kTargetCount);
    }
    platform::ClearMessageBoxes();
    g_dataFolder[0] = 0;
    std::error_code ignored;
    fs::remove_all(index_fuzz::Folder(), ignored);
    // Every reader has inputs.
    EXPECT_EQ(targets.size(), static_cast<size_t>(index_fuzz::kTargetCount));
}

}  // namespace

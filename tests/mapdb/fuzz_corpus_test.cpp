// Replays the payload fuzz target's corpus: every input decodes or fails cleanly
// and leaves no block behind (the body aborts otherwise).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/mapdb/fuzz/payload_fuzz_body.h"
#include "tests/mapdb/mapdb_test_support.h"
#include "tests/support/shared_data.h"

namespace {

namespace fs = std::filesystem;

TEST(PayloadFuzzCorpusTest, EveryInputDecodesOrFailsCleanly) {
    mapdb_test::EnsureStream();
    const fs::path corpus = testing_support::SourceFolder() / "tests" / "mapdb" / "fuzz" / "corpus";
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

}  // namespace

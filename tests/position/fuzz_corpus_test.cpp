// Replays the NMEA fuzz target's corpus: every input is framed and parsed without
// a crash and leaves the fix within its ranges (the body aborts otherwise).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

#include "tests/position/fuzz/nmea_fuzz_body.h"
#include "tests/support/shared_data.h"

namespace {

namespace fs = std::filesystem;

TEST(NmeaFuzzCorpusTest, EveryInputIsFramedAndParsedCleanly) {
    const fs::path corpus =
        testing_support::RepositoryFolder() / "tests" / "position" / "fuzz" / "corpus";
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    int inputs = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        nmea_fuzz::RunOne(bytes.data(), bytes.size());
        ++inputs;
    }
    EXPECT_GE(inputs, 10);
}

}  // namespace

// Replays the prompt player's fuzz corpus: every input plays to its end.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "tests/support/shared_data.h"
#include "tests/voice/fuzz/speex_fuzz_body.h"
#include "tests/voice/voice_fixture.h"

namespace {

namespace fs = std::filesystem;

class FuzzCorpus : public voice_test::VoiceTest {};

TEST_F(FuzzCorpus, EveryInputPlaysToItsEnd) {
    const fs::path corpus =
        testing_support::RepositoryFolder() / "tests" / "voice" / "fuzz" / "corpus";
    ASSERT_TRUE(fs::is_directory(corpus)) << corpus;
    int inputs = 0;
    int sounding = 0;
    for (const auto& entry : fs::directory_iterator(corpus)) {
        SCOPED_TRACE(entry.path().filename().string());
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                         std::istreambuf_iterator<char>()};
        const int result = speex_fuzz::PlayOne(roots_.device(), bytes.data(), bytes.size());
        EXPECT_TRUE(result == 0 || result == 1);
        sounding += !Played().empty();
        ++inputs;
    }
    EXPECT_GE(inputs, 6);
    EXPECT_GE(sounding, 3);  // the whole files are in it too
}

}  // namespace

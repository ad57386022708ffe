// libFuzzer target for the Speex prompt player (clang only, run by hand):
//   cmake --build --preset <clang preset> --target speex_fuzz
//   speex_fuzz tests/voice/fuzz/corpus -max_total_time=300
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "platform/kernel/roots.h"
#include "tests/voice/fuzz/speex_fuzz_body.h"

namespace {

const std::filesystem::path& DeviceRoot() {
    static const std::filesystem::path root = [] {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "speex-fuzz-XXXXXX").string();
        if (!mkdtemp(pattern.data())) {
            std::abort();
        }
        platform::SetDeviceRoot(pattern);
        platform::UseManualClock(true);
        return std::filesystem::path(pattern);
    }();
    return root;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    speex_fuzz::PlayOne(DeviceRoot(), data, size);
    return 0;
}

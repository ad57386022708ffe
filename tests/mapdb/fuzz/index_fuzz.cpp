// libFuzzer target for the index file readers and the street-line parser (clang
// only, run by hand):
//   cmake --build --preset debug --target index_fuzz
//   index_fuzz tests/mapdb/fuzz/index_corpus -max_total_time=300
#include <cstddef>
#include <cstdint>

#include "platform/kernel/msgbox.h"
#include "tests/mapdb/fuzz/index_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    index_fuzz::RunOne(data, size);
    // Bad magics show boxes; the headless box answers them, and none is kept.
    platform::ClearMessageBoxes();
    return 0;
}

// libFuzzer target for the chunk payload decoder (clang only, run by hand):
//   clang++ -fsanitize=fuzzer,address,undefined ... tests/mapdb/fuzz/payload_fuzz.cpp
//   payload_fuzz tests/mapdb/fuzz/corpus -max_total_time=300
#include <cstddef>
#include <cstdint>

#include "tests/mapdb/fuzz/payload_fuzz_body.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    payload_fuzz::DecodeOne(data, size);
    return 0;
}

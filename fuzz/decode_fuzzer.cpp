// libFuzzer entry over the library's public interface: the one-call decode
// on one and two threads in the format the input chooses, the C interface,
// and a Decoder stopped at a row the input chooses (see decode_harness.h).
#include "fuzz/decode_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_decode::run_decode(data, size);
    return 0;
}

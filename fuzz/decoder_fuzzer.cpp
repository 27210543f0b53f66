// libFuzzer entry over the decoder's public operations. The input's first
// bytes choose how the byte source splits and ends the stream (see
// decoder_harness.h); the rest is the stream.
#include "fuzz/decoder_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_harness::run_decoder(data, size);
    return 0;
}

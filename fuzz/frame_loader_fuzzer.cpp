// libFuzzer entry over load_frame: the input is the picture's bytes, handed
// out by the loader's picture lookup (see frame_loader_harness.h).
#include "fuzz/frame_loader_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz_harness::run_frame_loader(data, size);
    return 0;
}

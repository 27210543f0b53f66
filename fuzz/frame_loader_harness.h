// Runs load_frame over one picture's bytes and aborts when the loader breaks
// a promise it makes to its dialog: a refused picture leaves the frame as it
// was, only a failed decoder construction writes the diagnostic line (once,
// with a decoder status), and an accepted picture rewrites the frame. Shared
// by the fuzzer and by the regression tests that replay its findings.
#pragma once

#include "app/frame_loader.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace fuzz_harness {

[[noreturn]] inline void loader_broken(const char* what) {
    std::fprintf(stderr, "frame loader harness: %s\n", what);
    std::abort();
}

#define LOADER_CHECK(cond)                                                  \
    do {                                                                    \
        if (!(cond)) ::fuzz_harness::loader_broken("check failed: " #cond); \
    } while (0)

struct LoaderOutcome {
    bool loaded = false;
    int diagnostics = 0;
    int32_t reported = 0;
};

inline LoaderOutcome run_frame_loader(const uint8_t* data, size_t size) {
    // The loader reads the bytes in place for as long as it runs; a copy of
    // exactly the input's size lets the sanitizer see any read past its end.
    std::vector<uint8_t> picture(data, data + size);
    LoaderOutcome outcome;
    FrameLoaderServices services;
    services.find_picture = [&](uint16_t id, const uint8_t** bytes, uint32_t* count) {
        LOADER_CHECK(id == 2000);
        if (picture.empty()) return false;
        *bytes = picture.data();
        *count = static_cast<uint32_t>(picture.size());
        return true;
    };
    services.diagnostic = [&](const char* format, int32_t value) {
        LOADER_CHECK(std::strcmp(format, "Error: Decoder failed! Error status: %i\n") == 0);
        outcome.diagnostics++;
        outcome.reported = value;
    };

    // A frame that holds a recognisable previous picture.
    std::vector<uint8_t> pixels(frame_bytes);
    for (int32_t i = 0; i < frame_bytes; i++) pixels[i] = static_cast<uint8_t>(i * 7 + 3);
    const std::vector<uint8_t> before = pixels;

    outcome.loaded = load_frame(2000, FrameBuffer{pixels.data()}, services);
    if (!outcome.loaded) {
        LOADER_CHECK(pixels == before);
        LOADER_CHECK(outcome.diagnostics <= 1);
        if (outcome.diagnostics == 1) LOADER_CHECK(outcome.reported <= -200 && outcome.reported >= -233);
    } else {
        LOADER_CHECK(outcome.diagnostics == 0);
    }
    return outcome;
}

}  // namespace fuzz_harness

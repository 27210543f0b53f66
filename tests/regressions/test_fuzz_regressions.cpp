// Replays every input the fuzzers found (decoder/, frame_loader/) through the
// fuzzers' checks; a broken promise aborts. Each file's expected outcome is
// in its name: -open<status>, -begin<status>, -rows<n> or -loaded<0|1>.
#include "fuzz/decoder_harness.h"
#include "fuzz/frame_loader_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

// Calls check(name, bytes, key, value) for every input of `target`.
template <class Check>
void replay(const char* target, Check check) {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(std::filesystem::path(MARIVUE_REGRESSIONS) / target)) {
        const std::string name = entry.path().filename().string();
        if (!entry.is_regular_file() || entry.path().extension() == ".md") continue;
        SCOPED_TRACE(name);
        std::ifstream in(entry.path(), std::ios::binary);
        const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        std::string key;
        long value = 0;
        for (const std::string k : {"open", "begin", "rows", "loaded"}) {
            const size_t at = name.find("-" + k);
            if (at != std::string::npos) key = k, value = std::stol(name.substr(at + k.size() + 1));
        }
        ASSERT_FALSE(key.empty()) << "no expected outcome in the file name";
        check(bytes, key, value);
        ++count;
    }
    EXPECT_GT(count, 0);
}

TEST(FuzzRegressions, DecoderInputs) {
    replay("decoder", [](const std::vector<uint8_t>& bytes, const std::string& key, long value) {
        const fuzz_harness::Outcome o = fuzz_harness::run_decoder(bytes.data(), bytes.size());
        EXPECT_EQ(o.open_status, key == "open" ? value : 0);
        EXPECT_NE(key, "loaded");
        if (key != "open") {
            EXPECT_EQ(o.begin_result, key == "begin" ? -1 : 0);
        }
        if (key == "begin") {
            EXPECT_EQ(o.final_status, value);
        }
        if (key == "rows") {
            EXPECT_EQ(o.rows, value);
        }
    });
}

TEST(FuzzRegressions, FrameLoaderInputs) {
    replay("frame_loader", [](const std::vector<uint8_t>& bytes, const std::string& key, long value) {
        EXPECT_EQ(key, "loaded");
        EXPECT_EQ(fuzz_harness::run_frame_loader(bytes.data(), bytes.size()).loaded, value != 0);
    });
}

}  // namespace

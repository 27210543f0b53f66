// Replays every input the fuzzers found (tests/regressions/decoder and
// tests/regressions/frame_loader) through the same checks the fuzzers make,
// so each finding stays fixed in the ordinary and the sanitizer builds. A
// broken promise aborts the test program. Each file's expected outcome is
// written in its name: ...-open<status>, ...-begin<status> or ...-rows<n>.
#include "fuzz/decoder_harness.h"
#include "fuzz/frame_loader_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<fs::path> inputs(const char* target) {
    std::vector<fs::path> files;
    fs::path dir = fs::path(MARIVUE_REGRESSIONS) / target;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file() && entry.path().extension() != ".md") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

std::vector<uint8_t> read_file(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The number after `key` in the file name, when there is one.
bool expected(const std::string& name, const std::string& key, long* value) {
    size_t at = name.find("-" + key);
    if (at == std::string::npos) return false;
    *value = std::stol(name.substr(at + key.size() + 1));
    return true;
}

TEST(FuzzRegressions, DecoderInputs) {
    auto files = inputs("decoder");
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        std::string name = path.filename().string();
        SCOPED_TRACE(name);
        auto bytes = read_file(path);
        fuzz_harness::Outcome outcome = fuzz_harness::run_decoder(bytes.data(), bytes.size());
        long value = 0;
        if (expected(name, "open", &value)) {
            EXPECT_EQ(outcome.open_status, value);
        } else if (expected(name, "begin", &value)) {
            EXPECT_EQ(outcome.open_status, 0);
            EXPECT_EQ(outcome.begin_result, -1);
            EXPECT_EQ(outcome.final_status, value);
        } else if (expected(name, "rows", &value)) {
            EXPECT_EQ(outcome.open_status, 0);
            EXPECT_EQ(outcome.begin_result, 0);
            EXPECT_EQ(outcome.rows, value);
        } else {
            ADD_FAILURE() << "no expected outcome in the file name";
        }
    }
}

TEST(FuzzRegressions, FrameLoaderInputs) {
    auto files = inputs("frame_loader");
    ASSERT_FALSE(files.empty());
    for (const auto& path : files) {
        std::string name = path.filename().string();
        SCOPED_TRACE(name);
        auto bytes = read_file(path);
        fuzz_harness::LoaderOutcome outcome = fuzz_harness::run_frame_loader(bytes.data(), bytes.size());
        long value = 0;
        if (expected(name, "loaded", &value))
            EXPECT_EQ(outcome.loaded, value != 0);
        else
            ADD_FAILURE() << "no expected outcome in the file name";
    }
}

}  // namespace

// Decodes every committed fixture and compares a digest of each delivered
// row, the row count and the final result with the values recorded in
// tests/fixtures/rows/digests.txt. Any change to the pixels a stream
// decodes to, to where decoding stops, or to the status shows up here.
//
// After a deliberate change of results, MARIVUE_UPDATE_DIGESTS=1 rewrites
// the file; review its diff like any other change.
#include "jpeg/byte_sources.h"
#include "jpeg/decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <new>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::filesystem::path fixture_dir = MARIVUE_ROW_FIXTURES;

struct Outcome {
    int rows = 0;
    int result = 0;
    int status = 0;
    uint64_t digest = 0;

    bool operator==(const Outcome&) const = default;
};

uint64_t fnv1a(uint64_t hash, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; i++) {
        hash ^= bytes[i];
        hash *= 1099511628211ull;
    }
    return hash;
}

Outcome decode_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    MemoryByteSource source(data.data(), data.size());
    std::unique_ptr<JpegDecoder> decoder(new (std::nothrow) JpegDecoder);
    Outcome outcome;
    outcome.digest = 14695981039346656037ull;
    open_decoder(*decoder, source);
    if (decoder->status == 0 && begin(*decoder) == 0) {
        const uint8_t* row;
        int32_t bytes;
        while ((outcome.result = decode_row(*decoder, &row, &bytes)) == 0) {
            outcome.digest = fnv1a(outcome.digest, row, static_cast<size_t>(bytes));
            outcome.rows++;
        }
    }
    outcome.status = decoder->status;
    free_pool(*decoder);
    return outcome;
}

std::map<std::string, Outcome> read_digests(const std::filesystem::path& path) {
    std::map<std::string, Outcome> digests;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string name, digest;
        Outcome o;
        if (fields >> name >> o.rows >> o.result >> o.status >> digest)
            digests[name] = {o.rows, o.result, o.status, std::stoull(digest, nullptr, 16)};
    }
    return digests;
}

std::vector<std::filesystem::path> fixtures() {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(fixture_dir))
        if (entry.path().extension() == ".jpg") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RowDigests, EveryFixtureDecodesToItsRecordedRows) {
    const auto digest_file = fixture_dir / "digests.txt";
    const auto files = fixtures();
    ASSERT_GE(files.size(), 40u) << "fixtures missing in " << fixture_dir;

    if (std::getenv("MARIVUE_UPDATE_DIGESTS") != nullptr) {
        std::ofstream out(digest_file);
        for (const auto& file : files) {
            Outcome o = decode_file(file);
            char digest[17];
            std::snprintf(digest, sizeof digest, "%016llx", static_cast<unsigned long long>(o.digest));
            out << file.filename().string() << ' ' << o.rows << ' ' << o.result << ' ' << o.status << ' '
                << digest << '\n';
        }
        GTEST_SKIP() << "digests rewritten";
    }

    const auto expected = read_digests(digest_file);
    ASSERT_EQ(expected.size(), files.size()) << "digests.txt does not list every fixture";
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        auto it = expected.find(name);
        ASSERT_NE(it, expected.end()) << name << " has no recorded digest";
        Outcome got = decode_file(file);
        EXPECT_EQ(got.rows, it->second.rows) << name;
        EXPECT_EQ(got.result, it->second.result) << name;
        EXPECT_EQ(got.status, it->second.status) << name;
        EXPECT_EQ(got.digest, it->second.digest) << name << ": delivered rows differ";
    }
}

TEST(RowDigests, SourceSplitIntoSmallReadsGivesTheSameRows) {
    // The input layer refills in 4096-byte steps however the source splits
    // its data; a source that hands out a few bytes per read must decode
    // every fixture to exactly the same rows.
    struct TrickleSource : ByteSource {
        const std::vector<uint8_t>& data;
        size_t position = 0;
        explicit TrickleSource(const std::vector<uint8_t>& bytes) : data(bytes) {}
        int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
            size_t n = std::min<size_t>({static_cast<size_t>(max), 3 + position % 5, data.size() - position});
            std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(position), n, buffer);
            position += n;
            if (n == 0) *end_flag = 1;
            return static_cast<int32_t>(n);
        }
    };
    for (const auto& file : fixtures()) {
        std::ifstream in(file, std::ios::binary);
        std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        TrickleSource source(data);
        std::unique_ptr<JpegDecoder> decoder(new (std::nothrow) JpegDecoder);
        open_decoder(*decoder, source);
        uint64_t digest = 14695981039346656037ull;
        int rows = 0;
        if (decoder->status == 0 && begin(*decoder) == 0) {
            const uint8_t* row;
            int32_t bytes;
            while (decode_row(*decoder, &row, &bytes) == 0) {
                digest = fnv1a(digest, row, static_cast<size_t>(bytes));
                rows++;
            }
        }
        free_pool(*decoder);
        Outcome whole = decode_file(file);
        EXPECT_EQ(rows, whole.rows) << file.filename();
        EXPECT_EQ(digest, whole.digest) << file.filename();
    }
}

}  // namespace

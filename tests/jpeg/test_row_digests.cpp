// Decodes every committed fixture and compares a digest of each delivered
// row, the row count, the final result and the status with the values in
// tests/fixtures/rows/digests.txt; and, with the record's extended settings,
// the fixtures of tests/fixtures/extended at every size and those of
// tests/fixtures/rows at the reduced sizes with extended/digests.txt. After
// a deliberate change of results, MARIVUE_UPDATE_DIGESTS=1 rewrites the
// files; review their diff like any other.
#include "jpeg/decoder.h"
#include "marivue/jpeg/byte_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace marivue::jpeg;

namespace {

const std::filesystem::path fixture_dir = MARIVUE_ROW_FIXTURES;
const std::filesystem::path extended_dir = MARIVUE_EXTENDED_FIXTURES;

std::string outcome_of(const std::filesystem::path& path, const DecodeSettings& settings = {}) {
    std::ifstream in(path, std::ios::binary);
    const std::vector<uint8_t> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    MemoryByteSource source(data.data(), data.size());
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    d->settings = settings;
    uint64_t digest = 14695981039346656037ull;  // FNV-1a over every row byte
    int rows = 0, result = 0;
    open_decoder(*d, source);
    if (d->status == 0 && begin(*d) == 0) {
        const uint8_t* row;
        int32_t bytes;
        for (; (result = decode_row(*d, &row, &bytes)) == 0; rows++)
            for (int32_t i = 0; i < bytes; i++) digest = (digest ^ row[i]) * 1099511628211ull;
    }
    char text[80];
    std::snprintf(text, sizeof text, "%d %d %d %016llx", rows, result, d->status,
                  static_cast<unsigned long long>(digest));
    free_pool(*d);
    return text;
}

std::vector<std::filesystem::path> fixtures_in(const std::filesystem::path& dir) {
    std::vector<std::filesystem::path> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".jpg") files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    return files;
}

TEST(RowDigests, EveryFixtureDecodesToItsRecordedRows) {
    const std::vector<std::filesystem::path> files = fixtures_in(fixture_dir);
    ASSERT_GE(files.size(), 40u) << "fixtures missing in " << fixture_dir;
    const auto digest_file = fixture_dir / "digests.txt";
    if (std::getenv("MARIVUE_UPDATE_DIGESTS") != nullptr) {
        std::ofstream out(digest_file);
        for (const auto& file : files) out << file.filename().string() << ' ' << outcome_of(file) << '\n';
        GTEST_SKIP() << "digests rewritten";
    }
    std::map<std::string, std::string> expected;
    std::ifstream in(digest_file);
    for (std::string line; std::getline(in, line);)
        if (line.find(' ') != std::string::npos)
            expected[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
    ASSERT_EQ(expected.size(), files.size()) << "digests.txt does not list every fixture";
    for (const auto& file : files)
        EXPECT_EQ(outcome_of(file), expected[file.filename().string()])
            << file.filename() << ": rows, result, status, digest";
}

// With sides up to 65535 and the extended layouts: every extended fixture
// at 1/1, 1/2, 1/4 and 1/8, every other fixture at the reduced sizes. The
// test runs on each vector path (and in the build without them), so the
// reduced sizes and the general layouts give the same rows on all.
TEST(RowDigests, ExtendedSettingsDecodeToTheirRecordedRows) {
    std::vector<std::string> lines;
    const std::vector<std::filesystem::path> extended = fixtures_in(extended_dir);
    ASSERT_GE(extended.size(), 10u) << "fixtures missing in " << extended_dir;
    for (const auto& dir : {extended_dir, fixture_dir})
        for (const auto& file : dir == extended_dir ? extended : fixtures_in(dir))
            for (int32_t shift = dir == extended_dir ? 0 : 1; shift <= 3; shift++) {
                DecodeSettings settings;
                settings.max_side = 65535, settings.scale_shift = shift, settings.extended_layouts = 1;
                lines.push_back(file.filename().string() + " 1/" + std::to_string(1 << shift) + " " +
                                outcome_of(file, settings));
            }
    const auto digest_file = extended_dir / "digests.txt";
    if (std::getenv("MARIVUE_UPDATE_DIGESTS") != nullptr) {
        std::ofstream out(digest_file);
        for (const std::string& line : lines) out << line << '\n';
        GTEST_SKIP() << "digests rewritten";
    }
    std::vector<std::string> expected;
    std::ifstream in(digest_file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) expected.push_back(line);
    ASSERT_EQ(expected.size(), lines.size()) << "extended/digests.txt does not list every fixture and size";
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(lines[i], expected[i]) << "name, size: rows, result, status, digest";
}

}  // namespace

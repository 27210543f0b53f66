// The split scan (two decoders in one scan's entropy data) and a progressive
// picture's scans on two threads against the decoder on one thread: the
// same rows, row count, result, status and incompleteness, for pictures
// with and without restart markers, with the second decoder started at
// several points of the scan, and for data that ends early or is damaged
// inside a scan; and the committed row digests.
#include "jpeg/internal.h"
#include "marivue/jpeg/byte_source.h"
#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace marivue::jpeg;

namespace {

// Rows, result, status, an FNV-1a digest of the rows (the record's default
// layout) and data_incomplete: as the row digests file writes them, and
// the incompleteness after them.
std::string outcome(int rows, int result, int status, uint64_t digest, int incomplete) {
    char text[96];
    std::snprintf(text, sizeof text, "%d %d %d %016llx", rows, result, status, static_cast<unsigned long long>(digest));
    return std::string(text) + " incomplete " + std::to_string(incomplete);
}

uint64_t fnv(uint64_t digest, const uint8_t* bytes, size_t count) {
    for (size_t i = 0; i < count; i++) digest = (digest ^ bytes[i]) * 1099511628211ull;
    return digest;
}

constexpr uint64_t fnv_start = 14695981039346656037ull;

// The rows on one thread; with `scan_threads`, a progressive picture's
// scans decoded on two, or "given up" where they were not (and "not
// progressive").
std::string one_thread(const std::vector<uint8_t>& jpeg, bool scan_threads = false) {
    MemoryByteSource source(jpeg.data(), jpeg.size());
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    open_decoder(*d, source);
    uint64_t digest = fnv_start;
    int rows = 0, result = 0;
    const int begun = d->status != 0 ? -1
                      : scan_threads ? detail::begin_in_memory(*d, jpeg.data(), jpeg.size())
                                     : begin(*d);
    if (begun == 1 || (scan_threads && !d->is_progressive)) {
        free_pool(*d);
        return begun == 1 ? "given up" : "not progressive";
    }
    if (begun == 0) {
        const uint8_t* row;
        int32_t bytes;
        for (; (result = decode_row(*d, &row, &bytes)) == 0; rows++)
            digest = fnv(digest, row, static_cast<size_t>(bytes));
    }
    free_pool(*d);
    return outcome(rows, result, d->status, digest, d->data_incomplete);
}

// The split decode, or "not split" where it did not apply.
std::string split(const std::vector<uint8_t>& jpeg, int permille, detail::SplitReport& report) {
    MemoryByteSource source(jpeg.data(), jpeg.size());
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    open_decoder(*d, source);
    if (d->status != 0 || begin(*d) != 0) return "not begun";
    const size_t stride =
        static_cast<size_t>(d->output_width) * detail::layout_bytes(LayoutDefault, d->frame_component_count);
    std::vector<uint8_t> pixels(stride * static_cast<size_t>(d->output_height));
    int32_t result = 0;
    const int32_t rows =
        detail::decode_rows_split(*d, jpeg.data(), jpeg.size(), result, pixels.data(), stride, permille, &report);
    free_pool(*d);
    if (rows < 0) return "not split";
    return outcome(rows, result, d->status, fnv(fnv_start, pixels.data(), stride * static_cast<size_t>(rows)),
                   d->data_incomplete);
}

std::vector<uint8_t> encoded(int width, int height, e2e::Sampling sampling, int restart_mcus, bool optimise,
                             bool progressive = false) {
    e2e::EncodeOptions options;
    options.sampling = sampling;
    options.restart_mcus = restart_mcus;
    options.optimize_huffman = optimise;
    options.progressive = progressive;
    return e2e::encode(e2e::make_picture(width, height, sampling == e2e::Sampling::Grey ? 1 : 3, 7), options);
}

enum class Damage { None, CutAt, ZerosAt, OnesAt };

struct Case {
    const char* name;
    e2e::Sampling sampling;
    int restart_mcus;
    bool optimise;
    Damage damage;
    int damage_permille;  // where in the file
    bool joins;  // every split start joins
};

const Case cases[] = {
    {"4:2:0", e2e::Sampling::H2V2, 0, false, Damage::None, 0, true},
    {"4:4:4 optimised tables", e2e::Sampling::H1V1, 0, true, Damage::None, 0, true},
    {"grey", e2e::Sampling::Grey, 0, false, Damage::None, 0, true},
    {"4:2:2", e2e::Sampling::H2V1, 0, false, Damage::None, 0, true},
    {"4:2:0 restart every 7 MCUs", e2e::Sampling::H2V2, 7, false, Damage::None, 0, true},
    {"grey restart every 50 MCUs", e2e::Sampling::Grey, 50, false, Damage::None, 0, true},
    {"4:2:0 cut in the second part", e2e::Sampling::H2V2, 0, false, Damage::CutAt, 800, false},
    {"4:2:0 cut in the first part", e2e::Sampling::H2V2, 0, false, Damage::CutAt, 200, false},
    {"4:4:4 restart, cut", e2e::Sampling::H1V1, 5, false, Damage::CutAt, 700, false},
    {"4:2:0 zeros mid-scan", e2e::Sampling::H2V2, 0, false, Damage::ZerosAt, 700, false},
    {"4:2:0 a marker mid-scan", e2e::Sampling::H2V2, 0, false, Damage::OnesAt, 600, false},
    {"4:2:0 restart, zeros mid-scan", e2e::Sampling::H2V2, 7, false, Damage::ZerosAt, 650, false},
};

std::vector<uint8_t> damaged(const Case& c, bool progressive) {
    std::vector<uint8_t> jpeg = encoded(640, 480, c.sampling, c.restart_mcus, c.optimise, progressive);
    const size_t at = jpeg.size() * static_cast<size_t>(c.damage_permille) / 1000;
    if (c.damage == Damage::CutAt) jpeg.resize(at);
    // Zeros decode as long runs of one code; 0xFF 0xD3 is a marker the
    // scan's data cannot hold.
    if (c.damage == Damage::ZerosAt) std::fill(jpeg.begin() + at, jpeg.begin() + at + 64, 0);
    if (c.damage == Damage::OnesAt) jpeg[at] = 0xFF, jpeg[at + 1] = 0xD3;
    return jpeg;
}

TEST(SplitScan, SameOutcomeAsOneThread) {
    for (const Case& c : cases) {
        const std::vector<uint8_t> jpeg = damaged(c, false);
        const std::string expected = one_thread(jpeg);
        // Early, middle, late, and in the last bytes of the scan.
        for (int permille : {30, 400, 750, 990, 998}) {
            detail::SplitReport report;
            const std::string got = split(jpeg, permille, report);
            if (got == "not split") continue;  // no start left so near the end
            EXPECT_EQ(got, expected) << c.name << ", second decoder at " << permille << "/1000";
            if (c.joins && permille <= 990) {
                EXPECT_EQ(report.joined, 1) << c.name << " at " << permille << "/1000";
            }
        }
    }
}

// The same pictures progressive: the scans on two threads give the
// one-thread rows; damaged ones may be given up (the caller then decodes
// them on one thread), undamaged ones never are.
TEST(ScanThreads, SameOutcomeAsOneThread) {
    for (const Case& c : cases) {
        const std::vector<uint8_t> jpeg = damaged(c, true);
        const std::string got = one_thread(jpeg, true);
        if (c.damage != Damage::None && got == "given up") continue;
        EXPECT_EQ(got, one_thread(jpeg)) << c.name;
    }
    // Large enough for the refinements to run beside the passes they refine.
    const std::vector<uint8_t> large = encoded(2400, 1600, e2e::Sampling::H2V2, 0, true, true);
    EXPECT_EQ(one_thread(large, true), one_thread(large)) << "2400 x 1600";
}

// The split decode and the scans on two threads give the committed rows of
// every fixture they apply to.
TEST(SplitScan, CommittedRowDigests) {
    const std::filesystem::path dir = MARIVUE_ROW_FIXTURES;
    std::map<std::string, std::string> expected;
    std::ifstream in(dir / "digests.txt");
    for (std::string line; std::getline(in, line);)
        if (line.find(' ') != std::string::npos)
            expected[line.substr(0, line.find(' '))] = line.substr(line.find(' ') + 1);
    int split_count = 0;
    std::vector<std::string> given_up;
    for (const auto& [name, digest] : expected) {
        const std::vector<uint8_t> jpeg = e2e::read_file((dir / name).string());
        detail::SplitReport report;
        const std::string got = split(jpeg, 400, report);
        if (got != "not split" && got != "not begun") {
            split_count++;
            EXPECT_EQ(got.substr(0, got.find(" incomplete")), digest) << name;
        }
        const std::string threaded = one_thread(jpeg, true);
        if (threaded == "given up") {
            given_up.push_back(name);
        } else if (threaded != "not progressive") {
            EXPECT_EQ(threaded.substr(0, threaded.find(" incomplete")), digest) << name;
        }
    }
    EXPECT_GE(split_count, 20);
    // Only the picture whose data ends early is left to one thread.
    EXPECT_EQ(given_up, std::vector<std::string>{"prog_truncated.jpg"});
}

}  // namespace

// Decodes every committed fixture and compares a digest of each delivered
// row, the row count, the final result and the status with the values in
// tests/fixtures/rows/digests.txt; and, with the record's extended settings,
// the fixtures of tests/fixtures/extended at every size and those of
// tests/fixtures/rows at the reduced sizes with extended/digests.txt. After
// a deliberate change of results, MARIVUE_UPDATE_DIGESTS=1 rewrites the
// files; review their diff like any other. Every other row layout holds the
// recorded rows' pixels, through decode_row and decode_row_into, and a record
// taken for one picture after another gives a new record's rows.
#include "jpeg/decoder.h"
#include "marivue/jpeg/byte_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

using namespace marivue::jpeg;

namespace {

const std::filesystem::path fixture_dir = MARIVUE_ROW_FIXTURES;
const std::filesystem::path extended_dir = MARIVUE_EXTENDED_FIXTURES;

std::vector<uint8_t> bytes_of(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// `record`: a record to decode with instead of a new one.
std::string outcome_of(const std::filesystem::path& path, const DecodeSettings& settings = {},
                       JpegDecoder* record = nullptr) {
    const std::vector<uint8_t> data = bytes_of(path);
    MemoryByteSource source(data.data(), data.size());
    std::unique_ptr<JpegDecoder> own(record == nullptr ? new JpegDecoder : nullptr);
    JpegDecoder* d = record != nullptr ? record : own.get();
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

// Holds `lines` to those of a digest file, or (MARIVUE_UPDATE_DIGESTS=1)
// writes them into it.
void expect_recorded(const std::filesystem::path& file, const std::vector<std::string>& lines) {
    if (std::getenv("MARIVUE_UPDATE_DIGESTS") != nullptr) {
        std::ofstream out(file);
        for (const std::string& line : lines) out << line << '\n';
        GTEST_SKIP() << "digests rewritten";
    }
    std::vector<std::string> expected;
    std::ifstream in(file);
    for (std::string line; std::getline(in, line);)
        if (!line.empty()) expected.push_back(line);
    ASSERT_EQ(expected.size(), lines.size()) << file << " does not list every fixture and size";
    for (size_t i = 0; i < lines.size(); i++)
        EXPECT_EQ(lines[i], expected[i]) << "name, size: rows, result, status, digest";
}

TEST(RowDigests, EveryFixtureDecodesToItsRecordedRows) {
    const std::vector<std::filesystem::path> files = fixtures_in(fixture_dir);
    ASSERT_GE(files.size(), 40u) << "fixtures missing in " << fixture_dir;
    std::vector<std::string> lines;
    for (const auto& file : files) lines.push_back(file.filename().string() + ' ' + outcome_of(file));
    expect_recorded(fixture_dir / "digests.txt", lines);
}

// Neither a new record nor opening a stream clears the look-up and row
// tables at the record's end: set-up writes what the decoding reads. One
// record, those tables filled with other bytes first, then taken for every
// fixture in turn (each after another picture), gives the rows of a new one.
TEST(RowDigests, ARecordTakenForPictureAfterPictureGivesTheRowsOfANewOne) {
    std::unique_ptr<JpegDecoder> record(new JpegDecoder);
    const size_t tables = offsetof(JpegDecoder, fast_ac);
    std::memset(reinterpret_cast<unsigned char*>(record.get()) + tables, 0xA5, sizeof(JpegDecoder) - tables);
    for (const auto& dir : {fixture_dir, extended_dir})
        for (const auto& file : fixtures_in(dir))
            for (int32_t shift : {0, 3}) {
                DecodeSettings settings;
                settings.max_side = 65535, settings.scale_shift = shift, settings.extended_layouts = 1;
                EXPECT_EQ(outcome_of(file, settings, record.get()), outcome_of(file, settings))
                    << file.filename() << " 1/" << (1 << shift);
            }
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
    expect_recorded(extended_dir / "digests.txt", lines);
}

// A decode's rows, one vector a row, with its row count, result and status.
struct Decoded {
    std::vector<std::vector<uint8_t>> rows;
    int result = 0, status = 0, coding = 0, bytes_per_pixel = 0;
};

// How the rows are asked for: decode_row; decode_row_into into one picture,
// with the following row's place given or not; and a different layout each
// row (`layout` the first), so that a pair converted together is asked for
// in two layouts.
enum class Asking { own_buffer, into_picture, into_rows, mixed };
constexpr int32_t layouts[] = {LayoutRgb, LayoutBgr, LayoutRgbx, LayoutBgrx, LayoutGrey};

int32_t layout_at(Asking asking, int32_t layout, int y) {
    if (asking != Asking::mixed) return layout;
    int first = 0;
    while (layouts[first] != layout) first++;
    return layouts[(first + y) % 5];
}

Decoded decode_in(const std::vector<uint8_t>& data, DecodeSettings settings, int32_t layout, Asking asking) {
    MemoryByteSource source(data.data(), data.size());
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    settings.layout = layout_at(asking, layout, 0);
    d->settings = settings;
    Decoded out;
    open_decoder(*d, source);
    if (d->status == 0 && begin(*d) == 0) {
        out.coding = d->colour_coding;
        out.bytes_per_pixel = d->bytes_per_pixel;
        const size_t stride = 4 * static_cast<size_t>(d->output_width);
        std::vector<uint8_t> picture(stride * static_cast<size_t>(d->output_height) + 1);
        for (int y = 0;; y++) {
            d->settings.layout = layout_at(asking, layout, y);
            uint8_t* place = picture.data() + stride * static_cast<size_t>(y);
            const uint8_t* row = place;
            int32_t bytes = 0;
            if (asking == Asking::own_buffer) {
                out.result = decode_row(*d, &row, &bytes);
            } else {
                const bool last = y + 1 >= d->output_height;
                out.result = decode_row_into(*d, place, asking == Asking::into_rows || last ? nullptr : place + stride);
                bytes = d->output_width * d->bytes_per_pixel;
            }
            if (out.result != 0) break;
            out.rows.emplace_back(row, row + bytes);
        }
    }
    out.status = d->status;
    free_pool(*d);
    return out;
}

// A default row (red, green, blue, 0; or grey) in `layout`; empty where
// only the luma samples would tell (grey of YCbCr, which the interface
// tests hold against the reference library's luma).
std::vector<uint8_t> laid_out(const std::vector<uint8_t>& row, int32_t layout, size_t bpp, int coding) {
    std::vector<uint8_t> out;
    if (layout == LayoutGrey && bpp == 4 && coding == CodingYCbCr) return out;
    const bool blue_first = layout == LayoutBgr || layout == LayoutBgrx;
    for (size_t i = 0; i < row.size(); i += bpp) {
        const uint8_t r = row[i], g = row[i + (bpp == 4 ? 1 : 0)], b = row[i + (bpp == 4 ? 2 : 0)];
        if (layout == LayoutGrey) {
            out.push_back(bpp == 1 ? r : static_cast<uint8_t>((77 * r + 150 * g + 29 * b + 128) >> 8));
            continue;
        }
        out.insert(out.end(), {blue_first ? b : r, g, blue_first ? r : b});
        if (layout == LayoutRgbx || layout == LayoutBgrx) out.push_back(255);
    }
    return out;
}

TEST(RowDigests, EveryLayoutHoldsTheRecordedRowsPixels) {
    struct Case {
        std::filesystem::path dir;
        int32_t first_shift, last_shift;
    };
    const Case cases[] = {{fixture_dir, 0, 1}, {extended_dir, 0, 3}};
    int compared = 0;
    for (const Case& c : cases)
        for (const auto& file : fixtures_in(c.dir)) {
            const std::vector<uint8_t> data = bytes_of(file);
            for (int32_t shift = c.first_shift; shift <= c.last_shift; shift++) {
                DecodeSettings settings;
                settings.max_side = 65535, settings.scale_shift = shift, settings.extended_layouts = 1;
                const Decoded plain = decode_in(data, settings, LayoutDefault, Asking::own_buffer);
                const size_t bpp = static_cast<size_t>(plain.bytes_per_pixel);
                for (int32_t layout : layouts)
                    for (Asking asking : {Asking::own_buffer, Asking::into_picture, Asking::into_rows, Asking::mixed}) {
                        SCOPED_TRACE(file.filename().string() + " at 1/" + std::to_string(1 << shift) + ", layout " +
                                     std::to_string(layout) + ", asking " + std::to_string(static_cast<int>(asking)));
                        const Decoded got = decode_in(data, settings, layout, asking);
                        ASSERT_EQ(got.rows.size(), plain.rows.size());
                        EXPECT_EQ(got.result, plain.result);
                        EXPECT_EQ(got.status, plain.status);
                        for (size_t y = 0; y < got.rows.size(); y++) {
                            const std::vector<uint8_t> want = laid_out(
                                plain.rows[y], layout_at(asking, layout, static_cast<int>(y)), bpp, plain.coding);
                            if (want.empty()) continue;
                            ASSERT_EQ(got.rows[y], want) << "row " << y;
                            compared++;
                        }
                    }
            }
        }
    EXPECT_GT(compared, 100000);
}

// A layout the decoder does not have is refused: before open_decoder, which
// fails, and when a caller sets one between rows, at the next row, which
// fails with everything released.
TEST(RowDigests, AnUnknownLayoutIsRefused) {
    const std::vector<uint8_t> data = bytes_of(fixture_dir / "base_2x2_241x161.jpg");
    for (int32_t layout : {-1, LayoutGrey + 1})
        for (bool between_rows : {false, true}) {
            MemoryByteSource source(data.data(), data.size());
            std::unique_ptr<JpegDecoder> d(new JpegDecoder);
            if (!between_rows) d->settings.layout = layout;
            open_decoder(*d, source);
            if (!between_rows) {
                EXPECT_EQ(d->status, StreamError);
                free_pool(*d);
                continue;
            }
            ASSERT_EQ(begin(*d), 0);
            std::vector<uint8_t> row(4 * static_cast<size_t>(d->output_width));
            ASSERT_EQ(decode_row_into(*d, row.data(), nullptr), 0);
            d->settings.layout = layout;
            EXPECT_EQ(decode_row_into(*d, row.data(), nullptr), -1);
            EXPECT_EQ(d->status, StreamError);
            EXPECT_EQ(d->source, nullptr);
            for (void* block : d->pool_blocks) EXPECT_EQ(block, nullptr);
            free_pool(*d);
        }
}

}  // namespace

// Streams cut short, and byte sources that keep or break their contract.
#include "tests/support/fixtures.h"
#include "tests/support/jpeg_builder.h"

#include "marivue/jpeg.hpp"
#include "marivue/jpeg/byte_source.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

using namespace marivue::jpeg;

namespace {

using Bytes = std::vector<uint8_t>;
using e2e::EncodeOptions;
using e2e::Sampling;

using e2e::cut;

Bytes encoded(int w, int h, Sampling s, int restart_rows = 0, bool progressive = false, bool segments = false) {
    EncodeOptions o;
    o.sampling = s;
    o.restart_rows = restart_rows;
    o.progressive = progressive;
    o.extra_segments = segments;
    return e2e::encode(e2e::make_picture(w, h, s == Sampling::Grey ? 1 : 3, 11), o);
}

Bytes fixture(const char* name) { return e2e::read_file(std::string(MARIVUE_HARDENING_FIXTURES) + "/" + name); }

// Outcomes agree with each other whatever the input: a failure leaves a
// negative status, no rows after it, and -1 for every later call.
void expect_consistent(const e2e::MarivueResult& r, int height, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_TRUE(r.row_length_ok && r.fourth_bytes_zero);
    if (r.open_status != 0 || r.begin_result != 0) {
        EXPECT_LT(r.final_status, 0);
        EXPECT_EQ(r.rows, 0);
    } else if (r.stop_result == 1) {
        EXPECT_EQ(r.rows, height);
        EXPECT_EQ(r.result_after_stop, 1);
    } else {
        EXPECT_EQ(r.stop_result, -227);
        EXPECT_LT(r.final_status, 0);
        EXPECT_EQ(r.result_after_stop, -1);
    }
}

// Cut anywhere in the headers: no picture, and the failure is named.
TEST(Truncated, InsideHeaders) {
    const Bytes jpeg = encoded(48, 32, Sampling::H2V1, 0, false, true);
    const size_t header_end = e2e::segment_end(jpeg, e2e::find_markers(jpeg, 0xDA, 0xDA).at(0));
    for (size_t length = 0; length < header_end; length += (length < 40 ? 1 : 97)) {
        const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
        expect_consistent(r, 32, "cut at " + std::to_string(length));
        EXPECT_TRUE(r.open_status != 0 || r.begin_result != 0) << length;
    }
    EXPECT_EQ(e2e::marivue_decode(cut(jpeg, 1)).open_status, NotJpeg);
}

// Cut inside the data of a sequential stream with a restart marker after
// every MCU row: every MCU row whose data arrived matches the reference.
TEST(Truncated, SequentialRowsBeforeTheCutMatch) {
    for (Sampling s : {Sampling::H2V2, Sampling::Grey, Sampling::H1V1}) {
        const int mcu_height = s == Sampling::H2V2 ? 16 : 8, mcu_rows = (161 + mcu_height - 1) / mcu_height;
        const Bytes jpeg = encoded(241, 161, s, 1);
        const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
        ASSERT_TRUE(oracle.ok);
        const auto rst = e2e::find_markers(jpeg, 0xD0, 0xD7);
        ASSERT_EQ(static_cast<int>(rst.size()), mcu_rows - 1);
        const size_t start = e2e::find_markers(jpeg, 0xDA, 0xDA)[0].offset,
                     end = e2e::find_markers(jpeg, 0xD9, 0xD9)[0].offset;
        std::vector<size_t> cuts{rst[3].offset, rst[3].offset + 1, rst[3].offset + 2, end};
        for (int percent : {3, 20, 45, 70, 95}) cuts.push_back(start + (end - start) * percent / 100);
        for (size_t length : cuts) {
            const std::string where = std::string(e2e::sampling_name(s)) + " cut at " + std::to_string(length);
            const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
            expect_consistent(r, 161, where);
            ASSERT_EQ(r.begin_result, 0) << where;
            int complete = length >= end ? mcu_rows : 0;
            for (const auto& m : rst) complete += length >= end ? 0 : m.offset + 2 <= length;
            const int complete_rows = std::min(161, complete * mcu_height);
            EXPECT_GE(r.rows, complete_rows) << where;
            // The completeness flag turns 1 with the MCU row whose data the
            // cut reached (the first one not ended by a marker in front of
            // the cut); the rows before it are whole.
            EXPECT_EQ(r.data_incomplete, length < end) << where;
            int whole = 0;
            for (const auto& m : rst) whole += m.offset <= length;
            EXPECT_EQ(r.incomplete_from_row, length < end ? whole * mcu_height : -1) << where;
            const int whole_rows = r.data_incomplete ? r.incomplete_from_row : r.rows;
            EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, std::min(r.rows, whole_rows))) << where;
            if (r.stop_result != 1) {
                EXPECT_TRUE(r.final_status == DecodeError || r.final_status == RestartMarker) << where;
            }
            if (length >= end) {
                EXPECT_EQ(r.stop_result, 1) << where;
            }
        }
    }
}

// A progressive stream cut between scans decodes like the reference decodes
// it (coefficients never sent are zero); cut inside a scan's data it still
// gives a whole picture.
TEST(Truncated, ProgressiveBetweenAndInsideScans) {
    const std::vector<e2e::Scan> colour = {
        {{0, 1, 2}, 0, 0, 0, 1}, {{0}, 1, 8, 0, 2},       {{1}, 1, 63, 0, 1}, {{2}, 1, 63, 0, 1}, {{0}, 9, 63, 0, 2},
        {{0}, 1, 63, 2, 1},      {{0, 1, 2}, 0, 0, 1, 0}, {{1}, 1, 63, 1, 0}, {{2}, 1, 63, 1, 0}, {{0}, 1, 63, 1, 0}};
    const std::vector<e2e::Scan> grey = {{{0}, 0, 0, 0, 1},  {{0}, 1, 8, 0, 2}, {{0}, 9, 63, 0, 2},
                                         {{0}, 1, 63, 2, 1}, {{0}, 0, 0, 1, 0}, {{0}, 1, 63, 1, 0}};
    for (Sampling s : {Sampling::H2V2, Sampling::Grey, Sampling::H1V2}) {
        for (bool custom : {false, true}) {
            EncodeOptions o;
            o.sampling = s;
            o.progressive = !custom;
            if (custom) o.script = s == Sampling::Grey ? grey : colour, o.restart_rows = s == Sampling::H2V2;
            const Bytes jpeg = e2e::encode(e2e::make_picture(241, 161, s == Sampling::Grey ? 1 : 3, 4), o);
            const auto markers = e2e::find_markers(jpeg);
            std::vector<size_t> between, inside;
            for (size_t i = 0; i < markers.size(); ++i) {
                if (markers[i].code != 0xDA) continue;
                if (!inside.empty()) between.push_back(markers[i].offset);
                const size_t start = e2e::segment_end(jpeg, markers[i]);
                size_t j = i + 1;
                while (markers.at(j).code >= 0xD0 && markers[j].code <= 0xD7) ++j;
                for (int eighth : {1, 4, 7}) inside.push_back(start + (markers[j].offset - start) * eighth / 8);
            }
            between.push_back(e2e::find_markers(jpeg, 0xD9, 0xD9)[0].offset);
            for (size_t length : between) {
                const std::string where =
                    std::string(e2e::sampling_name(s)) + " between scans at " + std::to_string(length);
                const e2e::OracleResult oracle = e2e::oracle_decode(cut(jpeg, length));
                ASSERT_TRUE(oracle.ok) << where << ": " << oracle.message;
                const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
                ASSERT_EQ(r.rows, 161) << where << ": status " << r.final_status;
                EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, 161)) << where;
                EXPECT_TRUE(r.data_incomplete) << where;  // later scans may be missing
            }
            // Also in front of each restart marker and just after its 0xFF.
            for (const auto& m : markers)
                if (m.code >= 0xD0 && m.code <= 0xD7) inside.insert(inside.end(), {m.offset, m.offset + 1});
            for (size_t length : inside) {
                const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
                expect_consistent(r, 161, "inside a scan at " + std::to_string(length));
                EXPECT_EQ(r.rows, 161) << e2e::sampling_name(s) << " cut at " << length << ": status "
                                       << r.final_status;
                EXPECT_EQ(r.final_status, StatusOk) << length;
                EXPECT_TRUE(r.data_incomplete) << length;
            }
        }
    }
}

// A DC scan cut at a byte boundary that ends a block: the blocks before
// the cut keep their values, the rest were never sent and stay mid-grey.
TEST(Truncated, ProgressiveScanEndsExactlyWithTheData) {
    jt::HuffDef dc;  // sizes 0..11 in 8 bits each
    dc.counts[7] = 12;
    for (int i = 0; i < 12; ++i) dc.symbols.push_back(static_cast<uint8_t>(i));
    jt::Stream s;
    s.soi().dqt(0, 1).dht(0, 0, dc).sof(0xC2, 80, 8, jt::grey()).sos({{1, 0, 0}}, 0, 0, 0, 0);
    const e2e::MarivueResult r = e2e::marivue_decode(s.raw({0x08, 0xC8, 0, 0, 0}).bytes);  // 200, then 0 thrice
    ASSERT_EQ(r.rows, 8) << "status " << r.final_status;
    for (int x = 0; x < 80; ++x) {
        EXPECT_EQ(r.picture.samples[x], x < 32 ? 153 : 128) << x;
    }
    EXPECT_TRUE(r.data_incomplete);
}

// A grey progressive stream whose first scan is a whole DC scan (every
// difference 0, one bit a block), then `scans` times the scan header
// `header` and `data` after each.
Bytes many_scans(int width, int height, int scans, const Bytes& header, const Bytes& data) {
    jt::HuffDef eob_runs{{}, {0xE0}};  // EOB14: a run of 2^14 + 14 bits
    eob_runs.counts[0] = 1;
    jt::Stream s;
    s.soi().dqt(0, 1).dht(0, 0, jt::uniform_def({0})).dht(1, 0, eob_runs).sof(0xC2, width, height, jt::grey());
    const size_t blocks = static_cast<size_t>((width + 7) / 8) * static_cast<size_t>((height + 7) / 8);
    s.sos({{1, 0, 0}}, 0, 0, 0, 1).fill((blocks + 7) / 8, 0);
    for (int i = 0; i < scans; ++i) s.raw(header).raw(data);
    return s.eoi().bytes;
}

// Every early end is marked: data ending in or right after a scan header, a
// marker ending a scan before its last block (a cut file with an
// end-of-image marker appended), a cut inside a segment between progressive
// scans (what arrived is decoded, as if the stream had been cut in front of
// that segment). Each row: the status and completeness through the library's
// Decoder, the record's own flag, and the rows against those of another
// stream where the row names one. And the work a progressive stream can ask
// for is bounded by its size: thousands of scans that walk every block for a
// few bytes each fail at once.
TEST(Truncated, EveryEarlyEndIsMarked) {
    const Bytes seq = encoded(96, 80, Sampling::H2V2), prog = encoded(96, 80, Sampling::H2V2, 0, true);
    const Bytes grey_prog = encoded(64, 48, Sampling::Grey, 0, true);
    // Tables made for the picture leave out the symbols it does not use:
    // the fill after the data then decodes to codes of no symbol, which
    // consume no bits and must not pass for data.
    EncodeOptions optimised;
    optimised.optimize_huffman = true, optimised.sampling = Sampling::H2V2;
    const Bytes seq_opt = e2e::encode(e2e::make_picture(48, 32, 3, 3), optimised);
    optimised.progressive = true;
    const Bytes prog_opt = e2e::encode(e2e::make_picture(48, 32, 3, 3), optimised);
    const auto opt_sos = e2e::find_markers(prog_opt, 0xDA, 0xDA);
    const size_t opt_dc = e2e::segment_end(prog_opt, opt_sos[0]), opt_dc_end = opt_sos[1].offset;
    const size_t seq_opt_data = e2e::segment_end(seq_opt, e2e::find_markers(seq_opt, 0xDA, 0xDA)[0]);
    const auto sos = e2e::find_markers(prog, 0xDA, 0xDA), dht = e2e::find_markers(prog, 0xC4, 0xC4);
    const size_t seq_data = e2e::segment_end(seq, e2e::find_markers(seq, 0xDA, 0xDA)[0]);
    const size_t seq_end = e2e::find_markers(seq, 0xD9, 0xD9)[0].offset;
    // A DHT segment between two scans, and the same stream with a DQT segment
    // (the picture's own tables again) in front of the fifth scan.
    size_t between = 0;
    for (const auto& m : dht) between = m.offset > sos[0].offset ? m.offset : between;
    ASSERT_GT(between, 0u);
    const auto dqt = e2e::find_markers(prog, 0xDB, 0xDB)[0];
    Bytes redefined(prog.begin(), prog.begin() + static_cast<long>(sos[4].offset));
    redefined.insert(redefined.end(), prog.begin() + static_cast<long>(dqt.offset),
                     prog.begin() + static_cast<long>(e2e::segment_end(prog, dqt)));
    const size_t dqt_at = sos[4].offset;
    redefined.insert(redefined.end(), prog.begin() + static_cast<long>(sos[4].offset), prog.end());
    const Bytes refine_header = jt::Stream().sos({{1, 0, 0}}, 0, 0, 1, 0).bytes;
    const Bytes ac_header = jt::Stream().sos({{1, 0, 0}}, 1, 63, 0, 0).bytes;
    const Bytes empty_scans = many_scans(2000, 1504, 6000, refine_header, {});
    jt::BitWriter runs;  // 47,000 blocks skipped by three EOB14 runs of 16383 + 14 bits
    for (int i = 0; i < 3; ++i) runs.put(0, 1), runs.put(0x3FFF, 14);
    const Bytes run_scans = many_scans(2000, 1504, 3000, ac_header, runs.bytes());
    ASSERT_EQ(empty_scans.size() / 1000, 66u);  // 60 KB of scan headers after the first scan
    struct Row {
        const char* what;
        Bytes stream;
        int status;  // through the Decoder
        bool complete;
        const Bytes* same_rows_as;  // nullptr: not compared
        const char* message = nullptr;
        // Samples that may differ from same_rows_as: those of a block the
        // data ended inside, which the fill after the end reaches.
        size_t differing = 0;
    };
    const Bytes seq_cut_eoi = e2e::with_eoi(cut(seq, (seq_data + seq_end) / 2)),
                prog_cut = cut(prog, sos[3].offset + 40);
    const Bytes prog_at_dht = cut(prog, between), prog_at_sos5 = cut(prog, sos[5].offset);
    const Bytes redefined_at_dqt = cut(redefined, dqt_at);
    const Row rows[] = {
        {"sequential, whole", seq, 0, true, nullptr},
        {"sequential, ending right after its scan header", cut(seq, seq_data), 0, false, nullptr},
        {"sequential, two bytes of data after its scan header", cut(seq, seq_data + 2), 0, false, nullptr},
        {"sequential, an end-of-image marker right after its scan header", e2e::with_eoi(cut(seq, seq_data)), 0, false,
         nullptr},
        {"sequential, cut halfway and an end-of-image marker appended", seq_cut_eoi, 0, false, nullptr},
        {"progressive, ending right after its first scan header", cut(prog, e2e::segment_end(prog, sos[0])), 0, false,
         nullptr},
        {"progressive, ending right after its sixth scan header", cut(prog, e2e::segment_end(prog, sos[5])), 0, false,
         &prog_at_sos5},
        {"progressive, an end-of-image marker after its sixth scan header",
         e2e::with_eoi(cut(prog, e2e::segment_end(prog, sos[5]))), 0, false, &prog_at_sos5},
        {"progressive, cut inside a scan and an end-of-image marker appended", e2e::with_eoi(prog_cut), 0, false,
         &prog_cut, nullptr, 16 * 16 * 3},
        {"progressive, cut inside a Huffman table segment between scans", cut(prog, between + 9), 0, false,
         &prog_at_dht},
        {"progressive, cut inside the sixth scan header", cut(prog, sos[5].offset + 7), 0, false, &prog_at_sos5},
        {"progressive, cut inside a quantisation table segment between scans", cut(redefined, dqt_at + 40), 0, false,
         &redefined_at_dqt},
        {"progressive, cut inside a scan header and an end-of-image marker appended",
         e2e::with_eoi(cut(prog, sos[5].offset + 7)), 0, false, &prog_at_sos5},
        {"grey progressive, cut right after a scan header",
         cut(grey_prog, e2e::segment_end(grey_prog, e2e::find_markers(grey_prog, 0xDA, 0xDA)[2])), 0, false, nullptr},
        {"optimised tables, progressive, cut inside its DC scan and EOI appended",
         e2e::with_eoi(cut(prog_opt, (opt_dc + opt_dc_end) / 3)), 0, false, nullptr},
        {"optimised tables, sequential, cut halfway and EOI appended",
         e2e::with_eoi(cut(seq_opt, (seq_opt_data + seq_opt.size()) / 2)), 0, false, nullptr},
        {"optimised tables, progressive, whole", prog_opt, 0, true, nullptr},
        {"optimised tables, sequential, whole", seq_opt, 0, true, nullptr},
        {"6,000 empty refinement scans", empty_scans, DecodeError, true, nullptr,
         "the progressive scans ask for more work than the picture's size and data allow"},
        {"3,000 AC scans skipping every block", run_scans, DecodeError, true, nullptr,
         "the progressive scans ask for more work than the picture's size and data allow"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const e2e::Decoded got = e2e::library_decode(row.stream);
        EXPECT_EQ(got.status, row.status) << status_name(got.status);
        EXPECT_EQ(got.complete, row.complete);
        if (row.message != nullptr) {
            Decoder decoder(row.stream.data(), row.stream.size());
            Bytes line(2000);
            decoder.next_row(line, PixelFormat::grey);
            EXPECT_STREQ(decoder.message(), row.message);
        }
        const e2e::MarivueResult r = e2e::marivue_decode(row.stream);
        if (row.status == 0) {
            EXPECT_EQ(r.data_incomplete, !row.complete);
        }
        if (row.same_rows_as != nullptr) {
            const e2e::Decoded want = e2e::library_decode(*row.same_rows_as);
            ASSERT_EQ(want.status, 0);
            ASSERT_EQ(got.pixels.size(), want.pixels.size());
            size_t differing = 0;
            for (size_t i = 0; i < got.pixels.size(); ++i) differing += got.pixels[i] != want.pixels[i];
            EXPECT_LE(differing, row.differing);
        }
    }
    // Every cut inside the first scan's data of the pictures with tables of
    // their own, an end-of-image marker appended: never whole. (A cut at the
    // marker after the data leaves a shorter stream that is whole: a
    // progressive picture may end after any scan.)
    for (const Bytes* jpeg : {&prog_opt, &seq_opt}) {
        const size_t from = e2e::segment_end(*jpeg, e2e::find_markers(*jpeg, 0xDA, 0xDA)[0]);
        size_t to = from;
        for (const auto& m : e2e::find_markers(*jpeg))
            if (to == from && m.offset > from && (m.code < 0xD0 || m.code > 0xD7)) to = m.offset;
        ASSERT_GT(to, from + 16);
        for (size_t at = from; at < to; ++at) {
            EXPECT_FALSE(e2e::library_decode(e2e::with_eoi(cut(*jpeg, at))).complete)
                << (jpeg == &prog_opt) << " cut at " << at - from;
        }
    }
}

// Bytes after the end-of-image marker are not data the picture lacks: the
// completeness flag stays 0 and the rows are those of the stream alone.
TEST(Truncated, BytesAfterTheEndOfImageLeaveTheFlagClear) {
    for (bool progressive : {false, true}) {
        const Bytes jpeg = encoded(61, 37, Sampling::H2V2, 0, progressive);
        Bytes extended = jpeg;
        for (int i = 0; i < 700; ++i) extended.push_back(static_cast<uint8_t>(i % 5 == 0 ? 0xFF : i * 29));
        const e2e::MarivueResult plain = e2e::marivue_decode(jpeg), r = e2e::marivue_decode(extended);
        ASSERT_EQ(r.stop_result, 1) << "status " << r.final_status;
        EXPECT_FALSE(plain.data_incomplete || r.data_incomplete) << progressive;
        EXPECT_EQ(r.incomplete_from_row, -1);
        EXPECT_EQ(r.picture.samples, plain.picture.samples);
    }
}

// Serves `chunk` bytes a read; from read `break_on` on returns `broken`;
// returns 0 `stalls` times before each delivery; flags the end with the last
// bytes or (`late_end`) in a later call that returns 0.
struct BreakingSource : ByteSource {
    BreakingSource(Bytes bytes, int32_t chunk_, int break_on_ = 0, int32_t broken_ = 0, int stalls_ = 0,
                   bool late = false)
        : data(std::move(bytes)) {
        chunk = chunk_, break_on = break_on_, broken = broken_, stalls = stalls_, late_end = late;
    }
    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
        reads_after_detach += detaches;
        if (++reads >= break_on && break_on != 0) return broken == overlong ? max + 1 : broken;
        if (stalled++ < stalls) return 0;
        stalled = 0;
        const size_t n = std::min({static_cast<size_t>(max), static_cast<size_t>(chunk), data.size() - position});
        std::memcpy(buffer, data.data() + position, n);
        position += n;
        if (position == data.size() && (!late_end || n == 0)) *end_flag = 1;
        return static_cast<int32_t>(n);
    }
    void detach() override { ++detaches; }
    static constexpr int32_t overlong = 0x7FFFFFFF;
    Bytes data;
    int32_t chunk, break_on, broken, stalls, stalled = 0, reads = 0, detaches = 0, reads_after_detach = 0;
    bool late_end;
    size_t position = 0;
};

TEST(BrokenSource, ContractBreachesAreStreamErrors) {
    const Bytes progressive = fixture("noise_prog_64x64.jpg"), sequential = fixture("noise_2x1_64x64.jpg");
    ASSERT_GT(progressive.size(), 4096u);
    ASSERT_GT(sequential.size(), 4096u);
    const e2e::MarivueResult whole = e2e::marivue_decode(sequential);
    ASSERT_EQ(whole.rows, 64);
    for (int32_t broken : {BreakingSource::overlong, int32_t{-1}, int32_t{-2}, int32_t{-1000}, int32_t{0}}) {
        SCOPED_TRACE(broken);
        // 0 without the end flag is a breach only 64 times in a row.
        const int reads = broken == 0 ? 64 : 1;
        BreakingSource first(progressive, 1 << 30, 1, broken);
        EXPECT_EQ(e2e::marivue_decode(first).open_status, StreamError);
        EXPECT_EQ(first.reads, reads);
        EXPECT_EQ(first.detaches, 1);
        // With the second fill: in begin for a progressive frame, ...
        BreakingSource later(progressive, 1, 4097, broken);
        const e2e::MarivueResult p = e2e::marivue_decode(later);
        EXPECT_EQ(std::tuple(p.open_status, p.begin_result, p.final_status), std::tuple(0, -1, int32_t{StreamError}));
        // ... and among the rows of a sequential one, after rows that match.
        BreakingSource rows(sequential, 1, 4097, broken);
        const e2e::MarivueResult r = e2e::marivue_decode(rows);
        EXPECT_EQ(std::tuple(r.begin_result, r.stop_result, r.final_status), std::tuple(0, -227, int32_t{StreamError}));
        EXPECT_TRUE(r.rows > 0 && r.rows < 64) << r.rows;
        EXPECT_TRUE(std::equal(r.picture.samples.begin(), r.picture.samples.end(), whole.picture.samples.begin()));
        EXPECT_EQ(rows.reads, 4096 + reads);
        EXPECT_EQ(rows.detaches, 1);
        EXPECT_EQ(rows.reads_after_detach + later.reads_after_detach + first.reads_after_detach, 0);
    }
}

// However the source cuts the stream into reads, stalls 63 times in a row
// or flags the end only in a later empty read, the rows are the same.
TEST(BrokenSource, ReadSizesStallsAndLateEndGiveTheSameRows) {
    for (const Bytes& jpeg : {encoded(241, 161, Sampling::H2V2, 0, false, true), encoded(97, 45, Sampling::H1V2, 1),
                              encoded(65, 33, Sampling::Grey, 0, true)}) {
        const e2e::MarivueResult whole = e2e::marivue_decode(jpeg);
        ASSERT_EQ(whole.stop_result, 1);
        for (int32_t chunk : {1, 2, 3, 255, 4095, 4096, 4097}) {
            BreakingSource source(jpeg, chunk, 0, 0, 0, true);
            const e2e::MarivueResult r = e2e::marivue_decode(source);
            EXPECT_EQ(r.final_status, StatusOk) << chunk;
            EXPECT_EQ(r.picture.samples, whole.picture.samples) << chunk;
        }
        BreakingSource stalling(jpeg, 7, 0, 0, 63);
        const e2e::MarivueResult r = e2e::marivue_decode(stalling);
        EXPECT_EQ(r.final_status, StatusOk);
        EXPECT_EQ(r.picture.samples, whole.picture.samples);
    }
}

// Both sources deliver everything, flag the end, and answer a request for no
// bytes with -1 before the end and with the end flag after it. A file
// opened for writing only gives -1, and the decoder StreamError; a readable
// one decodes like memory.
TEST(ByteSources, MemoryAndFile) {
    const Bytes data = encoded(150, 70, Sampling::H2V2, 0, false, true);
    for (int32_t max : {1, 100, 4096, 100000}) {
        std::FILE* file = std::tmpfile();
        ASSERT_EQ(std::fwrite(data.data(), 1, data.size(), file), data.size());
        std::rewind(file);
        MemoryByteSource memory(data.data(), data.size());
        FileByteSource from_file(file);
        for (ByteSource* source : {static_cast<ByteSource*>(&memory), static_cast<ByteSource*>(&from_file)}) {
            Bytes got, buffer(static_cast<size_t>(max));
            uint8_t end = 0;
            EXPECT_EQ(source->read(buffer.data(), 0, &end), -1);
            for (int calls = 0; calls < 20000 && !end; ++calls) {
                const int32_t n = source->read(buffer.data(), max, &end);
                ASSERT_TRUE(n > 0 || (n == 0 && end)) << max << ": " << n;
                got.insert(got.end(), buffer.begin(), buffer.begin() + n);
            }
            EXPECT_EQ(got, data) << max;
            end = 0;
            EXPECT_EQ(source->read(buffer.data(), 0, &end), 0);
            EXPECT_NE(end, 0);
        }
        std::rewind(file);
        FileByteSource again(file);
        EXPECT_EQ(e2e::marivue_decode(again).picture.samples, e2e::marivue_decode(data).picture.samples);
        std::fclose(file);
    }
    uint8_t buffer[8], end = 0;
    MemoryByteSource exact(data.data(), 5), empty(nullptr, 0);
    EXPECT_EQ(exact.read(buffer, 8, &end), 5);
    EXPECT_NE(end, 0);  // with the last bytes
    end = 0;
    EXPECT_EQ(empty.read(buffer, 8, &end), 0);
    EXPECT_NE(end, 0);
    std::FILE* file = std::fopen("/dev/null", "wb");
    FileByteSource unreadable(file), none(nullptr);
    EXPECT_EQ(unreadable.read(buffer, 8, &end), -1);
    EXPECT_EQ(none.read(buffer, 8, &end), -1);
    std::clearerr(file);
    EXPECT_EQ(e2e::marivue_decode(unreadable).open_status, StreamError);
    std::fclose(file);
}

}  // namespace

// Streams cut short: the decoder must never crash, must report failures
// through its status, and must deliver what the data that arrived allows.

#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using e2e::EncodeOptions;
using e2e::MarkerPosition;
using e2e::Sampling;

std::vector<uint8_t> cut(const std::vector<uint8_t>& jpeg, size_t length) {
    return std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(length));
}

// The results of one decoding are consistent with each other whatever the
// input: rows come with the right length, a failure leaves a status and
// every later call answers -1.
void expect_consistent(const e2e::MarivueResult& r, int height, const std::string& where) {
    SCOPED_TRACE(where);
    EXPECT_TRUE(r.row_length_ok);
    EXPECT_TRUE(r.fourth_bytes_zero);
    if (r.open_status != 0) {
        EXPECT_LT(r.open_status, 0);
        EXPECT_EQ(r.rows, 0);
        return;
    }
    if (r.begin_result != 0) {
        EXPECT_EQ(r.begin_result, -1);
        EXPECT_LT(r.final_status, 0);
        EXPECT_EQ(r.rows, 0);
        return;
    }
    if (r.stop_result == 1) {
        EXPECT_EQ(r.rows, height);
        EXPECT_EQ(r.final_status, StatusOk);
        EXPECT_EQ(r.result_after_stop, 1);
    } else {
        EXPECT_EQ(r.stop_result, -227);
        EXPECT_LT(r.rows, height);
        EXPECT_LT(r.final_status, 0);
        EXPECT_EQ(r.result_after_stop, -1);
    }
}

std::vector<MarkerPosition> markers_with(const std::vector<uint8_t>& jpeg, uint8_t low,
                                         uint8_t high) {
    std::vector<MarkerPosition> found;
    for (const MarkerPosition& m : e2e::find_markers(jpeg)) {
        if (m.code >= low && m.code <= high) {
            found.push_back(m);
        }
    }
    return found;
}

// Cuts anywhere in the headers: nothing is decoded, and the failure is named.
TEST(TruncatedStream, InsideHeadersGivesNoPicture) {
    const e2e::Picture picture = e2e::make_picture(48, 32, 3, 11);
    EncodeOptions o;
    o.sampling = Sampling::H2V1;
    o.extra_segments = true;
    const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
    const std::vector<MarkerPosition> sos = markers_with(jpeg, 0xDA, 0xDA);
    ASSERT_EQ(sos.size(), 1u);
    const size_t header_end = sos[0].offset + 2 + ((jpeg[sos[0].offset + 2] << 8) | jpeg[sos[0].offset + 3]);
    for (size_t length = 0; length < header_end; length += (length < 40 ? 1 : 97)) {
        const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
        expect_consistent(r, 32, "cut at " + std::to_string(length));
        EXPECT_TRUE(r.open_status != 0 || r.begin_result != 0) << "cut at " << length;
        EXPECT_EQ(r.rows, 0) << "cut at " << length;
    }
    EXPECT_EQ(e2e::marivue_decode(cut(jpeg, 0)).open_status, NotJpeg);
    EXPECT_EQ(e2e::marivue_decode(cut(jpeg, 1)).open_status, NotJpeg);
}

// A frame header with no scan after it: the header is read, begin refuses.
TEST(TruncatedStream, AfterFrameHeaderBeginFails) {
    const e2e::Picture picture = e2e::make_picture(20, 12, 1, 2);
    EncodeOptions o;
    o.sampling = Sampling::Grey;
    const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
    const std::vector<MarkerPosition> sof = markers_with(jpeg, 0xC0, 0xC0);
    ASSERT_EQ(sof.size(), 1u);
    const size_t frame_end = sof[0].offset + 2 + ((jpeg[sof[0].offset + 2] << 8) | jpeg[sof[0].offset + 3]);
    const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, frame_end));
    EXPECT_EQ(r.open_status, StatusOk);
    EXPECT_EQ(r.components, 1);
    EXPECT_EQ(r.picture.width, 20);
    EXPECT_EQ(r.begin_result, -1);
    EXPECT_EQ(r.final_status, UnexpectedMarker);
}

// A sequential stream with a restart marker after every MCU row, cut inside
// its entropy-coded data: every MCU row whose data arrived in full matches
// the reference; the rest may fail, but only with a named status.
TEST(TruncatedStream, SequentialRowsBeforeTheCutMatch) {
    for (Sampling s : {Sampling::H2V2, Sampling::Grey, Sampling::H1V1}) {
        const int channels = s == Sampling::Grey ? 1 : 3;
        const int mcu_height = (s == Sampling::H2V2) ? 16 : 8;
        const e2e::Picture picture = e2e::make_picture(241, 161, channels, 21);
        EncodeOptions o;
        o.sampling = s;
        o.restart_rows = 1;
        const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
        const e2e::OracleResult oracle = e2e::oracle_decode(jpeg);
        ASSERT_TRUE(oracle.ok);
        const std::vector<MarkerPosition> rst = markers_with(jpeg, 0xD0, 0xD7);
        const int mcu_rows = (161 + mcu_height - 1) / mcu_height;
        ASSERT_EQ(static_cast<int>(rst.size()), mcu_rows - 1);
        const size_t data_start = markers_with(jpeg, 0xDA, 0xDA)[0].offset;
        const size_t data_end = markers_with(jpeg, 0xD9, 0xD9).back().offset;
        std::vector<size_t> cuts;
        for (int percent : {3, 20, 45, 70, 95}) {
            cuts.push_back(data_start + (data_end - data_start) * percent / 100);
        }
        cuts.push_back(rst[3].offset);      // just before a restart marker
        cuts.push_back(rst[3].offset + 1);  // between its two bytes
        cuts.push_back(rst[3].offset + 2);  // just after it
        cuts.push_back(data_end);           // without the end-of-image marker
        for (size_t length : cuts) {
            const std::string where = std::string(e2e::sampling_name(s)) + " cut at " +
                                      std::to_string(length) + " of " + std::to_string(jpeg.size());
            const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
            expect_consistent(r, 161, where);
            ASSERT_EQ(r.open_status, StatusOk) << where;
            ASSERT_EQ(r.begin_result, 0) << where;
            // MCU rows complete before the cut: those followed by a restart
            // marker that lies wholly inside the cut stream.
            int complete = 0;
            for (const MarkerPosition& m : rst) {
                complete += m.offset + 2 <= length;
            }
            if (length >= data_end) {
                complete = mcu_rows;
            }
            const int complete_rows = std::min(161, complete * mcu_height);
            EXPECT_GE(r.rows, complete_rows) << where;
            const int rows = std::min(r.rows, complete_rows);
            EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, rows)) << where;
            if (r.stop_result != 1) {
                EXPECT_TRUE(r.final_status == DecodeError || r.final_status == RestartMarker)
                    << where << ": status " << r.final_status;
            }
            if (length >= data_end) {
                EXPECT_EQ(r.stop_result, 1) << where;
            }
        }
    }
}

// Cut anywhere in the entropy-coded data of a sequential stream without
// restart markers: no crash, and a consistent outcome.
TEST(TruncatedStream, SequentialAnywhere) {
    const e2e::Picture picture = e2e::make_picture(67, 45, 3, 8);
    EncodeOptions o;
    o.sampling = Sampling::H1V2;
    o.quality = 7;
    o.force_baseline = false;
    o.optimize_huffman = true;
    const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
    const size_t data_start = markers_with(jpeg, 0xDA, 0xDA)[0].offset;
    for (size_t length = data_start; length <= jpeg.size(); length += 7) {
        const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
        expect_consistent(r, 45, "cut at " + std::to_string(length));
    }
}

EncodeOptions progressive_options(Sampling s, bool custom) {
    EncodeOptions o;
    o.sampling = s;
    if (custom) {
        // Successive approximation in both DC and AC, so that cuts fall into
        // refinement scans too.
        if (s == Sampling::Grey) {
            o.script = {{{0}, 0, 0, 0, 1}, {{0}, 1, 8, 0, 2}, {{0}, 9, 63, 0, 2},
                        {{0}, 1, 63, 2, 1}, {{0}, 0, 0, 1, 0}, {{0}, 1, 63, 1, 0}};
        } else {
            o.script = {{{0, 1, 2}, 0, 0, 0, 1}, {{0}, 1, 8, 0, 2}, {{1}, 1, 63, 0, 1},
                        {{2}, 1, 63, 0, 1},      {{0}, 9, 63, 0, 2}, {{0}, 1, 63, 2, 1},
                        {{0, 1, 2}, 0, 0, 1, 0}, {{1}, 1, 63, 1, 0}, {{2}, 1, 63, 1, 0},
                        {{0}, 1, 63, 1, 0}};
        }
    } else {
        o.progressive = true;
    }
    return o;
}

// A progressive stream cut between scans is a picture made of the scans that
// arrived, coefficients never sent being zero; the reference library decodes
// such a stream the same way, so the two pictures match.
TEST(TruncatedStream, ProgressiveBetweenScansMatches) {
    for (Sampling s : {Sampling::H2V2, Sampling::Grey, Sampling::H2V1}) {
        for (bool custom : {false, true}) {
            const int channels = s == Sampling::Grey ? 1 : 3;
            const e2e::Picture picture = e2e::make_picture(241, 161, channels, 4);
            EncodeOptions o = progressive_options(s, custom);
            o.restart_rows = custom ? 1 : 0;
            const std::vector<uint8_t> jpeg = e2e::encode(picture, o);
            const std::vector<MarkerPosition> sos = markers_with(jpeg, 0xDA, 0xDA);
            ASSERT_GT(sos.size(), 3u);
            // The first scan must be complete for the reference library to
            // deliver anything; every later scan start is a cut point, and so
            // is the end-of-image marker.
            std::vector<size_t> cuts;
            for (size_t i = 1; i < sos.size(); ++i) {
                cuts.push_back(sos[i].offset);
            }
            cuts.push_back(markers_with(jpeg, 0xD9, 0xD9).back().offset);
            for (size_t length : cuts) {
                const std::string where = std::string(e2e::sampling_name(s)) +
                                          (custom ? " custom" : " default") + " cut at " +
                                          std::to_string(length);
                const std::vector<uint8_t> part = cut(jpeg, length);
                const e2e::OracleResult oracle = e2e::oracle_decode(part);
                ASSERT_TRUE(oracle.ok) << where << ": " << oracle.message;
                const e2e::MarivueResult r = e2e::marivue_decode(part);
                expect_consistent(r, 161, where);
                ASSERT_EQ(r.rows, 161) << where << ": status " << r.final_status;
                EXPECT_TRUE(e2e::matches_reference(r.picture, oracle.picture, 0, 161)) << where;
            }
        }
    }
}

// A progressive stream cut inside the entropy-coded data of a scan still
// gives a whole picture: the input then supplies end-of-image markers, which
// end the scan loop. Every cut that gives no picture is listed.
TEST(TruncatedStream, ProgressiveInsideScansGivesPicture) {
    int total = 0;
    std::vector<std::string> refused;
    for (Sampling s : {Sampling::H2V2, Sampling::Grey, Sampling::H1V2}) {
        for (bool custom : {false, true}) {
            const int channels = s == Sampling::Grey ? 1 : 3;
            const e2e::Picture picture = e2e::make_picture(97, 61, channels, 6);
            const std::vector<uint8_t> jpeg = e2e::encode(picture, progressive_options(s, custom));
            // The entropy-coded data of each scan: from the end of its header
            // to the next marker that is not a restart marker.
            const std::vector<MarkerPosition> markers = e2e::find_markers(jpeg);
            std::vector<std::pair<size_t, size_t>> cuts;  // cut, scan number
            size_t scan = 0;
            for (size_t i = 0; i < markers.size(); ++i) {
                if (markers[i].code != 0xDA) {
                    continue;
                }
                const size_t offset = markers[i].offset;
                const size_t start = offset + 2 + ((jpeg[offset + 2] << 8) | jpeg[offset + 3]);
                size_t j = i + 1;
                while (j < markers.size() && markers[j].code >= 0xD0 && markers[j].code <= 0xD7) {
                    ++j;
                }
                ASSERT_LT(j, markers.size());
                const size_t end = markers[j].offset;
                for (int eighth : {1, 4, 7}) {
                    cuts.push_back({start + (end - start) * eighth / 8, scan});
                }
                ++scan;
            }
            for (const auto& [length, scan_number] : cuts) {
                const std::string where = std::string(e2e::sampling_name(s)) +
                                          (custom ? " custom" : " default") + " script, cut at " +
                                          std::to_string(length) + " of " +
                                          std::to_string(jpeg.size()) + " in scan " +
                                          std::to_string(scan_number);
                const e2e::MarivueResult r = e2e::marivue_decode(cut(jpeg, length));
                expect_consistent(r, 61, where);
                ++total;
                if (r.rows != 61) {
                    refused.push_back(where + ": status " + std::to_string(r.final_status));
                }
            }
        }
    }
    std::string list;
    for (const std::string& line : refused) {
        list += "\n  " + line;
    }
    EXPECT_TRUE(refused.empty()) << refused.size() << " of " << total
                                 << " cuts gave no picture:" << list;
}

}  // namespace

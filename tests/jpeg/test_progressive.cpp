// Progressive decoding: the four block decoders, the scan walk, the scan
// checks, the coefficient grids and the row pass.
#include "test_util.h"

#include <gtest/gtest.h>

using namespace jt;

namespace {

// Every AC symbol including the end-of-band runs, eight bits each.
HuffDef prog_ac_def() {
    std::vector<uint8_t> s{0x00, 0xF0};
    for (int r = 1; r < 15; ++r) s.push_back(static_cast<uint8_t>(r << 4));
    for (int r = 0; r < 16; ++r)
        for (int z = 1; z <= 10; ++z) s.push_back(static_cast<uint8_t>(r << 4 | z));
    return uniform_def(s);
}

struct Prog {
    Stream s;
    explicit Prog(int width, int height, const std::vector<Component>& comps, int q0 = 1,
                  const std::array<int, 64>* q0_table = nullptr) {
        s.soi();
        if (q0_table) {
            s.dqt(0, *q0_table);
        } else {
            s.dqt_flat(0, q0);
        }
        s.dqt_flat(1, 1);
        s.dht(0, 0, dc_def()).dht(1, 0, prog_ac_def()).dht(0, 1, dc_def()).dht(1, 1, prog_ac_def());
        s.sof(0xC2, width, height, comps);
    }
    Prog& scan(const std::vector<ScanComponent>& comps, int ss, int se, int ah, int al,
               const Bytes& entropy) {
        s.sos(comps, ss, se, ah, al).raw(entropy);
        return *this;
    }
    Bytes bytes(bool eoi = true) {
        if (eoi) s.eoi();
        return s.bytes;
    }
};

// A grey progressive frame `blocks` blocks wide, positioned at the entropy
// data of its single scan, with the grids created.
struct ProgScan : Harness {
    ProgScan(int blocks, int ss, int se, int ah, int al, const Bytes& entropy)
        : Harness(Prog(8 * blocks, 8, grey()).scan({{1, 0, 0}}, ss, se, ah, al, entropy).bytes()) {
        EXPECT_EQ(open(), 0);
        JpegDecoder& d = dec();
        EXPECT_EQ(stage(d, [&] {
                      start_frame(d);
                      d.dc_coeff_buffers[0] = coeff_buffer_create(d, blocks, 1, 1, 1);
                      d.ac_coeff_buffers[0] = coeff_buffer_create(d, blocks, 1, 8, 8);
                      EXPECT_TRUE(start_scan(d));
                  }),
                  0);
    }
    int16_t* ac(int x) { return d->ac_coeff_buffers[0]->coeffs + 64 * x; }
    int16_t& zz(int x, int k) { return ac(x)[zigzag[k]]; }
    template <class F>
    int32_t run(F&& f) {
        return stage(dec(), std::forward<F>(f));
    }
    int32_t ac_first(int x) {
        return run([&] { decode_ac_first(dec(), 0, x, 0); });
    }
    int32_t ac_refine(int x) {
        return run([&] { decode_ac_refine(dec(), 0, x, 0); });
    }
};

const HuffCodes& ac_codes() {
    static HuffCodes codes(prog_ac_def());
    return codes;
}
const HuffCodes& dc_codes() {
    static HuffCodes codes(dc_def());
    return codes;
}

}  // namespace

// ---- first AC passes --------------------------------------------------------

TEST(AcFirst, EndOfBandRunOfTwelve) {
    BitWriter w;
    w.ac(ac_codes(), 0, 5);
    w.symbol(ac_codes(), 0x30);
    w.put_bits("101");
    w.ac(ac_codes(), 0, -3);
    w.symbol(ac_codes(), 0x00);
    w.put(0xA5, 8);
    ProgScan p(16, 1, 63, 0, 0, w.bytes());
    for (int x = 1; x <= 13; ++x) p.ac(x)[5] = 0x1234;
    ASSERT_EQ(p.ac_first(0), 0);
    EXPECT_EQ(p.zz(0, 1), 5);
    EXPECT_EQ(p.dec().eob_run, 12);
    for (int x = 1; x <= 12; ++x) {
        ASSERT_EQ(p.ac_first(x), 0);
        EXPECT_EQ(p.dec().eob_run, 12 - x);
        EXPECT_EQ(p.ac(x)[5], 0x1234);
        EXPECT_EQ(p.zz(x, 1), 0);
    }
    ASSERT_EQ(p.ac_first(13), 0);
    EXPECT_EQ(p.zz(13, 1), -3);
    EXPECT_EQ(p.dec().eob_run, 0);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcFirst, EndOfBandSymbolZeroEndsOneBlock) {
    BitWriter w;
    w.ac(ac_codes(), 0, 7);
    w.symbol(ac_codes(), 0x00);
    w.ac(ac_codes(), 2, 2);
    w.symbol(ac_codes(), 0x00);
    w.put(0xA5, 8);
    ProgScan p(4, 1, 63, 0, 0, w.bytes());
    ASSERT_EQ(p.ac_first(0), 0);
    EXPECT_EQ(p.dec().eob_run, 0);
    EXPECT_EQ(p.zz(0, 1), 7);
    ASSERT_EQ(p.ac_first(1), 0);
    EXPECT_EQ(p.zz(1, 3), 2);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcFirst, BandAndShift) {
    BitWriter w;
    w.ac(ac_codes(), 1, -5);  // 6 + 1 = 7
    w.ac(ac_codes(), 0, 3);   // 8
    w.ac(ac_codes(), 0, 1);   // 9 = Se: the band is full, no end of band
    w.ac(ac_codes(), 0, 2);   // next block: 6
    w.symbol(ac_codes(), 0x00);
    ProgScan p(2, 6, 9, 0, 2, w.bytes());
    ASSERT_EQ(p.ac_first(0), 0);
    EXPECT_EQ(p.zz(0, 7), -20);
    EXPECT_EQ(p.zz(0, 8), 12);
    EXPECT_EQ(p.zz(0, 9), 4);
    EXPECT_EQ(p.zz(0, 6), 0);
    ASSERT_EQ(p.ac_first(1), 0);
    EXPECT_EQ(p.zz(1, 6), 8);
}

TEST(AcFirst, RunPast63Fails) {
    BitWriter w;
    w.ac(ac_codes(), 15, 1);       // 16
    w.symbol(ac_codes(), 0xF0);    // 17..32
    w.symbol(ac_codes(), 0xF0);    // 33..48
    w.ac(ac_codes(), 15, 1);       // 49 + 15 = 64
    ProgScan p(1, 1, 63, 0, 0, w.bytes());
    EXPECT_EQ(p.ac_first(0), DecodeError);
}

// ---- AC refinement ----------------------------------------------------------

TEST(AcRefine, ZeroRunPassesSixteenZerosAndPlacesNothing) {
    BitWriter w;
    w.symbol(ac_codes(), 0xF0);
    w.put_bits("1");  // correction of position 2
    w.put_bits("1");  // correction of position 5
    w.symbol(ac_codes(), 0x00);
    w.put(0xA5, 8);
    ProgScan p(1, 1, 63, 1, 0, w.bytes());
    p.zz(0, 2) = 2;
    p.zz(0, 5) = -2;
    ASSERT_EQ(p.ac_refine(0), 0);
    EXPECT_EQ(p.zz(0, 2), 3);
    EXPECT_EQ(p.zz(0, 5), -3);
    for (int k = 1; k < 64; ++k)
        if (k != 2 && k != 5) {
            EXPECT_EQ(p.zz(0, k), 0) << k;
        }
    EXPECT_EQ(p.dec().eob_run, 0);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcRefine, NewCoefficientAfterItsZeroRun) {
    BitWriter w;
    w.symbol(ac_codes(), 0x21);  // two zeros to pass, then a new value
    w.put_bits("0");             // its sign: negative
    w.put_bits("1");             // correction of position 2
    w.put_bits("0");             // correction of position 4
    w.symbol(ac_codes(), 0x00);
    w.put_bits("1");  // correction of position 7 in the end-of-band pass
    w.put(0xA5, 8);
    ProgScan p(1, 1, 63, 1, 0, w.bytes());
    p.zz(0, 2) = -2;
    p.zz(0, 4) = 2;
    p.zz(0, 7) = 4;
    ASSERT_EQ(p.ac_refine(0), 0);
    // Zeros at 1 and 3 are passed; the new value goes to the next zero, 5.
    EXPECT_EQ(p.zz(0, 1), 0);
    EXPECT_EQ(p.zz(0, 2), -3);
    EXPECT_EQ(p.zz(0, 3), 0);
    EXPECT_EQ(p.zz(0, 4), 2);
    EXPECT_EQ(p.zz(0, 5), -1);
    EXPECT_EQ(p.zz(0, 7), 5);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcRefine, CorrectionBitsInsideAnEndOfBandRun) {
    BitWriter w;
    // Block 0: end-of-band run of 2 + 1 = 3 blocks, itself the first.
    w.symbol(ac_codes(), 0x10);
    w.put_bits("1");
    w.put_bits("1");  // block 0, position 3
    w.put_bits("1");  // block 1, position 1
    w.put_bits("0");  // block 1, position 10
    w.put_bits("1");  // block 2, position 63
    // Block 3: out of the run again.
    w.ac(ac_codes(), 0, 1);
    w.symbol(ac_codes(), 0x00);
    w.put(0xA5, 8);
    ProgScan p(4, 1, 63, 1, 0, w.bytes());
    p.zz(0, 3) = 4;
    p.zz(1, 1) = -4;
    p.zz(1, 10) = 6;
    p.zz(2, 63) = 2;
    ASSERT_EQ(p.ac_refine(0), 0);
    EXPECT_EQ(p.zz(0, 3), 5);
    EXPECT_EQ(p.dec().eob_run, 2);
    ASSERT_EQ(p.ac_refine(1), 0);
    EXPECT_EQ(p.zz(1, 1), -5);
    EXPECT_EQ(p.zz(1, 10), 6);
    EXPECT_EQ(p.dec().eob_run, 1);
    ASSERT_EQ(p.ac_refine(2), 0);
    EXPECT_EQ(p.zz(2, 63), 3);
    EXPECT_EQ(p.dec().eob_run, 0);
    ASSERT_EQ(p.ac_refine(3), 0);
    EXPECT_EQ(p.zz(3, 1), 1);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcRefine, CorrectionLeavesSetBitsAlone) {
    BitWriter w;
    w.symbol(ac_codes(), 0x00);
    w.put_bits("111");
    w.put(0xA5, 8);
    ProgScan p(1, 1, 63, 2, 1, w.bytes());
    p.zz(0, 1) = 6;   // bit 1 already set
    p.zz(0, 2) = 4;   // gains 2
    p.zz(0, 3) = -4;  // gains -2
    ASSERT_EQ(p.ac_refine(0), 0);
    EXPECT_EQ(p.zz(0, 1), 6);
    EXPECT_EQ(p.zz(0, 2), 6);
    EXPECT_EQ(p.zz(0, 3), -6);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcRefine, WalkPastTheBandEndPlacesAtTheNextPosition) {
    BitWriter w;
    w.symbol(ac_codes(), 0x01);
    w.put_bits("1");      // new value +1
    w.put_bits("00000");  // corrections of positions 1 to 5
    w.put(0xA5, 8);
    ProgScan p(1, 1, 5, 1, 0, w.bytes());
    for (int k = 1; k <= 5; ++k) p.zz(0, k) = 2;
    ASSERT_EQ(p.ac_refine(0), 0);
    for (int k = 1; k <= 5; ++k) EXPECT_EQ(p.zz(0, k), 2);
    EXPECT_EQ(p.zz(0, 6), 1);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcRefine, WalkPastPosition63PlacesNothing) {
    BitWriter w;
    w.symbol(ac_codes(), 0x01);
    w.put_bits("1");
    for (int k = 1; k < 64; ++k) w.put_bits("0");
    w.put(0xA5, 8);
    ProgScan p(2, 1, 63, 1, 0, w.bytes());
    for (int k = 1; k < 64; ++k) p.zz(0, k) = -2;
    ASSERT_EQ(p.ac_refine(0), 0);
    for (int k = 1; k < 64; ++k) EXPECT_EQ(p.zz(0, k), -2);
    EXPECT_EQ(p.ac(0)[0], 0);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(p.ac(1)[i], 0);
    EXPECT_EQ(get_bits(p.dec(), 8), 0xA5u);
}

TEST(AcRefine, SizeOtherThanOneFails) {
    BitWriter w;
    w.ac(ac_codes(), 0, 2);
    ProgScan p(1, 1, 63, 1, 0, w.bytes());
    EXPECT_EQ(p.ac_refine(0), DecodeError);
}

// ---- DC passes --------------------------------------------------------------

TEST(DcPasses, FirstWithShiftThenRefine) {
    BitWriter first;
    first.dc(dc_codes(), 3);
    first.dc(dc_codes(), -1);
    BitWriter refine;
    refine.put_bits("10");
    Prog pr(16, 8, grey(), 8);
    pr.scan({{1, 0, 0}}, 0, 0, 0, 1, first.bytes()).scan({{1, 0, 0}}, 0, 0, 1, 0, refine.bytes());
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    ASSERT_NE(d.dc_coeff_buffers[0], nullptr);
    EXPECT_EQ(d.dc_coeff_buffers[0]->coeffs[0], 7);
    EXPECT_EQ(d.dc_coeff_buffers[0]->coeffs[1], 4);
    RowsResult rows = read_rows(d);
    ASSERT_EQ(rows.last, 1);
    ASSERT_EQ(rows.rows.size(), 8u);
    for (const Bytes& row : rows.rows) {
        for (int x = 0; x < 8; ++x) EXPECT_EQ(row[x], flat_sample(56));
        for (int x = 8; x < 16; ++x) EXPECT_EQ(row[x], flat_sample(32));
    }
}

TEST(DcPasses, FirstPassStoresPredictedValueShifted) {
    BitWriter w;
    w.dc(dc_codes(), 5);
    w.dc(dc_codes(), -2);
    w.put(0xA5, 8);
    ProgScan p(2, 0, 0, 0, 1, w.bytes());
    JpegDecoder& d = p.dec();
    ASSERT_EQ(p.run([&] { decode_dc_first(d, 0, 0, 0); }), 0);
    ASSERT_EQ(p.run([&] { decode_dc_first(d, 0, 1, 0); }), 0);
    EXPECT_EQ(d.dc_coeff_buffers[0]->coeffs[0], 10);
    EXPECT_EQ(d.dc_coeff_buffers[0]->coeffs[1], 6);
    EXPECT_EQ(d.last_dc[0], 3);
    EXPECT_EQ(get_bits(d, 8), 0xA5u);
}

TEST(DcPasses, RefineSetsTheBitOnlyForOne) {
    BitWriter w;
    w.put_bits("01");
    w.put(0xA5, 8);
    ProgScan p(2, 0, 0, 3, 2, w.bytes());
    JpegDecoder& d = p.dec();
    d.dc_coeff_buffers[0]->coeffs[0] = 8;
    d.dc_coeff_buffers[0]->coeffs[1] = -8;
    ASSERT_EQ(p.run([&] { decode_dc_refine(d, 0, 0, 0); }), 0);
    ASSERT_EQ(p.run([&] { decode_dc_refine(d, 0, 1, 0); }), 0);
    EXPECT_EQ(d.dc_coeff_buffers[0]->coeffs[0], 8);
    EXPECT_EQ(d.dc_coeff_buffers[0]->coeffs[1], -4);  // -8 | 4
    EXPECT_EQ(get_bits(d, 8), 0xA5u);
}

// ---- scan walk --------------------------------------------------------------

namespace {
struct Visit {
    int c, x, y;
    bool operator==(const Visit& o) const { return c == o.c && x == o.x && y == o.y; }
};
std::ostream& operator<<(std::ostream& os, const Visit& v) {
    return os << "(" << v.c << ":" << v.x << "," << v.y << ")";
}
std::vector<Visit>* visits = nullptr;
void record(JpegDecoder&, int c, int x, int y) { visits->push_back({c, x, y}); }

struct Walk : Harness {
    std::vector<Visit> seen;
    Walk(int width, int height, std::vector<int> scan) {
        JpegDecoder& d = dec();
        d.image_width = width;
        d.image_height = height;
        d.frame_component_count = 3;
        d.comp_h_factor[0] = d.comp_v_factor[0] = 2;
        for (int c = 1; c < 3; ++c) d.comp_h_factor[c] = d.comp_v_factor[c] = 1;
        d.is_progressive = 1;
        EXPECT_EQ(stage(d, [&] { start_frame(d); }), 0);
        d.scan_component_count = static_cast<int32_t>(scan.size());
        for (size_t i = 0; i < scan.size(); ++i) d.scan_components[i] = scan[i];
        compute_scan_geometry(d);
        visits = &seen;
        EXPECT_EQ(stage(d, [&] { decode_progressive_scan(d, record); }), 0);
        visits = nullptr;
    }
};
}  // namespace

TEST(ScanWalk, InterleavedDcScanOfH2V2) {
    Walk w(32, 32, {0, 1, 2});
    std::vector<Visit> expect;
    for (int n = 0; n < 2; ++n)
        for (int m = 0; m < 2; ++m) {
            expect.push_back({0, 2 * m, 2 * n});
            expect.push_back({0, 2 * m + 1, 2 * n});
            expect.push_back({0, 2 * m, 2 * n + 1});
            expect.push_back({0, 2 * m + 1, 2 * n + 1});
            expect.push_back({1, m, n});
            expect.push_back({2, m, n});
        }
    EXPECT_EQ(w.seen, expect);
}

TEST(ScanWalk, SingleComponentLumaScanCoversItsOwnBlocks) {
    Walk w(24, 24, {0});
    std::vector<Visit> expect;
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x) expect.push_back({0, x, y});
    EXPECT_EQ(w.seen, expect);
}

TEST(ScanWalk, SingleComponentChromaScan) {
    Walk w(40, 24, {2});
    std::vector<Visit> expect;
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 3; ++x) expect.push_back({2, x, y});
    EXPECT_EQ(w.seen, expect);
}

TEST(ScanWalk, InterleavedDcValuesLandInTheirBlocks) {
    // Each visit of a component adds 1 to its DC: the stored value is the
    // visit number of that block.
    BitWriter w;
    for (int i = 0; i < 4 * 6; ++i) w.dc(dc_codes(), 1);
    Prog pr(32, 32, ycc(2, 2));
    pr.scan({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}}, 0, 0, 0, 0, w.bytes());
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    const CoeffBuffer& luma = *d.dc_coeff_buffers[0];
    EXPECT_EQ(luma.blocks_wide, 4);
    EXPECT_EQ(luma.blocks_high, 4);
    const int order[4][4] = {{1, 2, 5, 6}, {3, 4, 7, 8}, {9, 10, 13, 14}, {11, 12, 15, 16}};
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(luma.coeffs[4 * y + x], order[y][x]) << x << "," << y;
    for (int c = 1; c < 3; ++c) {
        EXPECT_EQ(d.dc_coeff_buffers[c]->blocks_wide, 2);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(d.dc_coeff_buffers[c]->coeffs[i], i + 1);
    }
}

TEST(ScanWalk, RestartMarkersBetweenMcus) {
    BitWriter w;
    w.dc(dc_codes(), 3);
    w.marker(0xD0);
    w.dc(dc_codes(), 3);
    w.marker(0xD1);
    w.dc(dc_codes(), 5);
    Prog pr(24, 8, grey());
    pr.s.dri(1);
    pr.scan({{1, 0, 0}}, 0, 0, 0, 0, w.bytes());
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    const int16_t* dc = h.dec().dc_coeff_buffers[0]->coeffs;
    EXPECT_EQ(dc[0], 3);
    EXPECT_EQ(dc[1], 3);
    EXPECT_EQ(dc[2], 5);
}

TEST(ScanWalk, WrongRestartMarker) {
    BitWriter w;
    w.dc(dc_codes(), 3);
    w.marker(0xD4);
    w.dc(dc_codes(), 3);
    Prog pr(16, 8, grey());
    pr.s.dri(1);
    pr.scan({{1, 0, 0}}, 0, 0, 0, 0, w.bytes());
    Harness h(pr.bytes());
    EXPECT_EQ(h.open_and_begin(), RestartMarker);
}

// ---- scan checks ------------------------------------------------------------

TEST(ScanChecks, SpectralAndApproximation) {
    struct Case {
        int comps, ss, se, ah, al;
        int32_t status;
    };
    for (Case c : {Case{1, 0, 5, 0, 0, SpectralSelection}, Case{3, 1, 5, 0, 0, SpectralSelection},
                   Case{1, 3, 2, 0, 0, SpectralSelection}, Case{1, 1, 64, 0, 0, SpectralSelection},
                   Case{1, 0, 64, 0, 0, SpectralSelection}, Case{1, 0, 0, 2, 0, SuccessiveApprox},
                   Case{1, 1, 63, 3, 1, SuccessiveApprox}, Case{1, 0, 0, 0, 13, 0},
                   Case{1, 1, 63, 0, 13, 0}, Case{1, 1, 63, 2, 1, 0}, Case{3, 0, 0, 0, 0, 0},
                   Case{1, 63, 63, 0, 0, 0}}) {
        std::vector<ScanComponent> scan = {{1, 0, 0}, {2, 1, 1}, {3, 1, 1}};
        scan.resize(static_cast<size_t>(c.comps));
        Prog pr(16, 16, ycc(1, 1));
        pr.scan(scan, c.ss, c.se, c.ah, c.al, Bytes{0x00, 0x00, 0x00});
        Harness h(pr.bytes());
        EXPECT_EQ(h.open_and_begin(), c.status)
            << c.comps << " " << c.ss << "-" << c.se << " " << c.ah << "/" << c.al;
    }
}

TEST(ScanChecks, EveryComponentNeedsItsQuantisationTable) {
    Stream s;
    s.soi().dqt_flat(0, 1).dht(0, 0, dc_def()).sof(0xC2, 16, 16, ycc(1, 1));
    s.sos({{1, 0, 0}}, 0, 0, 0, 0).raw({0x00, 0x00}).eoi();
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), QuantTableMissing);
}

TEST(ScanChecks, DcRefinementNeedsItsDcTable) {
    Stream s;
    s.soi().dqt_flat(0, 1).sof(0xC2, 8, 8, grey());
    s.sos({{1, 0, 0}}, 0, 0, 1, 0).raw({0x00}).eoi();
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), HuffTableMissing);
}

TEST(ScanChecks, AcScanNeedsNoDcTable) {
    Stream s;
    s.soi().dqt_flat(0, 1).dht(1, 0, prog_ac_def()).sof(0xC2, 8, 8, grey());
    s.sos({{1, 0, 0}}, 1, 63, 0, 0).raw({0x00}).eoi();
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), 0);
}

// ---- coefficient grids ------------------------------------------------------

TEST(CoeffBuffers, AddressingAndLimits) {
    Harness h;
    JpegDecoder& d = h.dec();
    CoeffBuffer* ac = nullptr;
    CoeffBuffer* dc = nullptr;
    ASSERT_EQ(stage(d, [&] {
                  ac = coeff_buffer_create(d, 2, 3, 8, 8);
                  dc = coeff_buffer_create(d, 2, 3, 1, 1);
              }),
              0);
    EXPECT_EQ(ac->blocks_wide, 2);
    EXPECT_EQ(ac->blocks_high, 3);
    EXPECT_EQ(ac->block_cols, 8);
    EXPECT_EQ(ac->block_rows, 8);
    EXPECT_EQ(ac->block_bytes, 128);
    EXPECT_EQ(dc->block_bytes, 2);
    for (int i = 0; i < 6 * 64; ++i) ASSERT_EQ(ac->coeffs[i], 0);
    for (int i = 0; i < 6; ++i) ASSERT_EQ(dc->coeffs[i], 0);
    int16_t* p = nullptr;
    ASSERT_EQ(stage(d, [&] { p = coeff_block_at(d, *ac, 1, 2); }), 0);
    EXPECT_EQ(p, ac->coeffs + 5 * 64);
    p[63] = 9;
    ASSERT_EQ(stage(d, [&] { p = coeff_block_at(d, *dc, 1, 1); }), 0);
    EXPECT_EQ(p, dc->coeffs + 3);
    EXPECT_EQ(stage(d, [&] { coeff_block_at(d, *ac, 2, 0); }), BufferLimit);
}

TEST(CoeffBuffers, RowOutsideTheGrid) {
    Harness h;
    JpegDecoder& d = h.dec();
    CoeffBuffer* ac = nullptr;
    ASSERT_EQ(stage(d, [&] { ac = coeff_buffer_create(d, 2, 3, 8, 8); }), 0);
    EXPECT_EQ(stage(d, [&] { coeff_block_at(d, *ac, 0, 3); }), BufferLimit);
}

TEST(CoeffBuffers, GridsCoverWholeMcus) {
    BitWriter w;
    for (int i = 0; i < 6 * 2; ++i) w.dc(dc_codes(), 0);
    Prog pr(20, 9, ycc(2, 2));
    pr.scan({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}}, 0, 0, 0, 0, w.bytes());
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.dc_coeff_buffers[0]->blocks_wide, 4);
    EXPECT_EQ(d.dc_coeff_buffers[0]->blocks_high, 2);
    EXPECT_EQ(d.ac_coeff_buffers[0]->blocks_wide, 4);
    EXPECT_EQ(d.ac_coeff_buffers[0]->block_bytes, 128);
    EXPECT_EQ(d.dc_coeff_buffers[1]->blocks_wide, 2);
    EXPECT_EQ(d.dc_coeff_buffers[2]->blocks_high, 1);
    // The row pass sees all components interleaved.
    EXPECT_EQ(d.scan_component_count, 3);
    EXPECT_EQ(d.blocks_per_mcu, 6);
    EXPECT_EQ(d.mcus_across, 2);
}

// ---- whole frames -----------------------------------------------------------

TEST(ProgressiveFrame, GreyDeclaring2x2Factors) {
    BitWriter w;
    int last = 0;
    for (int by = 0; by < 2; ++by)
        for (int bx = 0; bx < 2; ++bx) {
            int v = 8 * (10 * by + 3 * bx + 1);
            w.dc(dc_codes(), v - last);
            last = v;
        }
    Prog pr(16, 16, grey(2, 2));
    pr.scan({{1, 0, 0}}, 0, 0, 0, 0, w.bytes());
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.dc_coeff_buffers[0]->blocks_wide, 4);
    EXPECT_EQ(d.dc_coeff_buffers[0]->blocks_high, 4);
    EXPECT_EQ(d.blocks_per_mcu, 1);
    RowsResult rows = read_rows(d);
    ASSERT_EQ(rows.last, 1);
    ASSERT_EQ(rows.rows.size(), 16u);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            ASSERT_EQ(rows.rows[y][x], flat_sample(8 * (10 * (y / 8) + 3 * (x / 8) + 1))) << x << "," << y;
}

TEST(ProgressiveFrame, RowPassDequantisesInZigzagOrder) {
    std::array<int, 64> q{};
    for (int k = 0; k < 64; ++k) q[k] = k + 1;
    BitWriter dc;
    dc.dc(dc_codes(), 4);
    BitWriter ac;
    ac.ac(ac_codes(), 0, 3);   // 1
    ac.ac(ac_codes(), 3, -2);  // 5
    ac.symbol(ac_codes(), 0x00);
    Prog pr(8, 8, grey(), 1, &q);
    pr.scan({{1, 0, 0}}, 0, 0, 0, 0, dc.bytes()).scan({{1, 0, 0}}, 1, 63, 0, 0, ac.bytes());
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.ac_coeff_buffers[0]->coeffs[zigzag[1]], 3);
    EXPECT_EQ(d.ac_coeff_buffers[0]->coeffs[zigzag[5]], -2);
    const uint8_t* row = nullptr;
    int32_t bytes = 0;
    ASSERT_EQ(decode_row(d, &row, &bytes), 0);
    for (int i = 0; i < 64; ++i) {
        int expect = i == 0 ? 4 : i == zigzag[1] ? 6 : i == zigzag[5] ? -12 : 0;
        EXPECT_EQ(d.row_blocks[0][i], expect) << i;
    }
    // The grids keep the coded values.
    EXPECT_EQ(d.ac_coeff_buffers[0]->coeffs[zigzag[1]], 3);
    EXPECT_EQ(d.dc_coeff_buffers[0]->coeffs[0], 4);
}

TEST(ProgressiveFrame, SuccessiveApproximationOfAc) {
    BitWriter dc;
    dc.dc(dc_codes(), 0);
    BitWriter first;
    first.ac(ac_codes(), 0, 3);  // position 1, shifted: 6
    first.symbol(ac_codes(), 0x00);
    BitWriter refine;
    refine.symbol(ac_codes(), 0x11);  // one zero to pass, then a new value
    refine.put_bits("1");             // positive
    refine.put_bits("1");             // position 1 gains 1
    refine.symbol(ac_codes(), 0x00);
    Prog pr(8, 8, grey());
    pr.scan({{1, 0, 0}}, 0, 0, 0, 0, dc.bytes())
        .scan({{1, 0, 0}}, 1, 63, 0, 1, first.bytes())
        .scan({{1, 0, 0}}, 1, 63, 1, 0, refine.bytes());
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    const int16_t* a = h.dec().ac_coeff_buffers[0]->coeffs;
    EXPECT_EQ(a[zigzag[1]], 7);
    EXPECT_EQ(a[zigzag[2]], 0);
    EXPECT_EQ(a[zigzag[3]], 1);
    for (int k = 4; k < 64; ++k) EXPECT_EQ(a[zigzag[k]], 0) << k;
}

TEST(ProgressiveFrame, EndOfImageBeforeAllBands) {
    BitWriter w;
    w.dc(dc_codes(), 16);
    w.dc(dc_codes(), 0);
    w.dc(dc_codes(), 0);
    Prog pr(8, 8, ycc(1, 1));
    pr.scan({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}}, 0, 0, 0, 0, w.bytes());
    for (bool eoi : {true, false}) {
        Prog copy = pr;
        Harness h(copy.bytes(eoi));
        ASSERT_EQ(h.open_and_begin(), 0) << eoi;
        RowsResult rows = read_rows(h.dec());
        ASSERT_EQ(rows.last, 1);
        ASSERT_EQ(rows.rows.size(), 8u);
        int y = flat_sample(16);
        for (const Bytes& row : rows.rows)
            for (int x = 0; x < 8; ++x) {
                EXPECT_EQ(row[4 * x], y);
                EXPECT_EQ(row[4 * x + 1], y);
                EXPECT_EQ(row[4 * x + 2], y);
            }
    }
}

TEST(ProgressiveFrame, ColourPictureWithSeparateScans) {
    // DC of all components interleaved, then one AC band per component.
    BitWriter dc;
    for (int m = 0; m < 4; ++m) {
        for (int i = 0; i < 4; ++i) dc.dc(dc_codes(), m == 0 && i == 0 ? 8 * 20 : 0);
        dc.dc(dc_codes(), m == 0 ? -8 * 30 : 0);
        dc.dc(dc_codes(), m == 0 ? 8 * 40 : 0);
    }
    Prog pr(32, 32, ycc(2, 2));
    pr.scan({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}}, 0, 0, 0, 0, dc.bytes());
    for (int c = 1; c <= 3; ++c) {
        BitWriter ac;
        ac.symbol(ac_codes(), 0xE0);  // run of 2^14 + bits: covers every block
        ac.put(0, 14);
        pr.scan({{c, c == 1 ? 0 : 1, c == 1 ? 0 : 1}}, 1, 63, 0, 0, ac.bytes());
    }
    Harness h(pr.bytes());
    ASSERT_EQ(h.open_and_begin(), 0);
    RowsResult rows = read_rows(h.dec());
    ASSERT_EQ(rows.last, 1);
    ASSERT_EQ(rows.rows.size(), 32u);
    Bytes px = {rows.rows[31][4 * 31], rows.rows[31][4 * 31 + 1], rows.rows[31][4 * 31 + 2]};
    int y = flat_sample(160), cb = flat_sample(-240), cr = flat_sample(320);
    int64_t xr = cr - 128, xb = cb - 128;
    auto clamp = [](int64_t v) { return static_cast<int>(v < 0 ? 0 : v > 255 ? 255 : v); };
    EXPECT_EQ(px[0], clamp(y + ((91882 * xr + 32768) >> 16)));
    EXPECT_EQ(px[1], clamp(y + (((-22554 * xb + 32768) + (-46802 * xr)) >> 16)));
    EXPECT_EQ(px[2], clamp(y + ((116130 * xb + 32768) >> 16)));
}

TEST(ProgressiveFrame, DcSizeAbove15IsRefused) {
    std::vector<uint8_t> sizes;
    for (int i = 0; i <= 16; ++i) sizes.push_back(static_cast<uint8_t>(i));
    HuffDef wide = uniform_def(sizes);
    HuffCodes codes(wide);
    BitWriter w;
    w.symbol(codes, 16);
    w.put(0x1234, 16);
    Stream s;
    s.soi().dqt_flat(0, 1).dht(0, 0, wide).sof(0xC2, 8, 8, grey());
    s.sos({{1, 0, 0}}, 0, 0, 0, 0).raw(w.bytes()).eoi();
    Harness h(s.bytes);
    EXPECT_EQ(h.open_and_begin(), DecodeError);
}

TEST(ProgressiveFrame, TableRedefinedBetweenScansTakesEffectAtTheNextScan) {
    // The second DC scan refines nothing but uses a redefined AC slot: the
    // first AC band is coded with one table, the second with another.
    HuffDef first_table = uniform_def({0x00, 0x01, 0x02});
    std::vector<uint8_t> reversed = {0x02, 0x01, 0x00};
    HuffDef second_table = uniform_def(reversed);
    HuffCodes c1(first_table), c2(second_table);
    BitWriter dc;
    dc.dc(dc_codes(), 0);
    BitWriter band1;
    band1.ac(c1, 0, 1);  // position 1: +1
    band1.symbol(c1, 0x00);
    BitWriter band2;
    band2.ac(c2, 0, -2);  // position 5: -2
    band2.symbol(c2, 0x00);
    Stream s;
    s.soi().dqt_flat(0, 1).dht(0, 0, dc_def()).dht(1, 0, first_table).sof(0xC2, 8, 8, grey());
    s.sos({{1, 0, 0}}, 0, 0, 0, 0).raw(dc.bytes());
    s.sos({{1, 0, 0}}, 1, 4, 0, 0).raw(band1.bytes());
    s.dht(1, 0, second_table);
    s.sos({{1, 0, 0}}, 5, 63, 0, 0).raw(band2.bytes()).eoi();
    Harness h(s.bytes);
    ASSERT_EQ(h.open_and_begin(), 0);
    const int16_t* a = h.dec().ac_coeff_buffers[0]->coeffs;
    EXPECT_EQ(a[zigzag[1]], 1);
    EXPECT_EQ(a[zigzag[5]], -2);
}

// The marker parser: SOI search, segment walk, table and header readers,
// scan search, restart markers and the markers after the image.
#include "test_util.h"

#include <gtest/gtest.h>

using namespace jt;

namespace {

// A decoder whose header reader stands at the first byte of `body`.
struct Parser : Harness {
    explicit Parser(const Bytes& body) : Harness(body) { EXPECT_EQ(init(), 0); }
    template <class F>
    int32_t run(F&& f) {
        return stage(dec(), std::forward<F>(f));
    }
};

// Bytes after the marker: the segment from its length field on.
Bytes after_marker(const Stream& s) { return Bytes(s.bytes.begin() + 2, s.bytes.end()); }

Bytes with_tail(Bytes b, std::initializer_list<int> tail) {
    for (int v : tail) b.push_back(static_cast<uint8_t>(v));
    return b;
}

HuffDef example_def() {
    HuffDef def;
    def.counts = {0, 1, 5, 1, 1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0};
    for (int i = 0; i < 12; ++i) def.symbols.push_back(static_cast<uint8_t>(i));
    return def;
}

Bytes full_header_after(const Bytes& leading) {
    Stream s;
    s.raw(leading).soi().dqt_flat(0, 1).sof(0xC0, 16, 8, grey()).eoi();
    return s.bytes;
}

}  // namespace

// ---- start of image ---------------------------------------------------------

TEST(FindSoi, AtTheStartAnythingMayFollow) {
    Parser p(Bytes{0xFF, 0xD8, 0x00, 0x11, 0x22, 0x33});
    EXPECT_EQ(p.run([&] { find_soi(p.dec()); }), 0);
    EXPECT_EQ(get_bits_raw(p.dec(), 8), 0x00u);
    EXPECT_EQ(get_bits_raw(p.dec(), 8), 0x11u);
}

TEST(FindSoi, LeadingBytesAcceptedWhenFFFollows) {
    Stream s;
    s.fill(511, 0x00).raw({0xFF, 0xD8, 0xFF, 0xE0});
    Parser p(s.bytes);
    EXPECT_EQ(p.run([&] { find_soi(p.dec()); }), 0);
    // The 0xFF after SOI is looked at, not consumed.
    EXPECT_EQ(get_bits_raw(p.dec(), 16), 0xFFE0u);
}

TEST(FindSoi, LeadingBytesWithoutFFAfterSoiRefused) {
    Parser p(Bytes{0x00, 0x00, 0x00, 0xFF, 0xD8, 0x00, 0xFF, 0xD9});
    EXPECT_EQ(p.run([&] { find_soi(p.dec()); }), NotJpeg);
}

TEST(FindSoi, SoiEndingAfterByte513Refused) {
    Stream s;
    s.fill(512, 0x00).raw({0xFF, 0xD8, 0xFF, 0xE0});
    Parser p(s.bytes);
    EXPECT_EQ(p.run([&] { find_soi(p.dec()); }), NotJpeg);
}

TEST(FindSoi, RepeatedFFBeforeD8) {
    Parser p(Bytes{0xFF, 0xFF, 0xD8, 0xFF, 0xD9});
    EXPECT_EQ(p.run([&] { find_soi(p.dec()); }), 0);
}

TEST(FindSoi, EmptyStreamIsNotJpeg) {
    Parser p(Bytes{});
    EXPECT_EQ(p.run([&] { find_soi(p.dec()); }), NotJpeg);
}

TEST(Construction, LeadingBytesAndHeader) {
    Harness ok(full_header_after(Bytes(511, 0x20)));
    EXPECT_EQ(ok.open(), 0);
    EXPECT_EQ(ok.dec().image_width, 16);
    Harness late(full_header_after(Bytes(512, 0x20)));
    EXPECT_EQ(late.open(), NotJpeg);
    EXPECT_EQ(late.src->detaches, 1);
}

// ---- marker walk ------------------------------------------------------------

TEST(NextMarker, SkipsDataStuffedZerosAndFillBytes) {
    Parser p(Bytes{0x12, 0xFF, 0x00, 0x34, 0xFF, 0xFF, 0xFF, 0xC4, 0x99});
    int32_t code = 0;
    EXPECT_EQ(p.run([&] { code = next_marker(p.dec()); }), 0);
    EXPECT_EQ(code, 0xC4);
}

TEST(ProcessMarkers, SkipsMiscellaneousSegmentsAndJunk) {
    Stream s;
    s.app(0, 0).app(15, 14).com({'h', 'i'}).raw({0x00, 0x17, 0xFF, 0x00, 0x42});
    s.segment(0x02, {1, 2, 3}).segment(0xDC, {0, 8}).segment(0xDE, {}).segment(0xF0, {9});
    s.marker(0xC0).raw({0x00, 0x0B});
    Parser p(s.bytes);
    int32_t code = 0;
    EXPECT_EQ(p.run([&] { code = process_markers(p.dec()); }), 0);
    EXPECT_EQ(code, 0xC0);
    EXPECT_EQ(get_bits_raw(p.dec(), 16), 0x000Bu);
}

TEST(ProcessMarkers, ReturnsFrameSoiEoiAndSos) {
    for (int code : {0xC0, 0xC1, 0xC2, 0xC3, 0xC5, 0xC6, 0xC7, 0xC9, 0xCA, 0xCB, 0xCD, 0xCE, 0xCF,
                     0xD8, 0xD9, 0xDA}) {
        Parser p(Bytes{0xFF, static_cast<uint8_t>(code), 0x00, 0x00});
        int32_t got = 0;
        EXPECT_EQ(p.run([&] { got = process_markers(p.dec()); }), 0) << code;
        EXPECT_EQ(got, code);
    }
}

TEST(ProcessMarkers, RefusedMarkers) {
    struct Case {
        int code;
        int32_t status;
    };
    for (Case c : {Case{0x01, UnexpectedMarker}, Case{0xC8, UnexpectedMarker},
                   Case{0xCC, ArithmeticNotSupported}, Case{0xD0, UnexpectedMarker},
                   Case{0xD3, UnexpectedMarker}, Case{0xD7, UnexpectedMarker}}) {
        Parser p(Bytes{0xFF, static_cast<uint8_t>(c.code), 0x00, 0x04, 0x00, 0x00});
        EXPECT_EQ(p.run([&] { process_markers(p.dec()); }), c.status) << c.code;
    }
}

TEST(ProcessMarkers, RestartMarkerBetweenSegments) {
    Stream s;
    s.dqt_flat(0, 1).marker(0xD5).sof(0xC0, 8, 8, grey());
    Parser p(s.bytes);
    EXPECT_EQ(p.run([&] { process_markers(p.dec()); }), UnexpectedMarker);
}

TEST(ProcessMarkers, DacAnywhere) {
    Stream s;
    s.soi().dqt_flat(0, 1).segment(0xCC, {0x00, 0x11}).sof(0xC0, 8, 8, grey());
    Harness h(s.bytes);
    EXPECT_EQ(h.open(), ArithmeticNotSupported);
}

TEST(ProcessMarkers, ShortSkippedSegment) {
    for (int len : {0, 1}) {
        Parser p(Bytes{0xFF, 0xE1, 0x00, static_cast<uint8_t>(len), 0xFF, 0xD9});
        EXPECT_EQ(p.run([&] { process_markers(p.dec()); }), MarkerLength) << len;
    }
}

TEST(ProcessMarkers, EndOfDataGivesEoi) {
    Stream s;
    s.app(1, 3);
    Parser p(s.bytes);
    int32_t code = 0;
    EXPECT_EQ(p.run([&] { code = process_markers(p.dec()); }), 0);
    EXPECT_EQ(code, 0xD9);
}

// ---- Huffman segments -------------------------------------------------------

TEST(ReadDht, FourTablesInOneSegment) {
    HuffDef a = example_def();
    HuffDef b = uniform_def({0x00, 0x11, 0x22});
    Bytes payload;
    for (Bytes t : {Stream::dht_table(0, 0, a), Stream::dht_table(1, 0, b),
                    Stream::dht_table(0, 3, b), Stream::dht_table(1, 3, a)})
        payload.insert(payload.end(), t.begin(), t.end());
    Stream s;
    s.segment(0xC4, payload);
    Parser p(with_tail(after_marker(s), {0xFF, 0xD9}));
    ASSERT_EQ(p.run([&] { read_dht(p.dec()); }), 0);
    JpegDecoder& d = p.dec();
    struct Slot {
        int slot;
        const HuffDef* def;
    };
    for (Slot sl : {Slot{0, &a}, Slot{4, &b}, Slot{3, &b}, Slot{7, &a}}) {
        ASSERT_NE(d.huff_bits[sl.slot], nullptr) << sl.slot;
        ASSERT_NE(d.huff_values[sl.slot], nullptr) << sl.slot;
        EXPECT_EQ(d.huff_bits[sl.slot][0], 0);
        for (int i = 0; i < 16; ++i) EXPECT_EQ(d.huff_bits[sl.slot][i + 1], sl.def->counts[i]);
        for (size_t i = 0; i < sl.def->symbols.size(); ++i)
            EXPECT_EQ(d.huff_values[sl.slot][i], sl.def->symbols[i]);
    }
    for (int slot : {1, 2, 5, 6}) EXPECT_EQ(d.huff_bits[slot], nullptr);
    // The segment was used up exactly: the next thing is the EOI marker.
    EXPECT_EQ(get_bits_raw(d, 16), 0xFFD9u);
}

TEST(ReadDht, EmptySegmentAccepted) {
    Parser p(Bytes{0x00, 0x02, 0xFF, 0xD9});
    EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), 0);
    EXPECT_EQ(get_bits_raw(p.dec(), 16), 0xFFD9u);
}

TEST(ReadDht, LengthBelowTwo) {
    for (int len : {0, 1}) {
        Parser p(Bytes{0x00, static_cast<uint8_t>(len), 0x00, 0xFF, 0xD9});
        EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), HuffSegmentLength) << len;
    }
}

TEST(ReadDht, CountsAbove255BeforeSymbolsAreRead) {
    // Counts total 256, the length is too short and the slot is bad too:
    // the count total is tested first, before any symbol is read.
    Bytes seg{0x00, 0x15, 0x14};
    for (int i = 0; i < 16; ++i) seg.push_back(i == 7 ? 0xFF : i == 8 ? 1 : 0);
    Bytes body = seg;
    body.resize(body.size() + 600, 0x00);
    Parser p(body);
    EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), HuffCountsTooLarge);
    // Reading 256 symbols would have taken the reader far past the counts.
    size_t read_so_far = p.src->consumed() - static_cast<size_t>(p.dec().in_count);
    EXPECT_LE(read_so_far, seg.size() + 4);
}

TEST(ReadDht, LengthTestedBeforeSlot) {
    HuffDef def = uniform_def({1, 2, 3});
    Bytes table = Stream::dht_table(1, 4, def);  // slot 8: invalid
    Bytes seg{0x00, static_cast<uint8_t>(2 + table.size() - 1)};
    seg.insert(seg.end(), table.begin(), table.end());
    Parser p(with_tail(seg, {0xFF, 0xD9}));
    EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), HuffSegmentLength);
}

TEST(ReadDht, SlotEightOrMore) {
    Stream s;
    s.dht(1, 4, uniform_def({1, 2, 3}));
    Parser p(with_tail(after_marker(s), {0xFF, 0xD9}));
    EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), HuffIndexInvalid);
}

TEST(ReadDht, DcTableNumberFourTakesAcSlotZero) {
    Stream s;
    s.dht(0, 4, uniform_def({1, 2, 3}));
    Parser p(with_tail(after_marker(s), {0xFF, 0xD9}));
    EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), 0);
    ASSERT_NE(p.dec().huff_bits[4], nullptr);
    EXPECT_EQ(p.dec().huff_bits[4][2], 3);
    EXPECT_EQ(p.dec().huff_values[4][2], 3);
}

TEST(ReadDht, LeftoverLengthMustHoldWholeTables) {
    HuffDef def = uniform_def({1, 2, 3});
    Bytes table = Stream::dht_table(0, 0, def);
    Bytes seg{0x00, static_cast<uint8_t>(2 + table.size() + 3)};
    seg.insert(seg.end(), table.begin(), table.end());
    seg.insert(seg.end(), 30, 0x00);
    Parser p(seg);
    EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), HuffSegmentLength);
}

TEST(ReadDht, OverSubscribedCountsRefusedAfterSlotCheck) {
    HuffDef bad;
    bad.counts[0] = 3;  // three 1-bit codes cannot exist
    bad.symbols = {1, 2, 3};
    {
        Stream s;
        s.dht(0, 1, bad);
        Parser p(with_tail(after_marker(s), {0xFF, 0xD9}));
        EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), HuffTableInvalid);
    }
    {
        Stream s;
        s.dht(1, 5, bad);
        Parser p(with_tail(after_marker(s), {0xFF, 0xD9}));
        EXPECT_EQ(p.run([&] { read_dht(p.dec()); }), HuffIndexInvalid);
    }
}

TEST(ReadDht, RedefinitionReusesTheArrays) {
    Stream s;
    s.dht(1, 2, uniform_def({1, 2, 3})).dht(1, 2, uniform_def({7}));
    Parser p(with_tail(Bytes(s.bytes.begin() + 2, s.bytes.end()), {0xFF, 0xD9}));
    JpegDecoder& d = p.dec();
    ASSERT_EQ(p.run([&] { read_dht(d); }), 0);
    uint8_t* bits = d.huff_bits[6];
    uint8_t* values = d.huff_values[6];
    ASSERT_NE(bits, nullptr);
    EXPECT_EQ(get_bits_raw(d, 16), 0xFFC4u);
    ASSERT_EQ(p.run([&] { read_dht(d); }), 0);
    EXPECT_EQ(d.huff_bits[6], bits);
    EXPECT_EQ(d.huff_values[6], values);
    EXPECT_EQ(bits[1], 1);
    EXPECT_EQ(bits[2], 0);
    EXPECT_EQ(values[0], 7);
}

// ---- quantisation segments --------------------------------------------------

TEST(ReadDqt, EightAndSixteenBitTablesInOneSegment) {
    std::array<int, 64> a{}, b{};
    for (int i = 0; i < 64; ++i) {
        a[i] = i + 1;
        b[i] = i == 0 ? 0xFFFF : i == 1 ? 0x1234 : 300 + i;
    }
    Bytes payload = Stream::dqt_table(2, a);
    Bytes t2 = Stream::dqt_table(0, b, 1);
    payload.insert(payload.end(), t2.begin(), t2.end());
    Stream s;
    s.segment(0xDB, payload);
    Parser p(with_tail(after_marker(s), {0xFF, 0xD9}));
    JpegDecoder& d = p.dec();
    ASSERT_EQ(p.run([&] { read_dqt(d); }), 0);
    ASSERT_NE(d.quant_tables[2], nullptr);
    ASSERT_NE(d.quant_tables[0], nullptr);
    EXPECT_EQ(d.quant_tables[1], nullptr);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(d.quant_tables[2][i], a[i]) << i;
    EXPECT_EQ(d.quant_tables[0][0], -1);
    EXPECT_EQ(d.quant_tables[0][1], 0x1234);
    for (int i = 2; i < 64; ++i) EXPECT_EQ(d.quant_tables[0][i], 300 + i) << i;
    EXPECT_EQ(get_bits_raw(d, 16), 0xFFD9u);
}

TEST(ReadDqt, AnyNonZeroPrecisionMeansSixteenBits) {
    Bytes seg{0x00, 2 + 129, 0x31};
    for (int i = 0; i < 64; ++i) {
        seg.push_back(0x01);
        seg.push_back(static_cast<uint8_t>(i));
    }
    Parser p(with_tail(seg, {0xFF, 0xD9}));
    ASSERT_EQ(p.run([&] { read_dqt(p.dec()); }), 0);
    for (int i = 0; i < 64; ++i) EXPECT_EQ(p.dec().quant_tables[1][i], 256 + i);
}

TEST(ReadDqt, Failures) {
    {
        Parser p(Bytes{0x00, 0x01, 0x00});
        EXPECT_EQ(p.run([&] { read_dqt(p.dec()); }), QuantSegmentLength);
    }
    {
        Parser p(Bytes{0x00, 0x02, 0xFF, 0xD9});
        EXPECT_EQ(p.run([&] { read_dqt(p.dec()); }), 0);
    }
    {
        Stream s;
        s.dqt_flat(4, 1);
        Parser p(after_marker(s));
        EXPECT_EQ(p.run([&] { read_dqt(p.dec()); }), QuantIndexInvalid);
    }
    {
        // One byte short of its last table.
        Bytes t = Stream::dqt_table(1, Stream::flat(3));
        Bytes seg{0x00, static_cast<uint8_t>(2 + 65 - 1)};
        seg.insert(seg.end(), t.begin(), t.end());
        Parser p(with_tail(seg, {0xFF, 0xD9}));
        EXPECT_EQ(p.run([&] { read_dqt(p.dec()); }), QuantSegmentShort);
    }
}

// ---- frame header -----------------------------------------------------------

namespace {
Bytes sof_body(int precision, int height, int width, int count, int length = -1) {
    Bytes b;
    if (length < 0) length = 8 + 3 * count;
    b = {static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length & 0xFF),
         static_cast<uint8_t>(precision), static_cast<uint8_t>(height >> 8),
         static_cast<uint8_t>(height & 0xFF), static_cast<uint8_t>(width >> 8),
         static_cast<uint8_t>(width & 0xFF), static_cast<uint8_t>(count)};
    for (int i = 0; i < count; ++i) {
        b.push_back(static_cast<uint8_t>(10 + i));
        b.push_back(static_cast<uint8_t>((i + 1) << 4 | (4 - i)));
        b.push_back(static_cast<uint8_t>(i));
    }
    b.push_back(0xFF);
    b.push_back(0xD9);
    return b;
}
int32_t sof_status(const Bytes& body) {
    Parser p(body);
    return p.run([&] { read_sof(p.dec()); });
}
}  // namespace

TEST(ReadSof, FieldsStored) {
    Parser p(sof_body(8, 8192, 8192, 4));
    JpegDecoder& d = p.dec();
    ASSERT_EQ(p.run([&] { read_sof(d); }), 0);
    EXPECT_EQ(d.image_height, 8192);
    EXPECT_EQ(d.image_width, 8192);
    EXPECT_EQ(d.frame_component_count, 4);
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(d.comp_id[i], 10 + i);
        EXPECT_EQ(d.comp_h_factor[i], i + 1);
        EXPECT_EQ(d.comp_v_factor[i], 4 - i);
        EXPECT_EQ(d.comp_quant_index[i], i);
    }
    EXPECT_EQ(get_bits_raw(d, 16), 0xFFD9u);
}

TEST(ReadSof, EachFieldTestedAsRead) {
    EXPECT_EQ(sof_status(sof_body(12, 8, 8, 1)), PrecisionNot8);
    EXPECT_EQ(sof_status(sof_body(8, 0, 8, 1)), HeightOutOfRange);
    EXPECT_EQ(sof_status(sof_body(8, 8193, 8, 1)), HeightOutOfRange);
    EXPECT_EQ(sof_status(sof_body(8, 8, 0, 1)), WidthOutOfRange);
    EXPECT_EQ(sof_status(sof_body(8, 8, 8193, 1)), WidthOutOfRange);
    EXPECT_EQ(sof_status(sof_body(8, 8, 8, 5)), TooManyComponents);
    EXPECT_EQ(sof_status(sof_body(8, 8, 8, 3, 8 + 3 * 3 + 1)), FrameHeaderLength);
    EXPECT_EQ(sof_status(sof_body(8, 8, 8, 1, 10)), FrameHeaderLength);
}

TEST(ReadSof, TestOrder) {
    // Precision, height, width, count, length: the first bad field wins.
    EXPECT_EQ(sof_status(sof_body(12, 0, 0, 5, 3)), PrecisionNot8);
    EXPECT_EQ(sof_status(sof_body(8, 0, 0, 5, 3)), HeightOutOfRange);
    EXPECT_EQ(sof_status(sof_body(8, 1, 0, 5, 3)), WidthOutOfRange);
    EXPECT_EQ(sof_status(sof_body(8, 1, 1, 5, 3)), TooManyComponents);
    EXPECT_EQ(sof_status(sof_body(8, 1, 1, 4, 3)), FrameHeaderLength);
}

TEST(ReadSof, ZeroComponentsAndOddFactorsPassTheReader) {
    EXPECT_EQ(sof_status(sof_body(8, 8, 8, 0)), 0);
    Bytes b = sof_body(8, 8, 8, 1);
    b[9] = 0x00;  // factors 0 x 0
    EXPECT_EQ(sof_status(b), 0);
}

TEST(FindFrameHeader, FrameTypes) {
    struct Case {
        int code;
        int32_t status;
    };
    for (Case c : {Case{0xC0, 0}, Case{0xC1, 0}, Case{0xC2, 0}, Case{0xC3, UnsupportedFrameType},
                   Case{0xC5, UnsupportedFrameType}, Case{0xC7, UnsupportedFrameType},
                   Case{0xC9, ArithmeticNotSupported}, Case{0xCA, UnsupportedFrameType},
                   Case{0xCB, UnsupportedFrameType}, Case{0xCD, UnsupportedFrameType},
                   Case{0xCF, UnsupportedFrameType}, Case{0xDA, UnsupportedFrameType},
                   Case{0xD9, UnsupportedFrameType}, Case{0xD8, UnsupportedFrameType}}) {
        Stream s;
        s.soi().dqt_flat(0, 1).sof(c.code, 8, 8, grey());
        Harness h(s.bytes);
        EXPECT_EQ(h.open(), c.status) << std::hex << c.code;
        if (c.status == 0) {
            EXPECT_EQ(h.dec().is_progressive, c.code == 0xC2 ? 1 : 0);
        }
    }
}

TEST(FindFrameHeader, TablesBeforeTheFrameAreKept) {
    Stream s;
    s.soi().app(0, 14).dqt_flat(1, 9).dri(7).dht(1, 1, uniform_def({5})).sof(0xC1, 33, 17, grey());
    Harness h(s.bytes);
    ASSERT_EQ(h.open(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.image_width, 33);
    EXPECT_EQ(d.image_height, 17);
    EXPECT_EQ(d.frame_component_count, 1);
    ASSERT_NE(d.quant_tables[1], nullptr);
    EXPECT_EQ(d.quant_tables[1][63], 9);
    EXPECT_EQ(d.restart_interval, 7u);
    ASSERT_NE(d.huff_bits[5], nullptr);
    EXPECT_EQ(d.huff_values[5][0], 5);
}

TEST(FindFrameHeader, EmptyAfterSoi) {
    Harness h(Bytes{0xFF, 0xD8});
    EXPECT_EQ(h.open(), UnsupportedFrameType);
}

// ---- restart interval -------------------------------------------------------

TEST(ReadDri, IntervalAndLength) {
    {
        Parser p(Bytes{0x00, 0x04, 0x01, 0x02, 0xFF, 0xD9});
        ASSERT_EQ(p.run([&] { read_dri(p.dec()); }), 0);
        EXPECT_EQ(p.dec().restart_interval, 0x0102u);
    }
    {
        Parser p(Bytes{0x00, 0x05, 0x01, 0x02, 0x03, 0xFF, 0xD9});
        EXPECT_EQ(p.run([&] { read_dri(p.dec()); }), RestartHeaderLength);
    }
}

// ---- scan header ------------------------------------------------------------

namespace {
// A parser over the scan header `sos` with a three-component frame
// (ids 1, 2, 3) already read.
struct ScanParser : Parser {
    ScanParser(const Bytes& sos, bool progressive = false) : Parser(with_tail(sos, {0xFF, 0xD9})) {
        JpegDecoder& d = dec();
        d.frame_component_count = 3;
        for (int i = 0; i < 3; ++i) {
            d.comp_id[i] = i + 1;
            d.comp_dc_table[i] = 70 + i;
            d.comp_ac_table[i] = 80 + i;
        }
        d.is_progressive = progressive ? 1 : 0;
    }
};
Bytes sos_body(const std::vector<ScanComponent>& comps, int ss, int se, int ah, int al) {
    Stream s;
    s.sos(comps, ss, se, ah, al);
    return after_marker(s);
}
}  // namespace

TEST(ReadSos, FieldsStored) {
    ScanParser p(sos_body({{3, 1, 2}, {1, 0, 3}}, 1, 5, 2, 1), true);
    JpegDecoder& d = p.dec();
    ASSERT_EQ(p.run([&] { read_sos(d); }), 0);
    EXPECT_EQ(d.scan_component_count, 2);
    EXPECT_EQ(d.scan_components[0], 2);
    EXPECT_EQ(d.scan_components[1], 0);
    EXPECT_EQ(d.comp_dc_table[2], 1);
    EXPECT_EQ(d.comp_ac_table[2], 6);
    EXPECT_EQ(d.comp_dc_table[0], 0);
    EXPECT_EQ(d.comp_ac_table[0], 7);
    EXPECT_EQ(d.comp_dc_table[1], 71);  // not in the scan: untouched
    EXPECT_EQ(d.spectral_first, 1);
    EXPECT_EQ(d.spectral_last, 5);
    EXPECT_EQ(d.approx_high, 2);
    EXPECT_EQ(d.approx_low, 1);
    EXPECT_EQ(get_bits_raw(d, 16), 0xFFD9u);
}

TEST(ReadSos, SequentialScanCoversTheWholeBand) {
    ScanParser p(sos_body({{1, 0, 0}}, 5, 10, 0, 0));
    ASSERT_EQ(p.run([&] { read_sos(p.dec()); }), 0);
    EXPECT_EQ(p.dec().spectral_first, 0);
    EXPECT_EQ(p.dec().spectral_last, 63);
}

TEST(ReadSos, HeaderLength) {
    {
        ScanParser p(Bytes{0x00, 0x06, 0x00, 0x00, 0x3F, 0x00});
        EXPECT_EQ(p.run([&] { read_sos(p.dec()); }), ScanHeaderLength);
    }
    {
        Bytes b = sos_body({{1, 0, 0}, {2, 1, 1}, {3, 1, 1}, {1, 0, 0}, {2, 0, 0}}, 0, 63, 0, 0);
        ScanParser p(b);
        EXPECT_EQ(p.run([&] { read_sos(p.dec()); }), ScanHeaderLength);
    }
    {
        Bytes b = sos_body({{1, 0, 0}}, 0, 63, 0, 0);
        b[1] = 9;
        ScanParser p(b);
        EXPECT_EQ(p.run([&] { read_sos(p.dec()); }), ScanHeaderLength);
    }
}

TEST(ReadSos, UnknownComponent) {
    ScanParser p(sos_body({{1, 0, 0}, {9, 1, 1}}, 0, 63, 0, 0));
    EXPECT_EQ(p.run([&] { read_sos(p.dec()); }), ScanComponentUnknown);
}

TEST(ReadSos, RepeatedComponentRefusedBeforeAnyTableIsWritten) {
    ScanParser p(sos_body({{2, 1, 1}, {1, 0, 0}, {2, 1, 1}}, 0, 63, 0, 0));
    JpegDecoder& d = p.dec();
    EXPECT_EQ(p.run([&] { read_sos(d); }), ScanComponentRepeated);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(d.comp_dc_table[i], 70 + i) << i;
        EXPECT_EQ(d.comp_ac_table[i], 80 + i) << i;
    }
}

TEST(FindScanHeader, ScanOrEndOfImage) {
    {
        Stream s;
        s.dht(0, 2, uniform_def({4})).sos({{2, 2, 1}}).raw({0x12, 0x34});
        ScanParser p(s.bytes);
        bool found = false;
        ASSERT_EQ(p.run([&] { found = find_scan_header(p.dec()); }), 0);
        EXPECT_TRUE(found);
        EXPECT_NE(p.dec().huff_bits[2], nullptr);
        EXPECT_EQ(p.dec().scan_components[0], 1);
    }
    {
        Stream s;
        s.dqt_flat(0, 1).eoi();
        ScanParser p(s.bytes);
        bool found = true;
        ASSERT_EQ(p.run([&] { found = find_scan_header(p.dec()); }), 0);
        EXPECT_FALSE(found);
    }
    {
        Stream s;
        s.sof(0xC0, 8, 8, grey());
        ScanParser p(s.bytes);
        EXPECT_EQ(p.run([&] { find_scan_header(p.dec()); }), UnexpectedMarker);
    }
}

// ---- restart markers --------------------------------------------------------

namespace {
struct RestartParser : Parser {
    explicit RestartParser(const Bytes& tail) : Parser(with_filler(tail)) {
        JpegDecoder& d = dec();
        d.frame_component_count = 3;
        d.last_dc[0] = 5;
        d.last_dc[1] = -6;
        d.last_dc[2] = 7;
        d.eob_run = 3;
        d.restart_interval = 7;
        d.restarts_left = 0;
        d.next_restart_number = 2;
    }
    static Bytes with_filler(const Bytes& tail) {
        Bytes b{0x01, 0x02, 0x03, 0x04};
        b.insert(b.end(), tail.begin(), tail.end());
        return b;
    }
};
}  // namespace

TEST(HandleRestart, ConsumesMarkerAndResets) {
    RestartParser p(Bytes{0xFF, 0xFF, 0xFF, 0xD2, 0x12, 0x34, 0x56, 0x78, 0x9A});
    JpegDecoder& d = p.dec();
    ASSERT_EQ(p.run([&] { handle_restart(d); }), 0);
    EXPECT_EQ(d.last_dc[0], 0);
    EXPECT_EQ(d.last_dc[1], 0);
    EXPECT_EQ(d.last_dc[2], 0);
    EXPECT_EQ(d.eob_run, 0);
    EXPECT_EQ(d.restarts_left, 7u);
    EXPECT_EQ(d.next_restart_number, 3);
    EXPECT_EQ(d.bit_buffer, 0x56781234u);
    EXPECT_EQ(d.bit_count, 16);
    EXPECT_EQ(get_bits(d, 16), 0x1234u);
}

TEST(HandleRestart, NumberWrapsAfterSeven) {
    RestartParser p(Bytes{0xFF, 0xD7, 0x00, 0x00, 0x00, 0x00});
    p.dec().next_restart_number = 7;
    ASSERT_EQ(p.run([&] { handle_restart(p.dec()); }), 0);
    EXPECT_EQ(p.dec().next_restart_number, 0);
}

TEST(HandleRestart, WrongNumber) {
    RestartParser p(Bytes{0xFF, 0xD3, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(p.run([&] { handle_restart(p.dec()); }), RestartMarker);
}

TEST(HandleRestart, OtherMarker) {
    RestartParser p(Bytes{0xFF, 0xD9, 0x00, 0x00});
    EXPECT_EQ(p.run([&] { handle_restart(p.dec()); }), RestartMarker);
}

TEST(HandleRestart, EndOfDataIsNoRestartMarker) {
    RestartParser p(Bytes{});
    EXPECT_EQ(p.run([&] { handle_restart(p.dec()); }), RestartMarker);
}

TEST(HandleRestart, SearchLimit) {
    auto status = [](size_t junk, size_t extra_ff) {
        Bytes b(junk, 0x00);
        b.insert(b.end(), extra_ff + 1, 0xFF);
        b.push_back(0xD2);
        b.insert(b.end(), {0x00, 0x00, 0x00, 0x00});
        RestartParser p(b);
        return p.run([&] { handle_restart(p.dec()); });
    };
    EXPECT_EQ(status(1535, 0), 0);
    EXPECT_EQ(status(1536, 0), RestartMarker);
    EXPECT_EQ(status(0, 1535), 0);
    EXPECT_EQ(status(0, 1536), RestartMarker);
    EXPECT_EQ(status(1000, 535), 0);
    EXPECT_EQ(status(1000, 536), RestartMarker);
}

// ---- after the last MCU row -------------------------------------------------

TEST(FinishImage, SequentialReadsTheMarkersAfterTheScan) {
    Stream s;
    s.raw({0x01, 0x02, 0x03, 0x04, 0x05, 0x06});  // look-ahead of the scan
    s.dqt_flat(3, 4).eoi();
    Parser p(s.bytes);
    JpegDecoder& d = p.dec();
    // The scan's bytes are consumed up to the table.
    ASSERT_EQ(get_byte_raw(d), 0x05);
    ASSERT_EQ(get_byte_raw(d), 0x06);
    ASSERT_EQ(p.run([&] { finish_image(d); }), 0);
    ASSERT_NE(d.quant_tables[3], nullptr);
    EXPECT_EQ(d.quant_tables[3][0], 4);
}

TEST(FinishImage, ProgressiveReadsNothing) {
    Stream s;
    s.raw({0x01, 0x02, 0x03, 0x04}).dqt_flat(3, 4).eoi();
    Parser p(s.bytes);
    JpegDecoder& d = p.dec();
    d.is_progressive = 1;
    uint32_t before = d.bit_buffer;
    ASSERT_EQ(p.run([&] { finish_image(d); }), 0);
    EXPECT_EQ(d.bit_buffer, before);
    EXPECT_EQ(d.quant_tables[3], nullptr);
    EXPECT_EQ(get_byte_raw(d), 0xFF);
    EXPECT_EQ(get_byte_raw(d), 0xDB);
}

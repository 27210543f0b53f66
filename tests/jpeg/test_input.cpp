// Input buffering, the byte readers and the two bit readers.
#include "test_util.h"

#include <gtest/gtest.h>

using namespace jt;

namespace {

Bytes filler_then(std::initializer_list<int> tail) {
    Bytes b{0x01, 0x02, 0x03, 0x04};
    for (int v : tail) b.push_back(static_cast<uint8_t>(v));
    return b;
}

Bytes pattern(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; ++i) b[i] = static_cast<uint8_t>((i * 7 + 3) % 251);
    return b;
}

// A minimal stream that constructs without error.
Bytes minimal_header() {
    Stream s;
    s.soi().sof(0xC0, 8, 8, grey());
    return s.bytes;
}

}  // namespace

TEST(HeaderBitReader, WorkedExample) {
    Harness h(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE, 0xF0});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.bit_buffer, 0x56781234u);
    EXPECT_EQ(d.bit_count, 16);

    EXPECT_EQ(get_bits_raw(d, 4), 0x1u);
    EXPECT_EQ(d.bit_buffer, 0x67812345u);
    EXPECT_EQ(d.bit_count, 12);

    EXPECT_EQ(get_bits_raw(d, 12), 0x234u);
    EXPECT_EQ(d.bit_buffer, 0x9ABC5678u);
    EXPECT_EQ(d.bit_count, 16);

    EXPECT_EQ(get_bits_raw(d, 8), 0x56u);
    EXPECT_EQ(d.bit_buffer, 0xBC56789Au);
    EXPECT_EQ(d.bit_count, 8);

    EXPECT_EQ(get_bits_raw(d, 16), 0x789Au);
    EXPECT_EQ(d.bit_buffer, 0xF09ABCDEu);
    EXPECT_EQ(d.bit_count, 8);
}

TEST(HeaderBitReader, PrimingDropsWhateverTheBufferHeld) {
    Harness h(Bytes{0x12, 0x34, 0x56, 0x78, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_bits_raw(d, 3), 0u);  // 0x12 = 000 10010
    d.bit_buffer = 0xDEADBEEF;
    d.bit_count = 16;
    get_bits_raw(d, 16);
    get_bits_raw(d, 16);
    EXPECT_EQ(d.bit_buffer, 0xC3D4A1B2u);
    EXPECT_EQ(d.bit_count, 16);
    EXPECT_EQ(get_byte_raw(d), 0xE5);
}

TEST(HeaderBitReader, SixteenBitsFromAFullWordFetchesTwoBytes) {
    Harness h(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_bits_raw(d, 16), 0x1234u);
    EXPECT_EQ(d.bit_count, 16);
    EXPECT_EQ(d.bit_buffer, 0x9ABC5678u);
    EXPECT_EQ(get_byte_raw(d), 0xDE);
}

TEST(EntropyBitReader, SixteenBitsFromAFullWordFetchesTwoBytes) {
    Harness h(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE});
    ASSERT_EQ(h.init_entropy(), 0);
    JpegDecoder& d = h.dec();
    ASSERT_EQ(d.bit_count, 16);
    EXPECT_EQ(get_bits(d, 16), 0x1234u);
    EXPECT_EQ(d.bit_count, 16);
    EXPECT_EQ(get_bits(d, 16), 0x5678u);
    EXPECT_EQ(get_bits(d, 8), 0x9Au);
    EXPECT_EQ(d.bit_count, 8);
}

TEST(EntropyBitReader, BitsAcrossWordsComeInStreamOrder) {
    // 0x12 0x34 0x56 0x78 0x9A: read as 3, 7, 1, 13, 9, 7 bits.
    Harness h(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0x00, 0x00});
    ASSERT_EQ(h.init_entropy(), 0);
    JpegDecoder& d = h.dec();
    uint64_t all = 0x123456789AULL;
    int taken = 0;
    for (int n : {3, 7, 1, 13, 9, 7}) {
        uint32_t expect = static_cast<uint32_t>((all >> (40 - taken - n)) & ((1u << n) - 1));
        EXPECT_EQ(get_bits(d, n), expect) << "after " << taken << " bits";
        taken += n;
        EXPECT_GE(d.bit_count, 1);
        EXPECT_LE(d.bit_count, 16);
        if (taken <= 24) {
            // The next 16 stream bits always sit in bits 15..0.
            EXPECT_EQ(d.bit_buffer & 0xFFFFu, static_cast<uint32_t>((all >> (24 - taken)) & 0xFFFF));
        }
    }
}

TEST(PushBack, FullWordReturnsFourBytes) {
    Harness h(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    ASSERT_EQ(d.bit_buffer, 0x56781234u);
    ASSERT_EQ(d.bit_count, 16);
    prime_entropy_bits(d);
    // The entropy reader read the same four bytes again.
    EXPECT_EQ(d.bit_buffer, 0x56781234u);
    EXPECT_EQ(d.bit_count, 16);
    EXPECT_EQ(get_byte_raw(d), 0x9A);
    EXPECT_EQ(get_byte_raw(d), 0xBC);
}

TEST(PushBack, HalfWordReturnsThreeBytes) {
    Harness h(Bytes{0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC, 0xDE});
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_bits_raw(d, 8), 0x12u);
    ASSERT_EQ(d.bit_buffer, 0x78123456u);
    ASSERT_EQ(d.bit_count, 8);
    prime_entropy_bits(d);
    // Input began again at 0x34 0x56 0x78.
    EXPECT_EQ(d.bit_buffer, 0x789A3456u);
    EXPECT_EQ(d.bit_count, 16);
    EXPECT_EQ(get_byte_raw(d), 0xBC);
}

TEST(EntropyBytes, StuffedZeroIsDropped) {
    Harness h(filler_then({0xFF, 0x00, 0x12, 0x34}));
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_entropy_byte(d), 0xFF);
    EXPECT_EQ(get_entropy_byte(d), 0x12);
    EXPECT_EQ(get_entropy_byte(d), 0x34);
}

TEST(EntropyBytes, StuffedZeroThroughBitReader) {
    Harness h(Bytes{0xFF, 0x00, 0x12, 0xFF, 0x00, 0x56, 0x78});
    ASSERT_EQ(h.init_entropy(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_bits(d, 16), 0xFF12u);
    EXPECT_EQ(get_bits(d, 16), 0xFF56u);
    EXPECT_EQ(get_bits(d, 8), 0x78u);
}

TEST(EntropyBytes, MarkerIsNeverConsumed) {
    Harness h(filler_then({0xAB, 0xFF, 0xD0, 0x11}));
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_entropy_byte(d), 0xAB);
    for (int i = 0; i < 5; ++i) EXPECT_EQ(get_entropy_byte(d), 0xFF) << i;
    EXPECT_EQ(get_byte_raw(d), 0xFF);
    EXPECT_EQ(get_byte_raw(d), 0xD0);
    EXPECT_EQ(get_byte_raw(d), 0x11);
}

TEST(EntropyBytes, FillBitsInFrontOfAMarker) {
    Harness h(Bytes{0x81, 0xFF, 0xD7, 0x00});
    ASSERT_EQ(h.init_entropy(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_bits(d, 8), 0x81u);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(get_bits(d, 16), 0xFFFFu) << i;
}

TEST(EntropyBytes, EndOfDataGivesFFAndD9AsData) {
    Harness h(filler_then({0x42}));
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_entropy_byte(d), 0x42);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(get_entropy_byte(d), 0xFF);
        EXPECT_EQ(get_entropy_byte(d), 0xD9);
    }
}

TEST(ByteFlagged, MarksSynthesisedBytes) {
    Harness h(filler_then({0x42}));
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    uint8_t synth = 7;
    EXPECT_EQ(get_byte_flagged(d, synth), 0x42);
    EXPECT_EQ(synth, 0);
    EXPECT_EQ(get_byte_flagged(d, synth), 0xFF);
    EXPECT_EQ(synth, 1);
    EXPECT_EQ(get_byte_flagged(d, synth), 0xD9);
    EXPECT_EQ(synth, 1);
}

TEST(ByteReader, PushedBackByteIsReadNext) {
    Harness h(filler_then({0x10, 0x20}));
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(get_byte_raw(d), 0x10);
    push_back_byte(d, 0x99);
    push_back_byte(d, 0x98);
    EXPECT_EQ(get_byte_raw(d), 0x98);
    EXPECT_EQ(get_byte_raw(d), 0x99);
    EXPECT_EQ(get_byte_raw(d), 0x20);
}

TEST(Source, EndingAtOnceGivesEndMarkers) {
    Harness h;
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(d.bit_buffer, 0xFFD9FFD9u);
    EXPECT_EQ(d.bit_count, 16);
    for (int i = 0; i < 50; ++i) {
        EXPECT_EQ(get_byte_raw(d), 0xFF);
        EXPECT_EQ(get_byte_raw(d), 0xD9);
    }
    EXPECT_EQ(get_bits_raw(d, 16), 0xFFD9u);
    // Once the source has ended it is never asked again.
    EXPECT_EQ(h.src->reads, 1);
    EXPECT_EQ(h.src->reads_after_end, 0);
}

TEST(Source, LateEndFlagBehavesLikeAnEarlyOne) {
    Bytes data = pattern(300);
    Harness early(data), late(data);
    late.src->late_end = true;
    ASSERT_EQ(early.init(), 0);
    ASSERT_EQ(late.init(), 0);
    EXPECT_EQ(early.dec().bit_buffer, late.dec().bit_buffer);
    for (int i = 0; i < 400; ++i)
        ASSERT_EQ(get_byte_raw(early.dec()), get_byte_raw(late.dec())) << i;
    EXPECT_EQ(early.src->reads, 1);
    EXPECT_EQ(late.src->reads, 2);
    EXPECT_EQ(late.src->reads_after_end, 0);
}

TEST(Source, OneByteReadsFillTheWholeBuffer) {
    Bytes data = pattern(5000);
    Harness h(data);
    h.src->chunk = 1;
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    EXPECT_EQ(h.src->reads, 4096);
    for (size_t i = 4; i < data.size(); ++i) ASSERT_EQ(get_byte_raw(d), data[i]) << i;
    EXPECT_EQ(h.src->reads, 5000);
    EXPECT_EQ(get_byte_raw(d), 0xFF);
    EXPECT_EQ(get_byte_raw(d), 0xD9);
    EXPECT_EQ(h.src->reads, 5000);
}

TEST(Source, RefillOffersTheRoomLeft) {
    Bytes data = pattern(6000);
    Harness h(data);
    h.src->chunk = 1000;
    ASSERT_EQ(h.init(), 0);
    EXPECT_EQ(h.src->maxes, (std::vector<int32_t>{4096, 3096, 2096, 1096, 96}));
}

TEST(Source, FFAtEndOfOneFillThenStuffedZero) {
    Bytes data = pattern(5000);
    data[4095] = 0xFF;
    data[4096] = 0x00;
    data[4097] = 0x5A;
    for (int32_t chunk : {4096, 1000, 1}) {
        Harness h(data);
        h.src->chunk = chunk;
        ASSERT_EQ(h.init(), 0);
        JpegDecoder& d = h.dec();
        for (size_t i = 4; i < 4095; ++i) ASSERT_EQ(get_byte_raw(d), data[i]);
        EXPECT_EQ(get_entropy_byte(d), 0xFF) << chunk;
        EXPECT_EQ(get_entropy_byte(d), 0x5A) << chunk;
        EXPECT_EQ(get_byte_raw(d), data[4098]) << chunk;
    }
}

TEST(Source, FFAtEndOfOneFillThenMarker) {
    Bytes data = pattern(5000);
    data[4095] = 0xFF;
    data[4096] = 0xD3;
    Harness h(data);
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    for (size_t i = 4; i < 4095; ++i) ASSERT_EQ(get_byte_raw(d), data[i]);
    EXPECT_EQ(get_entropy_byte(d), 0xFF);
    EXPECT_EQ(get_entropy_byte(d), 0xFF);
    EXPECT_EQ(get_byte_raw(d), 0xFF);
    EXPECT_EQ(get_byte_raw(d), 0xD3);
    EXPECT_EQ(get_byte_raw(d), data[4097]);
}

TEST(Source, PushBackAcrossTheBufferStart) {
    // Four look-ahead bytes straddle a refill; handing them back needs the
    // room in front of the buffer.
    Bytes data = pattern(5000);
    Harness h(data);
    ASSERT_EQ(h.init(), 0);
    JpegDecoder& d = h.dec();
    for (size_t i = 4; i < 4094; ++i) ASSERT_EQ(get_byte_raw(d), data[i]);
    d.bit_count = 16;
    get_bits_raw(d, 16);
    get_bits_raw(d, 16);  // loads bytes 4094..4097
    prime_entropy_bits(d);
    EXPECT_EQ(get_bits(d, 16), static_cast<uint32_t>(data[4094] << 8 | data[4095]));
    EXPECT_EQ(get_bits(d, 16), static_cast<uint32_t>(data[4096] << 8 | data[4097]));
    EXPECT_EQ(get_bits(d, 16), static_cast<uint32_t>(data[4098] << 8 | data[4099]));
}

TEST(Source, ErrorOnFirstReadFailsConstruction) {
    Harness h(minimal_header());
    h.src->error_on_read = 1;
    EXPECT_EQ(h.open(), StreamError);
    EXPECT_EQ(h.dec().source, nullptr);
    EXPECT_EQ(h.src->attaches, 1);
    EXPECT_EQ(h.src->detaches, 1);
    EXPECT_EQ(h.src->log, "ARD");
    EXPECT_EQ(begin(h.dec()), -1);
}

TEST(Source, ErrorOnALaterReadFails) {
    Stream s;
    s.soi().app(0, 5000).sof(0xC0, 8, 8, grey());
    Harness h(s.bytes);
    h.src->error_on_read = 2;
    EXPECT_EQ(h.open(), StreamError);
    EXPECT_EQ(h.src->detaches, 1);
    EXPECT_EQ(h.dec().source, nullptr);
}

TEST(Source, AttachComesBeforeTheFirstRead) {
    Harness h(minimal_header());
    ASSERT_EQ(h.open(), 0);
    EXPECT_FALSE(h.src->read_before_attach);
    EXPECT_EQ(h.src->log.substr(0, 2), "AR");
    EXPECT_EQ(h.src->attaches, 1);
    EXPECT_EQ(h.src->detaches, 0);
    free_pool(h.dec());
    free_pool(h.dec());
    EXPECT_EQ(h.src->detaches, 1);
    EXPECT_EQ(h.dec().source, nullptr);
}

TEST(Source, ReturningMoreThanAskedIsAnError) {
    Harness h(minimal_header());
    h.src->misbehave_on_read = 1;
    h.src->misbehaviour = TestSource::Misbehaviour::TooMany;
    EXPECT_EQ(h.open(), StreamError);
    EXPECT_EQ(h.src->detaches, 1);
}

TEST(Source, ReturningBelowMinusOneIsAnError) {
    Harness h(minimal_header());
    h.src->misbehave_on_read = 1;
    h.src->misbehaviour = TestSource::Misbehaviour::BelowMinusOne;
    EXPECT_EQ(h.open(), StreamError);
    EXPECT_EQ(h.src->detaches, 1);
}

TEST(Source, SixtyThreeEmptyReadsInARowAreTolerated) {
    Harness h(minimal_header());
    h.src->script.assign(63, 0);
    EXPECT_EQ(h.open(), 0);
    EXPECT_EQ(h.dec().image_width, 8);
}

TEST(Source, SixtyFourEmptyReadsInARowAreAnError) {
    Harness h(minimal_header());
    h.src->script.assign(64, 0);
    EXPECT_EQ(h.open(), StreamError);
    EXPECT_EQ(h.src->reads, 64);
    EXPECT_EQ(h.src->detaches, 1);
}

TEST(Source, EmptyReadsBetweenBytesDoNotAddUp) {
    Bytes data = minimal_header();
    Harness h(data);
    for (size_t i = 0; i < data.size(); ++i) {
        for (int z = 0; z < 40; ++z) h.src->script.push_back(0);
        h.src->script.push_back(1);
    }
    EXPECT_EQ(h.open(), 0);
    EXPECT_EQ(h.dec().image_height, 8);
}

TEST(Source, NeverEndingEmptySourceStops) {
    Harness h(minimal_header());
    h.src->script.assign(100000, 0);
    EXPECT_EQ(h.open(), StreamError);
    EXPECT_LE(h.src->reads, 100);
}

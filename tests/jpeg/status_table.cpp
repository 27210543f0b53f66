// Hostile streams, built segment by segment, each with the exact status it
// must give and the operation that reports it (or none: the stream decodes
// completely). For every row also: no decode_row before begin, begin may be
// called again, a failure detaches the source once and leaves decode_row at
// -1, and begin too unless it had completed; and a Decoder over the stream
// gives the same status, in the words the row names.
#include "tests/support/fixtures.h"
#include "tests/support/jpeg_builder.h"

#include "jpeg/decoder.h"
#include "marivue/jpeg.hpp"
#include "marivue/jpeg/byte_source.h"
#include "marivue/jpeg/status.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

using namespace marivue::jpeg;

namespace {

using jt::Bytes;
using jt::Stream;

enum class Where { Open, Begin, Row, Nowhere };

struct Row {
    const char* name;
    Bytes stream;
    int32_t status;
    Where where;
    const char* message = nullptr;  // a decoder's words, where not status_message's
    DecodeSettings settings = {};  // set in the record before open_decoder
    size_t memory_limit = 0;
};

// The blocks of a w x h grey picture, all zero.
Bytes grey_data(int w, int h) { return jt::encode_blocks(std::vector<jt::Block>(((w + 7) / 8) * ((h + 7) / 8))); }
// A complete grey stream whose headers are `s`, with its scan, data and EOI.
Bytes with_scan(Stream s, int w = 8, int h = 8) { return s.sos({{1, 0, 0}}).raw(grey_data(w, h)).eoi().bytes; }
Stream grey_head(int w = 8, int h = 8, int sof = 0xC0) { return jt::head(w, h, jt::grey(), sof); }
Stream soi() { return Stream().soi(); }
// A frame header of `comps` followed by a scan of `scan` with no data.
Bytes frame_and_scan(const std::vector<jt::Component>& comps, const std::vector<jt::ScanComponent>& scan,
                     int sof = 0xC0, int ss = 0, int se = 63, int ah = 0, int al = 0) {
    return jt::head(16, 16, comps, sof).sos(scan, ss, se, ah, al).fill(64, 0).eoi().bytes;
}
Bytes sof_with(const Bytes& payload, int length = -1) {
    return soi().dqt(0, 1).segment(0xC0, payload, length).eoi().bytes;
}
// A grey 8 x 8 frame with tables 0 (DC table `dc`), a scan and `data`.
Bytes grey_coded(const Bytes& data, int sof = 0xC0, int ss = 0, int se = 63, int ah = 0, int al = 0,
                 const jt::HuffDef& dc = jt::dc_def()) {
    Stream s;
    s.soi().dqt(0, 1).dht(0, 0, dc).dht(1, 0, jt::ac_def()).sof(sof, 8, 8, jt::grey()).sos({{1, 0, 0}}, ss, se, ah, al);
    return s.raw(data).fill(32, 0).eoi().bytes;
}

// A w x h frame of `comps` with one interleaved scan of all-zero blocks:
// each is a DC difference of 0 and an end of block, twelve 0 bits.
Bytes zero_frame(int w, int h, const std::vector<jt::Component>& comps, int sof = 0xC0) {
    int h_max = 1, v_max = 1, blocks = 0;
    for (const jt::Component& c : comps) h_max = std::max(h_max, c.h), v_max = std::max(v_max, c.v);
    for (const jt::Component& c : comps) blocks += c.h * c.v;
    const size_t mcus = static_cast<size_t>((w + 8 * h_max - 1) / (8 * h_max)) * ((h + 8 * v_max - 1) / (8 * v_max));
    return jt::head(w, h, comps, sof).sos(jt::all_components(comps)).fill((mcus * blocks * 12 + 7) / 8, 0).eoi().bytes;
}

// A progressive grey 16 x 8 frame with a restart marker after each block:
// a DC scan, and an AC scan whose data is `ac` for both blocks.
Bytes progressive_with_restarts(const Bytes& ac) {
    jt::HuffCodes dc(jt::dc_def());
    jt::BitWriter w;
    w.dc(dc, 5), w.marker(0xD0), w.dc(dc, -5);
    Stream s = jt::head(16, 8, jt::grey(), 0xC2).dri(1).sos({{1, 0, 0}}, 0, 0).raw(w.bytes());
    s.sos({{1, 0, 0}}, 1, 63).raw(ac).marker(0xD0).raw(ac);
    return s.eoi().bytes;
}

// A row of the table, written as a call so that it packs into few lines.
Row row(const char* name, Bytes stream, int32_t status, Where where, const char* message = nullptr,
        DecodeSettings settings = {}, size_t memory_limit = 0) {
    return {name, std::move(stream), status, where, message, settings, memory_limit};
}

DecodeSettings wide(int32_t scale_shift = 0, uint8_t extended = 0) {
    DecodeSettings settings;
    settings.max_side = 65535, settings.scale_shift = scale_shift, settings.extended_layouts = extended;
    return settings;
}

std::vector<Row> rows() {
    const auto g = jt::grey();
    const auto c3 = jt::ycc(2, 2);
    const auto all3 = jt::all_components(c3);
    jt::HuffDef counts256{{}, Bytes(256, 1)}, oversubscribed{{3}, {0, 1, 2}};
    counts256.counts.fill(16);
    const Bytes good = with_scan(grey_head()), good_head = grey_head().bytes;
    const Bytes junk511 = Stream().fill(511, 0).raw(good).bytes, junk512 = Stream().fill(512, 0).raw(good).bytes;
    const Bytes stray = Stream().raw({0x00, 0xFF, 0xD8, 0x00}).raw(good).bytes;
    Bytes filled;  // every 0xFF of `good` starts a marker
    for (uint8_t b : good) {
        if (b == 0xFF && !filled.empty()) filled.insert(filled.end(), {0xFF, 0xFF});
        filled.push_back(b);
    }
    const Bytes two_blocks_rst1 = [] {
        jt::HuffCodes dc(jt::dc_def()), ac(jt::ac_def());
        jt::BitWriter w;
        w.dc(dc, 0), w.symbol(ac, 0), w.marker(0xD1), w.dc(dc, 0), w.symbol(ac, 0);
        return grey_head(16, 8).dri(1).sos({{1, 0, 0}}).raw(w.bytes()).eoi().bytes;
    }();
    const Bytes no_marker_found =
        grey_head(16, 8).dri(1).sos({{1, 0, 0}}).raw(grey_data(8, 8)).fill(2000, 0).eoi().bytes;
    const Bytes eoi_for_restart = grey_head(16, 8).dri(1).sos({{1, 0, 0}}).raw(grey_data(8, 8)).eoi().bytes;
    const jt::HuffCodes ac(jt::ac_def());
    jt::BitWriter ac_past63, refine_size2;  // AC-only scan data
    for (int i = 0; i < 4; ++i) ac_past63.symbol(ac, 0xF1), ac_past63.put(1, 1);
    refine_size2.symbol(ac, 0x02), refine_size2.put(3, 2);
    const jt::HuffDef dc16 = jt::uniform_def({0, 16});
    const Bytes dc_size16 = jt::encode_blocks({{32768, {}}}, dc16);
    const Bytes run_past63 = jt::encode_blocks({{0, {{16, 1}, {32, 1}, {48, 1}, {64, 1}}}});  // the 4th run ends at 64
    const Bytes zeros_past63 = jt::encode_blocks({{0, {{65, 1}}}});  // the 4th run of sixteen zeros ends at 64
    // The same blocks at the end of a 512 x 512 grey frame, whose 4096 blocks
    // a reduced size passes over with its skip tables.
    auto last_of_4096 = [](const jt::Block& bad) {
        std::vector<jt::Block> blocks(4095, {0, {{1, 2}, {5, -1}, {20, 3}}});
        blocks.push_back(bad);
        return jt::head(512, 512, jt::grey()).sos({{1, 0, 0}}).raw(jt::encode_blocks(blocks)).eoi().bytes;
    };
    return {
        // Finding the start of the image.
        row("empty stream", {}, NotJpeg, Where::Open),
        row("text", {'h', 'e', 'l', 'l', 'o'}, NotJpeg, Where::Open),
        row("511 junk bytes before SOI", junk511, StatusOk, Where::Nowhere),
        row("512 junk bytes before SOI", junk512, NotJpeg, Where::Open),
        row("FF D8 inside junk without a marker after it", stray, NotJpeg, Where::Open),
        // Markers between segments.
        row("TEM", soi().marker(0x01).bytes, UnexpectedMarker, Where::Open),
        row("JPG", soi().marker(0xC8).bytes, UnexpectedMarker, Where::Open),
        row("RST0 between segments", soi().marker(0xD0).bytes, UnexpectedMarker, Where::Open),
        row("DAC", soi().segment(0xCC, {0x00, 0x11}).bytes, ArithmeticNotSupported, Where::Open),
        row("SOF9 arithmetic frame", jt::head(8, 8, g, 0xC9).bytes, ArithmeticNotSupported, Where::Open),
        row("SOF3 lossless", jt::head(8, 8, g, 0xC3).bytes, UnsupportedFrameType, Where::Open,
            "lossless pictures are not supported"),
        row("SOF5 hierarchical", jt::head(8, 8, g, 0xC5).bytes, UnsupportedFrameType, Where::Open,
            "hierarchical pictures are not supported"),
        row("SOF6", jt::head(8, 8, g, 0xC6).bytes, UnsupportedFrameType, Where::Open,
            "hierarchical progressive pictures are not supported"),
        row("SOF7", jt::head(8, 8, g, 0xC7).bytes, UnsupportedFrameType, Where::Open,
            "hierarchical lossless pictures are not supported"),
        row("SOF10", jt::head(8, 8, g, 0xCA).bytes, UnsupportedFrameType, Where::Open,
            "arithmetic-coded progressive pictures are not supported"),
        row("SOF11", jt::head(8, 8, g, 0xCB).bytes, UnsupportedFrameType, Where::Open,
            "arithmetic-coded lossless pictures are not supported"),
        row("SOF13", jt::head(8, 8, g, 0xCD).bytes, UnsupportedFrameType, Where::Open,
            "arithmetic-coded hierarchical pictures are not supported"),
        row("SOF14", jt::head(8, 8, g, 0xCE).bytes, UnsupportedFrameType, Where::Open,
            "arithmetic-coded hierarchical progressive pictures are not supported"),
        row("SOF15", jt::head(8, 8, g, 0xCF).bytes, UnsupportedFrameType, Where::Open,
            "arithmetic-coded hierarchical lossless pictures are not supported"),
        row("JPEG-LS frame (SOF55) and its scan",
            soi().segment(0xF7, Stream::sof_payload(8, 8, g)).sos({{1, 0, 0}}).bytes, UnsupportedFrameType, Where::Open,
            "JPEG-LS pictures are not supported"),
        row("JPEG-LS frame and a restart segment of length 5",
            soi().segment(0xF7, Stream::sof_payload(8, 8, g)).segment(0xDD, {0, 0, 1}).bytes, RestartHeaderLength,
            Where::Open, "JPEG-LS pictures are not supported; the restart interval segment has the wrong length"),
        row("EOI before the frame", soi().eoi().bytes, UnsupportedFrameType, Where::Open,
            "the picture has no frame header"),
        row("APP length 1", soi().segment(0xE0, {}, 1).bytes, MarkerLength, Where::Open),
        row("fill bytes before every marker", filled, StatusOk, Where::Nowhere),
        row("reserved, DNL and COM segments skipped",
            with_scan(soi()
                          .segment(0x02, {1, 2})
                          .segment(0xDC, {0, 8})
                          .segment(0xFE, {0xFF, 0xD9})
                          .raw(Bytes(good_head.begin() + 2, good_head.end()))),
            StatusOk, Where::Nowhere),
        // Tables.
        row("DHT length 1", soi().segment(0xC4, {}, 1).bytes, HuffSegmentLength, Where::Open),
        row("DHT counts adding up to 256", soi().dht(0, 0, counts256).bytes, HuffCountsTooLarge, Where::Open),
        row("DHT shorter than its table, with slot 8 (length first)",
            soi().segment(0xC4, Stream::dht_table(0, 8, jt::dc_def()), 2 + 17 + 11).bytes, HuffSegmentLength,
            Where::Open),
        row("DHT table number 8", with_scan(grey_head().dht(1, 8, jt::ac_def())), HuffIndexInvalid, Where::Begin),
        row("DHT slot 8 and over-subscribed (slot first)", soi().dht(0, 9, oversubscribed).bytes, HuffIndexInvalid,
            Where::Open),
        row("DHT over-subscribed counts", soi().dht(0, 0, oversubscribed).bytes, HuffTableInvalid, Where::Open),
        row("DQT length 1", soi().segment(0xDB, {}, 1).bytes, QuantSegmentLength, Where::Open),
        row("DQT table number 4", soi().dqt(4, 1).bytes, QuantIndexInvalid, Where::Open),
        row("DQT length short of its 8-bit table", soi().segment(0xDB, Stream::dqt_table(0, 1), 2 + 64).bytes,
            QuantSegmentShort, Where::Open),
        row("DQT length short of its 16-bit table", soi().segment(0xDB, Stream::dqt_table(0, 1, 1), 2 + 128).bytes,
            QuantSegmentShort, Where::Open),
        // The frame header, each field checked as it is read.
        row("precision 12", sof_with(Stream::sof_payload(8, 8, g, 12)), PrecisionNot8, Where::Open),
        row("height 0, left to a DNL segment", sof_with(Stream::sof_payload(8, 0, g)), HeightOutOfRange, Where::Open,
            "the picture's height is given by a DNL segment, which is not supported"),
        row("height 8193", sof_with(Stream::sof_payload(8, 8193, g)), HeightOutOfRange, Where::Open,
            "the picture's height, 8193, is above the side limit of 8192"),
        row("width 0", sof_with(Stream::sof_payload(0, 8, g)), WidthOutOfRange, Where::Open,
            "the picture's width is 0"),
        row("width 8193", sof_with(Stream::sof_payload(8193, 8, g)), WidthOutOfRange, Where::Open,
            "the picture's width, 8193, is above the side limit of 8192"),
        row("height 8192", with_scan(grey_head(1, 8192), 1, 8192), StatusOk, Where::Nowhere),
        row("width 8192", with_scan(grey_head(8192, 1), 8192, 1), StatusOk, Where::Nowhere),
        row("five components",
            sof_with(Stream::sof_payload(8, 8, {{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}, {5, 1, 1, 0}})),
            TooManyComponents, Where::Open),
        row("frame header length one more", sof_with(Stream::sof_payload(8, 8, g), 12), FrameHeaderLength, Where::Open),
        // Frame set-up in begin.
        row("two components", frame_and_scan({{1, 1, 1, 0}, {2, 1, 1, 0}}, {{1, 0, 0}, {2, 0, 0}}),
            UnsupportedComponents, Where::Begin, "two-component pictures are not supported"),
        row("four components", frame_and_scan({{1, 1, 1, 0}, {2, 1, 1, 0}, {3, 1, 1, 0}, {4, 1, 1, 0}}, {{1, 0, 0}}),
            UnsupportedComponents, Where::Begin, "four-component (CMYK) pictures are not supported"),
        row("luma 3x1", frame_and_scan(jt::ycc(3, 1), all3), UnsupportedSampling, Where::Begin),
        row("luma 1x4", frame_and_scan(jt::ycc(1, 4), all3), UnsupportedSampling, Where::Begin),
        row("Cb 2x1", frame_and_scan({{1, 2, 2, 0}, {2, 2, 1, 1}, {3, 1, 1, 1}}, all3), UnsupportedSampling,
            Where::Begin),
        row("Cr 1x2", frame_and_scan({{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 2, 1}}, all3), UnsupportedSampling,
            Where::Begin),
        row("grey factor 0", frame_and_scan(jt::grey(1, 0), {{1, 0, 0}}), UnsupportedSampling, Where::Begin),
        // Scan headers.
        row("scan of 0 components", frame_and_scan(g, {}), ScanHeaderLength, Where::Begin),
        row("scan of 5 components", frame_and_scan(g, {{1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}, {1, 0, 0}}),
            ScanHeaderLength, Where::Begin),
        row("scan header length one more",
            grey_head().segment(0xDA, Stream::sos_payload({{1, 0, 0}}, 0, 63, 0, 0), 9).fill(16, 0).eoi().bytes,
            ScanHeaderLength, Where::Begin),
        row("scan names an unknown component", frame_and_scan(g, {{7, 0, 0}}), ScanComponentUnknown, Where::Begin),
        row("scan names a component twice", frame_and_scan(c3, {{1, 0, 0}, {1, 0, 0}, {3, 1, 1}}),
            ScanComponentRepeated, Where::Begin),
        row("EOI where the scan must come", grey_head().eoi().bytes, UnexpectedMarker, Where::Begin),
        row("SOI where the scan must come", grey_head().raw(grey_head().bytes).bytes, UnexpectedMarker, Where::Begin),
        row("DRI length 5", grey_head().segment(0xDD, {0, 1, 0}).bytes, RestartHeaderLength, Where::Begin),
        row("DC table number 4", frame_and_scan(g, {{1, 4, 0}}), HuffTableMissing, Where::Begin),
        row("AC table number 4", frame_and_scan(g, {{1, 0, 4}}), HuffTableMissing, Where::Begin),
        row("no Huffman tables", soi().dqt(0, 1).sof(0xC0, 8, 8, g).sos({{1, 0, 0}}).fill(8, 0).eoi().bytes,
            HuffTableMissing, Where::Begin),
        row("no quantisation table",
            soi()
                .dht(0, 0, jt::dc_def())
                .dht(1, 0, jt::ac_def())
                .sof(0xC0, 8, 8, g)
                .sos({{1, 0, 0}})
                .fill(8, 0)
                .eoi()
                .bytes,
            QuantTableMissing, Where::Begin),
        row("quantisation table number 4", frame_and_scan({{1, 1, 1, 4}}, {{1, 0, 0}}), QuantTableMissing,
            Where::Begin),
        row("sequential scan of one of three components", frame_and_scan(c3, {{1, 0, 0}}), SequentialScanUnsupported,
            Where::Begin),
        row("sequential scan out of frame order", frame_and_scan(c3, {{1, 0, 0}, {3, 1, 1}, {2, 1, 1}}),
            SequentialScanUnsupported, Where::Begin),
        // Progressive scans, all decoded in begin.
        row("spectral start above end", frame_and_scan(g, {{1, 0, 0}}, 0xC2, 5, 4), SpectralSelection, Where::Begin),
        row("spectral end 64", frame_and_scan(g, {{1, 0, 0}}, 0xC2, 1, 64), SpectralSelection, Where::Begin),
        row("DC scan with AC band", frame_and_scan(g, {{1, 0, 0}}, 0xC2, 0, 5), SpectralSelection, Where::Begin),
        row("AC scan of two components", frame_and_scan(c3, {{1, 0, 0}, {2, 1, 1}}, 0xC2, 1, 63), SpectralSelection,
            Where::Begin),
        row("approximation high 2 low 0", frame_and_scan(g, {{1, 0, 0}}, 0xC2, 0, 0, 2, 0), SuccessiveApprox,
            Where::Begin),
        row("progressive DC size 16", grey_coded(dc_size16, 0xC2, 0, 0, 0, 0, dc16), DecodeError, Where::Begin),
        row("progressive AC run past 63", grey_coded(ac_past63.bytes(), 0xC2, 1, 63), DecodeError, Where::Begin),
        row("AC refinement of size 2", grey_coded(refine_size2.bytes(), 0xC2, 1, 63, 1, 0), DecodeError, Where::Begin),
        // Entropy-coded data of a sequential frame, in decode_row.
        row("DC size 16", grey_coded(dc_size16, 0xC0, 0, 63, 0, 0, dc16), DecodeError, Where::Row),
        row("AC run past 63", grey_coded(run_past63), DecodeError, Where::Row),
        row("sixteen zeros past 63", grey_coded(zeros_past63), DecodeError, Where::Row),
        row("restart marker RST1 where RST0 is due", two_blocks_rst1, RestartMarker, Where::Row),
        row("EOI where a restart marker is due", eoi_for_restart, RestartMarker, Where::Row),
        row("no marker within 1536 bytes", no_marker_found, RestartMarker, Where::Row),
        row("bad segment after the last scan",
            grey_head().sos({{1, 0, 0}}).raw(grey_data(8, 8)).segment(0xC4, {}, 1).bytes, HuffSegmentLength,
            Where::Row),
        // Settings in the record: a side limit of the caller's, up to 65535;
        // an MCU row longer than the record's tables (65535 wide grey: 8192
        // blocks); the memory limit against what a large header asks for.
        row("max_side 12000, width 12001", sof_with(Stream::sof_payload(12001, 8, g)), WidthOutOfRange, Where::Open,
            "the picture's width, 12001, is above the side limit of 12000", {12000}),
        row("max_side 12000, height 12001", sof_with(Stream::sof_payload(8, 12001, g)), HeightOutOfRange, Where::Open,
            "the picture's height, 12001, is above the side limit of 12000", {12000}),
        row("max_side 99, width 100", sof_with(Stream::sof_payload(100, 8, g)), WidthOutOfRange, Where::Open,
            "the picture's width, 100, is above the side limit of 99", {99}),
        row("max_side 65535, height 0", sof_with(Stream::sof_payload(8, 0, g)), HeightOutOfRange, Where::Open,
            "the picture's height is given by a DNL segment, which is not supported", {65535}),
        row("max_side 65535, 65535 x 1 grey", zero_frame(65535, 1, g), StatusOk, Where::Nowhere, nullptr, wide()),
        row("max_side 65535, 1 x 65535 grey", zero_frame(1, 65535, g), StatusOk, Where::Nowhere, nullptr, wide()),
        row("65535 x 1 grey at 1/8", zero_frame(65535, 1, g), StatusOk, Where::Nowhere, nullptr, wide(3)),
        row("65535 x 3 colour 1 x 2 at 1/2", zero_frame(65535, 3, jt::ycc(1, 2)), StatusOk, Where::Nowhere, nullptr,
            wide(1)),
        row("65535 x 65535 colour, 4 MB limit", zero_frame(65535, 65535, jt::ycc(1, 1)), OutOfMemory, Where::Begin,
            nullptr, wide(), 4 << 20),
        row("65535 x 65535 progressive, 256 MB limit",
            jt::head(65535, 65535, c3, 0xC2).sos(all3, 0, 0).fill(64, 0).eoi().bytes, OutOfMemory, Where::Begin,
            nullptr, wide(), size_t{256} << 20),
        row("settings: scale_shift 4", good, StreamError, Where::Open, "the scale is not 1, 2, 4 or 8", {0, 4}),
        row("settings: max_side 65536", good, StreamError, Where::Open, "the side limit (max_side) is not 1 to 65535",
            {65536}),
        row("settings: max_side -1", good, StreamError, Where::Open, "the side limit (max_side) is not 1 to 65535",
            {-1}),
        // Layouts only the extended setting decodes, at odd sizes and scales.
        row("four components, extended", zero_frame(17, 9, {{1, 2, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 2, 2, 0}}),
            StatusOk, Where::Nowhere, nullptr, {0, 0, 1}),
        row("four components 1 x 1 at 1/8", zero_frame(1, 1, {{1, 1, 2, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 2, 0}}),
            StatusOk, Where::Nowhere, nullptr, {0, 3, 1}),
        row("four components 1 x 65535 at 1/4",
            zero_frame(1, 65535, {{1, 1, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 1, 1, 0}}), StatusOk, Where::Nowhere,
            nullptr, wide(2, 1)),
        row("four components 13 x 7 progressive at 1/2",
            jt::head(13, 7, {{1, 2, 1, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}, {4, 2, 1, 0}}, 0xC2)
                .sos({{1, 0, 0}, {2, 1, 0}, {3, 1, 0}, {4, 0, 0}}, 0, 0)
                .fill(8, 0)
                .eoi()
                .bytes,
            StatusOk, Where::Nowhere, nullptr, {0, 1, 1}),
        row("luma 4x1, chroma 2x1, extended", zero_frame(33, 9, {{1, 4, 1, 0}, {2, 2, 1, 1}, {3, 2, 1, 1}}), StatusOk,
            Where::Nowhere, nullptr, {0, 0, 1}),
        row("luma 3x1, chroma 2x1, extended", frame_and_scan({{1, 3, 1, 0}, {2, 2, 1, 1}, {3, 1, 1, 1}}, all3),
            UnsupportedSampling, Where::Begin, nullptr, {0, 0, 1}),
        row("luma 5x1, extended", frame_and_scan(jt::ycc(5, 1), all3), UnsupportedSampling, Where::Begin, nullptr,
            {0, 0, 1}),
        row("luma 4x4: 18 blocks, extended", frame_and_scan(jt::ycc(4, 4), all3), UnsupportedSampling, Where::Begin,
            nullptr, {0, 0, 1}),
        row("two components, extended", frame_and_scan({{1, 1, 1, 0}, {2, 1, 1, 0}}, {{1, 0, 0}, {2, 0, 0}}),
            UnsupportedComponents, Where::Begin, "two-component pictures are not supported", {0, 0, 1}),
        row("four components, extended, one scan of one", frame_and_scan(jt::ycc(1, 1), {{1, 0, 0}}),
            SequentialScanUnsupported, Where::Begin, nullptr, {0, 0, 1}),
        // The eighth size passes over the AC coefficients with the checks of
        // a full decoding in a sequential frame, and over a progressive
        // frame's AC scans undecoded, restart markers inside them included.
        row("AC run past 63 at 1/8", grey_coded(run_past63), DecodeError, Where::Row, nullptr, {0, 3}),
        row("sixteen zeros past 63 at 1/2", grey_coded(zeros_past63), DecodeError, Where::Row, nullptr, {0, 1}),
        row("4096 blocks, the last with an AC run past 63", last_of_4096({0, {{16, 1}, {32, 1}, {48, 1}, {64, 1}}}),
            DecodeError, Where::Row),
        row("the same at 1/8", last_of_4096({0, {{16, 1}, {32, 1}, {48, 1}, {64, 1}}}), DecodeError, Where::Row,
            nullptr, {0, 3}),
        row("4096 blocks, the last with sixteen zeros past 63, at 1/4", last_of_4096({0, {{65, 1}}}), DecodeError,
            Where::Row, nullptr, {0, 2}),
        row("4096 blocks, the last coded to 63, at 1/2", last_of_4096({0, {{63, 1}}}), StatusOk, Where::Nowhere,
            nullptr, {0, 1}),
        row("progressive AC scan with restart markers", progressive_with_restarts(jt::encode_blocks({{0, {{1, 3}}}})),
            StatusOk, Where::Nowhere),
        row("the same at 1/8", progressive_with_restarts(jt::encode_blocks({{0, {{1, 3}}}})), StatusOk, Where::Nowhere,
            nullptr, {0, 3}),
        row("progressive AC run past 63 at 1/8: not decoded", grey_coded(ac_past63.bytes(), 0xC2, 1, 63), StatusOk,
            Where::Nowhere, nullptr, {0, 3}),
    };
}

struct CountingSource : MemoryByteSource {
    using MemoryByteSource::MemoryByteSource;
    void detach() override { ++detaches; }
    int detaches = 0;
};

// The options that ask the library's Decoder for the row's settings.
Options options_of(const Row& row) {
    Options options;
    options.max_side = row.settings.max_side != 0 ? row.settings.max_side : 8192;
    options.scale = 1 << row.settings.scale_shift;
    if (row.memory_limit != 0) options.memory_limit = row.memory_limit;
    return options;
}

// The status, whether the data was whole, and the words a Decoder gives,
// through the library's own interface.
struct Outcome {
    int32_t status;
    bool complete;
    std::string message;
};
Outcome through_decoder(const Row& row) {
    Decoder decoder(row.stream.data(), row.stream.size(), options_of(row));
    std::vector<uint8_t> pixels(static_cast<size_t>(decoder.info().width) * 3);
    while (decoder.next_row(pixels) == 0) {
    }
    return {decoder.status(), decoder.complete(), decoder.message()};
}

TEST(StatusTable, EveryHostileStreamGivesItsStatusWhereExpected) {
    std::map<std::string, int32_t> described;  // every code its own words
    EXPECT_STREQ(status_name(1), "Unknown");
    EXPECT_STREQ(status_message(-235), "unknown status");
    for (const Row& row : rows()) {
        EXPECT_EQ(described.emplace(status_message(row.status), row.status).first->second, row.status);
        SCOPED_TRACE(std::string(row.name) + ", expected " + status_name(row.status));
        // The library's Decoder always decodes the extended layouts: where
        // the row's refusal is one the setting lifts, it fails as the record
        // with the setting does, or not at all. Corrupt data in the last
        // bytes before the end of the data is taken for data that ends
        // early: the rows are filled in instead.
        const Outcome o = through_decoder(row);
        DecodeSettings extended = row.settings;
        extended.extended_layouts = 1;
        if (!row.settings.extended_layouts &&
            (row.status == UnsupportedComponents || row.status == UnsupportedSampling)) {
            EXPECT_EQ(o.status, e2e::marivue_decode(row.stream, extended).final_status) << status_name(o.status);
        } else if (o.status == StatusOk && row.status == DecodeError) {
            EXPECT_FALSE(o.complete);
        } else {
            EXPECT_EQ(o.status, row.status);
            EXPECT_EQ(o.message, row.message != nullptr ? row.message : status_message(row.status));
        }
        CountingSource source(row.stream.data(), row.stream.size());
        std::unique_ptr<JpegDecoder> d(new JpegDecoder);
        d->settings = row.settings;
        d->memory_limit = row.memory_limit;
        open_decoder(*d, source);
        EXPECT_EQ(d->status, row.where == Where::Open ? row.status : StatusOk);
        const uint8_t* pixels = nullptr;
        int32_t bytes = 0, result = 0, count = 0;
        EXPECT_EQ(decode_row(*d, &pixels, &bytes), -1);  // not before begin
        EXPECT_EQ(begin(*d), row.where <= Where::Begin ? -1 : 0);
        EXPECT_EQ(begin(*d), row.where <= Where::Begin ? -1 : 0);  // once begun, again 0
        while ((result = decode_row(*d, &pixels, &bytes)) == 0) ++count;
        EXPECT_EQ(result, row.where == Where::Row ? -227 : row.where == Where::Nowhere ? 1 : -1);
        EXPECT_EQ(d->status, row.status) << status_name(d->status);
        if (row.where == Where::Nowhere) {
            EXPECT_EQ(count, d->output_height);
        }
        EXPECT_EQ(source.detaches, row.status != StatusOk ? 1 : 0);
        EXPECT_EQ(decode_row(*d, &pixels, &bytes), row.where == Where::Nowhere ? 1 : -1);
        EXPECT_EQ(begin(*d), row.where <= Where::Begin ? -1 : 0);
        free_pool(*d);
        free_pool(*d);
        EXPECT_EQ(source.detaches, 1);
    }
}

// README's list of statuses is the table's: every code, with its name and
// words, and nothing else.
TEST(StatusTable, ReadmeListsEveryStatusWithItsNameAndWords) {
    std::ifstream readme(MARIVUE_README);
    ASSERT_TRUE(readme.good());
    std::string line, listed, expected;
    while (std::getline(readme, line)) {
        // "| -217 | `NotJpeg` | not a JPEG file |"
        const size_t name = line.find(" | `"), words = line.find("` | ");
        if (!line.starts_with("| ") || !line.ends_with(" |") || name == std::string::npos ||
            words == std::string::npos || words < name)
            continue;
        const std::string code = line.substr(2, name - 2);
        if (code.empty() || code.find_first_not_of("-0123456789") != std::string::npos) continue;
        listed += code + " " + line.substr(name + 4, words - name - 4) + " " +
                  line.substr(words + 4, line.size() - words - 6) + "\n";
    }
    for (int32_t code = 0; code >= Stopped; code = code == 0 ? HuffCountsTooLarge : code - 1)
        expected += std::to_string(code) + " " + status_name(code) + " " + status_message(code) + "\n";
    EXPECT_EQ(listed, expected);
}

}  // namespace

// Assembles small JPEG streams byte by byte for decoder tests: marker
// segments (ICC profile chunks among them), canonical Huffman codes, a bit
// writer and a grey sequential encoder over chosen coefficients.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <utility>
#include <vector>

namespace jt {

using Bytes = std::vector<uint8_t>;

// Bytes from ints, each taken modulo 256.
inline Bytes bytes_of(std::initializer_list<int> values) {
    Bytes out;
    for (int v : values) out.push_back(static_cast<uint8_t>(v));
    return out;
}

struct Component {
    int id, h, v, tq;
};
struct ScanComponent {
    int selector, td, ta;
};

// A Huffman table definition as a DHT segment carries it.
struct HuffDef {
    std::array<uint8_t, 16> counts{};  // codes of length 1..16
    std::vector<uint8_t> symbols;
};

// All symbols with codes of one length: the shortest that leaves the
// all-ones code unused.
inline HuffDef uniform_def(const std::vector<uint8_t>& symbols) {
    int length = 1;
    while ((1u << length) < symbols.size() + 1) ++length;
    HuffDef def{{}, symbols};
    def.counts[length - 1] = static_cast<uint8_t>(symbols.size());
    return def;
}
// DC sizes 0 to 11, four bits each.
inline HuffDef dc_def() { return uniform_def({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11}); }
// Every AC symbol of 8-bit data (EOB, ZRL, runs 0-15 x sizes 1-10), eight bits each.
inline HuffDef ac_def() {
    std::vector<uint8_t> s{0x00, 0xF0};
    for (int r = 0; r < 16; ++r)
        for (int z = 1; z <= 10; ++z) s.push_back(static_cast<uint8_t>(r << 4 | z));
    return uniform_def(s);
}

// Canonical code assignment of a table definition.
struct HuffCodes {
    std::array<uint32_t, 256> code{};
    std::array<int, 256> length{};
    explicit HuffCodes(const HuffDef& def) {
        uint32_t c = 0;
        for (size_t len = 1, k = 0; len <= 16; ++len, c <<= 1)
            for (int i = 0; i < def.counts[len - 1]; ++i, ++c, ++k)
                code[def.symbols.at(k)] = c, length[def.symbols.at(k)] = static_cast<int>(len);
    }
};

// Bit writer for entropy-coded data: most significant bit first, a zero
// byte stuffed after every 0xFF, padding with 1-bits.
class BitWriter {
public:
    void put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) {
            acc_ = static_cast<uint8_t>(acc_ << 1 | ((value >> i) & 1u));
            if (++nbits_ < 8) continue;
            out_.push_back(acc_);
            if (acc_ == 0xFF) out_.push_back(0x00);
            acc_ = 0, nbits_ = 0;
        }
    }
    void symbol(const HuffCodes& codes, int sym) {
        if (codes.length[sym] == 0) throw std::logic_error("symbol without code");
        put(codes.code[sym], codes.length[sym]);
    }
    // A DC difference, or an AC run and value: the symbol, then the value bits.
    void dc(const HuffCodes& codes, int diff) { ac(codes, 0, diff); }
    void ac(const HuffCodes& codes, int run, int v) {
        int s = 0;
        for (int a = v < 0 ? -v : v; a; a >>= 1) ++s;
        symbol(codes, run << 4 | s);
        if (s != 0) put(static_cast<uint32_t>(v >= 0 ? v : v + (1 << s) - 1), s);
    }
    // Pads to a byte boundary; then a marker, or the data so far.
    void marker(int code) {
        bytes();
        out_.insert(out_.end(), {0xFF, static_cast<uint8_t>(code)});
    }
    Bytes bytes() {
        while (nbits_ != 0) put(1, 1);
        return out_;
    }

private:
    Bytes out_;
    uint8_t acc_ = 0;
    int nbits_ = 0;
};

// Segment assembler.
struct Stream {
    Bytes bytes;

    Stream& raw(const Bytes& values) {
        bytes.insert(bytes.end(), values.begin(), values.end());
        return *this;
    }
    Stream& fill(size_t n, uint8_t value) { return raw(Bytes(n, value)); }
    Stream& marker(int code) { return raw(bytes_of({0xFF, code})); }
    Stream& soi() { return marker(0xD8); }
    Stream& eoi() { return marker(0xD9); }
    // A segment whose length field counts itself and the payload, unless
    // `length` gives another value.
    Stream& segment(int code, const Bytes& payload, int length = -1) {
        if (length < 0) length = static_cast<int>(payload.size()) + 2;
        return marker(code).raw(bytes_of({length >> 8, length})).raw(payload);
    }
    // A table of 64 equal entries, of 8 bits or (precision 1) 16 bits.
    static Bytes dqt_table(int number, int value, int precision = 0) {
        Bytes t{static_cast<uint8_t>(precision << 4 | number)};
        for (int i = 0; i < 64; ++i) {
            if (precision) t.push_back(static_cast<uint8_t>(value >> 8));
            t.push_back(static_cast<uint8_t>(value));
        }
        return t;
    }
    Stream& dqt(int number, int value, int precision = 0) { return segment(0xDB, dqt_table(number, value, precision)); }
    static Bytes dht_table(int cls, int number, const HuffDef& def) {
        Bytes t = bytes_of({cls << 4 | number});
        t.insert(t.end(), def.counts.begin(), def.counts.end());
        t.insert(t.end(), def.symbols.begin(), def.symbols.end());
        return t;
    }
    Stream& dht(int cls, int number, const HuffDef& def) { return segment(0xC4, dht_table(cls, number, def)); }
    static Bytes sof_payload(int width, int height, const std::vector<Component>& comps, int precision = 8) {
        Bytes p = bytes_of({precision, height >> 8, height, width >> 8, width, static_cast<int>(comps.size())});
        for (const Component& c : comps)
            for (int v : {c.id, c.h << 4 | c.v, c.tq}) p.push_back(static_cast<uint8_t>(v));
        return p;
    }
    Stream& sof(int code, int width, int height, const std::vector<Component>& comps) {
        return segment(code, sof_payload(width, height, comps));
    }
    static Bytes sos_payload(const std::vector<ScanComponent>& comps, int ss, int se, int ah, int al) {
        Bytes p = bytes_of({static_cast<int>(comps.size())});
        for (const ScanComponent& c : comps)
            for (int v : {c.selector, c.td << 4 | c.ta}) p.push_back(static_cast<uint8_t>(v));
        for (int v : {ss, se, ah << 4 | al}) p.push_back(static_cast<uint8_t>(v));
        return p;
    }
    Stream& sos(const std::vector<ScanComponent>& comps, int ss = 0, int se = 63, int ah = 0, int al = 0) {
        return segment(0xDA, sos_payload(comps, ss, se, ah, al));
    }
    Stream& dri(int interval) { return segment(0xDD, bytes_of({interval >> 8, interval})); }
};

// An APP2 segment holding bytes [from, to) of the ICC profile `icc` as
// chunk `number` of `count`.
inline Bytes icc_chunk(const Bytes& icc, size_t from, size_t to, int number, int count) {
    Bytes payload{'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
    payload.insert(payload.end(), {static_cast<uint8_t>(number), static_cast<uint8_t>(count)});
    payload.insert(payload.end(), icc.begin() + static_cast<long>(from), icc.begin() + static_cast<long>(to));
    return Stream().segment(0xE2, payload).bytes;
}

// `jpeg` with the segments `segments` inserted right after its SOI.
inline Bytes tagged(const Bytes& jpeg, const std::vector<Bytes>& segments) {
    Bytes out = jpeg;
    auto at = out.begin() + 2;
    for (const Bytes& s : segments) at = out.insert(at, s.begin(), s.end()) + static_cast<long>(s.size());
    return out;
}

// One grey component, id 1, quantisation table 0; three components, ids
// 1 2 3, luma sampled h x v, chroma with table 1.
inline std::vector<Component> grey(int h = 1, int v = 1) { return {{1, h, v, 0}}; }
inline std::vector<Component> ycc(int h, int v) { return {{1, h, v, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}; }

// SOI, flat quantisation tables 0 and 1 (value q), the test tables (DC 0,
// AC 0, DC 1, AC 1) and a frame header of type `sof`.
inline Stream head(int width, int height, const std::vector<Component>& comps, int sof = 0xC0, int q = 1) {
    Stream s;
    s.soi().dqt(0, q).dqt(1, q).dht(0, 0, dc_def()).dht(1, 0, ac_def()).dht(0, 1, dc_def()).dht(1, 1, ac_def());
    return s.sof(sof, width, height, comps);
}

// The scan components of `comps` in frame order, tables 0 for the first
// component and 1 for the others.
inline std::vector<ScanComponent> all_components(const std::vector<Component>& comps) {
    std::vector<ScanComponent> out;
    for (size_t i = 0; i < comps.size(); ++i) out.push_back({comps[i].id, i ? 1 : 0, i ? 1 : 0});
    return out;
}

// One 8 x 8 block: the DC value and AC coefficients as (zigzag position, value).
struct Block {
    int dc = 0;
    std::vector<std::pair<int, int>> ac;
};

// Entropy-coded data of blocks in scan order with the given tables.
inline Bytes encode_blocks(const std::vector<Block>& blocks, const HuffDef& dc = dc_def(),
                           const HuffDef& ac = ac_def()) {
    HuffCodes dcc(dc), acc(ac);
    BitWriter w;
    int last = 0;
    for (const Block& b : blocks) {
        w.dc(dcc, b.dc - last);
        last = b.dc;
        int k = 0;
        for (auto [pos, v] : b.ac) {
            int run = pos - k - 1;
            for (; run > 15; run -= 16) w.symbol(acc, 0xF0);
            w.ac(acc, run, v);
            k = pos;
        }
        if (k < 63) w.symbol(acc, 0x00);
    }
    return w.bytes();
}

// A grey sequential stream of width x height over `blocks`, coded with the
// given tables as tables 0 (quantisation table 0 all 1).
inline Bytes grey_stream(int width, int height, const std::vector<Block>& blocks, const HuffDef& dc = dc_def(),
                         const HuffDef& ac = ac_def()) {
    Stream s;
    s.soi().dqt(0, 1).dht(0, 0, dc).dht(1, 0, ac).sof(0xC0, width, height, grey()).sos({{1, 0, 0}});
    return s.raw(encode_blocks(blocks, dc, ac)).eoi().bytes;
}

}  // namespace jt

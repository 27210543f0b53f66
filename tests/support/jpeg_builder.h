// Assembles small JPEG streams byte by byte for decoder tests: marker
// segments, canonical Huffman codes and a bit writer for entropy-coded data.
#pragma once

#include <array>
#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <vector>

namespace jt {

using Bytes = std::vector<uint8_t>;

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

// All symbols with codes of one length: the shortest length that leaves the
// all-ones code unused.
inline HuffDef uniform_def(const std::vector<uint8_t>& symbols) {
    int length = 1;
    while ((1u << length) < symbols.size() + 1) ++length;
    HuffDef def;
    def.counts[length - 1] = static_cast<uint8_t>(symbols.size());
    def.symbols = symbols;
    return def;
}

// DC sizes 0 to 11, four bits each.
inline HuffDef dc_def() {
    std::vector<uint8_t> s;
    for (int i = 0; i <= 11; ++i) s.push_back(static_cast<uint8_t>(i));
    return uniform_def(s);
}

// Every AC run/size symbol of 8-bit data (EOB, ZRL, runs 0-15 x sizes 1-10),
// eight bits each.
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
        size_t k = 0;
        for (int len = 1; len <= 16; ++len) {
            for (int i = 0; i < def.counts[len - 1]; ++i) {
                uint8_t sym = def.symbols.at(k++);
                code[sym] = c++;
                length[sym] = len;
            }
            c <<= 1;
        }
    }
};

// Bit writer for entropy-coded data: most significant bit first, a zero
// byte stuffed after every 0xFF, padding with 1-bits.
class BitWriter {
public:
    void put(uint32_t value, int n) {
        for (int i = n - 1; i >= 0; --i) put_bit((value >> i) & 1u);
    }
    void put_bits(const char* text) {
        for (const char* p = text; *p; ++p)
            if (*p == '0' || *p == '1') put_bit(*p == '1');
    }
    void symbol(const HuffCodes& codes, int sym) {
        if (codes.length[sym] == 0) throw std::logic_error("symbol without code");
        put(codes.code[sym], codes.length[sym]);
    }
    // A magnitude field: size category and the bits that stand for v.
    static int size_of(int v) {
        int a = v < 0 ? -v : v, s = 0;
        while (a) {
            ++s;
            a >>= 1;
        }
        return s;
    }
    void magnitude(int v) {
        int s = size_of(v);
        if (s == 0) return;
        put(static_cast<uint32_t>(v >= 0 ? v : v + (1 << s) - 1), s);
    }
    void dc(const HuffCodes& codes, int diff) {
        symbol(codes, size_of(diff));
        magnitude(diff);
    }
    void ac(const HuffCodes& codes, int run, int v) {
        symbol(codes, run << 4 | size_of(v));
        magnitude(v);
    }
    void pad() {
        while (nbits_ != 0) put_bit(1);
    }
    // Pads to a byte boundary and writes a marker (restart markers).
    void marker(int code) {
        pad();
        out_.push_back(0xFF);
        out_.push_back(static_cast<uint8_t>(code));
    }
    Bytes bytes() {
        pad();
        return out_;
    }
    size_t bit_count() const { return total_bits_; }

private:
    void put_bit(bool b) {
        acc_ = static_cast<uint8_t>(acc_ << 1 | (b ? 1 : 0));
        ++total_bits_;
        if (++nbits_ == 8) {
            out_.push_back(acc_);
            if (acc_ == 0xFF) out_.push_back(0x00);
            acc_ = 0;
            nbits_ = 0;
        }
    }
    Bytes out_;
    uint8_t acc_ = 0;
    int nbits_ = 0;
    size_t total_bits_ = 0;
};

// Segment assembler.
class Stream {
public:
    Bytes bytes;

    Stream& raw(std::initializer_list<int> values) {
        for (int v : values) bytes.push_back(static_cast<uint8_t>(v));
        return *this;
    }
    Stream& raw(const Bytes& values) {
        bytes.insert(bytes.end(), values.begin(), values.end());
        return *this;
    }
    Stream& fill(size_t n, uint8_t value) {
        bytes.insert(bytes.end(), n, value);
        return *this;
    }
    Stream& marker(int code) { return raw({0xFF, code}); }
    Stream& soi() { return marker(0xD8); }
    Stream& eoi() { return marker(0xD9); }
    Stream& u16(int v) { return raw({(v >> 8) & 0xFF, v & 0xFF}); }
    // A segment whose length field counts itself and the payload.
    Stream& segment(int code, const Bytes& payload) {
        marker(code);
        u16(static_cast<int>(payload.size()) + 2);
        return raw(payload);
    }
    Stream& app(int n, size_t payload_bytes) { return segment(0xE0 + n, Bytes(payload_bytes, 0x41)); }
    Stream& com(const Bytes& payload) { return segment(0xFE, payload); }

    static Bytes dqt_table(int number, const std::array<int, 64>& entries, int precision = 0) {
        Bytes t{static_cast<uint8_t>(precision << 4 | number)};
        for (int e : entries) {
            if (precision) t.push_back(static_cast<uint8_t>((e >> 8) & 0xFF));
            t.push_back(static_cast<uint8_t>(e & 0xFF));
        }
        return t;
    }
    static std::array<int, 64> flat(int value) {
        std::array<int, 64> a{};
        a.fill(value);
        return a;
    }
    Stream& dqt(int number, const std::array<int, 64>& entries, int precision = 0) {
        return segment(0xDB, dqt_table(number, entries, precision));
    }
    Stream& dqt_flat(int number, int value) { return dqt(number, flat(value)); }

    static Bytes dht_table(int cls, int number, const HuffDef& def) {
        Bytes t{static_cast<uint8_t>(cls << 4 | number)};
        t.insert(t.end(), def.counts.begin(), def.counts.end());
        t.insert(t.end(), def.symbols.begin(), def.symbols.end());
        return t;
    }
    Stream& dht(int cls, int number, const HuffDef& def) {
        return segment(0xC4, dht_table(cls, number, def));
    }

    static Bytes sof_payload(int width, int height, const std::vector<Component>& comps,
                             int precision = 8) {
        Bytes p{static_cast<uint8_t>(precision),
                static_cast<uint8_t>(height >> 8),
                static_cast<uint8_t>(height & 0xFF),
                static_cast<uint8_t>(width >> 8),
                static_cast<uint8_t>(width & 0xFF),
                static_cast<uint8_t>(comps.size())};
        for (const Component& c : comps) {
            p.push_back(static_cast<uint8_t>(c.id));
            p.push_back(static_cast<uint8_t>(c.h << 4 | c.v));
            p.push_back(static_cast<uint8_t>(c.tq));
        }
        return p;
    }
    Stream& sof(int code, int width, int height, const std::vector<Component>& comps) {
        return segment(code, sof_payload(width, height, comps));
    }

    static Bytes sos_payload(const std::vector<ScanComponent>& comps, int ss, int se, int ah,
                             int al) {
        Bytes p{static_cast<uint8_t>(comps.size())};
        for (const ScanComponent& c : comps) {
            p.push_back(static_cast<uint8_t>(c.selector));
            p.push_back(static_cast<uint8_t>(c.td << 4 | c.ta));
        }
        p.push_back(static_cast<uint8_t>(ss));
        p.push_back(static_cast<uint8_t>(se));
        p.push_back(static_cast<uint8_t>(ah << 4 | al));
        return p;
    }
    Stream& sos(const std::vector<ScanComponent>& comps, int ss = 0, int se = 63, int ah = 0,
                int al = 0) {
        return segment(0xDA, sos_payload(comps, ss, se, ah, al));
    }
    Stream& dri(int interval) { return segment(0xDD, Bytes{static_cast<uint8_t>(interval >> 8),
                                                           static_cast<uint8_t>(interval & 0xFF)}); }
};

// One 8-bit grey component, id 1, quantisation table 0.
inline std::vector<Component> grey(int h = 1, int v = 1) { return {{1, h, v, 0}}; }
// Three components, ids 1 2 3, luma sampled h x v, chroma with table 1.
inline std::vector<Component> ycc(int h, int v) { return {{1, h, v, 0}, {2, 1, 1, 1}, {3, 1, 1, 1}}; }

// The head of a sequential stream: SOI, flat quantisation tables 0 and 1,
// the standard test tables (DC 0, AC 0 and DC 1, AC 1), the frame header.
inline Stream sequential_head(int width, int height, const std::vector<Component>& comps,
                              int q0 = 1, int q1 = 1) {
    Stream s;
    s.soi().dqt_flat(0, q0).dqt_flat(1, q1);
    s.dht(0, 0, dc_def()).dht(1, 0, ac_def()).dht(0, 1, dc_def()).dht(1, 1, ac_def());
    s.sof(0xC0, width, height, comps);
    return s;
}

// The scan header naming every component of `comps` in frame order, with
// DC/AC tables 0 for the first component and 1 for the others.
inline std::vector<ScanComponent> all_components(const std::vector<Component>& comps) {
    std::vector<ScanComponent> out;
    for (size_t i = 0; i < comps.size(); ++i)
        out.push_back({comps[i].id, i == 0 ? 0 : 1, i == 0 ? 0 : 1});
    return out;
}

}  // namespace jt

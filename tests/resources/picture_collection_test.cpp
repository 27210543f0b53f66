// The stored picture collection: the segment layout of every picture, the
// frame headers, the spread of heights and sizes.
#include <gtest/gtest.h>

#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "app/catalog.h"
#include "platform/resource_store.h"

namespace {

ResourceBytes picture(int id) {
    ResourceBytes bytes{nullptr, 0};
    EXPECT_TRUE(find_resource(resource_type_raw_data, static_cast<uint16_t>(id), &bytes)) << id;
    return bytes;
}

struct Segment {
    uint8_t marker;
    const uint8_t* body;  // after the length field
    size_t length;        // body bytes
};

// Splits a picture into its header segments up to and including the scan
// header; *scan_end is the offset of the entropy-coded data. Records a test
// failure and returns what it has when the layout is broken.
std::vector<Segment> header_segments(ResourceBytes f, size_t* scan_end) {
    std::vector<Segment> out;
    size_t p = 2;
    while (p + 4 <= f.size) {
        if (f.data[p] != 0xFF) {
            ADD_FAILURE() << "no marker at " << p;
            break;
        }
        uint8_t m = f.data[p + 1];
        size_t len = static_cast<size_t>(f.data[p + 2] << 8 | f.data[p + 3]);
        if (len < 2 || p + 2 + len > f.size) {
            ADD_FAILURE() << "bad segment length at " << p;
            break;
        }
        out.push_back(Segment{m, f.data + p + 4, len - 2});
        p += 2 + len;
        if (m == 0xDA) break;
    }
    *scan_end = p;
    return out;
}

int frame_height(ResourceBytes f) {
    size_t end = 0;
    for (const Segment& s : header_segments(f, &end))
        if (s.marker == 0xC0 && s.length >= 3) return s.body[1] << 8 | s.body[2];
    return -1;
}

TEST(PictureCollection, EverySegmentSequenceIsExact) {
    for (int id = first_picture_id; id <= last_picture_id; ++id) {
        SCOPED_TRACE(id);
        ResourceBytes f = picture(id);
        ASSERT_GE(f.size, 4u);
        ASSERT_EQ(f.data[0], 0xFF);
        ASSERT_EQ(f.data[1], 0xD8);
        size_t scan_end = 0;
        std::vector<Segment> segs = header_segments(f, &scan_end);
        const uint8_t order[] = {0xE0, 0xDB, 0xDB, 0xC0, 0xC4, 0xC4, 0xC4, 0xC4, 0xDA};
        ASSERT_EQ(segs.size(), sizeof order);
        for (size_t i = 0; i < sizeof order; ++i) ASSERT_EQ(segs[i].marker, order[i]) << i;

        // JFIF 1.01, no density units, 1:1, no thumbnail.
        const uint8_t jfif[14] = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
        ASSERT_EQ(segs[0].length, 14u);
        EXPECT_EQ(std::memcmp(segs[0].body, jfif, 14), 0);
        // One 8-bit table in each quantisation segment: tables 0 then 1.
        for (int t = 0; t < 2; ++t) {
            ASSERT_EQ(segs[1 + t].length, 65u);
            EXPECT_EQ(segs[1 + t].body[0], t);
        }
        // Baseline frame: 8-bit, 240 wide, Y 2x2 on table 0, Cb and Cr 1x1 on table 1.
        ASSERT_EQ(segs[3].length, 15u);
        const uint8_t* sof = segs[3].body;
        EXPECT_EQ(sof[0], 8);
        int height = sof[1] << 8 | sof[2];
        EXPECT_GE(height, 120);
        EXPECT_LE(height, 250);
        EXPECT_EQ(sof[3] << 8 | sof[4], 240);
        ASSERT_EQ(sof[5], 3);
        const uint8_t comps[9] = {1, 0x22, 0, 2, 0x11, 1, 3, 0x11, 1};
        EXPECT_EQ(std::memcmp(sof + 6, comps, 9), 0);
        // One Huffman table per segment: DC 0, AC 0, DC 1, AC 1.
        const uint8_t tables[4] = {0x00, 0x10, 0x01, 0x11};
        for (int t = 0; t < 4; ++t) {
            const Segment& s = segs[4 + static_cast<size_t>(t)];
            ASSERT_GE(s.length, 17u);
            EXPECT_EQ(s.body[0], tables[t]);
            size_t codes = 0;
            for (int k = 1; k <= 16; ++k) codes += s.body[k];
            EXPECT_EQ(s.length, 17 + codes) << "more than one table in segment " << t;
        }
        // One interleaved scan over all three components, full spectrum.
        const uint8_t sos[10] = {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
        ASSERT_EQ(segs[8].length, 10u);
        EXPECT_EQ(std::memcmp(segs[8].body, sos, 10), 0);
        // Entropy-coded data: stuffed bytes only, no restart markers, then EOI.
        ASSERT_GE(f.size, scan_end + 2);
        EXPECT_EQ(f.data[f.size - 2], 0xFF);
        EXPECT_EQ(f.data[f.size - 1], 0xD9);
        for (size_t p = scan_end; p + 2 < f.size; ++p) {
            if (f.data[p] == 0xFF) {
                ASSERT_EQ(f.data[p + 1], 0x00) << "marker inside the scan at " << p;
                ++p;
            }
        }
    }
}

TEST(PictureCollection, HeightsAreSpreadAsPlanned) {
    int shorter = 0, exact = 0, taller = 0;
    std::vector<int> at_120, at_250;
    for (int id = first_picture_id; id <= last_picture_id; ++id) {
        int h = frame_height(picture(id));
        ASSERT_GE(h, 120) << id;
        ASSERT_LE(h, 250) << id;
        if (h < 160) ++shorter;
        else if (h == 160) ++exact;
        else ++taller;
        if (h == 120) at_120.push_back(id);
        if (h == 250) at_250.push_back(id);
    }
    EXPECT_EQ(shorter, 139);
    EXPECT_EQ(exact, 17);
    EXPECT_EQ(taller, 148);
    EXPECT_EQ(at_120, std::vector<int>{2054});
    EXPECT_EQ(at_250, std::vector<int>{2273});
}

TEST(PictureCollection, SizesInRangeAndAllDistinct) {
    size_t total = 0;
    std::set<std::string> seen;
    for (int id = first_picture_id; id <= last_picture_id; ++id) {
        ResourceBytes f = picture(id);
        EXPECT_GE(f.size, 3341u) << id;
        EXPECT_LE(f.size, 18707u) << id;
        total += f.size;
        // Compare the entropy-coded data, which differs between any two pictures.
        EXPECT_TRUE(seen.insert(std::string(reinterpret_cast<const char*>(f.data), f.size)).second)
            << id << " repeats an earlier picture";
    }
    // About 2.6 MB in all.
    EXPECT_GT(total, 2480000u);
    EXPECT_LT(total, 2750000u);
}

}  // namespace

// What the segments before the frame tell, through every interface: the
// embedded colour profile and the Exif orientation and data.
#include "marivue/jpeg.h"
#include "marivue/jpeg.hpp"

#include "tests/jpeg/api_helpers.h"
#include "tests/support/fixtures.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/picture_folder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

using namespace marivue::jpeg;
using namespace api_test;
using jt::icc_chunk;
using jt::tagged;

namespace {

// The profiles of Debian's icc-profiles-free package, which tools/setup.sh
// installs for the tests.
std::vector<uint8_t> profile(const char* name) { return e2e::read_file(std::string("/usr/share/color/icc/") + name); }

// Pictures tagged with real profiles, split into APP2 chunks in order and
// out of order, give the profile's exact bytes; a chunk missing, repeated,
// numbered 0 or beyond the count, counts that disagree, or an empty chunk
// give no profile. The Exif orientation and data come along; the pixels are
// the untagged picture's. Through Info, read_info and the C decoder.
TEST(JpegApi, ColourProfileAndExifFacts) {
    const std::vector<uint8_t> adobe = profile("compatibleWithAdobeRGB1998.icc"), srgb = profile("sRGB.icc"),
                               lab = profile("ITULab.icc");
    ASSERT_TRUE(adobe.size() > 500 && srgb.size() > 6000 && lab.size() > 6 * 65519);
    const std::vector<uint8_t> picture = fixture("base_2x2_241x161.jpg");
    // An APP1 segment with an Exif orientation of `type` (3 short, 4 long).
    const auto oriented = [](bool big, uint32_t type, uint32_t value) {
        return jt::Stream().segment(0xE1, e2e::exif_segment(big, {{0x112, type, 1, value}}, {})).bytes;
    };
    const std::vector<uint8_t> exif_app1 = oriented(false, 3, 6);
    const std::vector<uint8_t> xmp = jt::Stream().segment(0xE1, {'h', 't', 't', 'p', ':', '/', '/', 'n', 's'}).bytes;
    const size_t s1 = 2000, s2 = 4000, n = srgb.size();
    std::vector<std::vector<uint8_t>> lab_chunks;
    for (size_t from = 0, i = 1; from < lab.size(); from += 65519, i++)
        lab_chunks.push_back(icc_chunk(lab, from, std::min(lab.size(), from + 65519), static_cast<int>(i), 7));
    ASSERT_EQ(lab_chunks.size(), 7u);
    std::vector<std::vector<uint8_t>> lab_backwards(lab_chunks.rbegin(), lab_chunks.rend());
    struct Row {
        Row(const char* w, std::vector<std::vector<uint8_t>> s, std::vector<uint8_t> p, int o)
            : what(w), segments(std::move(s)), profile(std::move(p)), orientation(o) {}
        const char* what;
        std::vector<std::vector<uint8_t>> segments;
        std::vector<uint8_t> profile;
        int orientation;
    };
    const Row rows[] = {
        Row("untagged", {}, {}, 1),
        Row("one chunk", {icc_chunk(adobe, 0, adobe.size(), 1, 1)}, adobe, 1),
        Row("three chunks in order, with Exif",
            {exif_app1, icc_chunk(srgb, 0, s1, 1, 3), icc_chunk(srgb, s1, s2, 2, 3), icc_chunk(srgb, s2, n, 3, 3)},
            srgb, 6),
        Row("three chunks out of order, XMP between",
            {icc_chunk(srgb, s2, n, 3, 3), xmp, icc_chunk(srgb, 0, s1, 1, 3), icc_chunk(srgb, s1, s2, 2, 3)}, srgb, 1),
        Row("seven full-size chunks backwards", lab_backwards, lab, 1),
        Row("a chunk missing", {icc_chunk(srgb, 0, s1, 1, 3), icc_chunk(srgb, s2, n, 3, 3)}, {}, 1),
        Row("a chunk repeated",
            {icc_chunk(srgb, 0, s1, 1, 3), icc_chunk(srgb, s1, s2, 2, 3), icc_chunk(srgb, s1, s2, 2, 3),
             icc_chunk(srgb, s2, n, 3, 3)},
            {}, 1),
        Row("counts that disagree", {icc_chunk(srgb, 0, s1, 1, 2), icc_chunk(srgb, s1, n, 2, 3)}, {}, 1),
        Row("a chunk numbered 0", {icc_chunk(adobe, 0, adobe.size(), 0, 1)}, {}, 1),
        Row("a chunk numbered beyond the count", {icc_chunk(srgb, 0, s1, 1, 2), icc_chunk(srgb, s1, n, 3, 2)}, {}, 1),
        Row("a count of 0", {icc_chunk(adobe, 0, adobe.size(), 1, 0)}, {}, 1),
        Row("an empty chunk", {icc_chunk(srgb, 0, n, 1, 2), icc_chunk(srgb, n, n, 2, 2)}, {}, 1),
        Row("a chunk header cut short",
            {jt::Stream().segment(0xE2, {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0, 1}).bytes}, {}, 1),
        Row("Exif orientation 8, big-endian", {oriented(true, 3, 8)}, {}, 8),
        Row("Exif orientation 9 is out of range", {oriented(true, 3, 9)}, {}, 1),
        Row("Exif orientation as a long", {oriented(false, 4, 3)}, {}, 1),
    };
    const Streamed plain = stream(picture);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        const std::vector<uint8_t> data = tagged(picture, row.segments);
        Decoder decoder(data.data(), data.size());
        ASSERT_EQ(decoder.status(), 0);
        EXPECT_TRUE(decoder.info().icc_profile == row.profile) << decoder.info().icc_profile.size();
        EXPECT_EQ(decoder.info().orientation, row.orientation);
        const bool has_exif = !row.segments.empty() && row.segments[0][1] == 0xE1 && row.segments[0].size() > 20;
        EXPECT_EQ(decoder.info().exif.size(), has_exif ? row.segments[0].size() - 10 : 0u);
        Info info;
        ASSERT_EQ(read_info(data.data(), data.size(), info), 0);
        EXPECT_TRUE(info.icc_profile == row.profile);
        EXPECT_EQ(info.orientation, row.orientation);
        EXPECT_EQ(stream(data).rows, plain.rows);
        int status = 1;
        marivue_jpeg_decoder* c = marivue_jpeg_decoder_open_memory(data.data(), data.size(), nullptr, &status);
        size_t size = 99, exif_size = 99;
        const unsigned char* bytes = marivue_jpeg_decoder_icc_profile(c, &size);
        EXPECT_EQ(std::vector<uint8_t>(bytes, bytes + size), row.profile);
        EXPECT_EQ(bytes == nullptr, row.profile.empty());
        EXPECT_EQ(marivue_jpeg_decoder_orientation(c), row.orientation);
        const unsigned char* tiff = marivue_jpeg_decoder_exif(c, &exif_size);
        EXPECT_EQ(exif_size, decoder.info().exif.size());
        if (has_exif) {
            EXPECT_EQ(std::vector<uint8_t>(tiff, tiff + exif_size),
                      std::vector<uint8_t>(row.segments[0].begin() + 10, row.segments[0].end()));
        }
        marivue_jpeg_decoder_free(c);
    }
    EXPECT_EQ(marivue_jpeg_decoder_icc_profile(nullptr, nullptr), nullptr);
    EXPECT_EQ(marivue_jpeg_decoder_orientation(nullptr), 1);
}

}  // namespace

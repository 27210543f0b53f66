// make-pictures: paints the picture collection and the program icon.
//
//   make-pictures <resources-dir>
//
// Writes <resources-dir>/pictures/2000.jpg ... 2303.jpg,
// <resources-dir>/marivue.ico and the desktop's icons at 16 to 256 pixels,
// <resources-dir>/desktop/icons/marivue-SIZE.png. Every picture is painted
// from its own number with a private generator, so each run writes the
// same bytes.
#include <cerrno>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "picture_painter.h"

// jpeglib.h needs size_t and FILE declared first.
#include <jpeglib.h>
#include <png.h>

namespace {

constexpr int first_id = 2000;
constexpr int picture_count = 304;
constexpr int picture_width = 240;
constexpr int shortest_id = 2054;
constexpr int tallest_id = 2273;
constexpr size_t min_file_size = 3341;
constexpr size_t max_file_size = 18707;
constexpr size_t total_target = 2617239;

// ---------------------------------------------------------------------------
// Heights: 139 pictures below 160 rows, 17 of exactly 160, 148 above; the
// only 120-row picture is 2054 and the only 250-row picture 2273.
std::vector<int> plan_heights() {
    std::vector<int> pool;
    for (int i = 0; i < 138; ++i) pool.push_back(121 + static_cast<int>(i * 39 / 138));
    for (int i = 0; i < 17; ++i) pool.push_back(160);
    for (int i = 0; i < 147; ++i) pool.push_back(161 + static_cast<int>(i * 89 / 147));
    Rng rng(0x4d41524956554531ull);
    for (size_t i = pool.size() - 1; i > 0; --i) {
        size_t j = rng.below(static_cast<uint32_t>(i + 1));
        std::swap(pool[i], pool[j]);
    }
    std::vector<int> heights(picture_count);
    size_t next = 0;
    for (int n = 0; n < picture_count; ++n) {
        int id = first_id + n;
        if (id == shortest_id)
            heights[n] = 120;
        else if (id == tallest_id)
            heights[n] = 250;
        else
            heights[n] = pool[next++];
    }
    return heights;
}

// Target file sizes: a spread of detail levels scaled so the collection adds
// up to the planned total, kept inside the allowed range.
std::vector<size_t> plan_sizes(const std::vector<int>& heights) {
    Rng rng(0x53495a4553ull);
    std::vector<double> weight(picture_count);
    double sum = 0;
    for (int n = 0; n < picture_count; ++n) {
        double detail = 0.45 + 1.1 * rng.uniform();
        weight[n] = detail * heights[n] / 180.0;
        sum += weight[n];
    }
    std::vector<size_t> sizes(picture_count);
    double scale = static_cast<double>(total_target) / sum;
    for (int n = 0; n < picture_count; ++n) {
        double s = weight[n] * scale;
        if (s < min_file_size + 150.0) s = min_file_size + 150.0;
        if (s > max_file_size - 300.0) s = max_file_size - 300.0;
        sizes[n] = static_cast<size_t>(s);
    }
    sizes[shortest_id - first_id] = min_file_size;
    sizes[tallest_id - first_id] = max_file_size;
    return sizes;
}

// How much fine detail a picture gets: more for a larger target per pixel,
// so that the quality search lands near its target.
double detail_for(size_t target, int height) {
    double per_pixel = static_cast<double>(target) / (picture_width * height);
    double lo = 0.115, hi = 0.31;  // bytes per pixel of the smallest and largest targets
    double d = (per_pixel - lo) / (hi - lo);
    return d < 0 ? 0 : (d > 1 ? 1 : d);
}

// ---------------------------------------------------------------------------
// JPEG encoding through libjpeg into memory.

struct ErrorTrap {
    jpeg_error_mgr mgr;
};

[[noreturn]] void on_jpeg_error(j_common_ptr cinfo) {
    char text[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, text);
    std::fprintf(stderr, "make-pictures: libjpeg: %s\n", text);
    std::exit(1);
}

// The example quantisation tables of the JPEG standard (Annex K), in
// natural order; they are scaled per picture.
const unsigned int luma_table[64] = {16, 11, 10, 16, 24,  40,  51,  61,  12, 12, 14, 19, 26,  58,  60,  55,
                                     14, 13, 16, 24, 40,  57,  69,  56,  14, 17, 22, 29, 51,  87,  80,  62,
                                     18, 22, 37, 56, 68,  109, 103, 77,  24, 35, 55, 64, 81,  104, 113, 92,
                                     49, 64, 78, 87, 103, 121, 120, 101, 72, 92, 95, 98, 112, 100, 103, 99};
const unsigned int chroma_table[64] = {17, 18, 24, 47, 99, 99, 99, 99, 18, 21, 26, 66, 99, 99, 99, 99,
                                       24, 26, 56, 99, 99, 99, 99, 99, 47, 66, 99, 99, 99, 99, 99, 99,
                                       99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99,
                                       99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99, 99};

// Scales a table by `permille` / 1000, kept within 1..255 (8-bit tables).
void scaled_table(const unsigned int* base, int permille, unsigned int* out) {
    for (int i = 0; i < 64; ++i) {
        long v = (static_cast<long>(base[i]) * permille + 500) / 1000;
        out[i] = static_cast<unsigned int>(v < 1 ? 1 : (v > 255 ? 255 : v));
    }
}

std::vector<uint8_t> encode(const Image& img, int scale_permille) {
    jpeg_compress_struct cinfo;
    ErrorTrap trap;
    cinfo.err = jpeg_std_error(&trap.mgr);
    trap.mgr.error_exit = on_jpeg_error;
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    jpeg_mem_dest(&cinfo, &out, &out_size);
    cinfo.image_width = static_cast<JDIMENSION>(img.width);
    cinfo.image_height = static_cast<JDIMENSION>(img.height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    unsigned int luma[64], chroma[64];
    scaled_table(luma_table, scale_permille, luma);
    scaled_table(chroma_table, scale_permille, chroma);
    jpeg_add_quant_table(&cinfo, 0, luma, 100, TRUE);
    jpeg_add_quant_table(&cinfo, 1, chroma, 100, TRUE);
    cinfo.optimize_coding = TRUE;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.restart_interval = 0;
    cinfo.restart_in_rows = 0;
    cinfo.write_JFIF_header = TRUE;
    cinfo.JFIF_major_version = 1;
    cinfo.JFIF_minor_version = 1;
    cinfo.density_unit = 0;
    cinfo.X_density = 1;
    cinfo.Y_density = 1;
    cinfo.write_Adobe_marker = FALSE;
    cinfo.comp_info[0].h_samp_factor = 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    cinfo.comp_info[1].h_samp_factor = 1;
    cinfo.comp_info[1].v_samp_factor = 1;
    cinfo.comp_info[2].h_samp_factor = 1;
    cinfo.comp_info[2].v_samp_factor = 1;
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(img.width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < img.width; ++x) {
            const float* p = img.at(x, y);
            for (int c = 0; c < 3; ++c) {
                float v = p[c] * 255.0f + 0.5f;
                row[static_cast<size_t>(x) * 3 + c] = static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
            }
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + out_size);
    jpeg_destroy_compress(&cinfo);
    std::free(out);
    return bytes;
}

// Checks the segment layout every stored picture must have; returns an
// empty string when it holds, else what is wrong.
std::string check_layout(const std::vector<uint8_t>& f, int height) {
    size_t p = 0;
    auto u16 = [&](size_t at) { return static_cast<int>(f[at] << 8 | f[at + 1]); };
    if (f.size() < 4 || f[0] != 0xFF || f[1] != 0xD8) return "no SOI";
    p = 2;
    struct Want {
        int marker;
        int first_byte;
    };
    const Want want[] = {{0xE0, -1},   {0xDB, 0x00}, {0xDB, 0x01}, {0xC0, -1}, {0xC4, 0x00},
                         {0xC4, 0x10}, {0xC4, 0x01}, {0xC4, 0x11}, {0xDA, -1}};
    for (const Want& w : want) {
        if (p + 4 > f.size() || f[p] != 0xFF) return "segment expected";
        if (f[p + 1] != w.marker) return "unexpected marker order";
        int len = u16(p + 2);
        if (p + 2 + static_cast<size_t>(len) > f.size()) return "segment overruns file";
        const uint8_t* s = &f[p + 4];
        if (w.first_byte >= 0 && s[0] != w.first_byte) return "table class or id wrong";
        if (w.marker == 0xE0) {
            const uint8_t jfif[14] = {'J', 'F', 'I', 'F', 0, 1, 1, 0, 0, 1, 0, 1, 0, 0};
            if (len != 16 || std::memcmp(s, jfif, 14) != 0) return "JFIF header wrong";
        }
        if (w.marker == 0xDB && len != 67) return "quantisation table not 8-bit";
        if (w.marker == 0xC0) {
            const uint8_t sof[15] = {8,
                                     static_cast<uint8_t>(height >> 8),
                                     static_cast<uint8_t>(height & 0xFF),
                                     0,
                                     240,
                                     3,
                                     1,
                                     0x22,
                                     0,
                                     2,
                                     0x11,
                                     1,
                                     3,
                                     0x11,
                                     1};
            if (len != 17 || std::memcmp(s, sof, 15) != 0) return "frame header wrong";
        }
        if (w.marker == 0xDA) {
            const uint8_t sos[10] = {3, 1, 0x00, 2, 0x11, 3, 0x11, 0, 63, 0};
            if (len != 12 || std::memcmp(s, sos, 10) != 0) return "scan header wrong";
        }
        p += 2 + static_cast<size_t>(len);
    }
    // Entropy-coded data: only stuffed zero bytes may follow 0xFF until EOI.
    for (; p + 1 < f.size(); ++p) {
        if (f[p] != 0xFF) continue;
        if (f[p + 1] == 0x00) {
            ++p;
            continue;
        }
        if (f[p + 1] == 0xD9 && p + 2 == f.size()) return "";
        return "marker inside entropy-coded data";
    }
    return "no EOI";
}

// Finds the quality scale whose file comes closest to `target` without
// leaving the allowed range.
std::vector<uint8_t> encode_to_size(const Image& img, size_t target) {
    std::vector<uint8_t> best;
    size_t best_error = SIZE_MAX;
    // Keeps the closest in-range result; returns the size at this scale.
    auto consider = [&](int scale) {
        std::vector<uint8_t> bytes = encode(img, scale);
        size_t size = bytes.size();
        size_t err = size > target ? size - target : target - size;
        bool in_range = size >= min_file_size && size <= max_file_size;
        bool best_in_range = !best.empty() && best.size() >= min_file_size && best.size() <= max_file_size;
        if (best.empty() || (in_range && !best_in_range) || (in_range == best_in_range && err < best_error)) {
            best = std::move(bytes);
            best_error = err;
        }
        return size;
    };
    // File size falls, not quite monotonically, as the table scale rises:
    // a binary search, then a look at the neighbours of where it ended.
    int lo = 1, hi = 60000;  // table scale in thousandths
    int last = 1;
    while (lo <= hi) {
        int mid = (lo + hi) / 2;
        last = mid;
        if (consider(mid) > target)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    for (int d = -24; d <= 24; ++d)
        if (d != 0 && last + d >= 1) consider(last + d);
    return best;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "make-pictures: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::fprintf(stderr, "make-pictures: short write on %s\n", path.c_str());
    return ok;
}

// A `size` x `size` RGB image as a PNG file.
bool write_png(const std::string& path, int size, const std::vector<uint8_t>& rgb) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::fprintf(stderr, "make-pictures: cannot write %s: %s\n", path.c_str(), std::strerror(errno));
        return false;
    }
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    bool ok = info != nullptr && setjmp(png_jmpbuf(png)) == 0;
    if (ok) {
        png_init_io(png, f);
        png_set_IHDR(png, info, static_cast<png_uint_32>(size), static_cast<png_uint_32>(size), 8, PNG_COLOR_TYPE_RGB,
                     PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        png_write_info(png, info);
        for (int y = 0; y < size; ++y)
            png_write_row(png, rgb.data() + static_cast<size_t>(y) * static_cast<size_t>(size) * 3);
        png_write_end(png, nullptr);
    }
    png_destroy_write_struct(&png, &info);
    ok = std::fclose(f) == 0 && ok;
    if (!ok) std::fprintf(stderr, "make-pictures: cannot write %s\n", path.c_str());
    return ok;
}

}  // namespace

// A folder of photographs to show the photo view with (tools/screenshots.sh):
// `count` of the collection's scenes painted at 1500 x 1000 with full detail.
int write_photos(const std::string& dir, int count) {
    std::error_code ignored;
    std::filesystem::create_directories(dir, ignored);
    for (int n = 0; n < count; ++n) {
        const int id = first_id + n * (picture_count / count);
        const Image img = paint_picture(id, 1500, 1000, 1.0);
        if (!write_file(dir + "/" + std::to_string(id) + ".jpg", encode(img, 250))) return 1;
    }
    std::printf("make-pictures: %d photographs in %s\n", count, dir.c_str());
    return 0;
}

int main(int argc, char** argv) {
    if ((argc == 3 || argc == 4) && std::strcmp(argv[1], "--photos") == 0) {
        const int count = argc == 4 ? std::atoi(argv[3]) : 6;
        if (count < 1 || count > picture_count) {
            std::fprintf(stderr, "make-pictures: --photos takes 1 to %d pictures\n", picture_count);
            return 2;
        }
        return write_photos(argv[2], count);
    }
    if (argc != 2 && argc != 3) {
        std::fprintf(stderr,
                     "usage: make-pictures <resources-dir> [picture-id]\n"
                     "       make-pictures --photos <dir> [count]\n");
        return 2;
    }
    std::string dir = argv[1];
    int only = argc == 3 ? std::atoi(argv[2]) : 0;
    std::vector<int> heights = plan_heights();
    std::vector<size_t> sizes = plan_sizes(heights);
    size_t total = 0;
    for (int n = 0; n < picture_count; ++n) {
        int id = first_id + n;
        if (only && id != only) continue;
        Image img = paint_picture(id, picture_width, heights[n], detail_for(sizes[n], heights[n]));
        std::vector<uint8_t> bytes = encode_to_size(img, sizes[n]);
        std::string problem = check_layout(bytes, heights[n]);
        if (!problem.empty()) {
            std::fprintf(stderr, "make-pictures: picture %d: %s\n", id, problem.c_str());
            return 1;
        }
        if (bytes.size() < min_file_size || bytes.size() > max_file_size) {
            std::fprintf(stderr, "make-pictures: picture %d: %zu bytes is out of range\n", id, bytes.size());
            return 1;
        }
        total += bytes.size();
        if (!write_file(dir + "/pictures/" + std::to_string(id) + ".jpg", bytes)) return 1;
    }
    if (!only) {
        if (!write_file(dir + "/marivue.ico", make_icon())) return 1;
        // The desktop's icon theme wants the icon at these sizes.
        std::error_code ignored;
        std::filesystem::create_directories(dir + "/desktop/icons", ignored);
        for (int size : {16, 24, 32, 48, 64, 128, 256})
            if (!write_png(dir + "/desktop/icons/marivue-" + std::to_string(size) + ".png", size, icon_rgb(size)))
                return 1;
        std::printf("make-pictures: %d pictures, %zu bytes\n", picture_count, total);
    }
    return 0;
}

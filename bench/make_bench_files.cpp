// Writes the large photographs the benchmark decodes, painted by the
// collection's painter and encoded at quality 90:
//
//   large, large-progressive, grey   1920 x 1080 and 4000 x 3000 with fine
//                                    detail, 4:2:0 (grey: one component)
//   detailed-420, detailed-444       12 megapixels (4000 x 3000) of fine
//   (-progressive)                   detail and grain, over 2 bits a pixel
//   smooth-420, smooth-444           24 and 33 megapixels (6000 x 4000,
//   (-progressive)                   7680 x 4320) of soft water, blur and
//                                    gradients, under half a bit a pixel
//
// A smooth picture is painted at a quarter of its sides without grain and
// enlarged four times with a cubic filter, as a soft photograph from a
// large sensor is: its blocks carry few coefficients.
//
//   make-bench-files OUTPUT_DIR
//
// Files that already exist are kept, since painting the large ones takes a
// while; the same arguments always give the same files.
#include "tools/picture_painter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

enum class Sampling { s420, s444, grey };

struct Variant {
    const char* set;
    Sampling sampling;
    bool progressive;
};

struct Picture {
    int id, width, height;
    int enlarge;  // painted at width / enlarge, then enlarged
    double detail;
    std::vector<Variant> variants;
};

void write_jpeg(const std::filesystem::path& path, const Image& image, Sampling sampling, bool progressive) {
    const bool grey = sampling == Sampling::grey;
    std::vector<uint8_t> samples(static_cast<size_t>(image.width) * image.height * (grey ? 1 : 3));
    for (int y = 0; y < image.height; y++)
        for (int x = 0; x < image.width; x++) {
            const float* p = image.at(x, y);
            auto to_byte = [](float v) { return static_cast<uint8_t>(std::clamp(v * 255.0f + 0.5f, 0.0f, 255.0f)); };
            size_t i = static_cast<size_t>(y) * image.width + x;
            if (grey)
                samples[i] = to_byte(0.299f * p[0] + 0.587f * p[1] + 0.114f * p[2]);
            else
                for (int c = 0; c < 3; c++) samples[3 * i + c] = to_byte(p[c]);
        }
    FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        std::perror(path.c_str());
        std::exit(1);
    }
    jpeg_compress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_compress(&cinfo);
    jpeg_stdio_dest(&cinfo, out);
    cinfo.image_width = static_cast<JDIMENSION>(image.width);
    cinfo.image_height = static_cast<JDIMENSION>(image.height);
    cinfo.input_components = grey ? 1 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (!grey) {
        const int factor = sampling == Sampling::s420 ? 2 : 1;
        cinfo.comp_info[0].h_samp_factor = factor;
        cinfo.comp_info[0].v_samp_factor = factor;
    }
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    const size_t stride = static_cast<size_t>(image.width) * cinfo.input_components;
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = samples.data() + stride * cinfo.next_scanline;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::fclose(out);
}

// The Catmull-Rom weights of the four samples around a point `t` (0..1)
// past the second.
void cubic_weights(double t, double w[4]) {
    const double t2 = t * t, t3 = t2 * t;
    w[0] = 0.5 * (-t3 + 2 * t2 - t);
    w[1] = 0.5 * (3 * t3 - 5 * t2 + 2);
    w[2] = 0.5 * (-3 * t3 + 4 * t2 + t);
    w[3] = 0.5 * (t3 - t2);
}

// `small` enlarged `factor` times in each direction with a separable cubic
// filter, then a faint grain of its own (a soft photograph's noise, much of
// it below one level of the 8-bit samples).
Image enlarge(const Image& small, int factor, uint64_t seed) {
    const int w = small.width * factor, h = small.height * factor;
    // Across first, into rows of the small height.
    Image across(w, small.height);
    for (int x = 0; x < w; x++) {
        const double u = (x + 0.5) / factor - 0.5;
        const int i = static_cast<int>(std::floor(u));
        double wt[4];
        cubic_weights(u - i, wt);
        for (int y = 0; y < small.height; y++) {
            float* out = across.at(x, y);
            for (int c = 0; c < 3; c++) {
                double sum = 0;
                for (int k = 0; k < 4; k++) sum += wt[k] * small.at(std::clamp(i - 1 + k, 0, small.width - 1), y)[c];
                out[c] = static_cast<float>(sum);
            }
        }
    }
    Image big(w, h);
    Rng rng(seed);
    for (int y = 0; y < h; y++) {
        const double v = (y + 0.5) / factor - 0.5;
        const int j = static_cast<int>(std::floor(v));
        double wt[4];
        cubic_weights(v - j, wt);
        const float* rows[4];
        for (int k = 0; k < 4; k++) rows[k] = across.at(0, std::clamp(j - 1 + k, 0, small.height - 1));
        for (int x = 0; x < w; x++) {
            const float grain = static_cast<float>((rng.uniform() + rng.uniform() - 1.0) * 0.0015);
            float* out = big.at(x, y);
            for (int c = 0; c < 3; c++) {
                double sum = 0;
                for (int k = 0; k < 4; k++) sum += wt[k] * rows[k][3 * x + c];
                out[c] = static_cast<float>(sum) + grain;
            }
        }
    }
    return big;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-bench-files OUTPUT_DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    const std::vector<Variant> large = {
        {"large", Sampling::s420, false}, {"large-progressive", Sampling::s420, true}, {"grey", Sampling::grey, false}};
    const std::vector<Variant> detailed = {{"detailed-420", Sampling::s420, false},
                                           {"detailed-420-progressive", Sampling::s420, true},
                                           {"detailed-444", Sampling::s444, false},
                                           {"detailed-444-progressive", Sampling::s444, true}};
    const std::vector<Variant> smooth = {{"smooth-420", Sampling::s420, false},
                                         {"smooth-420-progressive", Sampling::s420, true},
                                         {"smooth-444", Sampling::s444, false},
                                         {"smooth-444-progressive", Sampling::s444, true}};
    std::vector<Variant> large_and_detailed = large;
    large_and_detailed.insert(large_and_detailed.end(), detailed.begin(), detailed.end());
    const Picture pictures[] = {
        {2010, 1920, 1080, 1, 1.0, large},
        {2150, 1920, 1080, 1, 1.0, large},
        {2240, 4000, 3000, 1, 1.0, large_and_detailed},
        {2290, 4000, 3000, 1, 1.0, detailed},
        {2061, 6000, 4000, 4, 0.0, smooth},
        {2023, 7680, 4320, 4, 0.0, smooth},
    };
    for (const Picture& p : pictures) {
        const std::string name =
            std::to_string(p.id) + "_" + std::to_string(p.width) + "x" + std::to_string(p.height) + ".jpg";
        bool missing = false;
        for (const Variant& v : p.variants) {
            std::filesystem::create_directories(root / v.set);
            missing = missing || !std::filesystem::exists(root / v.set / name);
        }
        if (!missing) continue;
        std::printf("painting %s\n", name.c_str());
        std::fflush(stdout);
        Image image = paint_picture(p.id, p.width / p.enlarge, p.height / p.enlarge, p.detail);
        if (p.enlarge != 1) image = enlarge(image, p.enlarge, static_cast<uint64_t>(p.id));
        for (const Variant& v : p.variants) write_jpeg(root / v.set / name, image, v.sampling, v.progressive);
    }
    return 0;
}

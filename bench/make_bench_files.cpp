// Writes the large photographs the benchmark decodes: pictures of the
// collection's painter at 1920 x 1080 and 4000 x 3000 with fine detail,
// encoded at quality 90 with 4:2:0 sampling, baseline and progressive, and
// the same scenes in grey.
//
//   make-bench-files OUTPUT_DIR
//
// Files that already exist are kept, since painting the large ones takes a
// while; the same arguments always give the same files.
#include "tools/picture_painter.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include <jpeglib.h>
#include <filesystem>
#include <string>
#include <vector>

namespace {

void write_jpeg(const std::filesystem::path& path, const Image& image, bool grey, bool progressive) {
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
        cinfo.comp_info[0].h_samp_factor = 2;
        cinfo.comp_info[0].v_samp_factor = 2;
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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make-bench-files OUTPUT_DIR\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    struct Picture {
        int id, width, height;
    } pictures[] = {{2010, 1920, 1080}, {2150, 1920, 1080}, {2240, 4000, 3000}};
    const char* sets[] = {"large", "large-progressive", "grey"};
    for (const char* set : sets) std::filesystem::create_directories(root / set);
    for (const Picture& p : pictures) {
        const std::string name =
            std::to_string(p.id) + "_" + std::to_string(p.width) + "x" + std::to_string(p.height) + ".jpg";
        bool missing = false;
        for (const char* set : sets) missing = missing || !std::filesystem::exists(root / set / name);
        if (!missing) continue;
        std::printf("painting %s\n", name.c_str());
        std::fflush(stdout);
        Image image = paint_picture(p.id, p.width, p.height, 1.0);
        write_jpeg(root / "large" / name, image, false, false);
        write_jpeg(root / "large-progressive" / name, image, false, true);
        write_jpeg(root / "grey" / name, image, true, false);
    }
    return 0;
}

// Runs the jpeg-decode command as a process, and reads back what it wrote:
// its exit status and output texts, PNG files through libpng.
#pragma once

#include "tests/support/fixtures.h"

#include <png.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <sys/stat.h>
#include <sys/wait.h>

namespace command_test {

struct Ran {
    int exit_code = -1;
    std::string out, err;
};

inline std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Runs the command through the shell in `dir`, standard input from `input`
// (a file, /dev/null when empty) or, with `pipe`, from that file through a
// pipe, so that it arrives in pieces; `shell` goes before it (ulimit).
inline Ran run(const std::string& dir, const std::vector<std::string>& args, const std::string& input = "",
               bool pipe = false, const std::string& shell = "") {
    std::string command = shell + (pipe ? "cat '" + input + "' | " : "");
    command += std::string("'") + JPEG_DECODE_PATH + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    if (!pipe) command += " < '" + (input.empty() ? std::string("/dev/null") : input) + "'";
    command += " > '" + dir + "/.out' 2> '" + dir + "/.err'";
    const int status = std::system(command.c_str());
    Ran r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text(e2e::read_file(dir + "/.out")),
          text(e2e::read_file(dir + "/.err"))};
    std::filesystem::remove(dir + "/.out"), std::filesystem::remove(dir + "/.err");
    return r;
}

inline bool matches(const std::string& got, const std::string& want) {  // exact, or a part of it after '~'
    return want.starts_with("~") ? got.find(want.substr(1)) != std::string::npos : got == want;
}

inline std::string long_name(size_t bytes) { return std::string(bytes - 4, 'n') + ".ppm"; }

inline mode_t mode_of(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0 ? info.st_mode : 0;
}

// A PNG file's samples through libpng, as RGB or grey as stored, in the
// PPM or PGM file they make.
inline std::string pnm_from_png(const std::string& path) {
    png_image image{};
    image.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&image, path.c_str())) return "";
    const bool grey = (image.format & PNG_FORMAT_FLAG_COLOR) == 0;
    image.format = grey ? PNG_FORMAT_GRAY : PNG_FORMAT_RGB;
    std::string samples(PNG_IMAGE_SIZE(image), '\0');
    if (!png_image_finish_read(&image, nullptr, samples.data(), 0, nullptr)) return "";
    return std::string(grey ? "P5\n" : "P6\n") + std::to_string(image.width) + " " + std::to_string(image.height) +
           "\n255\n" + samples;
}

// The name and bytes of a PNG file's iCCP chunk, read back with libpng; ""
// without one.
inline std::string iccp_of(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return "no file";
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_read_info(png, info);
    png_charp name = nullptr;
    png_bytep bytes = nullptr;
    png_uint_32 size = 0;
    int compression = 0;
    std::string chunk;
    if (png_get_iCCP(png, info, &name, &compression, &bytes, &size) != 0)
        chunk = name + (": " + std::string(bytes, bytes + size));
    png_destroy_read_struct(&png, &info, nullptr);
    std::fclose(file);
    return chunk;
}

}  // namespace command_test

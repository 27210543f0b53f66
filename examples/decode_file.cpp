// decode_file: decodes a JPEG file in one call and writes it as a binary PPM.
//   decode_file INPUT OUTPUT
#include <marivue/jpeg.hpp>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: decode_file INPUT OUTPUT\n");
        return 2;
    }
    marivue::jpeg::Image image;
    const int status = marivue::jpeg::decode_file(argv[1], image, marivue::jpeg::PixelFormat::rgb);
    if (status != 0) {
        std::fprintf(stderr, "decode_file: %s: %s (%d): %s\n", argv[1], marivue::jpeg::status_name(status), status,
                     marivue::jpeg::status_message(status));
        return 1;
    }
    std::printf("%s: %d x %d%s\n", argv[1], image.width, image.height, image.complete ? "" : ", data ended early");
    std::FILE* out = std::fopen(argv[2], "wb");
    bool written = out != nullptr && std::fprintf(out, "P6\n%d %d\n255\n", image.width, image.height) > 0 &&
                   std::fwrite(image.pixels.data(), 1, image.pixels.size(), out) == image.pixels.size();
    if (out != nullptr) written = std::fclose(out) == 0 && written;
    if (!written) std::perror(argv[2]);
    return written ? 0 : 2;
}

// decode_to_ppm: decodes a JPEG file with the installed Marivue decoder and
// writes it as a binary PPM (colour) or PGM (grey) file.
//
//   decode_to_ppm INPUT OUTPUT
//
// Exit status: 0 success, 1 the picture could not be decoded, 2 bad usage or
// a file that could not be opened or written.
#include <marivue/jpeg/byte_source.h>
#include <marivue/jpeg/decoder.h>
#include <marivue/jpeg/status.h>

#include <cstdint>
#include <cstdio>
#include <memory>
#include <new>
#include <vector>

using namespace marivue::jpeg;

namespace {

// Decodes the whole picture into `pixels` (3 bytes per pixel for colour, 1
// for grey). Returns 0, or the failing DecodeStatus.
int32_t decode(std::FILE* input, std::vector<uint8_t>& pixels, int32_t& width, int32_t& height, int32_t& channels) {
    // The record is large (tens of kilobytes): it belongs on the heap.
    std::unique_ptr<JpegDecoder> decoder(new (std::nothrow) JpegDecoder);
    if (!decoder) return OutOfMemory;
    // Never hold more than 256 MiB for one picture, whatever its headers say.
    decoder->memory_limit = size_t{256} << 20;

    FileByteSource source(input);
    open_decoder(*decoder, source);
    int32_t result = decoder->status;
    if (result == StatusOk && begin(*decoder) != 0) result = decoder->status;
    if (result == StatusOk) {
        width = decoder->image_width;
        height = decoder->image_height;
        // One byte of grey, or red, green, blue and a fourth byte that is 0.
        const int32_t in_bytes = decoder->bytes_per_pixel;
        channels = in_bytes == 1 ? 1 : 3;
        pixels.resize(static_cast<size_t>(width) * static_cast<size_t>(height) * channels);
        uint8_t* out = pixels.data();
        const uint8_t* row = nullptr;
        int32_t row_bytes = 0;
        int32_t step = 0;
        while ((step = decode_row(*decoder, &row, &row_bytes)) == 0) {
            for (int32_t x = 0; x < width; ++x) {
                for (int32_t c = 0; c < channels; ++c) *out++ = row[x * in_bytes + c];
            }
        }
        if (step != 1) result = decoder->status;
    }
    // The source must outlive free_pool, which lets it go.
    free_pool(*decoder);
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: decode_to_ppm INPUT OUTPUT\n");
        return 2;
    }
    std::FILE* input = std::fopen(argv[1], "rb");
    if (input == nullptr) {
        std::perror(argv[1]);
        return 2;
    }
    std::vector<uint8_t> pixels;
    int32_t width = 0;
    int32_t height = 0;
    int32_t channels = 0;
    const int32_t status = decode(input, pixels, width, height, channels);
    std::fclose(input);
    if (status != StatusOk) {
        std::fprintf(stderr, "decode_to_ppm: %s: %s (%d): %s\n", argv[1], status_name(status), static_cast<int>(status),
                     status_message(status));
        return 1;
    }

    std::FILE* output = std::fopen(argv[2], "wb");
    if (output == nullptr) {
        std::perror(argv[2]);
        return 2;
    }
    std::fprintf(output, "P%c\n%d %d\n255\n", channels == 3 ? '6' : '5', static_cast<int>(width),
                 static_cast<int>(height));
    const bool written = std::fwrite(pixels.data(), 1, pixels.size(), output) == pixels.size();
    if (std::fclose(output) != 0 || !written) {
        std::fprintf(stderr, "decode_to_ppm: %s: write failed\n", argv[2]);
        std::remove(argv[2]);
        return 2;
    }
    return 0;
}

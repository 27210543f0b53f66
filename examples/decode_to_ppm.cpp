// decode_to_ppm: decodes a JPEG file row by row with the installed Marivue
// decoder and writes it as a binary PPM (colour) or PGM (grey) file, each
// row as it comes, so that only one row of pixels is held at a time.
//
//   decode_to_ppm INPUT OUTPUT
//
// Exit status: 0 success, 1 the picture could not be decoded, 2 bad usage or
// a file that could not be opened or written.
#include <marivue/jpeg.hpp>

#include <cstdint>
#include <cstdio>
#include <vector>

using namespace marivue::jpeg;

namespace {

int report(const char* input, const Decoder& decoder) {
    std::fprintf(stderr, "decode_to_ppm: %s: %s (%d): %s\n", input, status_name(decoder.status()), decoder.status(),
                 decoder.message());
    return 1;
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
    int status = 0;
    {
        // The source must outlive the decoder, which reads from it until it
        // is destroyed.
        FileByteSource source(input);
        Decoder decoder(source);  // reads up to the frame header
        const Info& info = decoder.info();
        const PixelFormat format = info.components == 1 ? PixelFormat::grey : PixelFormat::rgb;
        std::FILE* output = nullptr;
        if (decoder.status() != 0) {
            status = report(argv[1], decoder);
        } else if ((output = std::fopen(argv[2], "wb")) == nullptr) {
            std::perror(argv[2]);
            status = 2;
        } else {
            std::fprintf(output, "P%c\n%d %d\n255\n", format == PixelFormat::grey ? '5' : '6', info.width, info.height);
            std::vector<std::uint8_t> row(static_cast<size_t>(info.width) * channels_of(format));
            bool written = true;
            int result = 0;
            while ((result = decoder.next_row(row, format)) == 0)
                written = std::fwrite(row.data(), 1, row.size(), output) == row.size() && written;
            written = std::fclose(output) == 0 && written;
            if (result < 0) {
                status = report(argv[1], decoder);
            } else if (!written) {
                std::fprintf(stderr, "decode_to_ppm: %s: write failed\n", argv[2]);
                status = 2;
            } else if (!decoder.complete()) {
                std::fprintf(stderr, "decode_to_ppm: %s: the data ends early; the rest is filled in\n", argv[1]);
            }
            // No partial picture is left behind.
            if (status != 0) std::remove(argv[2]);
        }
    }
    std::fclose(input);
    return status;
}

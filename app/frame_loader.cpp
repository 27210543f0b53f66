#include "app/frame_loader.h"

#include "app/resource_byte_source.h"
#include "jpeg/decoder.h"

#include <cstdlib>
#include <cstring>
#include <new>

#if defined(__SSE2__) && defined(__GNUC__)
#define MARIVUE_FRAME_SHUFFLE 1
#include <tmmintrin.h>
#endif

using namespace marivue::jpeg;

void fill_bitmap_header(BitmapInfoHeader* header, int32_t width, int32_t height) {
    header->header_size = sizeof(BitmapInfoHeader);
    header->width = width;
    header->height = -height;  // negative: rows stored top-down
    header->planes = 1;
    header->bits_per_pixel = 24;
    header->compression = 0;
    header->image_size = 0;
    header->x_pixels_per_metre = 0;
    header->y_pixels_per_metre = 0;
    header->colours_used = 0;
    header->colours_important = 0;
}

void fill_frame_bitmap_header(BitmapInfoHeader* header) { fill_bitmap_header(header, frame_width, frame_height); }

namespace {

// Lets go of one picture's decoder and source, in the order the decoder
// requires: its pool (which detaches the source), the record, then the source.
void release_decoder(JpegDecoder* decoder, ResourceByteSource* source) {
    if (decoder != nullptr) {
        free_pool(*decoder);
        delete decoder;
    }
    delete source;
}

#if MARIVUE_FRAME_SHUFFLE
// Four 4-byte pixels (red, green, blue, unused) into twelve bytes of blue,
// green, red with one byte shuffle.
__attribute__((target("ssse3"))) int32_t copy_pixels_ssse3(const uint8_t* row, uint8_t* out) {
    const __m128i order = _mm_setr_epi8(2, 1, 0, 6, 5, 4, 10, 9, 8, 14, 13, 12, -1, -1, -1, -1);
    int32_t x = 0;
    // Sixteen bytes are stored each time, the last four overwritten by the
    // next step; the last pixels are left to the plain loop.
    for (; x + 8 <= frame_width; x += 4, row += 16, out += 12)
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out),
                         _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row)), order));
    return x;
}

// Where the processor has SSSE3, unless MARIVUE_JPEG_SIMD asks the decoder
// for a narrower path ("sse2", "none"), which then holds here too.
bool use_shuffle() {
    static const bool use = [] {
        __builtin_cpu_init();
        const char* request = std::getenv("MARIVUE_JPEG_SIMD");
        const bool narrower =
            request != nullptr && (std::strcmp(request, "sse2") == 0 || std::strcmp(request, "none") == 0);
        return __builtin_cpu_supports("ssse3") != 0 && !narrower;
    }();
    return use;
}
#endif

// One decoded row (red, green, blue first in each pixel of `step` bytes)
// into a frame row (blue, green, red). The copy was a fifth of a picture's
// load: a byte shuffle does four pixels at once where it can.
void copy_row(const uint8_t* row, int32_t step, uint8_t* out) {
    int32_t x = 0;
#if MARIVUE_FRAME_SHUFFLE
    if (step == 4 && use_shuffle()) {
        x = copy_pixels_ssse3(row, out);
        row += 4 * x;
        out += 3 * x;
    }
#endif
    for (; x < frame_width; ++x, row += step, out += 3) {
        out[0] = row[2];  // blue
        out[1] = row[1];  // green
        out[2] = row[0];  // red
    }
}

}  // namespace

bool load_frame(uint16_t current_id, FrameBuffer frame, const FrameLoaderServices& services) {
    if (frame.pixels == nullptr) return false;
    const uint8_t* bytes = nullptr;
    uint32_t byte_count = 0;
    if (!services.find_picture || !services.find_picture(current_id, &bytes, &byte_count)) return false;
    // The source counts in 32-bit signed bytes; a larger resource is not a picture.
    if (bytes == nullptr || byte_count == 0 || byte_count > 0x7FFFFFFFu) return false;

    ResourceByteSource* source = new (std::nothrow) ResourceByteSource(bytes, byte_count);
    if (source == nullptr) return false;
    // The record is large (tens of kilobytes): never on the stack.
    JpegDecoder* decoder = new (std::nothrow) JpegDecoder;
    if (decoder == nullptr) {
        delete source;
        return false;
    }
    // A progressive header can ask for far more memory than any picture
    // the frame can show (a grey frame's sampling factors inflate its
    // coefficient grids up to 225 times); the largest 240-wide picture needs
    // about 12 MB, so anything beyond the limit is refused.
    decoder->memory_limit = frame_loader_memory_limit;
    open_decoder(*decoder, *source);
    if (decoder->status != 0) {
        if (services.diagnostic) services.diagnostic("Error: Decoder failed! Error status: %i\n", decoder->status);
        release_decoder(decoder, source);
        return false;
    }
    // The width is known from the frame header: refuse before any set-up work.
    if (decoder->image_width != frame_width) {
        release_decoder(decoder, source);
        return false;
    }
    if (begin(*decoder) != 0) {
        release_decoder(decoder, source);
        return false;
    }
    // Colour rows carry at least red, green and blue per pixel; anything
    // narrower could not be read as such.
    if (decoder->frame_component_count != 3 || decoder->bytes_per_pixel < 3) {
        release_decoder(decoder, source);
        return false;
    }

    int32_t i = 0;
    for (;;) {
        const uint8_t* row = nullptr;
        int32_t row_bytes = 0;
        // End of the picture and a decoding error both end the copy: the rows
        // so far stay and the rest is cleared below.
        if (decode_row(*decoder, &row, &row_bytes) != 0) break;
        copy_row(row, decoder->bytes_per_pixel, frame.pixels + i);
        i += frame_row_bytes;
        if (i >= frame_bytes) break;  // rows below the frame are never decoded
    }
    release_decoder(decoder, source);

    if (i < frame_bytes) std::memset(frame.pixels + i, 0, static_cast<size_t>(frame_bytes - i));
    return true;
}

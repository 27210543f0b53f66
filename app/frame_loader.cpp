#include "app/frame_loader.h"

#include "app/resource_byte_source.h"
#include "marivue/jpeg/decoder.h"

#include <cstring>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
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

// One decoded row (red, green, blue first in each pixel of `step` bytes)
// into a frame row (blue, green, red). With SSE2, four 4-byte pixels at a
// time: red and blue swap places in each 32-bit lane, then the lanes' three
// bytes close up into twelve.
void copy_row(const uint8_t* row, int32_t step, uint8_t* out) {
    int32_t x = 0;
#if defined(__SSE2__)
    if (step == 4) {
        const __m128i byte_0 = _mm_set1_epi32(0xFF), byte_1 = _mm_set1_epi32(0xFF00);
        const __m128i first_pixel = _mm_set1_epi64x(0xFFFFFF), second_pixel = _mm_set1_epi64x(0xFFFFFF000000);
        const __m128i low_half = _mm_set_epi64x(0, -1), high_half = _mm_set_epi64x(-1, 0);
        for (; x + 4 <= frame_width; x += 4, row += 16, out += 12) {
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row));
            const __m128i bgr =
                _mm_or_si128(_mm_or_si128(_mm_and_si128(_mm_srli_epi32(v, 16), byte_0), _mm_and_si128(v, byte_1)),
                             _mm_slli_epi32(_mm_and_si128(v, byte_0), 16));
            const __m128i six =
                _mm_or_si128(_mm_and_si128(bgr, first_pixel), _mm_and_si128(_mm_srli_epi64(bgr, 8), second_pixel));
            const __m128i twelve =
                _mm_or_si128(_mm_and_si128(six, low_half), _mm_srli_si128(_mm_and_si128(six, high_half), 2));
            _mm_storel_epi64(reinterpret_cast<__m128i*>(out), twelve);
            const int32_t last = _mm_cvtsi128_si32(_mm_srli_si128(twelve, 8));
            std::memcpy(out + 8, &last, 4);
        }
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

    ResourceByteSource* source = new (std::nothrow) ResourceByteSource(bytes, static_cast<int32_t>(byte_count));
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

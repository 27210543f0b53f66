#include "app/frame_loader.h"

#include "app/resource_byte_source.h"
#include "jpeg/decoder.h"

#include <cstring>
#include <new>

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
    // The frame's own layout: the decoder writes each row straight into it.
    decoder->settings.layout = LayoutBgr;
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
    if (decoder->frame_component_count != 3) {
        release_decoder(decoder, source);
        return false;
    }

    int32_t i = 0;
    for (;;) {
        // End of the picture and a decoding error both end the rows: those
        // so far stay and the rest is cleared below. The second row of a
        // pair converted together goes to the next frame row at once.
        uint8_t* next = i + frame_row_bytes < frame_bytes ? frame.pixels + i + frame_row_bytes : nullptr;
        if (decode_row_into(*decoder, frame.pixels + i, next) != 0) break;
        i += frame_row_bytes;
        if (i >= frame_bytes) break;  // rows below the frame are never decoded
    }
    release_decoder(decoder, source);

    if (i < frame_bytes) std::memset(frame.pixels + i, 0, static_cast<size_t>(frame_bytes - i));
    return true;
}

#include "support.h"

#include "app/resource_byte_source.h"
#include "jpeg/decoder.h"

#include <cstdio>
#include <cstdlib>
#include <new>

#include <jpeglib.h>

std::vector<uint8_t> encode_test_picture(int width, int height, int components, bool progressive) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    unsigned char* out = nullptr;
    unsigned long out_size = 0;
    jpeg_mem_dest(&cinfo, &out, &out_size);
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    cinfo.input_components = components;
    cinfo.in_color_space = components == 1 ? JCS_GRAYSCALE : components == 4 ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 90, TRUE);
    if (progressive) jpeg_simple_progression(&cinfo);
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<uint8_t> row(static_cast<size_t>(width) * components);
    while (cinfo.next_scanline < cinfo.image_height) {
        int y = static_cast<int>(cinfo.next_scanline);
        for (int x = 0; x < width; ++x) {
            for (int c = 0; c < components; ++c)
                row[static_cast<size_t>(x) * components + c] =
                    static_cast<uint8_t>((x * (c + 1) + y * (3 - c % 3) + 40 * c) & 0xFF);
        }
        JSAMPROW rows[1] = {row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    std::vector<uint8_t> bytes(out, out + out_size);
    std::free(out);
    return bytes;
}

DirectDecode decode_directly(const std::vector<uint8_t>& bytes, int max_rows) {
    DirectDecode result;
    ResourceByteSource source(bytes.data(), static_cast<int32_t>(bytes.size()));
    JpegDecoder* d = new JpegDecoder;
    open_decoder(*d, source);
    result.open_status = d->status;
    if (d->status == 0) {
        result.begin_result = begin(*d);
        result.bytes_per_pixel = d->bytes_per_pixel;
        if (result.begin_result == 0) {
            for (int r = 0; r < max_rows; ++r) {
                const uint8_t* row = nullptr;
                int32_t row_bytes = 0;
                result.last_result = decode_row(*d, &row, &row_bytes);
                if (result.last_result != 0) break;
                result.rows.emplace_back(row, row + row_bytes);
            }
        }
    }
    free_pool(*d);
    delete d;
    return result;
}

std::vector<uint8_t> expected_frame(const DirectDecode& decoded) {
    std::vector<uint8_t> frame(frame_bytes, 0);
    for (size_t y = 0; y < decoded.rows.size() && y < static_cast<size_t>(frame_height); ++y) {
        const std::vector<uint8_t>& row = decoded.rows[y];
        for (int x = 0; x < frame_width; ++x) {
            const uint8_t* p = &row[static_cast<size_t>(x) * decoded.bytes_per_pixel];
            uint8_t* q = &frame[y * frame_row_bytes + static_cast<size_t>(x) * 3];
            q[0] = p[2];
            q[1] = p[1];
            q[2] = p[0];
        }
    }
    return frame;
}

PictureLookup TestCollection::lookup() {
    return [this](uint16_t id, const uint8_t** data, uint32_t* size) {
        ++lookups;
        auto it = pictures.find(id);
        if (it == pictures.end() || it->second.empty()) return false;
        *data = it->second.data();
        *size = static_cast<uint32_t>(it->second.size());
        return true;
    };
}

FrameLoaderServices test_loader_services(TestCollection& collection, std::vector<std::string>* diagnostics) {
    FrameLoaderServices s;
    s.find_picture = collection.lookup();
    s.diagnostic = [diagnostics](const char* format, int32_t value) {
        char line[256];
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wformat-nonliteral"
        std::snprintf(line, sizeof line, format, value);
#pragma GCC diagnostic pop
        diagnostics->emplace_back(line);
    };
    return s;
}

int AllocationWatch::decoders_made = 0;
int AllocationWatch::sources_made = 0;
bool AllocationWatch::refuse_decoders = false;
bool AllocationWatch::refuse_sources = false;

AllocationWatch::AllocationWatch() {
    decoders_made = 0;
    sources_made = 0;
    refuse_decoders = false;
    refuse_sources = false;
}

AllocationWatch::~AllocationWatch() {
    refuse_decoders = false;
    refuse_sources = false;
}

// The loader allocates its decoder and source with the nothrow form; the
// record sizes tell them apart from anything else allocated that way.
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (size == sizeof(JpegDecoder)) {
        if (AllocationWatch::refuse_decoders) return nullptr;
        ++AllocationWatch::decoders_made;
    } else if (size == sizeof(ResourceByteSource)) {
        if (AllocationWatch::refuse_sources) return nullptr;
        ++AllocationWatch::sources_made;
    }
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

// Fixture making and decoding helpers of the end-to-end tests. The reference
// library is used here only, never by the decoder itself.
#include "tests/support/fixtures.h"

#include "marivue/jpeg.hpp"
#include "marivue/jpeg/byte_source.h"

#include <algorithm>
#include <csetjmp>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <stdexcept>

#include <jpeglib.h>

using namespace marivue::jpeg;

namespace e2e {

namespace {

// A small linear congruential generator: the same numbers on every platform.
struct Random {
    uint32_t state;
    uint32_t next() { return (state = state * 1664525u + 1013904223u) >> 8; }
};

uint8_t clamp_byte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The reference library reports fatal errors through error_exit, which must
// not return: jump back to the function that armed `jump`. Warnings (a
// stream that ends early) are only counted.
struct ErrorManager {
    jpeg_error_mgr base;
    std::jmp_buf jump;
    char message[JMSG_LENGTH_MAX];
};
void error_exit(j_common_ptr cinfo) {
    ErrorManager* manager = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, manager->message);
    std::longjmp(manager->jump, 1);
}
void output_message(j_common_ptr) {}
template <class Info>
void arm(Info& cinfo, ErrorManager& err) {
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = error_exit;
    err.base.output_message = output_message;
}

// The library's SIMD paths are meant to match its C code; run the C code so
// that the reference is the plain integer algorithm whatever the machine.
struct PlainReference {
    PlainReference() { setenv("JSIMD_FORCENONE", "1", 1); }
} plain_reference;

struct EncodeState {
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    std::vector<JSAMPLE> row;
    std::vector<jpeg_scan_info> scans;
    std::vector<uint8_t> big_segment;
};

// Returns false with `message` filled when the library failed. No C++ object
// with a destructor is created between setjmp and the end of these two
// functions; everything that changes lives outside their frames.
bool run_encoder(const Picture& picture, const EncodeOptions& options, EncodeState& state, char* message) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    arm(cinfo, err);
    if (setjmp(err.jump)) {
        std::memcpy(message, err.message, JMSG_LENGTH_MAX);
        jpeg_destroy_compress(&cinfo);
        return false;
    }
    jpeg_create_compress(&cinfo);
    jpeg_mem_dest(&cinfo, &state.buffer, &state.size);
    cinfo.image_width = static_cast<JDIMENSION>(picture.width);
    cinfo.image_height = static_cast<JDIMENSION>(picture.height);
    cinfo.input_components = picture.channels;
    const J_COLOR_SPACE spaces[] = {JCS_UNKNOWN, JCS_GRAYSCALE, JCS_UNKNOWN, JCS_RGB, JCS_CMYK};
    cinfo.in_color_space = spaces[picture.channels];
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, options.force_baseline ? TRUE : FALSE);
    if (options.rgb != EncodeOptions::Rgb::No) {
        jpeg_set_colorspace(&cinfo, JCS_RGB);
        cinfo.write_Adobe_marker = options.rgb == EncodeOptions::Rgb::Adobe ? TRUE : FALSE;
    }
    if (picture.channels == 4) {
        jpeg_set_colorspace(&cinfo, options.four == EncodeOptions::Four::Ycck ? JCS_YCCK : JCS_CMYK);
        cinfo.write_Adobe_marker = options.four == EncodeOptions::Four::CmykWithoutAdobe ? FALSE : TRUE;
    }
    std::vector<std::pair<int, int>> factors = options.factors;
    if (factors.empty() && picture.channels == 1) factors = {{options.grey_factor, options.grey_factor}};
    if (factors.empty()) {
        const bool h2 = options.sampling == Sampling::H2V1 || options.sampling == Sampling::H2V2;
        const bool v2 = options.sampling == Sampling::H1V2 || options.sampling == Sampling::H2V2;
        factors = {{h2 ? 2 : 1, v2 ? 2 : 1}, {1, 1}, {1, 1}};
    }
    for (int c = 0; c < cinfo.num_components && c < static_cast<int>(factors.size()); ++c) {
        cinfo.comp_info[c].h_samp_factor = factors[c].first;
        cinfo.comp_info[c].v_samp_factor = factors[c].second;
    }
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = options.optimize_huffman ? TRUE : FALSE;
    if (options.restart_rows > 0)
        cinfo.restart_in_rows = options.restart_rows;
    else if (options.restart_mcus > 0)
        cinfo.restart_interval = static_cast<unsigned int>(options.restart_mcus);
    if (!options.script.empty()) {
        cinfo.scan_info = state.scans.data();
        cinfo.num_scans = static_cast<int>(state.scans.size());
    } else if (options.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (options.extra_segments) {
        static const JOCTET text[] = "Marivue test picture";
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, text, sizeof text - 1);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 2, state.big_segment.data(),
                          static_cast<unsigned int>(state.big_segment.size()));
        jpeg_write_marker(&cinfo, JPEG_COM, text, sizeof text - 1);
    }
    const size_t stride = static_cast<size_t>(picture.width) * picture.channels;
    while (cinfo.next_scanline < cinfo.image_height) {
        std::memcpy(state.row.data(), picture.samples.data() + cinfo.next_scanline * stride, stride);
        JSAMPROW rows[1] = {state.row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

bool run_oracle(const std::vector<uint8_t>& jpeg, bool luma, OracleResult& out, std::vector<JSAMPLE>& row,
                char* message) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    arm(cinfo, err);
    if (setjmp(err.jump)) {
        std::memcpy(message, err.message, JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    out.progressive = cinfo.progressive_mode != 0;
    out.components = cinfo.num_components;
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.do_block_smoothing = FALSE;
    if (cinfo.num_components == 1 || (luma && cinfo.num_components == 3)) cinfo.out_color_space = JCS_GRAYSCALE;
    if (cinfo.num_components == 3 && !luma) cinfo.out_color_space = JCS_RGB;  // others as coded
    jpeg_start_decompress(&cinfo);
    out.picture.width = static_cast<int>(cinfo.output_width);
    out.picture.height = static_cast<int>(cinfo.output_height);
    out.picture.channels = cinfo.output_components;
    const size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    out.picture.samples.resize(stride * cinfo.output_height);
    row.resize(stride);
    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION line = cinfo.output_scanline;
        JSAMPROW rows[1] = {row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        std::memcpy(out.picture.samples.data() + line * stride, row.data(), stride);
    }
    jpeg_finish_decompress(&cinfo);
    out.warnings = static_cast<int>(err.base.num_warnings);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

// The coefficients without decoding pixels: the first component's DC
// values, times its quantisation table's first entry.
bool run_dc_oracle(const std::vector<uint8_t>& jpeg, DcGrid& grid, char* message) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    arm(cinfo, err);
    if (setjmp(err.jump)) {
        std::memcpy(message, err.message, JMSG_LENGTH_MAX);
        jpeg_destroy_decompress(&cinfo);
        return false;
    }
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
    jpeg_component_info* component = &cinfo.comp_info[0];
    const int quant = component->quant_table->quantval[0];
    grid.blocks_wide = static_cast<int>(component->width_in_blocks);
    grid.blocks_high = static_cast<int>(component->height_in_blocks);
    grid.dc.resize(static_cast<size_t>(grid.blocks_wide) * static_cast<size_t>(grid.blocks_high));
    for (int y = 0; y < grid.blocks_high; ++y) {
        JBLOCKARRAY row = (*cinfo.mem->access_virt_barray)(reinterpret_cast<j_common_ptr>(&cinfo), arrays[0],
                                                           static_cast<JDIMENSION>(y), 1, FALSE);
        for (int x = 0; x < grid.blocks_wide; ++x)
            grid.dc[static_cast<size_t>(y) * grid.blocks_wide + x] = row[0][x][0] * quant;
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

}  // namespace

Picture make_picture(int width, int height, int channels, uint32_t seed) {
    Picture p{width, height, channels, std::vector<uint8_t>(static_cast<size_t>(width) * height * channels)};
    Random random{seed * 2654435761u + 12345u};
    const int wd = std::max(width - 1, 1), hd = std::max(height - 1, 1);
    const int cx = width / 3, cy = height / 2, radius = std::max(2, std::min(width, height) / 4);
    static const uint8_t saturated[4][3] = {{255, 0, 0}, {0, 0, 255}, {0, 0, 0}, {255, 255, 255}};
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int gx = x * 255 / wd, gy = y * 255 / hd;
            const int stripe = ((x / 11) + (y / 7)) % 2 ? 50 : -50;
            const int diagonal = (x + 2 * y > width) ? 35 : -35;
            const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius;
            int v[3];
            for (int& n : v) n = static_cast<int>(random.next() % 49) - 24;
            v[0] += (gx * 3 + gy * 2) / 5 + stripe + diagonal;
            v[1] += 255 - gy + stripe / 2 - diagonal;
            v[2] += (gx + gy) / 2 - stripe + (disc ? 90 : 0);
            if (disc) v[0] = 255 - v[0];
            uint8_t* out = &p.samples[(static_cast<size_t>(y) * width + x) * channels];
            // Saturated squares in the lower right quarter push the converted
            // colour past both ends of the sample range.
            if (x > width / 2 && y > height / 2 && (x / 6 + y / 6) % 3 == 0) {
                for (int c = 0; c < std::min(channels, 3); ++c) out[c] = saturated[((x / 6) + 2 * (y / 6)) % 4][c];
            } else if (channels == 1) {
                out[0] = clamp_byte((v[0] * 2 + v[1] + v[2]) / 4);
            } else {
                for (int c = 0; c < std::min(channels, 3); ++c) out[c] = clamp_byte(v[c]);  // a fourth stays 0
            }
        }
    }
    return p;
}

const char* sampling_name(Sampling sampling) {
    static const char* const names[] = {"Grey", "H1V1", "H2V1", "H1V2", "H2V2"};
    return names[static_cast<int>(sampling)];
}

std::vector<uint8_t> encode(const Picture& picture, const EncodeOptions& options) {
    if (options.factors.empty() && (picture.channels == 1) != (options.sampling == Sampling::Grey))
        throw std::runtime_error("encode: sampling does not match the channel count");
    EncodeState state;
    state.row.resize(static_cast<size_t>(picture.width) * picture.channels);
    for (const Scan& scan : options.script) {
        jpeg_scan_info info{};
        info.comps_in_scan = static_cast<int>(scan.components.size());
        for (size_t i = 0; i < scan.components.size() && i < MAX_COMPS_IN_SCAN; ++i)
            info.component_index[i] = scan.components[i];
        info.Ss = scan.ss, info.Se = scan.se, info.Ah = scan.ah, info.Al = scan.al;
        state.scans.push_back(info);
    }
    // Longer than the decoder's input buffer, so skipping it spans refills;
    // its 0xFF bytes are plain data inside a segment.
    if (options.extra_segments)
        for (size_t i = 0; i < 6000; ++i) state.big_segment.push_back(static_cast<uint8_t>((i * 37) ^ (i >> 3)));
    char message[JMSG_LENGTH_MAX] = {};
    const bool ok = run_encoder(picture, options, state, message);
    std::vector<uint8_t> bytes(state.buffer, state.buffer + (ok ? state.size : 0));
    std::free(state.buffer);
    if (!ok) throw std::runtime_error(std::string("encode: ") + message);
    return bytes;
}

Picture cmyk_to_rgb(const Picture& cmyk) {
    Picture rgb{cmyk.width, cmyk.height, 3, {}};
    for (size_t i = 0; i + 3 < cmyk.samples.size(); i += 4)
        for (int c = 0; c < 3; ++c)
            rgb.samples.push_back(static_cast<uint8_t>((cmyk.samples[i + c] * cmyk.samples[i + 3] + 127) / 255));
    return rgb;
}

Picture box_filtered(const Picture& p, int shift, std::vector<bool>& whole) {
    const int n = 1 << shift;
    Picture out{(p.width + n - 1) >> shift, (p.height + n - 1) >> shift, p.channels, {}};
    whole.clear();
    for (int y = 0; y < out.height; ++y)
        for (int x = 0; x < out.width; ++x)
            for (int c = 0; c < p.channels; ++c) {
                int sum = 0;
                for (int j = y * n; j < std::min(p.height, y * n + n); ++j)
                    for (int i = x * n; i < std::min(p.width, x * n + n); ++i)
                        sum += p.samples[(static_cast<size_t>(j) * p.width + i) * p.channels + c];
                out.samples.push_back(static_cast<uint8_t>((sum + n * n / 2) / (n * n)));
                whole.push_back(y * n + n <= p.height && x * n + n <= p.width);
            }
    return out;
}

Difference difference(const Picture& a, const Picture& b, const std::vector<bool>& whole) {
    Difference d;
    if (a.samples.size() != b.samples.size()) return {1000, 1000};
    double sum = 0;
    size_t count = 0;
    for (size_t i = 0; i < a.samples.size(); ++i) {
        if (!whole[i]) continue;
        const int v = std::abs(a.samples[i] - b.samples[i]);
        d.max = std::max(d.max, v);
        sum += v;
        ++count;
    }
    d.mean = count != 0 ? sum / static_cast<double>(count) : 0;
    return d;
}

OracleResult oracle_decode(const std::vector<uint8_t>& jpeg, bool luma) {
    OracleResult out;
    std::vector<JSAMPLE> row;
    char message[JMSG_LENGTH_MAX] = {};
    out.ok = run_oracle(jpeg, luma, out, row, message);
    if (!out.ok) out.message = message;
    return out;
}

MarivueResult marivue_decode(ByteSource& source, const DecodeSettings& settings) {
    MarivueResult r;
    std::unique_ptr<JpegDecoder> d(new JpegDecoder);
    d->settings = settings;
    open_decoder(*d, source);
    r.open_status = d->status;
    if (d->status == 0) {
        r.components = d->frame_component_count;
        r.is_rgb = d->is_rgb != 0;
        r.colour_coding = d->colour_coding;
        r.picture.width = d->output_width;
        r.begin_result = begin(*d);
    }
    if (d->status == 0 && r.begin_result == 0) {
        const int bpp = r.bytes_per_pixel = d->bytes_per_pixel;
        const int width = d->output_width, height = d->output_height;
        r.picture.channels = bpp == 1 ? 1 : 3;
        const uint8_t* row = nullptr;
        int32_t bytes = 0;
        // One call more than there are rows must give 1; the bound keeps a
        // decoder that never stops from hanging the test.
        if (d->data_incomplete) r.incomplete_from_row = 0;
        for (int call = 0; call <= height + 1; ++call) {
            r.stop_result = decode_row(*d, &row, &bytes);
            if (d->data_incomplete && r.incomplete_from_row < 0) r.incomplete_from_row = r.rows;
            if (r.stop_result != 0) break;
            if (row == nullptr || bytes != width * bpp || r.rows >= height) {
                r.row_length_ok = false;
                break;
            }
            for (int x = 0; x < width; ++x) {
                if (bpp == 1) {
                    r.picture.samples.push_back(row[x]);
                    continue;
                }
                r.picture.samples.insert(r.picture.samples.end(), row + 4 * x, row + 4 * x + 3);
                r.fourth_bytes_zero = r.fourth_bytes_zero && row[4 * x + 3] == 0;
            }
            ++r.rows;
        }
        r.result_after_stop = decode_row(*d, &row, &bytes);
    }
    r.picture.height = r.rows;
    r.final_status = d->status;
    r.data_incomplete = d->data_incomplete != 0;
    free_pool(*d);
    free_pool(*d);  // harmless to repeat
    return r;
}

MarivueResult marivue_decode(const std::vector<uint8_t>& jpeg, const DecodeSettings& settings) {
    MemoryByteSource source(jpeg.data(), jpeg.size());
    return marivue_decode(source, settings);
}

DcGrid oracle_dc(const std::vector<uint8_t>& jpeg) {
    DcGrid grid;
    char message[JMSG_LENGTH_MAX] = {};
    if (!run_dc_oracle(jpeg, grid, message)) throw std::runtime_error(std::string("oracle_dc: ") + message);
    return grid;
}

namespace {

// Samples [begin, end) of two pictures: none differs by more than
// `max_abs`, and no more than `max_fraction` of them differ at all when
// there are `min_for_fraction` or more.
testing::AssertionResult within(const Picture& a, const Picture& b, size_t begin, size_t end, int max_abs,
                                double max_fraction, uint64_t min_for_fraction) {
    int worst = 0;
    uint64_t differing = 0;
    for (size_t i = begin; i < end; ++i) {
        const int d = std::abs(static_cast<int>(a.samples[i]) - static_cast<int>(b.samples[i]));
        differing += d != 0;
        worst = std::max(worst, d);
    }
    if (worst > max_abs)
        return testing::AssertionFailure() << "a sample differs by " << worst << " (at most " << max_abs << ")";
    if (end - begin >= min_for_fraction && differing > max_fraction * static_cast<double>(end - begin))
        return testing::AssertionFailure() << differing << " of " << end - begin << " samples differ";
    return testing::AssertionSuccess();
}

}  // namespace

testing::AssertionResult matches_reference(const Picture& decoded, const Picture& reference, int first_row,
                                           int row_count) {
    if (decoded.width != reference.width || decoded.channels != reference.channels)
        return testing::AssertionFailure() << "decoded " << decoded.width << " x " << decoded.channels
                                           << " channels, reference " << reference.width << " x " << reference.channels;
    const size_t stride = static_cast<size_t>(decoded.width) * decoded.channels, begin = first_row * stride;
    const size_t end = begin + row_count * stride;
    if (end > decoded.samples.size() || end > reference.samples.size())
        return testing::AssertionFailure() << "rows out of range";
    const bool grey = decoded.channels == 1;
    return within(decoded, reference, begin, end, grey ? max_grey_difference : max_colour_difference,
                  grey ? max_grey_differing_fraction : max_colour_differing_fraction, min_samples_for_fraction);
}

testing::AssertionResult matches_within(const Picture& decoded, const Picture& reference, int max_abs,
                                        double max_fraction) {
    if (decoded.width != reference.width || decoded.height != reference.height ||
        decoded.channels != reference.channels || decoded.samples.size() != reference.samples.size())
        return testing::AssertionFailure()
               << "decoded " << decoded.width << " x " << decoded.height << " x " << decoded.channels << ", reference "
               << reference.width << " x " << reference.height << " x " << reference.channels;
    return within(decoded, reference, 0, decoded.samples.size(), max_abs, max_fraction, 0);
}

std::vector<MarkerPosition> find_markers(const std::vector<uint8_t>& jpeg, uint8_t low, uint8_t high) {
    std::vector<MarkerPosition> markers;
    for (size_t i = 0; i + 1 < jpeg.size();) {
        const uint8_t code = jpeg[i + 1];
        if (jpeg[i] != 0xFF || code == 0xFF || code == 0x00) {  // data, fill byte, stuffed zero
            i += jpeg[i] == 0xFF && code == 0x00 ? 2 : 1;
            continue;
        }
        if (code >= low && code <= high) markers.push_back({i, code});
        if (code == 0x01 || (code >= 0xD0 && code <= 0xD9)) {
            i += 2;  // no length field
        } else if (i + 3 < jpeg.size()) {
            i = segment_end(jpeg, {i, code});  // entropy-coded data is searched byte by byte
        } else {
            break;
        }
    }
    return markers;
}

size_t segment_end(const std::vector<uint8_t>& jpeg, const MarkerPosition& m) {
    return m.offset + 2 + ((static_cast<size_t>(jpeg[m.offset + 2]) << 8) | jpeg[m.offset + 3]);
}

std::vector<uint8_t> cut(const std::vector<uint8_t>& jpeg, size_t length) {
    return std::vector<uint8_t>(jpeg.begin(), jpeg.begin() + static_cast<long>(length));
}

std::vector<uint8_t> with_eoi(std::vector<uint8_t> jpeg) {
    jpeg.insert(jpeg.end(), {0xFF, 0xD9});
    return jpeg;
}

Decoded library_decode(const std::vector<uint8_t>& jpeg, int scale) {
    Decoded out;
    Options options;
    options.scale = scale;
    Decoder decoder(jpeg.data(), jpeg.size(), options);
    const PixelFormat format = decoder.info().components == 1 ? PixelFormat::grey : PixelFormat::rgb;
    out.row_bytes = static_cast<size_t>(decoder.info().output_width) * static_cast<size_t>(channels_of(format));
    std::vector<uint8_t> row(out.row_bytes);
    while (decoder.next_row(row, format) == 0) out.pixels.insert(out.pixels.end(), row.begin(), row.end());
    out.status = decoder.status(), out.complete = decoder.complete();
    return out;
}

std::string make_temp_dir() {
    std::string name = (std::filesystem::temp_directory_path() / "marivue-e2e-XXXXXX").string();
    if (mkdtemp(name.data()) == nullptr) throw std::runtime_error("cannot create a temporary directory");
    return name;
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path);
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace e2e

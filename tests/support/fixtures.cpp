// Fixture making and decoding helpers of the end-to-end tests. The reference
// library is used here only, never by the decoder itself.

#include "tests/support/fixtures.h"

#include "jpeg/byte_sources.h"

#include <algorithm>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <mutex>
#include <new>
#include <stdexcept>

#include <jpeglib.h>

#include <gtest/gtest.h>

namespace e2e {

namespace {

// A small linear congruential generator: the same numbers on every platform.
struct Random {
    uint32_t state;
    uint32_t next() {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    }
};

uint8_t clamp_byte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

// The reference library reports fatal errors through error_exit, which must
// not return: jump back to the function that armed `jump`.
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

// Warnings (a stream that ends early, corrupt data) are counted by the
// library; printing them would only clutter the test output.
void output_message(j_common_ptr) {}

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
// with a destructor is created between setjmp and the end of this function;
// everything that changes lives in `state`, outside this frame.
bool run_encoder(const Picture& picture, const EncodeOptions& options, EncodeState& state,
                 char* message) {
    jpeg_compress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = error_exit;
    err.base.output_message = output_message;
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
    cinfo.in_color_space = picture.channels == 1   ? JCS_GRAYSCALE
                           : picture.channels == 3 ? JCS_RGB
                           : picture.channels == 4 ? JCS_CMYK
                                                   : JCS_UNKNOWN;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, options.force_baseline ? TRUE : FALSE);
    if (!options.factors.empty()) {
        for (int c = 0; c < cinfo.num_components && c < static_cast<int>(options.factors.size());
             ++c) {
            cinfo.comp_info[c].h_samp_factor = options.factors[c].first;
            cinfo.comp_info[c].v_samp_factor = options.factors[c].second;
        }
    } else if (picture.channels == 3) {
        int h = 1, v = 1;
        switch (options.sampling) {
        case Sampling::H2V1: h = 2; break;
        case Sampling::H1V2: v = 2; break;
        case Sampling::H2V2: h = 2; v = 2; break;
        default: break;
        }
        cinfo.comp_info[0].h_samp_factor = h;
        cinfo.comp_info[0].v_samp_factor = v;
        for (int c = 1; c < 3; ++c) {
            cinfo.comp_info[c].h_samp_factor = 1;
            cinfo.comp_info[c].v_samp_factor = 1;
        }
    } else {
        cinfo.comp_info[0].h_samp_factor = options.grey_factor;
        cinfo.comp_info[0].v_samp_factor = options.grey_factor;
    }
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.optimize_coding = options.optimize_huffman ? TRUE : FALSE;
    cinfo.arith_code = options.arithmetic ? TRUE : FALSE;
    if (options.restart_rows > 0) {
        cinfo.restart_in_rows = options.restart_rows;
    } else if (options.restart_mcus > 0) {
        cinfo.restart_interval = static_cast<unsigned int>(options.restart_mcus);
    }
    if (!options.script.empty()) {
        cinfo.scan_info = state.scans.data();
        cinfo.num_scans = static_cast<int>(state.scans.size());
    } else if (options.progressive) {
        jpeg_simple_progression(&cinfo);
    }
    jpeg_start_compress(&cinfo, TRUE);
    if (options.extra_segments) {
        static const char text[] = "Marivue test picture";
        jpeg_write_marker(&cinfo, JPEG_APP0 + 1, reinterpret_cast<const JOCTET*>(text),
                          sizeof text - 1);
        jpeg_write_marker(&cinfo, JPEG_APP0 + 2, state.big_segment.data(),
                          static_cast<unsigned int>(state.big_segment.size()));
        jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(text),
                          sizeof text - 1);
    }
    const size_t stride = static_cast<size_t>(picture.width) * picture.channels;
    while (cinfo.next_scanline < cinfo.image_height) {
        std::memcpy(state.row.data(), picture.samples.data() + cinfo.next_scanline * stride,
                    stride);
        JSAMPROW rows[1] = {state.row.data()};
        jpeg_write_scanlines(&cinfo, rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    return true;
}

struct DecodeState {
    std::vector<JSAMPLE> row;
};

bool run_oracle(const std::vector<uint8_t>& jpeg, OracleResult& out, DecodeState& state,
                char* message) {
    jpeg_decompress_struct cinfo;
    ErrorManager err;
    cinfo.err = jpeg_std_error(&err.base);
    err.base.error_exit = error_exit;
    err.base.output_message = output_message;
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
    if (cinfo.num_components == 1) {
        cinfo.out_color_space = JCS_GRAYSCALE;
    } else if (cinfo.num_components == 3) {
        cinfo.out_color_space = JCS_RGB;
    }  // other layouts are delivered as coded
    jpeg_start_decompress(&cinfo);
    out.picture.width = static_cast<int>(cinfo.output_width);
    out.picture.height = static_cast<int>(cinfo.output_height);
    out.picture.channels = cinfo.output_components;
    const size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    out.picture.samples.resize(stride * cinfo.output_height);
    state.row.resize(stride);
    while (cinfo.output_scanline < cinfo.output_height) {
        JDIMENSION line = cinfo.output_scanline;
        JSAMPROW rows[1] = {state.row.data()};
        jpeg_read_scanlines(&cinfo, rows, 1);
        std::memcpy(out.picture.samples.data() + line * stride, state.row.data(), stride);
    }
    jpeg_finish_decompress(&cinfo);
    out.warnings = static_cast<int>(err.base.num_warnings);
    jpeg_destroy_decompress(&cinfo);
    return true;
}

std::mutex totals_mutex;
SampleDiff totals[2];           // grey, colour
uint64_t comparisons[2] = {};
double worst_fraction[2] = {};  // over comparisons large enough for a share

// Prints the totals of every comparison the test program made.
class DiffReport : public testing::Environment {
public:
    void TearDown() override {
        std::lock_guard<std::mutex> lock(totals_mutex);
        for (int colour = 0; colour < 2; ++colour) {
            if (comparisons[colour] == 0) {
                continue;
            }
            const SampleDiff& t = totals[colour];
            std::printf("[ e2e      ] %s: %llu comparisons, %llu samples: max abs difference %d, "
                        "%llu differing (%.4f%%), worst picture %.4f%%\n",
                        colour ? "colour" : "grey",
                        static_cast<unsigned long long>(comparisons[colour]),
                        static_cast<unsigned long long>(t.total), t.max_abs,
                        static_cast<unsigned long long>(t.differing), 100.0 * t.fraction(),
                        100.0 * worst_fraction[colour]);
        }
    }
};

[[maybe_unused]] testing::Environment* const diff_report =
    testing::AddGlobalTestEnvironment(new DiffReport);

}  // namespace

Picture make_picture(int width, int height, int channels, uint32_t seed) {
    Picture p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.samples.resize(static_cast<size_t>(width) * height * channels);
    Random random{seed * 2654435761u + 12345u};
    const int wd = width > 1 ? width - 1 : 1;
    const int hd = height > 1 ? height - 1 : 1;
    const int cx = width / 3, cy = height / 2, radius = std::max(2, std::min(width, height) / 4);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const int gx = x * 255 / wd;
            const int gy = y * 255 / hd;
            const int stripe = ((x / 11) + (y / 7)) % 2 ? 50 : -50;
            const int diagonal = (x + 2 * y > width) ? 35 : -35;
            const bool disc = (x - cx) * (x - cx) + (y - cy) * (y - cy) < radius * radius;
            int v[3];
            for (int c = 0; c < 3; ++c) {
                const int noise = static_cast<int>(random.next() % 49) - 24;
                v[c] = noise;
            }
            v[0] += (gx * 3 + gy * 2) / 5 + stripe + diagonal;
            v[1] += 255 - gy + stripe / 2 - diagonal;
            v[2] += (gx + gy) / 2 - stripe + (disc ? 90 : 0);
            if (disc) {
                v[0] = 255 - v[0];
            }
            uint8_t* out = &p.samples[(static_cast<size_t>(y) * width + x) * channels];
            // Saturated patches: pure red, pure blue, black and white squares
            // in the lower right quarter, which push the converted colour past
            // both ends of the sample range.
            const bool patch_area = x > width / 2 && y > height / 2;
            const int patch = ((x / 6) + 2 * (y / 6)) % 4;
            if (patch_area && (x / 6 + y / 6) % 3 == 0) {
                static const uint8_t colours[4][3] = {
                    {255, 0, 0}, {0, 0, 255}, {0, 0, 0}, {255, 255, 255}};
                for (int c = 0; c < channels; ++c) {
                    out[c] = colours[patch][c];
                }
                continue;
            }
            if (channels == 1) {
                out[0] = clamp_byte((v[0] * 2 + v[1] + v[2]) / 4);
            } else {
                for (int c = 0; c < 3; ++c) {
                    out[c] = clamp_byte(v[c]);
                }
            }
        }
    }
    return p;
}

Picture make_flat_tiles(int width, int height, int channels, int tile, uint32_t seed) {
    Picture p;
    p.width = width;
    p.height = height;
    p.channels = channels;
    p.samples.resize(static_cast<size_t>(width) * height * channels);
    const int tiles_across = (width + tile - 1) / tile;
    const int tiles_down = (height + tile - 1) / tile;
    std::vector<uint8_t> colours(static_cast<size_t>(tiles_across) * tiles_down * channels);
    Random random{seed * 40503u + 7u};
    for (uint8_t& c : colours) {
        // Values at both ends of the range too, for the clamps.
        const uint32_t r = random.next();
        c = (r & 7) == 0 ? 0 : (r & 7) == 1 ? 255 : static_cast<uint8_t>(r >> 3);
    }
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            const size_t t = static_cast<size_t>(y / tile) * tiles_across + x / tile;
            for (int c = 0; c < channels; ++c) {
                p.samples[(static_cast<size_t>(y) * width + x) * channels + c] =
                    colours[t * channels + c];
            }
        }
    }
    return p;
}

const char* sampling_name(Sampling sampling) {
    switch (sampling) {
    case Sampling::Grey: return "Grey";
    case Sampling::H1V1: return "H1V1";
    case Sampling::H2V1: return "H2V1";
    case Sampling::H1V2: return "H1V2";
    case Sampling::H2V2: return "H2V2";
    }
    return "?";
}

std::vector<uint8_t> encode(const Picture& picture, const EncodeOptions& options) {
    if (options.factors.empty() && (picture.channels == 1) != (options.sampling == Sampling::Grey)) {
        throw std::runtime_error("encode: sampling does not match the channel count");
    }
    EncodeState state;
    state.row.resize(static_cast<size_t>(picture.width) * picture.channels);
    for (const Scan& scan : options.script) {
        jpeg_scan_info info{};
        info.comps_in_scan = static_cast<int>(scan.components.size());
        for (size_t i = 0; i < scan.components.size() && i < MAX_COMPS_IN_SCAN; ++i) {
            info.component_index[i] = scan.components[i];
        }
        info.Ss = scan.ss;
        info.Se = scan.se;
        info.Ah = scan.ah;
        info.Al = scan.al;
        state.scans.push_back(info);
    }
    if (options.extra_segments) {
        // Longer than the decoder's input buffer, so skipping it spans refills.
        state.big_segment.resize(6000);
        for (size_t i = 0; i < state.big_segment.size(); ++i) {
            // Includes 0xFF bytes: inside a segment they are plain data.
            state.big_segment[i] = static_cast<uint8_t>((i * 37) ^ (i >> 3));
        }
    }
    char message[JMSG_LENGTH_MAX] = {};
    bool ok = run_encoder(picture, options, state, message);
    std::vector<uint8_t> bytes;
    if (ok) {
        bytes.assign(state.buffer, state.buffer + state.size);
    }
    std::free(state.buffer);
    if (!ok) {
        throw std::runtime_error(std::string("encode: ") + message);
    }
    return bytes;
}

OracleResult oracle_decode(const std::vector<uint8_t>& jpeg) {
    OracleResult out;
    DecodeState state;
    char message[JMSG_LENGTH_MAX] = {};
    out.ok = run_oracle(jpeg, out, state, message);
    if (!out.ok) {
        out.message = message;
    }
    return out;
}

MarivueResult marivue_decode(ByteSource& source) {
    MarivueResult r;
    JpegDecoder* d = new (std::nothrow) JpegDecoder;
    if (d == nullptr) {
        throw std::bad_alloc();
    }
    open_decoder(*d, source);
    r.open_status = d->status;
    if (d->status == 0) {
        r.components = d->frame_component_count;
        r.picture.width = d->image_width;
        r.begin_result = begin(*d);
        if (r.begin_result == 0) {
            r.bytes_per_pixel = d->bytes_per_pixel;
            const int bpp = d->bytes_per_pixel;
            const int channels = bpp == 1 ? 1 : 3;
            r.picture.channels = channels;
            const int width = d->image_width;
            const int height = d->image_height;
            r.picture.samples.reserve(static_cast<size_t>(width) * height * channels);
            // One call more than there are rows must give 1; a bound keeps a
            // decoder that never stops from hanging the test.
            for (int call = 0; call <= height + 1; ++call) {
                const uint8_t* row = nullptr;
                int32_t bytes = 0;
                int32_t result = decode_row(*d, &row, &bytes);
                if (result != 0) {
                    r.stop_result = result;
                    break;
                }
                if (row == nullptr || bytes != width * bpp || r.rows >= height) {
                    r.row_length_ok = false;
                    r.stop_result = 0;
                    break;
                }
                for (int x = 0; x < width; ++x) {
                    if (bpp == 1) {
                        r.picture.samples.push_back(row[x]);
                    } else {
                        r.picture.samples.push_back(row[4 * x]);
                        r.picture.samples.push_back(row[4 * x + 1]);
                        r.picture.samples.push_back(row[4 * x + 2]);
                        if (row[4 * x + 3] != 0) {
                            r.fourth_bytes_zero = false;
                        }
                    }
                }
                ++r.rows;
            }
            const uint8_t* row = nullptr;
            int32_t bytes = 0;
            r.result_after_stop = decode_row(*d, &row, &bytes);
        }
    }
    r.picture.height = r.rows;
    r.final_status = d->status;
    free_pool(*d);
    free_pool(*d);  // harmless to repeat
    delete d;
    return r;
}

MarivueResult marivue_decode(const std::vector<uint8_t>& jpeg) {
    MemoryByteSource source(jpeg.data(), jpeg.size());
    return marivue_decode(source);
}

int32_t ChunkedSource::read(uint8_t* buffer, int32_t max, uint8_t* end_flag) {
    if (position_ >= data_.size()) {
        *end_flag = 1;
        return 0;
    }
    size_t count = std::min<size_t>({static_cast<size_t>(max), static_cast<size_t>(chunk_),
                                     data_.size() - position_});
    std::memcpy(buffer, data_.data() + position_, count);
    position_ += count;
    return static_cast<int32_t>(count);
}

SampleDiff compare_rows(const Picture& a, const Picture& b, int first_row, int row_count) {
    SampleDiff diff;
    if (a.width != b.width || a.channels != b.channels) {
        throw std::runtime_error("compare_rows: pictures of different shape");
    }
    const size_t stride = static_cast<size_t>(a.width) * a.channels;
    const size_t begin = static_cast<size_t>(first_row) * stride;
    const size_t end = begin + static_cast<size_t>(row_count) * stride;
    if (end > a.samples.size() || end > b.samples.size()) {
        throw std::runtime_error("compare_rows: rows out of range");
    }
    for (size_t i = begin; i < end; ++i) {
        const int d = std::abs(static_cast<int>(a.samples[i]) - static_cast<int>(b.samples[i]));
        if (d != 0) {
            ++diff.differing;
            diff.max_abs = std::max(diff.max_abs, d);
        }
    }
    diff.total = end - begin;
    return diff;
}

void record_diff(const SampleDiff& diff, int channels) {
    std::lock_guard<std::mutex> lock(totals_mutex);
    const int colour = channels == 1 ? 0 : 1;
    ++comparisons[colour];
    SampleDiff& t = totals[colour];
    t.max_abs = std::max(t.max_abs, diff.max_abs);
    t.differing += diff.differing;
    t.total += diff.total;
    if (diff.total >= min_samples_for_fraction) {
        worst_fraction[colour] = std::max(worst_fraction[colour], diff.fraction());
    }
}

testing::AssertionResult matches_reference(const Picture& decoded, const Picture& reference,
                                           int first_row, int row_count) {
    if (decoded.width != reference.width || decoded.channels != reference.channels) {
        return testing::AssertionFailure()
               << "decoded " << decoded.width << " wide with " << decoded.channels
               << " channels, reference " << reference.width << " wide with "
               << reference.channels;
    }
    const SampleDiff diff = compare_rows(decoded, reference, first_row, row_count);
    record_diff(diff, decoded.channels);
    const bool grey = decoded.channels == 1;
    const int max_abs = grey ? max_grey_difference : max_colour_difference;
    const double max_fraction = grey ? max_grey_differing_fraction : max_colour_differing_fraction;
    char text[160];
    if (diff.max_abs > max_abs) {
        std::snprintf(text, sizeof text, "a sample differs by %d (at most %d allowed)",
                      diff.max_abs, max_abs);
        return testing::AssertionFailure() << text;
    }
    if (diff.total >= min_samples_for_fraction && diff.fraction() > max_fraction) {
        std::snprintf(text, sizeof text, "%llu of %llu samples differ (%.3f%%, at most %.3f%%)",
                      static_cast<unsigned long long>(diff.differing),
                      static_cast<unsigned long long>(diff.total), 100.0 * diff.fraction(),
                      100.0 * max_fraction);
        return testing::AssertionFailure() << text;
    }
    return testing::AssertionSuccess();
}

std::vector<MarkerPosition> find_markers(const std::vector<uint8_t>& jpeg) {
    std::vector<MarkerPosition> markers;
    size_t i = 0;
    while (i + 1 < jpeg.size()) {
        if (jpeg[i] != 0xFF) {
            ++i;
            continue;
        }
        const uint8_t code = jpeg[i + 1];
        if (code == 0xFF) {  // fill byte
            ++i;
            continue;
        }
        if (code == 0x00) {  // stuffed zero inside entropy-coded data
            i += 2;
            continue;
        }
        markers.push_back({i, code});
        const bool standalone = code == 0x01 || code == 0xD8 || code == 0xD9 ||
                                (code >= 0xD0 && code <= 0xD7);
        if (standalone) {
            i += 2;
            continue;
        }
        if (i + 3 >= jpeg.size()) {
            break;
        }
        const size_t length = (static_cast<size_t>(jpeg[i + 2]) << 8) | jpeg[i + 3];
        // After a scan header the entropy-coded data follows; its markers
        // (restarts, the next segment) are found by the byte search above.
        i += 2 + length;
    }
    return markers;
}

std::string make_temp_dir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "marivue-e2e-XXXXXX").string();
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    if (mkdtemp(name.data()) == nullptr) {
        throw std::runtime_error("cannot create a temporary directory");
    }
    return name.data();
}

void remove_tree(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);
}

void write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path);
    }
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

bool file_exists(const std::string& path) {
    std::error_code ignored;
    return std::filesystem::exists(path, ignored);
}

}  // namespace e2e

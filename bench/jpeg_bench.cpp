// Decoding speed of the Marivue decoder next to two general-purpose
// decoders, on the same files in the same run.
//
//   jpeg-bench [--reps N] [--collection DIR] SET_NAME=DIR ...
//
// Every file of each set is read into memory first; a repetition decodes
// the whole set once, and the figure reported is the median repetition.
// The decoders measured in this process take turns, one repetition each
// (see median_seconds_in_turn), so that the machine's changes of speed
// during a run (on a shared virtual machine they come and go within a
// second) fall on all of them alike.
// This decoder is measured through its streaming operations and through
// the one-call decode, on one thread and with its automatic choice of
// threads (two for the large sets), and through the one-call decode on one
// thread at 1/2, 1/4 and 1/8 of the size (Options::scale), whose figures
// count the pictures' own pixels, so that they compare with the full
// decode's, and whose peak pool memory is reported beside the full one's.
// The reference library is measured twice: as it is, and with its vector
// code switched off, which it only allows per process (JSIMD_FORCENONE), so
// that measurement runs in a child process of this program.
#include "app/frame_loader.h"
#include "jpeg/internal.h"
#include "marivue/jpeg.hpp"
#include "marivue/jpeg/byte_source.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <new>
#include <random>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <jpeglib.h>
#include <pthread.h>
#include <stb/stb_image.h>
#include <time.h>

using namespace marivue::jpeg;

// ---- pool accounting --------------------------------------------------------
// This program provides the decoder's system allocator itself (the library's
// own is then not linked), to see how much memory a decode holds at most;
// the blocks themselves are the library's (block_alloc), so that decoding
// takes as long as with its own.

namespace {
// The decoder's helper threads allocate too (a split scan's second decoder,
// the scan threads), so both counts are atomic.
std::atomic<size_t> live_bytes{0};
std::atomic<size_t> peak_bytes{0};

void reset_pool_counts() {
    live_bytes = 0;
    peak_bytes = 0;
}
}  // namespace

namespace marivue::jpeg::detail {

// 16 bytes in front of each block for its size keep the block aligned as
// block_alloc's are.
constexpr size_t header = 16;

void* system_alloc(size_t size) {
    auto* block = static_cast<size_t*>(block_alloc(size + header));
    if (block == nullptr) return nullptr;
    *block = size;
    const size_t live = live_bytes += size;
    size_t peak = peak_bytes.load();
    while (live > peak && !peak_bytes.compare_exchange_weak(peak, live)) {
    }
    return reinterpret_cast<unsigned char*>(block) + header;
}

void system_free(void* pointer) {
    if (pointer == nullptr) return;
    auto* block = static_cast<unsigned char*>(pointer) - header;
    live_bytes -= *reinterpret_cast<size_t*>(block);
    block_free(block);
}

}  // namespace marivue::jpeg::detail

namespace {

using Clock = std::chrono::steady_clock;

struct File {
    std::string name;
    std::vector<uint8_t> bytes;
    int width = 0, height = 0, components = 0;
};

struct Set {
    std::string name;
    std::vector<File> files;
    double megapixels = 0;
    double megabytes = 0;
};

std::vector<uint8_t> read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Set load_set(const std::string& name, const std::filesystem::path& dir) {
    Set set{name, {}, 0, 0};
    std::vector<std::filesystem::path> paths;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().extension() == ".jpg") paths.push_back(entry.path());
    std::sort(paths.begin(), paths.end());
    for (const auto& path : paths) {
        File f{path.filename().string(), read_file(path)};
        MemoryByteSource source(f.bytes.data(), f.bytes.size());
        auto d = std::make_unique<JpegDecoder>();
        open_decoder(*d, source);
        f.width = d->image_width;
        f.height = d->image_height;
        f.components = d->frame_component_count;
        free_pool(*d);
        set.megapixels += f.width * static_cast<double>(f.height) / 1e6;
        set.megabytes += static_cast<double>(f.bytes.size()) / 1e6;
        set.files.push_back(std::move(f));
    }
    return set;
}

// Decoded output goes here, so that no decoder can skip its work.
std::vector<uint8_t> sink;
uint64_t checksum = 0;

// This decoder through its streaming operations as the viewer's frame
// loader uses them: each row written by the decoder straight into the
// output in blue, green, red (grey pictures one byte a pixel).
struct PoolUse {
    size_t peak_bytes = 0;
    int peak_blocks = 0;
};

PoolUse decode_marivue(const File& f) {
    MemoryByteSource source(f.bytes.data(), f.bytes.size());
    auto* d = new (std::nothrow) JpegDecoder;
    reset_pool_counts();
    PoolUse use;
    d->settings.layout = f.components == 1 ? LayoutGrey : LayoutBgr;
    open_decoder(*d, source);
    if (d->status == 0 && begin(*d) == 0) {
        for (void* block : d->pool_blocks) use.peak_blocks += block != nullptr;
        const size_t stride = static_cast<size_t>(d->output_width) * static_cast<size_t>(d->bytes_per_pixel);
        uint8_t* out = sink.data();
        for (int32_t y = 0; y < d->output_height; y++, out += stride)
            if (decode_row_into(*d, out, y + 1 < d->output_height ? out + stride : nullptr) != 0) break;
        checksum += sink[0];
    }
    use.peak_bytes = peak_bytes.load();
    free_pool(*d);
    delete d;
    return use;
}

// This decoder's one-call interface into packed RGB (grey for grey
// pictures), the image reused from call to call as the streaming loop above
// reuses its output buffer: on the calling thread alone, or with the
// automatic choice of threads (a second one for the transform and colour
// conversion from a megapixel up, the calling thread alone below).
// At 1/scale of the size (Options::scale) when `scale` is above 1.
template <int threads, int scale = 1>
void decode_marivue_one_call(const File& f) {
    static Image image;
    Options options;
    options.format = f.components == 1 ? PixelFormat::grey : PixelFormat::rgb;
    options.threads = threads;
    options.scale = scale;
    decode(f.bytes.data(), f.bytes.size(), image, options);
    if (!image.pixels.empty()) checksum += image.pixels[0];
}

// Where the split scan's second decoder joined the first on each of the
// set's sequential pictures (the one-call decode's automatic split): the
// stream bits from its start to the first MCU start both share.
std::string split_joins(const Set& s) {
    std::string text;
    for (const File& f : s.files) {
        MemoryByteSource source(f.bytes.data(), f.bytes.size());
        std::unique_ptr<JpegDecoder> d(new JpegDecoder);
        d->settings.layout = f.components == 1 ? LayoutGrey : LayoutRgb;
        open_decoder(*d, source);
        if (d->status != 0 || begin(*d) != 0 || d->is_progressive) {
            free_pool(*d);
            continue;
        }
        std::vector<uint8_t> pixels(static_cast<size_t>(d->output_width) * d->output_height * f.components);
        detail::SplitReport report;
        int32_t result = 0;
        const int32_t rows = detail::decode_rows_split(*d, f.bytes.data(), f.bytes.size(), result, pixels.data(),
                                                       static_cast<size_t>(d->output_width) * f.components, 0, &report);
        free_pool(*d);
        char line[160];
        if (rows < 0 || !report.joined)
            std::snprintf(line, sizeof line, " %s: %s;", f.name.c_str(), rows < 0 ? "not split" : "no join");
        else
            std::snprintf(line, sizeof line, " %s: %lld bits (%d MCUs), %d of %d MCUs stored;", f.name.c_str(),
                          static_cast<long long>(report.join_bits), report.join_mcus, report.stored_mcus,
                          report.capacity);
        text += line;
    }
    return text;
}

// The most pool memory one decode of the set holds at 1/scale of the size
// through the one-call interface (whose record's pool this program's
// allocator sees), beside the record's own.
template <int scale>
size_t peak_pool_one_call(const Set& s) {
    size_t most = 0;
    for (const File& f : s.files) {
        reset_pool_counts();
        decode_marivue_one_call<1, scale>(f);
        most = std::max(most, peak_bytes.load());
    }
    return most;
}

// The reference library: integer inverse DCT, no fancy upsampling, RGBX.
void decode_reference(const File& f) {
    jpeg_decompress_struct cinfo;
    jpeg_error_mgr err;
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, f.bytes.data(), static_cast<unsigned long>(f.bytes.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.dct_method = JDCT_ISLOW;
    cinfo.do_fancy_upsampling = FALSE;
    cinfo.out_color_space = cinfo.num_components == 1 ? JCS_GRAYSCALE : JCS_EXT_RGBX;
    jpeg_start_decompress(&cinfo);
    const size_t stride = static_cast<size_t>(cinfo.output_width) * cinfo.output_components;
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = sink.data() + stride * cinfo.output_scanline;
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    checksum += sink[0];
}

void decode_stb(const File& f) {
    int w, h, n;
    stbi_uc* pixels =
        stbi_load_from_memory(f.bytes.data(), static_cast<int>(f.bytes.size()), &w, &h, &n, f.components == 1 ? 1 : 4);
    if (pixels != nullptr) checksum += pixels[0];
    stbi_image_free(pixels);
}

template <typename Decode>
double median_seconds(const Set& set, int reps, Decode decode) {
    std::vector<double> times;
    for (int r = 0; r < reps; r++) {
        auto start = Clock::now();
        for (const File& f : set.files) decode(f);
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The median seconds of each of `decodes` over the set, the decoders taking
// turns repetition by repetition, in a new order each repetition (the same
// orders every run). What a decoder leaves behind can slow the next one
// down: a progressive picture's coefficients take hundreds of megabytes,
// and on a virtual machine memory that another program has just given back
// can be slower to take up than one's own. Shuffled, no decoder always
// follows the same one, and the median passes over the unlucky turns.
// `between` runs after each repetition (see LoadFrameSamples).
std::vector<double> median_seconds_in_turn(const Set& set, int reps,
                                           const std::vector<std::function<void(const File&)>>& decodes,
                                           const std::function<void()>& between) {
    std::vector<std::vector<double>> times(decodes.size());
    std::vector<size_t> order(decodes.size());
    for (size_t i = 0; i < order.size(); i++) order[i] = i;
    std::mt19937 shuffle_with(27);
    for (int r = 0; r < reps; r++) {
        std::shuffle(order.begin(), order.end(), shuffle_with);
        for (const size_t i : order) {
            auto start = Clock::now();
            for (const File& f : set.files) decodes[i](f);
            times[i].push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
        between();
    }
    std::vector<double> medians;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}

// Runs this program again with the reference library's vector code off and
// reads the median seconds per set from its output.
std::map<std::string, double> measure_reference_without_simd(const char* self, int reps,
                                                             const std::vector<std::string>& set_args) {
    std::string command =
        "JSIMD_FORCENONE=1 '" + std::string(self) + "' --reference-only --reps " + std::to_string(reps);
    for (const auto& a : set_args) command += " '" + a + "'";
    std::map<std::string, double> result;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return result;
    char line[512];
    while (std::fgets(line, sizeof line, pipe) != nullptr) {
        char name[256];
        double seconds;
        if (std::sscanf(line, "reference %255s %lf", name, &seconds) == 2) result[name] = seconds;
    }
    pclose(pipe);
    return result;
}

// The frame loader's load_frame of picture 2000, measured in batches spread
// over the whole run (a batch after each repetition of each set) rather
// than in one go at its end: this machine changes speed by about a third
// from one second to the next, and a single batch of a few milliseconds
// lands on whichever speed holds then. Each batch starts with one call that
// is not counted, which brings the picture and the tables back into the
// caches that the large decodes have filled.
class LoadFrameSamples {
public:
    explicit LoadFrameSamples(const std::filesystem::path& collection)
        : bytes_(collection.empty() ? std::vector<uint8_t>{} : read_file(collection / "2000.jpg")),
          frame_(frame_bytes) {
        services_.find_picture = [this](uint16_t, const uint8_t** data, uint32_t* size) {
            *data = bytes_.data();
            *size = static_cast<uint32_t>(bytes_.size());
            return true;
        };
        services_.diagnostic = [](const char*, int32_t) {};
    }
    // The services refer to this object.
    LoadFrameSamples(const LoadFrameSamples&) = delete;
    LoadFrameSamples& operator=(const LoadFrameSamples&) = delete;
    void batch(int calls) {
        if (bytes_.empty()) return;
        load_frame(2000, FrameBuffer{frame_.data()}, services_);
        for (int i = 0; i < calls; i++) {
            auto start = Clock::now();
            load_frame(2000, FrameBuffer{frame_.data()}, services_);
            micros_.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
        }
    }
    void report() {
        if (micros_.empty()) return;
        std::sort(micros_.begin(), micros_.end());
        const size_t n = micros_.size();
        std::printf(
            "load_frame of picture 2000: %.1f us (median of %zu calls in batches over the run; quartiles %.1f "
            "and %.1f us)\n",
            micros_[n / 2], n, micros_[n / 4], micros_[3 * n / 4]);
    }

private:
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> frame_;
    FrameLoaderServices services_;
    std::vector<double> micros_;
};

// How long a Decoder takes to return Stopped once another thread has called
// stop(): decodes `f` through next_row (the first call decodes every scan
// of a progressive picture) and stops it at `count` moments spread over the
// time a whole decode takes; a stop that comes after the last row is not
// counted. Returns the latencies in milliseconds, sorted: the time on the
// clock, which includes any wait of the decoding thread for a core, and the
// processor time the decoding thread spent from stop() to the return, which
// does not.
struct StopLatencies {
    std::vector<double> wall, cpu;
};

double thread_cpu_ms(clockid_t clock) {
    timespec t{};
    clock_gettime(clock, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

StopLatencies stop_latencies(const File& f, int count) {
    std::vector<uint8_t> row(static_cast<size_t>(f.width) * 3);
    auto whole_start = Clock::now();
    {
        Decoder decoder(f.bytes.data(), f.bytes.size());
        while (decoder.next_row(row) == 0) {
        }
    }
    const double whole = std::chrono::duration<double>(Clock::now() - whole_start).count();
    StopLatencies latencies;
    clockid_t decoding_clock;
    if (pthread_getcpuclockid(pthread_self(), &decoding_clock) != 0) return latencies;
    for (int i = 0; i < count; i++) {
        Decoder decoder(f.bytes.data(), f.bytes.size());
        const auto start = Clock::now();
        const auto when = start + std::chrono::duration_cast<Clock::duration>(
                                      std::chrono::duration<double>(whole * (i + 0.5) / count));
        Clock::time_point stopped_at;
        double cpu_at_stop = 0;
        std::thread stopper([&] {
            std::this_thread::sleep_until(when);
            cpu_at_stop = thread_cpu_ms(decoding_clock);
            stopped_at = Clock::now();
            decoder.stop();
        });
        int result;
        while ((result = decoder.next_row(row)) == 0) {
        }
        const auto returned = Clock::now();
        const double cpu_at_return = thread_cpu_ms(decoding_clock);
        stopper.join();
        if (result != Stopped) continue;
        latencies.wall.push_back(std::chrono::duration<double, std::milli>(returned - stopped_at).count());
        latencies.cpu.push_back(cpu_at_return - cpu_at_stop);
    }
    std::sort(latencies.wall.begin(), latencies.wall.end());
    std::sort(latencies.cpu.begin(), latencies.cpu.end());
    return latencies;
}

int usage() {
    std::fprintf(stderr, "usage: jpeg-bench [--reps N] [--collection DIR] NAME=DIR ...\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    int reps = 5;
    bool reference_only = false;
    std::filesystem::path collection;
    std::vector<std::string> set_args;
    for (int i = 1; i < argc; i++) {
        std::string a = argv[i];
        if (a == "--reps" && i + 1 < argc) {
            reps = std::max(1, std::atoi(argv[++i]));
        } else if (a == "--collection" && i + 1 < argc) {
            collection = argv[++i];
        } else if (a == "--reference-only") {
            reference_only = true;
        } else if (a.find('=') != std::string::npos) {
            set_args.push_back(a);
        } else {
            return usage();
        }
    }
    if (set_args.empty()) return usage();

    std::vector<Set> sets;
    size_t largest = 0;
    for (const auto& a : set_args) {
        sets.push_back(load_set(a.substr(0, a.find('=')), a.substr(a.find('=') + 1)));
        for (const File& f : sets.back().files)
            largest = std::max(largest, static_cast<size_t>(f.width) * f.height * 4);
    }
    sink.assign(largest + 64, 0);

    if (!reference_only)
        for (const Set& s : sets)
            if (s.name != "collection")
                for (const File& f : s.files)
                    std::printf("%-12s %-24s %5d x %-5d %4.2f bits a pixel\n", s.name.c_str(), f.name.c_str(), f.width,
                                f.height,
                                8.0 * static_cast<double>(f.bytes.size()) / (f.width * static_cast<double>(f.height)));

    if (reference_only) {
        for (const Set& s : sets)
            std::printf("reference %s %.9f\n", s.name.c_str(), median_seconds(s, reps, decode_reference));
        return 0;
    }

    const auto without_simd = measure_reference_without_simd(argv[0], reps, set_args);
    std::printf("%-12s %6s %8s %8s | %-22s %9s %9s | %s\n", "set", "files", "MP", "MB", "decoder", "MP/s", "MB/s",
                "marivue / decoder");
    LoadFrameSamples frame_samples(collection);
    for (const Set& s : sets) {
        PoolUse use;
        for (const File& f : s.files) {
            PoolUse u = decode_marivue(f);
            use.peak_bytes = std::max(use.peak_bytes, u.peak_bytes);
            use.peak_blocks = std::max(use.peak_blocks, u.peak_blocks);
        }
        // Reduced sizes through the one-call decode on one thread, into the
        // same layout as "decode()".
        const std::vector<double> m = median_seconds_in_turn(
            s, reps,
            {[](const File& f) { decode_marivue(f); }, decode_marivue_one_call<1>, decode_marivue_one_call<0>,
             decode_marivue_one_call<1, 2>, decode_marivue_one_call<1, 4>, decode_marivue_one_call<1, 8>,
             decode_reference, decode_stb},
            [&] { frame_samples.batch(20); });
        const double ours = m[0];
        struct Row {
            const char* name;
            double seconds;
        } rows[] = {
            {"marivue", ours},
            {"marivue decode()", m[1]},
            {"marivue decode() auto", m[2]},
            {"marivue decode() 1/2", m[3]},
            {"marivue decode() 1/4", m[4]},
            {"marivue decode() 1/8", m[5]},
            {"libjpeg-turbo", m[6]},
            {"libjpeg-turbo no SIMD", without_simd.count(s.name) ? without_simd.at(s.name) : 0},
            {"stb_image", m[7]},
        };
        for (const Row& r : rows) {
            if (r.seconds <= 0) continue;
            std::printf("%-12s %6zu %8.2f %8.2f | %-22s %9.1f %9.1f | %.2f\n", s.name.c_str(), s.files.size(),
                        s.megapixels, s.megabytes, r.name, s.megapixels / r.seconds, s.megabytes / r.seconds,
                        r.seconds / ours);
        }
        std::printf(
            "%-12s reduced sizes, decode() on one thread: its full decode's time over theirs: 1/2 %.2f, 1/4 %.2f, "
            "1/8 %.2f\n",
            s.name.c_str(), rows[1].seconds / rows[3].seconds, rows[1].seconds / rows[4].seconds,
            rows[1].seconds / rows[5].seconds);
        std::printf(
            "%-12s peak pool memory %.2f MB (decode() at 1/2 %.2f, 1/4 %.2f, 1/8 %.2f), at most %d pool "
            "blocks, record %zu bytes\n",
            s.name.c_str(), static_cast<double>(use.peak_bytes) / 1e6,
            static_cast<double>(peak_pool_one_call<2>(s)) / 1e6, static_cast<double>(peak_pool_one_call<4>(s)) / 1e6,
            static_cast<double>(peak_pool_one_call<8>(s)) / 1e6, use.peak_blocks, sizeof(JpegDecoder));
        const std::string joins = split_joins(s);
        if (!joins.empty()) std::printf("%-12s split scan joins:%s\n", s.name.c_str(), joins.c_str());
    }
    frame_samples.report();
    // Stop latency on the largest progressive picture of the sets up to 12
    // megapixels (the 4000 x 3000 one of the large sets).
    const File* largest_progressive = nullptr;
    for (const Set& s : sets)
        for (const File& f : s.files) {
            Info info;
            if (read_info(f.bytes.data(), f.bytes.size(), info) == 0 && info.progressive &&
                f.width * f.height <= 12000000 &&
                (largest_progressive == nullptr ||
                 f.width * f.height > largest_progressive->width * largest_progressive->height))
                largest_progressive = &f;
        }
    if (largest_progressive != nullptr) {
        const StopLatencies latencies = stop_latencies(*largest_progressive, 20 * reps);
        for (const auto& [what, times] : {std::pair{"on the clock", &latencies.wall},
                                          std::pair{"decoding thread's processor time", &latencies.cpu}})
            if (!times->empty())
                std::printf(
                    "stop() to Stopped on %s (%d x %d, progressive), %s: median %.3f ms, 90th percentile %.3f ms, "
                    "worst %.3f ms, %zu stops\n",
                    largest_progressive->name.c_str(), largest_progressive->width, largest_progressive->height, what,
                    (*times)[times->size() / 2], (*times)[times->size() * 9 / 10], times->back(), times->size());
    }
    return checksum == 42 ? 3 : 0;  // the checksum only keeps the decodes alive
}

// jpeg-decode: decodes a JPEG file with the Marivue decoder and writes the
// picture as a binary PPM (colour) or PGM (grey) file.
//
// Exit status: 0 success, 1 the decoder refused or failed on the input,
// 2 bad usage or a file that could not be opened, read, written or renamed.

#include "jpeg/byte_sources.h"
#include "jpeg/decoder.h"
#include "jpeg/status_names.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int exit_ok = 0;
constexpr int exit_decode_failed = 1;
constexpr int exit_usage = 2;

const char* const program = "jpeg-decode";

void print_usage(std::FILE* to) { std::fprintf(to, "usage: %s [--info] INPUT [OUTPUT]\n", program); }

void print_help() {
    print_usage(stdout);
    std::printf(
        "\n"
        "Decodes the JPEG file INPUT and writes the picture to OUTPUT as a\n"
        "binary PPM (P6, 8-bit RGB) for a colour picture or a binary PGM (P5,\n"
        "8-bit grey) for a greyscale one.\n"
        "\n"
        "  INPUT      the JPEG file to read; '-' reads standard input\n"
        "  OUTPUT     the file to write; '-' writes standard output; when left\n"
        "             out, the picture is decoded in full and then discarded,\n"
        "             which checks that the file decodes\n"
        "  --info     prints the width, height, component count, whether the\n"
        "             frame is progressive and the output scheme, then stops;\n"
        "             no pixel rows are decoded and OUTPUT is not allowed\n"
        "  -h, --help prints this text\n"
        "  --         ends the options (for an INPUT that starts with '-')\n"
        "\n"
        "An output file appears only when the whole picture decoded: it is\n"
        "written under a temporary name in the same directory and renamed at\n"
        "the end. A picture for standard output is held in memory and written\n"
        "only once it is complete.\n"
        "\n"
        "When the decoder refuses or fails on the input, one line is printed on\n"
        "standard error:\n"
        "  %s: INPUT: NAME (CODE)\n"
        "where NAME is the decoder's status name and CODE its number, for\n"
        "example 'NotJpeg (-217)' for a file that is not a JPEG stream.\n"
        "\n"
        "Exit status: 0 success; 1 the input could not be decoded; 2 bad usage,\n"
        "or a file that could not be opened, read, written or renamed.\n",
        program);
}

int usage_error(const char* message) {
    std::fprintf(stderr, "%s: %s\n", program, message);
    print_usage(stderr);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    return exit_usage;
}

struct Options {
    bool info = false;
    std::string input;
    std::string output;  // empty: decode and discard
    bool has_output = false;
};

// Returns -1 when the options are complete, otherwise the exit status.
int parse_options(int argc, char** argv, Options& options) {
    std::vector<std::string> operands;
    bool options_done = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (!options_done && arg == "--") {
            options_done = true;
        } else if (!options_done && (arg == "--help" || arg == "-h")) {
            print_help();
            return exit_ok;
        } else if (!options_done && arg == "--info") {
            options.info = true;
        } else if (!options_done && arg.size() > 1 && arg[0] == '-') {
            std::string message = "unknown option '" + arg + "'";
            return usage_error(message.c_str());
        } else {
            operands.push_back(arg);
        }
    }
    if (operands.empty()) {
        return usage_error("missing INPUT");
    }
    if (operands.size() > 2) {
        return usage_error("too many arguments");
    }
    if (options.info && operands.size() == 2) {
        return usage_error("--info writes no picture: OUTPUT is not allowed");
    }
    options.input = operands[0];
    if (operands.size() == 2) {
        options.output = operands[1];
        options.has_output = true;
        if (options.output.empty()) {
            return usage_error("OUTPUT is an empty name");
        }
    }
    if (options.input.empty()) {
        return usage_error("INPUT is an empty name");
    }
    return -1;
}

const char* scheme_name(int32_t scheme) {
    switch (scheme) {
        case SchemeGrey:
            return "SchemeGrey";
        case SchemeH1V1:
            return "SchemeH1V1";
        case SchemeH2V1:
            return "SchemeH2V1";
        case SchemeH1V2:
            return "SchemeH1V2";
        case SchemeH2V2:
            return "SchemeH2V2";
        default:
            return "Unknown";
    }
}

// Where the pixel rows go: a temporary file renamed at the end, memory that
// is written to standard output at the end, or nowhere.
struct Sink {
    enum Kind { Discard, TempFile, Memory } kind = Discard;
    std::string final_path;
    std::string temp_path;
    std::FILE* file = nullptr;
    std::vector<uint8_t> memory;
    bool write_failed = false;
    int write_errno = 0;
};

std::string directory_of(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    if (slash == 0) {
        return "/";
    }
    return path.substr(0, slash);
}

std::string base_of(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Opens a temporary file beside `path`. False with errno set on failure.
bool open_temp_file(Sink& sink, const std::string& path) {
    std::string pattern = directory_of(path) + "/." + base_of(path) + ".partXXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    int fd = mkstemp(name.data());
    if (fd < 0) {
        return false;
    }
    // mkstemp creates the file private to its owner; give it the mode an
    // ordinary new file would get.
    mode_t mask = umask(0);
    umask(mask);
    if (fchmod(fd, 0666 & ~mask) != 0) {
        int saved = errno;
        close(fd);
        unlink(name.data());
        errno = saved;
        return false;
    }
    std::FILE* file = fdopen(fd, "wb");
    if (file == nullptr) {
        int saved = errno;
        close(fd);
        unlink(name.data());
        errno = saved;
        return false;
    }
    sink.kind = Sink::TempFile;
    sink.final_path = path;
    sink.temp_path = name.data();
    sink.file = file;
    return true;
}

void sink_write(Sink& sink, const uint8_t* bytes, size_t count) {
    if (sink.kind == Sink::TempFile) {
        if (!sink.write_failed && std::fwrite(bytes, 1, count, sink.file) != count) {
            sink.write_failed = true;
            sink.write_errno = errno;
        }
    } else if (sink.kind == Sink::Memory) {
        sink.memory.insert(sink.memory.end(), bytes, bytes + count);
    }
}

// Removes whatever a failed run has written.
void sink_abandon(Sink& sink) {
    if (sink.kind == Sink::TempFile && sink.file != nullptr) {
        std::fclose(sink.file);
        sink.file = nullptr;
        unlink(sink.temp_path.c_str());
    }
    sink.memory.clear();
}

// Makes the finished picture visible. Returns the exit status.
int sink_commit(Sink& sink) {
    if (sink.kind == Sink::TempFile) {
        bool ok = !sink.write_failed;
        int error = sink.write_errno;
        if (std::fflush(sink.file) != 0 && ok) {
            ok = false;
            error = errno;
        }
        if (std::fclose(sink.file) != 0 && ok) {
            ok = false;
            error = errno;
        }
        sink.file = nullptr;
        if (!ok) {
            unlink(sink.temp_path.c_str());
            std::fprintf(stderr, "%s: cannot write %s: %s\n", program, sink.final_path.c_str(), std::strerror(error));
            return exit_usage;
        }
        if (std::rename(sink.temp_path.c_str(), sink.final_path.c_str()) != 0) {
            error = errno;
            unlink(sink.temp_path.c_str());
            std::fprintf(stderr, "%s: cannot create %s: %s\n", program, sink.final_path.c_str(), std::strerror(error));
            return exit_usage;
        }
    } else if (sink.kind == Sink::Memory) {
        size_t written = std::fwrite(sink.memory.data(), 1, sink.memory.size(), stdout);
        if (written != sink.memory.size() || std::fflush(stdout) != 0) {
            std::fprintf(stderr, "%s: cannot write standard output: %s\n", program, std::strerror(errno));
            return exit_usage;
        }
    }
    return exit_ok;
}

int report_failure(const std::string& input, int32_t code) {
    std::fprintf(stderr, "%s: %s: %s (%d)\n", program, input.c_str(), status_name(code), static_cast<int>(code));
    // A read error of the input is a file error, not a fault of its content.
    return code == StreamError ? exit_usage : exit_decode_failed;
}

// Decodes every row into the sink. Returns the exit status; on failure the
// sink is abandoned.
int decode_rows(JpegDecoder& decoder, const Options& options, Sink& sink) {
    const int32_t width = decoder.image_width;
    const int32_t height = decoder.image_height;
    const bool grey = decoder.bytes_per_pixel == 1;
    const int32_t expected_bytes = width * decoder.bytes_per_pixel;

    try {
        if (sink.kind == Sink::Memory) {
            sink.memory.reserve(32 + static_cast<size_t>(width) * static_cast<size_t>(height) * (grey ? 1u : 3u));
        }
        if (sink.kind != Sink::Discard) {
            char header[64];
            int length = std::snprintf(header, sizeof header, "%s\n%d %d\n255\n", grey ? "P5" : "P6",
                                       static_cast<int>(width), static_cast<int>(height));
            sink_write(sink, reinterpret_cast<const uint8_t*>(header), static_cast<size_t>(length));
        }

        std::vector<uint8_t> rgb(grey ? 0 : static_cast<size_t>(width) * 3);
        int32_t rows = 0;
        for (;;) {
            const uint8_t* row = nullptr;
            int32_t row_bytes = 0;
            int32_t result = decode_row(decoder, &row, &row_bytes);
            if (result == 1) {
                break;
            }
            if (result != 0) {
                // -227 (this call failed) or -1 (an earlier failure): the
                // picture is incomplete either way.
                sink_abandon(sink);
                int32_t code = decoder.status != 0 ? decoder.status : DecodeError;
                return report_failure(options.input, code);
            }
            if (row == nullptr || row_bytes != expected_bytes || rows >= height) {
                sink_abandon(sink);
                std::fprintf(stderr, "%s: %s: the decoder delivered an inconsistent row\n", program,
                             options.input.c_str());
                return exit_decode_failed;
            }
            ++rows;
            if (sink.kind == Sink::Discard) {
                continue;
            }
            if (grey) {
                sink_write(sink, row, static_cast<size_t>(row_bytes));
            } else {
                for (int32_t x = 0; x < width; ++x) {
                    rgb[3 * x] = row[4 * x];
                    rgb[3 * x + 1] = row[4 * x + 1];
                    rgb[3 * x + 2] = row[4 * x + 2];
                }
                sink_write(sink, rgb.data(), rgb.size());
            }
        }
        if (rows != height) {
            sink_abandon(sink);
            std::fprintf(stderr, "%s: %s: the decoder delivered %d of %d rows\n", program, options.input.c_str(),
                         static_cast<int>(rows), static_cast<int>(height));
            return exit_decode_failed;
        }
    } catch (const std::bad_alloc&) {
        sink_abandon(sink);
        return report_failure(options.input, OutOfMemory);
    }
    int status = sink_commit(sink);
    if (status == exit_ok && sink.kind == Sink::Discard) {
        std::printf("%s: %s: decoded %d x %d, %d component%s\n", program, options.input.c_str(),
                    static_cast<int>(width), static_cast<int>(height), static_cast<int>(decoder.frame_component_count),
                    decoder.frame_component_count == 1 ? "" : "s");
    }
    return status;
}

void print_info(const JpegDecoder& decoder, bool scheme_known) {
    std::printf("width: %d\n", static_cast<int>(decoder.image_width));
    std::printf("height: %d\n", static_cast<int>(decoder.image_height));
    std::printf("components: %d\n", static_cast<int>(decoder.frame_component_count));
    std::printf("progressive: %s\n", decoder.is_progressive ? "yes" : "no");
    if (scheme_known) {
        std::printf("scheme: %s\n", scheme_name(decoder.output_scheme));
    }
    std::fflush(stdout);
}

// Runs the decoder over an open input. Returns the exit status.
int run_decoder(std::FILE* in, const Options& options) {
    FileByteSource source(in);
    JpegDecoder* decoder = new (std::nothrow) JpegDecoder;
    if (decoder == nullptr) {
        return report_failure(options.input, OutOfMemory);
    }

    int status = exit_ok;
    open_decoder(*decoder, source);
    if (decoder->status != 0) {
        status = report_failure(options.input, decoder->status);
    } else if (begin(*decoder) != 0) {
        if (options.info) {
            // The frame header was read: say what it told before the failure.
            print_info(*decoder, false);
        }
        status = report_failure(options.input, decoder->status);
    } else if (options.info) {
        print_info(*decoder, true);
    } else {
        Sink sink;
        if (options.has_output && options.output == "-") {
            sink.kind = Sink::Memory;
        } else if (options.has_output) {
            if (!open_temp_file(sink, options.output)) {
                std::fprintf(stderr, "%s: cannot create %s: %s\n", program, options.output.c_str(),
                             std::strerror(errno));
                status = exit_usage;
            }
        }
        if (status == exit_ok) {
            status = decode_rows(*decoder, options, sink);
        }
    }
    free_pool(*decoder);
    delete decoder;
    return status;
}

}  // namespace

int main(int argc, char** argv) {
    Options options;
    int parsed = parse_options(argc, argv, options);
    if (parsed >= 0) {
        return parsed;
    }

    std::FILE* in = nullptr;
    if (options.input == "-") {
        in = stdin;
    } else {
        in = std::fopen(options.input.c_str(), "rb");
        if (in == nullptr) {
            std::fprintf(stderr, "%s: cannot open %s: %s\n", program, options.input.c_str(), std::strerror(errno));
            return exit_usage;
        }
        struct stat info;
        if (fstat(fileno(in), &info) == 0 && S_ISDIR(info.st_mode)) {
            std::fclose(in);
            std::fprintf(stderr, "%s: cannot open %s: %s\n", program, options.input.c_str(), std::strerror(EISDIR));
            return exit_usage;
        }
    }

    int status = run_decoder(in, options);
    if (in != stdin) {
        std::fclose(in);
    }
    return status;
}

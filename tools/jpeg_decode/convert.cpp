#include "convert.h"

#include "info.h"
#include "messages.h"
#include "output.h"
#include "picture_writer.h"

#include "marivue/jpeg/byte_sources.h"
#include "marivue/jpeg/decoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

#include <sys/stat.h>

using namespace marivue::jpeg;

namespace jpeg_decode {

namespace {

// The value coefficients that never arrived decode to: rows the data did
// not reach are filled with it.
constexpr uint8_t mid_grey = 128;

struct DecodedRows {
    int status = exit_ok;
    int32_t delivered = 0;  // rows the decoder delivered
    // The first row the data did not fully reach, image_height when it
    // reached them all (a progressive picture's missing detail aside).
    int32_t first_patched = 0;
    bool incomplete = false;  // the data ended early; the rest is filled in
};

// Hands every row to the writer (none when checking). A sequential picture
// whose data ends early has the rows it could not deliver filled in
// mid-grey.
DecodedRows decode_rows(JpegDecoder& d, PictureWriter* writer, const std::string& input) {
    DecodedRows result;
    result.first_patched = d.image_height;
    const int32_t expected_bytes = d.image_width * d.bytes_per_pixel;
    for (;;) {
        const uint8_t* row = nullptr;
        int32_t row_bytes = 0;
        const int32_t got = decode_row(d, &row, &row_bytes);
        if (got == 1) break;
        if (got != 0) {
            if (got == DecodeError && d.status == DecodeError && d.data_incomplete) {
                result.first_patched = std::min(result.first_patched, result.delivered);
                break;
            }
            result.status = report_status(input, d.status != 0 ? d.status : DecodeError, d.frame_component_count);
            return result;
        }
        if (row == nullptr || row_bytes != expected_bytes || result.delivered >= d.image_height) {
            report(input, "the decoder delivered an inconsistent row");
            result.status = exit_undecodable;
            return result;
        }
        // A sequential picture's flag rises with the first row of the MCU
        // row that ran past the end of the data.
        if (d.data_incomplete && !d.is_progressive) {
            result.first_patched = std::min(result.first_patched, result.delivered);
        }
        ++result.delivered;
        if (writer != nullptr) writer->write_row(row);
    }
    if (writer != nullptr && result.delivered < d.image_height) {
        std::vector<uint8_t> grey(static_cast<size_t>(expected_bytes), mid_grey);
        for (int32_t y = result.delivered; y < d.image_height; ++y) writer->write_row(grey.data());
    }
    result.incomplete = d.data_incomplete != 0;
    return result;
}

void warn_incomplete(const std::string& input, const DecodedRows& rows, int32_t height) {
    if (rows.first_patched < height) {
        warn(input, "the picture's data ends early; " + std::to_string(height - rows.first_patched) + " of " +
                        std::to_string(height) + " rows are filled in");
    } else {
        warn(input, "the picture's data ends early; the missing detail is filled in");
    }
}

// Decodes a begun picture to its output, or nowhere when checking.
int convert(JpegDecoder& d, const Options& options, const std::string& input, const std::string& output_name) {
    const bool grey = d.bytes_per_pixel == 1;
    const bool checking = options.mode == Mode::Check;
    Format format = Format::Pnm;
    std::string name = output_name;
    if (!options.output_dir.empty()) {
        format = options.format.value_or(Format::Pnm);
        name = name_in_directory(options.output_dir, input, format, grey);
    } else if (!checking) {
        format = options.format ? *options.format : format_for_name(name).value_or(Format::Pnm);
    }
    Output output;
    std::unique_ptr<PictureWriter> writer;
    if (!checking) {
        if (!open_output(name, output)) return exit_usage;
        writer = make_writer(format);
        if (!writer->begin(output, d.image_width, d.image_height, grey)) {
            discard_output(output);
            report(name, "cannot start the PNG picture");
            return exit_usage;
        }
    }
    const DecodedRows rows = decode_rows(d, writer.get(), input);
    if (rows.status != exit_ok) {
        if (!checking) discard_output(output);
        return rows.status;
    }
    if (!checking) {
        if (!writer->end()) {
            discard_output(output);
            report(name, "cannot finish the PNG picture");
            return exit_usage;
        }
        if (!finish_output(output)) return exit_usage;
    }
    if (checking || options.verbose) {
        clear_progress();
        std::fprintf(stderr, "%s: %s: decoded %s\n", program, printable(input).c_str(),
                     summary(describe(input, d, 0)).c_str());
    }
    if (rows.incomplete) {
        warn_incomplete(input, rows, d.image_height);
        return exit_warning;
    }
    return exit_ok;
}

// Runs the decoder over an open input.
int run_decoder(std::FILE* in, const Options& options, const std::string& input, const std::string& output) {
    FileByteSource source(in);
    std::unique_ptr<JpegDecoder> decoder(new (std::nothrow) JpegDecoder);
    if (!decoder) return report_status(input, OutOfMemory, 0);
    JpegDecoder& d = *decoder;
    int status = exit_ok;
    open_decoder(d, source);
    if (d.status != 0) {
        status = report_status(input, d.status, 0);
    } else if (begin(d) != 0) {
        // A picture the decoder parsed but refuses is still described.
        if (options.mode == Mode::Info) {
            const PictureInfo info = describe(input, d, d.status);
            options.json ? print_json(info) : print_words(info);
            std::fflush(stdout);
        }
        status = report_status(input, d.status, d.frame_component_count);
    } else if (options.mode == Mode::Info) {
        const PictureInfo info = describe(input, d, 0);
        options.json ? print_json(info) : print_words(info);
    } else {
        try {
            status = convert(d, options, input, output);
        } catch (const std::bad_alloc&) {
            status = report_status(input, OutOfMemory, d.frame_component_count);
        }
    }
    free_pool(d);
    return status;
}

}  // namespace

int run_input(const Options& options, const std::string& input, const std::string& output) {
    std::FILE* in = input == "-" ? stdin : std::fopen(input.c_str(), "rb");
    if (in == nullptr) {
        report(input, std::string("cannot open: ") + std::strerror(errno));
        return exit_usage;
    }
    struct stat info;
    if (in != stdin && fstat(fileno(in), &info) == 0 && S_ISDIR(info.st_mode)) {
        std::fclose(in);
        report(input, std::string("cannot open: ") + std::strerror(EISDIR));
        return exit_usage;
    }
    const int status = run_decoder(in, options, input, output);
    if (in != stdin) std::fclose(in);
    return status;
}

}  // namespace jpeg_decode

#include "convert.h"

#include "icc.h"
#include "info.h"
#include "messages.h"
#include "output.h"
#include "picture_writer.h"
#include "row_pipe.h"

#include "marivue/jpeg.hpp"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <vector>

#include <sys/stat.h>

using namespace marivue::jpeg;

namespace jpeg_decode {

namespace {

// A picture's rows as the writers take them, which the decoder writes
// directly: one grey byte a pixel, or red, green and blue.
PixelFormat writer_format(const Info& info) { return info.components == 1 ? PixelFormat::grey : PixelFormat::rgb; }

int report_failure(const std::string& input, const Decoder& decoder) {
    return report_status(input, decoder.status(), decoder.message());
}

struct DecodedRows {
    int status = exit_ok;
    // The first row the data did not fully reach, the height when it
    // reached them all (a progressive picture's missing detail aside).
    int32_t first_patched = 0;
};

// Hands every row to the writer (none when checking), `row` holding the
// first one already. A sequential picture whose data ends early has the
// rows the data did not reach filled in mid-grey by the decoder.
//
// PNG's compression takes longer than the decoding: its writer has a thread
// of its own (RowPipe), into whose blocks the decoder writes the rows. For
// PPM, PGM and --check the decoder's own second thread transforms and
// converts the rows while this one reads the data, and writes them out.
DecodedRows decode_rows(Decoder& decoder, std::vector<uint8_t>& row, PictureWriter* writer, bool own_thread,
                        int threads, const std::string& input) {
    const Info& info = decoder.info();
    DecodedRows result;
    result.first_patched = info.output_height;
    // A sequential picture's flag rises with the first row of the MCU
    // row that ran past the end of the data.
    auto note = [&info, &result](int32_t y, bool complete) {
        if (!complete && !info.progressive) result.first_patched = std::min(result.first_patched, y);
    };
    note(0, decoder.complete());
    if (!own_thread) {
        if (writer != nullptr) writer->write_row(row.data());
        struct Sink {
            PictureWriter* writer;
            decltype(note)& noted;
        } sink{writer, note};
        marivue::jpeg::Options decoding;
        decoding.format = writer_format(info);
        decoding.threads = threads;
        const Decoder::RowSink deliver = [](void* to, const uint8_t* r, int y, bool complete) {
            Sink& s = *static_cast<Sink*>(to);
            s.noted(y, complete);
            if (s.writer != nullptr) s.writer->write_row(r);
        };
        if (decoder.decode_rows(deliver, &sink, decoding) != 0) result.status = report_failure(input, decoder);
        return result;
    }
    RowPipe pipe(*writer, row.size());
    std::memcpy(pipe.row(), row.data(), row.size());
    for (int32_t y = 0;;) {
        pipe.push();
        if (++y == info.output_height) break;
        uint8_t* place = pipe.row();
        if (decoder.next_row(std::span<uint8_t>(place, row.size()), writer_format(info)) != 0) {
            result.status = report_failure(input, decoder);
            break;
        }
        note(y, decoder.complete());
    }
    // Every row written before the output is finished or discarded.
    pipe.finish();
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

// Decodes a picture whose first row is in `row` to its output, or nowhere
// when checking.
int convert(Decoder& decoder, std::vector<uint8_t>& row, const Options& options, const std::string& input,
            const std::string& output_name) {
    const Info& info = decoder.info();
    const bool grey = info.components == 1;
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
        if (!info.icc_profile.empty())
            writer->set_icc_profile(png_profile_name(icc_description(info.icc_profile)), info.icc_profile);
        if (!writer->begin(output, info.output_width, info.output_height, grey)) {
            discard_output(output);
            report(name, "cannot start the PNG picture");
            return exit_usage;
        }
        // PPM and PGM have no room for a profile; a PNG that should carry
        // one and does not is said so.
        if (format == Format::Png && !info.icc_profile.empty() && !writer->profile_written())
            warn(input, "the picture's colour profile is not written: libpng refuses it for this picture");
    }
    const DecodedRows rows =
        decode_rows(decoder, row, writer.get(), !checking && format == Format::Png, options.threads, input);
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
                     summary(describe(input, info, options.scale)).c_str());
    }
    if (!decoder.complete()) {
        warn_incomplete(input, rows, info.output_height);
        return exit_warning;
    }
    return exit_ok;
}

// The whole of `in` when it is a regular file; false for anything else or
// a failed read, which leaves the file where it was.
bool read_regular_file(std::FILE* in, std::vector<uint8_t>& bytes) {
    struct stat info;
    const long at = std::ftell(in);
    if (at < 0 || fstat(fileno(in), &info) != 0 || !S_ISREG(info.st_mode) || std::fseek(in, 0, SEEK_SET) != 0)
        return false;
    bytes.resize(static_cast<size_t>(info.st_size));
    if (std::fread(bytes.data(), 1, bytes.size(), in) == bytes.size() && std::fgetc(in) == EOF) return true;
    bytes.clear();
    std::fseek(in, at, SEEK_SET);
    return false;
}

// Runs the decoder over an open input. The first row is decoded before
// anything is written or printed: it prepares decoding (every scan of a
// progressive picture), so a picture refused then leaves no output behind,
// and --info can say whether the picture decodes.
int run_decoder(std::FILE* in, const Options& options, const std::string& input, const std::string& output) {
    FileByteSource source(in);
    // No memory limit: the command decodes whatever the machine can hold.
    marivue::jpeg::Options decoding;
    decoding.memory_limit = 0;
    decoding.max_side = options.max_side;
    decoding.scale = options.scale;
    decoding.threads = options.threads;
    Decoder decoder(source, decoding);
    if (decoder.status() != 0) return report_failure(input, decoder);
    std::vector<uint8_t> bytes;
    try {
        // A progressive picture in a regular file is read into memory,
        // from where the decoder shares its scans between two threads: the
        // file is small beside the coefficients the scans fill anyway.
        if (decoder.info().progressive && options.mode != Mode::Info && read_regular_file(in, bytes)) {
            decoder = Decoder(bytes.data(), bytes.size(), decoding);
            if (decoder.status() != 0) return report_failure(input, decoder);
        }
    } catch (const std::bad_alloc&) {
        return report_status(input, OutOfMemory, status_message(OutOfMemory));
    }
    const Info& info = decoder.info();
    try {
        std::vector<uint8_t> row(static_cast<size_t>(info.output_width) *
                                 static_cast<size_t>(channels_of(writer_format(info))));
        const int first = decoder.next_row(row, writer_format(info));
        if (options.mode == Mode::Info) {
            // A picture the decoder parsed but refuses is still described.
            const std::string reason = first < 0 ? status_words(first, decoder.message()) : "";
            const PictureInfo picture = describe(input, info, options.scale, first < 0 ? first : 0, reason);
            options.json ? print_json(picture) : print_words(picture);
            std::fflush(stdout);
        }
        if (first < 0) return report_failure(input, decoder);
        if (options.mode == Mode::Info) return exit_ok;
        return convert(decoder, row, options, input, output);
    } catch (const std::bad_alloc&) {
        return report_status(input, OutOfMemory, status_message(OutOfMemory));
    }
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

#include "messages.h"

#include "marivue/jpeg/decoder.h"
#include "marivue/jpeg/status_names.h"

#include <cstdio>

#include <unistd.h>

using namespace marivue::jpeg;

namespace jpeg_decode {

const char* const program = "jpeg-decode";

namespace {

struct StatusWords {
    int32_t code;
    const char* words;
};

// Words for a person; the decoder's own names and codes follow them in
// every message, for searching and for scripts.
constexpr StatusWords status_table[] = {
    {HuffCountsTooLarge, "a Huffman table declares more than 255 codes"},
    {HuffIndexInvalid, "a Huffman table has a slot number beyond the last"},
    {HuffSegmentLength, "a Huffman table segment is too short"},
    {QuantSegmentLength, "a quantisation table segment has an impossible length"},
    {QuantIndexInvalid, "a quantisation table has a number beyond the last"},
    {PrecisionNot8, "only 8-bit samples are supported"},
    {HeightOutOfRange, "the picture's height is 0 or above 8192"},
    {WidthOutOfRange, "the picture's width is 0 or above 8192"},
    {TooManyComponents, "the frame declares more than four components"},
    {FrameHeaderLength, "the frame header's length does not match its components"},
    {MarkerLength, "a segment has an impossible length"},
    {RestartHeaderLength, "the restart interval segment has the wrong length"},
    {ScanHeaderLength, "a scan header has the wrong length or component count"},
    {ScanComponentUnknown, "a scan names a component the frame does not have"},
    {HuffTableInvalid, "a Huffman table is malformed"},
    {ArithmeticNotSupported, "arithmetic-coded pictures are not supported"},
    {UnexpectedMarker, "a marker stands where it does not belong"},
    {NotJpeg, "not a JPEG file"},
    {UnsupportedFrameType, "lossless and hierarchical pictures are not supported"},
    {QuantSegmentShort, "a quantisation table segment ends inside a table"},
    {ScanComponentRepeated, "a scan names the same component twice"},
    {PoolFull, "the picture needs more memory blocks than the decoder keeps"},
    {QuantTableMissing, "a quantisation table the picture needs is missing"},
    {HuffTableMissing, "a Huffman table the picture needs is missing"},
    {SequentialScanUnsupported, "the first scan does not carry every component in order"},
    {UnsupportedComponents, "only grey and three-component colour pictures are supported"},
    {UnsupportedSampling, "this sampling layout is not supported"},
    {DecodeError, "the compressed data is corrupt"},
    {RestartMarker, "a restart marker is missing or out of order"},
    {BufferLimit, "the picture's blocks do not fit the decoder's buffers"},
    {SpectralSelection, "a progressive scan has an impossible frequency range"},
    {SuccessiveApprox, "a progressive scan has impossible refinement bits"},
    {StreamError, "the file could not be read"},
    {OutOfMemory, "not enough memory"},
};

bool progress_shown = false;

int rank(int status) {
    switch (status) {
        case exit_ok:
            return 0;
        case exit_warning:
            return 1;
        case exit_undecodable:
            return 2;
        default:
            return 3;
    }
}

}  // namespace

int worse(int a, int b) { return rank(a) >= rank(b) ? a : b; }

std::string status_words(int32_t code, int32_t component_count) {
    if (code == UnsupportedComponents && component_count == 4) {
        return "four-component (CMYK) pictures are not supported";
    }
    if (code == UnsupportedComponents && component_count == 2) {
        return "two-component pictures are not supported";
    }
    for (const StatusWords& entry : status_table) {
        if (entry.code == code) {
            return entry.words;
        }
    }
    return "the decoder failed";
}

int report_status(const std::string& file, int32_t code, int32_t component_count) {
    clear_progress();
    std::fprintf(stderr, "%s: %s: %s (%s, %d)\n", program, file.c_str(), status_words(code, component_count).c_str(),
                 status_name(code), static_cast<int>(code));
    // A read error of the input is a file error, not a fault of its content.
    return code == StreamError ? exit_usage : exit_undecodable;
}

void report(const std::string& file, const std::string& what) {
    clear_progress();
    std::fprintf(stderr, "%s: %s: %s\n", program, file.c_str(), what.c_str());
}

void warn(const std::string& file, const std::string& what) {
    clear_progress();
    std::fprintf(stderr, "%s: warning: %s: %s\n", program, file.c_str(), what.c_str());
}

void show_progress(int index, int count, const std::string& file) {
    if (!isatty(STDERR_FILENO)) {
        return;
    }
    std::fprintf(stderr, "\r%s: [%d/%d] %s\033[K", program, index, count, file.c_str());
    std::fflush(stderr);
    progress_shown = true;
}

void clear_progress() {
    if (progress_shown) {
        std::fputs("\r\033[K", stderr);
        progress_shown = false;
    }
}

}  // namespace jpeg_decode

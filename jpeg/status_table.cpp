// The one table of the status codes' names and words. Everything that shows
// a status to a person (the C++ and C interfaces, jpeg-decode, the viewer,
// the README's list) takes the words from here.
#include "marivue/jpeg/status.h"

#include "jpeg/internal.h"

#include <cstdio>

namespace marivue::jpeg {

namespace {

struct StatusText {
    int32_t code;
    const char* name;
    const char* words;
};

constexpr StatusText status_texts[] = {
    {StatusOk, "StatusOk", "no failure"},
    {HuffCountsTooLarge, "HuffCountsTooLarge", "a Huffman table declares more than 255 codes"},
    {HuffIndexInvalid, "HuffIndexInvalid", "a Huffman table has a slot number beyond the last"},
    {HuffSegmentLength, "HuffSegmentLength", "a Huffman table segment is too short"},
    {QuantSegmentLength, "QuantSegmentLength", "a quantisation table segment has an impossible length"},
    {QuantIndexInvalid, "QuantIndexInvalid", "a quantisation table has a number beyond the last"},
    {PrecisionNot8, "PrecisionNot8", "only 8-bit samples are supported"},
    {HeightOutOfRange, "HeightOutOfRange", "the picture's height is 0 or above the side limit"},
    {WidthOutOfRange, "WidthOutOfRange", "the picture's width is 0 or above the side limit"},
    {TooManyComponents, "TooManyComponents", "the frame declares more than four components"},
    {FrameHeaderLength, "FrameHeaderLength", "the frame header's length does not match its components"},
    {MarkerLength, "MarkerLength", "a segment has an impossible length"},
    {RestartHeaderLength, "RestartHeaderLength", "the restart interval segment has the wrong length"},
    {ScanHeaderLength, "ScanHeaderLength", "a scan header has the wrong length or component count"},
    {ScanComponentUnknown, "ScanComponentUnknown", "a scan names a component the frame does not have"},
    {HuffTableInvalid, "HuffTableInvalid", "a Huffman table is malformed"},
    {ArithmeticNotSupported, "ArithmeticNotSupported", "arithmetic-coded pictures are not supported"},
    {UnexpectedMarker, "UnexpectedMarker", "a marker stands where it does not belong"},
    {NotJpeg, "NotJpeg", "not a JPEG file"},
    {UnsupportedFrameType, "UnsupportedFrameType",
     "only baseline, extended sequential and progressive pictures are supported"},
    {QuantSegmentShort, "QuantSegmentShort", "a quantisation table segment ends inside a table"},
    {ScanComponentRepeated, "ScanComponentRepeated", "a scan names the same component twice"},
    {PoolFull, "PoolFull", "the picture needs more memory blocks than the decoder keeps"},
    {QuantTableMissing, "QuantTableMissing", "a quantisation table the picture needs is missing"},
    {HuffTableMissing, "HuffTableMissing", "a Huffman table the picture needs is missing"},
    {SequentialScanUnsupported, "SequentialScanUnsupported", "the first scan does not carry every component in order"},
    {UnsupportedComponents, "UnsupportedComponents", "only grey and three-component colour pictures are supported"},
    {UnsupportedSampling, "UnsupportedSampling", "this sampling layout is not supported"},
    {DecodeError, "DecodeError", "the compressed data is corrupt"},
    {RestartMarker, "RestartMarker", "a restart marker is missing or out of order"},
    {BufferLimit, "BufferLimit", "the picture's blocks do not fit the decoder's buffers"},
    {SpectralSelection, "SpectralSelection", "a progressive scan has an impossible frequency range"},
    {SuccessiveApprox, "SuccessiveApprox", "a progressive scan has impossible refinement bits"},
    {StreamError, "StreamError", "the input could not be read, or the call's arguments cannot be used"},
    {OutOfMemory, "OutOfMemory", "not enough memory, or the picture is larger than the memory or pixel limit allows"},
    {Stopped, "Stopped", "the decoding was stopped on request"},
};

const StatusText* find_status(int32_t code) {
    for (const StatusText& entry : status_texts)
        if (entry.code == code) return &entry;
    return nullptr;
}

}  // namespace

const char* status_name(int32_t code) {
    const StatusText* entry = find_status(code);
    return entry ? entry->name : "Unknown";
}

const char* status_message(int32_t code) {
    const StatusText* entry = find_status(code);
    return entry ? entry->words : "unknown status";
}

namespace detail {

namespace {

struct FrameKind {
    int32_t marker;
    const char* words;
};

// The kinds of picture refused for their frame header's marker (SOF9 has
// the status ArithmeticNotSupported and its words).
constexpr FrameKind refused_frames[] = {
    {0xC3, "lossless pictures are not supported"},
    {0xC5, "hierarchical pictures are not supported"},
    {0xC6, "hierarchical progressive pictures are not supported"},
    {0xC7, "hierarchical lossless pictures are not supported"},
    {0xCA, "arithmetic-coded progressive pictures are not supported"},
    {0xCB, "arithmetic-coded lossless pictures are not supported"},
    {0xCD, "arithmetic-coded hierarchical pictures are not supported"},
    {0xCE, "arithmetic-coded hierarchical progressive pictures are not supported"},
    {0xCF, "arithmetic-coded hierarchical lossless pictures are not supported"},
};

const char* jpeg_ls = "JPEG-LS pictures are not supported";

}  // namespace

void describe_status(const JpegDecoder& d, int32_t code, char* out, size_t size) {
    const char* words = status_message(code);
    // A side's words name its value and the limit in force, which the
    // caller may have raised.
    char side[96];
    const int32_t limit = d.settings.max_side != 0 ? d.settings.max_side : 8192;
    if (code == UnsupportedFrameType) {
        if (d.frame_marker == 0) words = "the picture has no frame header";
        for (const FrameKind& kind : refused_frames)
            if (kind.marker == d.frame_marker) words = kind.words;
    } else if (code == HeightOutOfRange && d.image_height == 0) {
        words = "the picture's height is given by a DNL segment, which is not supported";
    } else if (code == HeightOutOfRange || code == WidthOutOfRange) {
        const char* which = code == HeightOutOfRange ? "height" : "width";
        const int32_t value = code == HeightOutOfRange ? d.image_height : d.image_width;
        if (value == 0)
            std::snprintf(side, sizeof side, "the picture's %s is 0", which);
        else
            std::snprintf(side, sizeof side, "the picture's %s, %d, is above the side limit of %d", which,
                          static_cast<int>(value), static_cast<int>(limit));
        words = side;
    } else if (code == DecodeError && d.work_refused) {
        words = "the progressive scans ask for more work than the picture's size and data allow";
    } else if (code == UnsupportedComponents && d.frame_component_count == 4) {
        words = "four-component (CMYK) pictures are not supported";
    } else if (code == UnsupportedComponents && d.frame_component_count == 2) {
        words = "two-component pictures are not supported";
    }
    // A JPEG-LS picture fails on whatever its segments break first; the
    // kind of picture is the reason to give, with that failure after it.
    if (code != 0 && d.frame_marker == 0xF7) {
        if (code == UnsupportedFrameType)
            std::snprintf(out, size, "%s", jpeg_ls);
        else
            std::snprintf(out, size, "%s; %s", jpeg_ls, words);
        return;
    }
    std::snprintf(out, size, "%s", words);
}

}  // namespace detail

}  // namespace marivue::jpeg

#include "marivue/jpeg/status_names.h"

#include "marivue/jpeg/decoder.h"

namespace marivue::jpeg {

namespace {

struct StatusText {
    int32_t code;
    const char* name;
    const char* description;
};

constexpr StatusText status_texts[] = {
    {StatusOk, "StatusOk", "no failure"},
    {HuffCountsTooLarge, "HuffCountsTooLarge", "the code counts of a Huffman table add up to more than 255"},
    {HuffIndexInvalid, "HuffIndexInvalid", "a Huffman table names slot 8 or more"},
    {HuffSegmentLength, "HuffSegmentLength", "a Huffman table segment is too short"},
    {QuantSegmentLength, "QuantSegmentLength", "a quantisation table segment length is below 2"},
    {QuantIndexInvalid, "QuantIndexInvalid", "a quantisation table number is 4 or more"},
    {PrecisionNot8, "PrecisionNot8", "the sample precision is not 8 bits"},
    {HeightOutOfRange, "HeightOutOfRange", "the image height is 0 or above 8192"},
    {WidthOutOfRange, "WidthOutOfRange", "the image width is 0 or above 8192"},
    {TooManyComponents, "TooManyComponents", "the frame has more than 4 components"},
    {FrameHeaderLength, "FrameHeaderLength", "the frame header length does not match its component count"},
    {MarkerLength, "MarkerLength", "a segment length is below 2"},
    {RestartHeaderLength, "RestartHeaderLength", "the restart interval segment length is not 4"},
    {ScanHeaderLength, "ScanHeaderLength", "the scan header component count or length is wrong"},
    {ScanComponentUnknown, "ScanComponentUnknown", "a scan names a component the frame does not have"},
    {HuffTableInvalid, "HuffTableInvalid", "the code counts of a Huffman table over-subscribe the code space"},
    {ArithmeticNotSupported, "ArithmeticNotSupported", "arithmetic coding is not supported"},
    {UnexpectedMarker, "UnexpectedMarker", "a marker stands where it is not allowed"},
    {NotJpeg, "NotJpeg", "not a JPEG stream: no start-of-image marker"},
    {UnsupportedFrameType, "UnsupportedFrameType",
     "the frame type is not baseline, extended sequential or progressive"},
    {QuantSegmentShort, "QuantSegmentShort", "a quantisation table segment ends inside a table"},
    {ScanComponentRepeated, "ScanComponentRepeated", "a scan names the same component twice"},
    {PoolFull, "PoolFull", "all memory pool slots are in use"},
    {QuantTableMissing, "QuantTableMissing", "a component's quantisation table is not defined"},
    {HuffTableMissing, "HuffTableMissing", "a Huffman table the scan needs is not defined"},
    {SequentialScanUnsupported, "SequentialScanUnsupported", "the first sequential scan lacks components"},
    {UnsupportedComponents, "UnsupportedComponents", "only 1 or 3 components are supported"},
    {UnsupportedSampling, "UnsupportedSampling", "the sampling factors are not a supported layout"},
    {DecodeError, "DecodeError", "the entropy-coded data is corrupt"},
    {RestartMarker, "RestartMarker", "a restart marker is missing or misnumbered"},
    {BufferLimit, "BufferLimit", "an MCU row is too wide, or a block lies outside its grid"},
    {SpectralSelection, "SpectralSelection", "a progressive scan has a bad spectral selection"},
    {SuccessiveApprox, "SuccessiveApprox", "a progressive scan has bad successive approximation bits"},
    {StreamError, "StreamError", "the input could not be read"},
    {OutOfMemory, "OutOfMemory", "the system refused memory"},
};

const StatusText* find_status(int32_t code) {
    for (const StatusText& entry : status_texts) {
        if (entry.code == code) {
            return &entry;
        }
    }
    return nullptr;
}

}  // namespace

const char* status_name(int32_t code) {
    const StatusText* entry = find_status(code);
    return entry ? entry->name : "Unknown";
}

const char* status_description(int32_t code) {
    const StatusText* entry = find_status(code);
    return entry ? entry->description : "Unknown";
}

}  // namespace marivue::jpeg

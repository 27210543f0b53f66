// The decoder's status codes, with their names and the words a person reads.
// One table (status_name, status_message) gives both to the C++ and the C
// interface, to jpeg-decode and to the README's list of codes.
#pragma once

#include "marivue/jpeg/export.h"

#include <cstdint>

namespace marivue::jpeg {

// 0 is success; every failure is negative. What each code means is what
// status_message() says of it.
enum DecodeStatus : int32_t {
    StatusOk = 0,
    HuffCountsTooLarge = -200,
    HuffIndexInvalid = -201,
    HuffSegmentLength = -202,
    QuantSegmentLength = -203,
    QuantIndexInvalid = -204,
    PrecisionNot8 = -205,
    HeightOutOfRange = -206,
    WidthOutOfRange = -207,
    TooManyComponents = -208,
    FrameHeaderLength = -209,
    MarkerLength = -210,
    RestartHeaderLength = -211,
    ScanHeaderLength = -212,
    ScanComponentUnknown = -213,
    HuffTableInvalid = -214,
    ArithmeticNotSupported = -215,
    UnexpectedMarker = -216,
    NotJpeg = -217,
    UnsupportedFrameType = -218,
    QuantSegmentShort = -219,
    ScanComponentRepeated = -220,
    PoolFull = -221,
    QuantTableMissing = -222,
    HuffTableMissing = -223,
    SequentialScanUnsupported = -224,
    UnsupportedComponents = -225,
    UnsupportedSampling = -226,
    DecodeError = -227,
    RestartMarker = -228,
    BufferLimit = -229,
    SpectralSelection = -230,
    SuccessiveApprox = -231,
    StreamError = -232,
    OutOfMemory = -233,
    Stopped = -234,
};

// The enumerator's name ("NotJpeg", "StatusOk", ...), for searching and
// for programs; "Unknown" for any other value.
MARIVUE_JPEG_API const char* status_name(int32_t code);

// Words a person reads ("not a JPEG file"); "unknown status" for any other
// value. A decoder's own message() names the actual reason where it knows
// more than the code (the kind of frame it refused, for one).
MARIVUE_JPEG_API const char* status_message(int32_t code);

}  // namespace marivue::jpeg

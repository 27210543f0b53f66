// Where a picture goes, written the way users expect of a converter: a
// regular file (new or existing) is written under a temporary name in its
// own directory and renamed over it at the end, so that a failure leaves no
// partial picture and an existing file intact; a symbolic link is followed
// and its target replaced that way (the link stays a link); a device, a
// pipe or standard output is written directly, in order. A signal that
// ends the process removes the temporary file first.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace jpeg_decode {

struct Output {
    std::string name;  // as the user gave it, for messages ("-": standard output)
    std::string target;  // the file replaced at the end, symbolic links resolved
    std::string temporary;  // beside target; empty when writing directly
    int fd = -1;
    std::vector<uint8_t> pending;  // bytes not yet handed to the system
    int error = 0;  // errno of the first failed write, 0 while all went well
};

// Makes a write past the file-size limit (ulimit -f) fail with EFBIG, which
// is reported and cleaned up like any write error, instead of ending the
// process by SIGXFSZ with the temporary file left behind.
void ignore_file_size_signal();

// Opens `name` for a picture ("-" is standard output). On failure prints a
// message and returns false.
bool open_output(const std::string& name, Output& output);

// Appends bytes; a write failure is remembered and reported by finish_output.
void write_output(Output& output, const uint8_t* bytes, size_t count);

// Writes what is pending, closes and, for a regular file, renames the
// temporary file over the target. On failure prints a message, removes the
// temporary file and returns false.
bool finish_output(Output& output);

// Closes without finishing: a temporary file is removed, so a regular
// target keeps its earlier content (a device or pipe keeps what it got).
void discard_output(Output& output);

}  // namespace jpeg_decode

// One input through the decoder: converted to a picture file, checked, or
// described.
#pragma once

#include "options.h"

#include <string>

namespace jpeg_decode {

// Decodes `input` as the options say, its picture going to `output` ("-"
// standard output; ignored unless converting; under options.output_dir the
// name is made there). Prints its messages and returns its exit status.
int run_input(const Options& options, const std::string& input, const std::string& output);

}  // namespace jpeg_decode

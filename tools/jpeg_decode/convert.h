// One input through the decoder: converted to a picture file, checked, or
// described.
#pragma once

#include "options.h"

#include <string>

namespace jpeg_decode {

// Refuses, before anything is read or written, an output that is one of the
// inputs: the same name, a link to it, a name under -o DIR that lands on it,
// or standard output redirected to it. Prints the message and returns
// exit_usage then, else exit_ok.
int refuse_writing_over_inputs(const Options& options);

// Decodes `input` as the options say, its picture going to `output` ("-"
// standard output; ignored unless converting; under options.output_dir the
// name is made there). Prints its messages and returns its exit status.
int run_input(const Options& options, const std::string& input, const std::string& output);

}  // namespace jpeg_decode

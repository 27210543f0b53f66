// The command line of jpeg-decode: what to do, with which files.
#pragma once

#include "picture_writer.h"

#include <optional>
#include <string>
#include <vector>

namespace jpeg_decode {

enum class Mode { Convert, Check, Info };

struct Options {
    Mode mode = Mode::Convert;
    bool json = false;  // --info as JSON
    bool verbose = false;  // a summary line for each decoded picture
    std::optional<Format> format;  // --format; otherwise from the output's name
    std::vector<std::string> inputs;  // "-" is standard input
    std::string output = "-";  // with one input and no output directory
    std::string output_dir;  // -o DIR: every picture goes there, named after its input
    int max_side = 8192;  // --max-side: the largest width and height decoded
    int scale = 1;  // --scale 1/N: pictures at 1/N of their size
    int threads = 0;  // --threads N: 1 or 2, 0 to choose by the picture's size
};

// Parses the arguments. Returns -1 to go on, or the exit status to end with
// (after --help, --version or a usage error, whose message it printed).
int parse_options(int argc, char** argv, Options& options);

// The format for an output name: from its extension (.ppm, .pgm, .pnm,
// .png, in any case); PPM/PGM for standard output and a name without one;
// nothing for any other extension.
std::optional<Format> format_for_name(const std::string& name);

// The name an input's picture gets in an output directory: its file name
// with the extension that fits the format and the picture.
std::string name_in_directory(const std::string& dir, const std::string& input, Format format, bool grey);

}  // namespace jpeg_decode

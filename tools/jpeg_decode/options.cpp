#include "options.h"

#include "messages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <optional>
#include <set>

#include <sys/stat.h>
#include <unistd.h>

namespace jpeg_decode {

namespace {

void print_usage(std::FILE* to) {
    std::fprintf(to,
                 "usage: %s [OPTIONS] INPUT [OUTPUT]\n"
                 "       %s [OPTIONS] -o DIR INPUT...\n"
                 "       %s --check [OPTIONS] INPUT...\n"
                 "       %s --info [--json] [OPTIONS] INPUT...\n",
                 program, program, program, program);
}

void print_help() {
    print_usage(stdout);
    std::printf(
        "\n"
        "Decodes JPEG pictures with the Marivue decoder and writes them as PPM\n"
        "(colour) or PGM (grey), or as PNG.\n"
        "\n"
        "  INPUT             the JPEG file to read; '-' reads standard input (never a\n"
        "                    terminal)\n"
        "  OUTPUT            the picture file to write; '-' or none writes standard\n"
        "                    output (never a terminal). A regular file is replaced\n"
        "                    only once the picture is complete, keeping its\n"
        "                    permissions; a symbolic link's target is replaced and\n"
        "                    the link kept; a device or pipe is written directly.\n"
        "                    An OUTPUT that is an INPUT is refused\n"
        "  -o, --output-dir DIR\n"
        "                    writes each INPUT's picture into DIR, named after the\n"
        "                    INPUT with the extension of the format\n"
        "  --format FORMAT   ppm (PPM for colour, PGM for grey) or png; without it\n"
        "                    OUTPUT's extension decides (.ppm, .pgm, .pnm, .png),\n"
        "                    and PPM/PGM is written for standard output or a name\n"
        "                    without an extension\n"
        "  --scale 1/N       decodes at 1/2, 1/4 or 1/8 of the size (N = 2, 4, 8; 1/1\n"
        "                    is the whole size): each side divided by N, rounded up\n"
        "  --max-side N      decodes pictures up to N pixels wide and high (1 to\n"
        "                    65535; 8192 without it); larger ones are refused\n"
        "  --threads N       1 decodes on one thread; 2 lets a second thread\n"
        "                    transform and convert the rows while the first reads\n"
        "                    the data (PPM, PGM and --check; a PNG's compression has\n"
        "                    a thread of its own either way), and share the scans\n"
        "                    of a progressive picture in a regular file; without it\n"
        "                    2 for pictures of a megapixel or more on two cores or\n"
        "                    more\n"
        "  --check           decodes each INPUT in full and writes nothing\n"
        "  --info            prints each INPUT's size (and with --scale the size it\n"
        "                    decodes to), coding, components, sampling, restart\n"
        "                    interval, colour transform, colour space (grey, YCbCr,\n"
        "                    RGB, CMYK, YCCK), colour profile, Exif orientation and\n"
        "                    whether it decodes (and if not, why), and writes no\n"
        "                    picture\n"
        "  --json            with --info: one JSON object per INPUT, one a line, in\n"
        "                    UTF-8 (a name's bytes that are not become U+FFFD)\n"
        "  -v, --verbose     a summary line for each decoded picture on standard\n"
        "                    error (--check always prints it)\n"
        "  --version         prints the version\n"
        "  -h, --help        prints this text\n"
        "  --                ends the options (for an INPUT that starts with '-')\n"
        "\n"
        "Messages go to standard error, one line each, naming the file:\n"
        "  %s: FILE: what went wrong (StatusName, code)\n"
        "with control characters, bytes that are not UTF-8 and '\\' in names\n"
        "written as \\xHH and \\\\.\n"
        "When a picture's data ends early, the rows that arrived are written, the\n"
        "rest filled in mid-grey (for a progressive picture, the missing detail),\n"
        "with a warning.\n"
        "\n"
        "Exit status: 0 success; 1 an input could not be decoded; 2 bad usage, or\n"
        "a file that could not be opened, read or written; 3 a picture was written\n"
        "from incomplete data. With several inputs, the worst of their results.\n",
        program);
}

int usage_error(const std::string& message) {
    std::fprintf(stderr, "%s: %s\n", program, printable(message).c_str());
    print_usage(stderr);
    std::fprintf(stderr, "Try '%s --help' for more information.\n", program);
    return exit_usage;
}

// A whole number from `low` to `high` written in decimal digits alone, or -1.
int number_in(const std::string& text, int low, int high) {
    if (text.empty() || text.size() > 5 || text.find_first_not_of("0123456789") != std::string::npos) return -1;
    const int value = std::stoi(text);
    return value >= low && value <= high ? value : -1;
}

std::string lowercase_extension(const std::string& name) {
    size_t slash = name.rfind('/');
    std::string base = slash == std::string::npos ? name : name.substr(slash + 1);
    size_t dot = base.rfind('.');
    if (dot == std::string::npos || dot == 0) return "";
    std::string extension = base.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

std::string stem_of(const std::string& input) {
    size_t slash = input.rfind('/');
    std::string base = slash == std::string::npos ? input : input.substr(slash + 1);
    size_t dot = base.rfind('.');
    return dot == std::string::npos || dot == 0 ? base : base.substr(0, dot);
}

// An output that is one of the inputs (the same name, a link to it, a name
// under -o DIR that lands on it, or standard output redirected to it) would
// destroy the picture it is made from: refused before anything is read or
// written. Returns -1 or the exit status.
int refuse_writing_over_inputs(const Options& options) {
    struct Identity {
        dev_t device;
        ino_t inode;
        std::string name;
    };
    // Only regular files: a device or pipe named twice is the user's
    // business, and is not replaced.
    const auto identify = [](const std::string& name, bool writing, std::optional<Identity>& found) {
        struct stat info;
        const int fd = writing ? STDOUT_FILENO : STDIN_FILENO;
        const int got = name == "-" ? fstat(fd, &info) : stat(name.c_str(), &info);
        if (got == 0 && S_ISREG(info.st_mode)) found = Identity{info.st_dev, info.st_ino, name};
    };
    std::vector<Identity> inputs;
    for (const std::string& input : options.inputs) {
        std::optional<Identity> found;
        identify(input, false, found);
        if (found) inputs.push_back(*found);
    }
    // Under -o DIR a picture's name depends on whether it is grey: both are
    // checked before anything is read.
    std::vector<std::string> outputs;
    if (options.output_dir.empty()) {
        outputs.push_back(options.output);
    } else {
        const Format format = options.format.value_or(Format::Pnm);
        for (const std::string& input : options.inputs)
            for (const bool grey : {false, true})
                outputs.push_back(name_in_directory(options.output_dir, input, format, grey));
    }
    for (const std::string& output : outputs) {
        std::optional<Identity> found;
        identify(output, true, found);
        for (const Identity& input : inputs) {
            if (found && found->device == input.device && found->inode == input.inode) {
                report(output == "-" ? "standard output" : output,
                       "is the input " + input.name + " itself; it is left as it is and nothing is written");
                return exit_usage;
            }
        }
    }
    return -1;
}

// Checks the operands against the mode. Returns -1 or the exit status.
int check_operands(std::vector<std::string>& operands, Options& options) {
    if (operands.empty()) return usage_error("missing INPUT");
    for (const std::string& operand : operands)
        if (operand.empty()) return usage_error("an empty file name");
    const bool many = options.mode != Mode::Convert || !options.output_dir.empty();
    if (!many && operands.size() > 2) return usage_error("too many arguments (several inputs need -o DIR)");
    if (!many && operands.size() == 2) {
        options.output = operands.back();
        operands.pop_back();
    }
    options.inputs = operands;
    if (std::count(operands.begin(), operands.end(), "-") > 1) return usage_error("standard input named twice");
    // Waiting for a picture typed at the keyboard would look like a hang.
    if (std::count(operands.begin(), operands.end(), "-") == 1 && isatty(STDIN_FILENO)) {
        std::fprintf(stderr, "%s: will not read a picture from a terminal: name an INPUT or redirect\n", program);
        return exit_usage;
    }
    if (!options.output_dir.empty()) {
        std::set<std::string> stems;
        for (const std::string& input : operands) {
            if (input == "-") return usage_error("standard input has no name to write under -o DIR");
            if (!stems.insert(stem_of(input)).second)
                return usage_error("two inputs would write " + stem_of(input) + " in " + options.output_dir);
        }
        struct stat info;
        if (stat(options.output_dir.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            report(options.output_dir, "not a directory");
            return exit_usage;
        }
    }
    if (options.mode == Mode::Convert) {
        if (const int refused = refuse_writing_over_inputs(options); refused >= 0) return refused;
    }
    if (options.mode == Mode::Convert && options.output_dir.empty()) {
        if (!options.format && !format_for_name(options.output))
            return usage_error("cannot tell the format of " + options.output +
                               ": name it .ppm, .pgm, .pnm or .png, or give --format");
        if (options.output == "-" && isatty(STDOUT_FILENO)) {
            std::fprintf(stderr, "%s: will not write a picture to a terminal: name an OUTPUT or redirect\n", program);
            return exit_usage;
        }
    }
    return -1;
}

}  // namespace

int parse_options(int argc, char** argv, Options& options) {
    std::vector<std::string> operands;
    bool options_done = false, check = false, info = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        // The value of an option that takes one: "--name VALUE" or "--name=VALUE".
        auto value_of = [&](const std::string& name, std::string& value) {
            if (arg.starts_with(name + "=")) {
                value = arg.substr(name.size() + 1);
                return true;
            }
            if (arg != name) return false;
            value = i + 1 < argc ? argv[++i] : "";
            return true;
        };
        std::string value;
        if (options_done || arg == "-" || !arg.starts_with("-")) {
            operands.push_back(arg);
        } else if (arg == "--") {
            options_done = true;
        } else if (arg == "--help" || arg == "-h") {
            print_help();
            return exit_ok;
        } else if (arg == "--version") {
            std::printf("%s %s\n", program, MARIVUE_VERSION);
            return exit_ok;
        } else if (arg == "--info") {
            info = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--check") {
            check = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (value_of("--format", value)) {
            if (value == "ppm" || value == "pgm" || value == "pnm") {
                options.format = Format::Pnm;
            } else if (value == "png") {
                options.format = Format::Png;
            } else {
                return usage_error("unknown format '" + value + "' (ppm or png)");
            }
        } else if (value_of("--max-side", value)) {
            options.max_side = number_in(value, 1, 65535);
            if (options.max_side < 0) return usage_error("--max-side takes a number from 1 to 65535");
        } else if (value_of("--threads", value)) {
            options.threads = number_in(value, 1, 2);
            if (options.threads < 0) return usage_error("--threads takes 1 or 2");
        } else if (value_of("--scale", value)) {
            options.scale = value.starts_with("1/") ? number_in(value.substr(2), 1, 8) : -1;
            if (options.scale != 1 && options.scale != 2 && options.scale != 4 && options.scale != 8)
                return usage_error("--scale takes 1/1, 1/2, 1/4 or 1/8");
        } else if (value_of("-o", value) || value_of("--output-dir", value)) {
            if (value.empty()) return usage_error("-o needs a directory");
            options.output_dir = value;
        } else {
            return usage_error("unknown option '" + arg + "'");
        }
    }
    if (check && info) return usage_error("--check and --info exclude each other");
    options.mode = info ? Mode::Info : check ? Mode::Check : Mode::Convert;
    if (options.json && !info) return usage_error("--json goes with --info");
    if (options.mode != Mode::Convert && (options.format || !options.output_dir.empty()))
        return usage_error(std::string(info ? "--info" : "--check") + " writes no picture: no --format or -o");
    return check_operands(operands, options);
}

std::optional<Format> format_for_name(const std::string& name) {
    const std::string extension = name == "-" ? "" : lowercase_extension(name);
    if (extension.empty() || extension == "ppm" || extension == "pgm" || extension == "pnm") return Format::Pnm;
    if (extension == "png") return Format::Png;
    return std::nullopt;
}

std::string name_in_directory(const std::string& dir, const std::string& input, Format format, bool grey) {
    const char* extension = format == Format::Png ? ".png" : grey ? ".pgm" : ".ppm";
    return dir + (dir.ends_with("/") ? "" : "/") + stem_of(input) + extension;
}

}  // namespace jpeg_decode

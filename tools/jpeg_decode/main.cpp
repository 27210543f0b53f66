// jpeg-decode: decodes JPEG files with the Marivue decoder and writes each
// picture as PPM/PGM or PNG, checks that files decode, or describes them.
// Exit status: 0 success, 1 an input could not be decoded, 2 bad usage or a
// file error, 3 a picture written from incomplete data; the worst of all
// inputs when there are several.

#include "convert.h"
#include "messages.h"
#include "options.h"
#include "output.h"

#include <cstdio>

int main(int argc, char** argv) {
    using namespace jpeg_decode;
    Options options;
    const int parsed = parse_options(argc, argv, options);
    if (parsed >= 0) return parsed;
    ignore_file_size_signal();

    int status = exit_ok;
    const int count = static_cast<int>(options.inputs.size());
    for (int i = 0; i < count; ++i) {
        if (count > 1) show_progress(i + 1, count, options.inputs[i]);
        status = worse(status, run_input(options, options.inputs[i], options.output));
    }
    clear_progress();
    if (std::fflush(stdout) != 0 && options.mode == Mode::Info) {
        std::perror(program);
        status = worse(status, exit_usage);
    }
    return status;
}

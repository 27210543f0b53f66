// The jpeg-decode command, run as a process: tables of invocations with
// their exit code, output texts and the files left behind; pictures equal to
// the decoder's rows in each format and through each kind of output; data
// that ends early; several inputs.
#include "tests/command/command_run.h"
#include "tests/support/fixtures.h"
#include "tests/support/jpeg_builder.h"
#include "tests/support/picture_folder.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace command_test;
using e2e::Sampling;
namespace fs = std::filesystem;

marivue::jpeg::DecodeSettings library_settings(int shift) {
    marivue::jpeg::DecodeSettings settings;
    settings.scale_shift = shift, settings.extended_layouts = 1;
    return settings;
}

class JpegDecodeCommand : public testing::Test {
protected:
    void SetUp() override { dir = e2e::make_temp_dir(); }
    void TearDown() override { fs::remove_all(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::vector<uint8_t> write_jpeg(const std::string& name, int w, int h, Sampling s, bool progressive,
                                    int restart_rows = 0) {
        e2e::EncodeOptions o;
        o.sampling = s, o.progressive = progressive, o.restart_rows = restart_rows;
        std::vector<uint8_t> jpeg = e2e::encode(e2e::make_picture(w, h, s == Sampling::Grey ? 1 : 3, 17), o);
        e2e::write_file(path(name), jpeg);
        return jpeg;
    }
    // The PPM or PGM file the command writes for a stream the decoder decodes
    // in full, at 1 / 2^shift of the size, with every layout the library's
    // interfaces decode.
    static std::string pnm_of(const std::vector<uint8_t>& jpeg, int shift = 0) {
        const e2e::MarivueResult m = e2e::marivue_decode(jpeg, library_settings(shift));
        return std::string(m.picture.channels == 1 ? "P5\n" : "P6\n") + std::to_string(m.picture.width) + " " +
               std::to_string(m.picture.height) + "\n255\n" + text(m.picture.samples);
    }
    std::string listing(const std::string& sub = "") const {  // the names of the files in a directory
        std::set<std::string> names;
        for (const auto& entry : fs::directory_iterator(dir + sub)) names.insert(entry.path().filename());
        std::string all;
        for (const std::string& n : names) all += n + " ";
        return all;
    }
    std::string dir;
};

// A picture file is exactly the decoder's rows: PPM/PGM through files,
// standard streams and a pipe, PNG read back through libpng; at the reduced
// sizes the record's rows at that size; CMYK as the record's RGB.
TEST_F(JpegDecodeCommand, OutputIsTheDecodedRows) {
    struct Case {
        int w, h;
        Sampling s;
        bool progressive;
        int how;  // 0 files, 1 standard input and output, 2 a pipe into standard input
        const char* output;
        std::vector<std::string> options;
        int shift = 0;  // what --scale asks for
    };
    for (const Case& c :
         {Case{241, 161, Sampling::H2V2, false, 0, "out.pnm", {}}, Case{17, 9, Sampling::Grey, true, 0, "out.pgm", {}},
          Case{33, 17, Sampling::H2V1, false, 1, "", {}}, Case{130, 77, Sampling::H2V2, true, 2, "out.ppm", {}},
          Case{241, 161, Sampling::H2V2, true, 0, "out.PNG", {}}, Case{17, 9, Sampling::Grey, false, 0, "out.png", {}},
          Case{64, 48, Sampling::H1V2, false, 0, "out", {"--format", "png"}},
          Case{64, 48, Sampling::H1V1, false, 1, "", {"--format=png"}},
          Case{241, 161, Sampling::H2V2, false, 0, "out.ppm", {"--scale", "1/2"}, 1},
          Case{241, 161, Sampling::H2V2, true, 1, "", {"--scale=1/8"}, 3},
          Case{130, 77, Sampling::Grey, true, 2, "out.pgm", {"--scale", "1/4", "--max-side", "130"}, 2},
          Case{97, 61, Sampling::H2V1, false, 0, "out.png", {"--scale", "1/8"}, 3},
          // Rows enough for several of the writer's blocks, and a ring of
          // them used more than once.
          Case{1203, 841, Sampling::H2V2, false, 0, "out.ppm", {}},
          Case{1203, 841, Sampling::H1V1, true, 2, "out.png", {}}, Case{2001, 1001, Sampling::Grey, false, 1, "", {}},
          Case{1203, 841, Sampling::H2V2, true, 0, "out.ppm", {"--threads", "1"}},
          Case{1203, 841, Sampling::H2V2, true, 0, "out.ppm", {"--threads", "2"}},
          Case{1203, 841, Sampling::H1V1, true, 0, "out.pnm", {"--scale", "1/2", "--threads=2"}, 1},
          Case{241, 161, Sampling::H2V1, false, 1, "", {"--threads=2"}}}) {
        const std::vector<uint8_t> jpeg = write_jpeg("in.jpg", c.w, c.h, c.s, c.progressive);
        std::vector<std::string> args = c.options;
        if (c.how == 1) args.insert(args.end(), {"-", "-"});
        if (c.how != 1) args.insert(args.end(), {c.how == 0 ? path("in.jpg") : "-", path(c.output)});
        const Ran r = run(dir, args, path("in.jpg"), c.how == 2);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const bool png = (!c.options.empty() && c.options[0].starts_with("--format")) ||
                         std::string(c.output).ends_with("NG") || std::string(c.output).ends_with("ng");
        const std::string written = c.how == 1 ? (png ? "out.png" : "out.pnm") : c.output;
        if (c.how == 1) e2e::write_file(path(written), {r.out.begin(), r.out.end()});
        EXPECT_EQ(png ? pnm_from_png(path(written)) : text(e2e::read_file(path(written))), pnm_of(jpeg, c.shift))
            << c.w;
        EXPECT_EQ(listing(), "in.jpg " + written + " ");  // no temporary file is left
        fs::remove(path(written));
    }
    // Four components, and a layout beyond the five common ones, as RGB.
    const std::vector<std::pair<int, int>> cmyk(4, {1, 1}), ycck{{2, 2}, {1, 1}, {1, 1}, {2, 2}},
        h4v1{{4, 1}, {1, 1}, {1, 1}};
    for (const auto* factors : {&cmyk, &ycck, &h4v1}) {
        e2e::EncodeOptions o;
        o.factors = *factors,
        o.four = factors == &ycck ? e2e::EncodeOptions::Four::Ycck : e2e::EncodeOptions::Four::Cmyk;
        const auto jpeg = e2e::encode(e2e::make_picture(45, 27, static_cast<int>(factors->size()), 5), o);
        e2e::write_file(path("in.jpg"), jpeg);
        EXPECT_EQ(run(dir, {path("in.jpg"), path("out.ppm")}).exit_code, 0);
        EXPECT_EQ(text(e2e::read_file(path("out.ppm"))), pnm_of(jpeg)) << factors->size();
    }
}

TEST_F(JpegDecodeCommand, InvocationTable) {
    write_jpeg("colour.jpg", 241, 161, Sampling::H2V2, false);
    write_jpeg("grey.jpg", 7, 3, Sampling::Grey, true);
    write_jpeg("h1v2.jpg", 64, 48, Sampling::H1V2, true, 2);
    e2e::EncodeOptions o;
    o.factors = {{1, 1}, {1, 1}};
    e2e::write_file(path("refused.jpg"), e2e::encode(e2e::make_picture(40, 24, 2, 3), o));
    o.factors = {{1, 1}, {1, 1}, {1, 1}, {1, 1}};
    e2e::write_file(path("cmyk.jpg"), e2e::encode(e2e::make_picture(16, 8, 4, 3), o));
    o.four = e2e::EncodeOptions::Four::Ycck;
    e2e::write_file(path("ycck.jpg"), e2e::encode(e2e::make_picture(16, 8, 4, 3), o));
    o = {}, o.sampling = Sampling::Grey;
    e2e::write_file(path("wide.jpg"), e2e::encode(e2e::make_picture(9000, 8, 1, 3), o));
    o = {}, o.rgb = e2e::EncodeOptions::Rgb::Adobe, o.sampling = Sampling::H1V1;
    e2e::write_file(path("rgb.jpg"), e2e::encode(e2e::make_picture(16, 8, 3, 3), o));
    e2e::write_file(path("text.jpg"), {'h', 'e', 'l', 'l', 'o', '\n'});
    // A restart marker with a wrong number two thirds down the picture.
    std::vector<uint8_t> bad = write_jpeg("bad.jpg", 96, 96, Sampling::H1V1, false, 1);
    const auto rst = e2e::find_markers(bad, 0xD0, 0xD7);
    ASSERT_EQ(rst.size(), 11u);
    bad[rst[7].offset + 1] = 0xD0 + ((bad[rst[7].offset + 1] - 0xD0 + 3) & 7);
    e2e::write_file(path("bad.jpg"), bad);
    ASSERT_GT(e2e::marivue_decode(bad).rows, 0);
    // Names that would retitle the terminal and break the line, or are not UTF-8.
    const std::string escapes = "a\033]0;x\007\n.jpg", latin1 = "caf\xe9.jpg";
    e2e::write_file(path(escapes), {'h', 'i'});
    write_jpeg(latin1, 7, 3, Sampling::Grey, true);
    // A terminal on standard input, with a line typed and Ctrl+D.
    const int terminal = posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(terminal >= 0 && grantpt(terminal) == 0 && unlockpt(terminal) == 0);
    const std::string typed_at = ptsname(terminal);
    ASSERT_EQ(write(terminal, "hello\n\004", 7), 7);
    const std::string files =
        "a\033]0;x\007\n.jpg bad.jpg caf\xe9.jpg cmyk.jpg colour.jpg grey.jpg h1v2.jpg "
        "refused.jpg rgb.jpg text.jpg wide.jpg ycck.jpg ";
    struct Case {
        Case(std::vector<std::string> a, int code, std::string o, std::string e, std::string in = "")
            : args(std::move(a)), exit_code(code), out(std::move(o)), err(std::move(e)), input(std::move(in)) {}
        std::vector<std::string> args;
        int exit_code;
        std::string out, err;  // exact, or a part of it when it starts with '~'
        std::string input;  // standard input
    };
    // What the command says about a file, on standard error.
    const auto said = [&](const std::string& name, const std::string& words) {
        return "jpeg-decode: " + path(name) + ": " + words + "\n";
    };
    const std::string info =
        "size: 241 x 161 pixels\ncoding: sequential\ncomponents: 3 (colour)\nsampling: 4:2:0\n"
        "restart interval: none\ncolour transform: YCbCr\ncolour space: YCbCr\ncolour profile: none\norientation: 1\n"
        "decodes: yes\n";
    const std::string scale_takes = "~--scale takes 1/1, 1/2, 1/4 or 1/8", side_takes = "~--max-side takes a number";
    const Case cases[] = {
        Case({"--info", path("colour.jpg")}, 0, "file: " + path("colour.jpg") + "\n" + info, ""),
        Case({"--info", "-"}, 0, "~sampling: grey\nrestart interval: none\ncolour transform: none\n", "",
             path("grey.jpg")),
        Case({"--info", path("h1v2.jpg")}, 0,
             "~progressive\ncomponents: 3 (colour)\nsampling: 4:4:0\nrestart interval: every 16 MCUs\n", ""),
        Case({"--info", path("rgb.jpg")}, 0, "~sampling: 4:4:4\nrestart interval: none\ncolour transform: RGB\n", ""),
        Case({"--info", "--json", path("refused.jpg")}, 1,
             "{\"file\":\"" + path("refused.jpg") +
                 "\",\"width\":40,\"height\":24,\"output_width\":40,\"output_height\":24,\"coding\":\"sequential\","
                 "\"components\":2,\"sampling\":\"1x1, 1x1\",\"restart_interval\":0,\"colour_transform\":\"none\","
                 "\"colour_space\":\"grey\",\"colour_profile\":null,\"orientation\":1,"
                 "\"decodes\":false,\"reason\":\"two-component pictures are not supported\",\"status\":"
                 "\"UnsupportedComponents\",\"code\":-225}\n",
             said("refused.jpg", "two-component pictures are not supported (UnsupportedComponents, -225)")),
        Case({"--info", path("cmyk.jpg")}, 0,
             "~components: 4 (colour)\nsampling: 1x1, 1x1, 1x1, 1x1\nrestart interval: none\ncolour transform: none\n"
             "colour space: CMYK\ncolour profile: none\norientation: 1\ndecodes: yes\n",
             ""),
        Case({"--check", path("ycck.jpg")}, 0, "",
             said("ycck.jpg", "decoded 16 x 8, colour (1x1, 1x1, 1x1, 1x1, YCCK), sequential")),
        // The size it decodes to at a reduced size; sides above the limit.
        Case({"--info", "--scale", "1/8", path("colour.jpg")}, 0,
             "~size: 241 x 161 pixels\noutput size: 31 x 21 pixels (1/8)\n", ""),
        Case({"--info", "--json", "--scale=1/2", path("grey.jpg")}, 0,
             "~\"width\":7,\"height\":3,\"output_width\":4,\"output_height\":2,\"coding\":\"progressive\"", ""),
        Case({"--check", "--scale", "1/4", path("colour.jpg")}, 0, "",
             said("colour.jpg", "decoded 61 x 41 (1/4 of 241 x 161), colour (4:2:0, YCbCr), sequential")),
        Case({"--check", path("wide.jpg")}, 1, "",
             said("wide.jpg", "the picture's width, 9000, is above the side limit of 8192 (WidthOutOfRange, -207)")),
        Case({"--max-side=8999", path("wide.jpg"), path("out.pgm")}, 1, "",
             "~: the picture's width, 9000, is above the side limit of 8999 (WidthOutOfRange, -207)\n"),
        Case({"--check", "--max-side", "9000", path("wide.jpg")}, 0, "",
             said("wide.jpg", "decoded 9000 x 8, grey, sequential")),
        Case({"--scale", "1/3", path("grey.jpg"), "-"}, 2, "", scale_takes),
        Case({"--scale", "2", path("grey.jpg"), "-"}, 2, "", scale_takes),
        Case({"--scale=1/", path("grey.jpg"), "-"}, 2, "", scale_takes),
        Case({"--max-side", "0", path("grey.jpg"), "-"}, 2, "", side_takes),
        Case({"--max-side", "65536", path("grey.jpg"), "-"}, 2, "", side_takes),
        Case({"--max-side", "+9", path("grey.jpg"), "-"}, 2, "", side_takes),
        Case({"--threads", "3", path("grey.jpg"), "-"}, 2, "", "~--threads takes 1 or 2"),
        Case({path("text.jpg"), path("out.ppm")}, 1, "", said("text.jpg", "not a JPEG file (NotJpeg, -217)")),
        Case({"-", "-"}, 1, "", "jpeg-decode: -: not a JPEG file (NotJpeg, -217)\n", path("text.jpg")),
        Case({path("bad.jpg"), path("bad.ppm")}, 1, "",
             said("bad.jpg", "a restart marker is missing or out of order (RestartMarker, -228)")),
        Case({"--check", path("colour.jpg"), path("grey.jpg")}, 0, "",
             said("colour.jpg", "decoded 241 x 161, colour (4:2:0, YCbCr), sequential") +
                 said("grey.jpg", "decoded 7 x 3, grey, progressive")),
        Case({"--version"}, 0, std::string("jpeg-decode ") + MARIVUE_VERSION + "\n", ""),
        Case({}, 2, "", "~missing INPUT"),
        Case({"--bogus", path("grey.jpg")}, 2, "", "~unknown option '--bogus'"),
        Case({path("grey.jpg"), path("a.ppm"), path("b.ppm")}, 2, "", "~too many arguments"),
        Case({path("grey.jpg"), path("a.jpeg")}, 2, "", "~cannot tell the format of " + path("a.jpeg")),
        Case({"--format", "gif", path("grey.jpg"), "-"}, 2, "", "~unknown format 'gif'"),
        Case({"--json", path("grey.jpg"), "-"}, 2, "", "~--json goes with --info"),
        Case({"--info", "--check", path("grey.jpg")}, 2, "", "~exclude each other"),
        Case({"-o", path("none"), path("grey.jpg")}, 2, "", "~" + path("none") + ": not a directory"),
        Case({"-o", dir, "-"}, 2, "", "~standard input has no name"),
        Case({"-o", dir, path("grey.jpg"), dir + "/../grey.jpg"}, 2, "", "~two inputs would write grey"),
        Case({path("absent.jpg"), path("out.pgm")}, 2, "", "~" + path("absent.jpg") + ": cannot open: No such file"),
        Case({dir}, 2, "", "~cannot open: Is a directory"),
        Case({path("grey.jpg"), path("nowhere/out.pgm")}, 2, "", "~" + path("nowhere/out.pgm") + ": cannot create"),
        Case({path("grey.jpg"), dir}, 2, "", "~" + dir + ": cannot write: Is a directory"),
        Case({"--help"}, 0, "~usage: jpeg-decode [OPTIONS] INPUT [OUTPUT]\n", ""),
        Case({"-h"}, 0, "~usage: jpeg-decode [OPTIONS] INPUT [OUTPUT]\n", ""),
        // Control characters and bytes that are not UTF-8 are escaped in messages.
        Case({"--check", path(escapes)}, 1, "", said("a\\x1b]0;x\\x07\\x0a.jpg", "not a JPEG file (NotJpeg, -217)")),
        Case({"--check", path(latin1)}, 0, "", said("caf\\xe9.jpg", "decoded 7 x 3, grey, progressive")),
        Case({"--bogus\033[2J", "-"}, 2, "", "~unknown option '--bogus\\x1b[2J'\n"),
        // JSON is UTF-8 whatever the name: the byte that is not becomes U+FFFD.
        Case({"--info", "--json", path(latin1)}, 0,
             "{\"file\":\"" + path("caf\uFFFD.jpg") +
                 "\",\"width\":7,\"height\":3,\"output_width\":7,\"output_height\":3,\"coding\":\"progressive\","
                 "\"components\":1,\"sampling\":\"grey\",\"restart_interval\":0,\"colour_transform\":\"none\","
                 "\"colour_space\":\"grey\",\"colour_profile\":null,\"orientation\":1,\"decodes\":true}\n",
             ""),
        Case({"--info", path(escapes)}, 1, "", "~a\\x1b]0;x\\x07\\x0a.jpg: not a JPEG file"),
        // A terminal is not read from: the command says so instead of waiting.
        Case({"-", path("typed.ppm")}, 2, "",
             "jpeg-decode: will not read a picture from a terminal: name an INPUT or redirect\n", typed_at),
    };
    for (const Case& c : cases) {
        std::string args;
        for (const std::string& a : c.args) args += a + " ";
        const Ran r = run(dir, c.args, c.input);
        EXPECT_EQ(r.exit_code, c.exit_code) << args << r.err;
        EXPECT_TRUE(matches(r.out, c.out)) << args << "\nstdout: " << r.out;
        EXPECT_TRUE(matches(r.err, c.err)) << args << "\nstderr: " << r.err;
        const bool usage_error = c.exit_code == 2 && c.err.find(": cannot") == std::string::npos &&
                                 c.err.find("directory") == std::string::npos &&
                                 c.err.find("will not") == std::string::npos;
        EXPECT_EQ(usage_error, r.err.find("usage: jpeg-decode") != std::string::npos) << args;
        EXPECT_EQ(listing(), files) << args;  // no output after a failure, nor after --info or --check
    }
    close(terminal);
    const Ran help = run(dir, {"--help"});
    for (const char* word : {"--info", "--json", "--check", "--format", "--output-dir", "--scale 1/N", "--max-side N",
                             "--threads N", "PNG", "Exit status", "3 a"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

// Every kind of output: a regular file is replaced whole or not at all and
// keeps its permissions, a link is written through, devices and pipes stay
// what they are.
TEST_F(JpegDecodeCommand, OutputKinds) {
    const std::string good = pnm_of(write_jpeg("good.jpg", 64, 40, Sampling::H2V2, false));
    // A restart marker with a wrong number halfway down: rows were written before the failure.
    std::vector<uint8_t> bad = write_jpeg("bad.jpg", 64, 40, Sampling::H1V1, false, 1);
    bad[e2e::find_markers(bad, 0xD0, 0xD7)[2].offset + 1] ^= 1;
    e2e::write_file(path("bad.jpg"), bad);
    fs::create_directory(path("sub"));
    const mode_t mask = umask(0);
    umask(mask);
    auto old_file = [&](const char* name, mode_t mode) {
        e2e::write_file(path(name), {'o', 'l', 'd'});
        chmod(path(name).c_str(), mode);
        return path(name);
    };
    std::string piped;
    std::thread reader;
    const auto fifo = [&] {
        EXPECT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
        reader = std::thread([&] {
            const int fd = open(path("fifo").c_str(), O_RDONLY);
            char buffer[4096];
            for (ssize_t n; fd >= 0 && (n = read(fd, buffer, sizeof buffer)) > 0;) piped.append(buffer, n);
            close(fd);
        });
        return path("fifo");
    };
    struct Case {
        const char* what;
        std::function<std::string()> prepare;  // makes the output's place; returns its name
        const char* input;
        int exit_code;
        std::string err;
        std::string file;  // where the picture lands ("-": standard output), to hold `want` with `mode`
        std::string want;
        mode_t mode = 0;
    };
    const Case cases[] = {
        {"new file", [&] { return path("new.ppm"); }, "good.jpg", 0, "", "new.ppm", good, S_IFREG | (0666 & ~mask)},
        {"existing file", [&] { return old_file("old.ppm", 0640); }, "good.jpg", 0, "", "old.ppm", good,
         S_IFREG | 0640},
        {"existing file, failed decode", [&] { return old_file("kept.ppm", 0600); }, "bad.jpg", 1,
         "~(RestartMarker, -228)", "kept.ppm", "old", S_IFREG | 0600},
        {"symbolic link",
         [&] {
             return old_file("sub/target.ppm", 0604), fs::create_symlink("sub/target.ppm", path("link.ppm")),
                    path("link.ppm");
         },
         "good.jpg", 0, "", "sub/target.ppm", good, S_IFREG | 0604},
        {"dangling link", [&] { return fs::create_symlink("made.ppm", path("dangling.ppm")), path("dangling.ppm"); },
         "good.jpg", 0, "", "made.ppm", good},
        {"/dev/null", [] { return std::string("/dev/null"); }, "good.jpg", 0, "", "", ""},
        {"/dev/full", [] { return std::string("/dev/full"); }, "good.jpg", 2,
         "jpeg-decode: /dev/full: cannot write: No space left on device\n", "", ""},
        {"named pipe", fifo, "good.jpg", 0, "", "", ""},
        {"standard output", [] { return std::string("-"); }, "good.jpg", 0, "", "-", good},
        // The temporary name beside them must fit the file system's limit too.
        {"a name of 244 bytes", [&] { return path(long_name(244)); }, "good.jpg", 0, "", long_name(244), good},
        {"a name of 255 bytes", [&] { return path(long_name(255)); }, "good.jpg", 0, "", long_name(255), good},
    };
    for (const Case& c : cases) {
        const Ran r = run(dir, {path(c.input), c.prepare()});
        EXPECT_EQ(r.exit_code, c.exit_code) << c.what << ": " << r.err;
        EXPECT_TRUE(matches(r.err, c.err)) << c.what << ": " << r.err;
        if (c.file.empty()) continue;
        EXPECT_EQ(c.file == "-" ? r.out : text(e2e::read_file(path(c.file))), c.want) << c.what;
        EXPECT_TRUE(c.mode == 0 || mode_of(path(c.file)) == c.mode) << c.what << ": mode " << mode_of(path(c.file));
    }
    reader.join();
    EXPECT_EQ(piped, good);
    // Devices, pipes and links stay what they are.
    EXPECT_TRUE(S_ISCHR(mode_of("/dev/null")) && S_ISCHR(mode_of("/dev/full")) && S_ISFIFO(mode_of(path("fifo"))));
    EXPECT_TRUE(fs::is_symlink(path("link.ppm")) && fs::is_symlink(path("dangling.ppm")));
    EXPECT_EQ(listing("/sub"), "target.ppm ");
    EXPECT_EQ(listing(), "bad.jpg dangling.ppm fifo good.jpg kept.ppm link.ppm made.ppm new.ppm " + long_name(244) +
                             " " + long_name(255) + " old.ppm sub ");
}

// An output that is an input, however it is named: refused before anything
// is read or written, every file left as it was.
TEST_F(JpegDecodeCommand, NeverWritesOverAnInput) {
    write_jpeg("in.jpg", 24, 16, Sampling::H2V2, false);
    write_jpeg("a.jpg", 24, 16, Sampling::H2V1, false);
    fs::create_directory(path("d"));
    write_jpeg("d/x.ppm", 24, 16, Sampling::H2V2, false);  // a JPEG file named .ppm
    write_jpeg("d/a.ppm", 24, 16, Sampling::H1V1, false);
    fs::create_symlink("in.jpg", path("link.ppm"));
    fs::create_hard_link(path("in.jpg"), path("hard.ppm"));
    fs::create_symlink("d/a.ppm", path("z.jpg"));
    const auto contents = [&] {  // every name with its link target or a digest of its bytes
        std::string all;
        for (const auto& entry : fs::recursive_directory_iterator(dir))
            all += entry.path().string() +
                   (entry.is_symlink() ? " -> " + fs::read_symlink(entry).string()
                    : entry.is_regular_file()
                        ? " " + std::to_string(std::hash<std::string>{}(text(e2e::read_file(entry.path()))))
                        : "") +
                   "\n";
        return all;
    };
    const std::string before = contents();
    struct Case {
        std::vector<std::string> args;
        std::string input;  // standard input
        std::string output, same;  // as the message names them
    };
    for (const Case& c : {Case{{path("in.jpg"), path("in.jpg")}, "", path("in.jpg"), path("in.jpg")},
                          Case{{"--format", "ppm", path("in.jpg"), path("in.jpg")}, "", path("in.jpg"), path("in.jpg")},
                          Case{{path("in.jpg"), path("link.ppm")}, "", path("link.ppm"), path("in.jpg")},
                          Case{{path("in.jpg"), path("hard.ppm")}, "", path("hard.ppm"), path("in.jpg")},
                          Case{{"-", path("hard.ppm")}, path("in.jpg"), path("hard.ppm"), "-"},
                          Case{{"-o", path("d"), path("d/x.ppm")}, "", path("d/x.ppm"), path("d/x.ppm")},
                          // The first picture's output is the second input, through a link.
                          Case{{"-o", path("d"), path("a.jpg"), path("z.jpg")}, "", path("d/a.ppm"), path("z.jpg")}}) {
        const Ran r = run(dir, c.args, c.input);
        EXPECT_EQ(r.exit_code, 2) << c.output;
        EXPECT_EQ(r.err, "jpeg-decode: " + c.output + ": is the input " + c.same +
                             " itself; it is left as it is and nothing is written\n");
        EXPECT_EQ(contents(), before) << c.output;
    }
}

// A run ended by a signal it can catch ends by that signal with its
// temporary file removed; a run stopped by the file-size limit says so and
// removes it too.
TEST_F(JpegDecodeCommand, EndedRunsLeaveNoTemporaryFile) {
    const std::vector<uint8_t> jpeg = write_jpeg("big.jpg", 512, 512, Sampling::H1V1, false);
    const auto ignored_pipe = std::signal(SIGPIPE, SIG_IGN);  // when a child is gone before it reads
    for (const int signal_number : {SIGHUP, SIGINT, SIGQUIT, SIGTERM, SIGUSR1, SIGUSR2, SIGALRM, SIGPIPE, SIGVTALRM,
                                    SIGPROF, SIGXCPU, SIGRTMIN + 2}) {
        SCOPED_TRACE(strsignal(signal_number));
        int input[2];
        ASSERT_EQ(pipe(input), 0);
        const pid_t child = fork();
        if (child == 0) {
            // As a shell starts it in the foreground: no signal ignored or blocked, no core file.
            for (int s = 1; s < NSIG; ++s) std::signal(s, SIG_DFL);
            sigset_t none;
            sigemptyset(&none);
            sigprocmask(SIG_SETMASK, &none, nullptr);
            const rlimit no_core{0, 0};
            setrlimit(RLIMIT_CORE, &no_core);
            dup2(input[0], STDIN_FILENO), close(input[0]), close(input[1]);
            execl(JPEG_DECODE_PATH, "jpeg-decode", "-", path("out.ppm").c_str(), static_cast<char*>(nullptr));
            _exit(127);
        }
        close(input[0]);
        // Half the picture: the output is begun and the rest awaited.
        EXPECT_EQ(write(input[1], jpeg.data(), jpeg.size() / 2), static_cast<ssize_t>(jpeg.size() / 2));
        bool begun = false;
        for (int tries = 0; tries < 2000 && !begun; ++tries, usleep(10000))
            begun = listing().find(".out.ppm.part") != std::string::npos;
        kill(child, signal_number);
        close(input[1]);  // were the signal lost, the run would end here
        int status = 0;
        waitpid(child, &status, 0);
        EXPECT_TRUE(begun);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal_number) << status;
        EXPECT_EQ(listing(), "big.jpg ");
    }
    std::signal(SIGPIPE, ignored_pipe);
    const Ran r = run(dir, {path("big.jpg"), path("out.ppm")}, "", false, "ulimit -f 100; ");
    EXPECT_EQ(r.exit_code, 2);
    EXPECT_EQ(r.err, "jpeg-decode: " + path("out.ppm") + ": cannot write: File too large\n");
    EXPECT_EQ(listing(), "big.jpg ");
}

// Data that ends early: the picture is written, the missing part filled in,
// with a warning and exit status 3.
// Also with rows enough for several of the writer's blocks.
TEST_F(JpegDecodeCommand, TruncatedData) {
    for (const auto& [w, h] : {std::pair{96, 80}, std::pair{1280, 800}})
        for (const bool progressive : {false, true}) {
            std::vector<uint8_t> jpeg = write_jpeg("whole.jpg", w, h, Sampling::H2V2, progressive);
            // Cut inside entropy-coded data: halfway through a sequential
            // picture's scan, early in a progressive picture's middle scan.
            const auto scans = e2e::find_markers(jpeg, 0xDA, 0xDA);
            const size_t data = e2e::segment_end(jpeg, scans[scans.size() / 2]);
            jpeg.resize(data + (progressive ? 40 : (jpeg.size() - data) / 2));
            e2e::write_file(path("cut.jpg"), jpeg);
            const e2e::MarivueResult m = e2e::marivue_decode(jpeg);
            ASSERT_TRUE(m.data_incomplete);
            for (const char* output : {"cut.ppm", "cut.png"}) {
                const Ran r = run(dir, {path("cut.jpg"), path(output)});
                EXPECT_EQ(r.exit_code, 3) << r.err;
                EXPECT_EQ(r.err, "jpeg-decode: warning: " + path("cut.jpg") + ": the picture's data ends early; " +
                                     (progressive ? "the missing detail is filled in\n"
                                                  : std::to_string(h - m.incomplete_from_row) + " of " +
                                                        std::to_string(h) + " rows are filled in\n"));
                const std::string file = std::string(output).ends_with("png") ? pnm_from_png(path(output))
                                                                              : text(e2e::read_file(path(output)));
                const std::string samples = file.substr(file.size() - std::min(file.size(), size_t(w) * h * 3));
                ASSERT_EQ(samples.size(), size_t(w) * h * 3) << output;
                // The rows that arrived, then mid-grey for those that did not.
                const std::string arrived = text(m.picture.samples);
                EXPECT_EQ(samples.substr(0, arrived.size()), arrived) << output;
                EXPECT_EQ(samples.substr(arrived.size()), std::string(samples.size() - arrived.size(), char(128)));
                EXPECT_EQ(progressive, m.rows == h);
            }
            EXPECT_EQ(run(dir, {"--check", path("cut.jpg")}).exit_code, 3);
        }
}

// The embedded colour profile goes into a PNG's iCCP chunk, named after the
// profile's own description, and byte for byte as embedded (read back with
// libpng); --info and --json name it, with the Exif orientation. A grey
// picture with an RGB profile is written without it, with a warning.
TEST_F(JpegDecodeCommand, ColourProfileIntoPngAndInfo) {
    const std::vector<uint8_t> adobe = e2e::read_file("/usr/share/color/icc/compatibleWithAdobeRGB1998.icc");
    const std::vector<uint8_t> srgb = e2e::read_file("/usr/share/color/icc/sRGB.icc");
    ASSERT_FALSE(adobe.empty() || srgb.empty());
    // The Exif segment, then the profile in two chunks, the second first.
    const auto tag = [&](const std::string& name, const std::vector<uint8_t>& jpeg, const std::vector<uint8_t>& icc,
                         int orientation) {
        const std::vector<uint8_t> exif =
            e2e::exif_segment(true, {{0x112, 3, 1, static_cast<uint32_t>(orientation)}}, {});
        const size_t half = icc.size() / 2;
        e2e::write_file(path(name), jt::tagged(jpeg, {jt::Stream().segment(0xE1, exif).bytes,
                                                      jt::icc_chunk(icc, half, icc.size(), 2, 2),
                                                      jt::icc_chunk(icc, 0, half, 1, 2)}));
    };
    tag("adobe.jpg", write_jpeg("plain.jpg", 64, 48, Sampling::H2V2, true), adobe, 6);
    tag("srgb.jpg", write_jpeg("plain.jpg", 33, 17, Sampling::H1V1, false), srgb, 1);
    tag("grey.jpg", write_jpeg("plain.jpg", 17, 9, Sampling::Grey, false), srgb, 3);
    struct Case {
        const char* input;
        const std::vector<uint8_t>* profile;
        const char* name;  // in the iCCP chunk; nullptr: no chunk
        std::string info, json, err;
    } cases[] = {
        {"adobe.jpg", &adobe, "Compatible with Adobe RGB (1998)",
         "colour profile: Compatible with Adobe RGB (1998) (580 bytes)\norientation: 6\n",
         "\"colour_profile\":{\"description\":\"Compatible with Adobe RGB (1998)\",\"bytes\":580},\"orientation\":6,",
         ""},
        {"srgb.jpg", &srgb, "sRGB", "colour profile: sRGB (6922 bytes)\norientation: 1\n",
         "\"colour_profile\":{\"description\":\"sRGB\",\"bytes\":6922},\"orientation\":1,", ""},
        {"grey.jpg", nullptr, nullptr, "colour profile: sRGB (6922 bytes)\norientation: 3\n", "\"orientation\":3,",
         "jpeg-decode: warning: " + path("grey.jpg") +
             ": the picture's colour profile is not written: libpng refuses it for this picture\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.input);
        const Ran r = run(dir, {path(c.input), path("out.png")});
        EXPECT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, c.err);
        EXPECT_EQ(iccp_of(path("out.png")), c.profile != nullptr ? c.name + (": " + text(*c.profile)) : "");
        EXPECT_NE(run(dir, {"--info", path(c.input)}).out.find(c.info), std::string::npos);
        EXPECT_NE(run(dir, {"--info", "--json", path(c.input)}).out.find(c.json), std::string::npos);
        const Ran ppm = run(dir, {path(c.input), path("out.ppm")});  // PPM has no room for it: no warning
        EXPECT_EQ(ppm.exit_code, 0);
        EXPECT_EQ(ppm.err, "");
    }
}

// Several inputs into a directory: one picture each, named after its input,
// and the exit status of the worst.
TEST_F(JpegDecodeCommand, SeveralInputs) {
    const std::string colour = pnm_of(write_jpeg("a.jpg", 24, 16, Sampling::H2V1, false));
    const std::string grey = pnm_of(write_jpeg("b.grey.jpg", 9, 5, Sampling::Grey, true));
    std::vector<uint8_t> cut = write_jpeg("c.jpg", 64, 64, Sampling::H1V1, false);
    e2e::write_file(path("c.jpg"), {cut.begin(), cut.begin() + cut.size() / 2});
    e2e::write_file(path("d.jpg"), {'n', 'o'});
    fs::create_directory(path("out"));
    struct Case {
        std::vector<std::string> inputs, options;
        int exit_code;
        std::string files;
    };
    for (const Case& c :
         {Case{{"a.jpg", "b.grey.jpg"}, {}, 0, "a.ppm b.grey.pgm "}, Case{{"a.jpg", "c.jpg"}, {}, 3, "a.ppm c.ppm "},
          Case{{"d.jpg", "c.jpg", "a.jpg"}, {}, 1, "a.ppm c.ppm "},
          Case{{"a.jpg", "missing.jpg", "d.jpg"}, {}, 2, "a.ppm "},
          Case{{"a.jpg", "b.grey.jpg"}, {"--format", "png"}, 0, "a.png b.grey.png "}}) {
        std::vector<std::string> args = c.options;
        args.insert(args.end(), {"-o", path("out")});
        for (const std::string& input : c.inputs) args.push_back(path(input));
        const Ran r = run(dir, args);
        EXPECT_EQ(r.exit_code, c.exit_code) << r.err;
        EXPECT_EQ(listing("/out"), c.files);
        if (c.files == "a.ppm b.grey.pgm ") {
            EXPECT_EQ(text(e2e::read_file(path("out/a.ppm"))), colour);
            EXPECT_EQ(text(e2e::read_file(path("out/b.grey.pgm"))), grey);
        }
        EXPECT_EQ(r.err.find('\r'), std::string::npos);  // no progress line when standard error is a file
        fs::remove_all(path("out")), fs::create_directory(path("out"));
    }
}

}  // namespace

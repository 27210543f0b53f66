// The jpeg-decode command, run as a process: one table of invocations with
// their exit code, output texts and the files left behind, and PNM output
// equal to the decoder's rows through files, standard streams and a pipe.
#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include <sys/wait.h>

namespace {

using e2e::Sampling;

struct Ran {
    int exit_code = -1;
    std::string out, err;
};

std::string text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

// Runs the command through the shell in `dir`, standard input from `input`
// (a file, /dev/null when empty) or, with `pipe`, from that file through a
// pipe, so that it arrives in pieces.
Ran run(const std::string& dir, const std::vector<std::string>& args, const std::string& input = "",
        bool pipe = false) {
    std::string command = pipe ? "cat '" + input + "' | " : "";
    command += std::string("'") + JPEG_DECODE_PATH + "'";
    for (const std::string& a : args) command += " '" + a + "'";
    if (!pipe) command += " < '" + (input.empty() ? std::string("/dev/null") : input) + "'";
    command += " > '" + dir + "/.out' 2> '" + dir + "/.err'";
    const int status = std::system(command.c_str());
    Ran r{WIFEXITED(status) ? WEXITSTATUS(status) : -1, text(e2e::read_file(dir + "/.out")),
          text(e2e::read_file(dir + "/.err"))};
    std::filesystem::remove(dir + "/.out"), std::filesystem::remove(dir + "/.err");
    return r;
}

class JpegDecodeCommand : public testing::Test {
protected:
    void SetUp() override { dir = e2e::make_temp_dir(); }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string path(const std::string& name) const { return dir + "/" + name; }
    std::vector<uint8_t> write_jpeg(const std::string& name, int w, int h, Sampling s, bool progressive,
                                    int restart_rows = 0) {
        e2e::EncodeOptions o;
        o.sampling = s, o.progressive = progressive, o.restart_rows = restart_rows;
        std::vector<uint8_t> jpeg = e2e::encode(e2e::make_picture(w, h, s == Sampling::Grey ? 1 : 3, 17), o);
        e2e::write_file(path(name), jpeg);
        return jpeg;
    }
    std::string listing() const {  // the names of the files in the directory
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) names.insert(entry.path().filename());
        std::string all;
        for (const std::string& n : names) all += n + " ";
        return all;
    }
    std::string dir;
};

// A PNM file is its header and exactly the decoder's rows.
TEST_F(JpegDecodeCommand, OutputIsTheDecodedRows) {
    struct Case {
        int w, h;
        Sampling s;
        bool progressive;
        int how;  // 0 files, 1 standard input and output, 2 a pipe into standard input
    };
    for (const Case& c : {Case{241, 161, Sampling::H2V2, false, 0}, Case{17, 9, Sampling::Grey, true, 0},
                          Case{33, 17, Sampling::H2V1, false, 1}, Case{130, 77, Sampling::H2V2, true, 2}}) {
        const std::vector<uint8_t> jpeg = write_jpeg("in.jpg", c.w, c.h, c.s, c.progressive);
        const Ran r = c.how == 0   ? run(dir, {path("in.jpg"), path("out.pnm")})
                      : c.how == 1 ? run(dir, {"-", "-"}, path("in.jpg"))
                                   : run(dir, {"-", path("out.pnm")}, path("in.jpg"), true);
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_EQ(r.err, "");
        const std::string file = c.how == 1 ? r.out : text(e2e::read_file(path("out.pnm")));
        const std::string header = std::string(c.s == Sampling::Grey ? "P5\n" : "P6\n") + std::to_string(c.w) + " " +
                                   std::to_string(c.h) + "\n255\n";
        EXPECT_EQ(file.substr(0, header.size()), header);
        EXPECT_EQ(file.substr(header.size()), text(e2e::marivue_decode(jpeg).picture.samples)) << c.w;
        EXPECT_EQ(listing(), c.how == 1 ? "in.jpg " : "in.jpg out.pnm ");
        std::filesystem::remove(path("out.pnm"));
    }
}

TEST_F(JpegDecodeCommand, InvocationTable) {
    write_jpeg("colour.jpg", 241, 161, Sampling::H2V2, false);
    write_jpeg("grey.jpg", 7, 3, Sampling::Grey, true);
    write_jpeg("h1v2.jpg", 64, 48, Sampling::H1V2, true);
    e2e::EncodeOptions o;
    o.factors = {{4, 1}, {1, 1}, {1, 1}};
    e2e::write_file(path("refused.jpg"), e2e::encode(e2e::make_picture(40, 24, 3, 3), o));
    e2e::write_file(path("text.jpg"), {'h', 'e', 'l', 'l', 'o', '\n'});
    // A restart marker with a wrong number two thirds down the picture.
    std::vector<uint8_t> bad = write_jpeg("bad.jpg", 96, 96, Sampling::H1V1, false, 1);
    const auto rst = e2e::find_markers(bad, 0xD0, 0xD7);
    ASSERT_EQ(rst.size(), 11u);
    bad[rst[7].offset + 1] = 0xD0 + ((bad[rst[7].offset + 1] - 0xD0 + 3) & 7);
    e2e::write_file(path("bad.jpg"), bad);
    ASSERT_GT(e2e::marivue_decode(bad).rows, 0);
    e2e::write_file(path("keep.ppm"), {'o', 'l', 'd'});
    const std::string files = "bad.jpg colour.jpg grey.jpg h1v2.jpg keep.ppm refused.jpg text.jpg ";
    const std::string usage = "usage: jpeg-decode";
    struct Case {
        std::vector<std::string> args;
        std::string input;
        int exit_code;
        std::string out, err;  // exact, or a part of it when it starts with '~'
    };
    const Case cases[] = {
        {{"--info", path("colour.jpg")},
         "",
         0,
         "width: 241\nheight: 161\ncomponents: 3\nprogressive: no\nscheme: SchemeH2V2\n",
         ""},
        {{path("grey.jpg"), "--info"},
         "",
         0,
         "width: 7\nheight: 3\ncomponents: 1\nprogressive: yes\nscheme: SchemeGrey\n",
         ""},
        {{"--info", path("h1v2.jpg")}, "", 0, "~scheme: SchemeH1V2\n", ""},
        {{path("h1v2.jpg")}, "", 0, "~64 x 48", ""},
        {{"--info", path("refused.jpg")},
         "",
         1,
         "width: 40\nheight: 24\ncomponents: 3\nprogressive: no\n",
         "jpeg-decode: " + path("refused.jpg") + ": UnsupportedSampling (-226)\n"},
        {{path("refused.jpg"), path("out.ppm")},
         "",
         1,
         "",
         "jpeg-decode: " + path("refused.jpg") + ": UnsupportedSampling (-226)\n"},
        {{path("text.jpg"), path("out.ppm")}, "", 1, "", "jpeg-decode: " + path("text.jpg") + ": NotJpeg (-217)\n"},
        {{"--info", path("text.jpg")}, "", 1, "", "~NotJpeg (-217)"},
        {{"-", "-"}, path("text.jpg"), 1, "", "jpeg-decode: -: NotJpeg (-217)\n"},
        {{path("bad.jpg"), path("bad.ppm")}, "", 1, "", "jpeg-decode: " + path("bad.jpg") + ": RestartMarker (-228)\n"},
        {{path("bad.jpg"), path("keep.ppm")}, "", 1, "", "~RestartMarker (-228)"},
        {{path("bad.jpg"), "-"}, "", 1, "", "~RestartMarker (-228)"},
        {{}, "", 2, "", "~missing INPUT"},
        {{"--bogus", path("grey.jpg")}, "", 2, "", "~unknown option"},
        {{path("grey.jpg"), path("a.ppm"), path("b.ppm")}, "", 2, "", "~too many arguments"},
        {{"--info", path("grey.jpg"), path("a.ppm")}, "", 2, "", "~OUTPUT is not allowed"},
        {{path("absent.jpg"), path("out.pgm")}, "", 2, "", "~cannot open " + path("absent.jpg")},
        {{dir}, "", 2, "", "~cannot open"},
        {{path("grey.jpg"), path("nowhere/out.pgm")}, "", 2, "", "~cannot create " + path("nowhere/out.pgm")},
        {{"--help"}, "", 0, "~usage: jpeg-decode [--info] INPUT [OUTPUT]\n", ""},
        {{"-h"}, "", 0, "~usage: jpeg-decode [--info] INPUT [OUTPUT]\n", ""},
    };
    auto matches = [](const std::string& got, const std::string& want) {
        return want.starts_with("~") ? got.find(want.substr(1)) != std::string::npos : got == want;
    };
    for (const Case& c : cases) {
        std::string args;
        for (const std::string& a : c.args) args += a + " ";
        const Ran r = run(dir, c.args, c.input);
        EXPECT_EQ(r.exit_code, c.exit_code) << args << r.err;
        EXPECT_TRUE(matches(r.out, c.out)) << args << "\nstdout: " << r.out;
        EXPECT_TRUE(matches(r.err, c.err)) << args << "\nstderr: " << r.err;
        const bool usage_error = c.exit_code == 2 && c.err.find("cannot") == std::string::npos;
        EXPECT_EQ(usage_error, r.err.find(usage) != std::string::npos) << args;
        EXPECT_EQ(listing(), files) << args;  // no output after a failure, nor after --info
    }
    EXPECT_EQ(text(e2e::read_file(path("keep.ppm"))), "old");
    const Ran help = run(dir, {"--help"});
    for (const char* word : {"--info", "P6", "P5", "NAME (CODE)", "Exit status", "'-'"})
        EXPECT_NE(help.out.find(word), std::string::npos) << word;
}

}  // namespace

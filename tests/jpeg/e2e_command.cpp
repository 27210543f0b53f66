// The jpeg-decode command, run as a process.

#include "tests/support/fixtures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

using e2e::EncodeOptions;
using e2e::Sampling;

struct ProcessResult {
    int exit_code = -1;
    std::string out;
    std::string err;
};

std::string as_text(const std::vector<uint8_t>& bytes) { return std::string(bytes.begin(), bytes.end()); }

class JpegDecodeCommand : public testing::Test {
protected:
    void SetUp() override { dir = e2e::make_temp_dir(); }
    void TearDown() override { e2e::remove_tree(dir); }

    std::string path(const std::string& name) const { return dir + "/" + name; }

    // Runs the command with `args`, standard input from `stdin_path` (or
    // empty), and collects its exit code and both output streams.
    ProcessResult run(const std::vector<std::string>& args, const std::string& stdin_path = "") const {
        return run_with_input(args, stdin_path, nullptr);
    }

    // As run, with standard input a pipe that is fed `piped` in small
    // pieces when it is given.
    ProcessResult run_with_input(const std::vector<std::string>& args, const std::string& stdin_path,
                                 const std::vector<uint8_t>* piped) const {
        const std::string out_path = path(".stdout"), err_path = path(".stderr");
        int pipe_fds[2] = {-1, -1};
        if (piped != nullptr && pipe(pipe_fds) != 0) {
            ADD_FAILURE() << "cannot create a pipe";
            return {};
        }
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        if (piped != nullptr) {
            posix_spawn_file_actions_adddup2(&actions, pipe_fds[0], 0);
            posix_spawn_file_actions_addclose(&actions, pipe_fds[0]);
            posix_spawn_file_actions_addclose(&actions, pipe_fds[1]);
        } else {
            posix_spawn_file_actions_addopen(&actions, 0,
                                             stdin_path.empty() ? "/dev/null" : stdin_path.c_str(),
                                             O_RDONLY, 0);
        }
        posix_spawn_file_actions_addopen(&actions, 1, out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        posix_spawn_file_actions_addopen(&actions, 2, err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        std::vector<std::string> all = {JPEG_DECODE_PATH};
        all.insert(all.end(), args.begin(), args.end());
        std::vector<char*> argv;
        for (std::string& a : all) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        pid_t pid = 0;
        ProcessResult result;
        int spawned = posix_spawn(&pid, JPEG_DECODE_PATH, &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (piped != nullptr) {
            close(pipe_fds[0]);
            if (spawned == 0) {
                // A command that stops reading early must not kill the test.
                std::signal(SIGPIPE, SIG_IGN);
                // Small writes, so that the reader sees the stream in pieces.
                for (size_t at = 0; at < piped->size();) {
                    const size_t n = std::min<size_t>(700, piped->size() - at);
                    const ssize_t written = write(pipe_fds[1], piped->data() + at, n);
                    if (written <= 0) {
                        break;
                    }
                    at += static_cast<size_t>(written);
                }
            }
            close(pipe_fds[1]);
        }
        if (spawned != 0) {
            ADD_FAILURE() << "cannot start " << JPEG_DECODE_PATH;
            return result;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        result.out = as_text(e2e::read_file(out_path));
        result.err = as_text(e2e::read_file(err_path));
        std::filesystem::remove(out_path);
        std::filesystem::remove(err_path);
        return result;
    }

    // Names of the files in the directory: a failed run must leave none.
    std::vector<std::string> listing() const {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir)) {
            names.push_back(entry.path().filename().string());
        }
        std::sort(names.begin(), names.end());
        return names;
    }

    std::string write_jpeg(const std::string& name, int w, int h, Sampling s, bool progressive,
                           int restart_rows = 0) {
        const e2e::Picture picture = e2e::make_picture(w, h, s == Sampling::Grey ? 1 : 3, 17);
        EncodeOptions o;
        o.sampling = s;
        o.progressive = progressive;
        o.restart_rows = restart_rows;
        jpeg = e2e::encode(picture, o);
        e2e::write_file(path(name), jpeg);
        return path(name);
    }

    // The header of a binary PNM file and the offset of its samples.
    static std::string pnm_header(const std::string& file, size_t* data_offset) {
        size_t newlines = 0, i = 0;
        while (i < file.size() && newlines < 3) {
            newlines += file[i++] == '\n';
        }
        *data_offset = i;
        return file.substr(0, i);
    }

    std::string dir;
    std::vector<uint8_t> jpeg;
};

TEST_F(JpegDecodeCommand, ColourToPpm) {
    const std::string in = write_jpeg("colour.jpg", 241, 161, Sampling::H2V2, false);
    const ProcessResult r = run({in, path("colour.ppm")});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.err, "");
    const std::string file = as_text(e2e::read_file(path("colour.ppm")));
    size_t offset = 0;
    EXPECT_EQ(pnm_header(file, &offset), "P6\n241 161\n255\n");
    const e2e::MarivueResult direct = e2e::marivue_decode(jpeg);
    ASSERT_EQ(file.size() - offset, direct.picture.samples.size());
    EXPECT_TRUE(std::equal(direct.picture.samples.begin(), direct.picture.samples.end(),
                           reinterpret_cast<const uint8_t*>(file.data() + offset)));
    EXPECT_EQ(listing(), (std::vector<std::string>{"colour.jpg", "colour.ppm"}));
}

TEST_F(JpegDecodeCommand, GreyToPgm) {
    const std::string in = write_jpeg("grey.jpg", 17, 9, Sampling::Grey, true);
    const ProcessResult r = run({in, path("grey.pgm")});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string file = as_text(e2e::read_file(path("grey.pgm")));
    size_t offset = 0;
    EXPECT_EQ(pnm_header(file, &offset), "P5\n17 9\n255\n");
    const e2e::MarivueResult direct = e2e::marivue_decode(jpeg);
    ASSERT_EQ(file.size() - offset, direct.picture.samples.size());
    EXPECT_TRUE(std::equal(direct.picture.samples.begin(), direct.picture.samples.end(),
                           reinterpret_cast<const uint8_t*>(file.data() + offset)));
}

TEST_F(JpegDecodeCommand, StandardInputAndOutput) {
    const std::string in = write_jpeg("in.jpg", 33, 17, Sampling::H2V1, false);
    const ProcessResult r = run({"-", "-"}, in);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_GT(r.out.size(), 13u);
    EXPECT_EQ(r.out.substr(0, 13), "P6\n33 17\n255\n");
    EXPECT_EQ(r.out.size(), 13u + 33 * 17 * 3);
}

TEST_F(JpegDecodeCommand, StandardInputFromPipe) {
    write_jpeg("in.jpg", 130, 77, Sampling::H2V2, true);
    const ProcessResult r = run_with_input({"-", path("out.ppm")}, "", &jpeg);
    ASSERT_EQ(r.exit_code, 0) << r.err;
    const std::string file = as_text(e2e::read_file(path("out.ppm")));
    size_t offset = 0;
    EXPECT_EQ(pnm_header(file, &offset), "P6\n130 77\n255\n");
    const e2e::MarivueResult direct = e2e::marivue_decode(jpeg);
    ASSERT_EQ(file.size() - offset, direct.picture.samples.size());
    EXPECT_TRUE(std::equal(direct.picture.samples.begin(), direct.picture.samples.end(),
                           reinterpret_cast<const uint8_t*>(file.data() + offset)));
}

TEST_F(JpegDecodeCommand, WithoutOutputDecodesAndReports) {
    const std::string in = write_jpeg("in.jpg", 64, 48, Sampling::H1V2, true);
    const ProcessResult r = run({in});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_NE(r.out.find("64 x 48"), std::string::npos) << r.out;
    EXPECT_EQ(listing(), std::vector<std::string>{"in.jpg"});
}

TEST_F(JpegDecodeCommand, InfoSequentialColour) {
    const std::string in = write_jpeg("in.jpg", 241, 161, Sampling::H2V2, false);
    const ProcessResult r = run({"--info", in});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "width: 241\nheight: 161\ncomponents: 3\nprogressive: no\nscheme: SchemeH2V2\n");
    EXPECT_EQ(listing(), std::vector<std::string>{"in.jpg"});
}

TEST_F(JpegDecodeCommand, InfoProgressiveGrey) {
    const std::string in = write_jpeg("in.jpg", 7, 3, Sampling::Grey, true);
    const ProcessResult r = run({in, "--info"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    EXPECT_EQ(r.out, "width: 7\nheight: 3\ncomponents: 1\nprogressive: yes\nscheme: SchemeGrey\n");
}

TEST_F(JpegDecodeCommand, InfoNamesEveryScheme) {
    const std::pair<Sampling, const char*> schemes[] = {{Sampling::H1V1, "SchemeH1V1"},
                                                        {Sampling::H2V1, "SchemeH2V1"},
                                                        {Sampling::H1V2, "SchemeH1V2"}};
    for (const auto& [sampling, name] : schemes) {
        const std::string in = write_jpeg("in.jpg", 16, 16, sampling, false);
        const ProcessResult r = run({"--info", in});
        ASSERT_EQ(r.exit_code, 0) << r.err;
        EXPECT_NE(r.out.find(std::string("scheme: ") + name + "\n"), std::string::npos) << r.out;
    }
}

// When begin fails, --info still tells what the frame header said.
TEST_F(JpegDecodeCommand, InfoWhenBeginFails) {
    const e2e::Picture picture = e2e::make_picture(40, 24, 3, 3);
    EncodeOptions o;
    o.factors = {{4, 1}, {1, 1}, {1, 1}};
    e2e::write_file(path("in.jpg"), e2e::encode(picture, o));
    const ProcessResult r = run({"--info", path("in.jpg")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.out, "width: 40\nheight: 24\ncomponents: 3\nprogressive: no\n");
    EXPECT_EQ(r.err, "jpeg-decode: " + path("in.jpg") + ": UnsupportedSampling (-226)\n");

    const ProcessResult decode = run({path("in.jpg"), path("out.ppm")});
    EXPECT_EQ(decode.exit_code, 1);
    EXPECT_EQ(decode.err, "jpeg-decode: " + path("in.jpg") + ": UnsupportedSampling (-226)\n");
    EXPECT_EQ(listing(), std::vector<std::string>{"in.jpg"});
}

TEST_F(JpegDecodeCommand, NotJpegFailsWithStatusName) {
    e2e::write_file(path("text.jpg"), std::vector<uint8_t>{'h', 'e', 'l', 'l', 'o', '\n'});
    const ProcessResult r = run({path("text.jpg"), path("out.ppm")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "jpeg-decode: " + path("text.jpg") + ": NotJpeg (-217)\n");
    EXPECT_EQ(r.out, "");
    EXPECT_FALSE(e2e::file_exists(path("out.ppm")));
    EXPECT_EQ(listing(), std::vector<std::string>{"text.jpg"});

    const ProcessResult info = run({"--info", path("text.jpg")});
    EXPECT_EQ(info.exit_code, 1);
    EXPECT_NE(info.err.find("NotJpeg (-217)"), std::string::npos);

    const ProcessResult piped = run({"-", "-"}, path("text.jpg"));
    EXPECT_EQ(piped.exit_code, 1);
    EXPECT_EQ(piped.err, "jpeg-decode: -: NotJpeg (-217)\n");
    EXPECT_EQ(piped.out, "");
}

// A restart marker with the wrong number two thirds down the picture: rows
// before it decode, then decoding fails. No output may remain, and an
// existing file of the same name is left as it was.
TEST_F(JpegDecodeCommand, FailureMidwayLeavesNoOutput) {
    const std::string in = write_jpeg("bad.jpg", 96, 96, Sampling::H1V1, false, 1);
    std::vector<e2e::MarkerPosition> rst;
    for (const e2e::MarkerPosition& m : e2e::find_markers(jpeg)) {
        if (m.code >= 0xD0 && m.code <= 0xD7) {
            rst.push_back(m);
        }
    }
    ASSERT_EQ(rst.size(), 11u);
    jpeg[rst[7].offset + 1] = 0xD0 + ((jpeg[rst[7].offset + 1] - 0xD0 + 3) & 7);
    e2e::write_file(in, jpeg);
    const e2e::MarivueResult direct = e2e::marivue_decode(jpeg);
    ASSERT_EQ(direct.stop_result, -227);
    ASSERT_GT(direct.rows, 0);

    const ProcessResult r = run({in, path("bad.ppm")});
    EXPECT_EQ(r.exit_code, 1);
    EXPECT_EQ(r.err, "jpeg-decode: " + in + ": RestartMarker (-228)\n");
    EXPECT_EQ(listing(), std::vector<std::string>{"bad.jpg"});

    e2e::write_file(path("keep.ppm"), std::vector<uint8_t>{'o', 'l', 'd'});
    const ProcessResult again = run({in, path("keep.ppm")});
    EXPECT_EQ(again.exit_code, 1);
    EXPECT_EQ(as_text(e2e::read_file(path("keep.ppm"))), "old");
    EXPECT_EQ(listing(), (std::vector<std::string>{"bad.jpg", "keep.ppm"}));

    const ProcessResult to_stdout = run({in, "-"});
    EXPECT_EQ(to_stdout.exit_code, 1);
    EXPECT_EQ(to_stdout.out, "") << "a partial picture was written";
}

TEST_F(JpegDecodeCommand, UsageErrors) {
    const std::string in = write_jpeg("in.jpg", 8, 8, Sampling::Grey, false);
    struct Case {
        std::vector<std::string> args;
        const char* expected;
    };
    const Case cases[] = {
        {{}, "missing INPUT"},
        {{"--bogus", in}, "unknown option"},
        {{in, path("a.ppm"), path("b.ppm")}, "too many arguments"},
        {{"--info", in, path("a.ppm")}, "OUTPUT is not allowed"},
    };
    for (const Case& c : cases) {
        const ProcessResult r = run(c.args);
        EXPECT_EQ(r.exit_code, 2) << c.expected;
        EXPECT_NE(r.err.find(c.expected), std::string::npos) << r.err;
        EXPECT_NE(r.err.find("usage: jpeg-decode"), std::string::npos) << r.err;
        EXPECT_EQ(r.out, "");
    }
    EXPECT_EQ(listing(), std::vector<std::string>{"in.jpg"});
}

TEST_F(JpegDecodeCommand, FileErrors) {
    const std::string in = write_jpeg("in.jpg", 8, 8, Sampling::Grey, false);
    const ProcessResult missing = run({path("absent.jpg"), path("out.pgm")});
    EXPECT_EQ(missing.exit_code, 2);
    EXPECT_NE(missing.err.find("cannot open " + path("absent.jpg")), std::string::npos) << missing.err;
    EXPECT_FALSE(e2e::file_exists(path("out.pgm")));

    const ProcessResult directory = run({dir});
    EXPECT_EQ(directory.exit_code, 2);
    EXPECT_NE(directory.err.find("cannot open"), std::string::npos) << directory.err;

    const ProcessResult no_dir = run({in, path("nowhere/out.pgm")});
    EXPECT_EQ(no_dir.exit_code, 2);
    EXPECT_NE(no_dir.err.find("cannot create " + path("nowhere/out.pgm")), std::string::npos) << no_dir.err;
    EXPECT_EQ(listing(), std::vector<std::string>{"in.jpg"});
}

TEST_F(JpegDecodeCommand, HelpExplains) {
    for (const char* flag : {"--help", "-h"}) {
        const ProcessResult r = run({flag});
        EXPECT_EQ(r.exit_code, 0);
        EXPECT_EQ(r.out.rfind("usage: jpeg-decode [--info] INPUT [OUTPUT]\n", 0), 0u) << r.out;
        for (const char* word : {"--info", "P6", "P5", "NAME (CODE)", "Exit status", "'-'"}) {
            EXPECT_NE(r.out.find(word), std::string::npos) << word;
        }
    }
}

}  // namespace

// The photo view in the terminal: marivue --tty over picture files, driven as a user drives it in a
// tmux session (see terminal_tmux.h), the picture drawn in symbols. The status line is the screen's
// last row; a message is written in reverse video right above it.
#include "tests/support/picture_folder.h"
#include "tests/support/trash_info.h"
#include "tests/terminal/terminal_tmux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include <unistd.h>

namespace {

using namespace terminal_test;

// A cell of text in reverse video: reversed with the terminal's own colours, as no picture symbol is.
bool reversed_text(const Cell& cell) { return cell.inverse && cell.fg < 0 && cell.bg < 0; }

std::string status_line(const Screen& s) { return s.rows.empty() ? std::string() : s.rows.back(); }

// Whether `text` (a line's beginning) is written as a message belongs: in reverse video on the rows
// from its own down to the status line, each reversed from the left edge to the same right edge and
// its text centred between them; nothing above reversed, so nothing of an earlier message is left.
bool in_band(const Screen& s, const std::string& text) {
    const auto at = s.find(text);
    const size_t status = s.rows.size() - 1;
    if (!at || at->first >= status) return false;
    size_t width = 0;
    for (size_t r = 0; r <= status; ++r) {
        const std::vector<Cell>& row = s.cells[r];
        const size_t end =
            std::find_if(row.begin(), row.end(), [](const Cell& c) { return !reversed_text(c); }) - row.begin();
        const bool band = r >= at->first && r < status;
        if (std::any_of(row.begin() + static_cast<long>(band ? end : 0), row.end(), reversed_text)) return false;
        if (!band) continue;
        size_t first = row.size(), last = 0;
        for (size_t c = 0; c < end; ++c)
            if (row[c].symbol != U' ') first = std::min(first, c), last = c;
        if (end == 0 || (width != 0 && end != width) || first > last ||
            std::abs(static_cast<long>(first) - static_cast<long>(end - 1 - last)) > 1)
            return false;
        width = end;
    }
    return true;
}

// Whether the name `name` is written in reverse video (the gallery's choice).
bool chosen(const Screen& s, const std::string& name) {
    const auto at = s.find(name);
    return at && at->second < s.cells[at->first].size() && reversed_text(s.cells[at->first][at->second]);
}

struct PhotoStep {
    std::string send;  // see Session::send
    std::string status = {};  // the status line begins so
    std::vector<std::string> shows = {};
    std::string absent = {}, band = {};  // not on the screen; the message's beginning, in its band
    std::string choice = {};  // the gallery's chosen name, in reverse video
    bool clean = false;  // no message
    bool picture = false;  // picture symbols shown
    int exit = -1;  // exit status then reported, the terminal restored
};

struct PhotoScenario {
    const char* name;  // the first step waits for the program to start: keys before go to its start-up
    std::vector<PhotoStep> steps;
    std::string args = "FOLDER";  // FOLDER: the test's picture folder
    std::string env = "";
    std::string wrap = "";  // a command that runs the program
};
void PrintTo(const PhotoScenario& scenario, std::ostream* out) { *out << scenario.name; }

// Root's privileges left out, so that a file of mode 000 cannot be read.
const std::string unprivileged = geteuid() == 0 ? "setpriv --bounding-set -dac_override,-dac_read_search" : "";

// Each message in its band, gone with its picture and after a resize and a redraw.
const std::vector<PhotoStep> message_steps{
    {.send = "", .band = "fake.jpg: not a JPEG file"},
    {.send = "Right", .absent = "not a JPEG", .band = "broken.jpg: the picture's data ends early;"},
    {.send = "Right", .status = "Grey.jpg   3 / 3", .absent = "filled in", .clean = true, .picture = true},
    {.send = "Right", .band = "fake.jpg: not a JPEG file"},
    {.send = "End", .status = "Grey.jpg", .absent = "JPEG file", .clean = true},
    {.send = "Left", .band = "broken.jpg: the picture's data ends early;"},
    {.send = "tmux resize-window -t viewer -x 120 -y 40",
     .band = "broken.jpg: the picture's data ends early; the missing part is filled in"},
    {.send = "C-l", .band = "broken.jpg: the picture's data ends early; the missing part is filled in"},
    {.send = "type q", .exit = 0}};
const std::string message_files = "FOLDER/fake.jpg FOLDER/broken.jpg FOLDER/Grey.jpg";
const std::string all_names[] = {"broken.jpg", "Grey.jpg",    "img2.jpg",  "img10.jpg",
                                 "picture",    "restart.jpg", "turned.jpg"};

const std::vector<PhotoScenario> photo_scenarios{
    {"StepsThroughAFolder",  // its pictures in natural order, each key that steps
     {{.send = "", .status = "broken.jpg   1 / 7", .band = "broken.jpg: the picture's data ends early;"},
      {.send = "Right", .status = "Grey.jpg   2 / 7", .clean = true, .picture = true},
      {.send = "Space", .status = "img2.jpg   3 / 7"},
      {.send = "NPage", .status = "img10.jpg   4 / 7"},
      {.send = "wheel down", .status = "picture   5 / 7"},
      {.send = "Down", .status = "restart.jpg   6 / 7"},
      {.send = "End", .status = "turned.jpg   7 / 7"},
      {.send = "Right", .status = "broken.jpg   1 / 7"},
      {.send = "Left", .status = "turned.jpg   7 / 7"},
      {.send = "Home", .status = "broken.jpg   1 / 7"},
      {.send = "BSpace", .status = "turned.jpg   7 / 7"},
      {.send = "Up", .status = "restart.jpg   6 / 7"},
      {.send = "PPage", .status = "picture   5 / 7"},
      {.send = "wheel up", .status = "img10.jpg   4 / 7"},
      {.send = "type q", .exit = 0}}},
    {"SearchFiltersAsYouTypeWithTheCount",
     {{.send = "", .status = "broken.jpg   1 / 7"},
      {.send = "type /", .status = "/"},
      {.send = "type IMG", .status = "/IMG", .shows = {"2 matches"}},  // case aside
      {.send = "Enter", .status = "img2.jpg   1 / 2", .shows = {"/IMG"}},
      {.send = "Right", .status = "img10.jpg   2 / 2"},
      {.send = "Right", .status = "img2.jpg   1 / 2"},
      {.send = "type /zz", .status = "/IMGzz", .shows = {"no match"}},
      {.send = "BSpace", .status = "/IMGz", .shows = {"no match"}},
      {.send = "Escape", .status = "img2.jpg   3 / 7", .absent = "IMG"},
      {.send = "Escape", .exit = 0}}},
    {"GalleryWithNamesKeysAndMouse",
     {{.send = "", .status = "broken.jpg   1 / 7"},
      {.send = "g",
       .status = "broken.jpg   1 / 7",
       .shows = std::vector<std::string>(std::begin(all_names), std::end(all_names)),
       .choice = "broken.jpg",
       .picture = true},
      {.send = "Right", .status = "Grey.jpg   2 / 7", .choice = "Grey.jpg"},
      {.send = "Down", .status = "restart.jpg   6 / 7", .choice = "restart.jpg"},
      {.send = "Enter", .status = "restart.jpg   6 / 7", .absent = "img10.jpg"},
      {.send = "g", .choice = "restart.jpg"},
      {.send = "click img10.jpg", .status = "img10.jpg   4 / 7", .choice = "img10.jpg"},
      {.send = "double-click Grey.jpg", .status = "Grey.jpg   2 / 7   100%", .absent = "img10.jpg"},
      {.send = "g", .choice = "Grey.jpg"},
      {.send = "Escape", .status = "Grey.jpg   2 / 7   100%", .absent = "img10.jpg"},
      {.send = "Escape", .exit = 0}}},
    {"InfoBoxAndFullScreen",
     {{.send = "", .status = "turned.jpg   1 / 2   100%   48 × 64"},  // turned by its orientation
      {.send = "i", .shows = {"Name", "turned.jpg", "Size", "48 × 64 pixels", "Taken", "2024-05-17 14:03:22"}},
      {.send = "i", .absent = "Taken"},
      {.send = "f", .absent = "1 / 2", .picture = true},
      {.send = "f", .status = "turned.jpg   1 / 2"},
      {.send = "f", .absent = "1 / 2"},
      {.send = "Escape", .status = "turned.jpg   1 / 2"},  // leaves full screen first
      {.send = "Escape", .exit = 0}},
     "FOLDER/turned.jpg FOLDER/Grey.jpg"},
    {"MessagesInTheirBandWithXtermTerminfo", message_steps, message_files, "TERM=xterm-256color"},
    {"MessagesInTheirBandWithTmuxTerminfo", message_steps, message_files, "TERM=tmux-256color"},
    {"SaysWhyNamedFilesCannotBeShown",  // kept in the list, the reason over the picture
     {{.send = "", .band = "pipe.jpg: a named pipe, not a picture file"},
      {.send = "Right", .absent = "named pipe", .band = "secret.jpg: Permission denied"},
      {.send = "Right", .band = "loop.jpg: Too many levels of symbolic links"},
      {.send = "Right", .band = "null: a device, not a picture file"},
      {.send = "Right", .status = "Grey.jpg   5 / 5", .clean = true, .picture = true},
      {.send = "type q", .exit = 0}},
     "FOLDER/.odd/pipe.jpg FOLDER/.odd/secret.jpg FOLDER/.odd/loop.jpg /dev/null FOLDER/Grey.jpg",
     "",
     unprivileged},
    {"SlideshowAdvances",
     {{.send = "", .status = "Grey.jpg   1 / 2", .shows = {"slideshow"}},
      {.send = "", .status = "img2.jpg   2 / 2", .shows = {"slideshow"}},
      {.send = "s", .status = "img2.jpg   2 / 2", .absent = "slideshow"}},
     "--slideshow 1 FOLDER/Grey.jpg FOLDER/img2.jpg"},
    // Quitting waits neither for the picture decoded ahead, which would take minutes, nor for
    // anything else; every way out puts the terminal back.
    {"QuitsAtOnceWhileAPictureIsDecodedAhead",
     {{.send = "", .status = "Grey.jpg", .picture = true}, {.send = "type q", .exit = 0}},
     "FOLDER/Grey.jpg FOLDER/.odd/slow.jpg"},
    {"CtrlCAtOnce", {{.send = "", .status = "Grey.jpg"}, {.send = "C-c", .exit = 0}}, "FOLDER/Grey.jpg"},
    {"CtrlQ", {{.send = "", .status = "Grey.jpg"}, {.send = "C-q", .exit = 0}}, "FOLDER/Grey.jpg"},
    {"SigintQuits", {{.send = "", .status = "Grey.jpg"}, {.send = "kill 2", .exit = 0}}, "FOLDER/Grey.jpg"},
    {"Sigterm",
     {{.send = "", .status = "Grey.jpg"}, {.send = "kill 15", .exit = 128 + SIGTERM}},
     "FOLDER/Grey.jpg FOLDER/.odd/slow.jpg"},
    {"Sighup", {{.send = "", .status = "Grey.jpg"}, {.send = "kill 1", .exit = 128 + SIGHUP}}, "FOLDER/Grey.jpg"},
};

class TerminalPhotoView : public ::testing::TestWithParam<PhotoScenario> {
    void SetUp() override {
        if (run("tmux -V >/dev/null 2>&1 && echo yes") != "yes\n") GTEST_SKIP() << "tmux is not installed";
    }
};

std::string with_folder(std::string args) {
    for (size_t at; (at = args.find("FOLDER")) != std::string::npos;)
        args.replace(at, 6, quote(e2e::album_pictures().dir));
    return args;
}

TEST_P(TerminalPhotoView, AsTheUserDrivesIt) {
    const PhotoScenario& scenario = GetParam();
    Session session(80, 24, "--tty " + with_folder(scenario.args), scenario.env, false, scenario.wrap);
    Screen screen = session.capture();
    for (const PhotoStep& step : scenario.steps) {
        SCOPED_TRACE("after '" + step.send + "'");
        ASSERT_TRUE(session.send(step.send, screen)) << screen.text;
        if (step.exit != -1) {
            EXPECT_EQ(session.exit_status(), step.exit) << session.capture().text;
            EXPECT_TRUE(session.terminal_restored());
            EXPECT_FALSE(session.capture().contains(" / "));
            continue;
        }
        const bool reached = session.wait_for(
            [&](const Screen& s) {
                return status_line(s).rfind(step.status, 0) == 0 &&
                       std::all_of(step.shows.begin(), step.shows.end(),
                                   [&s](const std::string& text) { return s.contains(text); }) &&
                       (step.absent.empty() || !s.contains(step.absent)) &&
                       (step.band.empty() || in_band(s, step.band)) &&
                       (step.choice.empty() || chosen(s, step.choice)) && (!step.picture || s.symbols > 0) &&
                       (!step.clean || std::none_of(s.cells.begin(), s.cells.end(), [](const auto& row) {
                           return std::any_of(row.begin(), row.end(), reversed_text);
                       }));
            },
            &screen);
        ASSERT_TRUE(reached) << "status '" << step.status << "' absent '" << step.absent << "' band '" << step.band
                             << "' choice '" << step.choice << "'\n"
                             << screen.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, TerminalPhotoView, ::testing::ValuesIn(photo_scenarios),
                         [](const ::testing::TestParamInfo<PhotoScenario>& info) {
                             return std::string(info.param.name);
                         });

// Whether every colour of `cell` is more blue than red, or more red than blue.
bool all_colours(const Cell& cell, bool blue) {
    bool any = false;
    for (const int64_t colour : {cell.fg, cell.bg}) {
        if (colour < 0 || (cell.symbol == U' ' && colour == cell.fg)) continue;
        const int64_t red = colour >> 16 & 255, other = colour & 255;
        if (blue ? other <= red + 64 : red <= other + 64) return false;
        any = true;
    }
    return any;
}

// The first cell of row `row` (or, `down`, of column `col`) that is all blue, counting from the start.
size_t first_blue(const Screen& s, size_t row, size_t col, bool down) {
    for (size_t i = 0; i < (down ? s.cells.size() - 1 : s.cells[row].size()); ++i) {
        const std::vector<Cell>& cells = s.cells[down ? i : row];
        if ((down ? col : i) < cells.size() && all_colours(cells[down ? col : i], true)) return i;
    }
    return 1000;
}

// Zoom, pan and rotation over cells, Ctrl+wheel about the cell under the pointer and a double click
// for full screen, seen from where the sharp edge between the red and the blue half of an 800 x 600
// picture falls. In virtual cells of 8 x 16 pixels the view is 640 x 368: the picture is fitted at
// 61%; at 100% its middle is in the middle of the view, the edge at x = 320, on column 40's left
// side, and Right pans by a tenth of the view, 64 pixels, 8 columns; Ctrl+wheel up over cell
// (11, 20) keeps the picture point under it, (244, 300), there: the edge goes to
// 164 + 156 x 1.25 = 359, inside column 44 (a zoom about the middle would leave it at 320); turned
// clockwise about the middle of the view, the red half is on top and the edge at
// 184 + 31.2 x 1.25 = 223, inside row 13.
TEST_F(TerminalPhotoView, ZoomRotationAndCtrlWheelInCells) {
    e2e::PictureFolder f;
    std::vector<uint8_t> ppm;
    const std::string head = "P6\n800 600\n255\n";
    ppm.assign(head.begin(), head.end());
    for (int y = 0; y < 600; ++y)
        for (int x = 0; x < 800; ++x)
            ppm.insert(ppm.end(), {uint8_t(x < 400 ? 255 : 0), 0, uint8_t(x < 400 ? 0 : 255)});
    e2e::write_file(f.at("halves.ppm"), ppm);
    ASSERT_EQ(
        std::system(("cjpeg -quality 100 -sample 1x1 " + quote(f.at("halves.ppm")) + " > " + quote(f.at("halves.jpg")))
                        .c_str()),
        0);
    Session session(80, 24, "--tty " + quote(f.at("halves.jpg")), "", false);
    Screen screen;
    struct Row {
        const char* send;
        const char* status;  // empty: none
        size_t from, to;  // the first blue cell along row 11 (or down column 20) is in [from, to]
        bool down = false;
    };
    const Row rows[] = {
        {"", "halves.jpg   1 / 1   61%", 40, 41},         {"1", "halves.jpg   1 / 1   100%", 40, 40},
        {"Right", "halves.jpg   1 / 1   100%", 32, 32},  // a tenth of the view, 64 pixels
        {"Left", "halves.jpg   1 / 1   100%", 40, 40},    {"ctrl-wheel", "halves.jpg   1 / 1   125%", 44, 45},
        {"r", "halves.jpg   1 / 1   125%", 13, 14, true}, {"R", "halves.jpg   1 / 1   125%", 44, 45},
        {"0", "halves.jpg   1 / 1   61%", 40, 41},        {"double-click", "", 40, 41},  // full screen: no status line
        {"f", "halves.jpg   1 / 1   61%", 40, 41},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.send);
        if (std::string(row.send) == "ctrl-wheel") {
            session.mouse(64 + 16, 11, 20);
        } else if (std::string(row.send) == "double-click") {
            session.mouse(0, 11, 20, 2);
        } else {
            session.send(row.send, screen);
        }
        size_t edge = 0;
        EXPECT_TRUE(session.wait_for(
            [&](const Screen& s) {
                edge = first_blue(s, 11, 20, row.down);
                const bool status = *row.status != 0 ? status_line(s).rfind(row.status, 0) == 0
                                                     : status_line(s).find(" / ") == std::string::npos;
                return status && edge >= row.from && edge <= row.to;
            },
            &screen))
            << "edge at " << edge << "\n"
            << screen.text;
    }
    std::filesystem::remove_all(f.dir);
}

// Delete asks, naming the file; No keeps it, Yes moves it to the trash of XDG_DATA_HOME with its
// .trashinfo, and the view goes on with the next picture.
TEST_F(TerminalPhotoView, DeleteAsksThenMovesTheFileToTheTrash) {
    e2e::PictureFolder f;
    f.encode("a.jpg", 64, 48, "");
    f.encode("b.jpg", 64, 48, "");
    const std::string data = f.dir + "/data";
    Session session(80, 24, "--tty " + quote(f.at("a.jpg")) + " " + quote(f.at("b.jpg")),
                    "XDG_DATA_HOME=" + quote(data), false);
    Screen screen;
    const auto shows = [&](const std::string& status) {
        return session.wait_for([&](const Screen& s) { return status_line(s).rfind(status, 0) == 0; }, &screen);
    };
    ASSERT_TRUE(shows("a.jpg   1 / 2")) << screen.text;
    session.send("DC", screen);
    ASSERT_TRUE(shows(" Move “a.jpg” to the trash?")) << screen.text;
    EXPECT_TRUE(chosen(screen, "Move"));
    session.send("n", screen);
    ASSERT_TRUE(shows("a.jpg   1 / 2")) << screen.text;
    EXPECT_TRUE(std::filesystem::exists(f.at("a.jpg")));
    session.send("DC", screen);
    ASSERT_TRUE(shows(" Move “a.jpg” to the trash?")) << screen.text;
    session.send("y", screen);
    ASSERT_TRUE(shows("b.jpg   1 / 1")) << screen.text;
    EXPECT_FALSE(std::filesystem::exists(f.at("a.jpg")));
    EXPECT_TRUE(std::filesystem::exists(data + "/Trash/files/a.jpg"));
    const std::vector<uint8_t> info = e2e::read_file(data + "/Trash/info/a.jpg.trashinfo");
    EXPECT_EQ(e2e::trashinfo_path(std::string(info.begin(), info.end())), f.at("a.jpg"));
    session.send("DC", screen);
    ASSERT_TRUE(shows(" Move “b.jpg” to the trash?")) << screen.text;
    session.send("Escape", screen);
    ASSERT_TRUE(shows("b.jpg   1 / 1")) << screen.text;
    EXPECT_TRUE(std::filesystem::exists(f.at("b.jpg")));
    session.send("q", screen);
    EXPECT_EQ(session.exit_status(), 0);
    std::filesystem::remove_all(f.dir);
}

TEST_F(TerminalPhotoView, EndsWhenTheTerminalHangsUp) {
    // SIGHUP ignored, as under nohup: only noticing the closed terminal ends it.
    Session session(80, 24, "--tty " + with_folder("FOLDER/Grey.jpg"), "", true);
    Screen screen;
    ASSERT_TRUE(session.wait_for([](const Screen& s) { return status_line(s).rfind("Grey.jpg", 0) == 0; }, &screen))
        << screen.text;
    session.tmux("kill-pane -t viewer");
    EXPECT_NE(session.exit_status(), -1) << "the program went on without its terminal";
}

}  // namespace

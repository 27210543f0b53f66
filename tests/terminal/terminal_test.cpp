// The terminal front end's collection: marivue --tty driven as a user drives it in a tmux session of
// a fixed size (keys, mouse reports and signals sent to it, the screen read back with capture-pane, the
// picture forced to symbols). The photo view: terminal_photo_test.cpp; in xterm:
// terminal_xterm_test.cpp.
#include "app/catalog.h"
#include "platform/resource_store.h"
#include "tests/support/fixtures.h"
#include "tests/terminal/terminal_tmux.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <sys/wait.h>
#include <unistd.h>

namespace {

using namespace terminal_test;

// --- The program in tmux ------------------------------------------------------

// Seeds that start the program on these pictures, worked out apart from it from the documented
// generator (x * 214013 + 2531011, bits 16 to 30) and the start formula in single precision.
const std::map<int, uint32_t> seed_for{{0, 1},     {30, 979},   {42, 1375},  {50, 1639},  {60, 1969},
                                       {77, 2530}, {120, 3950}, {150, 4940}, {200, 6590}, {303, 9990}};

// The environment that starts the program on picture `start`.
std::string seed(int start) { return "MARIVUE_SEED=" + std::to_string(seed_for.at(start)) + " "; }

// Location, date and credit line of picture `number` as the details box
// shows them, less spaces (the box breaks its lines there).
std::string expected_details(int number) {
    char16_t location[256], date[256];
    load_embedded_string(static_cast<uint16_t>(image_catalog.location_ids[number]), location, 255);
    load_embedded_string(static_cast<uint16_t>(image_catalog.date_ids[number]), date, 255);
    std::string out;
    for (char16_t c : std::u16string(location) + date + u"[Credit:" + credit_domain + u"]")
        if (c != u' ' && c < 0x80) out += static_cast<char>(c);
    return out;
}

// What the dialog shows on a screen: the number of the caption box's image line (right-aligned in
// three places), the search box's text, and the right-hand column's text less spaces.
struct Dialog {
    int number = -1;
    std::string search, right;
};

Dialog read_dialog(const Screen& s) {
    Dialog d;
    for (const std::string& row : s.rows) {
        const size_t at = row.find("Image #"),
                     digits = at == std::string::npos ? at : row.find_first_not_of(' ', at + 7);
        if (digits <= at + 9 && row.find_first_not_of("0123456789", digits) == at + 10)
            d.number = std::stoi(row.substr(digits));
    }
    if (const auto at = s.find("┌─ search")) {
        for (size_t c = at->second + 1; c < s.cells[at->first + 1].size() && s.cells[at->first + 1][c].symbol != U'│';
             ++c)
            d.search += static_cast<char>(s.cells[at->first + 1][c].symbol);
        d.search.erase(d.search.find_last_not_of(' ') + 1);
        for (const auto& row : s.cells)
            for (size_t c = at->second; c < row.size(); ++c)
                if (row[c].symbol > U' ' && row[c].symbol < 0x80) d.right += static_cast<char>(row[c].symbol);
    }
    return d;
}

struct Step {
    // tmux key names; "type TEXT", "click TEXT", "wheel up|down [TEXT]" (over the text, or the picture),
    // "kill SIGNAL", "tmux COMMAND"
    std::string send;
    int number = -1;  // picture then shown with its caption, details and symbols
    std::string search = {}, shows = {}, absent = {};  // search box text, text on the screen and not on it
    bool hidden = false;  // the picture hidden for the search box
    bool picture = false;  // picture symbols shown
    int exit = -1;  // exit status then reported, the terminal restored
};

struct Scenario {
    const char* name;
    int start;  // the picture the seed starts on
    std::vector<Step> steps;
    int cols = 120, rows = 40;
    std::string args = "--tty", env = "QT_QPA_PLATFORM=offscreen";  // --tty wins over a usable display
};

const std::vector<Scenario> scenarios{
    {"KeyMapAt80x24",  // the whole help line, every step key, Home and End, q
     120,
     {{"", 120, "", "/: search   q: quit"},
      {"Right", 121, "", "example.org]"},  // broken after "www.marivue."
      {"Space", 122},
      {"Down", 123},
      {"NPage", 124},
      {"wheel down", 125},  // over the picture
      {"Left", 124},
      {"BSpace", 123},
      {"Up", 122},
      {"PPage", 121},
      {"wheel up", 120},
      {"End", 303},
      {"Home", 0},
      {.send = "type q", .exit = 0}},
     80,
     24},
    {"WrapAtTheEnd", 303, {{"", 303}, {"Right", 0}, {"Left", 303}, {.send = "Escape", .exit = 0}}},
    {"WrapAtTheStart",
     0,
     {{"", 0}, {"Left", 303}, {"Left", 302}, {"Right", 303}, {"Right", 0}, {.send = "C-c", .exit = 0}}},
    {"LocationMatchesNoCaption",
     60,
     {{"", 60},
      {.send = "type /Palau", .search = "Palau", .shows = "search: typing", .hidden = true},
      // Leaves the box, keeping its text, and ends nothing.
      {.send = "Escape", .search = "Palau", .shows = "q: quit", .absent = "typing", .hidden = true},
      {.send = "Right", .number = 61, .search = "Palau-NONE", .absent = "picture hidden"},
      {"Right", 62, "Palau-NONE"}}},
    {"CaptionWordFiltersCaseMatters",
     200,
     {{"", 200},
      {"type /identify"},
      {"Escape"},
      {"Right", 201, "identify"},
      {.send = "Tab", .shows = "Typing a search text"},
      {"Home"},
      {"Delete"},
      {"type I"},
      {.send = "Enter", .absent = "typing"},
      {"Left", 200, "Identify-NONE"}}},
    {"Mouse",
     30,
     {{"", 30},
      {"click >>>", 31},
      {"click <<<", 30},
      {.send = "click / to type", .shows = "Typing a search text"},
      {"type q", -1, "q"},
      {.send = "click [ OK ]", .exit = 0}}},
    {"SigintIsDone", 50, {{"", 50}, {.send = "kill 2", .exit = 0}}},
    {"Sigterm", 50, {{"", 50}, {.send = "kill 15", .exit = 128 + SIGTERM}}},
    {"Sighup", 50, {{"", 50}, {.send = "kill 1", .exit = 128 + SIGHUP}}},
    {"Crash", 50, {{"", 50}, {.send = "kill 11", .exit = 128 + SIGSEGV}}},
    {"TooSmallThenResized",
     77,
     {{"", -1, "", "60 x 16.", "Image #"},
      {"tmux resize-window -t viewer -x 120 -y 40", 77},
      {"tmux resize-window -t viewer -x 90 -y 30"},
      {"Right", 78}},
     40,
     12},
    {"CaptionBoxScrolls",
     150,
     {{"", -1, "", "If you can", "Image #"},
      {"wheel down If you can", -1, "", "specifying", "If you can"},  // the wheel over a box scrolls it
      {"wheel down specifying", -1, "", "Image #150", "If you can"},
      {"wheel up photos", -1, "", "animal", "Image #"}},
     60,
     16},
    {"DefaultWithoutADisplay", 42, {{"", 42}}, 120, 40, "", "-u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM"},
};

void PrintTo(const Scenario& scenario, std::ostream* out) { *out << scenario.name; }

class TerminalViewer : public ::testing::TestWithParam<Scenario> {
    void SetUp() override {
        if (run("tmux -V >/dev/null 2>&1 && echo yes") != "yes\n") GTEST_SKIP() << "tmux is not installed";
    }
};

TEST_P(TerminalViewer, AsTheUserDrivesIt) {
    const Scenario& scenario = GetParam();
    Session session(scenario.cols, scenario.rows, scenario.args, scenario.env + " " + seed(scenario.start), false);
    Screen screen = session.capture();
    for (const Step& step : scenario.steps) {
        SCOPED_TRACE("after '" + step.send + "'");
        ASSERT_TRUE(session.send(step.send, screen)) << screen.text;
        if (step.exit != -1) {
            EXPECT_EQ(session.exit_status(), step.exit) << session.capture().text;
            EXPECT_TRUE(session.terminal_restored());
            EXPECT_FALSE(session.capture().contains("Image #"));
            continue;
        }
        const bool reached = session.wait_for(
            [&](const Screen& s) {
                const Dialog d = read_dialog(s);
                return (step.number < 0 || (d.number == step.number && s.symbols > 0 &&
                                            d.right.find(expected_details(step.number)) != std::string::npos)) &&
                       (step.search.empty() || d.search == step.search) &&
                       (step.shows.empty() || s.contains(step.shows)) &&
                       (step.absent.empty() || !s.contains(step.absent)) &&
                       (!step.hidden || (s.symbols == 0 && s.contains("picture hidden"))) &&
                       (!step.picture || s.symbols > 0);
            },
            &screen);
        ASSERT_TRUE(reached) << "picture " << step.number << " search '" << step.search << "' shows '" << step.shows
                             << "' absent '" << step.absent << "'\n"
                             << screen.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, TerminalViewer, ::testing::ValuesIn(scenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST_F(TerminalViewer, EndsWhenTheTerminalHangsUp) {
    // SIGHUP ignored, as under nohup: only noticing the closed terminal ends it.
    Session session(120, 40, "--tty", seed(50), true);
    Screen screen;
    ASSERT_TRUE(session.wait_for([](const Screen& s) { return read_dialog(s).number == 50; }, &screen)) << screen.text;
    session.tmux("kill-pane -t viewer");
    EXPECT_NE(session.exit_status(), -1) << "the program went on without its terminal";
}

// Without COLORTERM, and with terminal descriptions that have no 24-bit colours, the picture is
// written in 24-bit colours for tmux to fit to each terminal attached: tmux known from TMUX, and from
// its answer when nothing in the environment names it (as after ssh from inside tmux).
TEST_F(TerminalViewer, PicturesInTmuxCarry24BitColours) {
    for (const char* env :
         {"-u COLORTERM TERM=tmux-256color", "-u COLORTERM -u TMUX -u TERM_PROGRAM TERM=screen-256color"}) {
        Session session(120, 40, "--tty", std::string(env) + " " + seed(42), false);
        Screen screen;
        ASSERT_TRUE(
            session.wait_for([](const Screen& s) { return read_dialog(s).number == 42 && s.symbols > 500; }, &screen))
            << env << "\n"
            << screen.text;
        const ColourKinds kinds = colour_kinds(screen.raw);
        EXPECT_TRUE(kinds.direct && !kinds.palette && !kinds.bright) << env;
    }
}

TEST_F(TerminalViewer, ThePictureShowsTheDecodedFrameTheRightWayUp) {
    // Picture 1 is 124 rows tall: below it the frame is black, also after the
    // taller picture 0 was shown. The reference library decodes it here.
    ResourceBytes bytes{nullptr, 0};
    ASSERT_TRUE(find_embedded_resource(resource_type_raw_data, first_picture_id + 1, &bytes));
    const e2e::OracleResult oracle = e2e::oracle_decode(std::vector<uint8_t>(bytes.data, bytes.data + bytes.size));
    ASSERT_TRUE(oracle.ok && oracle.picture.width == 240 && oracle.picture.height < 160) << oracle.message;

    Session session(120, 40, "--tty", seed(0), false);
    Screen screen, previous;
    ASSERT_TRUE(session.wait_for([](const Screen& s) { return read_dialog(s).number == 0; }, &screen)) << screen.text;
    session.tmux("send-keys -t viewer Right");
    ASSERT_TRUE(session.wait_for([](const Screen& s) { return read_dialog(s).number == 1; }, &screen)) << screen.text;
    ASSERT_TRUE(poll([&] {  // until the picture is all written out
        previous = screen;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        return (screen = session.capture()).raw == previous.raw;
    }));
    // Each cell row's mean colour against the frame rows it shows; a cell
    // counts as the mix of its two colours.
    std::vector<size_t> rows;
    for (size_t r = 1; r < screen.rows.size() && screen.rows[r].rfind("┌", 0) != 0; ++r) rows.push_back(r);
    ASSERT_GT(rows.size(), 10u);
    for (size_t i = 0; i < rows.size(); ++i) {
        std::array<double, 3> shown{}, expected{};
        int counted = 0;
        for (const Cell& cell : screen.cells[rows[i]]) {
            const bool space = cell.symbol == U' ', full = cell.symbol == 0x2588;
            if ((!space && !is_picture_symbol(cell.symbol)) || (!full && cell.bg < 0) || (!space && cell.fg < 0))
                continue;
            ++counted;
            for (size_t k = 0; k < 3; ++k) {
                const auto channel = [&](int64_t colour) {
                    return static_cast<double>((colour >> (16 - 8 * k)) & 0xFF);
                };
                shown[k] += space  ? channel(cell.bg)
                            : full ? channel(cell.fg)
                                   : (channel(cell.fg) + channel(cell.bg)) / 2;
            }
        }
        ASSERT_GT(counted, 40) << "cell row " << rows[i] << "\n" << screen.text;
        const size_t top = i * 160 / rows.size(), bottom = (i + 1) * 160 / rows.size();
        for (size_t y = top; y < bottom && y < static_cast<size_t>(oracle.picture.height); ++y)
            for (size_t x = 0; x < 240 * 3; ++x) expected[x % 3] += oracle.picture.samples[y * 240 * 3 + x];
        for (size_t k = 0; k < 3; ++k)
            EXPECT_NEAR(shown[k] / counted, expected[k] / static_cast<double>((bottom - top) * 240), 24)
                << "cell row " << i << " channel " << k;
    }
}

TEST(TerminalFrontEnd, SaysSoWithoutATerminal) {
    int status = -1;
    const std::string output = run(quote(MARIVUE_BINARY) + " --tty </dev/null 2>&1", &status);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
    EXPECT_EQ(output,
              "marivue: the terminal front end needs a terminal on standard input and output.\n"
              "marivue: no front end is available: no display for the desktop front end and no terminal for the "
              "terminal one.\n");
}

TEST(TerminalFrontEnd, RefusesAnUnknownDrawingModeOrColourDepth) {
    for (const auto& [setting, message] :
         {std::pair<std::string, std::string>{"MARIVUE_TTY_GRAPHICS=pixels",
                                              "is not a drawing mode; use auto, sixel, kitty, symbols or sextants."},
          {"MARIVUE_TTY_COLOURS=true", "is not a colour depth; use auto, truecolor, 256, 16 or 8."}}) {
        int status = -1;
        const std::string output = run(setting + " " + quote(MARIVUE_BINARY) + " --tty 2>&1", &status);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 2) << status;
        EXPECT_EQ(output, "marivue: " + setting + " " + message + "\n");
    }
}

}  // namespace

// The terminal front end: marivue --tty driven as a user drives it in a tmux session of a fixed size
// (keys, mouse reports and signals sent to it, the screen read back with capture-pane, the picture
// forced to symbols). In xterm: terminal_xterm_test.cpp.
#include "app/catalog.h"
#include "platform/resource_store.h"
#include "tests/support/picture_folder.h"
#include "tests/terminal/terminal_cells.h"
#include "tests/terminal/terminal_driver.h"

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

// Location, date and credit line of picture `number` as the details box
// shows them, less spaces (the box breaks its lines there).
std::string expected_details(int number) {
    char16_t location[256], date[256];
    load_string(static_cast<uint16_t>(image_catalog.location_ids[number]), location, 255);
    load_string(static_cast<uint16_t>(image_catalog.date_ids[number]), date, 255);
    std::string out;
    for (char16_t c : std::u16string(location) + date + u"[Credit:" + credit_domain + u"]")
        if (c != u' ' && c < 0x80) out += static_cast<char>(c);
    return out;
}

// The screen as capture-pane shows it: text, cells with colours, and what
// the viewer shows in it.
struct Screen {
    std::string raw, text;
    std::vector<std::string> rows;
    std::vector<std::vector<Cell>> cells;
    int number = -1;  // of the caption box's image line, right-aligned in three places
    int symbols = 0;  // picture symbols
    std::string search, right;  // the search box's text; the right-hand column's less spaces

    // Row and cell column of `needle`.
    std::optional<std::pair<size_t, size_t>> find(const std::string& needle) const {
        for (size_t r = 0; r < rows.size(); ++r)
            if (const size_t at = rows[r].find(needle); at != std::string::npos)
                return std::make_pair(
                    r, static_cast<size_t>(std::count_if(rows[r].begin(), rows[r].begin() + static_cast<long>(at),
                                                         [](char c) { return (c & 0xC0) != 0x80; })));
        return std::nullopt;
    }
    bool contains(const std::string& needle) const { return text.find(needle) != std::string::npos; }
};

Screen read_screen(const std::string& raw) {
    Screen s;
    s.raw = raw;
    std::istringstream lines(raw);
    for (std::string line; std::getline(lines, line);) {
        SgrState state;  // capture-pane starts every row afresh
        s.cells.push_back(parse_row(line, state));
        std::string& row = s.rows.emplace_back();
        for (size_t i = 0; i < line.size(); ++i)
            line[i] == '\033' ? void(i = std::min(line.find('m', i), line.size())) : void(row += line[i]);
        s.text += row + "\n";
        // The image line: the number right-aligned in three places.
        const size_t at = row.find("Image #"),
                     digits = at == std::string::npos ? at : row.find_first_not_of(' ', at + 7);
        if (digits <= at + 9 && row.find_first_not_of("0123456789", digits) == at + 10)
            s.number = std::stoi(row.substr(digits));
        for (const Cell& cell : s.cells.back()) s.symbols += is_picture_symbol(cell.symbol);
    }
    if (const auto at = s.find("┌─ search")) {
        for (size_t c = at->second + 1; c < s.cells[at->first + 1].size() && s.cells[at->first + 1][c].symbol != U'│';
             ++c)
            s.search += static_cast<char>(s.cells[at->first + 1][c].symbol);
        s.search.erase(s.search.find_last_not_of(' ') + 1);
        for (const auto& row : s.cells)
            for (size_t c = at->second; c < row.size(); ++c)
                if (row[c].symbol > U' ' && row[c].symbol < 0x80) s.right += static_cast<char>(row[c].symbol);
    }
    return s;
}

// The row of the caption box's top border, the first row a box corner starts.
size_t caption_top(const Screen& s) {
    size_t r = 1;
    while (r < s.rows.size() && s.rows[r].rfind("┌", 0) != 0) ++r;
    return r;
}

// Whether `text` is written where a picture's message belongs: in reverse video on the bottom rows
// of the picture area, right above the caption box, each of these rows reversed from the area's left
// edge to one right edge and nowhere else, its text centred between them; and the caption box's top
// border whole.
bool in_message_band(const Screen& s, const std::string& text) {
    const auto at = s.find(text);
    const size_t top = caption_top(s);
    if (!at || at->first >= top || top >= s.rows.size()) return false;
    size_t width = 0;
    for (size_t r = at->first; r < top; ++r) {
        const std::vector<Cell>& row = s.cells[r];
        size_t end = 0, first = row.size(), last = 0;
        while (end < row.size() && row[end].inverse) ++end;
        for (size_t c = 0; c < end; ++c)
            if (row[c].symbol != U' ') first = std::min(first, c), last = c;
        const bool reversed_elsewhere =
            std::any_of(row.begin() + static_cast<long>(end), row.end(), [](const Cell& cell) { return cell.inverse; });
        if (end == 0 || reversed_elsewhere || (width != 0 && end != width) || first > last ||
            std::abs(static_cast<long>(first) - static_cast<long>(end - 1 - last)) > 1)
            return false;
        width = end;
    }
    const std::string& border = s.rows[top];  // "┌", lines, "┐"; each three bytes
    const size_t corner = border.find("┐");
    return corner != std::string::npos && corner > 3 &&
           border.substr(3, corner - 3).find_first_not_of("─") == std::string::npos;
}

// Whether no reverse video is left between the title and the key hints outside the rows of the
// "<<<" and ">>>" buttons: no message, and no piece of an earlier one.
bool without_message(const Screen& s) {
    for (size_t r = 1; r + 1 < s.rows.size(); ++r)
        if (s.rows[r].find("<<<") == std::string::npos && s.rows[r].find(">>>") == std::string::npos &&
            std::any_of(s.cells[r].begin(), s.cells[r].end(), [](const Cell& cell) { return cell.inverse; }))
            return false;
    return true;
}

// One program in one tmux server, with its socket, configuration and exit
// status in a temporary directory of its own.
class Session {
public:
    Session(int start, int cols, int rows, const std::string& args, const std::string& env, bool ignore_hangup,
            const std::string& wrap = "") {
        std::string pattern = (std::filesystem::temp_directory_path() / "marivue-tmux-XXXXXX").string();
        dir_ = mkdtemp(pattern.data()) != nullptr ? pattern : std::string();
        // Terminals attached to it are taken to show 24-bit colours, as users with such terminals set
        // tmux up; its cells, which capture-pane reads, keep the colours the program wrote.
        std::ofstream(dir_ / "conf") << "set -g remain-on-exit on\nset -g status off\n"
                                        "set -as terminal-features ',*:RGB'\n";
        // Sanitizer reports end the program with statuses of their own; the
        // shell stays so that the terminal's state can be read afterwards.
        const std::string program =
            std::string(ignore_hangup ? "trap '' HUP; " : "") +
            "ulimit -c 0; export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86\" "
            "UBSAN_OPTIONS=\"${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=87\"; env MARIVUE_SEED=" +
            std::to_string(seed_for.at(start)) +
            " TERM=xterm-256color COLORTERM=truecolor LC_ALL=C.UTF-8 MARIVUE_TTY_GRAPHICS=symbols env " + env + " " +
            wrap + " " + quote(MARIVUE_BINARY) + " " + args + "; echo $? > " + quote((dir_ / "status").string()) +
            (ignore_hangup ? "" : "; exec sleep 600");
        tmux("new-session -d -s viewer -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " " +
             quote("sh -c " + quote(program)));
    }
    ~Session() {
        tmux("kill-server");
        std::error_code ignored;
        std::filesystem::remove_all(dir_, ignored);
    }

    std::string tmux(const std::string& arguments) const {
        return run("tmux -u -S " + quote((dir_ / "socket").string()) + " -f " + quote((dir_ / "conf").string()) + " " +
                   arguments + " 2>/dev/null");
    }
    Screen capture() const { return read_screen(tmux("capture-pane -p -e -t viewer")); }
    bool wait_for(const std::function<bool(const Screen&)>& condition, Screen* last) const {
        return poll([&] { return condition(*last = capture()); });
    }
    // The program's exit status as its shell reports it; -1 while it runs on.
    int exit_status() const {
        int status = -1;
        poll([&] { return static_cast<bool>(std::ifstream(dir_ / "status") >> status); });
        return status;
    }

private:
    std::filesystem::path dir_;
};

struct Step {
    // tmux key names; "type TEXT", "click TEXT", "wheel up|down [TEXT]" (over the text, or the picture),
    // "kill SIGNAL", "tmux COMMAND"
    std::string send;
    int number = -1;  // picture then shown with its caption, details and symbols
    std::string search = {}, shows = {}, absent = {};  // search box text, text on the screen and not on it
    bool hidden = false;  // the picture hidden for the search box
    bool picture = false;  // picture symbols shown
    int exit = -1;  // exit status then reported, the terminal restored
    std::string band = {};  // text of the picture's message, in its band (see in_message_band)
    bool clean = false;  // no message, and nothing of an earlier one left (see without_message)
};

struct Scenario {
    const char* name;
    int start;  // the picture the seed starts on
    std::vector<Step> steps;
    int cols = 120, rows = 40;
    std::string args = "--tty", env = "QT_QPA_PLATFORM=offscreen";  // --tty wins over a usable display
    std::string wrap = "";  // a command that runs the program
};  // FOLDER in args: the album's picture folder

// Root's privileges left out, so that a file of mode 000 cannot be read
// (others cannot read it anyway).
const std::string unprivileged = geteuid() == 0 ? "setpriv --bounding-set -dac_override,-dac_read_search" : "";

// Messages over pictures in the album, each in its band and gone with its picture.
const std::vector<Step> message_steps{
    {.send = "", .band = "fake.jpg: not a JPEG file"},
    {.send = "Right", .absent = "not a JPEG", .band = "missing part is filled in"},
    {.send = "Right", .shows = "Grey.jpg", .absent = "filled in", .picture = true, .clean = true},
    {.send = "Right", .band = "fake.jpg: not a JPEG file"},
    {.send = "End", .shows = "Grey.jpg", .absent = "JPEG file", .clean = true},
    {.send = "Left", .band = "broken.jpg: the picture's data ends early; the"}};
const std::string message_files = "--tty FOLDER/fake.jpg FOLDER/broken.jpg FOLDER/Grey.jpg";

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
    {"AlbumStepsFiltersAndSaysWhyNot",  // the folder's files in natural order, from the first
     0,
     {{.send = "", .shows = "broken.jpg: the picture's data ends early; the"},
      {.send = "Right", .shows = "Grey.jpg", .absent = "ends early"},
      {.send = "End", .shows = "Taken 2024-05-17"},  // turned.jpg
      {.send = "Home", .shows = "data ends early;"},
      {.send = "type /img", .search = "img"},
      {.send = "Escape", .search = "img", .hidden = true},
      {.send = "Right", .shows = "img2.jpg", .absent = "ends early", .picture = true},  // the whole frame, centred
      {.send = "Right", .shows = "img10.jpg", .picture = true},
      {.send = "Right", .shows = "img2.jpg"}},
     80,
     24,
     "--tty FOLDER"},
    {"AlbumMessageFollowsResizeAndRedraw",
     0,
     {{.send = "", .shows = "fake.jpg: not a JPEG file"},
      {.send = "Right", .shows = "data ends early;", .absent = "not a JPEG"},
      {.send = "tmux resize-window -t viewer -x 120 -y 40", .shows = "ends early; the missing part is filled in"},
      {.send = "C-l", .shows = "ends early; the missing part is filled in"},
      {.send = "Left", .shows = "fake.jpg: not a JPEG file", .absent = "ends early"}},
     80,
     24,
     "--tty FOLDER/fake.jpg FOLDER/broken.jpg"},
    {"AlbumSaysWhyNamedFilesCannotBeOpened",  // kept in the list, the reason over the picture
     0,
     {{.send = "", .shows = "pipe.jpg: a named pipe, not a picture file"},
      {.send = "Right", .shows = "secret.jpg: Permission denied", .absent = "named pipe"},
      {.send = "Right", .shows = "loop.jpg: Too many levels of symbolic links"},
      {.send = "Right", .shows = "Grey.jpg", .absent = "Too many levels", .picture = true},
      {.send = "type q", .exit = 0}},
     120,
     40,
     "--tty FOLDER/.odd/pipe.jpg FOLDER/.odd/secret.jpg FOLDER/.odd/loop.jpg FOLDER/Grey.jpg",
     "QT_QPA_PLATFORM=offscreen",
     unprivileged},
    // Quitting does not wait for the picture decoded ahead, which would take minutes.
    {"AlbumQuitsAtOnceWhileAPictureIsDecodedAhead",
     0,
     {{.send = "", .shows = "Grey.jpg", .picture = true}, {.send = "type q", .exit = 0}},
     120,
     40,
     "--tty FOLDER/Grey.jpg FOLDER/.odd/slow.jpg"},
    {"AlbumCtrlCAtOnceWhileAPictureIsDecodedAhead",
     0,
     {{.send = "", .shows = "Grey.jpg", .picture = true}, {.send = "C-c", .exit = 0}},
     120,
     40,
     "--tty FOLDER/Grey.jpg FOLDER/.odd/slow.jpg"},
    // The descriptions of xterm and tmux differ in how cells are erased.
    {"AlbumMessagesInTheirBandWithXtermTerminfo", 0, message_steps, 80, 24, message_files,
     "QT_QPA_PLATFORM=offscreen TERM=xterm-256color"},
    {"AlbumMessagesInTheirBandWithTmuxTerminfo", 0, message_steps, 80, 24, message_files,
     "QT_QPA_PLATFORM=offscreen TERM=tmux-256color"},
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
    std::string args = scenario.args;
    for (size_t at; (at = args.find("FOLDER")) != std::string::npos;)
        args.replace(at, 6, quote(e2e::album_pictures().dir));
    Session session(scenario.start, scenario.cols, scenario.rows, args, scenario.env, false, scenario.wrap);
    Screen screen = session.capture();
    for (const Step& step : scenario.steps) {
        SCOPED_TRACE("after '" + step.send + "'");
        const std::string verb = step.send.substr(0, step.send.find(' ')),
                          rest = step.send.substr(verb.size() + (verb.size() < step.send.size()));
        if (verb == "click" || verb == "wheel") {  // as the terminal reports them with SGR mouse reporting
            const bool wheel = verb == "wheel", down = rest.rfind("down", 0) == 0;
            const std::string text =
                wheel ? rest.substr(rest.find(' ') == std::string::npos ? rest.size() : rest.find(' ') + 1) : rest;
            const auto at = text.empty() ? std::optional(std::make_pair(size_t{5}, size_t{5})) : screen.find(text);
            ASSERT_TRUE(at) << screen.text;
            const std::string report = "\033[<" +
                                       std::string(!wheel ? "0"
                                                   : down ? "65"
                                                          : "64") +
                                       ";" + std::to_string(at->second + 2) + ";" + std::to_string(at->first + 1);
            session.tmux("send-keys -t viewer -l " + quote(report + "M" + (wheel ? "" : report + "m")));
        } else if (verb == "kill") {  // to the program, the shell's child
            const pid_t pid =
                std::atoi(run("cat /proc/" +
                              std::to_string(std::stoi(session.tmux("display-message -p -t viewer '#{pane_pid}'"))) +
                              "/task/*/children")
                              .c_str());
            ASSERT_GT(pid, 0);
            ASSERT_EQ(kill(pid, std::stoi(rest)), 0);
        } else if (verb == "type") {
            session.tmux("send-keys -t viewer -l " + quote(rest));
        } else if (verb == "tmux") {
            session.tmux(rest);
        } else if (!verb.empty()) {
            session.tmux("send-keys -t viewer " + step.send);
        }
        if (step.exit != -1) {
            EXPECT_EQ(session.exit_status(), step.exit) << session.capture().text;
            // The terminal is as it was: normal screen, cursor shown, no mouse reports.
            EXPECT_EQ(session.tmux("display-message -p -t viewer '#{alternate_on}#{cursor_flag} "
                                   "#{mouse_any_flag}#{mouse_button_flag}#{mouse_standard_flag}'"),
                      "01 000\n");
            EXPECT_FALSE(session.capture().contains("Image #"));
            continue;
        }
        const bool reached = session.wait_for(
            [&](const Screen& s) {
                return (step.number < 0 || (s.number == step.number && s.symbols > 0 &&
                                            s.right.find(expected_details(step.number)) != std::string::npos)) &&
                       (step.search.empty() || s.search == step.search) &&
                       (step.shows.empty() || s.contains(step.shows)) &&
                       (step.absent.empty() || !s.contains(step.absent)) &&
                       (!step.hidden || (s.symbols == 0 && s.contains("picture hidden"))) &&
                       (!step.picture || s.symbols > 0) && (step.band.empty() || in_message_band(s, step.band)) &&
                       (!step.clean || without_message(s));
            },
            &screen);
        ASSERT_TRUE(reached) << "picture " << step.number << " search '" << step.search << "' shows '" << step.shows
                             << "' absent '" << step.absent << "' band '" << step.band << "'\n"
                             << screen.text;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, TerminalViewer, ::testing::ValuesIn(scenarios),
                         [](const ::testing::TestParamInfo<Scenario>& info) { return std::string(info.param.name); });

TEST_F(TerminalViewer, EndsWhenTheTerminalHangsUp) {
    // SIGHUP ignored, as under nohup: only noticing the closed terminal ends it.
    Session session(50, 120, 40, "--tty", "", true);
    Screen screen;
    ASSERT_TRUE(session.wait_for([](const Screen& s) { return s.number == 50; }, &screen)) << screen.text;
    session.tmux("kill-pane -t viewer");
    EXPECT_NE(session.exit_status(), -1) << "the program went on without its terminal";
}

// Without COLORTERM, and with terminal descriptions that have no 24-bit colours, the picture is
// written in 24-bit colours for tmux to fit to each terminal attached: tmux known from TMUX, and from
// its answer when nothing in the environment names it (as after ssh from inside tmux).
TEST_F(TerminalViewer, PicturesInTmuxCarry24BitColours) {
    for (const char* env :
         {"-u COLORTERM TERM=tmux-256color", "-u COLORTERM -u TMUX -u TERM_PROGRAM TERM=screen-256color"}) {
        Session session(42, 120, 40, "--tty", env, false);
        Screen screen;
        ASSERT_TRUE(session.wait_for([](const Screen& s) { return s.number == 42 && s.symbols > 500; }, &screen))
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
    ASSERT_TRUE(find_resource(resource_type_raw_data, first_picture_id + 1, &bytes));
    const e2e::OracleResult oracle = e2e::oracle_decode(std::vector<uint8_t>(bytes.data, bytes.data + bytes.size));
    ASSERT_TRUE(oracle.ok && oracle.picture.width == 240 && oracle.picture.height < 160) << oracle.message;

    Session session(0, 120, 40, "--tty", "", false);
    Screen screen, previous;
    ASSERT_TRUE(session.wait_for([](const Screen& s) { return s.number == 0; }, &screen)) << screen.text;
    session.tmux("send-keys -t viewer Right");
    ASSERT_TRUE(session.wait_for([](const Screen& s) { return s.number == 1; }, &screen)) << screen.text;
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

// marivue --tty driven as a user would drive it: in a detached tmux session
// of a fixed size, with keys and mouse reports sent to it and the screen
// read back with capture-pane. The picture is forced to symbols so that
// the screen's text depends only on the program.
#include "app/catalog.h"
#include "app/viewer.h"
#include "platform/headless.h"
#include "platform/resource_store.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <signal.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

#ifndef MARIVUE_BINARY
#error "MARIVUE_BINARY must name the program under test"
#endif

constexpr auto wait_limit = std::chrono::seconds(20);
constexpr auto poll_interval = std::chrono::milliseconds(25);

std::string run(const std::string& command, int* status = nullptr) {
    std::string output;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return output;
    char buffer[4096];
    size_t got;
    while ((got = fread(buffer, 1, sizeof(buffer), pipe)) > 0) output.append(buffer, got);
    int result = pclose(pipe);
    if (status != nullptr) *status = result;
    return output;
}

bool tmux_present() {
    int status = -1;
    run("tmux -V >/dev/null 2>&1", &status);
    return status == 0;
}

std::string quote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

std::u32string decode_utf8(const std::string& text) {
    std::u32string out;
    for (size_t i = 0; i < text.size();) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        char32_t code = c;
        size_t extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        if (extra > 0) code = c & (0x3F >> extra);
        for (size_t k = 1; k <= extra && i + k < text.size(); ++k) {
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        }
        out.push_back(code);
        i += 1 + extra;
    }
    return out;
}

std::string encode_utf8(const std::u32string& text) {
    std::string out;
    for (char32_t c : text) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | (c >> 12));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | (c >> 18));
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string narrow(const char16_t* text) {
    std::u32string wide;
    for (; *text != 0; ++text) wide.push_back(*text);
    return encode_utf8(wide);
}

std::string without_spaces(const std::string& text) {
    std::string out;
    for (char c : text) {
        if (c != ' ' && c != '\r' && c != '\n') out += c;
    }
    return out;
}

// The picture the program starts on with MARIVUE_SEED=seed: the random
// generator seeded with it, drawn until a stored picture comes out.
int32_t start_number_for_seed(uint32_t seed) {
    HeadlessPlatform platform;
    platform.seed_random(seed);
    for (;;) {
        uint16_t id = start_picture_id(platform.random(), image_count);
        if (id <= last_picture_id) return id - first_picture_id;
    }
}

uint32_t seed_starting_at(int32_t number) {
    for (uint32_t seed = 1;; ++seed) {
        if (start_number_for_seed(seed) == number) return seed;
    }
}

// Location, space, date and credit line of picture `number`, as the details
// box shows it (spaces left out: the box breaks lines at them).
std::string expected_details(int32_t number) {
    char16_t location[256];
    char16_t date[256];
    load_string(static_cast<uint16_t>(image_catalog.location_ids[number]), location, 255);
    load_string(static_cast<uint16_t>(image_catalog.date_ids[number]), date, 255);
    return without_spaces(narrow(location) + " " + narrow(date) + "[Credit: " + narrow(credit_domain) + "]");
}

bool is_picture_symbol(char32_t c) {
    return (c >= 0x2580 && c <= 0x259F) || (c >= 0x1FB00 && c <= 0x1FB3B);
}

// What capture-pane shows, one string of characters a row.
struct Screen {
    std::vector<std::u32string> rows;

    std::string text() const {
        std::string out;
        for (const std::u32string& row : rows) out += encode_utf8(row) + "\n";
        return out;
    }

    bool contains(const std::string& needle) const { return text().find(needle) != std::string::npos; }

    // Row and column of the first occurrence of `needle`.
    std::optional<std::pair<size_t, size_t>> find(const std::u32string& needle) const {
        for (size_t r = 0; r < rows.size(); ++r) {
            size_t c = rows[r].find(needle);
            if (c != std::u32string::npos) return std::make_pair(r, c);
        }
        return std::nullopt;
    }

    // The picture number of the caption box's image line: "Image #" and the
    // number right-aligned in three places, the last text in its box.
    std::optional<int32_t> image_number() const {
        const std::u32string label = U"Image #";
        for (const std::u32string& row : rows) {
            size_t at = row.find(label);
            if (at == std::u32string::npos) continue;
            // Only spaces between the box's left side and the label...
            size_t left = row.rfind(U'│', at);
            if (left == std::u32string::npos) return std::nullopt;
            for (size_t c = left + 1; c < at; ++c) {
                if (row[c] != U' ') return std::nullopt;
            }
            // ...three places for the number, spaces to the right side.
            size_t field = at + label.size();
            if (field + 3 > row.size()) return std::nullopt;
            std::u32string number = row.substr(field, 3);
            size_t right = row.find(U'│', field + 3);
            if (right == std::u32string::npos) return std::nullopt;
            for (size_t c = field + 3; c < right; ++c) {
                if (row[c] != U' ') return std::nullopt;
            }
            int32_t value = 0;
            bool digits = false;
            for (char32_t c : number) {
                if (c == U' ' && !digits) continue;
                if (c < U'0' || c > U'9') return std::nullopt;
                value = value * 10 + static_cast<int32_t>(c - U'0');
                digits = true;
            }
            if (!digits) return std::nullopt;
            return value;
        }
        return std::nullopt;
    }

    // Is the image line the caption box's last line of text?
    bool image_line_ends_caption() const {
        auto at = find(U"Image #");
        if (!at) return false;
        for (size_t r = at->first + 1; r < rows.size(); ++r) {
            const std::u32string& row = rows[r];
            if (row.find(U"└") != std::u32string::npos && row.find(U"└") < at->second) return true;
            // Any text between the frame's sides below the line?
            size_t left = row.find(U"│");
            size_t right = left == std::u32string::npos ? left : row.find(U"│", left + 1);
            if (left == std::u32string::npos || right == std::u32string::npos) return false;
            for (size_t c = left + 1; c < right; ++c) {
                if (row[c] != U' ') return false;
            }
        }
        return false;
    }

    // Column of the right-hand column's frames: where the search box starts.
    std::optional<std::pair<size_t, size_t>> search_frame() const { return find(U"┌─ search"); }

    std::string search_text() const {
        auto at = search_frame();
        if (!at || at->first + 1 >= rows.size()) return {};
        const std::u32string& row = rows[at->first + 1];
        size_t right = row.find(U"│", at->second + 1);
        if (right == std::u32string::npos) return {};
        std::u32string inside = row.substr(at->second + 1, right - at->second - 1);
        while (!inside.empty() && inside.back() == U' ') inside.pop_back();
        return encode_utf8(inside);
    }

    // The details box's text without spaces: the frame below the search box.
    std::string details_text() const {
        auto at = search_frame();
        if (!at) return {};
        size_t col = at->second;
        size_t r = at->first + 1;
        while (r < rows.size() && !(col < rows[r].size() && rows[r][col] == U'┌')) ++r;
        std::string text;
        for (++r; r < rows.size() && col < rows[r].size() && rows[r][col] == U'│'; ++r) {
            size_t right = rows[r].find(U"│", col + 1);
            if (right == std::u32string::npos) break;
            text += encode_utf8(rows[r].substr(col + 1, right - col - 1));
        }
        return without_spaces(text);
    }

    // Picture symbols left of the right-hand column, above the caption box.
    int32_t picture_symbols() const {
        auto at = search_frame();
        auto caption = find(U"Image #");
        if (!at) return 0;
        int32_t count = 0;
        for (size_t r = 1; r < rows.size(); ++r) {
            if (caption && r >= caption->first) break;
            for (size_t c = 0; c < rows[r].size() && c + 1 < at->second; ++c) count += is_picture_symbol(rows[r][c]);
        }
        return count;
    }
};

class TmuxViewer {
public:
    TmuxViewer(int32_t cols, int32_t rows, const std::string& environment,
               const std::string& arguments = "--tty") {
        static int counter = 0;
        socket_ = "marivue-test-" + std::to_string(getpid()) + "-" + std::to_string(++counter);
        config_ = std::filesystem::temp_directory_path() / (socket_ + ".conf");
        socket_path_ = std::filesystem::temp_directory_path() / (socket_ + ".socket");
        std::ofstream(config_) << "set -g remain-on-exit on\nset -g status off\n";
        // The shell around the program reports its exit status and then
        // keeps the pane open, so that the restored terminal can be checked.
        // No core files from the crash test; sanitizer reports end the
        // program with statuses of their own, never the viewer's 1.
        std::string program = "ulimit -c 0; "
                              "export ASAN_OPTIONS=\"${ASAN_OPTIONS:+$ASAN_OPTIONS:}exitcode=86\"; "
                              "export UBSAN_OPTIONS=\"${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}exitcode=87\"; "
                              "env " + environment +
                              " TERM=xterm-256color LC_ALL=C.UTF-8 MARIVUE_TTY_GRAPHICS=symbols " + quote(MARIVUE_BINARY) + " " + arguments +
                              "; echo \"marivue exit status $?\"; exec sleep 600";
        tmux("new-session -d -s viewer -x " + std::to_string(cols) + " -y " + std::to_string(rows) + " " +
             quote("sh -c " + quote(program)));
    }

    ~TmuxViewer() {
        tmux("kill-server");
        std::error_code ignored;
        std::filesystem::remove(config_, ignored);
        std::filesystem::remove(socket_path_, ignored);
    }

    std::string tmux(const std::string& arguments, int* status = nullptr) const {
        return run("tmux -u -S " + quote(socket_path_.string()) + " -f " + quote(config_.string()) + " " + arguments + " 2>/dev/null",
                   status);
    }

    // The screen with its colours: SGR sequences left in each row.
    std::vector<std::string> capture_coloured() const {
        std::vector<std::string> rows;
        std::istringstream lines(tmux("capture-pane -e -p -t viewer"));
        std::string line;
        while (std::getline(lines, line)) rows.push_back(line);
        return rows;
    }

    Screen capture() const {
        Screen screen;
        std::istringstream lines(tmux("capture-pane -p -t viewer"));
        std::string line;
        while (std::getline(lines, line)) screen.rows.push_back(decode_utf8(line));
        return screen;
    }

    void keys(const std::string& keys) const { tmux("send-keys -t viewer " + keys); }
    void text(const std::string& text) const { tmux("send-keys -t viewer -l " + quote(text)); }

    // A left click at a zero-based cell, as the terminal reports it with
    // SGR mouse reporting on.
    void click(size_t row, size_t col) const {
        std::string report = "\033[<0;" + std::to_string(col + 1) + ";" + std::to_string(row + 1);
        std::string hex;
        char byte[4];
        for (char c : report + "M" + report + "m") {
            std::snprintf(byte, sizeof(byte), "%02x", static_cast<unsigned char>(c));
            hex += std::string(" ") + byte;
        }
        tmux("send-keys -t viewer -H" + hex);
    }

    std::string format(const std::string& variable) const {
        std::string out = tmux("display-message -p -t viewer " + quote(variable));
        while (!out.empty() && (out.back() == '\n' || out.back() == '\r')) out.pop_back();
        return out;
    }

    // Polls the screen until `condition` holds; false after the wait limit.
    bool wait_for(const std::function<bool(const Screen&)>& condition, Screen* last = nullptr) const {
        auto deadline = std::chrono::steady_clock::now() + wait_limit;
        for (;;) {
            Screen screen = capture();
            if (condition(screen)) {
                if (last != nullptr) *last = screen;
                return true;
            }
            if (std::chrono::steady_clock::now() > deadline) {
                if (last != nullptr) *last = screen;
                return false;
            }
            std::this_thread::sleep_for(poll_interval);
        }
    }

    bool wait_for_number(int32_t number, Screen* last = nullptr) const {
        return wait_for([number](const Screen& s) { return s.image_number() == number; }, last);
    }

    std::optional<int32_t> exit_status(Screen* last = nullptr) const {
        Screen screen;
        const std::string marker = "marivue exit status ";
        bool ended = wait_for([&](const Screen& s) { return s.contains(marker); }, &screen);
        if (last != nullptr) *last = screen;
        if (!ended) return std::nullopt;
        std::string text = screen.text();
        size_t at = text.find(marker) + marker.size();
        size_t end = at;
        while (end < text.size() && text[end] >= '0' && text[end] <= '9') ++end;
        if (end == at) return std::nullopt;
        return std::stoi(text.substr(at, end - at));
    }

    // The program's process: the shell's child.
    pid_t program_pid() const {
        std::string shell = format("#{pane_pid}");
        std::string children = run("cat /proc/" + shell + "/task/*/children 2>/dev/null");
        std::istringstream in(children);
        pid_t pid = 0;
        in >> pid;
        return pid;
    }

    void expect_terminal_restored() const {
        EXPECT_EQ(format("#{alternate_on}"), "0") << "the alternate screen was not left";
        EXPECT_EQ(format("#{cursor_flag}"), "1") << "the cursor was left hidden";
        EXPECT_EQ(format("#{mouse_any_flag}#{mouse_button_flag}#{mouse_standard_flag}"), "000")
            << "mouse reporting was left on";
    }

private:
    std::string socket_;
    std::filesystem::path config_;
    std::filesystem::path socket_path_;
};

class TerminalViewer : public testing::Test {
protected:
    void SetUp() override {
        if (!tmux_present()) GTEST_SKIP() << "tmux is not installed";
    }

    // Starts the viewer on picture `number` and waits for its first screen.
    std::unique_ptr<TmuxViewer> start_on(int32_t number, int32_t cols = 120, int32_t rows = 40) {
        uint32_t seed = seed_starting_at(number);
        auto viewer = std::make_unique<TmuxViewer>(cols, rows, "MARIVUE_SEED=" + std::to_string(seed));
        Screen screen;
        EXPECT_TRUE(viewer->wait_for_number(number, &screen)) << screen.text();
        return viewer;
    }

    void expect_showing(const TmuxViewer& viewer, int32_t number) {
        Screen screen;
        ASSERT_TRUE(viewer.wait_for(
            [&](const Screen& s) {
                // The picture is written just after the texts: wait for both.
                return s.image_number() == number && s.details_text() == expected_details(number) &&
                       s.picture_symbols() > 1000;
            },
            &screen))
            << "expected picture " << number << " with details " << expected_details(number) << "\n"
            << screen.text();
        EXPECT_TRUE(screen.image_line_ends_caption()) << screen.text();
        EXPECT_TRUE(screen.contains("If you can identify")) << screen.text();
    }
};

TEST_F(TerminalViewer, StartsOnTheSeededPictureWithItsTexts) {
    int32_t number = start_number_for_seed(5);
    TmuxViewer viewer(120, 40, "MARIVUE_SEED=5");
    expect_showing(viewer, number);
    Screen screen = viewer.capture();
    EXPECT_TRUE(screen.contains("<<<"));
    EXPECT_TRUE(screen.contains(">>>"));
    EXPECT_TRUE(screen.contains("Marivue"));
    EXPECT_TRUE(screen.contains("[ OK ]"));
    // "<<<" sits above ">>>", as in the dialog.
    EXPECT_LT(screen.find(U"<<<")->first, screen.find(U">>>")->first);
}

struct Rgb {
    double red = 0;
    double green = 0;
    double blue = 0;
};

// Mean colour of the picture cells in each cell row of a coloured capture
// (rows 1 to `rows`, columns before `cols`): each cell counts as the mean of
// its two colours, which is what a symbol shows from afar.
std::vector<Rgb> picture_row_colours(const std::vector<std::string>& coloured, size_t rows, size_t cols) {
    std::vector<Rgb> means;
    for (size_t r = 1; r <= rows && r < coloured.size(); ++r) {
        const std::string& line = coloured[r];
        int fg[3] = {0, 0, 0};
        int bg[3] = {0, 0, 0};
        bool inverse = false;
        Rgb sum;
        size_t counted = 0;
        size_t col = 0;
        std::u32string chars = decode_utf8(line);
        for (size_t i = 0; i < chars.size() && col < cols;) {
            if (chars[i] == 0x1B && i + 1 < chars.size() && chars[i + 1] == U'[') {
                size_t end = i + 2;
                std::vector<int> params{0};
                while (end < chars.size() && chars[end] != U'm') {
                    if (chars[end] == U';') {
                        params.push_back(0);
                    } else {
                        params.back() = params.back() * 10 + static_cast<int>(chars[end] - U'0');
                    }
                    ++end;
                }
                for (size_t k = 0; k < params.size(); ++k) {
                    int p = params[k];
                    if (p == 0) {
                        std::fill(fg, fg + 3, 0);
                        std::fill(bg, bg + 3, 0);
                        inverse = false;
                    } else if (p == 7) {
                        inverse = true;
                    } else if (p == 27) {
                        inverse = false;
                    } else if ((p == 38 || p == 48) && k + 4 < params.size() && params[k + 1] == 2) {
                        int* target = p == 38 ? fg : bg;
                        for (int c = 0; c < 3; ++c) target[c] = params[k + 2 + c];
                        k += 4;
                    }
                }
                i = end + 1;
                continue;
            }
            if (is_picture_symbol(chars[i]) || chars[i] == U' ') {
                const int* front = inverse ? bg : fg;
                const int* back = inverse ? fg : bg;
                sum.red += (front[0] + back[0]) / 2.0;
                sum.green += (front[1] + back[1]) / 2.0;
                sum.blue += (front[2] + back[2]) / 2.0;
                ++counted;
            }
            ++col;
            ++i;
        }
        if (counted > 0) means.push_back(Rgb{sum.red / counted, sum.green / counted, sum.blue / counted});
    }
    return means;
}

TEST_F(TerminalViewer, ThePictureShowsTheDecodedFrameTheRightWayUp) {
    // Picture 1 is 124 rows tall: the frame's bottom 36 rows are black.
    auto viewer = start_on(1);
    expect_showing(*viewer, 1);
    Screen screen = viewer->capture();
    auto caption = screen.find(U"┌─");
    auto search = screen.search_frame();
    ASSERT_TRUE(caption && search);
    size_t picture_rows = 0;
    for (size_t r = 1; r < screen.rows.size() && screen.rows[r][0] != U'┌'; ++r) picture_rows = r;
    ASSERT_GT(picture_rows, 10u);
    std::vector<Rgb> rows = picture_row_colours(viewer->capture_coloured(), picture_rows, search->second - 1);
    ASSERT_EQ(rows.size(), picture_rows);

    // The same picture decoded here, row by row (blue, green, red).
    std::vector<uint8_t> frame(frame_bytes);
    FrameLoaderServices services;
    services.find_picture = [](uint16_t id, const uint8_t** data, uint32_t* size) {
        ResourceBytes bytes{nullptr, 0};
        bool found = find_resource(resource_type_raw_data, id, &bytes);
        *data = bytes.data;
        *size = bytes.size;
        return found;
    };
    services.diagnostic = [](const char*, int32_t) {};
    ASSERT_TRUE(load_frame(first_picture_id + 1, FrameBuffer{frame.data()}, services));
    for (size_t r = 0; r < picture_rows; ++r) {
        // The frame rows this cell row shows.
        size_t top = r * frame_height / picture_rows;
        size_t bottom = (r + 1) * frame_height / picture_rows;
        Rgb expected;
        for (size_t y = top; y < bottom; ++y) {
            for (size_t x = 0; x < frame_width; ++x) {
                const uint8_t* p = &frame[(y * frame_width + x) * 3];
                expected.blue += p[0];
                expected.green += p[1];
                expected.red += p[2];
            }
        }
        double count = static_cast<double>((bottom - top) * frame_width);
        SCOPED_TRACE(testing::Message() << "cell row " << r);
        EXPECT_NEAR(rows[r].red, expected.red / count, 24);
        EXPECT_NEAR(rows[r].green, expected.green / count, 24);
        EXPECT_NEAR(rows[r].blue, expected.blue / count, 24);
    }
    // And so black at the bottom, not at the top.
    EXPECT_LT(rows.back().red + rows.back().green + rows.back().blue, 6);
    EXPECT_GT(rows.front().red + rows.front().green + rows.front().blue, 30);
}

TEST_F(TerminalViewer, IsTheDefaultWithoutADisplay) {
    uint32_t seed = seed_starting_at(42);
    TmuxViewer viewer(120, 40, "-u DISPLAY -u WAYLAND_DISPLAY MARIVUE_SEED=" + std::to_string(seed), "");
    expect_showing(viewer, 42);
}

TEST_F(TerminalViewer, RightStepsForwardAndLeftBack) {
    auto viewer = start_on(120);
    viewer->keys("Right");
    expect_showing(*viewer, 121);
    viewer->keys("Right");
    expect_showing(*viewer, 122);
    viewer->keys("Left");
    expect_showing(*viewer, 121);
    viewer->text(">");
    expect_showing(*viewer, 122);
    viewer->text("<");
    expect_showing(*viewer, 121);
}

TEST_F(TerminalViewer, WrapsAroundAtBothEnds) {
    auto last = start_on(303);
    expect_showing(*last, 303);
    last->keys("Right");
    expect_showing(*last, 0);
    last->keys("Left");
    expect_showing(*last, 303);

    auto first = start_on(0);
    first->keys("Left");
    expect_showing(*first, 303);
}

TEST_F(TerminalViewer, ALocationInTheSearchBoxMatchesNoCaption) {
    auto viewer = start_on(60);
    viewer->text("/Palau");
    ASSERT_TRUE(viewer->wait_for([](const Screen& s) { return s.search_text() == "Palau"; }));
    viewer->keys("Enter");
    viewer->keys("Right");
    Screen screen;
    ASSERT_TRUE(viewer->wait_for([](const Screen& s) { return s.search_text() == "Palau-NONE"; }, &screen))
        << screen.text();
    expect_showing(*viewer, 61);
    // Another step keeps the one marker, and still moves one picture.
    viewer->keys("Right");
    expect_showing(*viewer, 62);
    EXPECT_EQ(viewer->capture().search_text(), "Palau-NONE");
}

TEST_F(TerminalViewer, AWordOfTheCaptionFiltersButEveryPicturePasses) {
    auto viewer = start_on(200);
    viewer->keys("/");
    viewer->text("identify");
    viewer->keys("Enter");
    for (int32_t step = 1; step <= 3; ++step) {
        viewer->keys("Right");
        expect_showing(*viewer, 200 + step);
        EXPECT_EQ(viewer->capture().search_text(), "identify");
    }
    // Case matters: the capitalised word matches nothing.
    viewer->keys("Tab");
    viewer->keys("Home");
    viewer->keys("Delete");
    viewer->text("I");
    viewer->keys("Escape");
    viewer->keys("Left");
    ASSERT_TRUE(viewer->wait_for([](const Screen& s) { return s.search_text() == "Identify-NONE"; }));
    expect_showing(*viewer, 202);
}

TEST_F(TerminalViewer, ThePictureIsHiddenWhileTheSearchBoxIsActive) {
    auto viewer = start_on(10);
    expect_showing(*viewer, 10);
    viewer->keys("/");
    Screen screen;
    ASSERT_TRUE(viewer->wait_for([](const Screen& s) { return s.contains("picture hidden"); }, &screen))
        << screen.text();
    EXPECT_EQ(screen.picture_symbols(), 0) << screen.text();
    // Leaving the box does not lower the panel: still no picture, and
    // Escape here left the box instead of ending the program.
    viewer->keys("Escape");
    ASSERT_TRUE(viewer->wait_for([](const Screen& s) { return !s.contains("Typing a search text"); }));
    screen = viewer->capture();
    EXPECT_EQ(screen.picture_symbols(), 0) << screen.text();
    EXPECT_FALSE(screen.contains("marivue exit status"));
    // The next step lowers it and draws.
    viewer->keys("Right");
    expect_showing(*viewer, 11);
    EXPECT_FALSE(viewer->capture().contains("picture hidden"));
}

TEST_F(TerminalViewer, MouseClicksPressTheButtonsAndTheDoneButton) {
    auto viewer = start_on(30);
    Screen screen = viewer->capture();
    auto forward = screen.find(U">>>");
    auto back = screen.find(U"<<<");
    ASSERT_TRUE(forward && back) << screen.text();
    viewer->click(forward->first, forward->second + 1);
    expect_showing(*viewer, 31);
    viewer->click(back->first, back->second + 1);
    expect_showing(*viewer, 30);
    // A click in the search box puts the focus there.
    auto search = screen.search_frame();
    ASSERT_TRUE(search);
    viewer->click(search->first + 1, search->second + 3);
    ASSERT_TRUE(viewer->wait_for([](const Screen& s) { return s.contains("Typing a search text"); }));
    viewer->text("q");
    ASSERT_TRUE(viewer->wait_for([](const Screen& s) { return s.search_text() == "q"; }));
    auto done = screen.find(U"[ OK ]");
    ASSERT_TRUE(done);
    viewer->click(done->first, done->second + 2);
    EXPECT_EQ(viewer->exit_status(), 1);
    viewer->expect_terminal_restored();
}

TEST_F(TerminalViewer, QuitEndsWithStatusOneAndRestoresTheTerminal) {
    auto viewer = start_on(100);
    viewer->text("q");
    Screen screen;
    EXPECT_EQ(viewer->exit_status(&screen), 1) << screen.text();
    viewer->expect_terminal_restored();
    EXPECT_FALSE(screen.contains("Image #")) << "the viewer's screen is still shown\n" << screen.text();
}

TEST_F(TerminalViewer, EscapeAndCtrlCEndItToo) {
    auto escape = start_on(1);
    escape->keys("Escape");
    EXPECT_EQ(escape->exit_status(), 1);
    escape->expect_terminal_restored();

    auto interrupt = start_on(2);
    interrupt->keys("C-c");
    EXPECT_EQ(interrupt->exit_status(), 1);
    interrupt->expect_terminal_restored();
}

TEST_F(TerminalViewer, SignalsRestoreTheTerminal) {
    struct Case {
        int signal_number;
        int status;  // the shell's status for the program
    };
    // SIGINT is the done button; SIGTERM and SIGHUP end the program by the
    // signal once the terminal is back.
    // A crash puts the terminal back before the process dies of it.
    for (Case c : {Case{SIGINT, 1}, Case{SIGTERM, 128 + SIGTERM}, Case{SIGHUP, 128 + SIGHUP},
                   Case{SIGSEGV, 128 + SIGSEGV}}) {
        SCOPED_TRACE(c.signal_number);
        auto viewer = start_on(50);
        pid_t pid = viewer->program_pid();
        ASSERT_GT(pid, 0);
        ASSERT_EQ(kill(pid, c.signal_number), 0);
        Screen screen;
        EXPECT_EQ(viewer->exit_status(&screen), c.status) << screen.text();
        viewer->expect_terminal_restored();
    }
}

TEST_F(TerminalViewer, SaysWhenTheTerminalIsTooSmallAndAdaptsToResizing) {
    uint32_t seed = seed_starting_at(77);
    TmuxViewer viewer(50, 12, "MARIVUE_SEED=" + std::to_string(seed));
    Screen screen;
    ASSERT_TRUE(viewer.wait_for([](const Screen& s) { return s.contains("too small"); }, &screen))
        << screen.text();
    EXPECT_FALSE(screen.contains("Image #"));
    viewer.tmux("resize-window -t viewer -x 120 -y 40");
    expect_showing(viewer, 77);
    // Stepping works at any size, and the new size is used at once.
    viewer.tmux("resize-window -t viewer -x 90 -y 30");
    viewer.keys("Right");
    expect_showing(viewer, 78);
    screen = viewer.capture();
    ASSERT_EQ(screen.rows.size(), 30u);
    EXPECT_TRUE(screen.find(U"┌─ search")->second < 90);
}

// The top or bottom frame row of the caption box (the frame at the left
// edge), up to its corner.
std::u32string caption_frame_row(const Screen& screen, char32_t corner) {
    for (const std::u32string& row : screen.rows) {
        if (!row.empty() && row[0] == corner) {
            size_t end = row.find(corner == U'┌' ? U'┐' : U'┘');
            return row.substr(0, end);
        }
    }
    return {};
}

TEST_F(TerminalViewer, TheCaptionBoxScrollsWhereItsTextDoesNotFit) {
    uint32_t seed = seed_starting_at(150);
    TmuxViewer viewer(60, 16, "MARIVUE_SEED=" + std::to_string(seed));
    Screen screen;
    ASSERT_TRUE(viewer.wait_for([](const Screen& s) { return s.contains("If you can"); }, &screen))
        << screen.text();
    EXPECT_FALSE(screen.contains("Image #")) << "the small box shows the whole caption\n" << screen.text();
    EXPECT_TRUE(caption_frame_row(screen, U'└').find(U"↓") != std::u32string::npos) << screen.text();
    for (int i = 0; i < 6; ++i) viewer.keys("Down");
    ASSERT_TRUE(viewer.wait_for_number(150, &screen)) << screen.text();
    EXPECT_TRUE(caption_frame_row(screen, U'┌').find(U"↑") != std::u32string::npos) << screen.text();
    for (int i = 0; i < 6; ++i) viewer.keys("Up");
    ASSERT_TRUE(viewer.wait_for([](const Screen& s) { return s.contains("If you can"); }, &screen))
        << screen.text();
}

TEST(TerminalFrontEnd, SaysSoWithoutATerminal) {
    int status = -1;
    std::string output = run(quote(MARIVUE_BINARY) + " --tty </dev/null 2>&1", &status);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_NE(WEXITSTATUS(status), 0);
    EXPECT_NE(output.find("needs a terminal"), std::string::npos) << output;
}

TEST(TerminalFrontEnd, EndsWhenTheTerminalHangsUp) {
    // The program ignores SIGHUP here (as under nohup), so only noticing
    // the closed terminal can end it.
    int master = -1;
    struct winsize size {};
    size.ws_row = 40;
    size.ws_col = 120;
    pid_t pid = forkpty(&master, nullptr, nullptr, &size);
    ASSERT_GE(pid, 0);
    if (pid == 0) {
        signal(SIGHUP, SIG_IGN);
        setenv("TERM", "xterm-256color", 1);
        setenv("MARIVUE_TTY_GRAPHICS", "symbols", 1);
        execl(MARIVUE_BINARY, "marivue", "--tty", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Wait for the first screen, then hang up.
    std::string seen;
    auto deadline = std::chrono::steady_clock::now() + wait_limit;
    while (seen.find("Image #") == std::string::npos && std::chrono::steady_clock::now() < deadline) {
        struct pollfd in {master, POLLIN, 0};
        if (poll(&in, 1, 50) > 0) {
            char buffer[4096];
            ssize_t got = read(master, buffer, sizeof(buffer));
            if (got <= 0) break;
            seen.append(buffer, static_cast<size_t>(got));
        }
    }
    EXPECT_NE(seen.find("Image #"), std::string::npos) << seen.size() << " bytes: " << seen.substr(0, 300);
    close(master);
    int status = 0;
    pid_t ended = 0;
    while ((ended = waitpid(pid, &status, WNOHANG)) == 0 && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(poll_interval);
    }
    if (ended == 0) {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
    }
    EXPECT_EQ(ended, pid) << "the program went on without its terminal";
}

}  // namespace

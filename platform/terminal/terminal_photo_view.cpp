// The terminal's photo view: the session it runs in, and the loop that
// waits at once for keys and mouse reports, the view's worker threads, its
// clock, resizes and the stop signals, and hands each to the view.
#include "platform/terminal/terminal_photo_screen.h"
#include "platform/terminal/terminal_platform.h"
#include "platform/terminal/terminal_session.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <unistd.h>
#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

// ncurses' macro of that name would take the view's scroll for its own.
#undef scroll

namespace {

constexpr int32_t key_ctrl_c = 3;
constexpr int32_t key_ctrl_l = 12;
constexpr int32_t key_ctrl_q = 17;
constexpr int32_t key_escape = 27;
constexpr int32_t key_delete_char = 127;
constexpr int32_t key_backspace_char = 8;

// Two presses of the left button on one cell within this time are a
// double click.
constexpr int64_t double_click_ms = 400;

// Zoom of one notch of the wheel with Ctrl held.
constexpr double wheel_zoom = 1.25;

// The view's clock, and its wake-ups from worker threads through a pipe
// the loop waits on.
class Host final : public PhotoHost {
public:
    Host() {
        if (pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) fds_[0] = fds_[1] = -1;
    }
    ~Host() override {
        for (int fd : fds_)
            if (fd >= 0) close(fd);
    }
    Host(const Host&) = delete;
    Host& operator=(const Host&) = delete;

    void wake() override {
        // Many results in a row need one poll.
        if (posted_.exchange(true) || fds_[1] < 0) return;
        const char byte = 1;
        if (write(fds_[1], &byte, 1) < 0) posted_ = false;
    }
    int64_t now_ms() override {
        return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_).count();
    }
    int fd() const { return fds_[0]; }
    // Takes the wake-ups; the view's poll follows.
    void take() {
        char bytes[64];
        while (read(fds_[0], bytes, sizeof bytes) > 0) {
        }
        posted_ = false;
    }

private:
    int fds_[2] = {-1, -1};
    std::atomic<bool> posted_{false};
    const std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
};

// The photo view's name for an ncurses key, 0 for none; *control is set
// for Ctrl+Q.
uint32_t photo_key_of(int32_t key, bool function_key, bool* control) {
    *control = false;
    if (function_key) {
        switch (key) {
            case KEY_RIGHT:
                return photo_key_right;
            case KEY_LEFT:
                return photo_key_left;
            case KEY_UP:
                return photo_key_up;
            case KEY_DOWN:
                return photo_key_down;
            case KEY_PPAGE:
                return photo_key_page_up;
            case KEY_NPAGE:
                return photo_key_page_down;
            case KEY_HOME:
                return photo_key_home;
            case KEY_END:
                return photo_key_end;
            case KEY_ENTER:
                return photo_key_enter;
            case KEY_BACKSPACE:
                return photo_key_backspace;
            case KEY_DC:
                return photo_key_delete;
            case KEY_F(11):
                return photo_key_f11;
            default:
                return 0;
        }
    }
    switch (key) {
        case '\r':
        case '\n':
            return photo_key_enter;
        case key_escape:
            return photo_key_escape;
        case key_delete_char:
        case key_backspace_char:
            return photo_key_backspace;
        case key_ctrl_q:
            *control = true;
            return 'q';
        default:
            return key >= 0x20 && key < 0x110000 && !(key >= 0xD800 && key <= 0xDFFF) ? uint32_t(key) : 0;
    }
}

// The loop's state between the waits.
struct PhotoRun {
    PhotoController& controller;
    TerminalPhotoScreen& screen;
    Host& host;
    // Measures the terminal and lays the screen out for it.
    std::function<PhotoViewport(bool full_screen)> layout;
    bool full_screen = false;
    bool force = true;  // draw everything again
    uint64_t drawn_revision = 0;
    int64_t pressed_at = -1;  // the last press of the left button, for double clicks
    int32_t pressed_row = -1, pressed_col = -1;
    // When the input being read came in, as far as the loop knows: the
    // start of the drawing it waited behind (-1: it came just now). A slow
    // drawing must not split a double click in two.
    int64_t input_since = -1;

    const PhotoScene& scene() const { return controller.scene(); }

    void relayout() {
        controller.set_view(layout(full_screen));
        force = true;
    }
    // After each call into the view: full screen changes the layout.
    void follow() {
        if (controller.finished() || scene().full_screen == full_screen) return;
        full_screen = scene().full_screen;
        relayout();
    }
    void draw() {
        if (controller.finished() || (!force && scene().revision == drawn_revision)) return;
        screen.draw(scene(), force);
        force = false;
        drawn_revision = scene().revision;
    }
    void key(int32_t key, bool function_key);
    void mouse();
    // The view point in the middle of terminal cell `row`, `col`.
    double x_of(int32_t col) const { return (col - screen.area().col + 0.5) * screen.cell_width(); }
    double y_of(int32_t row) const { return (row - screen.area().row + 0.5) * screen.cell_height(); }
    void select_gallery_cell(size_t cell);
};

void PhotoRun::key(int32_t key, bool function_key) {
    if (function_key && key == KEY_RESIZE) return relayout();
    if (function_key && key == KEY_MOUSE) return mouse();
    if (!function_key && key == key_ctrl_c) return controller.command(PhotoCommand::Quit);
    if (!function_key && key == key_ctrl_l) {
        force = true;
        return;
    }
    // A terminal's answer that came after the start-up queries stopped
    // waiting for it is no Escape key.
    if (!function_key && key == key_escape && skip_terminal_answer()) return;
    bool control = false;
    const uint32_t code = photo_key_of(key, function_key, &control);
    if (code == 0) return;
    const PhotoCommand command = photo_action(code, control, scene());
    if (command != PhotoCommand::None) {
        controller.command(command);
    } else if (scene().searching && scene().confirmation.empty()) {
        // The search field's own keys: typing and erasing at its end.
        if (code == photo_key_backspace)
            controller.erase_char();
        else if (code < 0x110000 && !control)
            controller.type_text(std::u32string(1, static_cast<char32_t>(code)));
    }
    follow();
}

void PhotoRun::select_gallery_cell(size_t cell) {
    // The view moves its choice by steps: as many as lie between the cell
    // chosen and the one clicked, or from the first.
    const std::vector<GalleryCell>& cells = scene().cells;
    size_t from = cells.size();
    for (size_t i = 0; i < cells.size(); ++i)
        if (cells[i].selected) from = i;
    int64_t steps = static_cast<int64_t>(cell) - static_cast<int64_t>(from);
    if (from == cells.size()) {
        controller.command(PhotoCommand::First);
        steps = int64_t{scene().first_row} * scene().columns + static_cast<int64_t>(cell);
    }
    for (int64_t i = 0; i < std::abs(steps); ++i)
        controller.command(steps > 0 ? PhotoCommand::Next : PhotoCommand::Previous);
}

void PhotoRun::mouse() {
    // One KEY_MOUSE can stand for several reports that came in one read (a
    // quick double click, a fast turn of the wheel): the rest wait in the
    // queue, and each is taken.
    const auto one = [this](const MEVENT& event) {
        const int32_t row = event.y, col = event.x;
        const bool inside = screen.area().contains(row, col);
        const bool gallery = scene().mode == PhotoScene::Mode::gallery;
        if ((event.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) != 0) {
            const bool up = (event.bstate & BUTTON4_PRESSED) != 0;
            if (gallery) {
                controller.scroll(up ? -1 : 1);
            } else if ((event.bstate & BUTTON_CTRL) != 0 && inside) {
                controller.zoom_at(up ? wheel_zoom : 1 / wheel_zoom, x_of(col), y_of(row));
            } else {
                const PhotoCommand command =
                    photo_action(up ? photo_key_wheel_up : photo_key_wheel_down, false, scene());
                if (command != PhotoCommand::None) controller.command(command);
            }
            return follow();
        }
        if ((event.bstate & BUTTON1_PRESSED) == 0 || !inside) return;
        const int64_t now = input_since >= 0 ? input_since : host.now_ms();
        const bool double_click =
            pressed_at >= 0 && now - pressed_at <= double_click_ms && row == pressed_row && col == pressed_col;
        pressed_at = double_click ? -1 : now;
        pressed_row = row;
        pressed_col = col;
        if (!gallery) {
            if (double_click) controller.click(x_of(col), y_of(row), true);  // full screen
        } else if (const std::optional<size_t> cell = screen.gallery_cell_at(scene(), row, col)) {
            // A click chooses, a double click opens.
            if (double_click)
                controller.click(x_of(col), y_of(row), false);
            else
                select_gallery_cell(*cell);
        }
        follow();
    };
    MEVENT event{};
    while (getmouse(&event) == OK) one(event);
}

}  // namespace

int TerminalPlatform::run_photo_view(PhotoController& controller) {
    failure_.clear();
    session_ = std::make_unique<Session>();
    if (!session_->set_up(&failure_)) {
        session_.reset();
        std::fprintf(stderr, "marivue: %s\n", failure_.c_str());
        return 1;
    }
    mousemask(BUTTON1_PRESSED | BUTTON4_PRESSED | BUTTON5_PRESSED | BUTTON_CTRL, nullptr);
    Session& session = *session_;
    Host host;
    TerminalPhotoScreen screen(*session.renderer, session.mode);
    PhotoRun run{controller, screen, host, [&session, &screen](bool full_screen) {
                     session.measure_cells();
                     return screen.set_size(LINES, COLS, session.cell_width, session.cell_height, full_screen);
                 }};
    // The stop signals and resizes wait while the loop works, and end its
    // waits: no signal can slip in between a look and the wait. Blocked
    // before the view starts its threads, which keep them blocked, so that
    // they come to this thread alone.
    sigset_t blocked, waiting;
    sigemptyset(&blocked);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP, SIGWINCH}) sigaddset(&blocked, signal_number);
    pthread_sigmask(SIG_BLOCK, &blocked, &waiting);
    controller.start(host);
    run.relayout();
    while (!controller.finished()) {
        if (const int stop = pending_stop_signal()) {
            // Ctrl+C from outside quits as the key does; the others end the
            // process once the terminal is back.
            if (stop == SIGINT) set_pending_stop_signal(0);
            break;
        }
        // Keys already waiting are handled before anything is drawn.
        wtimeout(stdscr, 0);
        wint_t key = 0;
        const int got = wget_wch(stdscr, &key);
        if (got != ERR) {
            run.key(static_cast<int32_t>(key), got == KEY_CODE_YES);
            continue;
        }
        const int64_t drawing_began = host.now_ms();
        run.draw();
        const int64_t drawn = host.now_ms();
        // Without its pipe (no descriptor left), the view's results are
        // looked for every tenth of a second.
        int64_t next = controller.next_tick_ms();
        if (host.fd() < 0) next = next < 0 ? host.now_ms() + 100 : std::min(next, host.now_ms() + 100);
        pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {host.fd(), POLLIN, 0}};
        timespec timeout{};
        if (next >= 0) {
            const int64_t wait = std::max<int64_t>(0, next - host.now_ms());
            timeout = {static_cast<time_t>(wait / 1000), static_cast<long>(wait % 1000 * 1000000)};
        }
        const int ready = ppoll(fds, host.fd() >= 0 ? 2 : 1, next >= 0 ? &timeout : nullptr, &waiting);
        // Input there at once came in while the screen was drawn.
        run.input_since = ready > 0 && fds[0].revents != 0 && host.now_ms() - drawn <= 1 ? drawing_began : -1;
        // A terminal that hung up reads as an endless stream of nothing:
        // end as on SIGHUP rather than spin.
        if (ready > 0 && fds[0].revents != 0 && terminal_hung_up() && pending_stop_signal() == 0)
            set_pending_stop_signal(SIGHUP);
        if (host.fd() < 0 || (ready > 0 && (fds[1].revents & POLLIN) != 0)) {
            host.take();
            controller.poll();
            run.follow();
        }
        if (next >= 0 && host.now_ms() >= next) {
            controller.tick(host.now_ms());
            run.follow();
        }
    }
    pthread_sigmask(SIG_SETMASK, &waiting, nullptr);
    // However the loop ended, the view's work is let go before the terminal
    // is put back.
    if (!controller.finished()) controller.command(PhotoCommand::Quit);
    const int stop = pending_stop_signal();
    session.kitty_image = screen.kitty_images();
    session.put_back();
    const bool ignored = session.stop_was_ignored(stop);
    session_.reset();
    if ((stop == SIGTERM || stop == SIGHUP) && !ignored) {
        // The terminal is back to normal: end the way the signal asked.
        std::signal(stop, SIG_DFL);
        std::raise(stop);
    }
    set_pending_stop_signal(0);
    return controller.exit_status();
}

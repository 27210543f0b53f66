// The terminal session: setting the terminal up for the dialog, and putting
// it back from signal handlers, at exit and when the dialog ends.
#include "platform/terminal/terminal_session.h"
#include "platform/terminal/terminal_output.h"

#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <clocale>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace {

// A stop signal that arrived and waits for the input loop.
volatile sig_atomic_t pending_signal = 0;
// Non-zero while the ncurses screen is set up.
volatile sig_atomic_t screen_active = 0;

// What a crash handler writes to put the terminal back: prepared while the
// screen is set up, since nothing may be computed inside the handler.
char restore_bytes[512];
size_t restore_length = 0;
struct termios saved_terminal;
bool saved_terminal_valid = false;

const int stop_signals[] = {SIGINT, SIGTERM, SIGHUP};
const int crash_signals[] = {SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGABRT};

void on_stop_signal(int signal_number) {
    if (pending_signal == 0) pending_signal = signal_number;
}

void restore_terminal_raw() {
    if (screen_active == 0) return;
    screen_active = 0;
    write_all(STDOUT_FILENO, restore_bytes, restore_length);
    if (saved_terminal_valid) tcsetattr(STDIN_FILENO, TCSANOW, &saved_terminal);
}

void on_crash_signal(int signal_number) {
    restore_terminal_raw();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

void restore_at_exit() {
    if (screen_active != 0) {
        endwin();
        screen_active = 0;
    }
}

void append_restore(const char* sequence) {
    if (sequence == nullptr || sequence == reinterpret_cast<const char*>(-1)) return;
    size_t length = std::strlen(sequence);
    if (restore_length + length >= sizeof(restore_bytes)) return;
    std::memcpy(restore_bytes + restore_length, sequence, length);
    restore_length += length;
}

// How long the terminal has to answer the queries.
constexpr int32_t terminal_answer_timeout_ms = 200;

// Whether the terminal is one to ask: the Linux console draws no pixels and
// is left alone.
bool asks_terminal() {
    const char* term = std::getenv("TERM");
    return term == nullptr || std::strncmp(term, "linux", 5) != 0;
}

}  // namespace

int pending_stop_signal() { return pending_signal; }

void set_pending_stop_signal(int signal_number) { pending_signal = signal_number; }

const char* capability(const char* name) {
    char* value = tigetstr(name);
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return nullptr;
    return value;
}

std::optional<uint32_t> seed_from_environment(const char* value) {
    if (value == nullptr || *value == '\0') return std::nullopt;
    uint64_t seed = 0;
    for (const char* p = value; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9') return std::nullopt;
        seed = seed * 10 + static_cast<uint64_t>(*p - '0');
        if (seed > 0xFFFFFFFFull) return std::nullopt;
    }
    return static_cast<uint32_t>(seed);
}

bool terminal_attached() { return isatty(STDIN_FILENO) == 1 && isatty(STDOUT_FILENO) == 1; }

bool TerminalPlatform::Session::set_up(std::string* failure) {
    std::setlocale(LC_ALL, "");
    bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

    saved_terminal_valid = tcgetattr(STDIN_FILENO, &saved_terminal) == 0;
    // The terminal is asked before ncurses reads from it, so that its
    // answers do not arrive as keys.
    GraphicsSetting setting =
        parse_graphics_setting(std::getenv(picture_override_variable)).value_or(GraphicsSetting::Auto);
    ColourSetting colours = parse_colour_setting(std::getenv(colour_override_variable)).value_or(ColourSetting::Auto);
    bool multiplexer = environment_has_multiplexer(environ);
    TerminalAnswers answers;
    if ((setting == GraphicsSetting::Auto || colours == ColourSetting::Auto) && asks_terminal()) {
        answers = ask_terminal(STDIN_FILENO, STDOUT_FILENO, terminal_answer_timeout_ms, multiplexer);
    }
    pending_signal = 0;
    handlers_installed = true;
    struct sigaction action {};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    for (size_t i = 0; i < 3; ++i) {
        // A signal the program was started ignoring (nohup) stays ignored.
        sigaction(stop_signals[i], nullptr, &previous_stop[i]);
        if (previous_stop[i].sa_handler != SIG_IGN) sigaction(stop_signals[i], &action, nullptr);
    }
    struct sigaction crash {};
    crash.sa_handler = on_crash_signal;
    sigemptyset(&crash.sa_mask);
    crash.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < 5; ++i) sigaction(crash_signals[i], &crash, &previous_crash[i]);

    screen = newterm(nullptr, stdout, stdin);
    if (screen == nullptr) {
        const char* term = std::getenv("TERM");
        *failure = std::string("cannot use this terminal (TERM=") + (term != nullptr ? term : "unset") +
                   "): it is unknown to the terminal database";
        put_back();
        return false;
    }
    set_term(screen);
    screen_active = 1;
    static bool exit_hook = false;
    if (!exit_hook) {
        std::atexit(restore_at_exit);
        exit_hook = true;
    }

    restore_length = 0;
    append_restore(capability("sgr0"));
    append_restore(capability("cnorm"));
    append_restore(capability("rmcup"));
    // Mouse reporting off, in every mode ncurses may have turned on.
    append_restore("\033[?1006l\033[?1003l\033[?1002l\033[?1000l");

    raw();
    noecho();
    nonl();
    keypad(stdscr, TRUE);
    set_escdelay(25);
    curs_set(0);
    idlok(stdscr, FALSE);
    // Home and End as terminals and multiplexers send them, whatever the
    // terminal description says.
    define_key("\033[1~", KEY_HOME);
    define_key("\033[7~", KEY_HOME);
    define_key("\033[H", KEY_HOME);
    define_key("\033OH", KEY_HOME);
    define_key("\033[4~", KEY_END);
    define_key("\033[8~", KEY_END);
    define_key("\033[F", KEY_END);
    define_key("\033OF", KEY_END);
    mousemask(BUTTON1_PRESSED | BUTTON4_PRESSED | BUTTON5_PRESSED, nullptr);
    mouseinterval(0);

    renderer = std::make_unique<PictureRenderer>(environ);
    measure_cells();
    mode = renderer->choose_mode(setting, colours, answers, utf8, cell_width, cell_height, multiplexer);
    return true;
}

void TerminalPlatform::Session::measure_cells() {
    struct winsize size {};
    cell_width = 0;
    cell_height = 0;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0 && size.ws_xpixel > 0 &&
        size.ws_ypixel > 0) {
        cell_width = size.ws_xpixel / size.ws_col;
        cell_height = size.ws_ypixel / size.ws_row;
    }
}

void TerminalPlatform::Session::put_back() {
    if (!handlers_installed) return;
    handlers_installed = false;
    if (screen != nullptr) {
        if (kitty_image) {
            write_all(STDOUT_FILENO, kitty_remove_images, sizeof(kitty_remove_images) - 1);
            kitty_image = false;
        }
        mousemask(0, nullptr);
        endwin();
        delscreen(screen);
        screen = nullptr;
        screen_active = 0;
    }
    for (size_t i = 0; i < 3; ++i) sigaction(stop_signals[i], &previous_stop[i], nullptr);
    for (size_t i = 0; i < 5; ++i) sigaction(crash_signals[i], &previous_crash[i], nullptr);
    // Kept: whether each stop signal was ignored decides how a stop ends.
    for (size_t i = 0; i < 3; ++i) stop_ignored[i] = previous_stop[i].sa_handler == SIG_IGN;
    std::memset(previous_stop, 0, sizeof(previous_stop));
    std::memset(previous_crash, 0, sizeof(previous_crash));
}

bool TerminalPlatform::Session::stop_was_ignored(int signal_number) const {
    for (size_t i = 0; i < 3; ++i) {
        if (stop_signals[i] == signal_number) return stop_ignored[i];
    }
    return false;
}

bool terminal_hung_up() {
    struct pollfd input {};
    input.fd = STDIN_FILENO;
    input.events = POLLIN;
    if (poll(&input, 1, 0) < 0) return false;
    if ((input.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) return true;
    // Readable yet nothing came: end of file.
    if ((input.revents & POLLIN) != 0) {
        int waiting = 0;
        return ioctl(STDIN_FILENO, FIONREAD, &waiting) == 0 && waiting == 0;
    }
    return false;
}

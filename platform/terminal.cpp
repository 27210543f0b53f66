// The terminal front end: dialog state, drawing contexts and bitmaps, and
// the ncurses screen with its input loop.
#include "platform/terminal.h"

#include <algorithm>
#include <cerrno>
#include <clocale>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <curses.h>

extern char** environ;

// ---------------------------------------------------------------------------
// Restoring the terminal from signal handlers and at exit

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

void write_all(int fd, const char* bytes, size_t length) {
    while (length > 0) {
        ssize_t written = ::write(fd, bytes, length);
        if (written < 0) {
            if (errno == EINTR) continue;
            return;
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
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

// A terminfo string capability, or null when the terminal has none.
const char* capability(const char* name) {
    char* value = tigetstr(name);
    if (value == nullptr || value == reinterpret_cast<char*>(-1)) return nullptr;
    return value;
}

std::string cursor_to(int32_t row, int32_t col) {
    const char* cup = capability("cup");
    if (cup == nullptr) return {};
    const char* moved = tiparm(cup, row, col);
    return moved != nullptr ? std::string(moved) : std::string();
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

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

constexpr int32_t key_ctrl_c = 3;
constexpr int32_t key_ctrl_l = 12;
constexpr int32_t key_escape = 27;
constexpr int32_t key_delete_char = 127;
constexpr int32_t key_backspace_char = 8;

}  // namespace

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

// ---------------------------------------------------------------------------
// The screen session

struct TerminalPlatform::Session {
    SCREEN* screen = nullptr;
    std::unique_ptr<PictureRenderer> renderer;
    PictureMode mode;
    TerminalLayout layout;
    int32_t cell_width = 0;   // pixels, 0 when unknown
    int32_t cell_height = 0;
    bool full_redraw = true;
    bool kitty_image = false;   // a kitty image is on the screen
    bool picture_on_screen = false;
    int32_t cursor_row = 0;
    int32_t cursor_col = 0;
    struct sigaction previous_stop[3];
    bool stop_ignored[3] = {false, false, false};
    bool handlers_installed = false;
    struct sigaction previous_crash[5];

    ~Session() { close(); }

    bool open(std::string* failure);
    void close();
    void measure_cells();
};

bool TerminalPlatform::Session::open(std::string* failure) {
    std::setlocale(LC_ALL, "");
    bool utf8 = std::strcmp(nl_langinfo(CODESET), "UTF-8") == 0;

    saved_terminal_valid = tcgetattr(STDIN_FILENO, &saved_terminal) == 0;
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
        close();
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
    mode = renderer->choose_mode(std::getenv(picture_override_variable), utf8, cell_width, cell_height,
                                 environment_has_multiplexer(environ));
    return true;
}

void TerminalPlatform::Session::measure_cells() {
    struct winsize size {};
    cell_width = 0;
    cell_height = 0;
    if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 && size.ws_row > 0 &&
        size.ws_xpixel > 0 && size.ws_ypixel > 0) {
        cell_width = size.ws_xpixel / size.ws_col;
        cell_height = size.ws_ypixel / size.ws_row;
    }
}

void TerminalPlatform::Session::close() {
    if (!handlers_installed) return;
    handlers_installed = false;
    if (screen != nullptr) {
        if (kitty_image) {
            const char remove_images[] = "\033_Ga=d\033\\";
            write_all(STDOUT_FILENO, remove_images, sizeof(remove_images) - 1);
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

// ---------------------------------------------------------------------------
// Dialog

TerminalPlatform::TerminalPlatform()
    : surface_(static_cast<size_t>(terminal_surface_width) * terminal_surface_height * 3, 0) {}

TerminalPlatform::~TerminalPlatform() = default;

intptr_t TerminalPlatform::send(uint32_t message, uintptr_t first, intptr_t second) {
    if (procedure_ == nullptr || dialog_ == null_window) return 0;
    return procedure_(*this, dialog_, message, first, second);
}

void TerminalPlatform::send_command(uint16_t control_id, uint16_t notification) {
    intptr_t source = 0;
    if (const Control* control = find_control(control_id)) source = static_cast<intptr_t>(control->window);
    send(message_command, make_command(control_id, notification), source);
}

void TerminalPlatform::deliver_pending_paint() {
    if (!invalid_ || !dialog_open_) return;
    send(message_paint, 0, 0);
    // A procedure that did not validate the window gets one paint per
    // request, not an endless stream of them.
    invalid_ = false;
    erase_pending_ = false;
}

intptr_t TerminalPlatform::dialog_box_indirect(ModuleHandle, const uint8_t* template_bytes,
                                               uint32_t template_size, WindowHandle, DialogProcedure procedure,
                                               intptr_t init_argument) {
    failure_.clear();
    if (dialog_open_ || procedure == nullptr || template_bytes == nullptr) return -1;
    DialogTemplate layout;
    if (!parse_dialog_template(template_bytes, template_size, &layout)) {
        failure_ = "the dialog template is damaged";
        std::fprintf(stderr, "marivue: %s\n", failure_.c_str());
        return -1;
    }
    layout_ = std::move(layout);
    dialog_ = WindowHandle{1};
    controls_.clear();
    for (size_t i = 0; i < layout_.controls.size(); ++i) {
        const DialogControlTemplate& t = layout_.controls[i];
        Control control{t, WindowHandle{2 + i}, cell_control_kind(t), t.text, terminal_default_text_limit, 0, 0};
        controls_.push_back(control);
    }
    procedure_ = procedure;
    focus_ = -1;
    done_button_ = false;
    invalid_ = false;
    erase_pending_ = false;
    picture_shown_ = false;
    picture_dirty_ = true;

    session_ = std::make_unique<Session>();
    if (!session_->open(&failure_)) {
        session_.reset();
        std::fprintf(stderr, "marivue: %s\n", failure_.c_str());
        dialog_ = null_window;
        procedure_ = nullptr;
        return -1;
    }
    relayout();

    dialog_open_ = true;
    dialog_result_ = -1;
    send(message_init_dialog, 0, init_argument);
    if (dialog_open_) run_loop();

    int stop = pending_signal;
    session_->close();
    bool ignored = false;
    for (size_t i = 0; i < 3; ++i) {
        if (stop_signals[i] == stop) ignored = session_->stop_ignored[i];
    }
    session_.reset();
    dialog_open_ = false;
    dialog_ = null_window;
    procedure_ = nullptr;
    if ((stop == SIGTERM || stop == SIGHUP) && !ignored) {
        // The terminal is back to normal: end the way the signal asked.
        std::signal(stop, SIG_DFL);
        std::raise(stop);
    }
    pending_signal = 0;
    return dialog_result_;
}

bool TerminalPlatform::end_dialog(WindowHandle dialog, intptr_t result) {
    if (dialog != dialog_ || !dialog_open_) return false;
    dialog_result_ = result;
    dialog_open_ = false;
    return true;
}

bool TerminalPlatform::shell_init_dialog(const ShellDialogInit& request) {
    if (request.window != dialog_ || dialog_ == null_window) return false;
    if ((request.mask & shell_init_mask_flags) == 0) return true;
    done_button_ = (request.flags & shell_init_done_button) != 0;
    if ((request.flags & shell_init_sip_down) != 0) panel_up_ = false;
    return true;
}

intptr_t TerminalPlatform::default_window_procedure(WindowHandle window, uint32_t message, uintptr_t,
                                                    intptr_t) {
    if (message == message_paint && window == dialog_) {
        // The dialog's background, and nothing of the picture.
        PaintInfo info{};
        begin_paint(window, &info);
        erase_surface();
        end_paint(window, &info);
    }
    return 0;
}

TerminalPlatform::Control* TerminalPlatform::find_control(int32_t control_id) {
    for (Control& control : controls_) {
        if (control.layout.id == control_id) return &control;
    }
    return nullptr;
}

bool TerminalPlatform::set_control_text(WindowHandle dialog, int32_t control_id, const char16_t* text) {
    if (dialog != dialog_) return false;
    Control* control = find_control(control_id);
    if (control == nullptr) return false;
    control->text = text != nullptr ? std::u16string(text) : std::u16string();
    control->caret = static_cast<int32_t>(control->text.size());
    control->scroll = 0;
    return true;
}

int32_t TerminalPlatform::get_control_text(WindowHandle dialog, int32_t control_id, char16_t* buffer,
                                           int32_t limit) {
    if (buffer == nullptr || limit < 0) return 0;
    buffer[0] = 0;
    if (dialog != dialog_) return 0;
    const Control* control = find_control(control_id);
    if (control == nullptr) return 0;
    int32_t count = std::min<int32_t>(limit, static_cast<int32_t>(control->text.size()));
    // Never end on half a surrogate pair.
    if (count > 0 && count < static_cast<int32_t>(control->text.size()) &&
        is_high_surrogate(control->text[count - 1])) {
        --count;
    }
    std::copy(control->text.begin(), control->text.begin() + count, buffer);
    buffer[count] = 0;
    return count;
}

bool TerminalPlatform::set_control_text_limit(WindowHandle dialog, int32_t control_id, int32_t limit) {
    if (dialog != dialog_) return false;
    Control* control = find_control(control_id);
    if (control == nullptr || control->layout.class_ordinal != control_class_edit) return false;
    control->text_limit = limit > 0 ? limit : terminal_default_text_limit;
    return true;
}

bool TerminalPlatform::show_input_panel(int32_t show) {
    bool up = show != 0;
    if (up != panel_up_) {
        panel_up_ = up;
        // The panel covers or uncovers part of the window, which is then
        // repainted.
        if (dialog_ != null_window) invalidate_rect(dialog_, nullptr, 1);
    }
    return true;
}

// ---------------------------------------------------------------------------
// Drawing contexts and bitmaps

TerminalPlatform::Context* TerminalPlatform::find_context(DrawContext context) {
    uintptr_t index = static_cast<uintptr_t>(context);
    if (index == 0 || index > contexts_.size()) return nullptr;
    return &contexts_[index - 1];
}

TerminalPlatform::Bitmap* TerminalPlatform::find_bitmap(BitmapHandle bitmap) {
    uintptr_t index = static_cast<uintptr_t>(bitmap);
    if (index == 0 || index > bitmaps_.size()) return nullptr;
    return &bitmaps_[index - 1];
}

DrawContext TerminalPlatform::get_screen_context(WindowHandle window) {
    if (window != null_window && window != dialog_) return null_context;
    if (window == dialog_ && window_context_ != null_context) return window_context_;
    contexts_.push_back(Context{window == null_window ? Context::Screen : Context::Window, null_bitmap});
    DrawContext context{contexts_.size()};
    if (window == dialog_) window_context_ = context;
    return context;
}

DrawContext TerminalPlatform::create_compatible_context(DrawContext context) {
    if (find_context(context) == nullptr) return null_context;
    contexts_.push_back(Context{Context::Memory, null_bitmap});
    return DrawContext{contexts_.size()};
}

BitmapHandle TerminalPlatform::create_dib_section(DrawContext context, const BitmapInfoHeader* header,
                                                  uint32_t colour_use, uint8_t** pixels, uintptr_t mapping,
                                                  uint32_t offset) {
    if (pixels != nullptr) *pixels = nullptr;
    if (pixels == nullptr || header == nullptr || find_context(context) == nullptr) return null_bitmap;
    if (header->header_size != sizeof(BitmapInfoHeader) || header->planes != 1 || header->bits_per_pixel != 24 ||
        header->compression != 0 || colour_use != dib_rgb_colours || mapping != 0 || offset != 0) {
        return null_bitmap;
    }
    // Bounded so that the pixel count and row pitch cannot overflow.
    constexpr int32_t largest_side = 16384;
    int32_t width = header->width;
    int32_t height = header->height == INT32_MIN ? 0 : std::abs(header->height);
    if (width <= 0 || width > largest_side || height == 0 || height > largest_side) return null_bitmap;
    Bitmap bitmap;
    bitmap.width = width;
    bitmap.height = height;
    bitmap.top_down = header->height < 0;
    bitmap.pitch = (width * 3 + 3) & ~3;
    size_t bytes = static_cast<size_t>(bitmap.pitch) * static_cast<size_t>(height);
    bitmap.pixels = std::make_unique<uint8_t[]>(bytes);
    std::memset(bitmap.pixels.get(), 0, bytes);
    *pixels = bitmap.pixels.get();
    bitmaps_.push_back(std::move(bitmap));
    return BitmapHandle{bitmaps_.size()};
}

BitmapHandle TerminalPlatform::select_object(DrawContext context, BitmapHandle bitmap) {
    Context* target = find_context(context);
    if (target == nullptr || target->kind != Context::Memory || find_bitmap(bitmap) == nullptr) return null_bitmap;
    BitmapHandle previous = target->selected;
    target->selected = bitmap;
    return previous;
}

DrawContext TerminalPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    if (window != dialog_ || info == nullptr) return null_context;
    DrawContext context = get_screen_context(window);
    info->context = context;
    info->erase = 0;
    info->paint_rect = Rect{0, 0, terminal_client_width, terminal_client_height};
    // The default handling of the erase request: paint the background.
    if (erase_pending_) erase_surface();
    invalid_ = false;
    erase_pending_ = false;
    return context;
}

bool TerminalPlatform::end_paint(WindowHandle window, const PaintInfo* info) {
    return window == dialog_ && info != nullptr;
}

void TerminalPlatform::erase_surface() {
    std::fill(surface_.begin(), surface_.end(), 0);
    picture_shown_ = false;
}

namespace {

// A block of pixels a copy reads or writes.
struct Plane {
    uint8_t* pixels;
    int32_t width;
    int32_t height;
    int32_t pitch;
    bool top_down;

    uint8_t* row(int32_t y) const {
        int32_t stored = top_down ? y : height - 1 - y;
        return pixels + static_cast<size_t>(stored) * static_cast<size_t>(pitch);
    }
};

}  // namespace

bool TerminalPlatform::block_copy(DrawContext destination, int32_t x, int32_t y, int32_t width, int32_t height,
                                  DrawContext source, int32_t source_x, int32_t source_y, uint32_t raster) {
    if (raster != raster_source_copy) return false;
    Context* to = find_context(destination);
    Context* from = find_context(source);
    if (to == nullptr || from == nullptr) return false;

    auto plane_of = [this](Context* context, Plane* plane) {
        if (context->kind == Context::Memory) {
            Bitmap* bitmap = find_bitmap(context->selected);
            if (bitmap == nullptr) return false;
            *plane = Plane{bitmap->pixels.get(), bitmap->width, bitmap->height, bitmap->pitch, bitmap->top_down};
            return true;
        }
        *plane = Plane{surface_.data(), terminal_surface_width, terminal_surface_height,
                       terminal_surface_width * 3, true};
        return true;
    };
    Plane target{};
    Plane origin{};
    if (!plane_of(to, &target) || !plane_of(from, &origin)) return false;
    if (width <= 0 || height <= 0) return true;

    // Clip to both planes; 64-bit sums so that large arguments cannot wrap.
    int64_t left = std::max<int64_t>({0, -static_cast<int64_t>(x), -static_cast<int64_t>(source_x)});
    int64_t top = std::max<int64_t>({0, -static_cast<int64_t>(y), -static_cast<int64_t>(source_y)});
    int64_t right = std::min<int64_t>({width, static_cast<int64_t>(target.width) - x,
                                       static_cast<int64_t>(origin.width) - source_x});
    int64_t bottom = std::min<int64_t>({height, static_cast<int64_t>(target.height) - y,
                                        static_cast<int64_t>(origin.height) - source_y});
    if (right > left && bottom > top) {
        size_t bytes = static_cast<size_t>(right - left) * 3;
        for (int64_t row = top; row < bottom; ++row) {
            uint8_t* out = target.row(static_cast<int32_t>(y + row)) + (x + left) * 3;
            const uint8_t* in = origin.row(static_cast<int32_t>(source_y + row)) + (source_x + left) * 3;
            std::memmove(out, in, bytes);
        }
    }
    if (to->kind != Context::Memory) {
        picture_shown_ = true;
        picture_dirty_ = true;
    }
    return true;
}

bool TerminalPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (window != dialog_ || rect == nullptr || dialog_ == null_window) return false;
    *rect = Rect{0, 0, terminal_client_width, terminal_client_height};
    return true;
}

bool TerminalPlatform::invalidate_rect(WindowHandle window, const Rect*, int32_t erase) {
    if (window != dialog_ || dialog_ == null_window) return false;
    invalid_ = true;
    if (erase != 0) erase_pending_ = true;
    return true;
}

bool TerminalPlatform::update_window(WindowHandle window) {
    if (window != dialog_ || dialog_ == null_window) return false;
    deliver_pending_paint();
    return true;
}

uint32_t TerminalPlatform::tick_count() {
    if (std::optional<uint32_t> seed = seed_from_environment(std::getenv(terminal_seed_variable))) return *seed;
    return Platform::tick_count();
}

// ---------------------------------------------------------------------------
// Input loop

namespace {

bool is_button_with_text(const TerminalPlatform::Control& control, const char16_t* text) {
    return control.kind == CellControlKind::Button && control.text == text;
}

}  // namespace

void TerminalPlatform::run_loop() {
    while (dialog_open_) {
        if (pending_signal != 0) {
            int stop = pending_signal;
            if (stop == SIGINT) {
                // Ctrl+C from outside: the same as the done button.
                pending_signal = 0;
                send_command(command_ok, button_clicked);
                if (dialog_open_) continue;
            }
            return;
        }
        // Keys already waiting are handled before anything is repainted.
        wtimeout(stdscr, 0);
        wint_t key = 0;
        int got = wget_wch(stdscr, &key);
        if (got == ERR) {
            deliver_pending_paint();
            if (!dialog_open_) return;
            draw_screen();
            wtimeout(stdscr, 200);
            got = wget_wch(stdscr, &key);
            if (got == ERR) {
                // A terminal that hung up reads as an endless stream of
                // nothing: end as on SIGHUP rather than spin.
                if (terminal_hung_up() && pending_signal == 0) pending_signal = SIGHUP;
                continue;
            }
        }
        handle_key(static_cast<int32_t>(key), got == KEY_CODE_YES);
    }
}

void TerminalPlatform::press(uint16_t control_id) { send_command(control_id, button_clicked); }

void TerminalPlatform::focus_search(bool focus) {
    const Control* search = nullptr;
    for (const Control& control : controls_) {
        if (control.kind == CellControlKind::SingleLineEdit &&
            (control.layout.style & edit_style_read_only) == 0) {
            search = &control;
            break;
        }
    }
    if (search == nullptr) return;
    uint16_t id = search->layout.id;
    if (focus && focus_ != id) {
        focus_ = id;
        send_command(id, edit_set_focus);
    } else if (!focus && focus_ == id) {
        focus_ = -1;
        send_command(id, edit_kill_focus);
    }
}

void TerminalPlatform::handle_key(int32_t key, bool is_function_key) {
    if (session_ == nullptr) return;
    if (is_function_key && key == KEY_RESIZE) {
        relayout();
        return;
    }
    if (is_function_key && key == KEY_MOUSE) {
        handle_mouse();
        return;
    }
    if (!is_function_key && key == key_ctrl_c) {
        send_command(command_ok, button_clicked);
        return;
    }
    if (!is_function_key && key == key_ctrl_l) {
        session_->full_redraw = true;
        picture_dirty_ = true;
        return;
    }
    if (focus_ >= 0) {
        edit_search(key, is_function_key);
        return;
    }

    const Control* forward = nullptr;
    const Control* back = nullptr;
    std::vector<int32_t> boxes;
    for (const Control& control : controls_) {
        if (is_button_with_text(control, u">>>")) forward = &control;
        if (is_button_with_text(control, u"<<<")) back = &control;
        if (control.kind == CellControlKind::MultiLineEdit) boxes.push_back(control.layout.id);
    }
    if (is_function_key) {
        switch (key) {
        case KEY_RIGHT:
            if (forward != nullptr) press(forward->layout.id);
            return;
        case KEY_LEFT:
            if (back != nullptr) press(back->layout.id);
            return;
        case KEY_UP:
        case KEY_DOWN:
            if (!boxes.empty()) scroll_box(boxes.front(), key == KEY_UP ? -1 : 1);
            return;
        case KEY_PPAGE:
        case KEY_NPAGE:
            if (!boxes.empty()) scroll_box(boxes.back(), key == KEY_PPAGE ? -3 : 3);
            return;
        case KEY_BTAB:
            focus_search(true);
            return;
        default: return;
        }
    }
    switch (key) {
    case '>':
        if (forward != nullptr) press(forward->layout.id);
        return;
    case '<':
        if (back != nullptr) press(back->layout.id);
        return;
    case '/':
    case '\t': focus_search(true); return;
    case 'q':
    case 'Q':
    case key_escape: send_command(command_ok, button_clicked); return;
    default: return;
    }
}

void TerminalPlatform::edit_search(int32_t key, bool is_function_key) {
    Control* box = find_control(focus_);
    if (box == nullptr) {
        focus_ = -1;
        return;
    }
    uint16_t id = box->layout.id;
    std::u16string& text = box->text;
    int32_t& caret = box->caret;
    caret = std::clamp<int32_t>(caret, 0, static_cast<int32_t>(text.size()));
    auto step_left = [&](int32_t at) {
        if (at >= 2 && is_low_surrogate(text[at - 1]) && is_high_surrogate(text[at - 2])) return at - 2;
        return at > 0 ? at - 1 : 0;
    };
    auto step_right = [&](int32_t at) {
        int32_t size = static_cast<int32_t>(text.size());
        if (at + 1 < size && is_high_surrogate(text[at]) && is_low_surrogate(text[at + 1])) return at + 2;
        return at < size ? at + 1 : size;
    };

    if (is_function_key) {
        switch (key) {
        case KEY_LEFT: caret = step_left(caret); return;
        case KEY_RIGHT: caret = step_right(caret); return;
        case KEY_HOME: caret = 0; return;
        case KEY_END: caret = static_cast<int32_t>(text.size()); return;
        case KEY_BACKSPACE:
            if (caret > 0) {
                int32_t from = step_left(caret);
                text.erase(from, caret - from);
                caret = from;
                send_command(id, edit_change);
            }
            return;
        case KEY_DC:
            if (caret < static_cast<int32_t>(text.size())) {
                text.erase(caret, step_right(caret) - caret);
                send_command(id, edit_change);
            }
            return;
        case KEY_ENTER:
        case KEY_BTAB: focus_search(false); return;
        default: return;
        }
    }
    if (key == '\r' || key == '\n' || key == '\t' || key == key_escape) {
        focus_search(false);
        return;
    }
    if (key == key_delete_char || key == key_backspace_char) {
        handle_key(KEY_BACKSPACE, true);
        return;
    }
    if (key < 0x20 || (key >= 0x7F && key < 0xA0) || key > 0x10FFFF || (key >= 0xD800 && key <= 0xDFFF)) return;
    std::u16string units;
    if (key >= 0x10000) {
        uint32_t code = static_cast<uint32_t>(key) - 0x10000u;
        units.push_back(static_cast<char16_t>(0xD800u + (code >> 10)));
        units.push_back(static_cast<char16_t>(0xDC00u + (code & 0x3FFu)));
    } else {
        units.push_back(static_cast<char16_t>(key));
    }
    // Input beyond the control's limit is refused.
    if (static_cast<int64_t>(text.size()) + static_cast<int64_t>(units.size()) > box->text_limit) {
        beep();
        return;
    }
    text.insert(static_cast<size_t>(caret), units);
    caret += static_cast<int32_t>(units.size());
    send_command(id, edit_change);
}

void TerminalPlatform::scroll_box(int32_t control_id, int32_t lines) {
    Control* box = find_control(control_id);
    if (box == nullptr || session_ == nullptr) return;
    const CellControl* cell = find_cell_control(session_->layout, box->layout.id);
    if (cell == nullptr) return;
    int32_t inner_rows = cell->area.rows - 2;
    int32_t total = static_cast<int32_t>(wrap_box_text(box->text, cell->area.cols - 2).size());
    int32_t last = std::max(0, total - inner_rows);
    box->scroll = std::clamp(box->scroll + lines, 0, last);
}

void TerminalPlatform::handle_mouse() {
    MEVENT event{};
    if (getmouse(&event) != OK || session_ == nullptr) return;
    const TerminalLayout& layout = session_->layout;
    if (layout.too_small) return;
    int32_t row = event.y;
    int32_t col = event.x;
    if ((event.bstate & (BUTTON4_PRESSED | BUTTON5_PRESSED)) != 0) {
        for (const CellControl& cell : layout.controls) {
            if (cell.kind == CellControlKind::MultiLineEdit && cell.area.contains(row, col)) {
                scroll_box(cell.id, (event.bstate & BUTTON4_PRESSED) != 0 ? -1 : 1);
            }
        }
        return;
    }
    if ((event.bstate & BUTTON1_PRESSED) == 0) return;
    if (done_button_ && layout.done_button.contains(row, col)) {
        focus_search(false);
        if (dialog_open_) send_command(command_ok, button_clicked);
        return;
    }
    for (const CellControl& cell : layout.controls) {
        if (!cell.area.contains(row, col)) continue;
        const Control* control = find_control(cell.id);
        if (control == nullptr) return;
        if (cell.kind == CellControlKind::Button) {
            focus_search(false);
            if (dialog_open_) press(cell.id);
        } else if (cell.kind == CellControlKind::SingleLineEdit &&
                   (control->layout.style & edit_style_read_only) == 0) {
            focus_search(true);
        } else {
            focus_search(false);
        }
        return;
    }
    focus_search(false);
}

// ---------------------------------------------------------------------------
// Screen

void TerminalPlatform::relayout() {
    if (session_ == nullptr) return;
    session_->measure_cells();
    double aspect = 2.0;
    if (session_->cell_width > 0 && session_->cell_height > 0) {
        aspect = static_cast<double>(session_->cell_height) / session_->cell_width;
    }
    session_->layout =
        layout_terminal(layout_, LINES, COLS, terminal_surface_width, terminal_surface_height, aspect);
    for (Control& control : controls_) {
        if (control.kind == CellControlKind::MultiLineEdit) scroll_box(control.layout.id, 0);
    }
    session_->full_redraw = true;
    picture_dirty_ = true;
}

namespace {

void put_text(int32_t row, int32_t col, const std::wstring& text, int32_t width) {
    if (width <= 0) return;
    mvaddnwstr(row, col, text.c_str(), std::min<int32_t>(width, static_cast<int32_t>(text.size())));
}

void frame(const CellRect& area, attr_t attributes) {
    if (area.rows < 2 || area.cols < 2) return;
    int32_t bottom = area.row + area.rows - 1;
    int32_t right = area.col + area.cols - 1;
    attron(attributes);
    // The wide forms draw Unicode box lines in a UTF-8 locale and fall back
    // to the terminal's line-drawing set elsewhere.
    mvadd_wch(area.row, area.col, WACS_ULCORNER);
    mvadd_wch(area.row, right, WACS_URCORNER);
    mvadd_wch(bottom, area.col, WACS_LLCORNER);
    mvadd_wch(bottom, right, WACS_LRCORNER);
    mvhline_set(area.row, area.col + 1, WACS_HLINE, area.cols - 2);
    mvhline_set(bottom, area.col + 1, WACS_HLINE, area.cols - 2);
    mvvline_set(area.row + 1, area.col, WACS_VLINE, area.rows - 2);
    mvvline_set(area.row + 1, right, WACS_VLINE, area.rows - 2);
    attroff(attributes);
}

}  // namespace

void TerminalPlatform::draw_control(Control& control, const CellControl& cell) {
    const CellRect& area = cell.area;
    switch (cell.kind) {
    case CellControlKind::Button: {
        std::wstring label = to_wide(control.text);
        int32_t pad = std::max(0, (area.cols - static_cast<int32_t>(label.size())) / 2);
        attron(A_REVERSE | A_BOLD);
        mvhline(area.row, area.col, ' ', area.cols);
        put_text(area.row, area.col + pad, label, area.cols - pad);
        attroff(A_REVERSE | A_BOLD);
        return;
    }
    case CellControlKind::Label:
        put_text(area.row, area.col, to_wide(control.text), area.cols);
        return;
    case CellControlKind::SingleLineEdit: {
        bool focused = focus_ == control.layout.id;
        bool active = focused || panel_up_;
        frame(area, active ? A_BOLD : A_NORMAL);
        std::wstring title = panel_up_ ? L" search: typing " : L" search ";
        if (area.cols > 4) {
            attron(active ? A_BOLD : A_DIM);
            put_text(area.row, area.col + 2, title, area.cols - 4);
            attroff(active ? A_BOLD : A_DIM);
        }
        int32_t inner = area.cols - 2;
        Control& editable = control;
        int32_t caret = std::clamp<int32_t>(editable.caret, 0, static_cast<int32_t>(control.text.size()));
        // Scrolls sideways to keep the caret in view.
        if (caret < editable.scroll) editable.scroll = caret;
        if (caret - editable.scroll >= inner) editable.scroll = caret - inner + 1;
        editable.scroll = std::clamp<int32_t>(editable.scroll, 0, static_cast<int32_t>(control.text.size()));
        std::u16string shown = control.text.substr(static_cast<size_t>(editable.scroll));
        if (shown.empty() && !focused) {
            attron(A_DIM);
            put_text(area.row + 1, area.col + 1, L"/ to type", inner);
            attroff(A_DIM);
        } else {
            put_text(area.row + 1, area.col + 1, to_wide(shown), inner);
        }
        if (focused) {
            session_->cursor_row = area.row + 1;
            session_->cursor_col = area.col + 1 + caret - editable.scroll;
        }
        return;
    }
    case CellControlKind::MultiLineEdit: {
        frame(area, A_NORMAL);
        int32_t inner_cols = area.cols - 2;
        int32_t inner_rows = area.rows - 2;
        std::vector<std::u16string> lines = wrap_box_text(control.text, inner_cols);
        int32_t total = static_cast<int32_t>(lines.size());
        int32_t first = std::clamp(control.scroll, 0, std::max(0, total - inner_rows));
        bool centre = (control.layout.style & edit_style_centre) != 0;
        for (int32_t i = 0; i < inner_rows && first + i < total; ++i) {
            std::wstring line = to_wide(lines[static_cast<size_t>(first + i)]);
            int32_t pad = centre ? std::max(0, (inner_cols - static_cast<int32_t>(line.size())) / 2) : 0;
            put_text(area.row + 1 + i, area.col + 1 + pad, line, inner_cols - pad);
        }
        if (first > 0) mvadd_wch(area.row, area.col + area.cols - 2, WACS_UARROW);
        if (first + inner_rows < total) mvadd_wch(area.row + area.rows - 1, area.col + area.cols - 2, WACS_DARROW);
        return;
    }
    }
}

void TerminalPlatform::draw_screen() {
    Session& session = *session_;
    const TerminalLayout& layout = session.layout;
    bool was_on_screen = session.picture_on_screen;
    if (session.full_redraw) {
        clearok(curscr, TRUE);
        session.picture_on_screen = false;
    }
    werase(stdscr);
    session.cursor_row = 0;
    session.cursor_col = 0;

    if (layout.too_small) {
        std::wstring lines[3] = {
            L"The terminal is too small for Marivue.",
            L"It has " + std::to_wstring(COLS) + L" x " + std::to_wstring(LINES) + L" cells; it needs at least " +
                std::to_wstring(terminal_minimum_cols) + L" x " + std::to_wstring(terminal_minimum_rows) + L".",
            L"Enlarge it, or press q to quit.",
        };
        int32_t top = std::max(0, LINES / 2 - 1);
        for (int32_t i = 0; i < 3 && top + i < LINES; ++i) {
            int32_t pad = std::max(0, (COLS - static_cast<int32_t>(lines[i].size())) / 2);
            put_text(top + i, pad, lines[i], COLS - pad);
        }
    } else {
        // Title row: the dialog's caption and the shell's done button.
        attron(A_REVERSE);
        mvhline(layout.title.row, 0, ' ', layout.title.cols);
        put_text(layout.title.row, 1, to_wide(layout_.caption), layout.title.cols - 8);
        if (done_button_) put_text(layout.done_button.row, layout.done_button.col, L"[ OK ]", 6);
        attroff(A_REVERSE);

        for (const CellControl& cell : layout.controls) {
            if (Control* control = find_control(cell.id)) draw_control(*control, cell);
        }

        if (!picture_shown_ && !layout.picture.empty()) {
            std::wstring note = panel_up_ ? L"(picture hidden while the search box is active)" : L"";
            int32_t pad = std::max(0, (layout.picture.cols - static_cast<int32_t>(note.size())) / 2);
            attron(A_DIM);
            put_text(layout.picture.row + layout.picture.rows / 2, layout.picture.col + pad, note,
                     layout.picture.cols - pad);
            attroff(A_DIM);
        }

        std::wstring hints = focus_ >= 0 ? L" Typing a search text. Enter, Tab or Esc: leave the box   Ctrl+C: quit"
                                         : L" Left/Right or < >: step   / or Tab: search   Up/Down, PgUp/PgDn: "
                                           L"scroll   q: quit";
        attron(A_DIM);
        put_text(layout.hints.row, 0, hints, layout.hints.cols);
        attroff(A_DIM);
    }

    // Pixel images that are no longer wanted go before ncurses draws.
    bool want_picture = picture_shown_ && !layout.too_small;
    if (session.kitty_image && (!want_picture || picture_dirty_ || session.full_redraw)) {
        const char remove_images[] = "\033_Ga=d\033\\";
        write_all(STDOUT_FILENO, remove_images, sizeof(remove_images) - 1);
        session.kitty_image = false;
    }
    if (was_on_screen && !want_picture && !session.full_redraw) {
        // Cells ncurses believes blank still show the picture.
        clearok(curscr, TRUE);
    }

    bool focused = focus_ >= 0 && !layout.too_small;
    curs_set(focused ? 1 : 0);
    move(session.cursor_row, session.cursor_col);
    wnoutrefresh(stdscr);
    doupdate();
    bool redrawn = session.full_redraw;
    session.full_redraw = false;

    if (want_picture && (picture_dirty_ || redrawn || !session.picture_on_screen)) {
        draw_picture();
    } else if (!want_picture) {
        session.picture_on_screen = false;
    }
}

void TerminalPlatform::draw_picture() {
    Session& session = *session_;
    const CellRect& area = session.layout.picture;
    PictureView view{surface_.data(), terminal_surface_width, terminal_surface_height, terminal_surface_width * 3};
    std::vector<std::string> rows =
        session.renderer->render(session.mode, view, area.cols, area.rows, session.cell_width, session.cell_height);
    std::string out;
    if (session.mode.output == PictureOutput::Symbols) {
        for (size_t i = 0; i < rows.size() && static_cast<int32_t>(i) < area.rows; ++i) {
            out += cursor_to(area.row + static_cast<int32_t>(i), area.col);
            out += rows[i];
        }
    } else if (!rows.empty()) {
        out += cursor_to(area.row, area.col);
        out += rows.front();
        session.kitty_image = session.mode.output == PictureOutput::Kitty;
    }
    if (const char* reset = capability("sgr0")) out += reset;
    // Back to where ncurses left the cursor, so that its next update lines up.
    out += cursor_to(session.cursor_row, session.cursor_col);
    write_all(STDOUT_FILENO, out.data(), out.size());
    picture_dirty_ = false;
    session.picture_on_screen = true;
}

// Reading MARIVUE_TTY_GRAPHICS and asking the terminal what it can draw.
#include "platform/terminal/terminal_query.h"

#include "platform/terminal/terminal_session.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>

namespace {

struct SettingName {
    const char* name;
    GraphicsSetting setting;
};

constexpr SettingName setting_names[] = {
    {"auto", GraphicsSetting::Auto},     {"sixel", GraphicsSetting::Sixels},      {"sixels", GraphicsSetting::Sixels},
    {"kitty", GraphicsSetting::Kitty},   {"symbols", GraphicsSetting::Blocks},    {"text", GraphicsSetting::Blocks},
    {"blocks", GraphicsSetting::Blocks}, {"sextants", GraphicsSetting::Sextants},
};

// The kitty query (image id 31, one RGB pixel, "query" action) and the
// device attributes request.
constexpr char graphics_queries[] = "\033_Gi=31,s=1,v=1,a=q,t=d,f=24;AAAA\033\\\033[c";

// Where the device attributes answer ("ESC [ ? params c") ends in `bytes`,
// or npos while it has not fully arrived.
size_t attributes_end(const std::string& bytes, size_t* params_start) {
    for (size_t at = bytes.find("\033[?"); at != std::string::npos; at = bytes.find("\033[?", at + 1)) {
        size_t end = at + 3;
        while (end < bytes.size() && (std::isdigit(static_cast<unsigned char>(bytes[end])) || bytes[end] == ';')) ++end;
        if (end < bytes.size() && bytes[end] == 'c') {
            *params_start = at + 3;
            return end;
        }
    }
    return std::string::npos;
}

}  // namespace

std::optional<GraphicsSetting> parse_graphics_setting(const char* value) {
    if (value == nullptr || *value == '\0') return GraphicsSetting::Auto;
    std::string lower;
    for (const char* p = value; *p != '\0'; ++p)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    for (const SettingName& entry : setting_names) {
        if (lower == entry.name) return entry.setting;
    }
    return std::nullopt;
}

std::string graphics_setting_error(const char* value) {
    return std::string(picture_override_variable) + "=" + (value != nullptr ? value : "") +
           " is not a drawing mode; use auto, sixel, kitty, symbols or sextants.";
}

TerminalGraphics parse_graphics_answers(const std::string& bytes) {
    TerminalGraphics found;
    size_t params = 0;
    size_t end = attributes_end(bytes, &params);
    if (end != std::string::npos) {
        found.answered = true;
        // The first number is the terminal's class; the features follow it.
        std::string list = bytes.substr(params, end - params);
        size_t at = list.find(';');
        while (at != std::string::npos) {
            size_t next = list.find(';', at + 1);
            if (list.compare(at + 1, next == std::string::npos ? std::string::npos : next - at - 1, "4") == 0) {
                found.sixels = true;
            }
            at = next;
        }
    }
    found.kitty = bytes.find("\033_Gi=31;OK") != std::string::npos;
    return found;
}

TerminalGraphics ask_terminal_graphics(int input, int output, int32_t timeout_ms) {
    struct termios saved {};
    if (tcgetattr(input, &saved) != 0) return {};
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    quiet.c_cc[VMIN] = 0;
    quiet.c_cc[VTIME] = 0;
    if (tcsetattr(input, TCSANOW, &quiet) != 0) return {};
    write_all(output, graphics_queries, sizeof(graphics_queries) - 1);

    std::string bytes;
    size_t params = 0;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
    while (attributes_end(bytes, &params) == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) break;
        struct pollfd ready {};
        ready.fd = input;
        ready.events = POLLIN;
        int got = poll(&ready, 1, static_cast<int>(left.count()));
        if (got < 0 && errno == EINTR) continue;
        if (got <= 0 || (ready.revents & POLLIN) == 0) break;
        char buffer[256];
        ssize_t count = ::read(input, buffer, sizeof(buffer));
        if (count <= 0) break;
        bytes.append(buffer, static_cast<size_t>(count));
    }
    tcsetattr(input, TCSANOW, &saved);
    return parse_graphics_answers(bytes);
}

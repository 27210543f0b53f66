// Reading MARIVUE_TTY_GRAPHICS and MARIVUE_TTY_COLOURS, and asking the
// terminal what it can draw.
#include "platform/terminal/terminal_query.h"
#include "platform/terminal/terminal_output.h"

#include <poll.h>
#include <termios.h>
#include <unistd.h>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <vector>

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

struct ColourName {
    const char* name;
    ColourSetting setting;
};

constexpr ColourName colour_names[] = {
    {"auto", ColourSetting::Auto},
    {"truecolor", ColourSetting::TrueColour},
    {"truecolour", ColourSetting::TrueColour},
    {"24bit", ColourSetting::TrueColour},
    {"256", ColourSetting::Colours256},
    {"16", ColourSetting::Colours16},
    {"8", ColourSetting::Colours8},
};

// Outside a multiplexer: the kitty query (image id 31, one RGB pixel,
// "query" action); the foreground set to red 1, green 2, blue 3, the
// graphic rendition asked back and reset; the description's "RGB" and "Tc"
// asked for (hex-coded names) one by one, since a terminal stops at the
// first name it lacks.
constexpr char direct_queries[] =
    "\033_Gi=31,s=1,v=1,a=q,t=d,f=24;AAAA\033\\"
    "\033[38;2;1;2;3m\033P$qm\033\\\033[m"
    "\033P+q524742\033\\\033P+q5463\033\\";
// Everywhere: the name and version, and the device attributes.
constexpr char common_queries[] = "\033[>q\033[c";

std::string lowered(const char* value) {
    std::string lower;
    for (const char* p = value; *p != '\0'; ++p)
        lower += static_cast<char>(std::tolower(static_cast<unsigned char>(*p)));
    return lower;
}

// The bodies of the device control strings in `bytes`, between ESC P and
// the string terminator (ESC backslash).
std::vector<std::string> control_strings(const std::string& bytes) {
    std::vector<std::string> found;
    for (size_t at = bytes.find("\033P"); at != std::string::npos; at = bytes.find("\033P", at + 1)) {
        const size_t end = bytes.find("\033\\", at);
        if (end == std::string::npos) break;
        found.push_back(bytes.substr(at + 2, end - at - 2));
    }
    return found;
}

// Whether a reported graphic rendition ("0;38:2::1:2:3m" and the like)
// still holds the colour red 1, green 2, blue 3 as a 24-bit colour: 38, 2,
// an optional colour space, then the three values, separated by colons or
// semicolons. A terminal that keeps fewer colours reports what it turned
// the colour into (38:5:16, say).
bool reports_direct_colour(const std::string& rendition) {
    std::vector<std::string> fields{""};
    for (char c : rendition) {
        if (c == ':' || c == ';') {
            fields.emplace_back();
        } else if (c != 'm') {
            fields.back() += c;
        }
    }
    const auto holds_values = [&](size_t at) {
        return at + 2 < fields.size() && fields[at] == "1" && fields[at + 1] == "2" && fields[at + 2] == "3";
    };
    for (size_t i = 0; i + 1 < fields.size(); ++i) {
        if (fields[i] == "38" && fields[i + 1] == "2" && (holds_values(i + 2) || holds_values(i + 3))) return true;
    }
    return false;
}

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
    const std::string lower = lowered(value);
    for (const SettingName& entry : setting_names) {
        if (lower == entry.name) return entry.setting;
    }
    return std::nullopt;
}

std::optional<ColourSetting> parse_colour_setting(const char* value) {
    if (value == nullptr || *value == '\0') return ColourSetting::Auto;
    const std::string lower = lowered(value);
    for (const ColourName& entry : colour_names) {
        if (lower == entry.name) return entry.setting;
    }
    return std::nullopt;
}

std::string graphics_setting_error(const char* value) {
    return std::string(picture_override_variable) + "=" + (value != nullptr ? value : "") +
           " is not a drawing mode; use auto, sixel, kitty, symbols or sextants.";
}

std::string colour_setting_error(const char* value) {
    return std::string(colour_override_variable) + "=" + (value != nullptr ? value : "") +
           " is not a colour depth; use auto, truecolor, 256, 16 or 8.";
}

TerminalAnswers parse_terminal_answers(const std::string& bytes) {
    TerminalAnswers found;
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
    for (const std::string& body : control_strings(bytes)) {
        // The rendition report: "1$r" and the rendition (some terminals put
        // 0 first), which is only there for a request they took.
        if (body.compare(1, 2, "$r") == 0 && reports_direct_colour(body.substr(3))) found.direct_colour = true;
        // A capability the description has comes back as 1+r NAME=VALUE (or
        // a bare NAME), one it lacks as 0+r.
        if (body.rfind("1+r", 0) == 0) {
            std::string name = lowered(body.c_str() + 3);
            name.erase(std::min(name.find('='), name.size()));
            if (name == "524742" || name == "5463") found.direct_colour = true;
        }
        if (body.rfind(">|tmux ", 0) == 0) found.tmux = true;
    }
    return found;
}

TerminalAnswers ask_terminal(int input, int output, int32_t timeout_ms, bool multiplexer) {
    struct termios saved {};
    if (tcgetattr(input, &saved) != 0) return {};
    struct termios quiet = saved;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ICANON | ECHO);
    quiet.c_cc[VMIN] = 0;
    quiet.c_cc[VTIME] = 0;
    if (tcsetattr(input, TCSANOW, &quiet) != 0) return {};
    if (!multiplexer) write_all(output, direct_queries, sizeof(direct_queries) - 1);
    write_all(output, common_queries, sizeof(common_queries) - 1);

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
    return parse_terminal_answers(bytes);
}

// The photo view's one key map, for every front end and for --help.
#include "platform/photo_view.h"

#include <algorithm>
#include <iterator>
#include <string>
#include <utility>
#include <vector>

namespace {

// The states a key is read in; a binding holds in any of its states.
enum State : uint8_t {
    fitted = 1,  // a picture that the view holds whole
    zoomed = 2,  // a picture zoomed past the view
    gallery = 4,
    searching = 8,  // the search field is open
    asking = 16,  // a question waits for its answer
};
constexpr uint8_t picture = fitted | zoomed;
constexpr uint8_t browsing = picture | gallery;

struct Binding {
    uint32_t key;
    uint8_t states;
    PhotoCommand command;
    // The --help line the key belongs to; bindings with the same text share
    // a line, and null ones are not listed.
    const char* help;
};

constexpr char next_help[] = "next picture (Right and Down pan when zoomed past the window)";
constexpr char previous_help[] = "previous picture (Left and Up pan when zoomed past the window)";
constexpr char ends_help[] = "first / last picture";
constexpr char zoom_help[] = "zoom in / out (Ctrl+wheel: about the pointer; drag to pan)";
constexpr char gallery_moves_help[] = "gallery: move the choice; Enter opens it";
constexpr char search_help[] = "search names as you type; Enter keeps the filter, Escape clears it";
constexpr char trash_help[] = "move the picture to the trash (after a question: Enter or y, Escape or n)";

// In the order --help lists them.
constexpr Binding bindings[] = {
    {photo_key_right, fitted, PhotoCommand::Next, next_help},
    {photo_key_down, fitted, PhotoCommand::Next, next_help},
    {' ', picture, PhotoCommand::Next, next_help},
    {photo_key_page_down, picture, PhotoCommand::Next, next_help},
    {photo_key_wheel_down, picture, PhotoCommand::Next, next_help},
    {photo_key_left, fitted, PhotoCommand::Previous, previous_help},
    {photo_key_up, fitted, PhotoCommand::Previous, previous_help},
    {photo_key_backspace, picture, PhotoCommand::Previous, previous_help},
    {photo_key_page_up, picture, PhotoCommand::Previous, previous_help},
    {photo_key_wheel_up, picture, PhotoCommand::Previous, previous_help},
    {photo_key_right, zoomed, PhotoCommand::PanRight, nullptr},
    {photo_key_left, zoomed, PhotoCommand::PanLeft, nullptr},
    {photo_key_up, zoomed, PhotoCommand::PanUp, nullptr},
    {photo_key_down, zoomed, PhotoCommand::PanDown, nullptr},
    {photo_key_home, browsing, PhotoCommand::First, ends_help},
    {photo_key_end, browsing, PhotoCommand::Last, ends_help},
    {'+', picture, PhotoCommand::ZoomIn, zoom_help},
    {'=', picture, PhotoCommand::ZoomIn, zoom_help},
    {'-', picture, PhotoCommand::ZoomOut, zoom_help},
    {'1', picture, PhotoCommand::ZoomActual, "actual size: one picture pixel per screen pixel"},
    {'0', picture, PhotoCommand::ZoomFit, "fit the picture to the window"},
    {'r', picture, PhotoCommand::RotateRight, "turn the view clockwise / anticlockwise (the file is not changed)"},
    {'R', picture, PhotoCommand::RotateLeft, "turn the view clockwise / anticlockwise (the file is not changed)"},
    {'f', browsing, PhotoCommand::FullScreen, "full screen on/off (also a double click)"},
    {photo_key_f11, browsing | searching, PhotoCommand::FullScreen, "full screen on/off (also a double click)"},
    {'s', picture, PhotoCommand::Slideshow, "slideshow on/off"},
    {'i', picture, PhotoCommand::Info, "picture information on/off"},
    {'g', browsing, PhotoCommand::Gallery, "gallery of thumbnails on/off"},
    {photo_key_right, gallery, PhotoCommand::Next, gallery_moves_help},
    {photo_key_left, gallery, PhotoCommand::Previous, gallery_moves_help},
    {photo_key_up, gallery, PhotoCommand::RowUp, gallery_moves_help},
    {photo_key_down, gallery, PhotoCommand::RowDown, gallery_moves_help},
    {photo_key_page_up, gallery, PhotoCommand::PageUp, gallery_moves_help},
    {photo_key_page_down, gallery, PhotoCommand::PageDown, gallery_moves_help},
    {photo_key_enter, gallery, PhotoCommand::Open, gallery_moves_help},
    {'/', browsing, PhotoCommand::Search, search_help},
    {photo_key_enter, searching, PhotoCommand::Confirm, nullptr},
    {photo_key_escape, searching, PhotoCommand::Cancel, nullptr},
    {photo_key_down, searching, PhotoCommand::Next, nullptr},
    {photo_key_page_down, searching, PhotoCommand::Next, nullptr},
    {photo_key_up, searching, PhotoCommand::Previous, nullptr},
    {photo_key_page_up, searching, PhotoCommand::Previous, nullptr},
    {photo_key_delete, browsing, PhotoCommand::Trash, trash_help},
    {photo_key_enter, asking, PhotoCommand::Confirm, nullptr},
    {'y', asking, PhotoCommand::Confirm, nullptr},
    {photo_key_escape, asking, PhotoCommand::Cancel, nullptr},
    {'n', asking, PhotoCommand::Cancel, nullptr},
    {photo_key_escape, browsing, PhotoCommand::Cancel, "leave full screen or the gallery, else quit"},
    {'q', browsing, PhotoCommand::Quit, "quit (also Ctrl+Q)"},
};

uint8_t state_of(const PhotoScene& scene) {
    if (!scene.confirmation.empty()) return asking;
    if (scene.searching) return searching;
    if (scene.mode == PhotoScene::Mode::gallery) return gallery;
    return scene.arrows_pan ? zoomed : fitted;
}

std::string key_name(uint32_t key) {
    switch (key) {
        case photo_key_right:
            return "Right";
        case photo_key_left:
            return "Left";
        case photo_key_up:
            return "Up";
        case photo_key_down:
            return "Down";
        case photo_key_page_up:
            return "Page Up";
        case photo_key_page_down:
            return "Page Down";
        case photo_key_home:
            return "Home";
        case photo_key_end:
            return "End";
        case photo_key_enter:
            return "Enter";
        case photo_key_escape:
            return "Escape";
        case photo_key_backspace:
            return "Backspace";
        case photo_key_delete:
            return "Delete";
        case photo_key_f11:
            return "F11";
        case photo_key_wheel_up:
            return "wheel up";
        case photo_key_wheel_down:
            return "wheel down";
        case ' ':
            return "Space";
        default:
            return std::string(1, static_cast<char>(key));
    }
}

}  // namespace

PhotoCommand photo_action(uint32_t key, bool control, const PhotoScene& scene) {
    if (control) return key == 'q' || key == 'Q' ? PhotoCommand::Quit : PhotoCommand::None;
    const uint8_t state = state_of(scene);
    for (const Binding& b : bindings)
        if (b.key == key && (b.states & state) != 0) return b.command;
    return PhotoCommand::None;
}

std::string photo_key_help(int32_t indent) {
    // One line per help text: its keys in table order, each once, then the
    // text in a column of its own.
    std::vector<std::pair<std::vector<std::string>, const char*>> lines;
    for (const Binding& b : bindings) {
        if (b.help == nullptr) continue;
        auto line = std::find_if(lines.begin(), lines.end(), [&b](const auto& l) { return l.second == b.help; });
        if (line == lines.end()) line = lines.insert(lines.end(), {{}, b.help});
        const std::string name = key_name(b.key);
        if (std::find(line->first.begin(), line->first.end(), name) == line->first.end()) line->first.push_back(name);
    }
    std::vector<std::string> keys;
    size_t column = 0;
    for (const auto& line : lines) {
        std::string joined;
        for (const std::string& name : line.first) joined += (joined.empty() ? "" : ", ") + name;
        keys.push_back(std::string(static_cast<size_t>(indent), ' ') + joined);
        column = std::max(column, keys.back().size() + 2);
    }
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i)
        text += keys[i] + std::string(column - keys[i].size(), ' ') + lines[i].second + "\n";
    return text;
}

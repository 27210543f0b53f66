// The one key map of the viewer.
#include "platform/key_map.h"

#include <algorithm>
#include <iterator>
#include <utility>
#include <vector>

namespace {

struct KeyBinding {
    ViewerKey key;
    ViewerAction action;
    const char* name;  // as --help writes it
};

// In the order --help lists them; every action's keys together.
constexpr KeyBinding bindings[] = {
    {ViewerKey::Right, ViewerAction::Forward, "Right"},
    {ViewerKey::Down, ViewerAction::Forward, "Down"},
    {ViewerKey::Space, ViewerAction::Forward, "Space"},
    {ViewerKey::PageDown, ViewerAction::Forward, "Page Down"},
    {ViewerKey::WheelDown, ViewerAction::Forward, "wheel down"},
    {ViewerKey::Left, ViewerAction::Back, "Left"},
    {ViewerKey::Up, ViewerAction::Back, "Up"},
    {ViewerKey::Backspace, ViewerAction::Back, "Backspace"},
    {ViewerKey::PageUp, ViewerAction::Back, "Page Up"},
    {ViewerKey::WheelUp, ViewerAction::Back, "wheel up"},
    {ViewerKey::Home, ViewerAction::First, "Home"},
    {ViewerKey::End, ViewerAction::Last, "End"},
    {ViewerKey::Slash, ViewerAction::Search, "/"},
    {ViewerKey::Tab, ViewerAction::Search, "Tab"},
    {ViewerKey::Enter, ViewerAction::LeaveSearch, "Enter"},
    {ViewerKey::Escape, ViewerAction::LeaveSearch, "Escape"},
    {ViewerKey::Escape, ViewerAction::Quit, "Escape"},
    {ViewerKey::Q, ViewerAction::Quit, "q"},
    {ViewerKey::F11, ViewerAction::FullScreen, "F11"},
};

const char* action_help(ViewerAction action) {
    switch (action) {
        case ViewerAction::Forward:
            return "next picture (>>>)";
        case ViewerAction::Back:
            return "previous picture (<<<)";
        case ViewerAction::First:
            return "first picture";
        case ViewerAction::Last:
            return "last picture";
        case ViewerAction::Search:
            return "type in the search box";
        case ViewerAction::LeaveSearch:
            return "leave the search box (text kept)";
        case ViewerAction::Quit:
            return "quit (outside the search box)";
        case ViewerAction::FullScreen:
            return "full screen on/off (window)";
        case ViewerAction::None:
            break;
    }
    return "";
}

// The keys that act while the search box is being typed in; the box takes
// every other key.
bool acts_while_searching(ViewerAction action) {
    return action == ViewerAction::LeaveSearch || action == ViewerAction::FullScreen;
}

bool is_wheel(ViewerKey key) { return key == ViewerKey::WheelDown || key == ViewerKey::WheelUp; }

}  // namespace

ViewerAction viewer_action(ViewerKey key, bool searching) {
    for (const KeyBinding& binding : bindings) {
        if (binding.key != key) continue;
        if (searching && !acts_while_searching(binding.action) && !is_wheel(key)) continue;
        if (!searching && binding.action == ViewerAction::LeaveSearch) continue;
        return binding.action;
    }
    return ViewerAction::None;
}

std::string key_help(int32_t indent) {
    // One line per action: its keys, then what it does in a column of its own.
    std::vector<std::pair<std::string, ViewerAction>> lines;
    for (size_t i = 0; i < std::size(bindings); ++i) {
        if (i > 0 && bindings[i - 1].action == bindings[i].action) {
            lines.back().first += std::string(", ") + bindings[i].name;
        } else {
            lines.emplace_back(std::string(static_cast<size_t>(indent), ' ') + bindings[i].name, bindings[i].action);
        }
    }
    size_t column = 0;
    for (const auto& line : lines) column = std::max(column, line.first.size() + 2);
    std::string text;
    for (auto& [keys, action] : lines)
        text += keys + std::string(column - keys.size(), ' ') + action_help(action) + "\n";
    return text;
}

bool send_viewer_command(DialogModel& dialog, ViewerAction action) {
    if (action == ViewerAction::Forward || action == ViewerAction::Back) {
        const std::u16string label = action == ViewerAction::Forward ? u">>>" : u"<<<";
        for (const DialogControl& c : dialog.controls()) {
            if (c.control_class == control_class_button && c.text == label && !(c.layout.style & style_disabled)) {
                dialog.notify(c.layout.id, button_clicked);
                break;
            }
        }
        return true;
    }
    const uint16_t command = action == ViewerAction::First  ? command_first_picture
                             : action == ViewerAction::Last ? command_last_picture
                             : action == ViewerAction::Quit ? command_ok
                                                            : 0;
    if (command != 0) dialog.notify(command, button_clicked);
    return command != 0;
}

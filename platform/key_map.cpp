// The one key map of the viewer.
#include "platform/key_map.h"

#include <algorithm>
#include <iterator>

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
            return "leave the search box, keeping its text";
        case ViewerAction::Quit:
            return "quit (outside the search box)";
        case ViewerAction::FullScreen:
            return "full screen on and off (the window; also a double click)";
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
    constexpr size_t key_column = 36;
    std::string text;
    for (size_t i = 0; i < std::size(bindings); ++i) {
        if (i > 0 && bindings[i - 1].action == bindings[i].action) continue;
        std::string line(static_cast<size_t>(indent), ' ');
        for (size_t j = i; j < std::size(bindings) && bindings[j].action == bindings[i].action; ++j) {
            if (j > i) line += ", ";
            line += bindings[j].name;
        }
        line.resize(std::max(line.size() + 2, key_column), ' ');
        text += line + action_help(bindings[i].action) + "\n";
    }
    return text;
}

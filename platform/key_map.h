// The viewer's keys, one map for every front end. A front end names the key
// it received as a ViewerKey and does what viewer_action answers; the same
// table gives the key list of --help.
#pragma once

#include "platform/dialog_model.h"
#include "platform/platform.h"

#include <cstdint>
#include <string>

// The keys (and wheel turns) the viewer gives a meaning to.
enum class ViewerKey : uint8_t {
    Right,
    Left,
    Down,
    Up,
    Space,
    Backspace,
    PageDown,
    PageUp,
    Home,
    End,
    Slash,
    Tab,
    Enter,
    Escape,
    Q,
    F11,
    WheelDown,  // the wheel turned towards the user, over the picture
    WheelUp,
};

enum class ViewerAction : uint8_t {
    None,  // the key is not the viewer's: a search box being typed in takes it
    Forward,  // the ">>>" button
    Back,  // the "<<<" button
    First,  // command_first_picture
    Last,  // command_last_picture
    Search,  // into the search box
    LeaveSearch,  // out of the search box, its text kept
    Quit,  // the done button (command_ok)
    FullScreen,  // full screen on or off, where the front end has a window
};

// What `key` does; `searching` is true while the search box has the focus,
// where only the keys that leave it (and the wheel and full screen) act.
ViewerAction viewer_action(ViewerKey key, bool searching);

// Commands the key map sends to the dialog beside its buttons: the first
// and the last picture that stepping can reach.
constexpr uint16_t command_first_picture = 0x7F01;
constexpr uint16_t command_last_picture = 0x7F02;

// Sends `dialog` the command `action` stands for: a press of its ">>>" or
// "<<<" button (when enabled), the first or the last picture, or the done
// button. False, with nothing sent, for the actions each front end carries
// out itself (the search box's focus, full screen).
bool send_viewer_command(DialogModel& dialog, ViewerAction action);

// The keys for --help and the manual: one line per action, indented by
// `indent` spaces.
std::string key_help(int32_t indent);

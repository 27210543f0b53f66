// The collection dialog's work on the platform side: the shell's set-up,
// the frame bitmap on an off-screen context, painting it, running a dialog
// from the program's template, and the commands it dispatches.
#pragma once

#include "app/viewer.h"
#include "platform/platform.h"

#include <cstdint>

// The frame as the platform holds it. The header is the dialog's own
// allocation, kept from one run to the next.
struct FrameSurface {
    BitmapInfoHeader* header = nullptr;
    BitmapHandle bitmap{};
    uint8_t* pixels = nullptr;
    DrawContext memory_dc{};  // null until the frame exists
};

// The shell's set-up every viewer dialog asks for: a done button, sized to
// the screen, input panel down, no menu bar.
void init_dialog_shell(Platform& platform, WindowHandle dialog);

// Makes a black `width` x `height` frame bitmap selected into a new
// off-screen context. Null on success, else the diagnostic line that says
// what could not be made (the surface then has no context).
const char* create_frame_surface(Platform& platform, int32_t width, int32_t height, FrameSurface& surface);

// Says on the diagnostic output which set-up resource failed and ends the
// dialog rather than run on with null handles.
intptr_t abandon_set_up(Platform& platform, WindowHandle dialog, const char* what);

// The paint message: the frame copied to the top-left of the client area,
// or, while `hidden` (the input panel is up) or without a frame, the default
// handling.
intptr_t paint_frame(Platform& platform, WindowHandle dialog, const FrameSurface& surface, int32_t width,
                     int32_t height, bool hidden, uintptr_t first, intptr_t second);

// Invalidates the whole client area and has it painted at once.
void redraw_dialog(Platform& platform, WindowHandle dialog);

// Runs `procedure` modally on the program's dialog template `template_id`;
// says so on the diagnostic output when the template is missing.
void run_dialog(Platform& platform, ModuleHandle instance, uint16_t template_id, DialogProcedure procedure);

// What a viewer dialog does for the commands it shares with the others: a
// step (or, `from_far_end`, a jump to the first or last picture), a
// notification from the search box, and anything to finish before the
// done button ends it (may be null).
struct DialogCommands {
    intptr_t (*step)(Platform& platform, WindowHandle dialog, StepDirection direction, bool from_far_end);
    intptr_t (*search_box)(Platform& platform, WindowHandle dialog);
    void (*before_end)();
};

// A command message's handling: the step buttons, Home and End, the search
// box and the done button; 0 for any other command.
intptr_t dispatch_command(Platform& platform, WindowHandle dialog, uintptr_t first, const DialogCommands& commands);

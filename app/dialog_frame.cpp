#include "app/dialog_frame.h"

#include "app/frame_loader.h"

#include "platform/key_map.h"

#include <cstring>
#include <new>

void init_dialog_shell(Platform& platform, WindowHandle dialog) {
    ShellDialogInit shell{};
    shell.mask = shell_init_mask_flags;
    shell.window = dialog;
    shell.flags =
        shell_init_done_button | shell_init_size_dialog | shell_init_sip_down | shell_init_full_screen_no_menu;
    platform.shell_init_dialog(shell);
}

const char* create_frame_surface(Platform& platform, int32_t width, int32_t height, FrameSurface& surface) {
    if (surface.header == nullptr) surface.header = new (std::nothrow) BitmapInfoHeader;
    if (surface.header == nullptr) return "Error: Set-up failed! No memory for the bitmap header.\n";
    fill_bitmap_header(surface.header, width, height);

    DrawContext screen = platform.get_screen_context(null_window);
    if (screen == null_context) return "Error: Set-up failed! No screen drawing context.\n";
    DrawContext memory = platform.create_compatible_context(screen);
    if (memory == null_context) return "Error: Set-up failed! No off-screen drawing context.\n";

    uint8_t* pixels = nullptr;
    BitmapHandle bitmap = platform.create_dib_section(memory, surface.header, dib_rgb_colours, &pixels, 0, 0);
    if (bitmap == null_bitmap || pixels == nullptr) return "Error: Set-up failed! No frame bitmap.\n";
    surface.bitmap = bitmap;
    surface.pixels = pixels;
    platform.select_object(memory, bitmap);
    surface.memory_dc = memory;
    std::memset(pixels, 0, static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    return nullptr;
}

intptr_t abandon_set_up(Platform& platform, WindowHandle dialog, const char* what) {
    platform.diagnostic_print(what, 0);
    platform.end_dialog(dialog, 0);
    return 1;
}

intptr_t paint_frame(Platform& platform, WindowHandle dialog, const FrameSurface& surface, int32_t width,
                     int32_t height, bool hidden, uintptr_t first, intptr_t second) {
    if (hidden || surface.memory_dc == null_context)
        return platform.default_window_procedure(dialog, message_paint, first, second);
    PaintInfo info{};
    DrawContext window = platform.begin_paint(dialog, &info);
    platform.select_object(surface.memory_dc, surface.bitmap);
    platform.block_copy(window, 0, 0, width, height, surface.memory_dc, 0, 0, raster_source_copy);
    platform.end_paint(dialog, &info);
    return 1;
}

void redraw_dialog(Platform& platform, WindowHandle dialog) {
    Rect client{};
    platform.get_client_rect(dialog, &client);
    platform.invalidate_rect(dialog, &client, 1);
    platform.update_window(dialog);
}

void run_dialog(Platform& platform, ModuleHandle instance, uint16_t template_id, DialogProcedure procedure) {
    const uint8_t* template_bytes = nullptr;
    uint32_t template_size = 0;
    if (!platform.find_resource(instance, resource_type_dialog, template_id, &template_bytes, &template_size)) {
        platform.diagnostic_print("Error: Dialog template %i is missing!\n", template_id);
        return;
    }
    platform.dialog_box_indirect(instance, template_bytes, template_size, null_window, procedure, 0);
}

intptr_t dispatch_command(Platform& platform, WindowHandle dialog, uintptr_t first, const DialogCommands& commands) {
    switch (command_control_id(first)) {
        case command_ok:
            if (commands.before_end != nullptr) commands.before_end();
            platform.end_dialog(dialog, 1);
            return 1;
        case control_forward:
            return commands.step(platform, dialog, StepForward, false);
        case control_back:
            return commands.step(platform, dialog, StepBack, false);
        case command_first_picture:
            return commands.step(platform, dialog, StepForward, true);
        case command_last_picture:
            return commands.step(platform, dialog, StepBack, true);
        case control_search_box:
            return commands.search_box(platform, dialog);
        default:
            return 0;
    }
}

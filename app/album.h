// The album: the viewer's dialog over picture files instead of the
// collection. The same template, controls and keys; the caption box names
// the file, the details box gives the picture's size, the file's size and
// its date; the search box restricts stepping to files whose name contains
// its text, with the collection's marker rule.
#pragma once

#include "app/dialog_frame.h"
#include "app/picture_fit.h"
#include "app/picture_prefetch.h"
#include "app/viewer.h"

#include <cstddef>
#include <string>
#include <vector>

struct AlbumDialog {
    std::vector<std::string> paths;  // the pictures, in stepping order
    std::vector<std::u16string> names;  // their file names, as the caption box and the filter see them
    size_t current = 0;
    bool fitted = false;  // the frame holds picture `current`
    FrameSurface frame;  // album_frame_width x album_frame_height
    PictureOutcome shown;  // of the picture on show

    char16_t search_text[text_buffer_units] = {};
    uint8_t filter_active = 0;
    uint8_t input_panel_up = 0;

    // The next picture in the direction of the last step, fitted ahead.
    PicturePrefetch prefetch;
};

// The one album of the process. Only its dialog procedure changes it.
extern AlbumDialog album_dialog;

// The details box's text: the picture's size, the file's size and the date
// (taken, else modified, in local time), a line each; lines that are not
// known are left out.
std::u16string album_details(const PictureFacts& facts);

intptr_t album_dialog_procedure(Platform& platform, WindowHandle dialog, uint32_t message, uintptr_t first,
                                intptr_t second);

// Runs the album over `paths` (not empty) modally on `platform`. The work
// ahead is stopped before it returns, or let go when it does not stop at
// once (PicturePrefetch::threads_running then says so).
void album_entry(Platform& platform, ModuleHandle instance, std::vector<std::string> paths);

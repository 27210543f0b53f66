// Dialog units and the desktop front end's scale. A dialog template places
// its controls in dialog units; the front end turns them into pixels with
// fixed base units and then multiplies by a whole scale, so the frame
// bitmap is enlarged by whole pixels and stays sharp.
#pragma once

#include "platform/platform.h"

#include <cstdint>

// Horizontal and vertical base units: pixels per 4 horizontal and per 8
// vertical dialog units.
constexpr int32_t dialog_base_unit_x = 7;
constexpr int32_t dialog_base_unit_y = 16;

// Greatest --scale the front end accepts.
constexpr int32_t desktop_scale_maximum = 16;

// The shell's title bar, in pixels at scale 1.
constexpr int32_t title_bar_height = 26;

// The pixel rectangle of a template rectangle at `scale`: each edge is
// converted from dialog units (rounded to the nearest pixel) and then
// multiplied by `scale`, so neighbouring controls keep their gaps.
Rect dialog_units_to_pixels(int32_t x, int32_t y, int32_t width, int32_t height, int32_t scale);

// The scale that suits the primary screen for a window of `width` x
// `height` pixels at scale 1: one pixel per device-independent pixel for
// each 96 dots per inch of logical resolution, lowered until the window
// fits the screen. Needs the toolkit's application object.
int32_t screen_scale_for(int32_t width, int32_t height);

// The same for the viewer's dialog below the shell's title bar.
int32_t screen_scale();

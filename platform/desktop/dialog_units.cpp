// Dialog units to pixels, and the scale that suits the screen.
#include "platform/desktop/dialog_units.h"

#include <QGuiApplication>
#include <QScreen>

#include <algorithm>
#include <cmath>

namespace {

// Rounds like the handheld's multiply-then-divide helper: to nearest, halves away from zero.
int32_t mul_div(int32_t value, int32_t multiplier, int32_t divisor) {
    int64_t product = int64_t{value} * multiplier;
    int64_t half = divisor / 2;
    return static_cast<int32_t>(product >= 0 ? (product + half) / divisor : -((-product + half) / divisor));
}

}  // namespace

Rect dialog_units_to_pixels(int32_t x, int32_t y, int32_t width, int32_t height, int32_t scale) {
    int32_t left = mul_div(x, dialog_base_unit_x, 4);
    int32_t top = mul_div(y, dialog_base_unit_y, 8);
    int32_t right = left + mul_div(width, dialog_base_unit_x, 4);
    int32_t bottom = top + mul_div(height, dialog_base_unit_y, 8);
    return Rect{left * scale, top * scale, right * scale, bottom * scale};
}

int32_t screen_scale_for(int32_t width, int32_t height) {
    const QScreen* screen = QGuiApplication::primaryScreen();
    if (screen == nullptr) return 1;
    int32_t scale = static_cast<int32_t>(std::lround(screen->logicalDotsPerInch() / 96.0));
    scale = std::clamp(scale, 1, desktop_scale_maximum);
    const QSize room = screen->availableSize();
    while (scale > 1 && (width * scale > room.width() || height * scale > room.height())) --scale;
    return scale;
}

int32_t screen_scale() {
    // The viewer's dialog: 317 x 272 pixels below the shell's title bar.
    Rect dialog = dialog_units_to_pixels(0, 0, 181, 136, 1);
    return screen_scale_for(dialog.right, dialog.bottom + title_bar_height);
}

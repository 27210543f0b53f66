// Dialog units. A dialog template places its controls in dialog units,
// which stand for a fraction of the dialog font: a horizontal unit is a
// quarter of the font's average character width, a vertical unit an eighth
// of its line height. Taken from the desktop's own font, they make every
// control as large as its text needs, whatever the font size or the
// screen's resolution.
#pragma once

#include <QFont>

#include <cstdint>

// The font's base units: average character width and line height, in
// device-independent pixels.
struct DialogUnits {
    int32_t base_x = 7;
    int32_t base_y = 16;

    int32_t x(int32_t units) const { return scaled(units, base_x, 4); }
    int32_t y(int32_t units) const { return scaled(units, base_y, 8); }

private:
    // value x multiplier / divisor, to nearest with halves away from zero.
    static int32_t scaled(int32_t value, int32_t multiplier, int32_t divisor);
};

// The base units of `font`: the average width of the 52 Latin letters,
// rounded, and the height of a line.
DialogUnits dialog_units_of(const QFont& font);

// The desktop dialog's layout at any window size, computed from its
// template. The template has the handheld's shape: a free region at the
// top left where the dialog draws its picture, a column of controls at its
// right, and a strip of controls below it. In a window of any size the
// column keeps its controls' order and heights (in dialog units of the
// desktop font) and widens with the window, its multi-line boxes taking
// the height left over; the strip spans the width under the picture and
// grows in height with the window; the picture region takes the rest. A
// done button, when the dialog has one, ends the column.
#pragma once

#include "platform/desktop/dialog_units.h"
#include "platform/dialog_template.h"

#include <QRect>
#include <QSize>

#include <cstdint>
#include <vector>

struct DialogLayout {
    QRect picture_area;  // where the dialog's drawing is shown
    std::vector<QRect> controls;  // one per template control, in template order
    QRect done;  // the done button; empty without one
};

DialogLayout layout_dialog(const DialogTemplate& layout, const DialogUnits& units, QSize window, bool with_done);

// The size of the free region in the template's own pixels (base units of
// 7 x 16 pixels, as the handheld has them): the dialog's drawing
// coordinates before any drawing tells the real extent.
QSize template_picture_size(const DialogTemplate& layout);

// The window whose picture region is `picture_height` pixels high, and
// the smallest window: the picture region at its template size, every
// control at its height.
QSize dialog_size_for_picture(const DialogTemplate& layout, const DialogUnits& units, int32_t picture_height,
                              bool with_done);
QSize smallest_dialog_size(const DialogTemplate& layout, const DialogUnits& units, bool with_done);

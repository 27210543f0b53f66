// The dialog's client area: draws through the dialog procedure.
#include "platform/desktop/dialog_area.h"

#include "platform/desktop/desktop_dialog.h"

#include <QPaintEvent>

DialogArea::DialogArea(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog, QWidget* parent)
    : QWidget(parent), platform_(platform), dialog_(dialog) {
    // The toolkit erases the background before every paint event, which
    // is what the default procedure's erase would do.
    setAutoFillBackground(true);
}

void DialogArea::paintEvent(QPaintEvent* event) {
    dialog_.paint_rect = event->rect();
    platform_.deliver_paint(dialog_);
}

// The dialog's client area: draws through the dialog procedure, places the
// controls, and takes the wheel and double clicks over the picture.
#include "platform/desktop/dialog_area.h"

#include "platform/desktop/desktop_dialog.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QWheelEvent>

namespace {

// One notch of a mouse wheel, in eighths of a degree.
constexpr int wheel_notch = 120;

}  // namespace

DialogArea::DialogArea(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog, QWidget* parent)
    : QWidget(parent), platform_(platform), dialog_(dialog) {
    // The toolkit erases the background before every paint event, which
    // is what the default procedure's erase would do.
    setAutoFillBackground(true);
    // A click on the picture takes the focus out of the search box.
    setFocusPolicy(Qt::ClickFocus);
}

void DialogArea::paintEvent(QPaintEvent* event) {
    dialog_.paint_rect = event->rect();
    platform_.deliver_paint(dialog_);
}

void DialogArea::resizeEvent(QResizeEvent*) { platform_.place_controls(dialog_); }

bool DialogArea::over_picture(QPointF position) const { return QRectF(dialog_.placed.picture_area).contains(position); }

void DialogArea::wheelEvent(QWheelEvent* event) {
    if (!over_picture(event->position())) {
        event->ignore();
        return;
    }
    // Touchpads turn in small amounts: a step for every notch's worth.
    wheel_turned_ += event->angleDelta().y();
    while (wheel_turned_ <= -wheel_notch || wheel_turned_ >= wheel_notch) {
        const bool down = wheel_turned_ < 0;
        wheel_turned_ += down ? wheel_notch : -wheel_notch;
        platform_.perform(dialog_, viewer_action(down ? ViewerKey::WheelDown : ViewerKey::WheelUp, false));
        if (dialog_.ended) break;
    }
    event->accept();
}

void DialogArea::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && over_picture(event->position())) {
        platform_.perform(dialog_, ViewerAction::FullScreen);
        event->accept();
    } else {
        QWidget::mouseDoubleClickEvent(event);
    }
}

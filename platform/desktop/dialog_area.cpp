// The dialog's client area: reports paints and sizes, and the wheel and
// double clicks over the picture.
#include "platform/desktop/dialog_area.h"

#include <QMouseEvent>
#include <QPaintEvent>
#include <QWheelEvent>

namespace {

// One notch of a mouse wheel, in eighths of a degree.
constexpr int wheel_notch = 120;

}  // namespace

DialogArea::DialogArea(QWidget* parent) : QWidget(parent) {
    // The toolkit erases the background before every paint event, which
    // is what the default procedure's erase would do.
    setAutoFillBackground(true);
    // A click on the picture takes the focus out of the search box.
    setFocusPolicy(Qt::ClickFocus);
}

void DialogArea::paintEvent(QPaintEvent*) { emit paint_requested(); }

void DialogArea::resizeEvent(QResizeEvent*) { emit resized(); }

void DialogArea::wheelEvent(QWheelEvent* event) {
    if (!over_picture(event->position())) {
        event->ignore();
        return;
    }
    // Touchpads turn in small amounts: a notch is reported once its worth
    // has been turned.
    wheel_turned_ += event->angleDelta().y();
    const int notches = wheel_turned_ / wheel_notch;
    wheel_turned_ -= notches * wheel_notch;
    if (notches != 0) emit wheel_turned(notches);
    event->accept();
}

void DialogArea::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && over_picture(event->position())) {
        emit picture_double_clicked();
        event->accept();
    } else {
        QWidget::mouseDoubleClickEvent(event);
    }
}

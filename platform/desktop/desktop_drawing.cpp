// The desktop front end's drawing: the dialog's window contexts, its paint
// events, and the picture its procedure drew scaled smoothly into the
// picture area.
#include "platform/desktop/desktop_platform.h"

#include "platform/desktop/desktop_dialog.h"
#include "platform/desktop/dialog_area.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

QRectF DesktopPlatform::Dialog::drawing_extent() const {
    const Rect& drawn = model->drawn();
    if (drawn.right <= drawn.left) return QRectF(QPointF(0, 0), template_picture_size(model->layout()));
    return QRectF(drawn.left, drawn.top, drawn.right - drawn.left, drawn.bottom - drawn.top);
}

QRectF DesktopPlatform::Dialog::picture_rect() const {
    const QRectF extent = drawing_extent();
    const QRectF room = placed.picture_area;
    if (extent.isEmpty() || room.isEmpty()) return QRectF(room.topLeft(), QSizeF(0, 0));
    const double zoom = std::min(room.width() / extent.width(), room.height() / extent.height());
    const QSizeF size = extent.size() * zoom;
    return QRectF(room.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

void DesktopPlatform::paint(Dialog& d) {
    // The toolkit has erased the part it repaints: to the dialog that part
    // is invalid, and its procedure draws it again.
    d.model->invalidate(nullptr, true);
    d.model->deliver_paint();
    if (!d.model->picture_shown()) return;
    // The block the procedure drew, fitted into the picture area.
    const QImage drawing(d.model->pixels().data(), dialog_client_width, dialog_client_height, dialog_client_width * 3,
                         QImage::Format_BGR888);
    QPainter painter(d.area);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawImage(d.picture_rect(), drawing, d.drawing_extent());
}

bool DesktopPlatform::invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) {
    Dialog* d = find_dialog(window);
    if (!DialogPlatform::invalidate_rect(window, rect, erase)) return false;
    d->area->update();
    return true;
}

bool DesktopPlatform::update_window(WindowHandle window) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    // A hidden widget is painted when it is shown.
    if (d->model->invalid() && d->area->isVisible()) d->area->repaint();
    return true;
}

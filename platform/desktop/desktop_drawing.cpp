// The desktop front end's drawing: the dialog's window contexts, its paint
// events, and the frame scaled smoothly into the picture area.
#include "platform/desktop/desktop_platform.h"

#include "platform/desktop/desktop_dialog.h"
#include "platform/desktop/dialog_area.h"

#include <QImage>
#include <QPainter>

#include <algorithm>

QRectF DesktopPlatform::Dialog::drawing_extent() const {
    return drawn.isEmpty() ? QRectF(QPointF(0, 0), template_picture_size(model->layout())) : QRectF(drawn);
}

QRectF DesktopPlatform::Dialog::picture_rect() const {
    const QRectF extent = drawing_extent();
    const QRectF room = placed.picture_area;
    if (extent.isEmpty() || room.isEmpty()) return QRectF(room.topLeft(), QSizeF(0, 0));
    const double zoom = std::min(room.width() / extent.width(), room.height() / extent.height());
    const QSizeF size = extent.size() * zoom;
    return QRectF(room.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

QRectF DesktopPlatform::Dialog::to_widget(const QRectF& r) const {
    const QRectF picture = picture_rect();
    const QRectF extent = drawing_extent();
    const double zoom = extent.isEmpty() ? 1.0 : picture.width() / extent.width();
    return QRectF(picture.topLeft() + (r.topLeft() - extent.topLeft()) * zoom, r.size() * zoom);
}

QRectF DesktopPlatform::Dialog::to_dialog(const QRectF& r) const {
    const QRectF picture = picture_rect();
    const QRectF extent = drawing_extent();
    const double zoom = picture.width() > 0 ? extent.width() / picture.width() : 1.0;
    return QRectF(extent.topLeft() + (r.topLeft() - picture.topLeft()) * zoom, r.size() * zoom);
}

DrawContext DesktopPlatform::get_screen_context(WindowHandle window) {
    if (window != null_window && find_dialog(window) == nullptr) return null_context;
    return add_context(window == null_window ? SurfaceContext::Screen : SurfaceContext::Window, window);
}

DrawContext DesktopPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    Dialog* d = find_dialog(window);
    if (info != nullptr) *info = PaintInfo{null_context, 0, Rect{0, 0, 0, 0}};
    if (d == nullptr) return null_context;
    d->model->validate();
    // Outside its paint event a widget cannot be drawn on: the toolkit
    // delivers a paint message for that soon enough.
    if (!d->in_paint_event) return null_context;
    if (d->paint_context == null_context || find_context(d->paint_context) == nullptr)
        d->paint_context = add_context(SurfaceContext::Window, window);
    if (!d->painter) d->painter = std::make_unique<QPainter>(d->area);
    if (info != nullptr) {
        const QRect r = d->to_dialog(QRectF(d->paint_rect)).toAlignedRect();
        info->context = d->paint_context;
        info->erase = 0;  // already erased by the toolkit
        info->paint_rect = Rect{r.left(), r.top(), r.right() + 1, r.bottom() + 1};
    }
    return d->paint_context;
}

bool DesktopPlatform::end_paint(WindowHandle window, const PaintInfo*) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    if (d->painter) d->painter->end();
    d->painter.reset();
    return true;
}

bool DesktopPlatform::draw_to_window(const SurfaceContext& destination, SurfaceBitmap& source, int32_t x, int32_t y,
                                     int32_t width, int32_t height, int32_t source_x, int32_t source_y) {
    // The part of the request that lies inside the source bitmap.
    const QRect wanted(source_x, source_y, width, height);
    const QRect part = wanted.intersected(QRect(0, 0, source.width, source.height));
    if (part.isEmpty()) return true;
    const int32_t dx = x + (part.left() - source_x);
    const int32_t dy = y + (part.top() - source_y);

    Dialog* d = find_dialog(destination.window);
    if (d == nullptr || !d->painter || !d->painter->isActive()) return false;
    QImage frame(source.pixels.get(), source.width, source.height, source.pitch, QImage::Format_BGR888);
    if (!source.top_down) frame = frame.mirrored(false, true);
    // The first copy tells how large the dialog's drawing is; the picture
    // area shows that block, smoothly scaled.
    const QRect block(dx, dy, part.width(), part.height());
    d->drawn = d->drawn.isEmpty() ? block : d->drawn.united(block);
    d->painter->setRenderHint(QPainter::SmoothPixmapTransform);
    d->painter->drawImage(d->to_widget(QRectF(block)), frame, QRectF(part));
    return true;
}

bool DesktopPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (rect == nullptr) return false;
    *rect = Rect{0, 0, 0, 0};
    for (const auto& entry : dialogs_) {
        const Dialog& d = *entry.second;
        const QWidget* widget = d.model->handle() == window ? d.area : nullptr;
        const std::vector<DialogControl>& controls = d.model->controls();
        for (size_t i = 0; i < controls.size() && i < d.widgets.size(); ++i)
            if (controls[i].window == window) widget = d.widgets[i];
        if (widget != nullptr) {
            const QSizeF size = d.to_dialog(QRectF(QPointF(0, 0), QSizeF(widget->size()))).size();
            *rect = Rect{0, 0, static_cast<int32_t>(size.width()), static_cast<int32_t>(size.height())};
            return true;
        }
    }
    return false;
}

bool DesktopPlatform::invalidate_rect(WindowHandle window, const Rect* rect, int32_t erase) {
    Dialog* d = find_dialog(window);
    if (!DialogPlatform::invalidate_rect(window, rect, erase)) return false;
    // The toolkit erases whatever it repaints, so the erase flag is implied.
    if (rect == nullptr) {
        d->area->update();
    } else {
        d->area->update(d->to_widget(QRectF(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top))
                            .toAlignedRect());
    }
    return true;
}

bool DesktopPlatform::update_window(WindowHandle window) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    // A hidden widget is painted when it is shown.
    if (d->model->invalid() && d->area->isVisible()) d->area->repaint();
    return true;
}

// The desktop front end's drawing: the dialog's window contexts, its paint
// events, and the frame enlarged onto the window.
#include "platform/desktop/desktop_platform.h"

#include "platform/desktop/desktop_dialog.h"
#include "platform/desktop/dialog_area.h"

#include <QImage>
#include <QPainter>

DrawContext DesktopPlatform::get_screen_context(WindowHandle window) {
    if (window != null_window && find_dialog(window) == nullptr) return null_context;
    return add_context(window == null_window ? SurfaceContext::Screen : SurfaceContext::Window, window);
}

DrawContext DesktopPlatform::begin_paint(WindowHandle window, PaintInfo* info) {
    Dialog* d = find_dialog(window);
    if (info != nullptr) *info = PaintInfo{null_context, 0, Rect{0, 0, 0, 0}};
    if (d == nullptr) return null_context;
    d->invalid = false;
    // Outside its paint event a widget cannot be drawn on: the toolkit
    // delivers a paint message for that soon enough.
    if (!d->in_paint_event) return null_context;
    if (d->paint_context == null_context || find_context(d->paint_context) == nullptr)
        d->paint_context = add_context(SurfaceContext::Window, window);
    if (!d->painter) d->painter = std::make_unique<QPainter>(d->area);
    if (info != nullptr) {
        const QRect r = d->paint_rect;
        const int32_t s = d->scale;
        info->context = d->paint_context;
        info->erase = 0;  // already erased by the toolkit
        info->paint_rect = Rect{r.left() / s, r.top() / s, (r.right() + s) / s, (r.bottom() + s) / s};
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
    // Nearest-neighbour enlargement keeps every pixel a sharp square.
    const int32_t s = d->scale;
    const QImage scaled =
        frame.copy(part).scaled(part.width() * s, part.height() * s, Qt::IgnoreAspectRatio, Qt::FastTransformation);
    d->painter->drawImage(QPoint(dx * s, dy * s), scaled);
    ++window_copies_;
    return true;
}

bool DesktopPlatform::get_client_rect(WindowHandle window, Rect* rect) {
    if (rect == nullptr) return false;
    *rect = Rect{0, 0, 0, 0};
    for (const auto& entry : dialogs_) {
        const Dialog& d = *entry.second;
        const QWidget* widget = nullptr;
        if (d.handle == window) widget = d.area;
        for (const Dialog::Control& c : d.controls)
            if (c.handle == window) widget = c.widget;
        if (widget != nullptr) {
            *rect = Rect{0, 0, widget->width() / d.scale, widget->height() / d.scale};
            return true;
        }
    }
    return false;
}

bool DesktopPlatform::invalidate_rect(WindowHandle window, const Rect* rect, int32_t) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    d->invalid = true;
    // The toolkit erases whatever it repaints, so the erase flag is implied.
    if (rect == nullptr) {
        d->area->update();
    } else {
        const int32_t s = d->scale;
        d->area->update(
            QRect(rect->left * s, rect->top * s, (rect->right - rect->left) * s, (rect->bottom - rect->top) * s));
    }
    return true;
}

bool DesktopPlatform::update_window(WindowHandle window) {
    Dialog* d = find_dialog(window);
    if (d == nullptr) return false;
    // A hidden widget is painted when it is shown.
    if (d->invalid && d->area->isVisible()) d->area->repaint();
    return true;
}

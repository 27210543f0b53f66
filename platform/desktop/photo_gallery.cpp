// The desktop's gallery: the photo view's grid of thumbnails with names.
#include "platform/desktop/photo_window.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

void paint_gallery(QPainter& painter, const PhotoScene& scene, double device_pixel_ratio) {
    if (scene.columns <= 0 || scene.cell_width <= 0 || scene.cell_height <= 0) return;
    const int pad = static_cast<int>(std::lround(8 * device_pixel_ratio));
    const int box_width = static_cast<int>(std::lround(gallery_thumbnail_width * device_pixel_ratio));
    const int box_height = static_cast<int>(std::lround(gallery_thumbnail_height * device_pixel_ratio));
    QFont font = painter.font();
    font.setPixelSize(
        std::max(1, static_cast<int>(std::lround(QFontMetrics(font).height() * 0.8 * device_pixel_ratio))));
    painter.setFont(font);
    const QFontMetrics metrics(font);
    for (size_t i = 0; i < scene.cells.size(); ++i) {
        const GalleryCell& cell = scene.cells[i];
        const int column = static_cast<int>(i % size_t(scene.columns)),
                  row = static_cast<int>(i / size_t(scene.columns));
        const QRect at(scene.gallery_left + column * scene.cell_width, row * scene.cell_height, scene.cell_width,
                       scene.cell_height);
        if (cell.selected) painter.fillRect(at.adjusted(pad / 2, pad / 2, -pad / 2, -pad / 2), QColor(60, 110, 180));
        // The thumbnail in the middle of its box, at its own size.
        const QRect box(at.left() + (at.width() - box_width) / 2, at.top() + pad, box_width, box_height);
        const PhotoPixels& p = cell.thumbnail;
        if (p.bgra != nullptr) {
            const QImage image(p.bgra, p.width, p.height, static_cast<qsizetype>(p.stride), QImage::Format_RGB32);
            painter.drawImage(
                QPoint(box.left() + (box.width() - p.width) / 2, box.top() + (box.height() - p.height) / 2), image);
        } else {
            painter.fillRect(box.adjusted(pad, pad, -pad, -pad), QColor(40, 40, 40));
            if (cell.failed) {
                painter.setPen(QColor(200, 200, 200));
                painter.drawText(box, Qt::AlignCenter, QStringLiteral("cannot be shown"));
            }
        }
        const QRect name(at.left() + pad, box.bottom() + pad, at.width() - 2 * pad, metrics.height());
        painter.setPen(Qt::white);
        painter.drawText(name, Qt::AlignHCenter | Qt::AlignTop,
                         metrics.elidedText(QString::fromStdString(cell.name), Qt::ElideMiddle, name.width()));
    }
}

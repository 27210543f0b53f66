// The desktop's photo view: one window that paints the photo view's scene
// (platform/photo_view.h) with QPainter and passes it the user's keys,
// mouse and wheel.
//
// The picture lies on a dark background, drawn in device pixels (so that 1:1
// is one picture pixel per device pixel whatever the devicePixelRatio),
// smoothly when it is drawn smaller than its pixels and with sharp pixels
// from 1:1 up. A slim bar at the foot names the picture and its place and
// hides itself when the pointer rests; full screen shows the picture alone.
// Over the picture: why it cannot be shown, a busy mark while it takes
// long, the info panel, and the search field with its count. Moving a
// picture to the trash asks first in a dialog that names the file. The
// gallery is a grid of thumbnails (photo_gallery.cpp).
//
// The view's worker threads wake the window through its host
// (photo_host.h), which posts to the window's thread; everything else
// happens on that thread.
#pragma once

#include "platform/desktop/photo_host.h"
#include "platform/photo_view.h"

#include <QPointF>
#include <QTimer>
#include <QWidget>

#include <cstdint>

class QLineEdit;
class QMessageBox;

class PhotoWindow final : public QWidget {
public:
    // `scale` above 0 sizes the window, once the first picture's size is
    // known, for that picture at the zoom the view starts it at.
    PhotoWindow(PhotoController& controller, int32_t scale);
    ~PhotoWindow() override;

    // What the controller is started with.
    PhotoHost& host() { return host_; }

    // Called after every call into the controller: follows the scene with
    // the window's title, full screen, search field, question and timer,
    // and repaints; ends the event loop once the view has finished.
    void follow_scene();
    // What ends when the view finishes.
    std::function<void()> on_finished;

    // For tests: the search field.
    QLineEdit* search_field() const { return search_; }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // The view's size and cells in device pixels, to the controller.
    void send_view();
    // A key as the photo view names it, done as its key map says; false
    // when the key means nothing here.
    bool key(const QKeyEvent* event);
    QPointF device_point(const QPointF& logical) const;
    void ask(const std::string& question);
    void paint_picture(QPainter& painter, const PhotoScene& scene);
    void paint_overlays(QPainter& painter, const PhotoScene& scene);

    PhotoController& controller_;
    int32_t scale_;
    bool sized_for_picture_ = false;
    QLineEdit* search_;
    QMessageBox* question_ = nullptr;
    QTimer ticker_;
    DesktopPhotoHost host_;
    QPointF pressed_at_;  // device pixels; where the left button went down
    QPointF dragged_to_;
    bool pressed_ = false, dragged_ = false;
    int wheel_rest_ = 0;  // wheel angle not yet turned into steps
    uint64_t painted_revision_ = 0;  // of the scene last asked to be painted
};

// Paints the gallery's grid of `scene` in device pixels.
void paint_gallery(QPainter& painter, const PhotoScene& scene, double device_pixel_ratio);

// The gallery's cells, in logical pixels: the thumbnail box and the whole
// cell with its name.
constexpr int32_t gallery_thumbnail_width = 192;
constexpr int32_t gallery_thumbnail_height = 144;
constexpr int32_t gallery_cell_width = 208;

#include "platform/desktop/photo_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>

namespace {

const QColor background(24, 24, 24);
const QColor panel(0, 0, 0, 170);

// The photo view's name for a key, 0 for none.
uint32_t photo_key_of(const QKeyEvent* event) {
    static constexpr std::pair<int, uint32_t> keys[] = {
        {Qt::Key_Right, photo_key_right},    {Qt::Key_Left, photo_key_left},
        {Qt::Key_Up, photo_key_up},          {Qt::Key_Down, photo_key_down},
        {Qt::Key_PageUp, photo_key_page_up}, {Qt::Key_PageDown, photo_key_page_down},
        {Qt::Key_Home, photo_key_home},      {Qt::Key_End, photo_key_end},
        {Qt::Key_Return, photo_key_enter},   {Qt::Key_Enter, photo_key_enter},
        {Qt::Key_Escape, photo_key_escape},  {Qt::Key_Backspace, photo_key_backspace},
        {Qt::Key_Delete, photo_key_delete},  {Qt::Key_F11, photo_key_f11},
    };
    for (const auto& [qt, photo] : keys)
        if (event->key() == qt) return photo;
    // A letter with Ctrl held types a control character; the key names it.
    if ((event->modifiers() & Qt::ControlModifier) && event->key() >= Qt::Key_A && event->key() <= Qt::Key_Z)
        return static_cast<uint32_t>('a' + (event->key() - Qt::Key_A));
    const QList<uint> text = event->text().toUcs4();
    return !text.isEmpty() && text.front() >= 0x20 && text.front() != 0x7F ? text.front() : 0;
}

QString text_of(const std::string& utf8) { return QString::fromUtf8(utf8.data(), static_cast<qsizetype>(utf8.size())); }

}  // namespace

PhotoWindow::PhotoWindow(PhotoController& controller, int32_t scale)
    : controller_(controller), scale_(scale), search_(new QLineEdit(this)) {
    setAttribute(Qt::WA_OpaquePaintEvent);
    setFocusPolicy(Qt::StrongFocus);
    setMouseTracking(true);
    setMinimumSize(240, 160);
    search_->hide();
    search_->setPlaceholderText(QStringLiteral("Search names"));
    search_->installEventFilter(this);
    QObject::connect(search_, &QLineEdit::textEdited, this, [this](const QString& text) {
        controller_.set_search_text(text.toStdString());
        follow_scene();
    });
    ticker_.setSingleShot(true);
    QObject::connect(&ticker_, &QTimer::timeout, this, [this] {
        controller_.tick(host_.now_ms());
        follow_scene();
    });
    QObject::connect(&host_, &DesktopPhotoHost::woken, this, [this] {
        controller_.poll();
        follow_scene();
    });
}

PhotoWindow::~PhotoWindow() = default;

QPointF PhotoWindow::device_point(const QPointF& logical) const { return logical * devicePixelRatioF(); }

void PhotoWindow::send_view() {
    const double ratio = devicePixelRatioF();
    const auto device = [ratio](double logical) { return static_cast<int32_t>(std::lround(logical * ratio)); };
    PhotoViewport view;
    view.width = device(width());
    view.height = device(height());
    view.device_pixel_ratio = ratio;
    view.thumbnail_width = device(gallery_thumbnail_width);
    view.thumbnail_height = device(gallery_thumbnail_height);
    view.cell_width = device(gallery_cell_width);
    view.cell_height = device(gallery_thumbnail_height + 16 + fontMetrics().height() + 8);
    controller_.set_view(view);
}

void PhotoWindow::follow_scene() {
    if (controller_.finished()) {
        ticker_.stop();
        if (question_ != nullptr) question_->close();
        if (on_finished) on_finished();
        return;
    }
    const PhotoScene& scene = controller_.scene();
    setWindowTitle(text_of(scene.title) + QStringLiteral(" \u2014 Marivue"));
    if (scene.full_screen != isFullScreen()) scene.full_screen ? showFullScreen() : showNormal();
    if (scene.searching) {
        if (search_->text() != text_of(scene.search_text)) search_->setText(text_of(scene.search_text));
        if (!search_->isVisible()) {
            const int margin = fontMetrics().height() / 2;
            search_->setGeometry(margin, margin, std::min(width() / 2, 24 * fontMetrics().averageCharWidth()),
                                 search_->sizeHint().height());
            search_->show();
        }
        search_->setFocus(Qt::ShortcutFocusReason);
    } else if (search_->isVisible()) {
        search_->hide();
        setFocus(Qt::OtherFocusReason);
    }
    if (!scene.confirmation.empty() && question_ == nullptr) ask(scene.confirmation);
    if (scene.confirmation.empty() && question_ != nullptr) question_->close();
    if (scale_ > 0 && !sized_for_picture_ && scene.picture_width > 0 && !isFullScreen()) {
        // Once: the window as large as the first picture at its zoom, as far
        // as the screen allows.
        sized_for_picture_ = true;
        const QSize room = screen()->availableSize() - QSize(16, 64);
        const double ratio = devicePixelRatioF();
        resize(std::clamp(static_cast<int>(std::ceil(scene.picture_width * scene.scale / ratio)), minimumWidth(),
                          room.width()),
               std::clamp(static_cast<int>(std::ceil(scene.picture_height * scene.scale / ratio)), minimumHeight(),
                          room.height()));
    }
    setCursor(scene.full_screen && !scene.bar_visible ? Qt::BlankCursor : Qt::ArrowCursor);
    const int64_t next = controller_.next_tick_ms();
    if (next < 0)
        ticker_.stop();
    else
        ticker_.start(static_cast<int>(std::clamp<int64_t>(next - host_.now_ms(), 0, 1 << 30)));
    // Pointer moves and the like change nothing most of the time.
    if (scene.revision != painted_revision_) {
        painted_revision_ = scene.revision;
        update();
    }
}

void PhotoWindow::ask(const std::string& question) {
    question_ = new QMessageBox(QMessageBox::Question, QStringLiteral("Move to Trash"), text_of(question),
                                QMessageBox::NoButton, this);
    question_->setInformativeText(QStringLiteral("File managers can put it back from the trash."));
    QPushButton* move = question_->addButton(QStringLiteral("Move to Trash"), QMessageBox::AcceptRole);
    question_->addButton(QMessageBox::Cancel);
    question_->setDefaultButton(move);
    question_->setAttribute(Qt::WA_DeleteOnClose);
    QObject::connect(question_, &QMessageBox::finished, this, [this, move] {
        const bool yes = question_ != nullptr && question_->clickedButton() == move;
        question_ = nullptr;
        if (controller_.finished()) return;
        controller_.command(yes ? PhotoCommand::Confirm : PhotoCommand::Cancel);
        follow_scene();
    });
    question_->open();
}

bool PhotoWindow::key(const QKeyEvent* event) {
    const uint32_t code = photo_key_of(event);
    if (code == 0) return false;
    const PhotoCommand command =
        photo_action(code, (event->modifiers() & Qt::ControlModifier) != 0, controller_.scene());
    if (command == PhotoCommand::None) return false;
    controller_.command(command);
    follow_scene();
    return true;
}

void PhotoWindow::keyPressEvent(QKeyEvent* event) {
    if (!key(event)) QWidget::keyPressEvent(event);
}

bool PhotoWindow::eventFilter(QObject* watched, QEvent* event) {
    // The search field takes the keys that type; the photo view's keys for
    // searching (Enter, Escape, stepping) act.
    if (watched == search_ && event->type() == QEvent::KeyPress) return key(static_cast<QKeyEvent*>(event));
    return QWidget::eventFilter(watched, event);
}

bool PhotoWindow::event(QEvent* event) {
    // The window moved to a screen of another pixel density.
    if (event->type() == QEvent::ScreenChangeInternal) {
        send_view();
        follow_scene();
    }
    return QWidget::event(event);
}

void PhotoWindow::resizeEvent(QResizeEvent*) {
    send_view();
    follow_scene();
}

void PhotoWindow::closeEvent(QCloseEvent* event) {
    if (!controller_.finished()) controller_.command(PhotoCommand::Quit);
    follow_scene();
    event->accept();
}

void PhotoWindow::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    pressed_ = true;
    dragged_ = false;
    pressed_at_ = dragged_to_ = device_point(event->position());
}

void PhotoWindow::mouseMoveEvent(QMouseEvent* event) {
    const QPointF at = device_point(event->position());
    if (pressed_ && (event->buttons() & Qt::LeftButton)) {
        // A drag once the pointer has left the click's few pixels.
        if (!dragged_ && (at - pressed_at_).manhattanLength() < QApplication::startDragDistance() * devicePixelRatioF())
            return;
        dragged_ = true;
        controller_.drag(at.x() - dragged_to_.x(), at.y() - dragged_to_.y());
        dragged_to_ = at;
    } else {
        controller_.pointer_moved();
    }
    follow_scene();
}

void PhotoWindow::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !pressed_) return;
    pressed_ = false;
    if (!dragged_ && controller_.scene().mode == PhotoScene::Mode::gallery) {
        const QPointF at = device_point(event->position());
        controller_.click(at.x(), at.y(), false);
        follow_scene();
    }
}

void PhotoWindow::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || controller_.scene().mode != PhotoScene::Mode::picture) return;
    const QPointF at = device_point(event->position());
    controller_.click(at.x(), at.y(), true);
    follow_scene();
}

void PhotoWindow::wheelEvent(QWheelEvent* event) {
    const int delta = event->angleDelta().y();
    if (delta == 0) return;
    if (event->modifiers() & Qt::ControlModifier) {
        // A notch zooms by a quarter, about the pointer.
        const QPointF at = device_point(event->position());
        controller_.zoom_at(std::pow(1.25, delta / 120.0), at.x(), at.y());
        follow_scene();
        return;
    }
    // Fine-grained wheels turn a step per notch's worth.
    wheel_rest_ += delta;
    const int notches = wheel_rest_ / 120;
    wheel_rest_ -= notches * 120;
    for (int i = 0; i < std::abs(notches); ++i) {
        if (controller_.scene().mode == PhotoScene::Mode::gallery) {
            controller_.scroll(notches > 0 ? -1 : 1);
        } else {
            const uint32_t code = notches > 0 ? photo_key_wheel_up : photo_key_wheel_down;
            const PhotoCommand command = photo_action(code, false, controller_.scene());
            if (command != PhotoCommand::None) controller_.command(command);
        }
    }
    follow_scene();
}

void PhotoWindow::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), background);
    const PhotoScene& scene = controller_.scene();
    if (scene.mode == PhotoScene::Mode::gallery) {
        painter.save();
        painter.scale(1 / devicePixelRatioF(), 1 / devicePixelRatioF());
        paint_gallery(painter, scene, devicePixelRatioF());
        painter.restore();
    } else {
        paint_picture(painter, scene);
    }
    paint_overlays(painter, scene);
}

void PhotoWindow::paint_picture(QPainter& painter, const PhotoScene& scene) {
    const QTransform to_logical = QTransform::fromScale(1 / devicePixelRatioF(), 1 / devicePixelRatioF());
    const PhotoMatrix& m = scene.placement;
    const QTransform to_view(m.m11, m.m12, m.m21, m.m22, m.dx, m.dy);
    for (const PhotoLayer& layer : scene.layers) {
        const PhotoPixels& p = layer.pixels;
        if (p.bgra == nullptr || p.width <= 0 || p.height <= 0) continue;
        const QImage image(p.bgra, p.width, p.height, static_cast<qsizetype>(p.stride), QImage::Format_RGB32);
        QTransform t =
            QTransform(layer.width / p.width, 0, 0, layer.height / p.height, layer.left, layer.top) * to_view;
        // Device pixels per image pixel along each axis of the image.
        const double along = std::hypot(t.m11(), t.m12()), down = std::hypot(t.m21(), t.m22());
        // Pixels drawn within a pixel of their own size are drawn at it,
        // on whole device pixels: no resampling blurs them.
        const bool own_size = std::abs(along * p.width - p.width) < 1 && std::abs(down * p.height - p.height) < 1;
        if (own_size)
            t = QTransform(std::round(t.m11() / along), std::round(t.m12() / along), std::round(t.m21() / down),
                           std::round(t.m22() / down), std::round(t.dx()), std::round(t.dy()));
        // Smooth when drawn smaller, sharp pixels from their own size up.
        painter.setRenderHint(QPainter::SmoothPixmapTransform, !own_size && std::max(along, down) < 1);
        painter.setTransform(t * to_logical);
        painter.drawImage(QPointF(0, 0), image);
    }
    painter.resetTransform();
}

void PhotoWindow::paint_overlays(QPainter& painter, const PhotoScene& scene) {
    const QFontMetrics metrics = painter.fontMetrics();
    const int line = metrics.height(), margin = line / 2;
    const int bar_height = scene.bar_visible && !scene.full_screen ? line + margin : 0;
    if (bar_height > 0) {
        const QRect bar(0, height() - bar_height, width(), bar_height);
        painter.fillRect(bar, panel);
        painter.setPen(Qt::white);
        painter.drawText(bar.adjusted(margin, 0, -margin, 0), Qt::AlignVCenter | Qt::AlignLeft,
                         metrics.elidedText(text_of(scene.status), Qt::ElideMiddle, bar.width() - 2 * margin));
    }
    if (!scene.message.empty()) {
        // A band across the foot of the view, the message wrapped at words.
        const QRect room(margin, margin, width() - 2 * margin, height() - bar_height - 2 * margin);
        const int flags = Qt::AlignHCenter | Qt::AlignBottom | Qt::TextWordWrap;
        const QRect text = painter.boundingRect(room, flags, text_of(scene.message));
        painter.fillRect(QRect(0, text.top() - margin, width(), room.bottom() - text.top() + 2 * margin), panel);
        painter.setPen(Qt::white);
        painter.drawText(room, flags, text_of(scene.message));
    }
    if (scene.busy) {
        // A ring with a gap in the top-right corner.
        const QRectF ring(width() - margin - 2 * line, margin, 2 * line, 2 * line);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(QPen(QColor(255, 255, 255, 200), line / 5.0 + 1));
        painter.drawArc(ring, 90 * 16, 300 * 16);
        painter.setRenderHint(QPainter::Antialiasing, false);
    }
    if (scene.searching) {
        // The count beside the field.
        const QRect field = search_->geometry();
        const QString count = text_of(scene.search_count);
        if (!count.isEmpty()) {
            const QRect box(field.right() + margin, field.top(), metrics.horizontalAdvance(count) + 2 * margin,
                            field.height());
            painter.fillRect(box, panel);
            painter.setPen(Qt::white);
            painter.drawText(box, Qt::AlignCenter, count);
        }
    }
    if (scene.info && !scene.info_lines.empty()) {
        int label_width = 0, value_width = 0;
        for (const auto& [label, value] : scene.info_lines) {
            label_width = std::max(label_width, metrics.horizontalAdvance(text_of(label)));
            value_width = std::max(value_width, metrics.horizontalAdvance(text_of(value)));
        }
        // A pixel to spare, so that a value measured whole is drawn whole.
        value_width = std::min(value_width + 1, width() / 2);
        const int panel_width = label_width + value_width + 3 * margin;
        const QRect box(width() - panel_width - margin, margin, panel_width,
                        static_cast<int>(scene.info_lines.size()) * line + 2 * margin);
        painter.fillRect(box, panel);
        int y = box.top() + margin;
        for (const auto& [label, value] : scene.info_lines) {
            painter.setPen(QColor(180, 180, 180));
            painter.drawText(QRect(box.left() + margin, y, label_width, line), Qt::AlignLeft, text_of(label));
            painter.setPen(Qt::white);
            painter.drawText(QRect(box.left() + 2 * margin + label_width, y, value_width, line), Qt::AlignLeft,
                             metrics.elidedText(text_of(value), Qt::ElideMiddle, value_width));
            y += line;
        }
    }
}

// The client area of a desktop dialog: a widget that reports its paint
// events and new sizes to its owner, which draws through the dialog
// procedure and places the controls. Over the picture it reports the
// wheel's whole notches and double clicks.
#pragma once

#include <QRect>
#include <QWidget>

class DialogArea : public QWidget {
    Q_OBJECT

public:
    explicit DialogArea(QWidget* parent);

    // Where the picture is shown now, in the widget's pixels.
    void set_picture_area(const QRect& area) { picture_area_ = area; }

signals:
    void paint_requested();
    void resized();
    // Whole notches turned over the picture, negative towards the user.
    void wheel_turned(int notches);
    void picture_double_clicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool over_picture(QPointF position) const { return QRectF(picture_area_).contains(position); }

    QRect picture_area_;
    int wheel_turned_ = 0;  // eighths of a degree not yet reported
};

// The client area of a desktop dialog: a widget whose paint events become
// the dialog procedure's paint messages. It places the controls as it is
// resized; over the picture the wheel steps and a double click toggles
// full screen.
#pragma once

#include "platform/desktop/desktop_platform.h"

#include <QWidget>

class DialogArea : public QWidget {
public:
    DialogArea(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    bool over_picture(QPointF position) const;

    DesktopPlatform& platform_;
    DesktopPlatform::Dialog& dialog_;
    int wheel_turned_ = 0;  // eighths of a degree not yet stepped
};

// The client area of a desktop dialog: a widget whose paint events become
// the dialog procedure's paint messages.
#pragma once

#include "platform/desktop/desktop_platform.h"

#include <QWidget>

class DialogArea : public QWidget {
public:
    DialogArea(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog, QWidget* parent);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    DesktopPlatform& platform_;
    DesktopPlatform::Dialog& dialog_;
};

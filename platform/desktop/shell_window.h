// The top-level window of a desktop dialog. It watches every widget inside
// it for the viewer's keys (key_map.h) and the edit controls' focus
// changes, and takes closing the window as the done button.
#pragma once

#include "platform/desktop/desktop_platform.h"

#include <QWidget>

class QCloseEvent;
class QEvent;
class QFocusEvent;
class QKeyEvent;
class QObject;

class ShellWindow : public QWidget {
public:
    ShellWindow(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog);

    void watch(QWidget* widget) { widget->installEventFilter(this); }

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A key the viewer gives a meaning to: done as the key map says, and
    // taken; any other key goes on to the widget. Ctrl+Q also quits.
    bool shortcut(const QKeyEvent* key);
    void focus_change(QObject* watched, bool gained, const QFocusEvent* event);

    DesktopPlatform& platform_;
    DesktopPlatform::Dialog& dialog_;
};

// The top-level window of a desktop dialog: the shell's title bar above the
// dialog. It also watches every widget inside it for the keyboard shortcuts
// and the edit controls' focus changes, and takes closing the window as the
// done button.
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
    // Escape and Ctrl+Q are the done button everywhere; the step keys work
    // everywhere but in a single-line edit, where they edit the text.
    bool shortcut(QObject* watched, const QKeyEvent* key);
    void focus_change(QObject* watched, bool gained, const QFocusEvent* event);

    DesktopPlatform& platform_;
    DesktopPlatform::Dialog& dialog_;
};

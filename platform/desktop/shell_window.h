// The top-level window of a desktop dialog. It watches every widget inside
// it for the viewer's keys (key_map.h) and focus changes, and reports them
// and the window's close button to its owner, which takes closing the
// window as the done button.
#pragma once

#include "platform/key_map.h"

#include <QWidget>

class QCloseEvent;
class QEvent;
class QKeyEvent;
class QObject;

class ShellWindow : public QWidget {
    Q_OBJECT

public:
    void watch(QWidget* widget) { widget->installEventFilter(this); }
    // Once the dialog has ended, the close button closes the window.
    void dialog_ended() { ended_ = true; }

signals:
    void close_requested();
    // A key the key map gives a meaning to, or Ctrl+Q.
    void action_requested(ViewerAction action);
    void focus_changed(QObject* widget, bool gained);

protected:
    void closeEvent(QCloseEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A key the viewer gives a meaning to: reported, and taken; any other
    // key goes on to the widget. Ctrl+Q also quits.
    bool shortcut(const QKeyEvent* key);

    bool ended_ = false;
};

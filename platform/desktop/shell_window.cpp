// The shell's window around a desktop dialog.
#include "platform/desktop/shell_window.h"

#include "platform/desktop/desktop_dialog.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>

ShellWindow::ShellWindow(DesktopPlatform& platform, DesktopPlatform::Dialog& dialog)
    : platform_(platform), dialog_(dialog) {}

void ShellWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is the done button; the dialog procedure decides.
    if (!dialog_.ended) {
        event->ignore();
        platform_.deliver_command(dialog_, command_ok, button_clicked, 0);
    }
}

bool ShellWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            return shortcut(watched, static_cast<QKeyEvent*>(event));
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            focus_change(watched, event->type() == QEvent::FocusIn, static_cast<QFocusEvent*>(event));
            return false;
        default:
            return false;
    }
}

bool ShellWindow::shortcut(QObject* watched, const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if ((key->key() == Qt::Key_Escape && mods == Qt::NoModifier) ||
        (key->key() == Qt::Key_Q && mods == Qt::ControlModifier)) {
        platform_.deliver_command(dialog_, command_ok, button_clicked, 0);
        return true;
    }
    // A key the line edit leaves alone (Page Up) travels on to its
    // parents; it is still typed in the edit.
    if (mods != Qt::NoModifier || dynamic_cast<QLineEdit*>(watched) != nullptr ||
        dynamic_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr)
        return false;
    QPushButton* button = nullptr;
    switch (key->key()) {
        case Qt::Key_Right:
        case Qt::Key_PageDown:
        case Qt::Key_Space:
            button = dialog_.forward_button;
            break;
        case Qt::Key_Left:
        case Qt::Key_PageUp:
            button = dialog_.back_button;
            break;
        default:
            return false;
    }
    if (button == nullptr) return false;
    const DesktopPlatform::Dialog::Control* control = dialog_.control_by_widget(button);
    if (control != nullptr && button->isEnabled())
        platform_.deliver_command(dialog_, control->layout.id, button_clicked, static_cast<intptr_t>(control->handle));
    return true;
}

void ShellWindow::focus_change(QObject* watched, bool gained, const QFocusEvent* event) {
    // A context menu takes the focus only for a moment.
    if (event->reason() == Qt::PopupFocusReason) return;
    const DesktopPlatform::Dialog::Control* control = dialog_.control_by_widget(watched);
    if (control == nullptr || control->layout.class_ordinal != control_class_edit) return;
    platform_.deliver_command(dialog_, control->layout.id, gained ? edit_set_focus : edit_kill_focus,
                              static_cast<intptr_t>(control->handle));
}

// The shell's window around a desktop dialog.
#include "platform/desktop/shell_window.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>

void ShellWindow::closeEvent(QCloseEvent* event) {
    // Closing the window is the done button; the dialog procedure decides.
    if (!ended_) {
        event->ignore();
        emit close_requested();
    }
}

bool ShellWindow::eventFilter(QObject* watched, QEvent* event) {
    switch (event->type()) {
        case QEvent::KeyPress:
            return shortcut(static_cast<QKeyEvent*>(event));
        case QEvent::FocusIn:
        case QEvent::FocusOut:
            // A context menu takes the focus only for a moment.
            if (static_cast<QFocusEvent*>(event)->reason() != Qt::PopupFocusReason)
                emit focus_changed(watched, event->type() == QEvent::FocusIn);
            return false;
        default:
            return false;
    }
}

namespace {

// The viewer's name for a key pressed with `modifiers` (Shift aside, which
// some layouts need for the slash), if it has one.
bool viewer_key(int key, Qt::KeyboardModifiers modifiers, ViewerKey* out) {
    if ((modifiers & ~Qt::ShiftModifier) != Qt::NoModifier) return false;
    const bool shifted = (modifiers & Qt::ShiftModifier) != 0;
    struct Entry {
        int key;
        ViewerKey viewer;
    };
    static constexpr Entry keys[] = {
        {Qt::Key_Right, ViewerKey::Right},
        {Qt::Key_Left, ViewerKey::Left},
        {Qt::Key_Down, ViewerKey::Down},
        {Qt::Key_Up, ViewerKey::Up},
        {Qt::Key_Space, ViewerKey::Space},
        {Qt::Key_Backspace, ViewerKey::Backspace},
        {Qt::Key_PageDown, ViewerKey::PageDown},
        {Qt::Key_PageUp, ViewerKey::PageUp},
        {Qt::Key_Home, ViewerKey::Home},
        {Qt::Key_End, ViewerKey::End},
        {Qt::Key_Tab, ViewerKey::Tab},
        {Qt::Key_Return, ViewerKey::Enter},
        {Qt::Key_Enter, ViewerKey::Enter},
        {Qt::Key_Escape, ViewerKey::Escape},
        {Qt::Key_Q, ViewerKey::Q},
        {Qt::Key_F11, ViewerKey::F11},
    };
    if (key == Qt::Key_Slash) {
        *out = ViewerKey::Slash;
        return true;
    }
    if (shifted) return false;
    for (const Entry& e : keys)
        if (e.key == key) {
            *out = e.viewer;
            return true;
        }
    return false;
}

}  // namespace

bool ShellWindow::shortcut(const QKeyEvent* key) {
    const Qt::KeyboardModifiers mods = key->modifiers() & ~Qt::KeypadModifier;
    if (key->key() == Qt::Key_Q && mods == Qt::ControlModifier) {
        emit action_requested(ViewerAction::Quit);
        return true;
    }
    ViewerKey viewer{};
    if (!viewer_key(key->key(), mods, &viewer)) return false;
    const bool searching = dynamic_cast<QLineEdit*>(QApplication::focusWidget()) != nullptr;
    const ViewerAction action = viewer_action(viewer, searching);
    if (action == ViewerAction::None) return false;
    emit action_requested(action);
    return true;
}

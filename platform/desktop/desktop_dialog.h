// The record of one desktop dialog: its template, its widgets, whether it
// has ended, and the state of the paint event under way. Shared by the
// platform's files; the widgets know nothing of it and report through
// their signals, which the platform connects.
#pragma once

#include "platform/desktop/desktop_platform.h"
#include "platform/desktop/dialog_layout.h"
#include "platform/desktop/dialog_units.h"
#include "platform/desktop/shell_window.h"

#include <QPainter>
#include <QRect>
#include <QRectF>

#include <cstdint>
#include <memory>
#include <vector>

class DialogArea;
class QEventLoop;
class QObject;
class QPushButton;
class QWidget;

struct DesktopPlatform::Dialog {
    struct Control {
        DialogControlTemplate layout;
        WindowHandle handle;
        QWidget* widget;  // owned by the window
        int32_t text_limit;
    };

    WindowHandle handle{};
    DialogProcedure procedure = nullptr;
    DialogTemplate layout{};
    DialogUnits units{};  // of the window's font
    std::unique_ptr<ShellWindow> window;  // owns every widget below
    DialogArea* area = nullptr;
    QPushButton* done = nullptr;  // "ok", at the foot of the column
    bool with_done = false;
    DialogLayout placed{};  // where the widgets are now
    std::vector<Control> controls;
    QPushButton* forward_button = nullptr;  // the button labelled ">>>"
    QPushButton* back_button = nullptr;  // the button labelled "<<<"

    bool ended = false;
    intptr_t result = -1;
    QEventLoop* loop = nullptr;
    bool setting_text = false;

    // Painting: set while the dialog widget's paint event runs.
    bool in_paint_event = false;
    std::unique_ptr<QPainter> painter;
    DrawContext paint_context{};
    QRect paint_rect;  // in widget pixels
    bool invalid = false;

    // The dialog's drawing coordinates: the block its copies to the window
    // have covered (until the first copy, the template's free region) is
    // shown fitted into the picture area, aspect kept, centred.
    QRect drawn;
    QRectF drawing_extent() const;  // in the dialog's pixels
    QRectF picture_rect() const;  // in widget pixels
    QRectF to_widget(const QRectF& dialog_pixels) const;
    QRectF to_dialog(const QRectF& widget_pixels) const;

    Control* control_by_id(int32_t id) {
        for (Control& c : controls)
            if (c.layout.id == id) return &c;
        return nullptr;
    }
    Control* control_by_widget(const QObject* widget) {
        for (Control& c : controls)
            if (c.widget == widget) return &c;
        return nullptr;
    }
};

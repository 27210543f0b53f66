// The record of one desktop dialog: its model (the controls' texts and
// limits, focus, notifications, whether it has ended, what it has drawn)
// and the widgets that show it. Shared by the
// platform's files; the widgets know nothing of it and report through
// their signals, which the platform connects.
#pragma once

#include "platform/desktop/desktop_platform.h"
#include "platform/desktop/dialog_layout.h"
#include "platform/desktop/dialog_units.h"
#include "platform/desktop/shell_window.h"
#include "platform/dialog_model.h"

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
    std::unique_ptr<DialogModel> model;
    std::vector<QWidget*> widgets;  // one per control, in template order; owned by the window
    DialogUnits units{};  // of the window's font
    std::unique_ptr<ShellWindow> window;  // owns every widget below
    DialogArea* area = nullptr;
    QPushButton* done = nullptr;  // "ok", at the foot of the column
    DialogLayout placed{};  // where the widgets are now

    QEventLoop* loop = nullptr;
    bool setting_text = false;

    // The dialog's drawing coordinates: the block its copies to the window
    // have covered (until the first copy, the template's free region) is
    // shown fitted into the picture area, aspect kept, centred.
    QRectF drawing_extent() const;  // in the dialog's pixels
    QRectF picture_rect() const;  // in widget pixels

    QWidget* widget_of(int32_t id) const {
        const std::vector<DialogControl>& controls = model->controls();
        for (size_t i = 0; i < controls.size() && i < widgets.size(); ++i)
            if (controls[i].layout.id == id) return widgets[i];
        return nullptr;
    }
    // The control a widget shows, or null.
    const DialogControl* control_of(const QObject* widget) const {
        for (size_t i = 0; i < widgets.size(); ++i)
            if (widgets[i] == widget) return &model->controls()[i];
        return nullptr;
    }
};

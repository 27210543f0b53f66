// The widgets a dialog template becomes in the desktop front end: one
// widget per control (push button, multi-line or single-line edit, label),
// the dialog's font, and the shell's title bar above the dialog.
#pragma once

#include "platform/dialog_template.h"

#include <QFont>
#include <QString>

#include <cstdint>

class QPushButton;
class QWidget;

// Window and control styles beyond those the platform header names.
constexpr uint32_t style_disabled = 0x08000000;
constexpr uint32_t style_tab_stop = 0x00010000;
constexpr uint32_t style_horizontal_scroll = 0x00100000;
constexpr uint32_t edit_style_right = 0x0002;
constexpr uint32_t extended_style_client_edge = 0x00000200;
constexpr uint32_t extended_style_static_edge = 0x00020000;

// A new edit control's text limit, as on the handheld.
constexpr int32_t desktop_default_text_limit = 30000;

// The font of the dialog: the template's face when the system has it, in
// the size whose line fills the character cell the base units assume.
QFont dialog_font(const DialogTemplate& layout, int32_t scale);

// One widget for one template control, a child of `parent`; a class the
// front end does not know becomes an empty widget that only holds its place.
QWidget* make_control(const DialogControlTemplate& control, QWidget* parent);

// The shell's title bar: the caption at the left, the done button (hidden
// until the shell is asked for it) at the right, stored in *done.
QWidget* make_title_bar(const QString& caption, const QFont& font, int32_t scale, QPushButton** done);

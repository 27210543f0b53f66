// The widgets a dialog template becomes in the desktop front end: one
// widget per control (push button, multi-line or single-line edit, label).
#pragma once

#include "platform/dialog_template.h"

#include <cstdint>

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

// The control class of a template entry: its ordinal, or the predefined
// class its name stands for; 0 for a class the front end does not know.
uint16_t control_class(const DialogControlTemplate& control);

// One widget for one template control, a child of `parent`; a class the
// front end does not know becomes an empty widget that only holds its place.
QWidget* make_control(const DialogControlTemplate& control, QWidget* parent);

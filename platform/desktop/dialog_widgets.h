// The widgets a dialog template becomes in the desktop front end: one
// widget per control (push button, multi-line or single-line edit, label).
#pragma once

#include "platform/dialog_model.h"

#include <cstdint>

class QWidget;

// Window and control styles beyond those the platform headers name.
constexpr uint32_t style_horizontal_scroll = 0x00100000;
constexpr uint32_t edit_style_right = 0x0002;
constexpr uint32_t extended_style_client_edge = 0x00000200;
constexpr uint32_t extended_style_static_edge = 0x00020000;

// One widget for one control, a child of `parent`; a class the front end
// does not know becomes an empty widget that only holds its place.
QWidget* make_control(const DialogControl& control, QWidget* parent);

// Helpers for driving the viewer over the desktop front end in-process.
#pragma once

#include "app/viewer.h"
#include "platform/desktop.h"

#include <QApplication>
#include <QImage>
#include <QLineEdit>
#include <QTest>
#include <QTextEdit>
#include <QWidget>

#include <functional>
#include <string>

// The program's module handle, as the program passes it.
constexpr ModuleHandle test_module{1};

// Runs the viewer over `platform`. `user` acts once the window is shown;
// when it returns with the dialog still open the done button is pressed.
// Returns the program entry's result.
inline int32_t run_viewer(DesktopPlatform& platform,
                          const std::function<void(DesktopPlatform&, WindowHandle)>& user) {
    platform.on_dialog_shown = [&user](DesktopPlatform& p, WindowHandle dialog) {
        if (QWidget* window = p.top_window(dialog)) (void)QTest::qWaitForWindowExposed(window);
        user(p, dialog);
        p.send_command(dialog, command_ok, button_clicked);
    };
    return program_entry(platform, test_module, null_module, u"", 1);
}

// A control's text as the viewer reads it.
inline std::u16string text_of(DesktopPlatform& platform, WindowHandle dialog, int32_t control_id) {
    char16_t buffer[text_buffer_units];
    platform.get_control_text(dialog, control_id, buffer, text_limit);
    return std::u16string(buffer);
}

inline std::string narrow(const std::u16string& text) { return QString::fromStdU16String(text).toStdString(); }

// The dialog widget as it draws now.
inline QImage grab_dialog(DesktopPlatform& platform, WindowHandle dialog) {
    return platform.dialog_widget(dialog)->grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of the picture area of `image` (at `scale`) that differ from the
// frame buffer enlarged by nearest neighbour.
inline int64_t picture_mismatches(const QImage& image, const uint8_t* frame, int32_t scale) {
    int64_t wrong = 0;
    for (int32_t y = 0; y < frame_height * scale; ++y) {
        for (int32_t x = 0; x < frame_width * scale; ++x) {
            const uint8_t* bgr = frame + (y / scale) * frame_row_bytes + (x / scale) * frame_pixel_bytes;
            const QRgb pixel = image.pixel(x, y);
            if (qBlue(pixel) != bgr[0] || qGreen(pixel) != bgr[1] || qRed(pixel) != bgr[2]) ++wrong;
        }
    }
    return wrong;
}

// Pixels of the picture area that are not `colour`.
inline int64_t picture_pixels_not(const QImage& image, QRgb colour, int32_t scale) {
    int64_t other = 0;
    for (int32_t y = 0; y < frame_height * scale; ++y)
        for (int32_t x = 0; x < frame_width * scale; ++x)
            if ((image.pixel(x, y) & 0xFFFFFF) != (colour & 0xFFFFFF)) ++other;
    return other;
}

inline uint16_t following(uint16_t id) { return id == last_picture_id ? first_picture_id : static_cast<uint16_t>(id + 1); }
inline uint16_t preceding(uint16_t id) { return id == first_picture_id ? last_picture_id : static_cast<uint16_t>(id - 1); }

// "\r\nImage #%3d" (after a step) or "\r\n Image #%3d" (at set-up) for `id`.
inline std::string image_line(uint16_t id, bool set_up) {
    char line[32];
    std::snprintf(line, sizeof line, set_up ? "\r\n Image #%3d" : "\r\nImage #%3d", id - first_picture_id);
    return line;
}

inline bool ends_with(const std::string& text, const std::string& tail) {
    return text.size() >= tail.size() && text.compare(text.size() - tail.size(), tail.size(), tail) == 0;
}

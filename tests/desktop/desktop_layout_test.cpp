// The dialog's widgets against its template, the window icon, the drawing
// services and the command line.
#include "desktop_test_support.h"

#include "platform/resource_store.h"

#include <QIcon>
#include <QLabel>
#include <QPushButton>
#include <QScrollBar>

#include <gtest/gtest.h>

#include <vector>

namespace {

TEST(DialogUnits, ConvertWithSevenBySixteenBaseUnits) {
    const Rect dialog = dialog_units_to_pixels(0, 0, 181, 136, 1);
    EXPECT_EQ(dialog.right, 317);
    EXPECT_EQ(dialog.bottom, 272);
    const Rect forward = dialog_units_to_pixels(140, 18, 39, 14, 1);
    EXPECT_EQ(forward.left, 245);
    EXPECT_EQ(forward.top, 36);
    EXPECT_EQ(forward.right - forward.left, 68);
    EXPECT_EQ(forward.bottom - forward.top, 28);
    const Rect caption = dialog_units_to_pixels(0, 86, 139, 48, 2);
    EXPECT_EQ(caption.left, 0);
    EXPECT_EQ(caption.top, 344);
    EXPECT_EQ(caption.right, 486);
    EXPECT_EQ(caption.bottom, 536);
}

class DesktopLayout : public ::testing::TestWithParam<int32_t> {};

TEST_P(DesktopLayout, EveryControlSitsWhereTheTemplatePutsIt) {
    const int32_t s = GetParam();
    DesktopPlatform platform(s);
    bool checked = false;
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        const DialogTemplate* layout = p.dialog_layout(dialog);
        ASSERT_NE(layout, nullptr);
        ASSERT_EQ(layout->controls.size(), 5u);
        EXPECT_EQ(p.dialog_widget(dialog)->size(), QSize(317 * s, 272 * s));
        EXPECT_EQ(p.top_window(dialog)->windowTitle(), QStringLiteral("Marivue"));

        const QRect picture(0, 0, frame_width * s, frame_height * s);
        for (const DialogControlTemplate& c : layout->controls) {
            QWidget* widget = p.control_widget(dialog, c.id);
            ASSERT_NE(widget, nullptr) << c.id;
            const Rect r = dialog_units_to_pixels(c.x, c.y, c.width, c.height, 1);
            EXPECT_EQ(widget->geometry(), QRect(r.left * s, r.top * s, (r.right - r.left) * s, (r.bottom - r.top) * s))
                << c.id;
            EXPECT_TRUE(widget->isVisible()) << c.id;
            EXPECT_FALSE(widget->geometry().intersects(picture)) << c.id;
        }
        // The figures themselves, at scale 1: buttons and search box in the
        // right-hand column, the caption box under the picture.
        EXPECT_EQ(p.control_widget(dialog, control_back)->geometry(), QRect(245 * s, 4 * s, 68 * s, 28 * s));
        EXPECT_EQ(p.control_widget(dialog, control_forward)->geometry(), QRect(245 * s, 36 * s, 68 * s, 28 * s));
        EXPECT_EQ(p.control_widget(dialog, control_search_box)->geometry(), QRect(245 * s, 72 * s, 68 * s, 28 * s));
        EXPECT_EQ(p.control_widget(dialog, control_details_box)->geometry(), QRect(245 * s, 112 * s, 68 * s, 156 * s));
        EXPECT_EQ(p.control_widget(dialog, control_caption_box)->geometry(), QRect(0, 172 * s, 243 * s, 96 * s));

        Rect client{};
        ASSERT_TRUE(p.get_client_rect(dialog, &client));
        EXPECT_EQ(client.right, 317);  // the viewer sees unscaled pixels
        EXPECT_EQ(client.bottom, 272);
        checked = true;
    });
    EXPECT_TRUE(checked);
}

TEST_P(DesktopLayout, ControlsHaveTheTemplatesKindsAndStyles) {
    DesktopPlatform platform(GetParam());
    run_viewer(platform, [&](DesktopPlatform& p, WindowHandle dialog) {
        auto* forward = dynamic_cast<QPushButton*>(p.control_widget(dialog, control_forward));
        auto* back = dynamic_cast<QPushButton*>(p.control_widget(dialog, control_back));
        ASSERT_NE(forward, nullptr);
        ASSERT_NE(back, nullptr);
        EXPECT_EQ(forward->text(), QStringLiteral(">>>"));
        EXPECT_EQ(back->text(), QStringLiteral("<<<"));
        EXPECT_EQ(forward->focusPolicy(), Qt::StrongFocus);

        for (int32_t id : {control_caption_box, control_details_box}) {
            auto* box = dynamic_cast<QTextEdit*>(p.control_widget(dialog, id));
            ASSERT_NE(box, nullptr) << id;
            EXPECT_TRUE(box->isReadOnly()) << id;
            EXPECT_EQ(box->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn) << id;
            EXPECT_EQ(box->document()->defaultTextOption().alignment(), Qt::AlignHCenter) << id;
            EXPECT_NE(box->frameShape(), QFrame::NoFrame) << id;
        }
        auto* search = dynamic_cast<QLineEdit*>(p.control_widget(dialog, control_search_box));
        ASSERT_NE(search, nullptr);
        EXPECT_FALSE(search->isReadOnly());
        EXPECT_TRUE(search->hasFrame());
        EXPECT_EQ(search->maxLength(), search_text_limit);

        // The first tab stop has the focus, as after a dialog's set-up.
        EXPECT_EQ(QApplication::focusWidget(), forward);
        // The shell's part: the caption and the done button at the right.
        QWidget* done = p.done_button(dialog);
        ASSERT_NE(done, nullptr);
        EXPECT_EQ(static_cast<QPushButton*>(done)->text(), QStringLiteral("ok"));
        const QPoint done_at = done->mapTo(p.top_window(dialog), QPoint(0, 0));
        EXPECT_GT(done_at.x(), p.top_window(dialog)->width() / 2);
        EXPECT_LT(done_at.y(), p.dialog_widget(dialog)->mapTo(p.top_window(dialog), QPoint(0, 0)).y());
    });
}

INSTANTIATE_TEST_SUITE_P(Scales, DesktopLayout, ::testing::Values(1, 2));

TEST(DesktopIcon, IconGroupGivesBothImages) {
    ResourceBytes group{nullptr, 0};
    ASSERT_TRUE(find_resource(resource_type_icon_group, 111, &group));
    const auto find_icon = [](uint16_t id, const uint8_t** data, uint32_t* size) {
        ResourceBytes bytes{nullptr, 0};
        if (!find_resource(resource_type_icon, id, &bytes)) return false;
        *data = bytes.data;
        *size = bytes.size;
        return true;
    };
    const std::vector<std::string> files = icon_files_from_group(group.data, group.size, find_icon);
    ASSERT_EQ(files.size(), 2u);
    std::vector<QSize> sizes;
    for (const std::string& file : files) {
        const QImage image = QImage::fromData(QByteArray(file.data(), static_cast<qsizetype>(file.size())), "ICO");
        ASSERT_FALSE(image.isNull());
        sizes.push_back(image.size());
    }
    EXPECT_EQ(sizes[0], QSize(32, 32));
    EXPECT_EQ(sizes[1], QSize(16, 16));

    const QIcon icon = icon_from_resources(111);
    EXPECT_FALSE(icon.isNull());
    EXPECT_EQ(icon.availableSizes().size(), 2);
    EXPECT_TRUE(icon_from_resources(112).isNull());
}

TEST(DesktopIcon, DamagedGroupsGiveNothing) {
    ResourceBytes group{nullptr, 0};
    ASSERT_TRUE(find_resource(resource_type_icon_group, 111, &group));
    const auto none = [](uint16_t, const uint8_t**, uint32_t*) { return false; };
    const auto find_icon = [](uint16_t id, const uint8_t** data, uint32_t* size) {
        ResourceBytes bytes{nullptr, 0};
        if (!find_resource(resource_type_icon, id, &bytes)) return false;
        *data = bytes.data;
        *size = bytes.size;
        return true;
    };
    EXPECT_TRUE(icon_files_from_group(group.data, group.size, none).empty());  // images missing
    EXPECT_TRUE(icon_files_from_group(group.data, group.size - 1, find_icon).empty());  // cut short
    EXPECT_TRUE(icon_files_from_group(group.data, 4, find_icon).empty());
    std::vector<uint8_t> wrong_type(group.data, group.data + group.size);
    wrong_type[2] = 2;  // a cursor group
    EXPECT_TRUE(icon_files_from_group(wrong_type.data(), group.size, find_icon).empty());
}

// A dialog procedure that draws one bitmap of its own, for the drawing
// services without the viewer.
struct DrawingCase {
    BitmapHandle bitmap{};
    DrawContext memory{};
    uint8_t* pixels = nullptr;
    bool copied = false;
};
DrawingCase drawing_case;

intptr_t drawing_procedure(Platform& platform, WindowHandle dialog, uint32_t message, uintptr_t, intptr_t) {
    if (message == message_init_dialog) {
        BitmapInfoHeader header{40, 4, 2, 1, 24, 0, 0, 0, 0, 0, 0};  // bottom-up, rows padded to 12 bytes
        drawing_case.memory = platform.create_compatible_context(platform.get_screen_context(null_window));
        drawing_case.bitmap = platform.create_dib_section(drawing_case.memory, &header, dib_rgb_colours,
                                                          &drawing_case.pixels, 0, 0);
        platform.select_object(drawing_case.memory, drawing_case.bitmap);
        return 1;
    }
    if (message == message_paint) {
        PaintInfo info{};
        DrawContext window = platform.begin_paint(dialog, &info);
        drawing_case.copied = platform.block_copy(window, 10, 20, 4, 2, drawing_case.memory, 0, 0, raster_source_copy);
        platform.end_paint(dialog, &info);
        return 1;
    }
    return 0;
}

TEST(DesktopDrawing, BottomUpBitmapsArePaintedTheRightWayUpAndEnlarged) {
    ResourceBytes bytes{nullptr, 0};
    ASSERT_TRUE(find_resource(resource_type_dialog, viewer_dialog_template_id, &bytes));
    DesktopPlatform platform(3);
    drawing_case = DrawingCase{};
    platform.on_dialog_shown = [](DesktopPlatform& p, WindowHandle dialog) {
        ASSERT_NE(drawing_case.pixels, nullptr);
        // Bottom-up: the first stored row is the bottom one. Top row red, bottom row blue.
        for (int x = 0; x < 4; ++x) {
            uint8_t* bottom = drawing_case.pixels + x * 3;
            uint8_t* top = drawing_case.pixels + 12 + x * 3;
            bottom[0] = 0xFF;  // blue
            top[2] = 0xFF;     // red
        }
        const QImage shown = grab_dialog(p, dialog);
        EXPECT_TRUE(drawing_case.copied);
        for (int y = 0; y < 6; ++y)
            for (int x = 0; x < 12; ++x)
                EXPECT_EQ(shown.pixel(30 + x, 60 + y) & 0xFFFFFF, y < 3 ? 0xFF0000u : 0x0000FFu) << x << "," << y;
        // Nothing outside the enlarged block.
        EXPECT_NE(shown.pixel(29, 60) & 0xFFFFFF, 0xFF0000u);
        EXPECT_NE(shown.pixel(42, 60) & 0xFFFFFF, 0xFF0000u);
        p.end_dialog(dialog, 7);
    };
    EXPECT_EQ(platform.dialog_box_indirect(test_module, bytes.data, bytes.size, null_window, drawing_procedure, 0), 7);
}

TEST(DesktopDrawing, BadRequestsAreRefused) {
    DesktopPlatform platform(1);
    const DrawContext screen = platform.get_screen_context(null_window);
    const DrawContext memory = platform.create_compatible_context(screen);
    ASSERT_NE(memory, null_context);
    uint8_t* pixels = reinterpret_cast<uint8_t*>(&platform);
    BitmapInfoHeader header{40, 240, -160, 1, 32, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(platform.create_dib_section(memory, &header, dib_rgb_colours, &pixels, 0, 0), null_bitmap);
    EXPECT_EQ(pixels, nullptr);
    header.bits_per_pixel = 24;
    header.width = 100000;
    header.height = -100000;
    EXPECT_EQ(platform.create_dib_section(memory, &header, dib_rgb_colours, &pixels, 0, 0), null_bitmap);
    header.width = 240;
    header.height = -160;
    EXPECT_EQ(platform.create_dib_section(memory, &header, dib_rgb_colours, &pixels, 1, 0), null_bitmap);
    const BitmapHandle bitmap = platform.create_dib_section(memory, &header, dib_rgb_colours, &pixels, 0, 0);
    ASSERT_NE(bitmap, null_bitmap);
    ASSERT_NE(pixels, nullptr);
    EXPECT_EQ(pixels[0], 0);
    EXPECT_EQ(pixels[240 * 160 * 3 - 1], 0);
    EXPECT_EQ(platform.select_object(screen, bitmap), null_bitmap);  // only off-screen contexts hold bitmaps
    EXPECT_EQ(platform.select_object(memory, bitmap), null_bitmap);  // nothing was selected before
    EXPECT_EQ(platform.select_object(memory, bitmap), bitmap);
    EXPECT_FALSE(platform.block_copy(screen, 0, 0, 10, 10, memory, 0, 0, 0x00EE0086));  // not a plain copy
    EXPECT_FALSE(platform.block_copy(DrawContext{9999}, 0, 0, 10, 10, memory, 0, 0, raster_source_copy));
    // Outside a paint, the window cannot be drawn on.
    PaintInfo info{};
    EXPECT_EQ(platform.begin_paint(WindowHandle{9999}, &info), null_context);
    EXPECT_FALSE(platform.end_dialog(WindowHandle{9999}, 1));
    EXPECT_FALSE(platform.set_control_text(WindowHandle{9999}, 1004, u"x"));
    char16_t buffer[4] = {u'a', u'b', u'c', 0};
    EXPECT_EQ(platform.get_control_text(WindowHandle{9999}, 1004, buffer, 3), 0);
    EXPECT_EQ(buffer[0], 0);
}

TEST(DesktopDrawing, DamagedTemplateBuildsNoDialog) {
    DesktopPlatform platform(1);
    const uint8_t junk[6] = {1, 2, 3, 4, 5, 6};
    EXPECT_EQ(platform.dialog_box_indirect(test_module, junk, sizeof junk, null_window, drawing_procedure, 0), -1);
    EXPECT_EQ(platform.dialog_box_indirect(test_module, nullptr, 0, null_window, drawing_procedure, 0), -1);
}

// ---------------------------------------------------------------------------
// The command line

DesktopOptions parse(std::vector<std::string> args) {
    args.insert(args.begin(), "marivue");
    std::vector<char*> argv;
    for (std::string& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    return parse_desktop_options(static_cast<int>(args.size()), argv.data());
}

TEST(DesktopOptions, ScaleHelpAndVersion) {
    EXPECT_EQ(parse({}).scale, 0);
    EXPECT_TRUE(parse({}).error.empty());
    EXPECT_EQ(parse({"--scale", "3"}).scale, 3);
    EXPECT_EQ(parse({"--scale=2"}).scale, 2);
    EXPECT_EQ(parse({"--scale", "16"}).scale, 16);
    EXPECT_TRUE(parse({"--help"}).help);
    EXPECT_TRUE(parse({"--version"}).version);
    EXPECT_TRUE(parse({"--tty"}).error.empty());  // the terminal front end's option
    EXPECT_NE(std::string(desktop_usage()).find("--scale N"), std::string::npos);
}

TEST(DesktopOptions, MalformedCommandLinesAreReported) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--scale"}, {"--scale", "0"}, {"--scale", "17"}, {"--scale", "2x"}, {"--scale="},
             {"--scale", "-1"}, {"--scale", "99999999999"}, {"--frobnicate"}, {"picture.jpg"}}) {
        const DesktopOptions options = parse(args);
        EXPECT_FALSE(options.error.empty()) << args.front() << (args.size() > 1 ? " " + args[1] : "");
    }
    EXPECT_NE(parse({"--scale", "0"}).error.find("--scale"), std::string::npos);
    EXPECT_NE(parse({"--frobnicate"}).error.find("--frobnicate"), std::string::npos);
}

}  // namespace

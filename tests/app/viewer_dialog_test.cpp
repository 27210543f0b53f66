// The viewer as a user meets it: the program entry running the dialog over
// the headless platform and the stored collection.
#include "app/viewer.h"
#include "platform/headless.h"
#include "platform/resource_store.h"
#include "support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr ModuleHandle module{1};

// The smallest random value that starts on picture `number`.
int32_t random_for(int number) {
    for (int32_t r = 0; r <= random_maximum; ++r)
        if (start_picture_id(r, image_count) == first_picture_id + number) return r;
    return -1;
}

std::u16string stored_string(uint16_t id) {
    char16_t buffer[text_buffer_units];
    ::load_string(id, buffer, text_limit);
    return buffer;
}

std::u16string caption_box(int number, bool after_step) {
    std::u16string line = after_step ? u"\r\nImage #" : u"\r\n Image #";
    std::string digits = std::to_string(number);
    line += std::u16string(3 - std::min<size_t>(3, digits.size()), u' ');
    for (char c : digits) line += static_cast<char16_t>(c);
    return stored_string(5000) + line;
}

std::u16string details_box(int number) {
    return stored_string(static_cast<uint16_t>(image_catalog.location_ids[number])) + u" " +
           stored_string(static_cast<uint16_t>(image_catalog.date_ids[number])) + u"\r\n[Credit: " + credit_domain +
           u"]";
}

// The top-left 240 x 160 pixels of the headless screen.
std::vector<uint8_t> shown_frame(const HeadlessPlatform& p) {
    std::vector<uint8_t> frame(frame_bytes);
    for (int y = 0; y < frame_height; ++y)
        std::copy_n(p.screen().begin() + static_cast<std::ptrdiff_t>(y) * HeadlessPlatform::client_width * 3,
                    frame_row_bytes, frame.begin() + static_cast<std::ptrdiff_t>(y) * frame_row_bytes);
    return frame;
}

std::vector<uint8_t> frame_of_picture(int number) {
    ResourceBytes bytes{nullptr, 0};
    if (!find_resource(resource_type_raw_data, static_cast<uint16_t>(first_picture_id + number), &bytes)) return {};
    return expected_frame(decode_directly(std::vector<uint8_t>(bytes.data, bytes.data + bytes.size), frame_height));
}

// Random values: the given ones in order, then the last one again.
std::function<int32_t()> random_values(std::vector<int32_t> values) {
    auto next = std::make_shared<size_t>(0);
    return [values, next]() {
        int32_t r = values[std::min(*next, values.size() - 1)];
        ++*next;
        return r;
    };
}

// Runs the program entry with `user` acting once the dialog is up; the user
// presses done at the end unless it already has.
int32_t run_viewer(HeadlessPlatform& p, const std::function<void(HeadlessPlatform&)>& user) {
    p.user = [user](HeadlessPlatform& platform) {
        user(platform);
        platform.press_done();
    };
    return program_entry(p, module, null_module, u"", 1);
}

bool last_copy_is_the_frame(const HeadlessPlatform& p) {
    if (p.block_copies().empty()) return false;
    const HeadlessPlatform::BlockCopy& c = p.block_copies().back();
    return c.x == 0 && c.y == 0 && c.width == 240 && c.height == 160 && c.source_x == 0 && c.source_y == 0 &&
           c.raster == 0x00CC0020 && c.source == viewer_dialog.memory_dc;
}

// ---- Start and end ---------------------------------------------------------------

TEST(ViewerDialog, StartsOnARandomPictureAndShowsIt) {
    HeadlessPlatform p;
    p.random_source = random_values({32767, random_for(5)});
    p.tick_source = []() { return 4242u; };
    bool user_ran = false;
    int32_t result = run_viewer(p, [&](HeadlessPlatform& platform) {
        user_ran = true;
        EXPECT_EQ(platform.seed(), 4242u);
        // 32767 names the missing identifier 2304: drawn again.
        EXPECT_EQ(platform.random_draws(), 2);
        EXPECT_EQ(viewer_dialog.current_id, 2005);
        EXPECT_TRUE(platform.shell_initialised());
        EXPECT_EQ(platform.shell_request().mask, 1u);
        EXPECT_EQ(platform.shell_request().flags, 0x1Du);
        EXPECT_EQ(platform.control_text(1004), caption_box(5, false));
        EXPECT_EQ(platform.control_text(1006), details_box(5));
        EXPECT_EQ(platform.input_panel_calls(), (std::vector<int32_t>{0}));
        // Painted before the user could act, by copying the frame.
        EXPECT_GE(platform.paint_messages(), 1);
        EXPECT_TRUE(last_copy_is_the_frame(platform));
        EXPECT_EQ(shown_frame(platform), frame_of_picture(5));
        EXPECT_EQ(platform.control(1008)->text_limit, 250);
    });
    EXPECT_TRUE(user_ran);
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(p.dialog_open());
    ASSERT_GE(p.messages().size(), 3u);
    // Initialisation first; its repaint is delivered before it returns.
    EXPECT_EQ(p.messages()[0].message, message_init_dialog);
    EXPECT_EQ(p.messages()[0].result, 1);
    EXPECT_EQ(p.messages()[1].message, message_paint);
    EXPECT_EQ(p.messages()[1].result, 1);
    EXPECT_EQ(p.messages().back().message, message_command);
    EXPECT_EQ(p.messages().back().first, 1u);
    EXPECT_EQ(p.messages().back().result, 1);
}

TEST(ViewerDialog, SecondInstanceReturnsAtOnce) {
    HeadlessPlatform p;
    EXPECT_EQ(program_entry(p, module, ModuleHandle{7}, u"", 1), 1);
    EXPECT_FALSE(p.dialog_created());
}

TEST(ViewerDialog, MissingDialogTemplateIsReported) {
    HeadlessPlatform p;
    p.resource_source = [](uint16_t, uint16_t, const uint8_t**, uint32_t*) { return false; };
    EXPECT_EQ(program_entry(p, module, null_module, u"", 1), 1);
    EXPECT_FALSE(p.dialog_created());
    ASSERT_EQ(p.diagnostics().size(), 1u);
    EXPECT_NE(p.diagnostics()[0].find("104"), std::string::npos);
}

// ---- Stepping -----------------------------------------------------------------

TEST(ViewerDialog, ForwardAtTheLastPictureWrapsToTheFirstAndBack) {
    HeadlessPlatform p;
    p.random_source = random_values({random_for(303)});
    run_viewer(p, [](HeadlessPlatform& platform) {
        ASSERT_EQ(viewer_dialog.current_id, 2303);
        EXPECT_EQ(platform.control_text(1004), caption_box(303, false));
        size_t copies = platform.block_copies().size();

        ASSERT_TRUE(platform.press_button(1002));
        EXPECT_EQ(viewer_dialog.current_id, 2000);
        EXPECT_EQ(platform.control_text(1004), caption_box(0, true));
        EXPECT_EQ(platform.control_text(1006), u"Truk Lagoon  Reef (Chuuk) July 1974\r\n[Credit: " +
                                                    std::u16string(credit_domain) + u"]");
        EXPECT_EQ(platform.block_copies().size(), copies + 1);
        EXPECT_TRUE(last_copy_is_the_frame(platform));
        EXPECT_EQ(shown_frame(platform), frame_of_picture(0));

        ASSERT_TRUE(platform.press_button(1003));
        EXPECT_EQ(viewer_dialog.current_id, 2303);
        EXPECT_EQ(platform.control_text(1004), caption_box(303, true));
        EXPECT_EQ(platform.control_text(1004).substr(platform.control_text(1004).size() - 12), u"\r\nImage #303");
        EXPECT_EQ(platform.control_text(1006), details_box(303));
        EXPECT_EQ(shown_frame(platform), frame_of_picture(303));
    });
}

TEST(ViewerDialog, CommandFromAnotherControlChangesNothing) {
    HeadlessPlatform p;
    p.random_source = random_values({random_for(10)});
    run_viewer(p, [](HeadlessPlatform& platform) {
        std::u16string caption = platform.control_text(1004);
        size_t copies = platform.block_copies().size();
        ASSERT_TRUE(platform.touch_control(1004));
        const HeadlessPlatform::DeliveredMessage& m = platform.messages().back();
        EXPECT_EQ(m.message, message_command);
        EXPECT_EQ(m.first, make_command(1004, edit_set_focus));
        EXPECT_EQ(m.result, 0);
        EXPECT_EQ(viewer_dialog.current_id, 2010);
        EXPECT_EQ(platform.control_text(1004), caption);
        EXPECT_EQ(platform.block_copies().size(), copies);
        EXPECT_FALSE(platform.input_panel_up());
    });
}

// ---- Search box and filter -------------------------------------------------------

TEST(ViewerDialog, SearchBoxNotificationsRaiseThePanelOnce) {
    HeadlessPlatform p;
    p.random_source = random_values({random_for(20)});
    run_viewer(p, [](HeadlessPlatform& platform) {
        size_t before = platform.messages().size();
        ASSERT_TRUE(platform.type_text(1008, u"id"));
        ASSERT_TRUE(platform.touch_control(1008));  // has the focus already: nothing
        const auto& m = platform.messages();
        ASSERT_EQ(m.size(), before + 3);
        EXPECT_EQ(m[before].first, make_command(1008, edit_set_focus));
        EXPECT_EQ(m[before + 1].first, make_command(1008, edit_change));
        EXPECT_EQ(m[before + 2].first, make_command(1008, edit_change));
        for (size_t i = before; i < m.size(); ++i) EXPECT_EQ(m[i].result, 1);
        EXPECT_EQ(std::u16string(viewer_dialog.search_text), u"id");
        EXPECT_EQ(platform.input_panel_calls(), (std::vector<int32_t>{0, 1}));
        EXPECT_TRUE(platform.input_panel_up());

        // Tapping a step button: the box loses the focus first, then the click.
        ASSERT_TRUE(platform.press_button(1002));
        EXPECT_EQ(m[before + 3].first, make_command(1008, edit_kill_focus));
        EXPECT_EQ(m[before + 4].first, make_command(1002, button_clicked));
        EXPECT_EQ(platform.input_panel_calls(), (std::vector<int32_t>{0, 1, 0}));
        EXPECT_FALSE(platform.input_panel_up());
    });
}

TEST(ViewerDialog, LowerCaseCaptionWordFiltersAndStillStepsOne) {
    HeadlessPlatform p;
    p.random_source = random_values({random_for(100)});
    run_viewer(p, [](HeadlessPlatform& platform) {
        ASSERT_TRUE(platform.type_text(1008, u"identify"));
        ASSERT_TRUE(platform.press_button(1002));
        EXPECT_EQ(viewer_dialog.filter_active, 1);
        EXPECT_EQ(viewer_dialog.current_id, 2101);
        EXPECT_EQ(platform.control_text(1008), u"identify");
        ASSERT_TRUE(platform.press_button(1003));
        ASSERT_TRUE(platform.press_button(1003));
        EXPECT_EQ(viewer_dialog.current_id, 2099);
        EXPECT_EQ(platform.control_text(1004), caption_box(99, true));
    });
}

TEST(ViewerDialog, TextMatchingNoCaptionGetsTheMarkerOnce) {
    for (const std::u16string& word : {std::u16string(u"Identify"), std::u16string(u"Palau")}) {
        SCOPED_TRACE(std::string(word.begin(), word.end()));
        HeadlessPlatform p;
        p.random_source = random_values({random_for(200)});
        run_viewer(p, [&word](HeadlessPlatform& platform) {
            ASSERT_TRUE(platform.type_text(1008, word));
            ASSERT_TRUE(platform.press_button(1002));
            EXPECT_EQ(platform.control_text(1008), word + u"-NONE");
            EXPECT_EQ(viewer_dialog.filter_active, 0);
            EXPECT_EQ(viewer_dialog.current_id, 2201);
            ASSERT_TRUE(platform.press_button(1002));
            EXPECT_EQ(platform.control_text(1008), word + u"-NONE");
            EXPECT_EQ(viewer_dialog.current_id, 2202);
        });
    }
}

TEST(ViewerDialog, EmptyBoxStepsUnfiltered) {
    HeadlessPlatform p;
    p.random_source = random_values({random_for(50)});
    run_viewer(p, [](HeadlessPlatform& platform) {
        ASSERT_TRUE(platform.type_text(1008, u"x"));
        ASSERT_TRUE(platform.clear_text(1008));
        ASSERT_TRUE(platform.press_button(1002));
        EXPECT_EQ(viewer_dialog.filter_active, 0);
        EXPECT_EQ(viewer_dialog.current_id, 2051);
        EXPECT_EQ(platform.control_text(1008), u"");
    });
}

TEST(ViewerDialog, NoPictureIsDrawnWhileThePanelIsUp) {
    HeadlessPlatform p;
    p.random_source = random_values({random_for(7)});
    run_viewer(p, [](HeadlessPlatform& platform) {
        ASSERT_EQ(shown_frame(platform), frame_of_picture(7));
        ASSERT_TRUE(platform.touch_control(1008));
        ASSERT_TRUE(platform.input_panel_up());
        size_t copies = platform.block_copies().size();

        ASSERT_TRUE(platform.request_repaint());
        EXPECT_EQ(platform.block_copies().size(), copies);
        std::vector<uint8_t> shown = shown_frame(platform);
        EXPECT_TRUE(std::all_of(shown.begin(), shown.end(), [](uint8_t b) { return b == 0xFF; }));

        // Lowered by the shell, not the program: still not drawn.
        ASSERT_TRUE(platform.lower_panel_by_shell());
        ASSERT_TRUE(platform.request_repaint());
        EXPECT_EQ(platform.block_copies().size(), copies);

        // The next step lowers the panel and draws again.
        ASSERT_TRUE(platform.press_button(1002));
        EXPECT_EQ(platform.block_copies().size(), copies + 1);
        EXPECT_EQ(shown_frame(platform), frame_of_picture(8));
        ASSERT_TRUE(platform.request_repaint());
        EXPECT_EQ(platform.block_copies().size(), copies + 2);
        EXPECT_EQ(shown_frame(platform), frame_of_picture(8));
    });
}

TEST(ViewerDialog, SearchBoxRefusesTextTheMarkerWouldNotFit) {
    HeadlessPlatform p;
    p.random_source = random_values({random_for(1)});
    run_viewer(p, [](HeadlessPlatform& platform) {
        EXPECT_FALSE(platform.type_text(1008, std::u16string(300, u'Z')));
        EXPECT_EQ(platform.control_text(1008).size(), 250u);
        EXPECT_EQ(wide_length(viewer_dialog.search_text), 250);
        ASSERT_TRUE(platform.press_button(1002));
        EXPECT_EQ(platform.control_text(1008), std::u16string(250, u'Z') + u"-NONE");
        EXPECT_EQ(wide_length(viewer_dialog.search_text), 255);

        // Text put into the box some other way is cut when it is read.
        platform.set_control_text(platform.dialog_window(), 1008, std::u16string(255, u'Y').c_str());
        ASSERT_TRUE(platform.touch_control(1008));
        EXPECT_EQ(std::u16string(viewer_dialog.search_text), std::u16string(250, u'Y'));
        ASSERT_TRUE(platform.press_button(1002));
        EXPECT_EQ(platform.control_text(1008), std::u16string(250, u'Y') + u"-NONE");
    });
}

// ---- Faults mended -------------------------------------------------------------------

TEST(ViewerDialog, CollectionWithoutReadablePicturesShowsAnEmptyFrame) {
    HeadlessPlatform p;
    p.resource_source = [](uint16_t type, uint16_t id, const uint8_t** data, uint32_t* size) {
        if (type != resource_kind_dialog) return false;
        ResourceBytes bytes{nullptr, 0};
        if (!find_resource(type, id, &bytes)) return false;
        *data = bytes.data;
        *size = bytes.size;
        return true;
    };
    p.random_source = random_values({3});
    bool user_ran = false;
    int32_t result = run_viewer(p, [&](HeadlessPlatform& platform) {
        user_ran = true;
        EXPECT_EQ(platform.control_text(1004), u"");
        EXPECT_EQ(platform.control_text(1006), u"");
        EXPECT_TRUE(last_copy_is_the_frame(platform));
        std::vector<uint8_t> shown = shown_frame(platform);
        EXPECT_TRUE(std::all_of(shown.begin(), shown.end(), [](uint8_t b) { return b == 0; }));
        ASSERT_TRUE(platform.press_button(1002));
        ASSERT_TRUE(platform.press_button(1003));
        EXPECT_EQ(platform.control_text(1004), u"");
        EXPECT_EQ(viewer_dialog.current_id, first_picture_id);
    });
    EXPECT_TRUE(user_ran);
    EXPECT_EQ(result, 1);
}

struct SetUpFault {
    const char* name;
    bool HeadlessPlatform::*fault;
    const char* diagnostic;
};

class SetUpFaults : public ::testing::TestWithParam<SetUpFault> {};

TEST_P(SetUpFaults, EndTheProgramWithADiagnostic) {
    HeadlessPlatform p;
    p.*(GetParam().fault) = true;
    bool user_ran = false;
    int32_t result = run_viewer(p, [&](HeadlessPlatform&) { user_ran = true; });
    EXPECT_EQ(result, 1);
    EXPECT_FALSE(user_ran);
    EXPECT_FALSE(p.dialog_open());
    ASSERT_EQ(p.diagnostics().size(), 1u);
    EXPECT_EQ(p.diagnostics()[0], GetParam().diagnostic);
    EXPECT_TRUE(p.block_copies().empty());
    EXPECT_EQ(p.random_draws(), 0);  // no picture was loaded
}

INSTANTIATE_TEST_SUITE_P(
    Resources, SetUpFaults,
    ::testing::Values(
        SetUpFault{"Screen", &HeadlessPlatform::fail_screen_context,
                   "Error: Set-up failed! No screen drawing context.\n"},
        SetUpFault{"Memory", &HeadlessPlatform::fail_compatible_context,
                   "Error: Set-up failed! No off-screen drawing context.\n"},
        SetUpFault{"Bitmap", &HeadlessPlatform::fail_dib_section, "Error: Set-up failed! No frame bitmap.\n"}),
    [](const ::testing::TestParamInfo<SetUpFault>& info) { return std::string(info.param.name); });

}  // namespace

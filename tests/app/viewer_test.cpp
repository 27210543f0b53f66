// The viewer end to end. The frame loader over pictures made by the
// reference encoder, compared with the rows the decoder itself delivers (a
// refused picture leaves the frame exactly as it was); and the program entry
// running the dialog over the headless platform and the stored collection as
// a user drives it, pressing the step buttons and typing into the search box,
// checked by what the dialog shows: the frame, the caption and details boxes.
#include "app/viewer.h"
#include "app/resource_byte_source.h"
#include "jpeg/decoder.h"
#include "platform/key_map.h"
#include "platform/resource_store.h"
#include "tests/support/fixtures.h"
#include "tests/support/headless_platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <map>
#include <new>
#include <set>
#include <string>
#include <vector>

using namespace marivue::jpeg;

namespace {

// While set, nothrow allocations of exactly this many bytes fail (the
// viewer makes its bitmap header, decoder and byte source that way).
size_t refused_size = 0;
struct RefuseNothrowSize {
    explicit RefuseNothrowSize(size_t size) { refused_size = size; }
    ~RefuseNothrowSize() { refused_size = 0; }
};

// The frame (240 x 160 pixels of blue, green, red) that loading `jpeg` must
// leave: the rows the decoder itself delivers, cut at the frame, black below.
std::vector<uint8_t> expected_frame(const std::vector<uint8_t>& jpeg) {
    e2e::MarivueResult decoded = e2e::marivue_decode(jpeg);
    std::vector<uint8_t> frame(frame_bytes, 0);
    if (decoded.picture.width != frame_width || decoded.picture.channels != 3) return frame;
    const size_t samples = static_cast<size_t>(std::min(decoded.rows, frame_height)) * frame_row_bytes;
    for (size_t i = 0; i < samples; i += 3) {
        frame[i] = decoded.picture.samples[i + 2];
        frame[i + 1] = decoded.picture.samples[i + 1];
        frame[i + 2] = decoded.picture.samples[i];
    }
    return frame;
}

// A picture by the reference encoder: colour, grey (1 channel) or four
// components (coded as CMYK: the header reads, the decoder cannot begin).
std::vector<uint8_t> picture(int width, int height, int channels = 3, bool progressive = false) {
    e2e::Picture p = e2e::make_picture(width, height, channels == 1 ? 1 : 3, static_cast<uint32_t>(width + height));
    e2e::EncodeOptions options;
    options.progressive = progressive;
    if (channels == 1) options.sampling = e2e::Sampling::Grey;
    if (channels == 4) {
        std::vector<uint8_t> four;
        for (size_t i = 0; i < p.samples.size(); i += 3)
            four.insert(four.end(), {p.samples[i], p.samples[i + 1], p.samples[i + 2], 128});
        p = e2e::Picture{width, height, 4, four};
        options.factors.assign(4, {1, 1});
    }
    return e2e::encode(p, options);
}

// Overwrites scan data of a 160-row picture until the decoder meets a
// decoding error part-way down (after at least 16 rows, before 150).
std::vector<uint8_t> error_mid_picture() {
    const std::vector<uint8_t> sound = picture(240, 160);
    for (size_t at = sound.size() / 2; at + 64 < sound.size(); at += 37) {
        for (uint8_t fill : {uint8_t{0xFE}, uint8_t{0xF7}, uint8_t{0x7F}}) {
            std::vector<uint8_t> damaged = sound;
            std::fill_n(damaged.begin() + static_cast<std::ptrdiff_t>(at), 48, fill);
            e2e::MarivueResult r = e2e::marivue_decode(damaged);
            if (r.stop_result == DecodeError && r.rows > 16 && r.rows < 150) return damaged;
        }
    }
    ADD_FAILURE() << "no damage found that the decoder reports mid-picture";
    return sound;
}

struct LoadRow {
    const char* name;
    std::vector<uint8_t> picture;  // stored as picture 2100 (missing when empty)
    bool loads;
    std::string diagnostic;  // the diagnostic output, empty for none
    size_t refused_allocation = 0;  // nothrow allocations of this size fail
};

TEST(FrameLoader, LoadsOrRefusesWithoutTouchingTheFrame) {
    const std::vector<uint8_t> tallest = picture(240, 250);
    const LoadRow rows[] = {
        {"shorter than the frame", picture(240, 120), true, ""},
        {"one row", picture(240, 1), true, ""},
        {"as tall as the frame", picture(240, 160), true, ""},
        {"taller: cut at the frame", tallest, true, ""},
        {"progressive", picture(240, 200, 3, true), true, ""},
        {"decoding error mid-picture keeps the rows so far", error_mid_picture(), true, ""},
        {"wider", picture(320, 160), false, ""},
        {"narrower", picture(239, 160), false, ""},
        {"grey", picture(240, 160, 1), false, ""},
        {"four components", picture(240, 64, 4), false, ""},
        {"no start of image", std::vector<uint8_t>(2000, 0x5A), false, "Error: Decoder failed! Error status: %i\n-217"},
        {"missing", {}, false, ""},
        {"no memory for the decoder", picture(240, 160), false, "", sizeof(JpegDecoder)},
        {"no memory for the byte source", picture(240, 160), false, "", sizeof(ResourceByteSource)},
    };
    for (const LoadRow& row : rows) {
        SCOPED_TRACE(row.name);
        std::string diagnostics;
        FrameLoaderServices services;
        services.find_picture = [&](uint16_t id, const uint8_t** data, uint32_t* size) {
            const std::vector<uint8_t>& picture = id == 2000 ? tallest : row.picture;
            *data = picture.data();
            *size = static_cast<uint32_t>(picture.size());
            return !picture.empty();
        };
        services.diagnostic = [&diagnostics](const char* format, int32_t value) {
            diagnostics += format + std::to_string(value);
        };
        // Into a frame of marker bytes, and into one that held the tallest picture.
        std::vector<uint8_t> marked(frame_bytes, 0xA5), held(frame_bytes, 0xA5);
        ASSERT_TRUE(load_frame(2000, FrameBuffer{held.data()}, services));
        for (std::vector<uint8_t>* frame : {&marked, &held}) {
            const std::vector<uint8_t> before = *frame;
            const bool loaded = [&] {
                RefuseNothrowSize refuse(row.refused_allocation);
                return load_frame(2100, FrameBuffer{frame->data()}, services);
            }();
            EXPECT_EQ(loaded, row.loads);
            EXPECT_TRUE(*frame == (row.loads ? expected_frame(row.picture) : before));
        }
        EXPECT_EQ(diagnostics, row.diagnostic + row.diagnostic);
    }
}

// The byte source refuses what the decoder never asks (a negative request,
// no buffer) without losing a byte, and reports the end in the call after
// the last bytes.
TEST(ResourceByteSource, RefusesBadRequestsAndEndsLate) {
    const uint8_t bytes[4] = {1, 2, 3, 4};
    for (int row = 0; row < 2; ++row) {
        ResourceByteSource source(bytes, 4);
        uint8_t buffer[4] = {}, end_flag = 0;
        EXPECT_EQ(source.read(row == 1 ? nullptr : buffer, row == 0 ? -1 : 2, &end_flag), -1) << row;
        EXPECT_EQ(end_flag + buffer[0], 0) << row;
        EXPECT_EQ(source.read(buffer, 4, &end_flag), 4) << row;
        EXPECT_EQ(buffer[0] + end_flag, 1) << row;
        EXPECT_EQ(source.read(buffer, 4, &end_flag), 0) << row;
        EXPECT_EQ(end_flag, 1) << row;
    }
}

// ---- The dialog ------------------------------------------------------------

constexpr ModuleHandle module{1};
using Action = std::function<void(HeadlessPlatform&)>;
const Action nothing = [](HeadlessPlatform&) {};

// The caption string, exactly as the resource script has it.
const std::u16string caption =
    u"If you can identify this/these animal(s), please email photos@marivue.example.org, specifying: ";

// The details box of some pictures, from the resource script.
const std::map<int, std::u16string> details = {{0, u"Truk Lagoon  Reef (Chuuk) July 1974"},
                                               {5, u"Roviviruva do Zideza Institute of Marine Biology  "},
                                               {53, u"Roviviruva do Zideza Institute of Marine Biology  "},
                                               {54, u"Helen's Reef June 1971"},
                                               {55, u"Palau July 1974"},
                                               {150, u"Leeward Islands June 1969"},
                                               {302, u"Gulf of Aqaba, Red Sea  "},
                                               {303, u"Gulf of Aqaba, Red Sea  "}};

// "\r\n Image #" after set-up, "\r\nImage #" after a step, then the picture
// number right-aligned in three characters.
std::u16string caption_box(int number, bool after_step) {
    std::string digits = std::to_string(number);
    digits.insert(0, 3 - std::min<size_t>(3, digits.size()), ' ');
    return caption + (after_step ? u"\r\nImage #" : u"\r\n Image #") + std::u16string(digits.begin(), digits.end());
}

// A random value in the middle of the range that starts on picture `number`:
// the start is trunc(r / 32767 x 304).
int32_t random_for(int number) { return ((2 * number + 1) * 32767 + 607) / 608; }

// The top-left 240 x 160 pixels of the headless screen.
std::vector<uint8_t> shown_frame(const HeadlessPlatform& p) {
    std::vector<uint8_t> frame(frame_bytes);
    for (int y = 0; y < frame_height; ++y)
        std::copy_n(p.screen().begin() + static_cast<std::ptrdiff_t>(y) * dialog_client_width * 3, frame_row_bytes,
                    frame.begin() + static_cast<std::ptrdiff_t>(y) * frame_row_bytes);
    return frame;
}

// The platform shows picture `number` with its boxes, drawn by copying the
// frame; -1: no picture, empty boxes and a black frame.
void expect_showing(const HeadlessPlatform& p, int number, bool after_step) {
    ASSERT_FALSE(p.block_copies().empty());
    const HeadlessPlatform::BlockCopy& c = p.block_copies().back();
    EXPECT_TRUE(c.x == 0 && c.y == 0 && c.width == 240 && c.height == 160 && c.source_x == 0 && c.source_y == 0);
    if (number < 0) {
        EXPECT_EQ(p.control_text(control_caption_box) + p.control_text(control_details_box), u"");
        EXPECT_TRUE(shown_frame(p) == std::vector<uint8_t>(frame_bytes, 0));
        return;
    }
    EXPECT_EQ(p.control_text(control_caption_box), caption_box(number, after_step));
    if (details.count(number) != 0) {
        EXPECT_EQ(p.control_text(control_details_box), details.at(number) + u"\r\n[Credit: www.marivue.example.org]");
    }
    ResourceBytes stored{nullptr, 0};
    ASSERT_TRUE(
        find_embedded_resource(resource_type_raw_data, static_cast<uint16_t>(first_picture_id + number), &stored));
    EXPECT_TRUE(shown_frame(p) == expected_frame({stored.data, stored.data + stored.size})) << "picture " << number;
}

// Runs the program entry: random values `randoms` in order (then the last
// again), `user` acting once the dialog is up, then the done button.
int32_t run_viewer(HeadlessPlatform& p, std::vector<int32_t> randoms, const Action& user) {
    p.random_source = [randoms, next = size_t{0}]() mutable { return randoms[std::min(next++, randoms.size() - 1)]; };
    p.user = [user](HeadlessPlatform& platform) { user(platform), platform.press_done(); };
    return program_entry(p, module, null_module, u"", 1);
}

// Presses ">>>" (F), "<<<" (B), Home (H) and End (E) in the order given.
void press(HeadlessPlatform& p, const std::string& buttons) {
    for (char b : buttons) {
        if (b == 'H' || b == 'E')
            ASSERT_TRUE(p.press_key_command(b == 'H' ? command_first_picture : command_last_picture));
        else
            ASSERT_TRUE(p.press_button(b == 'F' ? control_forward : control_back));
    }
}

Action type(const std::u16string& text) {
    return [text](HeadlessPlatform& p) { p.type_text(control_search_box, text); };
}

// Only the pictures `listed` load, or (`only` false) all but those, which
// are then damaged (no start of image).
Action pictures_load(bool only, std::set<int> listed) {
    return [only, listed](HeadlessPlatform& p) {
        p.resource_source = [only, listed](uint16_t type, uint16_t id, const uint8_t** data, uint32_t* size) {
            static const std::vector<uint8_t> junk(2000, 0x5A);
            const bool refused = type == resource_type_raw_data && (listed.count(id - first_picture_id) != 0) != only;
            ResourceBytes bytes{nullptr, 0};
            *data = refused                                    ? (only ? nullptr : junk.data())
                    : find_embedded_resource(type, id, &bytes) ? bytes.data
                                                               : nullptr;
            *size = refused ? static_cast<uint32_t>(junk.size()) : bytes.size;
            return *data != nullptr;
        };
    };
}

TEST(Viewer, StartsOnTheDrawnPicture) {
    struct Row {
        std::vector<int32_t> randoms;
        int draws, number;
        std::u16string number_text;  // in the caption box's image line
    };
    // 32767 names one past the last picture: drawn again.
    for (const Row& row : {Row{{0}, 1, 0, u"  0"}, Row{{107}, 1, 0, u"  0"}, Row{{108}, 1, 1, u"  1"},
                           Row{{random_for(42)}, 1, 42, u" 42"}, Row{{16384}, 1, 152, u"152"},
                           Row{{32766}, 1, 303, u"303"}, Row{{32767, random_for(5)}, 2, 5, u"  5"}}) {
        SCOPED_TRACE(row.randoms[0]);
        HeadlessPlatform p;
        p.tick_source = []() { return 4242u; };
        int user_runs = 0;
        EXPECT_EQ(run_viewer(p, row.randoms,
                             [&](HeadlessPlatform& q) {
                                 ++user_runs;
                                 EXPECT_EQ(q.control_text(control_caption_box),
                                           caption + u"\r\n Image #" + row.number_text);
                                 expect_showing(q, row.number, false);
                                 // Seeded from the tick count; shell set-up; panel lowered; search box limit.
                                 EXPECT_EQ(std::vector<int64_t>({q.seed(), q.random_draws(), q.shell_request().flags,
                                                                 q.control(control_search_box)->text_limit}),
                                           std::vector<int64_t>({4242, row.draws, 0x1D, 250}));
                                 EXPECT_EQ(q.input_panel_calls(), std::vector<int32_t>{0});
                             }),
                  1);
        EXPECT_EQ(user_runs, 1);
    }
}

// Sessions: the start, then what the dialog shows after each step press.
TEST(Viewer, StepsThroughThePicturesTheFilterLetsThrough) {
    struct Row {
        const char* name;
        int start;
        std::string buttons;
        std::vector<int> shown;  // at the start, then after each press
        std::u16string box = u"";  // the search box at the end
        Action act = nothing;  // before the presses
        Action arrange = nothing;  // before the program starts
        int damaged = 0;  // pictures reported by the decoder
    };
    const Row rows[] = {
        {"forward wraps to the first", 302, "FFBB", {302, 303, 0, 303, 302}},
        {"back wraps to the last", 0, "BF", {0, 303, 0}},
        {"one step at a time", 54, "FBB", {54, 55, 54, 53}},
        {"home and end", 54, "HEFH", {54, 0, 303, 0, 0}},
        // Only string 5000 of the searched 5000..5303 exists: exactly one match.
        {"a word of the caption", 100, "FBB", {100, 101, 100, 99}, u"identify", type(u"identify")},
        {"home and end with the filter on", 150, "HE", {150, 0, 303}, u"identify", type(u"identify")},
        {"case differs", 200, "FF", {200, 201, 202}, u"Identify-NONE", type(u"Identify")},
        {"a location, not a caption", 200, "F", {200, 201}, u"Palau-NONE", type(u"Palau")},
        {"runs past the caption's end", 7, "F", {7, 8}, u"specifying: z-NONE", type(u"specifying: z")},
        {"typed marker", 20, "F", {20, 21}, u"identify-NONE", type(u"identify-NONE")},
        {"emptied box",
         50,
         "F",
         {50, 51},
         u"",
         [](HeadlessPlatform& p) { p.type_text(control_search_box, u"x"), p.clear_text(control_search_box); }},
        {"typed beyond the box limit",
         1,
         "F",
         {1, 2},
         std::u16string(250, u'Z') + u"-NONE",
         type(std::u16string(300, u'Z'))},
        {"a character typed whole or not at all",
         1,
         "F",
         {1, 2},
         std::u16string(249, u'Z') + u"-NONE",
         type(std::u16string(249, u'Z') + u"\U0001F41F")},
        {"too long, set by the program",
         1,
         "F",
         {1, 2},
         std::u16string(250, u'Y') + u"-NONE",
         [](HeadlessPlatform& p) {
             p.set_control_text(p.dialog_window(), control_search_box, std::u16string(255, u'Y').c_str()),
                 p.touch_control(control_search_box);
         }},
        {"too long, set by the program, a pair at the cut",
         1,
         "F",
         {1, 2},
         std::u16string(249, u'Y') + u"-NONE",
         [](HeadlessPlatform& p) {
             const std::u16string text = std::u16string(249, u'Y') + u"\U0001F41F" + u"YYY";
             p.set_control_text(p.dialog_window(), control_search_box, text.c_str()),
                 p.touch_control(control_search_box);
         }},
        {"damaged pictures skipped", 0, "F", {0, 3}, u"", nothing, pictures_load(false, {1, 2}), 2},
        {"home past damaged pictures", 9, "H", {9, 2}, u"", nothing, pictures_load(false, {0, 1}), 2},
        {"the only one, never drawn", 0, "FB", {150, 150, 150}, u"", nothing, pictures_load(true, {150})},
        {"none at all", 0, "FBHE", {-1, -1, -1, -1, -1}, u"", nothing, pictures_load(true, {})},
        {"end reaches the only picture", 40, "E", {40, 40}, u"", nothing, pictures_load(true, {40})},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        HeadlessPlatform p;
        row.arrange(p);
        run_viewer(p, {random_for(row.start)}, [&row](HeadlessPlatform& platform) {
            expect_showing(platform, row.shown[0], false);
            row.act(platform);
            for (size_t i = 0; i < row.buttons.size(); ++i) {
                size_t copies = platform.block_copies().size();
                press(platform, row.buttons.substr(i, 1));
                EXPECT_EQ(platform.block_copies().size(), copies + 1);
                expect_showing(platform, row.shown[i + 1], true);
            }
            EXPECT_EQ(platform.control_text(control_search_box), row.box);
        });
        EXPECT_EQ(p.diagnostics(),
                  std::vector<std::string>(row.damaged, "Error: Decoder failed! Error status: -217\n"));
    }
}

// A caption string contains the text, but not the one the pictures have:
// one round of refusals, and the picture stays. Texts too long for the
// boxes are cut to 255 units.
TEST(Viewer, FilterMatchingNoPictureStaysAndLongTextsAreCut) {
    HeadlessPlatform p;
    p.string_source = [](uint16_t id, char16_t* buffer, int32_t limit) {
        const std::u16string text = id == 5000   ? std::u16string(300, u'x')
                                    : id == 3000 ? std::u16string(300, u'y')
                                    : id == 5123 ? u"a whale"
                                                 : u"";
        if (text.empty()) return load_embedded_string(id, buffer, limit);
        buffer[text.copy(buffer, static_cast<size_t>(limit))] = 0;
        return std::min(limit, static_cast<int32_t>(text.size()));
    };
    run_viewer(p, {random_for(0)}, [](HeadlessPlatform& platform) {
        platform.type_text(control_search_box, u"whale");
        press(platform, "F");
        EXPECT_EQ(platform.control_text(control_search_box), u"whale");
        EXPECT_EQ(platform.control_text(control_caption_box), std::u16string(255, u'x'));
        EXPECT_EQ(platform.control_text(control_details_box), std::u16string(255, u'y'));
        EXPECT_EQ(viewer_dialog.current_id, first_picture_id);
    });
}

// A control's text read back is cut at the reader's limit, but never
// between the halves of a character outside the basic plane.
TEST(Viewer, ControlTextsReadBackInWholeCharacters) {
    const std::u16string fish = u"\U0001F41F", a254(254, u'a');
    struct Row {
        std::u16string set;
        int32_t limit;
        std::u16string read;
    };
    for (const Row& row : {Row{a254 + fish, 255, a254}, Row{a254.substr(1) + fish, 255, a254.substr(1) + fish},
                           Row{fish + u"b", 1, u""}, Row{fish + u"b", 2, fish}, Row{u"b", 0, u""}}) {
        HeadlessPlatform p;
        run_viewer(p, {0}, [&row](HeadlessPlatform& q) {
            char16_t buffer[text_buffer_units] = {u'?'};
            q.set_control_text(q.dialog_window(), control_details_box, row.set.c_str());
            EXPECT_EQ(q.get_control_text(q.dialog_window(), control_details_box, buffer, row.limit),
                      static_cast<int32_t>(row.read.size()));
            EXPECT_EQ(std::u16string(buffer), row.read) << row.limit;
        });
    }
}

TEST(Viewer, InputPanelHidesTheFrameUntilTheNextStep) {
    HeadlessPlatform p;
    run_viewer(p, {random_for(7)}, [](HeadlessPlatform& platform) {
        ASSERT_TRUE(platform.touch_control(control_caption_box));  // no command of the viewer
        ASSERT_TRUE(platform.type_text(control_search_box, u"id"));
        EXPECT_EQ(platform.input_panel_calls(), (std::vector<int32_t>{0, 1}));  // raised once
        const size_t copies = platform.block_copies().size();
        ASSERT_TRUE(platform.request_repaint());
        ASSERT_TRUE(platform.lower_panel_by_shell());
        ASSERT_TRUE(platform.request_repaint());
        EXPECT_EQ(platform.block_copies().size(), copies);
        EXPECT_TRUE(shown_frame(platform) == std::vector<uint8_t>(frame_bytes, dialog_background));
        press(platform, "F");  // lowers the panel and draws again
        EXPECT_EQ(platform.input_panel_calls(), (std::vector<int32_t>{0, 1, 0}));
        EXPECT_EQ(platform.block_copies().size(), copies + 1);
        expect_showing(platform, 8, true);
    });
}

TEST(Viewer, SetUpFaultsEndTheProgramWithADiagnostic) {
    struct Row {
        const char* diagnostic;
        bool HeadlessPlatform::*fault;  // none: a refused allocation, or no dialog template
        size_t refused_allocation = 0;
    };
    using H = HeadlessPlatform;
    for (const Row& row :
         {Row{"Error: Set-up failed! No screen drawing context.\n", &H::fail_screen_context, 0},
          Row{"Error: Set-up failed! No off-screen drawing context.\n", &H::fail_compatible_context},
          Row{"Error: Set-up failed! No frame bitmap.\n", &H::fail_dib_section, 0},
          Row{"Error: Set-up failed! No memory for the bitmap header.\n", {}, sizeof(BitmapInfoHeader)},
          Row{"Error: Dialog template 104 is missing!\n", nullptr, 0}}) {
        SCOPED_TRACE(row.diagnostic);
        HeadlessPlatform p;
        if (row.fault != nullptr) {
            p.*row.fault = true;
        } else if (row.refused_allocation == 0) {
            p.resource_source = [](uint16_t, uint16_t, const uint8_t**, uint32_t*) { return false; };
        }
        bool user_ran = false;
        {
            RefuseNothrowSize refuse(row.refused_allocation);
            EXPECT_EQ(run_viewer(p, {0}, [&](HeadlessPlatform&) { user_ran = true; }), 1);
        }
        EXPECT_FALSE(user_ran);
        EXPECT_FALSE(p.dialog_open());
        EXPECT_EQ(p.diagnostics(), std::vector<std::string>{row.diagnostic});
        // A step that still arrives finds no frame and does nothing.
        const uintptr_t forward = make_command(control_forward, button_clicked);
        EXPECT_EQ(viewer_dialog_procedure(p, p.dialog_window(), message_command, forward, 0), 1);
        EXPECT_EQ(viewer_dialog_procedure(p, p.dialog_window(), 0x0001, 0, 0), 0);  // not a message it handles
        EXPECT_TRUE(p.block_copies().empty());
        EXPECT_EQ(p.random_draws(), 0);
    }
}

TEST(Viewer, SecondInstanceReturnsAtOnce) {
    HeadlessPlatform p;
    EXPECT_EQ(program_entry(p, module, ModuleHandle{7}, u"", 1), 1);
    EXPECT_FALSE(p.dialog_created());
}

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    if (refused_size != 0 && size == refused_size) return nullptr;
    try {
        return ::operator new(size);
    } catch (...) {
        return nullptr;
    }
}

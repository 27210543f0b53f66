// The viewer's logic without a platform: random start, stepping, box texts
// and the caption filter, over injected services.
#include "app/viewer.h"
#include "platform/resource_store.h"

#include <gtest/gtest.h>

#include <map>
#include <set>
#include <string>
#include <vector>

namespace {

std::u16string credit_line() { return std::u16string(u"\r\n[Credit: ") + credit_domain + u"]"; }

// Services over the real string table, a scripted random sequence and a
// load_frame that accepts a chosen set of identifiers.
struct FakeWorld {
    std::vector<int32_t> randoms;
    size_t next_random = 0;
    int32_t random_calls = 0;
    std::set<uint16_t> loadable;
    std::vector<uint16_t> loads;
    std::map<uint16_t, std::u16string> strings;  // overrides of the string table
    std::vector<uint16_t> string_loads;
    std::u16string box;                          // the search box
    std::vector<std::u16string> box_writes;
    std::vector<int32_t> panel_calls;

    FakeWorld() {
        for (uint16_t id = first_picture_id; id <= last_picture_id; ++id) loadable.insert(id);
    }

    ViewerServices services() {
        ViewerServices s;
        s.load_string = [this](uint16_t id, char16_t* buffer, int32_t limit) {
            string_loads.push_back(id);
            auto it = strings.find(id);
            if (it == strings.end()) return ::load_string(id, buffer, limit);
            int32_t n = 0;
            for (; n < limit && n < static_cast<int32_t>(it->second.size()); ++n) buffer[n] = it->second[n];
            buffer[n] = 0;
            return n;
        };
        s.random = [this]() {
            ++random_calls;
            if (randoms.empty()) return 0;
            int32_t r = randoms[next_random < randoms.size() ? next_random : randoms.size() - 1];
            ++next_random;
            return r;
        };
        s.load_frame = [this](uint16_t id) {
            loads.push_back(id);
            return loadable.count(id) != 0;
        };
        s.set_control_text = [this](int32_t control_id, const char16_t* text) {
            if (control_id == control_search_box) {
                box = text;
                box_writes.push_back(text);
            }
        };
        s.get_control_text = [this](int32_t control_id, char16_t* buffer, int32_t limit) {
            buffer[0] = 0;
            if (control_id != control_search_box) return 0;
            int32_t n = 0;
            for (; n < limit && n < static_cast<int32_t>(box.size()); ++n) buffer[n] = box[n];
            buffer[n] = 0;
            return n;
        };
        s.show_input_panel = [this](int32_t show) { panel_calls.push_back(show); };
        return s;
    }
};

ViewerDialog set_up_dialog() {
    ViewerDialog d;
    d.image_count = image_count;
    return d;
}

// ---- Random start ------------------------------------------------------------

TEST(StartPicture, EveryPictureIsReachedBy107Or108Values) {
    std::vector<int> hits(image_count + 1, 0);
    for (int32_t r = 0; r <= 32767; ++r) {
        uint16_t id = start_picture_id(r, image_count);
        ASSERT_GE(id, first_picture_id);
        ASSERT_LE(id, last_picture_id + 1);
        ++hits[id - first_picture_id];
    }
    for (uint32_t n = 0; n < image_count; ++n) {
        SCOPED_TRACE(n);
        EXPECT_TRUE(hits[n] == 107 || hits[n] == 108) << hits[n];
    }
    // Only the largest value names one past the last picture.
    EXPECT_EQ(hits[image_count], 1);
    EXPECT_EQ(start_picture_id(32767, image_count), 2304);
    EXPECT_EQ(start_picture_id(32766, image_count), 2303);
    EXPECT_EQ(start_picture_id(0, image_count), 2000);
}

TEST(StartPicture, RedrawsWhenThePictureIsRefused) {
    FakeWorld world;
    world.randoms = {32767, 1000};
    ViewerDialog d = set_up_dialog();
    ViewerServices s = world.services();
    ASSERT_TRUE(choose_start_picture(d, s));
    EXPECT_EQ(world.random_calls, 2);
    EXPECT_EQ(world.loads, (std::vector<uint16_t>{2304, start_picture_id(1000, image_count)}));
    EXPECT_EQ(d.current_id, start_picture_id(1000, image_count));
}

TEST(StartPicture, EndsWhenNothingLoads) {
    FakeWorld world;
    world.loadable.clear();
    world.randoms = {12345};
    ViewerDialog d = set_up_dialog();
    EXPECT_FALSE(choose_start_picture(d, world.services()));
    EXPECT_EQ(d.current_id, first_picture_id);
    // Every identifier of the collection was tried, and the loop stopped.
    std::set<uint16_t> tried(world.loads.begin(), world.loads.end());
    for (uint16_t id = first_picture_id; id <= last_picture_id; ++id) EXPECT_EQ(tried.count(id), 1u) << id;
    EXPECT_LE(world.loads.size(), 2 * static_cast<size_t>(image_count));
}

TEST(StartPicture, FindsTheOnePictureThatLoadsEvenIfNeverDrawn) {
    FakeWorld world;
    world.loadable = {2150};
    world.randoms = {0};  // always picture 0
    ViewerDialog d = set_up_dialog();
    ASSERT_TRUE(choose_start_picture(d, world.services()));
    EXPECT_EQ(d.current_id, 2150);
}

// ---- Stepping -----------------------------------------------------------------

TEST(Step, WrapsAtBothEnds) {
    EXPECT_EQ(next_picture_id(2303, StepForward), 2000);
    EXPECT_EQ(next_picture_id(2000, StepBack), 2303);
    EXPECT_EQ(next_picture_id(2100, StepForward), 2101);
    EXPECT_EQ(next_picture_id(2100, StepBack), 2099);

    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    d.current_id = 2303;
    ASSERT_TRUE(step_picture(d, StepForward, world.services()));
    EXPECT_EQ(d.current_id, 2000);
    ASSERT_TRUE(step_picture(d, StepBack, world.services()));
    EXPECT_EQ(d.current_id, 2303);
    EXPECT_EQ(world.loads, (std::vector<uint16_t>{2000, 2303}));
}

TEST(Step, SkipsRefusedPictures) {
    FakeWorld world;
    world.loadable.erase(2001);
    world.loadable.erase(2002);
    ViewerDialog d = set_up_dialog();
    d.current_id = 2000;
    ASSERT_TRUE(step_picture(d, StepForward, world.services()));
    EXPECT_EQ(d.current_id, 2003);
    EXPECT_EQ(world.loads, (std::vector<uint16_t>{2001, 2002, 2003}));
}

TEST(Step, StopsAfterOneRoundWhenNothingLoads) {
    FakeWorld world;
    world.loadable.clear();
    ViewerDialog d = set_up_dialog();
    d.current_id = 2100;
    EXPECT_FALSE(step_picture(d, StepBack, world.services()));
    EXPECT_EQ(world.loads.size(), static_cast<size_t>(image_count));
    EXPECT_EQ(d.current_id, 2100);
}

TEST(Step, StopsAfterOneRoundWhenTheFilterMatchesNoCaption) {
    // Only reachable when the counted strings and the catalogue disagree.
    FakeWorld world;
    world.strings[5000] = u"nothing to see";
    ViewerDialog d = set_up_dialog();
    d.current_id = 2010;
    std::u16string text = u"whale";
    std::copy(text.begin(), text.end(), d.search_text);
    d.filter_active = 1;
    EXPECT_FALSE(step_picture(d, StepForward, world.services()));
    EXPECT_EQ(world.loads.size(), static_cast<size_t>(image_count));
    EXPECT_EQ(d.current_id, 2010);
}

TEST(Step, FilterSkipsPicturesWhoseCaptionLacksTheText) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    d.current_id = 2000;
    std::u16string text = u"identify";
    std::copy(text.begin(), text.end(), d.search_text);
    d.filter_active = 1;
    ASSERT_TRUE(step_picture(d, StepForward, world.services()));
    EXPECT_EQ(d.current_id, 2001);  // every caption is string 5000, which matches
}

// ---- Box texts -------------------------------------------------------------------

std::u16string caption_text() {
    char16_t buffer[text_buffer_units];
    ::load_string(5000, buffer, text_limit);
    return buffer;
}

TEST(Boxes, ImageLinesToTheCharacter) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    char16_t text[text_buffer_units];
    d.current_id = 2005;
    compose_caption(d, ImageLineSetUp, world.services(), text);
    EXPECT_EQ(std::u16string(text), caption_text() + u"\r\n Image #  5");
    compose_caption(d, ImageLineStep, world.services(), text);
    EXPECT_EQ(std::u16string(text), caption_text() + u"\r\nImage #  5");
    d.current_id = 2303;
    compose_caption(d, ImageLineStep, world.services(), text);
    EXPECT_EQ(std::u16string(text), caption_text() + u"\r\nImage #303");
    compose_caption(d, ImageLineSetUp, world.services(), text);
    EXPECT_EQ(std::u16string(text), caption_text() + u"\r\n Image #303");
    d.current_id = 2042;
    compose_caption(d, ImageLineSetUp, world.services(), text);
    EXPECT_EQ(std::u16string(text), caption_text() + u"\r\n Image # 42");
}

TEST(Boxes, DetailsOfPictures0And10And303) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    char16_t text[text_buffer_units];
    d.current_id = 2000;
    compose_details(d, world.services(), text);
    EXPECT_EQ(std::u16string(text), u"Truk Lagoon  Reef (Chuuk) July 1974" + credit_line());
    d.current_id = 2010;
    compose_details(d, world.services(), text);
    EXPECT_EQ(std::u16string(text), u"   " + credit_line());
    d.current_id = 2303;
    compose_details(d, world.services(), text);
    EXPECT_EQ(std::u16string(text), u"Gulf of Aqaba, Red Sea  " + credit_line());
}

TEST(Boxes, LongStringsAreCutToTheBuffer) {
    FakeWorld world;
    world.strings[5000] = std::u16string(300, u'x');
    world.strings[3000] = std::u16string(300, u'y');
    ViewerDialog d = set_up_dialog();
    char16_t text[text_buffer_units];
    d.current_id = 2000;
    compose_caption(d, ImageLineSetUp, world.services(), text);
    EXPECT_EQ(std::u16string(text), std::u16string(255, u'x'));
    compose_details(d, world.services(), text);
    EXPECT_EQ(std::u16string(text), std::u16string(255, u'y'));
}

// ---- Caption filter -------------------------------------------------------------

void type_into(FakeWorld& world, ViewerDialog& d, const std::u16string& text) {
    world.box = text;
    read_search_box(d, world.services());
}

TEST(Filter, EmptyBoxLeavesTheFilterOff) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    d.filter_active = 1;
    update_filter(d, world.services());
    EXPECT_EQ(d.filter_active, 0);
    EXPECT_TRUE(world.string_loads.empty());
}

TEST(Filter, LowerCaseWordOfTheCaptionSwitchesItOn) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    type_into(world, d, u"identify");
    EXPECT_EQ(std::u16string(d.search_text), u"identify");
    update_filter(d, world.services());
    EXPECT_EQ(d.filter_active, 1);
    EXPECT_TRUE(world.box_writes.empty());
    // All 304 caption strings were searched, with no early stop.
    ASSERT_EQ(world.string_loads.size(), static_cast<size_t>(image_count));
    for (uint32_t i = 0; i < image_count; ++i) EXPECT_EQ(world.string_loads[i], 5000 + i);
}

TEST(Filter, NoMatchAppendsTheMarkerOnce) {
    for (const std::u16string& word : {std::u16string(u"Identify"), std::u16string(u"Palau")}) {
        FakeWorld world;
        ViewerDialog d = set_up_dialog();
        type_into(world, d, word);
        d.filter_active = 1;
        update_filter(d, world.services());
        EXPECT_EQ(d.filter_active, 0);
        EXPECT_EQ(std::u16string(d.search_text), word + u"-NONE");
        EXPECT_EQ(world.box, word + u"-NONE");
        // A second press without editing: no second marker, no second search.
        world.string_loads.clear();
        update_filter(d, world.services());
        EXPECT_EQ(std::u16string(d.search_text), word + u"-NONE");
        EXPECT_EQ(world.box_writes.size(), 1u);
        EXPECT_TRUE(world.string_loads.empty());
        EXPECT_EQ(d.filter_active, 0);
    }
}

TEST(Filter, TypedMarkerSwitchesTheFilterOffWithoutASearch) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    type_into(world, d, u"identify-NONE");
    d.filter_active = 1;
    update_filter(d, world.services());
    EXPECT_EQ(d.filter_active, 0);
    EXPECT_TRUE(world.string_loads.empty());
    EXPECT_TRUE(world.box_writes.empty());
}

TEST(Filter, ReadingTheBoxRaisesThePanelOnce) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    type_into(world, d, u"i");
    type_into(world, d, u"id");
    EXPECT_EQ(world.panel_calls, (std::vector<int32_t>{1}));
    EXPECT_EQ(d.input_panel_up, 1);
    lower_input_panel(d, world.services());
    lower_input_panel(d, world.services());
    EXPECT_EQ(world.panel_calls, (std::vector<int32_t>{1, 0}));
    EXPECT_EQ(d.input_panel_up, 0);
}

TEST(Filter, OverlongTextIsCutSoTheMarkerFits) {
    FakeWorld world;
    ViewerDialog d = set_up_dialog();
    type_into(world, d, std::u16string(300, u'Q'));
    EXPECT_EQ(wide_length(d.search_text), search_text_limit);
    update_filter(d, world.services());
    EXPECT_EQ(std::u16string(d.search_text), std::u16string(250, u'Q') + u"-NONE");
    EXPECT_EQ(d.filter_active, 0);
}

// ---- Text helpers ------------------------------------------------------------------

TEST(WideText, SearchIsCaseSensitiveAndFindsAnyPosition) {
    EXPECT_TRUE(wide_contains(u"abcabd", u"abd"));
    EXPECT_TRUE(wide_contains(u"abc", u"abc"));
    EXPECT_FALSE(wide_contains(u"abc", u"abcd"));
    EXPECT_FALSE(wide_contains(u"abc", u"B"));
    EXPECT_FALSE(wide_contains(u"", u"a"));
    EXPECT_TRUE(wide_contains(u"abc", u""));
    char16_t buffer[6] = u"ab";
    wide_append(buffer, 6, u"cdefg");
    EXPECT_EQ(std::u16string(buffer), u"abcde");
}

}  // namespace

// The photo view's model driven through its controller as a front end
// drives it, over a fake of its worker threads that "decodes" pictures of
// given sizes on request and a clock the test sets: stepping and the
// filter, zoom and pan against the point-under-the-pointer property,
// rotation, the gallery, the slideshow, the busy mark, what is held, and
// the question before the trash.
#include "app/photo_model.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace {

struct FakeHost final : PhotoHost {
    int64_t now = 1000;
    void wake() override {}
    int64_t now_ms() override { return now; }
};

// Decodes on request: each job in order gives a picture of the size its
// file has here, or the failure the file is given.
class FakeWork final : public PictureWork {
public:
    struct File {
        int32_t width = 4000, height = 3000;
        std::string failure;  // a reason: the decode fails with it
    };
    std::map<std::string, File> files;  // by path; others are 4000 x 3000
    std::vector<PictureJob> wanted;
    std::vector<std::string> trash_asked;
    std::vector<TrashJobDone> trash_done;
    std::vector<std::weak_ptr<const PictureImage>> made;

    void start(std::function<void()>) override {}
    void want(std::vector<PictureJob> jobs) override { wanted = std::move(jobs); }
    void trash(uint32_t id, const std::string& path) override {
        trash_asked.push_back(path);
        asked_ids.push_back(id);
    }
    void take(std::vector<PictureJobDone>& pictures, std::vector<TrashJobDone>& trashed) override {
        pictures = std::move(done), trashed = std::move(trash_done);
        done.clear(), trash_done.clear();
    }
    void let_go() override {}

    // Does the first `count` jobs wanted.
    void work(size_t count = 100) {
        for (size_t i = 0; i < count && i < wanted.size(); ++i) {
            const PictureJob& job = wanted[i];
            const File file = files.count(job.path) ? files[job.path] : File{};
            PictureJobDone result{job, {}};
            PictureOutcome& outcome = result.picture.outcome;
            outcome.result = file.failure.empty() ? PictureResult::shown : PictureResult::decode_failed;
            outcome.reason = file.failure;
            if (file.failure.empty()) {
                outcome.facts.width = file.width, outcome.facts.height = file.height;
                auto image = std::make_shared<PictureImage>();
                const PictureRequest& r = job.request;
                image->left = r.left, image->top = r.top;
                image->part_width = r.width > 0 ? r.width : file.width;
                image->part_height = r.width > 0 ? r.height : file.height;
                std::tie(image->width, image->height) =
                    fitted_size(image->part_width, image->part_height, r.box_width, r.box_height);
                image->bgra.assign(size_t(image->width) * size_t(image->height) * 4, 0x80);
                made.push_back(image);
                result.picture.image = image;
            }
            done.push_back(result);
        }
        wanted.erase(wanted.begin(), wanted.begin() + static_cast<std::ptrdiff_t>(std::min(count, wanted.size())));
    }

    std::vector<uint32_t> asked_ids;

private:
    std::vector<PictureJobDone> done;
};

// The view a front end of 1000 x 800 device pixels gives, its gallery cells
// 200 x 200 with thumbnails of 160 x 120.
constexpr PhotoViewport view{1000, 800, 1, 200, 200, 160, 120};

struct Viewer {
    FakeHost host;
    FakeWork* work;
    std::unique_ptr<PhotoModel> model;

    explicit Viewer(const std::vector<std::string>& names, PhotoOptions options = {},
                    std::map<std::string, FakeWork::File> files = {}) {
        auto fake = std::make_unique<FakeWork>();
        work = fake.get();
        work->files = std::move(files);
        std::vector<PictureEntry> entries;
        for (const std::string& name : names) entries.push_back({"/p/" + name, name});
        model = std::make_unique<PhotoModel>(entries, options, std::move(fake));
        model->start(host);
        model->set_view(view);
        settle();
    }
    // The worker does all it is asked, and the view takes it, until the
    // view asks for nothing more.
    void settle() {
        for (int round = 0; round < 10 && (round == 0 || !work->wanted.empty()); ++round) {
            work->work();
            model->poll();
        }
    }
    void press(PhotoCommand c) {
        model->command(c);
        settle();
    }
    const PhotoScene& scene() const { return model->scene(); }
    std::string title() const { return scene().title; }
    // The picture point under view point (x, y).
    std::pair<double, double> under(double x, double y) const {
        const PhotoMatrix& m = scene().placement;
        const double det = m.m11 * m.m22 - m.m12 * m.m21;
        const double dx = x - m.dx, dy = y - m.dy;
        return {(m.m22 * dx - m.m21 * dy) / det, (m.m11 * dy - m.m12 * dx) / det};
    }
};

// The commands the tables below spell as letters; any other letter is Cancel.
PhotoCommand command_of(char key) {
    static const std::map<char, PhotoCommand> commands{{'N', PhotoCommand::Next},     {'P', PhotoCommand::Previous},
                                                       {'H', PhotoCommand::First},    {'E', PhotoCommand::Last},
                                                       {'D', PhotoCommand::RowDown},  {'U', PhotoCommand::RowUp},
                                                       {'d', PhotoCommand::PageDown}, {'u', PhotoCommand::PageUp},
                                                       {'O', PhotoCommand::Open},     {'C', PhotoCommand::Confirm}};
    const auto found = commands.find(key);
    return found == commands.end() ? PhotoCommand::Cancel : found->second;
}

const std::vector<std::string> names = {"img1.jpg", "IMG_0002.JPG", "beach.jpg", "Img3.jpeg", "\xC3\x84rger.jpg"};

TEST(PhotoModel, StepsThroughTheFilteredListAndCountsTheMatches) {
    struct Row {
        const char* typed;
        std::string count;
        std::string keys;  // before each: N next, P previous, H first, E last
        std::vector<std::string> titles;
    };
    const Row rows[] = {
        {"",
         "",
         "NNPPPH",
         {"img1.jpg — 1 / 5", "IMG_0002.JPG — 2 / 5", "beach.jpg — 3 / 5", "IMG_0002.JPG — 2 / 5", "img1.jpg — 1 / 5",
          "Ärger.jpg — 5 / 5", "img1.jpg — 1 / 5"}},
        {"IMG",
         "3 matches",
         "NNNE",
         {"img1.jpg — 1 / 3", "IMG_0002.JPG — 2 / 3", "Img3.jpeg — 3 / 3", "img1.jpg — 1 / 3", "Img3.jpeg — 3 / 3"}},
        {"äRG", "1 match", "NP", {"Ärger.jpg — 1 / 1", "Ärger.jpg — 1 / 1", "Ärger.jpg — 1 / 1"}},
        {".JP", "5 matches", "P", {"img1.jpg — 1 / 5", "Ärger.jpg — 5 / 5"}},
        // No name has it: nothing is filtered.
        {"zz", "no match", "N", {"img1.jpg — 1 / 5", "IMG_0002.JPG — 2 / 5"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.typed);
        Viewer v(names);
        v.press(PhotoCommand::Search);
        v.model->set_search_text(row.typed);
        EXPECT_EQ(v.scene().search_count, row.count);
        v.press(PhotoCommand::Confirm);  // Enter: the field closes, the filter stays
        EXPECT_FALSE(v.scene().searching);
        for (size_t i = 0; i < row.titles.size(); ++i) {
            if (i > 0) v.press(command_of(row.keys[i - 1]));
            EXPECT_EQ(v.title(), row.titles[i]) << i;
        }
    }
    // Typing a character at a time, erasing, and Escape clearing the filter.
    Viewer v(names);
    v.press(PhotoCommand::Next);
    v.press(PhotoCommand::Search);
    v.model->type_text(U"b");
    EXPECT_EQ(v.title(), "beach.jpg — 1 / 1");  // the picture on show does not match: the next that does
    v.model->erase_char();
    EXPECT_EQ(v.scene().search_count, "");
    v.model->type_text(U"3");
    EXPECT_EQ(v.title(), "Img3.jpeg — 1 / 1");
    v.press(PhotoCommand::Cancel);
    EXPECT_FALSE(v.scene().searching);
    EXPECT_EQ(v.title(), "Img3.jpeg — 4 / 5");
    v.press(PhotoCommand::Cancel);  // nothing else open: Escape quits
    EXPECT_TRUE(v.model->finished());
}

TEST(PhotoModel, ZoomKeepsThePointUnderThePointerAndPansWithinThePicture) {
    Viewer v({"a.jpg"});  // 4000 x 3000 in 1000 x 800: fitted at 0.25, 1000 x 750
    EXPECT_EQ(v.scene().scale, 0.25);
    EXPECT_EQ(v.scene().placement.dy, 25);
    EXPECT_FALSE(v.scene().arrows_pan);
    // Ctrl+wheel at several points: where the picture covers the view after
    // the zoom, the picture point under the pointer stays under it.
    struct Row {
        double factor, x, y;
    };
    const Row rows[] = {{1.25, 500, 400}, {1.25, 10, 30}, {1.5625, 990, 790}, {2, 123, 456},
                        {0.8, 700, 100},  {4, 0, 0},      {1.25, 999, 799}};
    for (const Row& r : rows) {
        const auto [px, py] = v.under(r.x, r.y);
        const double scale = v.scene().scale;
        v.model->zoom_at(r.factor, r.x, r.y);
        EXPECT_NEAR(v.scene().scale, scale * r.factor, 1e-9);
        // Where that picture point is drawn now. The picture lies on whole
        // device pixels, before and after: within half a pixel of each.
        const PhotoMatrix& m = v.scene().placement;
        const double x = m.m11 * px + m.m21 * py + m.dx, y = m.m12 * px + m.m22 * py + m.dy;
        EXPECT_NEAR(x, r.x, 0.5 + 0.5 * r.factor) << r.factor << " at " << r.x << ", " << r.y;
        EXPECT_NEAR(y, r.y, 0.5 + 0.5 * r.factor) << r.factor << " at " << r.x << ", " << r.y;
        EXPECT_TRUE(v.scene().arrows_pan);
    }
    // Zooming out to the fit centres the picture again; further out stays.
    v.model->zoom_at(0.01, 500, 400);
    EXPECT_EQ(v.scene().scale, 0.25);
    EXPECT_EQ(v.scene().placement.dx, 0);
    EXPECT_EQ(v.scene().placement.dy, 25);
    // The zoom keys stop at 1:1 on the way; 1 and 0 go there at once.
    std::vector<double> scales;
    for (int i = 0; i < 5; ++i) v.press(PhotoCommand::ZoomIn), scales.push_back(v.scene().scale);
    EXPECT_EQ(scales, (std::vector<double>{0.375, 0.5625, 0.84375, 1, 1.5}));
    v.press(PhotoCommand::ZoomFit);
    EXPECT_EQ(v.scene().scale, 0.25);
    v.press(PhotoCommand::ZoomActual);
    EXPECT_EQ(v.scene().scale, 1);
    // At 1:1 about the middle: picture point (2000, 1500) at view (500, 400).
    EXPECT_EQ(v.under(500, 400), (std::pair<double, double>{2000, 1500}));
    // A drag moves the picture with the pointer; panning stops at the edges.
    v.model->drag(-30, 20);
    EXPECT_EQ(v.under(500, 400), (std::pair<double, double>{2030, 1480}));
    for (int i = 0; i < 40; ++i) v.press(PhotoCommand::PanLeft), v.press(PhotoCommand::PanUp);
    EXPECT_EQ(v.under(0, 0), (std::pair<double, double>{0, 0}));
    v.model->drag(-100000, -100000);
    EXPECT_EQ(v.under(1000, 800), (std::pair<double, double>{4000, 3000}));
    // A picture smaller than the view keeps its size, centred.
    Viewer small({"s.jpg"}, {}, {{"/p/s.jpg", {300, 200, ""}}});
    EXPECT_EQ(small.scene().scale, 1);
    EXPECT_EQ(small.under(350, 300), (std::pair<double, double>{0, 0}));
    EXPECT_FALSE(small.scene().arrows_pan);
}

TEST(PhotoModel, RotationTurnsTheViewAboutItsMiddle) {
    struct Row {
        std::string keys;  // r clockwise, R anticlockwise
        int turns;
        std::pair<double, double> top_left;  // where the picture's top-left corner is drawn
    };
    // 4000 x 3000 turned is 3000 x 4000: fitted at 0.2, 600 x 800, from x 200.
    const Row rows[] = {{"", 0, {0, 25}},     {"r", 1, {800, 0}},   {"rr", 2, {1000, 775}},
                        {"R", 3, {200, 800}}, {"rrrr", 0, {0, 25}}, {"Rr", 0, {0, 25}}};
    for (const Row& row : rows) {
        Viewer v({"a.jpg"});
        for (const char k : row.keys) v.press(k == 'r' ? PhotoCommand::RotateRight : PhotoCommand::RotateLeft);
        EXPECT_EQ(v.scene().quarter_turns, row.turns) << row.keys;
        const PhotoMatrix& m = v.scene().placement;
        EXPECT_EQ((std::pair<double, double>{m.dx, m.dy}), row.top_left) << row.keys;
        // The whole picture lies in the view.
        const double corners[4][2] = {{0, 0}, {4000, 0}, {0, 3000}, {4000, 3000}};
        for (const auto& c : corners) {
            const double x = m.m11 * c[0] + m.m21 * c[1] + m.dx, y = m.m12 * c[0] + m.m22 * c[1] + m.dy;
            EXPECT_TRUE(x >= 0 && x <= 1000 && y >= 0 && y <= 800) << row.keys << ": " << x << ", " << y;
        }
    }
    // Zoomed in, a turn keeps the picture point in the middle of the view.
    Viewer v({"a.jpg"});
    v.model->zoom_at(4, 300, 300);
    const auto middle = v.under(500, 400);
    v.press(PhotoCommand::RotateRight);
    const auto after = v.under(500, 400);
    EXPECT_NEAR(after.first, middle.first, 0.5);
    EXPECT_NEAR(after.second, middle.second, 0.5);
}

TEST(PhotoModel, GalleryMovesItsChoiceAndOpensIt) {
    std::vector<std::string> many;
    char name[24];
    for (int i = 1; i <= 23; ++i) std::snprintf(name, sizeof name, "p%d.jpg", i), many.push_back(name);
    struct Row {
        std::string keys;  // N P right/left, D U rows, d u pages, H E ends
        int chosen, first_row;  // 1-based picture, top row in view
    };
    // 1000 x 800 with 200 x 200 cells: 5 columns, 4 rows in view, 5 rows.
    const Row rows[] = {
        {"", 1, 0},         {"NN", 3, 0}, {"DDD", 16, 0}, {"DDDD", 21, 1}, {"DDDDD", 21, 1},
        {"NNNDDDD", 23, 1}, {"E", 23, 1}, {"EU", 18, 1},  {"EUUUU", 3, 0}, {"d", 21, 1},
        {"du", 1, 0},       {"EH", 1, 0}, {"PPP", 1, 0},  {"EN", 23, 1},
    };
    for (const Row& row : rows) {
        Viewer v(many);
        v.press(PhotoCommand::Gallery);
        ASSERT_EQ(v.scene().mode, PhotoScene::Mode::gallery);
        EXPECT_EQ(v.scene().columns, 5);
        for (const char k : row.keys) v.press(command_of(k));
        EXPECT_EQ(v.title(), many[size_t(row.chosen - 1)] + " — " + std::to_string(row.chosen) + " / 23") << row.keys;
        EXPECT_EQ(v.scene().first_row, row.first_row) << row.keys;
        // The cells in view start at that row; the choice is marked.
        ASSERT_FALSE(v.scene().cells.empty());
        EXPECT_EQ(v.scene().cells[0].name, many[size_t(row.first_row * 5)]);
        int marked = 0;
        for (const GalleryCell& c : v.scene().cells) marked += c.selected;
        EXPECT_EQ(marked, 1);
        v.press(PhotoCommand::Open);
        EXPECT_EQ(v.scene().mode, PhotoScene::Mode::picture);
        EXPECT_EQ(v.title(), many[size_t(row.chosen - 1)] + " — " + std::to_string(row.chosen) + " / 23");
    }
    // Thumbnails come for the cells in view, nearest the choice first; a
    // click opens the cell under it.
    Viewer v(many);
    v.press(PhotoCommand::Next);
    v.model->command(PhotoCommand::Gallery);
    ASSERT_GE(v.work->wanted.size(), 20u);
    EXPECT_EQ(v.work->wanted[0].path, "/p/p2.jpg");
    EXPECT_EQ(v.work->wanted[0].kind, PictureJobKind::thumbnail);
    EXPECT_EQ(v.work->wanted[1].path, "/p/p1.jpg");
    EXPECT_EQ(v.work->wanted[2].path, "/p/p3.jpg");
    v.settle();
    EXPECT_EQ(v.scene().cells[7].thumbnail.width, 160);
    EXPECT_EQ(v.scene().cells[7].thumbnail.height, 120);
    v.model->scroll(1);
    EXPECT_EQ(v.scene().first_row, 1);
    v.model->click(2 * 200 + 50, 1 * 200 + 50, false);  // third column, second row in view: p13
    EXPECT_EQ(v.title(), "p13.jpg — 13 / 23");
}

TEST(PhotoModel, SlideshowAdvancesOnTheClockOncePicturesAreShown) {
    PhotoOptions options;
    options.slideshow = true;
    options.slideshow_ms = 3000;
    Viewer v({"a.jpg", "b.jpg", "c.jpg"}, options);
    struct Row {
        int64_t at;  // after the start, milliseconds
        bool decode;  // the worker delivers what it was asked for, first
        std::string title;
    };
    const Row rows[] = {
        {2999, false, "a.jpg — 1 / 3"},  {3000, false, "b.jpg — 2 / 3"},  // b was decoded ahead
        {5999, false, "b.jpg — 2 / 3"},  {6000, false, "c.jpg — 3 / 3"},  // c was not: it is awaited
        {9500, false, "c.jpg — 3 / 3"},  {9600, true, "c.jpg — 3 / 3"},  // c shown from 9600
        {12599, false, "c.jpg — 3 / 3"}, {12600, false, "a.jpg — 1 / 3"},
    };
    const int64_t start = v.host.now;
    for (const Row& row : rows) {
        v.host.now = start + row.at;
        if (row.decode) v.settle();
        v.model->tick(v.host.now);
        EXPECT_EQ(v.title(), row.title) << row.at;
    }
    // s stops it; the clock then changes nothing.
    v.press(PhotoCommand::Slideshow);
    v.host.now += 100000;
    v.model->tick(v.host.now);
    EXPECT_EQ(v.title(), "a.jpg — 1 / 3");
    EXPECT_EQ(v.model->next_tick_ms(), -1);
}

TEST(PhotoModel, DecodesAheadShowsItAtOnceAndMarksLongWaits) {
    Viewer v({"a.jpg", "b.jpg", "c.jpg", "d.jpg"});
    ASSERT_EQ(v.scene().layers.size(), 1u);
    // The next picture was decoded ahead: a step shows it with no work.
    v.model->command(PhotoCommand::Next);
    EXPECT_EQ(v.scene().layers.size(), 1u);
    EXPECT_FALSE(v.scene().busy);
    // The next one ahead is asked for; a jump to the end asks for that one
    // first and no longer for the one ahead.
    ASSERT_EQ(v.work->wanted.size(), 1u);
    EXPECT_EQ(v.work->wanted[0].path, "/p/c.jpg");
    // A quick reduced preview of it comes first, then the picture for the
    // view.
    v.model->command(PhotoCommand::Last);
    ASSERT_EQ(v.work->wanted.size(), 2u);
    EXPECT_EQ(v.work->wanted[0].path, "/p/d.jpg");
    EXPECT_EQ(v.work->wanted[0].kind, PictureJobKind::preview);
    EXPECT_EQ(v.work->wanted[1].path, "/p/d.jpg");
    EXPECT_EQ(v.work->wanted[1].kind, PictureJobKind::screen);
    EXPECT_LE(v.work->wanted[0].request.box_width * 4, v.work->wanted[1].request.box_width);
    // Nothing to show yet: the busy mark after 150 ms, not before.
    EXPECT_TRUE(v.scene().layers.empty());
    EXPECT_EQ(v.model->next_tick_ms(), v.host.now + 150);
    v.host.now += 149;
    v.model->tick(v.host.now);
    EXPECT_FALSE(v.scene().busy);
    v.host.now += 1;
    v.model->tick(v.host.now);
    EXPECT_TRUE(v.scene().busy);
    // The preview shows, drawn to the picture's full size in the view, while
    // the picture is still on its way.
    v.work->work(1);
    v.model->poll();
    ASSERT_EQ(v.scene().layers.size(), 1u);
    EXPECT_EQ(v.scene().layers[0].pixels.width, 250);
    const double preview_width = v.scene().layers[0].width;
    EXPECT_TRUE(v.scene().busy);
    v.settle();
    EXPECT_FALSE(v.scene().busy);
    ASSERT_EQ(v.scene().layers.size(), 1u);
    EXPECT_EQ(v.scene().layers[0].pixels.width, 1000);
    EXPECT_EQ(v.scene().layers[0].width, preview_width);
}

TEST(PhotoModel, HoldsThePictureOnShowTheOneAheadAndDetailOnlyWhileZoomed) {
    PhotoOptions options;
    options.memory.full_resolution_bytes = 4000 * 3000 * 4;  // a.jpg fits, b.jpg does not
    Viewer v({"a.jpg", "b.jpg", "c.jpg", "d.jpg"}, options, {{"/p/b.jpg", {8000, 6000, ""}}});
    const auto alive = [&v] {
        int n = 0;
        for (const auto& image : v.work->made) n += !image.expired();
        return n;
    };
    EXPECT_EQ(alive(), 2);  // a, and b ahead
    v.press(PhotoCommand::Next);
    v.press(PhotoCommand::Next);
    EXPECT_EQ(alive(), 2);  // c, and d ahead
    // Zoomed past the picture for the view, a.jpg comes whole at full
    // resolution; zoomed back to the fit, it goes.
    v.press(PhotoCommand::First);
    v.press(PhotoCommand::ZoomActual);
    ASSERT_EQ(v.scene().layers.size(), 2u);
    EXPECT_EQ(v.scene().layers[1].pixels.width, 4000);
    EXPECT_EQ(v.scene().layers[1].width, 4000);
    EXPECT_EQ(alive(), 3);
    v.press(PhotoCommand::ZoomFit);
    EXPECT_EQ(v.scene().layers.size(), 1u);
    EXPECT_EQ(alive(), 2);
    // b.jpg at 1:1 is too large to hold whole: the part in view and as much
    // again around it, at full resolution.
    v.press(PhotoCommand::Next);
    v.press(PhotoCommand::ZoomActual);
    ASSERT_EQ(v.scene().layers.size(), 2u);
    const PhotoLayer& part = v.scene().layers[1];
    EXPECT_EQ((std::vector<double>{part.left, part.top, part.width, part.height}),
              (std::vector<double>{3000, 2200, 2000, 1600}));
    EXPECT_EQ(part.pixels.width, 2000);
    // Zoomed out, a part held at up to twice the resolution needed still
    // serves; further out, the part around the view (here all of it) comes
    // at the resolution the zoom needs.
    for (int i = 0; i < 3; ++i) v.press(PhotoCommand::ZoomOut);
    EXPECT_NEAR(v.scene().scale, 0.2963, 0.0001);
    EXPECT_NEAR(v.scene().layers[1].pixels.width / v.scene().layers[1].width, 0.4444, 0.0001);
    v.press(PhotoCommand::ZoomOut);
    const PhotoLayer& wider = v.scene().layers[1];
    EXPECT_EQ((std::vector<double>{wider.left, wider.top, wider.width, wider.height}),
              (std::vector<double>{0, 0, 8000, 6000}));
    EXPECT_NEAR(wider.pixels.width / wider.width, v.scene().scale, 0.0001);
}

TEST(PhotoModel, AsksBeforeTheTrashAndSaysWhyAFileStays) {
    Viewer v({"a.jpg", "b.jpg", "c.jpg"}, {}, {{"/p/c.jpg", {0, 0, "not a JPEG file"}}});
    v.press(PhotoCommand::Next);
    v.press(PhotoCommand::Trash);
    EXPECT_EQ(v.scene().confirmation, "Move “b.jpg” to the trash?");
    // While the question waits, other keys do nothing.
    v.press(PhotoCommand::Next);
    EXPECT_EQ(v.title(), "b.jpg — 2 / 3");
    v.press(PhotoCommand::Cancel);
    EXPECT_EQ(v.scene().confirmation, "");
    EXPECT_TRUE(v.work->trash_asked.empty());
    EXPECT_FALSE(v.model->finished());
    v.press(PhotoCommand::Trash);
    v.press(PhotoCommand::Confirm);
    EXPECT_EQ(v.work->trash_asked, std::vector<std::string>{"/p/b.jpg"});
    v.work->trash_done.push_back({v.work->asked_ids[0], true, ""});
    v.settle();
    EXPECT_EQ(v.title(), "c.jpg — 2 / 2");
    EXPECT_EQ(v.scene().message, "c.jpg: not a JPEG file");
    // A move the trash refuses leaves the picture, and the view says why.
    v.press(PhotoCommand::Previous);
    v.press(PhotoCommand::Trash);
    v.press(PhotoCommand::Confirm);
    v.work->trash_done.push_back({v.work->asked_ids[1], false, "no trash on its file system can take it"});
    v.settle();
    EXPECT_EQ(v.title(), "a.jpg — 1 / 2");
    EXPECT_EQ(v.scene().message, "a.jpg was not moved to the trash: no trash on its file system can take it");
    v.press(PhotoCommand::Next);
    EXPECT_EQ(v.scene().message, "c.jpg: not a JPEG file");
}

}  // namespace

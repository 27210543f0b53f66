// The photo view's model, one for every front end: the list of pictures and
// the position in it, the search filter, zoom, pan and rotation, full
// screen, the slideshow, the gallery's choice, the info panel, the question
// before the trash, and what the worker threads decode for it. Each change
// rebuilds the scene the front end draws.
//
// Memory: besides the thumbnails (at most PhotoMemory::thumbnail_bytes),
// the model holds the picture on show at the size the view needs, the next
// one in the stepping direction at that size, and while zoomed past that
// size the detail: the whole picture at full resolution when it takes at
// most PhotoMemory::full_resolution_bytes, else the part in view (and a
// margin) at the resolution the zoom needs.
#pragma once

#include "app/photo_loader.h"
#include "app/photo_zoom.h"
#include "app/picture_list.h"
#include "platform/photo_view.h"

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct PhotoMemory {
    int64_t full_resolution_bytes = int64_t{128} << 20;
    int64_t thumbnail_bytes = int64_t{32} << 20;
};

struct PhotoOptions {
    bool slideshow = false;  // from the start
    int64_t slideshow_ms = 4000;
    int32_t zoom = 0;  // the first picture this many device pixels per picture pixel; 0: fitted
    std::string working_folder;  // where relative paths start from, for the info panel
    PhotoMemory memory;
};

// How long the busy mark waits, and how long the bar stays without activity.
constexpr int64_t photo_busy_ms = 150;
constexpr int64_t photo_bar_ms = 2000;

class PhotoModel final : public PhotoController {
public:
    PhotoModel(std::vector<PictureEntry> pictures, PhotoOptions options, std::unique_ptr<PictureWork> work);
    ~PhotoModel() override;
    PhotoModel(const PhotoModel&) = delete;
    PhotoModel& operator=(const PhotoModel&) = delete;

    void start(PhotoHost& host) override;
    void set_view(const PhotoViewport& view) override;
    void command(PhotoCommand command) override;
    void zoom_at(double factor, double x, double y) override;
    void drag(double dx, double dy) override;
    void click(double x, double y, bool double_click) override;
    void scroll(int32_t rows) override;
    void pointer_moved() override;
    void set_search_text(std::string_view utf8) override;
    void type_text(std::u32string_view text) override;
    void erase_char() override;
    void tick(int64_t now_ms) override;
    int64_t next_tick_ms() const override;
    void poll() override;
    const PhotoScene& scene() const override { return scene_; }
    bool finished() const override { return finished_; }
    int exit_status() const override { return 0; }

private:
    struct Entry {
        uint32_t id;
        std::string path;
        std::string name;  // valid UTF-8
        std::u32string folded;  // the name in lower case, for the search
    };
    // What is known and held of one picture.
    struct Held {
        std::optional<PictureOutcome> outcome;  // once a decode has told
        std::shared_ptr<const PictureImage> preview, screen, detail;
        PictureRequest screen_request, detail_request;
    };
    struct Thumbnail {
        std::shared_ptr<const PictureImage> image;
        PictureRequest request;
        uint64_t used = 0;  // when last in view, for dropping the oldest
    };

    // Read by every part of the model, so kept here rather than in one of
    // its files.
    int64_t now() const { return host_ != nullptr ? host_->now_ms() : 0; }
    const Entry* current() const { return current_ < entries_.size() ? &entries_[current_] : nullptr; }
    size_t position_of(size_t entry) const {  // in shown_, or shown_.size()
        return static_cast<size_t>(std::find(shown_.begin(), shown_.end(), entry) - shown_.begin());
    }

    // photo_model.cpp: the list, stepping, the filter, commands.
    void go_to(size_t entry, int direction);
    void step(int direction);
    void jump(bool to_last);
    void apply_filter();
    void cancel();
    void ask_trash();
    void trashed(const TrashJobDone& done);
    void activity();

    // photo_view_state.cpp: zoom, pan, rotation and the gallery's geometry.
    ZoomSize shown_size() const;
    ZoomSize view_size() const;
    void refit();
    void zoom_keys(bool in);
    void zoom_actual();
    void pan_key(double dx, double dy);
    void rotate(int quarter_turns);
    void gallery_move(PhotoCommand command);
    void gallery_keep_in_view();
    int32_t gallery_rows_in_view() const;
    int32_t gallery_columns() const;

    // photo_jobs.cpp: what to decode, what to keep, and the results.
    struct Part {
        double left, top, right, bottom;  // picture pixels
    };
    bool displayed(const Held& held) const;
    bool waiting() const;
    size_t ahead() const;  // the entry decoded ahead (current_ when none)
    PictureRequest screen_request(const Entry& entry) const;
    Part visible_part() const;
    std::optional<PictureRequest> wanted_detail(const Held& held) const;
    bool detail_serves(const Held& held, const PictureRequest& wanted) const;
    void ask_for_work();
    void keep_only_what_is_needed();
    void store(PictureJobDone& done);

    // photo_scene.cpp: the scene from the state.
    void refresh();
    void build_picture_scene(PhotoScene& scene);
    void build_gallery_scene(PhotoScene& scene);
    std::string picture_message(const Entry& entry) const;

    std::vector<Entry> entries_;
    std::vector<size_t> shown_;  // entries the filter lets through, in order
    size_t current_ = 0;  // entry on show (entries_.size() when none is left)
    int direction_ = 1;  // of the last step: the picture after it is decoded ahead
    PhotoOptions options_;
    std::unique_ptr<PictureWork> work_;
    PhotoHost* host_ = nullptr;
    PhotoViewport view_;
    int64_t clock_ = 0;  // the latest time the host or a tick told

    Zoom zoom_;
    int32_t turns_ = 0;
    bool zoom_pending_ = false;  // options_.zoom waits for the first picture's size

    bool full_screen_ = false;
    bool gallery_ = false;
    size_t selected_ = 0;  // the gallery's choice, an entry
    int32_t first_row_ = 0;
    bool info_ = false;
    bool searching_ = false;
    std::u32string search_;
    bool filtering_ = false;  // the search text matches some names
    std::optional<uint32_t> asking_trash_;  // the picture the question is about
    std::vector<uint32_t> trashing_;  // moves under way
    std::string notice_;  // says why a move failed, until the next step
    bool slideshow_ = false;
    int64_t shown_at_ = -1;  // when the picture on show first appeared
    int64_t bar_until_ = 0;
    int64_t waiting_since_ = -1;
    bool finished_ = false;

    std::map<uint32_t, Held> held_;
    std::map<uint32_t, Thumbnail> thumbnails_;
    uint64_t thumbnail_clock_ = 0;
    uint32_t next_id_ = 1;
    PhotoScene scene_;
};

// The photo view's model, one for every front end: the PhotoController
// the front end drives. It owns the view's parts and orchestrates them:
// the list and the picture on show (PhotoSelection), the zoom, pan,
// rotation and gallery grid (PhotoViewState), what is decoded and held
// (PhotoJobs); and keeps the modes itself: full screen, the slideshow, the
// gallery, the info panel, the search field, the question before the trash.
// After each change it asks for the decodes it now needs and rebuilds the
// scene (build_photo_scene) the front end draws. The parts know nothing of
// each other or of the model.
//
// Memory: besides the thumbnails (at most PhotoMemory::thumbnail_bytes),
// the model holds the picture on show at the size the view needs, the next
// one in the stepping direction at that size, and while zoomed past that
// size the detail: the whole picture at full resolution when it takes at
// most PhotoMemory::full_resolution_bytes, else the part in view (and a
// margin) at the resolution the zoom needs.
#pragma once

#include "app/photo_jobs.h"
#include "app/photo_loader.h"
#include "app/photo_selection.h"
#include "app/photo_view_state.h"
#include "app/picture_list.h"
#include "platform/photo_view.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

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
    int64_t clock_ms() const { return host_ != nullptr ? host_->now_ms() : 0; }
    // The size of the picture on show as decoded; zero while unknown.
    ZoomSize picture_size() const;
    // What the view needs of its pictures now, as the jobs are told it.
    PhotoNeeds needs() const;

    // Shows `entry`; a picture newly on show starts fitted and upright.
    void go_to(size_t entry, int direction);
    void step(int direction);
    void jump(bool to_last);
    void gallery_move(PhotoCommand command);
    void keep_choice_in_view();
    void apply_filter();
    void cancel();
    void ask_trash();
    void trashed(const TrashJobDone& done);
    void activity();
    void ask_for_work();
    void refresh();

    PhotoOptions options_;
    std::unique_ptr<PictureWork> work_;
    PhotoHost* host_ = nullptr;
    PhotoSelection selection_;
    PhotoViewState view_;
    PhotoJobs jobs_;

    bool full_screen_ = false;
    bool gallery_ = false;
    bool info_ = false;
    bool searching_ = false;
    std::optional<uint32_t> asking_trash_;  // the picture the question is about
    std::vector<uint32_t> trashing_;  // moves under way
    std::string notice_;  // says why a move failed, until the next step
    bool slideshow_ = false;
    int64_t shown_at_ = -1;  // when the picture on show first appeared
    int64_t bar_until_ = 0;
    int64_t waiting_since_ = -1;
    bool finished_ = false;
    PhotoScene scene_;
};

// The photo model: it drives the view's parts for each call of the front
// end, keeps the modes, the clock and the trash, and after each change asks
// for the decodes now needed and rebuilds the scene.
#include "app/photo_model.h"

#include "app/photo_scene.h"
#include "app/wide_text.h"

#include <algorithm>

PhotoModel::PhotoModel(std::vector<PictureEntry> pictures, PhotoOptions options, std::unique_ptr<PictureWork> work)
    : options_(std::move(options)),
      work_(std::move(work)),
      selection_(std::move(pictures)),
      view_(options_.zoom),
      jobs_(options_.memory) {
    slideshow_ = options_.slideshow;
    apply_filter();
    refresh();
}

PhotoModel::~PhotoModel() {
    if (work_) work_->let_go();
}

ZoomSize PhotoModel::picture_size() const {
    const PhotoEntry* entry = selection_.current();
    if (entry == nullptr) return {};
    const HeldPicture& held = jobs_.held(entry->id);
    if (!held.outcome || held.outcome->facts.width <= 0) return {};
    return {double(held.outcome->facts.width), double(held.outcome->facts.height)};
}

PhotoNeeds PhotoModel::needs() const {
    PhotoNeeds needs;
    needs.on_show = selection_.current();
    if (needs.on_show != nullptr && selection_.ahead() != selection_.current_index())
        needs.ahead = &selection_.entries()[selection_.ahead()];
    const PhotoViewport& viewport = view_.viewport();
    const bool across = view_.turns() % 2 == 1;
    needs.screen.box_width = across ? viewport.height : viewport.width;
    needs.screen.box_height = across ? viewport.width : viewport.height;
    needs.scale = view_.zoom().scale;
    needs.zoomed = !view_.zoom().fit;
    needs.seen = view_.visible_part(picture_size());
    return needs;
}

void PhotoModel::start(PhotoHost& host) {
    host_ = &host;
    bar_until_ = clock_ms() + photo_bar_ms;
    work_->start([&host] { host.wake(); });
    ask_for_work();
    refresh();
}

void PhotoModel::set_view(const PhotoViewport& view) {
    if (finished_) return;
    view_.set_viewport(view, picture_size());
    if (gallery_) keep_choice_in_view();
    ask_for_work();
    refresh();
}

void PhotoModel::keep_choice_in_view() {
    view_.gallery_keep_in_view(selection_.position_of(selection_.selected()), selection_.shown().size());
}

void PhotoModel::activity() { bar_until_ = clock_ms() + photo_bar_ms; }

void PhotoModel::go_to(size_t entry, int direction) {
    if (!selection_.go_to(entry, direction)) return;
    // Each picture starts fitted and upright.
    view_.reset(picture_size());
    shown_at_ = -1;
    notice_.clear();
    jobs_.keep_only(needs());
}

void PhotoModel::step(int direction) {
    const std::optional<size_t> to = selection_.step_target(direction);
    if (!to) return;
    notice_.clear();
    go_to(*to, direction);
}

void PhotoModel::jump(bool to_last) {
    const std::optional<size_t> to = selection_.jump_target(to_last);
    if (!to) return;
    notice_.clear();
    // After a jump to the end the way on is back.
    go_to(*to, to_last ? -1 : 1);
}

void PhotoModel::apply_filter() {
    if (const std::optional<size_t> to = selection_.apply_filter()) go_to(*to, 1);
    if (selection_.shown().empty()) return;
    selection_.keep_choice_shown();
    if (gallery_) keep_choice_in_view();
}

void PhotoModel::cancel() {
    if (searching_) {
        searching_ = false;
        selection_.set_search({});
        apply_filter();
    } else if (gallery_) {
        gallery_ = false;
    } else if (full_screen_) {
        full_screen_ = false;
    } else {
        command(PhotoCommand::Quit);
    }
}

void PhotoModel::ask_trash() {
    const size_t target = gallery_ ? selection_.selected() : selection_.current_index();
    if (target >= selection_.entries().size()) return;
    const uint32_t id = selection_.entries()[target].id;
    if (std::find(trashing_.begin(), trashing_.end(), id) == trashing_.end()) asking_trash_ = id;
}

void PhotoModel::trashed(const TrashJobDone& done) {
    trashing_.erase(std::remove(trashing_.begin(), trashing_.end(), done.id), trashing_.end());
    const PhotoEntry* gone = selection_.by_id(done.id);
    if (gone == nullptr) return;
    if (!done.moved) {
        notice_ = gone->name + " was not moved to the trash: " + done.reason;
        return;
    }
    const bool was_current = selection_.remove(done.id);
    jobs_.forget(done.id);
    if (was_current) {
        view_.reset(picture_size());
        shown_at_ = -1;
    }
    apply_filter();
    jobs_.keep_only(needs());
}

void PhotoModel::command(PhotoCommand command) {
    if (finished_ || host_ == nullptr) return;
    activity();
    if (asking_trash_) {
        // A question waits: only its answers (and quitting) act.
        if (command == PhotoCommand::Confirm) {
            const uint32_t id = *asking_trash_;
            if (const PhotoEntry* entry = selection_.by_id(id)) {
                trashing_.push_back(id);
                work_->trash(id, entry->path);
            }
        }
        if (command == PhotoCommand::Confirm || command == PhotoCommand::Cancel) asking_trash_.reset();
        if (command != PhotoCommand::Quit) {
            refresh();
            return;
        }
    }
    const bool picture = !gallery_;
    switch (command) {
        case PhotoCommand::Next:
        case PhotoCommand::Previous:
        case PhotoCommand::First:
        case PhotoCommand::Last:
            if (!picture) {
                gallery_move(command);
            } else if (command == PhotoCommand::Next || command == PhotoCommand::Previous) {
                step(command == PhotoCommand::Next ? 1 : -1);
            } else {
                jump(command == PhotoCommand::Last);
            }
            break;
        case PhotoCommand::RowUp:
        case PhotoCommand::RowDown:
        case PhotoCommand::PageUp:
        case PhotoCommand::PageDown:
            if (!picture) gallery_move(command);
            break;
        case PhotoCommand::ZoomIn:
        case PhotoCommand::ZoomOut:
            if (picture) view_.zoom_keys(picture_size(), command == PhotoCommand::ZoomIn);
            break;
        case PhotoCommand::ZoomActual:
            if (picture) view_.zoom_actual(picture_size());
            break;
        case PhotoCommand::ZoomFit:
            if (picture) view_.zoom_to_fit(picture_size());
            break;
        case PhotoCommand::PanLeft:
        case PhotoCommand::PanRight:
            if (picture) view_.pan_key(picture_size(), command == PhotoCommand::PanLeft ? 1 : -1, 0);
            break;
        case PhotoCommand::PanUp:
        case PhotoCommand::PanDown:
            if (picture) view_.pan_key(picture_size(), 0, command == PhotoCommand::PanUp ? 1 : -1);
            break;
        case PhotoCommand::FullScreen:
            full_screen_ = !full_screen_;
            break;
        case PhotoCommand::Gallery:
            gallery_ = !gallery_;
            if (gallery_) {
                selection_.select(selection_.current_index());
                keep_choice_in_view();
            }
            break;
        case PhotoCommand::Slideshow:
            slideshow_ = !slideshow_;
            // The picture on show gets a whole turn.
            if (const PhotoEntry* entry = selection_.current(); entry != nullptr && jobs_.held(entry->id).displayed())
                shown_at_ = clock_ms();
            break;
        case PhotoCommand::RotateRight:
        case PhotoCommand::RotateLeft:
            if (picture) view_.rotate(picture_size(), command == PhotoCommand::RotateRight ? 1 : -1);
            break;
        case PhotoCommand::Info:
            info_ = !info_;
            break;
        case PhotoCommand::Search:
            searching_ = true;
            break;
        case PhotoCommand::Trash:
            ask_trash();
            break;
        case PhotoCommand::Confirm:
            searching_ = false;  // Enter in the search field keeps its filter
            break;
        case PhotoCommand::Cancel:
            cancel();
            break;
        case PhotoCommand::Open:
            if (!picture && selection_.selected() < selection_.entries().size()) {
                gallery_ = false;
                go_to(selection_.selected(), 1);
            }
            break;
        case PhotoCommand::Quit:
            finished_ = true;
            work_->let_go();
            break;
        case PhotoCommand::None:
            break;
    }
    if (finished_) return;
    ask_for_work();
    refresh();
}

void PhotoModel::zoom_at(double factor, double x, double y) {
    if (finished_ || gallery_ || picture_size().width <= 0 || !(factor > 0)) return;
    view_.zoom_at(picture_size(), factor, x, y);
    ask_for_work();
    refresh();
}

void PhotoModel::drag(double dx, double dy) {
    if (finished_ || gallery_) return;
    view_.drag(picture_size(), dx, dy);
    ask_for_work();
    refresh();
}

void PhotoModel::click(double x, double y, bool double_click) {
    if (finished_ || host_ == nullptr) return;
    if (!gallery_) {
        if (double_click) command(PhotoCommand::FullScreen);
        return;
    }
    const std::optional<size_t> at = view_.gallery_cell_at(x, y, selection_.shown().size());
    if (!at) return;
    selection_.select(selection_.shown()[*at]);
    command(PhotoCommand::Open);
}

void PhotoModel::scroll(int32_t rows) {
    if (finished_ || !gallery_) return;
    view_.gallery_scroll(rows, selection_.shown().size());
    ask_for_work();
    refresh();
}

void PhotoModel::pointer_moved() {
    if (finished_) return;
    const bool hidden = !scene_.bar_visible;
    activity();
    if (hidden) refresh();
}

void PhotoModel::set_search_text(std::string_view utf8) {
    if (finished_) return;
    selection_.set_search(utf32_from_utf8(utf8));
    apply_filter();
    ask_for_work();
    refresh();
}

void PhotoModel::type_text(std::u32string_view text) {
    set_search_text(utf8_from_utf32(selection_.search() + std::u32string(text)));
}

void PhotoModel::erase_char() {
    const std::u32string& search = selection_.search();
    if (!search.empty()) set_search_text(utf8_from_utf32(search.substr(0, search.size() - 1)));
}

void PhotoModel::tick(int64_t now_ms) {
    if (finished_ || host_ == nullptr) return;
    if (slideshow_ && !gallery_ && !asking_trash_ && shown_at_ >= 0 && now_ms >= shown_at_ + options_.slideshow_ms &&
        selection_.shown().size() > 1)
        step(1);
    ask_for_work();
    refresh();
}

int64_t PhotoModel::next_tick_ms() const {
    int64_t next = -1;
    const auto consider = [&next](int64_t at) { next = next < 0 ? at : std::min(next, at); };
    if (finished_) return -1;
    if (scene_.bar_visible) consider(bar_until_);
    if (waiting_since_ >= 0 && !scene_.busy) consider(waiting_since_ + photo_busy_ms);
    if (slideshow_ && !gallery_ && shown_at_ >= 0) consider(shown_at_ + options_.slideshow_ms);
    return next;
}

void PhotoModel::poll() {
    if (finished_) return;
    std::vector<PictureJobDone> pictures;
    std::vector<TrashJobDone> moves;
    work_->take(pictures, moves);
    for (const PictureJobDone& done : pictures) {
        // A picture moved to the trash meanwhile is forgotten.
        if (selection_.by_id(done.job.id) == nullptr) continue;
        const bool size_now_known = jobs_.store(done);
        if (size_now_known && selection_.current() != nullptr && selection_.current()->id == done.job.id)
            view_.refit(picture_size());
    }
    for (const TrashJobDone& done : moves) trashed(done);
    jobs_.keep_only(needs());
    ask_for_work();
    refresh();
}

void PhotoModel::gallery_move(PhotoCommand command) {
    const std::vector<size_t>& shown = selection_.shown();
    if (shown.empty()) return;
    const size_t at = view_.gallery_moved(command, selection_.position_of(selection_.selected()), shown.size());
    selection_.select(shown[at]);
    keep_choice_in_view();
}

void PhotoModel::ask_for_work() {
    const PhotoViewport& viewport = view_.viewport();
    if (host_ == nullptr || finished_ || viewport.width <= 0 || viewport.height <= 0) return;
    if (!gallery_) return jobs_.want_pictures(*work_, needs());
    const std::vector<size_t>& shown = selection_.shown();
    std::vector<const PhotoEntry*> wanted;
    for (const size_t at : view_.gallery_decode_order(selection_.position_of(selection_.selected()), shown.size()))
        wanted.push_back(&selection_.entries()[shown[at]]);
    PictureRequest box;
    box.box_width = std::max(1, viewport.thumbnail_width);
    box.box_height = std::max(1, viewport.thumbnail_height);
    jobs_.want_thumbnails(*work_, wanted, box);
}

void PhotoModel::refresh() {
    const int64_t time = clock_ms();
    // The busy mark: once the picture (or its detail) has been awaited for
    // a while.
    if (gallery_ || !jobs_.waiting(needs())) {
        waiting_since_ = -1;
    } else if (waiting_since_ < 0) {
        waiting_since_ = time;
    }
    const PhotoEntry* current = selection_.current();
    // The picture on show at the first: until it is displayed, it appears
    // with its picture.
    if (current != nullptr && jobs_.held(current->id).displayed() && shown_at_ < 0) shown_at_ = time;
    if (gallery_) {
        // The thumbnails in view are the last to go.
        std::vector<uint32_t> in_view;
        const auto [from, to] = view_.gallery_in_view(selection_.shown().size());
        for (size_t at = from; at < to; ++at) in_view.push_back(selection_.entries()[selection_.shown()[at]].id);
        jobs_.seen(in_view);
    }
    PhotoModes modes;
    modes.revision = scene_.revision + 1;
    modes.gallery = gallery_;
    modes.full_screen = full_screen_;
    modes.searching = searching_;
    modes.info = info_;
    modes.slideshow = slideshow_;
    modes.bar_visible = time < bar_until_;
    modes.busy = waiting_since_ >= 0 && time - waiting_since_ >= photo_busy_ms;
    modes.trashing = !trashing_.empty();
    modes.asking_trash = asking_trash_ ? selection_.by_id(*asking_trash_) : nullptr;
    modes.notice = notice_;
    modes.working_folder = options_.working_folder;
    scene_ = build_photo_scene(modes, selection_, view_, jobs_);
}

// The photo model: its list, stepping, the search filter, the trash, the
// clock and the commands.
#include "app/photo_model.h"

#include "app/photo_search.h"
#include "app/wide_text.h"

#include <algorithm>

PhotoModel::PhotoModel(std::vector<PictureEntry> pictures, PhotoOptions options, std::unique_ptr<PictureWork> work)
    : options_(std::move(options)), work_(std::move(work)) {
    for (PictureEntry& picture : pictures) {
        // Names are bytes; what is not UTF-8 in them shows as U+FFFD.
        const std::u32string wide = utf32_from_utf8(picture.name);
        entries_.push_back({next_id_++, std::move(picture.path), utf8_from_utf32(wide), fold_case(wide)});
    }
    slideshow_ = options_.slideshow;
    zoom_pending_ = options_.zoom > 0;
    apply_filter();
    refresh();
}

PhotoModel::~PhotoModel() {
    if (work_) work_->let_go();
}

void PhotoModel::start(PhotoHost& host) {
    host_ = &host;
    bar_until_ = now() + photo_bar_ms;
    work_->start([&host] { host.wake(); });
    ask_for_work();
    refresh();
}

void PhotoModel::set_view(const PhotoViewport& view) {
    if (finished_) return;
    const ZoomSize before = view_size();
    view_ = view;
    // A zoomed picture keeps the point in the middle of the view there.
    if (!zoom_.fit && before.width > 0) {
        zoom_.x += (view_.width - before.width) / 2;
        zoom_.y += (view_.height - before.height) / 2;
    }
    refit();
    if (gallery_) gallery_keep_in_view();
    ask_for_work();
    refresh();
}

void PhotoModel::activity() { bar_until_ = now() + photo_bar_ms; }

void PhotoModel::go_to(size_t entry, int direction) {
    direction_ = direction;
    if (entry == current_) return;
    current_ = entry;
    // Each picture starts fitted and upright.
    zoom_ = Zoom{};
    turns_ = 0;
    shown_at_ = -1;
    notice_.clear();
    refit();
    keep_only_what_is_needed();
}

void PhotoModel::step(int direction) {
    if (shown_.empty() || current() == nullptr) return;
    const size_t n = shown_.size(), at = position_of(current_);
    const size_t next = direction > 0 ? (at + 1) % n : (at + n - 1) % n;
    notice_.clear();
    go_to(shown_[next], direction);
}

void PhotoModel::jump(bool to_last) {
    if (shown_.empty()) return;
    notice_.clear();
    // After a jump to the end the way on is back.
    go_to(to_last ? shown_.back() : shown_.front(), to_last ? -1 : 1);
}

void PhotoModel::apply_filter() {
    shown_.clear();
    const std::u32string needle = fold_case(search_);
    if (!search_.empty())
        for (size_t i = 0; i < entries_.size(); ++i)
            if (name_matches(entries_[i].folded, needle)) shown_.push_back(i);
    // A text that no name has filters nothing: stepping goes on through all.
    filtering_ = !shown_.empty();
    if (!filtering_)
        for (size_t i = 0; i < entries_.size(); ++i) shown_.push_back(i);
    if (shown_.empty()) return;
    // The picture on show stays when it passes; else the first one that
    // does after it.
    if (position_of(current_) == shown_.size()) {
        const auto after = std::upper_bound(shown_.begin(), shown_.end(), current_);
        go_to(after != shown_.end() ? *after : shown_.front(), 1);
    }
    if (position_of(selected_) == shown_.size()) selected_ = current_;
    if (gallery_) gallery_keep_in_view();
}

void PhotoModel::cancel() {
    if (searching_) {
        searching_ = false;
        search_.clear();
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
    const size_t target = gallery_ ? selected_ : current_;
    if (target >= entries_.size()) return;
    const uint32_t id = entries_[target].id;
    if (std::find(trashing_.begin(), trashing_.end(), id) == trashing_.end()) asking_trash_ = id;
}

void PhotoModel::trashed(const TrashJobDone& done) {
    trashing_.erase(std::remove(trashing_.begin(), trashing_.end(), done.id), trashing_.end());
    const auto gone =
        std::find_if(entries_.begin(), entries_.end(), [&done](const Entry& e) { return e.id == done.id; });
    if (gone == entries_.end()) return;
    if (!done.moved) {
        notice_ = gone->name + " was not moved to the trash: " + done.reason;
        return;
    }
    const size_t index = static_cast<size_t>(gone - entries_.begin());
    // The picture on show (or chosen) gives way to the next one in the
    // stepping direction, or the one before at the end of the list.
    const auto replacement = [this, index](size_t entry) {
        if (entry != index) return entry < index ? entry : entry - 1;
        const size_t at = position_of(entry), n = shown_.size();
        if (n <= 1) return index;  // none left among those shown: the entry after it
        size_t next = direction_ > 0 ? at + 1 : at + n - 1;
        if (direction_ > 0 && next == n) next = at - 1;
        const size_t other = shown_[next % n];
        return other < index ? other : other - 1;
    };
    const bool was_current = current_ == index;
    const size_t new_current = replacement(current_), new_selected = replacement(selected_);
    entries_.erase(gone);
    held_.erase(done.id);
    thumbnails_.erase(done.id);
    const size_t last = entries_.empty() ? 0 : entries_.size() - 1;
    current_ = std::min(new_current, last);
    selected_ = std::min(new_selected, last);
    if (was_current) {
        zoom_ = Zoom{};
        turns_ = 0;
        shown_at_ = -1;
        refit();
    }
    apply_filter();
    keep_only_what_is_needed();
}

void PhotoModel::command(PhotoCommand command) {
    if (finished_ || host_ == nullptr) return;
    activity();
    if (asking_trash_) {
        // A question waits: only its answers (and quitting) act.
        if (command == PhotoCommand::Confirm) {
            const uint32_t id = *asking_trash_;
            const auto entry =
                std::find_if(entries_.begin(), entries_.end(), [id](const Entry& e) { return e.id == id; });
            if (entry != entries_.end()) {
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
            if (picture) zoom_keys(command == PhotoCommand::ZoomIn);
            break;
        case PhotoCommand::ZoomActual:
            if (picture) zoom_actual();
            break;
        case PhotoCommand::ZoomFit:
            if (picture) zoom_ = zoom_fit(shown_size(), view_size());
            break;
        case PhotoCommand::PanLeft:
        case PhotoCommand::PanRight:
            if (picture) pan_key(command == PhotoCommand::PanLeft ? 1 : -1, 0);
            break;
        case PhotoCommand::PanUp:
        case PhotoCommand::PanDown:
            if (picture) pan_key(0, command == PhotoCommand::PanUp ? 1 : -1);
            break;
        case PhotoCommand::FullScreen:
            full_screen_ = !full_screen_;
            break;
        case PhotoCommand::Gallery:
            gallery_ = !gallery_;
            if (gallery_) {
                selected_ = current_;
                gallery_keep_in_view();
            }
            break;
        case PhotoCommand::Slideshow:
            slideshow_ = !slideshow_;
            // The picture on show gets a whole turn.
            if (current() != nullptr && displayed(held_[current()->id])) shown_at_ = now();
            break;
        case PhotoCommand::RotateRight:
        case PhotoCommand::RotateLeft:
            if (picture) rotate(command == PhotoCommand::RotateRight ? 1 : -1);
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
            if (!picture && selected_ < entries_.size()) {
                gallery_ = false;
                go_to(selected_, 1);
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
    if (finished_ || gallery_ || shown_size().width <= 0 || !(factor > 0)) return;
    zoom_ = zoom_about(zoom_, shown_size(), view_size(), zoom_.scale * factor, x, y);
    ask_for_work();
    refresh();
}

void PhotoModel::drag(double dx, double dy) {
    if (finished_ || gallery_) return;
    zoom_ = zoom_pan(zoom_, shown_size(), view_size(), dx, dy);
    ask_for_work();
    refresh();
}

void PhotoModel::click(double x, double y, bool double_click) {
    if (finished_ || host_ == nullptr) return;
    if (!gallery_) {
        if (double_click) command(PhotoCommand::FullScreen);
        return;
    }
    const int32_t columns = gallery_columns();
    const double left = (view_.width - columns * view_.cell_width) / 2.0;
    if (view_.cell_width <= 0 || view_.cell_height <= 0 || x < left || y < 0) return;
    const auto column = static_cast<int64_t>((x - left) / view_.cell_width);
    const int64_t row = static_cast<int64_t>(y / view_.cell_height) + first_row_;
    const int64_t at = row * columns + column;
    if (column >= columns || at >= static_cast<int64_t>(shown_.size())) return;
    selected_ = shown_[static_cast<size_t>(at)];
    command(PhotoCommand::Open);
}

void PhotoModel::scroll(int32_t rows) {
    if (finished_ || !gallery_) return;
    const int32_t columns = gallery_columns();
    const int32_t total_rows = (static_cast<int32_t>(shown_.size()) + columns - 1) / columns;
    first_row_ = std::clamp(first_row_ + rows, 0, std::max(0, total_rows - gallery_rows_in_view()));
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
    search_ = utf32_from_utf8(utf8);
    apply_filter();
    ask_for_work();
    refresh();
}

void PhotoModel::type_text(std::u32string_view text) {
    set_search_text(utf8_from_utf32(search_ + std::u32string(text)));
}

void PhotoModel::erase_char() {
    if (!search_.empty()) set_search_text(utf8_from_utf32(search_.substr(0, search_.size() - 1)));
}

void PhotoModel::tick(int64_t now_ms) {
    if (finished_ || host_ == nullptr) return;
    if (slideshow_ && !gallery_ && !asking_trash_ && shown_at_ >= 0 && now_ms >= shown_at_ + options_.slideshow_ms &&
        shown_.size() > 1)
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
    for (PictureJobDone& done : pictures) store(done);
    for (const TrashJobDone& done : moves) trashed(done);
    keep_only_what_is_needed();
    ask_for_work();
    refresh();
}

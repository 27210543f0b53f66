// The photo view's list: stepping, the search filter and taking a picture
// out.
#include "app/photo_selection.h"

#include "app/photo_search.h"
#include "app/wide_text.h"

PhotoSelection::PhotoSelection(std::vector<PictureEntry> pictures) {
    uint32_t next_id = 1;
    for (PictureEntry& picture : pictures) {
        // Names are bytes; what is not UTF-8 in them shows as U+FFFD.
        const std::u32string wide = utf32_from_utf8(picture.name);
        entries_.push_back({next_id++, std::move(picture.path), utf8_from_utf32(wide), fold_case(wide)});
    }
}

size_t PhotoSelection::ahead() const {
    if (shown_.size() < 2 || current() == nullptr) return current_;
    const size_t n = shown_.size(), at = position_of(current_);
    return shown_[direction_ > 0 ? (at + 1) % n : (at + n - 1) % n];
}

const PhotoEntry* PhotoSelection::by_id(uint32_t id) const {
    const auto found = std::find_if(entries_.begin(), entries_.end(), [id](const PhotoEntry& e) { return e.id == id; });
    return found == entries_.end() ? nullptr : &*found;
}

std::optional<size_t> PhotoSelection::step_target(int direction) const {
    if (shown_.empty() || current() == nullptr) return std::nullopt;
    const size_t n = shown_.size(), at = position_of(current_);
    return shown_[direction > 0 ? (at + 1) % n : (at + n - 1) % n];
}

std::optional<size_t> PhotoSelection::jump_target(bool to_last) const {
    if (shown_.empty()) return std::nullopt;
    return to_last ? shown_.back() : shown_.front();
}

bool PhotoSelection::go_to(size_t entry, int direction) {
    direction_ = direction;
    if (entry == current_) return false;
    current_ = entry;
    return true;
}

std::optional<size_t> PhotoSelection::apply_filter() {
    shown_.clear();
    const std::u32string needle = fold_case(search_);
    if (!search_.empty())
        for (size_t i = 0; i < entries_.size(); ++i)
            if (name_matches(entries_[i].folded, needle)) shown_.push_back(i);
    // A text that no name has filters nothing: stepping goes on through all.
    filtering_ = !shown_.empty();
    if (!filtering_)
        for (size_t i = 0; i < entries_.size(); ++i) shown_.push_back(i);
    // The picture on show stays when it passes; else the first one that
    // does after it.
    if (shown_.empty() || position_of(current_) != shown_.size()) return std::nullopt;
    const auto after = std::upper_bound(shown_.begin(), shown_.end(), current_);
    return after != shown_.end() ? *after : shown_.front();
}

void PhotoSelection::keep_choice_shown() {
    if (position_of(selected_) == shown_.size()) selected_ = current_;
}

bool PhotoSelection::remove(uint32_t id) {
    const auto gone = std::find_if(entries_.begin(), entries_.end(), [id](const PhotoEntry& e) { return e.id == id; });
    if (gone == entries_.end()) return false;
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
    const size_t last = entries_.empty() ? 0 : entries_.size() - 1;
    current_ = std::min(new_current, last);
    selected_ = std::min(new_selected, last);
    return was_current;
}

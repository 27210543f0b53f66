// The photo view's list: its pictures, the ones the search lets through, the
// picture on show and the gallery's choice. Plain bookkeeping over entries;
// what a change of picture means for the zoom, the decodes and the scene is
// the model's (photo_model.h), which asks here where a step or a filter
// leads and then goes there.
#pragma once

#include "app/picture_list.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct PhotoEntry {
    uint32_t id;  // stays with the picture while others leave the list
    std::string path;
    std::string name;  // valid UTF-8
    std::u32string folded;  // the name in lower case, for the search
};

class PhotoSelection {
public:
    explicit PhotoSelection(std::vector<PictureEntry> pictures);

    const std::vector<PhotoEntry>& entries() const { return entries_; }
    // Entries the filter lets through, in order.
    const std::vector<size_t>& shown() const { return shown_; }
    // The entry on show: entries().size() when none is left.
    size_t current_index() const { return current_; }
    const PhotoEntry* current() const { return current_ < entries_.size() ? &entries_[current_] : nullptr; }
    // The gallery's choice, an entry.
    size_t selected() const { return selected_; }
    // Of the last move: the picture after it in that direction is decoded ahead.
    int direction() const { return direction_; }
    // Where `entry` stands in shown(), or shown().size().
    size_t position_of(size_t entry) const {
        return static_cast<size_t>(std::find(shown_.begin(), shown_.end(), entry) - shown_.begin());
    }
    // The entry after the current one in the last direction (the current
    // one when there is no other).
    size_t ahead() const;
    const PhotoEntry* by_id(uint32_t id) const;

    const std::u32string& search() const { return search_; }
    // The search text matches some names (else stepping goes through all).
    bool filtering() const { return filtering_; }

    // Where a step or a jump leads; nothing when there is nowhere to go.
    std::optional<size_t> step_target(int direction) const;
    std::optional<size_t> jump_target(bool to_last) const;
    // Makes `entry` the one on show; true when it was another before.
    bool go_to(size_t entry, int direction);
    void select(size_t entry) { selected_ = entry; }

    void set_search(std::u32string text) { search_ = std::move(text); }
    // Lists the entries the search lets through. When the one on show is no
    // longer among them, answers the one to go to instead.
    std::optional<size_t> apply_filter();
    // After the picture on show has moved: a choice the filter hides falls
    // back to it.
    void keep_choice_shown();

    // Takes the picture out of the list; the one on show (or chosen) gives
    // way to the next in the stepping direction. True when it was the one
    // on show. The filter is then to be applied again.
    bool remove(uint32_t id);

private:
    std::vector<PhotoEntry> entries_;
    std::vector<size_t> shown_;
    size_t current_ = 0;
    size_t selected_ = 0;
    int direction_ = 1;
    std::u32string search_;
    bool filtering_ = false;
};

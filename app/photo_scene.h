// The photo view's scene, what the front end draws, built from the view's
// parts as they stand: it reads them and changes nothing.
#pragma once

#include "app/photo_jobs.h"
#include "app/photo_selection.h"
#include "app/photo_view_state.h"
#include "platform/photo_view.h"

#include <cstdint>
#include <string_view>

// The model's own modes, and what it alone knows, as the scene shows them.
struct PhotoModes {
    uint64_t revision = 0;
    bool gallery = false;
    bool full_screen = false;
    bool searching = false;
    bool info = false;
    bool slideshow = false;
    bool bar_visible = true;
    bool busy = false;
    bool trashing = false;  // moves to the trash under way
    const PhotoEntry* asking_trash = nullptr;  // the picture the question is about
    std::string_view notice;  // why a move failed; empty for none
    std::string_view working_folder;  // where relative paths start, for the info panel
};

PhotoScene build_photo_scene(const PhotoModes& modes, const PhotoSelection& selection, const PhotoViewState& view,
                             const PhotoJobs& jobs);

// What the photo view holds of its pictures and asks its worker threads to
// decode: for the picture on show, the picture at the view's size (a quick
// preview first) and its detail while zoomed past that; the next picture in
// the stepping direction at the view's size; thumbnails for the gallery. It
// stores the results and lets go of what is no longer needed. Told what is
// needed by the model, it knows the list only by the entries it is handed,
// and nothing of the view or the scene.
#pragma once

#include "app/photo_loader.h"
#include "app/photo_selection.h"
#include "app/photo_zoom.h"

#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <vector>

struct PhotoMemory {
    int64_t full_resolution_bytes = int64_t{128} << 20;
    int64_t thumbnail_bytes = int64_t{32} << 20;
};

// What is known and held of one picture.
struct HeldPicture {
    std::optional<PictureOutcome> outcome;  // once a decode has told
    std::shared_ptr<const PictureImage> preview, screen, detail;
    PictureRequest screen_request, detail_request;

    bool failed() const;
    // Something stands for the picture: itself, its preview, or why not.
    bool displayed() const;
};

// What the view needs of its pictures now.
struct PhotoNeeds {
    const PhotoEntry* on_show = nullptr;
    const PhotoEntry* ahead = nullptr;  // decoded ahead, when another
    PictureRequest screen;  // the picture for the view: the view's box, turned as the picture is
    double scale = 1;  // device pixels per picture pixel
    bool zoomed = false;  // not fitted: the detail is kept
    PictureArea seen;  // the part of the picture in view
};

class PhotoJobs {
public:
    explicit PhotoJobs(PhotoMemory memory) : memory_(memory) {}

    // Nothing is held of a picture not asked for yet.
    const HeldPicture& held(uint32_t id) const;
    const PictureImage* thumbnail(uint32_t id) const;
    // The picture on show, or its detail, is still awaited.
    bool waiting(const PhotoNeeds& needs) const;

    // Asks for the picture on show and the one ahead, most wanted first.
    void want_pictures(PictureWork& work, const PhotoNeeds& needs) const;
    // Asks for the thumbnails of `entries` in their order, fitted into `box`.
    void want_thumbnails(PictureWork& work, const std::vector<const PhotoEntry*>& entries,
                         const PictureRequest& box) const;
    // Keeps the images `needs` names and the thumbnails seen last within
    // their budget.
    void keep_only(const PhotoNeeds& needs);
    // Takes a decode's result; true when it first tells the picture's size.
    bool store(const PictureJobDone& done);
    // The gallery shows these thumbnails now: they go last.
    void seen(const std::vector<uint32_t>& ids);
    void forget(uint32_t id);

private:
    struct Thumbnail {
        std::shared_ptr<const PictureImage> image;
        PictureRequest request;
        uint64_t used = 0;  // when last in view, for dropping the oldest
    };
    std::optional<PictureRequest> wanted_detail(const HeldPicture& held, const PhotoNeeds& needs) const;

    PhotoMemory memory_;
    std::map<uint32_t, HeldPicture> held_;
    std::map<uint32_t, Thumbnail> thumbnails_;
    uint64_t thumbnail_clock_ = 0;
};

// The photo view's scene (platform/photo_view.h) on the terminal's cells.
//
// The picture takes every row but the last, which is the status line (the
// scene's status, or the search field with its count, or the question
// before the trash); full screen gives that row to the picture too, and the
// search field and the question then take the bottom row over it. A
// message is written in reverse video across the picture area's bottom
// rows, wrapped between words; the info box is framed in its top-right
// corner. The gallery is a grid of thumbnails with names under them, the
// chosen one framed and its name in reverse video.
//
// Pictures go to the cells through the front end's renderer: kitty or
// sixel images of the cells' own pixel size, or symbols. The view the
// controller is told about is in pixels: the cells times the cells' size in
// pixels where the terminal says it (for symbols, a virtual cell 8 pixels
// wide in the cells' proportions, 8 x 16 where the terminal does not say),
// so that 1:1 is one picture pixel per screen pixel in a pixel mode. The
// layers are composed into one image per rectangle of cells the picture
// shows in (compose_picture), leaving out the cells that text covers, so
// that no image and no text are ever drawn over one another.
//
// Text goes through ncurses; images are written beside it, after its
// update, in cells ncurses holds as invisible spaces so that it never
// erases them on its own. An image is written again only when what it
// shows or where changed; the cells an image leaves are erased first.
#pragma once

#include "platform/photo_view.h"
#include "platform/terminal/terminal_layout.h"
#include "platform/terminal/terminal_render.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The gallery's cell in terminal cells: a thumbnail box with a frame
// around it (the frame shows on the chosen one) and the name underneath.
constexpr int32_t photo_gallery_cell_cols = 18;
constexpr int32_t photo_gallery_cell_rows = 9;
constexpr int32_t photo_thumbnail_cols = 16;
constexpr int32_t photo_thumbnail_rows = 6;

class TerminalPhotoScreen {
public:
    TerminalPhotoScreen(const PictureRenderer& renderer, const PictureMode& mode);

    // The terminal's size in cells and its cells' in pixels (0 when it does
    // not say); `full_screen` gives the status line's row to the picture.
    // Returns the view for the controller.
    PhotoViewport set_size(int32_t rows, int32_t cols, int32_t cell_width, int32_t cell_height, bool full_screen);

    // Draws `scene`; `force` draws everything again (a resize, Ctrl+L).
    void draw(const PhotoScene& scene, bool force);

    // Where the view is, for the mouse.
    const CellRect& area() const { return area_; }
    // A view pixel's size in device pixels is 1; a cell's in view pixels:
    int32_t cell_width() const { return cell_width_; }
    int32_t cell_height() const { return cell_height_; }
    // The gallery cell of `scene` under terminal cell `row`, `col`: an index
    // into scene.cells.
    std::optional<size_t> gallery_cell_at(const PhotoScene& scene, int32_t row, int32_t col) const;
    // Whether a kitty image is on the screen (to be removed at the end).
    bool kitty_images() const { return kitty_on_screen_; }

private:
    // Something drawn as an image: the cells it takes, and what they show.
    struct Image {
        CellRect rect;
        std::string key;  // equal keys show the same pixels
        const std::vector<PhotoLayer>* layers = nullptr;
        PhotoLayer single;  // a thumbnail; `layers` null then
        PhotoMatrix placement;  // in pixels of the frame below
        int32_t frame_row = 0, frame_col = 0;  // the cell the placement's origin is at
    };
    // Cells that text takes over the pictures.
    struct Overlays {
        int32_t prompt_row = -1;  // the status line, or the bottom row in full screen
        CellRect band, info;
        std::vector<std::wstring> band_lines;  // the message
        std::vector<CellRect> covered;  // of the area
    };

    // terminal_photo_screen.cpp: text, through ncurses.
    Overlays plan(const PhotoScene& scene) const;
    void draw_text(const PhotoScene& scene, const Overlays& overlays, const std::vector<Image>& images);
    // True when the cursor belongs there (in the search field).
    bool draw_prompt(const PhotoScene& scene, int32_t row);
    void draw_band(const Overlays& overlays);
    void draw_info(const PhotoScene& scene, const CellRect& box);
    void draw_gallery_text(const PhotoScene& scene);

    // terminal_photo_images.cpp: the pictures, written beside ncurses.
    std::vector<Image> plan_images(const PhotoScene& scene, const Overlays& overlays) const;
    std::string render(const Image& image) const;
    // Before ncurses' update: takes off what will not be drawn again.
    std::string clear_stale(const std::vector<Image>& images, bool force);
    // After it: the images that are new or changed.
    std::string draw_images(std::vector<Image> images, bool force);

    const PictureRenderer& renderer_;
    PictureMode mode_;
    int32_t rows_ = 0, cols_ = 0;
    int32_t cell_width_ = 8, cell_height_ = 16;
    bool full_screen_ = false;
    CellRect area_;
    std::vector<Image> drawn_;  // the images on the screen, keys and rects only
    bool kitty_on_screen_ = false;
    int32_t cursor_row_ = 0, cursor_col_ = 0;  // where ncurses left the cursor
};

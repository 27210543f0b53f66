// The photo view's seam: what a front end draws (PhotoScene), what it tells
// the view (PhotoController, implemented by the viewer) and what the view
// asks of it (PhotoHost). Plain data and two small interfaces, so that each
// front end renders the one model natively.
//
// Coordinates are device pixels of the view, top-left (0, 0). A picture is
// described "as shown": turned as its EXIF orientation says, so width and
// height here are the upright picture's; the view's own rotation (r, R)
// comes on top of that and never changes the file.
//
// Every call happens on the front end's UI thread except PhotoHost::wake,
// which the viewer's worker threads call. Pixels in a scene stay valid until
// the next call into the controller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

enum class PhotoCommand : uint8_t {
    None,
    Next,  // the next picture (the gallery: the next cell)
    Previous,
    First,
    Last,
    ZoomIn,  // about the middle of the view
    ZoomOut,
    ZoomActual,  // 1:1, one picture pixel per device pixel
    ZoomFit,
    PanLeft,  // moves the view over the picture (the picture moves right)
    PanRight,
    PanUp,
    PanDown,
    RowUp,  // the gallery: the cell above, below, a page of rows up or down
    RowDown,
    PageUp,
    PageDown,
    FullScreen,  // on and off
    Gallery,  // on and off
    Slideshow,  // on and off
    RotateRight,  // the view a quarter turn clockwise
    RotateLeft,
    Info,  // the info panel on and off
    Search,  // into the search field
    Trash,  // asks to move the picture on show to the trash
    Confirm,  // yes to the question asked; Enter in the search field
    Cancel,  // Escape: leaves what is open (question, search, gallery, full screen), else quits
    Open,  // the gallery's selected picture
    Quit,
};

// A picture's pixels: blue, green, red, 255 per pixel, rows `stride` bytes apart.
struct PhotoPixels {
    const uint8_t* bgra = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    size_t stride = 0;
};

// Pixels that show the part of the picture from (left, top), `width` x
// `height` picture pixels: the whole picture at some resolution, or a
// region of it.
struct PhotoLayer {
    PhotoPixels pixels;
    double left = 0, top = 0, width = 0, height = 0;
};

// Where the picture goes: picture point (px, py) is drawn at view point
// (m11 px + m21 py + dx, m12 px + m22 py + dy). The matrix combines the
// zoom (`scale` device pixels per picture pixel), the view's quarter turns
// and the pan.
struct PhotoMatrix {
    double m11 = 1, m12 = 0, m21 = 0, m22 = 1, dx = 0, dy = 0;
};

struct GalleryCell {
    PhotoPixels thumbnail;  // none (null) until it is decoded, or when it cannot be
    std::string name;
    bool selected = false;
    bool failed = false;  // the picture cannot be shown
};

struct PhotoScene {
    enum class Mode : uint8_t { picture, gallery };
    Mode mode = Mode::picture;
    uint64_t revision = 0;  // changes whenever anything below does

    bool full_screen = false;
    std::string title;  // "NAME — n / N"
    std::string status;  // the slim bar or status line: name, n / N, zoom, size, slideshow
    bool bar_visible = true;  // the bar shows itself on activity and hides after a while
    std::string message;  // why the picture cannot be shown (or only in part); drawn over the picture
    bool busy = false;  // the picture has taken longer than 150 ms so far

    bool searching = false;  // the search field is open
    std::string search_text;
    std::string search_count;  // "3 of 120", "no match"

    bool info = false;  // the info panel is on
    std::vector<std::pair<std::string, std::string>> info_lines;  // label, value

    std::string confirmation;  // a question to answer with Confirm or Cancel; empty for none

    // Picture mode: the picture's size as shown (0 until known), how it is
    // placed, and its layers, drawn in order (a whole picture, then sharper
    // detail over part of it).
    int32_t picture_width = 0, picture_height = 0;
    double scale = 1;
    int32_t quarter_turns = 0;  // 0 to 3, clockwise
    PhotoMatrix placement;
    std::vector<PhotoLayer> layers;
    bool arrows_pan = false;  // zoomed past the view: the arrow keys pan instead of stepping

    // Gallery mode: the cells of the rows in view, from row `first_row`;
    // cell i sits at column i % columns, row i / columns of the visible
    // grid, whose left edge is `gallery_left`.
    int32_t columns = 1, first_row = 0, cell_width = 0, cell_height = 0, gallery_left = 0;
    int32_t gallery_count = 0;  // cells in all
    std::vector<GalleryCell> cells;
};

// The view's size and what the front end's gallery cells hold.
struct PhotoViewport {
    int32_t width = 0;  // device pixels
    int32_t height = 0;
    double device_pixel_ratio = 1;  // device pixels per logical pixel
    int32_t cell_width = 0;  // a gallery cell, its name included, in device pixels
    int32_t cell_height = 0;
    int32_t thumbnail_width = 0;  // the box a thumbnail is fitted into
    int32_t thumbnail_height = 0;
};

// What the view asks of the front end.
class PhotoHost {
public:
    virtual ~PhotoHost() = default;
    // Asks the UI thread to call PhotoController::poll soon. Any thread.
    virtual void wake() = 0;
    // Milliseconds on a steady clock.
    virtual int64_t now_ms() = 0;
};

// The photo view, as a front end drives it (on its UI thread).
class PhotoController {
public:
    virtual ~PhotoController() = default;

    // Once, before anything else: the view starts its work.
    virtual void start(PhotoHost& host) = 0;
    virtual void set_view(const PhotoViewport& view) = 0;
    virtual void command(PhotoCommand command) = 0;
    // Ctrl+wheel: zooms by `factor` keeping the picture point under view
    // point (x, y) where it is.
    virtual void zoom_at(double factor, double x, double y) = 0;
    // A drag by (dx, dy) device pixels moves the picture with the pointer.
    virtual void drag(double dx, double dy) = 0;
    // A click: the gallery opens the cell; a double click toggles full screen.
    virtual void click(double x, double y, bool double_click) = 0;
    // The wheel over the gallery: rows down (positive) or up.
    virtual void scroll(int32_t rows) = 0;
    // The pointer moved: the bar shows again for a while.
    virtual void pointer_moved() = 0;
    // The search field's text, whole (a text field) or a change at its end
    // (a terminal line).
    virtual void set_search_text(std::string_view utf8) = 0;
    virtual void type_text(std::u32string_view text) = 0;
    virtual void erase_char() = 0;
    // The clock, for the slideshow, the busy mark and the bar.
    virtual void tick(int64_t now_ms) = 0;
    // When tick is next needed (the host's clock), -1 when not.
    virtual int64_t next_tick_ms() const = 0;
    // Takes what the worker threads have done.
    virtual void poll() = 0;

    virtual const PhotoScene& scene() const = 0;
    // The view has ended (Quit); the front end closes and returns exit_status.
    virtual bool finished() const = 0;
    virtual int exit_status() const = 0;
};

// --- Keys -------------------------------------------------------------------

// A key as the front end names it: a printable character as its code point
// ('+', 'r', 'R', '/', ' '), the other keys as these codes above Unicode's
// range.
enum PhotoKey : uint32_t {
    photo_key_right = 0x110000,
    photo_key_left,
    photo_key_up,
    photo_key_down,
    photo_key_page_up,
    photo_key_page_down,
    photo_key_home,
    photo_key_end,
    photo_key_enter,
    photo_key_escape,
    photo_key_backspace,
    photo_key_delete,
    photo_key_f11,
    photo_key_wheel_up,  // the wheel turned away from the user
    photo_key_wheel_down,
};

// What `key` does in the state the scene describes; `control` is true with
// the Control key held (only Ctrl+Q means anything then). While the search
// field is open, printable keys are the field's (None); while a question is
// asked, only its answers act.
PhotoCommand photo_action(uint32_t key, bool control, const PhotoScene& scene);

// The keys for --help and the manual: one line per action, indented by
// `indent` spaces.
std::string photo_key_help(int32_t indent);

// The photo view's screen: its layout, the frame's order of work, and the
// text drawn through ncurses (status line, search field, question, message
// band, info box, the gallery's names).
#include "platform/terminal/terminal_photo_screen.h"
#include "platform/terminal/terminal_output.h"

#include "platform/terminal/terminal_session.h"
#include "platform/terminal/terminal_text.h"

#include <unistd.h>
#include <algorithm>
#include <cmath>
#include <cwchar>

namespace {

std::wstring wide(const std::string& utf8) { return to_wide(utf16_from_utf8(utf8)); }

int32_t columns_of(const std::wstring& text) {
    int32_t used = 0;
    fit_columns(text, 1 << 30, &used);
    return used;
}

// Writes `text`, cut to `width` columns, at `row`, `col`; the columns taken.
int32_t put(int32_t row, int32_t col, const std::wstring& text, int32_t width) {
    if (width <= 0) return 0;
    int32_t used = 0;
    const std::wstring shown = fit_columns(text, width, &used);
    mvaddnwstr(row, col, shown.c_str(), static_cast<int>(shown.size()));
    return used;
}

}  // namespace

TerminalPhotoScreen::TerminalPhotoScreen(const PictureRenderer& renderer, const PictureMode& mode)
    : renderer_(renderer), mode_(mode) {}

PhotoViewport TerminalPhotoScreen::set_size(int32_t rows, int32_t cols, int32_t cell_width, int32_t cell_height,
                                            bool full_screen) {
    rows_ = std::max(1, rows);
    cols_ = std::max(1, cols);
    full_screen_ = full_screen;
    const bool known = cell_width > 0 && cell_height > 0;
    if (mode_.output != PictureOutput::Symbols) {
        cell_width_ = known ? cell_width : 8;
        cell_height_ = known ? cell_height : 16;
    } else {
        // Symbols draw a few of a cell's pixels at most: a small cell is
        // enough, in the proportions of the terminal's own.
        cell_width_ = 8;
        cell_height_ = known ? std::max(1, static_cast<int32_t>(std::lround(8.0 * cell_height / cell_width))) : 16;
    }
    area_ = CellRect{0, 0, full_screen || rows_ < 2 ? rows_ : rows_ - 1, cols_};
    PhotoViewport view;
    view.width = area_.cols * cell_width_;
    view.height = area_.rows * cell_height_;
    view.cell_width = photo_gallery_cell_cols * cell_width_;
    view.cell_height = photo_gallery_cell_rows * cell_height_;
    view.thumbnail_width = photo_thumbnail_cols * cell_width_;
    view.thumbnail_height = photo_thumbnail_rows * cell_height_;
    return view;
}

std::optional<size_t> TerminalPhotoScreen::gallery_cell_at(const PhotoScene& scene, int32_t row, int32_t col) const {
    const int32_t left = scene.gallery_left / cell_width_;
    if (scene.mode != PhotoScene::Mode::gallery || !area_.contains(row, col) || col < left || scene.columns <= 0)
        return std::nullopt;
    const int32_t column = (col - left) / photo_gallery_cell_cols;
    if (column >= scene.columns) return std::nullopt;
    const auto index = static_cast<size_t>((row - area_.row) / photo_gallery_cell_rows * scene.columns + column);
    if (index >= scene.cells.size()) return std::nullopt;
    return index;
}

TerminalPhotoScreen::Overlays TerminalPhotoScreen::plan(const PhotoScene& scene) const {
    Overlays o;
    const int32_t area_bottom = area_.row + area_.rows;
    if (area_bottom < rows_) {
        o.prompt_row = rows_ - 1;
    } else if (scene.searching || !scene.confirmation.empty()) {
        o.prompt_row = rows_ - 1;
        o.covered.push_back({o.prompt_row, 0, 1, cols_});
    }
    // A pixel image on the screen's last row would scroll the screen as the
    // terminal moves the cursor past it.
    if (mode_.output != PictureOutput::Symbols && area_bottom == rows_) o.covered.push_back({rows_ - 1, 0, 1, cols_});
    const int32_t bottom = o.prompt_row >= area_.row && o.prompt_row < area_bottom ? o.prompt_row : area_bottom;
    if (!scene.message.empty()) {
        o.band_lines = message_lines(scene.message, cols_ - 2, std::max(1, (bottom - area_.row) / 2));
        const auto lines = static_cast<int32_t>(o.band_lines.size());
        o.band = CellRect{bottom - lines, 0, lines, cols_};
        o.covered.push_back(o.band);
    }
    if (scene.info && !scene.info_lines.empty()) {
        int32_t labels = 0, values = 0;
        for (const auto& [label, value] : scene.info_lines) {
            labels = std::max(labels, columns_of(wide(label)));
            values = std::max(values, columns_of(wide(value)));
        }
        // "│ label  value │", the values cut to what the screen leaves.
        const int32_t width = std::min(cols_, labels + values + 6);
        const int32_t height = std::min(static_cast<int32_t>(scene.info_lines.size()) + 2, bottom - area_.row);
        if (width >= 8 && height >= 3) {
            o.info = CellRect{area_.row, cols_ - width, height, width};
            o.covered.push_back(o.info);
        }
    }
    return o;
}

void TerminalPhotoScreen::draw(const PhotoScene& scene, bool force) {
    const Overlays overlays = plan(scene);
    std::vector<Image> images = plan_images(scene, overlays);
    // Kitty images removed and cells that pixels leave erased before ncurses
    // writes there, with the cursor put back where ncurses left it.
    std::string before = clear_stale(images, force);
    if (!before.empty()) {
        before += cursor_to(cursor_row_, cursor_col_);
        write_all(STDOUT_FILENO, before.data(), before.size());
    }
    if (force) clearok(curscr, TRUE);
    draw_text(scene, overlays, images);
    std::string after = draw_images(std::move(images), force);
    if (!after.empty()) {
        if (const char* reset = capability("sgr0")) after += reset;
        after += cursor_to(cursor_row_, cursor_col_);
        write_all(STDOUT_FILENO, after.data(), after.size());
    }
}

void TerminalPhotoScreen::draw_text(const PhotoScene& scene, const Overlays& overlays,
                                    const std::vector<Image>& images) {
    werase(stdscr);
    // The images' cells hold invisible spaces: never blank to ncurses, so
    // that it never clears them on its own (to the end of a line, say).
    for (const Image& image : images)
        for (int32_t row = image.rect.row; row < image.rect.row + image.rect.rows; ++row)
            mvhline(row, image.rect.col, ' ' | A_INVIS, image.rect.cols);
    if (scene.mode == PhotoScene::Mode::gallery) draw_gallery_text(scene);
    cursor_row_ = rows_ - 1;
    cursor_col_ = 0;
    bool cursor = false;
    if (!overlays.band.empty()) draw_band(overlays);
    if (!overlays.info.empty()) draw_info(scene, overlays.info);
    if (overlays.prompt_row >= 0) cursor = draw_prompt(scene, overlays.prompt_row);
    curs_set(cursor ? 1 : 0);
    move(cursor_row_, cursor_col_);
    wnoutrefresh(stdscr);
    doupdate();
}

bool TerminalPhotoScreen::draw_prompt(const PhotoScene& scene, int32_t row) {
    mvhline(row, 0, ' ', cols_);
    if (!scene.confirmation.empty()) {
        attron(A_REVERSE | A_BOLD);
        mvhline(row, 0, ' ' | A_REVERSE | A_BOLD, cols_);
        put(row, 1, wide(scene.confirmation) + L"   y: yes   n: no", cols_ - 2);
        attroff(A_REVERSE | A_BOLD);
        return false;
    }
    if (scene.searching) {
        const std::wstring field = L"/" + wide(scene.search_text);
        // The field's end stays in view, by its start cut off.
        std::wstring shown = field;
        while (columns_of(shown) > cols_ / 2 && shown.size() > 1) shown.erase(shown.begin());
        int32_t used = put(row, 0, shown, cols_ - 1);
        cursor_row_ = row;
        cursor_col_ = used;
        used += 1;
        if (!scene.search_count.empty()) used += put(row, used + 2, wide(scene.search_count), cols_ - used - 2) + 2;
        const std::wstring hint = L"Enter: keep   Esc: clear";
        const int32_t hint_columns = columns_of(hint);
        if (used + 3 + hint_columns <= cols_) {
            attron(A_DIM);
            put(row, cols_ - hint_columns, hint, hint_columns);
            attroff(A_DIM);
        }
        return true;
    }
    // The status, and on its right whether a picture is on its way and the
    // main keys, as far as they fit.
    const std::wstring busy = scene.busy ? L"loading\u2026" : L"";
    const std::wstring hints = L"g: gallery   i: info   /: search   q: quit";
    const int32_t busy_columns = columns_of(busy), hint_columns = columns_of(hints);
    const std::wstring status = wide(scene.status);
    const int32_t status_columns = columns_of(status);
    int32_t right = cols_;
    if (status_columns + 3 + busy_columns + 3 + hint_columns <= cols_) {
        right -= hint_columns;
        attron(A_DIM);
        put(row, right, hints, hint_columns);
        attroff(A_DIM);
        right -= 3;
    }
    if (busy_columns > 0) {
        right -= busy_columns;
        attron(A_BOLD);
        put(row, std::max(0, right), busy, cols_ - std::max(0, right));
        attroff(A_BOLD);
        right -= 2;
    }
    put(row, 0, elide_middle(status, std::max(0, right)), std::max(0, right));
    return false;
}

void TerminalPhotoScreen::draw_band(const Overlays& overlays) {
    attron(A_REVERSE);
    for (size_t i = 0; i < overlays.band_lines.size(); ++i) {
        const int32_t row = overlays.band.row + static_cast<int32_t>(i);
        mvhline(row, 0, ' ' | A_REVERSE, cols_);
        const int32_t used = columns_of(overlays.band_lines[i]);
        put(row, std::max(0, (cols_ - used) / 2), overlays.band_lines[i], cols_);
    }
    attroff(A_REVERSE);
}

void TerminalPhotoScreen::draw_info(const PhotoScene& scene, const CellRect& box) {
    int32_t labels = 0;
    for (const auto& line : scene.info_lines) labels = std::max(labels, columns_of(wide(line.first)));
    draw_frame(box, A_NORMAL);
    const int32_t values = box.cols - labels - 6;
    for (int32_t i = 0; i + 2 < box.rows && i < static_cast<int32_t>(scene.info_lines.size()); ++i) {
        const auto& [label, value] = scene.info_lines[static_cast<size_t>(i)];
        const int32_t row = box.row + 1 + i;
        mvhline(row, box.col + 1, ' ', box.cols - 2);
        attron(A_DIM);
        put(row, box.col + 2, wide(label), labels);
        attroff(A_DIM);
        put(row, box.col + 4 + labels, elide_middle(wide(value), values), values);
    }
}

void TerminalPhotoScreen::draw_gallery_text(const PhotoScene& scene) {
    const int32_t left = scene.gallery_left / cell_width_, bottom = area_.row + area_.rows;
    for (size_t i = 0; i < scene.cells.size() && scene.columns > 0; ++i) {
        const GalleryCell& cell = scene.cells[i];
        const int32_t top = area_.row + static_cast<int32_t>(i / size_t(scene.columns)) * photo_gallery_cell_rows;
        const int32_t col = left + static_cast<int32_t>(i % size_t(scene.columns)) * photo_gallery_cell_cols;
        if (top >= bottom) break;
        if (cell.selected && top + photo_thumbnail_rows + 2 <= bottom)
            draw_frame(CellRect{top, col, photo_thumbnail_rows + 2, photo_thumbnail_cols + 2}, A_BOLD);
        if (cell.failed && cell.thumbnail.bgra == nullptr && top + 1 + photo_thumbnail_rows / 2 < bottom) {
            attron(A_DIM);
            put(top + 1 + photo_thumbnail_rows / 2, col + 2, L"cannot be shown", photo_thumbnail_cols - 1);
            attroff(A_DIM);
        }
        const int32_t name_row = top + photo_thumbnail_rows + 2;
        if (name_row >= bottom) continue;
        const std::wstring name = elide_middle(wide(cell.name), photo_gallery_cell_cols - 2);
        const int32_t used = columns_of(name);
        if (cell.selected) attron(A_REVERSE);
        put(name_row, col + (photo_gallery_cell_cols - used) / 2, name, photo_gallery_cell_cols);
        if (cell.selected) attroff(A_REVERSE);
    }
}

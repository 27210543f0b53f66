#include "picture_writer.h"

#include <png.h>

namespace jpeg_decode {

namespace {

// libpng reports its failures by a long jump back to the setjmp of the
// call that failed; each method below sets one up around its libpng calls
// and keeps nothing with a destructor alive across them.
class PngWriter : public PictureWriter {
public:
    ~PngWriter() override {
        if (png_ != nullptr) png_destroy_write_struct(&png_, info_ != nullptr ? &info_ : nullptr);
    }

    bool begin(Output& output, int32_t width, int32_t height, bool grey) override {
        png_ = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, on_error, on_warning);
        if (png_ == nullptr) return false;
        info_ = png_create_info_struct(png_);
        if (info_ == nullptr) return false;
        if (setjmp(png_jmpbuf(png_))) return false;
        png_set_write_fn(png_, &output, on_write, on_flush);
        png_set_IHDR(png_, info_, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
                     grey ? PNG_COLOR_TYPE_GRAY : PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
                     PNG_FILTER_TYPE_DEFAULT);
        if (!profile_.empty()) {
            // A profile libpng finds wrong for the picture (an RGB profile
            // on a grey picture, a damaged header) is left out, not fatal.
            png_set_benign_errors(png_, 1);
            png_set_iCCP(png_, info_, profile_name_.c_str(), PNG_COMPRESSION_TYPE_BASE, profile_.data(),
                         static_cast<png_uint_32>(profile_.size()));
            profile_written_ = png_get_valid(png_, info_, PNG_INFO_iCCP) != 0;
        }
        png_write_info(png_, info_);
        return true;
    }

    void set_icc_profile(const std::string& name, const std::vector<uint8_t>& profile) override {
        profile_name_ = name;
        profile_ = profile;
    }
    bool profile_written() const override { return profile_written_; }

    void write_row(const uint8_t* row) override {
        if (failed_) return;
        if (setjmp(png_jmpbuf(png_))) {
            failed_ = true;
            return;
        }
        png_write_row(png_, row);
    }

    bool end() override {
        if (failed_) return false;
        if (setjmp(png_jmpbuf(png_))) return false;
        png_write_end(png_, nullptr);
        return true;
    }

private:
    static void on_write(png_structp png, png_bytep bytes, size_t count) {
        // A failed write is kept in the Output and reported when it closes.
        write_output(*static_cast<Output*>(png_get_io_ptr(png)), bytes, count);
    }
    static void on_flush(png_structp) {}
    static void on_error(png_structp png, png_const_charp) { png_longjmp(png, 1); }
    static void on_warning(png_structp, png_const_charp) {}

    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    bool failed_ = false;
    std::string profile_name_;
    std::vector<uint8_t> profile_;
    bool profile_written_ = false;
};

}  // namespace

std::unique_ptr<PictureWriter> make_png_writer() { return std::make_unique<PngWriter>(); }

}  // namespace jpeg_decode

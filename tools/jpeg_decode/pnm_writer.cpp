#include "picture_writer.h"

#include <cstdio>
#include <vector>

namespace jpeg_decode {

namespace {

class PnmWriter : public PictureWriter {
public:
    bool begin(Output& output, int32_t width, int32_t height, bool grey) override {
        output_ = &output;
        width_ = width;
        grey_ = grey;
        char header[64];
        int length = std::snprintf(header, sizeof header, "%s\n%d %d\n255\n", grey ? "P5" : "P6",
                                   static_cast<int>(width), static_cast<int>(height));
        write_output(output, reinterpret_cast<const uint8_t*>(header), static_cast<size_t>(length));
        rgb_.resize(grey ? 0 : static_cast<size_t>(width) * 3);
        return true;
    }

    void write_row(const uint8_t* row) override {
        if (grey_) {
            write_output(*output_, row, static_cast<size_t>(width_));
            return;
        }
        // The decoder's fourth byte of each pixel has no place in PPM.
        for (int32_t x = 0; x < width_; ++x) {
            rgb_[3 * x] = row[4 * x];
            rgb_[3 * x + 1] = row[4 * x + 1];
            rgb_[3 * x + 2] = row[4 * x + 2];
        }
        write_output(*output_, rgb_.data(), rgb_.size());
    }

    bool end() override { return true; }

private:
    Output* output_ = nullptr;
    int32_t width_ = 0;
    bool grey_ = false;
    std::vector<uint8_t> rgb_;
};

}  // namespace

std::unique_ptr<PictureWriter> make_pnm_writer() { return std::make_unique<PnmWriter>(); }

}  // namespace jpeg_decode

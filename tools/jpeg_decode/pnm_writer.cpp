#include "picture_writer.h"

#include <cstdio>

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
        return true;
    }

    void write_row(const uint8_t* row) override {
        write_output(*output_, row, static_cast<size_t>(width_) * (grey_ ? 1 : 3));
    }

    bool end() override { return true; }

private:
    Output* output_ = nullptr;
    int32_t width_ = 0;
    bool grey_ = false;
};

}  // namespace

std::unique_ptr<PictureWriter> make_pnm_writer() { return std::make_unique<PnmWriter>(); }

}  // namespace jpeg_decode

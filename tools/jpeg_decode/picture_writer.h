// Picture file formats: a writer takes the decoder's rows, top to bottom,
// in the layout the decoder writes them in for the command (one grey byte
// per pixel, or red, green and blue) and writes them to an Output.
#pragma once

#include "output.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace jpeg_decode {

enum class Format { Pnm, Png };

class PictureWriter {
public:
    virtual ~PictureWriter() = default;
    // A colour profile to embed, before begin; formats without room for
    // one leave it out. profile_written says whether begin wrote it.
    virtual void set_icc_profile(const std::string& /*name*/, const std::vector<uint8_t>& /*profile*/) {}
    virtual bool profile_written() const { return false; }
    // Writes the header. False when the format's library failed.
    virtual bool begin(Output& output, int32_t width, int32_t height, bool grey) = 0;
    virtual void write_row(const uint8_t* row) = 0;
    // Completes the picture. False when the format's library failed.
    virtual bool end() = 0;
};

// PPM (P6) for colour, PGM (P5) for grey: binary, 8 bits a sample.
std::unique_ptr<PictureWriter> make_pnm_writer();
// PNG, 8-bit RGB or grey, through libpng, with the colour profile in an
// iCCP chunk when libpng accepts it for the picture.
std::unique_ptr<PictureWriter> make_png_writer();

inline std::unique_ptr<PictureWriter> make_writer(Format format) {
    return format == Format::Png ? make_png_writer() : make_pnm_writer();
}

}  // namespace jpeg_decode

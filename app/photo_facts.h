// What the photo view's info panel says about a picture, in words.
#pragma once

#include "app/picture_file.h"

#include <string>
#include <utility>
#include <vector>

using InfoLines = std::vector<std::pair<std::string, std::string>>;

// Label and value per line: name, folder, size in pixels, file size, date
// taken (else modified, in local time), the colour profile's name, camera,
// exposure, aperture, focal length and ISO, each as far as it is known. `outcome` is null before the
// file has been read. A relative `path` starts from `working_folder`.
InfoLines picture_info(const std::string& name, const std::string& path, const std::string& working_folder,
                       const PictureOutcome* outcome);

// "1/250 s", "2 s", "f/2.8", "35 mm", "4.3 mm"; empty when absent.
std::string exposure_text(ExifFacts::Fraction time);
std::string f_number_text(ExifFacts::Fraction f_number);
std::string focal_length_text(ExifFacts::Fraction length);

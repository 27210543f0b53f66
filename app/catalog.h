// The picture catalogue: identifiers of the pictures and, for each picture
// number, the string identifiers of its location, caption and date.
#pragma once

#include <cstdint>

constexpr uint16_t first_picture_id = 2000;
constexpr uint16_t last_picture_id = 2303;
constexpr uint32_t image_count = 304;

// The web domain named in the details box's credit line.
constexpr char16_t credit_domain[] = u"www.marivue.example.org";

// Tables of string identifiers, indexed by picture number
// (picture identifier minus first_picture_id).
struct ImageCatalog {
    uint32_t location_ids[image_count];  // 3000..3023
    uint32_t caption_ids[image_count];  // all 5000
    uint32_t date_ids[image_count];  // 4000..4053
};

extern const ImageCatalog image_catalog;

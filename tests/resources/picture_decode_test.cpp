// Every stored picture decodes with the project's decoder to the shape the
// viewer accepts.
#include <gtest/gtest.h>

#include <new>

#include "app/catalog.h"
#include "jpeg/byte_sources.h"
#include "jpeg/decoder.h"
#include "platform/resource_store.h"

namespace {

TEST(PictureDecode, EveryPictureDecodesTo240WideColour) {
    for (int id = first_picture_id; id <= last_picture_id; ++id) {
        SCOPED_TRACE(id);
        ResourceBytes bytes{nullptr, 0};
        ASSERT_TRUE(find_resource(resource_type_raw_data, static_cast<uint16_t>(id), &bytes));
        MemoryByteSource source(bytes.data, bytes.size);
        JpegDecoder* d = new (std::nothrow) JpegDecoder;
        ASSERT_NE(d, nullptr);
        open_decoder(*d, source);
        EXPECT_EQ(d->status, 0);
        if (d->status == 0) {
            EXPECT_EQ(d->image_width, 240);
            EXPECT_GE(d->image_height, 120);
            EXPECT_LE(d->image_height, 250);
            EXPECT_EQ(begin(*d), 0);
            EXPECT_EQ(d->frame_component_count, 3);
            EXPECT_EQ(d->bytes_per_pixel, 4);
            int rows = 0;
            const uint8_t* row = nullptr;
            int32_t row_bytes = 0;
            int32_t r = 0;
            while ((r = decode_row(*d, &row, &row_bytes)) == 0) {
                EXPECT_EQ(row_bytes, 240 * 4);
                ++rows;
                if (rows > 250) break;
            }
            EXPECT_EQ(r, 1) << "status " << d->status;
            EXPECT_EQ(rows, d->image_height);
        }
        free_pool(*d);
        delete d;
    }
}

}  // namespace

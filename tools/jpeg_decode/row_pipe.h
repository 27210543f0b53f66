// Rows on their way from the decoder to a picture writer: the writer runs
// on a thread of its own, a few blocks of rows behind the decoder, so that
// writing (the kernel's copy of a PPM's bytes, a PNG's compression) goes on
// beside the decoding of the rows after them instead of after it.
#pragma once

#include "picture_writer.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace jpeg_decode {

class RowPipe {
public:
    // Rows of `row_bytes` bytes for `writer`. Where no second thread can be
    // had the rows are written on the caller's thread as they come.
    RowPipe(PictureWriter& writer, size_t row_bytes);
    // Waits for the writer to finish the rows handed over so far.
    ~RowPipe();
    RowPipe(const RowPipe&) = delete;
    RowPipe& operator=(const RowPipe&) = delete;

    // Where the decoder puts the next row; valid until push.
    uint8_t* row();
    // Hands that row on to the writer.
    void push();
    // Hands on the rows pushed so far and waits until all are written.
    void finish();

private:
    static constexpr int block_count = 3;
    struct Block {
        std::vector<uint8_t> bytes;
        int32_t rows = 0;
    };
    void hand_over();
    void run();

    PictureWriter& writer_;
    size_t row_bytes_;
    int32_t rows_per_block_;
    Block blocks_[block_count];
    std::mutex lock_;
    std::condition_variable changed_;
    int64_t filled_ = 0;  // blocks handed over
    int64_t written_ = 0;  // blocks the writer has finished
    bool finished_ = false;
    bool threaded_ = false;
    std::thread thread_;
};

}  // namespace jpeg_decode

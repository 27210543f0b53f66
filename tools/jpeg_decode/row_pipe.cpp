#include "row_pipe.h"

#include <system_error>

namespace jpeg_decode {

namespace {

// About this many bytes of rows a block: the threads meet a few hundred
// times in a large picture, not once a row.
constexpr size_t block_bytes = size_t{1} << 20;

}  // namespace

RowPipe::RowPipe(PictureWriter& writer, size_t row_bytes) : writer_(writer), row_bytes_(row_bytes) {
    const size_t rows = row_bytes == 0 ? 1 : block_bytes / row_bytes;
    rows_per_block_ = static_cast<int32_t>(rows < 1 ? 1 : rows > 4096 ? 4096 : rows);
    for (Block& block : blocks_) block.bytes.resize(row_bytes_ * static_cast<size_t>(rows_per_block_));
    try {
        thread_ = std::thread([this] { run(); });
        threaded_ = true;
    } catch (const std::system_error&) {
        threaded_ = false;
    }
}

RowPipe::~RowPipe() { finish(); }

uint8_t* RowPipe::row() {
    Block& block = blocks_[filled_ % block_count];
    return block.bytes.data() + row_bytes_ * static_cast<size_t>(block.rows);
}

void RowPipe::push() {
    Block& block = blocks_[filled_ % block_count];
    if (!threaded_) {
        writer_.write_row(block.bytes.data());
        return;
    }
    if (++block.rows == rows_per_block_) hand_over();
}

void RowPipe::hand_over() {
    std::unique_lock<std::mutex> guard(lock_);
    filled_++;
    changed_.notify_all();
    // The next block must be one the writer has finished with.
    changed_.wait(guard, [this] { return filled_ - written_ < block_count; });
    blocks_[filled_ % block_count].rows = 0;
}

void RowPipe::finish() {
    if (!threaded_) return;
    if (blocks_[filled_ % block_count].rows > 0) hand_over();
    {
        std::lock_guard<std::mutex> guard(lock_);
        finished_ = true;
    }
    changed_.notify_all();
    thread_.join();
    threaded_ = false;
}

void RowPipe::run() {
    for (;;) {
        {
            std::unique_lock<std::mutex> guard(lock_);
            changed_.wait(guard, [this] { return written_ < filled_ || finished_; });
            if (written_ == filled_) return;
        }
        // The decoder fills other blocks meanwhile; this one is the writer's
        // until it is counted as written.
        const Block& block = blocks_[written_ % block_count];
        for (int32_t y = 0; y < block.rows; y++)
            writer_.write_row(block.bytes.data() + row_bytes_ * static_cast<size_t>(y));
        {
            std::lock_guard<std::mutex> guard(lock_);
            written_++;
        }
        changed_.notify_all();
    }
}

}  // namespace jpeg_decode

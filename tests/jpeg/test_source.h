// An in-memory ByteSource for decoder tests, with scripted read sizes, a late
// end flag, a read that fails, and counters for every call the decoder makes.
#pragma once

#include "jpeg/decoder.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

class TestSource : public ByteSource {
public:
    enum class Misbehaviour { None, TooMany, BelowMinusOne };

    TestSource() = default;
    explicit TestSource(std::vector<uint8_t> data) : data_(std::move(data)) {}

    // Bytes handed out per read call, in call order. A 0 entry makes that
    // call return 0 without setting the end flag. Once the list is used up
    // every call delivers up to `chunk` bytes.
    std::vector<int32_t> script;
    int32_t chunk = 1 << 30;
    // Set the end flag only in the call after the last bytes, returning 0.
    bool late_end = false;
    // The read call (counted from 1) that reports an error; 0 for none.
    int error_on_read = 0;
    // The read call (counted from 1) that breaks the interface contract.
    int misbehave_on_read = 0;
    Misbehaviour misbehaviour = Misbehaviour::None;

    int reads = 0;
    int attaches = 0;
    int detaches = 0;
    int reads_after_end = 0;
    bool read_before_attach = false;
    std::string log;  // 'A' attach, 'R' read, 'D' detach, in call order
    std::vector<int32_t> maxes;  // the room offered by each read call

    int32_t read(uint8_t* buffer, int32_t max, uint8_t* end_flag) override {
        ++reads;
        log += 'R';
        maxes.push_back(max);
        if (attaches == 0) read_before_attach = true;
        if (ended_) ++reads_after_end;
        if (reads == error_on_read) return -1;
        if (reads == misbehave_on_read) {
            if (misbehaviour == Misbehaviour::BelowMinusOne) return -2;
            if (misbehaviour == Misbehaviour::TooMany) {
                int32_t n = copy_out(buffer, max);
                (void)n;
                return max + 1;
            }
        }
        int32_t want = max;
        if (script_pos_ < script.size()) {
            want = std::min(want, script[script_pos_++]);
            if (want == 0) return 0;
        } else {
            want = std::min(want, chunk);
        }
        int32_t n = copy_out(buffer, want);
        if (pos_ == data_.size() && (!late_end || n == 0)) {
            *end_flag = 1;
            ended_ = true;
        }
        return n;
    }

    void attach() override {
        ++attaches;
        log += 'A';
    }
    void detach() override {
        ++detaches;
        log += 'D';
    }

    size_t consumed() const { return pos_; }

private:
    int32_t copy_out(uint8_t* buffer, int32_t want) {
        size_t n = std::min<size_t>(static_cast<size_t>(std::max(want, 0)), data_.size() - pos_);
        if (n > 0) std::memcpy(buffer, data_.data() + pos_, n);
        pos_ += n;
        return static_cast<int32_t>(n);
    }

    std::vector<uint8_t> data_;
    size_t pos_ = 0;
    size_t script_pos_ = 0;
    bool ended_ = false;
};

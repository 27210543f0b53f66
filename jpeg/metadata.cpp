// The ICC profile and Exif data a Decoder collects from the segments the
// marker parser hands it. A profile too large for one segment comes in
// numbered chunks; they are joined only when the set is whole and
// consistent, so that a damaged set gives no profile rather than a wrong one.
#include "jpeg/metadata.h"

#include <cstring>
#include <new>
#include <utility>

namespace marivue::jpeg::detail {

namespace {

constexpr int32_t marker_app1 = 0xE1, marker_app2 = 0xE2;
constexpr uint8_t icc_name[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
constexpr uint8_t exif_name[6] = {'E', 'x', 'i', 'f', 0, 0};

bool starts_with(const std::vector<uint8_t>& bytes, const uint8_t* name, size_t size) {
    return bytes.size() >= size && std::memcmp(bytes.data(), name, size) == 0;
}

}  // namespace

void Metadata::sink(void* context, int32_t marker, int32_t offset, const uint8_t* bytes, int32_t count,
                    int32_t length) noexcept {
    Metadata& m = *static_cast<Metadata*>(context);
    if (offset == 0) {
        m.segment_.clear();
        m.segment_kept_ = true;
    }
    if (m.segment_kept_ && count > 0) {
        try {
            m.segment_.insert(m.segment_.end(), bytes, bytes + count);
        } catch (const std::bad_alloc&) {
            m.segment_kept_ = false;
        }
    }
    if (offset + count == length) m.segment_done(marker);
}

void Metadata::segment_done(int32_t marker) {
    if (marker == marker_app1) {
        // The first Exif segment counts; later ones (and XMP, which is APP1
        // too) are passed over.
        if (exif_seen_ || !starts_with(segment_, exif_name, sizeof exif_name)) return;
        exif_seen_ = true;
        if (segment_kept_) exif_.assign(segment_.begin() + sizeof exif_name, segment_.end());
        return;
    }
    if (marker != marker_app2 || !starts_with(segment_, icc_name, sizeof icc_name) || icc_broken_) return;
    // "ICC_PROFILE\0", the chunk's number (from 1) and the count of chunks.
    const size_t header = sizeof icc_name + 2;
    const int32_t number = segment_.size() >= header ? segment_[sizeof icc_name] : 0;
    const int32_t count = segment_.size() >= header ? segment_[sizeof icc_name + 1] : 0;
    if (chunk_count_ == 0 && count > 0) chunk_count_ = count;
    const size_t bytes = segment_.size() - (segment_.size() >= header ? header : segment_.size());
    bool broken = !segment_kept_ || number < 1 || count != chunk_count_ || number > chunk_count_ ||
                  chunk_bytes_ + bytes > max_icc_profile_bytes;
    try {
        if (!broken && chunks_.empty()) chunks_.resize(static_cast<size_t>(chunk_count_));
        // A chunk that came before is a repeat: which one holds the profile
        // is anyone's guess.
        if (!broken && !chunks_[static_cast<size_t>(number - 1)].empty()) broken = true;
        if (!broken) chunks_[static_cast<size_t>(number - 1)].assign(segment_.begin() + header, segment_.end());
    } catch (const std::bad_alloc&) {
        broken = true;
    }
    // An empty chunk would look like a missing one.
    if (bytes == 0) broken = true;
    chunk_bytes_ += bytes;
    if (broken) {
        // Nothing more is kept: a stream of repeats cannot take memory.
        icc_broken_ = true;
        std::vector<std::vector<uint8_t>>().swap(chunks_);
    }
}

std::vector<uint8_t> Metadata::take_icc_profile() {
    std::vector<uint8_t> profile;
    if (icc_broken_ || chunks_.empty()) return profile;
    for (const std::vector<uint8_t>& chunk : chunks_)
        if (chunk.empty()) return profile;  // missing
    try {
        profile.reserve(chunk_bytes_);
        for (const std::vector<uint8_t>& chunk : chunks_) profile.insert(profile.end(), chunk.begin(), chunk.end());
    } catch (const std::bad_alloc&) {
        profile.clear();
    }
    std::vector<std::vector<uint8_t>>().swap(chunks_);
    return profile;
}

int exif_orientation(const uint8_t* tiff, size_t size) {
    if (tiff == nullptr || size < 8) return 1;
    const bool big = tiff[0] == 'M' && tiff[1] == 'M';
    if (!big && !(tiff[0] == 'I' && tiff[1] == 'I')) return 1;
    const auto u16 = [&](size_t at) {
        return big ? static_cast<uint32_t>(tiff[at] << 8 | tiff[at + 1])
                   : static_cast<uint32_t>(tiff[at + 1] << 8 | tiff[at]);
    };
    const auto u32 = [&](size_t at) { return big ? u16(at) << 16 | u16(at + 2) : u16(at + 2) << 16 | u16(at); };
    if (u16(2) != 42) return 1;
    const size_t directory = u32(4);
    if (directory > size || size - directory < 2) return 1;
    const size_t entries = u16(directory);
    for (size_t i = 0; i < entries; ++i) {
        const size_t at = directory + 2 + 12 * i;
        if (at > size || size - at < 12) return 1;
        // The first orientation entry decides: a SHORT, one value, 1..8.
        if (u16(at) != 0x0112) continue;
        const uint32_t value = u16(at + 8);
        return u16(at + 2) == 3 && u32(at + 4) == 1 && value >= 1 && value <= 8 ? static_cast<int>(value) : 1;
    }
    return 1;
}

}  // namespace marivue::jpeg::detail

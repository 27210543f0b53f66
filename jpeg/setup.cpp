// Frame and scan set-up: the output scheme and its geometry, the row
// buffers, the colour tables, and per scan the MCU geometry, the table
// checks and the start of the entropy reader.
#include "jpeg/internal.h"

namespace marivue::jpeg::detail {

namespace {

inline int32_t ceil_div(int32_t x, int32_t d) { return (x + d - 1) / d; }

struct SchemeLayout {
    OutputScheme scheme;
    int32_t mcu_width, mcu_height, blocks_per_mcu;
};

// The general scheme's layouts: factors 1..4 whose ratios to the largest
// are whole, so that every sample covers a whole rectangle of pixels, and at
// most 10 blocks in an MCU, as an interleaved scan allows.
bool general_layout(const JpegDecoder& d, SchemeLayout& layout) {
    int32_t h_max = 0, v_max = 0, blocks = 0;
    for (int32_t c = 0; c < d.frame_component_count; c++) {
        const int32_t h = d.comp_h_factor[c], v = d.comp_v_factor[c];
        if (h < 1 || h > 4 || v < 1 || v > 4) return false;
        h_max = h > h_max ? h : h_max;
        v_max = v > v_max ? v : v_max;
        blocks += h * v;
    }
    if (blocks > 10) return false;
    for (int32_t c = 0; c < d.frame_component_count; c++)
        if (h_max % d.comp_h_factor[c] != 0 || v_max % d.comp_v_factor[c] != 0) return false;
    layout = {SchemeGeneral, 8 * h_max, 8 * v_max, blocks};
    return true;
}

// The scheme of the frame at full size, or the failure that refuses it.
SchemeLayout choose_layout(JpegDecoder& d) {
    SchemeLayout layout{};
    const bool extended = d.settings.extended_layouts != 0;
    if (d.frame_component_count == 1) {
        // The factors of a lone component do not shape its MCU, but a 0
        // would leave the scan geometry without a largest factor.
        if (d.comp_h_factor[0] == 0 || d.comp_v_factor[0] == 0) fail(d, UnsupportedSampling);
        return {SchemeGrey, 8, 8, 1};
    }
    if (d.frame_component_count == 3) {
        const int32_t h = d.comp_h_factor[0], v = d.comp_v_factor[0];
        bool chroma_1x1 = true;
        for (int c = 1; c <= 2; c++) chroma_1x1 = chroma_1x1 && d.comp_h_factor[c] == 1 && d.comp_v_factor[c] == 1;
        if (chroma_1x1 && h == 1 && v == 1) return {SchemeH1V1, 8, 8, 3};
        if (chroma_1x1 && h == 2 && v == 1) return {SchemeH2V1, 16, 8, 4};
        if (chroma_1x1 && h == 1 && v == 2) return {SchemeH1V2, 8, 16, 4};
        if (chroma_1x1 && h == 2 && v == 2) return {SchemeH2V2, 16, 16, 6};
        if (!extended || !general_layout(d, layout)) fail(d, UnsupportedSampling);
        return layout;
    }
    if (d.frame_component_count != 4 || !extended) fail(d, UnsupportedComponents);
    if (!general_layout(d, layout)) fail(d, UnsupportedSampling);
    return layout;
}

// The block pointers and end marks of an MCU row longer than the record's
// own tables, from the pool. Frames within the default side limit never
// need them (8192 wide makes at most 4096 blocks).
void allocate_row_tables(JpegDecoder& d) {
    if (d.row_block_count <= max_row_blocks) return;
    if (d.settings.max_side <= 8192) fail(d, BufferLimit);
    const size_t count = static_cast<size_t>(d.row_block_count);
    d.row_block_table = static_cast<int16_t**>(pool_alloc(d, count * sizeof(int16_t*)));
    d.last_nonzero_table = static_cast<int32_t*>(pool_alloc(d, count * sizeof(int32_t)));
}

}  // namespace

void start_frame(JpegDecoder& d) {
    SchemeLayout layout = choose_layout(d);
    // At a reduced size every layout takes the general scheme, whose rows
    // are gathered from blocks of any sample count.
    const int32_t shift = d.settings.scale_shift;
    d.output_scheme = shift == 0 ? layout.scheme : SchemeGeneral;
    d.blocks_per_output_mcu = layout.blocks_per_mcu;
    d.mcus_per_row = ceil_div(d.image_width, layout.mcu_width);
    d.mcus_per_column = ceil_div(d.image_height, layout.mcu_height);
    // From here on the MCU is measured in delivered pixels.
    d.mcu_width = layout.mcu_width >> shift;
    d.mcu_height = layout.mcu_height >> shift;
    d.bytes_per_pixel = layout_bytes(d.settings.layout, d.frame_component_count);
    // The converters write whole MCUs, eight pixels at a time at least, in
    // any layout (which may change from row to row): four bytes at most.
    const int32_t converted = d.mcus_per_row * d.mcu_width;
    const int32_t widest = converted > d.output_width ? converted : d.output_width;
    d.padded_row_bytes = ((widest + 15) & ~15) * 4;
    d.output_row_bytes = d.output_width * d.bytes_per_pixel;

    d.out_row_0 = static_cast<uint8_t*>(pool_alloc(d, static_cast<size_t>(d.padded_row_bytes) + 8));
    d.out_row_1 = static_cast<uint8_t*>(pool_alloc(d, static_cast<size_t>(d.padded_row_bytes) + 8));

    d.row_block_count = d.blocks_per_output_mcu * d.mcus_per_row;
    allocate_row_tables(d);
    // pool_alloc already hands out 8-byte aligned, zeroed memory.
    auto* blocks = static_cast<int16_t*>(pool_alloc(d, static_cast<size_t>(d.row_block_count) * 128 + 8));
    for (int32_t i = 0; i < d.row_block_count; i++) {
        d.row_block_table[i] = blocks + 64 * i;
        d.last_nonzero_table[i] = 64;
    }
    d.sample_rows = static_cast<uint8_t*>(pool_alloc(d, static_cast<size_t>(d.row_block_count) * 64 + 8));
    if (d.output_scheme == SchemeGeneral) {
        // The output MCU holds the components in frame order.
        int32_t first = 0;
        for (int32_t c = 0; c < d.frame_component_count; c++) {
            d.comp_first_block[c] = first;
            first += d.frame_component_count == 1 ? 1 : d.comp_h_factor[c] * d.comp_v_factor[c];
        }
        d.plane_stride = d.padded_row_bytes / 4;
        const size_t planes = static_cast<size_t>(d.frame_component_count) * static_cast<size_t>(d.plane_stride);
        d.plane_rows = static_cast<uint8_t*>(pool_alloc(d, planes + 8));
    }
    d.mcu_rows_remaining = 0;
    d.rows_remaining = d.output_height;
    build_colour_tables(d);
}

void build_colour_tables(JpegDecoder& d) {
    for (int32_t i = 0; i < 256; i++) {
        int32_t x = i - 128;
        d.cr_to_red[i] = (91882 * x + 32768) >> 16;
        d.cb_to_blue[i] = (116130 * x + 32768) >> 16;
        d.cr_to_green[i] = -46802 * x;
        d.cb_to_green[i] = -22554 * x + 32768;
    }
}

void compute_scan_geometry(JpegDecoder& d) {
    int32_t h_max = 0, v_max = 0;
    for (int32_t c = 0; c < d.frame_component_count; c++) {
        if (d.comp_h_factor[c] > h_max) h_max = d.comp_h_factor[c];
        if (d.comp_v_factor[c] > v_max) v_max = d.comp_v_factor[c];
    }
    for (int32_t c = 0; c < d.frame_component_count; c++) {
        d.comp_blocks_wide[c] = ceil_div(ceil_div(d.image_width * d.comp_h_factor[c], h_max), 8);
        d.comp_blocks_high[c] = ceil_div(ceil_div(d.image_height * d.comp_v_factor[c], v_max), 8);
    }
    if (d.scan_component_count == 1) {
        int32_t c = d.scan_components[0];
        d.mcus_across = d.comp_blocks_wide[c];
        d.mcus_down = d.comp_blocks_high[c];
        d.blocks_per_mcu = 1;
        d.mcu_block_component[0] = c;
        return;
    }
    d.mcus_across = ceil_div(ceil_div(d.image_width, 8), h_max);
    d.mcus_down = ceil_div(ceil_div(d.image_height, 8), v_max);
    d.blocks_per_mcu = 0;
    for (int32_t i = 0; i < d.scan_component_count; i++) {
        int32_t c = d.scan_components[i];
        // Frames that set-up accepts, with each component named once, have
        // at most 6 blocks per MCU; the bound only guards the table.
        for (int32_t n = d.comp_h_factor[c] * d.comp_v_factor[c]; n > 0; n--) {
            if (d.blocks_per_mcu == 10) fail(d, BufferLimit);
            d.mcu_block_component[d.blocks_per_mcu++] = c;
        }
    }
}

void prepare_huff_tables(JpegDecoder& d) {
    for (int32_t i = 0; i < d.scan_component_count; i++) {
        int32_t c = d.scan_components[i];
        // Table numbers come from 4-bit fields; above 3 they name no table.
        if (d.spectral_first == 0) {
            int32_t slot = d.comp_dc_table[c];
            if (slot > 3 || d.huff_bits[slot] == nullptr) fail(d, HuffTableMissing);
        }
        if (d.spectral_last > 0) {
            int32_t slot = d.comp_ac_table[c];
            if (slot > 7 || d.huff_bits[slot] == nullptr) fail(d, HuffTableMissing);
        }
    }
    for (int slot = 0; slot < 8; slot++) {
        if (d.huff_bits[slot] == nullptr) continue;
        if (d.huff_decode_tables[slot] == nullptr)
            d.huff_decode_tables[slot] = static_cast<HuffDecodeTable*>(pool_alloc(d, sizeof(HuffDecodeTable)));
        const HuffDecodeTable& table = *d.huff_decode_tables[slot];
        build_huff_table(d, slot, *d.huff_decode_tables[slot]);
        if (slot >= 4) build_fast_ac(table, d.fast_ac[slot - 4]);
        // A progressive frame passes over whole scans at the eighth size
        // instead, and decodes all coefficients at the other reduced sizes.
        if (!builds_wide_tables(d)) {
            if (slot < 4 && !d.is_progressive) build_fast_dc(table, d.fast_dc[slot]);
            continue;
        }
        int32_t*& fast = d.wide_fast[slot];
        if (fast == nullptr) fast = static_cast<int32_t*>(pool_alloc(d, sizeof(int32_t) << wide_fast_ac_bits));
        if (slot < 4) {
            build_wide_fast_dc(table, fast);
            continue;
        }
        build_wide_fast_ac(table, fast);
        if (!passes_over_coefficients(d)) continue;
        uint16_t*& skip = d.skip_ac[slot - 4];
        if (skip == nullptr) skip = static_cast<uint16_t*>(pool_alloc(d, sizeof(uint16_t) << skip_ac_bits));
        build_skip_ac(table, skip);
    }
}

void check_quant_tables(JpegDecoder& d) {
    for (int32_t i = 0; i < d.scan_component_count; i++) {
        int32_t q = d.comp_quant_index[d.scan_components[i]];
        if (q > 3 || d.quant_tables[q] == nullptr) fail(d, QuantTableMissing);
    }
}

bool start_scan(JpegDecoder& d) {
    if (!find_scan_header(d)) return false;
    compute_scan_geometry(d);
    prepare_huff_tables(d);
    check_quant_tables(d);
    for (int32_t c = 0; c < d.frame_component_count; c++) d.last_dc[c] = 0;
    d.eob_run = 0;
    if (d.restart_interval != 0) {
        d.restarts_left = d.restart_interval;
        d.next_restart_number = 0;
    }
    prime_entropy_bits(d);
    return true;
}

void start_sequential(JpegDecoder& d) {
    if (!start_scan(d)) fail(d, UnexpectedMarker);
    // Only the first scan is decoded, into MCUs laid out for the output
    // stage: it has to carry every component, in frame order.
    bool complete = d.scan_component_count == d.frame_component_count;
    for (int32_t i = 0; complete && i < d.scan_component_count; i++) complete = d.scan_components[i] == i;
    if (!complete) fail(d, SequentialScanUnsupported);
}

}  // namespace marivue::jpeg::detail

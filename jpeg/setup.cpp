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

}  // namespace

void start_frame(JpegDecoder& d) {
    SchemeLayout layout{};
    if (d.frame_component_count == 1) {
        // The factors of a lone component do not shape its MCU, but a 0
        // would leave the scan geometry without a largest factor.
        if (d.comp_h_factor[0] == 0 || d.comp_v_factor[0] == 0) fail(d, UnsupportedSampling);
        layout = {SchemeGrey, 8, 8, 1};
    } else if (d.frame_component_count == 3) {
        for (int c = 1; c <= 2; c++)
            if (d.comp_h_factor[c] != 1 || d.comp_v_factor[c] != 1) fail(d, UnsupportedSampling);
        int32_t h = d.comp_h_factor[0], v = d.comp_v_factor[0];
        if (h == 1 && v == 1)
            layout = {SchemeH1V1, 8, 8, 3};
        else if (h == 2 && v == 1)
            layout = {SchemeH2V1, 16, 8, 4};
        else if (h == 1 && v == 2)
            layout = {SchemeH1V2, 8, 16, 4};
        else if (h == 2 && v == 2)
            layout = {SchemeH2V2, 16, 16, 6};
        else
            fail(d, UnsupportedSampling);
    } else {
        fail(d, UnsupportedComponents);
    }
    d.output_scheme = layout.scheme;
    d.mcu_width = layout.mcu_width;
    d.mcu_height = layout.mcu_height;
    d.blocks_per_output_mcu = layout.blocks_per_mcu;

    d.mcus_per_row = ceil_div(d.image_width, d.mcu_width);
    d.mcus_per_column = ceil_div(d.image_height, d.mcu_height);
    d.bytes_per_pixel = d.output_scheme == SchemeGrey ? 1 : 4;
    d.padded_row_bytes = ((d.image_width + 15) & ~15) * d.bytes_per_pixel;
    d.output_row_bytes = d.image_width * d.bytes_per_pixel;

    d.out_row_0 = static_cast<uint8_t*>(pool_alloc(d, static_cast<size_t>(d.padded_row_bytes) + 8));
    d.out_row_1 = static_cast<uint8_t*>(pool_alloc(d, static_cast<size_t>(d.padded_row_bytes) + 8));

    d.row_block_count = d.blocks_per_output_mcu * d.mcus_per_row;
    if (d.row_block_count > max_row_blocks) fail(d, BufferLimit);
    // pool_alloc already hands out 8-byte aligned, zeroed memory.
    auto* blocks = static_cast<int16_t*>(pool_alloc(d, static_cast<size_t>(d.row_block_count) * 128 + 8));
    for (int32_t i = 0; i < d.row_block_count; i++) {
        d.row_blocks[i] = blocks + 64 * i;
        d.block_last_nonzero[i] = 64;
    }
    d.sample_rows = static_cast<uint8_t*>(pool_alloc(d, static_cast<size_t>(d.row_block_count) * 64 + 8));
    d.mcu_rows_remaining = 0;
    d.rows_remaining = d.image_height;
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
        build_huff_table(d, slot, *d.huff_decode_tables[slot]);
        if (slot >= 4) build_fast_ac(*d.huff_decode_tables[slot], d.fast_ac[slot - 4]);
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

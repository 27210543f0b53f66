#!/usr/bin/env bash
# Regenerates the JPEG files under tests/fixtures/extended/: pictures that
# only the decoder's extended settings decode (other sampling layouts, CMYK
# and YCCK, a side above 8192), whose row digests the row-digest test checks
# on every vector path. They are committed; the test never encodes.
# Needs python3, gcc with libjpeg (Debian libjpeg62-turbo-dev) and cjpeg.
set -euo pipefail
out=${1:-tests/fixtures/extended}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# Soft shading, a hard edge and some noise, as in make_row_fixtures.sh.
python3 - "$tmp" <<'PY'
import math, sys
tmp = sys.argv[1]
def scene(w, h, seed, noise):
    state = seed * 2654435761 % 2**32 or 1
    out = bytearray()
    for y in range(h):
        for x in range(w):
            state = (state * 1103515245 + 12345) % 2**31
            n = (state >> 16) % (2 * noise + 1) - noise
            r = 128 + 90 * math.sin(x * 0.11 + seed) * math.cos(y * 0.07)
            g = (x * 255 // max(w - 1, 1)) if (x // 9 + y // 7) % 2 else 255 - (y * 255 // max(h - 1, 1))
            b = 60 + (x * y) % 150
            out += bytes(max(0, min(255, int(v + n))) for v in (r, g, b))
    with open(f"{tmp}/s{w}x{h}.ppm", "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h) + out)
scene(97, 37, 7, 20)
scene(13000, 16, 8, 2)
scene(512, 384, 9, 6)
PY

# Four components: C, M, Y from the scene's colours and K from a gradient,
# written by the library as CMYK or YCCK.
cat > "$tmp/four.c" <<'C'
#include <stdio.h>
#include <stdlib.h>
#include <jpeglib.h>
/* four W H CODING(0 CMYK, 1 YCCK, 2 CMYK without Adobe) HY VY HK VK PROGRESSIVE OUT */
int main(int argc, char** argv) {
    if (argc != 10) return 2;
    int w = atoi(argv[1]), h = atoi(argv[2]), coding = atoi(argv[3]);
    struct jpeg_compress_struct c;
    struct jpeg_error_mgr e;
    FILE* f = fopen(argv[9], "wb");
    if (!f) return 1;
    c.err = jpeg_std_error(&e);
    jpeg_create_compress(&c);
    jpeg_stdio_dest(&c, f);
    c.image_width = w, c.image_height = h, c.input_components = 4, c.in_color_space = JCS_CMYK;
    jpeg_set_defaults(&c);
    jpeg_set_colorspace(&c, coding == 1 ? JCS_YCCK : JCS_CMYK);
    c.write_Adobe_marker = coding == 2 ? FALSE : TRUE;
    jpeg_set_quality(&c, 85, TRUE);
    c.comp_info[0].h_samp_factor = atoi(argv[4]), c.comp_info[0].v_samp_factor = atoi(argv[5]);
    c.comp_info[3].h_samp_factor = atoi(argv[6]), c.comp_info[3].v_samp_factor = atoi(argv[7]);
    if (atoi(argv[8])) jpeg_simple_progression(&c);
    jpeg_start_compress(&c, TRUE);
    JSAMPLE* row = malloc((size_t)w * 4);
    for (int y = 0; y < h; y++) {
        for (int x = 0; x < w; x++) {
            row[4 * x] = (JSAMPLE)((x * 7 + y * 3) % 256);
            row[4 * x + 1] = (JSAMPLE)(255 - (x * y) % 200);
            row[4 * x + 2] = (JSAMPLE)((x / 5 + y / 3) % 2 ? 230 : 40);
            row[4 * x + 3] = (JSAMPLE)(120 + (x * 135) / (w > 1 ? w - 1 : 1));
        }
        jpeg_write_scanlines(&c, &row, 1);
    }
    jpeg_finish_compress(&c);
    jpeg_destroy_compress(&c);
    fclose(f);
    free(row);
    return 0;
}
C
gcc -O2 -o "$tmp/four" "$tmp/four.c" -ljpeg
"$tmp/four" 45 29 0 1 1 1 1 0 "$out/cmyk_45x29.jpg"
"$tmp/four" 51 37 1 2 2 2 2 0 "$out/ycck_2x2_51x37.jpg"
"$tmp/four" 41 23 1 2 1 2 1 1 "$out/ycck_prog_41x23.jpg"
"$tmp/four" 33 9 2 1 1 1 1 0 "$out/cmyk_no_adobe_33x9.jpg"
"$tmp/four" 1 1 0 1 2 1 2 0 "$out/cmyk_1x1.jpg"

src=$tmp/s97x37.ppm
cjpeg -quality 85 -sample 4x1,1x1,1x1 "$src" > "$out/sample_4x1_97x37.jpg"
cjpeg -quality 85 -sample 2x1,2x1,2x1 "$src" > "$out/sample_2x1_all_97x37.jpg"
cjpeg -quality 85 -sample 1x1,1x2,1x2 "$src" > "$out/sample_1x1_1x2_97x37.jpg"
cjpeg -quality 85 -progressive -sample 4x2,1x1,1x1 "$src" > "$out/prog_4x2_97x37.jpg"
# 4608 blocks: enough that the reduced sizes pass over what they do not read.
cjpeg -quality 60 -restart 2 -sample 2x2,1x1,1x1 "$tmp/s512x384.ppm" > "$out/sample_2x2_512x384.jpg"
# 6500 blocks in an MCU row: more than the record's own tables hold.
cjpeg -quality 20 -restart 3B -sample 1x2,1x1,1x1 "$tmp/s13000x16.ppm" > "$out/wide_1x2_13000x16.jpg"

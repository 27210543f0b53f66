#!/usr/bin/env bash
# Regenerates the JPEG files under tests/fixtures/rows/ that the row-digest
# regression test decodes. They are committed; the test never encodes.
# Needs python3 and cjpeg/jpegtran (Debian libjpeg-turbo-progs).
set -euo pipefail
out=${1:-tests/fixtures/rows}
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
mkdir -p "$out"

# Deterministic test scenes: smooth shading, hard edges and noise.
python3 - "$tmp" <<'PY'
import math, sys
tmp = sys.argv[1]
def scene(w, h, seed):
    state = seed * 2654435761 % 2**32 or 1
    out = bytearray()
    for y in range(h):
        for x in range(w):
            state = (state * 1103515245 + 12345) % 2**31
            n = (state >> 16) % 41 - 20
            r = 128 + 90 * math.sin(x * 0.11 + seed) * math.cos(y * 0.07)
            g = (x * 255 // max(w - 1, 1)) if (x // 9 + y // 7) % 2 else 255 - (y * 255 // max(h - 1, 1))
            b = 60 + (x * y) % 150
            out += bytes(max(0, min(255, int(v + n))) for v in (r, g, b))
    with open(f"{tmp}/s{w}x{h}.ppm", "wb") as f:
        f.write(b"P6 %d %d 255\n" % (w, h) + out)
for i, (w, h) in enumerate([(1, 1), (7, 3), (17, 9), (64, 48), (241, 161), (320, 240)]):
    scene(w, h, i + 1)
PY

cat > "$tmp/scans.txt" <<'SCANS'
0 1 2: 0 0 0 2;
0: 1 5 0 2;
2: 1 63 0 1;
1: 1 63 0 1;
0: 6 63 0 2;
0 1 2: 0 0 2 1;
0: 1 63 2 1;
0 1 2: 0 0 1 0;
2: 1 63 1 0;
1: 1 63 1 0;
0: 1 63 1 0;
SCANS

for size in 1x1 7x3 17x9 64x48 241x161; do
  src=$tmp/s$size.ppm
  for s in 1x1 2x1 1x2 2x2; do
    cjpeg -quality 85 -sample $s,1x1,1x1 "$src" > "$out/base_${s}_$size.jpg"
  done
  cjpeg -grayscale "$src" > "$out/grey_$size.jpg"
  cjpeg -progressive "$src" > "$out/prog_$size.jpg"
  cjpeg -progressive -grayscale "$src" > "$out/prog_grey_$size.jpg"
done
# Colour coded as RGB, without the YCbCr transform (an Adobe segment says so).
for s in 1x1 2x1 1x2 2x2; do
  cjpeg -rgb -quality 85 -sample $s,1x1,1x1 "$tmp/s241x161.ppm" > "$out/rgb_${s}_241x161.jpg"
done
src=$tmp/s320x240.ppm
cjpeg -quality 5 "$src" > "$out/extended_q5.jpg" 2>/dev/null
cjpeg -optimize -quality 92 "$src" > "$out/optimised.jpg"
cjpeg -restart 1 -sample 2x2,1x1,1x1 "$src" > "$out/restart_row.jpg"
cjpeg -restart 3B -sample 2x1,1x1,1x1 "$src" > "$out/restart_3.jpg"
cjpeg -grayscale -restart 5B "$src" > "$out/restart_grey.jpg"
cjpeg -scans "$tmp/scans.txt" -sample 2x2,1x1,1x1 "$src" > "$out/prog_script.jpg"
jpegtran -progressive -restart 1 "$out/base_2x2_241x161.jpg" > "$out/prog_restart.jpg"
head -c 9000 "$out/prog_script.jpg" > "$out/prog_truncated.jpg"
head -c 6000 "$out/base_2x2_241x161.jpg" > "$out/base_truncated.jpg"

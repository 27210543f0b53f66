#!/usr/bin/env bash
# Makes the README's screenshots of both front ends into docs/:
#   docs/desktop.png        the collection's window, under the openbox window
#                           manager
#   docs/terminal.png       marivue --tty in xterm as a VT340, which draws the
#                           picture in sixels
#   docs/photo-view.png     the photo view on a folder of photographs that
#                           make-pictures paints, with its info panel
#   docs/photo-gallery.png  its gallery
#   docs/photo-terminal.png the photo view in xterm, and
#   docs/photo-terminal-gallery.png its gallery
# both on a virtual X server of its own, with fixed sizes and the first
# picture shown (MARIVUE_SEED in the terminal, the Home key in the window),
# so that a run on another machine gives the same pictures.
#
#   bash tools/screenshots.sh [BUILD_DIR]     BUILD_DIR defaults to build/
#
# Builds marivue when BUILD_DIR has none. Needs Xvfb, openbox, xterm,
# xdotool, xwd and netpbm (Debian packages xvfb, openbox, xterm, xdotool,
# x11-apps, netpbm), which `bash tools/setup.sh` installs; installs nothing
# itself.
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build}
missing=()
for tool in Xvfb openbox xterm xdotool xwd xwdtopnm pnmtopng; do
  command -v "$tool" >/dev/null 2>&1 || missing+=("$tool")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "screenshots: ${missing[*]} missing; run 'bash tools/setup.sh' as root first" >&2
  exit 1
fi
if [ ! -x "$build/app/marivue" ] || [ ! -x "$build/tools/make-pictures" ]; then
  cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=Release
  cmake --build "$build" -j"$(nproc)" --target marivue make-pictures
fi
marivue=$(realpath "$build/app/marivue")
mkdir -p docs

work=$(mktemp -d)
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  rm -rf "$work"
}
trap cleanup EXIT

# An X server on a free display (Xvfb picks it) with openbox; sets DISPLAY.
rm -f "$work/display"
Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" >/dev/null 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "screenshots: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(cat "$work/display")"
openbox >/dev/null 2>&1 &
pids+=($!)
sleep 1

# wait_window NAME: the id of the visible window called NAME, once mapped.
wait_window() {
  local id=""
  for _ in $(seq 100); do
    id=$(xdotool search --onlyvisible --name "^$1\$" 2>/dev/null | head -1) && [ -n "$id" ] && break
    sleep 0.1
  done
  [ -n "$id" ] || { echo "screenshots: no window '$1' appeared" >&2; exit 1; }
  echo "$id"
}

# shot WINDOW FILE: WINDOW with its window manager frame, as a PNG.
shot() {
  local frame=$1 root parent
  root=$(xwininfo -root | awk '/Window id:/ {print $4}')
  while parent=$(xwininfo -tree -id "$frame" | awk '/Parent window id:/ {print $4}') && [ "$parent" != "$root" ]; do
    frame=$parent
  done
  xwd -silent -id "$frame" | xwdtopnm 2>/dev/null | pnmtopng -compression 9 >"$2"
  echo "screenshots: $2 ($(stat -c %s "$2") bytes)"
}

# The terminal front end: 100 x 30 cells of DejaVu Sans Mono.
xterm -ti vt340 -fa 'DejaVu Sans Mono' -fs 10 -geometry 100x30+20+20 -T 'marivue --tty' \
  -e env -u MARIVUE_TTY_GRAPHICS -u TMUX -u STY MARIVUE_SEED=1 LC_ALL=C.UTF-8 "$marivue" --tty &
pids+=($!)
terminal=$(wait_window 'marivue --tty')
sleep 3
shot "$terminal" docs/terminal.png
kill "${pids[-1]}" 2>/dev/null || true

# The window, at its first size, on the first picture.
MARIVUE_SEED=1 "$marivue" >/dev/null 2>&1 &
pids+=($!)
window=$(wait_window Marivue)
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool key --clearmodifiers Home
sleep 2
shot "$window" docs/desktop.png
kill "${pids[-1]}" 2>/dev/null || true

# The photo view on photographs painted for it (the same every time).
"$build/tools/make-pictures" --photos "$work/photos" 8 >/dev/null
cd "$work/photos"
"$marivue" ./*.jpg >/dev/null 2>&1 &
pids+=($!)
window=$(wait_window '2000.jpg — 1 / 8 — Marivue')
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool windowsize --sync "$window" 1100 700 >/dev/null 2>&1 || true
sleep 2
xdotool key --clearmodifiers i
sleep 1
shot "$window" "$OLDPWD/docs/photo-view.png"
xdotool key --clearmodifiers i g
sleep 3
shot "$window" "$OLDPWD/docs/photo-gallery.png"
kill "${pids[-1]}" 2>/dev/null || true

xterm -ti vt340 -fa 'DejaVu Sans Mono' -fs 10 -geometry 100x30+20+20 -T 'marivue --tty photos' \
  -e env -u MARIVUE_TTY_GRAPHICS -u TMUX -u STY LC_ALL=C.UTF-8 "$marivue" --tty ./*.jpg &
pids+=($!)
terminal=$(wait_window 'marivue --tty photos')
sleep 3
shot "$terminal" "$OLDPWD/docs/photo-terminal.png"
xdotool windowactivate --sync "$terminal" >/dev/null 2>&1 || true
xdotool key --clearmodifiers g
sleep 3
shot "$terminal" "$OLDPWD/docs/photo-terminal-gallery.png"
cd "$OLDPWD"

#!/usr/bin/env bash
# Takes the AppStream screenshot dist/screenshots/main-window.png from the
# installed studio, and checks on the way that the installed studio runs from
# a read-only prefix with a fresh home under a real X server:
#   the build is installed into a temporary prefix, made read-only; Xvfb and
#   openbox give it a 1280x800 screen; grinsnap starts with a sample photo and
#   a template chosen; once its window shows and the preview had time to
#   render, ImageMagick's import grabs the screen; Ctrl+Q and Enter quit it,
#   which must end it with exit code 0 and its settings written to the new
#   home's ~/.config.
# Usage: scripts/take-screenshot.sh [BUILD_DIR [PHOTO [TEMPLATE]]]
#   (defaults: build/default, tests/data/photos/chelsea.png, "Sepia")
# Needs the Debian packages xvfb, openbox, xdotool and imagemagick.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/default}
photo=$(realpath "${2:-tests/data/photos/chelsea.png}")
template=${3:-Sepia}
width=1280 height=800
for tool in Xvfb openbox xdotool import; do
  command -v "$tool" >/dev/null ||
    { echo "take-screenshot: $tool is missing (apt-get install xvfb openbox xdotool imagemagick)" >&2; exit 1; }
done

work=$(mktemp -d "${TMPDIR:-/tmp}/grinsnap-screenshot.XXXXXX")
pids=()
cleanup() {
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  chmod -R u+w "$work" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
chmod -R a-w "$work/prefix"
chmod 755 "$work"
mkdir -p "$work/home"
cp "$photo" "$work/"
photo=$work/$(basename "$photo")
# As root the studio runs as nobody, so that the read-only prefix holds.
run_as=()
if [ "$(id -u)" -eq 0 ] && command -v setpriv >/dev/null; then
  chown nobody "$work/home"
  run_as=(setpriv --reuid=nobody --regid=nogroup --clear-groups --)
fi

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 "${width}x${height}x24" -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do DISPLAY=$display xdotool getdisplaygeometry >/dev/null 2>&1 && break; sleep 0.1; done
session=(env -i HOME="$work/home" PATH=/usr/bin:/bin LANG=C.UTF-8 DISPLAY="$display")
"${session[@]}" openbox >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

"${run_as[@]}" "${session[@]}" "$work/prefix/bin/grinsnap" --template "$template" "$photo" >"$work/grinsnap.log" 2>&1 &
studio=$!
window=$(DISPLAY=$display timeout 30 xdotool search --sync --onlyvisible --name 'Grinsnap' | head -1) ||
  { cat "$work/grinsnap.log" >&2; echo "take-screenshot: no Grinsnap window" >&2; exit 1; }
DISPLAY=$display xdotool windowactivate --sync "$window" windowsize --sync "$window" "$width" "$height" \
  windowmove --sync "$window" 0 0
sleep 4  # the preview and the gallery thumbnails render in the background
mkdir -p dist/screenshots
DISPLAY=$display import -window root "$work/shot.png"
convert "$work/shot.png" -strip "PNG24:dist/screenshots/main-window.png"
echo "dist/screenshots/main-window.png: $(identify -format '%wx%h' dist/screenshots/main-window.png)"

# Quit as a user does: Ctrl+Q asks, Enter confirms.
DISPLAY=$display xdotool key --window "$window" ctrl+q
sleep 1
DISPLAY=$display xdotool key Return
status=0
timeout 20 tail --pid="$studio" -f /dev/null || { echo "take-screenshot: grinsnap did not quit" >&2; exit 1; }
wait "$studio" || status=$?
[ "$status" -eq 0 ] || { cat "$work/grinsnap.log" >&2; echo "take-screenshot: grinsnap exited with $status" >&2; exit 1; }
[ -f "$work/home/.config/Velmora/Grinsnap.ini" ] ||
  { echo "take-screenshot: grinsnap wrote no settings to the new home" >&2; exit 1; }
echo "grinsnap ran from the read-only prefix, quit with 0 and kept its settings in the new home"

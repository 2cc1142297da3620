#!/usr/bin/env bash
# Renders the application icon dist/icons/com.velmora.Grinsnap.svg as the
# PNGs of the hicolor theme (dist/icons/<size>/com.velmora.Grinsnap.png).
# The PNGs are committed; run this after changing the SVG and look at them.
# Needs rsvg-convert (Debian package librsvg2-bin).
set -euo pipefail
cd "$(dirname "$0")/.."

command -v rsvg-convert >/dev/null ||
  { echo "make-icons: rsvg-convert is missing: apt-get install librsvg2-bin" >&2; exit 1; }

name=com.velmora.Grinsnap
source=dist/icons/$name.svg
for size in 16 22 24 32 48 64 128 256 512; do
  mkdir -p "dist/icons/$size"
  rsvg-convert --width "$size" --height "$size" --format png --output "dist/icons/$size/$name.png" "$source"
  echo "dist/icons/$size/$name.png"
done

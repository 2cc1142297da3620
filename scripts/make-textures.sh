#!/usr/bin/env bash
# Makes the texture pictures of the drawing, painting, weather and texture
# templates anew in data/templates/2d/textures/ from the procedural generator
# (tools/make_textures.cpp), and the frame pictures and masks of the frame
# templates in data/templates/frames/ and the photo cube's files in
# data/templates/3d/ (tools/make_frames.cpp). Run it on purpose after changing how a texture
# is made, look at every picture it wrote, and raise the program version
# (the textures are part of the shipped templates).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target grinsnap-make-textures grinsnap-make-frames -j2
"$build/bin/grinsnap-make-textures" data/templates/2d/textures
"$build/bin/grinsnap-make-frames" data/templates
git status --short data/templates/2d/textures data/templates/frames data/templates/3d data/templates/collage

#!/usr/bin/env bash
# Makes the texture pictures of the drawing, painting, weather and texture
# templates anew in data/templates/2d/textures/ from the procedural
# generator (tools/make_textures.cpp). Run it on purpose after changing how a texture
# is made, look at every picture it wrote, and raise the program version
# (the textures are part of the shipped templates).
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target grinsnap-make-textures -j2
"$build/bin/grinsnap-make-textures" data/templates/2d/textures
git status --short data/templates/2d/textures

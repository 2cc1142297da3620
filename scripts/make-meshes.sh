#!/usr/bin/env bash
# Writes the models the program ships (data/media/Meshes) anew with the mesh
# writer tool. Usage: scripts/make-meshes.sh [build folder]   (default: build/default)
# The test ShippedMeshes.* fails when the committed files differ from what
# the tool writes.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build/default}"
if [ ! -f "$build/build.ninja" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
fi
cmake --build "$build" --target grinsnap-mesh-writer
"$build/bin/grinsnap-mesh-writer" data/media/Meshes
git status --short data/media/Meshes

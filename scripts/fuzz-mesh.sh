#!/usr/bin/env bash
# Fuzzes the mesh file reader and the renderer with libFuzzer for a while
# (seconds, default 600), on one process, then merges what it found into the
# minimised corpus in tests/data/mesh_corpus, which the test
# MeshFile.FuzzCorpusReadsSafely replays. Builds with clang in build/fuzz.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-600}"
export CCACHE_BASEDIR="$PWD"
if [ ! -f build/fuzz/build.ninja ]; then
  CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DGRINSNAP_BUILD_FUZZ=ON -DGRINSNAP_BUILD_TESTS=OFF >/dev/null
fi
cmake --build build/fuzz --target mesh_file_fuzz -j2
root="$PWD"
mkdir -p build/fuzz/mesh_corpus_work tests/data/mesh_corpus
# One job on one worker (the machine is shared); its log goes to
# build/fuzz/fuzz-0.log. An input that takes over 10 seconds is a failure.
# The shipped models are the seeds.
(cd build/fuzz && bin/mesh_file_fuzz -jobs=1 -workers=1 -max_total_time="$seconds" -max_len=4096 -timeout=10 \
  mesh_corpus_work "$root/tests/data/mesh_corpus" "$root/data/media/Meshes")
rm -rf build/fuzz/mesh_corpus_merged && mkdir -p build/fuzz/mesh_corpus_merged
(cd build/fuzz && bin/mesh_file_fuzz -merge=1 mesh_corpus_merged "$root/tests/data/mesh_corpus" mesh_corpus_work)
rm -rf tests/data/mesh_corpus && mv build/fuzz/mesh_corpus_merged tests/data/mesh_corpus
echo "corpus: $(ls tests/data/mesh_corpus | wc -l) files"

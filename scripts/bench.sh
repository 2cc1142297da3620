#!/usr/bin/env bash
# Builds the benchmarks (Release) and times every filter at 800 x 600 and
# 4096 x 3072. Extra arguments go to Google Benchmark, for example
#   scripts/bench.sh --benchmark_filter=Color
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/install-deps.sh
cmake --preset bench >/dev/null
cmake --build --preset bench
echo "machine: $(nproc) cores"
build/bench/bin/grinsnap_bench "$@"
build/bench/bin/grinsnap_engine_bench
build/bench/bin/grinsnap_render_bench

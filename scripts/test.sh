#!/usr/bin/env bash
# Sets up (dependencies, configure, build) when needed and runs every test.
# Usage: scripts/test.sh [preset]   (default, asan or tsan; default: default)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

bash scripts/setup.sh "$preset"
ctest --preset "$preset" -j "$(nproc)"

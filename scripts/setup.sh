#!/usr/bin/env bash
# Installs the dependencies, then configures and builds Grinsnap.
# Usage: scripts/setup.sh [preset]   (default, asan or tsan; default: default)
set -euo pipefail
cd "$(dirname "$0")/.."
preset="${1:-default}"

bash scripts/install-deps.sh
cmake --preset "$preset" >/dev/null
cmake --build --preset "$preset"

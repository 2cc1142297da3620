#!/usr/bin/env bash
# Sets up Grinsnap and runs it.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh default
bin=build/default/bin
if [ -x "$bin/grinsnap" ]; then
  exec "$bin/grinsnap" "$@"
elif [ -x "$bin/grinsnap-cli" ]; then
  exec "$bin/grinsnap-cli" "$@"
fi
cat <<TXT
Grinsnap's effect engine is built (library: build/default/libgrinsnap_engine.a).
The desktop program and the command-line front end are not part of this build yet.
Run the tests with:   scripts/test.sh
Time the filters with: scripts/bench.sh
TXT

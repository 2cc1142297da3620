#!/usr/bin/env bash
# Renders every shipped template anew into tests/data/reference/. Run it on
# purpose after a change that is meant to alter how templates look, then look
# at every picture it wrote (git diff --stat tests/data/reference shows which)
# before committing them.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh default
mkdir -p tests/data/reference
GRINSNAP_WRITE_REFERENCES=1 build/default/bin/templates_tests --gtest_filter='ReferenceRenders.*'
git status --short tests/data/reference

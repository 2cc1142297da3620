#!/usr/bin/env bash
# Records the shipped templates of the current program version in
# tests/data/shipped_templates.txt. Raise project(VERSION ...) in
# CMakeLists.txt first whenever data/templates changed: existing users'
# libraries take in new templates only from a newer version.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh default
GRINSNAP_RECORD_SHIPPED_TEMPLATES=1 build/default/bin/templates_tests --gtest_filter='ShippedTemplates.*'
tail -n 3 tests/data/shipped_templates.txt

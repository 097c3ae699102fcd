#!/usr/bin/env bash
# Installs what is missing, builds the test tree (clang, AddressSanitizer + UndefinedBehaviorSanitizer,
# warnings as errors, fuzz targets) and runs every test through ctest.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
CC=clang CXX=clang++ cmake --preset test
cmake --build --preset test
ctest --preset test

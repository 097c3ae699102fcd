#!/usr/bin/env bash
# Installs what is missing, builds the test tree (clang, AddressSanitizer + UndefinedBehaviorSanitizer,
# warnings as errors, fuzz targets) and runs every test through ctest; then builds the program the way the run
# command does (the release preset with the system's default compiler), so a build that only that compiler
# refuses fails here too.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
# Use ccache when the machine has it (CMake reads these variables); the builds do not need it.
if command -v ccache >/dev/null; then
    export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
CC=clang CXX=clang++ cmake --preset test
cmake --build --preset test
ctest --preset test
cmake --preset release
cmake --build --preset release

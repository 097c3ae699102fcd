#!/usr/bin/env bash
# The fault matrix on the Release build, with the UI thread's 100 ms goal as its limit: for every fault case it
# prints the longest time the UI thread went without running its event loop, and fails a case over the goal.
# Usage: bash bench/faults/run-ui-block.sh [goal-ms=100]
set -euo pipefail
cd "$(dirname "$0")/../.."
goal="${1:-100}"
build=build-bench-faults
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DZQT_BUILD_TESTS=ON -DZQT_BUILD_FUZZ=OFF >/dev/null
cmake --build "$build" --target test_fault_matrix zqt_fault_engine
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT
export HOME="$tmp" XDG_CONFIG_HOME="$tmp/config" XDG_DATA_HOME="$tmp/data" XDG_CACHE_HOME="$tmp/cache" \
    XDG_RUNTIME_DIR="$tmp/run"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
# glibc keeps freed heap blocks for reuse instead of returning them, which the matrix's check that resident memory
# comes back would count as growth; blocks from their own mappings go back to the system when freed.
export MALLOC_MMAP_THRESHOLD_=65536
ZQT_UI_BLOCK_GOAL_MS="$goal" "$build/tests/faults/test_fault_matrix" | grep -E '^\[fault matrix\]|^\[  (PASSED|FAILED)|FAILED'

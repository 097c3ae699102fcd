#!/usr/bin/env bash
# Takes docs/screenshot.png on a virtual display (xvfb-run): the end-to-end run starts the demo engine from the
# window, signs in with the demo account, sends a market order from the ticket, and grabs the window.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset test >/dev/null
cmake --build --preset test --target test_e2e_window
ctest --test-dir build-test -L e2e --output-on-failure
mkdir -p docs
cp build-test/test-artifacts/e2e-window.png docs/screenshot.png
echo "docs/screenshot.png"

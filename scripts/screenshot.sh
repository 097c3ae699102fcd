#!/usr/bin/env bash
# Takes docs/screenshot.png on a virtual display (xvfb-run): the end-to-end run starts the demo engine from the
# window, signs in with the demo account, sends a market order from the ticket, and grabs the window; the same
# again in the terminal's workspace at 1280 x 800 for docs/workspace.png. Also
# docs/account-panels.png: the account and analytics rows of the terminal page after a few orders, and
# docs/chart-row.png: the chart row with the demo engine's bars, and docs/trading-rows.png: rows 5 and 6 (ladder,
# tape, quick actions, microstructure) a few ticks later, and docs/logs-view.png: a followed log, filtered.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
cmake --preset test >/dev/null
cmake --build --preset test --target test_e2e_window test_e2e_account_panels test_e2e_chart_row test_logs_view
ctest --test-dir build-test -L e2e --output-on-failure
ctest --test-dir build-test -R 'LogsViewFixture.screenshot_' --output-on-failure
mkdir -p docs
cp build-test/test-artifacts/e2e-window.png docs/screenshot.png
cp build-test/test-artifacts/workspace.png docs/workspace.png
cp build-test/test-artifacts/account-panels.png docs/account-panels.png
cp build-test/test-artifacts/chart-row.png docs/chart-row.png
cp build-test/test-artifacts/trading-rows.png docs/trading-rows.png
cp build-test/test-artifacts/logs-view.png docs/logs-view.png
echo "docs/screenshot.png docs/workspace.png docs/account-panels.png docs/chart-row.png docs/trading-rows.png docs/logs-view.png"

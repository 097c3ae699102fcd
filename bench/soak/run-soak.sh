#!/usr/bin/env bash
# Soak run of the native terminal against the demo engine (not a test, and not in the test command): starts the
# engine from a copy of a built home in a temp folder, signs the real terminal model in and drives its 5, 10 and
# 30 s ticks at sped-up periods (100, 200 and 600 ms by default: 50 times faster) for the given hours of the real
# ticks, then reports resident memory growth after a one-hour warm-up, reply objects left alive and tick lateness.
# The engine's market steps every 10 ms, so each sped-up refresh sees new prices.
#
#   cmake --preset bench && cmake --build --preset bench --target soak_terminal zqt-demo-engine
#   bash bench/soak/run-soak.sh [hours=24] [refresh-ms=100] [build-dir=build-bench]
#
# A shorter refresh period than the engine can serve on the machine only measures requests piling up (at 20 ms on
# two shared cores, 10,000 were in flight after two equivalent hours).
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
hours="${1:-24}"
refresh_ms="${2:-100}"
build="${3:-$here/../../build-bench}"
src="$build/demo-engine-home"
soak="$build/bench/soak/soak_terminal"
[ -x "$src/bin/zqt-demo-engine" ] || { echo "No built demo engine home at $src"; exit 1; }
[ -x "$soak" ] || { echo "No soak_terminal at $soak"; exit 1; }

tmp="$(mktemp -d)"
home="$tmp/engine"
cp -a "$src" "$home"
rm -rf "$home/storage" && mkdir -p "$home/storage"
cleanup() {
    ZQT_HOME="$home" "$home/scripts/app_down.sh" >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT

# The engine's own HOME and XDG folders in the temp folder too.
export HOME="$tmp" XDG_CONFIG_HOME="$tmp/.config" XDG_DATA_HOME="$tmp/.local/share" XDG_CACHE_HOME="$tmp/.cache"
ZQT_HOME="$home" ZQT_PORT="${ZQT_SOAK_PORT:-18950}" ZQT_START_MARKETING=0 ZQT_START_PORTAL=0 ZQT_DEMO_SEED=7 \
    ZQT_DEMO_TICK_MS=10 "$home/scripts/app_up.sh"
port="$(sed -n 's/^ *"port": *\([0-9]*\).*/\1/p' "$home/storage/runtime_ports.json")"
engine_pid="$(tr -d ' \n' <"$home/storage/web.pid")"
engine_rss() { awk '/^VmRSS:/ {print $2}' "/proc/$engine_pid/status"; }

echo "Engine pid $engine_pid on port $port, resident $(engine_rss) kB"
status=0
"$soak" --base-url "http://127.0.0.1:$port" --hours "$hours" --refresh-ms "$refresh_ms" || status=$?
echo "Engine resident at the end: $(engine_rss) kB"
exit "$status"

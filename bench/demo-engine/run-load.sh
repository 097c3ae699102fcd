#!/usr/bin/env bash
# Load benchmark of the demo engine (not a test): starts the engine from a copy of a built home in a temp folder,
# runs wrk for a few seconds against /api/prices and /api/oms/order, tops the order count up to 10,000 and
# reads the engine's resident memory from /proc. Needs wrk.
#
#   cmake --preset release && cmake --build --preset release --target zqt-demo-engine
#   bash bench/demo-engine/run-load.sh [build/demo-engine-home] [seconds]
set -euo pipefail

here="$(cd "$(dirname "$0")" && pwd)"
src="${1:-$here/../../build/demo-engine-home}"
seconds="${2:-5}"
threads=2
connections=16
command -v wrk >/dev/null || { echo "wrk is not installed (apt-get install wrk)"; exit 1; }
[ -x "$src/bin/zqt-demo-engine" ] || { echo "No built demo engine home at $src"; exit 1; }

tmp="$(mktemp -d)"
home="$tmp/engine"
cp -a "$src" "$home"
rm -rf "$home/storage" && mkdir -p "$home/storage"
cleanup() {
    ZQT_HOME="$home" "$home/scripts/app_down.sh" >/dev/null 2>&1 || true
    rm -rf "$tmp"
}
trap cleanup EXIT

ZQT_HOME="$home" ZQT_PORT="${ZQT_BENCH_PORT:-18900}" ZQT_START_MARKETING=0 ZQT_START_PORTAL=0 ZQT_DEMO_SEED=7 \
    "$home/scripts/app_up.sh"
port="$(sed -n 's/^ *"port": *\([0-9]*\).*/\1/p' "$home/storage/runtime_ports.json")"
pid="$(tr -d ' \n' <"$home/storage/web.pid")"

# Sign in with a plain HTTP exchange (no curl needed).
body="email=demo%40zqt.local&password=demo-pass-1"
exec 3<>"/dev/tcp/127.0.0.1/$port"
printf 'POST /api/login HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nContent-Type: application/x-www-form-urlencoded\r\nContent-Length: %d\r\nConnection: close\r\n\r\n%s' \
    "$port" "${#body}" "$body" >&3
token="$(sed -n 's/.*"token":"\([0-9a-f]*\)".*/\1/p' <&3)"
exec 3<&-
[ -n "$token" ] || { echo "Sign-in failed"; exit 1; }
export ZQT_TOKEN="$token" ZQT_WRK_THREADS="$threads"

orders() {
    exec 4<>"/dev/tcp/127.0.0.1/$port"
    printf 'GET /api/system/status HTTP/1.1\r\nHost: 127.0.0.1:%s\r\nConnection: close\r\n\r\n' "$port" >&4
    sed -n 's/.*"orders":\([0-9]*\).*/\1/p' <&4
    exec 4<&-
}

rss() { sed -n 's/^VmRSS:[[:space:]]*//p' "/proc/$pid/status"; }
echo
echo "== Memory"
echo "idle, backfilled history only: $(rss)"
ZQT_MAX_ORDERS=10000 wrk -t"$threads" -c"$threads" -d120s -s "$here/order.lua" \
    "http://127.0.0.1:$port/api/oms/order" >/dev/null 2>&1 || true
echo "after $(orders) orders (market orders, each an open position): $(rss)"

echo
echo "== GET /api/prices ($threads threads, $connections connections, ${seconds}s)"
wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency \
    "http://127.0.0.1:$port/api/prices?symbols=EURUSD,AAPL,BTCUSD,ES,XAUUSD" | grep -E 'Requests/sec|99%|Non-2xx|Socket errors'
echo
echo "== POST /api/oms/order ($threads threads, $connections connections, ${seconds}s)"
wrk -t"$threads" -c"$connections" -d"${seconds}s" --latency -s "$here/order.lua" \
    "http://127.0.0.1:$port/api/oms/order" | grep -E 'Requests/sec|99%|Non-2xx|Socket errors'
echo "orders now: $(orders); resident memory: $(rss)"

#!/usr/bin/env bash
# Start-up and idle figures of the desktop program against a running demo engine, in a throw-away HOME.
#
#   bash bench/window/measure-startup.sh [runs] [idle-seconds]      (defaults: 5 runs, 60 s)
#
# Needs the release build (cmake --preset release && cmake --build --preset release), which also assembles
# build/demo-engine-home. Runs under its own virtual X server (xvfb-run) unless DISPLAY is already set.
# Prints, for each run and as the median over the runs:
#   first_paint_ms  process start (just before exec) to the window's first paint (ZQT_TRACE_FIRST_PAINT)
#   cpu_pct         CPU time of the program's own process over the idle period, in % of one core, with the
#                   terminal signed in and polling (token stored, so every 5 s tick loads everything)
#   main_rss_mb     resident memory of the program's process after the idle period
#   helpers_rss_mb  resident memory of the QtWebEngineProcess helpers (summed over the process tree)
set -euo pipefail

if [ -z "${DISPLAY:-}" ] && [ -z "${ZQT_BENCH_UNDER_XVFB:-}" ]; then
    export ZQT_BENCH_UNDER_XVFB=1
    exec xvfb-run -a -s "-screen 0 1400x900x24" bash "$0" "$@"
fi

runs="${1:-5}"
idle="${2:-60}"
repo="$(cd "$(dirname "$0")/../.." && pwd)"
program="$repo/build/zqt-desktop"
demo="$repo/build/demo-engine-home"
[ -x "$program" ] || { echo "Build the release preset first: $program is missing" >&2; exit 1; }
[ -x "$demo/bin/zqt-demo-engine" ] || { echo "Demo engine home missing: $demo" >&2; exit 1; }

work="$(mktemp -d)"
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_CACHE_HOME="$work/home/.cache"
engine_home="$XDG_DATA_HOME/zqt/engine"
mkdir -p "$engine_home" "$XDG_CONFIG_HOME/zqt"
cp -a "$demo/." "$engine_home/"

# A port nobody answers on (a refused connection), from a range clear of the usual services.
free_port() {
    local p
    while :; do
        p=$((20000 + RANDOM % 20000))
        if ! (exec 3<>"/dev/tcp/127.0.0.1/$p") 2>/dev/null; then
            echo "$p"
            return
        fi
    done
}
port="$(free_port)"; mport="$(free_port)"; pport="$(free_port)"

cleanup() {
    ZQT_HOME="$engine_home" bash "$engine_home/scripts/app_down.sh" >/dev/null 2>&1 || true
    rm -rf "$work"
}
trap cleanup EXIT

ZQT_HOME="$engine_home" ZQT_PORT="$port" ZQT_MARKETING_PORT="$mport" ZQT_PORTAL_PORT="$pport" \
    bash "$engine_home/scripts/app_up.sh" >/dev/null
token="$(curl -s -d 'email=demo@zqt.local&password=demo-pass-1' "http://127.0.0.1:$port/api/login" |
    sed -E 's/.*"token" *: *"([^"]*)".*/\1/')"
cat >"$XDG_CONFIG_HOME/zqt/desktop-control.json" <<JSON
{"zqtHome": "$engine_home", "zqtHost": "127.0.0.1", "zqtPort": "$port", "zqtMarketingPort": "$mport",
 "zqtPortalPort": "$pport", "zqtAutoStart": false, "zqtOperatorUnlocked": false, "zqtToken": "$token"}
JSON

if [ "$(id -u)" -eq 0 ]; then export QTWEBENGINE_DISABLE_SANDBOX=1; fi
export QT_LOGGING_RULES="qt.webenginecontext.info=false"
export ZQT_TRACE_FIRST_PAINT=1
ticks="$(getconf CLK_TCK)"

rss_kb() { awk '/^Rss:/ {print $2}' "/proc/$1/smaps_rollup" 2>/dev/null || echo 0; }
descendants() {
    local kids
    kids="$(ps -o pid= --ppid "$1" 2>/dev/null || true)"
    for k in $kids; do echo "$k"; descendants "$k"; done
}
cpu_ticks() { awk '{print $14 + $15}' "/proc/$1/stat"; }

results=()
for run in $(seq 1 "$runs"); do
    log="$work/run$run.log"
    : >"$log"
    start_ms="$(date +%s%3N)"
    "$program" 2>"$log" >/dev/null &
    pid=$!
    for _ in $(seq 1 300); do
        grep -q '^zqt-first-paint-ms' "$log" && break
        sleep 0.05
    done
    paint_ms="$(awk '/^zqt-first-paint-ms/ {print $2; exit}' "$log")"
    first=$((paint_ms - start_ms))
    sleep 5 # let the first page and the first replies settle before measuring idle
    c0="$(cpu_ticks "$pid")"
    sleep "$idle"
    c1="$(cpu_ticks "$pid")"
    cpu="$(awk -v d=$((c1 - c0)) -v t="$ticks" -v s="$idle" 'BEGIN {printf "%.2f", 100 * d / t / s}')"
    main_kb="$(rss_kb "$pid")"
    helpers_kb=0
    for h in $(descendants "$pid"); do
        if grep -q QtWebEngineProc "/proc/$h/comm" 2>/dev/null; then
            helpers_kb=$((helpers_kb + $(rss_kb "$h")))
        fi
    done
    kill "$pid"; wait "$pid" 2>/dev/null || true
    printf 'run %d: first_paint_ms=%d cpu_pct=%s main_rss_mb=%d helpers_rss_mb=%d\n' \
        "$run" "$first" "$cpu" $((main_kb / 1024)) $((helpers_kb / 1024))
    results+=("$first $cpu $((main_kb / 1024)) $((helpers_kb / 1024))")
done

median() { sort -n | awk '{a[NR]=$1} END {print (NR % 2) ? a[(NR+1)/2] : (a[NR/2] + a[NR/2+1]) / 2}'; }
printf 'median over %d runs: first_paint_ms=%s cpu_pct=%s main_rss_mb=%s helpers_rss_mb=%s\n' "$runs" \
    "$(printf '%s\n' "${results[@]}" | awk '{print $1}' | median)" \
    "$(printf '%s\n' "${results[@]}" | awk '{print $2}' | median)" \
    "$(printf '%s\n' "${results[@]}" | awk '{print $3}' | median)" \
    "$(printf '%s\n' "${results[@]}" | awk '{print $4}' | median)"
